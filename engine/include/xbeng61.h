// The engine library's C interface: every entry point the table layer binds by name.
//
// Conventions shared by every call:
// - One current work area per process, chosen with xb_Select; work areas are 1..250.
// - Text arguments are NUL-terminated code page 949 strings; a null pointer means "".
// - Returned text belongs to the engine and stays valid until the next call on the same
//   thread, except xb_GetMemo, whose result the caller frees with xb_MemDealloc.
// - Flags are 16-bit: -1 true, 0 false. Record numbers and counts are 32-bit.
// - Arguments that carry a pointer or a window handle are pointer-wide (XbPtr).
// - The engine never shows any user interface.
#ifndef ORVELANE_XBENG61_H
#define ORVELANE_XBENG61_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t XbShort; /* work areas, orders, flags, codes, widths */
typedef int32_t XbLong;  /* record numbers, counts, lengths */
typedef intptr_t XbPtr;  /* pointer or window handle carried as a number */

#if defined(XBENG_BUILDING)
#define XBAPI __attribute__((visibility("default")))
#else
#define XBAPI
#endif

/* Replace value codes. */
enum {
  XB_RT_INT16 = 1,
  XB_RT_INT32 = 2,
  XB_RT_DOUBLE = 8,
  XB_RT_JULIAN = 32,
  XB_RT_BOOLBYTE = 128,
  XB_RT_TEXT = 1024,
  XB_RT_TEXT2 = 1025,
  XB_RT_DATETEXT = 1056,
  XB_RT_MEMO = 3072,
  XB_RT_FILEBLOB = 8192
};

/* Table type codes of xb_UseEx / xb_CreateNew / xb_AppendFrom. */
enum { XB_TT_NTX = 1, XB_TT_CDX = 2, XB_TT_NSX = 3, XB_TT_NSX_DBT = 4 };

/* Open modes of xb_UseEx. */
enum { XB_OPEN_SHARED = 0, XB_OPEN_READONLY = 1, XB_OPEN_EXCLUSIVE = 2 };

/* Gauge hook: the engine reports progress of long operations (index builds, copies) by
   posting a key-down to the hooked window whose 16-bit key code is minus the percentage
   (1..100), so bits of 0x7000 are always set. The table layer installs the poster. */
typedef void (*XbGaugePoster)(XbPtr window, uint16_t keyCode);
#define XB_GAUGE_CODE(percent) ((uint16_t)(-(int)(percent)))

