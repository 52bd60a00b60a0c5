// Reading the tables and parameter blocks of a prepare (see InputBlocks.h).
#include "addons/sql/src/InputBlocks.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace xbsql {

namespace {

bool Hex(const char* p, size_t n, int64_t& v) {
  v = 0;
  if (n == 0) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = p[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    v = v * 16 + d;
  }
  return true;
}

std::string TrimmedField(const char* p, size_t n) {
  size_t e = n;
  while (e > 0 && (p[e - 1] == ' ' || p[e - 1] == '\0')) --e;
  size_t b = 0;
  while (b < e && p[b] == ' ') ++b;
  return std::string(p + b, e - b);
}

// The lines of a string list's text.
std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < Text.size()) {
    size_t end = Text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = Text.size();
    std::string line = TrimmedField(Text.data() + at, end - at);
    if (!line.empty()) out.push_back(line);
    at = end + 1;
  }
  return out;
}

template <class T>
T Get(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Packed decimal digits of the parameter block: count, sign and places, then two digits a byte.
double DecodeBcd(const unsigned char* in) {
  const int precision = in[0] > 64 ? 64 : in[0];
  const int places = in[1] & 0x3F;
  double v = 0;
  for (int i = 0; i < precision; ++i) {
    const unsigned char b = in[2 + i / 2];
    v = v * 10 + ((i % 2 == 0) ? (b >> 4) : (b & 0x0F));
  }
  v /= std::pow(10.0, places);
  return (in[1] & 0x80) ? -v : v;
}

std::string TimeText(int64_t Ms) {
  if (Ms < 0) Ms = 0;
  const int64_t s = Ms / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(s / 3600 % 24),
                static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  return buf;
}

void CivilOf(int64_t DayNumber, int& Y, int& M, int& D) {
  // Days since 0001-01-01 moved to the proleptic civil algorithm's 0000-03-01 base.
  int64_t z = DayNumber - 1 + 306;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  D = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  M = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  Y = static_cast<int>(yoe + era * 400 + (M <= 2 ? 1 : 0));
}

}  // namespace

int32_t DayNumberOf(int Year, int Month, int Day) {
  static const int kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int64_t y = Year - 1;
  int64_t n = y * 365 + y / 4 - y / 100 + y / 400 + kCum[Month - 1] + Day;
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Month > 2 && leap) ++n;
  return static_cast<int32_t>(n);
}

bool DateText(int32_t DayNumber, std::string& Out) {
  if (DayNumber < 1 || DayNumber > DayNumberOf(9999, 12, 31)) return false;
  int y, m, d;
  CivilOf(DayNumber, y, m, d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  Out = buf;
  return true;
}

bool ParseDate(const char* Text, size_t Size, int32_t& DayNumber) {
  auto digits = [&](size_t at, size_t n, int& v) {
    if (at + n > Size) return false;
    v = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (Text[i] < '0' || Text[i] > '9') return false;
      v = v * 10 + (Text[i] - '0');
    }
    return true;
  };
  int y, m, d;
  const bool dashed = Size >= 10 && Text[4] == '-' && Text[7] == '-';
  if (dashed ? !(digits(0, 4, y) && digits(5, 2, m) && digits(8, 2, d))
             : !(digits(0, 4, y) && digits(4, 2, m) && digits(6, 2, d)))
    return false;
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (m == 2 && d == 29 && !leap) return false;
  DayNumber = DayNumberOf(y, m, d);
  return true;
}

int EngineTableType(int Ordinal) {
  switch (Ordinal) {
    case 0: return 1;  // NTX
    case 2: return 3;  // NSX, the note files' type
    case 3: return 4;  // NSX with DBT memo
    default: return 2;
  }
}

