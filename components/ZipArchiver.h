// The zip archive component: the settings for adding to and extracting from a PKWARE zip
// archive, and the reading of an archive's central directory into a list of entries as soon
// as ZipFileName is set at run time. Archives spanned over several disks are followed disk by
// disk (asking for the next one on removable drives).
//
// Compressing and extracting are the work of two libraries outside this system; the component
// keeps a handle for each, never loads them, and releases them when destroyed.
//
// Problems are reported, never raised to the caller of the listing: a message box (unless
// Unattended) and OnMessage. The message texts come from the component's string table,
// which is empty in this system, so the fallback texts show.
//
// Drives: a name with a drive letter ("A:\SET.ZIP") names that drive; any other name lies on
// the root drive "\" of this system. Volume names, drive types and sizes come from the
// volume service (TZipVolumes), which tests replace. No Qt; GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

// ---- Volumes --------------------------------------------------------------------------------

enum : int { DRIVE_UNKNOWN = 0, DRIVE_NO_ROOT_DIR = 1, DRIVE_REMOVABLE = 2, DRIVE_FIXED = 3,
             DRIVE_REMOTE = 4, DRIVE_CDROM = 5, DRIVE_RAMDISK = 6 };
enum : int { ERROR_GEN_FAILURE = 31, ERROR_NOT_READY = 21 };

// The drive facts the component asks for. Roots are "X:\" or "\".
class IZipVolumes {
 public:
  virtual ~IZipVolumes();
  virtual bool DriveExists(char Letter) = 0;
  virtual int DriveType(const std::string& Root) = 0;
  // False with the system's error number when the volume cannot be read.
  virtual bool VolumeInformation(const std::string& Root, std::string& Name, uint32_t& Serial,
                                 int& Error) = 0;
  // Free and total bytes; false when unknown.
  virtual bool DiskFreeSpace(const std::string& Root, int64_t& Free, int64_t& Total) = 0;
};

// This system's volumes: every name lies on the root drive, a fixed disk with no name whose
// sizes are those of the file system; no drive letters exist.
class TZipVolumes : public IZipVolumes {
 public:
  bool DriveExists(char Letter) override;
  int DriveType(const std::string& Root) override;
  bool VolumeInformation(const std::string& Root, std::string& Name, uint32_t& Serial,
                         int& Error) override;
  bool DiskFreeSpace(const std::string& Root, int64_t& Free, int64_t& Total) override;
};

// Installs a volume service (nullptr: this system's); returns the previous one.
IZipVolumes* SetZipVolumes(IZipVolumes* Volumes);
IZipVolumes& ZipVolumes();

// ---- Messages and errors --------------------------------------------------------------------

// The component's string table: empty unless a program registers texts.
void SetZipString(int Number, const std::string& Text);
std::string LoadZipStr(int Number, const std::string& Default);
// The text of a message number, with the fallbacks for numbers the table lacks.
std::string ZipMessageText(int Number);

class EZipArchiver : public Exception {
 public:
  EZipArchiver(int Number, bool Display);
  EZipArchiver(int Number, int Argument);
  EZipArchiver(int Number, const std::string& Argument);
  bool DisplayMsg;
  int ResID;
};

// ---- Directory entries ----------------------------------------------------------------------

struct ZipDirEntry {
  uint8_t MadeByVersion = 0;
  uint8_t HostVersionNo = 0;
  uint16_t Version = 0;
  uint16_t Flag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t DateTime_Time = 0;
  uint16_t DateTime_Date = 0;
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLen = 0;
  uint16_t StartOnDisk = 0;
  uint16_t IntFileAttrib = 0;
  uint32_t ExtFileAttrib = 0;
  uint32_t RelOffLocalHdr = 0;
  std::string FileName;     // converted, with "\" for "/"
  std::string FileComment;  // converted
  bool Encrypted = false;
  std::vector<uint8_t> ExtraData;  // ExtraFieldLength bytes, empty when none
};

// A memory stream that can also read a block owned elsewhere.
class TZipStream : public TMemoryStream {
 public:
  TZipStream() = default;
  using TCustomMemoryStream::SetPointer;
};

