// The SQL query dataset over the server route.
#include <gtest/gtest.h>

#include <cstdio>

#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"
#include "remote/XbQuery.h"
#include "platform/core/Services.h"
#include "support/MemoryLimit.h"
#include "table/XbEnv.h"

namespace {

// A result of Rows rows of two fields: NAME (string, 10) at 0 and N (integer) at 10.
class XbQueryTest : public RemoteFixture {
 protected:
  void SetUp() override {
    Handled();
    Open();
    On("0800", "00000007" "00000000");
    On("0802", HexField(Rows, 8) + "00000002" "0000000E" "00000000");
    On("0806", "NAME\r\n1\r\nA\r\n0\r\n-\r\nN\r\n3\r\n4\r\nA\r\n-\r\n");
    OnRequest("0807", [this](const TWireMessage& m) {
      const int first = static_cast<int>(std::stoul(m.Payload.substr(8, 8), nullptr, 16));
      const int count = static_cast<int>(std::stoul(m.Payload.substr(16, 8), nullptr, 16));
      std::string r = HexField(count, 8);
      for (int row = first; row < first + count; ++row) {
        char name[16] = {};
        std::snprintf(name, sizeof name, "ROW%03d", row);
        const int32_t n = row;
        r += HexField(row, 8) + std::string(name, 10) + std::string(reinterpret_cast<const char*>(&n), 4);
      }
      return Reply(r);
    });
    Q.SetAccessMethod(qamServer);
    Q.SetXbConnection(Conn.get());
    Q.SetDatabaseName("NOTES");
    Q.SetSQL("SELECT * FROM CUSTOMER");
  }
  std::vector<std::string> Fetches() {
    std::vector<std::string> f;
    for (const TWireMessage& m : Server->Requests())
      if (m.Code == "0807") f.push_back(m.Payload.substr(8));
    return f;
  }
  int Rows = 250;
  TXbQuery Q;
};

}  // namespace

TEST_F(XbQueryTest, OpensAndFetchesRowsInBlocksWhenReached) {
  Q.Open();
  EXPECT_EQ(Q.RecordCount(), 250);
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "ROW001");
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 1);
  Q.Next();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 2);
  EXPECT_EQ(Fetches(), std::vector<std::string>{"00000001" "00000064"});
  Q.SetRecNo(201);
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "ROW201");
  EXPECT_EQ(Q.RecNo(), 201);
  EXPECT_EQ(Fetches().back(), "000000C9" "00000032");  // 250 - 201 + 1 rows
  Q.Last();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 250);
  Q.Close();
  const std::vector<std::string> codes = Server->Codes();
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes[codes.size() - 2], "0804");
  EXPECT_EQ(codes.back(), "0801");
  EXPECT_EQ(Last().Payload, "00000007");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbQueryTest, PrepareRequestCarriesTheSettingsTablesAndParameters) {
  Q.TableNames().Add()->SetTableName("CUSTOMER.DBF");
  Q.TableNames().Add();  // no table name: left out
  Q.Params().CreateParam(ftInteger, "P", ptInput)->SetAsInteger(5);
  EXPECT_EQ(Q.TableNames().Items(0)->Alias, "CUSTOMER");
  EXPECT_EQ(Q.TableNames().Items(0)->DisplayName(), "CUSTOMER.DBF (CUSTOMER)");
  EXPECT_EQ(Q.TableNames().Items(1)->DisplayName(), "Undefined");
  Q.Open();
  const TWireMessage prepare = Server->Requests().front();
  ASSERT_EQ(prepare.Code, "0800");
  const std::string table = PadRight("CUSTOMER.DBF", 64) + PadRight("CUSTOMER", 64) + "1" +
                            PadRight("", 8) + "N" + "00000000" + "0";
  const std::string want = PadRight("NOTES", 255) + "N" + PadRight("m/d/yyyy", 10) + "Y" + "N" +
                           "00000040" + "1" + PadRight("", 255) + "N" + "00000001" + "0" +
                           HexField(static_cast<int64_t>(table.size()), 8) + table +
                           "00000004" "03" "01" + PadRight("P", 20) + std::string("\x05\0\0\0", 4);
  EXPECT_EQ(prepare.Payload, want);
  const TWireMessage open = Server->Requests()[1];
  EXPECT_EQ(open.Code, "0802");
  EXPECT_EQ(open.Payload, "00000007SELECT * FROM CUSTOMER");
}

