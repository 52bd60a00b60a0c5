// The buffered dataset: state, the record buffer ring, navigation, editing, calculated
// fields, bookmarks, the generic Locate/Lookup scan, and the events to the data sources.
#include "platform/core/DataSet.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Cp949.h"
#include "platform/core/DataSource.h"
#include "platform/core/Services.h"

using namespace dbconsts;

void DatabaseError(const std::string& Message, const TComponent* Component) {
  if (Component && !Component->Name().empty())
    throw EDatabaseError(Component->Name() + ": " + Message);
  throw EDatabaseError(Message);
}

namespace {

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString;
}

bool TypesCompatible(TFieldType FieldType, TFieldType DefType) {
  if (FieldType == DefType) return true;
  if (IsStringType(FieldType) && IsStringType(DefType)) return true;
  if (IsBlobType(FieldType) && IsBlobType(DefType)) return true;
  return FieldType == ftInteger && DefType == ftAutoInc;
}

}  // namespace

// ---- Life ---------------------------------------------------------------------------------

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner),
      FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // Normally the descendant has closed already. If not, its slots are out of reach now:
  // tell the controls, then release the buffers with the base's own delete[].
  if (FState != dsInactive || !FBuffers.empty() || FTempBuffer) {
    FState = dsInactive;
    NotifyDataSources(deUpdateState, 0);
    FreeBuffers();
  }
  std::vector<TDataSource*> sources = FDataSources;
  FDataSources.clear();
  for (TDataSource* ds : sources) {
    ds->FDataSet = nullptr;
    ds->UpdateState();
  }
  std::vector<TField*> fields = FFields->FList;
  FFields->FList.clear();
  for (TField* f : fields) f->FDataSet = nullptr;
  for (TField* f : fields)
    if (f->Owner() == this || f->Owner() == nullptr) delete f;
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (FStreamedActive) {
    FStreamedActive = false;
    SetActive(true);
  }
}

// ---- Open and close -------------------------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (HasState(csLoading)) {
    FStreamedActive = Value;
    return;
  }
  if (FState == dsOpening || Value == Active()) return;
  if (Value) {
    DoBeforeOpen();
    FState = dsOpening;  // silent: controls see the dataset only once it is open
    try {
      OpenCursor(false);
    } catch (...) {
      FState = dsInactive;
      try {
        CloseCursor();
      } catch (...) {
      }
      throw;
    }
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    bool destroying = HasState(csDestroying);
    if (!destroying) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (!destroying) DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery) {
    InternalInitFieldDefs();
    return;
  }
  FDefaultFields = FFields->Count() == 0;
  InternalOpen();
  FInternalOpenComplete = true;
  FFieldDefs->Updated = true;
  UpdateBufferCount();
  FTempBuffer = AllocRecordBuffer();
  ClearBuffers();
  GetNextRecords();
  FBOF = true;
  FEOF = FRecordCount == 0;
}

void TDataSet::CloseCursor() {
  bool wasOpen = FInternalOpenComplete;
  FreeBuffers();
  FInternalOpenComplete = false;
  if (wasOpen || IsCursorOpen()) InternalClose();
  // Descendants unbind and free their default fields in InternalClose; make sure of it.
  if (wasOpen) BindFields(false);
  if (FDefaultFields) DestroyFields();
  FDefaultFields = false;
  FBOF = FEOF = true;
  FModified = false;
}

void TDataSet::CloseForDestroy() noexcept {
  Destroying();
  try {
    SetActive(false);
  } catch (...) {
    FState = dsInactive;
  }
}

// ---- Buffers --------------------------------------------------------------------------------

