// TXbTable: the table dataset. One xBase table (a .dbf data file with its memo and index
// files) shown through the dataset framework, one engine work area per open table. Every
// table of the program is one.
//
// Shape: TXbTable is a TDataSet (buffered records, fields, data sources, events) and a
// TXbDispatch (the engine-call layer with the table's routing and cached state: WorkArea,
// CurrentRecNo, OrderPosition, CachedRecCount, CurrentOrder, IndexName, DatabaseName, ...).
// Every public operation selects the table's own work area first; nothing relies on a
// selection made by an earlier call.
//
// Files:
//   XbTable.cpp        life, open and close, field and index definitions
//   XbTableRecord.cpp  record buffer, field data, editing and posting, blobs, bookmarks
//   XbTableOps.cpp     creation, append, copy, field reads, file names
//   XbTableNav.cpp     navigation and the server fetch-ahead
//   XbTableIndex.cpp, XbTableQuery.cpp, XbTableMaster.cpp: the block at the end of the class
//
// Record buffer (laid out by InternalOpen each time the table opens):
//   [data fields]  one slot per data field, in field-list order: 1 present byte (0 null,
//                  1 value), then the field's native form (DataSize bytes; blobs have none)
//   [calc area]    CalcAreaOffset: the dataset's calculated-field area
//   [blob slots]   BlobAreaOffset: one TBlobSlot per blob field, by the field's blob number
//   [bookmark]     BookmarkOffset: int32 engine record number, then 1 flag byte
// Blob slots own their Data block; FreeRecordBuffer and InternalInitRecord release it.
//
// Errors are EXbError (XbError.h) with fixed English texts, raised through RaiseXbError so
// the message stays in LastErrorMessage. Several refusals are raised only while ErrorFunc is
// -1, its default.
//
// Ownership: the table owns its field infos, ExtraIndexes list, master link and fetch slots.
// GUI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"
#include "platform/core/Classes.h"
#include "platform/core/DataSet.h"
#include "platform/core/DataSource.h"
#include "platform/core/Streams.h"
#include "remote/XbConnection.h"
#include "table/XbDispatch.h"
#include "table/XbEnv.h"
#include "table/XbError.h"

class TXbConnection;
class TXbDatabase;
class TXbTable;

enum TXbTableType { ttXBNTX = 0, ttXBFOX = 1, ttXBNSX = 2, ttXBNSX_DBT = 3, ttXBNONE = 4 };
// Passed to the engine open; a non-zero level makes every commit reach the disk.
enum TXbCommitLevel { clNormal = 0, clFull = 1 };
enum TEOFAction { eaEOF = 0, eaMoveLast = 1 };
// How the record count is taken: the engine's raw count, the engine's count under its
// current conditions (Count), or the records passing the active query (QueryRecCount).
enum TSequencedCount { scRawCount = 0, scAllCount = 1, scFilterOnlyCount = 2 };

// The engine's table code of a table type: NTX 1, NSX 3, NSX with DBT memos 4, others 2.
XbShort EngineTableCode(TXbTableType Type);

// Where one engine field lives in the engine record and in the record buffer.
struct TFieldInfo {
  int EngineOffset = 0;  // in RecordImage, 0-based
  int BufferOffset = 0;  // of the field's slot in the record buffer
  int Width = 0;         // engine width in bytes
  int Decimals = 0;
  std::string Name;      // upper-cased engine name
  char TypeLetter = ' ';
};

// One blob or memo field's content in a record buffer.
struct TBlobSlot {
  XbLong Length = 0;        // bytes held in Data
  char* Data = nullptr;     // owned: Length + 1 bytes, NUL after the content; none when empty
  char MemoRef[10];         // the field's bytes in the engine record; ten blanks = no memo
  uint8_t Modified = 0;     // 255 after a stream wrote the field
  uint8_t Loaded = 0;       // 255 once Data holds the engine's content for the record
};

struct TXbEnvSnapshot {
  int Epoch = 1980;
  bool Century = true;
  bool Exact = false;
  bool SoftSeek = false;
  TXbDateFrmt DateFormat = dfWinDefault;
  uint16_t MemoBlockSize = 64;
  bool Deleted = false;
  bool CountNeedsRefresh = true;
  int ErrorLevel = 1;
  XbLong ErrorFunc = -1;
};

// The server's table open, structure and block fetch (TXbUseRequest, TXbUseReply,
// TFetchSlot, IXbTableServer) are declared with the connection.

