// The paged B+tree index file (see IndexFile.h; layout in engine/FORMATS.md).
#include "engine/src/IndexFile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/src/Collation.h"
#include "engine/src/Contract.h"

namespace xbe {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'I', 'D', 'X', '1', 0};
constexpr uint32_t kVersion = 1;
constexpr int kHeaderTagsAt = 128;
constexpr int kTagEntrySize = 64;
constexpr int kPageHeader = 16;
constexpr uint8_t kLeaf = 1, kBranch = 2, kFree = 3, kDef = 4;
constexpr int64_t kLockOffset = IndexFile::kLockOffset;
// Write locks this process holds on index files. While one is held (a transaction reporting
// progress may let the windows run, and an event may read an index), no other lock is waited
// for: the holder is this very thread, and waiting would never end.
int g_writeLocksHeld = 0;

// How long the index lock is waited for: the lock time-out, but never less than a floor, as a
// working holder keeps it for a whole tag build, rebuild or merge (seconds at a million
// notes), which other copies have always waited out. Only a holder that hangs past it fails
// the wait.
int IndexLockSeconds() { return std::max(Settings().lockTimeoutSeconds, Settings().indexLockFloorSeconds); }

uint16_t Get16(const char* p) {
  return static_cast<uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}
uint32_t Get32(const char* p) {
  return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}
uint64_t Get64(const char* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }
void Put16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}
void Put32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put64(char* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}
// Record numbers inside entries are big-endian, so key and number read as one byte string.
uint32_t GetRec(const char* p) {
  return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(p[3]));
}
void PutRec(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 24);
  p[1] = static_cast<char>((v >> 16) & 0xFF);
  p[2] = static_cast<char>((v >> 8) & 0xFF);
  p[3] = static_cast<char>(v & 0xFF);
}

uint8_t PType(const char* pg) { return static_cast<uint8_t>(pg[0]); }
int PCount(const char* pg) { return Get16(pg + 2); }
void SetPCount(char* pg, int n) { Put16(pg + 2, static_cast<uint16_t>(n)); }
uint32_t PNext(const char* pg) { return Get32(pg + 4); }
uint32_t PPrev(const char* pg) { return Get32(pg + 8); }
void SetPNext(char* pg, uint32_t v) { Put32(pg + 4, v); }
void SetPPrev(char* pg, uint32_t v) { Put32(pg + 8, v); }

// A tag definition page ends with this mark and a hash of the definition and of what its
// directory entry says that nothing else could tell (the name, unique and descending), so a
// damaged definition, or an entry pointing at another tag's, is never built from. The key's
// width and type are those of the expression and are checked against it.
constexpr char kDefMark[2] = {'O', 'K'};

uint32_t DefinitionHash(const TagInfo& t) {
  uint32_t h = 2166136261u;
  auto mix = [&](const void* data, std::size_t n) {
    auto* b = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 16777619u;
  };
  for (const std::string* s : {&t.name, &t.expression, &t.condition}) mix(s->c_str(), s->size() + 1);
  const unsigned char flags = static_cast<unsigned char>((t.unique ? 1 : 0) | (t.descending ? 2 : 0));
  mix(&flags, 1);
  return h;
}

}  // namespace

IndexFile::~IndexFile() {
  if (txnDepth_ > 0) {
    txnDepth_ = 1;
    End(nullptr);
  }
  if (lock_ == LockState::kWrite) --g_writeLocksHeld;
  if (lock_ != LockState::kNone) file_->Unlock(kLockOffset, 1);
}

std::unique_ptr<IndexFile> IndexFile::Open(const std::string& path, bool writable, bool takeOver, bool* busy) {
  if (busy) *busy = false;
  std::unique_ptr<IndexFile> f(new IndexFile());
  f->path_ = path;
  f->writable_ = writable;
  f->file_ = Fs().Open(path, writable, false, false);
  if (!f->file_ && writable && takeOver) {
    // Never truncated: another process may be making the same file; the write lock decides.
    f->file_ = Fs().Open(path, true, true, true);
    if (!f->file_) f->file_ = Fs().Open(path, true, false, false);
  }
  if (!f->file_ && writable) {
    f->writable_ = false;
    f->file_ = Fs().Open(path, false, false, false);
  }
  if (!f->file_) return nullptr;
  // Under the read lock no writer is at work: a set write flag or a standing announcement
  // was left by a dead one.
  bool locked = f->LockRead();
  if (!locked && f->busy_) {
    // Another process kept the lock past the wait: the header is taken as it stands only when
    // no writer is changing pages and none changed them while it was read, as a read does.
    Prefix before, after;
    bool ours = f->ReadPrefix(before) && !before.dirty && f->ReadHeader() && f->ReadPrefix(after) &&
                !after.dirty && after.counter == before.counter;
    if (!ours && busy) *busy = true;
    return ours ? std::move(f) : nullptr;
  }
  bool ours = f->ReadHeader();
  if (ours && locked && f->announced_ > 0) f->staleWrite_ = true;
  if (locked) f->UnlockRead();
  if (!ours) {
    if (!takeOver) return nullptr;
    f->damaged_ = true;
  }
  return f;
}

std::unique_ptr<IndexFile> IndexFile::InMemory(const std::string& path, const IndexStamp& stamp) {
  std::unique_ptr<IndexFile> f(new IndexFile());
  f->path_ = path;
  f->writable_ = true;
  f->file_ = NewMemoryFile();
  if (!f->Begin()) return nullptr;
  bool ok = f->Reset(stamp);
  ok = f->End(&stamp) && ok;
  if (!ok) return nullptr;
  return f;
}

std::unique_ptr<IndexFile> IndexFile::Create(const std::string& path, const IndexStamp& stamp) {
  std::unique_ptr<IndexFile> f = Open(path, true, true);
  if (!f || !f->writable_ || !f->Begin()) return nullptr;
  bool ok = f->Reset(stamp);
  // A longer file left from before is cut back: its old pages must not look like ours.
  if (ok && f->file_->Size() > kPageSize) {
    std::string zero(kPageSize, '\0');
    ok = f->file_->WriteAt(kPageSize, zero.data(), zero.size());
  }
  ok = f->End(&stamp) && ok;
  if (!ok) return nullptr;
  return f;
}

void IndexFile::ViewHeader() {
  if (!header_) header_ = file_->View(kPageSize);
}

bool IndexFile::ReadPrefix(Prefix& p) {
  char h[72];
  // Through the header's view: the bytes a read would give, without the system call.
  if (!header_ || !header_->Read(0, h, sizeof h)) {
    header_.reset();  // none, or cut short by another program: the file tells what is left
    if (file_->ReadAt(0, h, sizeof h) != static_cast<ssize_t>(sizeof h)) return false;
  }
  p.counter = Get64(h + 24);
  p.dirty = Get32(h + 32) != 0;
  p.announced = Get32(h + 68);
  return true;
}

