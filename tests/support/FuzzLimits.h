// Memory limits for every fuzz harness (`make fuzz`), as defaults the command line may
// override, so a huge allocation is a finding instead of a slow run: any single allocation
// above 512 MB, or a process above 2 GB. Called from LLVMFuzzerInitialize. The address
// checker's hold on freed memory is kept to 64 MB (of 256), so the process limit measures what
// the code keeps, not what the checker keeps back: a result walked row by row frees a reply
// per row, and held back they passed 2 GB while the code held 26 MB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }

namespace fuzzlimits {

inline void Apply(int* argc, char*** argv) {
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
}

}  // namespace fuzzlimits

// A harness whose body needs nothing set up: Body (const uint8_t*, size_t) runs each input
// of at most MaxSize bytes.
#define ORV_FUZZ_PLAIN_HARNESS(Body, MaxSize)                                   \
  extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {                \
    fuzzlimits::Apply(argc, argv);                                              \
    return 0;                                                                   \
  }                                                                             \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {     \
    if (size <= (MaxSize)) Body(data, size);                                    \
    return 0;                                                                   \
  }
