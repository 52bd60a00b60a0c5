// The buffered dataset: the base of every table and query. TDataSet keeps the dataset state,
// a ring of record buffers around the current record, the field list, and the data sources
// that tell controls about changes; a descendant supplies the records through the virtual
// slots below (InternalOpen, GetRecord, InternalPost, ...), which the base calls.
//
// Buffers: BufferCount buffers (the largest BufferCount of the data links, at least 1) hold
// consecutive records of the view, BufferedRecordCount() of them valid, the current one at
// ActiveRecord(); one more scratch buffer receives each fetch, and TempBuffer() is a spare
// record for descendants (Lookup). Each buffer is AllocRecordBuffer's block; the descendant
// decides its layout (field data, calculated area of CalcFieldsSize() bytes, bookmark). The
// base tracks which buffer the descendant's cursor stands on (CurrentRecord) and moves the
// cursor with InternalSetToRecord / InternalFirst / InternalLast (UpdateCursorPos) before it
// asks for neighbours.
//
// GetRecord(Buffer, gmCurrent/gmNext/gmPrior, DoCheck) fills Buffer with the record at, after
// or before the cursor, moves the cursor there and answers grOK, grBOF, grEOF or grError. After
// InternalFirst the next gmNext gives the first record; after InternalLast the next gmPrior
// gives the last. A descendant's GetRecord computes calculated fields with GetCalcFields and
// applies OnFilterRecord (when Filtered) with DoFilterRecord.
//
// Destruction: a C++ base destructor cannot reach the descendant's InternalClose, so every
// descendant must close itself at the start of its own destructor (CloseForDestroy). A
// dataset left open anyway is torn down here without calling any slot: controls are told it
// is inactive, fields and data sources are detached, and the record buffers are released with
// delete[] (which is why AllocRecordBuffer must allocate them with new char[]); memory that a
// descendant keeps inside its buffers is then lost, but nothing is called on a dead object.
//
// Events are std::function members; the base invokes a copy, so a handler may reassign or
// clear its own event. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/DbConsts.h"
#include "platform/core/Fields.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"

class TDataSource;
class TDataLink;

enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

enum TDataEvent {
  deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
  deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
  deFocusControl, deParentScroll, deConnectChange
};

