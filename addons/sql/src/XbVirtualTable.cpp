// The "xbase" virtual-table module (see XbVirtualTable.h).
#include "addons/sql/src/XbVirtualTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "addons/sql/src/InputBlocks.h"
#include "platform/core/Cp949.h"
#include "platform/core/NumberText.h"

namespace xbsql {

namespace {

constexpr int64_t kProgressStep = 65536;

std::string Copy(const char* s) { return s ? std::string(s) : std::string(); }

std::string Quoted(const std::string& Name) {
  std::string q = "\"";
  for (char c : Name) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

bool IsFolderSeparator(char c) { return c == '/' || c == '\\'; }

// Each work area needs an alias of its own in the one engine the program shares.
std::string NextAlias() {
  static unsigned counter = 0;
  return "XBSQL" + std::to_string(++counter);
}

int CompareWeights(void* Weights, int n1, const void* a, int n2, const void* b) {
  const auto* w = static_cast<const unsigned char*>(Weights);
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  const int n = n1 < n2 ? n1 : n2;
  for (int i = 0; i < n; ++i)
    if (w[x[i]] != w[y[i]]) return w[x[i]] < w[y[i]] ? -1 : 1;
  return n1 < n2 ? -1 : (n1 > n2 ? 1 : 0);
}

}  // namespace

// One xBase table: its fields and tags, and the work areas its cursors read through.
class TableSource {
 public:
  TableSource(const TableCatalog& Catalog, TableDef Def) : FCatalog(Catalog), FDef(std::move(Def)) {}
  ~TableSource() { CloseWorkAreas(); }

  bool Open(std::string& Error) {
    const XbShort wa = OpenWorkArea();
    if (wa <= 0) {
      Error = "Cannot open table " + FDef.Path;
      return false;
    }
    const EngineLink& e = FCatalog.Engine();
    RecSize = e.xb_RecSize();
    RecCount = e.xb_RecCount();
    const int count = e.xb_FieldCount();
    for (int i = 1; i <= count; ++i) {
      FieldInfo f;
      f.Name = Copy(e.xb_FieldName(static_cast<XbShort>(i)));
      const std::string type = Copy(e.xb_FieldType(f.Name.c_str()));
      f.Type = type.empty() ? 'C' : type[0];
      f.Width = e.xb_FieldWidth(f.Name.c_str());
      f.Decimals = e.xb_FieldDecimals(f.Name.c_str());
      f.Offset = e.xb_FieldOffset(f.Name.c_str()) - 1;
      if (f.Name.empty() || f.Width < 1 || f.Offset < 1 || f.Offset + f.Width > RecSize) {
        Error = "The structure of " + FDef.Path + " cannot be read";
        ReleaseWorkArea(wa);
        return false;
      }
      Fields.push_back(f);
    }
    // Tags whose key is one character field, with no condition, can answer equalities; a
    // unique tag cannot, as it holds only the first record of each key.
    const int tags = e.xb_TagCount();
    for (int o = 1; o <= tags; ++o) {
      const std::string info = Copy(e.xb_TagInfo(static_cast<XbShort>(o)));
      const size_t a = info.find(';');
      const size_t b = a == std::string::npos ? a : info.find(';', a + 1);
      if (b == std::string::npos || !Trimmed(info.substr(b + 1)).empty()) continue;
      e.xb_SetOrder(static_cast<XbShort>(o));
      const bool unique = e.xb_IndexType() == 2;
      e.xb_SetOrder(0);
      if (unique) continue;
      const std::string key = cp949::Upper(Trimmed(info.substr(a + 1, b - a - 1)));
      for (FieldInfo& f : Fields)
        if (f.Order == 0 && f.Type == 'C' && cp949::Upper(f.Name) == key) f.Order = static_cast<XbShort>(o);
    }
    ReleaseWorkArea(wa);
    return true;
  }

  // A work area for one cursor, selected; 0 when none can be opened.
  XbShort AcquireWorkArea() {
    if (!FIdle.empty()) {
      const XbShort wa = FIdle.back();
      FIdle.pop_back();
      FCatalog.Engine().xb_Select(wa);
      return wa;
    }
    return OpenWorkArea();
  }
  void ReleaseWorkArea(XbShort Wa) {
    if (Wa > 0) FIdle.push_back(Wa);
  }
  void CloseWorkAreas() {
    const EngineLink& e = FCatalog.Engine();
    for (XbShort wa : FIdle) {
      e.xb_Select(wa);
      e.xb_Close();
    }
    FIdle.clear();
  }

  std::vector<FieldInfo> Fields;
  int32_t RecSize = 0;
  int32_t RecCount = 0;
  const TableCatalog& Catalog() const { return FCatalog; }