TRecordBuffer TDataSet::AllocRecordBuffer() {
  int n = GetRecordSize();
  auto* b = new char[static_cast<size_t>(n > 0 ? n : 1)];
  std::memset(b, 0, static_cast<size_t>(n > 0 ? n : 1));
  return b;
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::FreeBuffers() noexcept {
  for (TRecordBuffer& b : FBuffers) {
    try {
      FreeRecordBuffer(b);
    } catch (...) {
    }
  }
  FBuffers.clear();
  FBufferCount = 0;
  if (FTempBuffer) {
    try {
      FreeRecordBuffer(FTempBuffer);
    } catch (...) {
    }
    FTempBuffer = nullptr;
  }
  FCalcBuffer = FFilterBuffer = nullptr;
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = FEOF = true;
}

void TDataSet::UpdateBufferCount() {
  if (!FInternalOpenComplete) return;
  int n = 1;
  for (TDataSource* ds : FDataSources)
    for (TDataLink* link : ds->FDataLinks) n = std::max(n, link->BufferCount());
  SetBufListSize(n);
  for (TDataSource* ds : FDataSources)
    for (TDataLink* link : ds->FDataLinks) link->UpdateRange();
}

void TDataSet::SetBufListSize(int Count) {
  if (Count < 1) Count = 1;
  if (FBuffers.empty()) {
    for (int i = 0; i <= Count; ++i) FBuffers.push_back(AllocRecordBuffer());
    FBufferCount = Count;
    return;
  }
  if (Count == FBufferCount) return;
  if (Count > FBufferCount) {
    // New blocks go before the scratch buffer; they hold no record yet.
    for (int i = FBufferCount; i < Count; ++i)
      FBuffers.insert(FBuffers.begin() + i, AllocRecordBuffer());
    FBufferCount = Count;
    if (FState == dsBrowse && FRecordCount > 0) {
      GetNextRecords();
      GetPriorRecords();
    }
    return;
  }
  // Shrinking: keep the active record inside the remaining buffers.
  if (FActiveRecord >= Count) {
    int shift = FActiveRecord - Count + 1;
    std::rotate(FBuffers.begin(), FBuffers.begin() + shift, FBuffers.begin() + FBufferCount);
    FActiveRecord -= shift;
    FRecordCount -= shift;
    FCurrentRecord = FCurrentRecord >= shift ? FCurrentRecord - shift : -1;
  }
  if (FRecordCount > Count) FRecordCount = Count;
  if (FCurrentRecord >= Count) FCurrentRecord = -1;
  for (int i = Count; i < FBufferCount; ++i) FreeRecordBuffer(FBuffers[static_cast<size_t>(i)]);
  FBuffers.erase(FBuffers.begin() + Count, FBuffers.begin() + FBufferCount);
  FBufferCount = Count;
}

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer buf = FBuffers[static_cast<size_t>(Index)];
  switch (GetBookmarkFlag(buf)) {
    case bfCurrent:
    case bfInserted: InternalSetToRecord(buf); break;
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

void TDataSet::SetActiveRecord(int Value) {
  if (Value >= 0 && Value < std::max(FRecordCount, 1)) FActiveRecord = Value;
}

bool TDataSet::GetNextRecord() {
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  TRecordBuffer scratch = FBuffers[static_cast<size_t>(FBufferCount)];
  if (GetRecord(scratch, gmNext, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == FBufferCount) {
    // Full: the first record leaves, the new one takes the last place.
    std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.end());
  } else {
    std::swap(FBuffers[static_cast<size_t>(FRecordCount)],
              FBuffers[static_cast<size_t>(FBufferCount)]);
    ++FRecordCount;
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  TRecordBuffer scratch = FBuffers[static_cast<size_t>(FBufferCount)];
  if (GetRecord(scratch, gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  // The new record goes in front; when full the last one leaves.
  std::rotate(FBuffers.begin(), FBuffers.begin() + FBufferCount, FBuffers.end());
  if (FRecordCount < FBufferCount) ++FRecordCount;
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++n;
  if (FRecordCount > n) FActiveRecord += n;
  return n;
}

// ---- Navigation ---------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecords();
  } catch (...) {
    FBOF = true;
    FEOF = FRecordCount == 0;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  FBOF = true;
  FEOF = FRecordCount == 0;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    if (GetPriorRecord()) GetPriorRecords();
  } catch (...) {
    FActiveRecord = std::max(0, FRecordCount - 1);
    FBOF = FRecordCount == 0;
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  FActiveRecord = std::max(0, FRecordCount - 1);
  FBOF = FRecordCount == 0;
  FEOF = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

// Next and Prior use the base MoveBy on purpose: a descendant's MoveBy may treat a move
// as a jump (and drop read-ahead state), which a single step is not.
void TDataSet::Next() { TDataSet::MoveBy(1); }
void TDataSet::Prior() { TDataSet::MoveBy(-1); }

int TDataSet::MoveBy(int Distance) {
  CheckBrowseMode();
  int moved = 0;
  DoBeforeScroll();
  if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
    FBOF = FEOF = false;
    int oldRecordCount = FRecordCount;
    int shift = 0;
    try {
      while (Distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          bool full = FRecordCount == FBufferCount;
          if (!GetNextRecord()) {
            FEOF = true;
            break;
          }
          if (full) ++shift; else ++FActiveRecord;
        }
        --Distance;
        ++moved;
      }
      while (Distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          if (!GetPriorRecord()) {
            FBOF = true;
            break;
          }
          --shift;
        }
        ++Distance;
        --moved;
      }
    } catch (...) {
      DataEvent(deDataSetChange, 0);
      throw;
    }
    if (FRecordCount != oldRecordCount) DataEvent(deDataSetChange, 0);
    else DataEvent(deDataSetScroll, shift);
    DoAfterScroll();
  }
  return moved;
}

void TDataSet::Resync(TResyncMode Mode) {
  if (FBuffers.empty()) return;  // closed: nothing is buffered
  TRecordBuffer scratch = FBuffers[static_cast<size_t>(FBufferCount)];
  if (Mode & rmExact) {
    CursorPosChanged();
    if (GetRecord(scratch, gmCurrent, true) != grOK) DatabaseError(SRecordNotFound, this);
  } else if (GetRecord(scratch, gmCurrent, false) != grOK &&
             GetRecord(scratch, gmNext, false) != grOK &&
             GetRecord(scratch, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int before = (Mode & rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  std::swap(FBuffers[0], FBuffers[static_cast<size_t>(FBufferCount)]);
  FRecordCount = 1;
  FCurrentRecord = 0;
  FActiveRecord = 0;
  FBOF = FEOF = false;
  int got = 0;
  while (got < before && GetPriorRecord()) ++got;
  FActiveRecord = got;
  GetNextRecords();
  // Near the end the window fills up with the records before it, so a grid never shows
  // empty rows while there are records to show (after a filter is dropped, say).
  GetPriorRecords();
  DataEvent(deDataSetChange, 0);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  DoBeforeRefresh();
  UpdateCursorPos();
  InternalRefresh();
  Resync(0);
  DoAfterRefresh();
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified) Post(); else Cancel();
      break;
    case dsSetKey: Post(); break;
    default: break;
  }
}

// ---- Editing ------------------------------------------------------------------------------

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  UpdateCursorPos();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    AbandonNewRecord();
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

// Opens a buffer for a new record: before the active record (Insert) or after the last one
// (Append), keeping the descendant's cursor on the record to return to on Cancel.
void TDataSet::PrepareNewRecord(bool Append) {
  if (Append) {
    ClearBuffers();
    InternalLast();
    while (FRecordCount < FBufferCount - 1 && GetPriorRecord()) {
    }
    if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
    ++FRecordCount;
    FActiveRecord = FRecordCount - 1;
    InitRecord(ActiveBuffer());
    SetBookmarkFlag(ActiveBuffer(), bfEOF);
    FBOF = false;
    FEOF = true;
  } else {
    if (FRecordCount == 0) {
      FActiveRecord = 0;
      FRecordCount = 1;
    } else {
      UpdateCursorPos();
      int last = FRecordCount == FBufferCount ? FRecordCount - 1 : FRecordCount;
      std::rotate(FBuffers.begin() + FActiveRecord, FBuffers.begin() + last,
                  FBuffers.begin() + last + 1);
      if (FRecordCount < FBufferCount) ++FRecordCount;
      if (FCurrentRecord >= FActiveRecord) {
        ++FCurrentRecord;
        if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
      }
    }
    InitRecord(ActiveBuffer());
    FBOF = FEOF = false;
  }
}

// A new record that was never stored: back to the record shown before.
void TDataSet::AbandonNewRecord() noexcept {
  try {
    InternalCancel();
  } catch (...) {
  }
  try {
    SetState(dsBrowse);
  } catch (...) {
    FState = dsBrowse;
  }
  try {
    Resync(0);
  } catch (...) {
  }
}

void TDataSet::Insert() {
  BeginInsertAppend();
  PrepareNewRecord(false);
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  PrepareNewRecord(true);
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::AddRecord(const std::vector<Variant>& Values, bool Append) {
  BeginInsertAppend();
  PrepareNewRecord(Append);
  SetState(dsInsert);
  try {
    DoOnNewRecord();
    SetFields(Values);
    DoBeforePost();
    CheckRequiredFields();
    CheckOperation([this, Append] { InternalAddRecord(ActiveBuffer(), Append); }, OnPostError);
  } catch (...) {
    AbandonNewRecord();
    throw;
  }
  SetState(dsBrowse);
  Resync(0);
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) { AddRecord(Values, false); }
void TDataSet::AppendRecord(const std::vector<Variant>& Values) { AddRecord(Values, true); }

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    DatabaseError(SNotEditing, this);
  size_t n = std::min(Values.size(), FFields->FList.size());
  for (size_t i = 0; i < n; ++i)
    if (!Values[i].IsEmpty()) FFields->FList[i]->SetAsVariant(Values[i]);
}

void TDataSet::UpdateRecord() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckRequiredFields() {
  for (TField* f : FFields->FList) {
    if (f->Required && !f->ReadOnly && f->FieldKind() == fkData && f->IsNull()) {
      f->FocusControl();
      DatabaseError(::Format(SFieldRequired, f->DisplayName().c_str()), this);
    }
  }
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState == dsEdit || FState == dsInsert) {
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckRequiredFields();
    if (FState == dsEdit) UpdateCursorPos();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    SetState(dsBrowse);
    Resync(0);
    DoAfterPost();
  } else if (FState == dsSetKey) {
    SetState(dsBrowse);
  }
}

void TDataSet::Cancel() {
  if (FState == dsSetKey) {
    SetState(dsBrowse);
    return;
  }
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  // After an insert the cursor already stands on the record to return to.
  if (FState == dsEdit) UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  Resync(0);
  DoAfterCancel();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError(SDataSetEmpty, this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  UpdateCursorPos();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  SetState(dsBrowse);
  Resync(0);
  DoAfterDelete();
  DoAfterScroll();
}

// ---- Controls and events ------------------------------------------------------------------

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount == 0) {
    if (FDisableState != FState) NotifyDataSources(deUpdateState, 0);
    if (FDisableState != dsInactive && FState != dsInactive) NotifyDataSources(FEnableEvent, 0);
  }
}

void TDataSet::NotifyDataSources(TDataEvent Event, intptr_t Info) {
  std::vector<TDataSource*> sources = FDataSources;
  for (TDataSource* ds : sources)
    if (std::find(FDataSources.begin(), FDataSources.end(), ds) != FDataSources.end())
      ds->DataEvent(Event, Info);
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deFieldChange) {
    auto* field = reinterpret_cast<TField*>(Info);
    if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) {
      FModified = true;
      if (FState != dsSetKey && field->FieldKind() == fkData && ActiveBuffer()) {
        if (FHasInternalCalcFields) RefreshInternalCalcFields(ActiveBuffer());
        if (AutoCalcFields && FCalcFieldsSize > 0) GetCalcFields(ActiveBuffer());
      }
    }
    if (field && FState != dsSetKey) field->Change();
  }
  if (FDisableCount == 0) {
    NotifyDataSources(Event, Info);
  } else if (Event == deUpdateState && FState == dsInactive) {
    // Controls must never read a closed dataset, disabled or not.
    NotifyDataSources(Event, Info);
    FEnableEvent = deLayoutChange;
  } else if (Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
}

