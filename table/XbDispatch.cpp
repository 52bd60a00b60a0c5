// The engine-call layer of one table: each operation goes to the local engine or to the
// table's server connection, then updates the table's cached state.
#include "table/XbDispatch.h"

#include <algorithm>
#include <cstring>

#include "platform/core/SysUtils.h"
#include "remote/XbConnection.h"
#include "table/XbEngine.h"

namespace {

using E = XbEntryPoints;

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }
// "text or none" arguments: an empty text goes to the engine as no text at all.
const char* TextOrNone(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }
XbShort Flag(XbShort v) { return v != 0 ? -1 : 0; }
XbLong Flag32(XbLong v) { return v != 0 ? -1 : 0; }

}  // namespace

TXbDispatch::~TXbDispatch() = default;

// Runs Server on the connection when the table is on the server route (answering R{} when it
// has none), else Local; both return R.
#define ORV_ROUTE(R, ServerCall, LocalCall)         \
  do {                                              \
    if (OnServer()) {                               \
      if (XbConnection == nullptr) return R{};      \
      return XbConnection->ServerCall;              \
    }                                               \
    return LocalCall;                               \
  } while (0)

#define ORV_ROUTE_VOID(ServerCall, LocalCall)       \
  do {                                              \
    if (OnServer()) {                               \
      if (XbConnection != nullptr) XbConnection->ServerCall; \
      return;                                       \
    }                                               \
    LocalCall;                                      \
  } while (0)

std::string TXbDispatch::xb_Alias(XbShort AWorkArea) {
  ORV_ROUTE(std::string, Alias(AWorkArea), Text(XbCall(&E::xb_Alias, AWorkArea)));
}

void TXbDispatch::xb_AppendBlank() {
  if (OnServer()) {
    if (XbConnection) XbConnection->AppendBlank();
  } else {
    XbCall(&E::xb_AppendBlank);
  }
  xb_RecNo();
  CachedRecCount = xb_RecCount();
}

XbLong TXbDispatch::xb_AppendFrom(const std::string& FileName, XbShort TableTypeCode,
                                  const std::string& Condition) {
  XbLong r = 0;
  if (OnServer()) {
    if (XbConnection) r = XbConnection->AppendFrom(FileName, TableTypeCode, Condition);
  } else {
    r = Flag32(XbCall(&E::xb_AppendFrom, FileName.c_str(), TableTypeCode, TextOrNone(Condition)));
  }
  xb_Commit();
  xb_RecNo();
  CachedRecCount = xb_RecCount();
  return r;
}

XbShort TXbDispatch::xb_Bof() { ORV_ROUTE(XbShort, Bof(), Flag(XbCall(&E::xb_Bof))); }

void TXbDispatch::xb_Close() { ORV_ROUTE_VOID(Close(), XbCall(&E::xb_Close)); }

void TXbDispatch::xb_CloseIndexes() {
  ORV_ROUTE_VOID(CloseIndexes(), XbCall(&E::xb_CloseIndexes));
}

void TXbDispatch::xb_Commit() { ORV_ROUTE_VOID(Commit(), XbCall(&E::xb_Commit)); }

XbLong TXbDispatch::xb_CopyFile(const std::string& FileName) {
  ORV_ROUTE(XbLong, CopyFile(FileName), Flag32(XbCall(&E::xb_CopyFile, FileName.c_str())));
}

XbLong TXbDispatch::xb_Count() { ORV_ROUTE(XbLong, Count(), XbCall(&E::xb_Count)); }

XbLong TXbDispatch::xb_CreateExec() {
  ORV_ROUTE(XbLong, CreateExec(), Flag32(XbCall(&E::xb_CreateExec)));
}

void TXbDispatch::xb_CreateField(const std::string& Name, const std::string& Type, XbShort Width,
                                 XbShort Decimals) {
  ORV_ROUTE_VOID(CreateField(Name, Type, Width, Decimals),
                 XbCall(&E::xb_CreateField, Name.c_str(), Type.c_str(), Width, Decimals));
}

XbShort TXbDispatch::xb_CreateNew(const std::string& FileName, const std::string& Alias,
                                  XbShort TableTypeCode, XbShort FieldCount) {
  ORV_ROUTE(XbShort, CreateNew(DatabaseName, ExtractFileName(FileName), TableTypeCode, FieldCount),
            XbCall(&E::xb_CreateNew, FileName.c_str(), Alias.c_str(), TableTypeCode, FieldCount));
}

