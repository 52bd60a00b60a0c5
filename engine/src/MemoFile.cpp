// Memo file blocks: reading with every length checked against the file, writing into free
// space, and the free-block list kept in the header's unused bytes.
#include "engine/src/MemoFile.h"

#include <algorithm>
#include <cstring>

#include "engine/src/DbfFile.h"

namespace xbe {
namespace {

uint32_t GetBE32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
void PutBE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

constexpr char kFreeMagic[4] = {'O', 'R', 'V', 'F'};
constexpr size_t kMaxFree = (512 - 16) / 8;

}  // namespace

std::string EncodeMemoRef(uint32_t block, int width) {
  std::string ref(width, ' ');
  if (block == 0) return ref;
  if (width == 4) {
    for (int i = 0; i < 4; ++i) ref[i] = static_cast<char>((block >> (8 * i)) & 0xFF);
    return ref;
  }
  std::string digits = std::to_string(block);
  if (static_cast<int>(digits.size()) > width) return std::string(width, ' ');
  ref.replace(width - digits.size(), digits.size(), digits);
  return ref;
}

uint32_t DecodeMemoRef(const char* field, int width) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(field);
  if (width == 4) return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
  uint64_t v = 0;
  bool any = false;
  for (int i = 0; i < width; ++i) {
    if (p[i] == ' ' || p[i] == 0) {
      if (any) break;
      continue;
    }
    if (p[i] < '0' || p[i] > '9') return 0;
    v = v * 10 + (p[i] - '0');
    any = true;
    if (v > 0xFFFFFFFFu) return 0;
  }
  return static_cast<uint32_t>(v);
}

std::string MemoFile::Encode(const void* data, size_t n, uint32_t type) const {
  size_t blocks = (n + 8 + blockSize_ - 1) / blockSize_;
  std::string buf(blocks * blockSize_, '\0');
  unsigned char h[8];
  PutBE32(h, type);
  PutBE32(h + 4, static_cast<uint32_t>(n));
  std::memcpy(buf.data(), h, 8);
  if (n) std::memcpy(buf.data() + 8, data, n);
  return buf;
}

bool MemoFile::WriteMany(const std::vector<std::string>& entries, uint32_t type,
                         std::vector<uint32_t>* blocks) {
  blocks->clear();
  for (const std::string& e : entries)
    if (e.size() > 0x7FFFFFF0u) return false;  // beyond what an entry's length can say
  if (!LockAppend(*file_)) return false;
  uint32_t nextFree = 0;
  std::vector<MemoExtent> freeList;
  bool ok = ReadHeader(&nextFree, &freeList);
  if (ok) {
    std::string buf;
    uint32_t at = nextFree;
    for (const std::string& e : entries) {
      if (e.empty()) {
        blocks->push_back(0);
        continue;
      }
      std::string b = Encode(e.data(), e.size(), type);
      blocks->push_back(at);
      at += static_cast<uint32_t>(b.size() / blockSize_);
      buf += b;
    }
    ok = file_->WriteAt(static_cast<int64_t>(nextFree) * blockSize_, buf.data(), buf.size()) &&
         WriteHeader(at, freeList);
  }
  file_->Unlock(kLockAppend, 1);
  return ok;
}

int MemoFile::NormaliseBlockSize(int size) {
  if (size >= 1 && size <= 32) return size * 512;
  return std::clamp(size, 32, 16384);
}

bool MemoFile::Create(const std::string& path, int blockSize) {
  std::unique_ptr<File> f = Fs().Open(path, true, true, false);
  if (!f) return false;
  int bs = NormaliseBlockSize(blockSize);
  unsigned char h[512] = {};
  uint32_t first = (512 + bs - 1) / bs;
  PutBE32(h, first);
  h[6] = static_cast<unsigned char>(bs >> 8);
  h[7] = static_cast<unsigned char>(bs & 0xFF);
  size_t len = static_cast<size_t>(first) * bs;
  std::string buf(len, '\0');
  std::memcpy(buf.data(), h, 512);
  return f->WriteAt(0, buf.data(), buf.size()) && f->Sync();
}

