// System utilities: exceptions, conversions, file-name helpers and dates.
#include "platform/core/SysUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <limits>
#include <vector>

#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"
#include "platform/core/TextCodec.h"

Exception::~Exception() = default;

TFormatSettings FormatSettings;

const TFormatSettings& SystemFormatSettings() {
  static const TFormatSettings defaults;
  return defaults;
}

uint32_t GetTickCount() {
  auto t = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
}

void Sleep(unsigned ms) { ::usleep(static_cast<useconds_t>(ms) * 1000u); }

void GiveWayToOtherThreads() {
  // On Linux each thread has a niceness of its own; a few steps below the GUI thread is enough
  // for the scheduler to prefer it, while the thread still gets every processor left idle.
  const auto self = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  const int now = ::getpriority(PRIO_PROCESS, self);
  if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, now + 5));
}

void Abort() { throw EAbort(); }

void AssertionFailed(const std::string& msg, const std::string& unit, int line) {
  std::string text = msg.empty() ? std::string("Assertion failure") : msg;
  throw EAssertionFailed(text + " (" + unit + ", line " + std::to_string(line) + ")");
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(ap);
  return out;
}

// ---- Numbers ----------------------------------------------------------------------------

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool ParseInt64(std::string_view s, int64_t& out) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  // Accumulate as a negative number so that INT64_MIN fits.
  int64_t v = 0;
  const int64_t lim = std::numeric_limits<int64_t>::min();
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (v < (lim + d) / base) return false;
    v = v * base - d;
  }
  if (!neg) {
    if (v == lim) return false;
    v = -v;
  }
  out = v;
  return true;
}

[[noreturn]] void RaiseNotInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt64(std::string_view s, int64_t& out) { return ParseInt64(s, out); }

bool TryStrToInt(std::string_view s, int& out) {
  int64_t v;
  if (!ParseInt64(s, v)) return false;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
  out = static_cast<int>(v);
  return true;
}

int StrToInt(std::string_view s) {
  int v;
  if (!TryStrToInt(s, v)) RaiseNotInteger(s);
  return v;
}

int64_t StrToInt64(std::string_view s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) RaiseNotInteger(s);
  return v;
}

int StrToIntDef(std::string_view s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
  int64_t v;
  return TryStrToInt64(s, v) ? v : def;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string IntToHex(uint64_t v, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kHex[v & 15]);
    v >>= 4;
  } while (v != 0);
  while (static_cast<int>(out.size()) < digits) out.insert(out.begin(), '0');
  return out;
}

bool TryStrToFloat(std::string_view s, double& out) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  std::string t(s.substr(b, e - b));
  if (t.empty()) return false;
  for (char& c : t) {
    if (c == FormatSettings.DecimalSeparator) c = '.';
    else if (c == '.') return false;  // a point that is not the decimal separator
  }
  std::size_t start = (t[0] == '+') ? 1 : 0;
  if (start < t.size() && t[start] == '-' && start == 1) return false;
  const char* first = t.data() + start;
  const char* last = t.data() + t.size();
  double v = 0;
  auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(v)) return false;
  out = v;
  return true;
}

double StrToFloat(std::string_view s) {
  double v;
  if (!TryStrToFloat(s, v))
    throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(std::string_view s, double def) {
  double v;
  return TryStrToFloat(s, v) ? v : def;
}

std::string FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string s(buf, ec == std::errc() ? ptr : buf);
  // "1e+20" -> "1E20", "1.5e-05" -> "1.5E-5".
  std::size_t e = s.find('e');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e);
    std::string ex = s.substr(e + 1);
    bool neg = !ex.empty() && ex[0] == '-';
    if (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) ex.erase(0, 1);
    while (ex.size() > 1 && ex[0] == '0') ex.erase(0, 1);
    s = mant + "E" + (neg ? "-" : "") + ex;
  }
  if (FormatSettings.DecimalSeparator != '.')
    for (char& c : s)
      if (c == '.') c = FormatSettings.DecimalSeparator;
  return s;
}

std::string FloatToStrFixed(double v, int decimals) {
  char buf[400];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed,
                                 decimals < 0 ? 0 : decimals);
  std::string s(buf, ec == std::errc() ? ptr : buf);
  if (FormatSettings.DecimalSeparator != '.')
    for (char& c : s)
      if (c == '.') c = FormatSettings.DecimalSeparator;
  return s;
}

