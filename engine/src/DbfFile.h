// The .dbf data file: header and field descriptors, fixed-size records, appends that
// several processes may make at once. Checks every header value against the file, so a
// damaged file fails to open instead of being read past its end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/src/Contract.h"
#include "engine/src/FileIo.h"

namespace xbe {

// Byte offsets of the engine's lock bytes; see FORMATS.md ("Locks").
constexpr int64_t kLockOpen = 0x40000000;    // shared: opened, exclusive: opened exclusively
constexpr int64_t kLockAppend = 0x40000001;  // held while appending / writing the header
constexpr int64_t kLockRecords = 0x40000010; // record n locks kLockRecords + n
constexpr int64_t kLockRecordSpan = 0x3FFFFFF0;  // the file lock spans every record byte

// Takes the append lock of a table or memo file, waiting no longer than the lock time-out
// (and at least a second).
bool LockAppend(File& f);

class DbfFile {
 public:
  // Opens and checks an existing table; null with a reason in *error when it is unusable.
  static std::unique_ptr<DbfFile> Open(const std::string& path, bool writable, std::string* error);
  // Writes a new empty table; false when the file exists or cannot be written.
  static bool Create(const std::string& path, const std::vector<FieldDesc>& fields, bool hasMemo);
  // Header bytes of a table with these fields (the descriptor block included).
  static std::string BuildHeader(const std::vector<FieldDesc>& fields, bool hasMemo, int32_t count);

  const std::vector<FieldDesc>& Fields() const { return fields_; }
  int RecSize() const { return recSize_; }
  int HeaderLen() const { return headerLen_; }
  bool HasMemoFlag() const { return hasMemoFlag_; }
  const std::string& Path() const { return path_; }
  // The file was renamed to p while open (a rewrite put it in place).
  void Renamed(const std::string& p) { path_ = p; }
  File& Io() { return *file_; }

  // The record count as the file's size shows it (a header that claims more than the data
  // holds never makes phantom records). Re-reads the size.
  int32_t RefreshCount();
  int32_t Count() const { return count_; }

  // Reads up to n whole records starting at recNo into buf; returns how many were read.
  // A single record within the count last seen comes from the file's view (what any process
  // wrote shows there as in a read, without the system call); a run of records (a read-ahead)
  // is one read of the file, which copies it as fast.
  int32_t ReadRecords(int32_t recNo, int32_t n, char* buf);
  bool WriteRecord(int32_t recNo, const char* image) { return WriteRecords(recNo, 1, image); }
  // Writes n whole records starting at recNo in one piece.
  bool WriteRecords(int32_t recNo, int32_t n, const char* images);
  // Appends one record under the append lock, after re-reading the count; 0 on failure.
  // With `lockRecord`, the new record's lock is taken before the record is written, so no one
  // else can lock it first; *locked tells whether it was granted. `giveBack` (0: none) is a
  // record lock of this handle that goes back with the append lock, in the same call: the
  // caller holds no other lock between the two.
  int32_t Append(const char* image, bool lockRecord = false, bool* locked = nullptr, int32_t giveBack = 0);
  // Appends n whole records (bulk loading) in one write under the append lock, the header
  // count after them; returns the first one's number, 0 on failure.
  int32_t AppendMany(const char* images, int32_t n);

 private:
  void WriteCount();  // the header's date of the last append and count_, under the append lock
  // The view when it reaches byte `end` of the file (mapped again, with room to grow, when
  // it does not yet); null when the file has none.
  const FileView* Viewed(int64_t end);
  // True from the second read of the stretch of the view that holds byte `off` on; the first
  // read of each stretch goes through the file.
  bool ReadBefore(int64_t off);
  std::unique_ptr<File> file_;
  std::unique_ptr<FileView> view_;
  std::vector<uint8_t> read_;  // per stretch of view_: 1 once read
  int64_t unviewable_ = 0;  // the file system gave no view reaching this far
  std::string path_;
  std::vector<FieldDesc> fields_;
  int headerLen_ = 0;
  int recSize_ = 0;
  int32_t count_ = 0;
  bool hasMemoFlag_ = false;
};

}  // namespace xbe
