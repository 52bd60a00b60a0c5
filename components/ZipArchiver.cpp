// The zip archive component: settings, messages, and the reading of an archive's end record
// and central directory, following spanned sets from disk to disk.
#include "components/ZipArchiver.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <optional>
#include <cctype>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <type_traits>
#include <utility>

#include "components/BitmapUtilCore.h"
#include "components/CursorsIcon.h"
#include "platform/core/Services.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"

namespace {

constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kSpanSig = 0x08074B50;
constexpr int64_t kEndSize = 22;
constexpr int64_t kCentralSize = 46;
constexpr int64_t kMaxComment = 65535;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr int64_t kZip64EndSize = 56;
constexpr int64_t kZip64LocatorSize = 20;

uint64_t GetLE64(const uint8_t* p) { return GetLE32(p) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32); }

// A disk number of a zip64 record (32 bits) as the component counts disks: the classic
// record's 16 bits hold every set that can be named, and the count stays clear of overflow.
int DiskNumber(uint32_t Disk) { return static_cast<int>(std::min<uint32_t>(Disk, 0xFFFF)); }


std::map<int, std::string>& StringTable() {
  static auto* t = new std::map<int, std::string>;
  return *t;
}

// Puts the arguments into "%d", "%.1d" and "%s" places in turn; a text from a string table
// is never handed to printf, so a wrong one cannot read past its arguments.
std::string FormatArgs(const std::string& text, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.')) ++j;
      if (j < text.size() && (text[j] == 'd' || text[j] == 's')) {
        if (next < args.size()) out += args[next++];
        i = j;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

IZipVolumes* gVolumes = nullptr;

// "A:" for a name with a drive letter, "\\server\share" for a network name, else "".
std::string ExtractFileDrive(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return name.substr(0, 2);
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
    size_t p = name.find('\\', 2);
    if (p == std::string::npos) return name;
    size_t q = name.find('\\', p + 1);
    return q == std::string::npos ? name : name.substr(0, q);
  }
  return std::string();
}

// Code page 949 is both the OEM and the ANSI code page of the Korean system these archives
// come from, so a converted byte keeps its value.
char OemToAnsiByte(char c) { return c; }

// General purpose flag bit 11: name and comment are UTF-8.
constexpr uint16_t kUtf8Flag = 0x0800;
constexpr uint8_t kHostUnix = 3;
// The zip64 extra field: the 64-bit values of the classic fields that hold all ones.
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;

// UTF-8 into program text (code page 949). Characters without a code page 949 form, and
// bytes that are no UTF-8, become "?"; false then, with the first such code point (the byte
// for a broken sequence) in Lost.
bool Utf8ToProgramText(const std::string& Utf8, std::string& Text, uint32_t& Lost) {
  if (cp949::TryFromUtf8(Utf8, Text)) return true;
  Text.clear();
  bool exact = true;
  auto lose = [&](uint32_t c) {
    if (exact) Lost = c;
    exact = false;
    Text += '?';
  };
  for (size_t i = 0; i < Utf8.size();) {
    const auto lead = static_cast<unsigned char>(Utf8[i]);
    size_t len = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    bool whole = len > 0 && i + len <= Utf8.size();
    for (size_t k = 1; whole && k < len; ++k) whole = (static_cast<unsigned char>(Utf8[i + k]) & 0xC0) == 0x80;
    if (!whole) {
      lose(lead);
      ++i;
      continue;
    }
    std::string one;
    if (cp949::TryFromUtf8(std::string_view(Utf8).substr(i, len), one)) {
      Text += one;
    } else {
      uint32_t c = len == 1 ? lead : lead & (0x7F >> len);
      for (size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(Utf8[i + k]) & 0x3F);
      lose(c);
    }
    i += len;
  }
  return exact;
}

}  // namespace

// ---- Volumes --------------------------------------------------------------------------------

IZipVolumes::~IZipVolumes() = default;

bool TZipVolumes::DriveExists(char) { return false; }

