// The shared string and colour routines of unit Udf, over code page 949 text.
#include "app/Udf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/TextCodec.h"

using cp949::K;

namespace {

struct TextCase {
  const char* what;
  std::string got;
  std::string want;
};

TEST(Udf, StringRoutines) {
  const std::string ganada = K("가나다");  // three two-byte characters, six bytes
  const std::vector<TextCase> cases = {
      {"pad short", StrPadR("abc", 8), "abc     "},
      {"pad cuts long", StrPadR("abcdefghij", 8), "abcdefgh"},
      {"pad to zero", StrPadR("abc", 0), ""},
      {"pad never splits", StrPadR(ganada, 3), K("가") + " "},
      {"pad exact boundary", StrPadR(ganada, 4), K("가나")},
      {"pad after ascii", StrPadR("a" + ganada, 4), "a" + K("가") + " "},
      {"left shorter is whole", StrLeft("ab", 6), "ab"},
      {"left cuts", StrLeft("abcdef", 3), "abc"},
      {"left never splits", StrLeft(ganada, 5), K("가나") + " "},
      {"left negative", StrLeft("abc", -1), ""},
      {"right shorter is whole", StrRight("ab", 6), "ab"},
      {"right takes tail", StrRight("abcdef", 2), "ef"},
      {"right never splits", StrRight(ganada, 3), " " + K("다")},
      {"right on boundary", StrRight("a" + ganada, 4), K("나다")},
      {"space", StrSpace(3), "   "},
      {"space negative", StrSpace(-2), ""},
      {"rtrim all blank", StrRTrim("   "), ""},
      {"rtrim keeps leading", StrRTrim(" a "), " a"},
      {"rtrim only blanks", StrRTrim("a\t"), "a\t"},
      {"alltrim controls", StrAllTrim(" \t" + ganada + "\r\n "), ganada},
      {"tran slashes", StrTran("a/b/c", "/", "\\"), "a\\b\\c"},
      {"tran replacement holds search: one pass", StrTran("aXa", "a", "aa"), "aaXaa"},
      {"tran again from the start", StrTran("aab", "ab", "b"), "b"},
      {"tran until none is left", StrTran("aaabbb", "ab", ""), ""},
      {"tran back slashes", StrTran("a\\\\b", "\\", "/"), "a//b"},
      {"tran empty search", StrTran("abc", "", "x"), "abc"},
      // 0x81 0x41 is one character whose trail byte is the letter "A".
      {"tran skips trail bytes", StrTran("\x81\x41", "A", "x"), "\x81\x41"},
      {"tran korean", StrTran(K("메모/링크"), "/", "\\"), K("메모\\링크")},
  };
  for (const TextCase& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

// "ab" by "bbaa" rebuilds "ab" after every round without holding it: the rounds are bounded.
TEST(Udf, StrTranEndsOnARebuildingReplacement) {
  const std::string out = StrTran("aab", "ab", "bbaa");
  EXPECT_LT(out.size(), 100u);
}

TEST(Udf, StrToIntZero) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"123", 123}, {"-5", -5}, {"+7", 7}, {" 42", 42}, {"", 0}, {"abc", 0}, {"12x", 0}, {"1,000", 0},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(StrToIntZero(text), want) << "'" << text << "'";
}

TEST(Udf, ColourCodes) {
  const std::vector<std::pair<std::string, std::uint32_t>> table = {
      {"0", 0x000000}, {"1", 0x000080}, {"2", 0x008000}, {"3", 0x008080},
      {"4", 0x800000}, {"5", 0x800080}, {"6", 0x808000}, {"7", 0x808080},
      {"8", 0xC0C0C0}, {"9", 0x0000FF}, {"A", 0x00FF00}, {"B", 0x00FFFF},
      {"C", 0xFF0000}, {"D", 0xFF00FF}, {"E", 0xFFFF00}, {"F", 0xFFFFFF},
  };
  for (const auto& [code, colour] : table) {
    EXPECT_EQ(ColorToCode(colour), code);
    EXPECT_EQ(CodeToColor(code), colour) << code;
    EXPECT_EQ(CodeToColor(code + "  "), colour) << "trailing blanks of " << code;
  }
  EXPECT_EQ(ColorToCode(0x123456), "clBlack");
  EXPECT_EQ(CodeToColor(ColorToCode(0x123456)), 0u);
  for (const char* other : {"", " ", "G", "a", "10", " 9"}) {
    EXPECT_EQ(CodeToColor(other), 0u) << "'" << other << "'";
  }
}

}  // namespace
