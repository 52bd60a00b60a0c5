// Entry points that the table layer binds but never calls, answered neutrally in this one
// place: nothing done, 0 or "" returned. Encryption is not offered (tables are plain), the
// collation is the one table set through xb_SysProp 1101, and XML export is not offered.
#include "engine/include/xbeng61.h"

extern "C" {

XBAPI XbShort xb_IsNull(const char*) { return 0; }
XBAPI const char* xb_GetXML(XbShort) { return ""; }
XBAPI XbShort xb_Encrypt(const char*) { return 0; }
XBAPI XbShort xb_Decrypt(const char*) { return 0; }
XBAPI XbShort xb_DbfEncrypt(const char*, const char*) { return 0; }
XBAPI XbShort xb_DbfDecrypt(const char*, const char*) { return 0; }
XBAPI void xb_SetHandles(XbShort) {}
XBAPI const char* xb_BaseDate(void) { return ""; }
XBAPI void xb_SetCollationRule(XbShort) {}
XBAPI void xb_SetMachineCollation(XbShort) {}
XBAPI void xb_SetSystemCollation(XbShort) {}
XBAPI void xb_AddDudenCollation(void) {}
XBAPI void xb_AddEtecCollation(void) {}
XBAPI const char* xb_GetSystemLocale(void) { return ""; }
XBAPI const char* xb_GetSystemCharOrder(void) { return ""; }

}  // extern "C"
