// Navigation over the real engine (reads at both ends, the end-of-file rule, the record
// filter handler, speed mode) and the server fetch-ahead over a recording connection.
#include <cstdio>
#include <stdexcept>

#include "FakeConnection.h"
#include "NoteFileFixture.h"
#include "platform/core/Fields.h"

using namespace notefile;

namespace {

using E = XbEntryPoints;

// The engine's current work area, found by selecting Probe (which answers the previous one)
// and selecting that one back.
XbShort CurrentWorkArea(XbShort Probe) {
  const XbShort previous = XbCall(&E::xb_Select, Probe);
  XbCall(&E::xb_Select, previous);
  return previous;
}

}  // namespace

class XbTableNavTest : public NoteTableTest {};

TEST_F(XbTableNavTest, EmptyTable) {
  const std::string file = CreateTable("empty", {{"TIT1", "C", 10}}, {});
  TTestTable& t = OpenNote(file);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Bof());
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.ReadCurrent(), grEOF);
  EXPECT_EQ(XbMessage([&] { t.Delete(); }), "Cannot perform this operation on an empty table");
}

// Reads past either end stop there with the engine on the end record; a current read at end
// of file shows the last record or, with eaEOF, the blank end-of-file record.
TEST_F(XbTableNavTest, EndsOfTheTable) {
  const std::string file = CreateNoteFile("ends", 40, {{"a", ""}, {"b", ""}, {"c", ""}});
  TTestTable& t = OpenNote(file);
  t.Last();
  EXPECT_EQ(t.RecNo(), 4);
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecNo(), 4);
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_Eof(), 0);
  EXPECT_EQ(t.xb_RecNo(), 4);

  t.First();
  EXPECT_EQ(t.RecNo(), 2);  // the header is hidden
  t.Prior();
  EXPECT_TRUE(t.Bof());
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_Bof(), 0);
  EXPECT_EQ(t.xb_RecNo(), 2);

  t.Skip(2);
  EXPECT_EQ(t.RecNo(), 4);
  t.Skip(-1);
  EXPECT_EQ(t.RecNo(), 3);

  for (TEOFAction action : {eaMoveLast, eaEOF}) {
    t.EOFAction = action;
    t.SelectWorkArea();
    t.xb_GoBottom();
    t.xb_Skip(1);
    ASSERT_NE(t.xb_Eof(), 0);
    EXPECT_EQ(t.ReadCurrent(), grOK);
    const XbLong shown = t.BufferRecNo(t.TempBuffer());
    if (action == eaMoveLast) EXPECT_EQ(shown, 4);
    else EXPECT_GT(shown, 4);
  }
}

// A handler that rejects the first note does not make the table look empty; one that throws
// after selecting another table leaves this table's work area selected.
TEST_F(XbTableNavTest, RecordFilterHandler) {
  const std::string file = CreateNoteFile("filter", 40, {{"a", ""}, {"b", ""}, {"c", ""}});
  TTestTable& t = OpenNote(file);
  TTestTable& other = OpenNote(CreateNoteFile("elsewhere", 40, {{"x", ""}}));
  t.OnFilterRecord = [&](TDataSet* ds, bool& accept) {
    accept = ds->FieldByName("TIT1")->AsString() != "a";
  };
  t.SetFiltered(true);
  t.First();
  EXPECT_FALSE(t.IsEmpty());
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  t.Last();
  t.Prior();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  t.Prior();
  EXPECT_TRUE(t.Bof());

  t.OnFilterRecord = [&](TDataSet*, bool&) {
    other.SelectWorkArea();
    throw std::runtime_error("handler failed");
  };
  t.First();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "a");
  EXPECT_EQ(CurrentWorkArea(other.WorkArea), t.WorkArea);
}

// Positions in an index order are positions, record numbers stay record numbers.
TEST_F(XbTableNavTest, PositionsInAnOrder) {
  const std::string file = CreateNoteFile("order", 40, {{"c", ""}, {"a", ""}, {"b", ""}});
  TTestTable& t = OpenNote(file, true);
  ASSERT_NE(t.IndexTag("", "TIT1", "TIT1", 0, false, ""), 0);
  t.First();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "a");
  EXPECT_EQ(t.RecNo(), 3);
  t.Next();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  TDataSet& ds = t;
  // The hidden header keeps its place in the order ("Title1..." sorts first).
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(t.RecNo(), 4);
  t.SetSequencePosition(4);
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "c");
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_EQ(t.RecNo(), 2);
}

TEST_F(XbTableNavTest, FetchCountSetting) {
  TTestTable& t = NewTable();
  t.SetFetchCount(0);
  EXPECT_EQ(t.FetchCount(), 1);
  EXPECT_EQ(t.FetchSlots.size(), 1u);
  const std::string file = CreateNoteFile("fetch", 40, {{"a", ""}});
  t.SetTableType(ttXBNSX);
  t.SetTableName(file);
  t.Open();
  try {
    t.SetFetchCount(10);
    ADD_FAILURE() << "no error";
  } catch (const EXbError& e) {
    EXPECT_EQ(e.Message, "Cannot perform this operation on an open table");
  }
  EXPECT_EQ(t.LastErrorMessage, "");
  EXPECT_EQ(t.FetchCount(), 1);
}

// In speed mode the moves go straight to the engine, and the last record can be deleted.
TEST_F(XbTableNavTest, SpeedMode) {
  const std::string file = CreateNoteFile("speed", 40, {{"a", ""}, {"b", ""}});
  TTestTable& t = OpenNote(file);
  t.SetSpeedMode(true);
  t.GoBottom();
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_RecNo(), 3);
  t.Delete();
  t.SelectWorkArea();
  t.xb_Go(3);
  EXPECT_NE(t.xb_Deleted(), 0);
  t.GoTop();
  t.Skip(1);
  t.SelectWorkArea();
  EXPECT_NE(t.xb_Eof(), 0);  // record 3 is hidden now
}

