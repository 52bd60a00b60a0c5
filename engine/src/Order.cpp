// Orders, scopes, queries and filters of one work area (see Order.h).
#include "engine/src/Order.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/include/xbeng61.h"
#include "engine/src/Collation.h"
#include "engine/src/FileIo.h"
#include "platform/core/Cp949.h"

namespace xbe {

namespace {

uint32_t Fnv(const void* data, std::size_t n, uint32_t h = 2166136261u) {
  auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

std::string TrimUpper(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(' ');
  return cp949::Upper(s.substr(b, e - b + 1));
}

int RecSizeOf(const std::vector<FieldDesc>& fields) {
  int size = 1;
  for (const FieldDesc& f : fields) size = std::max(size, f.offset + f.width);
  return size;
}

const char* DefaultIndexExtension(int tableType) {
  switch (tableType) {
    case XB_TT_NTX: return ".ntx";
    case XB_TT_NSX:
    case XB_TT_NSX_DBT: return ".nsx";
    default: return ".cdx";
  }
}

}  // namespace

Orders::Orders(RecordSource& table, std::string dbfPath, int tableType, bool writable)
    : table_(table), dbfPath_(std::move(dbfPath)), tableType_(tableType), writable_(writable) {
  if (tableType_ != XB_TT_NTX) {
    std::string prod = ProductionPath();
    // A production index that is not one (cut short, overwritten) keeps no definition to
    // rebuild from: said, so that the caller can make its tags again.
    if (Fs().Exists(prod) && !OpenFile(prod, false) && files_.empty() && !(faults_ & XB_INDEX_BUSY))
      faults_ |= XB_INDEX_LOST;
  }
}

Orders::~Orders() = default;

std::string Orders::ProductionPath() const {
  if (prodPath_.empty()) prodPath_ = CompanionPath(dbfPath_, DefaultIndexExtension(tableType_));
  return prodPath_;
}

std::string Orders::IndexPathFor(const std::string& fileName, const std::string& tagName) const {
  std::string name = fileName;
  if (name.empty()) {
    if (tableType_ != XB_TT_NTX) return ProductionPath();
    name = tagName;
  }
  std::string path = ResolvePath(name);
  if (FolderOf(path).empty()) path = FolderOf(dbfPath_) + path;
  if (ExtensionOf(path).empty()) path += DefaultIndexExtension(tableType_);
  return ResolvePath(path);
}

CompileOptions Orders::Options(bool forQuery) const {
  CompileOptions o;
  o.exact = Settings().exact || (forQuery && queryExact_);
  o.collation = CollationIsIdentity(Settings().collation) ? nullptr : Settings().collation;
  return o;
}

IndexStamp Orders::CurrentStamp() const {
  IndexStamp s;
  int64_t size = 0, mtimeNs = 0;
  if (Fs().Stat(dbfPath_, &size, &mtimeNs)) {
    s.dbfSize = static_cast<uint64_t>(size);
    s.dbfMtimeNs = mtimeNs;
  }
  // A work area's fields never change; the collation may, and is hashed again when it did.
  if (!stampFields_) {
    const auto& fields = table_.Fields();
    stampRecSize_ = static_cast<uint32_t>(RecSizeOf(fields));
    uint32_t h = 2166136261u;
    for (const FieldDesc& f : fields) {
      h = Fnv(f.name.data(), f.name.size(), h);
      int meta[4] = {f.type, f.offset, f.width, f.decimals};
      h = Fnv(meta, sizeof meta, h);
    }
    stampFieldsHash_ = h;
    stampFields_ = true;
  }
  if (std::memcmp(stampCollation_, Settings().collation, sizeof stampCollation_) != 0 || !stampCollationHash_) {
    std::memcpy(stampCollation_, Settings().collation, sizeof stampCollation_);
    stampCollationHash_ = Fnv(stampCollation_, sizeof stampCollation_);
  }
  s.recSize = stampRecSize_;
  s.fieldsHash = stampFieldsHash_;
  s.collationHash = *stampCollationHash_;
  return s;
}

// The stamp says which table the index was last kept for and as of which write; any other
// writer of the .dbf (or another table of the same name) shows as a difference.
bool Orders::StampFits(const IndexStamp& s) const { return s == CurrentStamp(); }

void Orders::Attach(IndexFile& f) {
  f.SetCollation(Options(false).collation);
  f.SetRecordCount([this](bool fresh) { return fresh ? table_.FreshRecordCount() : table_.RecordCount(); });
}

bool Orders::KeysFit(IndexFile& f) const {
  for (int i = 0; i < f.TagCount(); ++i) {
    const TagInfo& t = f.Tag(i);
    auto key = CompiledExpr::Compile(t.expression, table_.Fields(), Options(false));
    if (!key) continue;
    char type = 'C';
    switch (key->Type()) {
      case ExprType::Numeric: type = 'N'; break;
      case ExprType::Date: type = 'D'; break;
      case ExprType::Logical: type = 'L'; break;
      default: break;
    }
    if (key->KeyWidth() != t.keyLen || type != t.keyType) return false;
  }
  return true;
}

bool Orders::OpenFile(const std::string& path, bool create) {
  if (create && !writable_) return false;
  bool busy = false;
  std::unique_ptr<IndexFile> f = IndexFile::Open(path, writable_, create, &busy);
  if (!f) {
    if (busy) faults_ |= XB_INDEX_BUSY;
    return false;
  }
  Attach(*f);
  OpenIndex oi;
  oi.path = path;
  oi.file = std::move(f);
  files_.push_back(std::move(oi));
  int idx = static_cast<int>(files_.size()) - 1;
  IndexFile& file = *files_.back().file;
  // The header was read under the lock, so a writer at work was waited for; the stamp is
  // looked at after it, and a writer that came in between only makes us look again under
  // the lock.
  bool usable = Fits(file);
  // One that does not fit while another process keeps the lock cannot be judged, repaired or
  // copied now (a copy read past a writer at work could miss its change): the open fails.
  if (!usable && Refused(file)) {
    files_.pop_back();
    RebuildOrderList();
    return false;
  }
  if (!usable) {
    if (writable_ && file.Writable()) {
      usable = Repair(idx);
    } else if (file.LockRead()) {
      file.Sync();
      usable = Fits(file);
      file.UnlockRead();
    }
  }
  // Stale, foreign or half written, and not ours to rebuild (or the rebuild failed): this
  // work area reads a copy of its own, rebuilt from the definitions.
  if (!usable && !Refused(Disk(files_[static_cast<std::size_t>(idx)]))) usable = ServePrivately(idx) == Served::kYes;
  if (!usable) {
    files_.pop_back();
    RebuildOrderList();
    return false;
  }
  if (files_[static_cast<std::size_t>(idx)].file->LostTags() > 0) faults_ |= XB_INDEX_LOST;
  RebuildOrderList();
  return true;
}

bool Orders::Repair(int file) {
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  f.ClearBusy();
  if (!writable_ || !f.LockWrite(true)) return false;
  if (Fits(f)) {
    f.UnlockWrite();
    return true;
  }
  if (!f.Begin()) {
    f.UnlockWrite();
    return false;
  }
  bool ok = RebuildInTransaction(file);
  IndexStamp stamp = CurrentStamp();
  return f.End(&stamp) && ok;
}

void Orders::DropFile(int file) {
  files_.erase(files_.begin() + file);
  RebuildOrderList();
}

void Orders::Mend(int file, int tries) {
  cursorOrder_ = 0;
  OpenIndex& oi = files_[static_cast<std::size_t>(file)];
  const bool repairable = tries == 0 && !oi.real && writable_ && oi.file->Writable();
  if (repairable && Repair(file)) {
    RebuildOrderList();
    return;
  }
  // Another process keeps the lock: the file stays as it is, for a later read to mend.
  if (repairable && Refused(Disk(oi))) return;
  // Served, or no copy could be made for the lock: kept for a later read to mend.
  if (tries < 2 && ServePrivately(file) != Served::kNo) return;
  faults_ |= XB_INDEX_REFUSED;
  DropFile(file);
}

std::vector<TagInfo> Orders::Definitions(int file) {
  OpenIndex& oi = files_[static_cast<std::size_t>(file)];
  IndexFile& disk = Disk(oi);
  std::vector<TagInfo> defs;
  for (int i = 0; i < disk.TagCount(); ++i) defs.push_back(disk.Tag(i));
  const bool whole = disk.Readable() && disk.LostTags() == 0;
  int remembered = 0;
  if (!whole) {
    for (const TagInfo& k : oi.known)
      if (std::none_of(defs.begin(), defs.end(), [&](const TagInfo& d) { return d.name == k.name; })) {
        defs.push_back(k);
        ++remembered;
      }
    if (!disk.Readable() ? defs.empty() : disk.LostTags() > remembered) faults_ |= XB_INDEX_LOST;
  }
  return defs;
}

Orders::Served Orders::ServePrivately(int file) {
  OpenIndex& oi = files_[static_cast<std::size_t>(file)];
  IndexFile& disk = Disk(oi);
  // The table is read with the writers of the file on disk held off (each holds its lock
  // from before its record until its keys are in), so the copy is of one state of it.
  const bool locked = disk.LockRead();
  // A scan made while a writer may be between its record and its keys is no copy of one
  // state: none is made, and what served serves on (its reads fail the same way until the
  // lock is free, see Read).
  if (!locked && Refused(disk)) return Served::kBusy;
  if (!oi.real) oi.real = std::move(oi.file);
  const std::vector<TagInfo> defs = Definitions(file);
  std::unique_ptr<IndexFile> copy = defs.empty() ? nullptr : IndexFile::InMemory(oi.path, CurrentStamp());
  bool ok = copy != nullptr;
  if (ok) {
    Attach(*copy);
    oi.file = std::move(copy);
    ok = oi.file->Begin();
  }
  if (ok) {
    const std::size_t k = defs.size();
    for (std::size_t i = 0; i < k; ++i) {
      ProgressSpan share(static_cast<int>(100 * i / k), static_cast<int>(100 * (i + 1) / k));
      if (BuildOne(file, defs[i]) < 0) faults_ |= XB_INDEX_LOST;
    }
    IndexStamp stamp = CurrentStamp();
    ok = oi.file->End(&stamp) && ok;
  }
  if (locked) disk.UnlockRead();
  if (!ok || oi.file->TagCount() == 0) {
    oi.file = std::move(oi.real);
    return Served::kNo;
  }
  RebuildOrderList();
  return Served::kYes;
}

bool Orders::PrivateCurrent(int file) {
  OpenIndex& oi = files_[static_cast<std::size_t>(file)];
  if (oi.file->Stamp() == CurrentStamp()) return true;
  IndexFile& disk = *oi.real;
  if (disk.LockRead()) {
    disk.Sync();
    const bool whole = Fits(disk);
    disk.UnlockRead();
    if (whole) {
      oi.file = std::move(oi.real);
      RebuildOrderList();
      return false;
    }
  } else if (Refused(disk)) {
    // The file cannot be looked at, nor a copy made: the copy, which no longer follows the
    // table, stays but is not read (see Read) until the lock is free.
    return false;
  }
  if (ServePrivately(file) == Served::kNo) {
    faults_ |= XB_INDEX_REFUSED;
    DropFile(file);
  }
  return false;
}

bool Orders::BeginWrite(IndexFile& f) {
  f.ClearBusy();
  if (f.Begin()) return true;
  Refused(f);
  return false;
}

bool Orders::Refused(IndexFile& f) {
  if (!f.Busy()) return false;
  faults_ |= XB_INDEX_BUSY;
  busyNow_ = true;
  return true;
}

bool Orders::RebuildFile(int file) {
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  if (!BeginWrite(f)) return false;
  bool ok = RebuildInTransaction(file);
  IndexStamp stamp = CurrentStamp();
  ok = f.End(&stamp) && ok;
  RebuildOrderList();
  return ok;
}

bool Orders::RebuildInTransaction(int file) {
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  const std::vector<TagInfo> defs = Definitions(file);
  f.KeepDefinitions();
  if (!f.Reset(CurrentStamp())) return false;
  // A tag whose expression does not fit this table (another table took the name) is dropped;
  // the others are whole again.
  const std::size_t k = defs.size();
  for (std::size_t i = 0; i < k; ++i) {
    ProgressSpan share(static_cast<int>(100 * i / k), static_cast<int>(100 * (i + 1) / k));
    if (BuildOne(file, defs[i]) < 0) faults_ |= XB_INDEX_LOST;
  }
  return !f.Damaged();
}

bool Orders::LockForWrite() {
  // A file this work area cannot write cannot follow the table: a copy of its own that
  // follows the writes serves here instead.
  for (std::size_t i = files_.size(); i-- > 0;)
    if (!files_[i].file->Writable()) Mend(static_cast<int>(i), 1);
  if (files_.empty()) return true;
  std::size_t wait = 0;
  for (int round = 0;; ++round) {
    if (!files_[wait].file->LockWrite(true)) {
      // Never written past: the file would lack this write that every other copy reads.
      for (OpenIndex& oi : files_) oi.file->UnlockWrite();
      faults_ |= XB_INDEX_BUSY;
      return false;
    }
    std::size_t busy = files_.size();
    for (std::size_t i = 0; i < files_.size() && busy == files_.size(); ++i)
      if (i != wait && !files_[i].file->LockWrite(false)) busy = i;
    if (busy == files_.size()) return true;
    for (OpenIndex& oi : files_) oi.file->UnlockWrite();
    wait = busy;
  }
}

bool Orders::LockForRewrite() { return LockForWrite(); }

void Orders::FollowTagLists() {
  for (OpenIndex& oi : files_) {
    std::string sig;
    for (int s = 0; s < oi.file->TagCount(); ++s) sig += oi.file->Tag(s).name + '\n';
    if (sig != oi.tagSignature) {
      RebuildOrderList();
      return;
    }
  }
}

void Orders::RebuildOrderList() {
  ++generation_;
  const bool hadActive = active_ > 0;
  orders_.clear();
  for (std::size_t fi = 0; fi < files_.size(); ++fi) {
    IndexFile& f = *files_[fi].file;
    if (f.Readable() && f.LostTags() == 0 && !f.Damaged()) {
      files_[fi].known.clear();
      for (int s = 0; s < f.TagCount(); ++s) files_[fi].known.push_back(f.Tag(s));
    }
    std::string sig;
    const bool newTags = files_[fi].seenTags != f.TagsGeneration();
    for (int s = 0; s < f.TagCount(); ++s) {
      const TagInfo& t = f.Tag(s);
      sig += t.name + '\n';
      Order o;
      o.file = static_cast<int>(fi);
      o.slot = s;
      o.name = t.name;
      o.key = CompiledExpr::Compile(t.expression, table_.Fields(), Options(false));
      if (!t.condition.empty()) o.cond = CompiledExpr::Compile(t.condition, table_.Fields(), Options(false));
      if (!o.key || o.key->KeyWidth() != t.keyLen || (!t.condition.empty() && !o.cond)) {
        // A definition that reads but does not compile for this table (damaged text in a
        // definition written before definitions were checked) serves no order: a lost tag.
        if (newTags) faults_ |= XB_INDEX_LOST;
        continue;
      }
      orders_.push_back(std::move(o));
    }
    files_[fi].tagSignature = sig;
    files_[fi].seenCounter = f.ChangeCounter();
    files_[fi].seenTags = f.TagsGeneration();
  }
  active_ = 0;
  for (std::size_t i = 0; i < orders_.size(); ++i)
    if (orders_[i].name == activeTag_ && files_[static_cast<std::size_t>(orders_[i].file)].path == activeFile_)
      active_ = static_cast<int>(i) + 1;
  // The order in use went away under it (given up, or its tag gone): said, since a walk in
  // it ends here rather than go on in another order.
  if (hadActive && active_ == 0 && !activeTag_.empty()) faults_ |= XB_INDEX_REFUSED;
  cursorOrder_ = 0;
}

void Orders::Sync() {
  bool changed = false;
  for (OpenIndex& oi : files_) {
    oi.file->Sync();
    if (oi.file->ChangeCounter() == oi.seenCounter && oi.file->TagsGeneration() == oi.seenTags) continue;
    std::string sig;
    for (int s = 0; s < oi.file->TagCount(); ++s) sig += oi.file->Tag(s).name + '\n';
    if (sig != oi.tagSignature) changed = true;
    oi.seenCounter = oi.file->ChangeCounter();
    oi.seenTags = oi.file->TagsGeneration();
  }
  if (changed) RebuildOrderList();
}

bool Orders::ScanRecords(const std::function<void(int32_t, const char*)>& visit, bool withPending) {
  // The file is read below, not the work area's buffers.
  table_.WriteWaiting();
  int32_t n = table_.RecordCount();
  const int rs = RecSizeOf(table_.Fields());
  // A query sees the current record's edits not yet on disk; a tag is built from the file
  // alone (the current image may be older than what another process wrote since).
  const int32_t current =
      withPending && table_.CurrentRecNo() <= table_.RecordCount() ? table_.CurrentRecNo() : 0;
  std::unique_ptr<File> f = Fs().Open(dbfPath_, false, false, false);
  unsigned char head[32];
  if (f && f->ReadAt(0, head, 32) == 32) {
    int headerLen = head[8] | head[9] << 8;
    int recSize = head[10] | head[11] << 8;
    int64_t size = f->Size();
    if (recSize == rs && headerLen >= 32 && size >= headerLen) {
      // The file's own size, not the count this work area last saw: other processes may
      // have appended since.
      n = static_cast<int32_t>(std::min<int64_t>((size - headerLen) / rs, 0x7FFFFFF0));
      // Read in pieces that stay in the processor's cache between the copy and the visits.
      const int32_t per = std::max<int32_t>(1, std::min<int32_t>((256 << 10) / rs, n));
      std::string buf(static_cast<std::size_t>(per) * static_cast<std::size_t>(rs), '\0');
      for (int32_t first = 1; first <= n; first += per) {
        int32_t want = std::min(per, n - first + 1);
        ssize_t got = f->ReadAt(headerLen + static_cast<int64_t>(first - 1) * rs, buf.data(),
                                static_cast<std::size_t>(want) * static_cast<std::size_t>(rs));
        if (got < 0) return false;
        int32_t have = static_cast<int32_t>(got / rs);
        for (int32_t i = 0; i < have; ++i) {
          int32_t r = first + i;
          // The current record may hold edits not yet on disk.
          visit(r, r == current ? table_.CurrentImage() : buf.data() + static_cast<std::size_t>(i) * rs);
        }
        if (have < want) {
          for (int32_t r = first + have; r < first + want; ++r) {
            if (!table_.ReadImage(r, imageBuf_)) return false;
            visit(r, imageBuf_.data());
          }
        }
      }
      return true;
    }
  }
  for (int32_t r = 1; r <= n; ++r) {
    if (!table_.ReadImage(r, imageBuf_)) return false;
    visit(r, imageBuf_.data());
  }
  return true;
}

// A tag build's gauge: the scan up to kScanPercent, the sort up to kSortedPercent, then the pages.
constexpr int kScanPercent = 45, kSortedPercent = 80;

int Orders::BuildOne(int file, TagInfo def) {
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  CompileOptions opt = Options(false);
  auto key = CompiledExpr::Compile(def.expression, table_.Fields(), opt);
  std::unique_ptr<CompiledExpr> cond;
  if (!def.condition.empty()) {
    cond = CompiledExpr::Compile(def.condition, table_.Fields(), opt);
    if (!cond || cond->Type() != ExprType::Logical) return -1;
  }
  if (!key || key->KeyWidth() < 1 || key->KeyWidth() > IndexFile::kMaxKeyLen) return -1;
  const int kl = key->KeyWidth();
  def.keyLen = kl;
  switch (key->Type()) {
    case ExprType::Numeric: def.keyType = 'N'; break;
    case ExprType::Date: def.keyType = 'D'; break;
    case ExprType::Logical: def.keyType = 'L'; break;
    default: def.keyType = 'C'; break;
  }
  const int32_t n = table_.RecordCount();
  std::string keys;
  keys.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(kl));
  std::vector<int32_t> recs;
  recs.reserve(static_cast<std::size_t>(n));
  int lastPercent = 0;
  bool ok = ScanRecords([&](int32_t r, const char* image) {
    EvalContext c{image, r, &table_};
    if (cond && !cond->Logical(c)) return;
    std::size_t at = keys.size();
    keys.resize(at + static_cast<std::size_t>(kl));
    key->Key(c, keys.data() + at);
    recs.push_back(r);
    int percent = n > 0 ? static_cast<int>(int64_t(r) * kScanPercent / n) : kScanPercent;
    if (percent > lastPercent) ReportProgress(lastPercent = percent);
    if ((r & 255) == 0) ProgressBeat();
  }, false);
  if (!ok) return -1;
  // Sort on an 8-byte prefix held inline, falling back to the whole key only on ties.
  const unsigned char* coll = opt.collation;
  struct Ent {
    uint64_t pre;
    uint32_t idx;
  };
  std::vector<Ent> ents(recs.size());
  for (std::size_t i = 0; i < recs.size(); ++i) {
    const unsigned char* k = reinterpret_cast<const unsigned char*>(keys.data()) + i * static_cast<std::size_t>(kl);
    uint64_t pre = 0;
    for (int b = 0; b < 8; ++b) pre = pre << 8 | (b < kl ? (coll ? coll[k[b]] : k[b]) : 0);
    ents[i] = {pre, static_cast<uint32_t>(i)};
    if ((i & 0xFFFF) == 0) ProgressBeat();
  }
  const bool desc = def.descending;
  const auto keyAt = [&](std::size_t i) {
    return reinterpret_cast<const unsigned char*>(keys.data()) + i * static_cast<std::size_t>(kl);
  };
  auto less = [&](const Ent& x, const Ent& y) {
    if (x.pre != y.pre) return desc ? x.pre > y.pre : x.pre < y.pre;
    if (kl > 8) {
      int d = CollateBytes(keyAt(x.idx), keyAt(y.idx), static_cast<std::size_t>(kl), coll);
      if (d != 0) return desc ? d > 0 : d < 0;
    }
    return x.idx < y.idx;  // scanned in record order: equal keys stay in record order
  };
  // Sorted in pieces that are then merged, so that the gauge moves while a large tag sorts.
  const std::size_t pieces = ents.size() >= (std::size_t{1} << 16) ? 16 : 1;
  std::vector<std::size_t> bounds(pieces + 1);
  for (std::size_t i = 0; i <= pieces; ++i) bounds[i] = ents.size() * i / pieces;
  const int steps = static_cast<int>(2 * pieces - 1);
  int done = 0;
  auto stepDone = [&] { ReportProgress(kScanPercent + (kSortedPercent - kScanPercent) * ++done / steps); };
  for (std::size_t i = 0; i < pieces; ++i) {
    std::sort(ents.begin() + static_cast<std::ptrdiff_t>(bounds[i]), ents.begin() + static_cast<std::ptrdiff_t>(bounds[i + 1]), less);
    stepDone();
  }
  for (std::size_t width = 1; width < pieces; width *= 2)
    for (std::size_t i = 0; i + width < pieces; i += 2 * width) {
      std::inplace_merge(ents.begin() + static_cast<std::ptrdiff_t>(bounds[i]),
                         ents.begin() + static_cast<std::ptrdiff_t>(bounds[i + width]),
                         ents.begin() + static_cast<std::ptrdiff_t>(bounds[std::min(i + 2 * width, pieces)]), less);
      stepDone();
    }
  // The tag's entries in order, as places in keys and recs (equal keys lie together: with a
  // unique tag the first of each run stays); the keys themselves are not moved.
  std::vector<uint32_t> order;
  order.reserve(ents.size());
  for (std::size_t i = 0; i < ents.size(); ++i) {
    if (def.unique && !order.empty() &&
        CollateBytes(keyAt(ents[i].idx), keyAt(order.back()), static_cast<std::size_t>(kl), coll) == 0)
      continue;
    order.push_back(ents[i].idx);
    if ((i & 0xFFFF) == 0) ProgressBeat();
  }
  std::vector<Ent>().swap(ents);
  int lastShown = 0;
  auto written = [&](std::size_t entries) {
    const int percent = kSortedPercent + static_cast<int>((100 - kSortedPercent) * static_cast<int64_t>(entries) /
                                                          static_cast<int64_t>(std::max<std::size_t>(1, order.size())));
    if (percent > lastShown) ReportProgress(lastShown = percent);
    ProgressBeat();
  };
  int slot = f.BuildTag(def, keys.data(), recs.data(), order.size(), CurrentStamp(), order.data(), written);
  ReportProgress(100);
  return slot;
}

int Orders::IndexTag(const std::string& fileName, const std::string& tagName, const std::string& expression,
                     int option, bool descend, const std::string& condition) {
  std::string name = TrimUpper(tagName);
  if (name.empty() || name.size() > 10 || !writable_) return 0;
  std::string path = IndexPathFor(fileName, name);
  table_.WritePending();
  Sync();
  int file = -1;
  for (std::size_t i = 0; i < files_.size(); ++i)
    if (files_[i].path == path) file = static_cast<int>(i);
  if (file < 0) {
    // An existing file that is not ours, or cannot be trusted, is taken over: the caller
    // asked for a tag in exactly that file.
    if (!OpenFile(path, true)) return 0;
    for (std::size_t i = 0; i < files_.size(); ++i)
      if (files_[i].path == path) file = static_cast<int>(i);
    if (file < 0) return 0;
  }
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  TagInfo def;
  def.name = name;
  def.expression = expression;
  def.condition = condition;
  def.unique = option == 1 || option == 2;
  def.descending = descend;
  // The scan and the build are one transaction: no other writer's change falls between.
  if (!BeginWrite(f)) return 0;
  bool ok = !f.NeedsRepair() || RebuildInTransaction(file);
  if (ok && tableType_ == XB_TT_NTX && f.TagCount() > 0 && f.FindTag(name) < 0) {
    // One tag per .ntx file: a new name takes the file over.
    ok = f.Reset(CurrentStamp());
  }
  ok = ok && BuildOne(file, def) >= 0;
  IndexStamp stamp = CurrentStamp();
  ok = f.End(&stamp) && ok;
  if (!ok) {
    RebuildOrderList();
    return 0;
  }
  SwitchScope(path, name, false);  // a rebuilt tag may have another key: its scope goes
  flipped_ = false;
  RebuildOrderList();
  return active_;
}

int Orders::IndexOpen(const std::string& fileName) {
  std::string path = IndexPathFor(fileName, "");
  if (fileName.empty()) return 0;
  for (std::size_t i = 0; i < files_.size(); ++i)
    if (files_[i].path == path) {
      for (std::size_t k = 0; k < orders_.size(); ++k)
        if (orders_[k].file == static_cast<int>(i)) return static_cast<int>(k) + 1;
      return 0;
    }
  if (!Fs().Exists(path) || !OpenFile(path, false)) return 0;
  int file = static_cast<int>(files_.size()) - 1;
  for (std::size_t k = 0; k < orders_.size(); ++k)
    if (orders_[k].file == file) return static_cast<int>(k) + 1;
  return 0;
}

void Orders::IndexClose(int order) {
  if (order == 0) order = active_;
  if (order < 1 || order > OrderCount()) return;
  int file = orders_[static_cast<std::size_t>(order - 1)].file;
  if (active_ > 0 && orders_[static_cast<std::size_t>(active_ - 1)].file == file) SwitchScope("", "", false);
  files_.erase(files_.begin() + file);
  RebuildOrderList();
}

void Orders::CloseIndexes() {
  files_.clear();
  SwitchScope("", "", false);
  savedScopes_.clear();
  RebuildOrderList();
}

int Orders::SetOrder(int order) {
  Sync();
  int previous = active_;
  if (order < 0 || order > OrderCount()) return 0;
  if (order != active_) {
    // A scope belongs to the order it was set on and comes back with it.
    if (order == 0) {
      SwitchScope("", "", true);
    } else {
      const Order& o = orders_[static_cast<std::size_t>(order - 1)];
      SwitchScope(files_[static_cast<std::size_t>(o.file)].path, o.name, true);
    }
    flipped_ = false;
  }
  active_ = order;
  cursorOrder_ = 0;
  return previous;
}

std::string Orders::IndexName(int order) const {
  if (order == 0) order = active_;
  if (order < 1 || order > OrderCount()) return std::string();
  return files_[static_cast<std::size_t>(orders_[static_cast<std::size_t>(order - 1)].file)].path;
}

std::string Orders::TagName(int order) const {
  if (order < 1 || order > OrderCount()) return std::string();
  return orders_[static_cast<std::size_t>(order - 1)].name;
}

std::string Orders::KeyExpression() const {
  const Order* o = ActiveOrderPtr();
  return o ? files_[static_cast<std::size_t>(o->file)].file->Tag(o->slot).expression : std::string();
}

std::string Orders::Condition() const {
  const Order* o = ActiveOrderPtr();
  return o ? files_[static_cast<std::size_t>(o->file)].file->Tag(o->slot).condition : std::string();
}

int Orders::IndexType() const {
  const Order* o = ActiveOrderPtr();
  if (!o) return 0;
  return files_[static_cast<std::size_t>(o->file)].file->Tag(o->slot).unique ? 2 : 1;
}

bool Orders::ActiveOrderDescending() const {
  const Order* o = ActiveOrderPtr();
  if (!o) return false;
  return files_[static_cast<std::size_t>(o->file)].file->Tag(o->slot).descending != flipped_;
}

int Orders::KeyLength() const {
  const Order* o = ActiveOrderPtr();
  return o ? o->key->KeyWidth() : 0;
}

int Orders::TagArea(const std::string& name) {
  Sync();
  std::string n = TrimUpper(name);
  for (std::size_t i = 0; i < orders_.size(); ++i)
    if (orders_[i].name == n) return static_cast<int>(i) + 1;
  return 0;
}

bool Orders::TagDelete(const std::string& name) {
  int order = TagArea(name);
  if (order == 0 || !writable_) return false;
  int file = orders_[static_cast<std::size_t>(order - 1)].file;
  std::string tag = orders_[static_cast<std::size_t>(order - 1)].name;
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  if (!BeginWrite(f)) return false;
  if (order == active_) SwitchScope("", "", false);  // the order in use goes on purpose
  // A tree a dead writer left half written is rebuilt before one of its tags is freed: its
  // page links cannot be followed safely.
  bool ok = !f.NeedsRepair() || RebuildInTransaction(file);
  // Found again under the lock: another process may have moved the tag list meanwhile.
  int slot = f.FindTag(tag);
  ok = ok && slot >= 0 && f.DeleteTag(slot);
  ok = f.End(nullptr) && ok;
  RebuildOrderList();
  return ok;
}

void Orders::Reindex() {
  if (!writable_) return;
  table_.WritePending();
  for (std::size_t i = 0; i < files_.size(); ++i) RebuildFile(static_cast<int>(i));
}

bool Orders::FlipActive() {
  if (active_ == 0) return false;
  flipped_ = !flipped_;
  cursorOrder_ = 0;
  return flipped_;
}

// ---- keys of records ------------------------------------------------------------------

bool Orders::KeyOf(Order& o, const char* image, int32_t recNo, std::string& key) {
  EvalContext c{image, recNo, &table_};
  if (o.cond && !o.cond->Logical(c)) return false;
  key.resize(static_cast<std::size_t>(o.key->KeyWidth()));
  o.key->Key(c, key.data());
  return true;
}

int Orders::CompareKeyPrefix(const Order& o, const char* key, const std::string& bound) const {
  const IndexFile& f = *files_[static_cast<std::size_t>(o.file)].file;
  std::size_t n = std::min(bound.size(), static_cast<std::size_t>(o.key->KeyWidth()));
  // The collation the file's tree was searched with.
  int d = CollateBytes(reinterpret_cast<const unsigned char*>(key), reinterpret_cast<const unsigned char*>(bound.data()),
                       n, f.Collation());
  return f.Tag(o.slot).descending ? -d : d;
}

bool Orders::InScope(Order& o, const char* key) const {
  if (!scoped_ || !key) return true;
  if (!scopeLow_.empty() && CompareKeyPrefix(o, key, scopeLow_) < 0) return false;
  if (!scopeHigh_.empty() && CompareKeyPrefix(o, key, scopeHigh_) > 0) return false;
  return true;
}

IndexFile::Pos Orders::PositionInOrder(Order& o, int32_t recNo, bool* onRecord) {
  IndexFile& f = *files_[static_cast<std::size_t>(o.file)].file;
  if (onRecord) *onRecord = false;
  if (cursorOrder_ == active_ && cursorRec_ == recNo && cursorStamp_ == f.ChangeCounter() &&
      f.RecAt(o.slot, cursorPos_) == recNo) {
    if (onRecord) *onRecord = true;
    return cursorPos_;
  }
  if (recNo < 1 || !table_.ReadImage(recNo, imageBuf_) || !KeyOf(o, imageBuf_.data(), recNo, keyBuf_)) return {};
  const IndexFile::Pos p =
      f.LowerBound(o.slot, keyBuf_.data(), static_cast<int>(keyBuf_.size()), static_cast<uint32_t>(recNo));
  if (onRecord) *onRecord = p.Valid() && f.RecAt(o.slot, p) == recNo;
  return p;
}

// ---- navigation hooks -------------------------------------------------------------------

template <class Op>
auto Orders::Read(Op op) -> decltype(op()) {
  constexpr int kLockedFrom = 2, kGiveUpAfter = 50;
  int mends = 0;
  bool lockNext = false;
  // Another process kept the lock past the wait and what was read without it cannot be
  // trusted: no answer (the end of the order), and XB_INDEX_BUSY says why.
  using Result = decltype(op());
  busyNow_ = false;
  if (std::exchange(refuseNextRead_, false)) return Result{};
  for (int attempt = 0;; ++attempt) {
    const Order* o = ActiveOrderPtr();
    if (!o) return op();
    const int fi = o->file;
    if (files_[static_cast<std::size_t>(fi)].real && !PrivateCurrent(fi)) {
      if (busyNow_) return Result{};
      continue;
    }
    IndexFile& f = *files_[static_cast<std::size_t>(fi)].file;
    IndexFile& disk = Disk(files_[static_cast<std::size_t>(fi)]);
    // From the third try on the read holds the lock: a busy writer cannot starve it. A read
    // that disagreed with the table holds it too: no writer is then between its record and
    // its keys.
    disk.ClearBusy();
    const bool locked = (attempt >= kLockedFrom || lockNext) && disk.LockRead();
    if (attempt > 0) Sync();  // may wait for a writer's lock too
    const bool refused = !locked && disk.Busy();
    if (attempt > 0) {
      const Order* now = ActiveOrderPtr();
      if (!now || now->file != fi) {
        if (locked) disk.UnlockRead();
        continue;
      }
    }
    f.ClearFault();
    auto result = op();
    // Read without the lock and confirmed by the header, a result is right; one that cannot
    // be confirmed after the wait for the lock is given up (a state still being written
    // would answer wrong).
    const bool consistent = locked || f.Validate() || (!refused && attempt >= kGiveUpAfter);
    if (locked) disk.UnlockRead();
    // So is one that disagrees with the table: the holder may be between its record and
    // its keys, which only the lock would tell.
    if ((!consistent || f.Mismatched()) && refused) {
      Refused(disk);
      return Result{};
    }
    if (!consistent) continue;
    if (f.Mismatched() && !locked && attempt < kGiveUpAfter) {
      lockNext = true;
      continue;
    }
    // A page that failed its checks, or a disagreement with the table, in a state no writer
    // touched is damage, not a race.
    if (f.Faulted() || f.Mismatched()) f.MarkDamaged();
    // This process's own writer is at work on the file (a progress report let the windows
    // run): it repairs the file itself when it ends its transaction.
    if (!f.NeedsRepair() || f.WriteLocked()) return result;
    lockNext = false;
    Mend(fi, mends++);
    if (busyNow_) return Result{};
  }
}

int32_t Orders::Edge(bool first) {
  return Read([&] { return UsesHitOrder() ? HitEdge(first) : EdgeOnce(first); });
}
int32_t Orders::Step(int32_t recNo, bool forward) {
  return Read([&] { return UsesHitOrder() ? HitStep(recNo, forward) : StepOnce(recNo, forward); });
}

bool Orders::HitsInOrder() {
  Order* o = ActiveOrderPtr();
  if (!o) return false;
  IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
  if (hits_.built && hits_.file == &f && hits_.slot == o->slot && hits_.counter == f.ChangeCounter() &&
      hits_.generation == generation_ && hits_.query == queryGeneration_)
    return true;
  hits_.built = false;
  hits_.recs.clear();
  hits_.places.clear();
  hits_.pos.clear();
  hits_.rank.assign(bits_.size(), -1);
  uint32_t place = 0;
  const std::size_t known = bits_.size();
  const uint8_t* bits = bits_.data();
  // A record is in a tag once: one named twice means an entry that names the wrong record.
  std::vector<bool> seen(static_cast<std::size_t>(std::max<int32_t>(0, table_.RecordCount())) + 1);
  bool twice = false;
  const bool ok = f.ForEachRecord(o->slot, [&](uint32_t page, int first, const int32_t* recs, int n) {
    for (int k = 0; k < n; ++k, ++place) {
      const std::size_t i = static_cast<std::size_t>(recs[k]) - 1;  // record 0 wraps past `known`
      if (recs[k] >= 1) {
        if (i + 1 >= seen.size()) seen.resize(i + 2);
        twice = twice || seen[i + 1];
        seen[i + 1] = true;
      }
      if (i >= known || !bits[i] || hits_.rank[i] >= 0) continue;
      hits_.rank[i] = static_cast<int32_t>(hits_.recs.size());
      hits_.recs.push_back(recs[k]);
      hits_.places.push_back(place);
      hits_.pos.push_back({page, first + k});
    }
  });
  if (twice) f.Fault();
  if (!ok || twice) return false;  // a fault: the read is repeated or the file repaired
  hits_.built = true;
  hits_.file = &f;
  hits_.slot = o->slot;
  hits_.counter = f.ChangeCounter();
  hits_.generation = generation_;
  hits_.query = queryGeneration_;
  return true;
}

int32_t Orders::HitEdge(bool first) {
  if (!HitsInOrder() || hits_.recs.empty()) return 0;
  return HitAt(first != flipped_ ? 0 : hits_.recs.size() - 1);
}

int32_t Orders::HitAt(std::size_t i) {
  cursorOrder_ = active_;
  cursorPos_ = hits_.pos[i];
  cursorRec_ = hits_.recs[i];
  cursorStamp_ = hits_.counter;
  return cursorRec_;
}

// The same moves as StepOnce, over the hits only.
int32_t Orders::HitStep(int32_t recNo, bool forward) {
  if (!HitsInOrder()) return 0;
  const bool down = forward != flipped_;
  const std::vector<int32_t>& recs = hits_.recs;
  std::ptrdiff_t i;
  if (recNo >= 1 && static_cast<std::size_t>(recNo) <= hits_.rank.size() && hits_.rank[static_cast<std::size_t>(recNo - 1)] >= 0) {
    i = hits_.rank[static_cast<std::size_t>(recNo - 1)] + (down ? 1 : -1);
  } else {
    // Not a hit (a record outside the query, or EOF): the nearest hit from its place.
    Order& o = *ActiveOrderPtr();
    IndexFile& f = *files_[static_cast<std::size_t>(o.file)].file;
    IndexFile::Pos p = PositionInOrder(o, recNo);
    if (!p.Valid()) return !down && recNo > table_.RecordCount() && !recs.empty() ? recs.back() : 0;
    const uint32_t place = f.Ordinal(o.slot, p);
    i = std::lower_bound(hits_.places.begin(), hits_.places.end(), place) - hits_.places.begin();
    if (!down) --i;
  }
  return i >= 0 && static_cast<std::size_t>(i) < recs.size() ? HitAt(static_cast<std::size_t>(i)) : 0;
}

int32_t Orders::EdgeOnce(bool first) {
  Order* o = ActiveOrderPtr();
  if (!o) return 0;
  IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
  bool wantFirst = first != flipped_;
  IndexFile::Pos p;
  if (wantFirst) {
    p = scoped_ && !scopeLow_.empty()
            ? f.LowerBound(o->slot, scopeLow_.data(), static_cast<int>(scopeLow_.size()), 0)
            : f.First(o->slot);
  } else if (scoped_ && !scopeHigh_.empty()) {
    p = f.LowerBound(o->slot, scopeHigh_.data(), static_cast<int>(scopeHigh_.size()), UINT32_MAX);
    p = p.Valid() ? f.Prev(o->slot, p) : f.Last(o->slot);
  } else {
    p = f.Last(o->slot);
  }
  if (!p.Valid() || !InScope(*o, f.KeyAt(o->slot, p))) return 0;
  cursorOrder_ = active_;
  cursorPos_ = p;
  cursorRec_ = f.RecAt(o->slot, p);
  cursorStamp_ = f.ChangeCounter();
  return cursorRec_;
}

int32_t Orders::StepOnce(int32_t recNo, bool forward) {
  Order* o = ActiveOrderPtr();
  if (!o) return 0;
  IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
  bool down = forward != flipped_;
  bool onRecord = false;
  IndexFile::Pos p = PositionInOrder(*o, recNo, &onRecord);
  if (onRecord) {
    p = down ? f.Next(o->slot, p) : f.Prev(o->slot, p);
  } else if (!down) {
    // Not in the order (EOF, or outside the tag's condition): the entry before its place.
    p = p.Valid() ? f.Prev(o->slot, p) : (recNo > table_.RecordCount() ? f.Last(o->slot) : IndexFile::Pos{});
  }
  if (!p.Valid()) return 0;
  const char* k = f.KeyAt(o->slot, p);
  if (!InScope(*o, k)) {
    // Stepping from a record outside the scope towards it enters the scope at its edge.
    bool below = !scopeLow_.empty() && CompareKeyPrefix(*o, k, scopeLow_) < 0;
    bool above = !scopeHigh_.empty() && CompareKeyPrefix(*o, k, scopeHigh_) > 0;
    if ((below && down) || (above && !down)) return EdgeOnce(down != flipped_);
    return 0;
  }
  cursorOrder_ = active_;
  cursorPos_ = p;
  cursorRec_ = f.RecOfKey(o->slot, k);
  cursorStamp_ = f.ChangeCounter();
  return cursorRec_;
}

int32_t Orders::First() { return Edge(true); }
int32_t Orders::Last() { return Edge(false); }
int32_t Orders::Next(int32_t recNo) { return Step(recNo, true); }
int32_t Orders::Prior(int32_t recNo) { return Step(recNo, false); }

bool Orders::Visible(int32_t recNo, const char* image) {
  if (queryActive_) {
    if (recNo < 1 || static_cast<std::size_t>(recNo) > bits_.size() || !bits_[static_cast<std::size_t>(recNo - 1)])
      return false;
  }
  if (filter_ && !filter_->Logical({image, recNo, &table_})) return false;
  if (scoped_) {
    Order* o = ActiveOrderPtr();
    if (o) {
      std::string key;
      if (!KeyOf(*o, image, recNo, key) || !InScope(*o, key.data())) return false;
    }
  }
  return true;
}

// ---- keeping tags current -----------------------------------------------------------------

// Another work area may have made the production index after this one opened: a write
// here must reach it too, or the index would silently miss this record.
bool Orders::AdoptProductionIndex() {
  if (tableType_ == XB_TT_NTX || !writable_) return true;
  std::string prod = ProductionPath();
  for (const OpenIndex& oi : files_)
    if (oi.path == prod) return true;
  const int before = faults_;
  faults_ &= ~XB_INDEX_BUSY;
  // Our own write makes it stale: rebuilt.
  const bool busy = Fs().Exists(prod) && !OpenFile(prod, false) && (faults_ & XB_INDEX_BUSY);
  faults_ |= before;
  return !busy;
}

OrderHooks::WriteGate Orders::RecordWillChange(int32_t) {
  // An index there that could not be opened would miss the write.
  if (!AdoptProductionIndex()) return WriteGate::kRefused;
  // A write with no index file open may cross another process making the production index;
  // it looks again once the record is on disk (see IndexAppearedMeanwhile).
  unindexedWrite_ = files_.empty();
  if (files_.empty()) return WriteGate::kUnindexed;
  // The locks are held until the keys follow: a count standing while its lock is free was
  // left by a writer that died, never by one at work.
  if (!LockForWrite()) {
    unindexedWrite_ = false;
    return WriteGate::kRefused;
  }
  for (OpenIndex& oi : files_) oi.file->Announce();
  FollowTagLists();
  return files_.empty() ? WriteGate::kUnindexed : WriteGate::kIndexed;
}

void Orders::IndexAppearedMeanwhile() {
  if (!unindexedWrite_) return;
  unindexedWrite_ = false;
  // The production index appeared between the look before this write and now: the scan
  // that built it may have read the record before the write (and its stamp may already
  // count the write), so it is rebuilt, under its lock, from the table as it is now.
  AdoptProductionIndex();
  if (!files_.empty()) RebuildFile(static_cast<int>(files_.size()) - 1);
}

void Orders::UnindexedWritesDone() {
  unindexedWrite_ = true;
  IndexAppearedMeanwhile();
}

void Orders::RecordNotWritten(int32_t) {
  unindexedWrite_ = false;
  // The announcement stays: the next one to hold the lock finds it and rebuilds.
  for (OpenIndex& oi : files_) oi.file->UnlockWrite();
}

// Brings every locked file's tags from (oldImage, when given) to newImage for one record and
// gives the locks back; a key change that fails, or leftovers of a dead writer found under
// the lock, make the file rebuilt from the table right there, inside the same transaction.
void Orders::KeysFollow(int32_t recNo, const char* oldImage, const char* newImage, int32_t count, int recSize,
                        bool rebuild) {
  if (files_.empty()) return;
  ++generation_;
  cursorOrder_ = 0;
  // The table's stamp as of this write, taken once the record is on disk; a write with no
  // file to bring along (an unindexed table) costs no look at the file system.
  IndexStamp stamp;
  bool stamped = false;
  std::string k1, k2;
  bool rebuilt = false;
  for (std::size_t fi = 0; fi < files_.size(); ++fi) {
    IndexFile& f = *files_[fi].file;
    if (!f.WriteLocked()) continue;  // opened since the announcement: already up to date
    if (!stamped) {
      stamp = CurrentStamp();
      stamped = true;
    }
    if (!f.Begin()) {
      f.UnlockWrite();
      continue;
    }
    bool ok = !f.NeedsRepair() && !rebuild;
    for (Order& o : orders_) {
      if (!ok) break;
      if (o.file != static_cast<int>(fi)) continue;
      for (int32_t i = 0; ok && i < count; ++i) {
        const int32_t r = recNo + i;
        const char* image = newImage + static_cast<std::size_t>(i) * static_cast<std::size_t>(recSize);
        bool wasIn = oldImage && KeyOf(o, oldImage, r, k1);
        bool isIn = KeyOf(o, image, r, k2);
        if (wasIn && isIn && k1 == k2) continue;
        if (wasIn) ok = f.Remove(o.slot, k1.data(), r);
        if (ok && isIn) ok = f.Insert(o.slot, k2.data(), r);
      }
    }
    if (!ok) {
      RebuildInTransaction(static_cast<int>(fi));
      rebuilt = true;
    }
    f.End(&stamp, true);
    files_[fi].seenCounter = f.ChangeCounter();
  }
  if (rebuilt) RebuildOrderList();
  cursorOrder_ = 0;
}

void Orders::RecordWritten(int32_t recNo, const char* oldImage, const char* newImage) {
  if (queryActive_ && recNo >= 1 && static_cast<std::size_t>(recNo) <= bits_.size() &&
      bits_[static_cast<std::size_t>(recNo - 1)] && (oldImage[0] == '*') != (newImage[0] == '*'))
    matchedLive_ += newImage[0] == '*' ? -1 : 1;
  IndexAppearedMeanwhile();
  KeysFollow(recNo, oldImage, newImage);
}

void Orders::RecordAppended(int32_t recNo, const char* image) {
  IndexAppearedMeanwhile();
  KeysFollow(recNo, nullptr, image);
}

void Orders::RecordsAppended(int32_t recNo, int32_t count, const char* images, int recSize) {
  IndexAppearedMeanwhile();
  KeysFollow(recNo, nullptr, images, count, recSize);
}

void Orders::BulkAppendEnded() {
  IndexAppearedMeanwhile();
  KeysFollow(0, nullptr, nullptr, 0, 0, true);
}

void Orders::TableRewritten() {
  // Record numbers changed: a query snapshot no longer means anything.
  queryActive_ = false;
  bits_.clear();
  ++queryGeneration_;
  hits_ = {};
  queryText_.clear();
  for (std::size_t i = 0; i < files_.size(); ++i) RebuildFile(static_cast<int>(i));
  cursorOrder_ = 0;
}

void Orders::Closing() {}

// ---- seek, scope, positions ---------------------------------------------------------------

bool Orders::Seek(const std::string& text, bool binary) {
  // A pending record goes to disk, and its keys into the tags, before the search.
  table_.WritePending();
  // Landing on a candidate may still write storage's pending record, and so change the tags
  // (or even the list of index files) under the search: then it starts again, once clean.
  for (int attempt = 0;; ++attempt) {
    uint64_t generation = generation_;
    int result = Read([&] { return SeekOnce(text, binary, attempt < 2 ? &generation : nullptr); });
    if (result >= 0) return result != 0;
  }
}

int Orders::SeekOnce(const std::string& text, bool binary, const uint64_t* generation) {
  found_ = false;
  Order* o = ActiveOrderPtr();
  if (!o) return 0;
  IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
  const int kl = o->key->KeyWidth();
  std::string key = binary ? text.substr(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(kl)))
                           : o->key->SeekKey(text);
  const TagInfo& tag = f.Tag(o->slot);
  // A text longer than the key (beyond trailing blanks) equals no key: the search lands past
  // every key that its first bytes are, and finds nothing.
  bool longer = false;
  if (!binary && (tag.keyType == 'C' || tag.keyType == 'D')) {
    const std::size_t width = tag.keyType == 'C' ? static_cast<std::size_t>(kl) : 8;
    longer = text.size() > width && text.find_first_not_of(' ', width) != std::string::npos;
  }
  if (!binary && tag.keyType == 'C' && (Settings().wholeKeySeek || Settings().exact))
    key.resize(static_cast<std::size_t>(kl), ' ');
  IndexFile::Pos p = f.LowerBound(o->slot, key.data(), static_cast<int>(key.size()), longer ? UINT32_MAX : 0);
  // What the search passed over decides what it finds: the entry before its place lies below
  // the key, and its record holds the key the entry says (a damaged key there could hide the
  // record sought).
  const bool check = !f.WriteLocked();
  if (check) {
    IndexFile::Pos before = p.Valid() ? f.Prev(o->slot, p) : f.Last(o->slot);
    if (const char* k = before.Valid() ? f.KeyAt(o->slot, before) : nullptr) {
      const int d = CompareKeyPrefix(*o, k, key);
      if (longer ? d > 0 : d >= 0)
        f.Fault();
      else
        CheckEntry(*o, f, before);
    }
  }
  // The first visible entry at or after the key.
  while (p.Valid()) {
    const char* k = f.KeyAt(o->slot, p);
    if (!InScope(*o, k)) {
      if (scoped_ && !scopeHigh_.empty() && CompareKeyPrefix(*o, k, scopeHigh_) > 0) {
        p = {};
        break;
      }
      p = f.Next(o->slot, p);
      continue;
    }
    // Landing on the candidate reads it once, for the visibility test and for the caller.
    int32_t r = f.RecAt(o->slot, p);
    table_.Position(r);
    if (generation && *generation != generation_) return -1;
    const char* img = table_.CurrentImage();
    if (check && table_.CurrentRecNo() == r && !f.Confirmed(o->slot, p)) {
      if (EntryHolds(*o, f, p, r, img))
        f.Confirm(o->slot, p);
      else
        f.Mismatch();
    }
    if (table_.CurrentRecNo() == r && !(Settings().deletedHidden && img[0] == '*') && Visible(r, img)) break;
    p = f.Next(o->slot, p);
  }
  bool found = !longer && p.Valid() && CompareKeyPrefix(*o, f.KeyAt(o->slot, p), key) == 0;
  int32_t land = p.Valid() ? f.RecAt(o->slot, p) : 0;
  if (found || (Settings().softSeek && land > 0)) {
    if (table_.CurrentRecNo() != land) table_.Position(land);
    cursorOrder_ = active_;
    cursorPos_ = p;
    cursorRec_ = land;
    cursorStamp_ = f.ChangeCounter();
  } else {
    table_.Position(0);
  }
  found_ = found;
  return found ? 1 : 0;
}

