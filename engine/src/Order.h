// The expression half's state of one work area: its open index files and their tags (the
// orders), the active order, the scope, the query snapshot and the filter, and the hooks
// through which storage navigates and reports writes. One Orders per open work area,
// created by MakeOrderHooks; the entry points reach it through CurrentOrders().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/src/Contract.h"
#include "engine/src/Expr.h"
#include "engine/src/IndexFile.h"

namespace xbe {

class Orders : public OrderHooks {
 public:
  Orders(RecordSource& table, std::string dbfPath, int tableType, bool writable);
  ~Orders() override;

  // ---- OrderHooks ----
  bool HasActiveOrder() const override { return active_ > 0; }
  int32_t First() override;
  int32_t Last() override;
  int32_t Next(int32_t recNo) override;
  int32_t Prior(int32_t recNo) override;
  bool Visible(int32_t recNo, const char* image) override;
  WriteGate RecordWillChange(int32_t recNo) override;
  bool LockForRewrite() override;
  void RecordNotWritten(int32_t recNo) override;
  bool FollowsWrites() const override { return !files_.empty(); }
  void UnindexedWritesDone() override;
  void RecordWritten(int32_t recNo, const char* oldImage, const char* newImage) override;
  void RecordAppended(int32_t recNo, const char* image) override;
  void RecordsAppended(int32_t recNo, int32_t count, const char* images, int recSize) override;
  void BulkAppendEnded() override;
  void TableRewritten() override;
  void Closing() override;
  int OrderCount() const override { return static_cast<int>(orders_.size()); }
  bool ActiveOrderDescending() const override;
  bool ConfirmLanding(int32_t recNo, const char* image) override;
  int TakeIndexFaults() override;

  // ---- index files and tags ----
  // Builds (or rebuilds in place) a tag; returns its order number, 0 on failure.
  int IndexTag(const std::string& fileName, const std::string& tagName, const std::string& expression,
               int option, bool descend, const std::string& condition);
  // Opens another index file; returns the order number of its first tag, 0 on failure.
  int IndexOpen(const std::string& fileName);
  void IndexClose(int order);  // closes the file that holds the order (0: the active one)
  void CloseIndexes();
  int SetOrder(int order);  // returns the order now active (0 when refused)
  int ActiveOrder() const { return active_; }
  std::string IndexName(int order) const;  // index file of the order
  std::string TagName(int order) const;
  std::string KeyExpression() const;
  std::string Condition() const;
  int IndexType() const;  // 0 none, 1 normal, 2 unique
  int TagArea(const std::string& name);
  bool TagDelete(const std::string& name);
  void Reindex();
  bool FlipActive();  // reverses the active order's direction; returns the new state
  bool Flipped() const { return flipped_; }
  bool KeyAdd(const std::string& tag, bool add);  // the current record's key into a tag
  bool RyoKey(const std::string& tag, const std::string& key, int32_t recNo, bool add);
  std::string CurrentKey();  // key of the current record in the active order
  int KeyLength() const;

  // ---- seek, scope, positions ----
  bool Seek(const std::string& text, bool binary);
  bool Found() const { return found_; }
  bool SetScope(const std::string& low, const std::string& high);
  std::string Scope(int which) const { return which == 0 ? scopeLowText_ : scopeHighText_; }
  double PositionOf(int32_t recNo);
  int32_t RecordAt(double position);

  // ---- query and filter ----
  // Sets (empty text: clears) the query snapshot; false when the text is not a logical
  // expression, in which case the old query stays.
  bool SetQuery(const std::string& text);
  bool QueryActive() const { return queryActive_; }
  const std::string& QueryText() const { return queryText_; }
  int32_t QueryCount() const;
  bool QueryBit(int32_t recNo) const;
  void SetQueryBit(int32_t recNo, bool on);
  const std::vector<uint8_t>& QueryBits() const { return bits_; }
  void ActivateBits(const std::vector<uint8_t>& bits);
  bool SetFilter(const std::string& text);
  const std::string& FilterText() const { return filterText_; }
  void SetQueryExact(bool on) { queryExact_ = on; }

  // Walks every record image of the table in record order (fast path: straight from the
  // .dbf in large reads), up to the count the file's size shows; `withPending`: the current
  // record as this work area holds it, edits not yet written included. Returns false when
  // the table could not be read.
  bool ScanRecords(const std::function<void(int32_t, const char*)>& visit, bool withPending = true);

  RecordSource& Table() { return table_; }
  int TableType() const { return tableType_; }
  const std::string& DbfPath() const { return dbfPath_; }
  CompileOptions Options(bool forQuery) const;

