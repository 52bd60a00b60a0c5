// TXbDispatch: the engine-call layer of one table. Each member named after an engine entry
// point performs that operation either on the local engine (through the guarded XbCall of
// XbEngine.h) or, when AccessMethod is amServer, on the table's TXbConnection, and then
// keeps the table's cached state up to date. Above this layer the table code is written once
// for both routes.
//
// How TXbTable uses it: TXbTable derives from TDataSet and from TXbDispatch. The state below
// is the table's own: its published properties of the same name (AccessMethod, XbConnection,
// DatabaseName, IndexName, ScopeBegin, ScopeEnd) store into these members, and its internal
// state (WorkArea, CurrentRecNo, OrderPosition, CachedRecCount, CurrentOrder,
// IndexConditionText, RecordImage, RecordSize) lives here too, so every operation of the
// table can call the dispatch members directly. RefreshTables of TXbEnv finds tables as
// TXbDispatch objects and calls the two virtual hooks at the end. TDataSet has a
// RecordSize() of its own (the record buffer's size); TXbTable says
// `using TXbDispatch::RecordSize;` so that the name means the engine record's length.
//
// The few engine calls that have no server counterpart because the server's table open
// carries them (xb_ErrorLevel, xb_FieldCount, xb_RecSize, the environment setters at open,
// xb_OrderPosGet) are made on the local route with XbCall(&XbEntryPoints::name, ...).
//
// Contract:
// - No member selects the work area itself: every public table operation first calls
//   SelectWorkArea(), then the members it needs.
// - Nothing here raises. Failures show as results: 0, an empty text, a false flag, a work
//   area of 0 or less. While the engine is not loaded the local route answers the same way.
// - Flags are 16-bit, -1 true and 0 false. The local route turns any non-zero engine flag
//   into exactly -1, and so it does for the 32-bit booleans of xb_AppendFrom, xb_CopyFile and
//   xb_CreateExec (a narrowed 0x10000 would otherwise read as false); the server route
//   returns the connection's values unchanged.
// - Texts come back as owned strings; an engine null is an empty string.
// - amServer without a connection answers every member with its failure result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"

class TXbConnection;

enum TAccessMethod { amLocal = 0, amServer = 1 };

class TXbDispatch {
 public:
  TXbDispatch() = default;
  TXbDispatch(const TXbDispatch&) = delete;
  TXbDispatch& operator=(const TXbDispatch&) = delete;
  virtual ~TXbDispatch();

  // ---- routing
  TAccessMethod AccessMethod = amLocal;
  TXbConnection* XbConnection = nullptr;
  // Sent instead of the folder on the server route (CreateNew, FileExists).
  std::string DatabaseName;
  // Empty means natural order, where a record's position is its number.
  std::string IndexName;

  // ---- cached state
  XbShort WorkArea = 0;
  XbLong CurrentRecNo = 0;
  // -2: not known; computed when asked.
  XbLong OrderPosition = -1;
  XbLong CachedRecCount = -1;
  XbLong CurrentOrder = 0;
  std::string IndexConditionText;
  std::string ScopeBegin;
  std::string ScopeEnd;
  // One raw engine record; xb_GetRecord and xb_PutRecord move RecordSize bytes of it and
  // grow it to RecordSize first when it is shorter.
  std::vector<char> RecordImage;
  XbLong RecordSize = 0;

  // xb_Select(WorkArea).
  void SelectWorkArea() { xb_Select(WorkArea); }

