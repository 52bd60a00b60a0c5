// The one conversion between the system's code page 949 bytes and UTF-8, over iconv "CP949".
// The Qt boundary (platform/ui, platform/gfx), the operating-system boundary (OsText.h) and
// the Korean literals of the source, which are UTF-8, go through it.
//
// Rules for text that does not convert:
// - ToUtf8: every byte that is not part of a valid CP949 character becomes U+FFFD, one per
//   byte, so nothing is dropped and nothing fails. TryToUtf8 answers false instead.
// - FromUtf8: a character without a CP949 form (or a broken UTF-8 sequence) raises
//   EConvertError naming it ("U+1F600" / "byte 0xFF"); TryFromUtf8 answers false instead.
// Thread-safe: each thread keeps its own iconv descriptors. The .cpp needs nothing of the
// class library, so the engine builds it in too.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/SysUtils.h"

namespace cp949 {

std::string ToUtf8(std::string_view cp949Text);
bool TryToUtf8(std::string_view cp949Text, std::string& out);
bool TryFromUtf8(std::string_view utf8Text, std::string& out);
// As above; on failure `failure` names what did not convert ("U+1F600", "byte 0xFF").
bool TryFromUtf8(std::string_view utf8Text, std::string& out, std::string& failure);
// True when text is well-formed UTF-8 (no overlong forms, surrogates or stray bytes).
bool IsUtf8(std::string_view text);

inline std::string FromUtf8(std::string_view utf8Text) {
  std::string out, failure;
  if (!TryFromUtf8(utf8Text, out, failure))
    throw EConvertError("Text has no code page 949 form: " + failure);
  return out;
}

// A UTF-8 literal as CP949 bytes; for the program's own texts, which always convert.
inline std::string K(std::string_view utf8Literal) { return FromUtf8(utf8Literal); }

}  // namespace cp949
