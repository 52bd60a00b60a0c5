// Neutral answers of the expression, index, query and copy entry points until their real
// implementations land: nothing found, nothing done, empty text.
#include "engine/include/xbeng61.h"
#include "engine/src/Contract.h"

extern "C" {

XBAPI XbLong xb_CopyFile(const char*) { return 0; }
XBAPI XbLong xb_CopyFileText(const char*, const char*) { return 0; }
XBAPI XbLong xb_AppendFrom(const char*, XbShort, const char*) { return 0; }
XBAPI XbLong xb_CopyStructure(const char*, XbShort) { return 0; }
XBAPI XbLong xb_CopyStructureExtended(const char*) { return 0; }
XBAPI XbLong xb_CreateFrom(const char*, const char*, XbShort) { return 0; }

}  // extern "C"
