// The built engine library exports every entry point the table layer binds, so the loader
// never refuses it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/include/xbeng61.h"

namespace {

#define XB_NAME(name) #name,
const char* const kBound[] = {XB_ENTRY_POINTS(XB_NAME)};
const char* const kExtra[] = {XB_EXTRA_ENTRY_POINTS(XB_NAME)};
#undef XB_NAME

TEST(Exports, EveryBoundNameResolvesInTheBuiltLibrary) {
  static_assert(sizeof kBound / sizeof kBound[0] == XB_ENTRY_POINT_COUNT);
  std::string path = std::string(ORV_BINARY_DIR) + "/bin/libxbeng61.so";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  std::vector<std::string> missing;
  for (const char* n : kBound)
    if (!dlsym(lib, n)) missing.push_back(n);
  for (const char* n : kExtra)
    if (!dlsym(lib, n)) missing.push_back(n);
  EXPECT_TRUE(missing.empty()) << "missing: " << ::testing::PrintToString(missing);
  // Nothing but the C interface leaks out of the hidden-visibility build.
  EXPECT_EQ(dlsym(lib, "_ZN3xbe8SettingsEv"), nullptr);
  dlclose(lib);
}

}  // namespace
