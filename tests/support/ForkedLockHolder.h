// A second process that holds a record lock on a table (or, for record 0, only has the table
// open) until told to let go (or for two minutes at the most), so tests can show what a user
// sees while another running copy of the program holds the note or the file. The engine must
// already be loaded in this process: the child inherits it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/include/xbeng61.h"
#include "support/ForkedByteLock.h"
#include "table/XbDispatch.h"

class TForkedLockHolder : public TForkedHolder {
 public:
  TForkedLockHolder(const std::string& file, int32_t recNo)
      : TForkedHolder([&] { return Take(file, recNo); }, 120, [] { LetGo(); }) {}

 private:
  static TXbDispatch& Child() {
    static TXbDispatch d;
    return d;
  }
  static bool Take(const std::string& file, int32_t recNo) {
    TXbDispatch& d = Child();
    d.WorkArea = d.xb_UseEx(file, "HOLDER", XB_OPEN_SHARED, XB_TT_NSX, 0);
    d.SelectWorkArea();
    // Record 0: the file is only held open, without any lock.
    return d.WorkArea > 0 && (recNo <= 0 || d.xb_Rlock(recNo) != 0);
  }
  static void LetGo() {
    TXbDispatch& d = Child();
    d.xb_Unlock(0);
    d.xb_Close();
  }
};
