// The engine-call dispatch: each operation takes the local or the server route, local flags
// are normalised, and the cached table state follows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "EngineFixture.h"
#include "FakeConnection.h"
#include "table/XbDispatch.h"

namespace {

using Calls = std::vector<std::string>;

struct DispatchCase {
  const char* what;
  // Sets the fake engine's and the connection's answers, and the table's starting state.
  std::function<void(TFakeEngine&, TRecordingConnection&, TXbDispatch&)> arrange;
  // The operation; its result as text.
  std::function<std::string(TXbDispatch&)> act;
  Calls engineCalls;
  std::string localResult;
  Calls serverCalls;
  std::string serverResult;
  // State after the call, for either route.
  std::function<void(const TXbDispatch&, bool onServer)> check;
};

template <typename T>
std::string S(T v) {
  return std::to_string(v);
}

const std::vector<DispatchCase>& Cases() {
  static const std::vector<DispatchCase> cases = {
      {"a granted lock is exactly -1 locally, the server's value unchanged",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_Rlock"] = 7;
         c.Ints["Rlock"] = 7;
       },
       [](TXbDispatch& t) { return S(t.xb_Rlock(5)); },
       {"xb_Rlock(5)"}, "-1", {"Rlock(5)"}, "7", nullptr},
      {"a flag with only high bits set is true",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) { e.Ints["xb_Eof"] = 0x100; },
       [](TXbDispatch& t) { return S(t.xb_Eof()); },
       {"xb_Eof()"}, "-1", {"Eof()"}, "0", nullptr},
      {"seek",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_Seek"] = 1;
         c.Ints["Seek"] = 1;
       },
       [](TXbDispatch& t) { return S(t.xb_Seek("KIM")); },
       {"xb_Seek(\"KIM\")"}, "-1", {"Seek(\"KIM\")"}, "1", nullptr},
      {"a 32-bit boolean survives narrowing",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_CopyFile"] = 0x10000;
         c.Ints["CopyFile"] = -1;
       },
       [](TXbDispatch& t) { return S(static_cast<XbShort>(t.xb_CopyFile("copy.dbf"))); },
       {"xb_CopyFile(\"copy.dbf\")"}, "-1", {"CopyFile(\"copy.dbf\")"}, "-1", nullptr},
      {"create exec",
       [](TFakeEngine& e, TRecordingConnection&, TXbDispatch&) { e.Ints["xb_CreateExec"] = 2; },
       [](TXbDispatch& t) { return S(t.xb_CreateExec()); },
       {"xb_CreateExec()"}, "-1", {"CreateExec()"}, "0", nullptr},
      {"append from commits and follows the new records",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_AppendFrom"] = 0x20000;
         e.Ints["xb_RecNo"] = e.Ints["xb_RecCount"] = 12;
         c.Ints["AppendFrom"] = -1;
         c.Ints["RecNo"] = c.Ints["RecCount"] = 12;
       },
       [](TXbDispatch& t) { return S(t.xb_AppendFrom("old.dbf", 3, "")); },
       {"xb_AppendFrom(\"old.dbf\", 3, null)", "xb_Commit()", "xb_RecNo()", "xb_RecCount()"},
       "-1",
       {"AppendFrom(\"old.dbf\", 3, \"\")", "Commit()", "RecNo()", "RecCount()"},
       "-1",
       [](const TXbDispatch& t, bool) {
         EXPECT_EQ(t.CurrentRecNo, 12);
         EXPECT_EQ(t.CachedRecCount, 12);
       }},
      {"append blank",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_RecNo"] = e.Ints["xb_RecCount"] = 8;
         c.Ints["RecNo"] = c.Ints["RecCount"] = 8;
       },
       [](TXbDispatch& t) {
         t.xb_AppendBlank();
         return std::string();
       },
       {"xb_AppendBlank()", "xb_RecNo()", "xb_RecCount()"}, "",
       {"AppendBlank()", "RecNo()", "RecCount()"}, "",
       [](const TXbDispatch& t, bool) {
         EXPECT_EQ(t.CurrentRecNo, 8);
         EXPECT_EQ(t.CachedRecCount, 8);
       }},
      {"go in an index order: position unknown locally, the server's reply remotely",
       [](TFakeEngine&, TRecordingConnection& c, TXbDispatch& t) {
         t.IndexName = "TIT1";
         c.Ints["Go"] = 5;
       },
       [](TXbDispatch& t) {
         t.xb_Go(17);
         return std::string();
       },
       {"xb_Go(17)"}, "", {"Go(17)"}, "",
       [](const TXbDispatch& t, bool onServer) {
         EXPECT_EQ(t.CurrentRecNo, 17);
         EXPECT_EQ(t.OrderPosition, onServer ? 5 : -2);
       }},
      {"go in natural order: the position is the record number",
       [](TFakeEngine&, TRecordingConnection& c, TXbDispatch&) { c.Ints["Go"] = 17; },
       [](TXbDispatch& t) {
         t.xb_Go(17);
         return std::string();
       },
       {"xb_Go(17)"}, "", {"Go(17)"}, "",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.OrderPosition, 17); }},
      {"go top takes record 1 for the current one",
       [](TFakeEngine&, TRecordingConnection&, TXbDispatch& t) { t.CurrentRecNo = 9; },
       [](TXbDispatch& t) {
         t.xb_GoTop();
         return std::string();
       },
       {"xb_GoTop()"}, "", {"GoTop()"}, "",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentRecNo, 1); }},
      {"record number",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_RecNo"] = c.Ints["RecNo"] = 33;
       },
       [](TXbDispatch& t) { return S(t.xb_RecNo()); },
       {"xb_RecNo()"}, "33", {"RecNo()"}, "33",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentRecNo, 33); }},
      {"set order caches the order asked for",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_SetOrder"] = c.Ints["SetOrder"] = 1;
       },
       [](TXbDispatch& t) { return S(t.xb_SetOrder(3)); },
       {"xb_SetOrder(3)"}, "1", {"SetOrder(3)"}, "1",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentOrder, 3); }},
      {"index ord caches the order reported",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_IndexOrd"] = c.Ints["IndexOrd"] = 4;
       },
       [](TXbDispatch& t) { return S(t.xb_IndexOrd()); },
       {"xb_IndexOrd()"}, "4", {"IndexOrd()"}, "4",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentOrder, 4); }},
      {"index open caches the order reported",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_IndexOpen"] = c.Ints["IndexOpen"] = 2;
       },
       [](TXbDispatch& t) { return S(t.xb_IndexOpen("notes.nsx")); },
       {"xb_IndexOpen(\"notes.nsx\")"}, "2", {"IndexOpen(\"notes.nsx\")"}, "2",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentOrder, 2); }},
      {"index tag sends descending as -1 and caches the new order",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_IndexTag"] = c.Ints["IndexTag"] = 2;
       },
       [](TXbDispatch& t) { return S(t.xb_IndexTag("", "TIT1", "UPPER(TIT1)", 0, true, "")); },
       {"xb_IndexTag(null, \"TIT1\", \"UPPER(TIT1)\", 0, -1, null)"}, "2",
       {"IndexTag(\"\", \"TIT1\", \"UPPER(TIT1)\", 0, -1, \"\")"}, "2",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CurrentOrder, 2); }},
      {"index condition is kept",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Texts["xb_IndexCondition"] = c.Texts["IndexCondition"] = "!DELETED()";
       },
       [](TXbDispatch& t) { return t.xb_IndexCondition(); },
       {"xb_IndexCondition()"}, "!DELETED()", {"IndexCondition()"}, "!DELETED()",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.IndexConditionText, "!DELETED()"); }},
      {"a scope without bounds stores empty bounds and clears the engine's",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch& t) {
         t.ScopeBegin = "A";
         t.ScopeEnd = "B";
         e.Ints["xb_SetScope"] = 1;
       },
       [](TXbDispatch& t) { return S(t.xb_SetScope("", "")); },
       {"xb_SetScope(null, null)"}, "-1", {"SetScope(\"\", \"\")"}, "0",
       [](const TXbDispatch& t, bool) {
         EXPECT_EQ(t.ScopeBegin, "");
         EXPECT_EQ(t.ScopeEnd, "");
       }},
      {"a query the engine can count takes the query's count",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_Query"] = 7;
         e.Ints["xb_QueryTest"] = 1;
         e.Ints["xb_QueryRecCount"] = 4;
         e.Ints["xb_RecCount"] = 100;
         c.Ints["QueryRowCount"] = 7;
         c.QueryCount = 4;
       },
       [](TXbDispatch& t) { return S(t.xb_Query("TIT1='A'")); },
       {"xb_Query(\"TIT1='A'\")", "xb_QueryTest(\"TIT1='A'\")", "xb_QueryRecCount()"}, "7",
       {"QueryRowCount(\"TIT1='A'\")"}, "7",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CachedRecCount, 4); }},
      {"a query it cannot count takes the record count",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Ints["xb_Query"] = 3;
         e.Ints["xb_RecCount"] = 100;
         c.Ints["QueryRowCount"] = 3;
         c.QueryCount = 100;
       },
       [](TXbDispatch& t) { return S(t.xb_Query("MYUDF()")); },
       {"xb_Query(\"MYUDF()\")", "xb_QueryTest(\"MYUDF()\")", "xb_RecCount()"}, "3",
       {"QueryRowCount(\"MYUDF()\")"}, "3",
       [](const TXbDispatch& t, bool) { EXPECT_EQ(t.CachedRecCount, 100); }},
      {"deleted moves the server to the current record first",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch& t) {
         t.CurrentRecNo = 9;
         e.Ints["xb_Deleted"] = 1;
         c.Ints["Deleted"] = -1;
       },
       [](TXbDispatch& t) { return S(t.xb_Deleted()); },
       {"xb_Deleted()"}, "-1", {"Go(9)", "Deleted()"}, "-1", nullptr},
      {"a memo comes back as text and the engine's block is given back",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch& t) {
         t.CurrentRecNo = 4;
         e.HasMemo = true;
         e.Memo = c.Texts["GetMemo"] = "body text";
       },
       [](TXbDispatch& t) { return t.xb_GetMemo("MMM", 0); },
       {"xb_GetMemo(\"MMM\", 0)", "xb_MemDealloc(ptr)"}, "body text",
       {"Go(4)", "GetMemo(\"MMM\", 0)"}, "body text",
       [](const TXbDispatch&, bool) { EXPECT_EQ(TFakeEngine::Current->MemoBlocksOut, 0); }},
      {"an empty memo has no block to give back",
       nullptr, [](TXbDispatch& t) { return t.xb_GetMemo("MMM"); },
       {"xb_GetMemo(\"MMM\", 0)"}, "", {"Go(0)", "GetMemo(\"MMM\", 0)"}, "", nullptr},
      {"create new sends the database and the bare file name to the server",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch& t) {
         t.DatabaseName = "NOTES";
         e.Ints["xb_CreateNew"] = c.Ints["CreateNew"] = -3;
       },
       [](TXbDispatch& t) { return S(t.xb_CreateNew("/data/orvel.dbf", "ORVEL", 3, 10)); },
       {"xb_CreateNew(\"/data/orvel.dbf\", \"ORVEL\", 3, 10)"}, "-3",
       {"CreateNew(\"NOTES\", \"orvel.dbf\", 3, 10)"}, "-3", nullptr},
      {"file exists is the file system's test locally",
       [](TFakeEngine&, TRecordingConnection& c, TXbDispatch& t) {
         t.DatabaseName = "NOTES";
         c.Ints["FileExists"] = 1;
       },
       [](TXbDispatch& t) { return S(t.FileExists(ORV_SOURCE_DIR "/CMakeLists.txt")); },
       {}, "-1", {"FileExists(\"NOTES\", \"" ORV_SOURCE_DIR "/CMakeLists.txt\")"}, "-1",
       nullptr},
      {"version is the server engine's version",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Texts["xb_Version"] = "local 1";
         c.Texts["EngineVersion"] = "server 2";
       },
       [](TXbDispatch& t) { return t.xb_Version(); },
       {"xb_Version()"}, "local 1", {"EngineVersion()"}, "server 2", nullptr},
      {"gauge hook, string type and memory release have no server counterpart", nullptr,
       [](TXbDispatch& t) {
         t.xb_SetGaugeHook(0x1234);
         t.xb_SetStringType(1);
         t.xb_MemDealloc(nullptr);
         return std::string();
       },
       {"xb_SetGaugeHook(4660)", "xb_SetStringType(1)", "xb_MemDealloc(null)"}, "", {}, "",
       nullptr},
      {"record image moves whole records",
       [](TFakeEngine& e, TRecordingConnection&, TXbDispatch& t) {
         t.RecordSize = 6;
         e.RecordBytes = " KIM 1";
       },
       [](TXbDispatch& t) {
         t.xb_GetRecord();
         t.RecordImage[0] = '*';
         t.xb_PutRecord();
         return std::string(t.RecordImage.data(), t.RecordImage.size());
       },
       {"xb_GetRecord(ptr)", "xb_PutRecord(ptr)"}, "*KIM 1", {"GetRecord(6)", "PutRecord(6)"},
       std::string("*\0\0\0\0\0", 6), nullptr},
      {"blob reads respect the buffer's capacity",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch&) {
         e.Blob = "0123456789";
         c.Ints["GetBlob"] = 4;
       },
       [](TXbDispatch& t) {
         char buffer[5] = "....";
         XbLong n = t.xb_GetBlob("PIC", buffer, 4);
         return S(n) + ":" + buffer;
       },
       {"xb_GetBlobEx(\"PIC\", ptr, 4)"}, "4:0123", {"GetBlob(\"PIC\", 4)"}, "4:....", nullptr},
      {"work area, alias and select",
       [](TFakeEngine& e, TRecordingConnection& c, TXbDispatch& t) {
         t.WorkArea = 3;
         e.Ints["xb_Select"] = c.Ints["Select"] = 1;
         e.Texts["xb_Alias"] = c.Texts["Alias"] = "ORVEL";
         e.Ints["xb_WorkArea"] = c.Ints["WorkArea"] = 3;
       },
       [](TXbDispatch& t) {
         t.SelectWorkArea();
         std::string alias = t.xb_Alias(3);
         return alias + S(t.xb_WorkArea("ORVEL"));
       },
       {"xb_Select(3)", "xb_Alias(3)", "xb_WorkArea(\"ORVEL\")"}, "ORVEL3",
       {"Select(3)", "Alias(3)", "WorkArea(\"ORVEL\")"}, "ORVEL3", nullptr},
  };
  return cases;
}