// The stream of one memo or blob field (CreateBlobStream). Reading fetches the content from
// the engine once per buffer fill; writing keeps it in the buffer's slot until the post.
class TApBlobStream : public TMemoryStream {
 public:
  TApBlobStream(TField* AField, TBlobStreamMode AMode);
  ~TApBlobStream() override;
  TBlobStreamMode Mode;
  TField* Field;
  TXbTable* DataSet;

 private:
  TBlobSlot* FSlot = nullptr;
};

class TXbTable : public TDataSet, public TXbDispatch {
 public:
  explicit TXbTable(TComponent* AOwner = nullptr);
  ~TXbTable() override;

  using TXbDispatch::RecordSize;  // the engine record's length

  // ---- published properties (plain values)
  TXbCommitLevel CommitLevel() const { return FCommitLevel; }
  const std::string& Password() const { return FPassword; }
  bool OEMTranslate() const { return FOEMTranslate; }
  bool TurboRead() const { return FTurboRead; }
  bool ReadOnly() const { return FReadOnly; }
  bool SpeedMode() const { return FSpeedMode; }
  const std::string& TableName() const { return FTableName; }
  TXbTableType TableType() const { return FTableType; }
  TEOFAction EOFAction = eaMoveLast;
  TSequencedCount SequencedCount = scRawCount;

  // Open mode 2; refused while open ("Cannot perform this operation on an open table").
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  // Record numbers usable as positions; always false for ttXBNTX.
  bool Sequenced() { return IsSequenced(); }
  void SetSequenced(bool Value);
  // Records per server fetch; refused while open; values below 1 become 1.
  int FetchCount() const { return FFetchCount; }
  void SetFetchCount(int Value);
  // Also sets AccessMethod (amServer when assigned, amLocal when cleared) at design time.
  void SetXbConnection(TXbConnection* Value);
  // "<engine version>, <component version>".
  std::string Version();

  // ---- internal state shared by the table's files
  bool CursorOpen = false;
  int EngineFieldCount = 0;
  std::vector<TFieldInfo> FieldInfos;  // entry n-1 belongs to field number n
  std::string DataFolder;              // with a trailing delimiter
  XbShort TableEncrypted = 0;
  XbLong RawRecCount = -1;
  bool CountNeedsRefresh = true;
  XbShort BofPending = 0;
  XbShort EofPending = 0;
  TXbEnvSnapshot EnvSnapshot;
  bool EnvApplies = false;
  XbLong ErrorFunc = -1;
  std::string LastErrorMessage;
  bool OpeningFieldDefs = false;
  XbLong InsertReturnRecNo = 0;
  XbShort BlankAppended = 0;
  // Fetch-ahead.
  std::vector<TFetchSlot> FetchSlots;
  XbLong FetchBlockCount = -1;
  XbLong FetchIndex = 0;
  uint8_t LastGetMode = 0;
  // The tag list the component carries for its users; nothing fills it.
  std::vector<std::string> TagStructure;
  // Built from the engine's orders; IndexDefs().Updated false marks them stale, and
  // UpdateIndexDefs rebuilds stale ones on an open table.
  TIndexDefs& IndexDefs() { return *FIndexDefs; }

  // Record buffer layout (valid while open).
  int CalcAreaOffset = 0;
  int BlobAreaOffset = 0;
  int BookmarkOffset = 0;
  int RecordBufferSize = 0;

  // ---- component life
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // ---- open procedure and definitions
  // Opens the engine table from the component's settings; WorkArea > 0 afterwards.
  void OpenEngineTable();
  // Field names of an index key expression joined with ";" (UPPER(NAME)+DTOS(DAY) gives
  // NAME;DAY).
  static std::string KeyFieldsOfExpression(const std::string& Expression);

  // ---- counts and positions
  // RawRecCount := xb_RecCount; CachedRecCount by SequencedCount; CountNeedsRefresh := false.
  void RefreshCounts();
  // The position of the current record in the active order (computed when OrderPosition
  // is -2).
  XbLong OrderPositionOf();
  // Moves to position N of the view, as a scroll bar does: in an index order N counts in
  // that order (TDataSet::RecNo() reads the same position back). The published RecNo
  // writer, SetRecNo, takes a record number instead.
  void SetSequencePosition(int N);

