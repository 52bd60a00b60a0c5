// A forked process with a pipe each way, for tests of several processes on one file. The
// child must not close work areas it inherited: their open file descriptions, and so their
// locks, are shared with the parent.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace xbtest {

class Child {
 public:
  explicit Child(std::function<int(Child&)> body) {
    if (pipe(up_) != 0 || pipe(down_) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(up_[0]);
      close(down_[1]);
      int code = body(*this);
      _exit(code);
    }
    close(up_[1]);
    close(down_[0]);
  }
  ~Child() {
    if (pid_ > 0) Wait();
    close(up_[0]);
    close(down_[1]);
  }
  // Child side.
  void Tell() { (void)!write(up_[1], "x", 1); }
  void Await() {
    char c;
    (void)!read(down_[0], &c, 1);
  }
  // Parent side.
  bool Heard() {
    char c;
    return read(up_[0], &c, 1) == 1;
  }
  void Release() { (void)!write(down_[1], "x", 1); }
  // The child's exit code; -1 when it did not end normally (a signal).
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int up_[2];
  int down_[2];
};

}  // namespace xbtest
