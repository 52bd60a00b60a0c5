// The one conversion between the system's code page 949 bytes and UTF-8, over iconv "CP949".
// Only the Qt boundary (platform/ui, platform/gfx) and the Korean literals of the source,
// which are UTF-8, go through it.
//
// Rules for text that does not convert:
// - ToUtf8: every byte that is not part of a valid CP949 character becomes U+FFFD, one per
//   byte, so nothing is dropped and nothing fails.
// - FromUtf8: a character without a CP949 form (or a broken UTF-8 sequence) raises
//   EConvertError naming it ("U+1F600" / "byte 0xFF"); TryFromUtf8 answers false instead.
// Thread-safe: each thread keeps its own iconv descriptors.
#pragma once

#include <string>
#include <string_view>

namespace cp949 {

std::string ToUtf8(std::string_view cp949Text);
std::string FromUtf8(std::string_view utf8Text);
bool TryFromUtf8(std::string_view utf8Text, std::string& out);

// A UTF-8 literal as CP949 bytes; for the program's own texts, which always convert.
inline std::string K(std::string_view utf8Literal) { return FromUtf8(utf8Literal); }

}  // namespace cp949
