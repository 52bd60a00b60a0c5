// The engine's one door to the file system. Every read, write, lock, rename and directory
// look-up of the storage layer goes through FileSystem, so tests can put a faulty one in
// place (failed writes, short reads, a kill after the n-th write). Not thread-safe: the
// engine runs on its caller's thread.
//
// Paths are program text (code page 949), as the callers of the xb_* entry points give them.
// The POSIX file system turns them into the system's names, and names read from a folder back
// into program text, through the class library's boundary (platform/core/OsText.h): UTF-8
// names here, with a raw CP949 name left by an older copy still found. A folder entry without
// a CP949 form cannot be named by a caller and is passed over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace xbe {

enum class LockKind { Shared, Exclusive };

// A read-only shared mapping of a file's first Length() bytes. Every process that maps or
// writes the file shares the system's one copy of its pages, so a read here sees exactly what
// a pread would (another process's write included, at once) without a system call. Bytes are
// only read up to the file's size as last looked at: files the engine keeps open only grow.
// A file cut shorter behind the engine's back (another program) makes such a read fault; the
// fault is caught, zeros stand in for the lost bytes, and Read answers false from then on, so
// the caller reads through the file instead and learns the truth there.
class FileView {
 public:
  // Maps `length` bytes (may reach past the end of the file: those are never read until the
  // file has them) of an open descriptor; null when the system refuses.
  static std::unique_ptr<FileView> Map(int fd, int64_t length);
  ~FileView();
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;
  int64_t Length() const { return length_; }
  // Copies n bytes at off; false when they lie outside the view or the view was found cut.
  bool Read(int64_t off, void* out, size_t n) const;

 private:
  FileView(const char* base, int64_t length, int slot) : base_(base), length_(length), slot_(slot) {}
  const char* base_;
  int64_t length_;
  int slot_;  // in the table the fault handler looks up
};

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at off; returns the bytes read (short at end of file), -1 on error.
  virtual ssize_t ReadAt(int64_t off, void* buf, size_t n) = 0;
  // Writes all n bytes at off; false on any error or short write.
  virtual bool WriteAt(int64_t off, const void* buf, size_t n) = 0;
  virtual int64_t Size() = 0;  // -1 on error
  virtual bool Sync() = 0;
  // Waits for the pages handed to the disk by the call before, then hands it what was written
  // since, without waiting for it. A long write calls it between its batches, so the final
  // Sync (which alone makes the file durable) has only the last batch left to wait for.
  virtual void WriteBack() {}
  // Open-file-description byte-range lock; `wait` blocks until granted.
  virtual bool Lock(int64_t off, int64_t len, LockKind kind, bool wait) = 0;
  virtual void Unlock(int64_t off, int64_t len) = 0;
  // True while `path` names this very file: false once another file was renamed over the
  // name, or the name was removed, after this one was opened.
  virtual bool IsAt(const std::string& path) = 0;
  // A view of the file's first `length` bytes (FileView); null when this file system has
  // none (test file systems that inject faults), and reads then go through ReadAt.
  virtual std::unique_ptr<FileView> View(int64_t length) {
    (void)length;
    return nullptr;
  }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file (create=false) or creates one; `exclusiveCreate` refuses an
  // existing file. Null on failure.
  virtual std::unique_ptr<File> Open(const std::string& path, bool writable, bool create,
                                     bool exclusiveCreate) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Size and modification time (ns) of a file; false when it cannot be read. A test file
  // system that only injects faults into writes may leave it to the POSIX one.
  virtual bool Stat(const std::string& path, int64_t* size, int64_t* mtimeNs);
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Syncs the folder that holds path, so a rename in it survives power loss.
  virtual void SyncFolder(const std::string& path) = 0;
  // Name of the entry in `folder` equal to `name` ignoring ASCII case ("" when none).
  virtual std::string FindNoCase(const std::string& folder, const std::string& name) = 0;
};

// A file held in memory alone, by no file system: nothing else reads it, every lock is granted.
std::unique_ptr<File> NewMemoryFile();

// Takes a lock of f, trying again until timeoutSeconds have passed (0: one try), so that a
// lock another process holds and never lets go fails the caller instead of freezing it.
bool LockWithin(File& f, int64_t off, int64_t len, LockKind kind, int timeoutSeconds);

// The file system the engine uses; the plain POSIX one unless a test installed another.
FileSystem& Fs();
// Installs fs (not owned; null restores the POSIX one). For tests.
void SetFileSystem(FileSystem* fs);
FileSystem& PosixFileSystem();

// "\" and "/" both separate folders; every part of the path is looked up ignoring case, so
// "NOTE.DBF" finds "note.dbf". Parts that do not exist keep the spelling given.
std::string ResolvePath(const std::string& path);
// Folder part with a trailing "/" ("" when none), file part, extension with its dot.
std::string FolderOf(const std::string& path);
std::string FileOf(const std::string& path);
std::string ExtensionOf(const std::string& path);
// The companion file of a table: same folder and base name, extension `ext` (".smt"),
// found ignoring case; a new one takes the letter case of the table's own extension.
std::string CompanionPath(const std::string& dbfPath, const std::string& ext);

}  // namespace xbe
