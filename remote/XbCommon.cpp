// Protocol field helpers and the tick clock (see XbCommon.h).
#include "remote/XbCommon.h"

#include <cctype>

#include "platform/core/Cp949.h"

std::string PadRight(std::string_view S, int Width, char Fill) {
  std::string r(S);
  if (static_cast<int>(r.size()) < Width) r.append(static_cast<size_t>(Width) - r.size(), Fill);
  return r;
}

std::string FixedField(std::string_view S, int Width) {
  const size_t w = Width > 0 ? static_cast<size_t>(Width) : 0;
  // A longer text is cut, never inside a two-byte character; the blanks then fill the width.
  return PadRight(S.size() <= w ? S : S.substr(0, cp949::CutLength(S, w)), Width);
}

std::string HexField(int64_t Value, int Digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint64_t v = Value < 0 ? static_cast<uint32_t>(Value) : static_cast<uint64_t>(Value);
  std::string r;
  do {
    r.insert(r.begin(), kDigits[v & 15]);
    v >>= 4;
  } while (v != 0);
  if (static_cast<int>(r.size()) < Digits) r.insert(0, static_cast<size_t>(Digits) - r.size(), '0');
  return r;
}

static std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool TryHexToInt(std::string_view S, int64_t& Value) {
  S = TrimBlanks(S);
  if (S.empty() || S.size() > 8) return false;
  uint64_t v = 0;
  for (char c : S) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  Value = static_cast<int64_t>(v);
  return true;
}

bool TryDecToInt(std::string_view S, int64_t& Value) {
  S = TrimBlanks(S);
  bool neg = false;
  if (!S.empty() && (S.front() == '-' || S.front() == '+')) {
    neg = S.front() == '-';
    S.remove_prefix(1);
  }
  if (S.empty() || S.size() > 18) return false;
  int64_t v = 0;
  for (char c : S) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  Value = neg ? -v : v;
  return true;
}

int64_t TTickClock::ElapsedMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               FStart)
      .count();
}