 private:
  struct OpenIndex {
    std::unique_ptr<IndexFile> file;  // what the orders read: the file, or its private copy
    // While a private copy serves: the file on disk, kept for its lock (writers of the table
    // hold it) and looked at again when the table changes.
    std::unique_ptr<IndexFile> real;
    std::string path;
    uint64_t seenCounter = 0;
    uint64_t seenTags = 0;
    std::string tagSignature;
    // The tags as last read whole, so that a header found damaged later loses none of them.
    std::vector<TagInfo> known;
  };
  struct Order {
    int file = 0;
    int slot = 0;
    std::string name;
    std::unique_ptr<CompiledExpr> key;
    std::unique_ptr<CompiledExpr> cond;
  };

  void Sync();  // sees other writers' changes; rebuilds the order list when tags changed
  void RebuildOrderList();
  // Opens an index file (`create`: makes it, or takes over a foreign one) and judges it:
  // trusted, repaired, or not used (false).
  bool OpenFile(const std::string& path, bool create);
  // Gives a file opened here the collation and the table's record count it checks against.
  void Attach(IndexFile& f);
  // Whole, of this table as it is now, and every tag's key of the width and type its
  // expression gives on this table (a tag whose expression does not compile here is not
  // this table's and is left to the rebuild to drop).
  bool Fits(IndexFile& f) const { return f.Trusted() && StampFits(f.Stamp()) && KeysFit(f); }
  bool KeysFit(IndexFile& f) const;
  // Rebuilds the file when it cannot be trusted, judged again under its write lock (someone
  // may have repaired it meanwhile). False when it could not be made whole.
  bool Repair(int file);
  // A file found damaged while reading: repaired when this work area may write; else (when
  // the repair fails, or at the second mend in a row) served from a private copy rebuilt
  // from its definitions; and when even that fails, given up, which the work area reports.
  void Mend(int file, int tries);
  // Builds (or builds again) the private copy of a file from its definitions and the table;
  // kBusy when another process keeps the file's lock past the wait (no copy of one state of
  // the table can then be made; Refused has said so).
  enum class Served { kYes, kNo, kBusy };
  Served ServePrivately(int file);
  // A private copy follows this work area's writes alone: when the table changed otherwise,
  // the file on disk is looked at again (another process may have repaired it) and the copy
  // rebuilt while it is still not to be trusted. False when either happened.
  bool PrivateCurrent(int file);
  IndexFile& Disk(OpenIndex& oi) { return oi.real ? *oi.real : *oi.file; }
  // The definitions of a file's tags: those its header holds, and those remembered of it
  // when the header lost some; lost ones nobody remembers are reported.
  std::vector<TagInfo> Definitions(int file);
  void DropFile(int file);
  bool RebuildFile(int file);  // every tag of the file from its stored definition
  // The same inside a transaction the caller holds (the table is scanned under the lock,
  // so no write can slip between the scan and the tags). Leaves the order list alone.
  bool RebuildInTransaction(int file);
  int BuildOne(int file, TagInfo def);
  // Takes every index file's write lock for a table write, waiting for one at a time and
  // only trying the others, so two writers never wait for each other for ever. False, with
  // no lock held, when one was not granted within the wait (see IndexFile::LockRead).
  bool LockForWrite();
  // The last lock asked of f was refused for another process's hold: said to the caller
  // (XB_INDEX_BUSY) and remembered for the operation at work (busyNow_).
  bool Refused(IndexFile& f);
  // f.Begin, a refusal for another process's lock said as Refused does.
  bool BeginWrite(IndexFile& f);
  // The order list follows a tag list that another process changed (read under the lock).
  void FollowTagLists();
  // newImage: `count` records from recNo on (recSize bytes each; oldImage only for one);
  // `rebuild`: the tags are rebuilt from the table instead.
  void KeysFollow(int32_t recNo, const char* oldImage, const char* newImage, int32_t count = 1,
                  int recSize = 0, bool rebuild = false);
  // Runs a read of the active order so that it sees one consistent state of its file: it is
  // repeated when a writer changed the file meanwhile (from the third try on under the read
  // lock), and a damaged file is repaired or dropped.
  template <class Op>
  auto Read(Op op) -> decltype(op());
  int32_t EdgeOnce(bool first);
  int32_t StepOnce(int32_t recNo, bool forward);
  // Under a query the order is walked through its hits alone (hits_), so a move costs the
  // same whether the next hit is the next entry or a million entries on.
  bool UsesHitOrder() const { return queryActive_ && !scoped_ && active_ > 0; }
  bool HitsInOrder();  // brings hits_ up to date with the query, the order and its file
  int32_t HitEdge(bool first);
  int32_t HitStep(int32_t recNo, bool forward);
  int32_t HitAt(std::size_t i);  // the i-th hit, which becomes the cursor
  IndexStamp CurrentStamp() const;
  bool StampFits(const IndexStamp& s) const;
  Order* ActiveOrderPtr() { return active_ > 0 ? &orders_[static_cast<std::size_t>(active_ - 1)] : nullptr; }
  const Order* ActiveOrderPtr() const {
    return active_ > 0 ? &orders_[static_cast<std::size_t>(active_ - 1)] : nullptr;
  }
  bool KeyOf(Order& o, const char* image, int32_t recNo, std::string& key);
  // The entry at p names recNo and holds the key its record image gives.
  bool EntryHolds(Order& o, IndexFile& f, IndexFile::Pos p, int32_t recNo, const char* image);
  // The entry at p was seen to hold its record's key, or is seen now (reading the record).
  void CheckEntry(Order& o, IndexFile& f, IndexFile::Pos p);
  // The record's entry in the order, or where its key would stand; *onRecord (when given)
  // tells whether the place holds the record itself.
  IndexFile::Pos PositionInOrder(Order& o, int32_t recNo, bool* onRecord = nullptr);
  bool InScope(Order& o, const char* key) const;
  int CompareKeyPrefix(const Order& o, const char* key, const std::string& bound) const;
  int32_t Step(int32_t recNo, bool forward);
  // -1: the tags changed under the search (only when generation is given); else 0 or 1.
  int SeekOnce(const std::string& text, bool binary, const uint64_t* generation);
  int32_t Edge(bool first);
  // False when the index is there but could not be opened for its busy lock.
  bool AdoptProductionIndex();
  // After a record write made with no index file open (see RecordWillChange).
  void IndexAppearedMeanwhile();
  bool ChangeKey(int order, const std::string& key, int32_t recNo, bool add);
  std::string ProductionPath() const;
  std::string IndexPathFor(const std::string& fileName, const std::string& tagName) const;

