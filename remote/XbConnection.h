// TXbConnection: the client of a remote table server. It holds one blocking TCP connection
// (a TXbNetClient), frames every request and reply with a 20-character header, logs in,
// polls once a second for the notices the server sends on its own, and carries every table
// operation of a table whose AccessMethod is amServer, and every setting of an environment
// whose ApplyTo holds atServer, as one request with its own four-digit command code.
//
// Frame: 8 hex digits payload length, 4 compression flag ("0000" plain), 4 tag ("0000"),
// 4 command or reply code ("0300".."0303" are notices), then exactly that many payload bytes.
//
// Contract:
// - One member per engine operation, named after the entry point without "xb_", taking the
//   arguments in the engine's order and answering with the same kind of result: 16-bit flags
//   are -1 or 0, numbers as the engine gives them, texts as owned strings.
// - Every failure goes through ReportError: with an OnError handler it is called and the
//   operation returns its failure result (0, 0.0, false, "" or nothing done); without one an
//   Exception "[<command>]<message>" is raised. Operations marked quiet or silent in the .cpp
//   never raise.
// - Every wait for a reply's header and for each piece of its data is bounded by TimeOut (0:
//   no limit), so a server that stops in the middle of a reply cannot hang the caller; and a
//   reply that trickles is cut at TimeOut plus its announced length at kMinReplyRate.
// - The operations are virtual so that the table layer's tests can put a recording connection
//   in its place.
// - SetGaugeHook, SetStringType and MemDealloc have no server counterpart and do nothing.
//
// Ownership: the connection owns its poll timer and its request and reply streams.
// Not thread-safe: a connection lives on the GUI thread, and every call blocks it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "addons/sql/include/ravavadiv61.h"
#include "engine/include/xbeng61.h"
#include "platform/core/Classes.h"
#include "platform/core/Fields.h"
#include "platform/core/Streams.h"
#include "platform/core/Timers.h"
#include "remote/XbNet.h"

class TXbConnection;
class TXbTables;

// ---- what the table layer hands over for the server's table open and block fetch ----------

// One record of a server fetch block.
struct TFetchSlot {
  uint8_t Status = 0;        // the get result of the record (grOK, grBOF, grEOF)
  XbLong RecNo = 0;
  XbLong OrderPosition = 0;
  std::vector<char> Image;   // RecordSize bytes; empty for a slot made before the open
};

// What the server's table open is given and fills in.
struct TXbUseRequest {
  std::string DatabaseName;
  std::string FileName;  // without folder
  XbShort TableTypeCode = 2;
  XbShort OpenMode = 0;
  XbLong CommitLevel = 0;
  std::string Password;
  std::string IndexName;
  bool TurboRead = false;
  bool OEMTranslate = false;
  // The environment snapshot, applied by the server when EnvApplies.
  bool EnvApplies = false;
  int Epoch = 1980;
  bool Century = true;
  bool Exact = false;
  bool SoftSeek = false;
  XbShort DateFormatCode = 99;  // the engine's code of the date format
  uint16_t MemoBlockSize = 64;
  bool Deleted = false;
  std::string IndexConditionText;
};
struct TXbUseReply {
  XbShort WorkArea = 0;
  XbLong CurrentOrder = 0;
  XbShort TableEncrypted = 0;
  XbLong RecordSize = 0;
  int EngineFieldCount = 0;
  XbLong RecCount = 0;
  std::string IndexConditionText;  // the condition of the current order
  XbLong ErrorNumber = 0;          // the server's; 0 = opened
  std::string ErrorText;           // non-empty: the server refused; raised unchanged
};

