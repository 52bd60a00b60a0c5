// Character order of the engine (see Collation.h).
#include "engine/src/Collation.h"

namespace xbe {

bool CollationIsIdentity(const unsigned char* table) {
  if (!table) return true;
  for (int i = 0; i < 256; ++i)
    if (table[i] != i) return false;
  return true;
}

int CollateCompare(std::string_view a, std::string_view b, const unsigned char* table) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  auto* pa = reinterpret_cast<const unsigned char*>(a.data());
  auto* pb = reinterpret_cast<const unsigned char*>(b.data());
  if (int d = CollateBytes(pa, pb, n, table)) return d;
  const unsigned char blank = table ? table[static_cast<unsigned char>(' ')] : ' ';
  if (a.size() > n) {
    for (std::size_t i = n; i < a.size(); ++i) {
      int w = table ? table[pa[i]] : pa[i];
      if (w != blank) return w - blank;
    }
  } else {
    for (std::size_t i = n; i < b.size(); ++i) {
      int w = table ? table[pb[i]] : pb[i];
      if (w != blank) return blank - w;
    }
  }
  return 0;
}

}  // namespace xbe
