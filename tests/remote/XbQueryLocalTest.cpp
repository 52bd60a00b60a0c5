// The SQL query dataset's local route: statements run by the SQL add-on beside the tests over
// note files the program ships and makes, through the real engine.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/core/TextCodec.h"
#include "remote/XbQuery.h"
#include "table/KeyTableFixture.h"
#include "remote/XbAddOns.h"
#include "table/XbEnv.h"
#include "platform/core/FakeServices.h"

namespace {

using cp949::K;

class XbQueryLocalTest : public keytable::KeyTableTest {
 protected:
  void SetUp() override {
    keytable::KeyTableTest::SetUp();
    UnloadSqlEngine();
    // The note files as the program puts its shipped copies in place on the first start.
    const std::filesystem::path share = std::filesystem::path(ORV_BINARY_DIR) / "share";
    for (const char* base : {"orvel27c", "orvel058"}) {
      std::filesystem::copy_file(share / (std::string(base) + "._db"), folder.Path + "/" + base + ".dbf");
      std::filesystem::copy_file(share / (std::string(base) + "._sm"), folder.Path + "/" + base + ".smt");
    }
    Q.SetDatabaseName(folder.Path);
  }
  void TearDown() override {
    Q.Close();
    UnloadSqlEngine();
    keytable::KeyTableTest::TearDown();
  }

  // Opens Q on Sql.
  void Run(const std::string& Sql) {
    Q.Close();
    Q.SetSQL(Sql);
    Q.Open();
  }
  // The trimmed values of Field in every row, first to last.
  std::vector<std::string> Column(const std::string& Field) {
    std::vector<std::string> out;
    for (Q.First(); !Q.Eof(); Q.Next()) out.push_back(Q.FieldByName(Field)->AsString());
    return out;
  }
  // The message of the EXbQueryError that opening Sql raises, "" when it opens.
  std::string Refusal(const std::string& Sql) {
    try {
      Run(Sql);
    } catch (const EXbQueryError& e) {
      return e.Message;
    }
    return std::string();
  }

  TXbQuery Q;
};

}  // namespace

TEST_F(XbQueryLocalTest, SelectsFromTheShippedNoteFileInByteOrder) {
  Run(K("select tit1, tit2 from orvel27c where tit2 = '기본' order by tit1"));
  EXPECT_EQ(Column("TIT1"), (std::vector<std::string>{K("V표 사용하기"), K("새 메모 쓰기"), K("찾기와 정렬")}));
  EXPECT_EQ(Column("TIT2"), (std::vector<std::string>(3, K("기본"))));
  EXPECT_EQ(Q.FieldByName("TIT1")->DataType(), ftString);
  EXPECT_EQ(Q.FieldByName("TIT1")->Size(), 60);
  EXPECT_EQ(Q.RecordCount(), 3);

  // The same rows when a tag orders tit2 and answers the equality.
  TXbTable& notes = OpenTable(folder.Path + "/orvel27c.dbf", true);
  ASSERT_NE(notes.IndexTag(std::string(), "TIT2", "tit2", 0, false, std::string()), 0);
  notes.Close();
  Run(K("select tit1 from orvel27c where tit2 = '기본' order by tit1"));
  EXPECT_EQ(Column("TIT1"), (std::vector<std::string>{K("V표 사용하기"), K("새 메모 쓰기"), K("찾기와 정렬")}));
  Run(K("explain query plan select tit1 from orvel27c where tit2 = '기본'"));
  EXPECT_NE(Q.FieldByName("DETAIL")->AsString().find("INDEX 1:"), std::string::npos) << Q.FieldByName("DETAIL")->AsString();
  Run(K("explain query plan select tit1 from orvel27c where tit2 = '기본' collate nocase"));
  EXPECT_NE(Q.FieldByName("DETAIL")->AsString().find("INDEX 0:"), std::string::npos);
  // A shorter value is not a prefix match, and another collation is honoured.
  Run(K("select tit1 from orvel27c where tit2 = '기'"));
  EXPECT_EQ(Q.RecordCount(), 0);
  Run(K("select count(*) as n from orvel27c where tit2 = '기본' collate nocase"));
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 3);
}

