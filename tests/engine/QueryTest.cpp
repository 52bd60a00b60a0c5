// Queries, filters and the Eval calls through the C interface: the application's search
// expressions, counts with and without the hidden header record, invalid queries keeping the
// old one, character-correct matching, exactness, Locate and query bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

// A query reads the table to its end, which may hold notes another user appended since this
// work area last counted its records: they are in the query (their marks were written past
// the end of the work area's list of them).
TEST_F(QueryTest, AQueryFindsNotesAppendedSinceTheLastCount) {
  const XbShort mine = xb_Select(0);  // (selects nothing, tells the current one)
  ASSERT_EQ(xb_RecCount(), 6);
  ASSERT_GT(xb_UseEx(Path("q.dbf").c_str(), "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int i = 0; i < 500; ++i) {
    xb_AppendBlank();
    xb_PutString("tit1", ("late " + std::to_string(i)).c_str());
    xb_Commit();
  }
  xb_Select(mine);
  EXPECT_NE(xb_Query("at(\"late\",tit1)>0"), 0);
  EXPECT_EQ(xb_QueryRecCount(), 500);
  EXPECT_EQ(Walk().size(), 500u);
  XbPtr saved = xb_RYOFilterCopy();
  xb_Query("");
  xb_RYOFilterActivate(saved);
  EXPECT_EQ(xb_QueryRecCount(), 500);
  xb_RYOFilterDestroy(saved);
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

// A walk through a query in title order must give exactly what a scan filtered by the query
// and sorted by (title, record number) gives, however far apart the hits lie in the order,
// from wherever it starts, and after writes made here and by another work area.
class QueryOrderWalk : public EngineTest {};

TEST_F(QueryOrderWalk, EqualsTheFilteredScanSortedByTitle) {
  struct Note {
    XbLong rec;
    std::string tit2;
    bool hit, deleted;
  };
  std::vector<xbtest::NoteRow> rows;
  std::vector<Note> notes;
  const int kNotes = 400;
  for (int i = 0; i < kNotes; ++i) {
    // Sparse hits spread over the order, a cluster of them at its very end, some deleted.
    const bool hit = i % 37 == 5 || i >= kNotes - 6;
    std::string t2 = i >= kNotes - 6 ? "zz" + std::to_string(i % 3) : std::string(1, static_cast<char>('a' + (i * 7) % 23));
    t2 += static_cast<char>('a' + (i * 13) % 19);
    const bool deleted = i % 74 == 5;
    rows.emplace_back(std::string("n") + std::to_string(i) + (hit ? "q" : ""), t2, " ", "", deleted);
    notes.push_back({i + 2, t2, hit, deleted});
  }
  ASSERT_GT(MakeNotes(Path("walk.dbf"), rows), 0);
  xb_SetDeleted(-1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 1);
  ASSERT_GT(xb_Query("at(\"q\",tit1)>0"), 0);

  auto expected = [&] {
    std::vector<Note> in;
    for (const Note& n : notes)
      if (n.hit && !n.deleted) in.push_back(n);
    std::stable_sort(in.begin(), in.end(), [](const Note& a, const Note& b) { return a.tit2 < b.tit2; });
    V out;
    for (const Note& n : in) out.push_back(n.rec);
    return out;
  };
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    const V want = expected();
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(Walk(), want);
    V back(want.rbegin(), want.rend());
    EXPECT_EQ(xbtest::WalkBack(), back);
    EXPECT_EQ(xb_QueryRecCount(), static_cast<XbLong>(want.size()));
    // Skips by more than one, and off both ends.
    xb_GoTop();
    xb_Skip(5);
    EXPECT_EQ(xb_RecNo(), want[5]);
    xb_Skip(-3);
    EXPECT_EQ(xb_RecNo(), want[2]);
    xb_Skip(static_cast<XbLong>(want.size()));
    EXPECT_NE(xb_Eof(), 0);
    xb_GoBottom();
    EXPECT_EQ(xb_RecNo(), want.back());
    xb_Skip(-static_cast<XbLong>(want.size()) - 2);
    EXPECT_NE(xb_Bof(), 0);
    EXPECT_EQ(xb_RecNo(), want.front());
  };
  check("after the query");

  // From a record outside the query, a step reaches the nearest hit on that side of its place.
  auto place = [&](XbLong rec) {
    for (const Note& n : notes)
      if (n.rec == rec) return n;
    return Note{};
  };
  for (XbLong from : {XbLong{2}, XbLong{30}, XbLong{200}, XbLong{380}}) {
    SCOPED_TRACE(from);
    const Note f = place(from);
    ASSERT_FALSE(f.hit);
    const V want = expected();
    XbLong after = 0, before = 0;
    for (XbLong r : want) {
      const Note n = place(r);
      const bool below = n.tit2 < f.tit2 || (n.tit2 == f.tit2 && r < from);
      if (below) before = r;
      if (!below && after == 0) after = r;
    }
    xb_Go(from);
    xb_Skip(1);
    EXPECT_EQ(xb_Eof() ? 0 : xb_RecNo(), after);
    xb_Go(from);
    xb_Skip(-1);
    if (before) {
      EXPECT_EQ(xb_RecNo(), before);
    } else {
      EXPECT_NE(xb_Bof(), 0);
    }
  }

  // Writes under the query: a hit moved to the front of the order, a hit deleted; a note
  // outside the query that now matches stays out (the query is a snapshot).
  const XbLong moved = expected().back(), gone = expected()[3];
  xb_Go(moved);
  xb_PutString("tit2", "a");
  xb_Commit();
  for (Note& n : notes)
    if (n.rec == moved) n.tit2 = "a";
  xb_Go(gone);
  xb_Delete();
  for (Note& n : notes)
    if (n.rec == gone) n.deleted = true;
  xb_Go(3);
  xb_PutString("tit1", "now q");
  xb_Commit();
  check("after writes here");
  EXPECT_EQ(Walk().front(), moved);

  // A write by another work area reaches this one's walk.
  const XbShort mine = xb_Select(0);
  const XbShort other = xb_UseEx(Path("walk.dbf").c_str(), "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0);
  ASSERT_GT(other, 0);
  const XbLong far = expected().front();
  xb_Go(far);
  xb_PutString("tit2", "zzzz");
  xb_Commit();
  xb_Close();
  xb_Select(mine);
  for (Note& n : notes)
    if (n.rec == far) n.tit2 = "zzzz";
  check("after a write elsewhere");
  EXPECT_EQ(Walk().back(), far);

  // Reversed, the walk is the same list backwards.
  xb_IndexFlip();
  const V want = expected();
  EXPECT_EQ(Walk(), V(want.rbegin(), want.rend()));
  xb_IndexFlip();
}

}  // namespace
