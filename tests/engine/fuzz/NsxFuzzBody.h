// One fuzz input for the .nsx index reader: the bytes are an index file, held in an
// in-memory file system. It is opened read-only and writable; every tag is walked both ways,
// sought, counted and placed by ordinal; then keys are inserted and removed, a tag is
// rebuilt and one deleted, and the file is walked again. Nothing may read or write past a
// page, loop for ever or crash, whatever the bytes. Shared by the libFuzzer harness and the
// corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/src/FileIo.h"
#include "engine/src/IndexFile.h"

namespace xbefuzz {

// Files as strings; locks always granted (one process).
class MemFs : public xbe::FileSystem {
 public:
  class F : public xbe::File {
   public:
    F(std::string& data, bool writable) : data_(data), writable_(writable) {}
    ssize_t ReadAt(int64_t off, void* buf, size_t n) override {
      if (off < 0) return -1;
      if (static_cast<uint64_t>(off) >= data_.size()) return 0;
      size_t k = std::min(n, data_.size() - static_cast<size_t>(off));
      std::memcpy(buf, data_.data() + off, k);
      return static_cast<ssize_t>(k);
    }
    bool WriteAt(int64_t off, const void* buf, size_t n) override {
      // Files stay small: a write far past the end is refused like a full disk.
      if (!writable_ || off < 0 || static_cast<uint64_t>(off) + n > (64u << 20)) return false;
      if (data_.size() < static_cast<size_t>(off) + n) data_.resize(static_cast<size_t>(off) + n, '\0');
      std::memcpy(data_.data() + off, buf, n);
      return true;
    }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    bool Sync() override { return true; }
    bool Lock(int64_t, int64_t, xbe::LockKind, bool) override { return true; }
    void Unlock(int64_t, int64_t) override {}
    bool IsAt(const std::string&) override { return true; }

   private:
    std::string& data_;
    bool writable_;
  };
  std::unique_ptr<xbe::File> Open(const std::string& path, bool writable, bool create, bool exclusive) override {
    auto it = files.find(path);
    if (it == files.end()) {
      if (!create) return nullptr;
      it = files.emplace(path, std::string()).first;
    } else if (create && exclusive) {
      return nullptr;
    }
    return std::make_unique<F>(it->second, writable);
  }
  bool Exists(const std::string& path) override { return files.count(path) > 0; }
  bool Rename(const std::string&, const std::string&) override { return false; }
  bool Remove(const std::string& path) override { return files.erase(path) > 0; }
  void SyncFolder(const std::string&) override {}
  std::string FindNoCase(const std::string&, const std::string&) override { return ""; }

  std::map<std::string, std::string> files;
};

// Walks, seeks and places by ordinal in every tag; bounded however the file links its pages.
inline void ReadEverything(xbe::IndexFile& f) {
  constexpr int kSteps = 3000;
  for (int slot = 0; slot < f.TagCount(); ++slot) {
    const int kl = f.Tag(slot).keyLen;
    std::string firstKey;
    int steps = 0;
    for (auto p = f.First(slot); p.Valid() && steps < kSteps; p = f.Next(slot, p), ++steps) {
      const char* k = f.KeyAt(slot, p);
      if (k && firstKey.empty()) firstKey.assign(k, static_cast<std::size_t>(kl));
      (void)f.RecAt(slot, p);
      if (steps % 97 == 0) (void)f.Ordinal(slot, p);
    }
    steps = 0;
    for (auto p = f.Last(slot); p.Valid() && steps < kSteps; p = f.Prev(slot, p), ++steps) (void)f.KeyAt(slot, p);
    for (const std::string& key : {firstKey, std::string(static_cast<std::size_t>(kl), '\0'),
                                   std::string(static_cast<std::size_t>(kl), '\xFF'), std::string("m")}) {
      if (key.empty()) continue;
      auto p = f.LowerBound(slot, key.data(), static_cast<int>(key.size()), 0);
      (void)f.RecAt(slot, p);
      p = f.LowerBound(slot, key.data(), static_cast<int>(key.size()), UINT32_MAX);
      (void)f.KeyAt(slot, f.Prev(slot, p));
    }
    for (uint32_t ord : {0u, 1u, f.Entries(slot) / 2, f.Entries(slot) - 1, f.Entries(slot)})
      (void)f.RecAt(slot, f.AtOrdinal(slot, ord));
  }
}

inline void RunNsx(const uint8_t* data, std::size_t size) {
  MemFs fs;
  const std::string path = "/fuzz/x.nsx";
  fs.files[path].assign(reinterpret_cast<const char*>(data), size);
  xbe::SetFileSystem(&fs);
  for (bool writable : {false, true}) {
    auto f = xbe::IndexFile::Open(path, writable);
    if (!f) continue;
    (void)f->Sync();
    (void)f->Validate();
    ReadEverything(*f);
    if (!writable) continue;
    // Writes into whatever the file holds: refused or done, never past a page.
    if (f->Begin()) {
      for (int slot = 0; slot < f->TagCount(); ++slot) {
        std::string key(static_cast<std::size_t>(f->Tag(slot).keyLen), 'k');
        for (int32_t r = 1; r <= 40; ++r) {
          key[0] = static_cast<char>('a' + r % 26);
          (void)f->Insert(slot, key.data(), r);
        }
        for (int32_t r = 1; r <= 40; r += 3) {
          key[0] = static_cast<char>('a' + r % 26);
          (void)f->Remove(slot, key.data(), r);
        }
      }
      (void)f->End(nullptr);
    }
    ReadEverything(*f);
    if (f->TagCount() > 0) {
      xbe::TagInfo def = f->Tag(0);
      std::string keys(static_cast<std::size_t>(def.keyLen) * 3, 'z');
      int32_t recs[3] = {1, 2, 3};
      (void)f->BuildTag(def, keys.data(), recs, 3, f->Stamp());
      (void)f->DeleteTag(f->TagCount() - 1);
    }
    ReadEverything(*f);
  }
  xbe::SetFileSystem(nullptr);
}

}  // namespace xbefuzz
