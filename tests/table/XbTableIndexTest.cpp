// Index tags, orders, IndexName, ExtraIndexes, scopes and seeks of the table dataset, against
// the real engine; and the application's index routine run end to end.
#include <algorithm>

#include "FakeConnection.h"
#include "KeyTableFixture.h"
#include "platform/core/Services.h"

namespace keytable {
namespace {

const char kClosed[] = "Cannot perform this operation on a closed table";
const char kNoOrder[] = "This operation requires an active index order";

const std::vector<ColumnDef> kNoteFields = {
    {"CHK", "C", 1}, {"TIT1", "C", 10}, {"TIT2", "C", 10}, {"MMM", "M", 10}};

// Header first (deleted), then notes whose TIT1 order differs from their record order.
const std::vector<Row> kNotes = {
    {"", "HEADER", "H"}, {"", "delta", "4"}, {"", "alpha", "1"},
    {"", "charlie", "3"}, {"", "bravo", "2"}, {"", "echo", "5"}};

class XbTableIndexTest : public KeyTableTest {
 protected:
  TXbTable& Notes(bool Exclusive = false) {
    return OpenTable(CreateTable("orvel", kNoteFields, kNotes, true), Exclusive);
  }
};

TEST_F(XbTableIndexTest, IndexTagRefusalsAndTrimmedTagName) {
  TXbTable closed;
  EXPECT_EQ(XbMessage([&] { closed.IndexTag("", "TIT1", "tit1", 0, false, ""); }), kClosed);

  TXbTable& t = Notes();
  struct Case {
    std::string Tag, Expression, Message;
  } cases[] = {
      {"", "tit1", "Missing Parameter to IndexTag Method: Index Tag Name"},
      {std::string(1, '\0'), "tit1", "Missing Parameter to IndexTag Method: Index Tag Name"},
      {"TIT1", "", "Missing Parameter to Index or IndexTag Method: Index Expression"},
      {"TIT1", "nosuch+1", "Invalid index expression [nosuch+1]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XbMessage([&] { t.IndexTag("", c.Tag, c.Expression, 0, false, ""); }), c.Message)
        << c.Expression;
    EXPECT_EQ(t.LastErrorMessage, c.Message);
  }
  // Nothing was built by the refused calls.
  EXPECT_EQ(t.TagArea("TIT1"), 0);
  EXPECT_TRUE(t.IndexName.empty());

  // Blanks around the tag name: the tag has the trimmed name, IndexName keeps the blanks.
  const XbShort order = t.IndexTag("", "  TIT1 ", "tit1", 0, false, "");
  EXPECT_GT(order, 0);
  EXPECT_EQ(t.IndexName, "  TIT1 ");
  EXPECT_EQ(t.TagArea("TIT1"), order);
  EXPECT_EQ(t.TagName(order), "TIT1");
  EXPECT_EQ(t.IndexOrd(), order);
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"alpha", "bravo", "charlie", "delta", "echo"}));
}

TEST_F(XbTableIndexTest, OrdersKeepTheCurrentRecord) {
  TXbTable& t = Notes();
  const XbShort tit1 = t.IndexTag("", "TIT1", "tit1", 0, false, "");
  const XbShort tit2 = t.IndexTag("", "TIT2", "tit2", 0, false, "");
  ASSERT_GT(tit1, 0);
  ASSERT_GT(tit2, 0);
  EXPECT_EQ(t.IndexKey(), "tit2");

  t.SetOrder(0);
  t.SetRecNo(4);  // charlie
  for (XbShort order : {tit1, XbShort{0}, tit2, tit1}) {
    t.SetOrder(order);
    EXPECT_EQ(t.RecNo(), 4) << "order " << order;
    EXPECT_EQ(TrimRight(t.FieldByName("TIT1")->AsString()), "charlie");
    EXPECT_EQ(t.IndexName, order == 0 ? "" : (order == tit1 ? "TIT1" : "TIT2"));
  }
  t.SetOrder(0);
  EXPECT_EQ(XbMessage([&] { t.IndexKey(); }), kNoOrder);
  t.Close();
  EXPECT_EQ(XbMessage([&] { t.SetOrder(1); }), kClosed);
  EXPECT_EQ(XbMessage([&] { t.IndexOrd(); }), kClosed);
  EXPECT_EQ(t.TagArea("TIT1"), 0);
  EXPECT_EQ(t.TagName(1), "");
  EXPECT_EQ(t.IndexKey(), "");
}