std::unique_ptr<MemoFile> MemoFile::Open(const std::string& path, bool writable, std::string* error) {
  std::unique_ptr<File> f = Fs().Open(path, writable, false, false);
  if (!f) {
    if (error) *error = "cannot open the memo file";
    return nullptr;
  }
  unsigned char h[8];
  if (f->ReadAt(0, h, 8) != 8) {
    if (error) *error = "truncated memo header";
    return nullptr;
  }
  int bs = (h[6] << 8) | h[7];
  if (bs < 1) {
    if (error) *error = "bad memo block size";
    return nullptr;
  }
  auto m = std::make_unique<MemoFile>();
  m->file_ = std::move(f);
  m->path_ = path;
  m->blockSize_ = bs;
  return m;
}

int64_t MemoFile::Length(uint32_t block) {
  if (block < FirstBlock()) return -1;
  int64_t off = static_cast<int64_t>(block) * blockSize_;
  int64_t size = file_->Size();
  unsigned char h[8];
  if (off + 8 > size || file_->ReadAt(off, h, 8) != 8) return -1;
  int64_t len = GetBE32(h + 4);
  if (len > size - off - 8) return -1;
  return len;
}

uint32_t MemoFile::BlocksOf(uint32_t block) {
  int64_t len = Length(block);
  if (len < 0) return 0;
  return static_cast<uint32_t>((len + 8 + blockSize_ - 1) / blockSize_);
}

bool MemoFile::Read(uint32_t block, std::string* out, uint32_t* type) {
  out->clear();
  if (block < FirstBlock()) return false;
  const int64_t off = static_cast<int64_t>(block) * blockSize_;
  // One read takes the entry's head and, for the usual short body, all of it; only a longer
  // entry is checked against the file's size before its buffer is made.
  constexpr std::size_t kFirstRead = 1024;
  unsigned char first[kFirstRead];
  const ssize_t got = file_->ReadAt(off, first, kFirstRead);
  if (got < 8) return false;
  const uint64_t len = GetBE32(first + 4);
  const std::size_t inFirst = static_cast<std::size_t>(got) - 8;
  if (len > inFirst) {
    const int64_t size = file_->Size();
    if (static_cast<int64_t>(len) > size - off - 8) return false;
  }
  out->resize(static_cast<std::size_t>(len));
  const std::size_t head = std::min<std::size_t>(static_cast<std::size_t>(len), inFirst);
  std::memcpy(out->data(), first + 8, head);
  if (head < len &&
      file_->ReadAt(off + 8 + static_cast<int64_t>(head), out->data() + head, out->size() - head) !=
          static_cast<ssize_t>(out->size() - head)) {
    out->clear();
    return false;
  }
  if (type) *type = GetBE32(first);
  return true;
}

bool MemoFile::ReadHeader(uint32_t* nextFree, std::vector<MemoExtent>* freeList) {
  unsigned char h[512] = {};
  ssize_t r = file_->ReadAt(0, h, 512);
  if (r < 8) return false;
  *nextFree = GetBE32(h);
  freeList->clear();
  if (std::memcmp(h + 8, kFreeMagic, 4) == 0) {
    uint32_t n = std::min<uint32_t>(GetBE32(h + 12), kMaxFree);
    for (uint32_t i = 0; i < n; ++i) {
      MemoExtent e{GetBE32(h + 16 + 8 * i), GetBE32(h + 20 + 8 * i)};
      // An entry that does not lie inside the used blocks is ignored, never trusted.
      if (e.block >= FirstBlock() && e.blocks > 0 && e.block + e.blocks <= *nextFree &&
          e.block + e.blocks > e.block)
        freeList->push_back(e);
    }
  }
  int64_t size = file_->Size();
  uint32_t sizeBlocks = static_cast<uint32_t>((size + blockSize_ - 1) / blockSize_);
  // A next-free value behind the end of the data would overwrite live entries.
  if (*nextFree < FirstBlock() || *nextFree < sizeBlocks) *nextFree = std::max(FirstBlock(), sizeBlocks);
  return true;
}

