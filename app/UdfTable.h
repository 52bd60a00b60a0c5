// Unit Udf, table part: the locked single-field writes every window of the note book uses, and
// the guard around the hidden header record of a note file.
//
// The writes work on the table's current record:
// - ReplaceLocked: record lock, edit state, write the text, commit, unlock.
// - ReplaceLockedInt: the same for an integer field; commas are removed, an empty text writes
//   0, text that is no number raises EConvertError after the lock has been released.
// - ReplacePosted: as ReplaceLocked with the dataset's Post in place of the commit.
// - ReplaceField: the write alone; the caller holds the lock, has the record in edit state
//   and commits.
// A refused lock shows " Record lock failed  Wait ...." and writes nothing; the locked writes
// answer false then. Texts longer than 255 bytes are cut to 255 on a character boundary.
//
// The header record (record 1, kept deleted) is reached only through THeaderRecord: it makes
// deleted records visible and goes to record 1; leaving (Leave, or the destructor when an
// error unwinds) hides deleted records again and moves to a visible record, so the header can
// never be left showing as a note.
//
// GUI thread only.
#pragma once

#include <string>
#include <string_view>

class TXbEnv;
class TXbTable;

// Shown when a record lock is refused.
extern const char* const kRecordLockFailed;

bool ReplaceLocked(TXbTable& Table, const std::string& FieldName, std::string_view Text);
bool ReplaceLockedInt(TXbTable& Table, const std::string& FieldName, std::string_view Text);
bool ReplacePosted(TXbTable& Table, const std::string& FieldName, std::string_view Text);
void ReplaceField(TXbTable& Table, const std::string& FieldName, std::string_view Text);

// Where a table goes when the header is left.
enum THeaderExit { heGoTop, heGoBottom };

class THeaderRecord {
 public:
  // Env: the environment whose Deleted switch the table follows (the main window's XbEnv1).
  THeaderRecord(TXbEnv& Env, TXbTable& Table, THeaderExit Exit = heGoTop);
  ~THeaderRecord();
  THeaderRecord(const THeaderRecord&) = delete;
  THeaderRecord& operator=(const THeaderRecord&) = delete;

  // Hides deleted records and moves to a visible record (Exit); errors of the move propagate.
  void Leave();
  void Leave(THeaderExit Exit);

 private:
  TXbEnv& FEnv;
  TXbTable& FTable;
  THeaderExit FExit;
  bool FLeft = false;
};
