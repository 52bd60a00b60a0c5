// Code page 949 <-> UTF-8 conversion rules.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

namespace {

TEST(TextCodec, HangulRoundTrips) {
  struct Case {
    std::string cp949, utf8;
  } cases[] = {
      {"\xB0\xA1", "가"},
      {"\xBB\xE8\xC1\xA6 \xC7\xD2\xB1\xEE\xBF\xE4?", "삭제 할까요?"},
      {"ABC 123", "ABC 123"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},  // NUL bytes are text too
      {"", ""},
      {"\x81\x41", "갂"},  // an extended syllable outside the basic wansung set
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cp949::ToUtf8(c.cp949), c.utf8);
    EXPECT_EQ(cp949::FromUtf8(c.utf8), c.cp949);
  }
}

TEST(TextCodec, BytesThatDoNotConvertStayVisible) {
  const std::string fffd = "\xEF\xBF\xBD";
  // 0xFF is never a character; a lead byte at the very end has no trail; 0x80 is unassigned.
  EXPECT_EQ(cp949::ToUtf8("a\xFF" "b"), "a" + fffd + "b");
  EXPECT_EQ(cp949::ToUtf8("\xB0\xA1\xB0"), "가" + fffd);
  EXPECT_EQ(cp949::ToUtf8("\x80\x80"), fffd + fffd);
  // Text after a bad byte is still converted.
  EXPECT_EQ(cp949::ToUtf8("\xFF\xB0\xA1"), fffd + "가");
}

TEST(TextCodec, RefusesTextWithoutCp949Form) {
  std::string out = "kept";
  EXPECT_FALSE(cp949::TryFromUtf8("가😀", out));
  EXPECT_EQ(out, "kept");  // nothing half-written
  try {
    cp949::FromUtf8("ab😀");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message.find("U+1F600"), std::string::npos) << e.Message;
  }
  try {
    cp949::FromUtf8("a\xFF");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message.find("0xFF"), std::string::npos) << e.Message;
  }
}

TEST(TextCodec, SafeFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        if (cp949::FromUtf8("작업완료") != "\xC0\xDB\xBE\xF7\xBF\xCF\xB7\xE1") ++failures[t];
        if (cp949::ToUtf8("\xFF" "a") != "\xEF\xBF\xBD" "a") ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