bool Orders::EntryHolds(Order& o, IndexFile& f, IndexFile::Pos p, int32_t recNo, const char* image) {
  if (f.RecAt(o.slot, p) != recNo || !KeyOf(o, image, recNo, landingKey_)) return false;
  const char* stored = f.KeyAt(o.slot, p);
  return stored && std::memcmp(stored, landingKey_.data(), landingKey_.size()) == 0;
}

void Orders::CheckEntry(Order& o, IndexFile& f, IndexFile::Pos p) {
  if (f.Confirmed(o.slot, p)) return;
  const int32_t r = f.RecAt(o.slot, p);
  if (table_.ReadImage(r, probeImage_) && EntryHolds(o, f, p, r, probeImage_.data()))
    f.Confirm(o.slot, p);
  else
    f.Mismatch();
}

bool Orders::ConfirmLanding(int32_t recNo, const char* image) {
  Order* o = ActiveOrderPtr();
  if (!o || cursorOrder_ != active_ || cursorRec_ != recNo) return true;
  const int fi = o->file;
  IndexFile& f = *files_[static_cast<std::size_t>(fi)].file;
  if (f.WriteLocked() || cursorStamp_ != f.ChangeCounter() || f.Confirmed(o->slot, cursorPos_)) return true;
  if (EntryHolds(*o, f, cursorPos_, recNo, image)) {
    f.Confirm(o->slot, cursorPos_);
    mendsInARow_ = 0;
    return true;
  }
  // Looked at again with the writers held off: one between its record and its keys may have
  // changed the record after the step read the tree, and then the file has moved on.
  IndexFile& disk = Disk(files_[static_cast<std::size_t>(fi)]);
  const bool locked = disk.LockRead();
  if (!locked && Refused(disk)) {
    // The writer that may be between this record and its keys keeps the lock: neither the
    // landing nor damage can be told, and the move made again ends with no answer.
    cursorOrder_ = 0;
    refuseNextRead_ = true;
    return false;
  }
  Sync();
  const Order* now = ActiveOrderPtr();
  const bool moved = !now || now->file != fi || f.ChangeCounter() != cursorStamp_ || f.NeedsRepair();
  if (locked) disk.UnlockRead();
  cursorOrder_ = 0;
  if (now && now->file == fi) {
    if (!moved) f.MarkDamaged();
    if (f.NeedsRepair()) Mend(fi, mendsInARow_++);
  }
  return false;
}

