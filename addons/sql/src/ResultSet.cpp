// Holding a statement's result (see ResultSet.h).
#include "addons/sql/src/ResultSet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "addons/sql/include/ravavadiv61.h"
#include "addons/sql/src/InputBlocks.h"
#include "platform/core/Cp949.h"

namespace xbsql {

namespace {

// Field type numbers of the class library, as the structure text carries them.
int TypeNumber(int kind) {
  static const int numbers[] = {1, 2, 3, 6, 5, 9, 16, 15};
  return numbers[kind];
}

std::string Hex8(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

std::string HexText(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%X", v);
  return buf;
}

// Width and decimals of "NAME(w,d)".
void Dimensions(const std::string& Declared, int& Width, int& Decimals) {
  Width = Decimals = 0;
  const size_t open = Declared.find('(');
  if (open == std::string::npos) return;
  const char* p = Declared.c_str() + open + 1;
  const char* end = Declared.c_str() + Declared.size();
  auto r = std::from_chars(p, end, Width);
  if (r.ec == std::errc() && r.ptr < end && *r.ptr == ',') std::from_chars(r.ptr + 1, end, Decimals);
  if (Width < 0) Width = 0;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// A cell of the stepped values: a type byte, then 8 bytes of number, or a 4-byte length and
// the bytes of text or blob.
struct Cell {
  int Type = SQLITE_NULL;
  int64_t Int = 0;
  double Real = 0;
  std::string_view Bytes;
};

Cell ReadCell(const std::string& cells, size_t& at) {
  Cell c;
  c.Type = static_cast<unsigned char>(cells[at++]);
  switch (c.Type) {
    case SQLITE_INTEGER:
      std::memcpy(&c.Int, cells.data() + at, 8);
      at += 8;
      break;
    case SQLITE_FLOAT:
      std::memcpy(&c.Real, cells.data() + at, 8);
      at += 8;
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      uint32_t n;
      std::memcpy(&n, cells.data() + at, 4);
      at += 4;
      c.Bytes = std::string_view(cells.data() + at, n);
      at += n;
      break;
    }
    default:
      break;
  }
  return c;
}

std::string NumberText(const Cell& c) {
  char buf[40];
  auto r = c.Type == SQLITE_INTEGER ? std::to_chars(buf, buf + sizeof buf, c.Int)
                                    : std::to_chars(buf, buf + sizeof buf, c.Real);
  return std::string(buf, r.ptr);
}

std::string_view CellText(const Cell& c, std::string& scratch) {
  if (c.Type == SQLITE_TEXT || c.Type == SQLITE_BLOB) return c.Bytes;
  if (c.Type == SQLITE_NULL) return std::string_view();
  scratch = NumberText(c);
  return scratch;
}

bool CellNumber(const Cell& c, double& v) {
  switch (c.Type) {
    case SQLITE_INTEGER: v = static_cast<double>(c.Int); return true;
    case SQLITE_FLOAT: v = c.Real; return std::isfinite(v);
    case SQLITE_TEXT: {
      std::string_view s = c.Bytes;
      while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      if (!s.empty() && s.front() == '+') s.remove_prefix(1);
      auto r = std::from_chars(s.data(), s.data() + s.size(), v);
      return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
    }
    default: return false;
  }
}

template <class T>
T Clamped(double v) {
  if (!(v > static_cast<double>(std::numeric_limits<T>::min()))) return std::numeric_limits<T>::min();
  if (!(v < static_cast<double>(std::numeric_limits<T>::max()))) return std::numeric_limits<T>::max();
  return static_cast<T>(std::llround(v));
}

template <class T>
void Put(char* at, T v) {
  std::memcpy(at, &v, sizeof v);
}

}  // namespace

bool ResultSet::Collect(sqlite3_stmt* Stmt, std::string& Error, int& ErrorNo) {
  const int n = sqlite3_column_count(Stmt);
  FColumns.assign(static_cast<size_t>(n), Column{});
  for (int i = 0; i < n; ++i) {
    const char* name = sqlite3_column_name(Stmt, i);
    const char* decl = sqlite3_column_decltype(Stmt, i);
    FColumns[static_cast<size_t>(i)].Name = name ? name : "";
    FColumns[static_cast<size_t>(i)].Declared = decl ? cp949::Upper(decl) : "";
  }
  for (;;) {
    const int rc = sqlite3_step(Stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      ErrorNo = rc;
      Error = sqlite3_errmsg(sqlite3_db_handle(Stmt));
      return false;
    }
    if (FRows >= kMaxRows) {
      ErrorNo = 1;
      Error = "The result has more than " + std::to_string(kMaxRows) + " rows";
      return false;
    }
    for (int i = 0; i < n; ++i) {
      Column& c = FColumns[static_cast<size_t>(i)];
      const int type = sqlite3_column_type(Stmt, i);
      FCells.push_back(static_cast<char>(type));
      switch (type) {
        case SQLITE_INTEGER: {
          const int64_t v = sqlite3_column_int64(Stmt, i);
          FCells.append(reinterpret_cast<const char*>(&v), 8);
          if (!c.SawInt) c.MinInt = c.MaxInt = v;
          c.MinInt = std::min(c.MinInt, v);
          c.MaxInt = std::max(c.MaxInt, v);
          c.SawInt = true;
          break;
        }
        case SQLITE_FLOAT: {
          const double v = sqlite3_column_double(Stmt, i);
          FCells.append(reinterpret_cast<const char*>(&v), 8);
          c.SawReal = true;
          break;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
          const void* p = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(Stmt, i))
                                              : sqlite3_column_blob(Stmt, i);
          const uint32_t len = static_cast<uint32_t>(sqlite3_column_bytes(Stmt, i));
          FCells.append(reinterpret_cast<const char*>(&len), 4);
          if (len > 0) FCells.append(static_cast<const char*>(p), len);
          (type == SQLITE_TEXT ? c.SawText : c.SawBlob) = true;
          c.MaxText = std::max<size_t>(c.MaxText, len);
          break;
        }
        default:
          break;
      }
    }
    ++FRows;
    if (static_cast<int64_t>(FCells.size()) > kMaxResultBytes) {
      ErrorNo = 1;
      Error = "The result is larger than " + std::to_string(kMaxResultBytes >> 20) + " MB";
      return false;
    }
  }
  if (!Build(Error)) {
    ErrorNo = 1;
    return false;
  }
  return true;
}

void ResultSet::Decide(Column& C) const {
  const std::string& d = C.Declared;
  int width = 0, decimals = 0;
  Dimensions(d, width, decimals);
  const bool sawNumber = C.SawInt || C.SawReal;
  auto text = [&](int declared) {
    int w = std::max<int>(declared, static_cast<int>(std::min<size_t>(C.MaxText, kMaxStringWidth + 1)));
    if (sawNumber) w = std::max(w, 24);
    if (w > kMaxStringWidth) {
      C.kind = kMemo;
    } else {
      C.kind = kString;
      C.Size = std::max(w, 1);
    }
  };
  // Whole numbers of the width the values need; a real or a text among them makes it a float.
  auto whole = [&](Kind narrowest) {
    if (C.SawReal || C.SawText || C.SawBlob) C.kind = kFloat;
    else if (narrowest == kSmallint && (!C.SawInt || (C.MinInt >= -32768 && C.MaxInt <= 32767))) C.kind = kSmallint;
    else if (!C.SawInt || (C.MinInt >= INT32_MIN && C.MaxInt <= INT32_MAX)) C.kind = kInteger;
    else C.kind = kFloat;
  };
  if (StartsWith(d, "CHAR")) text(width);
  else if (StartsWith(d, "MEMO")) C.kind = kMemo;
  else if (StartsWith(d, "BLOB")) C.kind = kBlob;
  else if (StartsWith(d, "DATE")) C.kind = kDate;
  else if (StartsWith(d, "BOOLEAN")) C.kind = kBoolean;
  else if (StartsWith(d, "INTEGER")) whole(kInteger);
  else if (StartsWith(d, "NUMERIC") || StartsWith(d, "FLOAT")) {
    if (decimals > 0 || width > 9) C.kind = kFloat;
    else whole(width <= 4 ? kSmallint : kInteger);
  } else if (C.SawBlob) C.kind = kBlob;
  else if (C.SawText) text(0);
  else if (C.SawReal) C.kind = kFloat;
  else if (C.SawInt) whole(kInteger);
  else text(1);
  switch (C.kind) {
    case kSmallint: case kBoolean: C.Size = 2; break;
    case kInteger: C.Size = 4; break;
    case kFloat: C.Size = 8; break;
    case kDate: C.Size = 8; break;  // a day number in the first four bytes
    case kMemo: case kBlob: C.Size = 0; break;
    case kString: break;
  }
}

void ResultSet::NameColumns() {
  std::unordered_set<std::string> seen;
  std::unordered_map<std::string, int> next;  // the next suffix to try for a repeated name
  for (size_t i = 0; i < FColumns.size(); ++i) {
    std::string name = FColumns[i].Name;
    // One line per name in the structure text.
    for (char& ch : name)
      if (static_cast<unsigned char>(ch) < 0x20) ch = '_';
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) name = "COLUMN" + std::to_string(i + 1);
    std::string unique = name;
    const std::string key = cp949::Upper(name);
    for (int& k = next.try_emplace(key, 2).first->second; seen.count(cp949::Upper(unique)) != 0; ++k)
      unique = name + "_" + std::to_string(k);
    seen.insert(cp949::Upper(unique));
    FColumns[i].Name = unique;
  }
}

