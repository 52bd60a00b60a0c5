// The engine at the edge of the system: Korean table names reach the disk as UTF-8 names (and
// raw CP949 names of older copies still open), and numbers are written and read with '.'
// under a comma-decimal process locale.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helpers/NoteFixture.h"
#include "platform/core/OsText.h"
#include "platform/core/TextCodec.h"
#include "support/CommaLocale.h"

namespace {

using xbtest::EngineTest;

// Program text (CP949) of a UTF-8 literal.
std::string Cp(const char* utf8) {
  std::string out;
  EXPECT_TRUE(cp949::TryFromUtf8(utf8, out)) << utf8;
  return out;
}

std::vector<std::string> OnDisk(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') out.push_back(e->d_name);
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

std::string Memo(const char* field) {
  char* m = xb_GetMemo(field, 0);
  std::string s = m ? m : "";
  if (m && *m) xb_MemDealloc(m);
  return s;
}

TEST_F(EngineTest, KoreanTableNamesAreTheSystemsUtf8NamesAndOldRawNamesStillOpen) {
  if (ostext::SystemEncoding() != ostext::Encoding::Utf8) GTEST_SKIP() << "the locale does not name files in UTF-8";
  const std::string table = Path(Cp("노트.dbf"));
  ASSERT_TRUE(xbtest::CreateNoteFile(table));
  ASSERT_GT(xb_UseEx(table.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  xb_PutMemo("mmm", Cp("본문").c_str());
  xb_Commit();
  xb_Close();
  EXPECT_EQ(OnDisk(dir_), (std::vector<std::string>{"노트.dbf", "노트.smt"}));
  // Looked up without regard to the letter case of the extension, as a copied file may have it.
  ASSERT_GT(xb_UseEx(Path(Cp("노트.DBF")).c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_Go(1);
  EXPECT_EQ(Memo("mmm"), Cp("본문"));
  xb_Close();

  // The same pair as an older copy left it: CP949 bytes as names.
  ASSERT_EQ(::rename(Path("노트.dbf").c_str(), Path(Cp("옛노트.dbf")).c_str()), 0);
  ASSERT_EQ(::rename(Path("노트.smt").c_str(), Path(Cp("옛노트.smt")).c_str()), 0);
  ASSERT_GT(xb_UseEx(Path(Cp("옛노트.dbf")).c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_Go(1);
  EXPECT_EQ(Memo("mmm"), Cp("본문")) << "the memo file is found beside it";
  xb_Close();
}

TEST_F(EngineTest, NumbersKeepTheirPointUnderACommaLocale) {
  commalocale::Scope german;
  if (!german) GTEST_SKIP() << german.Why();
  const std::string path = Path("amounts.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_NSX, 2), 0);
  xb_CreateField("NAME", "C", 10, 0);
  xb_CreateField("AMT", "N", 10, 2);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  const double v = 2.25;
  xb_Replace("AMT", XB_RT_DOUBLE, &v);
  xb_Commit();
  EXPECT_STREQ(xb_GetString("AMT"), "      2.25");
  EXPECT_DOUBLE_EQ(xb_GetDouble("AMT"), 2.25);
  xb_AppendBlank();
  xb_Replace("AMT", XB_RT_TEXT, "1234.5");
  xb_Commit();
  EXPECT_STREQ(xb_GetString("AMT"), "   1234.50");
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("1.5*2"), 3.0);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("AMT/2"), 617.25);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("VAL(\"0.5\")"), 0.5);
  EXPECT_STREQ(xb_EvalString("STR(AMT,8,1)"), "  1234.5");
  EXPECT_NE(xb_EvalLogical("AMT > 1234.25 .AND. AMT < 1234.75"), 0) << "a query on decimals";
  xb_Close();

  // A number stored with a thousands separator reads as the table layer reads it.
  std::string bytes = EngineTest::ReadFile(path);
  const std::size_t at = bytes.find("   1234.50");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 10, "  1,234.50");
  EngineTest::WriteFile(path, bytes);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_Go(2);
  EXPECT_DOUBLE_EQ(xb_GetDouble("AMT"), 1234.5);
  xb_Close();
}

}  // namespace
