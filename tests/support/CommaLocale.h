// A comma-decimal locale for number tests: the process runs under German conventions ("2,25")
// as it would on a German desktop, where Qt's application object sets the locale from the
// environment. Installed, or built with localedef (BuiltLocale.h).
//
//   TEST(Numbers, X) {
//     commalocale::Scope german;
//     if (!german) GTEST_SKIP() << german.Why();
//     ...   // setlocale(LC_ALL) is German here; back to "C" at the end of the scope
//   }
#pragma once

#include "support/BuiltLocale.h"

namespace commalocale {

inline bool IsCommaDecimal(const char* name) {
  if (setlocale(LC_ALL, name) == nullptr) return false;
  const bool comma = localeconv()->decimal_point[0] == ',';
  setlocale(LC_ALL, "C");
  return comma;
}

inline const builtlocale::Built& Locale() {
  // A single-byte charset builds in about a second; the decimal point is all that matters.
  static const builtlocale::Built b = builtlocale::Make(
      {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"}, "de_DE", "ISO-8859-1", IsCommaDecimal);
  return b;
}

class Scope : public builtlocale::Scope {
 public:
  Scope() : builtlocale::Scope(Locale()) {}
};

}  // namespace commalocale
