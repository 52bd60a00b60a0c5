// Locales for tests that run the process under another desktop's conventions: taken from the
// system when installed, else built once per test program with localedef (Debian package
// locales) under one temporary folder, each in a folder of its own that LOCPATH then names.
//
//   const builtlocale::Built& ko = builtlocale::Get({"ko_KR.UTF-8"}, "ko_KR", "UTF-8", Accept);
//   builtlocale::Scope korean(ko);
//   if (!korean) GTEST_SKIP() << korean.Why();
//   ...   // setlocale(LC_ALL) is that locale here; back to "C" at the end of the scope
#pragma once

#include <locale.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>

extern char** environ;

namespace builtlocale {

struct Built {
  std::string name;  // the locale's name for setlocale, "" when none could be had
  std::string why;   // why not
};

// The one folder of the built locales, removed at exit.
inline const std::string& Folder() {
  struct Owned {
    std::string path;
    Owned() {
      char tmpl[] = "/tmp/orv-locale-XXXXXX";
      if (mkdtemp(tmpl) != nullptr) path = tmpl;
    }
    ~Owned() {
      std::error_code ec;
      if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
  };
  static Owned owned;
  return owned.path;
}

// Accept(name) loads the locale and says whether it is the one wanted (and goes back to "C").
using TAccept = bool (*)(const char* name);

// The first installed name that Accept takes, else Input built with Charmap under the name
// "<Input>.<Charmap>".
inline Built Make(std::initializer_list<const char*> installed, const char* input, const char* charmap,
                  TAccept accept) {
  Built r;
  for (const char* name : installed)
    if (accept(name)) {
      r.name = name;
      return r;
    }
  if (Folder().empty()) {
    r.why = "no temporary folder for the locale";
    return r;
  }
  const std::string name = std::string(input) + "." + charmap;
  // A folder of its own on the search path: the C library remembers a name it did not find
  // under a search path, so the path changes with each locale added.
  const std::string dir = Folder() + "/" + name + ".d";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::string target = dir + "/" + name;
  char prog[] = "localedef";
  char c[] = "-c", i[] = "-i", f[] = "-f";
  std::string in = input, cs = charmap;
  char* argv[] = {prog, c, i, in.data(), f, cs.data(), target.data(), nullptr};
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
      !std::filesystem::exists(target)) {
    r.why = "localedef could not build " + name + " (Debian package locales)";
    return r;
  }
  const char* path = getenv("LOCPATH");
  setenv("LOCPATH", (path && *path ? std::string(path) + ":" + dir : dir).c_str(), 1);
  if (!accept(name.c_str())) {
    r.why = "the locale built by localedef does not load";
    return r;
  }
  r.name = name;
  return r;
}

// The locale for the whole process while it lives.
class Scope {
 public:
  explicit Scope(const Built& locale)
      : FLocale(locale), FOn(!locale.name.empty() && setlocale(LC_ALL, locale.name.c_str()) != nullptr) {}
  ~Scope() {
    if (FOn) setlocale(LC_ALL, "C");
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  explicit operator bool() const { return FOn; }
  const std::string& Why() const { return FLocale.why; }

 private:
  const Built& FLocale;
  bool FOn;
};

}  // namespace builtlocale
