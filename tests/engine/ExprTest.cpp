// The expression language: types and values of the application's own expressions, the
// Locate forms, EXACT on and off, CP949 boundaries and case, and malformed input.
#include <gtest/gtest.h>

#include "engine/src/Expr.h"
#include "tests/engine/ExprTestSource.h"

namespace {

using xbe::CompiledExpr;
using xbe::CompileOptions;
using xbe::EvalContext;
using xbe::ExprType;
using xbetest::MemSource;

MemSource Sample() {
  MemSource s({{"CHK", 'C', 1, 0}, {"TIT1", 'C', 10, 0}, {"TIT2", 'C', 8, 0}, {"NUM", 'N', 5, 0},
               {"AMT", 'N', 8, 2}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"MMM", 'M', 10, 0}});
  // "\xB0\xA1\xB3\xAA" is two syllables; "\x81\x61" is one whose trail byte is 'a'.
  s.Add({{"CHK", "v"}, {"TIT1", "Hello \xB0\xA1\xB3\xAA"}, {"TIT2", "world"}, {"NUM", "42"},
         {"AMT", "12.50"}, {"DAY", "20230415"}, {"OK", "T"}, {"MMM", "body text"}});
  s.Add({{"TIT1", "x\x81\x61y"}}, true);
  return s;
}

struct Case {
  const char* expr;
  ExprType type;
  const char* text;  // Text() on record 1; null: not checked
  bool exact = false;
};

std::string Eval(MemSource& src, const Case& c, ExprType* type) {
  CompileOptions o;
  o.exact = c.exact;
  auto e = CompiledExpr::Compile(c.expr, src.Fields(), o);
  *type = e ? e->Type() : ExprType::Invalid;
  if (!e) return "";
  EvalContext ctx{src.CurrentImage(), src.CurrentRecNo(), &src};
  return e->Text(ctx);
}