/* The 179 bound names, in binding order. X(name) for each. */
#define XB_ENTRY_POINTS(X)                                                                        \
  X(xb_AddDudenCollation) X(xb_AddEtecCollation) X(xb_Alias) X(xb_Append) X(xb_AppendEx)        \
  X(xb_AppendBlank) X(xb_AppendBlankEx) X(xb_AppendFrom) X(xb_BaseDate) X(xb_BaseName)          \
  X(xb_BlobToFile) X(xb_Bof) X(xb_Close) X(xb_CloseAll) X(xb_CloseIndexes) X(xb_Commit)          \
  X(xb_CommitLevel) X(xb_CopyFile) X(xb_CopyFileText) X(xb_CopyStructure)                        \
  X(xb_CopyStructureExtended) X(xb_Count) X(xb_CreateExec) X(xb_CreateField) X(xb_CreateFrom)    \
  X(xb_CreateNew) X(xb_CreateNewEx) X(xb_DbfDecrypt) X(xb_DbfEncrypt) X(xb_DBFilter)             \
  X(xb_DBRlockList) X(xb_Decrypt) X(xb_Delete) X(xb_Deleted) X(xb_Descend) X(xb_Empty)           \
  X(xb_Eof) X(xb_Encrypt) X(xb_ErrorLevel) X(xb_EvalLogical) X(xb_EvalNumeric) X(xb_EvalString)  \
  X(xb_EvalTest) X(xb_FieldCount) X(xb_FieldDecimals) X(xb_FieldName) X(xb_FieldNum)             \
  X(xb_FieldOffset) X(xb_FieldType) X(xb_FieldWidth) X(xb_FilterAlias) X(xb_FilterDlg)           \
  X(xb_FinalizeSession) X(xb_Flock) X(xb_Found) X(xb_GetBlob) X(xb_GetBlobLength) X(xb_GetByte)  \
  X(xb_GetCommitLevel) X(xb_GetDateJulian) X(xb_GetDateString) X(xb_GetDouble)                   \
  X(xb_GetInteger) X(xb_GetLogical) X(xb_GetLong) X(xb_GetMemo) X(xb_GetQueryBit)                \
  X(xb_GetRecord) X(xb_GetScope) X(xb_GetString) X(xb_GetTrimString) X(xb_GetXML) X(xb_Go)        \
  X(xb_GoBottom) X(xb_GoTop) X(xb_Index) X(xb_IndexClose) X(xb_IndexCondition) X(xb_IndexFlip)    \
  X(xb_IndexKey) X(xb_IndexKeyField) X(xb_IndexName) X(xb_IndexOpen) X(xb_IndexOrd)              \
  X(xb_IndexTag) X(xb_IndexType) X(xb_IsEncrypted) X(xb_IsNull) X(xb_KeyAdd) X(xb_KeyData)        \
  X(xb_KeyDrop) X(xb_KeyLength) X(xb_Locate) X(xb_LockCount) X(xb_Locked) X(xb_MemAlloc)          \
  X(xb_MemDealloc) X(xb_MemRealloc) X(xb_OpenMode) X(xb_OrderPosGet) X(xb_OrderPosSet)           \
  X(xb_OrderRecNo) X(xb_Pack) X(xb_PutBlob) X(xb_PutRecord) X(xb_PutString) X(xb_PutMemo)         \
  X(xb_PutDateString) X(xb_PutInteger) X(xb_PutLong) X(xb_PutLogical) X(xb_PutDouble)            \
  X(xb_Query) X(xb_QueryRecCount) X(xb_QuerySetExact) X(xb_QueryTest) X(xb_Recall)               \
  X(xb_RecCount) X(xb_RecNo) X(xb_RecSize) X(xb_Reindex) X(xb_Replace) X(xb_Rlock)                \
  X(xb_RYOFilterActivate) X(xb_RYOFilterCopy) X(xb_RYOFilterCreate) X(xb_RYOFilterDestroy)       \
  X(xb_RYOFilterGetBit) X(xb_RYOFilterRestore) X(xb_RYOFilterSave) X(xb_RYOFilterSetBit)         \
  X(xb_RYOKeyAdd) X(xb_RYOKeyDrop) X(xb_Seek) X(xb_SeekBin) X(xb_Select) X(xb_SetCentury)         \
  X(xb_SetCollationRule) X(xb_SetDateFormat) X(xb_SetDeleted) X(xb_SetEpoch) X(xb_SetErrorFunc)  \
  X(xb_SetExact) X(xb_SetFilter) X(xb_SetGaugeFunc) X(xb_SetGaugeHook) X(xb_SetHandles)          \
  X(xb_SetLockTimeout) X(xb_SetMachineCollation) X(xb_SetMemoBlockSize) X(xb_SetOrder)           \
  X(xb_SetPassword) X(xb_SetQueryBit) X(xb_SetRelation) X(xb_SetScope) X(xb_SetSoftSeek)         \
  X(xb_SetStringType) X(xb_SetTranslate) X(xb_SetTurboRead) X(xb_Skip) X(xb_SetUDFPath)          \
  X(xb_SetUserDelimiter) X(xb_GetUDFPath) X(xb_SysProp) X(xb_TagArea) X(xb_TagCount)             \
  X(xb_TagDelete) X(xb_TagInfo) X(xb_TagName) X(xb_Unlock) X(xb_Use) X(xb_UseEx) X(xb_Version)   \
  X(xb_WorkArea) X(xb_Zap) X(xb_GetSystemLocale) X(xb_GetSystemCharOrder)                        \
  X(xb_SetSystemCollation) X(xb_GetDateFormat)

#define XB_ENTRY_POINT_COUNT 179

/* Extra entry points of our own, bound after the 179 when present. */
#define XB_EXTRA_ENTRY_POINTS(X) X(xb_GetBlobEx) X(xb_SetGaugePoster) X(xb_IndexFault)

/* ---- tables: open, close, create ---------------------------------------------------------- */
XBAPI XbShort xb_UseEx(const char* fileName, const char* alias, XbShort openMode, XbShort tableType,
                       XbLong commitLevel);