 private:
  XbShort Use(int Type) {
    const EngineLink& e = FCatalog.Engine();
    const XbShort wa =
        e.xb_UseEx(FDef.Path.c_str(), NextAlias().c_str(), XB_OPEN_READONLY, static_cast<XbShort>(Type), 0);
    if (wa > 0) e.xb_Select(wa);
    return wa;
  }

  XbShort OpenWorkArea() {
    const EngineLink& e = FCatalog.Engine();
    XbShort wa = 0;
    if (FTypeSettled) {
      wa = Use(FDef.EngineType);
    } else {
      // The type given first; when its index file has no tags, the type whose index file
      // does (a note file named with the default type still has its tags used).
      const int given = FDef.EngineType;
      std::vector<int> types{given};
      for (int t : {3, 2, 1, 4})
        if (t != given) types.push_back(t);
      XbShort fallback = 0;
      int fallbackType = given;
      for (int type : types) {
        const XbShort next = Use(type);
        if (next <= 0) continue;
        if (e.xb_TagCount() > 0) {
          wa = next;
          FDef.EngineType = type;
          break;
        }
        if (fallback == 0) {
          fallback = next, fallbackType = type;
        } else {
          e.xb_Close();
        }
      }
      if (wa > 0 && fallback > 0) {
        e.xb_Select(fallback);
        e.xb_Close();
      } else if (wa <= 0) {
        wa = fallback;
        FDef.EngineType = fallbackType;
      }
      FTypeSettled = wa > 0;
    }
    if (wa <= 0) return 0;
    e.xb_Select(wa);
    const size_t slash = FDef.Path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : FDef.Path.substr(0, slash + 1);
    for (const std::string& index : FDef.ExtraIndexes) {
      const bool hasFolder = std::find_if(index.begin(), index.end(), IsFolderSeparator) != index.end();
      e.xb_IndexOpen((hasFolder ? index : folder + index).c_str());
    }
    return wa;
  }

