// Master/detail scoping, the master key's numeric padding, Lookup and Locate, against the
// real engine.
#include "KeyTableFixture.h"
#include "platform/core/DataSource.h"

namespace keytable {
namespace {

const std::vector<ColumnDef> kMasterFields = {{"NUM", "N", 5}, {"NAME", "C", 10}};
const std::vector<Row> kMasters = {
    {"42", "answer"}, {"7", "seven"}, {"42", "again"}, {"-42", "negative"}};

const std::vector<ColumnDef> kDetailFields = {{"NUM", "N", 5}, {"TIT1", "C", 10}};
const std::vector<Row> kDetails = {
    {"7", "s1"}, {"42", "a1"}, {"42", "a2"}, {"9", "n1"}, {"42", "a3"}, {"-42", "m1"}};

const std::vector<ColumnDef> kNoteFields = {
    {"TIT1", "C", 10}, {"TIT2", "C", 10}, {"NUM", "N", 4},
    {"DAY", "D", 8},   {"CNT", "I", 4},   {"FLAG", "L", 1}, {"MMM", "M", 10}};
const std::vector<Row> kNotes = {
    {"Alpha", "x", "3", "20230105", "100000", "T"},
    {"bravo", "y", "1", "20221231", "5", "F"},
    {"Charlie", "q\"uote", "2", "20230720", "7", "T"},
    {"delta", "z", "4", "", "8", "F"},
    // A two-byte character whose trail byte is a lower-case letter, then a lower-case b.
    {"echo", "\x81\x61" "b", "5", "20240101", "9", "F"},
    {"kimleepark", "k", "6", "20240202", "10", "F"},  // fills TIT1
};

class XbTableMasterTest : public KeyTableTest {
 protected:
  void SetUp() override {
    KeyTableTest::SetUp();
    master = &OpenTable(CreateTable("master", kMasterFields, kMasters));
    detail = &OpenTable(CreateTable("detail", kDetailFields, kDetails));
    source.SetDataSet(master);
  }
  void TearDown() override {
    detail->SetMasterSource(nullptr);
    source.SetDataSet(nullptr);
    KeyTableTest::TearDown();
  }
  TXbTable* master = nullptr;
  TXbTable* detail = nullptr;
  TDataSource source;
};

TEST_F(XbTableMasterTest, DetailFollowsTheMastersKey) {
  detail->IndexTag("", "NUMT", "STR(NUM,5)+TIT1", 0, false, "");
  detail->SetOrder(0);
  // Without an active order the first master change is refused.
  detail->SetMasterFields("NUM");
  EXPECT_EQ(XbMessage([&] { detail->SetMasterSource(&source); }),
            "This operation requires an active index order");
  // Nothing was remembered for the refused scope, so it is set once there is an order.
  detail->IndexTag("", "NUM", "NUM", 0, false, "");
  detail->MasterChanged(&source);
  EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"a1", "a2", "a3"}));

  // Master moves to a record with another key, then to one with the same key: the detail is
  // scoped again only for the new key.
  master->Next();  // 7
  EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"s1"}));
  master->First();  // 42
  detail->First();
  detail->Next();  // a2
  master->SetRecNo(3);  // 42 again: no new scope, the detail stays where it is
  EXPECT_EQ(TrimRight(detail->FieldByName("TIT1")->AsString()), "a2");
  // Another IndexName with the same key sets the scope anew and goes to the first record.
  detail->SetIndexName("NUMT");
  EXPECT_EQ(TrimRight(detail->FieldByName("TIT1")->AsString()), "a1");
  EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"a1", "a2", "a3"}));

  // The master's source switched off: the detail shows every record; on again: scoped again,
  // although the key is the one of before.
  source.SetEnabled(false);
  EXPECT_EQ(Titles(*detail).size(), 6u);
  source.SetEnabled(true);
  EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"a1", "a2", "a3"}));

  TDataSource own;
  own.SetDataSet(detail);
  EXPECT_EQ(XbMessage([&] { detail->SetMasterSource(&own); }),
            "Circular Datasource reference not allowed");
  own.SetDataSet(nullptr);
}

