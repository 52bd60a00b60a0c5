// The zip archive component: settings, messages, and the reading of an archive's end record
// and central directory, following spanned sets from disk to disk.
#include "components/ZipArchiver.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <new>
#include <utility>

#include "components/BitmapUtilCore.h"
#include "components/CursorsIcon.h"
#include "platform/core/Services.h"
#include "platform/ui/Forms.h"

namespace {

constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kSpanSig = 0x08074B50;
constexpr int64_t kEndSize = 22;
constexpr int64_t kCentralSize = 46;
constexpr int64_t kMaxComment = 65535;


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
    auto take = [&](const uint8_t* r) {
      FEOC.ThisDisk = GetLE16(r + 4);
      FEOC.CentralDisk = GetLE16(r + 6);
      FEOC.EntriesThisDisk = GetLE16(r + 8);
      FEOC.TotalEntries = GetLE16(r + 10);
      FEOC.CentralSize = GetLE32(r + 12);
      FEOC.CentralOffset = GetLE32(r + 16);
      FEOC.CommentLen = GetLE16(r + 20);
    };
    if (FFileSize >= kEndSize) {
      uint8_t rec[kEndSize];
      FFile->Seek(FFileSize - kEndSize, soFromBeginning);
      if (ReadAt(rec, kEndSize) == kEndSize && GetLE32(rec) == kEndSig) {
        take(rec);
        FEOC.CommentLen = 0;  // a record that ends the file has no room for a comment
        FZipEOC = FFileSize - kEndSize;
        if (!fromLabel) FDiskNr = FEOC.ThisDisk;
        return true;
      }
    }
    int64_t n = std::min<int64_t>(FFileSize, kMaxComment + kEndSize);
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    FFile->Seek(FFileSize - n, soFromBeginning);
    if (ReadAt(buf.data(), n) != n) throw EZipArchiver(10201, true);
    for (int64_t i = n - kEndSize - 1; i >= 0; --i) {
      const uint8_t* r = buf.data() + i;
      if (r[0] != 'P' || r[1] != 'K' || r[2] != 5 || r[3] != 6) continue;
      take(r);
      FZipEOC = FFileSize - n + i;
      // A comment said to run past the file's end has only the bytes that are there.
      int64_t available = n - i - kEndSize;
      int64_t commentLen = std::min<int64_t>(FEOC.CommentLen, available);
      FEOC.CommentLen = static_cast<uint16_t>(commentLen);
      int64_t recordEnd = FZipEOC + kEndSize + commentLen;
      if (recordEnd < FFileSize) {
        bool zeros = std::all_of(buf.begin() + (i + kEndSize + commentLen), buf.end(),
                                 [](uint8_t b) { return b == 0; });
        bool tolerated = FRealFileSize % 512 == 0 && FRealFileSize - recordEnd < 512 && zeros;
        FFileSize = recordEnd;
        if (!tolerated) ShowError(10204);
      }
      if (commentLen > 0)
        FZipComment.assign(reinterpret_cast<const char*>(r + kEndSize), static_cast<size_t>(commentLen));
      if (!fromLabel) FDiskNr = FEOC.ThisDisk;
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

void TZipArchiver::List() {
  ClearEntries();
  FRealFileSize = 0;
  FCentralDir = 0;
  FSFXOffset = 0;
  FZipComment.clear();
  FIsSpanned = false;
  FDirOnlyCount = 0;
  FWrongZipStruct = false;
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
    FTotalDisks = FEOC.ThisDisk;
    if (FEOC.ThisDisk != 0) FIsSpanned = true;
    if (FEOC.ThisDisk == FEOC.CentralDisk) {
      FCentralDir = FFileSize - FEOC.CentralSize - FEOC.CommentLen - kEndSize;
    } else {
      GetNewDisk(FEOC.CentralDisk);
      FFileSize = FFile->Size();
      FCentralDir = FEOC.CentralOffset;
    }
    FSFXOffset = FFileSize == kEndSize ? 0 : FFileSize;
    if (FEOC.CentralOffset != FCentralDir) {
      FWrongZipStruct = true;
      ShowError(10203);
    }
    if (FCentralDir < 0 || FFile->Seek(FCentralDir, soFromBeginning) != FCentralDir)
      throw EZipArchiver(10201, true);
    for (int i = 0; i < FEOC.TotalEntries; ++i) {
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
      name = ConvertName(name, e->MadeByVersion, e->HostVersionNo);
      std::replace(name.begin(), name.end(), '/', '\\');
      e->FileName = name;
      if (e->ExtraFieldLength > 0) {
        e->ExtraData.resize(e->ExtraFieldLength);
        if (ReadAt(e->ExtraData.data(), e->ExtraFieldLength) != e->ExtraFieldLength)
          throw EZipArchiver(10201, true);
      }
      std::string comment(e->FileCommentLen, '\0');
      if (ReadAt(comment.data(), e->FileCommentLen) != e->FileCommentLen) throw EZipArchiver(11022, true);
      e->FileComment = ConvertName(comment, e->MadeByVersion, e->HostVersionNo);
      FSFXOffset = std::min<int64_t>(FSFXOffset, e->RelOffLocalHdr);
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