  const TableCatalog& FCatalog;
  TableDef FDef;
  bool FTypeSettled = false;
  std::vector<XbShort> FIdle;
};

namespace {

struct XbVTab : sqlite3_vtab {
  TableSource* Source = nullptr;
};

struct XbCursor : sqlite3_vtab_cursor {
  TableSource* Source = nullptr;
  XbShort Wa = 0;
  std::vector<char> Image;
  bool AtEnd = true;
  int32_t RecNo = 0;
  int64_t Read = 0;
};

const EngineLink& E(const TableSource* s) { return s->Catalog().Engine(); }

const char* DeclaredType(const FieldInfo& f, bool collate, std::string& buf) {
  const char* c = collate ? " COLLATE XBENG" : "";
  switch (f.Type) {
    case 'C': buf = "CHAR(" + std::to_string(f.Width) + ")" + c; break;
    case 'N': buf = "NUMERIC(" + std::to_string(f.Width) + "," + std::to_string(f.Decimals) + ")"; break;
    case 'F': buf = "FLOAT(" + std::to_string(f.Width) + "," + std::to_string(f.Decimals) + ")"; break;
    case 'I': buf = "INTEGER"; break;
    case 'D': buf = "DATE"; break;
    case 'L': buf = "BOOLEAN"; break;
    case 'M': buf = std::string("MEMO TEXT") + c; break;
    case 'B': case 'G': case 'P': buf = "BLOB"; break;
    default: buf = "CHAR(" + std::to_string(f.Width) + ")" + c; break;
  }
  return buf.c_str();
}

int Create(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
  auto* catalog = static_cast<TableCatalog*>(aux);
  int index = -1;
  if (argc >= 4 && argv[3] != nullptr) {
    const char* s = argv[3];
    std::from_chars(s, s + std::strlen(s), index);
  }
  std::string error = "No such table definition";
  TableSource* source = index >= 0 ? catalog->Source(index, error) : nullptr;
  if (source == nullptr) {
    *err = sqlite3_mprintf("%s", error.c_str());
    return SQLITE_ERROR;
  }
  std::string ddl = "CREATE TABLE x(";
  std::string buf;
  for (size_t i = 0; i < source->Fields.size(); ++i) {
    if (i > 0) ddl += ", ";
    ddl += Quoted(source->Fields[i].Name) + " " + DeclaredType(source->Fields[i], catalog->CustomCollation(), buf);
  }
  ddl += ")";
  const int rc = sqlite3_declare_vtab(db, ddl.c_str());
  if (rc != SQLITE_OK) return rc;
  auto* vt = new XbVTab();
  vt->Source = source;
  *out = vt;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vt) {
  delete static_cast<XbVTab*>(vt);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* vt, sqlite3_index_info* info) {
  TableSource* s = static_cast<XbVTab*>(vt)->Source;
  const char* wanted = s->Catalog().CustomCollation() ? "XBENG" : "BINARY";
  const double rows = s->RecCount > 0 ? s->RecCount : 1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0 ||
        c.iColumn >= static_cast<int>(s->Fields.size()))
      continue;
    const FieldInfo& f = s->Fields[static_cast<size_t>(c.iColumn)];
    // A comparison under another collation may match keys the tag orders elsewhere.
    const char* coll = sqlite3_vtab_collation(info, i);
    if (f.Order == 0 || coll == nullptr || sqlite3_stricmp(coll, wanted) != 0) continue;
    info->idxNum = f.Order;
    info->aConstraintUsage[i].argvIndex = 1;
    info->aConstraintUsage[i].omit = 0;
    info->estimatedCost = 20.0 + std::log2(rows) * 4.0;
    info->estimatedRows = static_cast<sqlite3_int64>(rows / 100.0) + 1;
    return SQLITE_OK;
  }
  info->idxNum = 0;
  info->estimatedCost = rows * 4.0 + 1000.0;
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  return SQLITE_OK;
}

int OpenCursor(sqlite3_vtab* vt, sqlite3_vtab_cursor** out) {
  TableSource* s = static_cast<XbVTab*>(vt)->Source;
  const XbShort wa = s->AcquireWorkArea();
  if (wa <= 0) {
    sqlite3_free(vt->zErrMsg);
    vt->zErrMsg = sqlite3_mprintf("No engine work area is free for another cursor");
    return SQLITE_ERROR;
  }
  auto* c = new XbCursor();
  c->Source = s;
  c->Wa = wa;
  c->Image.assign(static_cast<size_t>(s->RecSize), ' ');
  *out = c;
  return SQLITE_OK;
}

int CloseCursor(sqlite3_vtab_cursor* cur) {
  auto* c = static_cast<XbCursor*>(cur);
  c->Source->ReleaseWorkArea(c->Wa);
  delete c;
  return SQLITE_OK;
}

// Takes the engine's current record into the cursor.
void Load(XbCursor* c) {
  const EngineLink& e = E(c->Source);
  c->AtEnd = e.xb_Eof() != 0;
  if (c->AtEnd) return;
  c->RecNo = e.xb_RecNo();
  e.xb_GetRecord(c->Image.data());
  if (++c->Read % kProgressStep == 0) c->Source->Catalog().ReportProgress(c->Source->RecCount, c->RecNo);
}

int Filter(sqlite3_vtab_cursor* cur, int idxNum, const char*, int argc, sqlite3_value** argv) {
  auto* c = static_cast<XbCursor*>(cur);
  const EngineLink& e = E(c->Source);
  e.xb_Select(c->Wa);
  XbShort order = 0;
  std::string key;
  if (idxNum > 0 && argc >= 1 && sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
    key.assign(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
               static_cast<size_t>(sqlite3_value_bytes(argv[0])));
    for (const FieldInfo& f : c->Source->Fields)
      if (f.Order == idxNum && static_cast<int>(key.size()) > f.Width) {
        c->AtEnd = true;  // longer than the field: nothing can be equal
        return SQLITE_OK;
      }
    order = static_cast<XbShort>(idxNum);
  }
  e.xb_SetOrder(order);
  if (order > 0) e.xb_SetScope(key.c_str(), key.c_str());
  e.xb_GoTop();
  Load(c);
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* cur) {
  auto* c = static_cast<XbCursor*>(cur);
  const EngineLink& e = E(c->Source);
  e.xb_Select(c->Wa);
  e.xb_Skip(1);
  Load(c);
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cur) { return static_cast<XbCursor*>(cur)->AtEnd ? 1 : 0; }

int Rowid(sqlite3_vtab_cursor* cur, sqlite3_int64* id) {
  *id = static_cast<XbCursor*>(cur)->RecNo;
  return SQLITE_OK;
}

// A number field's text: an integer when it has no decimals and fits, else a real.
void NumberResult(sqlite3_context* ctx, const char* p, int n, bool whole) {
  // Read as the engine and the table read a stored number ("  1,234.50" is 1234.5); a whole
  // field keeps every digit when it is plain digits, beyond what a double holds.
  if (whole) {
    const char* b = p;
    const char* e = p + n;
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    if (b < e && *b == '+') ++b;
    int64_t v = 0;
    auto r = std::from_chars(b, e, v);
    if (b < e && r.ec == std::errc() && r.ptr == e) {
      sqlite3_result_int64(ctx, v);
      return;
    }
  }
  double d = 0;
  if (numtext::ReadStored(std::string_view(p, static_cast<size_t>(n)), d))  // else NULL
    sqlite3_result_double(ctx, d);
}

int Column(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i) {
  auto* c = static_cast<XbCursor*>(cur);
  const FieldInfo& f = c->Source->Fields[static_cast<size_t>(i)];
  const char* p = c->Image.data() + f.Offset;
  int n = f.Width;
  switch (f.Type) {
    case 'N':
    case 'F':
      NumberResult(ctx, p, n, f.Decimals == 0);
      return SQLITE_OK;
    case 'I': {
      if (n < 4) return SQLITE_OK;
      int32_t v;
      std::memcpy(&v, p, 4);
      sqlite3_result_int64(ctx, v);
      return SQLITE_OK;
    }
    case 'D': {
      int32_t day = 0;
      std::string text;
      if (ParseDate(p, static_cast<size_t>(n), day) && DateText(day, text))
        sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      return SQLITE_OK;
    }
    case 'L': {
      const char v = n > 0 ? p[0] : ' ';
      if (std::strchr("TtYy", v) && v) sqlite3_result_int(ctx, 1);
      else if (std::strchr("FfNn", v) && v) sqlite3_result_int(ctx, 0);
      return SQLITE_OK;
    }
    case 'M':
    case 'B':
    case 'G':
    case 'P': {
      const EngineLink& e = E(c->Source);
      e.xb_Select(c->Wa);
      const XbLong length = e.xb_GetBlobLength(f.Name.c_str());
      const bool text = f.Type == 'M';
      if (length <= 0) {
        if (text) sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
        return SQLITE_OK;
      }
      void* data = sqlite3_malloc64(static_cast<sqlite3_uint64>(length));
      if (data == nullptr) return SQLITE_NOMEM;
      const XbLong got = e.xb_GetBlobEx(f.Name.c_str(), data, length);
      if (text) sqlite3_result_text64(ctx, static_cast<const char*>(data), static_cast<sqlite3_uint64>(got), sqlite3_free, SQLITE_UTF8);
      else sqlite3_result_blob64(ctx, data, static_cast<sqlite3_uint64>(got), sqlite3_free);
      return SQLITE_OK;
    }
    default:
      while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
      sqlite3_result_text(ctx, p, n, SQLITE_TRANSIENT);
      return SQLITE_OK;
  }
}

sqlite3_module& Module() {
  static sqlite3_module m = [] {
    sqlite3_module x{};
    x.iVersion = 1;
    x.xCreate = Create;
    x.xConnect = Create;
    x.xBestIndex = BestIndex;
    x.xDisconnect = Disconnect;
    x.xDestroy = Disconnect;
    x.xOpen = OpenCursor;
    x.xClose = CloseCursor;
    x.xFilter = Filter;
    x.xNext = Next;
    x.xEof = Eof;
    x.xColumn = Column;
    x.xRowid = Rowid;
    return x;
  }();
  return m;
}

}  // namespace