void TDataSet::SetState(TDataSetState Value) {
  if (FState == Value) return;
  FState = Value;
  FModified = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState old = FState;
  FState = Value;
  return old;
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(SDataSetOpen, this);
}

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly, this);
}

void TDataSet::CheckOperation(const std::function<void()>& Operation,
                              const TDataSetErrorEvent& ErrorEvent) {
  for (;;) {
    try {
      Operation();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (ErrorEvent) {
        TDataSetErrorEvent handler = ErrorEvent;
        handler(this, e, action);
      }
      if (action == daFail) throw;
      if (action == daAbort) Abort();
    }
  }
}

void TDataSet::InternalHandleException() { HandleException(); }

// ---- Calculated fields and filters --------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize == 0 || !Buffer) return;
  TRecordBuffer previous = FCalcBuffer;
  TDataSetState old = SetTempState(dsCalcFields);
  FCalcBuffer = Buffer;
  try {
    CalculateFields(Buffer);
  } catch (...) {
    FCalcBuffer = previous;
    RestoreState(old);
    throw;
  }
  FCalcBuffer = previous;
  RestoreState(old);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  ClearCalcFields(Buffer);
  for (TField* f : FFields->FList)
    if (f->FieldKind() == fkLookup) CalcLookupValue(f);
  DoOnCalcFields();
}

