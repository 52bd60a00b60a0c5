// The SQL query dataset (see XbQuery.h).
#include "remote/XbQuery.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "platform/core/Services.h"
#include "remote/XbCommon.h"
#include "remote/XbConnection.h"

namespace {

std::string YN(bool b) { return b ? "Y" : "N"; }

// Bytes a value of this type takes in a row image; blobs live outside it.
int RowBytes(TField* f) {
  if (f->IsBlob()) return 0;
  switch (f->DataType()) {
    case ftString:
    case ftFixedChar:
      return f->Size();
    default:
      return f->DataSize();
  }
}

bool NamesFolder(const std::string& s) { return s.find_first_of("\\/:.") != std::string::npos; }

std::string WithDelimiter(std::string s) {
  if (s.empty() || (s.back() != '/' && s.back() != '\\')) s += '/';
  return s;
}

}  // namespace

TXbFindQueryEnvironment& XbQueryEnvironmentHook() {
  static TXbFindQueryEnvironment hook;
  return hook;
}

TXbResolveQueryFolder& XbQueryFolderHook() {
  static TXbResolveQueryFolder hook;
  return hook;
}

// ---- tables -------------------------------------------------------------------------------

void TXbTableItem::SetTableName(const std::string& Value) {
  FTableName = Value;
  if (Alias.empty()) {
    const size_t dot = Value.find('.');
    Alias = dot == std::string::npos ? std::string() : Value.substr(0, dot);
  }
  Changed = true;
}

std::string TXbTableItem::DisplayName() const {
  if (FTableName.empty()) return "Undefined";
  return FTableName + " (" + Alias + ")";
}

void TXbTableItem::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TXbTableItem*>(Source);
  if (s == nullptr) return TPersistent::Assign(Source);
  FTableName = s->FTableName;
  Alias = s->Alias;
  TableType = s->TableType;
  Password = s->Password;
  OEMTranslate = s->OEMTranslate;
  FExtraIndexes.Assign(&s->FExtraIndexes);
  CommitLevel = s->CommitLevel;
}

TXbTableItem* TXbTables::Add() {
  FItems.push_back(std::make_unique<TXbTableItem>());
  return FItems.back().get();
}

void TXbTables::Assign(const TXbTables& Source) {
  if (&Source == this) return;
  FItems.clear();
  for (const auto& item : Source.FItems) Add()->Assign(item.get());
}

std::string TXbTables::TablesBlock(int& TableCount) const {
  TableCount = 0;
  std::string block;
  for (const auto& item : FItems) {
    if (Trim(item->TableName()).empty()) continue;
    const std::string extra = Trim(item->ExtraIndexes().Text());
    block += FixedField(Trim(item->TableName()), 64) + FixedField(Trim(item->Alias), 64) +
             HexField(item->TableType, 1) + FixedField(Trim(item->Password), 8) +
             YN(item->OEMTranslate) + HexField(static_cast<int64_t>(extra.size()), 8) + extra +
             HexField(item->CommitLevel, 1);
    ++TableCount;
  }
  return block;
}

TXbQueryBlobStream::TXbQueryBlobStream(TXbConnection& Connection, int AccessMethod,
                                       int32_t Handle, int FieldIndex, int Row) {
  if (TMemoryStream* s = Connection.sql_ReadBlobData(AccessMethod, Handle, FieldIndex, Row))
    if (s->Size() > 0) WriteBuffer(s->Memory(), s->Size());
  SetPosition(0);
}

// ---- query --------------------------------------------------------------------------------

TXbQuery::TXbQuery(TComponent* AOwner) : TDataSet(AOwner) {}

TXbQuery::~TXbQuery() {
  CloseForDestroy();
  for (TRecordBuffer& b : FRows) delete[] b;
  FRows.clear();
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
}

void TXbQuery::Fail(const std::string& Message) {
  FLastMessage = Message;
  throw EXbQueryError(Message);
}

std::string TXbQuery::Version() const {
  return "XbQuery 6.1.0.8, " + DateToStr(EncodeDate(2003, 11, 5));
}

void TXbQuery::SetAccessMethod(TQueryAccessMethod Value) {
  if (Value == FAccessMethod) return;
  if (Active()) Fail("Cannot change data access method while table is open");
  FAccessMethod = Value;
}