TEST_F(XbQueryLocalTest, JoinsTwoNoteTablesAndCountsByGroup) {
  CreateTable("kinds", {{"TIT2", "C", 40}, {"DESCR", "C", 30}},
              {{K("기본"), K("처음 쓰는 법")}, {K("서식"), K("꾸미기")}, {K("없음"), "-"}});
  TXbTableItem* kinds = Q.TableNames().Add();
  kinds->SetTableName("kinds.dbf");
  kinds->Alias = "k";
  kinds->TableType = 2;
  Run("select n.tit1, k.descr from orvel27c n join k on n.tit2 = k.tit2 order by k.descr, n.tit1");
  EXPECT_EQ(Column("DESCR"), (std::vector<std::string>{K("꾸미기"), K("꾸미기"), K("처음 쓰는 법"),
                                                        K("처음 쓰는 법"), K("처음 쓰는 법")}));
  EXPECT_EQ(Column("TIT1")[0], K("글자 모양과 색"));

  Run("select tit2, count(*) as notes, max(length(tit1)) as longest from orvel27c group by tit2 order by 2 desc, 1");
  EXPECT_EQ(Q.FieldByName("NOTES")->DataType(), ftInteger);
  EXPECT_EQ(Q.FieldByName("TIT2")->DataType(), ftString);
  EXPECT_EQ(Column("TIT2"), (std::vector<std::string>{K("기본"), K("서식"), K("관리"), K("안내"), K("읽기")}));
  EXPECT_EQ(Column("NOTES"), (std::vector<std::string>{"3", "2", "1", "1", "1"}));
  // Lengths count characters, not bytes: "새 메모 쓰기" is 7 (12 bytes).
  Q.First();
  EXPECT_EQ(Q.FieldByName("LONGEST")->AsInteger(), 7);
}

TEST_F(XbQueryLocalTest, MemoColumnsAreReadOnDemand) {
  Run(K("select tit1, mmm from orvel27c where tit1 like '새%'"));
  ASSERT_EQ(Q.RecordCount(), 1);
  TField* body = Q.FieldByName("MMM");
  EXPECT_EQ(body->DataType(), ftMemo);
  EXPECT_TRUE(body->AsString().rfind(K("F2 키나 [새 메모] 단추를 누르면"), 0) == 0) << body->AsString();
  // The row image holds the title only; the body came through a blob stream.
  std::unique_ptr<TStream> s = Q.CreateBlobStream(body, bmRead);
  EXPECT_EQ(s->Size(), static_cast<int64_t>(body->AsString().size()));
}

TEST_F(XbQueryLocalTest, ParametersByNameAndByPlace) {
  Q.Params().CreateParam(ftString, "kind", ptInput)->SetAsString(K("서식"));
  Run("select tit1 from orvel27c where tit2 = :KIND order by tit1");
  EXPECT_EQ(Column("TIT1"), (std::vector<std::string>{K("글자 모양과 색"), K("링크 따라가기")}));
  Q.Params().Clear();
  Q.Params().CreateParam(ftInteger, "", ptInput)->SetAsInteger(2);
  Q.Params().CreateParam(ftString, "", ptInput)->SetAsString(K("기본"));
  Run("select count(*) + ? as n from orvel27c where tit2 = ?");
  Q.First();
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 5);
}

TEST_F(XbQueryLocalTest, RefusalsRaiseTheirMessages) {
  EXPECT_EQ(Refusal("selct tit1 from orvel27c"), "near \"selct\": syntax error");
  EXPECT_EQ(Refusal("select tit1 from nothere"), "no such table: nothere (Cannot open table " + folder.Path +
                                                     "/nothere)");
  EXPECT_EQ(Refusal("create table t(a)"), "Only statements that return rows can be run here");
  std::string wide = "select 1";
  for (int i = 1; i < 1026; ++i) wide += ",1";
  EXPECT_EQ(Refusal(wide), "The statement has 1026 result columns; at most 1025 can be held");
  wide.resize(wide.size() - 2);
  EXPECT_EQ(Refusal(wide), "");
  EXPECT_EQ(Q.FieldCount(), 1025);
  Q.Close();
  Q.SetDatabaseName(folder.Path + "/missing");
  EXPECT_EQ(Refusal("select 1"), "No such DataBaseName: " + folder.Path + "/missing/");
  EXPECT_FALSE(Q.Active());
}