// ---- Text -------------------------------------------------------------------------------

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string UpperCase(std::string_view s) { return cp949::Upper(s); }
std::string LowerCase(std::string_view s) { return cp949::Lower(s); }

int CompareText(std::string_view a, std::string_view b) {
  // Folding per character keeps trail bytes of two-byte characters unchanged.
  std::string ua = cp949::Upper(a), ub = cp949::Upper(b);
  return CompareStr(ua, ub);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string QuotedStr(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          bool all, bool ignoreCase) {
  if (from.empty()) return std::string(s);
  std::string hay = ignoreCase ? cp949::Upper(s) : std::string(s);
  std::string needle = ignoreCase ? cp949::Upper(from) : std::string(from);
  std::string out;
  std::size_t pos = 0;
  while (pos <= s.size()) {
    std::size_t hit = cp949::Find(hay, needle, pos);
    if (hit == std::string::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
    if (!all) break;
  }
  if (pos < s.size()) out.append(s.substr(pos));
  return out;
}

std::string Copy(std::string_view s, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<std::size_t>(index) > s.size()) return std::string();
  return std::string(s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count)));
}

int Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  std::size_t p = s.find(sub);
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

int AnsiPos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  std::size_t p = cp949::Find(s, sub);
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

// ---- Files ------------------------------------------------------------------------------

namespace {

// stat of a name in program text; false when it does not exist.
bool StatOf(const std::string& name, struct stat& st) {
  return !name.empty() && ::stat(ostext::SystemPath(name).c_str(), &st) == 0;
}

}  // namespace

