// One prepared statement of the add-on: an in-memory SQLite connection whose tables are the
// xBase tables the prepare named (and any table of the data folder the statement names), its
// parameters, and the result of its last run.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "addons/sql/include/ravavadiv61.h"
#include "addons/sql/src/EngineLink.h"
#include "addons/sql/src/InputBlocks.h"
#include "addons/sql/src/ResultSet.h"
#include "addons/sql/src/XbVirtualTable.h"

namespace xbsql {

struct PrepareArgs {
  XbSqlProgress Progress = nullptr;
  void* ProgressData = nullptr;
  int TableType = 2;  // the engine's code
  std::string DataPath;
  bool HideDeleted = true;
  std::vector<TableEntry> Tables;
  std::vector<ParamValue> Params;
};

class Statement {
 public:
  Statement(const EngineLink& Engine, PrepareArgs Args);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Makes the connection and the named tables; false with Error and ErrorNo.
  bool Prepare(std::string& Error, int& ErrorNo);
  // Runs Sql and keeps its result; false with Error and ErrorNo.
  bool Open(const std::string& Sql, std::string& Error, int& ErrorNo);
  void CloseResult();

  const ResultSet* Result() const { return FResult.get(); }
  ResultSet* Result() { return FResult.get(); }
  const EngineLink& Engine() const { return FEngine; }
  bool HideDeleted() const { return FArgs.HideDeleted; }
  // The last message handed to the caller; kept here so the pointer stays valid.
  std::string Message;
  std::string Bytes;

 private:
  // Makes a table of the data folder for a name the statement uses but nothing defines.
  bool AddFolderTable(const std::string& Name, std::string& Error);
  bool Exec(const std::string& Sql, std::string& Error, int& ErrorNo);
  void BindParams(sqlite3_stmt* Stmt);

  const EngineLink& FEngine;
  PrepareArgs FArgs;
  std::unique_ptr<TableCatalog> FCatalog;
  sqlite3* FDb = nullptr;
  std::unique_ptr<ResultSet> FResult;
  std::vector<std::string> FTableNames;  // upper-cased names already made
};

}  // namespace xbsql