// A numeric master field pads to the master's engine width: with zeros for a bare numeric
// key, with blanks inside STR( ). A negative number keeps its sign in front of the zeros.
TEST_F(XbTableMasterTest, MasterKeyPadding) {
  struct Case {
    std::string Tag, Expression, Key, NegativeKey;
  } cases[] = {
      {"BARE", "NUM", "00042", "-0042"},
      {"INSTR", "STR(NUM,5)", "   42", "  -42"},
      {"BOTH", "STR(NUM,5)+TIT1", "   42", "  -42"},
  };
  detail->SetMasterFields("NUM");
  for (const Case& c : cases) {
    detail->IndexTag("", c.Tag, c.Expression, 0, false, "");
    detail->SetIndexName(c.Tag);
    EXPECT_EQ(detail->BuildMasterKey(), "") << "no master yet";
  }
  detail->SetMasterSource(&source);
  for (const Case& c : cases) {
    detail->SetIndexName(c.Tag);
    EXPECT_EQ(detail->BuildMasterKey(), c.Key) << c.Expression;
  }
  // STR( keys find the detail records by their blank-padded key.
  EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"a1", "a2", "a3"}));

  master->SetRecNo(4);  // -42
  for (const Case& c : cases) {
    detail->SetIndexName(c.Tag);
    EXPECT_EQ(detail->BuildMasterKey(), c.NegativeKey) << c.Expression;
    EXPECT_EQ(Titles(*detail), (std::vector<std::string>{"m1"})) << c.Expression;
  }
}

// A master field with decimals gives its key with all of them, as STR(field, width, decimals)
// writes it: -3.5 in an N(7,2) field is "  -3.50" (its short text "   -3.5" matched nothing).
TEST_F(XbTableMasterTest, MasterKeyWithDecimals) {
  const std::vector<ColumnDef> amounts = {{"AMT", "N", 7, 2}, {"NAME", "C", 10}};
  TXbTable& money = OpenTable(CreateTable("money", amounts, {{"-3.5", "minus"}, {"12.25", "plus"}, {"7", "whole"}}));
  TXbTable& lines = OpenTable(
      CreateTable("lines", {{"AMT", "N", 7, 2}, {"TIT1", "C", 10}},
                  {{"12.25", "p1"}, {"-3.5", "m1"}, {"7", "w1"}, {"-3.5", "m2"}, {"-3.05", "x1"}}));
  TDataSource moneySource;
  moneySource.SetDataSet(&money);
  lines.IndexTag("", "AMT", "STR(AMT,7,2)", 0, false, "");
  lines.SetMasterFields("AMT");
  lines.SetMasterSource(&moneySource);
  EXPECT_EQ(lines.BuildMasterKey(), "  -3.50");
  EXPECT_EQ(Titles(lines), (std::vector<std::string>{"m1", "m2"}));
  money.Next();
  EXPECT_EQ(lines.BuildMasterKey(), "  12.25");
  EXPECT_EQ(Titles(lines), (std::vector<std::string>{"p1"}));
  money.Next();
  EXPECT_EQ(lines.BuildMasterKey(), "   7.00");
  EXPECT_EQ(Titles(lines), (std::vector<std::string>{"w1"}));
  lines.SetMasterSource(nullptr);
  moneySource.SetDataSet(nullptr);
}

class XbTableLocateTest : public KeyTableTest {
 protected:
  TXbTable& Notes() {
    TXbTable& t = OpenTable(CreateTable("notes", kNoteFields, kNotes));
    tit1 = t.IndexTag("", "TIT1", "TIT1", 0, false, "");
    tit2 = t.IndexTag("", "TIT2", "TIT2", 0, false, "");
    num = t.IndexTag("", "NUM", "NUM", 0, false, "");
    t.SetOrder(0);
    return t;
  }
  static std::string Current(TXbTable& t) { return TrimRight(t.FieldByName("TIT1")->AsString()); }
  XbShort tit1 = 0, tit2 = 0, num = 0;
};

