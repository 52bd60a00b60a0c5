// A note file for order, seek, scope, query and copy tests: the application's layout, a
// deleted header in record 1 and notes made from (tit1, tit2, chk) triples.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// A source for merges: n notes, more than one batch of the engine's bulk append, with
// titles unique in tit1 ("s" + a permutation of 0..n-1), every 250th deleted, every 500th
// with a body of several memo blocks. Left closed.
inline std::string MergeSourceBody(int i) { return i % 500 == 0 ? Hangul(1500) : "body " + std::to_string(i); }
inline bool MakeMergeSource(const std::string& path, int n) {
  std::vector<NoteRow> rows;
  for (int i = 0; i < n; ++i)
    rows.emplace_back("s" + std::to_string((i * 7919) % n), std::to_string(i % 97), i % 3 ? " " : "v",
                      MergeSourceBody(i), i % 250 == 7);
  if (MakeNotes(path, rows) <= 0) return false;
  xb_Close();
  return true;
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

// The (key, record) pairs of a tag as the engine walks it, and as the table says they must be:
// the records from `first` on (from 1, with deleted ones shown, every entry of the tag).
inline void ExpectTagMatchesTable(const char* tag, const char* field, XbLong first = 2) {
  xb_SetOrder(0);
  std::vector<std::pair<std::string, XbLong>> want;
  for (XbLong r = first; r <= xb_RecCount(); ++r) {
    xb_Go(r);
    want.emplace_back(xb_GetString(field), r);
  }
  std::sort(want.begin(), want.end());
  xb_SetOrder(xb_TagArea(tag));
  std::vector<std::pair<std::string, XbLong>> got;
  for (xb_GoTop(); !xb_Eof() && got.size() <= want.size(); xb_Skip(1))
    got.emplace_back(xb_GetString(field), xb_RecNo());
  EXPECT_EQ(got, want) << tag;
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
