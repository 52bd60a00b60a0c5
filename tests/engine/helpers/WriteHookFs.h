// A file system for crash and I/O-error tests: files whose name ends in a given suffix have
// every write go through a hook (which may refuse it, or do it and end the process), and may
// have every lock call announced to another hook first (to stop the process there); all else
// (reads and views included) is the plain POSIX file system.
#pragma once

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/src/FileIo.h"

namespace xbtest {

class WriteHookFs : public xbe::FileSystem {
 public:
  // Gets the real file and the write's arguments; returns the write's result.
  using Hook = std::function<bool(xbe::File& real, int64_t off, const void* buf, size_t n)>;
  // Gets the lock's offset before the lock is asked for.
  using LockHook = std::function<void(int64_t off)>;
  WriteHookFs(std::string suffix, Hook hook, LockHook lockHook = nullptr)
      : suffix_(std::move(suffix)), hook_(std::move(hook)), lockHook_(std::move(lockHook)) {}

  class F : public xbe::File {
   public:
    F(std::unique_ptr<xbe::File> f, const Hook* hook, const LockHook* lockHook = nullptr)
        : f_(std::move(f)), hook_(hook), lockHook_(lockHook) {}
    ssize_t ReadAt(int64_t o, void* b, size_t n) override { return f_->ReadAt(o, b, n); }
    bool WriteAt(int64_t o, const void* b, size_t n) override {
      return hook_ ? (*hook_)(*f_, o, b, n) : f_->WriteAt(o, b, n);
    }
    int64_t Size() override { return f_->Size(); }
    bool Sync() override { return f_->Sync(); }
    bool Lock(int64_t o, int64_t l, xbe::LockKind k, bool w) override {
      if (lockHook_ && *lockHook_) (*lockHook_)(o);
      return f_->Lock(o, l, k, w);
    }
    void Unlock(int64_t o, int64_t l) override { f_->Unlock(o, l); }
    bool IsAt(const std::string& p) override { return f_->IsAt(p); }
    // Reads go through the real file's view too: only writes and locks are watched.
    std::unique_ptr<xbe::FileView> View(int64_t length) override { return f_->View(length); }

   private:
    std::unique_ptr<xbe::File> f_;
    const Hook* hook_;
    const LockHook* lockHook_;
  };

  std::unique_ptr<xbe::File> Open(const std::string& p, bool w, bool c, bool e) override {
    auto f = base().Open(p, w, c, e);
    if (!f) return f;
    bool watched = p.size() >= suffix_.size() && p.compare(p.size() - suffix_.size(), suffix_.size(), suffix_) == 0;
    return std::make_unique<F>(std::move(f), watched ? &hook_ : nullptr, watched ? &lockHook_ : nullptr);
  }
  bool Exists(const std::string& p) override { return base().Exists(p); }
  bool Rename(const std::string& a, const std::string& b) override { return base().Rename(a, b); }
  bool Remove(const std::string& p) override { return base().Remove(p); }
  void SyncFolder(const std::string& p) override { base().SyncFolder(p); }
  std::string FindNoCase(const std::string& f, const std::string& n) override { return base().FindNoCase(f, n); }

 private:
  static xbe::FileSystem& base() { return xbe::PosixFileSystem(); }
  std::string suffix_;
  Hook hook_;
  LockHook lockHook_;
};

// Every write to the watched files fails.
inline WriteHookFs::Hook FailEveryWrite() {
  return [](xbe::File&, int64_t, const void*, size_t) { return false; };
}

// The n-th write to the watched files is made, then the process ends at once: a writer
// killed exactly there.
inline WriteHookFs::Hook DieAfterWrite(int n) {
  return [left = n](xbe::File& real, int64_t off, const void* buf, size_t size) mutable {
    bool ok = real.WriteAt(off, buf, size);
    if (--left == 0) _exit(0);
    return ok;
  };
}

// Each write to the watched files that `stopHere` picks (given its offset and its number,
// from 1) waits first: one byte is written to `told`, then one is read from `resume`. A
// process stopped half-way, for another one to act meanwhile.
inline WriteHookFs::Hook PauseBeforeWrite(std::function<bool(int64_t off, int nth)> stopHere, int told,
                                          int resume) {
  return [stopHere = std::move(stopHere), told, resume, nth = 0](xbe::File& real, int64_t off, const void* buf,
                                                                  size_t n) mutable {
    if (stopHere(off, ++nth)) {
      char c = 'x';
      (void)!write(told, &c, 1);
      (void)!read(resume, &c, 1);
    }
    return real.WriteAt(off, buf, n);
  };
}

}  // namespace xbtest
