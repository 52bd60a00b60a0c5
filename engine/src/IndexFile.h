// One index file of our own format (engine/FORMATS.md, "Index files"): a paged B+tree per
// tag, several tags per file, over (key, record number) entries. Entries are ordered by key
// (through the collation, reversed for a descending tag) and then by ascending record
// number, so equal keys come in record order.
//
// The file knows nothing of expressions: the order layer computes the keys. It does know
// which table it belongs to (a stamp of the .dbf as of the last synchronised write) and
// keeps a change counter, so another process's writes are seen and a file left half written
// by a crashed writer is reported as damaged, never trusted. Every page read is checked
// against what a page of its kind can hold, so a damaged file is reported, never read past
// a page; and what a read takes from a page is checked against the tree around it (the
// counts above a leaf, the places of the leaves along the chain) and against the table (the
// record count), so damage shows as a fault instead of a short or doubled walk. All access
// goes through the engine's file interface. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/src/FileIo.h"

namespace xbe {

// What the index remembers of its table, to tell a stale or foreign file.
struct IndexStamp {
  uint64_t dbfSize = 0;
  int64_t dbfMtimeNs = 0;
  uint32_t recSize = 0;
  uint32_t fieldsHash = 0;
  uint32_t collationHash = 0;
  bool operator==(const IndexStamp&) const = default;
};

struct TagInfo {
  std::string name;  // upper case, at most 10 bytes
  std::string expression;
  std::string condition;
  int keyLen = 0;
  char keyType = 'C';  // C N D L
  bool unique = false;
  bool descending = false;
  uint32_t entries = 0;
};

class IndexFile {
 public:
  static constexpr int kPageSize = 4096;
  static constexpr int kMaxKeyLen = 240;
  static constexpr int kMaxTags = 62;
  // Largest file taken as an index (16 GB): a header that claims more is damaged.
  static constexpr uint32_t kMaxPages = 1u << 22;
  // Clean pages kept in memory at most; past it the cache starts afresh (64 MB).
  static constexpr std::size_t kMaxCachedPages = 16384;
  // The byte of the file that is its lock: far past any data, so it never overlaps what
  // readers read.
  static constexpr int64_t kLockOffset = int64_t(1) << 40;

  // Opens an existing index file; null when missing or unreadable, and, unless `takeOver`,
  // when it is not of our format. With `takeOver` a missing file is created and a foreign
  // or empty one is opened as damaged, so that a rebuild (Reset) makes it ours. The header
  // is read under the lock, so a writer at work is waited for; when another process keeps the
  // lock past the wait (see LockRead), a header that no writer is changing is taken as it
  // stands, and otherwise the open fails with `busy` set.
  static std::unique_ptr<IndexFile> Open(const std::string& path, bool writable, bool takeOver = false,
                                         bool* busy = nullptr);
  // Creates (or takes over and empties) an index file.
  static std::unique_ptr<IndexFile> Create(const std::string& path, const IndexStamp& stamp);
  // An empty index held in memory alone, standing for the file at `path`: a work area's own
  // rebuilt copy of a file it cannot repair. No other process sees it.
  static std::unique_ptr<IndexFile> InMemory(const std::string& path, const IndexStamp& stamp);
  ~IndexFile();