int Orders::TakeIndexFaults() {
  const int faults = faults_;
  faults_ = 0;
  return faults;
}

void Orders::SwitchScope(const std::string& file, const std::string& tag, bool keepNew) {
  std::string oldKey = activeFile_ + '\n' + activeTag_;
  if (!activeTag_.empty()) {
    if (scoped_)
      savedScopes_[oldKey] = {scopeLow_, scopeHigh_, scopeLowText_, scopeHighText_};
    else
      savedScopes_.erase(oldKey);
  }
  activeFile_ = file;
  activeTag_ = tag;
  scoped_ = false;
  scopeLow_.clear(), scopeHigh_.clear(), scopeLowText_.clear(), scopeHighText_.clear();
  auto it = savedScopes_.find(file + '\n' + tag);
  if (it == savedScopes_.end()) return;
  if (keepNew && !tag.empty()) {
    scoped_ = true;
    scopeLow_ = it->second.low, scopeHigh_ = it->second.high;
    scopeLowText_ = it->second.lowText, scopeHighText_ = it->second.highText;
  } else {
    savedScopes_.erase(it);
  }
}

bool Orders::SetScope(const std::string& low, const std::string& high) {
  Order* o = ActiveOrderPtr();
  if (!o) return false;
  if (low.empty() && high.empty()) {
    scoped_ = false;
    scopeLow_.clear(), scopeHigh_.clear(), scopeLowText_.clear(), scopeHighText_.clear();
    return true;
  }
  scopeLowText_ = low;
  scopeHighText_ = high.empty() ? low : high;
  scopeLow_ = o->key->SeekKey(scopeLowText_);
  scopeHigh_ = o->key->SeekKey(scopeHighText_);
  scoped_ = true;
  cursorOrder_ = 0;
  return true;
}

