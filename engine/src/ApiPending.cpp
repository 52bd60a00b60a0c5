// Neutral answers of the expression, index, query and copy entry points until their real
// implementations land: nothing found, nothing done, empty text.
#include "engine/include/xbeng61.h"
#include "engine/src/Contract.h"

extern "C" {

XBAPI XbShort xb_EvalTest(const char*) { return 0; }
XBAPI XbShort xb_EvalLogical(const char*) { return 0; }
XBAPI double xb_EvalNumeric(const char*) { return 0.0; }
XBAPI const char* xb_EvalString(const char*) { return ""; }
XBAPI XbLong xb_Query(const char*) { return 0; }
XBAPI XbShort xb_QueryTest(const char*) { return 0; }
XBAPI XbLong xb_QueryRecCount(void) {
  xbe::RecordSource* t = xbe::CurrentTable();
  return t ? t->RecordCount() : 0;
}
XBAPI void xb_QuerySetExact(XbShort) {}
XBAPI const char* xb_DBFilter(void) { return ""; }
XBAPI void xb_SetFilter(const char*) {}
XBAPI XbShort xb_GetQueryBit(XbLong) { return 0; }
XBAPI void xb_SetQueryBit(XbLong, XbShort) {}
XBAPI XbShort xb_Locate(const char*, XbShort) { return 0; }
XBAPI const char* xb_FilterAlias(void) { return ""; }
XBAPI XbShort xb_FilterDlg(XbPtr) { return 0; }
XBAPI void xb_RYOFilterActivate(XbPtr) {}
XBAPI XbPtr xb_RYOFilterCopy(void) { return 0; }
XBAPI XbPtr xb_RYOFilterCreate(void) { return 0; }
XBAPI void xb_RYOFilterDestroy(XbPtr) {}
XBAPI XbShort xb_RYOFilterGetBit(XbPtr, XbLong) { return 0; }
XBAPI XbShort xb_RYOFilterRestore(XbPtr, const char*) { return 0; }
XBAPI XbShort xb_RYOFilterSave(XbPtr, const char*) { return 0; }
XBAPI void xb_RYOFilterSetBit(XbPtr, XbLong, XbShort) {}
XBAPI XbShort xb_RYOKeyAdd(const char*, const char*, XbLong) { return 0; }
XBAPI XbShort xb_RYOKeyDrop(const char*, const char*, XbLong) { return 0; }
XBAPI XbShort xb_IndexTag(const char*, const char*, const char*, XbShort, XbLong, const char*) { return 0; }
XBAPI XbShort xb_Index(const char*, const char*, XbShort, XbLong, const char*) { return 0; }
XBAPI XbShort xb_IndexOpen(const char*) { return 0; }
XBAPI void xb_IndexClose(XbShort) {}
XBAPI void xb_CloseIndexes(void) {}
XBAPI XbShort xb_SetOrder(XbShort) { return 0; }
XBAPI XbShort xb_IndexOrd(void) { return 0; }
XBAPI const char* xb_IndexName(XbShort) { return ""; }
XBAPI const char* xb_IndexKey(void) { return ""; }
XBAPI const char* xb_IndexKeyField(void) { return ""; }
XBAPI const char* xb_IndexCondition(void) { return ""; }
XBAPI XbShort xb_IndexType(void) { return 0; }
XBAPI XbShort xb_IndexFlip(void) { return 0; }
XBAPI XbShort xb_TagArea(const char*) { return 0; }
XBAPI const char* xb_TagName(XbShort) { return ""; }
XBAPI XbShort xb_TagCount(void) { return 0; }
XBAPI XbShort xb_TagDelete(const char*) { return 0; }
XBAPI const char* xb_TagInfo(XbShort) { return ""; }
XBAPI void xb_Reindex(void) {}
XBAPI XbLong xb_Descend(XbLong) { return 0; }
XBAPI XbShort xb_KeyAdd(const char*) { return 0; }
XBAPI XbShort xb_KeyDrop(const char*) { return 0; }
XBAPI const char* xb_KeyData(void) { return ""; }
XBAPI XbShort xb_KeyLength(void) { return 0; }
XBAPI XbShort xb_Seek(const char*) { return 0; }
XBAPI XbShort xb_SeekBin(const void*, XbShort) { return 0; }
XBAPI XbShort xb_Found(void) { return 0; }
XBAPI XbShort xb_SetScope(const char*, const char*) { return 0; }
XBAPI const char* xb_GetScope(XbShort) { return ""; }
XBAPI double xb_OrderPosGet(void) { return 0.0; }
XBAPI void xb_OrderPosSet(double) {}
XBAPI XbLong xb_OrderRecNo(double) { return 0; }
XBAPI XbShort xb_SetRelation(const char*, const char*) { return 0; }
XBAPI XbLong xb_CopyFile(const char*) { return 0; }
XBAPI XbLong xb_CopyFileText(const char*, const char*) { return 0; }
XBAPI XbLong xb_AppendFrom(const char*, XbShort, const char*) { return 0; }
XBAPI XbLong xb_CopyStructure(const char*, XbShort) { return 0; }
XBAPI XbLong xb_CopyStructureExtended(const char*) { return 0; }
XBAPI XbLong xb_CreateFrom(const char*, const char*, XbShort) { return 0; }

}  // extern "C"
