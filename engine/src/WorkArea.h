// One open table in one work area: the record buffer, navigation in natural order or
// through the expression half's order hooks, field and memo access, record and file locks,
// pack and zap. The session holds the 250 work areas and the current selection.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/src/Contract.h"
#include "engine/src/DbfFile.h"
#include "engine/src/MemoFile.h"

namespace xbe {

constexpr int kMaxWorkAreas = 250;

class WorkArea : public RecordSource {
 public:
  // Opens path (already resolved, ".dbf" added) in the given mode; null when refused.
  static std::unique_ptr<WorkArea> Open(const std::string& path, const std::string& alias,
                                        int openMode, int tableType, int32_t commitLevel);
  ~WorkArea() override;
  // Called once the work area is registered and selected: asks for its order hooks.
  void AttachHooks();
  // Uses the given hooks instead (tests drive the order path with their own).
  void AttachHooks(std::unique_ptr<OrderHooks> hooks);
  void Close();

  // RecordSource
  const std::vector<FieldDesc>& Fields() const override { return dbf_->Fields(); }
  int FieldIndex(std::string_view name) const override;
  const char* CurrentImage() const override { return image_.data(); }
  int32_t CurrentRecNo() const override { return recNo_; }
  int32_t RecordCount() const override { return dbf_->Count(); }
  bool CurrentDeleted() const override { return !eof_ && image_[0] == '*'; }
  std::string ReadMemo(int field, const char* image) const override;
  bool ReadImage(int32_t recNo, std::string& image) const override;
  void Position(int32_t recNo) override;
  int32_t FreshRecordCount() override { return dbf_->RefreshCount(); }
  void WritePending() override { FlushAll(); }
  void WriteWaiting() override { SettleParked(); }

  OrderHooks* Hooks() const { return hooks_.get(); }
  const std::string& Alias() const { return alias_; }
  const std::string& Path() const { return dbf_->Path(); }
  int OpenMode() const { return openMode_; }
  int TableType() const { return tableType_; }
  int32_t CommitLevel() const { return commitLevel_; }
  void SetCommitLevel(int32_t level) { commitLevel_ = level; }
  int RecSize() const { return dbf_->RecSize(); }
  bool Writable() const { return openMode_ != 1; }

  // Navigation. Visibility: SET DELETED and the hooks' scope and query, in one place.
  void GoTop();
  void GoBottom();
  void Go(int32_t recNo);
  void Skip(int32_t count);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  int32_t RefreshCount();
  int32_t CountVisible();
  bool Visible(int32_t recNo, const char* image) const;

  // Records.
  void Delete();
  void Recall();
  // Appends a blank record (binary zero in I fields) and locks it for this work area, giving
  // back the lock of the record appended before (unless asked for with Rlock since).
  bool AppendBlank();
  std::string BlankImage() const;
  // Bulk loading (a merge): appends the batches that `next` fills until it returns false.
  // A batch's memo contents are written first, then its records in one write; their keys
  // follow batch by batch, or, with `rebuildTags`, once at the end by a rebuild of the tags
  // under the index locks the whole load holds (cheaper for a load large beside the table).
  // No record lock is taken: the records are whole when they appear. Leaves the last record
  // current. Returns the number of records appended, -1 when a write failed.
  struct BulkBatch {
    struct Memo {
      int32_t record;  // index in the batch
      int field;
      std::string data;
    };
    std::string images;  // whole records, one after another; memo references blank
    std::vector<Memo> memos;
  };
  int64_t AppendBulk(const std::function<bool(BulkBatch&)>& next, bool rebuildTags);
  void GetRecord(void* out) const;
  void PutRecord(const void* in);
  bool Commit();
  // Stores the current record when it was changed (under the file lock it may wait in the
  // window, see Park); FlushAll also writes every record waiting there.
  bool Flush();
  bool FlushAll();

  // Fields of the current record (field = 0-based index).
  std::string Raw(int field) const;
  // The field's bytes in the current record, without a copy; valid until the next move.
  std::string_view RawView(int field) const;
  // Stores bytes (blank-padded to the width) into the buffer; false at EOF or read-only.
  bool SetRaw(int field, const std::string& bytes);
  bool IsMemoField(int field) const {
    char t = dbf_->Fields()[field].type;
    return t == 'M' || t == 'B' || t == 'G' || t == 'P';
  }
  bool ReadMemoField(int field, std::string* out, uint32_t* type = nullptr) const;
  int64_t MemoLength(int field) const;
  // Writes a memo or blob; data null or n 0 clears the reference. A write that fails drops
  // every memo change made to the record since it was stored (DropMemoChanges).
  bool WriteMemoField(int field, const void* data, size_t n, uint32_t type);

  // Locks.
  bool Rlock(int32_t recNo);
  bool Flock();
  void Unlock(int32_t recNo);
  bool Locked(int32_t recNo) const;
  int32_t LockCount() const;
  std::string LockList() const;