bool IndexFile::ReadHeader() {
  tags_.clear();
  ++tagsGeneration_;
  staleWrite_ = false;
  lostTags_ = 0;
  readable_ = false;
  std::string h(kPageSize, '\0');
  if (file_->ReadAt(0, h.data(), h.size()) != kPageSize || std::memcmp(h.data(), kMagic, 8) != 0 ||
      Get32(&h[8]) != kVersion || Get32(&h[12]) != kPageSize) {
    pageCount_ = 1;
    freeHead_ = 0;
    announced_ = 0;
    damaged_ = true;
    return false;
  }
  readable_ = true;
  pageCount_ = Get32(&h[16]);
  freeHead_ = Get32(&h[20]);
  counter_ = Get64(&h[24]);
  damaged_ = Get32(&h[32]) != 0;
  uint32_t tagCount = Get32(&h[36]);
  stamp_.dbfSize = Get64(&h[40]);
  stamp_.dbfMtimeNs = static_cast<int64_t>(Get64(&h[48]));
  stamp_.recSize = Get32(&h[56]);
  stamp_.fieldsHash = Get32(&h[60]);
  stamp_.collationHash = Get32(&h[64]);
  announced_ = Get32(&h[68]);
  ViewHeader();
  const int64_t size = file_->Size();
  const auto inFile = static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(size, 0) / kPageSize, kMaxPages));
  if (pageCount_ < 1 || pageCount_ > inFile) {
    // A file cut short, or a count beyond it: pages it does not hold are never read, and the
    // trees are rebuilt from the definitions it still holds.
    damaged_ = true;
    pageCount_ = std::max<uint32_t>(1, std::min(pageCount_, inFile));
  }
  // A count past the directory's room is damaged: its empty entries are no lost tags.
  const bool countSane = tagCount <= static_cast<uint32_t>(kMaxTags);
  if (!countSane) {
    damaged_ = true;
    tagCount = kMaxTags;
  }
  auto emptyEntry = [&](uint32_t i) {
    const char* e = &h[kHeaderTagsAt + i * kTagEntrySize];
    return std::all_of(e, e + kTagEntrySize, [](char c) { return c == 0; });
  };
  // The directory is written without gaps: an empty entry before a tag is a lost one.
  uint32_t used = 0;
  for (uint32_t i = 0; i < static_cast<uint32_t>(kMaxTags); ++i)
    if (!emptyEntry(i)) used = i + 1;
  for (uint32_t i = 0; i < static_cast<uint32_t>(kMaxTags); ++i) {
    const char* e = &h[kHeaderTagsAt + i * kTagEntrySize];
    const bool empty = emptyEntry(i);
    if (i >= tagCount || (empty && !countSane)) {
      // The directory is zero past its last tag: an entry there means a damaged count, and
      // the tag it holds is read like the others.
      if (empty && i >= used) continue;
      damaged_ = true;
    }
    TagSlot t;
    t.info.name.assign(e, strnlen(e, 12));
    t.root = Get32(e + 12);
    t.height = Get32(e + 16);
    t.info.entries = Get32(e + 20);
    t.defPage = Get32(e + 24);
    t.info.keyLen = Get16(e + 28);
    t.info.keyType = e[30];
    t.info.unique = (e[31] & 1) != 0;
    t.info.descending = (e[31] & 2) != 0;
    const bool defined = !t.info.name.empty() && t.info.keyLen >= 1 && t.info.keyLen <= kMaxKeyLen &&
                         t.defPage >= 1 && t.defPage < pageCount_ && FindTag(t.info.name) < 0 &&
                         std::none_of(tags_.begin(), tags_.end(), [&](const TagSlot& o) { return o.defPage == t.defPage; }) &&
                         LoadTagDef(t);
    if (!defined) {
      // Only this tag is lost (a process killed while deleting or rebuilding it freed its
      // definition, or the bytes are damaged); the rebuild that follows keeps every other tag.
      damaged_ = true;
      ++lostTags_;
      continue;
    }
    // A tree that cannot be walked is rebuilt; its definition still serves.
    if (t.root < 1 || t.root >= pageCount_ || t.height < 1 || t.height > 32) damaged_ = true;
    tags_.push_back(std::move(t));
  }
  return true;
}

bool IndexFile::WriteHeader(bool dirtyFlag) {
  std::string h(kPageSize, '\0');
  std::memcpy(h.data(), kMagic, 8);
  Put32(&h[8], kVersion);
  Put32(&h[12], kPageSize);
  Put32(&h[16], pageCount_);
  Put32(&h[20], freeHead_);
  Put64(&h[24], counter_);
  Put32(&h[32], dirtyFlag ? 1 : 0);
  Put32(&h[36], static_cast<uint32_t>(tags_.size()));
  Put64(&h[40], stamp_.dbfSize);
  Put64(&h[48], static_cast<uint64_t>(stamp_.dbfMtimeNs));
  Put32(&h[56], stamp_.recSize);
  Put32(&h[60], stamp_.fieldsHash);
  Put32(&h[64], stamp_.collationHash);
  Put32(&h[68], announced_);
  for (std::size_t i = 0; i < tags_.size(); ++i) {
    char* e = &h[kHeaderTagsAt + i * kTagEntrySize];
    const TagSlot& t = tags_[i];
    std::memcpy(e, t.info.name.data(), std::min<std::size_t>(t.info.name.size(), 12));
    Put32(e + 12, t.root);
    Put32(e + 16, t.height);
    Put32(e + 20, t.info.entries);
    Put32(e + 24, t.defPage);
    Put16(e + 28, static_cast<uint16_t>(t.info.keyLen));
    e[30] = t.info.keyType;
    e[31] = static_cast<char>((t.info.unique ? 1 : 0) | (t.info.descending ? 2 : 0));
  }
  if (!file_->WriteAt(0, h.data(), h.size())) return false;
  ViewHeader();
  return true;
}

void IndexFile::CheckStanding(uint32_t announced) {
  if (announced == 0) return;
  if (lock_ != LockState::kNone) {
    staleWrite_ = true;  // no one else can be writing while we hold the lock
    return;
  }
  // The writer that announced holds the lock until its keys are in; a free lock with the
  // count still standing means it died.
  if (!file_->Lock(kLockOffset, 1, LockKind::Shared, false)) return;
  Prefix again;
  if (ReadPrefix(again) && again.counter == counter_ && again.announced > 0) staleWrite_ = true;
  file_->Unlock(kLockOffset, 1);
}

bool IndexFile::Sync() {
  if (txnDepth_ > 0 || lock_ == LockState::kWrite) return false;
  Prefix h;
  if (!ReadPrefix(h)) {
    bool was = damaged_;
    damaged_ = true;
    return !was;
  }
  if (h.dirty && lock_ == LockState::kNone) {
    // A writer is at work, or died at work: wait for its lock, then look again. When the
    // lock cannot be waited for (this process writes), the view stays as it was.
    if (!LockRead()) return false;
    bool ok = ReadPrefix(h);
    UnlockRead();
    if (!ok) {
      damaged_ = true;
      return true;
    }
  }
  bool changed = false;
  if (h.counter != counter_ || h.dirty) {
    // Still set once the lock was free: the writer died, and ReadHeader marks the damage.
    bool pages = pageDamage_ && h.counter == counter_;
    DropCache();
    if (!ReadHeader()) damaged_ = true;
    pageDamage_ = pages;
    damaged_ = damaged_ || pages;
    changed = true;
  }
  CheckStanding(h.announced);
  return changed;
}

bool IndexFile::Validate() {
  if (lock_ != LockState::kNone || txnDepth_ > 0) return true;
  Prefix h;
  if (!ReadPrefix(h) || h.counter != counter_ || h.dirty) return false;
  CheckStanding(h.announced);
  return true;
}

bool IndexFile::LockRead() {
  if (lock_ == LockState::kWrite) return true;
  if (readLocks_ > 0) {
    ++readLocks_;
    return true;
  }
  if (!TakeLock(LockKind::Shared, true)) return false;
  lock_ = LockState::kRead;
  readLocks_ = 1;
  return true;
}

bool IndexFile::TakeLock(LockKind kind, bool wait) {
  // While this process holds a write lock nothing is waited for: the holder may be this very
  // thread (another work area of it), and the wait would never end.
  const int seconds = wait && g_writeLocksHeld == 0 ? IndexLockSeconds() : 0;
  busy_ = !LockWithin(*file_, kLockOffset, 1, kind, seconds);
  return !busy_;
}

