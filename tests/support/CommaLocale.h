// A comma-decimal locale for number tests: the process runs under German conventions ("2,25")
// as it would on a German desktop, where Qt's application object sets the locale from the
// environment. The locale is taken from the system when installed, else built once per test
// program with localedef into a temporary folder (LOCPATH).
//
//   TEST(Numbers, X) {
//     commalocale::Scope german;
//     if (!german) GTEST_SKIP() << german.Why();
//     ...   // setlocale(LC_ALL) is German here; back to "C" at the end of the scope
//   }
#pragma once

#include <locale.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

extern char** environ;

namespace commalocale {

struct Built {
  std::string name;  // the locale's name for setlocale, "" when none could be had
  std::string why;   // why not
  std::string folder;
  ~Built() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
};

inline bool IsCommaDecimal(const char* name) {
  if (setlocale(LC_ALL, name) == nullptr) return false;
  const bool comma = localeconv()->decimal_point[0] == ',';
  setlocale(LC_ALL, "C");
  return comma;
}

inline const Built& Locale() {
  static Built b = [] {
    Built r;
    for (const char* installed : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8"})
      if (IsCommaDecimal(installed)) {
        r.name = installed;
        return r;
      }
    char tmpl[] = "/tmp/orv-locale-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
      r.why = "no temporary folder for the locale";
      return r;
    }
    r.folder = tmpl;
    // A single-byte charset builds in about a second; the decimal point is all that matters.
    const std::string out = r.folder + "/de_DE.ISO-8859-1";
    char prog[] = "localedef";
    char c[] = "-c", i[] = "-i", de[] = "de_DE", f[] = "-f", cs[] = "ISO-8859-1";
    std::string target = out;
    char* argv[] = {prog, c, i, de, f, cs, target.data(), nullptr};
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
        !std::filesystem::exists(out)) {
      r.why = "no comma-decimal locale: localedef could not build de_DE (Debian package locales)";
      return r;
    }
    setenv("LOCPATH", r.folder.c_str(), 1);
    if (!IsCommaDecimal("de_DE.ISO-8859-1")) {
      r.why = "the locale built by localedef does not load";
      return r;
    }
    r.name = "de_DE.ISO-8859-1";
    return r;
  }();
  return b;
}

// The comma-decimal locale for the whole process while it lives.
class Scope {
 public:
  Scope() : FOn(!Locale().name.empty() && setlocale(LC_ALL, Locale().name.c_str()) != nullptr) {}
  ~Scope() {
    if (FOn) setlocale(LC_ALL, "C");
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  explicit operator bool() const { return FOn; }
  const std::string& Why() const { return Locale().why; }

 private:
  bool FOn;
};

}  // namespace commalocale