bool ReadTablesBlock(const char* Data, size_t Size, int32_t Count, std::vector<TableEntry>& Out,
                     std::string& Error) {
  Out.clear();
  // Name, alias, type, password, OEM flag, extra length, commit level: at least 147 bytes each.
  constexpr size_t kFixed = 64 + 64 + 1 + 8 + 1 + 8;
  if (Count < 0 || static_cast<uint64_t>(Count) * (kFixed + 1) > Size) {
    Error = "The tables block does not hold its tables";
    return false;
  }
  size_t at = 0;
  for (int32_t i = 0; i < Count; ++i) {
    if (Size - at < kFixed + 1) break;
    const char* p = Data + at;
    TableEntry e;
    e.TableName = TrimmedField(p, 64);
    e.Alias = TrimmedField(p + 64, 64);
    int64_t type = 0, extra = 0;
    if (!Hex(p + 128, 1, type) || !Hex(p + 138, 8, extra)) break;
    e.EngineType = EngineTableType(static_cast<int>(type));
    at += kFixed;
    if (static_cast<uint64_t>(extra) > Size - at || Size - at - static_cast<size_t>(extra) < 1) break;
    e.ExtraIndexes = Lines(std::string(Data + at, static_cast<size_t>(extra)));
    at += static_cast<size_t>(extra) + 1;  // the commit level: the engine commits nothing here
    if (e.TableName.empty()) break;
    Out.push_back(std::move(e));
  }
  if (static_cast<int32_t>(Out.size()) != Count) {
    Error = "The tables block is damaged at table " + std::to_string(Out.size() + 1);
    return false;
  }
  return true;
}

bool ReadParamBlock(const char* Data, size_t Size, std::vector<ParamValue>& Out, std::string& Error) {
  Out.clear();
  size_t at = 0;
  while (at < Size) {
    int64_t n = 0, type = 0;
    if (Size - at < 32 || !Hex(Data + at, 8, n) || !Hex(Data + at + 8, 2, type) ||
        static_cast<uint64_t>(n) > Size - at - 32) {
      Error = "The parameter block is damaged at parameter " + std::to_string(Out.size() + 1);
      return false;
    }
    ParamValue v;
    v.Name = TrimmedField(Data + at + 12, 20);
    const char* d = Data + at + 32;
    const size_t size = static_cast<size_t>(n);
    at += 32 + size;
    auto need = [&](size_t bytes) { return size >= bytes; };
    // A parameter without data is NULL, whatever its type.
    switch (size == 0 ? -1 : type) {
      case -1:
        break;
      case 1: case 16: case 23: case 24: case 26:  // text, up to its terminating zero
        v.Type = ParamValue::Text;
        v.Bytes.assign(d, strnlen(d, size));
        break;
      case 2:
        if (need(2)) v.Type = ParamValue::Integer, v.IntValue = Get<int16_t>(d);
        break;
      case 4:
        if (need(2)) v.Type = ParamValue::Integer, v.IntValue = Get<uint16_t>(d);
        break;
      case 5:
        if (need(2)) v.Type = ParamValue::Integer, v.IntValue = Get<int16_t>(d) != 0 ? 1 : 0;
        break;
      case 3: case 14:
        if (need(4)) v.Type = ParamValue::Integer, v.IntValue = Get<int32_t>(d);
        break;
      case 25:
        if (need(8)) v.Type = ParamValue::Integer, v.IntValue = Get<int64_t>(d);
        break;
      case 6: case 7:
        if (need(8)) v.Type = ParamValue::Real, v.RealValue = Get<double>(d);
        break;
      case 8: case 37:
        if (need(34)) v.Type = ParamValue::Real, v.RealValue = DecodeBcd(reinterpret_cast<const unsigned char*>(d));
        break;
      case 9:
        if (need(4) && DateText(Get<int32_t>(d), v.Bytes)) v.Type = ParamValue::Text;
        break;
      case 10:
        if (need(4)) v.Type = ParamValue::Text, v.Bytes = TimeText(Get<int32_t>(d));
        break;
      case 11:
        if (need(8)) {
          const double ms = Get<double>(d);
          if (std::isfinite(ms) && ms >= 86400000.0 && ms < 1e15) {
            const int64_t whole = static_cast<int64_t>(ms);
            if (DateText(static_cast<int32_t>(whole / 86400000), v.Bytes)) {
              v.Bytes += " " + TimeText(whole % 86400000);
              v.Type = ParamValue::Text;
            }
          }
        }
        break;
      case 36:
        if (need(16)) {
          const int y = Get<int16_t>(d), m = Get<uint16_t>(d + 2), day = Get<uint16_t>(d + 4);
          char buf[80];
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, day,
                        Get<uint16_t>(d + 6), Get<uint16_t>(d + 8), Get<uint16_t>(d + 10));
          v.Type = ParamValue::Text;
          v.Bytes = buf;
        }
        break;
      default:  // bytes, blobs and the other binary kinds
        if (size > 0) v.Type = ParamValue::Blob, v.Bytes.assign(d, size);
        break;
    }
    Out.push_back(std::move(v));
  }
  return true;
}

}  // namespace xbsql