bool ResultSet::Build(std::string& Error) {
  NameColumns();
  int64_t offset = 0;
  FBlobColumns = 0;
  for (Column& c : FColumns) {
    Decide(c);
    c.Offset = static_cast<int>(offset);
    offset += c.Size;
    if (c.kind == kMemo || c.kind == kBlob) c.BlobSlot = FBlobColumns++;
  }
  FRowSize = static_cast<int32_t>(offset);
  const int64_t imageBytes = static_cast<int64_t>(FRows) * FRowSize;
  if (imageBytes + static_cast<int64_t>(FCells.size()) > kMaxResultBytes) {
    Error = "The result is larger than " + std::to_string(kMaxResultBytes >> 20) + " MB";
    return false;
  }
  try {
    FImages.assign(static_cast<size_t>(imageBytes), '\0');
    FBlobs.assign(static_cast<size_t>(FRows) * static_cast<size_t>(FBlobColumns), BlobRef{});
  } catch (const std::bad_alloc&) {
    Error = "Out of memory while holding the result";
    return false;
  }
  size_t at = 0;
  std::string scratch;
  for (int32_t row = 0; row < FRows; ++row) {
    char* image = FImages.data() + static_cast<size_t>(row) * static_cast<size_t>(FRowSize);
    for (const Column& c : FColumns) {
      const Cell cell = ReadCell(FCells, at);
      char* p = image + c.Offset;
      double number = 0;
      switch (c.kind) {
        case kString: {
          const std::string_view s = CellText(cell, scratch);
          std::memcpy(p, s.data(), cp949::CutLength(s, static_cast<size_t>(c.Size)));
          break;
        }
        case kSmallint:
          Put(p, CellNumber(cell, number) ? Clamped<int16_t>(number) : int16_t{0});
          break;
        case kInteger:
          Put(p, cell.Type == SQLITE_INTEGER ? Clamped<int32_t>(static_cast<double>(cell.Int))
                                            : (CellNumber(cell, number) ? Clamped<int32_t>(number) : 0));
          break;
        case kFloat:
          Put(p, CellNumber(cell, number) ? number : 0.0);
          break;
        case kBoolean: {
          bool on = CellNumber(cell, number) && number != 0;
          if (cell.Type == SQLITE_TEXT && !cell.Bytes.empty()) on = on || std::strchr("TtYy", cell.Bytes[0]);
          Put(p, static_cast<int16_t>(on ? -1 : 0));
          break;
        }
        case kDate: {
          int32_t day = 0;
          const std::string_view s = CellText(cell, scratch);
          if (!ParseDate(s.data(), s.size(), day)) day = 0;
          Put(p, day);
          break;
        }
        case kMemo:
        case kBlob: {
          const std::string_view s = CellText(cell, scratch);
          BlobRef& ref = FBlobs[static_cast<size_t>(row) * static_cast<size_t>(FBlobColumns) +
                                static_cast<size_t>(c.BlobSlot)];
          ref.Offset = FBlobBytes.size();
          ref.Length = static_cast<uint32_t>(s.size());
          FBlobBytes.append(s);
          break;
        }
      }
    }
  }
  std::string().swap(FCells);
  for (const Column& c : FColumns)
    FStructure += c.Name + "\r\n" + HexText(static_cast<uint32_t>(TypeNumber(c.kind))) + "\r\n" +
                  HexText(static_cast<uint32_t>(c.Size)) + "\r\n" + HexText(static_cast<uint32_t>(c.Offset)) +
                  "\r\n" + (c.Declared.empty() ? std::string("-") : c.Declared) + "\r\n";
  return true;
}

