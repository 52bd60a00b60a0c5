// Memory limits for every fuzz harness (`make fuzz`), as defaults the command line may
// override, so a huge allocation is a finding instead of a slow run: any single allocation
// above 512 MB, or a process above 2 GB. Called from LLVMFuzzerInitialize.
#pragma once

#include <cstring>
#include <string>
#include <vector>

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
