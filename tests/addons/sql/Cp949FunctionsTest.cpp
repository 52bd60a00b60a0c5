// The SQL add-on's text functions over code page 949: whole characters are matched, counted
// and cut, where byte-wise or UTF-8 reading would match across two-byte characters.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "addons/sql/src/Cp949Functions.h"
#include "platform/core/TextCodec.h"

namespace {

using cp949::K;

// "가가" is B0A1 B0A1; its middle bytes A1 B0 are the character "·" of its own.
const std::string kTwoGa = K("가가");
const std::string kMiddle = "\xA1\xB0";

class Cp949FunctionsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &Db), SQLITE_OK);
    ASSERT_TRUE(xbsql::RegisterCp949Functions(Db));
  }
  void TearDown() override { sqlite3_close(Db); }

  // The first column of the first row of Sql, with Text bound to ?1 and ?2, as text.
  std::string Eval(const std::string& Sql, const std::string& A = "", const std::string& B = "") {
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(Db, Sql.c_str(), -1, &st, nullptr), SQLITE_OK) << Sql;
    sqlite3_bind_text(st, 1, A.data(), static_cast<int>(A.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, B.data(), static_cast<int>(B.size()), SQLITE_TRANSIENT);
    std::string out = "<error>";
    if (sqlite3_step(st) == SQLITE_ROW) {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      out = t ? std::string(t, static_cast<size_t>(sqlite3_column_bytes(st, 0))) : "<null>";
    }
    sqlite3_finalize(st);
    return out;
  }

  sqlite3* Db = nullptr;
};

}  // namespace

TEST_F(Cp949FunctionsTest, FunctionsWorkOnWholeCharacters) {
  struct Case {
    std::string Sql, A, B, Want;
  } cases[] = {
      {"select ?2 like ?1", K("_나%"), K("가나다"), "1"},
      {"select ?2 like ?1", "%" + kMiddle + "%", kTwoGa, "0"},
      {"select ?2 like ?1", "ABC%", "abcdef", "1"},
      {"select ?2 like ?1 escape '!'", "10!%", "10%", "1"},
      {"select ?2 like ?1 escape '!'", "10!%", "105", "0"},
      {"select ?2 glob ?1", K("[가-나]*"), K("각자"), "1"},
      {"select ?2 glob ?1", K("[^가-나]*"), K("각자"), "0"},
      {"select ?2 glob ?1", "*" + kMiddle + "*", kTwoGa, "0"},
      {"select ?2 glob ?1", "a?c", "abc", "1"},
      {"select length(?1)", K("가나다"), "", "3"},
      {"select length(x'B0A1')", "", "", "2"},
      {"select substr(?1, 2, 2)", K("가나다라"), "", K("나다")},
      {"select substr(?1, -1)", K("가나다라"), "", K("라")},
      {"select substr(?1, 0, 2)", K("가나다라"), "", K("가")},
      {"select substr(?1, 3, -2)", K("가나다라"), "", K("가나")},
      {"select instr(?1, ?2)", K("가나다"), K("다"), "3"},
      {"select instr(?1, ?2)", kTwoGa, kMiddle, "0"},
      {"select replace(?1, ?2, 'x')", kTwoGa, kMiddle, kTwoGa},
      {"select replace(?1, ?2, 'x')", K("가나가"), K("가"), K("x나x")},
      {"select upper(?1)", "abc\x81\x61", "", "ABC\x81\x61"},
      {"select lower(?1)", "ABC\x81\x41", "", "abc\x81\x41"},
      {"select trim(?1, ?2)", K("가x가가"), K("가"), "x"},
      {"select rtrim(?1, ?2)", kTwoGa, "\xB0", kTwoGa},
      {"select length(null) is null", "", "", "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(Eval(c.Sql, c.A, c.B), c.Want) << c.Sql << " / " << c.A << " / " << c.B;
}

TEST_F(Cp949FunctionsTest, RefusesWhatSqliteRefuses) {
  EXPECT_EQ(Eval("select 'a' like 'a' escape 'xy'"), "<error>");
  EXPECT_EQ(Eval("select 'a' like ?1", std::string(50001, '%')), "<error>");
  EXPECT_TRUE(xbsql::LikeMatch(std::string(40000, '%') + "b", std::string(40000, 'a') + "b", ""));
}