TEST_F(XbTableLocateTest, LocateCases) {
  TXbTable& t = Notes();
  struct Case {
    const char* What;
    XbShort ActiveBefore;
    std::string Fields;
    Variant Value;
    TLocateOptions Options;
    bool Found;
    std::string Current;  // the record current afterwards
  } cases[] = {
      {"seek on the field's own order", tit2, "TIT1", Variant("bravo"), 0, true, "bravo"},
      {"whole key misses a part", 0, "TIT1", Variant("brav"), 0, false, "Alpha"},
      {"partial key", tit2, "TIT1", Variant("Cha"), loPartialKey, true, "Charlie"},
      {"case-insensitive by query", tit2, "TIT1", Variant("ALPHA"), loCaseInsensitive, true, "Alpha"},
      {"case-insensitive on the active order", tit1, "TIT1", Variant("CHARLIE"), loCaseInsensitive,
       true, "Charlie"},
      {"a year matches every date of it", 0, "DAY", Variant(2023), 0, true, "Alpha"},
      {"year and month", 0, "DAY", Variant(202307), 0, true, "Charlie"},
      {"a whole date", 0, "DAY", Variant::FromDateTime(EncodeDate(2022, 12, 31)), 0, true, "bravo"},
      {"an integer field", 0, "CNT", Variant(8), 0, true, "delta"},
      {"a logical field", tit1, "FLAG", Variant(false), 0, true, "bravo"},
      {"numeric order", 0, "NUM", Variant(2), 0, true, "Charlie"},
      {"a value holding a double quote", 0, "TIT2", Variant("Q\"UOTE"), loCaseInsensitive, true,
       "Charlie"},
      {"upper case leaves trail bytes alone", 0, "TIT2", Variant("\x81\x61" "B"),
       loCaseInsensitive, true, "echo"},
      {"a field the query cannot compare", 0, "MMM", Variant("x"), 0, false, "Alpha"},
      {"several fields", 0, "TIT1;NUM", VarArrayOf({"delta", 4}), 0, true, "delta"},
      {"several fields, one differs", 0, "TIT1;NUM", VarArrayOf({"delta", 3}), 0, false, "Alpha"},
      // The seek would cut a longer value to the field's width and find kimleepark.
      {"the whole field on its order", tit1, "TIT1", Variant("kimleepark"), 0, true, "kimleepark"},
      {"longer than the field, on its order", tit1, "TIT1", Variant("kimleeparkx"), 0, false,
       "Alpha"},
      {"longer than the field, switching to its order", tit2, "TIT1", Variant("kimleeparkx"), 0,
       false, "Alpha"},
      {"longer than the field, partial key", tit1, "TIT1", Variant("kimleeparkx"), loPartialKey,
       false, "Alpha"},
      {"longer than the field, case-insensitive", tit1, "TIT1", Variant("KIMLEEPARKX"),
       loCaseInsensitive, false, "Alpha"},
  };
  for (const Case& c : cases) {
    t.SetOrder(0);
    t.SetRecNo(1);
    t.SetOrder(c.ActiveBefore);
    EXPECT_EQ(t.Locate(c.Fields, c.Value, c.Options), c.Found) << c.What;
    EXPECT_EQ(Current(t), c.Current) << c.What;
    t.SelectWorkArea();
    EXPECT_EQ(t.xb_RecNo(), t.RecNo()) << c.What << ": the engine stands on the current record";
    // The order that was active before the call is active again.
    EXPECT_EQ(t.IndexOrd(), c.ActiveBefore) << c.What;
  }
}

TEST_F(XbTableLocateTest, LocateNullKeyAndActiveQuery) {
  TXbTable& t = Notes();
  t.SetIndexName("TIT2");
  int afterScroll = 0;
  t.AfterScroll = [&](TDataSet*) { ++afterScroll; };
  // A Null key on a field with an order of its own: false, and the order of before is the
  // engine's again (it used to stay on TIT1 while IndexName named TIT2, so a later Seek
  // searched TIT1), with the scroll bracket closed.
  EXPECT_FALSE(t.Locate("TIT1", Variant::Null(), 0));
  EXPECT_EQ(t.IndexOrd(), tit2);
  EXPECT_EQ(t.IndexName, "TIT2");
  EXPECT_EQ(afterScroll, 1);
  EXPECT_NE(t.Seek("y"), 0);
  EXPECT_EQ(Current(t), "bravo");
  // A miss ends its bracket too; and a value the field cannot take (a conversion error)
  // gives the order back before it reaches the caller.
  EXPECT_FALSE(t.Locate("TIT1", Variant("nothing"), 0));
  EXPECT_EQ(afterScroll, 3);
  EXPECT_ANY_THROW(t.Locate("NUM", Variant("not a number"), 0));
  EXPECT_EQ(t.IndexOrd(), tit2);
  EXPECT_EQ(afterScroll, 4);
  t.AfterScroll = nullptr;

  t.SetOrder(0);
  t.Query("FLAG");
  EXPECT_FALSE(t.Locate("TIT1", Variant("bravo"), loPartialKey | loCaseInsensitive));
  EXPECT_TRUE(t.Locate("TIT1", Variant("charlie"), loCaseInsensitive));
  EXPECT_EQ(Current(t), "Charlie");
  EXPECT_EQ(t.DBFilter(), "FLAG");
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"Alpha", "Charlie"}));
}

