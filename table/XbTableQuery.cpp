// TXbTable operations beside navigation and index work: the engine query that carries the
// dataset filter, record numbers and counts, single-field writes, record locks, undelete,
// the progress-gauge hook, the property setters that an open table refuses, and how a
// DatabaseName turns into the table's folder and an engine alias.
#include <cstring>
#include <string>

#include "platform/core/Fields.h"
#include "platform/core/SysUtils.h"
#include "remote/XbConnection.h"
#include "table/XbDatabase.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

namespace {

const char kClosedTable[] = "Cannot perform this operation on a closed table";
const char kOpenTable[] = "Cannot perform this operation on an open table";
const char kReadOnly[] = "Cannot modify a read-only data set";

bool NotGiven(const std::string& s) { return s.empty() || (s.size() == 1 && s[0] == '\0'); }

// A DatabaseName with a drive colon or a path delimiter names a local folder.
bool NamesLocalFolder(const std::string& Name) {
  return Name.find_first_of(":\\/") != std::string::npos;
}

}  // namespace

// ---- query and filter -------------------------------------------------------------------

XbLong TXbTable::Query(const std::string& Expression) {
  if (WorkArea < 1) return 0;
  SelectWorkArea();
  const std::string expression = NotGiven(Expression) ? std::string() : Expression;
  if (SpeedMode()) return xb_Query(expression);
  if (!expression.empty() && xb_EvalTest(expression) != 3)
    RaiseXbError(this, "Invalid Query Expression\r\r" + expression);

  // The open applies the dataset filter before there is a view to scroll.
  const bool live = Active();
  if (live) BeginScroll();
  SelectWorkArea();
  const XbLong recNo = xb_Query(expression);
  if (TRecordBuffer buffer = ActiveBuffer(); live && buffer != nullptr) {
    SetBookmarkFlag(buffer, xb_Eof() ? bfEOF : bfCurrent);
    SetBufferRecNo(buffer, recNo);
  }
  CurrentRecNo = recNo;
  CountNeedsRefresh = true;
  if (live) {
    Resync(0);
    EndScroll();
  }
  return recNo;
}

void TXbTable::ApplyFilter(const std::string& Text) {
  if (WorkArea > 0) Query(FFilterActive ? Text : std::string());
}

void TXbTable::SetFilterText(const std::string& Value) {
  ApplyFilter(Value);
  TDataSet::SetFilterText(Value);
}

void TXbTable::SetFiltered(bool Value) {
  TDataSet::SetFiltered(Value);
  FFilterActive = Value;
  ApplyFilter(Filter());
}

XbLong TXbTable::QueryRecCount() {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_QueryRecCount();
}

// ---- counts and record numbers ------------------------------------------------------------

XbLong TXbTable::RecCount() {
  if (WorkArea < 1) return 0;
  SelectWorkArea();
  RefreshCounts();
  return RawRecCount;
}

XbLong TXbTable::RecNo() {
  if (WorkArea < 1) return 0;
  if (SpeedMode()) {
    SelectWorkArea();
    return xb_RecNo();
  }
  TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  return buffer ? BufferRecNo(buffer) : 0;
}

void TXbTable::SetRecNo(int Value) {
  if (WorkArea <= 0) return;
  if (SpeedMode()) {
    SelectWorkArea();
    xb_Go(Value);
    return;
  }
  BeginScroll();
  if (TRecordBuffer buffer = ActiveBuffer()) {
    SetBufferRecNo(buffer, Value);
    SetBookmarkFlag(buffer, bfCurrent);
  }
  ResetFetchBlock();
  Resync(0);
  EndScroll();
}

// ---- field writes ----------------------------------------------------------------------------