double Orders::PositionOf(int32_t recNo) {
  return Read([&]() -> double {
  Order* o = ActiveOrderPtr();
  int32_t total;
  int64_t k;
  if (!o) {
    total = table_.RecordCount();
    k = recNo;
  } else {
    IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
    total = static_cast<int32_t>(f.Entries(o->slot));
    IndexFile::Pos p = PositionInOrder(*o, recNo);
    if (!p.Valid() || f.RecAt(o->slot, p) != recNo) return recNo > table_.RecordCount() ? 1.0 : 0.0;
    k = static_cast<int64_t>(f.Ordinal(o->slot, p)) + 1;
    if (flipped_) k = total - k + 1;
  }
  if (total <= 0) return 0.0;
  if (k >= total) return 1.0;
  if (k <= 0) return 0.0;
  // A hair above k/total, so that truncating position * count gives k back.
  return static_cast<double>(k) / total * (1.0 + 1e-12);
  });
}

int32_t Orders::RecordAt(double position) {
  if (!(position >= 0)) position = 0;
  if (position > 1) position = 1;
  return Read([&]() -> int32_t {
  Order* o = ActiveOrderPtr();
  if (!o) {
    int32_t n = table_.RecordCount();
    if (n <= 0) return 0;
    return std::clamp<int32_t>(static_cast<int32_t>(std::llround(position * n)), 1, n);
  }
  IndexFile& f = *files_[static_cast<std::size_t>(o->file)].file;
  int64_t n = f.Entries(o->slot);
  if (n <= 0) return 0;
  int64_t k = std::clamp<int64_t>(std::llround(position * static_cast<double>(n)), 1, n);
  if (flipped_) k = n - k + 1;
  const IndexFile::Pos p = f.AtOrdinal(o->slot, static_cast<uint32_t>(k - 1));
  if (p.Valid() && !f.WriteLocked()) CheckEntry(*o, f, p);
  return f.RecAt(o->slot, p);
  });
}