XBAPI XbShort xb_Use(const char* fileName, const char* alias, XbShort openMode);
XBAPI void xb_Close(void);
XBAPI void xb_CloseAll(void);
XBAPI XbShort xb_Select(XbShort workArea);
XBAPI XbShort xb_WorkArea(const char* alias);
XBAPI const char* xb_Alias(XbShort workArea);
XBAPI const char* xb_BaseName(XbShort workArea);
XBAPI XbShort xb_OpenMode(void);
XBAPI XbShort xb_CreateNew(const char* fileName, const char* alias, XbShort tableType, XbShort fieldCount);
XBAPI XbShort xb_CreateNewEx(const char* fileName, const char* alias, XbShort tableType, XbShort fieldCount,
                             XbShort memoBlockSize);
XBAPI void xb_CreateField(const char* name, const char* type, XbShort width, XbShort decimals);
XBAPI XbLong xb_CreateExec(void);
XBAPI XbLong xb_CreateFrom(const char* fileName, const char* structFile, XbShort tableType);
XBAPI XbLong xb_CopyStructure(const char* fileName, XbShort tableType);
XBAPI XbLong xb_CopyStructureExtended(const char* fileName);
XBAPI XbLong xb_CopyFile(const char* fileName);
XBAPI XbLong xb_CopyFileText(const char* fileName, const char* delimiter);
XBAPI XbLong xb_AppendFrom(const char* fileName, XbShort tableType, const char* condition);
XBAPI void xb_Pack(void);
XBAPI void xb_Zap(void);

/* ---- records and navigation --------------------------------------------------------------- */
XBAPI void xb_GoTop(void);
XBAPI void xb_GoBottom(void);
XBAPI void xb_Go(XbLong recNo);
XBAPI void xb_Skip(XbLong count);
XBAPI XbShort xb_Bof(void);
XBAPI XbShort xb_Eof(void);
XBAPI XbLong xb_RecNo(void);
XBAPI XbLong xb_RecCount(void);
XBAPI XbLong xb_Count(void);
XBAPI XbLong xb_RecSize(void);
XBAPI XbShort xb_Deleted(void);
XBAPI void xb_Delete(void);
XBAPI void xb_Recall(void);
XBAPI void xb_Append(void);
XBAPI void xb_AppendEx(XbShort commit);
XBAPI void xb_AppendBlank(void);
XBAPI void xb_AppendBlankEx(XbShort commit);
XBAPI void xb_GetRecord(void* image);
XBAPI void xb_PutRecord(const void* image);
XBAPI void xb_Commit(void);
XBAPI void xb_CommitLevel(XbLong level);
XBAPI XbLong xb_GetCommitLevel(void);

/* ---- fields ------------------------------------------------------------------------------- */
XBAPI XbShort xb_FieldCount(void);
XBAPI const char* xb_FieldName(XbShort fieldNumber);
XBAPI XbShort xb_FieldNum(const char* fieldName);
XBAPI const char* xb_FieldType(const char* fieldName);
XBAPI XbShort xb_FieldWidth(const char* fieldName);
XBAPI XbShort xb_FieldDecimals(const char* fieldName);
XBAPI XbShort xb_FieldOffset(const char* fieldName);
XBAPI const char* xb_GetString(const char* fieldName);
XBAPI const char* xb_GetTrimString(const char* fieldName);
XBAPI XbShort xb_GetInteger(const char* fieldName);
XBAPI XbLong xb_GetLong(const char* fieldName);
XBAPI double xb_GetDouble(const char* fieldName);
XBAPI XbShort xb_GetLogical(const char* fieldName);
XBAPI const char* xb_GetDateString(const char* fieldName);
XBAPI XbLong xb_GetDateJulian(const char* fieldName);
XBAPI XbShort xb_GetByte(const char* fieldName, XbShort position);
XBAPI XbShort xb_Empty(const char* fieldName);
XBAPI XbShort xb_IsNull(const char* fieldName);
XBAPI void xb_Replace(const char* fieldName, XbShort replaceType, const void* value);
XBAPI void xb_PutString(const char* fieldName, const char* value);
XBAPI void xb_PutDateString(const char* fieldName, const char* value);
XBAPI void xb_PutInteger(const char* fieldName, XbShort value);
XBAPI void xb_PutLong(const char* fieldName, XbLong value);
XBAPI void xb_PutLogical(const char* fieldName, XbShort value);
XBAPI void xb_PutDouble(const char* fieldName, double value);
XBAPI const char* xb_GetXML(XbShort options);