void IndexFile::UnlockRead() {
  if (readLocks_ == 0) return;
  if (--readLocks_ > 0 || lock_ != LockState::kRead) return;
  file_->Unlock(kLockOffset, 1);
  lock_ = LockState::kNone;
}

bool IndexFile::LockWrite(bool wait) {
  if (lock_ == LockState::kWrite) return true;
  if (!writable_) return false;
  // A read lock held here is converted in place (and given back as a read lock).
  if (!TakeLock(LockKind::Exclusive, wait)) return false;
  lock_ = LockState::kWrite;
  ++g_writeLocksHeld;
  RefreshUnderWriteLock();
  return true;
}

void IndexFile::UnlockWrite() {
  if (lock_ != LockState::kWrite || txnDepth_ > 0) return;
  --g_writeLocksHeld;
  if (readLocks_ > 0 && file_->Lock(kLockOffset, 1, LockKind::Shared, false)) {
    lock_ = LockState::kRead;
    return;
  }
  file_->Unlock(kLockOffset, 1);
  lock_ = LockState::kNone;
  readLocks_ = 0;
}

void IndexFile::RefreshUnderWriteLock() {
  Prefix h;
  if (!ReadPrefix(h)) {
    DropCache();
    ReadHeader();  // not ours (any more): damaged, no tags
    return;
  }
  if (h.counter != counter_ || h.dirty || damaged_) {
    bool pages = pageDamage_ && h.counter == counter_;
    DropCache();
    ReadHeader();  // a set flag here was left by a dead writer: ReadHeader marks the damage
    pageDamage_ = pages;
    damaged_ = damaged_ || pages;
  }
  // From the file, never from memory: another writer may have counted since.
  announced_ = h.announced;
  staleWrite_ = h.announced > 0;
}

void IndexFile::DropCache() {
  cache_.clear();
  cachedPages_ = 0;
  dirtyPages_.clear();
  ++placeEpoch_;
}

std::unique_ptr<char[]> IndexFile::NewBuffer() {
  std::unique_ptr<char[]> buf(new char[kPageSize + sizeof(PageMeta)]);
  new (buf.get() + kPageSize) PageMeta();
  return buf;
}

IndexFile::PageMeta& IndexFile::Meta(char* page) {
  return *std::launder(reinterpret_cast<PageMeta*>(page + kPageSize));
}

int IndexFile::FindTag(std::string_view upperName) const {
  for (std::size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].info.name == upperName) return static_cast<int>(i);
  return -1;
}

char* IndexFile::Page(uint32_t n) {
  if (n == 0 || n >= pageCount_) {
    fault_ = true;
    return nullptr;
  }
  if (n < cache_.size() && cache_[n]) return cache_[n].get();
  // Only between transactions, and only here, before this call hands out a pointer: callers
  // never hold a page across a read of another.
  if (cachedPages_ >= kMaxCachedPages && txnDepth_ == 0) DropCache();
  std::unique_ptr<char[]> buf = NewBuffer();
  if (file_->ReadAt(static_cast<int64_t>(n) * kPageSize, buf.get(), kPageSize) != kPageSize) {
    fault_ = true;
    return nullptr;
  }
  char* p = buf.get();
  uint8_t type = PType(p);
  uint32_t self = Get32(p + 12);
  // Every page names itself; a free page written by an older build may carry 0.
  if (type < kLeaf || type > kDef || (self != n && !(type == kFree && self == 0))) {
    fault_ = true;
    return nullptr;
  }
  Slot(n) = std::move(buf);
  return p;
}

char* IndexFile::Leaf(const TagSlot& t, uint32_t n) {
  // A walk asks for the same few leaves again and again: one cached and checked for this
  // tag is handed out at once.
  if (n != 0 && n < pageCount_ && n < cache_.size() && cache_[n] && Checking()) {
    char* p = cache_[n].get();
    if (Meta(p).checkedFor == t.defPage && PType(p) == kLeaf && PCount(p) <= LeafCap(t)) return p;
  }
  char* p = Page(n);
  if (!p) return nullptr;
  if (PType(p) != kLeaf || PCount(p) > LeafCap(t)) {
    fault_ = true;
    return nullptr;
  }
  // Once per page and view; a transaction reads pages it is changing and checks nothing.
  if (Checking() && Meta(p).checkedFor != t.defPage) {
    if (!LeafSound(t, p)) {
      fault_ = true;
      return nullptr;
    }
    Meta(p) = PageMeta{};
    Meta(p).checkedFor = t.defPage;
  }
  return p;
}

char* IndexFile::Branch(const TagSlot& t, uint32_t n) {
  char* p = Page(n);
  if (!p) return nullptr;
  if (PType(p) != kBranch || PCount(p) < 1 || PCount(p) > BranchCap(t)) {
    fault_ = true;
    return nullptr;
  }
  if (Checking() && Meta(p).checkedFor != t.defPage) {
    if (!BranchSound(t, p, n)) {
      fault_ = true;
      return nullptr;
    }
    Meta(p) = PageMeta{};
    Meta(p).checkedFor = t.defPage;
  }
  return p;
}

bool IndexFile::RecordFits(uint32_t recNo) {
  if (recNo == 0) return false;
  if (recNo <= recBound_) return true;
  // Records only grow between rebuilds: the count seen last, then the file's own.
  for (bool fresh : {false, true}) {
    const int32_t n = recordCount_(fresh);
    if (n > 0) recBound_ = std::max(recBound_, static_cast<uint32_t>(n));
    if (recNo <= recBound_) return true;
  }
  return false;
}

bool IndexFile::LeafSound(const TagSlot& t, const char* p) {
  const int kl = t.info.keyLen, esz = kl + 4, cnt = PCount(p);
  for (int i = 0; i < cnt; ++i) {
    const char* e = p + kPageHeader + i * esz;
    if (recordCount_ && !RecordFits(GetRec(e + kl))) return false;
    if (i == 0) continue;
    const char* d = e - esz;
    if (Compare(t, d, GetRec(d + kl), e, kl, GetRec(e + kl)) >= 0) return false;
    if (t.info.unique && CollateBytes(reinterpret_cast<const unsigned char*>(d), reinterpret_cast<const unsigned char*>(e),
                                      static_cast<std::size_t>(kl), coll_) == 0)
      return false;
  }
  return true;
}

bool IndexFile::BranchSound(const TagSlot& t, const char* p, uint32_t n) {
  const int kl = t.info.keyLen, esz = kl + 12, cnt = PCount(p);
  for (int i = 0; i < cnt; ++i) {
    const char* e = p + kPageHeader + i * esz;
    const uint32_t child = Get32(e + kl + 4);
    if (child == 0 || child >= pageCount_ || child == n) return false;
    if (recordCount_ && !RecordFits(GetRec(e + kl))) return false;
    // The first entry stands for everything lower and is never compared.
    if (i < 2) continue;
    const char* d = e - esz;
    if (Compare(t, d, GetRec(d + kl), e, kl, GetRec(e + kl)) >= 0) return false;
  }
  return true;
}

uint32_t IndexFile::AllocPageNumber() {
  if (freeHead_ != 0) {
    uint32_t n = freeHead_;
    char* p = n < pageCount_ ? Page(n) : nullptr;
    if (p && PType(p) == kFree) {
      freeHead_ = PNext(p);
      return n;
    }
    freeHead_ = 0;  // a broken free list is dropped, not followed
  }
  while (kept_.count(pageCount_)) ++pageCount_;
  if (pageCount_ >= kMaxPages) return 0;
  return pageCount_++;
}

