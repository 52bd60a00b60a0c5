// Queries and the dataset filter, counts with the hidden header record, field writes by
// value code, record locks against another process, and the setters that an open table
// refuses, against the real engine.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "FakeConnection.h"
#include "KeyTableFixture.h"
#include "support/ForkedLockHolder.h"
#include "table/XbEnv.h"

namespace keytable {
namespace {

const char kClosed[] = "Cannot perform this operation on a closed table";
const char kOpen[] = "Cannot perform this operation on an open table";

const std::vector<ColumnDef> kFields = {
    {"CHK", "C", 1},  {"TIT1", "C", 10}, {"NUM", "N", 5},  {"AMT", "N", 8, 2}, {"DAY", "D", 8},
    {"FLAG", "L", 1}, {"MMM", "M", 10}, {"PIC", "B", 10}};

const std::vector<Row> kRows = {
    {"", "HEADER"},           {"v", "apple", "1"}, {"", "banana", "2"},
    {"v", "apricot", "3"},    {"", "cherry", "4"},
};

class XbTableQueryTest : public KeyTableTest {
 protected:
  TXbTable& Notes(bool Exclusive = false) {
    return OpenTable(CreateTable("orvel", kFields, kRows, true), Exclusive);
  }
};

TEST_F(XbTableQueryTest, ClosedTableAnswers) {
  TXbTable t;
  EXPECT_EQ(t.Query("TIT1 = 'a'"), 0);
  EXPECT_EQ(t.QueryRecCount(), 0);
  EXPECT_EQ(t.RecCount(), 0);
  EXPECT_EQ(t.RecNo(), 0);
  t.Unlock(0);
  t.SetRecNo(3);
  EXPECT_EQ(XbMessage([&] { t.Rlock(1); }), kClosed);
  EXPECT_EQ(XbMessage([&] { t.IsEncrypted(0); }), kClosed);
  EXPECT_EQ(XbMessage([&] { t.SetGaugeHook(1); }), kClosed);
}

// Counts leave out the hidden header (record 1): the application shows RecCount - 1 notes.
TEST_F(XbTableQueryTest, QueryCountsWithTheHiddenHeader) {
  TXbTable& t = Notes();
  EXPECT_EQ(t.RecCount(), 5);
  struct Case {
    std::string Expression;
    XbLong Count;
    std::vector<std::string> Seen;
  } cases[] = {
      {"'ap' $ TIT1", 2, {"apple", "apricot"}},
      {"CHK = 'v'", 2, {"apple", "apricot"}},
      {"NUM > 1 .and. NUM < 4", 2, {"banana", "apricot"}},
      {"'HEADER' $ TIT1", 0, {}},  // the header never qualifies while it is hidden
      {"", 4, {"apple", "banana", "apricot", "cherry"}},
  };
  for (const Case& c : cases) {
    const XbLong recNo = t.Query(c.Expression);
    if (!c.Expression.empty()) {
      EXPECT_EQ(t.QueryRecCount(), c.Count) << c.Expression;
    }
    EXPECT_EQ(Titles(t), c.Seen) << c.Expression;
    EXPECT_EQ(t.RecCount(), 5) << "the raw count includes the header";
    EXPECT_EQ(t.DBFilter(), c.Expression);
    if (!c.Seen.empty()) {
      EXPECT_GT(recNo, 1);
    }
  }

  for (const std::string bad : {"NUM + 1", "TIT1"}) {
    EXPECT_EQ(XbMessage([&] { t.Query(bad); }), "Invalid Query Expression\r\r" + bad);
  }
  // The single character code 0 clears like an empty text.
  t.Query("CHK = 'v'");
  t.Query(std::string(1, '\0'));
  EXPECT_EQ(t.DBFilter(), "");
}

TEST_F(XbTableQueryTest, FilterAndFilteredCarryTheQuery) {
  TXbTable& t = Notes();
  t.SetFilter("CHK = 'v'");
  EXPECT_EQ(t.DBFilter(), "");
  t.SetFiltered(true);
  EXPECT_EQ(t.DBFilter(), "CHK = 'v'");
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"apple", "apricot"}));
  t.SetFilter("NUM = 2");
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"banana"}));
  t.SetFiltered(false);
  EXPECT_EQ(t.DBFilter(), "");
  EXPECT_EQ(Titles(t).size(), 4u);
  // The filter is applied again when the table opens.
  t.SetFiltered(true);
  t.Close();
  t.Open();
  EXPECT_EQ(Titles(t), (std::vector<std::string>{"banana"}));
}

