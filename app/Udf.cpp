// Unit Udf: shared string and colour routines of the note book (see Udf.h).
#include "app/Udf.h"

#include <cstddef>

#include "platform/core/Cp949.h"
#include "platform/core/SysUtils.h"

namespace {

// The 16 standard colours in colour-code order: code i is kStandardColours[i].
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}
constexpr std::uint32_t kStandardColours[16] = {
    Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
    Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(128, 128, 128),
    Rgb(192, 192, 192), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
    Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
constexpr char kCodes[] = "0123456789ABCDEF";

}  // namespace

std::string StrLeft(std::string_view text, int n) {
  if (n <= 0) return {};
  const auto width = static_cast<std::size_t>(n);
  if (text.size() <= width) return std::string(text);
  return StrPadR(text, n);
}

std::string StrRight(std::string_view text, int n) {
  if (n <= 0) return {};
  const auto width = static_cast<std::size_t>(n);
  if (text.size() <= width) return std::string(text);
  std::size_t start = text.size() - width;
  if (cp949::IsCharBoundary(text, start)) return std::string(text.substr(start));
  // The first byte would be the trail of a character: a blank stands in for that character.
  return " " + std::string(text.substr(start + 1));
}

std::string StrSpace(int n) { return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string(); }

std::string StrRTrim(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return std::string(text.substr(0, end));
}

std::string StrAllTrim(std::string_view text) { return Trim(text); }

std::string StrPadR(std::string_view text, int n) {
  if (n <= 0) return {};
  const auto width = static_cast<std::size_t>(n);
  std::string out = cp949::Cut(text, width);
  out.append(width - out.size(), ' ');
  return out;
}

int StrToIntZero(std::string_view text) { return StrToIntDef(text, 0); }

std::string StrTran(std::string_view text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return std::string(text);
  // A replacement that holds the search text would be found again after every round.
  if (replacement.find(search) != std::string_view::npos)
    return StringReplace(text, search, replacement, true, false);
  std::string out(text);
  // A replacement can still rebuild the search text with its neighbours round after round
  // ("ab" by "bbaa" in "aab" grows for ever); the rounds are bounded for that case.
  const std::size_t maxRounds = 4 * text.size() + 16;
  for (std::size_t round = 0; round < maxRounds; ++round) {
    // From the start again: a replacement may complete an occurrence that begins before it.
    const std::size_t hit = cp949::Find(out, search);
    if (hit == std::string::npos) break;
    out.replace(hit, search.size(), replacement);
  }
  return out;
}

std::string ColorToCode(std::uint32_t colour) {
  for (int i = 0; i < 16; ++i) {
    if (kStandardColours[i] == colour) return std::string(1, kCodes[i]);
  }
  return "clBlack";
}

std::uint32_t CodeToColor(std::string_view code) {
  const std::string c = StrRTrim(code);
  if (c.size() == 1) {
    for (int i = 0; i < 16; ++i) {
      if (kCodes[i] == c[0]) return kStandardColours[i];
    }
  }
  return kStandardColours[0];
}
