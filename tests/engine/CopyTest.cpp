// Copying note files: the pack copy in title-2 order (header first, deleted notes gone,
// bodies along), merges of all or only the marked notes, text export and structure copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/engine/OrderTestNotes.h"

namespace {

using xbtest::EngineTest;
using xbtest::MakeNotes;
using xbtest::Walk;
using V = std::vector<XbLong>;

std::string Memo(const char* field) {
  char* m = xb_GetMemo(field, 0);
  std::string s = m ? m : "";
  xb_MemDealloc(m);
  return s;
}

std::vector<std::string> Titles(const char* field) {
  std::vector<std::string> out;
  for (XbLong r = 1; r <= xb_RecCount(); ++r) {
    xb_Go(r);
    out.push_back(xb_GetTrimString(field));
  }
  return out;
}

TEST_F(EngineTest, PackCopyFollowsTheOrderKeepsBodiesAndDropsDeletedNotes) {
  std::string body = xbtest::Hangul(3000);  // a long body crosses many memo blocks
  ASSERT_GT(MakeNotes(Path("note.dbf"), {{"n1", "delta", "v", "first body"},
                                         {"n2", "alpha", " ", body},
                                         {"n3", "charlie", " ", "", true},
                                         {"n4", "bravo", "v", "fourth"}}),
            0);
  // As the pack does it: the header shown and undeleted with blank titles, then the copy.
  xb_SetDeleted(0);
  xb_Go(1);
  xb_Recall();
  for (const char* f : {"tit1", "tit2", "tit3", "tit4"}) xb_PutString(f, "");
  xb_Commit();
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 1);
  EngineTest::WriteFile(Path("sort.dbf"), "old file in the way");
  {
    xbtest::GaugeRecorder gauge;
    ASSERT_NE(xb_CopyFile(Path("sort.dbf").c_str()), 0);
  }
  ASSERT_FALSE(xbtest::GaugeRecorder::Codes().empty());
  EXPECT_EQ(xbtest::GaugeRecorder::Codes().back(), XB_GAUGE_CODE(100));
  EXPECT_EQ(xb_RecNo(), 1);  // the source stays where it was
  EXPECT_EQ(xb_IndexOrd(), 1);
  xb_Close();

