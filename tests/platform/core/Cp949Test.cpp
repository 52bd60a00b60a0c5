// Character-boundary rules of the byte-level code page 949 helpers.
#include <gtest/gtest.h>

#include "platform/core/Cp949.h"

namespace {

// "가" is B0 A1, "나" is B3 AA in code page 949.
const std::string kGa = "\xB0\xA1";
const std::string kNa = "\xB3\xAA";

TEST(Cp949, FindRespectsCharacterBoundaries) {
  struct Case {
    std::string hay, needle;
    std::size_t want;
  } cases[] = {
      {kGa + kNa, kNa, 2},
      {kGa + kNa, "\xA1\xB3", std::string::npos},  // straddles two syllables
      {"a" + kGa, "\xA1", std::string::npos},      // a trail byte alone
      {kGa + "AB", "A", 2},
      {"\xB0" "A", "A", std::string::npos},  // 'A' is the trail of a two-byte character here
      {"xyz", "", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(cp949::Find(c.hay, c.needle), c.want) << c.hay;
}

TEST(Cp949, CaseLeavesTwoByteCharactersAlone) {
  // B0 61 is one character whose trail byte is 'a': it must not become B0 41.
  std::string s = "ab\xB0" "a" + kGa + "z";
  EXPECT_EQ(cp949::Upper(s), "AB\xB0" "a" + kGa + "Z");
  EXPECT_EQ(cp949::Lower("AB\xB0" "A"), "ab\xB0" "A");
}

TEST(Cp949, CutNeverSplitsACharacter) {
  std::string s = "a" + kGa + kNa;  // 5 bytes
  EXPECT_EQ(cp949::Cut(s, 2), "a");
  EXPECT_EQ(cp949::Cut(s, 3), "a" + kGa);
  EXPECT_EQ(cp949::Cut(s, 4), "a" + kGa);
  EXPECT_EQ(cp949::Cut(s, 9), s);
  EXPECT_EQ(cp949::CharCount(s), 3u);
}

}  // namespace
