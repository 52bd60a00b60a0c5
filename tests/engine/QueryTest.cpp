// Queries, filters and the Eval calls through the C interface: the application's search
// expressions, counts with and without the hidden header record, invalid queries keeping the
// old one, character-correct matching, exactness, Locate and query bits.
#include <gtest/gtest.h>

#include "tests/engine/OrderTestNotes.h"

namespace {

using xbtest::EngineTest;
using xbtest::MakeNotes;
using xbtest::Walk;
using V = std::vector<XbLong>;

class QueryTest : public EngineTest {
 protected:
  // 2 apple pie, 3 banana (v), 4 apple (v), 5 ga-na, 6 deleted banana split.
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_GT(MakeNotes(Path("q.dbf"), {{"apple pie", "dessert"},
                                        {"banana", "fruit", "v"},
                                        {"apple", "fruit", "v"},
                                        {"\xB0\xA1\xB3\xAA", "word"},
                                        {"banana split", "dessert", " ", "", true}}),
              0);
    xb_SetDeleted(-1);
  }
};

TEST_F(QueryTest, SearchExpressionsCountsAndTheHeader) {
  EXPECT_EQ(xb_QueryRecCount(), xb_RecCount());  // no query: the batch-edit dialog relies on it
  struct Case {
    const char* expr;
    V visible;
    XbLong countHidden;  // QueryRecCount with SET DELETED on
    XbLong countShown;   // and off (the header and the deleted note count then)
  } cases[] = {
      {"at(\"an\",tit1+tit2+tit3+tit4)>0 ", {3}, 1, 2},
      {"at(\"apple\",tit1)>0 .and. at(\"fru\",tit2)>0 ", {4}, 1, 1},
      {" chk<>\" \" ", {3, 4}, 2, 2},
      {"at(\"desc\",tit1+tit2+tit3+tit4)>0 ", {}, 0, 1},
      {"(at(\"pie\",tit1)>0 ) .or. (at(\"\xB3\xAA\",tit1)>0 )", {2, 5}, 2, 2},
      {"at(\"\xA1\xB3\",tit1)>0 ", {}, 0, 0},  // straddles two syllables: no hit
      {"at(\"\",tit1)>0 ", {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expr);
    XbLong first = xb_Query(c.expr);
    EXPECT_EQ(first, c.visible.empty() ? 0 : c.visible.front());
    EXPECT_EQ(Walk(), c.visible);
    EXPECT_EQ(xb_QueryRecCount(), c.countHidden);
    xb_SetDeleted(0);
    EXPECT_EQ(xb_QueryRecCount(), c.countShown);
    xb_SetDeleted(-1);
    EXPECT_STREQ(xb_DBFilter(), c.expr);
  }
  // An invalid expression (a search word holding a quote) keeps the query in force.
  xb_Query(" chk<>\" \" ");
  EXPECT_EQ(xb_Query("at(\"it\"s\",tit1)>0 "), 0);
  EXPECT_EQ(xb_QueryTest("at(\"it\"s\",tit1)>0 "), 0);
  EXPECT_EQ(xb_QueryTest("at(\"x\",tit1)"), 0);  // numeric, not a query
  EXPECT_GT(xb_QueryTest(" chk<>\" \" "), 0);
  EXPECT_EQ(xb_QueryRecCount(), 2);
  EXPECT_STREQ(xb_DBFilter(), " chk<>\" \" ");
  // Empty clears it.
  xb_Query("");
  EXPECT_EQ(xb_QueryRecCount(), xb_RecCount());
  EXPECT_STREQ(xb_DBFilter(), "");
  EXPECT_EQ(Walk(), (V{2, 3, 4, 5}));
}

TEST_F(QueryTest, QueriesFollowTheActiveOrderAndExactness) {
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 1);
  EXPECT_EQ(xb_Query("at(\"a\",tit1)>0"), 2);  // dessert sorts first
  EXPECT_EQ(Walk(), (V{2, 3, 4}));
  xb_Query("tit1=\"apple\"");
  EXPECT_EQ(Walk(), (V{2, 4}));
  xb_QuerySetExact(-1);
  xb_Query("tit1=\"apple\"");
  EXPECT_EQ(Walk(), (V{4}));
  xb_QuerySetExact(0);
  xb_SetOrder(0);
  // A filter is evaluated as records are visited, so later writes count.
  xb_Query("");
  xb_SetFilter("chk=\"v\"");
  EXPECT_EQ(Walk(), (V{3, 4}));
  xb_Go(2);
  xb_PutString("chk", "v");
  xb_Commit();
  EXPECT_EQ(Walk(), (V{2, 3, 4}));
  xb_SetFilter("");
  EXPECT_EQ(Walk(), (V{2, 3, 4, 5}));
}

