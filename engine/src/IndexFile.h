// One index file of our own format (engine/FORMATS.md, "Index files"): a paged B+tree per
// tag, several tags per file, over (key, record number) entries. Entries are ordered by key
// (through the collation, reversed for a descending tag) and then by ascending record
// number, so equal keys come in record order.
//
// The file knows nothing of expressions: the order layer computes the keys. It does know
// which table it belongs to (a stamp of the .dbf as of the last synchronised write) and
// keeps a change counter, so another process's writes are seen and a file left half written
// by a crashed writer is reported as damaged, never trusted. All access goes through the
// engine's file interface. Not thread-safe.
#pragma once

#include <cstdint>
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
  // Clean pages kept in memory at most; past it the cache starts afresh (64 MB).
  static constexpr std::size_t kMaxCachedPages = 16384;

  // Opens an existing index file; null when missing, unreadable or not of our format.
  static std::unique_ptr<IndexFile> Open(const std::string& path, bool writable);
  // Creates (or truncates to) an empty index file.
  static std::unique_ptr<IndexFile> Create(const std::string& path, const IndexStamp& stamp);
  ~IndexFile();

  const std::string& Path() const { return path_; }
  bool Writable() const { return writable_; }
  // Re-reads the header when another writer changed the file; drops cached pages then.
  void Sync();
  // A writer died half-way: the trees cannot be trusted until rebuilt.
  bool Damaged() const { return damaged_; }
  const IndexStamp& Stamp() const { return stamp_; }
  uint64_t ChangeCounter() const { return counter_; }

  int TagCount() const { return static_cast<int>(tags_.size()); }
  const TagInfo& Tag(int slot) const { return tags_[static_cast<std::size_t>(slot)].info; }
  int FindTag(std::string_view upperName) const;  // -1 when none

  // Comparison weights for keys (null = byte order); set before use.
  void SetCollation(const unsigned char* table) { coll_ = table; }

  // ---- writes: each call is one transaction under the file's write lock ----
  // Builds a tag from entries sorted in tag order: keys are n * keyLen bytes. Replaces the
  // tag of the same name in its slot, else adds one. Returns the slot, -1 on failure.
  int BuildTag(const TagInfo& def, const char* keys, const int32_t* recNos, std::size_t n,
               const IndexStamp& stamp);
  bool DeleteTag(int slot);
  // Several key changes as one transaction: Begin, any Insert/Remove, End.
  bool Begin();
  bool Insert(int slot, const char* key, int32_t recNo);  // no-op when present
  bool Remove(int slot, const char* key, int32_t recNo);  // no-op when absent
  // Writes the pages, counts the change, unlocks; `retire` takes back one announcement.
  bool End(const IndexStamp* stamp, bool retire = false);
  // A table write is about to happen: counted in the header until the transaction that
  // brings the keys along retires it. A count left standing means a writer died between
  // the two (or its table write failed), so the tags may miss a record.
  bool Announce();
  bool Announced() const { return announced_ > 0; }
  // Empties the file: every tag gone (for a rebuild from scratch).
  bool Reset(const IndexStamp& stamp);

  // ---- reads (Sync first, once per operation) ----
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
  // 0-based place of the entry in its tag, and the entry at a place.
  uint32_t Ordinal(int slot, Pos p);
  Pos AtOrdinal(int slot, uint32_t ordinal);
  uint32_t Entries(int slot) const { return Tag(slot).entries; }

 private:
  // The first entry at or after leaf `page`, skipping empty leaves; none on a broken chain.
  Pos FirstEntryFrom(uint32_t page);
  struct TagSlot {
    TagInfo info;
    uint32_t root = 0;
    uint32_t height = 0;  // 1: the root is a leaf
    uint32_t defPage = 0;
  };
  struct PathStep {
    uint32_t page;
    int index;
  };

  IndexFile() = default;
  bool ReadHeader(bool full);
  bool WriteHeader(bool dirtyFlag);
  char* Page(uint32_t n);  // cached; null when unreadable
  char* NewPage(uint8_t type);
  void MarkDirty(uint32_t n) { dirtyPages_.insert(n); }
  void FreePage(uint32_t n);
  uint32_t AllocPageNumber();
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
  bool WriteRun(uint32_t first, const std::string& pages);
  bool LoadTagDef(TagSlot& t);
  bool StoreTagDef(TagSlot& t);

  std::string path_;
  std::unique_ptr<File> file_;
  bool writable_ = false;
  bool damaged_ = false;
  bool inTxn_ = false;
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
};

}  // namespace xbe