const std::string& ResultSet::Rows(int32_t First, int32_t Count) {
  FBlock.clear();
  if (First < 1) First = 1;
  if (Count < 0 || First > FRows) Count = 0;
  if (Count > FRows - First + 1) Count = FRows - First + 1;
  FBlock.reserve(8 + static_cast<size_t>(Count) * (8 + static_cast<size_t>(FRowSize)));
  FBlock += Hex8(static_cast<uint32_t>(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t row = First + i;
    FBlock += Hex8(static_cast<uint32_t>(row));
    FBlock.append(FImages.data() + static_cast<size_t>(row - 1) * static_cast<size_t>(FRowSize),
                  static_cast<size_t>(FRowSize));
  }
  return FBlock;
}

std::string_view ResultSet::Blob(int32_t Row, int32_t Field) const {
  if (Row < 1 || Row > FRows || Field < 0 || Field >= FieldCount()) return std::string_view();
  const Column& c = FColumns[static_cast<size_t>(Field)];
  if (c.BlobSlot < 0) return std::string_view();
  const BlobRef& ref =
      FBlobs[static_cast<size_t>(Row - 1) * static_cast<size_t>(FBlobColumns) + static_cast<size_t>(c.BlobSlot)];
  return std::string_view(FBlobBytes.data() + ref.Offset, ref.Length);
}

}  // namespace xbsql
