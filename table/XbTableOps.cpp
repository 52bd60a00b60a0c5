// The table's public operations for creating tables, appending and copying records,
// committing, whole-file locks and field reads by name, and the names of the table's files.
#include "platform/core/SysUtils.h"
#include "table/XbDatabase.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

namespace {

// The engine's fixed creation buffers hold this many characters.
constexpr size_t kMaxCreateName = 127;
constexpr size_t kMaxFieldName = 63;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

// ---- Append, commit, copy -------------------------------------------------------------------

void TXbTable::AppendBlank() {
  if (!FSpeedMode) {
    Append();
  } else {
    if (FReadOnly) RefuseUnlessQuiet("Cannot modify a read-only data set");
    if (WorkArea > 0) {
      SelectWorkArea();
      xb_AppendBlank();
      TakeIndexFaults();
      BlankAppended = -1;
    }
  }
  CountNeedsRefresh = true;
}

XbShort TXbTable::AppendFrom(const std::string& SourceFile, XbShort TableTypeCode,
                             const std::string& Condition) {
  if (FReadOnly) RefuseUnlessQuiet("Cannot modify a read-only data set");
  if (WorkArea <= 0) return 0;
  BeginScroll();
  SelectWorkArea();
  const XbLong result = xb_AppendFrom(SourceFile, TableTypeCode, Condition);
  CountNeedsRefresh = true;
  Resync(0);
  EndScroll();
  TakeIndexFaults();
  return result != 0 ? -1 : 0;
}

void TXbTable::Commit() {
  if (!FSpeedMode) {
    if (State() == dsEdit || State() == dsInsert) Post();
    return;
  }
  if (FReadOnly) RefuseUnlessQuiet("Cannot modify a read-only data set");
  if (WorkArea > 0) {
    SelectWorkArea();
    xb_Commit();
    BlankAppended = 0;
    TakeIndexFaults();
  }
}

XbShort TXbTable::CopyFile(const std::string& TargetFile) {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_CopyFile(TargetFile) != 0 ? -1 : 0;
}

XbLong TXbTable::Count() {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_Count();
}

std::string TXbTable::DBFilter() {
  if (WorkArea <= 0) return {};
  SelectWorkArea();
  return xb_DBFilter();
}

void TXbTable::Delete() {
  CheckBrowseMode();
  DoBeforeDelete();
  DoBeforeScroll();
  InternalDelete();
  DoAfterDelete();
  DoAfterScroll();
}

void TXbTable::SetExclusive(bool Value) {
  if (Value == FExclusive) return;
  if (WorkArea > 0) RaiseXbError(this, "Cannot perform this operation on an open table");
  FExclusive = Value;
}

XbShort TXbTable::Flock() {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_Flock();
}

// ---- Creation ---------------------------------------------------------------------------------

bool TXbTable::CreateNew(const std::string& FileName, XbShort TableTypeCode, XbShort FieldCount) {
  // The work area of an open table would be lost under the creation handle.
  if (WorkArea > 0) RaiseXbError(this, "Cannot perform this operation on an open table");
  std::string alias;
  if (!OnServer()) alias = MakeAlias(FileName);
  std::string folder = ExtractFilePath(FileName);
  if (folder.empty()) {
    if (DatabaseComponent) folder = DatabaseComponent->DataPath;
    else folder = DatabaseName;
  }
  if (folder.empty()) folder = GetCurrentDir();
  folder = IncludeTrailingPathDelimiter(folder);
  const std::string fullName = folder + ExtractFileName(FileName);
  // Longer names do not fit the engine's creation buffers: refuse rather than cut them.
  if (fullName.size() > kMaxCreateName || alias.size() > kMaxCreateName) return false;
  WorkArea = static_cast<XbShort>(-xb_CreateNew(fullName, alias, TableTypeCode, FieldCount));
  return WorkArea < 0;
}

void TXbTable::CreateField(const std::string& Name, const std::string& TypeLetter,
                           XbShort Length, XbShort Decimals) {
  if (WorkArea >= 0) {
    RefuseUnlessQuiet("Must call CreateNew before CreateField");
    return;
  }
  if (Name.empty() || Name.size() > kMaxFieldName)
    RaiseXbError(this, "Invalid field name. Field names must begin with a letter");
  if (TypeLetter.empty() || TypeLetter.size() > 1) RaiseXbError(this, "Invalid field type");
  if (Length <= 0) RaiseXbError(this, "Invalid field length.");
  xb_Select(static_cast<XbShort>(-WorkArea));
  if (!IsLetter(Name[0]))
    RaiseXbError(this, "Invalid field name. Field names must begin with a letter");
  xb_CreateField(Name, TypeLetter, Length, Decimals);
}

XbShort TXbTable::CreateExec() {
  if (WorkArea >= 0) {
    RefuseUnlessQuiet("Must call CreateNew before CreateExec");
    return 0;
  }
  xb_Select(static_cast<XbShort>(-WorkArea));
  WorkArea = 0;
  const XbLong result = xb_CreateExec();
  xb_Close();
  ResetFetchBlock();
  return result != 0 ? -1 : 0;
}

// ---- Field reads ------------------------------------------------------------------------------

XbShort TXbTable::FieldWidth(const std::string& FieldName) {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_FieldWidth(FieldName);
}

XbLong TXbTable::GetLong(const std::string& FieldName) {
  if (WorkArea <= 0) return 0;
  if (!FSpeedMode) return FieldByName(FieldName)->AsInteger();
  SelectWorkArea();
  return xb_GetLong(FieldName);
}

std::string TXbTable::GetString(const std::string& FieldName) {
  if (WorkArea <= 0) return {};
  if (!FSpeedMode) {
    TField* f = FieldByName(FieldName);
    std::string s = f->AsString();
    if (f->DataType() == ftString && static_cast<int>(s.size()) < f->Size())
      s.append(static_cast<size_t>(f->Size()) - s.size(), ' ');
    return s;
  }
  SelectWorkArea();
  return xb_GetString(FieldName);
}

std::string TXbTable::GetTrimString(const std::string& FieldName) {
  if (WorkArea <= 0) return {};
  SelectWorkArea();
  return xb_GetTrimString(FieldName);
}

// ---- File names ---------------------------------------------------------------------------------

std::string TXbTable::FullTableFileName() {
  if (!OnServer()) SetDataFolder();
  std::string name = DataFolder + ExtractFileName(FTableName);
  if (ExtractFileExt(name).empty()) name += ".DBF";
  return name;
}

bool TXbTable::TableFileExists() {
  const std::string name = FullTableFileName();
  if (TXbDispatch::FileExists(name) != 0) return true;
  if (OnServer()) return false;
  // The engine finds its files without regard to letter case ("NOTE.DBF" opens note.dbf);
  // so does this test.
  const std::string folder = ExtractFilePath(name);
  return !FindFiles(folder.empty() ? std::string(".") : folder, ExtractFileName(name)).empty();
}

std::string TXbTable::DefaultIndexExtension() const {
  switch (FTableType) {
    case ttXBNTX: return ".NTX";
    case ttXBNSX:
    case ttXBNSX_DBT: return ".NSX";
    default: return ".CDX";
  }
}
