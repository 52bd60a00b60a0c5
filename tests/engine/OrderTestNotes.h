// A note file for order, seek, scope, query and copy tests: the application's layout, a
// deleted header in record 1 and notes made from (tit1, tit2, chk) triples.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "helpers/NoteFixture.h"

namespace xbtest {

struct NoteRow {
  NoteRow(std::string t1, std::string t2 = "", std::string c = " ", std::string b = "", bool d = false)
      : tit1(std::move(t1)), tit2(std::move(t2)), chk(std::move(c)), body(std::move(b)), deleted(d) {}
  std::string tit1, tit2, chk, body;
  bool deleted = false;
};

// Creates the file and leaves it open (shared) in the current work area; 0 on failure.
inline XbShort MakeNotes(const std::string& path, const std::vector<NoteRow>& notes,
                         const std::string& description = "description") {
  if (!CreateNoteFile(path)) return 0;
  XbShort wa = xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0);
  if (wa <= 0) return 0;
  xb_AppendBlank();
  xb_PutString("tit1", "Title1  Title2  Title3  Title4  ");
  xb_PutString("tit2", description.c_str());
  xb_Commit();
  xb_Delete();
  for (const NoteRow& n : notes) {
    xb_AppendBlank();
    xb_PutString("tit1", n.tit1.c_str());
    xb_PutString("tit2", n.tit2.c_str());
    xb_PutString("chk", n.chk.empty() ? " " : n.chk.c_str());
    if (!n.body.empty()) xb_Replace("mmm", XB_RT_MEMO, n.body.c_str());
    xb_Commit();
    if (n.deleted) xb_Delete();
  }
  return wa;
}

// Record numbers in the view's order, from the top.
inline std::vector<XbLong> Walk() {
  std::vector<XbLong> out;
  for (xb_GoTop(); !xb_Eof() && out.size() < 10000; xb_Skip(1)) out.push_back(xb_RecNo());
  return out;
}

inline std::vector<XbLong> WalkBack() {
  std::vector<XbLong> out;
  xb_GoBottom();
  while (!xb_Eof() && out.size() < 10000) {
    out.push_back(xb_RecNo());
    if (xb_Bof()) break;
    XbLong before = xb_RecNo();
    xb_Skip(-1);
    if (xb_Bof() && xb_RecNo() == before) break;
  }
  return out;
}

// Collects the gauge codes the engine posts while installed.
struct GaugeRecorder {
  GaugeRecorder() {
    Codes().clear();
    xb_SetGaugePoster(Post);
    xb_SetGaugeHook(77);
  }
  ~GaugeRecorder() { xb_SetGaugeHook(0); }
  static std::vector<uint16_t>& Codes() {
    static std::vector<uint16_t> codes;
    return codes;
  }
  static void Post(XbPtr, uint16_t code) { Codes().push_back(code); }
};

}  // namespace xbtest