TEST(ExprTest, TableOfExpressions) {
  const ExprType C = ExprType::Char, N = ExprType::Numeric, L = ExprType::Logical, D = ExprType::Date,
                 X = ExprType::Invalid;
  const Case cases[] = {
      // The seek panel's and title search's own forms.
      {"at(\"world\",tit1+tit2+tit3)>0 ", X, nullptr},  // no TIT3 here: unknown field
      {"at(\"world\",tit1+tit2)>0 ", L, "T"},
      {"at(\"lo\",tit1)>0 .and. at(\"wor\",tit2)>0 ", L, "T"},
      {"at(\"lo\",tit1)>0 .and. chk<>\" \"", L, "T"},
      {" chk<>\" \" ", L, "T"},
      {"(at(\"zz\",tit1)>0 ) .or. (at(\"wor\",tit2)>0 )", L, "T"},
      {"()", X, nullptr},
      {"chk=\"v\"", L, "T"},
      {"AT(\"o\",TIT1)", N, "5"},
      {"at(\"\",tit1)>0", L, "F"},
      // Locate forms, upper-cased as Locate sends them.
      {"TIT1=\"Hello\"", L, "T"},
      {"UPPER(TIT1)=\"HELLO\"", L, "T"},
      {"NUM=42", L, "T"},
      {"AMT=12.5", L, "T"},
      {"OK= .T.", L, "T"},
      {"OK= .F.", L, "F"},
      {"DTOS(DAY) = \"20230415\"", L, "T"},
      {"LEFT( DTOS(DAY), 4) = \"2023\"", L, "T"},
      // Values.
      {"tit1", C, "Hello \xB0\xA1\xB3\xAA"},
      {"tit1+tit2", C, "Hello \xB0\xA1\xB3\xAAworld   "},
      {"trim(tit2)+\"!\"", C, "world!"},
      {"\"ab  \"-\"cd\"", C, "abcd  "},
      {"substr(tit1,2,3)", C, "ell"},
      {"right(trim(tit2),3)", C, "rld"},
      {"str(num,6)", C, "    42"},
      {"str(amt,8,1)", C, "    12.5"},
      {"str(123456,3)", C, "***"},
      {"val(\" 17.25\")*2", N, "34.5"},
      {"num+1-2*3/3", N, "41"},
      {"day", D, "20230415"},
      {"day+1", D, "20230416"},
      {"stod(\"20240301\")-stod(\"20240228\")", N, "2"},
      {"dtos(ctod(\"04/15/23\"))", C, "20230415"},
      {"iif(ok,\"yes\",\"no\")", C, "yes"},
      {"len(tit2)", N, "8"},
      {"space(3)+\"|\"", C, "   |"},
      {"empty(tit2)", L, "F"},
      {"deleted()", L, "F"},
      {"recno()", N, "1"},
      {"reccount()", N, "2"},
      {"\"wor\" $ tit2", L, "T"},
      {".not. \"xyz\" $ tit2", L, "T"},
      {"!ok", L, "F"},
      {"mmm", C, "body text"},
      {"\"abc\" < \"abd\"", L, "T"},
      {"[br]+'ac'", C, "brac"},
      {"NOTE->TIT2=\"world\"", L, "T"},
      // EXACT off: the left side begins with the right; on: trailing blanks ignored.
      {"tit2=\"wor\"", L, "T"},
      {"tit2=\"wor\"", L, "F", true},
      {"tit2=\"world\"", L, "T", true},
      {"\"wor\"=tit2", L, "F"},
      {"tit2==\"world\"", L, "F"},
      {"tit2=\"\"", L, "T"},
      // CP949: no hit on a trail byte or across two syllables; case never touches trail bytes.
      {"at(\"\xA1\xB3\",tit1)", N, "0"},
      {"at(\"\xB3\xAA\",tit1)", N, "9"},
      {"\"\xA1\xB3\" $ tit1", L, "F"},
      {"upper(\"x\x81\x61y\")", C, "X\x81\x61Y"},
      {"lower(\"A\x81\x41\")", C, "a\x81\x41"},
      {"at(\"a\",\"x\x81\x61y\")", N, "0"},
      {"at(\"y\",\"x\x81\x61y\")", N, "4"},
      // Malformed or mistyped: not valid.
      {"at(\"it\"s\",tit1)>0", X, nullptr},
      {"at(\"a,tit1)>0", X, nullptr},
      {"at(\"a\",tit1>0", X, nullptr},
      {"at(\"a\",tit1))>0", X, nullptr},
      {"tit1 +", X, nullptr},
      {"", X, nullptr},
      {"nosuch=1", X, nullptr},
      {"1+\"a\"", X, nullptr},
      {"tit1 .and. ok", X, nullptr},
      {"ok < .t.", X, nullptr},
      {"upper(1)", X, nullptr},
      {"substr(tit1)", X, nullptr},
      {"nofunc(tit1)", X, nullptr},
      {"tit1 = = \"a\"", X, nullptr},
      {".x.", X, nullptr},
      {"@", X, nullptr},
  };
  MemSource src = Sample();
  for (const Case& c : cases) {
    ExprType type;
    std::string got = Eval(src, c, &type);
    EXPECT_EQ(static_cast<int>(type), static_cast<int>(c.type)) << c.expr;
    if (c.text && type == c.type) {
      EXPECT_EQ(got, c.text) << c.expr;
    }
  }
}

TEST(ExprTest, EvaluatesEachRecordAfterOneCompile) {
  MemSource src = Sample();
  auto e = CompiledExpr::Compile("deleted() .and. at(\"y\",tit1)=4", src.Fields(), {});
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->Logical({src.Image(1).data(), 1, &src}));
  EXPECT_TRUE(e->Logical({src.Image(2).data(), 2, &src}));
  // At EOF the image is blank: blank values, no crash.
  EXPECT_FALSE(e->Logical({nullptr, 3, &src}));
}

TEST(ExprTest, KeysSortAsValues) {
  MemSource src = Sample();
  auto num = CompiledExpr::Compile("num", src.Fields(), {});
  ASSERT_TRUE(num);
  EXPECT_EQ(num->KeyWidth(), 8);
  char a[8], b[8], c[8];
  xbe::EncodeNumberKey(-3, a);
  xbe::EncodeNumberKey(2, b);
  xbe::EncodeNumberKey(10, c);
  EXPECT_LT(std::memcmp(a, b, 8), 0);
  EXPECT_LT(std::memcmp(b, c, 8), 0);
  auto key = CompiledExpr::Compile("upper(tit2)+str(num,5)", src.Fields(), {});
  ASSERT_TRUE(key);
  EXPECT_EQ(key->KeyWidth(), 13);
  std::string out(13, '?');
  key->Key({src.Image(1).data(), 1, &src}, out.data());
  EXPECT_EQ(out, "WORLD      42");
  auto trimmed = CompiledExpr::Compile("trim(tit2)", src.Fields(), {});
  std::string t(8, '?');
  trimmed->Key({src.Image(1).data(), 1, &src}, t.data());
  EXPECT_EQ(t, "world   ");  // keys keep the static width
}

