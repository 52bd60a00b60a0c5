// The engine's file interface over strings in memory, for the fuzz harnesses and their
// corpus replays: a run reads and writes no disk, and every lock is granted (one process).
// Writes far past the end are refused like a full disk, so a damaged size cannot make a
// file of gigabytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "engine/src/FileIo.h"

namespace xbefuzz {

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
  bool Stat(const std::string& path, int64_t* size, int64_t* mtimeNs) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    *size = static_cast<int64_t>(it->second.size());
    *mtimeNs = 0;
    return true;
  }
  // Renames are refused: an open file holds a reference to its string, so a rewrite that
  // would put a new file in place (a pack) takes its failure path.
  bool Rename(const std::string&, const std::string&) override { return false; }
  bool Remove(const std::string& path) override { return files.erase(path) > 0; }
  void SyncFolder(const std::string&) override {}
  std::string FindNoCase(const std::string&, const std::string&) override { return ""; }

  std::map<std::string, std::string> files;
};

}  // namespace xbefuzz
