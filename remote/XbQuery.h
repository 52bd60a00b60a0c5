// TXbQuery: a read-mostly dataset whose rows are the result of one SQL statement, run on the
// table server (AccessMethod amServer, through a TXbConnection) or on this machine by the SQL
// add-on (amLocal, through an internal connection that only routes the calls). The list of
// rows is sized when the query opens; each row's buffer is made when the row is fetched,
// FetchCount rows at a time when the cursor first reaches them, blob and memo columns on
// demand. Inserts, edits and deletes change only the rows held in memory. TXbTables /
// TXbTableItem name the tables the statement uses.
//
// Row buffer: [row image: RowSize bytes] [bookmark int32 = row number, int32 row number,
// 1 byte bookmark flag, 3 bytes] [calculated fields]. Bookmarks are the 4-byte row number.
//
// Contract:
// - Refusals raise EXbQueryError (its text is also kept as LastMessage); connection failures
//   go through the connection's ReportError.
// - Everything the server or the add-on sends is checked before use: the result's row size,
//   row count and their product against kMaxRowSize, kMaxRows and kMaxResultBytes before
//   anything is sized by them, field types, sizes and offsets against the row size, row counts
//   of a fetch against the rows the reply holds, and no read goes past a reply. Every such
//   refusal is an EXbQueryError.
// - WaitCursor shows on the screen while the statement is prepared and opened.
//
// Ownership: the query owns its rows, SQL, Params, TableNames and its internal connection.
// GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/DataSet.h"
#include "platform/core/Fields.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

class TXbConnection;

ORV_DECLARE_EXCEPTION(EXbQueryError, EDatabaseError);

// What a query takes from the program's table layer, which installs these: the settings of
// its first environment (false when there is none), and the folder of a DatabaseName that
// may be the alias of a database component. Without them a query keeps its own settings and
// takes a name without delimiters as the current folder.
struct TXbQueryEnvironment {
  bool Century = false;
  bool Deleted = true;
  int MemoBlockSize = 64;
};
using TXbFindQueryEnvironment = std::function<bool(TXbQueryEnvironment& Settings)>;
using TXbResolveQueryFolder =
    std::function<std::string(const std::string& DatabaseName, bool Designing)>;
TXbFindQueryEnvironment& XbQueryEnvironmentHook();
TXbResolveQueryFolder& XbQueryFolderHook();

// The route of a query: the same numbers as the table layer's access method.
enum TQueryAccessMethod { qamLocal = 0, qamServer = 1 };

class TXbTableItem : public TPersistent {
 public:
  const std::string& TableName() const { return FTableName; }
  // Sets Alias from the name's part before its first "." while Alias is empty.
  void SetTableName(const std::string& Value);
  std::string Alias;
  int TableType = 1;  // the table layer's TXbTableType; ttXBFOX
  std::string Password;
  bool OEMTranslate = false;
  TStringList& ExtraIndexes() { return FExtraIndexes; }
  int CommitLevel = 0;  // the table layer's TXbCommitLevel; clNormal
  std::string DisplayName() const;
  void Assign(TPersistent* Source) override;
  bool Changed = false;

 private:
  std::string FTableName;
  TStringList FExtraIndexes;
};

class TXbTables {
 public:
  TXbTableItem* Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  TXbTableItem* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  void Clear() { FItems.clear(); }
  void Assign(const TXbTables& Source);
  // The tables block of a prepare request and the number of tables in it.
  std::string TablesBlock(int& TableCount) const;

 private:
  std::vector<std::unique_ptr<TXbTableItem>> FItems;
};

// One blob or memo value of one row, read once when the stream is made.
class TXbQueryBlobStream : public TMemoryStream {
 public:
  TXbQueryBlobStream(TXbConnection& Connection, int AccessMethod, int32_t Handle,
                     int FieldIndex, int Row);
};

class TXbQuery : public TDataSet {
 public:
  explicit TXbQuery(TComponent* AOwner = nullptr);
  ~TXbQuery() override;