// The three server operations that belong to the table rather than to the engine calls:
// the table open, the structure text and the block fetch. The table finds them on its
// connection with dynamic_cast; a connection without them cannot open server tables.
class IXbTableServer {
 public:
  virtual ~IXbTableServer();
  // Opens the table; fills Reply and the table's IndexDefs.
  virtual void Use(const TXbUseRequest& Request, TXbUseReply& Reply, TIndexDefs& IndexDefs) = 0;
  // Five lines per field: name, type letter, width, decimals, 1-based offset (the three
  // numbers in hexadecimal), separated by CR LF.
  virtual std::string GetStructure() = 0;
  // Reads up to FetchCount consecutive records in the direction of GetMode, moving from
  // CurrentRecNo as the local read would (the pending flags and the end-of-file action say
  // how); fills FetchBlockCount and slots 0 .. FetchBlockCount-1. Returns the last status.
  virtual XbShort TraverseTable(XbLong& FetchBlockCount, XbShort BofPending, XbShort EofPending,
                                XbShort EOFAction, XbShort GetMode, XbShort LastGetMode,
                                std::vector<char>& RecordImage, XbLong RecordSize,
                                XbLong FetchCount, XbLong CurrentRecNo,
                                std::vector<TFetchSlot>& FetchSlots) = 0;
};

using TSocketConnectionLoginEvent =
    std::function<void(TObject* Sender, bool LoginAccepted, const std::string& Msg)>;
using TSocketConnectionLogoutEvent = std::function<void(TObject* Sender)>;
using TSocketConnectionErrorEvent =
    std::function<void(TObject* Sender, const std::string& Command, const std::string& Msg)>;
using TSocketConnectionServerMsgEvent = std::function<void(TObject* Sender, const std::string& Msg)>;
using TSocketConnectionServerStreamEvent =
    std::function<void(TObject* Sender, TMemoryStream* Stream)>;

// The stream codec of compressed payloads: the compression add-on, through its loader
// (XbAddOns.h), unless a test puts another in its place. The connection never switches
// compression on by itself; the codec is needed only when it is.
struct TXbStreamCodec {
  std::function<void()> Load;  // loads the add-on on first need
  std::function<void(TStream& Source, TStream& Dest)> CompressStream;
  std::function<void(TStream& Source, TStream& Dest)> UnCompressStream;
};
TXbStreamCodec& XbStreamCodec();

// The SQL add-on's entry points, as the local route of the SQL statement operations calls them.
struct TXbSqlEntryPoints {
#define ORV_SQL_SLOT(name) decltype(&::name) name = nullptr;
  DLL_SQL_ENTRY_POINTS(ORV_SQL_SLOT)
#undef ORV_SQL_SLOT
};
// Loads the SQL add-on on first need and hands back its entry points; nullptr when it cannot
// be loaded (its loader has told the user then). It is the add-on's loader (XbAddOns.h), so
// the local route works in any program that has the query, unless a test puts another in
// its place.
using TXbLoadSqlAddOn = std::function<const TXbSqlEntryPoints*()>;
TXbLoadSqlAddOn& XbSqlAddOnHook();

// Closes every open table bound to a connection that is being destroyed, while its socket is
// still open; the table layer installs it.
using TCloseLinkedTables = std::function<void(TXbConnection* Connection)>;
TCloseLinkedTables& XbCloseLinkedTablesHook();

class TXbConnection : public TXbNetClient, public IXbTableServer {
 public:
  explicit TXbConnection(TComponent* AOwner = nullptr);
  ~TXbConnection() override;

  // ---- published properties
  // Read: the socket is open. Write: connects and logs in, or logs out and disconnects.
  virtual bool Active() const;
  virtual void SetActive(bool Value);
  std::string ServerName;
  std::string GroupName;
  // Longest wait for each reply's header and for its data, in milliseconds; 0 waits without
  // limit.
  int TimeOut = 120000;
  std::string Version() const { return "XbConnection 6.1.0.8"; }
  void SetVersion(const std::string&) {}
  TSocketConnectionLoginEvent OnLogin;
  TSocketConnectionLogoutEvent OnLogout;
  TSocketConnectionErrorEvent OnError;
  TSocketConnectionServerMsgEvent OnServerMessage;
  TSocketConnectionServerStreamEvent OnServerStream;

  // The DatabaseName of the table that assigned it last; the server resolves index files
  // and relative names against it.
  std::string DataPath;
  // Written by the SQL dataset's prepare; the other start of ResolveDataPath.
  std::string SqlPath;

