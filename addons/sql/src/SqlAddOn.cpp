// The add-on's exported entry points (see ravavadiv61.h): statement handles, and the guard that
// keeps every C++ exception inside the library and turns it into an error number and text.
#include <map>
#include <memory>
#include <new>
#include <string>

#include "addons/sql/include/ravavadiv61.h"
#include "addons/sql/src/EngineLink.h"
#include "addons/sql/src/InputBlocks.h"
#include "addons/sql/src/Statement.h"

namespace {

using xbsql::Statement;

struct Registry {
  std::map<int32_t, std::unique_ptr<Statement>> statements;
  int32_t last = 0;
  std::string prepareMessage;  // a failed prepare has no statement to keep its text
};

Registry& R() {
  static Registry r;
  return r;
}

Statement* Find(int32_t handle) {
  auto it = R().statements.find(handle);
  return it == R().statements.end() ? nullptr : it->second.get();
}

int32_t NewHandle() {
  Registry& r = R();
  // Handles stay small positive numbers (the server route carries them in 16 bits).
  do {
    r.last = r.last >= 0x7FFF ? 1 : r.last + 1;
  } while (r.statements.count(r.last) != 0);
  return r.last;
}

// Runs Body; any exception becomes error number 1 and its text in Message.
template <class F>
void Guarded(std::string& Message, int32_t* ErrorNo, F&& Body) {
  try {
    Body();
  } catch (const std::bad_alloc&) {
    Message = "Out of memory in the SQL add-on";
    if (ErrorNo) *ErrorNo = 1;
  } catch (const std::exception& e) {
    Message = e.what();
    if (ErrorNo) *ErrorNo = 1;
  } catch (...) {
    Message = "Unexpected failure in the SQL add-on";
    if (ErrorNo) *ErrorNo = 1;
  }
}

const char kNoHandle[] = "No such SQL statement handle";

}  // namespace