bool FileExists(const std::string& name) {
  struct stat st;
  return StatOf(name, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& name) {
  struct stat st;
  return StatOf(name, st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& name) { return ::unlink(ostext::SystemPath(name).c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  // The class library's rename never replaces an existing file.
  if (FileExists(to) || DirectoryExists(to)) return false;
  return std::rename(ostext::SystemPath(from).c_str(), ostext::SystemPath(to).c_str()) == 0;
}

std::string HiddenBeside(const std::string& File, const std::string& Suffix) {
  return ExtractFilePath(File) + "." + ExtractFileName(File) + "." + std::to_string(::getpid()) + "." + Suffix;
}

std::string SysErrorMessage(int ErrorCode) {
  static const struct {
    int code;
    const char* text;  // UTF-8
  } kKorean[] = {
      {EACCES, "권한이 없습니다."},
      {EPERM, "허용되지 않는 작업입니다."},
      {EROFS, "읽기 전용 파일 시스템입니다."},
      {ENOENT, "그런 파일이나 폴더가 없습니다."},
      {EEXIST, "파일이 이미 있습니다."},
      {ENOSPC, "디스크에 남은 공간이 없습니다."},
      {EDQUOT, "디스크 사용 한도를 넘었습니다."},
      {EBUSY, "다른 곳에서 쓰고 있습니다."},
      {ETXTBSY, "다른 곳에서 쓰고 있습니다."},
      {EXDEV, "다른 장치로는 옮길 수 없습니다."},
      {EISDIR, "폴더입니다."},
      {ENOTDIR, "폴더가 아닙니다."},
      {ENOTEMPTY, "폴더가 비어 있지 않습니다."},
      {ENAMETOOLONG, "이름이 너무 깁니다."},
      {EIO, "입출력 오류입니다."},
      {EMFILE, "열린 파일이 너무 많습니다."},
      {ENFILE, "열린 파일이 너무 많습니다."},
  };
  for (const auto& k : kKorean)
    if (k.code == ErrorCode) return cp949::FromUtf8(k.text);
  return ostext::ErrorText(ErrorCode) + " (errno " + std::to_string(ErrorCode) + ")";
}

bool TLockFile::TryLock() {
  if (FFd >= 0) return true;
  const std::string path = ostext::SystemPath(FPath);
  // A holder that lets go removes the file: a lock taken on a file removed meanwhile is on
  // nothing, so it is taken again on the file that stands there now.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return false;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
      FFd = fd;
      return true;
    }
    ::close(fd);
  }
  return false;
}

std::string TLockFile::Text() const {
  std::string text;
  if (FFd < 0) return text;
  char buf[512];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(FFd, buf, sizeof buf, at);
    if (n <= 0 || text.size() > 4096) break;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

bool TLockFile::SetText(const std::string& Text) {
  if (FFd < 0 || ::ftruncate(FFd, 0) != 0) return false;
  return ::pwrite(FFd, Text.data(), Text.size(), 0) == static_cast<ssize_t>(Text.size());
}

void TLockFile::Release(bool Remove) {
  if (FFd < 0) return;
  if (Remove) ::unlink(ostext::SystemPath(FPath).c_str());
  ::close(FFd);
  FFd = -1;
}

namespace {

// The current folder as the system names it; "" when it cannot be read.
std::string SystemCurrentDir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
  return std::string(buf.data());
}

}  // namespace

std::string GetCurrentDir() {
  std::string dir;
  return ostext::ProgramName(SystemCurrentDir(), dir) ? dir : std::string();
}

std::string CurrentDirError() {
  const std::string raw = SystemCurrentDir();
  std::string dir;
  return ostext::ProgramName(raw, dir) ? std::string() : ostext::NameMessage(raw);
}

bool SetCurrentDir(const std::string& dir) { return ::chdir(ostext::SystemPath(dir).c_str()) == 0; }

std::string ExtractFilePath(std::string_view name) {
  std::size_t p = name.find_last_of('/');
  return p == std::string_view::npos ? std::string() : std::string(name.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view name) {
  std::size_t p = name.find_last_of('/');
  return std::string(p == std::string_view::npos ? name : name.substr(p + 1));
}

std::string ExtractFileExt(std::string_view name) {
  std::size_t slash = name.find_last_of('/');
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return std::string();
  return std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
  std::string e = ExtractFileExt(name);
  return std::string(name.substr(0, name.size() - e.size())) + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view dir) {
  std::string d(dir);
  if (d.empty() || d.back() != '/') d += '/';
  return d;
}

int64_t FileSizeOf(const std::string& name) {
  struct stat st;
  if (!StatOf(name, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  // Greedy wildcard match with one back-track point, stepping by whole characters.
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  auto same = [&](std::size_t ni, std::size_t mi) {
    std::size_t ln = cp949::CharLength(name, ni), lm = cp949::CharLength(mask, mi);
    if (ln != lm) return false;
    if (ln == 2) return name.substr(ni, 2) == mask.substr(mi, 2);
    return cp949::Upper(name.substr(ni, 1)) == cp949::Upper(mask.substr(mi, 1));
  };
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || same(n, m))) {
      n += cp949::CharLength(name, n);
      m += mask[m] == '?' ? 1 : cp949::CharLength(mask, m);
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      starN += cp949::CharLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

namespace {

// The entries of folder matching mask that are folders (Folders) or plain files.
std::vector<std::string> ListFolder(const std::string& folder, std::string_view mask, bool Folders,
                                    std::vector<std::string>* Unnamed) {
  std::vector<std::string> out;
  const std::string dir = folder.empty() ? std::string(".") : folder;
  const std::string systemDir = ostext::SystemPath(dir);
  DIR* d = ::opendir(systemDir.c_str());
  if (d == nullptr) return out;
  const std::string prefix = IncludeTrailingPathDelimiter(systemDir);
  std::string name;
  while (dirent* e = ::readdir(d)) {
    const std::string_view raw = e->d_name;
    if (raw == "." || raw == "..") continue;
    // Each entry is tested under its own bytes, raw CP949 names of older copies included.
    struct stat st;
    if (::stat((prefix + std::string(raw)).c_str(), &st) != 0 || S_ISDIR(st.st_mode) != Folders) continue;
    if (!ostext::ProgramName(raw, name)) {
      if (Unnamed != nullptr && MatchesMask(ostext::ShownName(raw), mask)) Unnamed->push_back(ostext::NameMessage(raw));
      continue;
    }
    if (MatchesMask(name, mask)) out.push_back(name);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  return out;
}

}  // namespace

std::vector<std::string> FindFiles(const std::string& folder, std::string_view mask,
                                   std::vector<std::string>* Unnamed) {
  return ListFolder(folder, mask, false, Unnamed);
}

std::vector<std::string> FindFolders(const std::string& folder, std::vector<std::string>* Unnamed) {
  return ListFolder(folder, "*", true, Unnamed);
}

// ---- Dates ------------------------------------------------------------------------------

namespace {

constexpr double kMsPerDay = 86400000.0;
// Day number of 1899-12-30 counted from 0001-01-01 as day 1 (proleptic Gregorian).
constexpr int64_t kEpochDayNumber = 693594;

int64_t DayNumber(int y, int m, int d) {
  // Days since 0001-01-01 (which is 1).
  static const int kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int64_t yy = y - 1;
  int64_t n = yy * 365 + yy / 4 - yy / 100 + yy / 400 + kCum[m - 1] + d;
  if (m > 2 && IsLeapYear(y)) ++n;
  return n;
}

struct Clock {
  int year, month, day, hour, min, sec, msec;
};

Clock LocalNow() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
          tm.tm_min,         tm.tm_sec,     static_cast<int>(ms % 1000)};
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(DayNumber(year, month, day) - kEpochDayNumber);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime dt;
  if (!TryEncodeDate(year, month, day, dt)) throw EConvertError("Invalid argument to date encode");
  return dt;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t n = static_cast<int64_t>(std::floor(dt)) + kEpochDayNumber;  // day 1 = 0001-01-01
  if (n <= 0) {
    year = month = day = 0;
    return;
  }
  // Civil-from-days over the 400-year cycle.
  int64_t z = n - 1;  // days since 0001-01-01
  int64_t n400 = z / 146097;
  z %= 146097;
  int64_t n100 = z / 36524;
  if (n100 == 4) n100 = 3;
  z -= n100 * 36524;
  int64_t n4 = z / 1461;
  z %= 1461;
  int64_t n1 = z / 365;
  if (n1 == 4) n1 = 3;
  z -= n1 * 365;
  year = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  month = 1;
  while (z >= DaysInMonth(year, month)) {
    z -= DaysInMonth(year, month);
    ++month;
  }
  day = static_cast<int>(z) + 1;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 ||
      msec > 999)
    return false;
  out = ((hour * 3600.0 + min * 60.0 + sec) * 1000.0 + msec) / kMsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  double frac = std::fabs(dt - std::trunc(dt));
  int64_t ms = static_cast<int64_t>(std::llround(frac * kMsPerDay));
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  // 1899-12-30 was a Saturday.
  int64_t d = static_cast<int64_t>(std::floor(dt));
  int64_t w = ((d + 6) % 7 + 7) % 7;  // 0 = Sunday
  return static_cast<int>(w) + 1;
}

TDateTime Date() {
  Clock c = LocalNow();
  return EncodeDate(c.year, c.month, c.day);
}

TDateTime Time() {
  Clock c = LocalNow();
  return EncodeTime(c.hour, c.min, c.sec, c.msec);
}

TDateTime Now() {
  Clock c = LocalNow();
  return EncodeDate(c.year, c.month, c.day) + EncodeTime(c.hour, c.min, c.sec, c.msec);
}

int ExpandTwoDigitYear(int year, int currentYear, int window) {
  if (year >= 100) return year;
  if (window <= 0) return currentYear / 100 * 100 + year;
  int threshold = currentYear - window;
  int y = year + threshold / 100 * 100;
  if (y < threshold) y += 100;
  return y;
}

namespace {

// Splits digits-and-separator text into numbers; returns false on any other character.
bool ScanNumbers(std::string_view s, char sep, std::vector<int>& nums,
                 std::vector<int>& digits) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] < '0' || s[i] > '9') return false;
    int v = 0, n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (n < 6) v = v * 10 + (s[i] - '0');
      ++n;
      ++i;
    }
    if (n > 4) return false;
    nums.push_back(v);
    digits.push_back(n);
    if (i < s.size()) {
      if (s[i] != sep) return false;
      ++i;
      if (i == s.size()) return false;
    }
  }
  return !nums.empty();
}

