// The seam between the engine's storage half (tables, records, memos, locks, navigation) and
// its expression half (expressions, index tags, orders, seek, scopes, queries). Storage owns
// the work area and calls these hooks; the expression half implements them. Neither includes
// the other's headers beyond this one.
#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xbe {

// One field of a table as stored in the .dbf descriptor.
struct FieldDesc {
  std::string name;   // upper case, at most 10 bytes
  char type = 'C';    // upper-case type letter: C N D L M I B G P ...
  int offset = 0;     // 0-based byte offset in the record image (byte 0 is the deletion flag)
  int width = 0;
  int decimals = 0;
};

// What an expression needs from the table it is evaluated on.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  virtual const std::vector<FieldDesc>& Fields() const = 0;
  // Field number (0-based) of a name, case-insensitive; -1 when unknown.
  virtual int FieldIndex(std::string_view name) const = 0;
  // The current record image (RecSize bytes). At EOF a blank image.
  virtual const char* CurrentImage() const = 0;
  virtual int32_t CurrentRecNo() const = 0;
  virtual int32_t RecordCount() const = 0;
  virtual bool CurrentDeleted() const = 0;
  // Memo text of field `field` in the given record image ("" when none or unreadable).
  virtual std::string ReadMemo(int field, const char* image) const = 0;
  // Reads record recNo's image without moving; false when out of range or unreadable.
  virtual bool ReadImage(int32_t recNo, std::string& image) const = 0;
  // The record count as the file's size shows it now (other processes may have appended).
  virtual int32_t FreshRecordCount() { return RecordCount(); }
  // Makes recNo current (0 or above the count: the EOF position), as a seek or query lands.
  virtual void Position(int32_t recNo) = 0;
  // Writes a pending change of the current record (fields are buffered until a commit or a
  // move), which runs RecordWritten; call it before searching an order for a seek.
  virtual void WritePending() {}
  // Writes the records whose writes wait (under a file lock), so that a scan of the file
  // finds them; the current record's own pending change stays as it is.
  virtual void WriteWaiting() {}
};

// Process-wide engine settings, set through the xb_Set* calls and xb_SysProp.
struct EngineSettings {
  bool deletedHidden = false;  // SET DELETED
  bool exact = false;          // SET EXACT
  bool softSeek = false;
  bool century = true;
  int epoch = 1980;
  int dateFormat = 99;           // 99: the format settings' default
  bool wholeKeySeek = false;     // SysProp 1003: seek pads the key to the whole key width
  unsigned char collation[256];  // SysProp 1101; identity by default
  int lockTimeoutSeconds = 1;
  // The least an index lock is waited for (see IndexFile::LockRead): a working holder keeps
  // it through a whole tag build, rebuild or merge (a tag over a million notes takes 0.4 s, a
  // rebuild of four a second or two), which other copies wait out. Tests make it shorter.
  int indexLockFloorSeconds = 10;
  int memoBlockSize = 64;
  EngineSettings() {
    for (int i = 0; i < 256; ++i) collation[i] = static_cast<unsigned char>(i);
  }
};

// Hooks of the expression half on one work area; storage owns one per open work area.
class OrderHooks {
 public:
  virtual ~OrderHooks() = default;

  // Navigation. With no active order these are never called: storage walks record numbers.
  virtual bool HasActiveOrder() const = 0;
  // Record numbers in the active order (0 = none). Next/Prior step from the given record,
  // which is normally the current one.
  virtual int32_t First() = 0;
  virtual int32_t Last() = 0;
  virtual int32_t Next(int32_t recNo) = 0;
  virtual int32_t Prior(int32_t recNo) = 0;
  // Storage loaded the record the last of these moves named: false when the record does not
  // hold the key its entry gave (the index was damaged and has been mended, or another
  // process changed both meanwhile), and the move is to be made again. An order given up
  // meanwhile (HasActiveOrder false) ends the walk there.
  virtual bool ConfirmLanding(int32_t recNo, const char* image) { return true; }

  // Visibility beyond SET DELETED (which storage applies): inside the scope and the query.
  virtual bool Visible(int32_t recNo, const char* image) = 0;

