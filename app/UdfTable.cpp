// Unit Udf, table part: locked single-field writes and the header-record guard (UdfTable.h).
#include "app/UdfTable.h"

#include <cstring>
#include <string>

#include "app/Udf.h"
#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "table/XbEnv.h"
#include "table/XbTable.h"

const char* const kRecordLockFailed = " Record lock failed  Wait ....";

namespace {

// ReplaceType codes of the writes.
constexpr XbShort kReplaceInteger = 2;
constexpr XbShort kReplaceText = 1024;

// The 256-byte buffer the writes hand to the table: at most 255 bytes, never half a character.
struct TFieldText {
  explicit TFieldText(std::string_view text) {
    const std::string cut = cp949::Cut(text, sizeof(Bytes) - 1);
    std::memcpy(Bytes, cut.data(), cut.size());
    Bytes[cut.size()] = '\0';
  }
  char Bytes[256];
};

// Locks the current record for one write; the lock goes whatever happens in between.
class TRecordLock {
 public:
  explicit TRecordLock(TXbTable& table) : FTable(table), FRecNo(table.RecNo()) {
    FGranted = FTable.Rlock(FRecNo) != 0;
    if (!FGranted) ShowMessage(kRecordLockFailed);
  }
  ~TRecordLock() {
    if (!FGranted) return;
    try {
      FTable.Unlock(FRecNo);
    } catch (...) {
      // Unlocking a record of a table that an error closed: nothing is left to release.
    }
  }
  TRecordLock(const TRecordLock&) = delete;
  TRecordLock& operator=(const TRecordLock&) = delete;
  bool Granted() const { return FGranted; }

 private:
  TXbTable& FTable;
  XbLong FRecNo;
  bool FGranted = false;
};

// Lock, edit state, write, then commit or post.
bool LockedWrite(TXbTable& table, const std::string& fieldName, std::string_view text, bool post) {
  TRecordLock lock(table);
  if (!lock.Granted()) return false;
  const TFieldText buffer(text);
  table.Edit();
  table.Replace(fieldName, kReplaceText, buffer.Bytes);
  if (post)
    table.Post();
  else
    table.Commit();
  return true;
}

}  // namespace

bool ReplaceLocked(TXbTable& Table, const std::string& FieldName, std::string_view Text) {
  return LockedWrite(Table, FieldName, Text, false);
}

bool ReplacePosted(TXbTable& Table, const std::string& FieldName, std::string_view Text) {
  return LockedWrite(Table, FieldName, Text, true);
}

bool ReplaceLockedInt(TXbTable& Table, const std::string& FieldName, std::string_view Text) {
  const std::string digits = StringReplace(Text, ",", "");
  TRecordLock lock(Table);
  if (!lock.Granted()) return false;
  // A conversion error leaves through the lock's destructor, so the record is unlocked.
  const std::string number = StrRTrim(digits);
  const int32_t value = number.empty() ? 0 : StrToInt(number);
  Table.Edit();
  Table.Replace(FieldName, kReplaceInteger, &value);
  Table.Commit();
  return true;
}

void ReplaceField(TXbTable& Table, const std::string& FieldName, std::string_view Text) {
  const TFieldText buffer(Text);
  Table.Replace(FieldName, kReplaceText, buffer.Bytes);
}

// ---- header record ----------------------------------------------------------------------

THeaderRecord::THeaderRecord(TXbEnv& Env, TXbTable& Table, THeaderExit Exit)
    : FEnv(Env), FTable(Table), FExit(Exit) {
  FEnv.SetDeleted(false);
  try {
    FTable.SetRecNo(1);
  } catch (...) {
    FEnv.SetDeleted(true);
    throw;
  }
}

THeaderRecord::~THeaderRecord() {
  if (FLeft) return;
  // An error unwinds: hide the header again at any cost, then try to stand on a note.
  FEnv.SetDeleted(true);
  try {
    if (FTable.Active()) FTable.GoTop();
  } catch (...) {
  }
}

void THeaderRecord::Leave() { Leave(FExit); }

void THeaderRecord::Leave(THeaderExit Exit) {
  if (FLeft) return;
  FLeft = true;
  FEnv.SetDeleted(true);
  if (!FTable.Active()) return;
  if (Exit == heGoBottom)
    FTable.GoBottom();
  else
    FTable.GoTop();
}
