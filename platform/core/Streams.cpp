// Byte streams: memory and file streams over the abstract TStream.
#include "platform/core/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/OsText.h"
#include "platform/core/SysUtils.h"

namespace {

// The system's words for the last error, readable inside the program.
std::string Reason() { return ostext::ErrorText(errno); }

}  // namespace

// ---- TStream --------------------------------------------------------------------------------

int64_t TStream::Size() {
  int64_t pos = Seek(0, soFromCurrent);
  int64_t end = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return end;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  if (Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  if (Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  const int64_t total = Count;
  std::vector<unsigned char> buf(static_cast<std::size_t>(std::min<int64_t>(Count, 0xF000)));
  while (Count > 0) {
    int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buf.size()));
    Source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    Count -= n;
  }
  return total;
}

// ---- TCustomMemoryStream ---------------------------------------------------------------------

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition >= FSize) return 0;
  int64_t n = std::min(Count, FSize - FPosition);
  std::memcpy(Buffer, static_cast<const unsigned char*>(FMemory) + FPosition,
              static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, int Origin) {
  int64_t base = Origin == soFromCurrent ? FPosition : Origin == soFromEnd ? FSize : 0;
  int64_t pos = base + Offset;
  // A position before the start is meaningless; past the end is allowed (a write extends).
  FPosition = pos < 0 ? 0 : pos;
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& Stream) {
  Stream.WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

// ---- TMemoryStream ---------------------------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(FData); }

void TMemoryStream::Reserve(int64_t NewCapacity) {
  // Memory set from outside (SetPointer) is copied before the stream changes it, so a write
  // never lands in or beyond a block the stream does not own.
  if (Size() > 0 && Memory() != FData) {
    auto* own = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(Size())));
    if (!own) throw EOutOfMemory("Out of memory while expanding memory stream");
    std::memcpy(own, Memory(), static_cast<std::size_t>(Size()));
    std::free(FData);
    FData = own;
    FCapacity = Size();
    SetPointer(FData, FCapacity);
  }
  if (NewCapacity <= FCapacity) return;
  // Grow in steps so that many small writes stay cheap.
  int64_t cap = std::max<int64_t>(NewCapacity, FCapacity * 3 / 2);
  cap = (cap + 0x1FFF) & ~int64_t(0x1FFF);
  if (cap < 0 || static_cast<uint64_t>(cap) > SIZE_MAX)
    throw EOutOfMemory("Out of memory while expanding memory stream");
  // The block may move: the stream's view follows it.
  const int64_t size = Size();
  const bool viewed = Memory() == FData;
  auto* grown = static_cast<unsigned char*>(std::realloc(FData, static_cast<std::size_t>(cap)));
  if (!grown) throw EOutOfMemory("Out of memory while expanding memory stream");
  FData = grown;
  FCapacity = cap;
  if (viewed || size == 0) SetPointer(FData, size);
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  int64_t old = Size();
  Reserve(NewSize);
  if (NewSize > old)
    std::memset(FData + old, 0, static_cast<std::size_t>(NewSize - old));
  SetPointer(FData, NewSize);
  if (FPosition > NewSize) FPosition = NewSize;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  int64_t end = FPosition + Count;
  if (end > Size()) {
    int64_t old = Size();
    Reserve(end);
    // A gap left by seeking past the end reads as zeros.
    if (FPosition > old)
      std::memset(FData + old, 0, static_cast<std::size_t>(FPosition - old));
    SetPointer(FData, end);
  } else {
    Reserve(0);  // take over foreign memory before writing into it
  }
  std::memcpy(FData + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::Clear() {
  std::free(FData);
  FData = nullptr;
  FCapacity = 0;
  SetPointer(nullptr, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  int64_t n = Stream.Size();
  SetSize(n);
  if (n != 0) Stream.ReadBuffer(FData, n);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

// ---- TFileStream -----------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode) : FFileName(FileName) {
  if (Mode == fmCreate) {
    FHandle = ::open(ostext::SystemPath(FileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0)
      throw EFCreateError("Cannot create file \"" + FileName + "\". " + Reason());
    return;
  }
  int flags = O_CLOEXEC;
  switch (Mode & 3) {
    case fmOpenWrite:
      flags |= O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    default:
      flags |= O_RDONLY;
      break;
  }
  FHandle = ::open(ostext::SystemPath(FileName).c_str(), flags);
  if (FHandle >= 0) {
    struct stat st;
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      errno = EISDIR;
    }
  }
  if (FHandle < 0) throw EFOpenError("Cannot open file \"" + FileName + "\". " + Reason());
}

TFileStream::~TFileStream() { CloseHandle(); }

void TFileStream::CloseHandle() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

TReplacingFileStream::TReplacingFileStream(const std::string& FileName, const std::string& Suffix)
    : TFileStream(HiddenBeside(FileName, Suffix), fmCreate), FTarget(FileName) {}

TReplacingFileStream::~TReplacingFileStream() {
  if (!FCommitted) DeleteFile(this->FileName());
}

void TReplacingFileStream::Commit() {
  if (FCommitted) return;
  CloseHandle();
  if (std::rename(ostext::SystemPath(FileName()).c_str(), ostext::SystemPath(FTarget).c_str()) != 0)
    throw EFCreateError("Cannot create file \"" + FTarget + "\". " + Reason());
  FCommitted = true;
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  int64_t done = 0;
  auto* p = static_cast<unsigned char*>(Buffer);
  while (done < Count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t done = 0;
  auto* p = static_cast<const unsigned char*>(Buffer);
  while (done < Count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<std::size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset, int Origin) {
  int whence = Origin == soFromCurrent ? SEEK_CUR : Origin == soFromEnd ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t NewSize) {
  int64_t pos = Position();
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
    throw EWriteError("Stream write error");
  if (pos > NewSize) SetPosition(NewSize);
}

std::string ReadFileBytes(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  int64_t n = f.Size();
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  f.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  return out;
}

void WriteFileBytes(const std::string& FileName, const std::string& Bytes) {
  TFileStream f(FileName, fmCreate);
  f.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}