  // ---- record translation (engine image <-> buffer)
  void RecordToBuffer(TRecordBuffer Buffer);
  void BufferToRecord(TRecordBuffer Buffer);
  // A Julian day number as a date; 0 and 1e100 give 0. Raises "Invalid Date value".
  static TDateTime JulianDayToDate(double Value);

  // The bookmark area of a buffer.
  XbLong BufferRecNo(TRecordBuffer Buffer) const;
  void SetBufferRecNo(TRecordBuffer Buffer, XbLong RecNo);
  TBlobSlot* BlobSlotOf(TRecordBuffer Buffer, TField* Field) const;

  // ---- creation, append, copy, field reads
  void AppendBlank();
  XbShort AppendFrom(const std::string& SourceFile, XbShort TableTypeCode,
                     const std::string& Condition);
  void Commit();
  XbShort CopyFile(const std::string& TargetFile);
  XbLong Count();
  bool CreateNew(const std::string& FileName, XbShort TableTypeCode, XbShort FieldCount);
  void CreateField(const std::string& Name, const std::string& TypeLetter, XbShort Length,
                   XbShort Decimals);
  XbShort CreateExec();
  std::string DBFilter();
  // Browse check, BeforeDelete, BeforeScroll, InternalDelete, AfterDelete, AfterScroll; no
  // confirmation.
  void Delete() override;
  XbShort FieldWidth(const std::string& FieldName);
  XbShort Flock();
  XbLong GetLong(const std::string& FieldName);
  std::string GetString(const std::string& FieldName);
  std::string GetTrimString(const std::string& FieldName);
  std::string FullTableFileName();
  bool TableFileExists();
  std::string DefaultIndexExtension() const;

  // ---- navigation
  void GoTop();
  void GoBottom();
  void Skip(XbLong N);
  int MoveBy(int Distance) override;
  void Next() override;
  void Prior() override;
  virtual void BeginScroll();
  virtual void EndScroll();
  bool Bof() override;
  bool Eof() override;
  // Moves the engine to the active buffer's record first.
  void Resync(TResyncMode Mode) override;

  // ---- dataset overrides
  void Cancel() override;
  bool BookmarkValid(const TBookmark& Bookmark) override;
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;

  // ---- environment refresh hooks (TXbEnv.RefreshTables)
  bool DispatchActive() const override { return WorkArea > 0 && CursorOpen; }
  void RefreshFromEnvironment() override;

 protected:
  friend class TApBlobStream;

  // ---- record buffer slots
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void ClearBuffers() override;
  void ClearCalcFields(TRecordBuffer Buffer) override;
  void RefreshInternalCalcFields(TRecordBuffer Buffer) override;
  int GetRecordSize() override { return BookmarkOffset; }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;

