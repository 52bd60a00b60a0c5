// While it lives, no file of this process takes a write at or past a byte offset, as a full
// disk refuses one: the write fails with EFBIG (SIGXFSZ is ignored meanwhile). A test can so
// make the engine's own writes fail on the real files, without any stand-in.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(int64_t Limit) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit r = FOld;
    r.rlim_cur = static_cast<rlim_t>(Limit);
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FOld{};
  sighandler_t FOldHandler = SIG_DFL;
};
