// The shared start of the picture, archive and rich-text harnesses (`make fuzz`): a Qt
// application on the offscreen platform (bitmaps, the clipboard and text documents need
// one), and memory limits as defaults unless the command line gives its own, so a huge
// allocation is a finding instead of a slow run: any single allocation above 512 MB, or a
// process above 2 GB.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ui/Forms.h"

namespace fuzzmain {

inline void Start(int* argc, char*** argv) {
  static std::vector<char*> args(*argv, *argv + *argc);
  for (const char* flag : {"-rss_limit_mb=2048", "-malloc_limit_mb=512"}) {
    std::string name(flag, std::strchr(flag, '=') + 1);
    bool given = false;
    for (int i = 1; i < *argc; ++i) given = given || std::strncmp((*argv)[i], name.c_str(), name.size()) == 0;
    if (!given) args.push_back(const_cast<char*>(flag));
  }
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size()) - 1;
  *argv = args.data();
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static TApplication* app = new TApplication;
  (void)app;
}

}  // namespace fuzzmain

// One harness: Body (const uint8_t*, size_t) runs one input. Font configuration keeps a
// little memory of its own to the end, which the leak check is told of.
#define ORV_FUZZ_HARNESS(Body)                                                  \
  extern "C" const char* __lsan_default_suppressions() {                        \
    return "leak:libfontconfig\n";                                              \
  }                                                                             \
  extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {                \
    fuzzmain::Start(argc, argv);                                                \
    return 0;                                                                   \
  }                                                                             \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {     \
    Body(data, size);                                                           \
    return 0;                                                                   \
  }
