// Note files and the settings table: layout, labels, file look-up, shipped files, creation
// (NoteFile.h).
#include "app/NoteFile.h"

#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "table/XbTable.h"

const std::array<TNoteFieldDef, 10> kNoteFields = {{
    {"mmm", "m", 10},
    {"kno", "C", 12},
    {"chk", "C", 1},
    {"lock", "C", 1},
    {"type", "C", 1},
    {"bible", "C", 4},
    {"tit1", "C", 60},
    {"tit2", "C", 40},
    {"tit3", "C", 40},
    {"tit4", "C", 60},
}};

std::array<std::string, 4> HeaderLabels(std::string_view tit1) {
  std::array<std::string, 4> labels;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const std::size_t start = i * kLabelWidth;
    if (start >= tit1.size()) break;
    std::size_t end = std::min(tit1.size(), start + kLabelWidth);
    std::string slice;
    std::size_t from = start;
    // A character begun in the slice before this one is not this slice's.
    if (!cp949::IsCharBoundary(tit1, from)) {
      slice += ' ';
      ++from;
    }
    const std::string_view rest = tit1.substr(from, end - from);
    const std::string kept = cp949::Cut(tit1.substr(from), rest.size());
    slice += kept;
    // A character that runs on into the next slice is not this slice's either.
    if (kept.size() < rest.size()) slice += ' ';
    labels[i] = slice;
  }
  return labels;
}

std::string JoinLabels(const std::array<std::string, 4>& labels) {
  std::string out;
  for (const std::string& l : labels) out += StrPadR(l, kLabelWidth);
  return out;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
  if (name.empty()) return {};
  const std::string dir = folder.empty() ? std::string(".") : folder;
  if (FileExists(IncludeTrailingPathDelimiter(dir) + name)) return name;
  // Only the single-byte letters fold: a byte of a two-byte character stays itself.
  const std::string wanted = cp949::Upper(name);
  for (const std::string& found : FindFiles(dir, "*"))
    if (cp949::Upper(found) == wanted) return found;
  return {};
}

std::string ResolveFileName(const std::string& folder, const std::string& name) {
  const std::string prefix = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
  const std::string real = FindFileNoCase(folder, name);
  return prefix + (real.empty() ? name : real);
}

bool FileExistsNoCase(const std::string& folder, const std::string& name) {
  return !FindFileNoCase(folder, name).empty();
}

void PlaceShippedFiles(const std::string& folder) {
  struct Shipped {
    const char* data;
    const char* shippedData;
    const char* memo;
    const char* shippedMemo;
  };
  static const Shipped kShipped[] = {
      {"condb20.dbf", "condb20._db", nullptr, nullptr},
      {"orvel27c.dbf", "orvel27c._db", "orvel27c.smt", "orvel27c._sm"},
      {"orvel058.dbf", "orvel058._db", "orvel058.smt", "orvel058._sm"},
  };
  const std::string prefix = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
  auto rename = [&](const char* from, const char* to) {
    const std::string real = FindFileNoCase(folder, from);
    if (!real.empty()) RenameFile(prefix + real, prefix + to);
  };
  for (const Shipped& s : kShipped) {
    if (FileExistsNoCase(folder, s.data)) continue;
    rename(s.shippedData, s.data);
    if (s.memo) rename(s.shippedMemo, s.memo);
  }
}

std::string ScreenColourField(TXbTable& settings) {
  return settings.FindField("scolor") ? "scolor" : "ftype2";
}

std::string NoteDataFileName(std::string_view baseName) {
  return Trim(baseName) + ".dbf";
}

bool CreateNoteFile(TXbTable& table, TXbTable& settings, const std::string& folder,
                    std::string_view baseName, const std::string& labels,
                    const std::string& description) {
  const std::string fileName = NoteDataFileName(baseName);
  if (FileExistsNoCase(folder, fileName)) {
    ShowMessage(fileName + cp949::K(" 파일이 이미 있습니다."));
    return false;
  }
  const std::string prefix = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
  if (!table.CreateNew(prefix + fileName, kNoteTableTypeCode,
                       static_cast<XbShort>(kNoteFields.size()))) {
    ShowMessage("Create failed");
    return false;
  }
  for (const TNoteFieldDef& f : kNoteFields)
    table.CreateField(f.Name, f.Type, static_cast<XbShort>(f.Length), 0);
  if (table.CreateExec() == 0) {
    ShowMessage("failed");
    return false;
  }
  table.Close();
  table.SetDatabaseName(folder);
  table.SetTableName(fileName);
  table.Open();
  // The blank record is written first, so that the header writes lock a record that exists.
  table.AppendBlank();
  table.Commit();
  ReplaceLocked(table, "tit1", labels);
  ReplaceLocked(table, "tit2", description);
  table.Commit();
  table.Delete();
  table.AppendBlank();
  table.Commit();
  table.Close();
  ReplaceLocked(settings, "fname", fileName);
  settings.Commit();
  return true;
}
