// A second process that holds something of a file (a lock) until told to let go, or by
// itself after a time, so a test that waited for it without end would only show a late
// success; and the one that holds one byte of a file locked with the system's own call (an
// open-file-description lock, as the engine takes its locks), the way a copy of the program
// that hangs while holding it would, after writing a few bytes into the file if asked (a
// writer that hung half-way through its work).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>

class TForkedHolder {
 public:
  // `take` runs in the child: true when it holds what it was to hold. `letGo` runs there
  // before it ends, told to or after `seconds`.
  TForkedHolder(const std::function<bool()>& take, int seconds, const std::function<void()>& letGo = {}) {
    if (pipe(toChild_) != 0 || pipe(toParent_) != 0) return;
    pid_ = fork();
    if (pid_ != 0) {
      char state = 0;
      holding_ = pid_ > 0 && read(toParent_[0], &state, 1) == 1 && state == 'L';
      return;
    }
    const char state = take() ? 'L' : 'x';
    (void)!write(toParent_[1], &state, 1);
    pollfd p{toChild_[0], POLLIN, 0};
    poll(&p, 1, seconds * 1000);
    if (letGo) letGo();
    _exit(0);
  }

  TForkedHolder(const TForkedHolder&) = delete;
  TForkedHolder& operator=(const TForkedHolder&) = delete;

  ~TForkedHolder() {
    Release();
    for (int fd : {toChild_[0], toChild_[1], toParent_[0], toParent_[1]})
      if (fd >= 0) close(fd);
  }

  // The child holds what it took.
  bool Holding() const { return holding_; }

  // The child lets go and ends; returns once it is gone.
  void Release() {
    if (pid_ <= 0) return;
    const char go = 'g';
    (void)!write(toChild_[1], &go, 1);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    holding_ = false;
  }

 private:
  int toChild_[2] = {-1, -1};
  int toParent_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool holding_ = false;
};

class TForkedByteLock : public TForkedHolder {
 public:
  TForkedByteLock(const std::string& file, int64_t offset, int seconds = 10, int64_t writeAt = -1,
                  const std::string& bytes = std::string())
      : TForkedHolder([&] { return Take(file, offset, writeAt, bytes); }, seconds) {}

 private:
  static bool Take(const std::string& file, int64_t offset, int64_t writeAt, const std::string& bytes) {
    const int fd = ::open(file.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    if (fd < 0 || fcntl(fd, F_OFD_SETLK, &fl) != 0) return false;
    return writeAt < 0 || pwrite(fd, bytes.data(), bytes.size(), writeAt) == static_cast<ssize_t>(bytes.size());
  }
};