  // Rewrites through new files and a rename; only in an exclusive open.
  bool Pack();
  bool Zap();

 private:
  WorkArea() = default;
  bool Load(int32_t recNo, int direction);
  // Keeps the dirty current record in the window instead of writing it, when the file lock
  // makes that safe and no index follows the writes; false when it must be written now.
  bool Park();
  // Writes the records parked in the window; false when the write failed. SettleParked also
  // lets the hooks look once for an index that another process made while runs went out
  // without keys.
  bool WriteParked();
  bool SettleParked();
  // Writes what is parked, then forgets the window.
  void DropWindow();
  // Keeps the stored image before the first change of a clean record.
  void Touch();
  // Before a write: every field of image_ equal to disk_ (not changed here) takes its bytes
  // from stored_ (the record as the file holds it now).
  void KeepFieldsNotChanged();
  void SetEof();
  // The record just loaded holds its entry's key, or the tries are used up (see NextVisible).
  bool Landed(int32_t recNo, int& tries);
  int32_t NextVisible(int32_t from);
  int32_t PriorVisible(int32_t from);
  int32_t FirstVisible();
  int32_t LastVisible();
  uint32_t MemoRef(const char* image, int field) const;
  // Gives back the memo entries written since the last store (nothing on disk refers to them).
  void FreeUncommitted();
  // Puts the memo references back to those of the record as stored, freeing the entries
  // written for it since; the record is clean again when nothing else changed.
  void DropMemoChanges();
  bool TryLock(int64_t off, int64_t len);
  bool Rewrite(bool keepRecords);
  std::string PackTemp(const char* ext) const;

  std::unique_ptr<DbfFile> dbf_;
  std::unique_ptr<MemoFile> memo_;
  std::unique_ptr<OrderHooks> hooks_;
  std::string memoPath_;
  std::string alias_;
  int openMode_ = 0;
  int tableType_ = 2;
  int32_t commitLevel_ = 0;

  int32_t recNo_ = 1;
  bool bof_ = true;
  bool eof_ = true;
  std::string image_;  // current record as the caller sees it
  std::string disk_;   // the record as this work area read it; kept only while dirty_ (see Touch)
  std::string stored_;  // the record as the file held it just before a write
  // The record bytes no field covers (KeepFieldsNotChanged), for records of uncoveredFor_ bytes.
  std::vector<size_t> uncovered_;
  size_t uncoveredFor_ = 0;
  bool dirty_ = false;
  // Written since the last commit's flush to disk (commit levels above 0 sync only these).
  bool dbfUnsynced_ = false;
  bool memoUnsynced_ = false;
  std::vector<MemoExtent> uncommitted_;   // written since the last store, not yet referenced on disk
  std::set<int> memoWritten_;             // memo fields written since the last store

  // Read-ahead window for skips; Go, locks and tops read the disk afresh.
  std::string window_;
  int32_t windowFirst_ = 0;
  int32_t windowCount_ = 0;
  // Under the file lock nobody else writes the table, so a window read then is the file's
  // own state for as long as the lock is held, and so is a record loaded from it
  // (imageLocked_): a write needs no fresh read, and a run of writes into the window
  // (records pendingFirst_ to pendingEnd_ - 1) goes out in one piece (WriteParked).
  bool windowLocked_ = false;
  bool imageLocked_ = false;
  int32_t pendingFirst_ = 0;
  int32_t pendingEnd_ = 0;
  bool pendingFailed_ = false;  // a run could not be written; told by the next Commit
  bool unindexedRuns_ = false;  // runs went out with no index following them

  std::set<int32_t> recordLocks_;
  bool fileLock_ = false;
  int32_t appendLock_ = 0;  // the record AppendBlank locked for its appender
  int32_t heldSinceAppend_ = 0;  // appended here, its lock never let go since
};

// The process-wide session.
struct CreationJob {
  std::string path;
  std::string alias;
  int tableType = 2;
  int fieldCount = 0;
  int memoBlockSize = 0;  // 0: the setting's
  std::vector<FieldDesc> fields;
  bool failed = false;
};

class Session {
 public:
  static Session& Get();
  WorkArea* Area(int n) const { return n >= 1 && n <= kMaxWorkAreas ? areas_[n].get() : nullptr; }
  WorkArea* Current() const { return Area(current_); }
  int CurrentNumber() const { return current_; }
  int Select(int n);  // returns the previous selection
  int FreeNumber() const;
  int Install(std::unique_ptr<WorkArea> area);
  void CloseArea(int n);
  void CloseAll();
  int FindAlias(const std::string& alias) const;
  CreationJob* Job(int n);
  int StartJob(CreationJob job);
  void EndJob(int n);

 private:
  std::array<std::unique_ptr<WorkArea>, kMaxWorkAreas + 1> areas_;
  std::array<std::unique_ptr<CreationJob>, kMaxWorkAreas + 1> jobs_;
  int current_ = 1;
};

// Memo file extension of a table type code.
const char* MemoExtension(int tableType);


}  // namespace xbe
