// Seek and soft seek on a title tag, whole-key seeks, raw CP949 keys with the quick move's
// lead-plus-0xC8 0xFE form (also from EOF), and scopes.
#include <gtest/gtest.h>

#include "tests/engine/OrderTestNotes.h"

namespace {

using xbtest::EngineTest;
using xbtest::MakeNotes;
using xbtest::Walk;
using V = std::vector<XbLong>;

const char* const kGa = "\xB0\xA1";  // the syllables ga, na, da
const char* const kNa = "\xB3\xAA";
const char* const kDa = "\xB4\xD9";

class SeekTest : public EngineTest {
 protected:
  // 2 apple, 3 banana, 4 cherry, 5 ga-na, 6 ga-da, 7 na; TIT1 active.
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_GT(MakeNotes(Path("seek.dbf"), {{"apple"},
                                           {"banana"},
                                           {"cherry"},
                                           {std::string(kGa) + kNa},
                                           {std::string(kGa) + kDa},
                                           {kNa}}),
              0);
    xb_SetDeleted(-1);
    ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  }
};

TEST_F(SeekTest, PrefixSoftAndWholeKeySeeks) {
  struct Case {
    const char* key;
    bool soft, whole;
    bool found;
    XbLong rec;  // where the seek leaves the table (8 = EOF)
  } cases[] = {
      {"ban", false, false, true, 3},   {"banana", false, false, true, 3}, {"bx", false, false, false, 8},
      {"bx", true, false, false, 4},    {"a", true, false, true, 2},       {"\xFF", true, false, false, 8},
      {"ban", false, true, false, 8},   {"ban", true, true, false, 3},     {"banana", false, true, true, 3},
      {"", false, false, true, 2},
  };
  for (const Case& c : cases) {
    xb_SetSoftSeek(c.soft ? -1 : 0);
    XbLong before = xb_SysProp(1003, c.whole ? 1 : 0);
    XbShort found = xb_Seek(c.key);
    xb_SysProp(1003, before);
    SCOPED_TRACE(std::string(c.key) + (c.soft ? " soft" : "") + (c.whole ? " whole" : ""));
    EXPECT_EQ(found != 0, c.found);
    EXPECT_EQ(xb_Found() != 0, c.found);
    EXPECT_EQ(xb_RecNo(), c.rec);
    EXPECT_EQ(xb_Eof() != 0, c.rec == 8);
  }
  // SET EXACT makes it a whole-key seek too.
  xb_SetSoftSeek(0);
  xb_SetExact(-1);
  EXPECT_EQ(xb_Seek("ban"), 0);
  EXPECT_NE(xb_Seek("banana"), 0);
  xb_SetExact(0);
  // Deleted records are passed over while SET DELETED hides them.
  xb_Go(3);
  xb_Delete();
  xb_SetSoftSeek(-1);
  EXPECT_EQ(xb_Seek("banana"), 0);
  EXPECT_EQ(xb_RecNo(), 4);
  // A change not yet written reaches the tag before the seek lands anywhere.
  xb_SetSoftSeek(0);
  xb_Go(2);
  xb_PutString("tit1", "zebra");
  EXPECT_NE(xb_Seek("zeb"), 0);
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_EQ(xb_Seek("apple"), 0);
  // No order: nothing to seek in.
  xb_SetOrder(0);
  EXPECT_EQ(xb_Seek("apple"), 0);
}

TEST_F(SeekTest, QuickMoveFindsTheLastEntryOfALeadEvenFromEof) {
  xb_SetSoftSeek(-1);
  // Words starting with ga: the key ga + 0xC8 0xFE lands on na, one back is ga-da.
  std::string key = std::string(kGa) + "\xC8\xFE";
  EXPECT_EQ(xb_Seek(key.c_str()), 0);
  EXPECT_EQ(xb_RecNo(), 7);
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 6);
  // Words starting with na: nothing is above the key, the seek ends at EOF, one back is na.
  key = std::string(kNa) + "\xC8\xFE";
  EXPECT_EQ(xb_Seek(key.c_str()), 0);
  EXPECT_NE(xb_Eof(), 0);
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 7);
  EXPECT_EQ(xb_Eof(), 0);
  // Raw bytes seek the same way.
  EXPECT_NE(xb_SeekBin(kGa, 2), 0);
  EXPECT_EQ(xb_RecNo(), 5);
}

TEST_F(SeekTest, ScopesLimitTheViewByKeyPrefix) {
  EXPECT_NE(xb_SetScope("b", "c"), 0);
  EXPECT_STREQ(xb_GetScope(0), "b");
  EXPECT_STREQ(xb_GetScope(1), "c");
  EXPECT_EQ(Walk(), (V{3, 4}));
  EXPECT_EQ(xb_Count(), 2);
  xb_GoBottom();
  EXPECT_EQ(xb_RecNo(), 4);
  xb_SetSoftSeek(0);
  EXPECT_EQ(xb_Seek("apple"), 0);  // outside the scope
  EXPECT_NE(xb_Seek("ch"), 0);
  EXPECT_EQ(xb_RecNo(), 4);
  // Skipping from a record outside the scope enters it at the near edge.
  xb_Go(2);  // apple, below the scope
  xb_Skip(1);
  EXPECT_EQ(xb_RecNo(), 3);
  xb_Go(7);  // na, above it
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 4);
  // A single bound scopes to one prefix.
  EXPECT_NE(xb_SetScope(kGa, nullptr), 0);
  EXPECT_EQ(Walk(), (V{5, 6}));
  // None, none clears.
  EXPECT_NE(xb_SetScope(nullptr, nullptr), 0);
  EXPECT_STREQ(xb_GetScope(0), "");
  EXPECT_EQ(Walk(), (V{2, 3, 4, 5, 6, 7}));
  // A scope belongs to its order and comes back with it; with no order there is nothing
  // to scope.
  xb_SetScope("b", "c");
  xb_SetOrder(0);
  EXPECT_STREQ(xb_GetScope(0), "");
  EXPECT_EQ(xb_SetScope("b", "c"), 0);
  EXPECT_EQ(Walk(), (V{2, 3, 4, 5, 6, 7}));
  xb_SetOrder(1);
  EXPECT_STREQ(xb_GetScope(0), "b");
  EXPECT_EQ(Walk(), (V{3, 4}));
  // Rebuilding the tag drops its scope: the key may mean something else now.
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  EXPECT_STREQ(xb_GetScope(0), "");
}

}  // namespace