  const std::string& Path() const { return path_; }
  bool Writable() const { return writable_; }
  // The table's record count (`fresh`: taken from the file now), against which every record
  // number read from a page is checked, and a tag's entry count. Unset, neither is checked.
  void SetRecordCount(std::function<int32_t(bool fresh)> count) { recordCount_ = std::move(count); }
  // Brings the view up to date with the file: re-reads the header when another writer
  // changed it (dropping cached pages), waits for a writer at work, and notices what a dead
  // writer left (see NeedsRepair). True when the view changed.
  bool Sync();
  // After a read made without the write lock: true when no writer changed the file since
  // the view was taken, so what was read is one consistent state. One header read.
  bool Validate();
  // The trees cannot be trusted: the header is not sane, a writer died half-way through a
  // transaction, or a page failed its checks. Reset (a rebuild) clears it.
  bool Damaged() const { return damaged_; }
  // A table write was announced and its keys never followed (the writer died): the trees
  // may miss a record. Reset clears it.
  bool StaleWrite() const { return staleWrite_; }
  bool NeedsRepair() const { return damaged_ || staleWrite_; }
  // A page read since ClearFault failed its checks (its type, its entry count against the
  // page's capacity for the tag's key length, its own number). Only a fault found in a view
  // that Validate confirmed means damage; in a stale view it means a changed file.
  bool Faulted() const { return fault_; }
  void ClearFault() { fault_ = mismatch_ = false; }
  // A fault the caller found in what it read (a record named twice in one tag).
  void Fault() { fault_ = true; }
  // What was read disagrees with the table: a record that does not hold its entry's key, a
  // tag with another number of entries than the table has records. Damage, or a writer at
  // work between its record and its keys: the caller judges it again with the lock held.
  void Mismatch() { mismatch_ = true; }
  bool Mismatched() const { return mismatch_; }
  // Directory entries whose tag could not be read at the last header read (its definition
  // unreadable or not matching the entry): those tags are gone from the list.
  int LostTags() const { return lostTags_; }
  // The header was of our format at its last read (else there are no tags at all).
  bool Readable() const { return readable_; }
  // Moves on whenever the tag list may have changed (a header read, a build, a delete).
  uint64_t TagsGeneration() const { return tagsGeneration_; }
  // A page fault confirmed in a consistent view: damaged until a rebuild, or until another
  // process changes the file (and so may have rebuilt it).
  void MarkDamaged() { damaged_ = pageDamage_ = true; }
  // Whole and not waiting for a dead writer's keys (the table stamp is the caller's check).
  bool Trusted() const { return !damaged_ && !staleWrite_ && announced_ == 0; }
  const IndexStamp& Stamp() const { return stamp_; }
  uint64_t ChangeCounter() const { return counter_; }

  int TagCount() const { return static_cast<int>(tags_.size()); }
  const TagInfo& Tag(int slot) const { return tags_[static_cast<std::size_t>(slot)].info; }
  int FindTag(std::string_view upperName) const;  // -1 when none

  // Comparison weights for keys (null = byte order); set before use.
  void SetCollation(const unsigned char* table) { coll_ = table; }
  const unsigned char* Collation() const { return coll_; }

  // ---- the write lock (a byte far past the data) -------------------------------------
  // Shared: a consistent read (no writer can be at work). Exclusive: a writer. Taking it
  // exclusively re-reads the header from the file; a standing announcement or a set write
  // flag found then was left by a dead writer (NeedsRepair), since a live writer holds the
  // lock from its announcement until its keys are in. Nested read locks count.
  // A lock another process holds is waited for no longer than the lock time-out, and at
  // least the floor a working holder needs (EngineSettings::indexLockFloorSeconds); `wait`
  // false tries once. Refused for that, the lock is Busy until the next lock granted.
  bool LockRead();
  void UnlockRead();
  bool LockWrite(bool wait);
  bool Busy() const { return busy_; }
  void ClearBusy() { busy_ = false; }
  // Gives the write lock back without a transaction (a write that did not happen keeps its
  // announcement standing, so the index is repaired).
  void UnlockWrite();
  bool WriteLocked() const { return lock_ == LockState::kWrite; }

  // ---- writes: each runs under the write lock ----------------------------------------
  // A table write is about to happen (the write lock is held): counted in the header, read
  // and written from the file, until the transaction that brings the keys along retires it.
  bool Announce();
  bool Announced() const { return announced_ > 0; }
  // Several changes as one transaction: Begin, any Insert/Remove/BuildTag/DeleteTag/Reset,
  // End. Nested Begin/End pairs join the outer transaction. Begin takes the write lock when
  // it is not held. End writes the pages, counts the change, writes the header with the
  // write flag cleared (left set when anything failed or the trees are damaged, so no one
  // trusts them), and gives the lock back; `retire` takes back this writer's announcement.
  bool Begin();
  bool Insert(int slot, const char* key, int32_t recNo);  // no-op when present
  bool Remove(int slot, const char* key, int32_t recNo);  // no-op when absent
  bool End(const IndexStamp* stamp, bool retire = false);
  // Builds a tag from entries sorted in tag order: keys are n * keyLen bytes. Replaces the
  // tag of the same name in its slot, else adds one. Returns the slot, -1 on failure.
  // With `order`, entry i is (keys[order[i]], recNos[order[i]]) instead, so the caller need
  // not move its keys; `written` hears how many entries are in pages, now and then.
  int BuildTag(const TagInfo& def, const char* keys, const int32_t* recNos, std::size_t n,
               const IndexStamp& stamp, const uint32_t* order = nullptr,
               const std::function<void(std::size_t)>& written = {});
  bool DeleteTag(int slot);
  // Empties the file: every tag gone (for a rebuild from scratch); clears the damage marks.
  bool Reset(const IndexStamp& stamp);
  // Keeps the pages that hold the tag definitions out of reach of new pages until the
  // transaction ends: a rebuild killed half-way leaves the definitions it started from,
  // which the header on disk still names, for the next rebuild.
  void KeepDefinitions();

