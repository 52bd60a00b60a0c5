// The class library's system utilities: the exception tree every layer raises, number and
// text conversions, and the day-number dates with the process-wide format settings that the
// table layer and the engine defaults share.
//
// Text is code page 949 bytes. Case changes touch the single-byte letters only (through
// Cp949.h); trimming removes bytes up to the blank, which never occur inside a two-byte
// character. Conversions raise EConvertError with the class library's English texts.
// Nothing here is thread-safe with respect to FormatSettings: it is written on the GUI thread.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

// ---- Exceptions ------------------------------------------------------------------------

// Root of every exception the libraries raise. Message is what the user is shown.
class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(std::string msg) : Message(std::move(msg)) {}
  ~Exception() override;
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
  int HelpContext = 0;
};

// The silent exception: it unwinds an operation and the message loop shows nothing for it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

#define ORV_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {              \
   public:                                \
    using Base::Base;                     \
  }

ORV_DECLARE_EXCEPTION(EConvertError, Exception);
ORV_DECLARE_EXCEPTION(EDatabaseError, Exception);
ORV_DECLARE_EXCEPTION(EAssertionFailed, Exception);
ORV_DECLARE_EXCEPTION(EOutOfMemory, Exception);
ORV_DECLARE_EXCEPTION(EInvalidOperation, Exception);
ORV_DECLARE_EXCEPTION(EInvalidPointer, Exception);
ORV_DECLARE_EXCEPTION(EInvalidCast, Exception);  // "Invalid class typecast"
ORV_DECLARE_EXCEPTION(EListError, Exception);
ORV_DECLARE_EXCEPTION(EComponentError, Exception);
ORV_DECLARE_EXCEPTION(EInOutError, Exception);
ORV_DECLARE_EXCEPTION(EStreamError, Exception);
ORV_DECLARE_EXCEPTION(EReadError, EStreamError);
ORV_DECLARE_EXCEPTION(EWriteError, EStreamError);
ORV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
ORV_DECLARE_EXCEPTION(EFCreateError, EStreamError);

// Raises the silent EAbort.
[[noreturn]] void Abort();

// Raises EAssertionFailed with "<msg> (<unit>, line <line>)"; an empty msg reads
// "Assertion failure".
[[noreturn]] void AssertionFailed(const std::string& msg, const std::string& unit, int line);
inline void Assert(bool cond, const std::string& msg, const std::string& unit, int line) {
  if (!cond) AssertionFailed(msg, unit, line);
}

// printf-style formatting into a std::string (bytes are copied as they are).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- Numbers ----------------------------------------------------------------------------

// Decimal with optional blanks before it and a sign, or hexadecimal as "$FF" / "0xFF".
// Anything else, including trailing characters or overflow, raises EConvertError
// "'<s>' is not a valid integer value".
int StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
int StrToIntDef(std::string_view s, int def);
int64_t StrToInt64Def(std::string_view s, int64_t def);
bool TryStrToInt(std::string_view s, int& out);
bool TryStrToInt64(std::string_view s, int64_t& out);

std::string IntToStr(int64_t v);
// Upper-case hexadecimal, zero-padded to at least digits.
std::string IntToHex(uint64_t v, int digits);

// Decimal point is FormatSettings.DecimalSeparator; blanks around the number are allowed.
// Failure raises EConvertError "'<s>' is not a valid floating point value".
double StrToFloat(std::string_view s);
double StrToFloatDef(std::string_view s, double def);
bool TryStrToFloat(std::string_view s, double& out);

// Up to 15 significant digits, shortest form: "0.1", "12", "1E20", "1.5E-5".
std::string FloatToStr(double v);
// Fixed notation with the given number of decimals ("%.*f" with the decimal separator).
std::string FloatToStrFixed(double v, int decimals);

// ---- Text -------------------------------------------------------------------------------

// Remove bytes <= ' ' at both ends / the left / the right.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII letters only; the bytes of two-byte characters are kept as they are.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Byte comparison with the single-byte letters folded to upper case: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Plain byte comparison: <0, 0, >0.
int CompareStr(std::string_view a, std::string_view b);
// 's' with embedded quotes doubled, inside single quotes.
std::string QuotedStr(std::string_view s);
// Every occurrence (or the first when !all) of from replaced by to; matches only on
// character boundaries. ignoreCase folds the single-byte letters.
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          bool all = true, bool ignoreCase = false);

// Pascal-style 1-based helpers. Copy clamps like the class library (an index below 1 counts as
// 1, past the end gives ""); Pos is a plain byte search, AnsiPos matches only on character
// boundaries. Both answer 0 when not found.
std::string Copy(std::string_view s, int index, int count);
int Pos(std::string_view sub, std::string_view s);
int AnsiPos(std::string_view sub, std::string_view s);

// ---- Files ------------------------------------------------------------------------------
// Names are program text (code page 949). They cross to the system and back through the
// boundary of OsText.h: UTF-8 names here, raw CP949 names of older copies still found. A
// name the system gives that has no CP949 form is never changed into another: the current
// folder reads as "" with CurrentDirError naming it, the folder listings leave it out and can
// report it.

bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);
bool DeleteFile(const std::string& name);
bool RenameFile(const std::string& from, const std::string& to);
// A hidden file of this process beside File, for a file while it is being written:
// ".name.<process>.<suffix>".
std::string HiddenBeside(const std::string& File, const std::string& Suffix);
// The reason for a failed system call (an errno value), said in the program's language: the
// errors file work meets in Korean, any other in the system's own words ("(errno N)" after).
std::string SysErrorMessage(int ErrorCode);
// "" when the current folder cannot be read or has no CP949 form.
std::string GetCurrentDir();
// A message naming the current folder when its name has no CP949 form, else "".
std::string CurrentDirError();
bool SetCurrentDir(const std::string& dir);
std::string ExtractFilePath(std::string_view name);  // with the trailing '/'
std::string ExtractFileName(std::string_view name);
std::string ExtractFileExt(std::string_view name);   // with the dot, "" when none
std::string ChangeFileExt(std::string_view name, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view dir);
int64_t FileSizeOf(const std::string& name);  // -1 when the file cannot be read
// '*' and '?' wildcards; the single-byte letters match without regard to case, as file
// names did on the system the note files come from. '?' stands for one character.
bool MatchesMask(std::string_view name, std::string_view mask);
// The plain files (no folders) of folder whose names match mask, sorted by CompareText. An
// entry without a CP949 form is left out; with Unnamed given, a message naming it is added.
std::vector<std::string> FindFiles(const std::string& folder, std::string_view mask,
                                   std::vector<std::string>* Unnamed = nullptr);
// The subfolders of folder ("." and ".." left out), sorted and reported like FindFiles.
std::vector<std::string> FindFolders(const std::string& folder, std::vector<std::string>* Unnamed = nullptr);

// A lock file: one process at a time holds it, across processes, while the object lives (or
// until Release). TryLock creates the file when missing and fails at once while another
// process holds it; the holder may keep a short text in it, which a later process reads back
// (after a holder was killed, say). Released, the file is removed. Not thread-safe.
class TLockFile {
 public:
  explicit TLockFile(std::string Path) : FPath(std::move(Path)) {}
  ~TLockFile() { Release(true); }
  TLockFile(const TLockFile&) = delete;
  TLockFile& operator=(const TLockFile&) = delete;

  bool TryLock();
  bool Locked() const { return FFd >= 0; }
  // The text in the file (held), "" when it has none.
  std::string Text() const;
  // Replaces the text (held); false when it could not be written.
  bool SetText(const std::string& Text);
  // Lets go; the file is removed, or, with Remove false, kept with its text for a later holder.
  void Release(bool Remove = true);

 private:
  std::string FPath;
  int FFd = -1;
};

// ---- Dates ------------------------------------------------------------------------------

// Days since 1899-12-30 with the time of day as the fraction.
using TDateTime = double;

struct TFormatSettings {
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  std::string ShortDateFormat = "m/d/yy";
  std::string LongDateFormat = "mmmm d, yyyy";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string LongMonthNames[12] = {"January", "February", "March",     "April",
                                    "May",     "June",     "July",      "August",
                                    "September", "October", "November", "December"};
  std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
  // Two-digit years fall in the hundred years ending this many years after "now" minus the
  // window; 0 puts them in the current century.
  int TwoDigitYearCenturyWindow = 50;
};

// The one process-wide settings record.
extern TFormatSettings FormatSettings;
// The system locale's values, which FormatSettings starts with ("m/d/yy", '/').
const TFormatSettings& SystemFormatSettings();

// Milliseconds on a steady clock (wraps after 49 days, as the system tick count does).
uint32_t GetTickCount();
void Sleep(unsigned ms);
// The calling thread gives way to the program's other threads when they want the processor at
// the same time: for work done beside the GUI thread, so the window keeps its turns.
void GiveWayToOtherThreads();

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
// Invalid parts raise EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime dt);

TDateTime Date();
TDateTime Time();
TDateTime Now();

// A two-digit year made four-digit with the century window, relative to currentYear.
int ExpandTwoDigitYear(int year, int currentYear, int window);

// Day, month and year in the order of ShortDateFormat, separated by DateSeparator; a missing
// year is the current one. Failure raises EConvertError "'<s>' is not a valid date".
TDateTime StrToDate(std::string_view s);
bool TryStrToDate(std::string_view s, TDateTime& out);
// A date, a time ("h:nn[:ss] [AM|PM]") or a date followed by a time.
// Failure raises EConvertError "'<s>' is not a valid date and time".
TDateTime StrToDateTime(std::string_view s);
bool TryStrToDateTime(std::string_view s, TDateTime& out);
// "h:nn[:ss] [AM|PM]"; failure raises "'<s>' is not a valid time".
TDateTime StrToTime(std::string_view s);

// The class library's date/time pictures: d dd ddd dddd ddddd dddddd, m mm mmm mmmm, yy yyyy,
// h hh, n nn, s ss, z zzz, t tt, c, am/pm a/p ampm, '/' and ':' as the separators, text in
// single or double quotes copied as it is. An m right after h/hh is minutes.
std::string FormatDateTime(std::string_view format, TDateTime dt);
std::string DateToStr(TDateTime dt);
std::string TimeToStr(TDateTime dt);
std::string DateTimeToStr(TDateTime dt);