  // ---- cursor slots
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return CursorOpen; }
  void InternalInitFieldDefs() override;
  // The open's steps after the definitions (fields, buffer layout, filter, master scope).
  void FinishOpen();
  // The field definitions from the engine's field list of the open work area.
  void ReadFieldDefs();
  // Undoes what a failed open did, so the table is closed and can be opened afresh.
  void AbandonOpen() noexcept;
  // Closes the engine's work area of this table, if any; WorkArea is 0 afterwards.
  void CloseEngineTable() noexcept;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalRefresh() override;
  void InternalPost() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalDelete() override;
  void InternalHandleException() override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  int GetRecNo() override;
  int GetRecordCount() override;
  bool IsSequenced() override;
  bool GetCanModify() override { return !FReadOnly; }
  void UpdateIndexDefs() override;
  void CreateFields() override;

  // ---- event hooks
  void DoAfterCancel() override;
  void DoAfterInsert() override;
  void DoAfterScroll() override;
  void DoBeforeEdit() override;
  void DoBeforeInsert() override;
  void DoOnNewRecord() override;

  // The local or server read of GetRecord's loop; R receives the record number.
  TGetResult ReadLocal(TGetMode GetMode, XbLong& R);
  TGetResult FetchRemote(TGetMode GetMode, XbLong& R);
  // Writes the modified memo and blob slots of Buffer to the engine's current record.
  void WriteBlobs(TRecordBuffer Buffer);
  // Active buffer flag and record number after a post, from the engine position.
  void TakePositionAfterPost();
  void ResetFetchBlock();
  void FreeFetchSlots();
  IXbTableServer* TableServer() const;
  // The record that a stream or a field read works on.
  TRecordBuffer FieldReadBuffer();
  bool IsInserting() const { return State() == dsInsert; }
  // Raises Message through RaiseXbError while ErrorFunc is -1; otherwise returns.
  void RefuseUnlessQuiet(const std::string& Message);
  // xb_GoTop; on the server route the record number is then taken from the server, since
  // the order may put another record first.
  void EngineGoTop();
  // One field of RecordImage (or of Image) in the buffer slot form (present byte, native data).
  void ReadFieldFromImage(TField* Field, const TFieldInfo& Info, char* Slot);
  void ReadFieldFromImage(TField* Field, const TFieldInfo& Info, char* Slot, const std::vector<char>& Image);
  // A record as the engine appends it: blanks, binary zero in I fields.
  std::vector<char> BlankImage() const;
  // Fills RecordImage from Buffer (may raise the translate error); nothing is written yet.
  // NewRecord: a record still to be appended, which starts blank; otherwise the record as
  // stored now, in which only the fields the edit changed are replaced.
  void BuildRecordImage(TRecordBuffer Buffer, bool NewRecord = false);
  // The shared write of InternalPost and InternalAddRecord: the image is built first (a
  // refused value raises before anything reaches the file, and the edit keeps its record
  // lock), then the record is appended when Inserting, the memos and blobs and the record
  // written and committed; a memo or record write that fails raises and marks an appended
  // record deleted again, for the next post of the insert to write into.
  void PostBuffer(TRecordBuffer Buffer, bool Inserting);
  // Raises "Record Write Error" unless the engine's current record holds every byte that
  // Written changed against Before (memo references aside).
  void CheckRecordWritten(const std::vector<char>& Before, const std::vector<char>& Written);
  // Releases the record lock that DoBeforeEdit took, and only that one.
  void ReleaseEditLock();

  std::unique_ptr<TIndexDefs> FIndexDefs;
  std::unique_ptr<TMasterDataLink> FMasterLink;
  std::unique_ptr<TStringList> FExtraIndexes;
  TXbCommitLevel FCommitLevel = clNormal;
  std::string FPassword;
  bool FOEMTranslate = false;
  bool FTurboRead = false;
  bool FReadOnly = false;
  bool FExclusive = false;
  bool FSpeedMode = false;
  bool FSequenced = true;
  std::string FTableName;
  TXbTableType FTableType = ttXBFOX;
  int FFetchCount = 50;
  // The dataset filter as applied to the engine query (Filtered at the last apply).
  bool FFilterActive = false;
  // The record DoBeforeEdit locked (0: none held by the edit).
  XbLong FEditLockRecNo = 0;
  // Records the caller locked with Rlock and has not unlocked: a delete leaves them locked.
  std::set<XbLong> FCallerLocks;
  // A record appended for the pending insert whose memo or record could not be written: it
  // lies deleted (or blank, when the delete was refused too), and the next post of the
  // insert writes into it instead of appending another.
  XbLong FFailedAppendRecNo = 0;
  // The record as stored when the edit began: a field whose buffer still holds this value
  // was not changed by the edit and keeps what is stored at the post, so a change another
  // user made meanwhile is never written back over.
  std::vector<char> EditOrigin;
  XbLong EditOriginRecNo = 0;

 public:
  // ---- index tags, orders, query, locks, master/detail ----
  // Implemented in XbTableIndex.cpp, XbTableQuery.cpp and XbTableMaster.cpp. The members
  // above call these: OpenEngineTable calls SetDataFolder, MakeAlias, SetIndexName (to
  // re-apply IndexName) and OpenExtraIndexes; InternalOpen calls Query (for the dataset
  // filter) and BuildMasterKey; InternalRefresh calls Query; CreateNew calls GetDatabase;
  // InternalGotoBookmark calls SetRecNo; GetRecNo and RecCount share RefreshCounts (above).

  // Index tags and orders.
  XbShort IndexTag(const std::string& FileName, const std::string& TagName,
                   const std::string& Expression, XbShort Option, bool Descend,
                   const std::string& Condition);
  XbShort SetOrder(XbShort Order);
  XbShort TagArea(const std::string& TagName);
  std::string TagName(XbShort Order);
  std::string IndexKey();
  XbLong IndexOrd();
  // Writing IndexName (the value itself is TXbDispatch::IndexName).
  void SetIndexName(const std::string& Value);
  TStringList& ExtraIndexes() { return *FExtraIndexes; }
  void SetExtraIndexes(const TStrings& Value);
  virtual void ExtraIndexesChange(TObject* Sender);
  virtual void OpenExtraIndexes();

  // Scopes and seek (the bounds themselves are TXbDispatch::ScopeBegin / ScopeEnd).
  XbShort SetScope(const std::string& Low, const std::string& High);
  void SetScopeBegin(const std::string& Value);
  void SetScopeEnd(const std::string& Value);
  bool Scoped() const { return FScoped; }
  void SetScoped(bool Value);
  XbShort Seek(const std::string& Key);

  // Damaged index files. The engine repairs what it can and serves the rest from copies of
  // its own; what is left is said here. IndexTagsLost: tags of the table's index files went
  // since the open, their definitions unreadable (the owner may build them again). An order
  // the engine had to give up while the table moved in it ends the move with EXbError
  // kIndexGivenUp + the order's name, IndexName following the engine to natural order.
  bool IndexTagsLost = false;
  static constexpr const char* kIndexGivenUp = "Damaged index, order given up: ";
  // The lock error: another user's record lock, or an index file's lock that another copy
  // kept past the wait (the write, append, tag build or move that needed it was not made).
  static constexpr const char* kRecordLockFailure = "Record Lock Failure. May be locked by another user or task.";
  // Takes the engine's report: true when an order was given up, whose name goes to GivenUp.
  // An index lock kept past the wait raises the lock error (unless refusals are quiet).
  bool TakeIndexFaults(std::string* GivenUp = nullptr);
  // The same, raising for an order given up.
  void CheckIndexFaults();

  // Query and filter.
  XbLong Query(const std::string& Expression);
  void SetFilterText(const std::string& Value) override;
  void SetFiltered(bool Value) override;
  XbLong QueryRecCount();

  // Record count and the published record number (a record number, not a position).
  XbLong RecCount();
  XbLong RecNo();
  void SetRecNo(int Value) override;

  // Field writes, locks, undelete, encryption, gauge.
  void Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value);
  XbShort Rlock(XbLong RecNo);
  void Unlock(XbLong RecNo);
  void Recall();
  XbShort IsEncrypted(XbShort Which);
  void SetGaugeHook(intptr_t Window);

  // Property setters.
  void SetAccessMethod(TAccessMethod Value);
  void SetTableType(TXbTableType Value);
  void SetCommitLevel(TXbCommitLevel Value);
  void SetReadOnly(bool Value);
  void SetTableName(const std::string& Value);
  void SetDatabaseName(const std::string& Value);
  void SetPassword(const std::string& Value);
  void SetOEMTranslate(bool Value);
  void SetTurboRead(bool Value);
  void SetSpeedMode(bool Value);

  // DatabaseName resolution and the engine alias.
  TXbDatabase* DatabaseComponent = nullptr;
  TXbDatabase* GetDatabase();
  // The folder of the table's DatabaseName, with a trailing delimiter; raises "Invalid
  // DatabaseName value : " for a name that is neither an alias nor a folder.
  std::string DatabaseFolder();
  // DataFolder := the folder of TableName, or else DatabaseFolder().
  void SetDataFolder();
  std::string MakeAlias(const std::string& FileName);

  // Master/detail, Lookup, Locate.
  TDataSource* MasterSource() const;
  void SetMasterSource(TDataSource* Value);
  std::string MasterFields() const;
  void SetMasterFields(const std::string& Value);
  TDataSource* GetDataSource() override { return MasterSource(); }
  void MasterChanged(TObject* Sender);
  void MasterDisabled(TObject* Sender);
  // The key of the master's current record in the detail's index form.
  std::string BuildMasterKey();
  std::string LastMasterKey;
  std::string LastMasterIndexName;
  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                 const std::string& ResultFields) override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override;

 protected:
  bool SeekOneField(const std::vector<TField*>& Fields, const Variant& Value,
                    XbShort RestoreOrder, TLocateOptions Options);
  // Locate's search, by seek on the field's order or by query; true leaves the engine on the
  // record found. The caller gives the order and the record back otherwise.
  bool LocateRecord(const std::vector<TField*>& Fields, const std::string& KeyFields,
                    const Variant& KeyValues, TLocateOptions Options, XbShort StartOrder);
  // Marks the index definitions stale and reads them again from the engine.
  void RebuildIndexDefs();
  // Filter and Filtered share one engine query: Text when the filter is on, none when off.
  void ApplyFilter(const std::string& Text);
  bool FScoped = false;
};