void TDataSet::CalcLookupValue(TField* Field) {
  if (Field->KeyFields.empty() || Field->LookupKeyFields.empty() ||
      Field->LookupResultField.empty() || !Field->LookupDataSet)
    DatabaseError(::Format(SLookupInfoError, Field->DisplayName().c_str()), this);
  if (!Field->LookupDataSet->Active()) return;
  Variant key = FieldValues(Field->KeyFields);
  if (key.IsNullOrEmpty()) return;
  Field->SetAsVariant(
      Field->LookupDataSet->Lookup(Field->LookupKeyFields, key, Field->LookupResultField));
}

bool TDataSet::DoFilterRecord(TRecordBuffer Buffer) {
  if (!OnFilterRecord) return true;
  TFilterRecordEvent handler = OnFilterRecord;
  bool accept = true;
  TRecordBuffer previous = FFilterBuffer;
  TDataSetState old = SetTempState(dsFilter);
  FFilterBuffer = Buffer;
  try {
    handler(this, accept);
  } catch (...) {
    FFilterBuffer = previous;
    RestoreState(old);
    throw;
  }
  FFilterBuffer = previous;
  RestoreState(old);
  return accept;
}

TRecordBuffer TDataSet::GetActiveRecordBuffer() {
  switch (FState) {
    case dsBrowse: return IsEmpty() ? nullptr : ActiveBuffer();
    case dsCalcFields: return FCalcBuffer;
    case dsFilter: return FFilterBuffer;
    case dsInactive:
    case dsOpening: return nullptr;
    default: return ActiveBuffer();
  }
}