void TXbQuery::SetDatabaseName(const std::string& Value) {
  FDatabaseName = Value;
  TXbConnection* c = FXbConnection ? FXbConnection : FInternalConnection;
  if (c) c->DataPath = Value;
  if (FAccessMethod == qamLocal) {
    FLocalPath = ResolveLocalPath();
    if (c) c->SqlPath = FLocalPath;
  }
}

void TXbQuery::SetSQL(const std::string& Text) {
  if (Active()) Close();
  FSQL.SetText(Text);
}

void TXbQuery::SetXbConnection(TXbConnection* Value) {
  if (Value == FXbConnection) return;
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
  FXbConnection = Value;
  if (FXbConnection) FXbConnection->FreeNotification(this);
}

void TXbQuery::Loaded() {
  TDataSet::Loaded();
  if (FXbConnection) FXbConnection->DataPath = FDatabaseName;
}

void TXbQuery::Notification(TComponent* AComponent, TOperation Operation) {
  TDataSet::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr &&
      AComponent == static_cast<TComponent*>(FXbConnection))
    FXbConnection = nullptr;
}

std::string TXbQuery::ResolveLocalPath() const {
  if (XbQueryFolderHook()) return XbQueryFolderHook()(FDatabaseName, HasState(csDesigning));
  return WithDelimiter(NamesFolder(FDatabaseName) ? FDatabaseName : GetCurrentDir());
}

TXbConnection& TXbQuery::Route() {
  if (FXbConnection) return *FXbConnection;
  if (FAccessMethod == qamServer) Fail("No XbConnection specified");
  if (FInternalConnection == nullptr) {
    FInternalConnection = new TXbConnection(this);
    FInternalConnection->SetName("InternalConnection");
  }
  FInternalConnection->DataPath = FDatabaseName;
  return *FInternalConnection;
}

// ---- open and close -------------------------------------------------------------------------

void TXbQuery::PrepareAndOpen() {
  if (FAccessMethod == qamServer && FDatabaseName.empty()) Fail("Missing DatabaseName property");
  TXbConnection& c = Route();
  if (FAccessMethod == qamLocal) {
    FLocalPath = ResolveLocalPath();
    c.SqlPath = FLocalPath;
  }
  TXbQueryEnvironment env{FCentury, SetDeleted, FMemoBlockSize};
  if (XbQueryEnvironmentHook() && XbQueryEnvironmentHook()(env)) {
    FCentury = env.Century;
    SetDeleted = env.Deleted;
    FMemoBlockSize = env.MemoBlockSize;
  }
  int errorNo = 0;
  std::string msg;
  {
    // The wait cursor shows while the statement is prepared and opened, whatever the outcome.
    struct TWaitCursor {
      int Saved;
      explicit TWaitCursor(int Cursor) : Saved(ScreenCursor()) { SetScreenCursor(Cursor); }
      ~TWaitCursor() { SetScreenCursor(Saved); }
    } wait(WaitCursor);
    FHandle = c.sql_Prepare(FAccessMethod, FDatabaseName, FTableNames, FCentury, DateFormat,
                            SetDeleted, FMemoBlockSize, &FParams, ReadOnly, TableType, Password,
                            OEMTranslate, CommitLevel, errorNo, msg);
    FLastMessage = msg;
    if (FHandle <= 0) {
      FHandle = 0;
      Fail(msg);
    }
    c.sql_OpenSQL(FAccessMethod, FHandle, FSQL.Text(), msg, errorNo, FRowSize, FFieldCount,
                  FRowCount);
  }
  FLastMessage = msg;
  if (errorNo > 0) Refuse(c, msg.empty() ? "Unable to execute SQL statement:\r\r" + FSQL.Text() : msg);
  // A result the row list cannot hold is refused before anything is sized by it.
  if (FFieldCount > kMaxFields) Refuse(c, "Too many fields in the result: " + std::to_string(FFieldCount));
  if (FRowCount < 0 || FRowSize < 0 || FRowSize > kMaxRowSize || FRowCount > kMaxRows ||
      static_cast<int64_t>(FRowCount) * (FRowSize + 12) > kMaxResultBytes)
    Refuse(c, "The result is too large to hold: " + std::to_string(FRowCount) + " rows of " +
                  std::to_string(FRowSize) + " bytes");
  try {
    FFetched.assign(static_cast<size_t>(FRowCount), 0);
    FSource.resize(static_cast<size_t>(FRowCount));
    for (int i = 0; i < FRowCount; ++i) FSource[static_cast<size_t>(i)] = i + 1;
    FServerRows = FRowCount;
  } catch (const std::bad_alloc&) {
    Fail("Out of memory while expanding dynamic array");
  }
}

