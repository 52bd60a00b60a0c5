// A statement's held result: field types from the values where no table field declares them,
// row images at the structure's offsets, fetch blocks cut at the end, blobs kept apart.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "addons/sql/src/ResultSet.h"

namespace {

struct Held {
  explicit Held(const char* Sql) {
    sqlite3_open(":memory:", &Db);
    sqlite3_prepare_v2(Db, Sql, -1, &St, nullptr);
    Ok = Result.Collect(St, Error, ErrorNo);
  }
  ~Held() {
    sqlite3_finalize(St);
    sqlite3_close(Db);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    const std::string& s = Result.Structure();
    for (size_t at = 0, end; (end = s.find("\r\n", at)) != std::string::npos; at = end + 2)
      out.push_back(s.substr(at, end - at));
    return out;
  }
  sqlite3* Db = nullptr;
  sqlite3_stmt* St = nullptr;
  xbsql::ResultSet Result;
  std::string Error;
  int ErrorNo = 0;
  bool Ok = false;
};

}  // namespace

TEST(ResultSetTest, TypesComeFromTheValues) {
  Held h("select 1 as a, 'text' as a, 2.5, 5000000000, x'00ff' as b, null, "
         "printf('%.2000c', 'x') as long union all select 2, 'longer text', 1, 1, x'', null, ''");
  ASSERT_TRUE(h.Ok) << h.Error;
  // name, type, size, offset, declared type per field
  const std::vector<std::string> want = {
      "a", "3", "4", "0", "-",          // whole numbers: integer
      "a_2", "1", "B", "4", "-",        // text: as wide as the widest value (11)
      "2.5", "6", "8", "F", "-",        // a real among them: float
      "5000000000", "6", "8", "17", "-",  // beyond 32 bits: float
      "b", "F", "0", "1F", "-",         // blob, kept out of the row
      "null", "1", "1", "1F", "-",      // nothing but NULL: a one-byte string
      "long", "10", "0", "20", "-",     // text wider than a string field: memo
  };
  EXPECT_EQ(h.Lines(), want);
  EXPECT_EQ(h.Result.RowCount(), 2);
  EXPECT_EQ(h.Result.RowSize(), 0x20);

  const std::string block = h.Result.Rows(2, 5);
  ASSERT_EQ(block.size(), 8u + 8u + 0x20u);
  EXPECT_EQ(block.substr(0, 16), "00000001" "00000002");
  const char* row = block.data() + 16;
  int32_t a;
  std::memcpy(&a, row, 4);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(std::string(row + 4, 11), "longer text");
  double f;
  std::memcpy(&f, row + 0x17, 8);
  EXPECT_EQ(f, 1.0);
  EXPECT_EQ(h.Result.Blob(1, 4), std::string_view("\x00\xff", 2));
  EXPECT_EQ(h.Result.Blob(1, 6).size(), 2000u);
  EXPECT_EQ(h.Result.Blob(2, 6), "");
  EXPECT_EQ(h.Result.Blob(3, 4), "");   // no such row
  EXPECT_EQ(h.Result.Blob(1, 0), "");   // not a blob field
  EXPECT_EQ(h.Result.Rows(3, 1), "00000000");
  EXPECT_EQ(h.Result.Rows(-7, -1), "00000000");
}

TEST(ResultSetTest, AStatementThatFailsWhileRunningGivesItsMessage) {
  Held h("select abs(-9223372036854775807 - 1)");
  EXPECT_FALSE(h.Ok);
  EXPECT_EQ(h.Error, "integer overflow");
  EXPECT_GT(h.ErrorNo, 0);
}