std::string TXbDispatch::xb_DBFilter() {
  ORV_ROUTE(std::string, DBFilter(), Text(XbCall(&E::xb_DBFilter)));
}

void TXbDispatch::xb_Delete() { ORV_ROUTE_VOID(Delete(), XbCall(&E::xb_Delete)); }

XbShort TXbDispatch::xb_Deleted() {
  if (OnServer()) {
    if (XbConnection == nullptr) return 0;
    // The fetch-ahead may have moved the server's record away from the one shown.
    XbConnection->Go(CurrentRecNo);
    return XbConnection->Deleted();
  }
  return Flag(XbCall(&E::xb_Deleted));
}

XbShort TXbDispatch::xb_Eof() { ORV_ROUTE(XbShort, Eof(), Flag(XbCall(&E::xb_Eof))); }

XbShort TXbDispatch::xb_EvalLogical(const std::string& Expression) {
  ORV_ROUTE(XbShort, EvalLogical(Expression),
            Flag(XbCall(&E::xb_EvalLogical, Expression.c_str())));
}

double TXbDispatch::xb_EvalNumeric(const std::string& Expression) {
  ORV_ROUTE(double, EvalNumeric(Expression), XbCall(&E::xb_EvalNumeric, Expression.c_str()));
}

std::string TXbDispatch::xb_EvalString(const std::string& Expression) {
  ORV_ROUTE(std::string, EvalString(Expression),
            Text(XbCall(&E::xb_EvalString, Expression.c_str())));
}

XbShort TXbDispatch::xb_EvalTest(const std::string& Expression) {
  ORV_ROUTE(XbShort, EvalTest(Expression), XbCall(&E::xb_EvalTest, Expression.c_str()));
}

XbShort TXbDispatch::xb_FieldDecimals(const std::string& FieldName) {
  ORV_ROUTE(XbShort, FieldDecimals(FieldName), XbCall(&E::xb_FieldDecimals, FieldName.c_str()));
}

std::string TXbDispatch::xb_FieldName(XbShort FieldNumber) {
  ORV_ROUTE(std::string, FieldName(FieldNumber), Text(XbCall(&E::xb_FieldName, FieldNumber)));
}

XbShort TXbDispatch::xb_FieldOffset(const std::string& FieldName) {
  ORV_ROUTE(XbShort, FieldOffset(FieldName), XbCall(&E::xb_FieldOffset, FieldName.c_str()));
}

std::string TXbDispatch::xb_FieldType(const std::string& FieldName) {
  ORV_ROUTE(std::string, FieldType(FieldName), Text(XbCall(&E::xb_FieldType, FieldName.c_str())));
}

XbShort TXbDispatch::xb_FieldWidth(const std::string& FieldName) {
  ORV_ROUTE(XbShort, FieldWidth(FieldName), XbCall(&E::xb_FieldWidth, FieldName.c_str()));
}

XbShort TXbDispatch::FileExists(const std::string& FileName) {
  ORV_ROUTE(XbShort, FileExists(DatabaseName, FileName) ? -1 : 0,
            ::FileExists(FileName) ? -1 : 0);
}

XbShort TXbDispatch::xb_Flock() { ORV_ROUTE(XbShort, Flock(), Flag(XbCall(&E::xb_Flock))); }

XbShort TXbDispatch::xb_Found() { ORV_ROUTE(XbShort, Found(), Flag(XbCall(&E::xb_Found))); }

XbLong TXbDispatch::xb_GetBlob(const std::string& FieldName, void* Buffer, XbLong Capacity) {
  if (Buffer == nullptr || Capacity <= 0) return 0;
  if (OnServer()) return XbConnection ? XbConnection->GetBlob(FieldName, Buffer, Capacity) : 0;
  if (!XbEngineReady()) return 0;
  if (XbApi.xb_GetBlobEx != nullptr)
    return std::clamp<XbLong>(XbApi.xb_GetBlobEx(FieldName.c_str(), Buffer, Capacity), 0,
                              Capacity);
  // An engine without the capacity form writes the whole blob: let it write into a block of
  // the blob's own length and hand on what fits.
  const XbLong length = XbCall(&E::xb_GetBlobLength, FieldName.c_str());
  if (length <= 0) return 0;
  std::vector<char> whole(static_cast<size_t>(length));
  XbLong got = XbCall(&E::xb_GetBlob, FieldName.c_str(), static_cast<void*>(whole.data()));
  got = std::clamp<XbLong>(got, 0, std::min(length, Capacity));
  std::memcpy(Buffer, whole.data(), static_cast<size_t>(got));
  return got;
}

