// Character order of the engine: string comparison through the 256-byte weight table that
// SysProp 1101 installs (identity by default, so raw byte order). Expressions and index keys
// both compare through here, so "<" in a query and the order of a tag always agree.
#pragma once

#include <cstring>
#include <string_view>

namespace xbe {

// True when the table maps every byte to itself; callers then use plain memcmp.
bool CollationIsIdentity(const unsigned char* table);

// Three-way comparison of a and b by weights, over the first n bytes of both.
inline int CollateBytes(const unsigned char* a, const unsigned char* b, std::size_t n,
                        const unsigned char* table) {
  if (!table) return std::memcmp(a, b, n);
  for (std::size_t i = 0; i < n; ++i) {
    int d = static_cast<int>(table[a[i]]) - static_cast<int>(table[b[i]]);
    if (d) return d;
  }
  return 0;
}

// xBase string comparison: the shorter text is taken as padded with blanks.
int CollateCompare(std::string_view a, std::string_view b, const unsigned char* table);

}  // namespace xbe