// ---- Option sets and event types ------------------------------------------------------------

enum AddOptsEnum { AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime,
                   AddForceDOS, AddHiddenFiles, AddArchiveOnly, AddResetArchive, AddEncrypt,
                   AddSeparateDirs, AddVolume, AddFromDate, AddDiskSpan, AddDiskSpanErase };
enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum AddStoreSuffixEnum { assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ,
                          assTGZ, assLHA, assRAR, assACE, assCAB, assGZ, assGZIP, assJAR,
                          assEXE };
enum CodePageOpts { cpAuto, cpNone, cpOEM };
enum DeleteOpts { htdFinal, htdAllowUndo };
enum SFXOptsEnum { SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize,
                   SFXNoSuccessMsg };
enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum ProgressType { NewFile, ProgressUpdate, EndOfBatch, TotalFiles2Process, TotalSize2Process };
enum TPasswordButton { pwbOk, pwbCancel, pwbCancelAll, pwbAbort };
enum UnZipSkipTypes { stOnFreshen, stNoOverwrite, stFileExists, stBadPassword, stNoEncryptionDLL,
                      stCompressionUnknown, stUnknownZipHost, stZipFileFormatWrong, stGeneralExtractError };
enum TZipDiskStatusEnum { zdsEmpty, zdsHasFiles, zdsPreviousDisk, zdsSameFileName, zdsNotEnoughSpace };
using TZipDiskStatus = unsigned;  // set of TZipDiskStatusEnum
enum TZipDiskAction { zdaOk, zdaErase, zdaReject, zdaCancel };

// A set of up to 32 enumerators as bits.
template <class E>
constexpr unsigned Bit(E e) { return 1u << static_cast<unsigned>(e); }
using AddOpts = unsigned;
using ExtrOpts = unsigned;
using AddStoreExts = unsigned;
using SFXOpts = unsigned;

class TIcon;
class TZipArchiver;

using TZipProgressEvent =
    std::function<void(TObject* Sender, ProgressType ProgrType, const std::string& Filename, int FileSize)>;
using TMessageEvent = std::function<void(TObject* Sender, int ErrCode, const std::string& Message)>;
using TSetNewNameEvent = std::function<void(TObject* Sender, std::string& OldFileName, bool& IsChanged)>;
using TNewNameEvent = std::function<void(TObject* Sender, int SeqNo, const ZipDirEntry& ZipEntry)>;
using TCRC32ErrorEvent = std::function<void(TObject* Sender, const std::string& ForFile,
                                            uint32_t FoundCRC, uint32_t ExpectedCRC, bool& DoExtract)>;
using TPasswordErrorEvent =
    std::function<void(TObject* Sender, bool IsZipAction, std::string& NewPassword,
                       const std::string& ForFile, unsigned& RepeatCount, TPasswordButton& Action)>;
using TExtractOverwriteEvent = std::function<void(TObject* Sender, const std::string& ForFile,
                                                  bool IsOlder, bool& DoOverwrite, int DirIndex)>;
using TExtractSkippedEvent = std::function<void(TObject* Sender, const std::string& ForFile,
                                                UnZipSkipTypes SkipType, int ExtError)>;
using TCopyZipOverwriteEvent =
    std::function<void(TObject* Sender, const std::string& ForFile, bool& DoOverwrite)>;
using TFileCommentEvent = std::function<void(TObject* Sender, const std::string& ForFile,
                                             std::string& FileComment, bool& IsChanged)>;
using TGetNextDiskEvent = std::function<void(TObject* Sender, int DiskSeqNo, int DiskTotal,
                                             const std::string& Drive, bool& AbortAction)>;
using TStatusDiskEvent = std::function<void(TObject* Sender, int PreviousDisk, const std::string& PreviousFile,
                                            TZipDiskStatus Status, TZipDiskAction& Action)>;

// ---- The component --------------------------------------------------------------------------

class TZipArchiver : public TComponent {
 public:
  explicit TZipArchiver(TComponent* AOwner);
  ~TZipArchiver() override;