XbLong TXbDispatch::xb_GetBlobLength(const std::string& FieldName) {
  ORV_ROUTE(XbLong, GetBlobLength(FieldName), XbCall(&E::xb_GetBlobLength, FieldName.c_str()));
}

std::string TXbDispatch::xb_GetDateString(const std::string& FieldName) {
  ORV_ROUTE(std::string, GetDateString(FieldName),
            Text(XbCall(&E::xb_GetDateString, FieldName.c_str())));
}

double TXbDispatch::xb_GetDouble(const std::string& FieldName) {
  ORV_ROUTE(double, GetDouble(FieldName), XbCall(&E::xb_GetDouble, FieldName.c_str()));
}

XbShort TXbDispatch::xb_GetInteger(const std::string& FieldName) {
  ORV_ROUTE(XbShort, GetInteger(FieldName), XbCall(&E::xb_GetInteger, FieldName.c_str()));
}

XbLong TXbDispatch::xb_GetLong(const std::string& FieldName) {
  ORV_ROUTE(XbLong, GetLong(FieldName), XbCall(&E::xb_GetLong, FieldName.c_str()));
}

std::string TXbDispatch::xb_GetMemo(const std::string& FieldName, XbShort LineWidth) {
  if (OnServer()) {
    if (XbConnection == nullptr) return {};
    XbConnection->Go(CurrentRecNo);
    return XbConnection->GetMemo(FieldName, LineWidth);
  }
  char* block = XbCall(&E::xb_GetMemo, FieldName.c_str(), LineWidth);
  if (block == nullptr) return {};
  std::string text(block);
  XbCall(&E::xb_MemDealloc, static_cast<void*>(block));
  return text;
}

void TXbDispatch::xb_GetRecord() {
  if (RecordSize <= 0) return;
  if (RecordImage.size() < static_cast<size_t>(RecordSize))
    RecordImage.resize(static_cast<size_t>(RecordSize));
  ORV_ROUTE_VOID(GetRecord(RecordImage.data(), RecordSize),
                 XbCall(&E::xb_GetRecord, static_cast<void*>(RecordImage.data())));
}

std::string TXbDispatch::xb_GetScope(XbShort Which) {
  ORV_ROUTE(std::string, GetScope(Which), Text(XbCall(&E::xb_GetScope, Which)));
}

std::string TXbDispatch::xb_GetString(const std::string& FieldName) {
  ORV_ROUTE(std::string, GetString(FieldName), Text(XbCall(&E::xb_GetString, FieldName.c_str())));
}

std::string TXbDispatch::xb_GetTrimString(const std::string& FieldName) {
  ORV_ROUTE(std::string, GetTrimString(FieldName),
            Text(XbCall(&E::xb_GetTrimString, FieldName.c_str())));
}

void TXbDispatch::xb_Go(XbLong RecNo) {
  if (OnServer()) {
    OrderPosition = XbConnection ? XbConnection->Go(RecNo) : 0;
  } else {
    XbCall(&E::xb_Go, RecNo);
    OrderPosition = IndexName.empty() ? RecNo : -2;
  }
  CurrentRecNo = RecNo;
}

void TXbDispatch::xb_GoBottom() { ORV_ROUTE_VOID(GoBottom(), XbCall(&E::xb_GoBottom)); }

void TXbDispatch::xb_GoTop() {
  if (OnServer()) {
    if (XbConnection) XbConnection->GoTop();
  } else {
    XbCall(&E::xb_GoTop);
  }
  CurrentRecNo = 1;
}

std::string TXbDispatch::xb_IndexCondition() {
  if (OnServer())
    IndexConditionText = XbConnection ? XbConnection->IndexCondition() : std::string();
  else
    IndexConditionText = Text(XbCall(&E::xb_IndexCondition));
  return IndexConditionText;
}

std::string TXbDispatch::xb_IndexKey() {
  ORV_ROUTE(std::string, IndexKey(), Text(XbCall(&E::xb_IndexKey)));
}

std::string TXbDispatch::xb_IndexKeyField() {
  ORV_ROUTE(std::string, IndexKeyField(), Text(XbCall(&E::xb_IndexKeyField)));
}

std::string TXbDispatch::xb_IndexName(XbShort Order) {
  ORV_ROUTE(std::string, IndexName(Order), Text(XbCall(&E::xb_IndexName, Order)));
}