// ---- query and filter -----------------------------------------------------------------

bool Orders::SetQuery(const std::string& text) {
  if (text.find_first_not_of(' ') == std::string::npos) {
    queryActive_ = false;
    bits_.clear();
    ++queryGeneration_;
    hits_ = {};  // its memory goes with the query
    queryText_.clear();
    return true;
  }
  auto e = CompiledExpr::Compile(text, table_.Fields(), Options(true));
  if (!e || e->Type() != ExprType::Logical) return false;
  std::vector<uint8_t> bits(static_cast<std::size_t>(std::max<int32_t>(0, table_.RecordCount())), 0);
  int32_t all = 0, live = 0;
  bool ok = ScanRecords([&](int32_t r, const char* image) {
    if (!e->Logical({image, r, &table_})) return;
    // The scan goes to the end of the file, which may hold records appended since the count.
    if (bits.size() < static_cast<std::size_t>(r)) bits.resize(static_cast<std::size_t>(r), 0);
    bits[static_cast<std::size_t>(r - 1)] = 1;
    ++all;
    if (image[0] != '*') ++live;
  });
  if (!ok) return false;
  bits_.swap(bits);
  ++queryGeneration_;
  matchedAll_ = all;
  matchedLive_ = live;
  queryActive_ = true;
  queryText_ = text;
  return true;
}