// The pack's header access: deleted records shown, the header reached by number, undeleted,
// written, deleted again and hidden.
TEST_F(XbTableQueryTest, HeaderAccessTogglingDeleted) {
  TXbTable& t = Notes();
  TXbEnv env;
  EXPECT_EQ(Titles(t).front(), "apple");
  env.SetDeleted(false);
  t.SetRecNo(1);
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_EQ(t.GetTrimString("TIT1"), "HEADER");
  t.Recall();
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_Deleted(), 0);
  ASSERT_EQ(t.Rlock(1), -1);
  t.Edit();
  t.Replace("TIT1", XB_RT_TEXT, "CAPTION");
  t.Post();
  t.Unlock(1);
  env.SetDeleted(true);
  t.SetRecNo(1);
  t.Delete();
  t.SelectWorkArea();
  t.xb_Go(1);
  EXPECT_EQ(t.xb_Deleted(), -1);
  EXPECT_EQ(t.xb_GetTrimString("TIT1"), "CAPTION");
  EXPECT_EQ(Titles(t).front(), "apple");
  EXPECT_EQ(t.RecCount(), 5);
}

TEST_F(XbTableQueryTest, ReplaceByValueCode) {
  TXbTable& t = Notes();
  const std::string blobFile = folder.Path + "/pic.bin";
  std::ofstream(blobFile, std::ios::binary) << std::string("\x01\x02\x00\x03", 4);

  const int32_t fortyTwo = 42, wide = 12345, julian = JulianOf("20240305");
  const double amount = 3.5;
  const uint8_t yes = 1;
  struct Case {
    std::string Field;
    XbShort Code;
    const void* Value;
    std::string Stored;  // the engine's trimmed text of the field afterwards
  } cases[] = {
      {"NUM", XB_RT_INT16, &fortyTwo, "42"},
      {"AMT", XB_RT_INT32, &wide, "12345.00"},
      {"AMT", XB_RT_DOUBLE, &amount, "3.50"},
      {"DAY", XB_RT_JULIAN, &julian, "20240305"},
      {"FLAG", XB_RT_BOOLBYTE, &yes, "T"},
      {"TIT1", XB_RT_TEXT, "\xb0\xa1\xb3\xaa", "\xb0\xa1\xb3\xaa"},
      {"CHK", XB_RT_TEXT2, "v", "v"},  // one character, passed as a text like any other
      {"TIT1", XB_RT_TEXT2, "x", "x"},
  };
  for (const Case& c : cases) {
    t.SetRecNo(3);
    ASSERT_EQ(t.Rlock(3), -1);
    t.Edit();
    t.Replace(c.Field, c.Code, c.Value);
    t.Post();
    t.Unlock(3);
    t.SelectWorkArea();
    t.xb_Go(3);
    std::string stored = t.xb_GetTrimString(c.Field);
    EXPECT_EQ(Trim(stored), c.Stored) << c.Field << " code " << c.Code;
  }

  // Memo text, a blob from a file, and a date text in the current short date format.
  const std::string dateText = FormatDateTime(FormatSettings.ShortDateFormat, EncodeDate(2023, 11, 9));
  char date11[12] = {};
  std::snprintf(date11, sizeof date11, "%-11s", dateText.c_str());
  t.SetRecNo(3);
  t.Edit();
  t.Replace("MMM", XB_RT_MEMO, "a body\r\nline two");
  t.Replace("PIC", XB_RT_FILEBLOB, blobFile.c_str());
  t.Replace("DAY", XB_RT_DATETEXT, date11);
  // No value leaves a number as it is; a file only goes into a blob field.
  t.Replace("NUM", XB_RT_INT32, nullptr);
  EXPECT_EQ(XbMessage([&] { t.Replace("TIT1", XB_RT_FILEBLOB, blobFile.c_str()); }),
            "Field 'TIT1' cannot be read or written as a stream");
  t.Post();
  t.SelectWorkArea();
  t.xb_Go(3);
  EXPECT_EQ(Trim(t.xb_GetString("NUM")), "42");
  EXPECT_EQ(t.xb_GetMemo("MMM"), "a body\r\nline two");
  EXPECT_EQ(t.xb_GetBlobLength("PIC"), 4);
  EXPECT_EQ(t.xb_GetString("DAY"), "20231109");

  // Outside edit state the field write is refused and the record is untouched.
  try {
    t.Replace("TIT1", XB_RT_TEXT, "changed");
    ADD_FAILURE() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Data set must be in Edit or Insert mode to update");
  }
  t.SelectWorkArea();
  t.xb_Go(3);
  EXPECT_EQ(t.xb_GetTrimString("TIT1"), "x");

  // Speed mode writes the engine record directly.
  t.SetSpeedMode(true);
  t.SelectWorkArea();
  t.xb_Go(4);
  t.Replace("TIT1", XB_RT_TEXT, "direct");
  t.SelectWorkArea();
  t.xb_Commit();
  EXPECT_EQ(t.xb_GetTrimString("TIT1"), "direct");
  t.SetSpeedMode(false);
}

// The engine does not encrypt: a password, set before or after the open, changes nothing on
// disk, and every table says it is not encrypted (the README says so).
TEST_F(XbTableQueryTest, PasswordLeavesTheFilePlain) {
  const std::string file = CreateTable("orvel", kFields, kRows, true);
  TXbTable& t = OpenTable(file, false, false);
  t.SetPassword("secret");
  t.Open();
  t.SetPassword("other");
  EXPECT_EQ(t.IsEncrypted(0), 0);
  t.SetRecNo(2);
  t.Edit();
  t.FieldByName("TIT1")->SetAsString("plainword");
  t.Post();
  t.Close();
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("plainword"), std::string::npos);
  EXPECT_NE(bytes.find("banana"), std::string::npos);
}