class DispatchTest : public EngineTest {};

}  // namespace

TEST_F(DispatchTest, RoutesNormalisesAndCaches) {
  LoadFake();
  for (const DispatchCase& c : Cases()) {
    for (bool onServer : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (onServer ? " [server]" : " [local]"));
      TRecordingConnection connection;
      TXbDispatch table;
      if (onServer) {
        table.AccessMethod = amServer;
        table.XbConnection = &connection;
      }
      engine.Clear();
      engine.Ints.clear();
      engine.Texts.clear();
      engine.HasMemo = false;
      engine.RecordBytes.clear();
      engine.Blob.clear();
      if (c.arrange) c.arrange(engine, connection, table);
      const std::string result = c.act(table);
      EXPECT_EQ(result, onServer ? c.serverResult : c.localResult);
      EXPECT_EQ(engine.Calls, onServer ? Calls{} : c.engineCalls);
      EXPECT_EQ(connection.Calls, onServer ? c.serverCalls : Calls{});
      if (c.check) c.check(table, onServer);
    }
  }
}

TEST_F(DispatchTest, ScopeBoundsAreStoredBeforeTheCall) {
  LoadFake();
  struct Peeking : TRecordingConnection {
    TXbDispatch* table = nullptr;
    std::string seen;
    XbShort SetScope(const std::string& l, const std::string& h) override {
      seen = table->ScopeBegin + ".." + table->ScopeEnd;
      return TRecordingConnection::SetScope(l, h);
    }
  } connection;
  TXbDispatch table;
  table.AccessMethod = amServer;
  table.XbConnection = &connection;
  connection.table = &table;
  table.xb_SetScope("KIM", "LEE");
  EXPECT_EQ(connection.seen, "KIM..LEE");
}