TEST_F(XbQueryLocalTest, DeletedRecordsHiddenAndShown) {
  TXbTable& notes = OpenTable(folder.Path + "/orvel27c.dbf");
  notes.First();
  notes.Delete();  // the first note; record 1, the header, is deleted already
  notes.Close();
  Run("select count(*) as n from orvel27c");
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 7);
  Q.Close();
  Q.SetDeleted = false;
  Run("select tit2 from orvel27c");
  EXPECT_EQ(Q.RecordCount(), 9);
  EXPECT_EQ(Column("TIT2").front(), K("오르벨레인 사용 안내"));

  // The first environment's setting wins over the query's own, and the engine's own setting
  // is as the program left it after each call.
  TComponent form;
  RegisterForm(&form);
  auto* env = new TXbEnv(&form);
  env->SetDeleted(true);
  Run("select tit2 from orvel27c");
  EXPECT_EQ(Q.RecordCount(), 7);
  EXPECT_EQ(XbCall(&XbEntryPoints::xb_SysProp, XbShort{1006}, XbPtr{0}), 1);
  UnregisterForm(&form);
}

TEST_F(XbQueryLocalTest, NavigatesLocatesEditsInMemoryAndCloses) {
  Q.SetFetchCount(2);
  Run("select tit1, tit2, mmm from orvel27c order by tit1");
  EXPECT_EQ(Q.RecordCount(), 8);
  Q.Last();
  const std::string last = Q.FieldByName("TIT1")->AsString();
  Q.Prior();
  EXPECT_EQ(Q.RecNo(), 7);
  EXPECT_TRUE(Q.Locate("TIT1", Variant(K("찾기와")), loPartialKey));
  const std::string body = Q.FieldByName("MMM")->AsString();
  EXPECT_FALSE(body.empty());
  const int at = Q.RecNo();
  // Deleting a row before it must not give it another row's body.
  Q.First();
  Q.Delete();
  EXPECT_EQ(Q.RecordCount(), 7);
  ASSERT_TRUE(Q.Locate("TIT1", Variant(K("찾기와 정렬")), 0));
  EXPECT_EQ(Q.RecNo(), at - 1);
  EXPECT_EQ(Q.FieldByName("MMM")->AsString(), body);
  Q.Edit();
  Q.FieldByName("TIT2")->SetAsString("changed");
  Q.Post();
  Q.Append();
  Q.FieldByName("TIT1")->SetAsString("zz new");
  Q.Post();
  EXPECT_EQ(Q.RecordCount(), 8);
  EXPECT_EQ(Q.FieldByName("MMM")->AsString(), "");
  Q.Last();
  EXPECT_EQ(Q.FieldByName("TIT1")->AsString(), "zz new");
  Q.Prior();
  EXPECT_EQ(Q.FieldByName("TIT1")->AsString(), last);
  Q.Close();
  EXPECT_FALSE(Q.Active());
  // Nothing was written to the note file, and the statement can run again.
  Q.Open();
  EXPECT_EQ(Q.RecordCount(), 8);
  EXPECT_TRUE(Q.Locate("TIT1", Variant(K("찾기와 정렬")), 0));
  EXPECT_EQ(Q.FieldByName("TIT2")->AsString(), K("기본"));
}