int TZipVolumes::DriveType(const std::string& Root) {
  return Root == "\\" ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

bool TZipVolumes::VolumeInformation(const std::string& Root, std::string& Name, uint32_t& Serial,
                                    int& Error) {
  Name.clear();
  Serial = 0;
  Error = 0;
  if (Root != "\\") {
    Error = ERROR_NOT_READY;
    return false;
  }
  return true;
}

bool TZipVolumes::DiskFreeSpace(const std::string& Root, int64_t& Free, int64_t& Total) {
  if (Root != "\\") return false;
  struct statvfs s {};
  if (statvfs("/", &s) != 0) return false;
  Free = static_cast<int64_t>(s.f_bavail) * static_cast<int64_t>(s.f_frsize);
  Total = static_cast<int64_t>(s.f_blocks) * static_cast<int64_t>(s.f_frsize);
  return true;
}

IZipVolumes* SetZipVolumes(IZipVolumes* Volumes) {
  return std::exchange(gVolumes, Volumes);
}

IZipVolumes& ZipVolumes() {
  static TZipVolumes own;
  return gVolumes ? *gVolumes : own;
}

// ---- Messages -------------------------------------------------------------------------------

void SetZipString(int Number, const std::string& Text) {
  if (Text.empty()) StringTable().erase(Number);
  else StringTable()[Number] = Text;
}

std::string LoadZipStr(int Number, const std::string& Default) {
  auto it = StringTable().find(Number);
  return it == StringTable().end() ? Default : it->second;
}

std::string ZipMessageText(int Number) {
  std::string fallback;
  switch (Number) {
    case 10605: case 10705: fallback = "Old Dll from "; break;
    case 10804: fallback = "SFX not supported"; break;
    case 11048: fallback = "Span not supported"; break;
    default:
      fallback = "ZipMsgXX.res is probably not linked to the executable\nMissing String ID is: " +
                 std::to_string(Number);
  }
  return LoadZipStr(Number, fallback);
}

EZipArchiver::EZipArchiver(int Number, bool Display)
    : Exception(ZipMessageText(Number)), DisplayMsg(Display), ResID(Number) {}

EZipArchiver::EZipArchiver(int Number, int Argument)
    : Exception(FormatArgs(ZipMessageText(Number), {std::to_string(Argument)})),
      DisplayMsg(true),
      ResID(Number) {}

EZipArchiver::EZipArchiver(int Number, const std::string& Argument)
    : Exception(FormatArgs(ZipMessageText(Number), {Argument})), DisplayMsg(true), ResID(Number) {}

// ---- The component --------------------------------------------------------------------------

TZipArchiver::TZipArchiver(TComponent* AOwner)
    : TComponent(AOwner),
      AddStoreSuffixes(((1u << (static_cast<unsigned>(assEXE) + 1)) - 1) & ~Bit(assEXE)),
      FFSpecArgs(std::make_unique<TStringList>()),
      FFSpecArgsExcl(std::make_unique<TStringList>()),
      FSFXIcon(std::make_unique<TIcon>()),
      FZipStream(std::make_unique<TZipStream>()) {}

TZipArchiver::~TZipArchiver() {
  if (FZipDllHandle) LibraryLoader().Close(FZipDllHandle);
  if (FUnzDllHandle) LibraryLoader().Close(FUnzDllHandle);
  CloseFile();
  ClearEntries();
}

void TZipArchiver::SetZipFileName(const std::string& Value) {
  FZipFileName = Value;
  if (!HasState(csDesigning)) List();
}

void TZipArchiver::SetDLLDirectory(const std::string& Value) {
  if (Value == FDLLDirectory) return;
  FDLLDirectory = Value;
  if (!FDLLDirectory.empty() && FDLLDirectory.back() == '\\') FDLLDirectory.pop_back();
}

void TZipArchiver::SetMinZipDllVers(int Value) {
  if (Value >= 170) FMinZipDllVers = Value;
}

void TZipArchiver::SetMinUnzDllVers(int Value) {
  if (Value >= 170) FMinUnzDllVers = Value;
}

void TZipArchiver::SetPasswordReqCount(unsigned Value) {
  FPasswordReqCount = Value > 15 ? 15 : Value;
}

void TZipArchiver::SetFSpecArgs(const TStrings& Value) {
  FFSpecArgs->Clear();
  FFSpecArgs->AddStrings(Value);
}

void TZipArchiver::SetFSpecArgsExcl(const TStrings& Value) {
  FFSpecArgsExcl->Clear();
  FFSpecArgsExcl->AddStrings(Value);
}

void TZipArchiver::SetSFXIcon(TIcon* Value) { FSFXIcon->Assign(Value); }

void TZipArchiver::ShowError(int Number, const std::string& Extra) {
  std::string text = ZipMessageText(Number) + Extra;
  FMessage = text;
  FErrCode = Number;
  if (!Unattended) ShowMessage(text);
  if (OnMessage) OnMessage(this, 0, text);
}

void TZipArchiver::ShowExceptionError(const EZipArchiver& E) {
  if (E.DisplayMsg && !Unattended) ShowMessage(E.Message);
  FErrCode = E.ResID;
  FMessage = E.Message;
  if (OnMessage) OnMessage(this, 0, E.Message);
}

void TZipArchiver::StartWaitCursor() {
  if (FCursorNesting++ == 0 && Screen) {
    FSavedCursor = Screen->Cursor();
    Screen->SetCursor(crHourGlass);
  }
}

void TZipArchiver::StopWaitCursor() {
  if (FCursorNesting <= 0) return;
  if (--FCursorNesting == 0 && Screen) Screen->SetCursor(FSavedCursor);
}

void TZipArchiver::ClearEntries() { FEntries.clear(); }

void TZipArchiver::CloseFile() { FFile.reset(); }

int64_t TZipArchiver::ReadAt(void* Buffer, int64_t Count) {
  return FFile ? FFile->Read(Buffer, Count) : 0;
}

// ---- Drives ---------------------------------------------------------------------------------

void TZipArchiver::ReadDiskFree() {
  int64_t free = -1, total = -1;
  if (ZipVolumes().DiskFreeSpace(FDrive, free, total)) {
    FFreeOnDisk = free;
    FSizeOfDisk = total;
  }
}

bool TZipArchiver::IsDiskPresent() {
  FVolumeName.clear();
  FSizeOfDisk = -1;
  FFreeOnDisk = -1;
  char c = FDrive.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(FDrive[0])));
  bool network = c == '\\';
  if (!network && (c < 'A' || c > 'Z')) throw EZipArchiver(11003, FDrive);
  IZipVolumes& vol = ZipVolumes();
  if (!network && !vol.DriveExists(c)) throw EZipArchiver(11004, FDrive);
  std::string name;
  uint32_t serial = 0;
  int error = 0;
  if (vol.VolumeInformation(FDrive, name, serial, error)) {
    FVolumeName = name;
    FVolumeSerial = serial;
    ReadDiskFree();
    return network || FSizeOfDisk != -1;
  }
  // A disk about to be formatted cannot be read yet.
  return error == ERROR_GEN_FAILURE && (AddOptions & Bit(AddDiskSpanErase));
}

