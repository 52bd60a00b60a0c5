// Runs a piece of a test in a child process whose address space may grow only by a given
// amount, so an allocation sized from hostile input fails in the child (or kills it) instead
// of passing slowly or taking the machine's memory.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>

// Work's result (0 for the outcome the test wants), 98 when it let an exception out, or -1
// when the child did not exit normally.
inline int InChildWithMemoryLimit(int64_t Limit, const std::function<int()>& Work) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlim_t cap = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + Limit);
    rlimit r{cap, cap};
    setrlimit(RLIMIT_AS, &r);
    int code = 98;
    try {
      code = Work();
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The limit the hostile-input tests give their child: ample for every honest picture they
// load, far below what the hostile sizes ask for.
constexpr int64_t kHostileInputLimit = int64_t{768} << 20;
