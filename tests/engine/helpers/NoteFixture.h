// Test fixture for engine storage tests: a fresh temporary folder, engine settings back at
// their defaults, every work area closed afterwards, and a builder for note files of the
// application's layout.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/include/xbeng61.h"
#include "engine/src/Contract.h"
#include "tests/engine/helpers/NoteLayout.h"

namespace xbtest {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/orv_engine_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    xb_CloseAll();
    xbe::Settings() = xbe::EngineSettings();
    xb_SetLockTimeout(0);
  }
  void TearDown() override {
    xb_CloseAll();
    xb_SetGaugeHook(0);
    xb_SetGaugePoster(nullptr);
    xbe::Settings() = xbe::EngineSettings();
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 public:
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 protected:
  std::string dir_;
};

// A Hangul text of n syllables (2 bytes each in code page 949).
inline std::string Hangul(size_t n) {
  static const char* const syllables[] = {"\xB0\xA1", "\xB3\xAA", "\xB4\xD9", "\xB6\xF3", "\xB8\xB6"};
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) s += syllables[i % 5];
  return s;
}

}  // namespace xbtest