std::string TZipArchiver::DiskFileName(int DiskSeq) const {
  std::string ext = ExtractFileExt(FZipFileName);
  std::string stem = FZipFileName.substr(0, FZipFileName.size() - ext.size());
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", DiskSeq + 1);
  size_t keep = stem.size() >= 3 ? stem.size() - 3 : 0;
  return stem.substr(0, keep) + digits + ext;
}

void TZipArchiver::CheckForDisk(bool Writing) {
  int type = ZipVolumes().DriveType(FDrive);
  bool byName = type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_CDROM;
  for (;;) {
    ProcessMessages();
    if (type != DRIVE_FIXED && type != DRIVE_REMOTE) {
      if (Unattended) throw EZipArchiver(11025, false);
      std::string text;
      unsigned icon = MB_ICONQUESTION;
      if (FDiskNr < 0) {
        text = LoadZipStr(11033, "Please insert last disk in set");
        icon = MB_ICONSTOP;
      } else if (Writing) {
        if (FSizeOfDisk > 0) {
          int64_t total = (FFileSize + KeepFreeOnDisk1 + 4) / FSizeOfDisk;
          if (MaxVolumeSize > 0) total = std::min<int64_t>(total, MaxVolumeSize);
          if (total > FTotalDisks) FTotalDisks = static_cast<int>(total);
          text = FormatArgs(LoadZipStr(11034, "Please insert disk volume %.1d of %.1d"),
                            {std::to_string(FDiskNr + 1), std::to_string(FTotalDisks)});
        } else {
          text = FormatArgs(LoadZipStr(11046, "Please insert disk volume %.1d"),
                            {std::to_string(FDiskNr + 1)});
        }
      } else {
        text = FormatArgs(LoadZipStr(11034, "Please insert disk volume %.1d of %.1d"),
                          {std::to_string(FDiskNr + 1), std::to_string(FTotalDisks + 1)});
      }
      text += FormatArgs(LoadZipStr(11035, "\r\nin drive: %s"), {FDrive});
      bool ok;
      do {
        if (OnGetNextDisk) {
          bool abort = false;
          OnGetNextDisk(this, FDiskNr + 1, FTotalDisks + 1, FDrive.substr(0, 1), abort);
          ok = !abort;
        } else {
          ok = MessageBox(text, ApplicationTitle(), MB_OKCANCEL | icon) == IDOK;
        }
      } while (ok && !IsDiskPresent());
      if (!ok) throw EZipArchiver(11007, false);
    }
    if (byName) {
      FWorkFile = DiskFileName(FDiskNr);
      return;
    }
    char want[16];
    std::snprintf(want, sizeof want, "%03d", FDiskNr + 1);
    if (FVolumeName == std::string("PKBACK# ") + want) return;
  }
}