// The order of day, month and year in the short date format: 'D', 'M', 'Y'.
std::string DateOrder() {
  std::string order;
  for (char c : FormatSettings.ShortDateFormat) {
    char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos) order += u;
  }
  if (order.size() != 3) order = "MDY";
  return order;
}

bool ParseDate(std::string_view text, TDateTime& out) {
  std::string s = Trim(text);
  std::vector<int> nums, digits;
  if (!ScanNumbers(s, FormatSettings.DateSeparator, nums, digits)) return false;
  if (nums.size() < 2 || nums.size() > 3) return false;
  std::string order = DateOrder();
  Clock now = LocalNow();
  int y = now.year, m = 0, d = 0;
  bool yearGiven = false;
  if (nums.size() == 3) {
    for (int k = 0; k < 3; ++k) {
      if (order[k] == 'D') d = nums[k];
      else if (order[k] == 'M') m = nums[k];
      else {
        y = nums[k];
        yearGiven = digits[k] <= 2;
      }
    }
  } else {
    // Without a year: day and month in their order.
    bool dayFirst = order.find('D') < order.find('M');
    d = dayFirst ? nums[0] : nums[1];
    m = dayFirst ? nums[1] : nums[0];
  }
  if (yearGiven) y = ExpandTwoDigitYear(y, now.year, FormatSettings.TwoDigitYearCenturyWindow);
  return TryEncodeDate(y, m, d, out);
}