  // Plain settings.
  bool Verbose = false;
  bool Trace = false;
  int AddCompLevel = 9;
  AddOpts AddOptions = 0;
  TDateTime AddFrom = 0;
  std::string ExtrBaseDir;
  ExtrOpts ExtrOptions = 0;
  bool Unattended = false;
  std::string Password;
  std::string TempDir;
  CodePageOpts CodePage = cpAuto;
  DeleteOpts HowToDelete = htdAllowUndo;
  AddStoreExts AddStoreSuffixes;  // all but assEXE
  bool UseDirOnlyEntries = false;
  std::string RootDir;
  bool ConfirmErase = true;
  bool FormatErase = false;
  int KeepFreeOnDisk1 = 0;
  int MaxVolumeSize = 0;
  int MinFreeVolumeSize = 65536;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXCommandLine;
  std::string SFXDefaultDir;
  std::string SFXMessage;
  SFXOpts SFXOptions = Bit(SFXCheckSize);
  OvrOpts SFXOverWriteMode = OvrConfirm;
  std::string SFXPath = "ZipSFX.bin";

  // Settings with rules.
  const std::string& ZipFileName() const { return FZipFileName; }
  // At run time, reads the archive's directory at once.
  void SetZipFileName(const std::string& Value);
  const std::string& DLLDirectory() const { return FDLLDirectory; }
  void SetDLLDirectory(const std::string& Value);
  int MinZipDllVers() const { return FMinZipDllVers; }
  void SetMinZipDllVers(int Value);
  int MinUnzDllVers() const { return FMinUnzDllVers; }
  void SetMinUnzDllVers(int Value);
  std::string VersionInfo() const { return "1.70"; }
  void SetVersionInfo(const std::string&) {}
  unsigned PasswordReqCount() const { return FPasswordReqCount; }
  void SetPasswordReqCount(unsigned Value);
  TStrings& FSpecArgs() { return *FFSpecArgs; }
  void SetFSpecArgs(const TStrings& Value);
  TStrings& FSpecArgsExcl() { return *FFSpecArgsExcl; }
  void SetFSpecArgsExcl(const TStrings& Value);
  TIcon& SFXIcon() { return *FSFXIcon; }
  void SetSFXIcon(TIcon* Value);

  TNotifyEvent OnDirUpdate;
  TZipProgressEvent OnProgress;
  TMessageEvent OnMessage;
  TSetNewNameEvent OnSetNewName;
  TNewNameEvent OnNewName;
  TCRC32ErrorEvent OnCRC32Error;
  TPasswordErrorEvent OnPasswordError;
  TExtractOverwriteEvent OnExtractOverwrite;
  TExtractSkippedEvent OnExtractSkipped;
  TCopyZipOverwriteEvent OnCopyZipOverwrite;
  TFileCommentEvent OnFileComment;
  TGetNextDiskEvent OnGetNextDisk;
  TStatusDiskEvent OnStatusDisk;

  // ---- What the last listing found.
  int Count() const { return static_cast<int>(FEntries.size()); }
  const ZipDirEntry& DirEntry(int Index) const { return *FEntries.at(static_cast<size_t>(Index)); }
  int DirOnlyCount() const { return FDirOnlyCount; }
  const std::string& ZipComment() const { return FZipComment; }
  int64_t ZipFileSize() const { return FFileSize; }
  int64_t RealFileSize() const { return FRealFileSize; }
  int64_t ZipEOC() const { return FZipEOC; }
  int64_t CentralDirStart() const { return FCentralDir; }
  int64_t SFXOffset() const { return FSFXOffset; }
  bool IsSpanned() const { return FIsSpanned; }
  int TotalDisks() const { return FTotalDisks; }
  int DiskNr() const { return FDiskNr; }
  const std::string& VolumeName() const { return FVolumeName; }
  uint32_t VolumeSerial() const { return FVolumeSerial; }
  int64_t SizeOfDisk() const { return FSizeOfDisk; }
  int64_t FreeOnDisk() const { return FFreeOnDisk; }
  bool WrongZipStruct() const { return FWrongZipStruct; }
  const std::string& Message() const { return FMessage; }
  int ErrCode() const { return FErrCode; }

