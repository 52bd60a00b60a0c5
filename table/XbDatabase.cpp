// Database aliases: the components, their process-wide list and the folder resolution.
#include "table/XbDatabase.h"

#include <algorithm>

#include "platform/core/SysUtils.h"
#include "remote/XbQuery.h"
#include "table/XbSearch.h"

struct TapdbStringListHolder {
  TapdbStringList* list = nullptr;
  ~TapdbStringListHolder() {
    delete list;
    list = nullptr;
  }
};

namespace {
TapdbStringListHolder gDatabaseList;
}

TapdbStringList& GetDatabaseList() {
  if (gDatabaseList.list == nullptr) gDatabaseList.list = new TapdbStringList();
  return *gDatabaseList.list;
}

TapdbStringList::~TapdbStringList() = default;

TXbDatabase* TapdbStringList::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

int TapdbStringList::Add(TXbDatabase* Item) {
  FItems.push_back(Item);
  return Count() - 1;
}

void TapdbStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count())
    throw EListError(Format("List index out of bounds (%d)", Index));
  FItems.erase(FItems.begin() + Index);
}

int TapdbStringList::IndexOf(const TXbDatabase* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TapdbStringList::Destroy() {
  throw Exception(Format("Cannot manually destroy a %s", ClassName().c_str()));
}

// A database registers itself by its own class here: the owner's insert and remove notices
// arrive while it is only a component. Every entry goes with it, so the list never points
// at a destroyed database.
TXbDatabase::TXbDatabase(TComponent* AOwner) : TComponent(AOwner) { GetDatabaseList().Add(this); }

TXbDatabase::~TXbDatabase() {
  TapdbStringList& list = GetDatabaseList();
  for (int i = list.IndexOf(this); i >= 0; i = list.IndexOf(this)) list.Delete(i);
}

TXbDatabase* FindDatabase(const std::string& Alias, bool Designing) {
  if (Designing) {
    TapdbStringList& list = GetDatabaseList();
    for (int i = 0; i < list.Count(); ++i)
      if (SameText(list.Items(i)->DataPathAlias, Alias)) return list.Items(i);
    return nullptr;
  }
  const std::string wanted = UpperCase(Alias);
  TXbSearchObject search;
  for (TXbDatabase* db = search.FindFirst<TXbDatabase>(); db; db = search.FindNext<TXbDatabase>())
    if (UpperCase(db->DataPathAlias) == wanted) return db;
  return nullptr;
}

bool IsFolderName(const std::string& DatabaseName) {
  return DatabaseName.find_first_of("\\/:.") != std::string::npos;
}

std::string ResolveDatabaseFolder(const std::string& DatabaseName, const TXbDatabase* Database) {
  std::string folder;
  if (IsFolderName(DatabaseName))
    folder = DatabaseName;
  else if (Database != nullptr)
    folder = Database->DataPath;
  if (folder.empty()) folder = GetCurrentDir();
  return IncludeTrailingPathDelimiter(folder);
}

namespace {

// SQL queries resolve their database aliases through the databases.
[[maybe_unused]] const bool gQueryFolderHook = [] {
  XbQueryFolderHook() = [](const std::string& DatabaseName, bool Designing) {
    return ResolveDatabaseFolder(DatabaseName, IsFolderName(DatabaseName)
                                                   ? nullptr
                                                   : FindDatabase(DatabaseName, Designing));
  };
  return true;
}();

}  // namespace
