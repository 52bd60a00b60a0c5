// Byte-level code page 949 helpers: character boundaries, case and cutting, without any
// conversion library. The engine and every layer above share these, so "one character" means
// the same everywhere. A lead byte (0x81..0xFE) followed by a valid trail byte forms one
// two-byte character; any other byte is a character of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cp949 {

inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsTrailByte(unsigned char c) {
  return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || (c >= 0x81 && c <= 0xFE);
}

// Length in bytes (1 or 2) of the character that starts at s[i]; 0 at or past the end.
std::size_t CharLength(std::string_view s, std::size_t i);

// True when byte offset i starts a character (or is the end of s), scanning from the start.
bool IsCharBoundary(std::string_view s, std::size_t i);

// First occurrence of needle in hay at or after byte `from` that starts and ends on
// character boundaries; npos when none. An empty needle is found at `from`.
std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from = 0);

// Upper/lower case of the single-byte letters only; both bytes of a two-byte character are
// left exactly as they are.
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);
void UpperInPlace(char* s, std::size_t n);

// The longest prefix of s of at most n bytes that does not split a character.
std::string Cut(std::string_view s, std::size_t n);
std::size_t CutLength(std::string_view s, std::size_t n);

// Number of characters in s.
std::size_t CharCount(std::string_view s);

}  // namespace cp949
