// POSIX implementation of the engine's file interface and the path rules (Windows-style
// separators, case-insensitive look-up) that note files written elsewhere rely on.
#include "engine/src/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <new>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <atomic>

#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"

namespace xbe {
namespace {

// ---- views and the fault handler that guards them ------------------------------------------
// A read of a view past the end of a file another program cut short raises SIGBUS. The
// handler looks the address up in this table of live views: one of ours gets zero pages in
// place of the lost ones (the read then ends normally) and is marked cut; any other fault goes
// on to whatever handled SIGBUS before. The table is plain atomics, so the handler may read it
// whatever the engine was doing.
struct ViewSlot {
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};  // 0: free
  std::atomic<bool> cut{false};
};
constexpr int kViewSlots = 4096;
ViewSlot g_viewSlots[kViewSlots];
std::atomic<int> g_viewSlotsUsed{0};  // slots at or above it were never taken
uintptr_t g_pageSize = 4096;
struct sigaction g_previousBus;

void OnBusFault(int sig, siginfo_t* info, void* context) {
  // Sent by another process (kill), not raised by a read: no address to look up.
  const bool sent = info->si_code <= 0;
  const uintptr_t at = sent ? 0 : reinterpret_cast<uintptr_t>(info->si_addr);
  const int used = sent ? 0 : g_viewSlotsUsed.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    ViewSlot& s = g_viewSlots[i];
    if (at < s.begin.load(std::memory_order_acquire) || at >= s.end.load(std::memory_order_acquire)) continue;
    s.cut.store(true, std::memory_order_release);
    void* page = reinterpret_cast<void*>(at & ~(g_pageSize - 1));
    if (::mmap(page, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) return;
    break;
  }
  // Not a view of ours (or it could not be mended): as if this handler were not there.
  if (g_previousBus.sa_flags & SA_SIGINFO) {
    if (g_previousBus.sa_sigaction) g_previousBus.sa_sigaction(sig, info, context);
    return;
  }
  if (g_previousBus.sa_handler == SIG_IGN && sent) return;
  if (g_previousBus.sa_handler == SIG_DFL || g_previousBus.sa_handler == SIG_IGN) {
    // A faulting read runs again on return, a sent signal comes again: either now ends the
    // process the default way.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &dfl, nullptr);
    if (sent) ::raise(SIGBUS);
    return;
  }
  g_previousBus.sa_handler(sig);
}

bool InstallBusHandler() {
  static const bool installed = [] {
    long page = ::sysconf(_SC_PAGESIZE);
    if (page > 0) g_pageSize = static_cast<uintptr_t>(page);
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = OnBusFault;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    return ::sigaction(SIGBUS, &sa, &g_previousBus) == 0;
  }();
  return installed;
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  ssize_t ReadAt(int64_t off, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done, off + done);
      if (r < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(done);
  }
  bool WriteAt(int64_t off, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done, off + done);
      if (r < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<size_t>(r);
    }
    return true;
  }
  int64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
  }
  bool Sync() override { return ::fdatasync(fd_) == 0; }
  void WriteBack() override { ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE); }
  bool Lock(int64_t off, int64_t len, LockKind kind, bool wait) override {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = kind == LockKind::Shared ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off;
    fl.l_len = len;
    for (;;) {
      if (::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
      if (errno != EINTR) return false;
    }
  }
  void Unlock(int64_t off, int64_t len) override {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off;
    fl.l_len = len;
    ::fcntl(fd_, F_OFD_SETLK, &fl);
  }
  bool IsAt(const std::string& path) override {
    struct stat mine, named;
    return ::fstat(fd_, &mine) == 0 && ::stat(ostext::SystemPath(path).c_str(), &named) == 0 &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
  }
  std::unique_ptr<FileView> View(int64_t length) override { return FileView::Map(fd_, length); }

 private:
  int fd_;
};

class PosixFs : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, bool writable, bool create,
                             bool exclusiveCreate) override {
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (create) flags |= O_CREAT | (exclusiveCreate ? O_EXCL : O_TRUNC);
    int fd = ::open(ostext::SystemPath(path).c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }
  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(ostext::SystemPath(path).c_str(), &st) == 0;
  }
  bool Stat(const std::string& path, int64_t* size, int64_t* mtimeNs) override {
    struct stat st;
    if (::stat(ostext::SystemPath(path).c_str(), &st) != 0) return false;
    *size = st.st_size;
    *mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
  }
  bool Rename(const std::string& from, const std::string& to) override {
    return ::rename(ostext::SystemPath(from).c_str(), ostext::SystemPath(to).c_str()) == 0;
  }
  bool Remove(const std::string& path) override { return ::unlink(ostext::SystemPath(path).c_str()) == 0; }
  void SyncFolder(const std::string& path) override {
    std::string folder = ostext::SystemPath(FolderOf(path));
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
  }
  std::string FindNoCase(const std::string& folder, const std::string& name) override {
    DIR* d = ::opendir(folder.empty() ? "." : ostext::SystemPath(folder).c_str());
    if (!d) return "";
    // Only the single-byte letters fold: a byte of a two-byte character stays itself.
    const std::string wanted = cp949::Upper(name);
    std::string found, entry;
    while (struct dirent* e = ::readdir(d)) {
      if (!ostext::ProgramName(e->d_name, entry) || cp949::Upper(entry) != wanted) continue;
      found = entry;
      if (found == name) break;  // an exact match wins over a case variant
    }
    ::closedir(d);
    return found;
  }
};

FileSystem* g_fs = nullptr;