void TZipArchiver::GetNewDisk(int DiskSeq) {
  CloseFile();
  FDiskNr = DiskSeq;
  int type = ZipVolumes().DriveType(FDrive);
  for (;;) {
    CheckForDisk(false);
    try {
      FFile = std::make_unique<TFileStream>(FWorkFile, fmOpenRead | fmShareDenyWrite);
      return;
    } catch (const EFOpenError&) {
      if (type == DRIVE_FIXED || type == DRIVE_REMOTE) throw EZipArchiver(11001, FWorkFile);
      ShowError(11001);
    }
  }
}

// ---- End record -----------------------------------------------------------------------------

bool TZipArchiver::ReadBytesAt(int64_t Pos, void* Buffer, int64_t Count) {
  return Pos >= 0 && FFile && FFile->Seek(Pos, soFromBeginning) == Pos && ReadAt(Buffer, Count) == Count;
}

// The end record at Pos (Available bytes follow it in the file), with the zip64 end record
// when a zip64 locator stands right before it.
TZipArchiver::EndRecord TZipArchiver::ReadEndRecord(const uint8_t* r, int64_t Pos, int64_t Available) {
  EndRecord e;
  e.Pos = e.DirEnd = Pos;
  e.ThisDisk = GetLE16(r + 4);
  e.CentralDisk = GetLE16(r + 6);
  e.EntriesThisDisk = GetLE16(r + 8);
  e.TotalEntries = GetLE16(r + 10);
  e.CentralSize = GetLE32(r + 12);
  e.CentralOffset = GetLE32(r + 16);
  const int64_t stated = GetLE16(r + 20);
  if (Available == 0) {
    // A record that ends the file has no room for a comment, whatever it says.
    e.CommentLen = 0;
    e.CommentFits = e.EndsFile = true;
  } else {
    // A comment said to run past the file's end has only the bytes that are there.
    e.CommentLen = static_cast<uint16_t>(std::min(stated, Available));
    e.CommentFits = stated <= Available;
    e.EndsFile = stated == Available;
  }
  uint8_t loc[kZip64LocatorSize];
  if (Pos < kZip64LocatorSize || !ReadBytesAt(Pos - kZip64LocatorSize, loc, kZip64LocatorSize) ||
      GetLE32(loc) != kZip64LocatorSig)
    return e;
  // The locator gives the zip64 record's offset; an archive moved behind a stub finds it
  // right before the locator instead.
  const int64_t latest = Pos - kZip64LocatorSize - kZip64EndSize;
  const uint64_t stated64 = GetLE64(loc + 8);
  uint8_t z[kZip64EndSize];
  for (int64_t at : {stated64 <= static_cast<uint64_t>(std::max<int64_t>(latest, 0)) ? static_cast<int64_t>(stated64) : -1,
                     latest}) {
    if (at < 0 || !ReadBytesAt(at, z, kZip64EndSize) || GetLE32(z) != kZip64EndSig) continue;
    e.ThisDisk = GetLE32(z + 16);
    e.CentralDisk = GetLE32(z + 20);
    e.EntriesThisDisk = GetLE64(z + 24);
    e.TotalEntries = GetLE64(z + 32);
    e.CentralSize = GetLE64(z + 40);
    e.CentralOffset = GetLE64(z + 48);
    e.DirEnd = at;
    break;
  }
  return e;
}