  // Called just before a record goes to disk (recNo 0: a record about to be appended), so
  // the index can be marked as being changed first: a process killed between the two writes
  // then leaves an index that is rebuilt, never one that silently misses the record. From
  // here until RecordWritten, RecordAppended or RecordNotWritten the hooks hold their index
  // files' write locks. kIndexed when the hooks keep keys: storage then passes the record as
  // stored just before the write (read under those locks) as the old image. kRefused when an
  // index lock was not granted within the wait: nothing is held, and storage writes nothing
  // (a record on disk without its keys would be missing from every other copy's index).
  enum class WriteGate { kUnindexed, kIndexed, kRefused };
  virtual WriteGate RecordWillChange(int32_t recNo) { return WriteGate::kUnindexed; }
  // Takes the index files' write locks ahead of a rewrite of the whole table (pack, zap),
  // whose TableRewritten gives them back; false, with none held, when one was not granted.
  virtual bool LockForRewrite() { return true; }
  // The write announced by RecordWillChange failed.
  virtual void RecordNotWritten(int32_t recNo) {}
  // True while writes must go through RecordWillChange / RecordWritten one by one (index
  // files follow them). Answers from the hooks' own state, without looking at the disk.
  virtual bool FollowsWrites() const { return true; }
  // Records went to disk without RecordWillChange / RecordWritten because FollowsWrites was
  // false; an index another process made meanwhile must be brought up to date.
  virtual void UnindexedWritesDone() {}
  // Keep every open tag (and nothing else) current. Called after the record is on disk.
  virtual void RecordWritten(int32_t recNo, const char* oldImage, const char* newImage) = 0;
  virtual void RecordAppended(int32_t recNo, const char* image) = 0;
  // Bulk appends (a merge). `count` records appended from recNo on, their images one after
  // another (recSize bytes each), as RecordAppended for each of them in one go.
  virtual void RecordsAppended(int32_t recNo, int32_t count, const char* images, int recSize) {
    for (int32_t i = 0; i < count; ++i) RecordAppended(recNo + i, images + static_cast<std::size_t>(i) * recSize);
  }
  // The end of many appends made under one RecordWillChange(0) (none of them reported one by
  // one): the keys follow by a rebuild of the tags from the table, then the locks go back.
  virtual void BulkAppendEnded() {}
  // Pack or zap rewrote the table: rebuild every open tag.
  virtual void TableRewritten() = 0;
  // The work area is closing.
  virtual void Closing() = 0;

  // For xb_SysProp 3000 and 3002: orders open on the work area, and whether the active one
  // runs backwards.
  virtual int OrderCount() const { return 0; }
  virtual bool ActiveOrderDescending() const { return false; }
  // XB_INDEX_* bits of what happened to the work area's index files since the last call.
  virtual int TakeIndexFaults() { return 0; }
};

// Provided by storage: the one settings record of the process.
EngineSettings& Settings();

// Provided by storage: the table and hooks of the currently selected work area, or null.
RecordSource* CurrentTable();
OrderHooks* CurrentHooks();

// Provided by storage: reports progress of a long operation (1..100 percent) to the window
// that xb_SetGaugeHook named, through the installed poster. Repeats of a percentage are
// dropped; nothing happens while no window is hooked.
void ReportProgress(int percent);
// Called often by a long operation: when no report went out for kBeatMs, the last one goes
// out again, so the gauge window gets its turn (and repaints) during a stretch that does not
// move the gauge, however slow the machine. The gauge never goes back; it may repeat a value.
void ProgressBeat();
constexpr int kBeatMs = 10;
// Work that may wait on the disk, handed off one job at a time and run in order: while a
// gauge window is hooked each job runs on a thread of its own and Start returns at once, after
// waiting (and beating) for the job before; otherwise a job just runs. A job may touch only
// what its caller alone holds (its own new files and buffers), since the gauge window's turn
// may call into the engine meanwhile. A job's exception reaches Start or Wait; the destructor
// waits for the last job and drops its exception.
class BackgroundJobs {
 public:
  BackgroundJobs() = default;
  ~BackgroundJobs();
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;
  void Start(std::function<void()> job);
  // Waits for the last job, beating meanwhile.
  void Wait();

 private:
  std::future<void> running_;
};
// Runs job as a BackgroundJobs job and waits for it.
void WhileBeating(std::function<void()> job);
// While one lives, reports cover only [from, to] of the gauge (spans nest), so a command made
// of steps, each reporting 1..100 of its own, runs one gauge from 0 to 100 once.
class ProgressSpan {
 public:
  ProgressSpan(int from, int to);
  ~ProgressSpan();
  ProgressSpan(const ProgressSpan&) = delete;
  ProgressSpan& operator=(const ProgressSpan&) = delete;

 private:
  int from_, to_;  // the span this one replaced
};

// Storage asks for the hooks of a work area when it opens a table; the expression half
// provides this factory (a weak default that returns null keeps storage usable alone).
std::unique_ptr<OrderHooks> MakeOrderHooks(RecordSource& table, const std::string& dbfPath,
                                           int tableType);

}  // namespace xbe