TEST_F(XbQueryLocalTest, WaitCursorShowsWhilePreparingAndOpening) {
  struct TRecordingCursor : IScreenCursorService {
    int Cursor() const override { return Now; }
    void SetCursor(int C) override {
      Now = C;
      History.push_back(C);
    }
    int Now = 0;
    std::vector<int> History;
  } cursor;
  IScreenCursorService* old = SetScreenCursorService(&cursor);
  Q.WaitCursor = -11;
  Run("select 1");
  Refusal("select nothing from nowhere");
  SetScreenCursorService(old);
  EXPECT_EQ(cursor.History, (std::vector<int>{-11, 0, -11, 0}));
}

// A program that has the query and no table layer (query_without_table links the remote
// layer alone) runs local statements too: the query's route reaches the add-on's loader by
// itself.
TEST_F(XbQueryLocalTest, AProgramWithoutTablesRunsLocalStatements) {
  const std::string out = folder.Path + "/out.txt", err = folder.Path + "/err.txt";
  const std::string sql = K("select tit1 from orvel27c where tit2 = '기본' order by tit1");
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    std::freopen(out.c_str(), "w", stdout);
    std::freopen(err.c_str(), "w", stderr);
    const std::string program = std::string(ORV_BINARY_DIR) + "/bin/query_without_table";
    execl(program.c_str(), program.c_str(), folder.Path.c_str(), sql.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  auto text = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << text(err);
  EXPECT_EQ(text(out), K("V표 사용하기") + "\n" + K("새 메모 쓰기") + "\n" + K("찾기와 정렬") + "\n");
}

// The data path is trimmed: a folder name with a blank after it names the folder.
TEST_F(XbQueryLocalTest, AFolderNameWithATrailingBlankIsTheFolder) {
  Q.SetDatabaseName(folder.Path + " ");
  EXPECT_EQ(Refusal("select tit1 from orvel058"), "");
  EXPECT_GT(Q.RecordCount(), 0);
}

TEST_F(XbQueryLocalTest, AMissingAddOnShowsItsBoxEachTime) {
  keytable::Folder empty;
  services.Loader.PointAtFolder(empty.Path);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(Refusal("select 1"), "Missing required RavavaDIV61.DLL.");
    ASSERT_EQ(services.Boxes.size(), static_cast<size_t>(i));
    EXPECT_EQ(services.Boxes.back().Text,
              "Missing required RavavaDIV61.DLL.\r\rXb SQL is a SQL add-on engine for Xb.\r"
              "Visit the engine's distribution to get your copy.");
    EXPECT_EQ(services.TerminateRequests, i);
  }
  EXPECT_FALSE(XbSqlAddOn().Loaded);
}

// A parameter whose data cannot be held is reported with its size. The case runs in a fresh
// process of its own whose address space is limited, so the allocation really fails.
TEST(XbQueryLocalChild, AParameterThatCannotBeHeldIsReportedWithItsSize) {
  if (getenv("ORV_PARAM_CHILD") == nullptr) GTEST_SKIP() << "run in its own process by the case below";
  TFakeServices services;
  services.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
  // Big blocks straight from the system, so each one counts against the limit.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  const size_t size = 16 << 20;
  TParams params;
  params.CreateParam(ftString, "big", ptInput)->SetAsString(std::string(size, 'x'));
  TXbTables tables;
  TXbConnection c;
  std::string reported;
  c.OnError = [&](TObject*, const std::string&, const std::string& Msg) { reported = Msg; };
  c.DataPath = "/tmp";
  LoadSqlEngine();
  ASSERT_TRUE(XbSqlAddOn().Loaded);
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + size * 3 / 2;
  rlimit r{limit, limit};
  ASSERT_EQ(setrlimit(RLIMIT_AS, &r), 0);
  int errorNo = 0;
  std::string msg;
  EXPECT_EQ(c.sql_Prepare(0, "/tmp", tables, false, "m/d/yyyy", true, 64, &params, false, 1, "", false, 0,
                          errorNo, msg),
            0);
  EXPECT_EQ(reported, "Allocating memory of " + std::to_string(size + 1) + " size");
}

