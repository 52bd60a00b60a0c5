// The search expression builders of the seek panel and the title search dialog.
#include "app/SearchExpr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/TextCodec.h"

using cp949::K;

namespace {

struct ExprCase {
  const char* what;
  TSearchResult got;
  TSearchBuild status;
  std::string want;  // the expression (sbOk; "*" any) or the refused word (sbUnquotable)
};

// Ten one-character words and a last word of n characters. A term at("w",tit1)>0 is 13
// characters plus the word, and " .and. " 7, so the expression is 10 * 21 + 13 + n + 1.
std::string SeekTextOf(int n) {
  std::string s;
  for (int i = 0; i < 10; ++i) s += std::string(1, static_cast<char>('a' + i)) + " ";
  return s + std::string(n, 'z');
}

TEST(SearchExpr, Builders) {
  const std::string korean = K("한글");
  const std::string none[4] = {"", "", "", ""};
  const std::string onlyFour[4] = {"", "", "", "x"};
  const std::string blanksTwo[4] = {"", "  ", "", ""};
  const std::string firstAndThird[4] = {"a", "", "c", ""};
  const std::string allQuotes[4] = {"", "a\"b'c]", "", ""};
  const std::string at255 = SeekTextOf(31);
  const std::string at256 = SeekTextOf(32);
  const std::vector<ExprCase> cases = {
      {"seek: one word, title 2", BuildSeekExpression("abc", 2, false), sbOk,
       "at(\"abc\",tit2)>0 "},
      {"seek: all titles, three blanks between two words",
       BuildSeekExpression("ab   cd", 5, false), sbOk,
       "at(\"ab\",tit1+tit2+tit3+tit4)>0 .and. at(\"cd\",tit1+tit2+tit3+tit4)>0 "},
      {"seek: three words joined by .and.", BuildSeekExpression(" a b c ", 5, false), sbOk,
       "at(\"a\",tit1+tit2+tit3+tit4)>0 .and. at(\"b\",tit1+tit2+tit3+tit4)>0 .and. "
       "at(\"c\",tit1+tit2+tit3+tit4)>0 "},
      {"seek: V form with words", BuildSeekExpression("abc", 1, true), sbOk,
       "at(\"abc\",tit1)>0 .and.  chk<>\" \" "},
      {"seek: V form without words", BuildSeekExpression("   ", 3, true), sbOk,
       " chk<>\" \" "},
      {"seek: empty text without V", BuildSeekExpression("", 4, false), sbOk, ""},
      {"seek: Korean word", BuildSeekExpression(korean, 1, false), sbOk,
       "at(\"" + korean + "\",tit1)>0 "},
      {"seek: word with a double quote", BuildSeekExpression("a\"b", 1, false), sbOk,
       "at('a\"b',tit1)>0 "},
      {"seek: word with both quotes", BuildSeekExpression("it's \"x\"'", 1, false), sbOk,
       "at(\"it's\",tit1)>0 .and. at([\"x\"'],tit1)>0 "},
      {"seek: word with all three delimiters", BuildSeekExpression("ok \"'] x", 1, false),
       sbUnquotable, "\"']"},
      {"seek: 255 characters", BuildSeekExpression(at255, 1, false), sbOk, "*"},
      {"seek: 256 characters", BuildSeekExpression(at256, 1, false), sbTooLong, ""},
      {"seek: no field chosen", BuildSeekExpression("abc", 0, false), sbOk, ""},
      {"all titles: blanks kept", BuildAllTitlesExpression("  abc "), sbOk,
       "at(\"  abc \",tit1+tit2+tit3+tit4)>0"},
      {"all titles: blanks only", BuildAllTitlesExpression("   "), sbOk, ""},
      {"all titles: quote", BuildAllTitlesExpression("\"q\""), sbOk,
       "at('\"q\"',tit1+tit2+tit3+tit4)>0"},
      // The title search has no length limit; only the seek panel refuses long expressions.
      {"all titles: long text kept whole", BuildAllTitlesExpression(std::string(300, 'x')), sbOk,
       "at(\"" + std::string(300, 'x') + "\",tit1+tit2+tit3+tit4)>0"},
      {"per title: none", BuildPerTitleExpression(none), sbOk, ""},
      {"per title: only the fourth", BuildPerTitleExpression(onlyFour), sbOk,
       "at(\"x\",tit4)>0 "},
      {"per title: blanks count", BuildPerTitleExpression(blanksTwo), sbOk,
       "at(\"  \",tit2)>0 "},
      {"per title: two fields", BuildPerTitleExpression(firstAndThird), sbOk,
       "at(\"a\",tit1)>0 .and. at(\"c\",tit3)>0 "},
      {"per title: unquotable", BuildPerTitleExpression(allQuotes), sbUnquotable, "a\"b'c]"},
      {"combine: new replaces", CombineQuery("old", "new", qcNew), sbOk, "new"},
      {"combine: and wraps", CombineQuery("at(\"a\",tit1)>0 ", "at(\"b\",tit2)>0 ", qcAnd),
       sbOk, "(at(\"a\",tit1)>0 ) .and. (at(\"b\",tit2)>0 )"},
      {"combine: or wraps", CombineQuery("A", "B", qcOr), sbOk, "(A) .or. (B)"},
      {"combine: and with empty part changes nothing", CombineQuery("A", "", qcAnd), sbOk, "A"},
      {"combine: or with blank part changes nothing", CombineQuery("A", "  ", qcOr), sbOk, "A"},
      {"combine: and without an old query", CombineQuery("", "B", qcAnd), sbOk, "B"},
      {"combine: long parts kept whole",
       CombineQuery(std::string(200, 'a'), std::string(50, 'b'), qcAnd), sbOk,
       "(" + std::string(200, 'a') + ") .and. (" + std::string(50, 'b') + ")"},
  };
  for (const ExprCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.got.Status, c.status);
    if (c.status == sbOk && c.want != "*") {
      EXPECT_EQ(c.got.Expression, c.want);
    }
    if (c.status == sbUnquotable) {
      EXPECT_EQ(c.got.Word, c.want);
    }
  }
  EXPECT_EQ(BuildSeekExpression(at255, 1, false).Expression.size(), 255u);
}

TEST(SearchExpr, SeekWordsNeverEmpty) {
  EXPECT_EQ(SeekWords("  a   bb c  "), (std::vector<std::string>{"a", "bb", "c"}));
  EXPECT_TRUE(SeekWords("    ").empty());
  EXPECT_EQ(SeekWords("a \t b"), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