void TXbTable::Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value) {
  if (ReadOnly() && ErrorFunc == -1) RaiseXbError(this, kReadOnly);
  if (SpeedMode()) {
    if (WorkArea < 1) RaiseXbError(this, kClosedTable);
    SelectWorkArea();
    xb_Replace(FieldName, ReplaceType, Value);
    return;
  }
  TField* field = FieldByName(FieldName);
  // As in the engine's own write, a missing value leaves a number, date or flag as it is and
  // gives a text field the empty text.
  const char* text = static_cast<const char*>(Value);
  switch (ReplaceType) {
    case XB_RT_INT16:
    case XB_RT_INT32:
      if (Value != nullptr) field->SetAsInteger(*static_cast<const int32_t*>(Value));
      return;
    case XB_RT_DOUBLE:
      if (Value != nullptr) field->SetAsFloat(*static_cast<const double*>(Value));
      return;
    case XB_RT_JULIAN:
      if (Value != nullptr)
        field->SetAsDateTime(JulianDayToDate(*static_cast<const int32_t*>(Value)));
      return;
    case XB_RT_BOOLBYTE:
      if (Value != nullptr) field->SetAsBoolean(*static_cast<const uint8_t*>(Value) != 0);
      return;
    case XB_RT_TEXT:
    case XB_RT_TEXT2:
    case XB_RT_MEMO:
      // Always a text address: a one-character value is a text like any other, never packed
      // into the address itself.
      field->SetAsString(text ? std::string(text) : std::string());
      return;
    case XB_RT_FILEBLOB: {
      TBlobField* blob = dynamic_cast<TBlobField*>(field);
      if (blob == nullptr)
        RaiseXbError(this, "Field '" + field->FieldName() + "' cannot be read or written as a stream");
      blob->LoadFromFile(text ? std::string(text) : std::string());
      return;
    }
    case XB_RT_DATETEXT: {
      if (Value == nullptr) return;
      // Eleven characters, not necessarily terminated; a shorter terminated text ends early.
      const std::string dateText = Trim(std::string(text, strnlen(text, 11)));
      if (dateText.empty()) return SetFieldData(field, nullptr);
      const int32_t day = DateToDayNumber(StrToDateTime(dateText));
      if (field->DataType() == ftDate) return SetFieldData(field, &day);
      field->SetAsDateTime(DayNumberToDate(day));
      return;
    }
    default:
      SetFieldData(field, Value);
      return;
  }
}

// ---- locks, undelete, encryption, gauge ----------------------------------------------------

XbShort TXbTable::Rlock(XbLong RecNo) {
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  const XbShort granted = xb_Rlock(RecNo);
  if (granted != 0 && RecNo > 0) FCallerLocks.insert(RecNo);
  return granted;
}

void TXbTable::Unlock(XbLong RecNo) {
  if (WorkArea <= 0) return;
  SelectWorkArea();
  xb_Unlock(RecNo);
  if (RecNo == 0)
    FCallerLocks.clear();
  else
    FCallerLocks.erase(RecNo);
}

void TXbTable::Recall() {
  if (ReadOnly() && ErrorFunc == -1) RaiseXbError(this, kReadOnly);
  if (IsEmpty() && ErrorFunc == -1)
    RaiseXbError(this, "Cannot perform this operation on an empty table");
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  xb_Recall();
  TakeIndexFaults();
  Resync(0);
}

XbShort TXbTable::IsEncrypted(XbShort Which) {
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  return xb_IsEncrypted(Which);
}

void TXbTable::SetGaugeHook(intptr_t Window) {
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  xb_SetGaugeHook(Window);
}

// ---- property setters ------------------------------------------------------------------------

void TXbTable::SetAccessMethod(TAccessMethod Value) {
  if (Value == AccessMethod) return;
  if (Active()) RaiseXbError(this, "Cannot change data access method while table is open");
  AccessMethod = Value;
  if (Value == amLocal) EnsureEngineLoaded();
  FreeFetchSlots();
}

void TXbTable::SetTableType(TXbTableType Value) {
  if (Value == FTableType) return;
  FTableType = Value;
  FieldDefs().Clear();
  if (HasState(csDesigning) && !Active()) DestroyFields();
  if (Active()) {
    InternalInitFieldDefs();
    RebuildIndexDefs();
  }
}

void TXbTable::SetCommitLevel(TXbCommitLevel Value) {
  if (Value == FCommitLevel) return;
  if (Active()) RaiseXbError(this, "Cannot change the commit level while the table is opened");
  FCommitLevel = Value;
}