TEST_F(XbTableIndexTest, IndexNameKeptOrRefused) {
  TXbTable& t = Notes();
  const XbShort tit1 = t.IndexTag("", "TIT1", "tit1", 0, false, "");
  const XbShort tit2 = t.IndexTag("", "TIT2", "tit2", 0, false, "");

  t.SetIndexName("TIT1");
  EXPECT_EQ(t.IndexOrd(), tit1);
  EXPECT_EQ(Titles(t).front(), "alpha");

  // An unknown tag is refused; the engine keeps its order while IndexName holds the name.
  EXPECT_EQ(XbMessage([&] { t.SetIndexName("NOSUCH"); }), "Invalid IndexName value : NOSUCH");
  EXPECT_EQ(t.IndexName, "NOSUCH");
  EXPECT_EQ(t.IndexOrd(), tit1);

  t.SetIndexName("TIT2");
  EXPECT_EQ(t.IndexOrd(), tit2);
  t.SetIndexName("");
  EXPECT_EQ(t.IndexOrd(), 0);
  EXPECT_EQ(Titles(t).front(), "delta");

  // With ErrorFunc other than -1 the refusal is silent and natural order is taken.
  t.ErrorFunc = 0;
  t.SetIndexName("NOSUCH");
  EXPECT_EQ(t.IndexOrd(), 0);

  // A value given while closed is applied at the open.
  t.Close();
  t.SetIndexName("TIT2");
  t.Open();
  EXPECT_EQ(t.IndexOrd(), tit2);
}

TEST_F(XbTableIndexTest, NtxIndexNameNamingTheSameFileChangesNothing) {
  TXbTable t;
  t.SetTableType(ttXBNTX);
  t.SetIndexName("notes.ntx");
  for (const char* same : {"/data/NOTES.NTX", "Notes", "/x/notes.idx"}) {
    t.SetIndexName(same);
    EXPECT_EQ(t.IndexName, "notes.ntx") << same;
  }
  t.SetIndexName("/data/other.ntx");
  EXPECT_EQ(t.IndexName, "/data/other.ntx");
}

// On the server route an ".IDX" name on a non-NTX table is still a tag name, looked up by
// the server; the order goes to the server too.
TEST_F(XbTableIndexTest, ServerIndexNameIsLookedUpAsATag) {
  TRecordingConnection conn;
  conn.Ints["TagArea"] = 2;
  TXbTable t;
  t.SetAccessMethod(amServer);
  t.XbConnection = &conn;
  t.WorkArea = 3;  // as the server's open leaves it
  t.SetIndexName("NAME.IDX");
  t.WorkArea = 0;
  EXPECT_EQ(t.IndexName, "NAME.IDX");
  std::vector<std::string> calls;
  for (const std::string& c : conn.Calls)
    if (c.rfind("TagArea", 0) == 0 || c.rfind("SetOrder", 0) == 0) calls.push_back(c);
  EXPECT_EQ(calls, (std::vector<std::string>{"TagArea(\"NAME.IDX\")", "SetOrder(2)"}));
}

TEST_F(XbTableIndexTest, ExtraIndexes) {
  // A second index file beside the table, holding one tag on TIT2.
  const std::string file = CreateTable("orvel", kNoteFields, kNotes, true);
  {
    TXbDispatch d;
    d.WorkArea = d.xb_UseEx(file, "EXTRA", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
    ASSERT_GT(d.WorkArea, 0);
    d.SelectWorkArea();
    ASSERT_GT(d.xb_IndexTag(folder.Path + "/second.nsx", "SECOND", "tit2", 0, false, ""), 0);
    d.xb_Close();
  }
  TXbTable& t = OpenTable(file);
  TStringList lines;
  lines.Add("   ");
  lines.Add("second");
  t.SetExtraIndexes(lines);
  // With no order before, the first extra file becomes the active order under its path.
  EXPECT_GT(t.IndexOrd(), 0);
  EXPECT_EQ(UpperCase(ExtractFileName(t.IndexName)), "SECOND.NSX");
  EXPECT_EQ(t.TagArea("SECOND"), t.IndexOrd());
  EXPECT_EQ(Titles(t).front(), "alpha");
  EXPECT_TRUE(t.IndexDefs().Find("SECOND") != nullptr);

  // A missing file is refused before any index is closed: the orders stay as they were.
  const XbLong before = t.TagArea("SECOND");
  TStringList missing;
  missing.Add("second");
  missing.Add("nosuch");
  EXPECT_EQ(XbMessage([&] { t.SetExtraIndexes(missing); }), "Invalid IndexName value : nosuch");
  EXPECT_EQ(t.TagArea("SECOND"), before);
}

TEST_F(XbTableIndexTest, Scopes) {
  TXbTable closed;
  EXPECT_EQ(XbMessage([&] { closed.SetScoped(true); }), kClosed);
  EXPECT_EQ(XbMessage([&] { closed.SetScope("a", "b"); }), kClosed);

  TXbTable& t = Notes();
  t.IndexTag("", "TIT1", "tit1", 0, false, "");
  struct Case {
    std::string Low, High;
    std::vector<std::string> Seen;
  } cases[] = {
      {"b", "d", {"bravo", "charlie", "delta"}},
      {"charlie", "charlie", {"charlie"}},
      {"x", "z", {}},
      {"", "", {"alpha", "bravo", "charlie", "delta", "echo"}},
  };
  for (const Case& c : cases) {
    t.SetScope(c.Low, c.High);
    EXPECT_EQ(Titles(t), c.Seen) << c.Low << ".." << c.High;
    EXPECT_EQ(t.Scoped(), !c.Low.empty());
    EXPECT_EQ(t.ScopeBegin, c.Low);
    EXPECT_EQ(t.ScopeEnd, c.High);
  }

  // The properties: bounds apply while Scoped; clearing Scoped empties the bounds, so
  // switching it back on scopes nothing.
  t.SetScopeBegin("b");
  t.SetScopeEnd("c");
  EXPECT_EQ(Titles(t).size(), 5u);
  t.SetScoped(true);
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"bravo", "charlie"}));
  t.SetScopeEnd("d");
  EXPECT_EQ(Titles(t).size(), 3u);
  t.SetScoped(false);
  EXPECT_EQ(t.ScopeBegin, "");
  t.SetScoped(true);
  EXPECT_EQ(Titles(t).size(), 5u);
}