char* IndexFile::NewPage(uint8_t type) {
  uint32_t n = AllocPageNumber();
  if (n == 0) return nullptr;
  std::unique_ptr<char[]> buf = NewBuffer();
  std::memset(buf.get(), 0, kPageSize);
  buf[0] = static_cast<char>(type);
  Put32(buf.get() + 12, n);  // a page knows its own number
  char* p = buf.get();
  Slot(n) = std::move(buf);
  MarkDirty(n);
  return p;
}

void IndexFile::FreePage(uint32_t n) {
  if (n == 0 || n >= pageCount_) return;
  std::unique_ptr<char[]> buf = NewBuffer();
  std::memset(buf.get(), 0, kPageSize);
  buf[0] = static_cast<char>(kFree);
  SetPNext(buf.get(), freeHead_);
  Put32(buf.get() + 12, n);
  freeHead_ = n;
  Slot(n) = std::move(buf);
  MarkDirty(n);
}

void IndexFile::FreeTree(const TagSlot& t) {
  // Branch pages name every child, so the leaves need not be read. A damaged tree may name
  // a page twice: each is freed once.
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> level{t.root};
  int esz = t.info.keyLen + 12;
  for (uint32_t h = t.height; h > 1 && !level.empty(); --h) {
    std::vector<uint32_t> next;
    for (uint32_t n : level) {
      char* p = Branch(t, n);
      if (!p || !seen.insert(n).second) continue;
      for (int i = 0; i < PCount(p); ++i) {
        uint32_t c = Get32(p + kPageHeader + i * esz + t.info.keyLen + 4);
        if (c != 0 && c < pageCount_ && !seen.count(c)) next.push_back(c);
      }
      FreePage(n);
    }
    level.swap(next);
  }
  for (uint32_t n : level)
    if (seen.insert(n).second) FreePage(n);
  if (seen.insert(t.defPage).second) FreePage(t.defPage);
}

bool IndexFile::LoadTagDef(TagSlot& t) {
  char* p = Page(t.defPage);
  if (!p || PType(p) != kDef) return false;
  int at = kPageHeader;
  auto readText = [&](std::string& out) {
    if (at + 2 > kPageSize) return false;
    int n = Get16(p + at);
    at += 2;
    if (at + n > kPageSize) return false;
    out.assign(p + at, static_cast<std::size_t>(n));
    at += n;
    return out.find('\0') == std::string::npos;
  };
  if (!readText(t.info.expression) || !readText(t.info.condition) || t.info.expression.empty()) return false;
  // The check written behind the texts; a definition written before there was one is followed
  // by nothing.
  if (at + 6 <= kPageSize && p[at] == kDefMark[0] && p[at + 1] == kDefMark[1])
    return Get32(p + at + 2) == DefinitionHash(t.info);
  return std::all_of(p + at, p + kPageSize, [](char c) { return c == 0; });
}

bool IndexFile::StoreTagDef(TagSlot& t) {
  if (t.info.expression.size() + t.info.condition.size() + 4 + sizeof kDefMark + 4 + kPageHeader > kPageSize) return false;
  char* p = NewPage(kDef);
  if (!p) return false;
  t.defPage = Get32(p + 12);
  int at = kPageHeader;
  for (const std::string* s : {&t.info.expression, &t.info.condition}) {
    Put16(p + at, static_cast<uint16_t>(s->size()));
    at += 2;
    std::memcpy(p + at, s->data(), s->size());
    at += static_cast<int>(s->size());
  }
  std::memcpy(p + at, kDefMark, sizeof kDefMark);
  Put32(p + at + sizeof kDefMark, DefinitionHash(t.info));
  return true;
}

int IndexFile::LeafCap(const TagSlot& t) const { return (kPageSize - kPageHeader) / (t.info.keyLen + 4); }
int IndexFile::BranchCap(const TagSlot& t) const { return (kPageSize - kPageHeader) / (t.info.keyLen + 12); }

int IndexFile::Compare(const TagSlot& t, const char* a, uint32_t ra, const char* b, int n, uint32_t rb) const {
  int d = CollateBytes(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b),
                       static_cast<std::size_t>(n), coll_);
  if (d != 0) return t.info.descending ? -d : d;
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

uint32_t IndexFile::PageTotal(const TagSlot& t, uint32_t page) {
  char* p = Page(page);
  if (!p) return 0;
  if (PType(p) == kLeaf) {
    p = Leaf(t, page);
    return p ? static_cast<uint32_t>(PCount(p)) : 0;
  }
  p = Branch(t, page);
  if (!p) return 0;
  uint32_t sum = 0;
  int esz = t.info.keyLen + 12;
  for (int i = 0; i < PCount(p); ++i) sum += Get32(p + kPageHeader + i * esz + t.info.keyLen + 8);
  return sum;
}