  // Handles of the archive-writing and archive-reading libraries: never loaded here.
  void* ZipDllHandle() const { return FZipDllHandle; }
  void* UnzDllHandle() const { return FUnzDllHandle; }

  // Reports a message: text of Number + Extra; box unless Unattended; OnMessage.
  void ShowError(int Number, const std::string& Extra = std::string());
  void ShowExceptionError(const EZipArchiver& E);
  void StartWaitCursor();
  void StopWaitCursor();

  // Reads the directory of ZipFileName again.
  void List();

 private:
  void ClearEntries();
  void CheckDrive();  // raises when the drive is not ready
  bool IsDiskPresent();
  void ReadDiskFree();
  bool OpenEOC(bool Raise);
  void GetNewDisk(int DiskSeq);
  void CheckForDisk(bool Writing);
  void CloseFile();
  int64_t ReadAt(void* Buffer, int64_t Count);
  std::string ConvertName(const std::string& Name, uint8_t MadeBy, uint8_t Host) const;
  std::string DiskFileName(int DiskSeq) const;

  std::string FZipFileName;
  std::string FDLLDirectory;
  int FMinZipDllVers = 170;
  int FMinUnzDllVers = 170;
  unsigned FPasswordReqCount = 1;
  std::unique_ptr<TStringList> FFSpecArgs;
  std::unique_ptr<TStringList> FFSpecArgsExcl;
  std::unique_ptr<TIcon> FSFXIcon;
  std::unique_ptr<TZipStream> FZipStream;
  void* FZipDllHandle = nullptr;
  void* FUnzDllHandle = nullptr;

  std::vector<std::unique_ptr<ZipDirEntry>> FEntries;
  int FDirOnlyCount = 0;
  std::string FZipComment;
  int64_t FFileSize = 0;
  int64_t FRealFileSize = 0;
  int64_t FZipEOC = 0;
  int64_t FCentralDir = 0;
  int64_t FSFXOffset = 0;
  bool FIsSpanned = false;
  int FTotalDisks = 0;
  int FDiskNr = 0;
  std::string FVolumeName;
  uint32_t FVolumeSerial = 0;
  int64_t FSizeOfDisk = -1;
  int64_t FFreeOnDisk = -1;
  bool FWrongZipStruct = false;
  std::string FMessage;
  int FErrCode = 0;
  int FCursorNesting = 0;
  int FSavedCursor = 0;

  // Working state of a listing.
  std::string FDrive;
  std::string FWorkFile;
  std::unique_ptr<TFileStream> FFile;
  // The end record read by OpenEOC, with the zip64 end record's values when it has one.
  struct EndRecord {
    uint32_t ThisDisk = 0, CentralDisk = 0;
    uint64_t EntriesThisDisk = 0, TotalEntries = 0;
    uint64_t CentralSize = 0, CentralOffset = 0;
    uint16_t CommentLen = 0;  // the bytes of it that are in the file
    int64_t Pos = 0;          // of the end record
    int64_t DirEnd = 0;       // where the directory ends: the zip64 end record, else Pos
    bool CommentFits = false; // the stated comment lies inside the file
    bool EndsFile = false;    // record and comment end exactly at the end of the file
  } FEOC;
  bool ReadBytesAt(int64_t Pos, void* Buffer, int64_t Count);
  EndRecord ReadEndRecord(const uint8_t* Record, int64_t Pos, int64_t Available);
  bool DirectoryFits(const EndRecord& R);
  // Program text of an entry's name or comment: UTF-8 when flagged so, or when made on Unix
  // and it reads as UTF-8 with multi-byte characters (Info-ZIP sets no flag), else the OEM
  // rule.
  std::string EntryText(const std::string& Raw, const ZipDirEntry& E, bool ReportLoss);
  bool FLossReported = false;
  // Fills the classic fields that stand saturated from the entry's zip64 extra field; returns
  // the local header's offset in full. A value beyond the classic field's width stays
  // saturated and is reported, once per listing.
  int64_t ReadZip64Extra(ZipDirEntry& E);
  bool FWideReported = false;
};
