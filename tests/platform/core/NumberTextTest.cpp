// Number text of the files and expressions: '.' as the decimal point under a comma-decimal
// process locale, both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/core/NumberText.h"
#include "support/CommaLocale.h"

namespace {

TEST(NumberText, WrittenAndReadWithAPointUnderACommaLocale) {
  commalocale::Scope german;
  if (!german) GTEST_SKIP() << german.Why();
  // The process itself now writes a comma: what these routines must not do.
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.2f", 2.25);
  ASSERT_STREQ(printed, "2,25");

  struct Fixed {
    double v;
    int width, decimals;
    const char* text;  // nullptr: refused
  } fixed[] = {
      {1234.5, 10, 2, "   1234.50"}, {-0.125, 6, 2, " -0.12"}, {2.25, 4, 2, "2.25"},
      {12, 3, 0, " 12"},            {1234, 3, 0, nullptr},     {std::nan(""), 8, 2, nullptr},
      {std::numeric_limits<double>::infinity(), 8, 2, nullptr},
  };
  for (const Fixed& c : fixed) {
    std::string out;
    const bool ok = numtext::Fixed(c.v, c.width, c.decimals, out);
    EXPECT_EQ(ok, c.text != nullptr) << c.v;
    if (c.text) {
      EXPECT_EQ(out, c.text);
    }
  }
  EXPECT_EQ(numtext::Plain(3), "3");
  EXPECT_EQ(numtext::Plain(2.25), "2.25");
  EXPECT_EQ(numtext::Plain(-0.1), "-0.1");
  EXPECT_EQ(numtext::Plain(1e20), "100000000000000000000");

  struct Stored {
    const char* text;
    double v;
    bool ok;
  } stored[] = {
      {"  1,234.50", 1234.5, true},  // thousands separator and decimal point
      {"    2.25", 2.25, true},      {"2,25", 2.25, true},  // a decimal comma written elsewhere
      {"1,234,567", 1234567, true},  {"  -12  ", -12, true}, {"+5", 5, true},
      {"1.5e3", 1500, true},         {"", 0, false},         {"   ", 0, false},
      {"12abc", 0, false},           {"1.2.3", 0, false},    {"inf", 0, false},
  };
  for (const Stored& c : stored) {
    double v = -1;
    EXPECT_EQ(numtext::ReadStored(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.v) << c.text;
    }
  }
  EXPECT_DOUBLE_EQ(numtext::ReadLeading(" 1.5*2"), 1.5);
  EXPECT_DOUBLE_EQ(numtext::ReadLeading("12abc"), 12);
  EXPECT_DOUBLE_EQ(numtext::ReadLeading("abc"), 0);
}

}  // namespace
