// The memo file (.smt, .fpt, .dbt) beside a table: memo texts and blobs in fixed-size blocks,
// each entry a type and a length followed by its bytes. New entries never overwrite a live
// one: a rewrite goes to free blocks and the old blocks are freed once the record that
// points to the new entry is on disk, so a crash leaves either the old text or the new.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/src/FileIo.h"

namespace xbe {

// The reference a record keeps to a memo entry: the block number as ten digits aligned
// right, blanks for none (a field 4 bytes wide holds it in binary, little-endian).
std::string EncodeMemoRef(uint32_t block, int width);
uint32_t DecodeMemoRef(const char* field, int width);

struct MemoExtent {
  uint32_t block = 0;  // first block; 0 = none
  uint32_t blocks = 0;
};

class MemoFile {
 public:
  static constexpr uint32_t kText = 1;
  static constexpr uint32_t kBinary = 0;

  static std::unique_ptr<MemoFile> Open(const std::string& path, bool writable, std::string* error);
  // Writes an empty memo file (replacing any file of that name).
  static bool Create(const std::string& path, int blockSize);
  // Block sizes as the setting gives them: 1..32 are units of 512 bytes, larger are bytes.
  static int NormaliseBlockSize(int size);

  int BlockSize() const { return blockSize_; }
  // Reads the entry at `block`; false when the reference or the entry is damaged.
  bool Read(uint32_t block, std::string* out, uint32_t* type = nullptr);
  // Length of the entry's data, -1 when damaged.
  int64_t Length(uint32_t block);
  // Blocks that an entry at `block` occupies (0 when damaged).
  uint32_t BlocksOf(uint32_t block);
  // Writes a new entry and returns where it went (block 0 on failure).
  MemoExtent Write(const void* data, size_t n, uint32_t type);
  // Appends many entries behind the used blocks in one write (bulk loading); false on
  // failure. blocks receives each entry's first block.
  bool WriteMany(const std::vector<std::string>& entries, uint32_t type, std::vector<uint32_t>* blocks);
  void Free(const MemoExtent& e);
  const std::string& Path() const { return path_; }
  bool Sync() { return file_->Sync(); }
  void WriteBack() { file_->WriteBack(); }

 private:
  bool ReadHeader(uint32_t* nextFree, std::vector<MemoExtent>* freeList);
  bool WriteHeader(uint32_t nextFree, const std::vector<MemoExtent>& freeList);
  // An entry's blocks: type, length, data, zero padding.
  std::string Encode(const void* data, size_t n, uint32_t type) const;
  uint32_t FirstBlock() const { return (512 + blockSize_ - 1) / blockSize_; }

  std::unique_ptr<File> file_;
  std::string path_;
  int blockSize_ = 64;
};

}  // namespace xbe
