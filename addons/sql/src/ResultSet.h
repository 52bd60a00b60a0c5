// The whole result of one statement run, held for the query's fetches: the structure text,
// fixed-size row images (one per row, fields at the offsets the structure gives, in the class
// library's native forms) and the memo and blob values, which stay out of the row images and
// are handed out one at a time.
//
// Field types come from the columns' declared types where a column is a table field (a
// character field stays a string of its width, a number a small integer, integer or float by
// its width and decimals) and from the values otherwise. Text longer than kMaxStringWidth
// becomes a memo. The result is refused, not truncated, beyond kMaxRows rows or
// kMaxResultBytes bytes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xbsql {

class ResultSet {
 public:
  static constexpr int kMaxStringWidth = 1024;
  static constexpr int64_t kMaxRows = 16 * 1024 * 1024;
  static constexpr int64_t kMaxResultBytes = int64_t{2} << 30;

  // Steps Stmt to its end and builds the result; false with Error on failure (ErrorNo is the
  // SQLite code, or 1 for a refusal of the add-on's own).
  bool Collect(sqlite3_stmt* Stmt, std::string& Error, int& ErrorNo);

  int32_t RowCount() const { return FRows; }
  int32_t FieldCount() const { return static_cast<int32_t>(FColumns.size()); }
  int32_t RowSize() const { return FRowSize; }
  const std::string& Structure() const { return FStructure; }
  // The fetch block of rows First .. First + Count - 1, cut at the end of the result.
  const std::string& Rows(int32_t First, int32_t Count);
  // Memo or blob field Field (0-based) of Row (1-based); empty for any other field or row.
  std::string_view Blob(int32_t Row, int32_t Field) const;

 private:
  enum Kind { kString, kSmallint, kInteger, kFloat, kBoolean, kDate, kMemo, kBlob };
  struct Column {
    std::string Name;
    std::string Declared;
    Kind kind = kString;
    int Size = 0;
    int Offset = 0;
    int BlobSlot = -1;
    // What the values were.
    bool SawInt = false, SawReal = false, SawText = false, SawBlob = false;
    int64_t MinInt = 0, MaxInt = 0;
    size_t MaxText = 0;
  };
  struct BlobRef {
    uint64_t Offset = 0;
    uint32_t Length = 0;
  };

  void Decide(Column& C) const;
  bool Build(std::string& Error);
  void NameColumns();

  std::vector<Column> FColumns;
  std::string FCells;  // the stepped values, row after row, until the images are built
  int32_t FRows = 0;
  int32_t FRowSize = 0;
  int FBlobColumns = 0;
  std::vector<char> FImages;
  std::string FBlobBytes;
  std::vector<BlobRef> FBlobs;  // row x memo/blob column
  std::string FStructure;
  std::string FBlock;
};

}  // namespace xbsql