TEST_F(XbTableLocateTest, Lookup) {
  TXbTable& t = Notes();
  // No active order: found by Locate, which makes the record current.
  EXPECT_EQ(t.Lookup("TIT2", Variant("y"), "TIT1").AsString(), "bravo");
  EXPECT_EQ(Current(t), "bravo");
  EXPECT_TRUE(t.Lookup("TIT2", Variant("nothing"), "TIT1").IsNull());
  EXPECT_TRUE(t.Lookup("TIT2", Variant::Null(), "TIT1").IsNull());

  // With an active order the key is shaped for the seek; the dataset and the engine stay on
  // the current record.
  t.SetOrder(num);
  t.First();  // bravo (NUM 1)
  struct Case {
    std::string Key;
    Variant Value;
    std::string Result;
    Variant Expected;
  } cases[] = {
      {"NUM", Variant(4), "TIT1", Variant("delta")},                 // padded on the left
      {"NUM", Variant(3), "CNT", Variant(100000)},                   // a 32-bit field whole
      {"NUM", Variant(3), "NUM", Variant(3)},
      {"NUM", Variant(2), "DAY", Variant::FromDateTime(EncodeDate(2023, 7, 20))},
      {"NUM", Variant(4), "DAY", Variant(0)},                        // empty date: 0, not Null
      {"NUM", Variant(2), "FLAG", Variant(true)},
      {"NUM", Variant(9), "TIT1", Variant::Null()},
  };
  for (const Case& c : cases) {
    const Variant got = t.Lookup(c.Key, c.Value, c.Result);
    EXPECT_TRUE(got == c.Expected) << c.Value.AsString() << " -> " << c.Result << ": "
                                   << (got.IsNull() ? "Null" : got.AsString());
    EXPECT_EQ(Current(t), "bravo");
    t.SelectWorkArea();
    EXPECT_EQ(t.xb_RecNo(), 2);
  }
  t.SetOrder(tit1);
  t.First();
  EXPECT_EQ(t.Lookup("TIT1", Variant("delta"), "NUM").AsInteger(), 4);  // padded on the right

  // An active order that does not hold the field as stored is not sought in: Lookup searches,
  // as without an order, and the order stays.
  const XbShort upper = t.IndexTag("", "UTIT1", "UPPER(TIT1)", 0, false, "");
  struct SearchCase {
    const char* What;
    XbShort Order;
    std::string Key;
    Variant Value;
    std::string Result;
    Variant Expected;
  } searches[] = {
      {"an order on another field", tit1, "NUM", Variant(4), "TIT1", Variant("delta")},
      {"an order on another field, no such key", tit1, "NUM", Variant(9), "TIT1", Variant::Null()},
      {"the field folded to upper case", upper, "TIT1", Variant("delta"), "NUM", Variant(4)},
      {"a text longer than the field", tit1, "TIT1", Variant("kimleeparkx"), "NUM",
       Variant::Null()},
      {"a text as long as the field", tit1, "TIT1", Variant("kimleepark"), "NUM", Variant(6)},
  };
  for (const SearchCase& c : searches) {
    t.SetOrder(c.Order);
    const Variant got = t.Lookup(c.Key, c.Value, c.Result);
    EXPECT_TRUE(got == c.Expected) << c.What << ": " << (got.IsNull() ? "Null" : got.AsString());
    EXPECT_EQ(t.IndexOrd(), c.Order) << c.What;
  }
}

}  // namespace
}  // namespace keytable