int32_t Orders::QueryCount() const {
  if (!queryActive_) return table_.RecordCount();
  return Settings().deletedHidden ? matchedLive_ : matchedAll_;
}

bool Orders::QueryBit(int32_t recNo) const {
  if (recNo < 1 || recNo > table_.RecordCount()) return false;
  if (!queryActive_) return true;
  return static_cast<std::size_t>(recNo) <= bits_.size() && bits_[static_cast<std::size_t>(recNo - 1)];
}

void Orders::SetQueryBit(int32_t recNo, bool on) {
  if (recNo < 1 || recNo > table_.RecordCount()) return;
  if (!queryActive_) {
    // Starting from "everything in view".
    std::vector<uint8_t> all(static_cast<std::size_t>(table_.RecordCount()), 1);
    ActivateBits(all);
  }
  if (bits_.size() < static_cast<std::size_t>(recNo)) bits_.resize(static_cast<std::size_t>(recNo), 0);
  uint8_t& b = bits_[static_cast<std::size_t>(recNo - 1)];
  if (b == (on ? 1 : 0)) return;
  b = on ? 1 : 0;
  ++queryGeneration_;
  matchedAll_ += on ? 1 : -1;
  std::string image;
  if (table_.ReadImage(recNo, image) && image[0] != '*') matchedLive_ += on ? 1 : -1;
}