// Bytes in memory, seen by this object alone: every lock is granted.
class MemoryFile : public File {
 public:
  ssize_t ReadAt(int64_t off, void* buf, size_t n) override {
    if (off < 0) return -1;
    if (static_cast<uint64_t>(off) >= data_.size()) return 0;
    const size_t k = std::min(n, data_.size() - static_cast<size_t>(off));
    std::memcpy(buf, data_.data() + off, k);
    return static_cast<ssize_t>(k);
  }
  bool WriteAt(int64_t off, const void* buf, size_t n) override {
    if (off < 0) return false;
    try {
      if (data_.size() < static_cast<size_t>(off) + n) data_.resize(static_cast<size_t>(off) + n, '\0');
    } catch (const std::bad_alloc&) {
      return false;
    }
    std::memcpy(data_.data() + off, buf, n);
    return true;
  }
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  bool Sync() override { return true; }
  bool Lock(int64_t, int64_t, LockKind, bool) override { return true; }
  void Unlock(int64_t, int64_t) override {}
  bool IsAt(const std::string&) override { return true; }

 private:
  std::string data_;
};

}  // namespace

std::unique_ptr<File> NewMemoryFile() { return std::make_unique<MemoryFile>(); }

std::unique_ptr<FileView> FileView::Map(int fd, int64_t length) {
  if (length <= 0 || static_cast<uint64_t>(length) > (uint64_t{1} << 46) || !InstallBusHandler()) return nullptr;
  int slot = 0;
  const int used = g_viewSlotsUsed.load(std::memory_order_relaxed);
  while (slot < used && g_viewSlots[slot].end.load(std::memory_order_relaxed) != 0) ++slot;
  if (slot == kViewSlots) return nullptr;  // that many views: the rest read through their files
  void* base = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) return nullptr;
  ViewSlot& s = g_viewSlots[slot];
  s.cut.store(false, std::memory_order_relaxed);
  s.begin.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
  s.end.store(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(length), std::memory_order_release);
  if (slot == used) g_viewSlotsUsed.store(used + 1, std::memory_order_release);
  return std::unique_ptr<FileView>(new FileView(static_cast<const char*>(base), length, slot));
}

FileView::~FileView() {
  ViewSlot& s = g_viewSlots[slot_];
  s.end.store(0, std::memory_order_release);
  s.begin.store(0, std::memory_order_release);
  ::munmap(const_cast<char*>(base_), static_cast<size_t>(length_));
}

bool FileView::Read(int64_t off, void* out, size_t n) const {
  if (off < 0 || off > length_ || static_cast<uint64_t>(n) > static_cast<uint64_t>(length_ - off)) return false;
  const std::atomic<bool>& cut = g_viewSlots[slot_].cut;
  if (cut.load(std::memory_order_relaxed)) return false;
  // What was read before (a page of the index, say) is read before these bytes, as a pread
  // after it would be; a fault during the copy is seen once the copy is done.
  std::atomic_thread_fence(std::memory_order_acquire);
  std::memcpy(out, base_ + off, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  return !cut.load(std::memory_order_acquire);
}

bool FileSystem::Stat(const std::string& path, int64_t* size, int64_t* mtimeNs) {
  return PosixFileSystem().Stat(path, size, mtimeNs);
}

FileSystem& PosixFileSystem() {
  static PosixFs fs;
  return fs;
}

bool LockWithin(File& f, int64_t off, int64_t len, LockKind kind, int timeoutSeconds) {
  if (f.Lock(off, len, kind, false)) return true;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(0, timeoutSeconds));
  // Most locks are held for one write: the first looks come soon, later ones less often.
  auto pause = std::chrono::microseconds(500);
  while (std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(pause);
    if (f.Lock(off, len, kind, false)) return true;
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
  }
  return false;
}

FileSystem& Fs() { return g_fs ? *g_fs : PosixFileSystem(); }
void SetFileSystem(FileSystem* fs) { g_fs = fs; }

std::string ResolvePath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  std::string out;
  size_t i = 0;
  if (!p.empty() && p[0] == '/') {
    out.push_back('/');
    i = 1;
  }
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string part = p.substr(i, j - i);
    if (!part.empty()) {
      std::string candidate = out + part;
      if (part != "." && part != ".." && !Fs().Exists(candidate)) {
        std::string real = Fs().FindNoCase(out, part);
        if (!real.empty()) candidate = out + real;
      }
      out = candidate;
      if (j < p.size()) out += '/';
    }
    i = j + 1;
  }
  return out;
}

std::string FolderOf(const std::string& path) {
  size_t k = path.find_last_of("/\\");
  return k == std::string::npos ? "" : path.substr(0, k + 1);
}

std::string FileOf(const std::string& path) {
  size_t k = path.find_last_of("/\\");
  return k == std::string::npos ? path : path.substr(k + 1);
}

std::string ExtensionOf(const std::string& path) {
  std::string f = FileOf(path);
  size_t k = f.rfind('.');
  return k == std::string::npos || k == 0 ? "" : f.substr(k);
}

std::string CompanionPath(const std::string& dbfPath, const std::string& ext) {
  std::string folder = FolderOf(dbfPath);
  std::string file = FileOf(dbfPath);
  std::string own = ExtensionOf(dbfPath);
  std::string base = file.substr(0, file.size() - own.size());
  std::string e = ext;
  bool upper = own.size() > 1 && own[1] >= 'A' && own[1] <= 'Z';
  for (char& c : e) c = upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                             : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string name = base + e;
  if (!Fs().Exists(folder + name)) {
    std::string real = Fs().FindNoCase(folder, name);
    if (!real.empty()) name = real;
  }
  return folder + name;
}

}  // namespace xbe
