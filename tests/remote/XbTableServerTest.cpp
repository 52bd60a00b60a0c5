// A table bound to a connection, end to end against the test server.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/Services.h"
#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"
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

}  // namespace

TEST_F(RemoteFixture, ServerTableOpensReadsAndClosesBeforeItsConnectionGoes) {
  Handled();
  On("0469", UseReplyOneField());
  On("0581", "TIT1\r\nC\r\nA\r\n0\r\n2\r\n");
  On("0626", Rows());
  On("0500", "1");
  On("0530", "NOTES");
  TComponent form;
  RegisterForm(&form);
  auto* table = new TXbTable(&form);
  table->SetAccessMethod(amServer);
  table->SetXbConnection(Conn.get());
  table->SetDatabaseName("NOTES");
  table->SetTableName("notes.dbf");
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
  UnregisterForm(&form);
}
