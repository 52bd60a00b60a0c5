// Conversions, text helpers and dates of the system utilities.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <algorithm>
#include <cerrno>
#include <thread>
#include <unistd.h>

#include <vector>

#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

namespace {

TEST(SysUtils, StrToIntAcceptsAndRefuses) {
  struct Case {
    const char* in;
    bool ok;
    int want;
  } cases[] = {
      {"42", true, 42},         {"  -17", true, -17},   {"+5", true, 5},
      {"$FF", true, 255},       {"0x10", true, 16},     {"-2147483648", true, INT32_MIN},
      {"2147483647", true, INT32_MAX},
      {"", false, 0},           {" ", false, 0},        {"12 ", false, 0},
      {"1a", false, 0},         {"-", false, 0},        {"$", false, 0},
      {"2147483648", false, 0}, {"99999999999999999999", false, 0}, {"1.5", false, 0},
  };
  for (const auto& c : cases) {
    int v = -1;
    EXPECT_EQ(TryStrToInt(c.in, v), c.ok) << c.in;
    if (c.ok) {
      EXPECT_EQ(v, c.want) << c.in;
      EXPECT_EQ(StrToInt(c.in), c.want);
    } else {
      EXPECT_EQ(StrToIntDef(c.in, 7), 7) << c.in;
    }
  }
  try {
    StrToInt("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
  }
}

TEST(SysUtils, FloatTextBothWays) {
  EXPECT_DOUBLE_EQ(StrToFloat(" 1.25 "), 1.25);
  EXPECT_DOUBLE_EQ(StrToFloat("-3e2"), -300);
  EXPECT_THROW(StrToFloat("1,5"), EConvertError);
  EXPECT_THROW(StrToFloat(""), EConvertError);
  EXPECT_THROW(StrToFloat("+-1"), EConvertError);
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(12), "12");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStrFixed(2.005, 1), "2.0");
}

TEST(SysUtils, TextHelpersKeepTwoByteCharacters) {
  const std::string ga = "\xB0\xA1";  // a Hangul syllable
  EXPECT_EQ(Trim("  \t" + ga + " x \r\n"), ga + " x");
  EXPECT_EQ(TrimRight(ga + "  "), ga);
  EXPECT_EQ(TrimLeft("  " + ga + " "), ga + " ");
  // B0 61 is one character whose trail byte looks like 'a'.
  EXPECT_EQ(UpperCase("ab\xB0" "a"), "AB\xB0" "a");
  EXPECT_TRUE(SameText("Tit1", "TIT1"));
  EXPECT_FALSE(SameText("\xB0" "a", "\xB0" "A"));
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  // A match that would start on a trail byte is not replaced.
  EXPECT_EQ(StringReplace("\xB0" "A" "A", "A", "-"), "\xB0" "A-");
  EXPECT_EQ(StringReplace("aXbx", "x", "_", true, true), "a_b_");
}

TEST(SysUtils, PascalStyleCopyAndPos) {
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 3, 99), "c");
  EXPECT_EQ(Copy("abc", 4, 1), "");
  EXPECT_EQ(Copy("abc", 1, -1), "");
  EXPECT_EQ(Pos("cd", "abcd"), 3);
  EXPECT_EQ(Pos("", "abcd"), 0);
  EXPECT_EQ(Pos("\xA1\xB3", "\xB0\xA1\xB3\xAA"), 2);  // bytes match across two syllables
  EXPECT_EQ(AnsiPos("\xA1\xB3", "\xB0\xA1\xB3\xAA"), 0);
  EXPECT_EQ(AnsiPos("\xB3\xAA", "\xB0\xA1\xB3\xAA"), 3);
}

TEST(SysUtils, FileNameParts) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.dbf"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.dbf"), "c.dbf");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ChangeFileExt("orvel27c.dbf", ".smt"), "orvel27c.smt");
  EXPECT_EQ(ChangeFileExt("noext", ".dbf"), "noext.dbf");
}

