// The note file layout of the application, made through the engine's entry points; with no
// test framework in it, so the fuzz harnesses use it too.
#pragma once

#include <string>

#include "engine/include/xbeng61.h"

namespace xbtest {

// Creates a note file with the application's ten fields (tit1 and tit4 `wideTitles` wide).
inline bool CreateNoteFile(const std::string& path, int wideTitles = 60) {
  if (xb_CreateNew(path.c_str(), "", XB_TT_NSX, 10) <= 0) return false;
  xb_CreateField("mmm", "m", 10, 0);
  xb_CreateField("kno", "C", 12, 0);
  xb_CreateField("chk", "C", 1, 0);
  xb_CreateField("lock", "C", 1, 0);
  xb_CreateField("type", "C", 1, 0);
  xb_CreateField("bible", "C", 4, 0);
  xb_CreateField("tit1", "C", static_cast<XbShort>(wideTitles), 0);
  xb_CreateField("tit2", "C", 40, 0);
  xb_CreateField("tit3", "C", 40, 0);
  xb_CreateField("tit4", "C", static_cast<XbShort>(wideTitles), 0);
  bool ok = xb_CreateExec() != 0;
  xb_Close();
  return ok;
}

}  // namespace xbtest
