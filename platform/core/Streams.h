// Byte streams of the class library: the abstract TStream, a growable memory stream and a
// file stream. Positions and sizes are 64-bit byte counts.
//
// Read/Write move as many bytes as they can and return the count; ReadBuffer/WriteBuffer
// insist on all of them and raise EReadError "Stream read error" / EWriteError "Stream write
// error" otherwise. A file that cannot be opened raises EFOpenError "Cannot open file "<name>"",
// one that cannot be created EFCreateError "Cannot create file "<name>"" (with the system's
// reason appended). A stream owns its memory or file descriptor. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Classes.h"

enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// File modes: one access mode, optionally or'ed with a share mode. The share modes are
// accepted for the callers' sake; files are not locked by them.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class TStream : public TObject {
 public:
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Origin is soFromBeginning, soFromCurrent or soFromEnd; returns the new position.
  virtual int64_t Seek(int64_t Offset, int Origin) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soFromBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies the whole of Source from its
  // start. Returns the bytes copied; a short source raises EReadError.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream over one block of memory. SetPointer lets a descendant read a block owned elsewhere
// (the block must outlive that use); TMemoryStream copies such a block into its own memory
// before anything writes to it.
class TCustomMemoryStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  int64_t Size() override { return FSize; }

  // The bytes of the stream (Size() of them); valid until the next write or resize.
  void* Memory() { return FMemory; }
  const void* Memory() const { return FMemory; }

  void SaveToStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);

 protected:
  void SetPointer(void* Ptr, int64_t Size);
  int64_t FPosition = 0;

 private:
  void* FMemory = nullptr;
  int64_t FSize = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();

  // Replace the contents with the whole of Stream / the file; the position becomes 0.
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);

 private:
  void Reserve(int64_t NewCapacity);
  // Its own memory, grown with realloc: a large block grows in place or is moved by the system
  // without a copy, so a stream of a hundred megabytes neither stalls nor is held twice while
  // it grows. Bytes past Size() are not cleared until the stream reaches them.
  unsigned char* FData = nullptr;
  int64_t FCapacity = 0;
};

class TFileStream : public TStream {
 public:
  // Mode: fmCreate (create or truncate, read and write) or fmOpenRead / fmOpenWrite /
  // fmOpenReadWrite with any share mode.
  TFileStream(const std::string& FileName, uint16_t Mode);
  ~TFileStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, int Origin) override;
  void SetSize(int64_t NewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 protected:
  // Closes the file before the stream goes; later reads and writes fail.
  void CloseHandle();

 private:
  std::string FFileName;
  int FHandle = -1;
};

// A file written beside its name and put in its place whole: until Commit the name keeps what
// stood under it, so a reader, or another copy of the program writing the same name, never
// meets half a file. The hidden file (HiddenBeside, Suffix) goes when the stream goes without
// Commit. Raises EFCreateError when the hidden file cannot be made or put in place.
class TReplacingFileStream : public TFileStream {
 public:
  explicit TReplacingFileStream(const std::string& FileName, const std::string& Suffix = "writing");
  ~TReplacingFileStream() override;
  // Closes the file and puts it under its name, replacing what stood there.
  void Commit();
  const std::string& Target() const { return FTarget; }

 private:
  std::string FTarget;
  bool FCommitted = false;
};

// Reads a whole file into memory; raises EFOpenError / EReadError.
std::string ReadFileBytes(const std::string& FileName);
// Writes bytes to a file, replacing it; raises EFCreateError / EWriteError.
void WriteFileBytes(const std::string& FileName, const std::string& Bytes);