XbShort TXbDispatch::xb_IndexOpen(const std::string& FileName) {
  XbShort order = 0;
  if (OnServer())
    order = XbConnection ? XbConnection->IndexOpen(FileName) : 0;
  else
    order = XbCall(&E::xb_IndexOpen, FileName.c_str());
  CurrentOrder = order;
  return order;
}

XbLong TXbDispatch::xb_IndexOrd() {
  XbLong order = 0;
  if (OnServer())
    order = XbConnection ? XbConnection->IndexOrd() : 0;
  else
    order = XbCall(&E::xb_IndexOrd);
  CurrentOrder = order;
  return order;
}

XbShort TXbDispatch::xb_IndexFault() {
  if (OnServer()) return 0;
  return XbCall(&E::xb_IndexFault);
}

XbShort TXbDispatch::xb_IndexTag(const std::string& FileName, const std::string& TagName,
                                 const std::string& Expression, XbShort Option, bool Descend,
                                 const std::string& Condition) {
  const XbLong descend = Descend ? -1 : 0;
  XbShort order = 0;
  if (OnServer())
    order = XbConnection ? XbConnection->IndexTag(FileName, TagName, Expression, Option, descend,
                                                  Condition)
                         : 0;
  else
    order = XbCall(&E::xb_IndexTag, TextOrNone(FileName), TagName.c_str(), Expression.c_str(),
                   Option, descend, TextOrNone(Condition));
  CurrentOrder = order;
  return order;
}

XbShort TXbDispatch::xb_IndexType() {
  ORV_ROUTE(XbShort, IndexType(), XbCall(&E::xb_IndexType));
}

XbShort TXbDispatch::xb_IsEncrypted(XbShort Which) {
  ORV_ROUTE(XbShort, IsEncrypted(Which), Flag(XbCall(&E::xb_IsEncrypted, Which)));
}

void TXbDispatch::xb_MemDealloc(void* Block) {
  ORV_ROUTE_VOID(MemDealloc(Block), XbCall(&E::xb_MemDealloc, Block));
}

void TXbDispatch::xb_OrderPosSet(double Position) {
  ORV_ROUTE_VOID(OrderPosSet(Position), XbCall(&E::xb_OrderPosSet, Position));
}

XbLong TXbDispatch::xb_PutBlob(const std::string& FieldName, const void* Data, XbLong Length) {
  if (Length < 0 || (Data == nullptr && Length > 0)) return 0;
  ORV_ROUTE(XbLong, PutBlob(FieldName, Data, Length),
            XbCall(&E::xb_PutBlob, FieldName.c_str(), Data, Length));
}

void TXbDispatch::xb_PutRecord() {
  if (RecordSize <= 0) return;
  if (RecordImage.size() < static_cast<size_t>(RecordSize))
    RecordImage.resize(static_cast<size_t>(RecordSize));
  ORV_ROUTE_VOID(PutRecord(RecordImage.data(), RecordSize),
                 XbCall(&E::xb_PutRecord, static_cast<const void*>(RecordImage.data())));
}

XbLong TXbDispatch::xb_Query(const std::string& Expression) {
  if (OnServer()) {
    if (XbConnection == nullptr) return 0;
    return XbConnection->QueryRowCount(Expression, CachedRecCount);
  }
  XbLong recNo = XbCall(&E::xb_Query, TextOrNone(Expression));
  // Positions and the sequenced count follow the query at once.
  CachedRecCount = xb_QueryTest(Expression) >= 1 ? xb_QueryRecCount() : xb_RecCount();
  return recNo;
}

XbLong TXbDispatch::xb_QueryRecCount() {
  ORV_ROUTE(XbLong, QueryRecCount(), XbCall(&E::xb_QueryRecCount));
}

XbShort TXbDispatch::xb_QueryTest(const std::string& Expression) {
  ORV_ROUTE(XbShort, QueryTest(Expression), XbCall(&E::xb_QueryTest, Expression.c_str()));
}

void TXbDispatch::xb_Recall() { ORV_ROUTE_VOID(Recall(), XbCall(&E::xb_Recall)); }

XbLong TXbDispatch::xb_RecCount() { ORV_ROUTE(XbLong, RecCount(), XbCall(&E::xb_RecCount)); }

XbLong TXbDispatch::xb_RecNo() {
  if (OnServer())
    CurrentRecNo = XbConnection ? XbConnection->RecNo() : 0;
  else
    CurrentRecNo = XbCall(&E::xb_RecNo);
  return CurrentRecNo;
}