/* ---- memos and blobs ---------------------------------------------------------------------- */
XBAPI char* xb_GetMemo(const char* fieldName, XbShort lineWidth);
XBAPI void xb_PutMemo(const char* fieldName, const char* text);
/* Unsafe form kept for the bound table: writes xb_GetBlobLength bytes. Use xb_GetBlobEx. */
XBAPI XbLong xb_GetBlob(const char* fieldName, void* buffer);
/* Delivers at most capacity bytes into buffer; returns the number delivered. */
XBAPI XbLong xb_GetBlobEx(const char* fieldName, void* buffer, XbLong capacity);
XBAPI XbLong xb_GetBlobLength(const char* fieldName);
XBAPI XbLong xb_PutBlob(const char* fieldName, const void* data, XbLong length);
XBAPI XbLong xb_BlobToFile(const char* fieldName, const char* fileName);
XBAPI void xb_SetMemoBlockSize(XbShort size);
XBAPI void* xb_MemAlloc(XbLong size);
XBAPI void xb_MemDealloc(void* block);
XBAPI void* xb_MemRealloc(void* block, XbLong size);

/* ---- expressions, queries, filters -------------------------------------------------------- */
XBAPI XbShort xb_EvalTest(const char* expression); /* 0 invalid, 1 char, 2 num, 3 logical, 4 date */
XBAPI XbShort xb_EvalLogical(const char* expression);
XBAPI double xb_EvalNumeric(const char* expression);
XBAPI const char* xb_EvalString(const char* expression);
XBAPI XbLong xb_Query(const char* expression);
XBAPI XbShort xb_QueryTest(const char* expression);
XBAPI XbLong xb_QueryRecCount(void);
XBAPI void xb_QuerySetExact(XbShort on);
XBAPI const char* xb_DBFilter(void);
XBAPI void xb_SetFilter(const char* expression);
XBAPI XbShort xb_GetQueryBit(XbLong recNo);
XBAPI void xb_SetQueryBit(XbLong recNo, XbShort on);
XBAPI XbShort xb_Locate(const char* expression, XbShort direction);
XBAPI const char* xb_FilterAlias(void);
XBAPI XbShort xb_FilterDlg(XbPtr window);
XBAPI XbPtr xb_RYOFilterCreate(void);
XBAPI void xb_RYOFilterDestroy(XbPtr filter);
XBAPI void xb_RYOFilterActivate(XbPtr filter);
XBAPI XbPtr xb_RYOFilterCopy(void);
XBAPI XbShort xb_RYOFilterGetBit(XbPtr filter, XbLong recNo);
XBAPI void xb_RYOFilterSetBit(XbPtr filter, XbLong recNo, XbShort on);
XBAPI XbShort xb_RYOFilterSave(XbPtr filter, const char* fileName);
XBAPI XbShort xb_RYOFilterRestore(XbPtr filter, const char* fileName);
XBAPI XbShort xb_RYOKeyAdd(const char* tagName, const char* key, XbLong recNo);
XBAPI XbShort xb_RYOKeyDrop(const char* tagName, const char* key, XbLong recNo);

/* ---- indexes, orders, seek, scopes -------------------------------------------------------- */
XBAPI XbShort xb_IndexTag(const char* fileName, const char* tagName, const char* expression, XbShort option,
                          XbLong descend, const char* condition);
XBAPI XbShort xb_Index(const char* fileName, const char* expression, XbShort option, XbLong descend,
                       const char* condition);
XBAPI XbShort xb_IndexOpen(const char* fileName);
XBAPI void xb_IndexClose(XbShort order);
XBAPI void xb_CloseIndexes(void);
XBAPI XbShort xb_SetOrder(XbShort order);
XBAPI XbShort xb_IndexOrd(void);
/* What happened to the selected work area's index files since the last call (and so since it
   was opened): XB_INDEX_LOST, tags whose definitions could not be read are gone (an index
   file that is none, or a damaged tag directory); XB_INDEX_REFUSED, the active order was
   given up (its file could not be read, repaired or copied, or its tag went), so the walk in
   it ended and xb_IndexOrd is 0. Damage that was repaired, or served from a rebuilt copy of
   the work area's own, is not reported: the orders give their right answers. XB_INDEX_BUSY,
   another process kept an index file's lock past the wait (the lock time-out, and at least
   the time a working tag build needs): the write, append, tag build, pack or read that
   needed it was not made (a read ends as at the end of the order), and may be tried again. */