void TXbQuery::Refuse(TXbConnection& Connection, const std::string& Message) {
  Connection.sql_CloseSQL(FAccessMethod, FHandle);
  Connection.sql_UnPrepare(FAccessMethod, FHandle);
  FHandle = 0;
  Fail(Message);
}

void TXbQuery::InternalInitFieldDefs() {
  if (FHandle == 0) PrepareAndOpen();
  if (FHandle == 0) return;
  FieldDefs().Clear();
  FFieldOffsets.assign(static_cast<size_t>(kMaxFields) + 1, 0);
  if (FFieldCount < 1) Fail("FFieldCount < 1");
  TStringList lines;
  if (TMemoryStream* s = Route().sql_GetStructure(FAccessMethod, FHandle))
    lines.SetText(std::string(static_cast<const char*>(s->Memory()), static_cast<size_t>(s->Size())));
  for (int i = 1; i <= FFieldCount; ++i) {
    const int at = 5 * (i - 1);
    if (at + 3 >= lines.Count()) break;
    int64_t type = 0, size = 0, offset = 0;
    if (!TryHexToInt(lines[at + 1], type) || !TryHexToInt(lines[at + 2], size) ||
        !TryHexToInt(lines[at + 3], offset))
      Fail("Error while reading stream");
    const std::string name = Trim(lines[at]);
    // A name the dataset's field lists would split cannot be addressed.
    if (name.empty() || name.find(';') != std::string::npos) Fail("A field of the result has no usable name: '" + name + "'");
    // Only types the dataset has fields for, and sizes and places within the row (a blob's
    // value lies outside it).
    const std::unique_ptr<TField> probe(
        type >= 0 && type <= ftFMTBcd ? CreateFieldOfType(static_cast<TFieldType>(type), nullptr) : nullptr);
    if (probe == nullptr) Fail("Field '" + name + "' has a type the query cannot show: " + lines[at + 1]);
    if (size < 0 || size > (probe->IsBlob() ? kMaxRowSize : FRowSize) || offset < 0 || offset > FRowSize)
      Fail("Field '" + name + "' lies outside the result row");
    try {
      FieldDefs().Add(name, static_cast<TFieldType>(type), static_cast<int>(size), false);
    } catch (const EXbQueryError&) {
      throw;
    } catch (const EDatabaseError& e) {
      Fail(e.Message);
    }
    FFieldOffsets[static_cast<size_t>(i)] = static_cast<int>(offset);
  }
  if (!FOpen && !FBusy) FHandle = 0;
}

void TXbQuery::InternalOpen() {
  FHandle = 0;
  FRowCount = FFieldCount = FRowSize = 0;
  FFetched.clear();
  FSource.clear();
  if (FAccessMethod == qamServer && FDatabaseName.empty()) Fail("Missing DatabaseName property");
  if (Trim(FSQL.Text()).empty()) Fail("No SQL statement available");
  TXbConnection& c = Route();
  if (FAccessMethod == qamServer && !c.Active()) Fail("Not connected");

  FBusy = true;
  try {
    InitFieldDefs();
  } catch (...) {
    FBusy = false;
    if (FHandle != 0) {
      c.sql_CloseSQL(FAccessMethod, FHandle);
      c.sql_UnPrepare(FAccessMethod, FHandle);
      FHandle = 0;
    }
    throw;
  }
  FBusy = false;
  if (FHandle == 0) Fail(FLastMessage);

  if (DefaultFields()) CreateFields();
  BindFields(true);
  // A field that would lie outside the row is refused, not read.
  for (TField* f : Fields()) {
    const int no = f->FieldNo();
    if (no < 1 || no > FFieldCount) continue;
    const int offset = FFieldOffsets[static_cast<size_t>(no)];
    if (offset < 0 || offset + RowBytes(f) > FRowSize) {
      const std::string name = f->FieldName();  // closing frees the field
      InternalClose();
      Fail("Field '" + name + "' lies outside the result row");
    }
  }
  FOpen = true;
  FCursor = -1;
  BookmarkSize = 4;
  // One place per result row; a row's buffer is made when the row is fetched, so the memory
  // follows what the replies hold, not what the result claims.
  try {
    FRows.assign(static_cast<size_t>(FRowCount), nullptr);
  } catch (const std::bad_alloc&) {
    InternalClose();
    Fail("Out of memory while expanding dynamic array");
  }
}