  // ---- published properties
  TQueryAccessMethod AccessMethod() const { return FAccessMethod; }
  void SetAccessMethod(TQueryAccessMethod Value);
  // The connection of the server route; the query hears of its destruction.
  TXbConnection* XbConnection() const { return FXbConnection; }
  void SetXbConnection(TXbConnection* Value);
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  TStringList& SQL() { return FSQL; }
  // Closes an open query first.
  void SetSQL(const std::string& Text);
  TParams& Params() { return FParams; }
  bool ParamCheck = false;
  TXbTables& TableNames() { return FTableNames; }
  int TableType = 1;
  int CommitLevel = 0;
  std::string DateFormat = "m/d/yyyy";
  bool SetDeleted = true;
  std::string Password;
  bool OEMTranslate = false;
  bool ReadOnly = false;
  int FetchCount() const { return FFetchCount; }
  void SetFetchCount(int Value) { FFetchCount = Value < 1 ? 1 : Value; }
  int WaitCursor = 0;
  int RecCount() { return GetRecordCount(); }
  void SetRecCount(int) {}
  std::string Version() const;
  void SetVersion(const std::string&) {}
  const std::string& LastMessage() const { return FLastMessage; }

  // ---- dataset operations
  bool GetFieldData(TField* Field, void* Buffer) override;
  void SetFieldData(TField* Field, const void* Buffer) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues,
              TLocateOptions Options) override;
  bool FindRecord(bool Restart, bool GoForward) override;
  void SetRecNo(int Value) override;
  bool BookmarkValid(const TBookmark&) override { return true; }
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
  void Loaded() override;

  // The largest number of fields a result may have.
  static constexpr int kMaxFields = 1025;
  // Bounds of a result the query takes on: bytes per row, rows, and rows times their buffers.
  static constexpr int kMaxRowSize = 2 * 1024 * 1024;
  static constexpr int kMaxRows = 16 * 1024 * 1024;
  static constexpr int64_t kMaxResultBytes = int64_t{2} << 30;

 protected:
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  int GetRecordSize() override { return FRowSize; }
  void ClearCalcFields(TRecordBuffer Buffer) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() override { return FOpen; }
  void InternalInitFieldDefs() override;
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = FRowCount + 1; }
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalRefresh() override {}
  void InternalPost() override;
  void InternalDelete() override;
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
  int GetRecNo() override;
  int GetRecordCount() override;
  bool GetCanModify() override { return !ReadOnly; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  [[noreturn]] void Fail(const std::string& Message);
  TXbConnection& Route();
  void PrepareAndOpen();
  std::string ResolveLocalPath() const;
  bool NextRow();
  bool PriorRow();
  void FetchRow(int Row);
  int BufferSize() const { return FRowSize + 12 + CalcFieldsSize(); }
  int32_t RowNumberOf(TRecordBuffer Buffer) const;
  void SetRowNumber(TRecordBuffer Buffer, int32_t Row) const;
  TRecordBuffer NewRow();
  // The buffer of held row Index (0-based), made zero-filled when the row has none yet.
  TRecordBuffer HeldRow(size_t Index);
  // Closes the statement when the result cannot be taken on, and refuses it.
  [[noreturn]] void Refuse(TXbConnection& Connection, const std::string& Message);
  // Where Field's value lies in Buffer, or nullptr.
  char* FieldPlace(TField* Field, TRecordBuffer Buffer);

  TQueryAccessMethod FAccessMethod = qamLocal;
  TXbConnection* FXbConnection = nullptr;
  std::string FDatabaseName;
  TStringList FSQL;
  TParams FParams{this};
  TXbTables FTableNames;
  int FFetchCount = 100;
  int32_t FHandle = 0;
  int FRowCount = 0;
  int FFieldCount = 0;
  int FRowSize = 0;
  bool FCentury = false;
  int FMemoBlockSize = 64;
  std::string FLocalPath;
  std::string FLastMessage;
  TXbConnection* FInternalConnection = nullptr;
  std::vector<TRecordBuffer> FRows;  // nullptr until the row is fetched or written
  std::vector<int32_t> FFetched;
  // The server's row number of each row held (0 for a row made in memory), so that rows
  // still to be fetched are asked for by their own number after inserts and deletes.
  std::vector<int32_t> FSource;
  int FServerRows = 0;
  int FCursor = -1;
  std::vector<int> FFieldOffsets;  // by field number, 1-based
  bool FOpen = false;
  bool FBusy = false;
};