TEST_F(DispatchTest, BlobReadWithoutTheCapacityFormStaysInsideTheBuffer) {
  LoadFake({}, false);
  engine.Blob = std::string(64, 'x');
  char buffer[8 + 4];
  std::memset(buffer, '#', sizeof buffer);
  TXbDispatch table;
  EXPECT_EQ(table.xb_GetBlob("PIC", buffer, 8), 8);
  EXPECT_EQ(std::string(buffer, 8), std::string(8, 'x'));
  EXPECT_EQ(std::string(buffer + 8, 4), "####");
}

TEST_F(DispatchTest, SysPropLoadsTheEngineFirst) {
  services.Loader.AddLibrary("XBENG61.DLL", engine.Symbols());
  engine.Ints["xb_SysProp"] = 2;
  TXbDispatch table;
  EXPECT_EQ(table.xb_SysProp(3000, 0), 2);
  EXPECT_TRUE(XbEngineReady());
  EXPECT_EQ(engine.CallsOf("xb_SysProp"), Calls{"xb_SysProp(3000, 0)"});
}

TEST_F(DispatchTest, ServerRouteWithoutConnectionAnswersNeutrally) {
  LoadFake();
  engine.Clear();
  engine.Ints["xb_Rlock"] = 1;
  TXbDispatch table;
  table.AccessMethod = amServer;
  EXPECT_EQ(table.xb_Rlock(1), 0);
  EXPECT_EQ(table.xb_GetMemo("MMM"), "");
  table.xb_Go(5);
  EXPECT_EQ(table.CurrentRecNo, 5);
  EXPECT_TRUE(engine.Calls.empty());
}