void TDataSet::SetFilterText(const std::string& Value) {
  if (Active()) CheckBrowseMode();
  FFilterText = Value;
}

void TDataSet::SetFiltered(bool Value) {
  if (Active()) CheckBrowseMode();
  FFiltered = Value;
}

// ---- Fields -------------------------------------------------------------------------------

TField* TDataSet::FieldByName(std::string_view FieldName) const {
  return FFields->FieldByName(FieldName);
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& FieldNames) const {
  std::vector<TField*> out;
  for (const std::string& name : SplitFieldNames(FieldNames)) out.push_back(FieldByName(name));
  return out;
}

void TDataSet::GetFieldNames(TStrings& List) const {
  List.Clear();
  for (TField* f : FFields->FList) List.Add(f->FieldName());
}

Variant TDataSet::FieldValues(const std::string& FieldNames) const {
  std::vector<TField*> fields = GetFieldList(FieldNames);
  if (fields.size() == 1) return fields[0]->AsVariant();
  std::vector<Variant> values;
  for (TField* f : fields) values.push_back(f->AsVariant());
  return Variant::FromArray(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& FieldNames, const Variant& Value) {
  std::vector<TField*> fields = GetFieldList(FieldNames);
  if (fields.size() == 1 && !Value.IsArray()) {
    fields[0]->SetAsVariant(Value);
    return;
  }
  for (size_t i = 0; i < fields.size(); ++i)
    fields[i]->SetAsVariant(static_cast<int>(i) < Value.ArrayCount() ? Value[static_cast<int>(i)]
                                                                     : Variant::Null());
}

void TDataSet::CreateFields() {
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TFieldDef* d = FFieldDefs->Items(i);
    if (d->DataType != ftUnknown && !FindField(d->Name)) d->CreateField(this);
  }
}

void TDataSet::DestroyFields() {
  std::vector<TField*> fields = FFields->FList;
  FFields->FList.clear();
  for (TField* f : fields) {
    f->FDataSet = nullptr;
    delete f;
  }
}

void TDataSet::BindFields(bool Binding) {
  FCalcFieldsSize = 0;
  FBlobFieldCount = 0;
  FHasInternalCalcFields = false;
  for (TField* f : FFields->FList) {
    if (!Binding) {
      f->FFieldNo = 0;
      f->FOffset = 0;
      continue;
    }
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
      f->FFieldNo = -1;
      f->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += f->DataSize() + 1;
      continue;
    }
    int i = FFieldDefs->IndexOf(f->FieldName());
    if (i < 0) DatabaseError(::Format(SFieldNotFound, f->FieldName().c_str()), this);
    TFieldDef* d = FFieldDefs->Items(i);
    if (!TypesCompatible(f->DataType(), d->DataType))
      DatabaseError(::Format(SFieldTypeMismatch, f->DisplayName().c_str(),
                             FieldTypeName(f->DataType()), FieldTypeName(d->DataType)),
                    this);
    // The buffer layout follows the structure: a string field takes the stored width.
    if (IsStringType(f->DataType()) && d->Size > 0) f->FSize = d->Size;
    f->FFieldNo = d->FieldNo;
    f->FOffset = f->IsBlob() ? FBlobFieldCount++ : 0;
    if (f->FieldKind() == fkInternalCalc) FHasInternalCalcFields = true;
  }
}