void TXbDispatch::xb_Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value) {
  ORV_ROUTE_VOID(Replace(FieldName, ReplaceType, Value),
                 XbCall(&E::xb_Replace, FieldName.c_str(), ReplaceType, Value));
}

XbShort TXbDispatch::xb_Rlock(XbLong RecNo) {
  ORV_ROUTE(XbShort, Rlock(RecNo), Flag(XbCall(&E::xb_Rlock, RecNo)));
}

XbShort TXbDispatch::xb_Seek(const std::string& Key) {
  ORV_ROUTE(XbShort, Seek(Key), Flag(XbCall(&E::xb_Seek, Key.c_str())));
}

XbShort TXbDispatch::xb_Select(XbShort AWorkArea) {
  ORV_ROUTE(XbShort, Select(AWorkArea), XbCall(&E::xb_Select, AWorkArea));
}

void TXbDispatch::xb_SetGaugeHook(XbPtr Window) {
  ORV_ROUTE_VOID(SetGaugeHook(Window), XbCall(&E::xb_SetGaugeHook, Window));
}

XbShort TXbDispatch::xb_SetOrder(XbShort Order) {
  XbShort r = 0;
  if (OnServer())
    r = XbConnection ? XbConnection->SetOrder(Order) : 0;
  else
    r = XbCall(&E::xb_SetOrder, Order);
  CurrentOrder = Order;
  return r;
}

void TXbDispatch::xb_SetPassword(const std::string& Password) {
  ORV_ROUTE_VOID(SetPassword(Password), XbCall(&E::xb_SetPassword, Password.c_str()));
}

XbShort TXbDispatch::xb_SetScope(const std::string& Low, const std::string& High) {
  ScopeBegin = Low;
  ScopeEnd = High;
  ORV_ROUTE(XbShort, SetScope(Low, High),
            Flag(XbCall(&E::xb_SetScope, TextOrNone(Low), TextOrNone(High))));
}

void TXbDispatch::xb_SetStringType(XbShort Type) {
  ORV_ROUTE_VOID(SetStringType(Type), XbCall(&E::xb_SetStringType, Type));
}

void TXbDispatch::xb_SetTranslate(XbShort On) {
  ORV_ROUTE_VOID(SetTranslate(On), XbCall(&E::xb_SetTranslate, On));
}

void TXbDispatch::xb_SetTurboRead(XbShort On) {
  ORV_ROUTE_VOID(SetTurboRead(On), XbCall(&E::xb_SetTurboRead, On));
}

void TXbDispatch::xb_Skip(XbLong Count) { ORV_ROUTE_VOID(Skip(Count), XbCall(&E::xb_Skip, Count)); }

XbLong TXbDispatch::xb_SysProp(XbShort Code, XbPtr Value) {
  if (OnServer()) return XbConnection ? XbConnection->SysProp(Code, Value) : 0;
  EnsureEngineLoaded();
  return XbCall(&E::xb_SysProp, Code, Value);
}

XbShort TXbDispatch::xb_TagArea(const std::string& TagName) {
  ORV_ROUTE(XbShort, TagArea(TagName), XbCall(&E::xb_TagArea, TagName.c_str()));
}

std::string TXbDispatch::xb_TagName(XbShort Order) {
  ORV_ROUTE(std::string, TagName(Order), Text(XbCall(&E::xb_TagName, Order)));
}

void TXbDispatch::xb_Unlock(XbLong RecNo) { ORV_ROUTE_VOID(Unlock(RecNo), XbCall(&E::xb_Unlock, RecNo)); }

XbShort TXbDispatch::xb_UseEx(const std::string& FileName, const std::string& Alias,
                              XbShort OpenMode, XbShort TableTypeCode, XbLong CommitLevel) {
  ORV_ROUTE(XbShort, UseEx(FileName, Alias, OpenMode, TableTypeCode, CommitLevel),
            XbCall(&E::xb_UseEx, FileName.c_str(), Alias.c_str(), OpenMode, TableTypeCode,
                   CommitLevel));
}

std::string TXbDispatch::xb_Version() {
  ORV_ROUTE(std::string, EngineVersion(), Text(XbCall(&E::xb_Version)));
}

XbShort TXbDispatch::xb_WorkArea(const std::string& Alias) {
  ORV_ROUTE(XbShort, WorkArea(Alias), XbCall(&E::xb_WorkArea, Alias.c_str()));
}