void TXbQuery::InternalClose() {
  // A connection that went away took the statement with it.
  TXbConnection* c = FXbConnection ? FXbConnection : FInternalConnection;
  // A statement that cannot be closed (a link that dropped, no error handler) is reported
  // after the query has let go of it and of its rows: the query is closed either way.
  std::exception_ptr failed;
  if (FHandle != 0 && c != nullptr) {
    try {
      c->sql_CloseSQL(FAccessMethod, FHandle);
      c->sql_UnPrepare(FAccessMethod, FHandle);
    } catch (...) {
      failed = std::current_exception();
    }
  }
  FHandle = 0;
  for (TRecordBuffer& b : FRows) delete[] b;
  FRows.clear();
  FFetched.clear();
  FSource.clear();
  FRowCount = FServerRows = 0;
  FOpen = false;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  if (failed) std::rethrow_exception(failed);
}

// ---- rows -----------------------------------------------------------------------------------

TRecordBuffer TXbQuery::NewRow() {
  const int n = BufferSize();
  TRecordBuffer b = new (std::nothrow) char[static_cast<size_t>(n)];
  if (b == nullptr) Fail("Out of memory while expanding dynamic array");
  std::memset(b, 0, static_cast<size_t>(n));
  return b;
}

TRecordBuffer TXbQuery::HeldRow(size_t Index) {
  TRecordBuffer& b = FRows[Index];
  if (b == nullptr) b = NewRow();
  return b;
}

TRecordBuffer TXbQuery::AllocRecordBuffer() { return NewRow(); }

void TXbQuery::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

// The row information lies at any byte after the row image: read and written byte-wise.
int32_t TXbQuery::RowNumberOf(TRecordBuffer Buffer) const {
  int32_t row;
  std::memcpy(&row, Buffer + FRowSize + 4, 4);
  return row;
}

void TXbQuery::SetRowNumber(TRecordBuffer Buffer, int32_t Row) const {
  std::memcpy(Buffer + FRowSize + 4, &Row, 4);
}

void TXbQuery::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  std::memcpy(Data, Buffer + FRowSize, 4);
}

void TXbQuery::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  std::memcpy(Buffer + FRowSize, Data, 4);
}

TBookmarkFlag TXbQuery::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FRowSize + 8]);
}

void TXbQuery::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FRowSize + 8] = static_cast<char>(Value);
}

void TXbQuery::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, static_cast<size_t>(BufferSize()));
  SetRowNumber(Buffer, FCursor);
}