  ASSERT_TRUE(std::filesystem::exists(Path("sort.smt")));
  EXPECT_FALSE(std::filesystem::exists(Path("sort.nsx")));
  ASSERT_GT(xb_UseEx(Path("sort.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_RecCount(), 4);
  EXPECT_EQ(Titles("tit2"), (std::vector<std::string>{"", "alpha", "bravo", "delta"}));
  EXPECT_EQ(Titles("tit1"), (std::vector<std::string>{"", "n2", "n4", "n1"}));
  xb_Go(2);
  EXPECT_EQ(Memo("mmm"), body);
  xb_Go(3);
  EXPECT_EQ(Memo("mmm"), "fourth");
  EXPECT_STREQ(xb_GetString("chk"), "v");
  xb_Go(1);
  EXPECT_EQ(xb_Deleted(), 0);
  // The copy is the caller's to rename over the note file; copying onto itself is refused.
  EXPECT_EQ(xb_CopyFile(Path("sort.dbf").c_str()), 0);
}

// A copy of several batches (each goes to the disk while the next is gathered) with the
// gauge hooked: every note comes across once, in the order in force, with its own body.
TEST_F(EngineTest, PackCopyOfManyBatchesKeepsEveryNoteInOrderWithItsBody) {
  const int kSource = 2100, kMerges = 12;  // about 25,000 notes: three batches of 2 MB
  ASSERT_TRUE(xbtest::MakeMergeSource(Path("src.dbf"), kSource));
  std::map<std::string, std::string> bodyOf;
  for (int i = 0; i < kSource; ++i)
    if (i % 250 != 7) bodyOf["s" + std::to_string((i * 7919) % kSource)] = xbtest::MergeSourceBody(i);
  ASSERT_GT(MakeNotes(Path("big.dbf"), {}), 0);
  xb_SetDeleted(-1);
  for (int m = 0; m < kMerges; ++m) ASSERT_NE(xb_AppendFrom(Path("src.dbf").c_str(), XB_TT_NSX, nullptr), 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  {
    xbtest::GaugeRecorder gauge;
    ASSERT_NE(xb_CopyFile(Path("sort.dbf").c_str()), 0);
  }
  EXPECT_EQ(xbtest::GaugeRecorder::Codes().back(), XB_GAUGE_CODE(100));
  xb_Close();
  ASSERT_GT(xb_UseEx(Path("sort.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  ASSERT_EQ(xb_RecCount(), static_cast<XbLong>(bodyOf.size() * kMerges));
  std::map<std::string, int> seen;
  std::string previous;
  for (XbLong r = 1; r <= xb_RecCount(); ++r) {
    xb_Go(r);
    const std::string t = xb_GetTrimString("tit1");
    ASSERT_EQ(bodyOf.count(t), 1u) << r;
    ASSERT_LE(previous, t) << r;
    ASSERT_EQ(Memo("mmm"), bodyOf[t]) << r;
    ++seen[t];
    previous = t;
  }
  for (const auto& [title, n] : seen) EXPECT_EQ(n, kMerges) << title;
}

TEST_F(EngineTest, MergeAppendsAllOrOnlyMarkedNotesWithTheirBodies) {
  ASSERT_GT(MakeNotes(Path("other.dbf"), {{"o1", "", "v", "marked body"},
                                          {"o2", "", " ", "plain body"},
                                          {"o3", "", "v", "gone", true},
                                          {"o4", "", "v", ""}}),
            0);
  xb_Close();
  ASSERT_GT(MakeNotes(Path("base.dbf"), {{"b1", "t"}}), 0);
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  ASSERT_NE(xb_AppendFrom(Path("other.dbf").c_str(), XB_TT_NSX, "chk=\"v\""), 0);
  EXPECT_EQ(xb_RecCount(), 4);  // header, b1, o1, o4: the source's header and deleted o3 stay out
  EXPECT_EQ(Walk(), (V{2, 3, 4}));  // the tag took the new notes in
  xb_Go(3);
  EXPECT_STREQ(xb_GetTrimString("tit1"), "o1");
  EXPECT_EQ(Memo("mmm"), "marked body");
  ASSERT_NE(xb_AppendFrom(Path("other.dbf").c_str(), XB_TT_NSX, nullptr), 0);
  EXPECT_EQ(xb_RecCount(), 7);
  xb_Go(6);
  EXPECT_STREQ(xb_GetTrimString("tit1"), "o2");
  EXPECT_EQ(Memo("mmm"), "plain body");
  // A bad condition, a missing source or the table itself appends nothing.
  EXPECT_EQ(xb_AppendFrom(Path("other.dbf").c_str(), XB_TT_NSX, "chk="), 0);
  EXPECT_EQ(xb_AppendFrom(Path("missing.dbf").c_str(), XB_TT_NSX, nullptr), 0);
  EXPECT_EQ(xb_AppendFrom(Path("BASE").c_str(), XB_TT_NSX, nullptr), 0);
  EXPECT_EQ(xb_RecCount(), 7);
}

TEST_F(EngineTest, FieldsMatchByNameAcrossLayoutsAndStructuresCopy) {
  ASSERT_GT(MakeNotes(Path("notes.dbf"), {{"a title", "second"}}), 0);
  ASSERT_NE(xb_CopyStructureExtended(Path("layout.dbf").c_str()), 0);
  ASSERT_NE(xb_CopyFileText(Path("notes.txt").c_str(), ","), 0);
  std::string text = EngineTest::ReadFile(Path("notes.txt"));
  EXPECT_NE(text.find("\"a title\",\"second\""), std::string::npos);
  xb_Close();
  // A table of another shape built from part of that layout: TIT2 (wider) and a new field.
  ASSERT_GT(xb_CreateNew(Path("narrow.dbf").c_str(), "", XB_TT_CDX, 2), 0);
  xb_CreateField("TIT2", "C", 3, 0);
  xb_CreateField("EXTRA", "N", 5, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  ASSERT_GT(xb_UseEx(Path("narrow.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  xb_SetDeleted(-1);
  ASSERT_NE(xb_AppendFrom(Path("notes.dbf").c_str(), XB_TT_NSX, nullptr), 0);
  ASSERT_EQ(xb_RecCount(), 1);
  xb_Go(1);
  EXPECT_STREQ(xb_GetString("TIT2"), "sec");
  EXPECT_EQ(xb_GetLong("EXTRA"), 0);
  xb_Close();
  ASSERT_NE(xb_CreateFrom(Path("rebuilt.dbf").c_str(), Path("layout.dbf").c_str(), XB_TT_NSX), 0);
  ASSERT_GT(xb_UseEx(Path("rebuilt.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_FieldCount(), 10);
  EXPECT_EQ(xb_FieldWidth("tit1"), 60);
  EXPECT_STREQ(xb_FieldType("mmm"), "M");
}

// A merge goes in batches. Into a file with tags, both ways of bringing the keys along (one
// rebuild at the end of a merge large beside its target, insertion batch by batch otherwise)
// leave every tag holding exactly the table's records in key order, each body with its note,
// and an index that the next open trusts as it stands.
TEST_F(EngineTest, MergesInBatchesKeepTagsExactBodiesWithTheirNotesAndATrustedIndex) {
  const int kSource = 2100;
  ASSERT_TRUE(xbtest::MakeMergeSource(Path("src.dbf"), kSource));
  std::map<std::string, std::string> bodyOf;
  for (int i = 0; i < kSource; ++i)
    if (i % 250 != 7) bodyOf["s" + std::to_string((i * 7919) % kSource)] = xbtest::MergeSourceBody(i);
  ASSERT_GT(MakeNotes(Path("tgt.dbf"), {{"t1", "a"}}), 0);
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 2);
  // The first merges are large beside the target (rebuilt tags); the last meets a target
  // more than sixteen times its size (keys inserted, in two batches).
  const int kMerges = 18;
  for (int merge = 1; merge <= kMerges; ++merge) {
    SCOPED_TRACE("merge " + std::to_string(merge));
    const XbLong before = xb_RecCount();
    ASSERT_NE(xb_AppendFrom(Path("src.dbf").c_str(), XB_TT_NSX, nullptr), 0);
    ASSERT_EQ(xb_RecCount(), before + static_cast<XbLong>(bodyOf.size()));
    if (merge != 1 && merge != kMerges) continue;
    xbtest::ExpectTagMatchesTable("TIT1", "tit1");
    xbtest::ExpectTagMatchesTable("TIT2", "tit2");
    xb_SetOrder(0);
    int checked = 0;
    for (XbLong r = before + 1; r <= xb_RecCount(); ++r) {
      xb_Go(r);
      const std::string t = xb_GetTrimString("tit1");
      ASSERT_EQ(bodyOf.count(t), 1u) << r;
      EXPECT_EQ(Memo("mmm"), bodyOf[t]) << r;
      ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(bodyOf.size()));
    // Opened again, the index is used as it is, not rebuilt.
    const std::string index = EngineTest::ReadFile(Path("tgt.nsx"));
    xb_Close();
    ASSERT_GT(xb_UseEx(Path("tgt.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    EXPECT_EQ(xb_TagCount(), 2);
    xbtest::ExpectTagMatchesTable("TIT1", "tit1");
    EXPECT_TRUE(EngineTest::ReadFile(Path("tgt.nsx")) == index);
  }
  // The gauge of a merge runs up once to one hundred, through its rebuild too.
  xb_Close();
  ASSERT_GT(MakeNotes(Path("gauge.dbf"), {{"g", "g"}}), 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  {
    xbtest::GaugeRecorder gauge;
    ASSERT_NE(xb_AppendFrom(Path("src.dbf").c_str(), XB_TT_NSX, nullptr), 0);
  }
  const std::vector<uint16_t>& codes = xbtest::GaugeRecorder::Codes();
  ASSERT_GT(codes.size(), 10u);
  int last = 0;
  for (uint16_t code : codes) {
    const int percent = -static_cast<int16_t>(code);
    EXPECT_GE(percent, last);  // never back; a beat on a slow machine may repeat one
    last = percent;
  }
  EXPECT_EQ(codes.back(), XB_GAUGE_CODE(100));
}

}  // namespace