  // ---- the operations, in the engine's argument order
  std::string xb_Alias(XbShort AWorkArea);
  // Afterwards CurrentRecNo and CachedRecCount follow the new record.
  void xb_AppendBlank();
  // Commits and updates CurrentRecNo and CachedRecCount afterwards.
  XbLong xb_AppendFrom(const std::string& FileName, XbShort TableTypeCode,
                       const std::string& Condition);
  XbShort xb_Bof();
  void xb_Close();
  void xb_CloseIndexes();
  void xb_Commit();
  XbLong xb_CopyFile(const std::string& FileName);
  XbLong xb_Count();
  XbLong xb_CreateExec();
  void xb_CreateField(const std::string& Name, const std::string& Type, XbShort Width,
                      XbShort Decimals);
  // FileName is a full path locally; the server gets DatabaseName and the bare file name.
  XbShort xb_CreateNew(const std::string& FileName, const std::string& Alias,
                       XbShort TableTypeCode, XbShort FieldCount);
  std::string xb_DBFilter();
  void xb_Delete();
  // The server is first moved to CurrentRecNo.
  XbShort xb_Deleted();
  XbShort xb_Eof();
  XbShort xb_EvalLogical(const std::string& Expression);
  double xb_EvalNumeric(const std::string& Expression);
  std::string xb_EvalString(const std::string& Expression);
  // 0 not a valid expression, 1 character, 2 numeric, 3 logical.
  XbShort xb_EvalTest(const std::string& Expression);
  XbShort xb_FieldDecimals(const std::string& FieldName);
  std::string xb_FieldName(XbShort FieldNumber);
  XbShort xb_FieldOffset(const std::string& FieldName);
  std::string xb_FieldType(const std::string& FieldName);
  XbShort xb_FieldWidth(const std::string& FieldName);
  // Locally the file system's test of FileName; remotely the server's, under DatabaseName.
  XbShort FileExists(const std::string& FileName);
  XbShort xb_Flock();
  XbShort xb_Found();
  // Delivers at most Capacity bytes into Buffer; returns the bytes delivered.
  XbLong xb_GetBlob(const std::string& FieldName, void* Buffer, XbLong Capacity);
  XbLong xb_GetBlobLength(const std::string& FieldName);
  std::string xb_GetDateString(const std::string& FieldName);
  double xb_GetDouble(const std::string& FieldName);
  XbShort xb_GetInteger(const std::string& FieldName);
  XbLong xb_GetLong(const std::string& FieldName);
  // The memo text; the engine's block is given back here, so the caller has nothing to
  // release. The server is first moved to CurrentRecNo.
  std::string xb_GetMemo(const std::string& FieldName, XbShort LineWidth = 0);
  // Reads the current record into RecordImage.
  void xb_GetRecord();
  std::string xb_GetScope(XbShort Which);
  std::string xb_GetString(const std::string& FieldName);
  std::string xb_GetTrimString(const std::string& FieldName);
  // CurrentRecNo := RecNo; OrderPosition := RecNo in natural order, -2 in an index order
  // (locally), or the position the server reports.
  void xb_Go(XbLong RecNo);
  void xb_GoBottom();
  // CurrentRecNo := 1, whatever record the order puts first; the next read sets it right.
  void xb_GoTop();
  // IndexConditionText := the result.
  std::string xb_IndexCondition();
  std::string xb_IndexKey();
  std::string xb_IndexKeyField();
  std::string xb_IndexName(XbShort Order);
  // CurrentOrder := the order reported.
  XbShort xb_IndexOpen(const std::string& FileName);
  XbLong xb_IndexOrd();
  // XB_INDEX_* bits of what befell the index files since the last call; 0 on the server
  // route and from an engine without the call.
  XbShort xb_IndexFault();
  // FileName and Condition may be empty; Descend is sent as -1 or 0.
  XbShort xb_IndexTag(const std::string& FileName, const std::string& TagName,
                      const std::string& Expression, XbShort Option, bool Descend,
                      const std::string& Condition);
  XbShort xb_IndexType();
  XbShort xb_IsEncrypted(XbShort Which);
  // Gives back a block the engine allocated; nothing on the server route.
  void xb_MemDealloc(void* Block);
  void xb_OrderPosSet(double Position);
  XbLong xb_PutBlob(const std::string& FieldName, const void* Data, XbLong Length);
  // Writes RecordImage as the current record.
  void xb_PutRecord();
  // Empty clears the query. Returns the record number after it (0 when none qualifies) and
  // sets CachedRecCount to the records now in view.
  XbLong xb_Query(const std::string& Expression);
  XbLong xb_QueryRecCount();
  XbShort xb_QueryTest(const std::string& Expression);
  void xb_Recall();
  XbLong xb_RecCount();
  // CurrentRecNo := the result.
  XbLong xb_RecNo();
  void xb_Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value);
  XbShort xb_Rlock(XbLong RecNo);
  XbShort xb_Seek(const std::string& Key);
  XbShort xb_Select(XbShort AWorkArea);
  // Window 0 removes the hook; nothing on the server route.
  void xb_SetGaugeHook(XbPtr Window);
  // CurrentOrder := Order, whatever the engine answers.
  XbShort xb_SetOrder(XbShort Order);
  void xb_SetPassword(const std::string& Password);
  // ScopeBegin and ScopeEnd take Low and High before the call; empty bounds clear the scope.
  XbShort xb_SetScope(const std::string& Low, const std::string& High);
  // Nothing on the server route.
  void xb_SetStringType(XbShort Type);
  void xb_SetTranslate(XbShort On);
  void xb_SetTurboRead(XbShort On);
  void xb_Skip(XbLong Count);
  // Loads the engine first on the local route: it is also used before any table is open.
  XbLong xb_SysProp(XbShort Code, XbPtr Value);
  XbShort xb_TagArea(const std::string& TagName);
  std::string xb_TagName(XbShort Order);
  // 0 releases every lock of the table.
  void xb_Unlock(XbLong RecNo);
  XbShort xb_UseEx(const std::string& FileName, const std::string& Alias, XbShort OpenMode,
                   XbShort TableTypeCode, XbLong CommitLevel);
  std::string xb_Version();
  XbShort xb_WorkArea(const std::string& Alias);

  // ---- hooks for the environment's refresh of open tables
  virtual bool DispatchActive() const { return false; }
  virtual void RefreshFromEnvironment() {}

  // True when the operations go to the table server.
  bool OnServer() const { return AccessMethod == amServer; }
};
