// mkshipped: builds the shipped default files (settings table, sample note files, keyword
// dictionary) from their readable descriptions, through our own engine's C interface.
//
//   mkshipped OUTPUT_FOLDER DESCRIPTION.txt...
//
// Each table is created in a work folder below OUTPUT_FOLDER, filled, closed, reopened with
// only the files that will ship beside it and compared with its description field by field;
// only when every table has passed are the files moved to their shipped names. Any fault of a description or of the
// engine stops the run with a message and exit status 1, so a broken engine can never ship a
// half-written file.
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"
#include "platform/core/SysUtils.h"
#include "tools/mkshipped/Description.h"

namespace fs = std::filesystem;
using shipped::Field;
using shipped::Record;
using shipped::Table;
using shipped::Value;

namespace {

constexpr XbShort kTrue = -1;

class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void EngineFail(const Table& t, const std::string& what) {
  throw EngineError(t.source + ": engine: " + what + " (table " + t.name + ")");
}

// The value a field holds when the record gives none.
std::string Blank(const Field& f) { return f.type == 'N' ? "0" : ""; }

const Value* ValueOf(const Record& r, const Field& f) {
  for (const Value& v : r.values) {
    if (SameText(v.field, f.name)) return &v;
  }
  return nullptr;
}

std::string Shown(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out.size() > 120 ? out.substr(0, 120) + "..." : out;
}

void Create(const Table& t, const std::string& dbf) {
  const XbShort handle = xb_CreateNew(dbf.c_str(), "SHIPPED", static_cast<XbShort>(t.type),
                                      static_cast<XbShort>(t.fields.size()));
  if (handle <= 0) EngineFail(t, "xb_CreateNew refused " + dbf);
  xb_Select(handle);
  for (const Field& f : t.fields) {
    const char type[2] = {f.type, 0};
    xb_CreateField(f.name.c_str(), type, static_cast<XbShort>(f.width), static_cast<XbShort>(f.decimals));
  }
  if (xb_CreateExec() == 0) EngineFail(t, "xb_CreateExec failed for " + dbf);
  xb_Close();
}

XbShort Open(const Table& t, const std::string& dbf) {
  const XbShort area = xb_UseEx(dbf.c_str(), "SHIPPED", XB_OPEN_EXCLUSIVE, static_cast<XbShort>(t.type), 0);
  if (area <= 0) EngineFail(t, "xb_UseEx could not open " + dbf);
  xb_Select(area);
  xb_SetTranslate(kTrue);  // as the program opens its tables
  return area;
}

void Put(const Table& t, const Field& f, const std::string& text) {
  if (f.type == 'N') {
    const XbLong n = StrToInt(text);
    xb_Replace(f.name.c_str(), XB_RT_INT32, &n);
  } else {
    xb_Replace(f.name.c_str(), f.type == 'M' ? XB_RT_MEMO : XB_RT_TEXT, text.c_str());
  }
}

// What the engine holds in field f of the current record, in the form the description uses.
std::string Read(const Field& f) {
  if (f.type == 'N') return std::to_string(xb_GetLong(f.name.c_str()));
  if (f.type == 'M') {
    char* memo = xb_GetMemo(f.name.c_str(), 0);
    std::string out = memo ? memo : "";
    if (memo) xb_MemDealloc(memo);
    return out;
  }
  const char* s = xb_GetString(f.name.c_str());
  return s ? s : "";
}

std::string Expected(const Field& f, const std::string& text) {
  if (f.type == 'C') return text + std::string(static_cast<std::size_t>(f.width) - text.size(), ' ');
  if (f.type == 'N') return std::to_string(StrToInt(text));
  return text;
}

void Fill(const Table& t, const std::string& dbf) {
  Open(t, dbf);
  xb_SetDeleted(0);
  for (std::size_t i = 0; i < t.records.size(); ++i) {
    const Record& r = t.records[i];
    const XbLong before = xb_RecCount();
    xb_AppendBlank();
    if (xb_RecCount() != before + 1 || xb_RecNo() != before + 1) {
      EngineFail(t, "xb_AppendBlank did not add record " + std::to_string(before + 1));
    }
    for (const Value& v : r.values) Put(t, *t.Find(v.field), v.text);
    xb_Commit();
    if (r.deleted) {
      xb_Delete();
      if (xb_Deleted() == 0) EngineFail(t, "xb_Delete left record " + std::to_string(xb_RecNo()) + " undeleted");
    }
  }
  xb_Commit();
  xb_Close();
}

// Reopens the table as it will ship and compares layout and every value with the description.
void Verify(const Table& t, const std::string& dbf) {
  Open(t, dbf);
  xb_SetDeleted(0);
  if (xb_FieldCount() != static_cast<XbShort>(t.fields.size())) {
    EngineFail(t, "reopened with " + std::to_string(xb_FieldCount()) + " fields");
  }
  for (std::size_t i = 0; i < t.fields.size(); ++i) {
    const Field& f = t.fields[i];
    const char* name = xb_FieldName(static_cast<XbShort>(i + 1));
    const char* type = xb_FieldType(f.name.c_str());
    if (!name || !SameText(name, f.name) || !type || std::toupper(static_cast<unsigned char>(type[0])) != f.type ||
        xb_FieldWidth(f.name.c_str()) != f.width || xb_FieldDecimals(f.name.c_str()) != f.decimals) {
      EngineFail(t, "field " + std::to_string(i + 1) + " reopened unlike \"" + f.name + "\"");
    }
  }
  if (xb_RecCount() != static_cast<XbLong>(t.records.size())) {
    EngineFail(t, "reopened with " + std::to_string(xb_RecCount()) + " records, not " +
                      std::to_string(t.records.size()));
  }
  for (std::size_t i = 0; i < t.records.size(); ++i) {
    const Record& r = t.records[i];
    const XbLong recNo = static_cast<XbLong>(i + 1);
    xb_Go(recNo);
    if (xb_RecNo() != recNo) EngineFail(t, "xb_Go could not reach record " + std::to_string(recNo));
    if ((xb_Deleted() != 0) != r.deleted) {
      EngineFail(t, "record " + std::to_string(recNo) + (r.deleted ? " lost its deletion" : " came back deleted"));
    }
    for (const Field& f : t.fields) {
      const Value* v = ValueOf(r, f);
      const std::string want = Expected(f, v ? v->text : Blank(f));
      const std::string got = Read(f);
      if (got != want) {
        EngineFail(t, "record " + std::to_string(recNo) + " field " + f.name + " reads \"" + Shown(got) +
                          "\", written \"" + Shown(want) + "\"");
      }
    }
  }
  xb_Close();
}

struct Move {
  fs::path from, to;
};

// Builds and checks one table in its own work folder; adds the moves to its shipped names.
void Build(const Table& t, const fs::path& out, std::vector<Move>& moves) {
  const fs::path work = out / ".mkshipped" / t.name;
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path dbf = work / (t.name + ".dbf");
  Create(t, dbf.string());
  Fill(t, dbf.string());

  // Keep only what ships: the data file and, for memo fields, the memo file.
  fs::path memo;
  for (const fs::directory_entry& e : fs::directory_iterator(work)) {
    const fs::path& p = e.path();
    if (p == dbf) continue;
    if (t.HasMemo() && memo.empty() && SameText(p.filename().string(), t.name + ".smt")) {
      memo = p;
    } else {
      fs::remove(p);
    }
  }
  if (t.HasMemo() && memo.empty()) EngineFail(t, "no memo file " + t.name + ".smt beside " + dbf.string());
  Verify(t, dbf.string());

  moves.push_back({dbf, out / t.ship[0]});
  if (t.HasMemo()) moves.push_back({memo, out / t.ship[1]});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mkshipped OUTPUT_FOLDER DESCRIPTION.txt...\n");
    return 2;
  }
  const fs::path out = argv[1];
  try {
    // Read every description and build every table first, so a fault anywhere ships nothing.
    std::vector<Table> tables;
    std::vector<std::string> names;
    for (int i = 2; i < argc; ++i) {
      tables.push_back(shipped::ParseDescription(argv[i]));
      names.push_back(tables.back().name);
      names.insert(names.end(), tables.back().ship.begin(), tables.back().ship.end());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      for (std::size_t j = i + 1; j < names.size(); ++j) {
        if (SameText(names[i], names[j])) throw std::runtime_error("the name " + names[i] + " is used twice");
      }
    }
    fs::create_directories(out);
    std::vector<Move> moves;
    for (const Table& t : tables) Build(t, out, moves);
    for (const Move& m : moves) fs::rename(m.from, m.to);
    fs::remove_all(out / ".mkshipped");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkshipped: %s\n", e.what());
    return 1;
  }
  return 0;
}