TEST_F(XbQueryTest, RefusalsAndServerErrors) {
  try {
    On("0802", "00000000" "00000000" "00000000" "00000003");
    Q.Open();
    FAIL() << "opened";
  } catch (const EXbQueryError& e) {
    EXPECT_EQ(e.Message, "Unable to execute SQL statement:\r\rSELECT * FROM CUSTOMER\r\n");
  }
  EXPECT_FALSE(Q.Active());
  On("0800", "00000000" "00000009" "no such alias");
  try {
    Q.Open();
    FAIL() << "opened";
  } catch (const EXbQueryError& e) {
    EXPECT_EQ(e.Message, "no such alias");
    EXPECT_EQ(Q.LastMessage(), "no such alias");
  }
  struct {
    std::function<void(TXbQuery&)> Setup;
    std::string Message;
  } cases[] = {
      {[](TXbQuery& q) { q.SetDatabaseName(""); }, "Missing DatabaseName property"},
      {[](TXbQuery& q) { q.SetSQL(""); }, "No SQL statement available"},
      {[](TXbQuery& q) { q.SetXbConnection(nullptr); }, "No XbConnection specified"},
      {[this](TXbQuery&) { Conn->Disconnect(); }, "Not connected"},
  };
  for (auto& c : cases) {
    TXbQuery q;
    q.SetAccessMethod(qamServer);
    q.SetXbConnection(Conn.get());
    q.SetDatabaseName("NOTES");
    q.SetSQL("SELECT 1");
    c.Setup(q);
    try {
      q.Open();
      FAIL() << c.Message;
    } catch (const EXbQueryError& e) {
      EXPECT_EQ(e.Message, c.Message);
    }
  }
}

TEST_F(XbQueryTest, DamagedStructureAndFetchRepliesAreRefused) {
  On("0806", "NAME\r\n1\r\n20\r\n0\r\n-\r\nN\r\n3\r\n4\r\nA\r\n-\r\n");  // 32 bytes in a 14-byte row
  EXPECT_THROW(Q.Open(), EXbQueryError);
  EXPECT_FALSE(Q.Active());
  On("0806", "NAME\r\n1\r\nA\r\n0\r\n-\r\nN\r\n3\r\n4\r\nA\r\n-\r\n");
  Rows = 3;
  On("0802", "00000003" "00000002" "0000000E" "00000000");
  OnRequest("0807", [](const TWireMessage&) { return Reply("00000002" "00000001" "ROW"); });
  EXPECT_THROW(Q.Open(), EXbQueryError);  // a row cut short
}

TEST_F(XbQueryTest, InMemoryEditsAndLocate) {
  On("0802", "00000005" "00000002" "0000000E" "00000000");
  Q.SetFetchCount(0);
  EXPECT_EQ(Q.FetchCount(), 1);
  Q.Open();
  Q.Delete();
  EXPECT_EQ(Q.RecordCount(), 4);
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "ROW002");
  Q.Next();
  Q.Next();
  EXPECT_FALSE(Q.Locate("NAME", Variant("NOPE"), 0));
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "ROW004");
  EXPECT_TRUE(Q.Locate("NAME", Variant("row00"), loPartialKey | loCaseInsensitive));
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "ROW002");
  EXPECT_TRUE(Q.Locate("N", Variant(5), 0));
  EXPECT_EQ(Q.RecNo(), 4);
  Q.Edit();
  Q.FieldByName("NAME")->SetAsString("CHANGED");
  Q.Post();
  Q.First();
  Q.Last();
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "CHANGED");
  Q.Append();
  Q.FieldByName("NAME")->SetAsString("NEW");
  Q.Post();
  EXPECT_EQ(Q.RecordCount(), 5);
  Q.Last();
  EXPECT_EQ(Q.FieldByName("NAME")->AsString(), "NEW");
  EXPECT_THROW(Q.SetAccessMethod(qamLocal), EXbQueryError);
  EXPECT_TRUE(Errors.empty());
}

TEST(XbQueryLocal, AMissingFolderIsNamed) {
  TXbQuery q;
  q.SetDatabaseName("/no/such/folder.d");
  q.SetSQL("SELECT 1");
  try {
    q.Open();
    FAIL() << "opened";
  } catch (const EXbQueryError& e) {
    EXPECT_EQ(e.Message, "No such DataBaseName: /no/such/folder.d/");
  }
}

TEST_F(XbQueryTest, MemoColumnsAreReadOnDemand) {
  On("0802", "00000002" "00000003" "0000000E" "00000000");
  On("0806", "NAME\r\n1\r\nA\r\n0\r\n-\r\nN\r\n3\r\n4\r\nA\r\n-\r\nBODY\r\n10\r\n0\r\n0\r\n-\r\n");
  On("0808", "the body text");
  Q.Open();
  Q.Next();
  EXPECT_EQ(Q.FieldByName("BODY")->AsString(), "the body text");
  EXPECT_EQ(Last().Code, "0808");
  EXPECT_EQ(Last().Payload, "00000007" "00000002" "00000002");  // handle, row 2, field 3
}