  // The work area selected last on this connection; Select skips a request for it.
  XbShort CurrentWorkArea = 0;

  bool LoggedIn() const { return FLoggedIn; }
  TTimer& PollTimer() { return *FPollTimer; }

  // ---- transport
  // Sends one request; with WaitForReply returns the reply as zero-terminated text (valid
  // until the next call), otherwise "" without reading. "" on every failure.
  const char* ClientXmit(const std::string& Code, const std::string& Payload, bool WaitForReply);
  // The reply stream positioned at 0, or nullptr when the reply is empty or on failure.
  TMemoryStream* ClientStreamReceive(const std::string& Code, const std::string& Payload);
  // Sends the whole RequestStream as the payload; the reply stream or nullptr.
  TMemoryStream* ClientStreamSendReceive(const std::string& Code);
  // Reads the next reply, handling the notices before it. The payload length (> 0), 0 for
  // none, -1 after a shutdown notice.
  int FillReadStream(bool PollOnly);
  const char* ReplyToPChar();
  void ReportError(const std::string& Command, const std::string& Msg);
  bool Login();
  void Logout();
  void PollServer();
  TMemoryStream& RequestStream() { return FRequestStream; }
  TMemoryStream& ReplyStream() { return FReplyStream; }

  // The login payload before scrambling, and the scrambling itself.
  std::string LoginRecordText() const;
  static std::string ScrambleLoginText(const std::string& Text);
  // The client identifier of the login: a volume serial number as decimal text, blank-padded
  // to 255.
  static std::string GetClientVolumeId();
  // The folder SQL statements resolve against: the data path when it names a folder or a
  // file (it holds a delimiter, ":" or "."), else the SQL path, else the current folder;
  // always with a trailing delimiter.
  std::string ResolveDataPath() const;

