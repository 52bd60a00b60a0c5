// A prepared statement of the add-on (see Statement.h).
#include "addons/sql/src/Statement.h"

#include "addons/sql/src/Cp949Functions.h"
#include "platform/core/Cp949.h"

namespace xbsql {

namespace {

const char kNoSuchTable[] = "no such table: ";
// Names the statement may add from the data folder, at most.
constexpr int kMaxFolderTables = 64;

// The name a table is known by: its alias, else its file name without folder and extension.
std::string TableNameOf(const TableEntry& t) {
  if (!t.Alias.empty()) return t.Alias;
  std::string base = t.TableName;
  const size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.find('.');
  return dot == std::string::npos ? base : base.substr(0, dot);
}

bool OnlyBlanks(const char* p) {
  for (; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') return false;
  return true;
}

bool NameMatches(const char* sqlName, const std::string& name) {
  // ":NAME", "@NAME" and "$NAME" all name parameter NAME, in any letter case.
  return sqlName != nullptr && sqlName[0] != '?' && sqlName[0] != '\0' &&
         cp949::Upper(sqlName + 1) == cp949::Upper(name);
}

}  // namespace

Statement::Statement(const EngineLink& Engine, PrepareArgs Args) : FEngine(Engine), FArgs(std::move(Args)) {}

Statement::~Statement() {
  FResult.reset();
  if (FDb != nullptr) sqlite3_close_v2(FDb);
  FCatalog.reset();
}

bool Statement::Exec(const std::string& Sql, std::string& Error, int& ErrorNo) {
  char* err = nullptr;
  const int rc = sqlite3_exec(FDb, Sql.c_str(), nullptr, nullptr, &err);
  if (rc == SQLITE_OK) return true;
  ErrorNo = rc;
  Error = err ? err : sqlite3_errstr(rc);
  sqlite3_free(err);
  return false;
}

bool Statement::Prepare(std::string& Error, int& ErrorNo) {
  FCatalog = std::make_unique<TableCatalog>(FEngine, FArgs.Progress, FArgs.ProgressData);
  const int rc = sqlite3_open_v2(":memory:", &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    ErrorNo = rc;
    Error = sqlite3_errstr(rc);
    return false;
  }
  if (!RegisterXbaseModule(FDb, FCatalog.get()) || !RegisterCp949Functions(FDb)) {
    ErrorNo = SQLITE_ERROR;
    Error = sqlite3_errmsg(FDb);
    return false;
  }
  for (const TableEntry& t : FArgs.Tables) {
    TableDef def;
    const bool hasFolder = t.TableName.find_first_of("/\\") != std::string::npos;
    def.Path = hasFolder ? t.TableName : FArgs.DataPath + t.TableName;
    def.EngineType = t.EngineType;
    def.ExtraIndexes = t.ExtraIndexes;
    const std::string name = TableNameOf(t);
    if (!Exec(CreateTableStatement(name, FCatalog->Add(std::move(def))), Error, ErrorNo)) return false;
    FTableNames.push_back(cp949::Upper(name));
  }
  return true;
}

bool Statement::AddFolderTable(const std::string& Name, std::string& Error) {
  if (Name.empty() || Name.find_first_of("/\\") != std::string::npos ||
      static_cast<int>(FTableNames.size()) >= kMaxFolderTables + static_cast<int>(FArgs.Tables.size()))
    return false;
  const std::string key = cp949::Upper(Name);
  for (const std::string& n : FTableNames)
    if (n == key) return false;
  TableDef def;
  def.Path = FArgs.DataPath + Name;
  def.EngineType = FArgs.TableType;
  int errorNo = 0;
  if (!Exec(CreateTableStatement(Name, FCatalog->Add(std::move(def))), Error, errorNo)) return false;
  FTableNames.push_back(key);
  return true;
}

void Statement::BindParams(sqlite3_stmt* Stmt) {
  const int count = sqlite3_bind_parameter_count(Stmt);
  for (size_t i = 0; i < FArgs.Params.size(); ++i) {
    const ParamValue& p = FArgs.Params[i];
    int index = 0;
    for (int j = 1; j <= count && index == 0 && !p.Name.empty(); ++j)
      if (NameMatches(sqlite3_bind_parameter_name(Stmt, j), p.Name)) index = j;
    // A parameter the statement does not name takes the place of its number, when that is "?".
    if (index == 0 && static_cast<int>(i) < count) {
      const char* at = sqlite3_bind_parameter_name(Stmt, static_cast<int>(i) + 1);
      if (at == nullptr || at[0] == '?') index = static_cast<int>(i) + 1;
    }
    if (index == 0) continue;
    switch (p.Type) {
      case ParamValue::Null: sqlite3_bind_null(Stmt, index); break;
      case ParamValue::Integer: sqlite3_bind_int64(Stmt, index, p.IntValue); break;
      case ParamValue::Real: sqlite3_bind_double(Stmt, index, p.RealValue); break;
      case ParamValue::Text:
        sqlite3_bind_text64(Stmt, index, p.Bytes.data(), p.Bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
      case ParamValue::Blob:
        sqlite3_bind_blob64(Stmt, index, p.Bytes.data(), p.Bytes.size(), SQLITE_TRANSIENT);
        break;
    }
  }
}

bool Statement::Open(const std::string& Sql, std::string& Error, int& ErrorNo) {
  CloseResult();
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  for (int round = 0;; ++round) {
    const int rc = sqlite3_prepare_v2(FDb, Sql.c_str(), static_cast<int>(Sql.size()), &stmt, &tail);
    if (rc == SQLITE_OK) break;
    ErrorNo = rc;
    Error = sqlite3_errmsg(FDb);
    // A table the prepare did not name is looked for in the data folder, once per name.
    if (Error.compare(0, sizeof kNoSuchTable - 1, kNoSuchTable) != 0 || round > kMaxFolderTables) return false;
    std::string name = Error.substr(sizeof kNoSuchTable - 1);
    for (const char* schema : {"main.", "temp."})
      if (cp949::Upper(name).compare(0, 5, cp949::Upper(schema)) == 0) name = name.substr(5);
    std::string why;
    if (!AddFolderTable(name, why)) {
      if (!why.empty()) Error += " (" + why + ")";
      return false;
    }
  }
  struct Finalizer {
    sqlite3_stmt* s;
    ~Finalizer() { sqlite3_finalize(s); }
  } finalize{stmt};
  ErrorNo = 1;
  if (stmt == nullptr) {
    Error = "The SQL text holds no statement";
    return false;
  }
  if (!OnlyBlanks(tail)) {
    Error = "Only one statement can be run at a time";
    return false;
  }
  if (!sqlite3_stmt_readonly(stmt) || sqlite3_column_count(stmt) < 1) {
    Error = "Only statements that return rows can be run here";
    return false;
  }
  if (sqlite3_column_count(stmt) > DLL_SQL_MAX_FIELDS) {
    Error = "The statement has " + std::to_string(sqlite3_column_count(stmt)) +
            " result columns; at most " + std::to_string(DLL_SQL_MAX_FIELDS) + " can be held";
    return false;
  }
  ErrorNo = 0;
  BindParams(stmt);
  auto result = std::make_unique<ResultSet>();
  const bool ok = result->Collect(stmt, Error, ErrorNo);
  // The rows are held now: the work areas go back to the engine until the next run.
  sqlite3_reset(stmt);
  FCatalog->CloseWorkAreas();
  if (!ok) return false;
  FResult = std::move(result);
  return true;
}

void Statement::CloseResult() { FResult.reset(); }

}  // namespace xbsql