void Orders::ActivateBits(const std::vector<uint8_t>& bits) {
  bits_ = bits;
  ++queryGeneration_;
  bits_.resize(static_cast<std::size_t>(std::max<int32_t>(0, table_.RecordCount())), 0);
  matchedAll_ = matchedLive_ = 0;
  ScanRecords([&](int32_t r, const char* image) {
    if (static_cast<std::size_t>(r) > bits_.size() || !bits_[static_cast<std::size_t>(r - 1)]) return;
    ++matchedAll_;
    if (image[0] != '*') ++matchedLive_;
  });
  queryActive_ = true;
  queryText_.clear();
}

bool Orders::SetFilter(const std::string& text) {
  if (text.find_first_not_of(' ') == std::string::npos) {
    filter_.reset();
    filterText_.clear();
    return true;
  }
  auto e = CompiledExpr::Compile(text, table_.Fields(), Options(true));
  if (!e || e->Type() != ExprType::Logical) return false;
  filter_ = std::move(e);
  filterText_ = text;
  return true;
}

bool Orders::KeyAdd(const std::string& tag, bool add) {
  Sync();
  int order = tag.empty() ? active_ : TagArea(tag);
  if (order < 1 || !writable_) return false;
  Order& o = orders_[static_cast<std::size_t>(order - 1)];
  int32_t r = table_.CurrentRecNo();
  if (r < 1 || r > table_.RecordCount()) return false;
  std::string key;
  if (!KeyOf(o, table_.CurrentImage(), r, key)) return false;
  return ChangeKey(order, key, r, add);
}

