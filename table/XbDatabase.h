// TXbDatabase gives a folder a short alias that tables name in DatabaseName; the process-wide
// database list keeps every live one, and the alias resolution turns a DatabaseName into the
// folder of its tables.
//
// Contract:
// - A database is in the list from its construction to its destruction, once; lookups take
//   the first match.
// - The list is created on first use and lives to program exit; Destroy() on it raises
//   "Cannot manually destroy a TapdbStringList".
// - ResolveDatabaseFolder never fails: an unknown alias or an empty name gives the current
//   folder. The result ends in a path delimiter.
//
// GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Classes.h"

class TXbDatabase : public TComponent {
 public:
  explicit TXbDatabase(TComponent* AOwner = nullptr);
  ~TXbDatabase() override;

  std::string DataPath;
  std::string DataPathAlias;
};

// A plain list of database pointers.
class TapdbStringList : public TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // An index out of range raises EListError.
  TXbDatabase* Items(int Index) const;
  int Add(TXbDatabase* Item);
  void Delete(int Index);
  int IndexOf(const TXbDatabase* Item) const;
  // The list belongs to the program: destroying it by hand is refused.
  [[noreturn]] void Destroy();

 private:
  friend TapdbStringList& GetDatabaseList();
  friend struct TapdbStringListHolder;
  TapdbStringList() = default;
  ~TapdbStringList() override;
  std::vector<TXbDatabase*> FItems;
};

TapdbStringList& GetDatabaseList();

// The database whose alias equals Alias. While designing the process-wide list is searched
// without regard to case; at run time the application's components are walked and the alias
// compared upper-cased. nullptr when none matches.
TXbDatabase* FindDatabase(const std::string& Alias, bool Designing);

// True when the name is itself a folder (it holds a path delimiter, a drive colon or a dot)
// rather than an alias.
bool IsFolderName(const std::string& DatabaseName);

// The folder of DatabaseName: the name itself when it is a folder, else the DataPath of
// Database (when given and not empty), else the current folder; with a trailing delimiter.
std::string ResolveDatabaseFolder(const std::string& DatabaseName, const TXbDatabase* Database);