TEST(SysUtils, MasksAndFileLists) {
  struct Case {
    const char* name;
    const char* mask;
    bool want;
  } cases[] = {
      {"orvel27c.smt", "*.smt", true},  {"ORVEL27C.SMT", "*.smt", true},
      {"orvel27c.smtx", "*.smt", false}, {"a.dbf", "?.dbf", true},
      {"ab.dbf", "?.dbf", false},        {"\xB0\xA1.smt", "?.smt", true},  // '?' is one character
      {"x", "*", true},                  {"", "*", true},
      {"abc", "a*c*", true},             {"\xB0" "a.smt", "\xB0" "A.smt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.want) << c.name << " " << c.mask;

  std::string dir = ::testing::TempDir() + "orv_findfiles/";
  ::mkdir(dir.c_str(), 0755);
  for (const char* f : {"b.smt", "A.SMT", "c.dbf"}) WriteFileBytes(dir + f, "");
  ::mkdir((dir + "d.smt").c_str(), 0755);  // a folder is no file
  EXPECT_EQ(FindFiles(dir, "*.smt"), (std::vector<std::string>{"A.SMT", "b.smt"}));
  EXPECT_TRUE(FindFiles(dir + "missing", "*").empty());
  for (const char* f : {"b.smt", "A.SMT", "c.dbf"}) DeleteFile(dir + f);
  ::rmdir((dir + "d.smt").c_str());
  ::rmdir(dir.c_str());
}

TEST(SysUtils, DatesEncodeAndDecodeAroundTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
  for (TDateTime dt : {-693593.0, -1.0, 0.0, 59.0, 60.0, 36585.0, 36586.0, 2958465.0}) {
    int y, m, d;
    DecodeDate(dt, y, m, d);
    EXPECT_EQ(EncodeDate(y, m, d), dt) << y << "-" << m << "-" << d;
  }
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);  // a Monday
  int h, mi, s, ms;
  DecodeTime(0.75, h, mi, s, ms);
  EXPECT_EQ(h, 18);
  EXPECT_EQ(mi, 0);
}

TEST(SysUtils, TwoDigitYearsFollowTheCenturyWindow) {
  EXPECT_EQ(ExpandTwoDigitYear(30, 2026, 50), 2030);
  EXPECT_EQ(ExpandTwoDigitYear(76, 2026, 50), 1976);
  EXPECT_EQ(ExpandTwoDigitYear(75, 2026, 50), 2075);
  EXPECT_EQ(ExpandTwoDigitYear(5, 2026, 0), 2005);
  EXPECT_EQ(ExpandTwoDigitYear(1999, 2026, 50), 1999);
}

class DateFormats : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = FormatSettings; }
  void TearDown() override { FormatSettings = saved_; }
  TFormatSettings saved_;
};

TEST_F(DateFormats, StrToDateFollowsTheShortDateFormat) {
  EXPECT_EQ(StrToDate("3/1/2000"), EncodeDate(2000, 3, 1));
  EXPECT_EQ(StrToDate(" 12/31/1999 "), EncodeDate(1999, 12, 31));
  FormatSettings.ShortDateFormat = "dd.mm.yyyy";
  FormatSettings.DateSeparator = '.';
  EXPECT_EQ(StrToDate("01.03.2000"), EncodeDate(2000, 3, 1));
  FormatSettings.ShortDateFormat = "yy.mm.dd";
  EXPECT_EQ(StrToDate("2000.03.01"), EncodeDate(2000, 3, 1));
  for (const char* bad : {"", "2000", "1/2/3/4", "13.01.01x", "2000.02.30", "1..2", "2000.1."})
    EXPECT_THROW(StrToDate(bad), EConvertError) << bad;
  try {
    StrToDate("x");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'x' is not a valid date");
  }
}

TEST_F(DateFormats, FormatDateTimePictures) {
  TDateTime dt = EncodeDate(2007, 3, 4) + EncodeTime(15, 6, 7, 89);
  EXPECT_EQ(DateToStr(dt), "3/4/07");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", dt), "2007-03-04 15:06:07.089");
  EXPECT_EQ(FormatDateTime("h:mm am/pm", dt), "3:06 pm");  // m after h is minutes
  EXPECT_EQ(FormatDateTime("ddd, mmm d", dt), "Sun, Mar 4");
  EXPECT_EQ(FormatDateTime("'d='d \"yy\"", dt), "d=4 yy");
  FormatSettings.DateSeparator = '-';
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd", dt), "2007-03-04");
  // Two-byte characters in a picture are copied, never read as pictures.
  EXPECT_EQ(FormatDateTime("yyyy\xB3\xE2", dt), "2007\xB3\xE2");
}

TEST_F(DateFormats, StrToDateTimeTakesDateTimeOrBoth) {
  EXPECT_EQ(StrToDateTime("3/4/2007 15:06"), EncodeDate(2007, 3, 4) + EncodeTime(15, 6, 0, 0));
  EXPECT_EQ(StrToDateTime("3/4/2007 3:06:07 PM"),
            EncodeDate(2007, 3, 4) + EncodeTime(15, 6, 7, 0));
  EXPECT_EQ(StrToDateTime("12:00 AM"), 0.0);
  EXPECT_EQ(StrToDateTime("3/4/2007"), EncodeDate(2007, 3, 4));
  EXPECT_THROW(StrToDateTime("3/4/2007 25:00"), EConvertError);
  EXPECT_THROW(StrToDateTime("3/4/2007 x"), EConvertError);
}

TEST(SysUtils, ExceptionsCarryTheirMessage) {
  try {
    throw EReadError("Stream read error");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
    EXPECT_NE(dynamic_cast<const EStreamError*>(&e), nullptr);
  }
  EXPECT_THROW(Abort(), EAbort);
  try {
    AssertionFailed("", "XBENG61", 412);
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message, "Assertion failure (XBENG61, line 412)");
  }
}

TEST(SysUtilsTest, AThreadThatGivesWayRunsBelowTheOthers) {
  auto niceness = [] {
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
  };
  const int mine = niceness();
  int before = 0, after = 0;
  std::thread t([&] {
    before = niceness();
    GiveWayToOtherThreads();
    after = niceness();
  });
  t.join();
  EXPECT_EQ(before, mine);
  EXPECT_EQ(after, std::min(19, mine + 5));
  EXPECT_EQ(niceness(), mine);  // the calling thread only
}

}  // namespace