int IndexFile::LeafLowerBound(const TagSlot& t, const char* leaf, int count, const char* key, int n,
                              uint32_t recNo) const {
  const int kl = t.info.keyLen;
  const int esz = kl + 4;
  int lo = 0, hi = count;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    const char* e = leaf + kPageHeader + mid * esz;
    if (Compare(t, e, GetRec(e + kl), key, n, recNo) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Walks from the root to the leaf where (key, recNo) belongs. path[i].index is the child
// taken in a branch, and for the leaf the first slot not below the target. Every level but
// the last must be a branch, the last a leaf.
bool IndexFile::DescendTo(const TagSlot& t, const char* key, int n, uint32_t recNo, std::vector<PathStep>& path) {
  path.clear();
  uint32_t page = t.root;
  int kl = t.info.keyLen;
  for (uint32_t level = 0; level < t.height; ++level) {
    if (level + 1 == t.height) {
      char* p = Leaf(t, page);
      if (!p) return false;
      path.push_back({page, LeafLowerBound(t, p, PCount(p), key, n, recNo)});
      return true;
    }
    char* p = Branch(t, page);
    if (!p) return false;
    int cnt = PCount(p);
    int esz = kl + 12;
    // Last child whose separator is not above the target; child 0 takes everything below.
    int lo = 1, hi = cnt;
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      const char* e = p + kPageHeader + mid * esz;
      if (Compare(t, e, GetRec(e + kl), key, n, recNo) <= 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    int child = lo - 1;
    path.push_back({page, child});
    page = Get32(p + kPageHeader + child * esz + kl + 4);
  }
  return false;
}

IndexFile::Pos IndexFile::LowerBound(int slot, const char* prefix, int n, uint32_t recNo) {
  const TagSlot* t = TagAt(slot);
  if (damaged_ || !t || !TagFits(*t)) return {};
  n = std::min(n, t->info.keyLen);
  std::vector<PathStep> path;
  if (!DescendTo(*t, prefix, n, recNo, path)) return {};
  Pos p{path.back().page, path.back().index};
  uint32_t place = 0;
  if (Checking() && !PathPlace(*t, path, place)) return {};
  char* pg = Leaf(*t, p.page);
  if (!pg) return {};
  const int count = PCount(pg);
  if (count > 0) {
    // The leaf the search reached is the one the tree holds at that place: a child pointer
    // damaged in a branch sends the search elsewhere, and shows here.
    uint32_t ord = 0;
    if (!Place(*t, p.page, ord)) return {};
    if (Checking() && ord != place) {
      fault_ = true;
      return {};
    }
  }
  if (p.slot < count) return p;
  // Past the end of this leaf: the next non-empty leaf's first entry.
  return Step(*t, p.page, true, place + static_cast<uint32_t>(count));
}

bool IndexFile::BranchTotal(const TagSlot& t, uint32_t page, uint64_t& total) {
  char* p = Branch(t, page);
  if (!p) return false;
  total = 0;
  const int esz = t.info.keyLen + 12;
  for (int i = 0; i < PCount(p); ++i) total += Get32(p + kPageHeader + i * esz + t.info.keyLen + 8);
  return true;
}

bool IndexFile::PathPlace(const TagSlot& t, const std::vector<PathStep>& path, uint32_t& ord) {
  uint64_t sum = 0;
  const int esz = t.info.keyLen + 12;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    char* p = Branch(t, path[i].page);
    if (!p) return false;
    for (int c = 0; c < path[i].index; ++c) sum += Get32(p + kPageHeader + c * esz + t.info.keyLen + 8);
  }
  if (sum > t.info.entries) {
    fault_ = true;
    return false;
  }
  ord = static_cast<uint32_t>(sum);
  return true;
}

bool IndexFile::Place(const TagSlot& t, uint32_t page, uint32_t& ord) {
  if (!Checking()) return true;
  char* p = Leaf(t, page);
  if (!p) return false;
  if (Meta(p).placedEpoch == placeEpoch_) {
    ord = Meta(p).firstOrd;
    return true;
  }
  const int count = PCount(p), kl = t.info.keyLen, esz = kl + 4;
  if (count == 0) {
    fault_ = true;
    return false;
  }
  // By value: the descents read other pages, and the cache may start afresh meanwhile.
  const std::string first(p + kPageHeader, static_cast<std::size_t>(esz));
  const std::string last(p + kPageHeader + (count - 1) * esz, static_cast<std::size_t>(esz));
  std::vector<PathStep> path;
  uint32_t place = 0;
  bool ok = DescendTo(t, first.data(), kl, GetRec(first.data() + kl), path) && path.back().page == page &&
            path.back().index == 0 && PathPlace(t, path, place);
  // Every count on the way down is what lies below it; a root leaf holds the tag's count.
  for (std::size_t i = 0; ok && i + 1 < path.size(); ++i) {
    char* b = Branch(t, path[i].page);
    if (!b) return false;
    const uint32_t below = Get32(b + kPageHeader + path[i].index * (kl + 12) + kl + 8);
    uint64_t actual = static_cast<uint64_t>(count);
    if (i + 2 < path.size()) ok = BranchTotal(t, path[i + 1].page, actual);
    ok = ok && below == actual;
  }
  ok = ok && (path.size() > 1 || static_cast<uint32_t>(count) == t.info.entries);
  ok = ok && DescendTo(t, last.data(), kl, GetRec(last.data() + kl), path) && path.back().page == page &&
       path.back().index == count - 1;
  if (!ok) {
    fault_ = true;
    return false;
  }
  p = Leaf(t, page);
  if (!p) return false;
  Meta(p).placedEpoch = placeEpoch_;
  Meta(p).firstOrd = place;
  ord = place;
  return true;
}

bool IndexFile::TagFits(const TagSlot& t) {
  if (!Checking() || t.checkedEpoch == placeEpoch_) return true;
  uint64_t total = 0;
  if (t.height == 1) {
    char* p = Leaf(t, t.root);
    if (!p) return false;
    total = static_cast<uint64_t>(PCount(p));
  } else if (!BranchTotal(t, t.root, total)) {
    return false;
  }
  if (total != t.info.entries) {
    fault_ = true;
    return false;
  }
  // While this process holds the write lock its own table writes may be ahead of the keys.
  if (recordCount_ && lock_ != LockState::kWrite) {
    // Every record has its entry in a tag without a condition (a unique tag keeps one per key).
    const bool all = t.info.condition.empty() && !t.info.unique;
    auto fits = [&](int32_t n) {
      return n >= 0 && (all ? t.info.entries == static_cast<uint32_t>(n) : t.info.entries <= static_cast<uint32_t>(n));
    };
    if (!fits(recordCount_(false)) && !fits(recordCount_(true))) {
      mismatch_ = true;
      return false;
    }
  }
  t.checkedEpoch = placeEpoch_;
  return true;
}

// The first entry of the next non-empty leaf after `from` (or the last of the one before).
// The chain is checked as it is followed: each leaf must point back at the one it was
// reached from, the entries must go on rising across the step, and the leaf reached must lie
// where the counts say the entries after `from` begin, so a damaged chain or count ends the
// walk as a fault instead of looping, skipping or repeating entries.
IndexFile::Pos IndexFile::Step(const TagSlot& t, uint32_t from, bool forward, uint32_t boundary) {
  const int esz = t.info.keyLen + 4;
  std::string edge;  // the entry the step leaves from, kept by value: pages may move
  uint32_t n = 0;
  if (char* p = Leaf(t, from)) {
    if (PCount(p) > 0) edge.assign(p + kPageHeader + (forward ? (PCount(p) - 1) * esz : 0), static_cast<std::size_t>(esz));
    n = forward ? PNext(p) : PPrev(p);
  } else {
    return {};
  }
  for (uint32_t guard = pageCount_; n != 0; --guard) {
    char* q = guard > 0 ? Leaf(t, n) : nullptr;
    if (!q) {
      fault_ = true;
      return {};
    }
    if ((forward ? PPrev(q) : PNext(q)) != from) {
      fault_ = true;
      return {};
    }
    const int cnt = PCount(q);
    if (cnt > 0) {
      const char* e = q + kPageHeader + (forward ? 0 : (cnt - 1) * esz);
      if (!edge.empty()) {
        int d = Compare(t, e, GetRec(e + t.info.keyLen), edge.data(), t.info.keyLen, GetRec(edge.data() + t.info.keyLen));
        if (forward ? d <= 0 : d >= 0) {
          fault_ = true;
          return {};
        }
      }
      uint32_t ord = 0;
      if (!Place(t, n, ord)) return {};
      if (Checking() && boundary != kNoBoundary &&
          (forward ? ord != boundary : ord + static_cast<uint32_t>(cnt) != boundary)) {
        fault_ = true;
        return {};
      }
      return {n, forward ? 0 : cnt - 1};
    }
    from = n;
    n = forward ? PNext(q) : PPrev(q);
  }
  // The chain ends at the tag's edge, never inside it.
  if (Checking() && boundary != kNoBoundary && boundary != (forward ? t.info.entries : 0)) fault_ = true;
  return {};
}

// The leaf reached from the root taking, in each branch, the child `pick` chooses from the
// branch page and its entry count (-1: none); 0 on a damaged path.
template <class Pick>
uint32_t IndexFile::LeafBelow(const TagSlot& t, Pick pick) {
  uint32_t page = t.root;
  const int esz = t.info.keyLen + 12;
  for (uint32_t level = 1; level < t.height; ++level) {
    char* p = Branch(t, page);
    if (!p) return 0;
    int c = pick(p, PCount(p));
    if (c < 0) return 0;
    page = Get32(p + kPageHeader + c * esz + t.info.keyLen + 4);
  }
  return page;
}

IndexFile::Pos IndexFile::First(int slot) {
  const TagSlot* t = TagAt(slot);
  if (damaged_ || !t || !TagFits(*t)) return {};
  uint32_t page = LeafBelow(*t, [](const char*, int) { return 0; });
  char* p = Leaf(*t, page);
  if (!p) return {};
  if (PCount(p) == 0) return Step(*t, page, true, 0);
  uint32_t ord = 0;
  if (!Place(*t, page, ord)) return {};
  if (Checking() && ord != 0) {
    fault_ = true;
    return {};
  }
  return Pos{page, 0};
}

IndexFile::Pos IndexFile::Last(int slot) {
  const TagSlot* t = TagAt(slot);
  if (damaged_ || !t || !TagFits(*t)) return {};
  uint32_t page = LeafBelow(*t, [](const char*, int count) { return count - 1; });
  char* p = Leaf(*t, page);
  if (!p) return {};
  const int count = PCount(p);
  if (count == 0) return Step(*t, page, false, t->info.entries);
  uint32_t ord = 0;
  if (!Place(*t, page, ord)) return {};
  if (Checking() && ord + static_cast<uint32_t>(count) != t->info.entries) {
    fault_ = true;
    return {};
  }
  return Pos{page, count - 1};
}

IndexFile::Pos IndexFile::Next(int slot, Pos pos) {
  const TagSlot* t = TagAt(slot);
  if (!t) return {};
  char* p = Leaf(*t, pos.page);
  if (!p) return {};
  const int count = PCount(p);
  if (pos.slot + 1 < count) return {pos.page, pos.slot + 1};
  uint32_t ord = 0;
  if (count > 0 && !Place(*t, pos.page, ord)) return {};
  return Step(*t, pos.page, true, count > 0 ? ord + static_cast<uint32_t>(count) : kNoBoundary);
}

IndexFile::Pos IndexFile::Prev(int slot, Pos pos) {
  const TagSlot* t = TagAt(slot);
  if (!t) return {};
  char* p = Leaf(*t, pos.page);
  if (!p) return {};
  const int count = PCount(p);
  if (pos.slot > 0 && count > 0) return {pos.page, std::min(pos.slot, count) - 1};
  uint32_t ord = 0;
  if (count > 0 && !Place(*t, pos.page, ord)) return {};
  return Step(*t, pos.page, false, count > 0 ? ord : kNoBoundary);
}

const char* IndexFile::KeyAt(int slot, Pos pos) {
  const TagSlot* t = TagAt(slot);
  if (!t || !pos.Valid()) return nullptr;
  char* p = Leaf(*t, pos.page);
  if (!p || pos.slot < 0 || pos.slot >= PCount(p)) return nullptr;
  return p + kPageHeader + pos.slot * (t->info.keyLen + 4);
}

int32_t IndexFile::RecAt(int slot, Pos pos) { return RecOfKey(slot, KeyAt(slot, pos)); }

int32_t IndexFile::RecOfKey(int slot, const char* key) const {
  if (!key) return 0;
  return static_cast<int32_t>(GetRec(key + tags_[static_cast<std::size_t>(slot)].info.keyLen));
}

bool IndexFile::Confirmed(int slot, Pos pos) {
  const TagSlot* t = TagAt(slot);
  if (!t || pos.page == 0 || pos.page >= cache_.size() || !cache_[pos.page]) return false;
  char* p = cache_[pos.page].get();
  const PageMeta& m = Meta(p);
  if (m.checkedFor != t->defPage || pos.slot < 0 || pos.slot >= PCount(p)) return false;
  return (m.confirmed[pos.slot >> 6] >> (pos.slot & 63) & 1) != 0;
}

void IndexFile::Confirm(int slot, Pos pos) {
  const TagSlot* t = TagAt(slot);
  if (!Checking() || !t || pos.page == 0 || pos.page >= cache_.size() || !cache_[pos.page]) return;
  char* p = cache_[pos.page].get();
  PageMeta& m = Meta(p);
  if (m.checkedFor != t->defPage || pos.slot < 0 || pos.slot >= PCount(p)) return;
  m.confirmed[pos.slot >> 6] |= uint64_t{1} << (pos.slot & 63);
}

uint32_t IndexFile::Ordinal(int slot, Pos pos) {
  const char* k = KeyAt(slot, pos);
  if (!k) return 0;
  const TagSlot& t = tags_[static_cast<std::size_t>(slot)];
  if (Checking()) {
    uint32_t ord = 0;
    return Place(t, pos.page, ord) ? ord + static_cast<uint32_t>(pos.slot) : 0;
  }
  std::string key(k, static_cast<std::size_t>(t.info.keyLen) + 4);  // the descent reads other pages
  std::vector<PathStep> path;
  if (!DescendTo(t, key.data(), t.info.keyLen, GetRec(key.data() + t.info.keyLen), path)) return 0;
  uint32_t ord = 0;
  if (!PathPlace(t, path, ord)) return 0;
  return ord + static_cast<uint32_t>(path.back().index);
}

IndexFile::Pos IndexFile::AtOrdinal(int slot, uint32_t ordinal) {
  const TagSlot* t = TagAt(slot);
  if (damaged_ || !t || !TagFits(*t) || ordinal >= t->info.entries) return {};
  const int esz = t->info.keyLen + 12;
  const uint32_t want = ordinal;
  // Each branch entry counts the leaf entries below its child.
  uint32_t page = LeafBelow(*t, [&](const char* p, int count) {
    for (int c = 0; c < count; ++c) {
      uint32_t n = Get32(p + kPageHeader + c * esz + t->info.keyLen + 8);
      if (ordinal < n) return c;
      ordinal -= n;
    }
    return -1;
  });
  char* p = Leaf(*t, page);
  if (!p) return {};
  if (ordinal >= static_cast<uint32_t>(PCount(p))) {
    fault_ = true;  // the counts lead past the entries the leaf holds
    return {};
  }
  uint32_t ord = 0;
  if (!Place(*t, page, ord)) return {};
  if (Checking() && ord + ordinal != want) {
    fault_ = true;
    return {};
  }
  return {page, static_cast<int>(ordinal)};
}

bool IndexFile::ForEachRecord(int slot, const std::function<void(uint32_t page, int first, const int32_t* recNos, int n)>& visit) {
  const TagSlot* t = TagAt(slot);
  if (damaged_ || !t) return false;
  const int esz = t->info.keyLen + 4;
  const bool faultBefore = fault_;
  fault_ = false;
  std::vector<int32_t> recs(static_cast<std::size_t>(LeafCap(*t)));
  for (Pos p = First(slot); p.Valid();) {
    const char* leaf = Leaf(*t, p.page);
    if (!leaf) break;
    const int count = PCount(leaf);
    int n = 0;
    for (int i = p.slot; i < count; ++i)
      recs[static_cast<std::size_t>(n++)] = static_cast<int32_t>(GetRec(leaf + kPageHeader + i * esz + t->info.keyLen));
    visit(p.page, p.slot, recs.data(), n);
    uint32_t ord = 0;
    if (!Place(*t, p.page, ord)) break;
    p = Step(*t, p.page, true, ord + static_cast<uint32_t>(count));
  }
  const bool ok = !fault_;
  fault_ = fault_ || faultBefore;
  return ok;
}

// ---- writing ------------------------------------------------------------------------------

bool IndexFile::Begin() {
  if (txnDepth_ > 0) {
    ++txnDepth_;
    return true;
  }
  if (!writable_) return false;
  bool took = lock_ != LockState::kWrite;
  if (took && !LockWrite(true)) return false;
  // The flag stays set while pages are half written; a reader that finds it set with no
  // writer holding the lock knows the trees are not to be trusted.
  if (!WriteHeader(true)) {
    if (took) UnlockWrite();
    return false;
  }
  txnDepth_ = 1;
  return true;
}

bool IndexFile::Announce() {
  if (lock_ != LockState::kWrite) return false;
  // The pages are not touched, so the change counter stays and no reader drops its cache.
  ++announced_;
  char count[4];
  Put32(count, announced_);
  return file_->WriteAt(68, count, 4);
}

bool IndexFile::End(const IndexStamp* stamp, bool retire) {
  if (txnDepth_ == 0) return false;
  if (stamp) stamp_ = *stamp;
  if (--txnDepth_ > 0) return !damaged_;
  kept_.clear();
  if (retire && announced_ > 0) --announced_;
  bool ok = true;
  std::vector<uint32_t> pages(dirtyPages_.begin(), dirtyPages_.end());
  std::sort(pages.begin(), pages.end());
  for (uint32_t n : pages) {
    if (n >= cache_.size() || !cache_[n]) continue;
    ok = file_->WriteAt(static_cast<int64_t>(n) * kPageSize, cache_[n].get(), kPageSize) && ok;
    Meta(cache_[n].get()) = PageMeta{};  // what was checked of it no longer holds
  }
  dirtyPages_.clear();
  ++placeEpoch_;  // entries came or went: every leaf's place is found again
  ++counter_;
  if (!ok) damaged_ = true;
  // A failed write or damaged trees leave the flag set: every process then repairs them.
  ok = WriteHeader(damaged_) && ok;
  if (!ok) damaged_ = true;
  // Transactions never drop pages while they run, so a run of large ones (a merge's batches)
  // would keep every page it touched: past the bound the cache starts afresh here.
  if (cachedPages_ >= kMaxCachedPages) DropCache();
  UnlockWrite();
  return ok && !damaged_;
}

bool IndexFile::SplitChild(TagSlot& t, uint32_t parent, int child) {
  char* pp = Branch(t, parent);
  int kl = t.info.keyLen;
  int besz = kl + 12;
  if (!pp || PCount(pp) >= BranchCap(t) || child < 0 || child >= PCount(pp)) return false;
  uint32_t cpage = Get32(pp + kPageHeader + child * besz + kl + 4);
  char* cp = Page(cpage);
  if (!cp) return false;
  bool leaf = PType(cp) == kLeaf;
  cp = leaf ? Leaf(t, cpage) : Branch(t, cpage);
  if (!cp) return false;
  int esz = leaf ? kl + 4 : besz;
  int cnt = PCount(cp);
  int keep = cnt / 2;
  char* np = NewPage(leaf ? kLeaf : kBranch);
  if (!np) return false;
  uint32_t npage = Get32(np + 12);
  cp = Page(cpage);  // the cache may have grown
  pp = Page(parent);
  std::memcpy(np + kPageHeader, cp + kPageHeader + keep * esz, static_cast<std::size_t>((cnt - keep) * esz));
  SetPCount(np, cnt - keep);
  SetPCount(cp, keep);
  if (leaf) {
    uint32_t after = PNext(cp);
    SetPNext(np, after);
    SetPPrev(np, cpage);
    SetPNext(cp, npage);
    if (after) {
      char* ap = Leaf(t, after);
      if (ap) {
        SetPPrev(ap, npage);
        MarkDirty(after);
      }
      pp = Page(parent);
      cp = Page(cpage);
    }
  }
  MarkDirty(cpage);
  uint32_t moved = PageTotal(t, npage);
  pp = Page(parent);
  char* ce = pp + kPageHeader + child * besz;
  Put32(ce + kl + 8, Get32(ce + kl + 8) - moved);
  int pcnt = PCount(pp);
  char* slot = pp + kPageHeader + (child + 1) * besz;
  std::memmove(slot + besz, slot, static_cast<std::size_t>((pcnt - child - 1) * besz));
  std::memcpy(slot, np + kPageHeader, static_cast<std::size_t>(kl + 4));  // separator: first entry
  Put32(slot + kl + 4, npage);
  Put32(slot + kl + 8, moved);
  SetPCount(pp, pcnt + 1);
  MarkDirty(parent);
  return true;
}

bool IndexFile::LeafHolds(const TagSlot& t, const PathStep& leaf, const char* key, uint32_t rec) {
  char* lp = Leaf(t, leaf.page);
  int kl = t.info.keyLen;
  if (!lp || leaf.index >= PCount(lp)) return false;
  const char* e = lp + kPageHeader + leaf.index * (kl + 4);
  return Compare(t, e, GetRec(e + kl), key, kl, rec) == 0;
}

bool IndexFile::Insert(int slot, const char* key, int32_t recNo) {
  if (txnDepth_ == 0 || damaged_ || !TagAt(slot)) return false;
  TagSlot& t = tags_[static_cast<std::size_t>(slot)];
  int kl = t.info.keyLen;
  uint32_t rec = static_cast<uint32_t>(recNo);
  std::vector<PathStep> path;
  if (!DescendTo(t, key, kl, rec, path)) return false;
  if (LeafHolds(t, path.back(), key, rec)) return true;
  if (t.info.unique) {
    Pos first = LowerBound(slot, key, kl, 0);
    const char* k = KeyAt(slot, first);
    if (k && CollateBytes(reinterpret_cast<const unsigned char*>(k), reinterpret_cast<const unsigned char*>(key),
                          static_cast<std::size_t>(kl), coll_) == 0)
      return true;  // a unique tag keeps the first record of each key
  }
  // Top-down: a full node is split before we step into it, so its parent always has room.
  char* root = t.height == 1 ? Leaf(t, t.root) : Branch(t, t.root);
  if (!root) return false;
  int rootCap = t.height == 1 ? LeafCap(t) : BranchCap(t);
  if (PCount(root) >= rootCap) {
    if (t.height >= 32) return false;
    uint32_t total = PageTotal(t, t.root);
    char* nr = NewPage(kBranch);
    if (!nr) return false;
    uint32_t nrPage = Get32(nr + 12);
    root = Page(t.root);
    std::memcpy(nr + kPageHeader, root + kPageHeader, static_cast<std::size_t>(kl + 4));
    Put32(nr + kPageHeader + kl + 4, t.root);
    Put32(nr + kPageHeader + kl + 8, total);
    SetPCount(nr, 1);
    t.root = nrPage;
    ++t.height;
    if (!SplitChild(t, t.root, 0)) return false;
  }
  uint32_t page = t.root;
  int besz = kl + 12;
  for (uint32_t level = 1; level < t.height; ++level) {
    char* p = Branch(t, page);
    if (!p) return false;
    auto choose = [&](char* pg) {
      int lo = 1, hi = PCount(pg);
      while (lo < hi) {
        int mid = (lo + hi) / 2;
        const char* e = pg + kPageHeader + mid * besz;
        if (Compare(t, e, GetRec(e + kl), key, kl, rec) <= 0)
          lo = mid + 1;
        else
          hi = mid;
      }
      return lo - 1;
    };
    int c = choose(p);
    uint32_t cpage = Get32(p + kPageHeader + c * besz + kl + 4);
    bool childLeaf = level + 1 == t.height;
    char* cp = childLeaf ? Leaf(t, cpage) : Branch(t, cpage);
    if (!cp) return false;
    int cap = childLeaf ? LeafCap(t) : BranchCap(t);
    if (PCount(cp) >= cap) {
      if (!SplitChild(t, page, c)) return false;
      p = Page(page);
      c = choose(p);
      cpage = Get32(p + kPageHeader + c * besz + kl + 4);
    }
    char* e = p + kPageHeader + c * besz;
    Put32(e + kl + 8, Get32(e + kl + 8) + 1);
    MarkDirty(page);
    page = cpage;
  }
  char* lp = Leaf(t, page);
  if (!lp || PCount(lp) >= LeafCap(t)) return false;
  int esz = kl + 4;
  int cnt = PCount(lp);
  int lo = LeafLowerBound(t, lp, cnt, key, kl, rec);
  char* at = lp + kPageHeader + lo * esz;
  std::memmove(at + esz, at, static_cast<std::size_t>((cnt - lo) * esz));
  std::memcpy(at, key, static_cast<std::size_t>(kl));
  PutRec(at + kl, rec);
  SetPCount(lp, cnt + 1);
  MarkDirty(page);
  ++t.info.entries;
  return true;
}

bool IndexFile::Remove(int slot, const char* key, int32_t recNo) {
  if (txnDepth_ == 0 || damaged_ || !TagAt(slot)) return false;
  TagSlot& t = tags_[static_cast<std::size_t>(slot)];
  int kl = t.info.keyLen;
  uint32_t rec = static_cast<uint32_t>(recNo);
  std::vector<PathStep> path;
  if (!DescendTo(t, key, kl, rec, path)) return false;
  if (!LeafHolds(t, path.back(), key, rec)) return true;
  char* lp = Leaf(t, path.back().page);
  int i = path.back().index;
  int esz = kl + 4;
  int cnt = PCount(lp);
  char* at = lp + kPageHeader + i * esz;
  std::memmove(at, at + esz, static_cast<std::size_t>((cnt - i - 1) * esz));
  SetPCount(lp, cnt - 1);
  MarkDirty(path.back().page);
  // Pages are never merged: an emptied leaf stays in the chain until the next rebuild.
  int besz = kl + 12;
  for (std::size_t s = 0; s + 1 < path.size(); ++s) {
    char* p = Branch(t, path[s].page);
    if (!p) return false;
    char* e = p + kPageHeader + path[s].index * besz;
    Put32(e + kl + 8, Get32(e + kl + 8) - 1);
    MarkDirty(path[s].page);
  }
  if (t.info.entries > 0) --t.info.entries;
  return true;
}

bool IndexFile::WriteRun(uint32_t first, const std::string& pages) {
  if (pages.empty()) return true;
  return file_->WriteAt(static_cast<int64_t>(first) * kPageSize, pages.data(), pages.size());
}

int IndexFile::BuildTag(const TagInfo& def, const char* keys, const int32_t* recNos, std::size_t n,
                        const IndexStamp& stamp, const uint32_t* order,
                        const std::function<void(std::size_t)>& written) {
  if (def.keyLen < 1 || def.keyLen > kMaxKeyLen || def.name.empty() || def.name.size() > 12) return -1;
  if (n > 0x7FFFFFFF) return -1;
  if (!Begin()) return -1;
  int slot = FindTag(def.name);
  if (slot < 0 && TagCount() >= kMaxTags) {
    End(nullptr);
    return -1;
  }
  if (slot >= 0) FreeTree(tags_[static_cast<std::size_t>(slot)]);
  TagSlot t;
  t.info = def;
  t.info.entries = static_cast<uint32_t>(n);
  if (!StoreTagDef(t)) {
    End(nullptr);
    return -1;
  }
  const int kl = def.keyLen;
  const int leafCap = LeafCap(t);
  const int branchCap = BranchCap(t);
  std::size_t leaves = n == 0 ? 1 : (n + static_cast<std::size_t>(leafCap) - 1) / static_cast<std::size_t>(leafCap);
  std::vector<uint32_t> leafPages(leaves);
  bool ok = true;
  for (auto& p : leafPages) ok = (p = AllocPageNumber()) != 0 && ok;
  if (!ok) {
    // The file cannot grow that far; the pages taken so far are lost to the free list.
    damaged_ = true;
    End(nullptr);
    return -1;
  }

  struct Child {
    uint32_t page;
    uint32_t count;
    std::string first;  // key and big-endian record number
  };
  std::vector<Child> level;
  level.reserve(leaves);
  std::string run;
  uint32_t runFirst = 0;
  auto emit = [&](uint32_t page, const char* buf) {
    // Freed pages of the old tree may sit in the cache: the new content replaces them.
    if (page < cache_.size() && cache_[page]) {
      cache_[page].reset();
      --cachedPages_;
    }
    dirtyPages_.erase(page);
    // Runs of 2 MB: a larger write keeps the gauge window from its turn for too long.
    if (!run.empty() && page == runFirst + run.size() / kPageSize && run.size() < (2u << 20)) {
      run.append(buf, kPageSize);
      return;
    }
    ok = WriteRun(runFirst, run) && ok;
    run.assign(buf, kPageSize);
    runFirst = page;
  };
  std::string pg(kPageSize, '\0');
  for (std::size_t i = 0; i < leaves; ++i) {
    std::memset(pg.data(), 0, kPageSize);
    pg[0] = static_cast<char>(kLeaf);
    std::size_t from = i * static_cast<std::size_t>(leafCap);
    int cnt = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(leafCap), n - std::min(n, from)));
    SetPCount(pg.data(), cnt);
    SetPNext(pg.data(), i + 1 < leaves ? leafPages[i + 1] : 0);
    SetPPrev(pg.data(), i > 0 ? leafPages[i - 1] : 0);
    Put32(pg.data() + 12, leafPages[i]);
    for (int k = 0; k < cnt; ++k) {
      char* e = pg.data() + kPageHeader + k * (kl + 4);
      const std::size_t at = order ? order[from + static_cast<std::size_t>(k)] : from + static_cast<std::size_t>(k);
      std::memcpy(e, keys + at * static_cast<std::size_t>(kl), static_cast<std::size_t>(kl));
      PutRec(e + kl, static_cast<uint32_t>(recNos[at]));
    }
    level.push_back({leafPages[i], static_cast<uint32_t>(cnt), std::string(pg.data() + kPageHeader, kl + 4)});
    emit(leafPages[i], pg.data());
    if (written && i % 256 == 255) written(from + static_cast<std::size_t>(cnt));
  }
  uint32_t height = 1;
  while (level.size() > 1 && ok) {
    std::vector<Child> up;
    for (std::size_t i = 0; i < level.size(); i += static_cast<std::size_t>(branchCap)) {
      std::size_t cnt = std::min(level.size() - i, static_cast<std::size_t>(branchCap));
      uint32_t page = AllocPageNumber();
      if (page == 0) {
        ok = false;
        break;
      }
      std::memset(pg.data(), 0, kPageSize);
      pg[0] = static_cast<char>(kBranch);
      SetPCount(pg.data(), static_cast<int>(cnt));
      Put32(pg.data() + 12, page);
      uint32_t total = 0;
      for (std::size_t k = 0; k < cnt; ++k) {
        const Child& c = level[i + k];
        char* e = pg.data() + kPageHeader + k * static_cast<std::size_t>(kl + 12);
        std::memcpy(e, c.first.data(), static_cast<std::size_t>(kl + 4));
        Put32(e + kl + 4, c.page);
        Put32(e + kl + 8, c.count);
        total += c.count;
      }
      up.push_back({page, total, level[i].first});
      emit(page, pg.data());
    }
    level.swap(up);
    ++height;
  }
  ok = WriteRun(runFirst, run) && ok;
  if (!ok) {
    // Pages of the file were written and not all of them: the file is rebuilt later.
    damaged_ = true;
    End(nullptr);
    return -1;
  }
  t.root = level[0].page;
  t.height = height;
  ++tagsGeneration_;
  if (slot >= 0)
    tags_[static_cast<std::size_t>(slot)] = std::move(t);
  else {
    tags_.push_back(std::move(t));
    slot = TagCount() - 1;
  }
  ok = End(&stamp);
  return ok ? slot : -1;
}

bool IndexFile::DeleteTag(int slot) {
  if (!TagAt(slot) || !Begin()) return false;
  FreeTree(tags_[static_cast<std::size_t>(slot)]);
  tags_.erase(tags_.begin() + slot);
  ++tagsGeneration_;
  return End(nullptr);
}

void IndexFile::KeepDefinitions() {
  for (const TagSlot& t : tags_) kept_.insert(t.defPage);
}

bool IndexFile::Reset(const IndexStamp& stamp) {
  if (!Begin()) return false;
  tags_.clear();
  ++tagsGeneration_;
  readable_ = true;
  lostTags_ = 0;
  DropCache();
  recBound_ = 0;  // a rebuild after a pack: the table may hold fewer records now
  pageCount_ = 1;
  freeHead_ = 0;
  announced_ = 0;
  damaged_ = false;
  pageDamage_ = false;
  staleWrite_ = false;
  return End(&stamp);
}

}  // namespace xbe
