// The locale of a Korean desktop, ko_KR.UTF-8: the system's messages in Korean, in UTF-8.
// Installed, or built with localedef (BuiltLocale.h).
//
//   koreanlocale::Scope korean;
//   if (!korean) GTEST_SKIP() << korean.Why();
#pragma once

#include <langinfo.h>

#include <cstring>

#include "support/BuiltLocale.h"

namespace koreanlocale {

inline bool IsKoreanUtf8(const char* name) {
  if (setlocale(LC_ALL, name) == nullptr) return false;
  const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  setlocale(LC_ALL, "C");
  return utf8;
}

inline const builtlocale::Built& Locale() {
  static const builtlocale::Built b = builtlocale::Make({"ko_KR.UTF-8", "ko_KR.utf8"}, "ko_KR", "UTF-8", IsKoreanUtf8);
  return b;
}

class Scope : public builtlocale::Scope {
 public:
  Scope() : builtlocale::Scope(Locale()) {}
};

}  // namespace koreanlocale