extern "C" {

XBSQLAPI const char* dll_sql_Prepare(void* connection, int32_t* handle, XbSqlProgress progress,
                                     void* progressData, int16_t tableType, const char* password,
                                     int16_t oemTranslate, int32_t tableCount, const char* tables,
                                     int32_t tablesLength, const char* dataPath, int16_t setDeleted,
                                     int16_t century, int32_t memoBlockSize, const char* dateFormat,
                                     const void* params, int32_t paramsLength, int16_t readOnly,
                                     int16_t commitLevel, int32_t* errorNo) {
  // The engine holds no passwords and translates nothing, the result is read-only whatever
  // the flag, and dates are ISO text in SQL, so those settings change nothing here.
  (void)connection, (void)password, (void)oemTranslate, (void)century, (void)memoBlockSize;
  (void)dateFormat, (void)readOnly, (void)commitLevel;
  std::string& msg = R().prepareMessage;
  msg.clear();
  int32_t ignored = 0;
  if (errorNo == nullptr) errorNo = &ignored;
  *errorNo = 0;
  if (handle != nullptr) *handle = 0;
  Guarded(msg, errorNo, [&] {
    std::string error;
    const xbsql::EngineLink* engine = xbsql::Engine(error);
    if (engine == nullptr) {
      msg = error;
      *errorNo = 1;
      return;
    }
    xbsql::PrepareArgs args;
    args.Progress = progress;
    args.ProgressData = progressData;
    args.TableType = xbsql::EngineTableType(tableType);
    args.DataPath = dataPath ? dataPath : "";
    args.HideDeleted = setDeleted != 0;
    if (tablesLength < 0 || paramsLength < 0 || (tablesLength > 0 && tables == nullptr) ||
        (paramsLength > 0 && params == nullptr)) {
      msg = "A block of the prepare has no data";
      *errorNo = 1;
      return;
    }
    if (!xbsql::ReadTablesBlock(tables, static_cast<size_t>(tablesLength), tableCount, args.Tables, error) ||
        !xbsql::ReadParamBlock(static_cast<const char*>(params), static_cast<size_t>(paramsLength), args.Params,
                               error)) {
      msg = error;
      *errorNo = 1;
      return;
    }
    // The statement is made and, on failure, dropped while the program's selection is kept aside.
    xbsql::EngineScope scope(*engine, args.HideDeleted);
    auto st = std::make_unique<Statement>(*engine, std::move(args));
    int no = 0;
    if (!st->Prepare(error, no)) {
      msg = error;
      *errorNo = no > 0 ? no : 1;
      return;
    }
    const int32_t h = NewHandle();
    R().statements[h] = std::move(st);
    if (handle != nullptr) *handle = h;
  });
  return msg.c_str();
}

XBSQLAPI const char* dll_sql_OpenSQL(int32_t handle, const char* sql, int32_t* rowCount,
                                     int32_t* fieldCount, int32_t* rowSize, int32_t* errorNo) {
  int32_t ignored = 0;
  if (errorNo == nullptr) errorNo = &ignored;
  for (int32_t* out : {rowCount, fieldCount, rowSize, errorNo})
    if (out) *out = 0;
  Statement* st = Find(handle);
  if (st == nullptr) {
    *errorNo = 1;
    return kNoHandle;
  }
  st->Message.clear();
  Guarded(st->Message, errorNo, [&] {
    std::string error;
    int no = 0;
    bool ok;
    {
      xbsql::EngineScope scope(st->Engine(), st->HideDeleted());
      ok = st->Open(sql ? sql : "", error, no);
    }
    if (!ok) {
      st->Message = error;
      *errorNo = no > 0 ? no : 1;
      return;
    }
    const xbsql::ResultSet* r = st->Result();
    if (rowCount) *rowCount = r->RowCount();
    if (fieldCount) *fieldCount = r->FieldCount();
    if (rowSize) *rowSize = r->RowSize();
  });
  return st->Message.c_str();
}

XBSQLAPI void dll_sql_GetStructure(int32_t handle, const char** data, int32_t* length) {
  if (data) *data = nullptr;
  if (length) *length = 0;
  Statement* st = Find(handle);
  if (st == nullptr || st->Result() == nullptr || data == nullptr || length == nullptr) return;
  const std::string& s = st->Result()->Structure();
  *data = s.data();
  *length = static_cast<int32_t>(s.size());
}

XBSQLAPI void dll_sql_GetRecord(int32_t handle, const char** data, int32_t firstRow, int32_t rows,
                                int32_t* reserved, int32_t* length) {
  if (data) *data = nullptr;
  if (length) *length = 0;
  if (reserved) *reserved = 0;
  Statement* st = Find(handle);
  if (st == nullptr || st->Result() == nullptr || data == nullptr || length == nullptr) return;
  Guarded(st->Message, nullptr, [&] {
    const std::string& block = st->Result()->Rows(firstRow, rows);
    *data = block.data();
    *length = static_cast<int32_t>(block.size());
  });
}

XBSQLAPI void dll_sql_ReadBlobData(int32_t handle, const char** data, int32_t row,
                                   int32_t fieldIndex, int32_t* length) {
  if (data) *data = nullptr;
  if (length) *length = 0;
  Statement* st = Find(handle);
  if (st == nullptr || st->Result() == nullptr || data == nullptr || length == nullptr) return;
  const std::string_view v = st->Result()->Blob(row, fieldIndex);
  *data = v.data();
  *length = static_cast<int32_t>(v.size());
}

XBSQLAPI void dll_sql_CloseSQL(int32_t handle, int32_t* result) {
  if (result) *result = 0;
  if (Statement* st = Find(handle)) st->CloseResult();
}

XBSQLAPI void dll_sql_UnPrepareSQL(int32_t handle, int32_t* result) {
  if (result) *result = 0;
  auto it = R().statements.find(handle);
  if (it == R().statements.end()) return;
  std::string ignored;
  Guarded(ignored, nullptr, [&] {
    // Closing the tables selects their work areas: the program's selection is put back.
    xbsql::EngineScope scope(it->second->Engine(), it->second->HideDeleted());
    R().statements.erase(it);
  });
}

// ---- Not used by the query dataset ------------------------------------------------------------
// Statements run through dll_sql_OpenSQL only; the rest answer neutrally. The collation calls
// have nothing to set: text follows the engine's own character order.

XBSQLAPI const char* dll_sql_ExecSQL(int32_t, const char*, int32_t* errorNo) {
  if (errorNo) *errorNo = 1;
  return "Statements without a result are not run by the SQL add-on";
}

XBSQLAPI int32_t dll_sql_RecCount(int32_t handle) {
  Statement* st = Find(handle);
  return st != nullptr && st->Result() != nullptr ? st->Result()->RowCount() : 0;
}

XBSQLAPI void dll_sql_Refresh(int32_t) {}
XBSQLAPI void dll_sql_SetSystemCollation(int16_t) {}
XBSQLAPI void dll_sql_SetMachineCollation(int16_t) {}
XBSQLAPI void dll_sql_AddDudenCollation(void) {}
XBSQLAPI void dll_sql_AddEtecCollation(void) {}

}  // extern "C"