TEST_F(XbQueryTest, ThePreparedSettingsComeFromTheFirstEnvironment) {
  TComponent form;
  RegisterForm(&form);
  auto* env = new TXbEnv(&form);
  env->SetCentury(true);
  env->SetDeleted(false);
  Q.Open();
  const std::string prepare = Server->Requests().front().Payload;
  EXPECT_EQ(prepare.substr(255, 1), "Y");   // century
  EXPECT_EQ(prepare.substr(266, 1), "N");   // deleted records shown
  EXPECT_FALSE(Q.SetDeleted);
  Q.Close();
  UnregisterForm(&form);
}

TEST_F(XbQueryTest, AFilterLimitsCountsNumbersAndFinds) {
  On("0802", "00000006" "00000002" "0000000E" "00000000");
  Q.OnFilterRecord = [](TDataSet* d, bool& Accept) {
    Accept = d->FieldByName("N")->AsInteger() % 2 == 0;
  };
  Q.SetFiltered(true);
  Q.Open();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 2);
  EXPECT_EQ(Q.RecordCount(), 3);
  Q.Next();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 4);
  EXPECT_EQ(Q.RecNo(), 2);
  EXPECT_TRUE(Q.FindLast());
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 6);
  EXPECT_TRUE(Q.FindPrior());
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 4);
  Q.SetRecNo(1);
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 2);
}

// Closing after the link dropped, without an error handler: the statement cannot be closed on
// the server, which is raised, but the query has let go of it, its rows and its fields first,
// and opens again once the link is back.
TEST_F(XbQueryTest, ClosingAfterTheLinkDroppedRaisesWithTheQueryClosed) {
  Q.Open();
  Q.Last();
  Conn->OnError = nullptr;
  Conn->SetActive(false);
  try {
    Q.Close();
    FAIL() << "closed quietly";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "[XbConnection.sql_CloseSQL]sql_CloseSQL");
  }
  EXPECT_FALSE(Q.Active());
  EXPECT_EQ(Q.FieldCount(), 0);
  Handled();
  Open();
  Server->ClearRequests();
  Q.Open();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 1);
  Q.Close();
  EXPECT_EQ(Server->Codes(), (std::vector<std::string>{"0800", "0802", "0806", "0807", "0804", "0801"}));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(XbQueryTest, TheConnectionGoingAwayClearsTheReference) {
  Q.Open();
  Conn.reset();
  EXPECT_EQ(Q.XbConnection(), nullptr);
  Q.Close();
}

// A result whose rows could not be held is refused before anything is sized by it, and the
// statement is closed on the server.
TEST_F(XbQueryTest, ResultsBeyondWhatCanBeHeldAreRefused) {
  const struct {
    std::string RowsFieldsSize;
    std::string Message;
  } cases[] = {
      {"00000001" "00000002" "7FFFFFF0", "The result is too large to hold: 1 rows of 2147483632 bytes"},
      {"002DC6C0" "00000002" "00100000", "The result is too large to hold: 3000000 rows of 1048576 bytes"},
      {"7FFFFFFF" "00000002" "0000000E", "The result is too large to hold: 2147483647 rows of 14 bytes"},
      {"FFFFFFFF" "00000002" "0000000E", "The result is too large to hold: -1 rows of 14 bytes"},
      {"00000001" "00000402" "0000000E", "Too many fields in the result: 1026"},
  };
  for (const auto& c : cases) {
    On("0802", c.RowsFieldsSize + "00000000");
    Server->ClearRequests();
    try {
      Q.Open();
      FAIL() << c.RowsFieldsSize;
    } catch (const EXbQueryError& e) {
      EXPECT_EQ(e.Message, c.Message);
    }
    EXPECT_FALSE(Q.Active());
    const std::vector<std::string> codes = Server->Codes();
    EXPECT_EQ(codes, (std::vector<std::string>{"0800", "0802", "0804", "0801"}));
  }
  EXPECT_TRUE(Errors.empty());
}

// A result may claim rows of up to 2 MiB that no reply ever brings: walking them reads blank
// rows and holds only what the replies held, never rows times their size.
TEST_F(XbQueryTest, RowsNoReplyBringsAreNotHeld) {
  // 600 rows of 1 MiB, within the limits of a result, and every fetch answered with no row.
  On("0802", "00000258" "00000002" "00100000" "00000000");
  OnRequest("0807", [](const TWireMessage&) { return Reply("00000000"); });
  EXPECT_EQ(InChildWithMemoryLimit(int64_t{256} << 20, [this] {
              Q.Open();
              int rows = 0;
              for (Q.First(); !Q.Eof(); Q.Next()) {
                if (Q.FieldByName("N")->AsInteger() != 0) return 1;
                ++rows;
              }
              return rows == 600 ? 0 : 2;
            }),
            0);
}