TEST_F(XbTableIndexTest, SeekAndSoftSeek) {
  TXbTable closed;
  EXPECT_EQ(XbMessage([&] { closed.Seek("a"); }), kClosed);
  TXbTable& t = Notes();
  EXPECT_EQ(XbMessage([&] { t.Seek("a"); }), kNoOrder);
  t.IndexTag("", "TIT1", "tit1", 0, false, "");

  struct Case {
    bool Soft;
    std::string Key;
    XbShort Found;
    std::string Shown;  // the record the dataset shows afterwards
  } cases[] = {
      {false, "charlie", -1, "charlie"},
      {false, "br", -1, "bravo"},        // a leading part of the key
      {false, "cat", 0, "echo"},         // a miss ends at end of file: the last record
      {true, "cat", 0, "charlie"},       // the soft seek stops on the next key
      {true, "zulu", 0, "echo"},         // past every key: end of file again
      {true, "alpha", -1, "alpha"},
      // A text longer than the key is no key of it: the engine used to cut it to the key's
      // width and find "charlie" for this one. Blanks past the width are only padding.
      {false, "charlie   +XYZ", 0, "echo"},
      {true, "charlie   +XYZ", 0, "delta"},
      {false, "charlie        ", -1, "charlie"},
  };
  for (const Case& c : cases) {
    XbCall(&XbEntryPoints::xb_SetSoftSeek, XbShort(c.Soft ? -1 : 0));
    t.First();
    EXPECT_EQ(t.Seek(c.Key), c.Found) << c.Key;
    EXPECT_EQ(TrimRight(t.FieldByName("TIT1")->AsString()), c.Shown) << c.Key;
  }
}

// The application's index routine: a file lock on the shared table, an exclusive reopen,
// the tag built with the gauge hooked to a window that receives the progress keys, and the
// shared reopen with every lock released.
TEST_F(XbTableIndexTest, IndexRoutineEndToEnd) {
  std::vector<Row> many = {{"", "HEADER", "H"}};
  for (int i = 0; i < 300; ++i) many.push_back({"", "t" + IntToStr(1000 - i), IntToStr(i)});
  TXbTable& t = OpenTable(CreateTable("orvel", kNoteFields, many, true));
  const intptr_t window = 0x5150;

  ASSERT_NE(t.Flock(), 0);
  t.Close();
  t.SetExclusive(true);
  t.Open();
  t.SetGaugeHook(window);
  const XbShort order = t.IndexTag("", "TIT1", "tit1", 0, false, "");
  t.SetGaugeHook(0);
  t.Close();
  t.SetExclusive(false);
  t.Open();
  t.Unlock(0);

  EXPECT_GT(order, 0);
  ASSERT_FALSE(services.SentKeys.empty());
  int last = 0;
  for (const TSentKey& k : services.SentKeys) {
    EXPECT_EQ(k.Window, window);
    EXPECT_NE(k.Key & 0x7000, 0) << k.Key;
    const int percent = -static_cast<int16_t>(k.Key);
    EXPECT_GE(percent, last);
    EXPECT_LE(percent, 100);
    last = percent;
  }
  EXPECT_EQ(last, 100);

  // Shared again with the tag in the file: another user can open it and use the tag.
  TXbTable& other = OpenTable(t.TableName());
  other.SetIndexName("TIT1");
  EXPECT_EQ(Titles(other).front(), "t1000");
  EXPECT_NE(t.Flock(), 0) << "the routine left no lock behind";
  t.Unlock(0);
}

}  // namespace
}  // namespace keytable