enum TGetMode { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
enum TGetResult { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
enum TBookmarkFlag { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

enum : unsigned { rmExact = 1u << 0, rmCenter = 1u << 1 };
using TResyncMode = unsigned;
enum : unsigned { loCaseInsensitive = 1u << 0, loPartialKey = 1u << 1 };
using TLocateOptions = unsigned;
enum : unsigned { foCaseInsensitive = 1u << 0, foNoPartialCompare = 1u << 1 };
using TFilterOptions = unsigned;

enum TDataAction { daFail, daAbort, daRetry };
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };

using TRecordBuffer = char*;
// The bytes of a bookmark (BookmarkSize of them); empty means no bookmark.
using TBookmark = std::vector<char>;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TUpdateRecordEvent =
    std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;
using TUpdateErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E,
                                             TUpdateKind UpdateKind, TUpdateAction& Action)>;

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* AOwner = nullptr);
  ~TDataSet() override;

  // ---- state, open and close
  TDataSetState State() const { return FState; }
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  // Opens (BeforeOpen, InternalOpen, AfterOpen, AfterScroll) or closes (BeforeClose,
  // InternalClose, AfterClose; pending edits are discarded). While the component is loading
  // the value is kept and applied by Loaded. A failed open leaves the dataset closed.
  virtual void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  void Loaded() override;

  // ---- navigation (BeforeScroll around each move, AfterScroll once it was tried)
  virtual void First();
  virtual void Last();
  // One step, through the base MoveBy: a descendant's MoveBy override is for jumps.
  virtual void Next();
  virtual void Prior();
  // Moves up to Distance records (negative: backwards); returns the distance moved.
  virtual int MoveBy(int Distance);
  // At the first / past the last record (both on an empty view).
  virtual bool Bof() { return FBOF; }
  virtual bool Eof() { return FEOF; }
  bool IsEmpty() const { return FRecordCount == 0; }
  // Re-reads the buffers around the cursor's record: rmExact insists on that record ("Record
  // not found"), rmCenter puts it in the middle of the buffers; without rmExact a vanished
  // record gives way to its neighbour.
  virtual void Resync(TResyncMode Mode);
  // BeforeRefresh, InternalRefresh, Resync, AfterRefresh.
  void Refresh();
  // Posts or cancels pending edits (posts when a field changed) and lets data links post
  // theirs; raises on a closed dataset.
  void CheckBrowseMode();
  void UpdateCursorPos();
  void CursorPosChanged() { FCurrentRecord = -1; }

  // ---- editing
  // Nothing in edit or insert state; on an empty dataset it inserts.
  virtual void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  // In insert state Delete cancels the insert.
  virtual void Delete();
  // A new record with Values (in field order; Empty skips a field, Null clears it), posted
  // at once through InternalAddRecord.
  void InsertRecord(const std::vector<Variant>& Values);
  void AppendRecord(const std::vector<Variant>& Values);
  void SetFields(const std::vector<Variant>& Values);
  // Makes the data links write their controls' values into the fields.
  void UpdateRecord();
  bool Modified() const { return FModified; }
  bool CanModify() { return GetCanModify(); }

  // ---- controls
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }

  // ---- fields
  TFields& Fields() { return *FFields; }
  int FieldCount() const { return FFields->Count(); }
  TField* FindField(std::string_view FieldName) const { return FFields->FindField(FieldName); }
  TField* FieldByName(std::string_view FieldName) const;
  // The fields named in FieldNames (";"-separated); an unknown name raises.
  std::vector<TField*> GetFieldList(const std::string& FieldNames) const;
  void GetFieldNames(TStrings& List) const;
  // One field's value, or an array of the values of several ";"-separated fields.
  Variant FieldValues(const std::string& FieldNames) const;
  void SetFieldValues(const std::string& FieldNames, const Variant& Value);
  TFieldDefs& FieldDefs() { return *FFieldDefs; }
  // True when the open made the fields from the definitions (no persistent fields).
  bool DefaultFields() const { return FDefaultFields; }
  // Bytes of the calculated-field area, fixed when the fields are bound.
  int CalcFieldsSize() const { return FCalcFieldsSize; }
  int BlobFieldCount() const { return FBlobFieldCount; }
  bool AutoCalcFields = true;

  // ---- records
  int RecNo() { return GetRecNo(); }
  virtual void SetRecNo(int Value) {}
  int RecordCount() { return GetRecordCount(); }
  int RecordSize() { return GetRecordSize(); }

  // ---- bookmarks
  TBookmark GetBookmark();
  // An empty bookmark is ignored; one of the wrong size raises "Invalid bookmark".
  void GotoBookmark(const TBookmark& Bookmark);
  void FreeBookmark(TBookmark& Bookmark) { Bookmark.clear(); }
  TBookmark Bookmark() { return GetBookmark(); }
  void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
  bool BookmarkAvailable();
  virtual bool BookmarkValid(const TBookmark& Bookmark) { return false; }
  // -1, 0 or 1; the base answers 0.
  virtual int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
    return 0;
  }

  // ---- search. The base scans the view from the first record; Locate makes the found
  // record current (and stays put otherwise), Lookup keeps the current record.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options);
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields);

  // ---- record search through the filter handler: a descendant's FindRecord moves to the
  // first, last, next or prior record its filter accepts (the base finds nothing).
  virtual bool FindRecord(bool Restart, bool GoForward) { return false; }
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }

  // ---- filter. The base only stores these; a descendant re-reads its view in its overrides.
  const std::string& Filter() const { return FFilterText; }
  void SetFilter(const std::string& Value) { SetFilterText(Value); }
  virtual void SetFilterText(const std::string& Value);
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool Value);
  TFilterOptions FilterOptions = 0;

  // ---- field data and blobs (called by the fields). The base has no record data: its
  // GetFieldData answers false, SetFieldData does nothing, CreateBlobStream gives nullptr.
  virtual bool GetFieldData(TField* Field, void* Buffer) { return false; }
  virtual void SetFieldData(TField* Field, const void* Buffer) {}
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    return nullptr;
  }

  // ---- data sources
  // The master data source of a detail dataset (nullptr: none).
  virtual TDataSource* GetDataSource() { return nullptr; }
  // Tells the data sources (and so the controls) about an event; deFieldChange also marks
  // the record modified, recalculates and runs the field's OnChange. Info: the TField* of
  // deFieldChange, the buffer shift of deDataSetScroll.
  virtual void DataEvent(TDataEvent Event, intptr_t Info);
  int BufferCount() const { return FBufferCount; }
  TRecordBuffer ActiveBuffer() const {
    return FBuffers.empty() ? nullptr : FBuffers[static_cast<size_t>(FActiveRecord)];
  }

  // ---- events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;
  TFilterRecordEvent OnFilterRecord;
  TUpdateRecordEvent OnUpdateRecord;
  TUpdateErrorEvent OnUpdateError;

 protected:
  // ---- record buffer slots
  // A block of GetRecordSize() bytes, allocated with new char[] (the base's: zero-filled).
  virtual TRecordBuffer AllocRecordBuffer();
  // Releases what AllocRecordBuffer made and sets Buffer to nullptr.
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer);
  virtual void InternalInitRecord(TRecordBuffer Buffer) {}
  // InternalInitRecord, ClearCalcFields, bookmark flag bfInserted.
  virtual void InitRecord(TRecordBuffer Buffer);
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
    return grEOF;
  }
  virtual int GetRecordSize() { return 0; }
  virtual void ClearBuffers();
  virtual void ClearCalcFields(TRecordBuffer Buffer) {}
  // ClearCalcFields, lookup fields, OnCalcFields (in dsCalcFields state, via GetCalcFields).
  virtual void CalculateFields(TRecordBuffer Buffer);
  virtual void RefreshInternalCalcFields(TRecordBuffer Buffer) {}

  // ---- cursor slots
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual bool IsCursorOpen() { return false; }
  virtual void InternalInitFieldDefs() {}
  virtual void InternalFirst() {}
  virtual void InternalLast() {}
  virtual void InternalSetToRecord(TRecordBuffer Buffer) {}
  virtual void InternalRefresh() {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalPost() {}
  virtual void InternalCancel() {}
  virtual void InternalDelete() {}
  // InsertRecord / AppendRecord: write Buffer as a new record.
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) {}
  // Called inside a catch block: hands the exception in flight to the application's handler.
  virtual void InternalHandleException();
  virtual void InternalGotoBookmark(const void* Bookmark) {}
  virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) {}
  virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) {}
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) { return bfCurrent; }
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {}
  virtual int GetRecNo() { return -1; }
  virtual int GetRecordCount() { return -1; }
  virtual bool IsSequenced() { return false; }
  virtual bool GetCanModify() { return true; }
  virtual void UpdateIndexDefs() {}

  // ---- fields
  // Makes a field of each definition (owned by the dataset). Called by InternalOpen when
  // DefaultFields().
  virtual void CreateFields();
  // Frees every field (the default fields, at InternalClose).
  void DestroyFields();
  // Binding: each data field finds its definition by name (or raises "Field '<name>' not
  // found" / the type mismatch), takes the definition's field number and, for strings, its
  // size; calculated and lookup fields get their calculated-area offsets and blob fields
  // their blob numbers. Unbinding clears field numbers and offsets.
  virtual void BindFields(bool Binding);
  // Runs InternalInitFieldDefs (also on a closed dataset) and marks the definitions updated.
  void InitFieldDefs();

  // ---- open and close steps (called by SetActive)
  virtual void OpenCursor(bool InfoQuery);
  virtual void CloseCursor();
  // Closes during destruction: no BeforeClose/AfterClose, errors swallowed.
  void CloseForDestroy() noexcept;

  // ---- event hooks
  virtual void DoAfterCancel() { Fire(AfterCancel); }
  virtual void DoAfterClose() { Fire(AfterClose); }
  virtual void DoAfterDelete() { Fire(AfterDelete); }
  virtual void DoAfterEdit() { Fire(AfterEdit); }
  virtual void DoAfterInsert() { Fire(AfterInsert); }
  virtual void DoAfterOpen() { Fire(AfterOpen); }
  virtual void DoAfterPost() { Fire(AfterPost); }
  virtual void DoAfterRefresh() { Fire(AfterRefresh); }
  virtual void DoAfterScroll() { Fire(AfterScroll); }
  virtual void DoBeforeCancel() { Fire(BeforeCancel); }
  virtual void DoBeforeClose() { Fire(BeforeClose); }
  virtual void DoBeforeDelete() { Fire(BeforeDelete); }
  virtual void DoBeforeEdit() { Fire(BeforeEdit); }
  virtual void DoBeforeInsert() { Fire(BeforeInsert); }
  virtual void DoBeforeOpen() { Fire(BeforeOpen); }
  virtual void DoBeforePost() { Fire(BeforePost); }
  virtual void DoBeforeRefresh() { Fire(BeforeRefresh); }
  virtual void DoBeforeScroll() { Fire(BeforeScroll); }
  virtual void DoOnCalcFields() { Fire(OnCalcFields); }
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }

  // ---- helpers for descendants
  void SetState(TDataSetState Value);  // tells the controls
  TDataSetState SetTempState(TDataSetState Value);  // silent; undo with RestoreState
  void RestoreState(TDataSetState Value) { FState = Value; }
  void CheckActive() const;    // "Cannot perform this operation on a closed dataset"
  void CheckInactive() const;  // "Cannot perform this operation on an open dataset"
  void CheckCanModify();       // "Cannot modify a read-only dataset"
  // Runs Operation; an EDatabaseError goes to ErrorEvent, whose action fails (re-raises),
  // aborts (silent EAbort) or retries.
  void CheckOperation(const std::function<void()>& Operation,
                      const TDataSetErrorEvent& ErrorEvent);
  void SetModified(bool Value) { FModified = Value; }
  // Computes the calculated fields of Buffer in dsCalcFields state (CalcBuffer() = Buffer)
  // when the dataset has calculated or lookup fields.
  void GetCalcFields(TRecordBuffer Buffer);
  // Runs OnFilterRecord in dsFilter state with FilterBuffer() = Buffer; true when there is no
  // handler or it accepts. The caller checks Filtered. An exception from the handler passes
  // through after the state is restored.
  bool DoFilterRecord(TRecordBuffer Buffer);
  // The buffer the fields read now: the calculation buffer in dsCalcFields, the record under
  // test in dsFilter, the active buffer in edit and insert (and browse, unless empty: then
  // nullptr); nullptr when closed.
  TRecordBuffer GetActiveRecordBuffer();
  TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
  // For reading fields of another buffer in dsCalcFields state; returns the previous one.
  TRecordBuffer SetCalcBuffer(TRecordBuffer Buffer) {
    TRecordBuffer old = FCalcBuffer;
    FCalcBuffer = Buffer;
    return old;
  }
  TRecordBuffer FilterBuffer() const { return FFilterBuffer; }
  TRecordBuffer TempBuffer() const { return FTempBuffer; }
  TRecordBuffer Buffers(int Index) const { return FBuffers[static_cast<size_t>(Index)]; }
  int BufferedRecordCount() const { return FRecordCount; }
  int ActiveRecord() const { return FActiveRecord; }
  void SetActiveRecord(int Value);  // for controls that draw several records
  int CurrentRecord() const { return FCurrentRecord; }
  // Adapts the buffer count to the data links (at least 1).
  void UpdateBufferCount();
  void SetBof(bool Value) { FBOF = Value; }
  void SetEof(bool Value) { FEOF = Value; }
  // Bytes of a bookmark; set by InternalOpen.
  int BookmarkSize = 0;

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TFieldDefs;
  friend class TIndexDefs;

  void Fire(const TDataSetNotifyEvent& Event) {
    if (Event) {
      TDataSetNotifyEvent e = Event;
      e(this);
    }
  }
  void SetBufListSize(int Count);
  void FreeBuffers() noexcept;
  void SetCurrentRecord(int Index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void BeginInsertAppend();
  void EndInsertAppend();
  void PrepareNewRecord(bool Append);
  void AbandonNewRecord() noexcept;
  void AddRecord(const std::vector<Variant>& Values, bool Append);
  void CheckRequiredFields();
  bool RecordMatches(const std::vector<TField*>& Fields, const Variant& KeyValues,
                     TLocateOptions Options);
  void RestoreAfterScan(const TBookmark& Saved) noexcept;
  bool ScanFor(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
  void CalcLookupValue(TField* Field);
  void NotifyDataSources(TDataEvent Event, intptr_t Info);

  TDataSetState FState = dsInactive;
  std::vector<TRecordBuffer> FBuffers;  // FBufferCount buffers and the scratch buffer
  int FBufferCount = 0;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  TRecordBuffer FTempBuffer = nullptr;
  TRecordBuffer FCalcBuffer = nullptr;
  TRecordBuffer FFilterBuffer = nullptr;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FStreamedActive = false;
  bool FInternalOpenComplete = false;
  bool FDefaultFields = false;
  int FDisableCount = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  int FCalcFieldsSize = 0;
  int FBlobFieldCount = 0;
  bool FHasInternalCalcFields = false;
  std::unique_ptr<TFields> FFields;
  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::vector<TDataSource*> FDataSources;
  std::string FFilterText;
  bool FFiltered = false;
};