  // ---- reads ----
  struct Pos {
    uint32_t page = 0;  // 0: no entry
    int slot = 0;
    bool Valid() const { return page != 0; }
  };
  Pos First(int slot);
  Pos Last(int slot);
  Pos Next(int slot, Pos p);
  Pos Prev(int slot, Pos p);
  // First entry whose first n key bytes are above prefix, or equal with a record number of
  // at least recNo (recNo UINT32_MAX: the first entry past every key with that prefix).
  Pos LowerBound(int slot, const char* prefix, int n, uint32_t recNo);
  const char* KeyAt(int slot, Pos p);  // keyLen bytes
  int32_t RecAt(int slot, Pos p);
  // The record number of the entry whose key KeyAt gave.
  int32_t RecOfKey(int slot, const char* key) const;
  // 0-based place of the entry in its tag, and the entry at a place.
  uint32_t Ordinal(int slot, Pos p);
  Pos AtOrdinal(int slot, uint32_t ordinal);
  uint32_t Entries(int slot) const { return Tag(slot).entries; }
  // Entries whose record was seen holding the entry's key, remembered until their page
  // changes or the view goes, so a record is compared with its entry once.
  bool Confirmed(int slot, Pos p);
  void Confirm(int slot, Pos p);
  // Every record number of the tag in its order, a leaf's worth at a time (no descent per
  // entry): the leaf's page, the slot of its first entry given and its numbers; false on a
  // fault, after the entries before it were visited.
  bool ForEachRecord(int slot, const std::function<void(uint32_t page, int first, const int32_t* recNos, int n)>& visit);

 private:
  struct TagSlot {
    TagInfo info;
    uint32_t root = 0;
    uint32_t height = 0;  // 1: the root is a leaf
    uint32_t defPage = 0;
    mutable uint32_t checkedEpoch = 0;  // the counts were checked in this view (see TagFits)
  };
  // What reading a cached page established, kept behind its bytes: dropped with the page,
  // cleared when a transaction changes it.
  struct PageMeta {
    uint32_t checkedFor = 0;   // definition page of the tag whose checks the content passed
    uint32_t placedEpoch = 0;  // a leaf's firstOrd holds while this equals placeEpoch_
    uint32_t firstOrd = 0;     // the place of the leaf's first entry in its tag
    uint64_t confirmed[13] = {};  // per entry of a leaf: see Confirmed (816 entries at most)
  };
  struct PathStep {
    uint32_t page;
    int index;
  };
  enum class LockState { kNone, kRead, kWrite };
  // The first 72 bytes of the header: what changes from one transaction to the next.
  struct Prefix {
    uint64_t counter = 0;
    bool dirty = false;
    uint32_t announced = 0;
  };