void TDataSet::InitFieldDefs() {
  InternalInitFieldDefs();
  FFieldDefs->Updated = true;
}

// ---- Bookmarks ----------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() {
  return (FState == dsBrowse || FState == dsEdit || FState == dsInsert) && FRecordCount > 0 &&
         GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
  TBookmark b;
  if (BookmarkSize > 0 && BookmarkAvailable()) {
    b.assign(static_cast<size_t>(BookmarkSize), '\0');
    GetBookmarkData(ActiveBuffer(), b.data());
  }
  return b;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  if (static_cast<int>(Bookmark.size()) != BookmarkSize) DatabaseError(SInvalidBookmark, this);
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark.data());
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}

// ---- Locate and Lookup --------------------------------------------------------------------

bool TDataSet::RecordMatches(const std::vector<TField*>& Fields, const Variant& KeyValues,
                             TLocateOptions Options) {
  for (size_t i = 0; i < Fields.size(); ++i) {
    TField* f = Fields[i];
    Variant key;
    if (KeyValues.IsArray())
      key = static_cast<int>(i) < KeyValues.ArrayCount() ? KeyValues[static_cast<int>(i)]
                                                         : Variant::Null();
    else
      key = i == 0 ? KeyValues : Variant::Null();
    bool null = f->IsNull();
    if (key.IsNullOrEmpty()) {
      if (!null) return false;
      continue;
    }
    if (null) return false;
    TFieldType t = f->DataType();
    if (IsStringType(t) || t == ftMemo || t == ftFmtMemo) {
      std::string s = f->AsString(), k = key.AsString();
      if (Options & loCaseInsensitive) {
        s = cp949::Upper(s);
        k = cp949::Upper(k);
      }
      if (Options & loPartialKey) {
        if (s.compare(0, k.size(), k) != 0) return false;
      } else if (s != k) {
        return false;
      }
      continue;
    }
    Variant k = key;
    if (key.VarType() == varString) {
      // A text key is read in the field's own terms; a text that does not convert raises.
      if (t == ftDate || t == ftTime || t == ftDateTime) k = Variant::FromDateTime(key.AsDateTime());
      else if (t == ftBoolean) k = Variant(key.AsBoolean());
      else k = Variant(key.AsFloat());
    }
    if (f->AsVariant() != k) return false;
  }
  return true;
}

bool TDataSet::ScanFor(const std::string& KeyFields, const Variant& KeyValues,
                       TLocateOptions Options) {
  std::vector<TField*> fields = GetFieldList(KeyFields);
  if (fields.empty()) return false;
  TDataSet::First();
  if (IsEmpty()) return false;
  for (;;) {
    if (RecordMatches(fields, KeyValues, Options)) return true;
    TDataSet::MoveBy(1);
    if (FEOF) return false;  // the last record was tested already
  }
}

// A scan that failed half-way (a key that does not convert) goes back where it started.
void TDataSet::RestoreAfterScan(const TBookmark& Saved) noexcept {
  try {
    if (!Saved.empty()) GotoBookmark(Saved);
  } catch (...) {
  }
  try {
    EnableControls();
  } catch (...) {
  }
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
  CheckBrowseMode();
  TBookmark saved = GetBookmark();
  DisableControls();
  bool found = false;
  try {
    found = ScanFor(KeyFields, KeyValues, Options);
    if (!found && !saved.empty()) GotoBookmark(saved);
  } catch (...) {
    RestoreAfterScan(saved);
    throw;
  }
  EnableControls();
  return found;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
  CheckBrowseMode();
  Variant result = Variant::Null();
  TBookmark saved = GetBookmark();
  DisableControls();
  try {
    if (ScanFor(KeyFields, KeyValues, 0)) result = FieldValues(ResultFields);
    if (!saved.empty()) GotoBookmark(saved);
  } catch (...) {
    RestoreAfterScan(saved);
    throw;
  }
  EnableControls();
  return result;
}