TEST_F(XbTableQueryTest, ReadOnlyRefusals) {
  TXbTable& t = OpenTable(CreateTable("orvel", kFields, kRows, true), false, false);
  t.SetReadOnly(true);
  t.Open();
  EXPECT_EQ(XbMessage([&] { t.Replace("TIT1", XB_RT_TEXT, "x"); }),
            "Cannot modify a read-only data set");
  EXPECT_EQ(XbMessage([&] { t.Recall(); }), "Cannot modify a read-only data set");
  EXPECT_EQ(XbMessage([&] { t.SetReadOnly(false); }), kOpen);
}

// Record locks are the engine's and hold across processes: a lock that another process
// holds is refused (no error, a 0 flag) until that process lets it go.
TEST_F(XbTableQueryTest, RecordLocksAgainstAnotherProcess) {
  const std::string file = CreateTable("orvel", kFields, kRows, true);
  TXbTable& t = OpenTable(file);
  TForkedLockHolder holder(file, 3);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(t.Rlock(3), 0);
  EXPECT_EQ(t.Rlock(2), -1);
  EXPECT_EQ(t.Flock(), 0) << "a file lock waits for no other user's record lock";
  t.Unlock(0);
  holder.Release();
  EXPECT_EQ(t.Rlock(3), -1);
  t.Unlock(3);
}

TEST_F(XbTableQueryTest, SettersThatAnOpenTableRefuses) {
  TXbTable& t = Notes();
  struct Case {
    const char* What;
    std::function<void()> Set;
    std::string Message;
  } cases[] = {
      {"AccessMethod", [&] { t.SetAccessMethod(amServer); },
       "Cannot change data access method while table is open"},
      {"CommitLevel", [&] { t.SetCommitLevel(clFull); },
       "Cannot change the commit level while the table is opened"},
      {"ReadOnly", [&] { t.SetReadOnly(true); }, kOpen},
      {"TableName", [&] { t.SetTableName("other.dbf"); }, kOpen},
      {"same TableName", [&] { t.SetTableName(t.TableName()); }, ""},
      {"same AccessMethod", [&] { t.SetAccessMethod(amLocal); }, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(XbMessage(c.Set), c.Message) << c.What;
  EXPECT_TRUE(t.Active());
}

TEST_F(XbTableQueryTest, DatabaseNameResolution) {
  // A folder name forces the local route.
  TXbTable server;
  server.SetAccessMethod(amServer);
  server.SetDatabaseName(folder.Path);
  EXPECT_EQ(server.AccessMethod, amLocal);

  // An open server table keeps its DatabaseName: a local folder would hand the server's
  // work area to the local engine.
  TRecordingConnection conn;
  TXbTable remote;
  remote.SetAccessMethod(amServer);
  remote.XbConnection = &conn;
  remote.SetDatabaseName("NOTES");
  remote.WorkArea = 4;
  EXPECT_EQ(XbMessage([&] { remote.SetDatabaseName(folder.Path); }), kOpen);
  EXPECT_EQ(remote.AccessMethod, amServer);
  EXPECT_EQ(remote.DatabaseName, "NOTES");
  EXPECT_EQ(conn.DataPath, "NOTES");
  remote.WorkArea = 0;

  TXbTable bad;
  bad.SetDatabaseName("nosuch-alias");
  EXPECT_EQ(XbMessage([&] { bad.DatabaseFolder(); }), "Invalid DatabaseName value : nosuch-alias");

  // A table name without folder is found in DatabaseName's folder.
  CreateTable("orvel", kFields, kRows, true);
  TXbTable& t = OpenTable("orvel.dbf", false, false);
  t.SetDatabaseName(folder.Path);
  t.Open();
  EXPECT_EQ(t.DataFolder, folder.Path + "/");
  EXPECT_EQ(t.RecCount(), 5);

  // Moving an open table to a folder without its file closes it.
  Folder empty;
  t.SetDatabaseName(empty.Path);
  EXPECT_FALSE(t.Active());
}

TEST_F(XbTableQueryTest, TablesWithTheSameNameGetNumberedAliases) {
  std::vector<std::string> aliases;
  for (const char* sub : {"a", "b", "c"}) {
    TXbTable& t = OpenTable(CreateTable("name", kFields, kRows, true, sub));
    aliases.push_back(t.xb_Alias(t.WorkArea));
  }
  EXPECT_EQ(aliases, (std::vector<std::string>{"NAME", "NAME1", "NAME12"}));
  TXbTable plain;
  EXPECT_EQ(plain.MakeAlias("/x/orvel27c.dbf"), "ORVEL__C");
  EXPECT_EQ(plain.MakeAlias("/x/a-b.c.dbf"), "A_B");
  EXPECT_EQ(plain.MakeAlias(""), "");
}

}  // namespace
}  // namespace keytable