void TXbQuery::ClearCalcFields(TRecordBuffer Buffer) {
  if (CalcFieldsSize() > 0)
    std::memset(Buffer + FRowSize + 12, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TXbQuery::FetchRow(int Row) {
  if (Row < 1 || Row > static_cast<int>(FFetched.size()) || FFetched[static_cast<size_t>(Row - 1)] != 0)
    return;
  const int first = FSource[static_cast<size_t>(Row - 1)];
  if (first < 1) return;
  TMemoryStream* s = Route().sql_GetRecord(FAccessMethod, FHandle, FServerRows, FFetchCount, first);
  if (s == nullptr || s->Size() == 0) Fail("NIL stream");
  const std::string r(static_cast<const char*>(s->Memory()), static_cast<size_t>(s->Size()));
  if (r.size() < 8) return;
  int64_t n = 0;
  // The rows claimed must be in the reply: a marker and a row image each.
  if (!TryHexToInt(r.substr(0, 8), n) || n < 0 ||
      static_cast<uint64_t>(n) > (r.size() - 8) / (8 + static_cast<uint64_t>(FRowSize)))
    Fail("Error while reading stream");
  size_t at = 8;
  size_t pos = static_cast<size_t>(Row - 1);
  for (int64_t i = 0; i < n; ++i) {
    if (r.size() - at < 8) Fail("Error while reading stream");
    int64_t marker = 0;
    if (!TryHexToInt(r.substr(at, 8), marker)) Fail("Error while reading stream");
    at += 8;
    if (r.size() - at < static_cast<size_t>(FRowSize)) Fail("Error while reading stream");
    // Server row first + i goes to the row held for it, if it is still held; rows beyond
    // the result are never written, whatever the count says.
    const int32_t source = static_cast<int32_t>(first + i);
    while (pos < FRows.size() && FSource[pos] != 0 && FSource[pos] < source) ++pos;
    while (pos < FRows.size() && FSource[pos] == 0) ++pos;
    if (pos < FRows.size() && FSource[pos] == source && FFetched[pos] == 0) {
      std::memcpy(HeldRow(pos), r.data() + at, static_cast<size_t>(FRowSize));
      // A marker of 0 would mean "not fetched": the row counts as fetched all the same.
      FFetched[pos] = marker != 0 ? static_cast<int32_t>(marker) : source;
    }
    at += static_cast<size_t>(FRowSize);
  }
}

bool TXbQuery::NextRow() {
  const int c = FCursor < 0 ? 0 : FCursor;
  if (c >= static_cast<int>(FRows.size())) return false;
  FCursor = c + 1;
  FetchRow(FCursor);
  return true;
}

bool TXbQuery::PriorRow() {
  if (FCursor > static_cast<int>(FRows.size()) + 1) FCursor = static_cast<int>(FRows.size()) + 1;
  if (FCursor < 2) return false;
  --FCursor;
  FetchRow(FCursor);
  return true;
}

TGetResult TXbQuery::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  if (FBusy) return grOK;
  const int count = static_cast<int>(FRows.size());
  for (;;) {
    TGetResult result = grOK;
    switch (GetMode) {
      case gmCurrent:
        if (FCursor > count) result = grEOF;
        else if (FCursor < 1) result = grBOF;
        else FetchRow(FCursor);  // a row that moved up after a delete may not be read yet
        break;
      case gmNext:
        if (!NextRow()) result = grEOF;
        break;
      case gmPrior:
        if (!PriorRow()) result = grBOF;
        break;
    }
    if (result != grOK) return result;
    // A row no reply has brought reads as blank without being held: the memory follows what
    // the replies hold, not the rows the result claims.
    if (const TRecordBuffer held = FRows[static_cast<size_t>(FCursor - 1)])
      std::memcpy(Buffer, held, static_cast<size_t>(BufferSize()));
    else
      std::memset(Buffer, 0, static_cast<size_t>(BufferSize()));
    const int32_t row = FCursor;
    std::memcpy(Buffer + FRowSize, &row, 4);
    SetRowNumber(Buffer, row);
    SetBookmarkFlag(Buffer, bfCurrent);
    GetCalcFields(Buffer);
    if (!(Filtered() && OnFilterRecord) || DoFilterRecord(Buffer)) return grOK;
    if (GetMode == gmCurrent) return grError;
  }
}

void TXbQuery::InternalSetToRecord(TRecordBuffer Buffer) {
  const int32_t row = RowNumberOf(Buffer);
  if (row >= 1 && row <= static_cast<int>(FRows.size())) FCursor = row;
}

// ---- field data -----------------------------------------------------------------------------

char* TXbQuery::FieldPlace(TField* Field, TRecordBuffer Buffer) {
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup)
    return Buffer + FRowSize + 12 + Field->Offset();
  const int no = Field->FieldNo();
  if (no < 1 || no > FFieldCount) return nullptr;
  return Buffer + FFieldOffsets[static_cast<size_t>(no)];
}

bool TXbQuery::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer rec = GetActiveRecordBuffer();
  if (rec == nullptr || Field == nullptr) return false;
  if (!FOpen) Fail("Cannot perform this operation on a closed table");
  char* at = FieldPlace(Field, rec);
  if (at == nullptr) return false;
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
    if (at[0] == 0) return false;
    if (Buffer) std::memcpy(Buffer, at + 1, static_cast<size_t>(Field->DataSize()));
    return true;
  }
  if (Field->IsBlob()) return true;
  if (Field->DataType() == ftDate) {
    int32_t day = 0;
    std::memcpy(&day, at, 4);
    if (day == 0) return false;
    if (Buffer) std::memcpy(Buffer, &day, 4);
    return true;
  }
  if (Buffer) {
    const int n = RowBytes(Field);
    std::memcpy(Buffer, at, static_cast<size_t>(n));
    if (Field->DataType() == ftString || Field->DataType() == ftFixedChar)
      static_cast<char*>(Buffer)[n] = '\0';
  }
  return true;
}

