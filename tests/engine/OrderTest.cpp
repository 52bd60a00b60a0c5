// Index tags and orders through the C interface: building and rebuilding tags with their
// order numbers kept, order switches keeping the record, every kind of write keeping tags
// current, pack, reopening, positions, gauge codes, and stale or foreign index files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tests/engine/OrderTestNotes.h"

namespace {

using xbtest::EngineTest;
using xbtest::MakeNotes;
using xbtest::Walk;
using xbtest::WalkBack;
using V = std::vector<XbLong>;

class OrderTest : public EngineTest {
 protected:
  // Records 2..6: banana, apple, cherry, apple, (deleted) aaa.
  XbShort Open() {
    return MakeNotes(Path("notes.dbf"), {{"banana", "x", "v"},
                                         {"apple", "z", " "},
                                         {"cherry", "y", "v"},
                                         {"apple", "w", " "},
                                         {"aaa", "q", " ", "", true}});
  }
};

TEST_F(OrderTest, TagsBuildRebuildAndKeepOrderNumbers) {
  ASSERT_GT(Open(), 0);
  xb_SetDeleted(-1);
  EXPECT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  EXPECT_EQ(xb_IndexOrd(), 1);
  EXPECT_EQ(Walk(), (V{3, 5, 2, 4}));  // equal keys in record order, deleted ones hidden
  EXPECT_EQ(WalkBack(), (V{4, 2, 5, 3}));
  EXPECT_EQ(xb_IndexTag(nullptr, " tit2 ", "tit2", 0, 0, nullptr), 2);
  EXPECT_STREQ(xb_TagName(2), "TIT2");
  EXPECT_EQ(xb_TagArea(" Tit2 "), 2);
  EXPECT_EQ(xb_TagArea("NONE"), 0);
  EXPECT_EQ(xb_TagCount(), 2);
  EXPECT_EQ(Walk(), (V{5, 2, 4, 3}));
  // Rebuilding TIT1 keeps its order number and makes it active again.
  EXPECT_EQ(xb_IndexTag(nullptr, "TIT1", "upper(tit1)", 0, 0, nullptr), 1);
  EXPECT_EQ(xb_IndexOrd(), 1);
  EXPECT_STREQ(xb_IndexKey(), "upper(tit1)");
  EXPECT_STREQ(xb_IndexKeyField(), "TIT1");
  EXPECT_EQ(xb_IndexType(), 1);
  EXPECT_EQ(xb_SysProp(3000, 0), 2);
  // Invalid expressions and names build nothing.
  EXPECT_EQ(xb_IndexTag(nullptr, "BAD", "tit1 +", 0, 0, nullptr), 0);
  EXPECT_EQ(xb_IndexTag(nullptr, "", "tit1", 0, 0, nullptr), 0);
  EXPECT_EQ(xb_IndexTag(nullptr, "TOOLONGNAME1", "tit1", 0, 0, nullptr), 0);
  EXPECT_EQ(xb_TagCount(), 2);
  // A descending tag with a condition.
  EXPECT_EQ(xb_IndexTag(nullptr, "MARKED", "tit1", 0, -1, "chk=\"v\""), 3);
  EXPECT_EQ(Walk(), (V{4, 2}));
  EXPECT_NE(xb_SysProp(3002, 0), 0);
  EXPECT_STREQ(xb_IndexCondition(), "chk=\"v\"");
  EXPECT_NE(xb_TagDelete("marked"), 0);
  EXPECT_EQ(xb_TagCount(), 2);
  // A condition on DELETED(): delete and recall take the record out of the tag and back.
  xb_SetDeleted(0);
  ASSERT_EQ(xb_IndexTag(nullptr, "LIVE", "tit2", 0, 0, ".not. deleted()"), 3);
  EXPECT_EQ(Walk(), (V{5, 2, 4, 3}));
  xb_Go(4);
  xb_Delete();
  EXPECT_EQ(Walk(), (V{5, 2, 3}));
  xb_Go(4);
  xb_Recall();
  EXPECT_EQ(Walk(), (V{5, 2, 4, 3}));
  xb_SetDeleted(-1);
}

TEST_F(OrderTest, SetOrderKeepsTheRecordAndWritesKeepTagsCurrent) {
  ASSERT_GT(Open(), 0);
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 2);
  xb_Go(4);
  xb_SetOrder(1);
  EXPECT_EQ(xb_RecNo(), 4);
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 2);  // banana comes before cherry
  xb_SetOrder(0);
  EXPECT_EQ(xb_RecNo(), 2);
  xb_SetOrder(1);

  // Replace, PutRecord, append, delete and recall all keep every tag current.
  xb_Go(2);
  xb_PutString("tit1", "aardvark");
  xb_Commit();
  EXPECT_EQ(Walk(), (V{2, 3, 5, 4}));
  std::vector<char> image(static_cast<std::size_t>(xb_RecSize()));
  xb_Go(4);
  xb_GetRecord(image.data());
  std::memcpy(image.data() + xb_FieldOffset("tit1") - 1, "abc", 3);
  xb_PutRecord(image.data());
  xb_Commit();
  EXPECT_EQ(Walk(), (V{2, 4, 3, 5}));
  xb_AppendBlank();
  xb_PutString("tit1", "zebra");
  xb_PutString("tit2", "a");
  xb_Commit();
  EXPECT_EQ(xb_RecNo(), 7);
  EXPECT_EQ(Walk(), (V{2, 4, 3, 5, 7}));
  xb_SetOrder(2);
  EXPECT_EQ(Walk().front(), 7);
  xb_SetOrder(1);
  xb_Go(3);
  xb_Delete();
  EXPECT_EQ(Walk(), (V{2, 4, 5, 7}));
  xb_SetDeleted(0);  // the header's labels ("Title1...") sort before every lower-case title
  EXPECT_EQ(Walk(), (V{1, 6, 2, 4, 3, 5, 7}));

  // Positions agree with each other and with the order.
  xb_Go(3);
  double pos = xb_OrderPosGet();
  EXPECT_EQ(static_cast<int>(pos * 7), 5);
  xb_GoTop();
  xb_OrderPosSet(pos);
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_EQ(xb_OrderRecNo(1.0), 7);
  EXPECT_EQ(xb_OrderRecNo(0.0), 1);

  // Closed and opened again: the production index comes back with its tags and order.
  xb_Close();
  ASSERT_GT(xb_UseEx(Path("notes.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_TagCount(), 2);
  EXPECT_EQ(xb_IndexOrd(), 0);
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_EQ(Walk(), (V{1, 6, 2, 4, 3, 5, 7}));
}

TEST_F(OrderTest, PackAndZapRebuildEveryTag) {
  ASSERT_GT(Open(), 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  xb_Close();
  ASSERT_GT(xb_UseEx(Path("notes.dbf").c_str(), "", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0), 0);
  xb_SetDeleted(-1);
  xb_Pack();  // drops the header (1) and the deleted aaa (6)
  EXPECT_EQ(xb_RecCount(), 4);
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_EQ(Walk(), (V{2, 4, 1, 3}));
  xb_Zap();
  EXPECT_EQ(Walk(), V{});
  xb_AppendBlank();
  xb_PutString("tit1", "solo");
  xb_Commit();
  EXPECT_EQ(Walk(), V{1});
}

TEST_F(OrderTest, GaugeCodesRunUpToOneHundred) {
  ASSERT_GT(Open(), 0);
  for (int i = 0; i < 300; ++i) {
    xb_AppendBlank();
    xb_PutString("tit1", std::to_string(i).c_str());
    xb_Commit();
  }
  std::vector<uint16_t>& codes = xbtest::GaugeRecorder::Codes();
  {
    xbtest::GaugeRecorder gauge;
    ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  }
  ASSERT_FALSE(codes.empty());
  int last = 0;
  for (uint16_t code : codes) {
    EXPECT_NE(code & 0x7000, 0);
    int percent = -static_cast<int16_t>(code);
    EXPECT_GE(percent, last);  // never back; a beat on a slow machine may repeat one
    EXPECT_LE(percent, 100);
    last = percent;
  }
  EXPECT_EQ(codes.back(), XB_GAUGE_CODE(100));
}

// Another process writing through its own work area: its key changes show here at once.
// A foreign tool writing the .dbf with no index: the index is stale at the next open and is
// rebuilt, never trusted.
TEST_F(OrderTest, OtherProcessesChangesAreSeenAndStaleIndexesRebuilt) {
  ASSERT_GT(Open(), 0);
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  std::string path = Path("notes.dbf");
  pid_t pid = fork();
  if (pid == 0) {
    // The inherited work area is left alone: its descriptions are shared with the parent.
    XbShort wa = xb_UseEx(path.c_str(), "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0);
    if (wa <= 0) _exit(2);
    xb_Go(4);
    xb_PutString("tit1", "aaaa");
    xb_Commit();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Walk(), (V{4, 3, 5, 2}));
  xb_Close();

  // A foreign write: record 5's tit1 changes straight in the file. File times tick in steps
  // of a few milliseconds, so the write waits for the next tick to be told apart.
  usleep(20000);
  {
    std::string bytes = EngineTest::ReadFile(path);
    std::size_t at = bytes.find("apple", bytes.find("apple") + 1);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 5, "zzzzz");
    EngineTest::WriteFile(path, bytes);
  }
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_EQ(Walk(), (V{4, 3, 2, 5}));
  EXPECT_NE(xb_Seek("zzz"), 0);
  EXPECT_EQ(xb_RecNo(), 5);
  xb_Close();

  // An index file that is not ours at all is never used; building a tag replaces it.
  std::string nsx = Path("notes.nsx");
  ASSERT_TRUE(std::filesystem::exists(nsx));
  EngineTest::WriteFile(nsx, std::string(9000, 'Z'));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_TagCount(), 0);
  EXPECT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  EXPECT_EQ(Walk(), (V{4, 3, 2, 5}));
}

// Two work areas on one file, the first opened before the index existed: its writes still
// reach the tag the second one built.
TEST_F(OrderTest, AWorkAreaOpenedBeforeTheIndexKeepsItCurrent) {
  XbShort first = Open();
  ASSERT_GT(first, 0);
  xb_SetDeleted(-1);
  XbShort second = xb_UseEx(Path("notes.dbf").c_str(), "SECOND", XB_OPEN_SHARED, XB_TT_NSX, 0);
  ASSERT_GT(second, 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  xb_Select(first);
  EXPECT_EQ(xb_TagCount(), 0);
  xb_Go(4);
  xb_PutString("tit1", "aaaa");
  xb_Commit();
  xb_Select(second);
  EXPECT_EQ(Walk(), (V{4, 3, 5, 2}));
}

// The file store deletes a note file's .dbf and .smt but leaves its .nsx; a new table of
// the same name then finds an index that is not its own: rebuilt, keeping only the tags
// that fit it.
TEST_F(OrderTest, AnIndexLeftByAnotherTableOfTheSameNameIsRebuiltForTheNewOne) {
  ASSERT_GT(Open(), 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  ASSERT_EQ(xb_IndexTag(nullptr, "MARK", "chk", 0, 0, nullptr), 2);
  xb_Close();
  std::filesystem::remove(Path("notes.dbf"));
  std::filesystem::remove(Path("notes.smt"));
  ASSERT_GT(xb_CreateNew(Path("notes.dbf").c_str(), "", XB_TT_NSX, 1), 0);
  xb_CreateField("TIT1", "C", 10, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  ASSERT_GT(xb_UseEx(Path("notes.dbf").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_TagCount(), 1);
  for (const char* t : {"q", "p"}) {
    xb_AppendBlank();
    xb_PutString("TIT1", t);
    xb_Commit();
  }
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_EQ(Walk(), (V{2, 1}));
}

TEST_F(OrderTest, NtxTablesKeepOneTagPerFile) {
  std::string path = Path("plain.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_NTX, 1), 0);
  xb_CreateField("NAME", "C", 8, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NTX, 0), 0);
  for (const char* n : {"b", "a", "c"}) {
    xb_AppendBlank();
    xb_PutString("NAME", n);
    xb_Commit();
  }
  EXPECT_EQ(xb_Index(Path("byname").c_str(), "name", 0, 0, nullptr), 1);
  EXPECT_TRUE(std::filesystem::exists(Path("byname.ntx")));
  EXPECT_EQ(Walk(), (V{2, 1, 3}));
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NTX, 0), 0);
  EXPECT_EQ(xb_TagCount(), 0);  // no production index for this type
  EXPECT_EQ(xb_IndexOpen(Path("byname.ntx").c_str()), 1);
  xb_SetOrder(1);
  EXPECT_EQ(Walk(), (V{2, 1, 3}));
}

}  // namespace