TableCatalog::TableCatalog(const EngineLink& Engine, XbSqlProgress Progress, void* ProgressData)
    : FEngine(Engine), FProgress(Progress), FProgressData(ProgressData) {
  for (int i = 0; i < 256; ++i) FWeights[i] = static_cast<unsigned char>(i);
  if (FEngine.xb_SysProp(kReadCollation, reinterpret_cast<XbPtr>(FWeights)) != 0)
    for (int i = 0; i < 256; ++i)
      if (FWeights[i] != i) FCustomCollation = true;
}

TableCatalog::~TableCatalog() { CloseWorkAreas(); }

int TableCatalog::Add(TableDef Def) {
  FDefs.push_back(std::move(Def));
  FSources.emplace_back();
  return static_cast<int>(FDefs.size()) - 1;
}

TableSource* TableCatalog::Source(int Index, std::string& Error) {
  if (Index < 0 || Index >= static_cast<int>(FDefs.size())) return nullptr;
  auto& slot = FSources[static_cast<size_t>(Index)];
  if (!slot) {
    auto s = std::make_unique<TableSource>(*this, FDefs[static_cast<size_t>(Index)]);
    if (!s->Open(Error)) return nullptr;
    slot = std::move(s);
  }
  return slot.get();
}

void TableCatalog::CloseWorkAreas() {
  for (auto& s : FSources)
    if (s) s->CloseWorkAreas();
}

void TableCatalog::ReportProgress(int32_t Maximum, int32_t Position) const {
  if (FProgress) FProgress(FProgressData, 1, 0, Maximum, Position);
}

bool RegisterXbaseModule(sqlite3* Db, TableCatalog* Catalog) {
  if (sqlite3_create_module_v2(Db, "xbase", &Module(), Catalog, nullptr) != SQLITE_OK) return false;
  if (Catalog->CustomCollation() &&
      sqlite3_create_collation_v2(Db, "XBENG", SQLITE_UTF8, const_cast<unsigned char*>(Catalog->Weights()),
                                  CompareWeights, nullptr) != SQLITE_OK)
    return false;
  return true;
}

std::string CreateTableStatement(const std::string& Name, int Index) {
  return "CREATE VIRTUAL TABLE temp." + Quoted(Name) + " USING xbase(" + std::to_string(Index) + ")";
}

}  // namespace xbsql