// ---- Server route -------------------------------------------------------------------------

namespace {

// A table server with Total records of one 10-character field "RECnnnnn": the table open,
// the structure and the block reads are answered here; every block read is counted.
class TFetchServer : public TRecordingConnection {
 public:
  XbLong Total = 200;
  int Traversals = 0;
  std::vector<XbShort> Modes;

  void Use(const TXbUseRequest& Request, TXbUseReply& Reply, TIndexDefs&) override {
    UsedFile = Request.FileName;
    Reply.WorkArea = 5;
    Reply.RecordSize = 11;
    Reply.EngineFieldCount = 1;
    Reply.RecCount = Total;
  }
  std::string GetStructure() override { return "TIT1\r\nC\r\nA\r\n0\r\n2\r\n"; }
  XbShort TraverseTable(XbLong& Count, XbShort Bof, XbShort Eof, XbShort, XbShort Mode,
                        XbShort, std::vector<char>&, XbLong, XbLong Fetch, XbLong Current,
                        std::vector<TFetchSlot>& Slots) override {
    ++Traversals;
    Modes.push_back(Mode);
    const int step = Mode == 2 ? -1 : 1;
    XbLong r = Mode == 1 ? (Bof ? 1 : Current + 1) : Mode == 2 ? (Eof ? Total : Current - 1) : Current;
    Count = 0;
    for (; Count < Fetch && r >= 1 && r <= Total; r += step) {
      TFetchSlot& s = Slots[static_cast<size_t>(Count++)];
      s.Status = 0;
      s.RecNo = r;
      s.OrderPosition = r;
      char image[16];
      std::snprintf(image, sizeof image, " REC%05d  ", static_cast<int>(r));
      s.Image.assign(image, image + 11);
      if (Mode == 0) break;
    }
    if (Count == 0) {
      Slots[0].Status = Mode == 2 ? 1 : 2;
      Slots[0].RecNo = Current;
      Count = 1;
    }
    return Slots[static_cast<size_t>(Count - 1)].Status;
  }
  std::string UsedFile;
};

}  // namespace

class XbTableServerTest : public ::testing::Test {
 protected:
  TTestTable& ServerTable(int FetchCount) {
    table = std::make_unique<TTestTable>();
    table->SetAccessMethod(amServer);
    table->SetXbConnection(&server);
    table->SetDatabaseName("NOTES");
    table->SetTableName("notes.dbf");
    table->SetFetchCount(FetchCount);
    return *table;
  }
  TFakeServices services;
  TFetchServer server;
  std::unique_ptr<TTestTable> table;
};

// Forward reads cost one request per FetchCount records; a backward read asks at once.
TEST_F(XbTableServerTest, FetchAhead) {
  struct Case {
    int fetchCount;
    int reads;
    int requests;
  } cases[] = {{50, 120, 3}, {120, 120, 1}, {1, 5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fetchCount);
    server.Traversals = 0;
    TTestTable& t = ServerTable(c.fetchCount);
    t.Open();
    EXPECT_EQ(server.UsedFile, "notes.dbf");
    ASSERT_EQ(t.FieldCount(), 1);
    for (int i = 1; i < c.reads; ++i) t.Next();
    EXPECT_EQ(t.RecNo(), c.reads);
    EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "REC" + std::string(5 - std::to_string(c.reads).size(), '0') + std::to_string(c.reads));
    EXPECT_EQ(server.Traversals, c.requests);
    t.Prior();
    EXPECT_EQ(server.Traversals, c.requests + 1);
    EXPECT_EQ(t.RecNo(), c.reads - 1);
    table.reset();
  }
}

// After going to the top the table asks the server where it stands, so a later memo or
// deleted-flag read positions the server on the right record.
TEST_F(XbTableServerTest, GoTopTakesTheServersRecordNumber) {
  TTestTable& t = ServerTable(50);
  t.Open();
  t.SetSpeedMode(true);
  server.Ints["RecNo"] = 17;
  server.Calls.clear();
  t.GoTop();
  EXPECT_EQ(t.CurrentRecNo, 17);
  t.xb_Deleted();
  const std::vector<std::string>& calls = server.Calls;
  const auto go = std::find(calls.begin(), calls.end(), "Go(17)");
  EXPECT_NE(go, calls.end());
  EXPECT_NE(std::find(go, calls.end(), "Deleted()"), calls.end());
}

TEST_F(XbTableServerTest, RemovingTheConnectionClosesTheTable) {
  auto owned = std::make_unique<TFetchServer>();
  TTestTable t;
  t.SetAccessMethod(amServer);
  t.SetXbConnection(owned.get());
  t.SetDatabaseName("NOTES");
  t.SetTableName("notes.dbf");
  t.Open();
  ASSERT_TRUE(t.Active());
  owned.reset();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.XbConnection, nullptr);
  EXPECT_EQ(t.WorkArea, 0);
}

TEST_F(XbTableServerTest, OpenRefusals) {
  TTestTable& t = ServerTable(50);
  t.SetDatabaseName("");
  EXPECT_THROW(t.Open(), EXbError);
  EXPECT_EQ(t.LastErrorMessage, "Missing DatabaseName property");
  server.IsActive = false;
  t.SetDatabaseName("NOTES");
  EXPECT_THROW(t.Open(), EXbError);
  EXPECT_EQ(t.LastErrorMessage, "Not connected");
  EXPECT_FALSE(t.Active());
}