void TXbTable::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  if (WorkArea > 0) RaiseXbError(this, kOpenTable);
  FReadOnly = Value;
}

void TXbTable::SetTableName(const std::string& Value) {
  if (Value == FTableName) return;
  if (WorkArea != 0 || Active()) RaiseXbError(this, kOpenTable);
  FTableName = Value;
  FieldDefs().Clear();
  if (HasState(csDesigning)) DestroyFields();
}

void TXbTable::SetPassword(const std::string& Value) {
  FPassword = Value;
  if (WorkArea <= 0) return;
  SelectWorkArea();
  xb_SetPassword(Value);
  Resync(0);
}

void TXbTable::SetOEMTranslate(bool Value) {
  if (Value == FOEMTranslate) return;
  FOEMTranslate = Value;
  if (WorkArea <= 0) return;
  SelectWorkArea();
  xb_SetTranslate(Value ? -1 : 0);
  Resync(0);
}

void TXbTable::SetTurboRead(bool Value) {
  FTurboRead = Value;
  if (WorkArea <= 0) return;
  SelectWorkArea();
  xb_SetTurboRead(Value ? -1 : 0);
}

void TXbTable::SetSpeedMode(bool Value) {
  FSpeedMode = Value;
  if (WorkArea <= 0) return;
  if (Value) {
    if (Active()) UpdateCursorPos();
    return;
  }
  // Back to the dataset: the buffers follow the engine's record.
  SelectWorkArea();
  if (TRecordBuffer buffer = ActiveBuffer()) SetBufferRecNo(buffer, xb_RecNo());
  Resync(0);
}

void TXbTable::SetDatabaseName(const std::string& Value) {
  if (Value != DatabaseName) {
    // An open server table keeps its folder: switching it would leave a server work area
    // in the hands of the local engine.
    if (OnServer() && WorkArea > 0) RaiseXbError(this, kOpenTable);
    DatabaseComponent = nullptr;
    DatabaseName = Value;
    if (NamesLocalFolder(Value)) AccessMethod = amLocal;
    if (XbConnection != nullptr) XbConnection->DataPath = Value;
    if (Active() && !TableName().empty()) {
      DataFolder = DatabaseFolder();
      if (!TableFileExists()) Close();
      FieldDefs().Clear();
    }
  }
  if (TDataSource* master = MasterSource(); master != nullptr && master->Enabled()) {
    master->SetEnabled(false);
    master->SetEnabled(true);
  }
}

// ---- DatabaseName resolution and the engine alias ----------------------------------------

TXbDatabase* TXbTable::GetDatabase() {
  if (DatabaseComponent != nullptr || OnServer()) return DatabaseComponent;
  DatabaseComponent = FindDatabase(DatabaseName, HasState(csDesigning));
  return DatabaseComponent;
}

std::string TXbTable::DatabaseFolder() {
  TXbDatabase* database = GetDatabase();
  if (database == nullptr && !DatabaseName.empty()) {
    std::string name = DatabaseName;
    while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    if (!::FileExists(name) && !DirectoryExists(name))
      RaiseXbError(this, "Invalid DatabaseName value : " + DatabaseName);
  }
  return IncludeTrailingPathDelimiter(ResolveDatabaseFolder(DatabaseName, database));
}

void TXbTable::SetDataFolder() {
  const std::string folder = ExtractFilePath(TableName());
  DataFolder = folder.empty() ? DatabaseFolder() : folder;
}

std::string TXbTable::MakeAlias(const std::string& FileName) {
  std::string alias = UpperCase(ExtractFileName(FileName));
  const std::size_t dot = alias.find('.');
  if (dot != std::string::npos) alias.resize(dot);
  if (alias.size() > 8) alias.resize(8);
  for (char& c : alias)
    if (c < 'A' || c > 'Z') c = '_';
  if (alias.empty()) return alias;
  // Each step numbers the alias of the step before: NAME, NAME1, NAME12, ...
  for (int i = 1; xb_WorkArea(alias) > 0 && i < 100000000; ++i) {
    const std::string number = IntToStr(i);
    alias = alias.substr(0, 8 - number.size()) + number;
  }
  return alias;
}