void TXbQuery::SetFieldData(TField* Field, const void* Buffer) {
  if (State() == dsInactive || Field == nullptr) return;
  TRecordBuffer rec = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (rec == nullptr) return;
  char* at = FieldPlace(Field, rec);
  if (at == nullptr) return;
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) {
    at[0] = Buffer ? 1 : 0;
    if (Buffer) std::memcpy(at + 1, Buffer, static_cast<size_t>(Field->DataSize()));
    else std::memset(at + 1, 0, static_cast<size_t>(Field->DataSize()));
  } else {
    Field->Validate(Buffer);
    const int n = RowBytes(Field);
    if (Buffer) std::memcpy(at, Buffer, static_cast<size_t>(n));
    else std::memset(at, 0, static_cast<size_t>(n));
  }
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

std::unique_ptr<TStream> TXbQuery::CreateBlobStream(TField* Field, TBlobStreamMode) {
  UpdateCursorPos();
  // The value is asked for by the row's number in the statement's result, which differs from
  // the cursor once rows were deleted or inserted here; a row made here has none.
  const int32_t source = FCursor >= 1 && FCursor <= static_cast<int>(FSource.size())
                             ? FSource[static_cast<size_t>(FCursor - 1)]
                             : 0;
  if (source < 1 || FHandle == 0) return std::make_unique<TMemoryStream>();
  return std::make_unique<TXbQueryBlobStream>(Route(), FAccessMethod, FHandle,
                                              Field->FieldNo() - 1, source);
}

// ---- counts, numbers, bookmarks ---------------------------------------------------------------

int TXbQuery::GetRecordCount() {
  if (!Filtered()) return static_cast<int>(FRows.size());
  const int saved = FCursor;
  const TDataSetState old = SetTempState(dsBrowse);
  int n = 0;
  FCursor = -1;
  while (GetRecord(TempBuffer(), gmNext, false) == grOK) ++n;
  FCursor = saved;
  RestoreState(old);
  return n;
}

int TXbQuery::GetRecNo() {
  UpdateCursorPos();
  if (!Filtered()) return FCursor;
  const int target = FCursor;
  const TDataSetState old = SetTempState(dsBrowse);
  int n = 0;
  FCursor = -1;
  while (GetRecord(TempBuffer(), gmNext, false) == grOK) {
    ++n;
    if (FCursor == target) break;
  }
  FCursor = target;
  RestoreState(old);
  return n;
}

void TXbQuery::SetRecNo(int Value) {
  CheckBrowseMode();
  if (!Filtered()) {
    if (Value < 1 || Value > static_cast<int>(FRows.size())) return;
    FCursor = Value;
  } else {
    FCursor = -1;
    int n = 0;
    while (n < Value && GetRecord(TempBuffer(), gmNext, false) == grOK) ++n;
  }
  FetchRow(FCursor);
  const int32_t row = FCursor;
  if (ActiveBuffer()) std::memcpy(ActiveBuffer() + FRowSize, &row, 4);
  Resync(0);
}

int TXbQuery::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.size() < 4 || Bookmark2.size() < 4) return 2;
  int32_t a = 0, b = 0;
  std::memcpy(&a, Bookmark1.data(), 4);
  std::memcpy(&b, Bookmark2.data(), 4);
  return a < b ? -1 : (a > b ? 1 : 0);
}

void TXbQuery::InternalGotoBookmark(const void* Bookmark) {
  int32_t row = 0;
  std::memcpy(&row, Bookmark, 4);
  if (row < 1 || row > static_cast<int>(FRows.size())) return;
  FCursor = row;
  FetchRow(row);
}

// ---- search -----------------------------------------------------------------------------------

