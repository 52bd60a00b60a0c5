// Byte-level code page 949 helpers (see Cp949.h).
#include "platform/core/Cp949.h"

namespace cp949 {

std::size_t CharLength(std::string_view s, std::size_t i) {
  if (i >= s.size()) return 0;
  auto c = static_cast<unsigned char>(s[i]);
  if (IsLeadByte(c) && i + 1 < s.size() && IsTrailByte(static_cast<unsigned char>(s[i + 1]))) return 2;
  return 1;
}

bool IsCharBoundary(std::string_view s, std::size_t i) {
  if (i >= s.size()) return i == s.size();
  std::size_t p = 0;
  while (p < i) p += CharLength(s, p);
  return p == i;
}

std::size_t Find(std::string_view hay, std::string_view needle, std::size_t from) {
  if (from > hay.size()) return std::string_view::npos;
  // Walk character starts only, so a hit can never begin on a trail byte.
  std::size_t p = 0;
  while (p < from) p += CharLength(hay, p);
  if (needle.empty()) return p;
  for (; p + needle.size() <= hay.size(); p += CharLength(hay, p)) {
    if (hay.compare(p, needle.size(), needle) != 0) continue;
    // The hit must also end on a boundary: its last byte may not be a lead byte whose
    // trail lies outside the hit.
    std::size_t q = p;
    std::size_t end = p + needle.size();
    while (q < end) q += CharLength(hay, q);
    if (q == end) return p;
  }
  return std::string_view::npos;
}

template <bool ToUpper>
static std::string MapCase(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t n = CharLength(out, i);
    if (n == 1) {
      char& c = out[i];
      if (ToUpper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (!ToUpper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    i += n;
  }
  return out;
}

std::string Upper(std::string_view s) { return MapCase<true>(s); }
std::string Lower(std::string_view s) { return MapCase<false>(s); }

void UpperInPlace(char* s, std::size_t n) {
  std::string_view v(s, n);
  for (std::size_t i = 0; i < n;) {
    std::size_t len = CharLength(v, i);
    if (len == 1 && s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 32);
    i += len;
  }
}

std::size_t CutLength(std::string_view s, std::size_t n) {
  if (n >= s.size()) return s.size();
  std::size_t p = 0;
  for (;;) {
    std::size_t len = CharLength(s, p);
    if (len == 0 || p + len > n) return p;
    p += len;
  }
}

std::string Cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, CutLength(s, n))); }

std::size_t CharCount(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t p = 0; p < s.size(); p += CharLength(s, p)) ++count;
  return count;
}

}  // namespace cp949