bool ParseTime(std::string_view text, TDateTime& out) {
  std::string s = Trim(text);
  int pm = -1;  // -1 none, 0 AM, 1 PM
  auto endsWith = [&](const std::string& suffix) {
    return !suffix.empty() && s.size() >= suffix.size() &&
           SameText(std::string_view(s).substr(s.size() - suffix.size()), suffix);
  };
  if (endsWith(FormatSettings.TimeAMString) || endsWith("AM")) {
    pm = 0;
  } else if (endsWith(FormatSettings.TimePMString) || endsWith("PM")) {
    pm = 1;
  }
  if (pm >= 0) {
    std::size_t cut = s.size() - 2;
    const std::string& word = pm ? FormatSettings.TimePMString : FormatSettings.TimeAMString;
    if (endsWith(word)) cut = s.size() - word.size();
    s = TrimRight(std::string_view(s).substr(0, cut));
  }
  std::vector<int> nums, digits;
  if (!ScanNumbers(s, FormatSettings.TimeSeparator, nums, digits)) return false;
  if (nums.size() > 3) return false;
  int h = nums[0], mi = nums.size() > 1 ? nums[1] : 0, sec = nums.size() > 2 ? nums[2] : 0;
  if (nums.size() == 1 && pm < 0) return false;  // a bare number is no time
  if (pm >= 0) {
    if (h < 1 || h > 12) return false;
    if (h == 12) h = 0;
    if (pm == 1) h += 12;
  }
  return TryEncodeTime(h, mi, sec, 0, out);
}

}  // namespace

bool TryStrToDate(std::string_view s, TDateTime& out) { return ParseDate(s, out); }

