// Work areas: record buffer, navigation, memo fields, locks, pack and zap; the session.
#include "engine/src/WorkArea.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/core/Cp949.h"

namespace xbe {
namespace {

constexpr int32_t kWindowBytes = 64 * 1024;

bool IsMemoType(char t) { return t == 'M' || t == 'B' || t == 'G' || t == 'P'; }

std::string JournalPath(const std::string& dbfPath) {
  std::string f = FileOf(dbfPath);
  std::string ext = ExtensionOf(dbfPath);
  return FolderOf(dbfPath) + f.substr(0, f.size() - ext.size()) + ".$pj";
}

std::string TempPath(const std::string& dbfPath, const char* ext) {
  std::string f = FileOf(dbfPath);
  std::string own = ExtensionOf(dbfPath);
  return FolderOf(dbfPath) + f.substr(0, f.size() - own.size()) + ext;
}

// Finishes a pack or zap that a killed process left after its commit point (the journal
// exists: both new files are complete), or drops one it left before that point.
void RecoverRewrite(const std::string& dbfPath, const std::string& memoPath) {
  std::string journal = JournalPath(dbfPath);
  std::string newDbf = TempPath(dbfPath, ".$pd");
  std::string newMemo = TempPath(dbfPath, ".$pm");
  if (Fs().Exists(journal)) {
    if (Fs().Exists(newMemo) && !memoPath.empty()) Fs().Rename(newMemo, memoPath);
    if (Fs().Exists(newDbf)) Fs().Rename(newDbf, dbfPath);
    Fs().SyncFolder(dbfPath);
    Fs().Remove(journal);
  } else {
    if (Fs().Exists(newDbf)) Fs().Remove(newDbf);
    if (Fs().Exists(newMemo)) Fs().Remove(newMemo);
  }
}

}  // namespace

const char* MemoExtension(int tableType) {
  switch (tableType) {
    case 1:
    case 4:
      return ".dbt";
    case 3:
      return ".smt";
    default:
      return ".fpt";
  }
}

std::unique_ptr<WorkArea> WorkArea::Open(const std::string& path, const std::string& alias,
                                         int openMode, int tableType, int32_t commitLevel) {
  std::unique_ptr<WorkArea> w(new WorkArea());
  bool writable = openMode != 1;
  std::string memoGuess = CompanionPath(path, MemoExtension(tableType));
  if (Fs().Exists(JournalPath(path)) || Fs().Exists(TempPath(path, ".$pd"))) {
    // Only when nobody has the table open may a left-over rewrite be settled.
    std::unique_ptr<File> probe = Fs().Open(path, true, false, false);
    if (probe && probe->Lock(kLockOpen, 1, LockKind::Exclusive, false)) {
      RecoverRewrite(path, memoGuess);
      probe->Unlock(kLockOpen, 1);
    }
  }
  std::string error;
  LockKind kind = openMode == 2 ? LockKind::Exclusive : LockKind::Shared;
  for (int attempt = 0;; ++attempt) {
    w->dbf_ = DbfFile::Open(path, writable, &error);
    if (!w->dbf_) return nullptr;
    if (!w->dbf_->Io().Lock(kLockOpen, 1, kind, false)) return nullptr;
    // A pack or zap that put its new table in place, or a delete, between this open and its
    // lock leaves this file without its name: what would be written to it is lost. The name
    // is opened again.
    if (w->dbf_->Io().IsAt(path)) break;
    if (attempt == 8) return nullptr;
  }
  bool needsMemo = false;
  for (const FieldDesc& f : w->dbf_->Fields())
    if (IsMemoType(f.type)) needsMemo = true;
  if (needsMemo) {
    // A table opened under another type code still finds the memo file it was made with.
    for (const char* ext : {".smt", ".fpt", ".dbt"}) {
      if (Fs().Exists(memoGuess)) break;
      memoGuess = CompanionPath(path, ext);
    }
    w->memoPath_ = memoGuess;
    w->memo_ = MemoFile::Open(w->memoPath_, writable, &error);
    if (!w->memo_) return nullptr;
  }
  w->alias_ = alias;
  w->openMode_ = openMode;
  w->tableType_ = tableType;
  w->commitLevel_ = commitLevel;
  w->image_.assign(w->dbf_->RecSize(), ' ');
  w->disk_ = w->image_;
  w->SetEof();
  return w;
}

void WorkArea::AttachHooks() { AttachHooks(MakeOrderHooks(*this, dbf_->Path(), tableType_)); }

void WorkArea::AttachHooks(std::unique_ptr<OrderHooks> hooks) {
  hooks_ = std::move(hooks);
  GoTop();
}

WorkArea::~WorkArea() {
  if (dbf_) Close();
}

void WorkArea::Close() {
  if (!dbf_) return;
  FlushAll();
  if (hooks_) hooks_->Closing();
  hooks_.reset();
  Unlock(0);
  memo_.reset();
  dbf_.reset();
}

int WorkArea::FieldIndex(std::string_view name) const {
  std::string_view n = name;
  while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
  while (!n.empty() && n.front() == ' ') n.remove_prefix(1);
  // Stored names are upper case; only ASCII letters fold (field names are ASCII).
  auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  const auto& fs = dbf_->Fields();
  for (size_t i = 0; i < fs.size(); ++i) {
    const std::string& f = fs[i].name;
    if (f.size() != n.size()) continue;
    size_t k = 0;
    while (k < f.size() && f[k] == fold(n[k])) ++k;
    if (k == f.size()) return static_cast<int>(i);
  }
  return -1;
}

// ---- reading records ----------------------------------------------------------------------

bool WorkArea::Load(int32_t recNo, int direction) {
  const int rs = dbf_->RecSize();
  const bool inWindow = recNo >= windowFirst_ && recNo < windowFirst_ + windowCount_;
  // A window read under the file lock is as fresh as the disk (fresher: parked writes).
  if (inWindow && (direction != 0 || (fileLock_ && windowLocked_))) {
    image_.assign(window_.data() + static_cast<size_t>(recNo - windowFirst_) * rs, rs);
    imageLocked_ = fileLock_ && windowLocked_;
  } else if (direction != 0) {
    DropWindow();
    int32_t n = std::max<int32_t>(1, kWindowBytes / rs);
    int32_t first = direction > 0 ? recNo : std::max<int32_t>(1, recNo - n + 1);
    window_.resize(static_cast<size_t>(n) * rs);
    windowFirst_ = first;
    windowCount_ = dbf_->ReadRecords(first, n, window_.data());
    windowLocked_ = fileLock_;
    if (recNo < windowFirst_ || recNo >= windowFirst_ + windowCount_) {
      windowCount_ = 0;
      return false;
    }
    image_.assign(window_.data() + static_cast<size_t>(recNo - windowFirst_) * rs, rs);
    imageLocked_ = fileLock_;
  } else {
    DropWindow();
    image_.resize(rs);
    if (dbf_->ReadRecords(recNo, 1, image_.data()) != 1) return false;
    imageLocked_ = fileLock_;
  }
  recNo_ = recNo;
  return true;
}

void WorkArea::DropWindow() {
  SettleParked();
  windowCount_ = 0;
  windowLocked_ = false;
}

void WorkArea::Touch() {
  if (!dirty_) disk_ = image_;
}

void WorkArea::SetEof() {
  recNo_ = dbf_->Count() + 1;
  image_.assign(dbf_->RecSize(), ' ');
  eof_ = true;
}

bool WorkArea::ReadImage(int32_t recNo, std::string& image) const {
  if (recNo == recNo_ && !eof_) {
    image = image_;
    return true;
  }
  if (recNo < 1) return false;
  if (fileLock_ && windowLocked_ && recNo >= windowFirst_ && recNo < windowFirst_ + windowCount_) {
    const size_t rs = static_cast<size_t>(dbf_->RecSize());
    image.assign(window_.data() + static_cast<size_t>(recNo - windowFirst_) * rs, rs);
    return true;
  }
  image.resize(dbf_->RecSize());
  return dbf_->ReadRecords(recNo, 1, image.data()) == 1;
}

bool WorkArea::Visible(int32_t recNo, const char* image) const {
  if (Settings().deletedHidden && image[0] == '*') return false;
  if (hooks_ && !hooks_->Visible(recNo, image)) return false;
  return true;
}

int32_t WorkArea::RefreshCount() { return dbf_->RefreshCount(); }

// The four walks below leave the found record loaded; 0 = none. In an order, each record
// landed on is shown to the hooks, which may find that it does not hold its entry's key: the
// index has then been mended, and the move is made again (a few times at most: a table that
// keeps changing under writers that do not follow the index is taken as it comes). An order
// given up meanwhile ends the walk: going on in another order would show records twice or
// not at all.
namespace {
constexpr int kLandingTries = 4;
}

bool WorkArea::Landed(int32_t recNo, int& tries) {
  return hooks_->ConfirmLanding(recNo, image_.data()) || ++tries >= kLandingTries;
}

int32_t WorkArea::NextVisible(int32_t from) {
  bool ordered = hooks_ && hooks_->HasActiveOrder();
  int32_t r = from;
  int tries = 0;
  for (;;) {
    if (ordered) {
      const int32_t next = hooks_->Next(r);
      if (next <= 0 || !Load(next, 0)) return 0;
      if (!Landed(next, tries)) continue;
      r = next;
    } else {
      ++r;
      if (r > dbf_->Count() && r > dbf_->RefreshCount()) return 0;
      if (!Load(r, 1)) return 0;
    }
    if (Visible(r, image_.data())) return r;
  }
}

int32_t WorkArea::PriorVisible(int32_t from) {
  bool ordered = hooks_ && hooks_->HasActiveOrder();
  int32_t r = from;
  int tries = 0;
  for (;;) {
    if (ordered) {
      const int32_t prior = hooks_->Prior(r);
      if (prior <= 0 || !Load(prior, 0)) return 0;
      if (!Landed(prior, tries)) continue;
      r = prior;
    } else {
      --r;
      if (r < 1) return 0;
      if (!Load(r, -1)) return 0;
    }
    if (Visible(r, image_.data())) return r;
  }
}

int32_t WorkArea::FirstVisible() {
  DropWindow();
  // An order names the records itself (one past the count seen is read from the file), so
  // only a walk in record order starts from a fresh look at the size.
  if (hooks_ && hooks_->HasActiveOrder()) {
    for (int tries = 0;;) {
      const int32_t r = hooks_->First();
      if (r <= 0 || !Load(r, 0)) return 0;
      if (!Landed(r, tries)) continue;
      return Visible(r, image_.data()) ? r : NextVisible(r);
    }
  }
  dbf_->RefreshCount();
  return NextVisible(0);
}

int32_t WorkArea::LastVisible() {
  DropWindow();
  if (hooks_ && hooks_->HasActiveOrder()) {
    for (int tries = 0;;) {
      const int32_t r = hooks_->Last();
      if (r <= 0 || !Load(r, 0)) return 0;
      if (!Landed(r, tries)) continue;
      return Visible(r, image_.data()) ? r : PriorVisible(r);
    }
  }
  return PriorVisible(dbf_->RefreshCount() + 1);
}

void WorkArea::GoTop() {
  Flush();
  int32_t r = FirstVisible();
  if (r == 0) {
    dbf_->RefreshCount();  // the end of file lies past every record there is now
    SetEof();
    bof_ = true;
    return;
  }
  bof_ = eof_ = false;
}

void WorkArea::GoBottom() {
  Flush();
  int32_t r = LastVisible();
  if (r == 0) {
    dbf_->RefreshCount();
    SetEof();
    bof_ = true;
    return;
  }
  bof_ = eof_ = false;
}

void WorkArea::Go(int32_t recNo) {
  Flush();
  // A record within the count seen is there still (a shared table only grows; a pack or zap
  // has it to itself), so only one past it needs a fresh look at the size.
  const bool counted = recNo >= 1 && recNo <= dbf_->Count();
  if (counted && Load(recNo, 0)) {
    bof_ = eof_ = false;
    return;
  }
  int32_t count = dbf_->RefreshCount();
  if (!counted && recNo >= 1 && recNo <= count && Load(recNo, 0)) {
    bof_ = eof_ = false;
    return;
  }
  SetEof();
  bof_ = count == 0;
}

void WorkArea::Position(int32_t recNo) { Go(recNo); }

void WorkArea::Skip(int32_t count) {
  Flush();
  if (count == 0) {
    if (!eof_ && !Load(recNo_, 0)) SetEof();
    return;
  }
  if (count > 0) {
    if (eof_) return;
    bof_ = false;
    for (int32_t i = 0; i < count; ++i) {
      int32_t r = NextVisible(recNo_);
      if (r == 0) {
        SetEof();
        return;
      }
    }
    return;
  }
  // Backwards: from EOF the first step reaches the last visible record.
  for (int32_t i = 0; i < -count; ++i) {
    int32_t r = eof_ ? LastVisible() : PriorVisible(recNo_);
    if (r == 0) {
      // Nothing before: stay on the first visible record with BOF set.
      int32_t first = FirstVisible();
      if (first == 0) {
        SetEof();
      } else {
        eof_ = false;
      }
      bof_ = true;
      return;
    }
    eof_ = false;
    bof_ = false;
  }
}

int32_t WorkArea::CountVisible() {
  Flush();
  int32_t keep = eof_ ? 0 : recNo_;
  bool keepBof = bof_, keepEof = eof_;
  int32_t n = 0;
  for (int32_t r = FirstVisible(); r != 0; r = NextVisible(r)) ++n;
  if (keep) {
    Go(keep);
  } else {
    SetEof();
  }
  bof_ = keepBof;
  eof_ = keepEof;
  return n;
}

// ---- writing records ----------------------------------------------------------------------

bool WorkArea::Flush() {
  if (!dirty_) return true;
  if (Park()) return true;
  // The file is read below: what waits in the window goes first.
  SettleParked();
  dirty_ = false;
  // From here to the end of the write the hooks hold their index locks, so no other writer
  // of an indexed table can change the record between this read and the write.
  if (hooks_ && hooks_->RecordWillChange(recNo_) == OrderHooks::WriteGate::kRefused) {
    // Another copy keeps an index lock past the wait: neither the record nor its keys are
    // written, and the edit goes as a failed write's does.
    FreeUncommitted();
    memoWritten_.clear();
    image_ = disk_;
    return false;
  }
  // A record appended here and locked ever since holds what this work area last wrote: no
  // writer that respects locks can have stored anything over it, so there is nothing to re-read.
  const bool ownSinceAppend = recNo_ == heldSinceAppend_ && recordLocks_.count(recNo_) && disk_.size() == image_.size();
  bool haveStored = false;
  if (!ownSinceAppend) {
    stored_.resize(image_.size());
    haveStored = dbf_->ReadRecords(recNo_, 1, stored_.data()) == 1;
    if (haveStored) KeepFieldsNotChanged();
  }
  // The keys and the memo entries this write replaces are those of the record as stored now.
  const std::string& before = haveStored ? stored_ : disk_;
  std::vector<uint32_t> replaced;
  for (size_t i = 0; memo_ && i < dbf_->Fields().size(); ++i) {
    int field = static_cast<int>(i);
    if (!IsMemoField(field)) continue;
    uint32_t now = MemoRef(image_.data(), field);
    uint32_t was = MemoRef(before.data(), field);
    if (memoWritten_.count(field) && was != 0 && was != now) replaced.push_back(was);
  }
  memoWritten_.clear();
  if (!dbf_->WriteRecord(recNo_, image_.data())) {
    if (hooks_) hooks_->RecordNotWritten(recNo_);
    // The record stays as the disk has it; the entries written for it are let go.
    FreeUncommitted();
    image_ = before;
    return false;
  }
  if (recNo_ >= windowFirst_ && recNo_ < windowFirst_ + windowCount_)
    std::memcpy(window_.data() + static_cast<size_t>(recNo_ - windowFirst_) * image_.size(),
                image_.data(), image_.size());
  dbfUnsynced_ = true;
  if (hooks_) hooks_->RecordWritten(recNo_, before.data(), image_.data());
  disk_ = image_;
  // Only now does no record on disk point at the replaced entries any more.
  for (uint32_t block : replaced) memo_->Free({block, memo_->BlocksOf(block)});
  if (!replaced.empty()) memoUnsynced_ = true;
  uncommitted_.clear();
  return true;
}

void WorkArea::KeepFieldsNotChanged() {
  // A field this work area did not change keeps what the file holds now, not the copy read
  // before another user's save: that save is never written back over. The deletion flag and
  // a memo reference count as fields; bytes outside every field go one by one.
  const size_t size = image_.size();
  if (disk_.size() != size || stored_.size() != size) return;
  char* now = image_.data();
  const char* read = disk_.data();
  const char* stored = stored_.data();
  auto keep = [&](size_t off, size_t width) {
    if (off + width <= size && std::memcmp(now + off, read + off, width) == 0)
      std::memcpy(now + off, stored + off, width);
  };
  keep(0, 1);
  const auto& fields = dbf_->Fields();
  if (uncoveredFor_ != size) {
    // The bytes no field covers, found once: the layout does not change while open.
    std::vector<bool> covered(size, false);
    covered[0] = size > 0;
    for (const FieldDesc& f : fields)
      for (size_t k = static_cast<size_t>(f.offset); k < static_cast<size_t>(f.offset + f.width) && k < size; ++k)
        covered[k] = true;
    uncovered_.clear();
    for (size_t k = 0; k < size; ++k)
      if (!covered[k]) uncovered_.push_back(k);
    uncoveredFor_ = size;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    // A rewritten body may have been given the very blocks its old reference named.
    if (!memoWritten_.empty() && memoWritten_.count(static_cast<int>(i))) continue;
    keep(static_cast<size_t>(fields[i].offset), static_cast<size_t>(fields[i].width));
  }
  for (size_t k : uncovered_) keep(k, 1);
}

bool WorkArea::Park() {
  if (!fileLock_ || !imageLocked_) return false;
  // Memo entries and deletions have bookkeeping of their own at each write.
  if (!memoWritten_.empty() || !uncommitted_.empty() || image_[0] != disk_[0]) return false;
  // A run holds only records written here: one that does not join it sends it out first, so
  // no other record (a deleted note, the header) is ever rewritten along with them.
  const bool joins = recNo_ >= pendingFirst_ - 1 && recNo_ <= pendingEnd_;
  if (pendingEnd_ > pendingFirst_ && !joins) WriteParked();
  // (That write may have found a new index, or failed and dropped the window.)
  if (!windowLocked_ || recNo_ < windowFirst_ || recNo_ >= windowFirst_ + windowCount_) return false;
  if (hooks_ && hooks_->FollowsWrites()) return false;
  std::memcpy(window_.data() + static_cast<size_t>(recNo_ - windowFirst_) * image_.size(), image_.data(),
              image_.size());
  if (pendingEnd_ <= pendingFirst_) {
    pendingFirst_ = recNo_;
    pendingEnd_ = recNo_ + 1;
  } else {
    pendingFirst_ = std::min(pendingFirst_, recNo_);
    pendingEnd_ = std::max(pendingEnd_, recNo_ + 1);
  }
  dirty_ = false;
  disk_ = image_;
  dbfUnsynced_ = true;
  return true;
}

bool WorkArea::WriteParked() {
  if (pendingEnd_ <= pendingFirst_) return true;
  const int32_t first = pendingFirst_, n = pendingEnd_ - pendingFirst_;
  pendingFirst_ = pendingEnd_ = 0;
  const size_t rs = static_cast<size_t>(dbf_->RecSize());
  const char* from = window_.data() + static_cast<size_t>(first - windowFirst_) * rs;
  bool ok = true;
  if (hooks_ && hooks_->FollowsWrites()) {
    // An index was opened while records waited: each goes out with its keys, from the
    // record the file still holds.
    std::string old(rs, ' ');
    for (int32_t i = 0; i < n; ++i) {
      const int32_t r = first + i;
      const char* now = from + static_cast<size_t>(i) * rs;
      if (hooks_->RecordWillChange(r) == OrderHooks::WriteGate::kRefused) {
        ok = false;  // an index lock kept past the wait: this record and the rest stay out
        break;
      }
      const bool have = dbf_->ReadRecords(r, 1, old.data()) == 1;
      if (!dbf_->WriteRecords(r, 1, now)) {
        hooks_->RecordNotWritten(r);
        ok = false;
        continue;
      }
      hooks_->RecordWritten(r, have ? old.data() : now, now);
    }
  } else {
    ok = dbf_->WriteRecords(first, n, from);
    // Another process may have made the production index while the records waited: looked
    // for once the window's runs are out (SettleParked).
    unindexedRuns_ = true;
  }
  if (!ok) {
    // The window no longer says what the file holds; the next commit reports the loss.
    pendingFailed_ = true;
    windowCount_ = 0;
    windowLocked_ = false;
  }
  return ok;
}

bool WorkArea::SettleParked() {
  const bool ok = WriteParked();
  if (unindexedRuns_) {
    unindexedRuns_ = false;
    if (hooks_) hooks_->UnindexedWritesDone();
  }
  return ok;
}

bool WorkArea::FlushAll() {
  bool ok = Flush();
  return SettleParked() && ok;
}

bool WorkArea::Commit() {
  bool ok = FlushAll();
  if (pendingFailed_) {
    pendingFailed_ = false;
    ok = false;
  }
  if (ok && commitLevel_ != 0) {
    // Memo blocks first: the record must never reach the disk before what it points to.
    if (memo_ && memoUnsynced_) ok = memo_->Sync();
    if (dbfUnsynced_) ok = dbf_->Io().Sync() && ok;
    if (ok) dbfUnsynced_ = memoUnsynced_ = false;
  }
  return ok;
}

void WorkArea::Delete() {
  if (eof_ || !Writable() || image_[0] == '*') return;
  Touch();
  image_[0] = '*';
  dirty_ = true;
  Flush();
}

void WorkArea::Recall() {
  if (eof_ || !Writable() || image_[0] != '*') return;
  Touch();
  image_[0] = ' ';
  dirty_ = true;
  Flush();
}

std::string WorkArea::BlankImage() const {
  std::string blank(dbf_->RecSize(), ' ');
  // Other tools read four blanks in an I field as 538976288: empty is binary zero.
  for (const FieldDesc& f : dbf_->Fields())
    if (f.type == 'I') std::memset(blank.data() + f.offset, 0, static_cast<size_t>(f.width));
  return blank;
}

bool WorkArea::AppendBlank() {
  FlushAll();
  if (!Writable()) return false;
  // One appended record is held at a time: the one before goes back to everyone. When it is
  // the only lock held here, it goes back with the append lock, in one call.
  int32_t giveBack = 0;
  if (appendLock_ > 0) {
    if (!fileLock_ && openMode_ != 2 && recordLocks_.size() == 1 && recordLocks_.count(appendLock_)) {
      giveBack = appendLock_;
      recordLocks_.clear();
      appendLock_ = heldSinceAppend_ = 0;
    } else {
      Unlock(appendLock_);
    }
  }
  std::string blank = BlankImage();
  if (hooks_ && hooks_->RecordWillChange(0) == OrderHooks::WriteGate::kRefused) {
    // No record goes in without its keys; the one appended before goes back all the same.
    if (giveBack > 0) dbf_->Io().Unlock(kLockRecords + giveBack, 1);
    return false;
  }
  // The new record is its appender's until it unlocks it: no one else writes it before its
  // first save. (A file lock already covers it.)
  bool locked = false;
  int32_t r = dbf_->Append(blank.data(), !fileLock_ && openMode_ != 2, &locked, giveBack);
  if (r == 0) {
    if (hooks_) hooks_->RecordNotWritten(0);
    return false;
  }
  dbfUnsynced_ = true;
  DropWindow();
  recNo_ = r;
  image_ = blank;
  bof_ = eof_ = false;
  if (hooks_) hooks_->RecordAppended(r, image_.data());
  if (!fileLock_ && (openMode_ == 2 || locked)) {
    recordLocks_.insert(r);
    appendLock_ = heldSinceAppend_ = r;
  }
  return true;
}

int64_t WorkArea::AppendBulk(const std::function<bool(BulkBatch&)>& next, bool rebuildTags) {
  Flush();
  if (!Writable()) return -1;
  if (appendLock_ > 0) Unlock(appendLock_);
  const int rs = dbf_->RecSize();
  const auto& fields = dbf_->Fields();
  // One announcement for the whole load when the tags are rebuilt at its end.
  const OrderHooks::WriteGate gate = rebuildTags && hooks_ ? hooks_->RecordWillChange(0) : OrderHooks::WriteGate::kUnindexed;
  if (gate == OrderHooks::WriteGate::kRefused) return -1;
  const bool held = gate == OrderHooks::WriteGate::kIndexed;
  int64_t appended = 0;
  bool ok = true;
  BulkBatch b;
  std::vector<std::string> entries;
  std::vector<const BulkBatch::Memo*> owners;
  std::vector<uint32_t> blocks;
  std::vector<MemoExtent> written;
  while (ok) {
    b.images.clear();
    b.memos.clear();
    if (!next(b)) break;
    const int32_t n = static_cast<int32_t>(b.images.size() / static_cast<std::size_t>(rs));
    if (n == 0) continue;
    written.clear();
    // Memo entries first (text and binary ones each in one write), then the records that
    // refer to them.
    for (uint32_t type : {MemoFile::kText, MemoFile::kBinary}) {
      entries.clear();
      owners.clear();
      for (BulkBatch::Memo& m : b.memos) {
        if (!memo_ || m.data.empty() || m.record < 0 || m.record >= n || !IsMemoField(m.field)) continue;
        if ((fields[static_cast<std::size_t>(m.field)].type == 'M') != (type == MemoFile::kText)) continue;
        entries.push_back(std::move(m.data));
        owners.push_back(&m);
      }
      if (entries.empty()) continue;
      if (!memo_->WriteMany(entries, type, &blocks)) {
        ok = false;
        break;
      }
      memoUnsynced_ = true;
      for (std::size_t i = 0; i < owners.size(); ++i) {
        const FieldDesc& f = fields[static_cast<std::size_t>(owners[i]->field)];
        const std::string ref = EncodeMemoRef(blocks[i], f.width);
        std::memcpy(b.images.data() + static_cast<std::size_t>(owners[i]->record) * rs + f.offset, ref.data(),
                    ref.size());
        const std::size_t bs = static_cast<std::size_t>(memo_->BlockSize());
        written.push_back({blocks[i], static_cast<uint32_t>((entries[i].size() + 8 + bs - 1) / bs)});
      }
    }
    int32_t first = 0;
    if (ok) {
      if (!held && hooks_ && hooks_->RecordWillChange(0) == OrderHooks::WriteGate::kRefused) {
        first = 0;  // an index lock kept past the wait: this batch and the rest stay out
      } else {
        first = dbf_->AppendMany(b.images.data(), n);
        if (first == 0 && !held && hooks_) hooks_->RecordNotWritten(0);
      }
    }
    if (first == 0) {
      // No record refers to this batch's entries: they go back.
      for (const MemoExtent& e : written) memo_->Free(e);
      ok = false;
      break;
    }
    dbfUnsynced_ = true;
    if (!held && hooks_) hooks_->RecordsAppended(first, n, b.images.data(), rs);
    appended += n;
    recNo_ = first + n - 1;
    image_.assign(b.images.data() + static_cast<std::size_t>(n - 1) * rs, static_cast<std::size_t>(rs));
    bof_ = eof_ = false;
  }
  windowCount_ = 0;
  if (held) hooks_->BulkAppendEnded();
  return ok ? appended : -1;
}

void WorkArea::GetRecord(void* out) const { std::memcpy(out, image_.data(), image_.size()); }

void WorkArea::PutRecord(const void* in) {
  if (eof_ || !Writable() || !in) return;
  std::string next(static_cast<const char*>(in), image_.size());
  next[0] = next[0] == '*' ? '*' : ' ';
  // The memo references stay those of the stored record: an image never points a memo
  // field at blocks it does not own.
  for (const FieldDesc& f : dbf_->Fields())
    if (IsMemoType(f.type)) std::memcpy(next.data() + f.offset, image_.data() + f.offset, f.width);
  Touch();
  image_ = next;
  dirty_ = true;
  Flush();
}

std::string WorkArea::Raw(int field) const { return std::string(RawView(field)); }

std::string_view WorkArea::RawView(int field) const {
  const FieldDesc& f = dbf_->Fields()[field];
  return std::string_view(image_).substr(f.offset, f.width);
}

bool WorkArea::SetRaw(int field, const std::string& bytes) {
  if (eof_ || !Writable()) return false;
  const FieldDesc& f = dbf_->Fields()[field];
  std::string v = bytes.substr(0, f.width);
  v.resize(f.width, ' ');
  if (image_.compare(f.offset, f.width, v) == 0) return true;
  Touch();
  std::memcpy(image_.data() + f.offset, v.data(), f.width);
  dirty_ = true;
  return true;
}

// ---- memo fields --------------------------------------------------------------------------

uint32_t WorkArea::MemoRef(const char* image, int field) const {
  const FieldDesc& f = dbf_->Fields()[field];
  return DecodeMemoRef(image + f.offset, f.width);
}

std::string WorkArea::ReadMemo(int field, const char* image) const {
  std::string out;
  if (!memo_ || field < 0 || field >= static_cast<int>(dbf_->Fields().size()) || !IsMemoField(field))
    return out;
  uint32_t ref = MemoRef(image, field);
  if (ref) memo_->Read(ref, &out);
  return out;
}

bool WorkArea::ReadMemoField(int field, std::string* out, uint32_t* type) const {
  out->clear();
  if (!memo_ || eof_) return false;
  uint32_t ref = MemoRef(image_.data(), field);
  if (!ref) return true;
  return memo_->Read(ref, out, type);
}

int64_t WorkArea::MemoLength(int field) const {
  if (!memo_ || eof_) return 0;
  uint32_t ref = MemoRef(image_.data(), field);
  if (!ref) return 0;
  int64_t n = memo_->Length(ref);
  return n < 0 ? 0 : n;
}

bool WorkArea::WriteMemoField(int field, const void* data, size_t n, uint32_t type) {
  if (eof_ || !Writable() || !memo_) return false;
  const FieldDesc& f = dbf_->Fields()[field];
  Touch();
  // An entry written since the record was last stored: nothing on disk refers to it, so it
  // goes as soon as the new one stands. (Looked up first: the new entry may be given the
  // blocks of a stale reference that another user's save freed.) An entry the stored record
  // refers to is freed by the write that replaces it (see Flush).
  uint32_t old = MemoRef(image_.data(), field);
  auto mine = std::find_if(uncommitted_.begin(), uncommitted_.end(),
                           [&](const MemoExtent& e) { return old != 0 && e.block == old; });
  std::optional<MemoExtent> superseded;
  if (mine != uncommitted_.end()) {
    superseded = *mine;
    uncommitted_.erase(mine);
  }
  MemoExtent fresh;
  if (data && n > 0) {
    fresh = memo_->Write(data, n, type);
    memoUnsynced_ = true;
    if (fresh.block != 0 && DecodeMemoRef(EncodeMemoRef(fresh.block, f.width).data(), f.width) != fresh.block) {
      memo_->Free(fresh);  // a reference this field cannot hold
      fresh = {};
    }
    if (fresh.block == 0) {
      if (superseded) uncommitted_.push_back(*superseded);
      DropMemoChanges();
      return false;
    }
    uncommitted_.push_back(fresh);
  }
  if (superseded) memo_->Free(*superseded);
  std::string ref = EncodeMemoRef(fresh.block, f.width);
  std::memcpy(image_.data() + f.offset, ref.data(), f.width);
  memoWritten_.insert(field);
  dirty_ = true;
  return true;
}

void WorkArea::FreeUncommitted() {
  for (const MemoExtent& e : uncommitted_) memo_->Free(e);
  uncommitted_.clear();
}

void WorkArea::DropMemoChanges() {
  // The memo fields of a record change together or not at all: a reference left standing
  // here would reach the file with the next move, one body new and the other old.
  FreeUncommitted();
  for (int field : memoWritten_) {
    const FieldDesc& f = dbf_->Fields()[static_cast<std::size_t>(field)];
    std::memcpy(image_.data() + f.offset, disk_.data() + f.offset, f.width);
  }
  memoWritten_.clear();
  if (image_ == disk_) dirty_ = false;
}

// ---- locks --------------------------------------------------------------------------------

bool WorkArea::TryLock(int64_t off, int64_t len) {
  return LockWithin(dbf_->Io(), off, len, LockKind::Exclusive, Settings().lockTimeoutSeconds);
}

bool WorkArea::Rlock(int32_t recNo) {
  // A record not yet saved (number below 1) needs no lock.
  if (recNo < 1) return true;
  if (recNo == appendLock_) appendLock_ = 0;  // asked for: now the caller's own lock
  if (fileLock_ || recordLocks_.count(recNo)) return true;
  if (openMode_ == 2) {
    recordLocks_.insert(recNo);
    return true;
  }
  if (!TryLock(kLockRecords + recNo, 1)) return false;
  recordLocks_.insert(recNo);
  // What another user stored before we held the lock is what an edit must start from; a
  // read-ahead copy of the record is as old.
  if (recNo >= windowFirst_ && recNo < windowFirst_ + windowCount_) DropWindow();
  if (recNo == recNo_ && !eof_ && !dirty_) Load(recNo_, 0);
  return true;
}

bool WorkArea::Flock() {
  if (fileLock_) return true;
  if (openMode_ == 2) {
    fileLock_ = true;
    return true;
  }
  if (!TryLock(kLockRecords, kLockRecordSpan)) return false;
  // The file lock covers this work area's record locks, which merged into it.
  recordLocks_.clear();
  appendLock_ = heldSinceAppend_ = 0;
  fileLock_ = true;
  // As with a record lock: a walk under the file lock starts from what is stored now.
  DropWindow();
  if (!eof_ && !dirty_) Load(recNo_, 0);
  return true;
}

void WorkArea::Unlock(int32_t recNo) {
  if (!dbf_) return;
  // Nothing may wait in the window once others can write again.
  FlushAll();
  if (recNo == 0) {
    if (openMode_ != 2) {
      if (fileLock_) dbf_->Io().Unlock(kLockRecords, kLockRecordSpan);
      for (int32_t r : recordLocks_) dbf_->Io().Unlock(kLockRecords + r, 1);
    }
    fileLock_ = false;
    windowLocked_ = imageLocked_ = false;
    recordLocks_.clear();
    appendLock_ = heldSinceAppend_ = 0;
    return;
  }
  if (recNo == appendLock_) appendLock_ = 0;
  if (recNo == heldSinceAppend_) heldSinceAppend_ = 0;
  auto it = recordLocks_.find(recNo);
  if (it == recordLocks_.end()) return;
  if (openMode_ != 2) dbf_->Io().Unlock(kLockRecords + recNo, 1);
  recordLocks_.erase(it);
}

bool WorkArea::Locked(int32_t recNo) const {
  if (fileLock_) return true;
  return recordLocks_.count(recNo) > 0;
}

int32_t WorkArea::LockCount() const {
  return static_cast<int32_t>(recordLocks_.size()) + (fileLock_ ? 1 : 0);
}

std::string WorkArea::LockList() const {
  std::string out;
  for (int32_t r : recordLocks_) {
    if (!out.empty()) out += ',';
    out += std::to_string(r);
  }
  return out;
}

// ---- pack and zap -------------------------------------------------------------------------

bool WorkArea::Pack() { return Rewrite(true); }
bool WorkArea::Zap() { return Rewrite(false); }

bool WorkArea::Rewrite(bool keepRecords) {
  if (openMode_ != 2) return false;
  FlushAll();
  // The tags are rebuilt from the new table under their locks, taken before anything changes:
  // refused, the table stays as it is.
  if (hooks_ && !hooks_->LockForRewrite()) return false;
  struct GiveBack {
    OrderHooks* hooks;
    ~GiveBack() {
      if (hooks) hooks->RecordNotWritten(0);
    }
  } giveBack{hooks_.get()};
  const std::string path = dbf_->Path();
  const std::string newDbf = TempPath(path, ".$pd");
  const std::string newMemo = TempPath(path, ".$pm");
  const std::string journal = JournalPath(path);
  Fs().Remove(newDbf);
  Fs().Remove(newMemo);
  auto abandon = [&]() {
    Fs().Remove(newDbf);
    Fs().Remove(newMemo);
    return false;
  };
  // The header of the new file is the old one, count aside.
  std::string header(dbf_->HeaderLen(), '\0');
  if (dbf_->Io().ReadAt(0, header.data(), header.size()) != static_cast<ssize_t>(header.size()))
    return false;
  std::unique_ptr<File> out = Fs().Open(newDbf, true, true, true);
  if (!out || !out->WriteAt(0, header.data(), header.size())) return abandon();
  std::unique_ptr<MemoFile> outMemo;
  if (memo_) {
    if (!MemoFile::Create(newMemo, memo_->BlockSize())) return abandon();
    std::string err;
    outMemo = MemoFile::Open(newMemo, true, &err);
    if (!outMemo) return abandon();
  }
  const int rs = dbf_->RecSize();
  int32_t count = dbf_->RefreshCount();
  int32_t written = 0;
  std::string buf;
  std::string rec(rs, ' ');
  std::string text;
  int lastPercent = 0;
  int64_t pos = header.size();
  for (int32_t r = 1; keepRecords && r <= count; ++r) {
    if (dbf_->ReadRecords(r, 1, rec.data()) != 1) return abandon();
    int percent = static_cast<int>(int64_t(r) * 100 / count);
    if (percent != lastPercent) ReportProgress(lastPercent = percent);
    if (rec[0] == '*') continue;
    if (outMemo) {
      for (size_t i = 0; i < dbf_->Fields().size(); ++i) {
        const FieldDesc& f = dbf_->Fields()[i];
        if (!IsMemoType(f.type)) continue;
        uint32_t ref = MemoRef(rec.data(), static_cast<int>(i));
        std::string refText(f.width, ' ');
        uint32_t type = MemoFile::kText;
        if (ref && memo_->Read(ref, &text, &type) && !text.empty()) {
          MemoExtent e = outMemo->Write(text.data(), text.size(), type);
          if (e.block == 0) return abandon();
          refText = EncodeMemoRef(e.block, f.width);
        }
        std::memcpy(rec.data() + f.offset, refText.data(), f.width);
      }
    }
    buf += rec;
    ++written;
    if (buf.size() >= 1 << 20) {
      if (!out->WriteAt(pos, buf.data(), buf.size())) return abandon();
      pos += buf.size();
      buf.clear();
    }
  }
  ReportProgress(100);
  buf += '\x1A';
  char cnt[4];
  for (int k = 0; k < 4; ++k) cnt[k] = static_cast<char>((static_cast<uint32_t>(written) >> (8 * k)) & 0xFF);
  if (!out->WriteAt(pos, buf.data(), buf.size()) || !out->WriteAt(4, cnt, 4) || !out->Sync())
    return abandon();
  out.reset();
  std::string err;
  std::unique_ptr<DbfFile> fresh = DbfFile::Open(newDbf, true, &err);
  // Held before the rename, so nobody opens the new file between rename and reopen.
  if (!fresh || !fresh->Io().Lock(kLockOpen, 1, LockKind::Exclusive, false)) return abandon();
  // Commit point: once the journal exists, an interrupted rewrite is finished on next open.
  {
    std::unique_ptr<File> j = Fs().Open(journal, true, true, false);
    if (!j || !j->WriteAt(0, "rewrite\n", 8) || !j->Sync()) {
      Fs().Remove(journal);
      return abandon();
    }
    Fs().SyncFolder(journal);
  }
  if (memo_) Fs().Rename(newMemo, memoPath_);
  Fs().Rename(newDbf, path);
  Fs().SyncFolder(path);
  Fs().Remove(journal);
  // The record locks lived on the old file.
  recordLocks_.clear();
  appendLock_ = heldSinceAppend_ = 0;
  fileLock_ = false;
  dbf_ = std::move(fresh);
  dbf_->Renamed(path);
  if (memo_) {
    memo_ = MemoFile::Open(memoPath_, true, &err);
    outMemo.reset();
  }
  uncommitted_.clear();
  windowCount_ = 0;
  windowLocked_ = imageLocked_ = false;
  giveBack.hooks = nullptr;
  if (hooks_) hooks_->TableRewritten();
  GoTop();
  return true;
}

// ---- session ------------------------------------------------------------------------------

Session& Session::Get() {
  static Session s;
  return s;
}

int Session::Select(int n) {
  int previous = current_;
  if (n >= 1 && n <= kMaxWorkAreas) current_ = n;
  return previous;
}

int Session::FreeNumber() const {
  for (int i = 1; i <= kMaxWorkAreas; ++i)
    if (!areas_[i] && !jobs_[i]) return i;
  return 0;
}

int Session::Install(std::unique_ptr<WorkArea> area) {
  int n = FreeNumber();
  if (n == 0) return 0;
  areas_[n] = std::move(area);
  current_ = n;
  areas_[n]->AttachHooks();
  return n;
}

void Session::CloseArea(int n) {
  if (n < 1 || n > kMaxWorkAreas) return;
  if (areas_[n]) {
    areas_[n]->Close();
    areas_[n].reset();
  }
  jobs_[n].reset();
}

void Session::CloseAll() {
  for (int i = 1; i <= kMaxWorkAreas; ++i) CloseArea(i);
}

int Session::FindAlias(const std::string& alias) const {
  if (alias.empty()) return 0;
  std::string a = cp949::Upper(alias);
  for (int i = 1; i <= kMaxWorkAreas; ++i)
    if (areas_[i] && cp949::Upper(areas_[i]->Alias()) == a) return i;
  return 0;
}

CreationJob* Session::Job(int n) { return n >= 1 && n <= kMaxWorkAreas ? jobs_[n].get() : nullptr; }

int Session::StartJob(CreationJob job) {
  int n = FreeNumber();
  if (n == 0) return 0;
  jobs_[n] = std::make_unique<CreationJob>(std::move(job));
  current_ = n;
  return n;
}

void Session::EndJob(int n) {
  if (n >= 1 && n <= kMaxWorkAreas) jobs_[n].reset();
}

EngineSettings& Settings() {
  static EngineSettings s;
  return s;
}

RecordSource* CurrentTable() { return Session::Get().Current(); }
OrderHooks* CurrentHooks() {
  WorkArea* w = Session::Get().Current();
  return w ? w->Hooks() : nullptr;
}

}  // namespace xbe