  RecordSource& table_;
  std::string dbfPath_;
  // The production index's path, found once: every write checks whether another work area
  // has made the index since, and a folder scan per write would cost more than the write.
  mutable std::string prodPath_;
  int tableType_;
  bool writable_;
  std::vector<OpenIndex> files_;
  std::vector<Order> orders_;
  int active_ = 0;
  std::string activeFile_, activeTag_;  // identity of the active order across list rebuilds
  bool flipped_ = false;
  bool found_ = false;

  // The scope of the active order; every other order keeps its own in savedScopes_.
  bool scoped_ = false;
  std::string scopeLow_, scopeHigh_;          // key form
  std::string scopeLowText_, scopeHighText_;  // as given
  struct SavedScope {
    std::string low, high, lowText, highText;
  };
  std::map<std::string, SavedScope> savedScopes_;
  void SwitchScope(const std::string& file, const std::string& tag, bool keepNew);

  bool queryActive_ = false;
  bool queryExact_ = false;
  std::string queryText_;
  std::vector<uint8_t> bits_;  // one byte per record: 1 in the query
  uint64_t queryGeneration_ = 0;  // counts changes of bits_
  // The query's hits in the active order's entry order, as of one state of its file.
  struct HitOrder {
    bool built = false;
    const IndexFile* file = nullptr;
    int slot = -1;
    uint64_t counter = 0, generation = 0, query = 0;
    std::vector<int32_t> recs;     // hit record numbers, in the order's entry order
    std::vector<uint32_t> places;  // their places (0-based) among all the order's entries
    std::vector<IndexFile::Pos> pos;  // their entries
    std::vector<int32_t> rank;     // per record (recNo - 1): its index in recs, -1 when none
  } hits_;
  int32_t matchedAll_ = 0, matchedLive_ = 0;

  std::string filterText_;
  std::unique_ptr<CompiledExpr> filter_;

  // Where the last step ended, so walking the order costs no search per step.
  int32_t cursorRec_ = 0;
  IndexFile::Pos cursorPos_;
  int cursorOrder_ = 0;
  uint64_t cursorStamp_ = 0;
  std::string keyBuf_, imageBuf_;
  bool unindexedWrite_ = false;  // the write in progress was begun with no index file open
  uint64_t generation_ = 0;  // counts changes of the tags or of the order list
  std::string landingKey_, probeImage_;
  // What CurrentStamp takes from the table once, and the collation its hash was made of.
  mutable bool stampFields_ = false;
  mutable uint32_t stampRecSize_ = 0, stampFieldsHash_ = 0;
  mutable unsigned char stampCollation_[256] = {};
  mutable std::optional<uint32_t> stampCollationHash_;
  int mendsInARow_ = 0;  // mends a landing asked for since one was last confirmed
  int faults_ = 0;       // XB_INDEX_* bits not yet taken by xb_IndexFault
  bool busyNow_ = false;  // a read at work gave up on a lock (see Refused)
  bool refuseNextRead_ = false;  // a landing could not be judged for the lock (ConfirmLanding)
};

// The Orders of the selected work area, or null.
Orders* CurrentOrders();

}  // namespace xbe