TDateTime StrToDate(std::string_view s) {
  TDateTime dt;
  if (!ParseDate(s, dt)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
  return dt;
}

TDateTime StrToTime(std::string_view s) {
  TDateTime t;
  if (!ParseTime(s, t)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
  return t;
}

bool TryStrToDateTime(std::string_view text, TDateTime& out) {
  std::string s = Trim(text);
  std::size_t blank = s.find(' ');
  TDateTime d, t;
  if (blank == std::string::npos) {
    if (ParseDate(s, d)) {
      out = d;
      return true;
    }
    if (ParseTime(s, t)) {
      out = t;
      return true;
    }
    return false;
  }
  if (ParseDate(std::string_view(s).substr(0, blank), d)) {
    if (!ParseTime(std::string_view(s).substr(blank + 1), t)) return false;
    out = d < 0 ? d - t : d + t;
    return true;
  }
  // "h:nn AM" alone.
  if (ParseTime(s, t)) {
    out = t;
    return true;
  }
  return false;
}

TDateTime StrToDateTime(std::string_view s) {
  TDateTime dt;
  if (!TryStrToDateTime(s, dt))
    throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  return dt;
}

namespace {

void AppendNumber(std::string& out, int v, int width) {
  std::string n = std::to_string(v);
  while (static_cast<int>(n.size()) < width) n.insert(n.begin(), '0');
  out += n;
}

bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
  return s.size() - i >= word.size() && SameText(s.substr(i, word.size()), word);
}

void FormatInto(std::string& out, std::string_view f, TDateTime dt, int depth) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  // With an am/pm picture anywhere in the format the hours are on a 12-hour clock.
  bool twelve = false;
  for (std::size_t k = 0; k < f.size(); ++k)
    if (StartsWithNoCase(f, k, "am/pm") || StartsWithNoCase(f, k, "a/p") ||
        StartsWithNoCase(f, k, "ampm"))
      twelve = true;
  bool lastWasHour = false;
  std::size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    std::size_t clen = cp949::CharLength(f, i);
    if (clen == 2) {
      out.append(f.substr(i, 2));
      i += 2;
      continue;
    }
    char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    auto run = [&](char letter) {
      std::size_t n = 0;
      while (i + n < f.size() && (f[i + n] == letter || f[i + n] == letter + 32)) ++n;
      return n;
    };
    if (c == '\'' || c == '"') {
      std::size_t end = f.find(c, i + 1);
      if (end == std::string_view::npos) end = f.size();
      out.append(f.substr(i + 1, end - i - 1));
      i = end < f.size() ? end + 1 : end;
      continue;
    }
    if (c == '/') {
      out += FormatSettings.DateSeparator;
      ++i;
      continue;
    }
    if (c == ':') {
      out += FormatSettings.TimeSeparator;
      ++i;
      continue;
    }
    if (StartsWithNoCase(f, i, "am/pm")) {
      out += h < 12 ? (f[i] == 'a' ? "am" : "AM") : (f[i] == 'a' ? "pm" : "PM");
      i += 5;
      continue;
    }
    if (StartsWithNoCase(f, i, "a/p")) {
      out += h < 12 ? (f[i] == 'a' ? "a" : "A") : (f[i] == 'a' ? "p" : "P");
      i += 3;
      continue;
    }
    if (StartsWithNoCase(f, i, "ampm")) {
      out += h < 12 ? FormatSettings.TimeAMString : FormatSettings.TimePMString;
      i += 4;
      continue;
    }
    switch (u) {
      case 'Y': {
        std::size_t n = run('Y');
        if (n <= 2) AppendNumber(out, y % 100, 2);
        else AppendNumber(out, y, 4);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'M': {
        std::size_t n = run('M');
        if (lastWasHour && n <= 2) {
          AppendNumber(out, mi, static_cast<int>(n));
        } else if (n == 1) {
          AppendNumber(out, mo, 1);
        } else if (n == 2) {
          AppendNumber(out, mo, 2);
        } else if (n == 3) {
          out += FormatSettings.ShortMonthNames[mo - 1];
        } else {
          out += FormatSettings.LongMonthNames[mo - 1];
        }
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'D': {
        std::size_t n = run('D');
        int wd = DayOfWeek(dt) - 1;
        if (n <= 2) AppendNumber(out, d, static_cast<int>(n));
        else if (n == 3) out += FormatSettings.ShortDayNames[wd];
        else if (n == 4) out += FormatSettings.LongDayNames[wd];
        else if (depth < 2 && n == 5) FormatInto(out, FormatSettings.ShortDateFormat, dt, depth + 1);
        else if (depth < 2) FormatInto(out, FormatSettings.LongDateFormat, dt, depth + 1);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'H': {
        std::size_t n = run('H');
        int hh = h;
        if (twelve) {
          hh = h % 12;
          if (hh == 0) hh = 12;
        }
        AppendNumber(out, hh, n >= 2 ? 2 : 1);
        i += n;
        lastWasHour = true;
        continue;
      }
      case 'N':
      case 'S':
      case 'Z': {
        std::size_t n = run(u);
        int value = u == 'N' ? mi : u == 'S' ? s : ms;
        int wide = u == 'Z' ? 3 : 2;
        AppendNumber(out, value, n >= static_cast<std::size_t>(wide) ? wide : 1);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'T': {
        std::size_t n = run('T');
        if (depth < 2)
          FormatInto(out, n >= 2 ? FormatSettings.LongTimeFormat : FormatSettings.ShortTimeFormat,
                     dt, depth + 1);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'C': {
        if (depth < 2) {
          FormatInto(out, FormatSettings.ShortDateFormat, dt, depth + 1);
          if (std::fabs(dt - std::trunc(dt)) > 0) {
            out += ' ';
            FormatInto(out, FormatSettings.LongTimeFormat, dt, depth + 1);
          }
        }
        ++i;
        lastWasHour = false;
        continue;
      }
      default:
        out += c;
        ++i;
        continue;
    }
  }
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  std::string out;
  FormatInto(out, format.empty() ? std::string_view("c") : format, dt, 0);
  return out;
}

std::string DateToStr(TDateTime dt) { return FormatDateTime(FormatSettings.ShortDateFormat, dt); }
std::string TimeToStr(TDateTime dt) { return FormatDateTime(FormatSettings.LongTimeFormat, dt); }
std::string DateTimeToStr(TDateTime dt) { return FormatDateTime("c", dt); }
