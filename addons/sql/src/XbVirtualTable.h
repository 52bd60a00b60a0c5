// The SQLite virtual-table module "xbase": each table of a statement is an xBase table read
// through the engine's entry points, one engine work area per open cursor (work areas are
// kept for reuse until the catalog closes them).
//
// Columns are the table's fields, with SQL values: character fields without their trailing
// blanks, numbers as integers or reals (empty: NULL), dates as 'YYYY-MM-DD' (empty: NULL),
// logical fields as 1 or 0, memo text as text and binary memo fields as blobs, both read only
// when the statement asks for them. Deleted records are hidden or shown as the engine's
// setting stands while the statement runs.
//
// An equality on a character field that an index tag of the table orders (a tag whose key is
// that field alone, without a condition, and not unique) is answered through the tag: the tag
// is scoped to the value and only the records under it are read. SQLite checks every row
// again, so the scope needs only to hold all matches.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "addons/sql/include/ravavadiv61.h"
#include "addons/sql/src/EngineLink.h"

namespace xbsql {

struct TableDef {
  std::string Path;  // the .dbf file, code page 949
  int EngineType = 2;
  std::vector<std::string> ExtraIndexes;
};

struct FieldInfo {
  std::string Name;
  char Type = 'C';
  int Width = 0;
  int Decimals = 0;
  int Offset = 0;     // in the record image
  XbShort Order = 0;  // the tag that orders this field alone, 0 for none
};

class TableSource;

// The tables of one statement and what their cursors share.
class TableCatalog {
 public:
  TableCatalog(const EngineLink& Engine, XbSqlProgress Progress, void* ProgressData);
  ~TableCatalog();
  TableCatalog(const TableCatalog&) = delete;
  TableCatalog& operator=(const TableCatalog&) = delete;

  // A table to be created; returns the number the module's argument names it by.
  int Add(TableDef Def);
  // Opens table number Index (once); nullptr and Error when it cannot be opened.
  TableSource* Source(int Index, std::string& Error);
  // Closes every work area the tables hold.
  void CloseWorkAreas();

  const EngineLink& Engine() const { return FEngine; }
  // True when text compares through the engine's own character order rather than bytes.
  bool CustomCollation() const { return FCustomCollation; }
  const unsigned char* Weights() const { return FWeights; }
  void ReportProgress(int32_t Maximum, int32_t Position) const;

 private:
  const EngineLink& FEngine;
  XbSqlProgress FProgress;
  void* FProgressData;
  std::vector<TableDef> FDefs;
  std::vector<std::unique_ptr<TableSource>> FSources;
  unsigned char FWeights[256];
  bool FCustomCollation = false;
};

// Registers the module and, when the engine's character order is not the byte order, the
// collation "XBENG" that follows it.
bool RegisterXbaseModule(sqlite3* Db, TableCatalog* Catalog);

// "CREATE VIRTUAL TABLE temp.<Name> USING xbase(<Index>)" with Name quoted.
std::string CreateTableStatement(const std::string& Name, int Index);

}  // namespace xbsql
