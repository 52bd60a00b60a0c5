// Unit Udf: the small string and colour routines every window of the note book shares.
//
// Text is code page 949 bytes and every count is a byte count, as the note and settings
// fields count their widths. No routine ever leaves half of a two-byte character behind:
// where a byte count falls inside a character, that character is dropped and a blank takes
// its place, so fixed-width results keep their exact width.
//
// Colours are 32-bit 0x00BBGGRR values, the representation of the UI layer's TColor.
// All routines are pure and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The first n bytes of text (the whole text when it is shorter; empty for n <= 0).
std::string StrLeft(std::string_view text, int n);

// The last n bytes of text (the whole text when it is shorter; empty for n <= 0).
std::string StrRight(std::string_view text, int n);

// n blanks; empty for n <= 0.
std::string StrSpace(int n);

// text without trailing blanks; an all-blank text gives the empty text.
std::string StrRTrim(std::string_view text);

// text without leading and trailing blanks and control characters.
std::string StrAllTrim(std::string_view text);

// text padded with blanks or cut to exactly n bytes (empty for n <= 0).
std::string StrPadR(std::string_view text, int n);

// The integer the class library's text-to-integer conversion reads; 0 when it fails.
int StrToIntZero(std::string_view text);

// Replaces the first occurrence of search by replacement, then searches again from the start,
// until none is left ("aab", "ab", "b" gives "b"). A replacement that contains search would
// never finish: then every occurrence of the given text is replaced once, left to right. A
// replacement that keeps rebuilding search around itself stops after a bounded number of
// rounds. An empty search leaves the text as it is. Matches start and end on character
// boundaries.
std::string StrTran(std::string_view text, std::string_view search, std::string_view replacement);

// The one-character colour code "0".."F" of the 16 standard colours; "clBlack" for any other.
std::string ColorToCode(std::uint32_t colour);

// The colour of a colour code (trailing blanks ignored); black for anything else.
std::uint32_t CodeToColor(std::string_view code);