TEST_F(QueryTest, EvalCallsLocateAndQueryBits) {
  xb_Go(3);
  EXPECT_EQ(xb_EvalTest("tit1"), 1);
  EXPECT_EQ(xb_EvalTest("recno()+1"), 2);
  EXPECT_EQ(xb_EvalTest("chk=\"v\""), 3);
  EXPECT_EQ(xb_EvalTest("stod(\"20240101\")"), 4);
  EXPECT_EQ(xb_EvalTest("tit1 +"), 0);
  EXPECT_EQ(xb_EvalTest("nosuch"), 0);
  EXPECT_NE(xb_EvalLogical("chk=\"v\""), 0);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("recno()*2"), 6.0);
  EXPECT_STREQ(xb_EvalString("trim(tit1)+\"!\""), "banana!");
  xb_Go(99);  // EOF: the blank record
  EXPECT_STREQ(xb_EvalString("trim(tit1)+\"!\""), "!");
  // Locate upper-cases whole expressions.
  xb_GoTop();
  EXPECT_NE(xb_Locate("UPPER(TIT1)=\"APPLE\" .AND. UPPER(CHK)=\"V\"", 0), 0);
  EXPECT_EQ(xb_RecNo(), 4);
  xb_Go(2);
  EXPECT_EQ(xb_Locate("UPPER(TIT1)=\"NOTHING\"", 0), 0);
  EXPECT_EQ(xb_RecNo(), 2);
  // Query bits.
  xb_Query("at(\"apple\",tit1)>0");
  EXPECT_NE(xb_GetQueryBit(2), 0);
  EXPECT_EQ(xb_GetQueryBit(3), 0);
  xb_SetQueryBit(3, -1);
  EXPECT_EQ(xb_QueryRecCount(), 3);
  EXPECT_EQ(Walk(), (V{2, 3, 4}));
  XbPtr saved = xb_RYOFilterCopy();
  xb_Query("");
  xb_RYOFilterActivate(saved);
  EXPECT_EQ(Walk(), (V{2, 3, 4}));
  xb_RYOFilterSetBit(saved, 2, 0);
  EXPECT_EQ(xb_RYOFilterGetBit(saved, 2), 0);
  xb_RYOFilterDestroy(saved);
  xb_RYOFilterDestroy(saved);  // a second destroy of the same handle is harmless
}

// Under the file lock a walk's writes wait in the work area; a query set meanwhile reads the
// file, and must find them there.
TEST_F(EngineTest, AQueryUnderTheFileLockSeesTheWritesOfTheWalkBeforeIt) {
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < 10; ++i) rows.emplace_back("n" + std::to_string(i));
  ASSERT_GT(MakeNotes(Path("waiting.dbf"), rows), 0);
  ASSERT_NE(xb_Flock(), 0);
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
    if (xb_RecNo() >= 2 && xb_RecNo() % 2 == 0) xb_PutString("chk", "v");
  xb_Query("chk = \"v\"");
  EXPECT_EQ(Walk(), (V{2, 4, 6, 8, 10}));
  EXPECT_EQ(xb_QueryRecCount(), 5);
  xb_Unlock(0);
}

}  // namespace