bool Orders::RyoKey(const std::string& tag, const std::string& keyText, int32_t recNo, bool add) {
  Sync();
  int order = tag.empty() ? active_ : TagArea(tag);
  if (order < 1 || !writable_ || recNo < 1) return false;
  Order& o = orders_[static_cast<std::size_t>(order - 1)];
  std::string key = o.key->SeekKey(keyText);
  key.resize(static_cast<std::size_t>(o.key->KeyWidth()), o.key->Type() == ExprType::Char ? ' ' : '\0');
  return ChangeKey(order, key, recNo, add);
}

bool Orders::ChangeKey(int order, const std::string& key, int32_t recNo, bool add) {
  int file = orders_[static_cast<std::size_t>(order - 1)].file;
  std::string tag = orders_[static_cast<std::size_t>(order - 1)].name;
  IndexFile& f = *files_[static_cast<std::size_t>(file)].file;
  if (!BeginWrite(f)) return false;
  bool ok = !f.NeedsRepair() || RebuildInTransaction(file);
  int slot = f.FindTag(tag);
  ok = ok && slot >= 0 && (add ? f.Insert(slot, key.data(), recNo) : f.Remove(slot, key.data(), recNo));
  IndexStamp stamp = CurrentStamp();
  ok = f.End(&stamp) && ok;
  FollowTagLists();
  cursorOrder_ = 0;
  return ok;
}

std::string Orders::CurrentKey() {
  Order* o = ActiveOrderPtr();
  if (!o) return std::string();
  std::string key;
  if (!KeyOf(*o, table_.CurrentImage(), table_.CurrentRecNo(), key)) return std::string();
  return key;
}

// ---- factory ------------------------------------------------------------------------------

std::unique_ptr<OrderHooks> MakeOrderHooks(RecordSource& table, const std::string& dbfPath, int tableType) {
  // Storage selects the new work area before asking, so its open mode is the current one.
  bool writable = xb_OpenMode() != XB_OPEN_READONLY;
  return std::make_unique<Orders>(table, dbfPath, tableType, writable);
}

Orders* CurrentOrders() { return dynamic_cast<Orders*>(CurrentHooks()); }

}  // namespace xbe
