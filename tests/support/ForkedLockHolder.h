// A second process that holds a record lock on a table (or, for record 0, only has the table
// open) until told to let go, so tests can show what a user sees while another running copy
// of the program holds the note or the file. The
// engine must already be loaded in this process: the child inherits it.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "engine/include/xbeng61.h"
#include "table/XbDispatch.h"

class TForkedLockHolder {
 public:
  TForkedLockHolder(const std::string& file, int32_t recNo) {
    if (pipe(toChild_) != 0 || pipe(toParent_) != 0) return;
    pid_ = fork();
    if (pid_ != 0) {
      char state = 0;
      holding_ = pid_ > 0 && read(toParent_[0], &state, 1) == 1 && state == 'L';
      return;
    }
    TXbDispatch d;
    d.WorkArea = d.xb_UseEx(file, "HOLDER", XB_OPEN_SHARED, XB_TT_NSX, 0);
    d.SelectWorkArea();
    // Record 0: the file is only held open, without any lock.
    const char state = (d.WorkArea > 0 && (recNo <= 0 || d.xb_Rlock(recNo) != 0)) ? 'L' : 'x';
    (void)!write(toParent_[1], &state, 1);
    char go = 0;
    (void)!read(toChild_[0], &go, 1);
    d.xb_Unlock(0);
    d.xb_Close();
    _exit(0);
  }

  TForkedLockHolder(const TForkedLockHolder&) = delete;
  TForkedLockHolder& operator=(const TForkedLockHolder&) = delete;

  ~TForkedLockHolder() {
    Release();
    for (int fd : {toChild_[0], toChild_[1], toParent_[0], toParent_[1]})
      if (fd >= 0) close(fd);
  }

  // The child opened the table and holds the lock.
  bool Holding() const { return holding_; }

  // The child unlocks, closes and ends; returns once it is gone.
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