bool TXbQuery::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  UpdateCursorPos();
  bool found = false;
  bool moved;
  if (GoForward) {
    if (Restart) FCursor = -1;
    moved = GetRecord(TempBuffer(), gmNext, false) == grOK;
  } else {
    if (Restart) FCursor = static_cast<int>(FRows.size()) + 1;
    moved = GetRecord(TempBuffer(), gmPrior, false) == grOK;
  }
  if (moved) {
    Resync(rmExact | rmCenter);
    found = true;
  }
  if (found) DoAfterScroll();
  return found;
}

bool TXbQuery::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
  CheckBrowseMode();
  const int saved = RecNo();
  const bool wasDisabled = ControlsDisabled();
  DisableControls();
  bool found = false;
  try {
    const std::vector<TField*> fields = GetFieldList(KeyFields);
    First();
    while (!Eof() && !found) {
      found = true;
      for (size_t i = 0; i < fields.size() && found; ++i) {
        const Variant key = fields.size() > 1 ? KeyValues[static_cast<int>(i)] : KeyValues;
        TField* f = fields[i];
        if (f->DataType() == ftString || f->DataType() == ftFixedChar) {
          std::string value = f->AsString();
          std::string wanted = key.IsNullOrEmpty() ? std::string() : key.AsString();
          if (!(Options & loPartialKey) && value.size() != wanted.size()) {
            found = false;
            break;
          }
          if (Options & loCaseInsensitive) {
            value = UpperCase(value);
            wanted = UpperCase(wanted);
          }
          found = value.compare(0, wanted.size(), wanted) == 0;
        } else {
          found = f->AsVariant() == key;
        }
      }
      if (!found) Next();
    }
  } catch (...) {
    if (!wasDisabled) EnableControls();
    throw;
  }
  if (!wasDisabled) EnableControls();
  if (!found && !FRows.empty()) SetRecNo(saved);
  return found;
}

// ---- in-memory edits --------------------------------------------------------------------------

void TXbQuery::InternalPost() {
  TRecordBuffer b = ActiveBuffer();
  if (State() == dsEdit) {
    const int32_t row = RowNumberOf(b);
    if (row >= 1 && row <= static_cast<int>(FRows.size()))
      std::memcpy(HeldRow(static_cast<size_t>(row - 1)), b, static_cast<size_t>(BufferSize()));
    return;
  }
  InternalAddRecord(b, GetBookmarkFlag(b) == bfEOF);
}

void TXbQuery::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  TRecordBuffer copy = NewRow();
  std::memcpy(copy, Buffer, static_cast<size_t>(BufferSize()));
  int at = RowNumberOf(Buffer);
  const int count = static_cast<int>(FRows.size());
  if (Append || at == -1 || at > count) {
    FRows.push_back(copy);
    FFetched.push_back(static_cast<int32_t>(FRows.size()));
    FSource.push_back(0);
    at = static_cast<int>(FRows.size());
  } else {
    if (at < 1) at = 1;
    FRows.insert(FRows.begin() + (at - 1), copy);
    // The new row is held in memory: it needs no fetch.
    FFetched.insert(FFetched.begin() + (at - 1), at);
    FSource.insert(FSource.begin() + (at - 1), 0);
  }
  for (int i = at; i < static_cast<int>(FRows.size()); ++i)
    if (FRows[static_cast<size_t>(i)] != nullptr) SetRowNumber(FRows[static_cast<size_t>(i)], i + 1);
  SetRowNumber(FRows[static_cast<size_t>(at - 1)], at);
  FRowCount = static_cast<int>(FRows.size());
  FCursor = at;
}

void TXbQuery::InternalDelete() {
  if (FCursor < 1 || FCursor > static_cast<int>(FRows.size())) return;
  const size_t index = static_cast<size_t>(FCursor - 1);
  delete[] FRows[index];
  FRows.erase(FRows.begin() + static_cast<std::ptrdiff_t>(index));
  FFetched.erase(FFetched.begin() + static_cast<std::ptrdiff_t>(index));
  FSource.erase(FSource.begin() + static_cast<std::ptrdiff_t>(index));
  for (size_t i = index; i < FRows.size(); ++i)
    if (FRows[i] != nullptr) SetRowNumber(FRows[i], static_cast<int32_t>(i + 1));
  FRowCount = static_cast<int>(FRows.size());
  if (FCursor > FRowCount) FCursor = FRowCount;
}