TEST(XbQueryLocalChild, RunsTheLimitedCaseInItsOwnProcess) {
  const pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    setenv("ORV_PARAM_CHILD", "1", 1);
    execl("/proc/self/exe", "test_remote", "--gtest_filter=XbQueryLocalChild.AParameterThatCannotBeHeld*",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(XbQueryLocalTest, StoredNumbersReadAsTheEngineReadsThem) {
  const std::string file = CreateTable("amounts", {{"AMT", "N", 10, 2}, {"CNT", "N", 6, 0}},
                                       {{"1.00", "7"}, {"2.25", "-42"}});
  // Another tool wrote the first amount with a thousands comma.
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::size_t at = bytes.find("      1.00");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 10, "  1,234.50");
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  Run("select amt, cnt from amounts");
  std::vector<std::string> amounts, counts;
  for (Q.First(); !Q.Eof(); Q.Next()) {
    amounts.push_back(std::to_string(Q.FieldByName("AMT")->AsFloat()));
    counts.push_back(std::to_string(Q.FieldByName("CNT")->AsInteger()));
  }
  EXPECT_EQ(amounts, (std::vector<std::string>{"1234.500000", "2.250000"}));
  EXPECT_EQ(counts, (std::vector<std::string>{"7", "-42"}));
}

// When the engine's character order is not the byte order, text in SQL sorts and compares as
// the engine's tags do, and an equality still finds its rows through a tag built in that order.
TEST_F(XbQueryLocalTest, TextFollowsTheEnginesCharacterOrder) {
  unsigned char order[256];
  for (int i = 0; i < 256; ++i) order[i] = static_cast<unsigned char>(i);
  for (int c = 'A'; c <= 'Z'; ++c) {  // small letters before capitals
    order[c] = static_cast<unsigned char>(c + 32);
    order[c + 32] = static_cast<unsigned char>(c);
  }
  XbCall(&XbEntryPoints::xb_SysProp, XbShort{1101}, reinterpret_cast<XbPtr>(order));
  CreateTable("people", {{"NAME", "C", 10}}, {{"Bob"}, {"alice"}, {"Carl"}, {"bert"}});
  TXbTable& people = OpenTable(folder.Path + "/people.dbf", true);
  ASSERT_NE(people.IndexTag(std::string(), "NAME", "name", 0, false, std::string()), 0);
  people.Close();

  Run("select name from people order by name");
  EXPECT_EQ(Column("NAME"), (std::vector<std::string>{"alice", "bert", "Bob", "Carl"}));
  Run("select count(*) as n from people where name < 'Bob'");
  EXPECT_EQ(Q.FieldByName("N")->AsInteger(), 2) << "alice and bert come before Bob";
  Run("explain query plan select name from people where name = 'Bob'");
  EXPECT_NE(Q.FieldByName("DETAIL")->AsString().find("INDEX 1:"), std::string::npos) << Q.FieldByName("DETAIL")->AsString();
  Run("select name from people where name = 'Bob'");
  EXPECT_EQ(Column("NAME"), std::vector<std::string>{"Bob"});
  SetSortTable();
}

// A unique tag holds one record of each key and a descending one walks backwards: an equality
// answered through either must still find every record with the value.
TEST_F(XbQueryLocalTest, EqualitiesFindEveryRecordWhateverTheTagsKind) {
  struct Case {
    const char* what;
    XbShort option;
    bool descend;
  } cases[] = {{"unique", 1, false}, {"descending", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = std::string("kinds_") + (c.descend ? "d" : "u");
    CreateTable(name, {{"KIND", "C", 10}, {"NO", "N", 3, 0}}, {{"a", "1"}, {"b", "2"}, {"a", "3"}, {"a", "4"}});
    TXbTable& t = OpenTable(folder.Path + "/" + name + ".dbf", true);
    ASSERT_NE(t.IndexTag(std::string(), "KIND", "kind", c.option, c.descend, std::string()), 0);
    t.Close();
    Run("select no from " + name + " where kind = 'a' order by no");
    EXPECT_EQ(Column("NO"), (std::vector<std::string>{"1", "3", "4"}));
  }
}