bool MemoFile::WriteHeader(uint32_t nextFree, const std::vector<MemoExtent>& freeList) {
  unsigned char h[512] = {};
  PutBE32(h, nextFree);
  // The block size at bytes 6-7 is written back unchanged.
  h[6] = static_cast<unsigned char>(blockSize_ >> 8);
  h[7] = static_cast<unsigned char>(blockSize_ & 0xFF);
  std::memcpy(h + 8, kFreeMagic, 4);
  PutBE32(h + 12, static_cast<uint32_t>(freeList.size()));
  for (size_t i = 0; i < freeList.size() && i < kMaxFree; ++i) {
    PutBE32(h + 16 + 8 * i, freeList[i].block);
    PutBE32(h + 20 + 8 * i, freeList[i].blocks);
  }
  return file_->WriteAt(0, h, sizeof h);
}

MemoExtent MemoFile::Write(const void* data, size_t n, uint32_t type) {
  MemoExtent e;
  if (n > 0x7FFFFFF0u) return e;
  uint32_t need = static_cast<uint32_t>((n + 8 + blockSize_ - 1) / blockSize_);
  if (!LockAppend(*file_)) return e;
  uint32_t nextFree = 0;
  std::vector<MemoExtent> freeList;
  if (ReadHeader(&nextFree, &freeList)) {
    std::string buf = Encode(data, n, type);
    auto it = std::find_if(freeList.begin(), freeList.end(),
                           [&](const MemoExtent& f) { return f.blocks >= need; });
    if (it != freeList.end()) {
      e = {it->block, need};
      if (it->blocks == need) {
        freeList.erase(it);
      } else {
        it->block += need;
        it->blocks -= need;
      }
      // The list loses these blocks on disk before they are filled, so no later writer can
      // hand them out again.
      if (!WriteHeader(nextFree, freeList) ||
          !file_->WriteAt(static_cast<int64_t>(e.block) * blockSize_, buf.data(), buf.size()))
        e = {};
    } else {
      e = {nextFree, need};
      if (!file_->WriteAt(static_cast<int64_t>(nextFree) * blockSize_, buf.data(), buf.size()) ||
          !WriteHeader(nextFree + need, freeList))
        e = {};
    }
  }
  file_->Unlock(kLockAppend, 1);
  return e;
}

void MemoFile::Free(const MemoExtent& e) {
  if (e.block == 0 || e.blocks == 0) return;
  if (!LockAppend(*file_)) return;
  uint32_t nextFree = 0;
  std::vector<MemoExtent> list;
  if (ReadHeader(&nextFree, &list) && e.block >= FirstBlock() && e.block + e.blocks <= nextFree) {
    bool overlaps = false;
    for (const MemoExtent& f : list)
      if (e.block < f.block + f.blocks && f.block < e.block + e.blocks) overlaps = true;
    if (!overlaps) {
      list.push_back(e);
      std::sort(list.begin(), list.end(),
                [](const MemoExtent& a, const MemoExtent& b) { return a.block < b.block; });
      std::vector<MemoExtent> merged;
      for (const MemoExtent& f : list) {
        if (!merged.empty() && merged.back().block + merged.back().blocks == f.block)
          merged.back().blocks += f.blocks;
        else
          merged.push_back(f);
      }
      // A full list forgets its smallest pieces; pack reclaims them.
      while (merged.size() > kMaxFree) {
        auto smallest = std::min_element(merged.begin(), merged.end(), [](auto& a, auto& b) {
          return a.blocks < b.blocks;
        });
        merged.erase(smallest);
      }
      WriteHeader(nextFree, merged);
    }
  }
  file_->Unlock(kLockAppend, 1);
}

}  // namespace xbe