  // ---- table operations, in the table layer's call order
  virtual std::string Alias(XbShort WorkArea);
  virtual XbLong AppendBlank();
  virtual XbShort AppendFrom(const std::string& SourceFile, XbShort TableTypeCode,
                             const std::string& Condition);
  virtual XbShort Bof();
  virtual void Close();
  virtual void CloseIndexes();
  virtual void Commit();
  virtual XbShort CopyFile(const std::string& TargetFile);
  virtual XbLong Count();
  virtual XbShort CreateExec();
  virtual void CreateField(const std::string& Name, const std::string& Type, XbShort Width,
                           XbShort Decimals);
  // The table's DatabaseName and the file name without its folder; no alias is sent.
  virtual XbShort CreateNew(const std::string& DatabaseName, const std::string& FileName,
                            XbShort TableTypeCode, XbShort FieldCount);
  virtual std::string DBFilter();
  virtual void Delete();
  virtual XbShort Deleted();
  virtual XbShort Eof();
  virtual XbShort EvalLogical(const std::string& Expression);
  virtual double EvalNumeric(const std::string& Expression);
  virtual std::string EvalString(const std::string& Expression);
  virtual XbShort EvalTest(const std::string& Expression);
  virtual XbShort FieldDecimals(const std::string& FieldName);
  virtual std::string FieldName(XbShort FieldNumber);
  virtual XbShort FieldOffset(const std::string& FieldName);
  virtual std::string FieldType(const std::string& FieldName);
  virtual XbShort FieldWidth(const std::string& FieldName);
  // False without a request when either text is empty.
  virtual bool FileExists(const std::string& DatabaseName, const std::string& FileName);
  virtual XbShort Flock();
  virtual XbShort Found();
  // Delivers at most Capacity bytes of the blob into Buffer; returns the bytes delivered.
  virtual XbLong GetBlob(const std::string& FieldName, void* Buffer, XbLong Capacity);
  virtual XbLong GetBlobLength(const std::string& FieldName);
  virtual std::string GetDateString(const std::string& FieldName);
  virtual double GetDouble(const std::string& FieldName);
  virtual XbShort GetInteger(const std::string& FieldName);
  virtual XbLong GetLong(const std::string& FieldName);
  virtual std::string GetMemo(const std::string& FieldName, XbShort LineWidth);
  // Copies RecordSize bytes of the current record into Image.
  virtual void GetRecord(void* Image, XbLong RecordSize);
  virtual std::string GetScope(XbShort Which);
  virtual std::string GetString(const std::string& FieldName);
  virtual std::string GetTrimString(const std::string& FieldName);
  // Returns the record's position in the active order.
  virtual XbLong Go(XbLong RecNo);
  virtual void GoBottom();
  virtual void GoTop();
  virtual std::string IndexCondition();
  virtual std::string IndexKey();
  virtual std::string IndexKeyField();
  virtual std::string IndexName(XbShort Order);
  virtual XbShort IndexOpen(const std::string& FileName);
  virtual XbShort IndexOrd();
  virtual XbShort IndexTag(const std::string& FileName, const std::string& TagName,
                           const std::string& Expression, XbShort Option, XbLong Descend,
                           const std::string& Condition);
  virtual XbShort IndexType();
  virtual XbShort IsEncrypted(XbShort Which);
  void MemDealloc(void*) {}
  virtual void OrderPosSet(double Position);
  virtual XbLong PutBlob(const std::string& FieldName, const void* Data, XbLong Length);
  // Sends RecordSize bytes of Image as the current record.
  virtual void PutRecord(const void* Image, XbLong RecordSize);
  // Sets the server's query; returns the record number after it and stores the table's new
  // record count in RecCount.
  virtual XbLong QueryRowCount(const std::string& Expression, XbLong& RecCount);
  virtual XbLong QueryRecCount();
  virtual XbShort QueryTest(const std::string& Expression);
  virtual void Recall();
  virtual XbLong RecCount();
  virtual XbLong RecNo();
  virtual void Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value);
  virtual XbShort Rlock(XbLong RecNo);
  virtual XbShort Seek(const std::string& Key);
  // Returns the work area selected before; nothing is sent for the one already selected.
  virtual XbShort Select(XbShort WorkArea);
  void SetGaugeHook(XbPtr) {}
  virtual XbShort SetOrder(XbShort Order);
  virtual void SetPassword(const std::string& Password);
  virtual XbShort SetScope(const std::string& Low, const std::string& High);
  void SetStringType(XbShort) {}
  virtual void SetTranslate(XbShort On);
  virtual void SetTurboRead(XbShort On);
  virtual void Skip(XbLong Count);
  virtual XbLong SysProp(XbShort Code, XbPtr Value);
  virtual XbShort TagArea(const std::string& TagName);
  virtual std::string TagName(XbShort Order);
  virtual void Unlock(XbLong RecNo);
  virtual XbShort UseEx(const std::string& FileName, const std::string& Alias, XbShort OpenMode,
                        XbShort TableTypeCode, XbLong CommitLevel);
  virtual std::string EngineVersion();
  virtual XbShort WorkArea(const std::string& Alias);

  // ---- environment settings (sent only while active)
  virtual void SetCentury(XbShort On);
  virtual void SetDateFormat(XbShort Code);
  virtual void SetDeleted(XbShort On);
  virtual XbLong SetEpoch(XbShort Year);
  virtual void SetExact(XbShort On);
  virtual void SetSoftSeek(XbShort On);
  virtual void SetLockTimeOut(XbLong Seconds);
  virtual XbLong SetMemoBlockSize(XbShort Size);

  // ---- the table's open, structure and block fetch
  void Use(const TXbUseRequest& Request, TXbUseReply& Reply, TIndexDefs& IndexDefs) override;
  std::string GetStructure() override;
  XbShort TraverseTable(XbLong& FetchBlockCount, XbShort BofPending, XbShort EofPending,
                        XbShort EOFAction, XbShort GetMode, XbShort LastGetMode,
                        std::vector<char>& RecordImage, XbLong RecordSize, XbLong FetchCount,
                        XbLong CurrentRecNo, std::vector<TFetchSlot>& FetchSlots) override;

  // ---- server procedures: the parameter list of ProcName, and the call of RequestStream
  virtual TMemoryStream* SetDLLProcName(const std::string& DatabaseName,
                                        const std::string& ProcName);
  virtual TMemoryStream* ExecProc();

  // ---- SQL statements. AccessMethod 1 sends to the server; any other value takes the local
  // route, which needs the SQL add-on.
  int32_t sql_Prepare(int AccessMethod, const std::string& DatabaseName,
                      const TXbTables& TableNames, bool Century, const std::string& DateFormat,
                      bool SetDeleted, int MemoBlockSize, const TParams* Params, bool ReadOnly,
                      int TableType, const std::string& Password, bool OEMTranslate,
                      int CommitLevel, int& ErrorNo, std::string& Msg);
  void sql_OpenSQL(int AccessMethod, int32_t Handle, const std::string& SQLText,
                   std::string& Msg, int& ErrorNo, int& RowSize, int& FieldCount, int& RowCount);
  TMemoryStream* sql_GetStructure(int AccessMethod, int32_t Handle);
  // Asks for FetchCount rows from FirstRow (fewer at the end of TotalRows).
  TMemoryStream* sql_GetRecord(int AccessMethod, int32_t Handle, int TotalRows, int FetchCount,
                               int FirstRow);
  TMemoryStream* sql_ReadBlobData(int AccessMethod, int32_t Handle, int FieldIndex, int Row);
  void sql_CloseSQL(int AccessMethod, int32_t Handle);
  void sql_UnPrepare(int AccessMethod, int32_t Handle);

  // The reply text buffer holds at most this many bytes of a text reply.
  static constexpr int kReplyTextCapacity = 65539;
  // The largest payload a message may carry, plain or expanded (a reply text holds 64 KB, a
  // record 64 KB, and a blob or a block of rows is fetched in parts); a header announcing more
  // is damaged and refused before any of it is read.
  static constexpr int64_t kMaxPayload = 256 * 1024 * 1024;
  // The slowest a message's payload may come, in bytes per second, beyond the TimeOut it
  // starts with (see FillReadStream).
  static constexpr int64_t kMinReplyRate = 8 * 1024;

 protected:
  enum TReport { rpReport, rpSilent, rpQuiet };
  // Runs one operation under its guard: a failure is reported as (Label, Msg) (or not at
  // all, or without letting the report raise) and gives Fail.
  template <class R, class F>
  R Guarded(const std::string& Label, const std::string& Msg, TReport Mode, R Fail, F&& Body);
  template <class R, class F>
  R Op(const char* Name, R Fail, F&& Body, TReport Mode = rpReport) {
    return Guarded<R>(std::string("XbConnection.") + Name, Name, Mode, Fail,
                      std::forward<F>(Body));
  }
  // The reply of a request as text.
  std::string Xmit(const char* Code, const std::string& Payload);
  void SetPollTimer(bool On);
  // Sends one request with a text payload; a failure makes the connection inactive, is
  // reported under Label and gives false.
  bool SendText(const std::string& Code, const std::string& Payload, const char* Label);
  void SendHeaderAndStream(const std::string& Code, TMemoryStream& Payload, int& Sent,
                           int& PayloadSize);

  // Compressed payloads both ways; nothing in the connection turns it on (a test's subclass
  // does).
  bool FCompression = false;

 private:
  std::string FTag = "0000";
  const std::string FLoginEmpty;
  const std::string FLoginDefault = "Default";
  const int FLoginSix = 6;
  const int FLoginZero = 0;
  bool FLoggedIn = false;
  bool FPollSwitch = true;
  TTimer* FPollTimer = nullptr;
  TMemoryStream FReplyStream;
  TMemoryStream FRequestStream;
  std::array<char, kReplyTextCapacity + 1> FReplyText{};
};

template <class R, class F>
R TXbConnection::Guarded(const std::string& Label, const std::string& Msg, TReport Mode, R Fail,
                         F&& Body) {
  try {
    return Body();
  } catch (...) {
    if (Mode == rpSilent) return Fail;
    if (Mode == rpQuiet) {
      try {
        ReportError(Label, Msg);
      } catch (...) {
      }
      return Fail;
    }
    ReportError(Label, Msg);
    return Fail;
  }
}