  IndexFile() = default;
  bool TakeLock(LockKind kind, bool wait);  // sets busy_
  // The header page's view, once the file holds a whole header: the checks before and after
  // every read look at the change counter there, with no system call.
  void ViewHeader();
  bool ReadPrefix(Prefix& p);
  bool ReadHeader();  // the whole header page; false when the file is not of our format
  bool WriteHeader(bool dirtyFlag);
  // Takes the header from the file under the write lock; marks what a dead writer left.
  void RefreshUnderWriteLock();
  // A count standing in the file: stale when no writer holds the lock.
  void CheckStanding(uint32_t announced);
  char* Page(uint32_t n);  // cached; null (a fault) when unreadable or mislabelled
  // The page as a leaf or a branch of tag t, its count within the capacity and, outside a
  // transaction, its content sound (see LeafSound, BranchSound); else a fault.
  char* Leaf(const TagSlot& t, uint32_t n);
  char* Branch(const TagSlot& t, uint32_t n);
  static std::unique_ptr<char[]> NewBuffer();  // a page's bytes and its PageMeta
  static PageMeta& Meta(char* page);
  // Every record number within the table, entries strictly rising (distinct keys in a unique
  // tag); a branch's children within the file and not itself.
  bool LeafSound(const TagSlot& t, const char* p);
  bool BranchSound(const TagSlot& t, const char* p, uint32_t n);
  bool RecordFits(uint32_t recNo);
  // Where the tree puts a non-empty leaf: the descents by its first and by its last entry
  // both end in it, and each count above it agrees with what lies below. Gives the place of
  // its first entry in the tag. Outside transactions only (true inside, ord untouched).
  bool Place(const TagSlot& t, uint32_t page, uint32_t& ord);
  // The tag's entry count agrees with its root and with the table; checked once per view.
  bool TagFits(const TagSlot& t);
  // The sum of the counts in a branch (a fault when it is none).
  bool BranchTotal(const TagSlot& t, uint32_t page, uint64_t& total);
  bool Checking() const { return txnDepth_ == 0; }
  char* NewPage(uint8_t type);
  void MarkDirty(uint32_t n) { dirtyPages_.insert(n); }
  void FreePage(uint32_t n);
  uint32_t AllocPageNumber();  // 0 when the file would grow past kMaxPages
  void FreeTree(const TagSlot& t);
  void DropCache();
  int Compare(const TagSlot& t, const char* a, uint32_t ra, const char* b, int n, uint32_t rb) const;
  // The first of a leaf's `count` entries not below (key, recNo).
  int LeafLowerBound(const TagSlot& t, const char* leaf, int count, const char* key, int n,
                     uint32_t recNo) const;
  int LeafCap(const TagSlot& t) const;
  int BranchCap(const TagSlot& t) const;
  uint32_t PageTotal(const TagSlot& t, uint32_t page);
  bool DescendTo(const TagSlot& t, const char* key, int n, uint32_t recNo, std::vector<PathStep>& path);
  bool SplitChild(TagSlot& t, uint32_t parent, int child);
  bool LeafHolds(const TagSlot& t, const PathStep& leaf, const char* key, uint32_t rec);
  template <class Pick>
  uint32_t LeafBelow(const TagSlot& t, Pick pick);
  // The nearest entry in the leaves after (forward) or before leaf `from`, skipping empty
  // leaves; none at the end or on a broken chain (a fault). `boundary` is the place in the
  // tag where the entries after `from` begin (forward) or those before it end: the leaf
  // reached must start (or end) there, and the chain may end only at the tag's edge.
  Pos Step(const TagSlot& t, uint32_t from, bool forward, uint32_t boundary);
  static constexpr uint32_t kNoBoundary = UINT32_MAX;  // from a position that is no entry
  // The place in the tag where the leaf a descent reached begins: the counts of the
  // children left of the path.
  bool PathPlace(const TagSlot& t, const std::vector<PathStep>& path, uint32_t& ord);
  bool WriteRun(uint32_t first, const std::string& pages);
  bool LoadTagDef(TagSlot& t);
  bool StoreTagDef(TagSlot& t);
  const TagSlot* TagAt(int slot) const {
    return slot >= 0 && slot < TagCount() ? &tags_[static_cast<std::size_t>(slot)] : nullptr;
  }

  std::string path_;
  std::unique_ptr<File> file_;
  std::unique_ptr<FileView> header_;  // see ViewHeader
  bool writable_ = false;
  bool damaged_ = false;
  bool staleWrite_ = false;
  bool fault_ = false;
  bool mismatch_ = false;
  bool pageDamage_ = false;
  bool busy_ = false;  // see Busy
  int lostTags_ = 0;
  bool readable_ = true;
  uint64_t tagsGeneration_ = 0;
  std::function<int32_t(bool)> recordCount_;
  uint32_t recBound_ = 0;  // record numbers up to this are known to exist
  // Moves on whenever the places of leaves may have changed (a transaction, a new view).
  uint32_t placeEpoch_ = 1;
  int txnDepth_ = 0;
  LockState lock_ = LockState::kNone;
  int readLocks_ = 0;
  uint64_t counter_ = 0;
  uint32_t pageCount_ = 1;
  uint32_t freeHead_ = 0;
  uint32_t announced_ = 0;
  IndexStamp stamp_;
  std::vector<TagSlot> tags_;
  const unsigned char* coll_ = nullptr;
  // Cached pages by page number (a page read once stays until the file changes elsewhere).
  std::vector<std::unique_ptr<char[]>> cache_;
  std::size_t cachedPages_ = 0;
  std::unique_ptr<char[]>& Slot(uint32_t n) {
    if (n >= cache_.size()) cache_.resize(n + 1 + n / 4);
    if (!cache_[n]) ++cachedPages_;
    return cache_[n];
  }
  std::unordered_set<uint32_t> dirtyPages_;
  std::unordered_set<uint32_t> kept_;  // see KeepDefinitions
};

}  // namespace xbe