enum { XB_INDEX_LOST = 1, XB_INDEX_REFUSED = 2, XB_INDEX_BUSY = 4 };
XBAPI XbShort xb_IndexFault(void);
XBAPI const char* xb_IndexName(XbShort order);
XBAPI const char* xb_IndexKey(void);
XBAPI const char* xb_IndexKeyField(void);
XBAPI const char* xb_IndexCondition(void);
XBAPI XbShort xb_IndexType(void); /* 2 = unique */
XBAPI XbShort xb_IndexFlip(void);
XBAPI XbShort xb_TagArea(const char* tagName);
XBAPI const char* xb_TagName(XbShort order);
XBAPI XbShort xb_TagCount(void);
XBAPI XbShort xb_TagDelete(const char* tagName);
XBAPI const char* xb_TagInfo(XbShort order);
XBAPI void xb_Reindex(void);
XBAPI XbLong xb_Descend(XbLong on);
XBAPI XbShort xb_KeyAdd(const char* tagName);
XBAPI XbShort xb_KeyDrop(const char* tagName);
XBAPI const char* xb_KeyData(void);
XBAPI XbShort xb_KeyLength(void);
XBAPI XbShort xb_Seek(const char* key);
XBAPI XbShort xb_SeekBin(const void* key, XbShort length);
XBAPI XbShort xb_Found(void);
XBAPI XbShort xb_SetScope(const char* low, const char* high);
XBAPI const char* xb_GetScope(XbShort which); /* 0 low, 1 high */
XBAPI double xb_OrderPosGet(void);
XBAPI void xb_OrderPosSet(double position);
XBAPI XbLong xb_OrderRecNo(double position);
XBAPI XbShort xb_SetRelation(const char* childAlias, const char* keyExpression);

/* ---- locks -------------------------------------------------------------------------------- */
XBAPI XbShort xb_Rlock(XbLong recNo);
XBAPI XbShort xb_Flock(void);
XBAPI void xb_Unlock(XbLong recNo);
XBAPI XbShort xb_Locked(XbLong recNo);
XBAPI XbLong xb_LockCount(void);
XBAPI const char* xb_DBRlockList(void);
XBAPI void xb_SetLockTimeout(XbShort seconds);

/* ---- environment -------------------------------------------------------------------------- */
XBAPI void xb_SetDeleted(XbShort on);
XBAPI void xb_SetCentury(XbShort on);
XBAPI void xb_SetDateFormat(XbShort code); /* 99 = the format settings' default */
XBAPI XbShort xb_GetDateFormat(void);
XBAPI void xb_SetEpoch(XbShort year);
XBAPI void xb_SetExact(XbShort on);
XBAPI void xb_SetSoftSeek(XbShort on);
XBAPI void xb_SetTranslate(XbShort on);
XBAPI void xb_SetTurboRead(XbShort on);
XBAPI void xb_SetStringType(XbShort type);
XBAPI void xb_SetPassword(const char* password);
XBAPI XbShort xb_IsEncrypted(XbShort which);
XBAPI XbShort xb_Encrypt(const char* password);
XBAPI XbShort xb_Decrypt(const char* password);
XBAPI XbShort xb_DbfEncrypt(const char* fileName, const char* password);
XBAPI XbShort xb_DbfDecrypt(const char* fileName, const char* password);
XBAPI XbShort xb_ErrorLevel(XbShort level);
XBAPI void xb_SetErrorFunc(XbPtr func);
XBAPI const char* xb_Version(void);
XBAPI XbLong xb_SysProp(XbShort code, XbPtr value);
XBAPI void xb_SetGaugeHook(XbPtr window);
XBAPI void xb_SetGaugeFunc(XbPtr func);
/* Installs the routine that delivers gauge codes to a hooked window (null = none). */
XBAPI void xb_SetGaugePoster(XbGaugePoster poster);
XBAPI void xb_SetHandles(XbShort count);
XBAPI const char* xb_BaseDate(void);
XBAPI void xb_FinalizeSession(void);
XBAPI void xb_SetUDFPath(const char* path);
XBAPI const char* xb_GetUDFPath(void);
XBAPI void xb_SetUserDelimiter(const char* delimiter);
XBAPI void xb_SetCollationRule(XbShort rule);
XBAPI void xb_SetMachineCollation(XbShort on);
XBAPI void xb_SetSystemCollation(XbShort on);
XBAPI void xb_AddDudenCollation(void);
XBAPI void xb_AddEtecCollation(void);
XBAPI const char* xb_GetSystemLocale(void);
XBAPI const char* xb_GetSystemCharOrder(void);

#ifdef __cplusplus
}
#endif

#endif