// True when the record's directory is where the record puts it: right before the record
// (or its zip64 record), starting with a directory header. A directory on another disk of a
// set cannot be checked here.
bool TZipArchiver::DirectoryFits(const EndRecord& R) {
  if (!R.CommentFits) return false;
  if (R.ThisDisk != R.CentralDisk) return true;
  if (R.CentralSize > static_cast<uint64_t>(R.DirEnd)) return false;
  if (R.TotalEntries == 0) return R.CentralSize == 0;
  uint8_t sig[4];
  return ReadBytesAt(R.DirEnd - static_cast<int64_t>(R.CentralSize), sig, 4) && GetLE32(sig) == kCentralSig;
}

bool TZipArchiver::OpenEOC(bool Raise) {
  try {
    FFile = std::make_unique<TFileStream>(FWorkFile, fmOpenRead | fmShareDenyWrite);
  } catch (const EFOpenError&) {
    if (Raise) throw EZipArchiver(11001, FWorkFile);
    ShowError(11002);
    return false;
  }
  try {
    bool fromLabel = false;
    if (FVolumeName.rfind("PKBACK# ", 0) == 0) {
      std::string digits = FVolumeName.substr(8, 3);
      FDiskNr = 0;
      if (!digits.empty() && std::all_of(digits.begin(), digits.end(),
                                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        FDiskNr = std::stoi(digits);
      fromLabel = true;
    }
    bool firstDisk = false;
    uint8_t head[8];
    if (ReadAt(head, 8) == 8 && GetLE32(head) == kSpanSig && GetLE32(head + 4) == kLocalSig) {
      firstDisk = true;
      FIsSpanned = true;
    }
    FFileSize = FFile->Size();
    FRealFileSize = FFileSize;
    // The end record lies in the last 65535 + 22 bytes. The bytes "PK\5\6" may also stand
    // inside the archive comment, so every place they stand is weighed, from the end back:
    // the first whose directory fits and whose comment ends the file wins, else the first
    // whose directory fits (trailing bytes follow), else the last one in the file, which
    // then reports what is wrong with it.
    const int64_t n = std::min<int64_t>(FFileSize, kMaxComment + kEndSize);
    const int64_t base = FFileSize - n;
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    if (!ReadBytesAt(base, buf.data(), n)) throw EZipArchiver(10201, true);
    std::optional<EndRecord> ends, fits, last;
    for (int64_t i = n - kEndSize; i >= 0 && !ends; --i) {
      const uint8_t* r = buf.data() + i;
      if (GetLE32(r) != kEndSig) continue;
      EndRecord e = ReadEndRecord(r, base + i, n - i - kEndSize);
      if (!last) last = e;
      if (!DirectoryFits(e)) continue;
      if (e.EndsFile) ends = e;
      else if (!fits) fits = e;
    }
    const std::optional<EndRecord>& found = ends ? ends : (fits ? fits : last);
    if (found) {
      FEOC = *found;
      FZipEOC = FEOC.Pos;
      const int64_t recordEnd = FZipEOC + kEndSize + FEOC.CommentLen;
      if (recordEnd < FFileSize) {
        bool zeros = std::all_of(buf.begin() + (recordEnd - base), buf.end(), [](uint8_t b) { return b == 0; });
        bool tolerated = FRealFileSize % 512 == 0 && FRealFileSize - recordEnd < 512 && zeros;
        FFileSize = recordEnd;
        if (!tolerated) ShowError(10204);
      }
      if (FEOC.CommentLen > 0)
        FZipComment.assign(reinterpret_cast<const char*>(buf.data() + (FZipEOC - base) + kEndSize), FEOC.CommentLen);
      if (!fromLabel) FDiskNr = DiskNumber(FEOC.ThisDisk);
      return true;
    }
    if (!Raise) return false;
    // A disk of a spanned set without the end record: say which disk it is, or that the
    // first disk was given; anything else is no zip file at all.
    if (!firstDisk && fromLabel) throw EZipArchiver(11038, FDiskNr);
    if (firstDisk && fromLabel && FDiskNr != 1) throw EZipArchiver(11036, true);
    if (firstDisk) throw EZipArchiver(11037, true);
    throw EZipArchiver(11045, true);
  } catch (...) {
    if (Raise) throw;
    return false;
  }
}

// ---- Listing --------------------------------------------------------------------------------

std::string TZipArchiver::ConvertName(const std::string& Name, uint8_t MadeBy, uint8_t Host) const {
  bool convert = CodePage == cpOEM || Host == 6 || (Host == 11 && MadeBy == 50) ||
                 (CodePage == cpAuto && Host == 0);
  if (!convert) return Name;
  std::string out = Name;
  for (char& c : out)
    if (static_cast<unsigned char>(c) >= 0x80) c = OemToAnsiByte(c);
  return out;
}

std::string TZipArchiver::EntryText(const std::string& Raw, const ZipDirEntry& E, bool ReportLoss) {
  // Archivers on Unix store the locale's UTF-8 as it is, without the flag; a code page 949
  // name seldom reads as UTF-8 with a multi-byte character, and one that does not stays as it is.
  const bool unixUtf8 = CodePage == cpAuto && E.HostVersionNo == kHostUnix &&
                        std::any_of(Raw.begin(), Raw.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) &&
                        cp949::IsUtf8(Raw);
  if (!(E.Flag & kUtf8Flag) && !unixUtf8) return ConvertName(Raw, E.MadeByVersion, E.HostVersionNo);
  std::string text;
  uint32_t lost = 0;
  if (!Utf8ToProgramText(Raw, text, lost) && ReportLoss && !FLossReported) {
    // Reported once per listing; the name stays listed with "?" (which no file name holds)
    // in place of each character that code page 949 lacks.
    FLossReported = true;
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", lost);
    ShowError(10202, std::string(": name without a code page 949 form (") + code + "), listed as " + text);
  }
  return text;
}

int64_t TZipArchiver::ReadZip64Extra(ZipDirEntry& E) {
  const std::vector<uint8_t>& x = E.ExtraData;
  int64_t offset = E.RelOffLocalHdr;
  for (size_t p = 0; p + 4 <= x.size();) {
    const uint16_t id = GetLE16(x.data() + p);
    const size_t size = GetLE16(x.data() + p + 2);
    const size_t end = std::min(x.size(), p + 4 + size);
    if (id == kZip64ExtraId) {
      size_t q = p + 4;
      // In this order, each present only when its classic field is saturated.
      auto take = [&](auto& field, size_t width, const char* what) {
        using Field = std::remove_reference_t<decltype(field)>;
        const uint64_t all = std::numeric_limits<Field>::max();
        if (field != all || q + width > end) return uint64_t{field};
        const uint64_t v = width == 8 ? GetLE64(x.data() + q) : GetLE32(x.data() + q);
        q += width;
        if (v <= all) {
          field = static_cast<Field>(v);
        } else if (!FWideReported) {
          FWideReported = true;
          ShowError(10202, std::string(": ") + what + " of " + E.FileName + " is " + std::to_string(v) +
                               ", more than its field holds; listed as " + std::to_string(all));
        }
        return v;
      };
      take(E.UncompressedSize, 8, "size");
      take(E.CompressedSize, 8, "compressed size");
      const uint64_t full = take(E.RelOffLocalHdr, 8, "local header offset");
      take(E.StartOnDisk, 4, "starting disk");
      offset = static_cast<int64_t>(std::min<uint64_t>(full, INT64_MAX));
      break;
    }
    p = end;
  }
  return offset;
}

void TZipArchiver::List() {
  ClearEntries();
  FRealFileSize = 0;
  FCentralDir = 0;
  FSFXOffset = 0;
  FZipComment.clear();
  FIsSpanned = false;
  FDirOnlyCount = 0;
  FWrongZipStruct = false;
  FLossReported = false;
  FWideReported = false;
  if (FZipFileName.empty() || !FileExists(FZipFileName)) {
    if (OnDirUpdate) OnDirUpdate(this);
    return;
  }
  StartWaitCursor();
  try {
    FWorkFile = FZipFileName;
    FDrive = ExtractFileDrive(FZipFileName) + "\\";
    if (!IsDiskPresent()) throw EZipArchiver(11004, FDrive);
    OpenEOC(true);
    FTotalDisks = DiskNumber(FEOC.ThisDisk);
    if (FEOC.ThisDisk != 0) FIsSpanned = true;
    // Offsets past 2^63 are none that a file can have.
    const int64_t centralSize = static_cast<int64_t>(std::min<uint64_t>(FEOC.CentralSize, INT64_MAX));
    const int64_t centralOffset = static_cast<int64_t>(std::min<uint64_t>(FEOC.CentralOffset, INT64_MAX));
    if (FEOC.ThisDisk == FEOC.CentralDisk) {
      FCentralDir = FEOC.DirEnd - centralSize;
    } else {
      GetNewDisk(DiskNumber(FEOC.CentralDisk));
      FFileSize = FFile->Size();
      FCentralDir = centralOffset;
    }
    FSFXOffset = FFileSize == kEndSize ? 0 : FFileSize;
    if (centralOffset != FCentralDir) {
      FWrongZipStruct = true;
      ShowError(10203);
    }
    if (FCentralDir < 0 || FFile->Seek(FCentralDir, soFromBeginning) != FCentralDir)
      throw EZipArchiver(10201, true);
    // The count comes from the end record: each entry is read from the file before it is
    // kept, so a count larger than the directory ends with the file.
    for (uint64_t i = 0; i < FEOC.TotalEntries; ++i) {
      uint8_t h[kCentralSize];
      if (ReadAt(h, kCentralSize) != kCentralSize) {
        if (FDiskNr >= FTotalDisks) throw EZipArchiver(11013, true);
        GetNewDisk(FDiskNr + 1);
        if (ReadAt(h, kCentralSize) != kCentralSize) throw EZipArchiver(11013, true);
      }
      if (GetLE32(h) != kCentralSig) throw EZipArchiver(11015, true);
      auto e = std::make_unique<ZipDirEntry>();
      e->MadeByVersion = h[4];
      e->HostVersionNo = h[5];
      e->Version = GetLE16(h + 6);
      e->Flag = GetLE16(h + 8);
      e->CompressionMethod = GetLE16(h + 10);
      e->DateTime_Time = GetLE16(h + 12);
      e->DateTime_Date = GetLE16(h + 14);
      e->CRC32 = GetLE32(h + 16);
      e->CompressedSize = GetLE32(h + 20);
      e->UncompressedSize = GetLE32(h + 24);
      e->FileNameLength = GetLE16(h + 28);
      e->ExtraFieldLength = GetLE16(h + 30);
      e->FileCommentLen = GetLE16(h + 32);
      e->StartOnDisk = GetLE16(h + 34);
      e->IntFileAttrib = GetLE16(h + 36);
      e->ExtFileAttrib = GetLE32(h + 38);
      e->RelOffLocalHdr = GetLE32(h + 42);
      e->Encrypted = (e->Flag & 1) != 0;
      std::string name(e->FileNameLength, '\0');
      if (ReadAt(name.data(), e->FileNameLength) != e->FileNameLength) throw EZipArchiver(11017, true);
      name = EntryText(name, *e, true);
      std::replace(name.begin(), name.end(), '/', '\\');
      e->FileName = name;
      if (e->ExtraFieldLength > 0) {
        e->ExtraData.resize(e->ExtraFieldLength);
        if (ReadAt(e->ExtraData.data(), e->ExtraFieldLength) != e->ExtraFieldLength)
          throw EZipArchiver(10201, true);
      }
      const int64_t localHeader = ReadZip64Extra(*e);
      std::string comment(e->FileCommentLen, '\0');
      if (ReadAt(comment.data(), e->FileCommentLen) != e->FileCommentLen) throw EZipArchiver(11022, true);
      e->FileComment = EntryText(comment, *e, false);
      FSFXOffset = std::min<int64_t>(FSFXOffset, localHeader);
      bool dirOnly = e->FileName.empty() || e->FileName.back() == '\\';
      if (dirOnly && !UseDirOnlyEntries) {
        ++FDirOnlyCount;
        continue;
      }
      FEntries.push_back(std::move(e));
      if (OnNewName) OnNewName(this, Count(), *FEntries.back());
    }
  } catch (const EZipArchiver& e) {
    ShowExceptionError(e);
  } catch (const std::bad_alloc&) {
    ShowError(10103);
  } catch (const std::exception& e) {
    ShowError(10202, e.what());
  }
  StopWaitCursor();
  CloseFile();
  FWorkFile.clear();
  if (OnDirUpdate) OnDirUpdate(this);
}