TEST(ExprTest, HostileInputNeverCrashes) {
  MemSource src = Sample();
  std::string deep(100000, '(');
  EXPECT_EQ(xbe::TestExpression(deep, src.Fields()), ExprType::Invalid);
  std::string nots;
  for (int i = 0; i < 50000; ++i) nots += "!";
  EXPECT_EQ(xbe::TestExpression(nots + "ok", src.Fields()), ExprType::Invalid);
  std::string minus(50000, '-');
  EXPECT_EQ(xbe::TestExpression(minus + "1", src.Fields()), ExprType::Invalid);
  EXPECT_EQ(xbe::TestExpression(std::string("at(\"\0\",tit1)>0", 14), src.Fields()), ExprType::Logical);
  EXPECT_EQ(xbe::TestExpression("space(99999999999)", src.Fields()), ExprType::Char);
  auto e = CompiledExpr::Compile("len(replicate(\"ab\",999999999))", src.Fields(), {});
  ASSERT_TRUE(e);
  EXPECT_LE(e->Numeric({src.Image(1).data(), 1, &src}), 65535);
}

TEST(ExprTest, KeyFieldsOfExpression) {
  EXPECT_EQ(xbe::KeyFieldsOfExpression("UPPER(NAME)"), "NAME");
  EXPECT_EQ(xbe::KeyFieldsOfExpression("STR(NUM,5)+NAME"), "NUM;NAME");
  EXPECT_EQ(xbe::KeyFieldsOfExpression("upper(name)+dtos(day)"), "NAME;DAY");
  EXPECT_EQ(xbe::KeyFieldsOfExpression("LEFT(TIT1,10)"), "TIT1");
  EXPECT_EQ(xbe::KeyFieldsOfExpression("tit1"), "TIT1");
}

TEST(ExprTest, FindCharAlignedAgreesWithCp949Find) {
  const std::string hays[] = {"\xB0\xA1\xB3\xAA\xB0\xA1", "a\x81\x61" "a", "\xB0\xB0\xB0\xB0", "abcabc", ""};
  const std::string needles[] = {"\xA1\xB3", "\xB0\xA1", "a", "\xB0\xB0", "bc", "\x61" "a", ""};
  for (const std::string& h : hays)
    for (const std::string& n : needles)
      EXPECT_EQ(xbe::FindCharAligned(h, n), cp949::Find(h, n)) << h << " / " << n;
}

// Titles are searched sixteen bytes at a time: a match (or a byte pair that only looks like
// one, across two characters) at every place of a long text, at the edges of each block and
// at the very end, is found exactly where the character search finds it.
TEST(ExprTest, FindCharAlignedAgreesWithCp949FindAtEveryPlaceOfALongText) {
  const std::string filler = "\xB3\xAA";  // 나
  const std::string needles[] = {"\xB0\xA1", "\xB0\xA1\xB3\xAA", "\xA1\xB0", "ab", "a", "\xAA\xB3\xAA",
                                 "\xB3\xAA\xB0\xA1"};  // the last begins as every filler character
  for (const std::size_t size : {std::size_t{17}, std::size_t{32}, std::size_t{47}, std::size_t{200}})
    for (const std::string& n : needles)
      for (std::size_t at = 0; at + n.size() <= size; ++at) {
        std::string h;
        while (h.size() < size) h += filler;
        h.resize(size);
        h.replace(at, n.size(), n);
        EXPECT_EQ(xbe::FindCharAligned(h, n), cp949::Find(h, n)) << "size " << size << ", placed at " << at;
        // With a second copy further on, the first one is found.
        if (at + 2 * n.size() + 3 <= size) {
          h.replace(at + n.size() + 3, n.size(), n);
          EXPECT_EQ(xbe::FindCharAligned(h, n), cp949::Find(h, n)) << "two copies, size " << size << ", at " << at;
        }
      }
}

}  // namespace
