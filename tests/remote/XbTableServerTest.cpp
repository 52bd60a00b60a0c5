// A table bound to a connection, end to end against the test server.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/Services.h"
#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"
#include "table/XbEnv.h"
#include "table/XbTable.h"

namespace {

std::string UseReplyOneField() {
  return "0005" "00000002" "00000001" "0000000B" "N" + PadRight("", 255) + "0000" "0000" "00000000" +
         "00000000";
}

std::string Rows() {
  // Two records of one 10-character field, the second at the end.
  return "00000002" "0" "00000001" "00000001" " REC00001  " "0" "00000002" "00000002" " REC00002  ";
}

// A server that answers a table of one field and two records, and a table on the form bound
// to it through the fixture's connection ("NOTES", "notes.dbf").
class ServerTableTest : public RemoteFixture {
 protected:
  ServerTableTest() {
    Handled();
    On("0469", UseReplyOneField());
    On("0581", "TIT1\r\nC\r\nA\r\n0\r\n2\r\n");
    On("0626", Rows());
    On("0500", "1");
    On("0530", "NOTES");
    RegisterForm(&form);
  }
  ~ServerTableTest() override { UnregisterForm(&form); }
  TXbTable* NewTable() {
    auto* table = new TXbTable(&form);
    table->SetAccessMethod(amServer);
    table->SetXbConnection(Conn.get());
    table->SetDatabaseName("NOTES");
    table->SetTableName("notes.dbf");
    return table;
  }
  TComponent form;
};

}  // namespace

// The open request carries the environment the table takes from its TXbEnv, each setting in
// its own place: epoch, date format, memo block size, then deleted, century, soft seek, exact,
// OEM translation, whether the server applies them, and the commit level.
TEST_F(ServerTableTest, ServerTableOpenCarriesItsEnvironmentInPlace) {
  auto* env = new TXbEnv(&form);
  env->SetApplyTo(atServer);  // without a connection of its own: the table carries them
  env->SetEpoch(1950);
  env->SetDateFormat(dfGerman);
  env->SetMemoBlockSize(512);
  env->SetDeleted(true);
  env->SetCentury(false);
  env->SetSoftSeek(true);
  env->SetExact(false);
  TXbTable* table = NewTable();
  Open();
  table->Open();
  const std::vector<TWireMessage> requests = Server->Requests();
  ASSERT_FALSE(requests.empty());
  ASSERT_EQ(requests[0].Code, "0469");
  const std::string& p = requests[0].Payload;
  const size_t env0 = 255 + 255 + 1 + 1 + 255 + 1 + 255;  // after the index name
  ASSERT_EQ(p.size(), env0 + 4 + 4 + 4 + 6 + 1);
  EXPECT_EQ(p.substr(env0), "079E" "0004" "0200" "Y" "N" "Y" "N" "N" "Y" "0");
  // Each flag the other way round moves only its own place.
  table->Close();
  env->SetDeleted(false);
  env->SetCentury(true);
  Server->ClearRequests();
  table->Open();
  EXPECT_EQ(Server->Requests()[0].Payload.substr(env0 + 12, 2), "NY");
  for (const std::string& e : Errors) ADD_FAILURE() << e;
  table->Close();
}

TEST_F(ServerTableTest, ServerTableOpensReadsAndClosesBeforeItsConnectionGoes) {
  TXbTable* table = NewTable();
  Open();
  table->Open();
  EXPECT_EQ(table->FieldByName("TIT1")->AsString(), "REC00001");
  table->Next();
  EXPECT_EQ(table->FieldByName("TIT1")->AsString(), "REC00002");
  const std::vector<TWireMessage> requests = Server->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].Code, "0469");
  EXPECT_EQ(requests[0].Payload.substr(0, 260), PadRight("NOTES", 255) + "notes");

  Conn.reset();  // the table's close still reaches the server
  EXPECT_FALSE(table->Active());
  const std::vector<std::string> codes = Server->Codes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), "0523"), codes.end());
  EXPECT_TRUE(Errors.empty());
}
