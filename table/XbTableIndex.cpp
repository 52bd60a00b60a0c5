// TXbTable index work: building tags, choosing the active order, opening further index
// files, restricting the view to a key range and finding a record by key.
#include <string>
#include <vector>

#include "platform/core/SysUtils.h"
#include "table/XbTable.h"

namespace {

const char kClosedTable[] = "Cannot perform this operation on a closed table";
const char kNoOrder[] = "This operation requires an active index order";
const char kInvalidIndexName[] = "Invalid IndexName value : ";

// An argument that is empty or holds the single character code 0 counts as not given.
bool NotGiven(const std::string& s) { return s.empty() || (s.size() == 1 && s[0] == '\0'); }

// The name an NTX index is known by: the file name without folder, cut before its first
// ".", upper-cased.
std::string NtxBaseName(const std::string& Name) {
  std::string base = ExtractFileName(Name);
  const std::size_t dot = base.find('.');
  if (dot != std::string::npos) base.resize(dot);
  return UpperCase(base);
}

bool HasFolder(const std::string& Name) { return !ExtractFilePath(Name).empty(); }
bool HasExtension(const std::string& Name) { return !ExtractFileExt(Name).empty(); }

// The extension an ExtraIndexes line without one is given.
std::string ExtraIndexExtension(TXbTableType Type) {
  switch (Type) {
    case ttXBNTX: return ".NTX";
    case ttXBFOX: return ".IDX";
    case ttXBNSX:
    case ttXBNSX_DBT: return ".NSX";
    default: return std::string();
  }
}

}  // namespace

// Index file names come in upper case from the component's rules while the engine writes
// its files with lower-case extensions; on a case-sensitive file system either spelling of
// the extension names the same index.
static std::string ExistingIndexFile(TXbTable& Table, const std::string& Path) {
  if (Table.TXbDispatch::FileExists(Path)) return Path;
  const std::string ext = ExtractFileExt(Path);
  if (ext.empty()) return std::string();
  const std::string stem = Path.substr(0, Path.size() - ext.size());
  for (const std::string& e : {LowerCase(ext), UpperCase(ext)})
    if (e != ext && Table.TXbDispatch::FileExists(stem + e)) return stem + e;
  return std::string();
}

void TXbTable::RebuildIndexDefs() {
  FIndexDefs->Updated = false;
  UpdateIndexDefs();
}

XbShort TXbTable::IndexTag(const std::string& FileName, const std::string& TagName,
                           const std::string& Expression, XbShort Option, bool Descend,
                           const std::string& Condition) {
  if (WorkArea < 1) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  if (NotGiven(TagName) && ErrorFunc == -1)
    RaiseXbError(this, "Missing Parameter to IndexTag Method: Index Tag Name");
  if (NotGiven(Expression) && ErrorFunc == -1)
    RaiseXbError(this, "Missing Parameter to Index or IndexTag Method: Index Expression");
  if (xb_EvalTest(Expression) == 0)
    RaiseXbError(this, "Invalid index expression [" + Expression + "]");

  const XbShort order =
      xb_IndexTag(NotGiven(FileName) ? std::string() : FileName, Trim(TagName), Expression,
                  Option, Descend, NotGiven(Condition) ? std::string() : Condition);
  // Not built for another copy's lock: the order stays as it was.
  TakeIndexFaults();
  // The name stays as the caller wrote it, blanks included.
  IndexName = TagName;
  RebuildIndexDefs();
  CountNeedsRefresh = true;
  // A condition may leave the current record outside the new order.
  if (!Condition.empty())
    GoTop();
  else
    Resync(0);
  return order;
}

XbShort TXbTable::SetOrder(XbShort Order) {
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  if (Active()) CheckBrowseMode();
  SelectWorkArea();
  const XbShort result = xb_SetOrder(Order);
  IndexName = TableType() == ttXBNTX ? xb_IndexName(Order) : xb_TagName(Order);
  CountNeedsRefresh = true;
  // The same record stays current; the buffers are rebuilt around it in the new order.
  if (Active()) SetRecNo(static_cast<int>(RecNo()));
  return result;
}

XbShort TXbTable::TagArea(const std::string& TagName) {
  if (WorkArea <= 0) return 0;
  SelectWorkArea();
  return xb_TagArea(TagName);
}

std::string TXbTable::TagName(XbShort Order) {
  if (WorkArea <= 0) return std::string();
  SelectWorkArea();
  return xb_TagName(Order);
}

std::string TXbTable::IndexKey() {
  if (WorkArea <= 0) return std::string();
  if (IndexName.empty()) RaiseXbError(this, kNoOrder);
  SelectWorkArea();
  return xb_IndexKey();
}

XbLong TXbTable::IndexOrd() {
  if (WorkArea <= 0) RaiseXbError(this, kClosedTable);
  SelectWorkArea();
  return static_cast<XbShort>(xb_IndexOrd());
}

void TXbTable::SetIndexName(const std::string& Value) {
  const bool ntx = TableType() == ttXBNTX;
  if (Value == IndexName) return;
  if (ntx && !Value.empty() && !IndexName.empty() && NtxBaseName(Value) == NtxBaseName(IndexName))
    return;
  IndexName = Value;
  if (WorkArea <= 0) return;  // applied when the table opens
  SelectWorkArea();
  if (Active()) CheckBrowseMode();

  XbShort order = 0;
  if (!Value.empty()) {
    const bool idxFile = UpperCase(ExtractFileExt(Value)) == ".IDX";
    if (!ntx && (!idxFile || OnServer())) {
      order = xb_TagArea(Value);
    } else {
      const int listed = FExtraIndexes->IndexOf(Value);
      if (listed >= 0) {
        order = static_cast<XbShort>(listed + 1);
      } else {
        std::string path = HasFolder(Value) ? Value : DataFolder + Value;
        if (!HasExtension(path)) path += ntx ? ".NTX" : ".IDX";
        const std::string existing = ExistingIndexFile(*this, path);
        if (!existing.empty()) {
          order = xb_IndexOpen(existing);
          RebuildIndexDefs();
        }
      }
    }
    if (order == 0 && Active() && (ErrorFunc == -1 || OnServer()))
      RaiseXbError(this, kInvalidIndexName + Value);
  }

  SelectWorkArea();
  xb_SetOrder(order);
  CountNeedsRefresh = true;
  if (!Active()) return;
  UpdateCursorPos();
  if (!OnServer() && FMasterLink->Active() && !FMasterLink->FieldNames().empty())
    MasterChanged(this);
  Resync(0);
}

void TXbTable::SetExtraIndexes(const TStrings& Value) {
  if (&Value == FExtraIndexes.get()) return;
  SetIndexName(std::string());
  FExtraIndexes->BeginUpdate();
  FExtraIndexes->Clear();
  FExtraIndexes->AddStrings(Value);
  FExtraIndexes->EndUpdate();
  if (WorkArea > 0) {
    OpenExtraIndexes();
    RebuildIndexDefs();
  }
}

void TXbTable::ExtraIndexesChange(TObject* Sender) { RebuildIndexDefs(); }

void TXbTable::OpenExtraIndexes() {
  if (FExtraIndexes->Count() == 0) return;
  if (WorkArea > 0) {
    // Every file is found before any index is closed, so a missing one leaves the table
    // with the orders it had.
    const std::string extension = ExtraIndexExtension(TableType());
    std::vector<std::string> files;
    for (int i = 0; i < FExtraIndexes->Count(); ++i) {
      const std::string line = FExtraIndexes->Strings(i);
      if (Trim(line).empty()) continue;
      std::string path = HasFolder(line) ? line : DataFolder + line;
      if (!HasExtension(path)) path += extension;
      std::string existing = ExistingIndexFile(*this, path);
      if (existing.empty()) {
        if (ErrorFunc == -1) RaiseXbError(this, kInvalidIndexName + line);
        existing = path;
      }
      files.push_back(existing);
    }
    std::string own;
    if (TableType() != ttXBNTX)
      own = ExistingIndexFile(*this, ChangeFileExt(FullTableFileName(), DefaultIndexExtension()));

    SelectWorkArea();
    XbLong active = IndexOrd();
    xb_CloseIndexes();
    if (!own.empty()) xb_IndexOpen(own);
    xb_SetOrder(0);
    for (const std::string& file : files) {
      const XbShort order = xb_IndexOpen(file);
      if (active == 0) {
        active = order;
        IndexName = file;
      }
    }
    xb_SetOrder(static_cast<XbShort>(active));
  }
  RebuildIndexDefs();
  CountNeedsRefresh = true;
  if (CursorOpen)
    Resync(0);
  else if (Active())
    UpdateCursorPos();
}

XbShort TXbTable::SetScope(const std::string& Low, const std::string& High) {
  if (WorkArea < 1) RaiseXbError(this, kClosedTable);
  if (Active()) CheckBrowseMode();
  SelectWorkArea();
  const XbLong current = RecNo();
  const XbShort result = xb_SetScope(Low, High);
  // Onto a record inside the new scope, as near to the old one as a skip allows.
  if (!xb_Eof()) {
    xb_Go(current);
    xb_Skip(1);
    if (xb_Eof())
      xb_GoBottom();
    else
      xb_Skip(-1);
  }
  if (!SpeedMode() && ActiveBuffer() != nullptr) {
    SetBookmarkFlag(ActiveBuffer(), xb_Eof() ? bfEOF : bfCurrent);
    SetBufferRecNo(ActiveBuffer(), xb_RecNo());
  }
  CountNeedsRefresh = true;
  Resync(0);
  SelectWorkArea();
  FScoped = !xb_GetScope(0).empty();
  return result;
}

void TXbTable::SetScopeBegin(const std::string& Value) {
  ScopeBegin = Value;
  if (FScoped) SetScope(ScopeBegin, ScopeEnd);
}

void TXbTable::SetScopeEnd(const std::string& Value) {
  ScopeEnd = Value;
  if (FScoped) SetScope(ScopeBegin, ScopeEnd);
}

void TXbTable::SetScoped(bool Value) {
  if (Value == FScoped) return;
  if (Value) {
    FScoped = SetScope(ScopeBegin, ScopeEnd) != 0;
  } else {
    // Clearing empties the bounds too.
    SetScope(std::string(), std::string());
    FScoped = false;
  }
}

bool TXbTable::TakeIndexFaults(std::string* GivenUp) {
  if (WorkArea <= 0) return false;
  SelectWorkArea();
  const XbShort faults = xb_IndexFault();
  if (faults & XB_INDEX_LOST) IndexTagsLost = true;
  const bool givenUp = (faults & XB_INDEX_REFUSED) != 0;
  if (givenUp) {
    // The engine is in another order now (natural order, as a rule): IndexName says which.
    if (GivenUp) *GivenUp = IndexName;
    const XbShort now = static_cast<XbShort>(xb_IndexOrd());
    IndexName = now == 0 ? std::string() : TableType() == ttXBNTX ? xb_IndexName(now) : xb_TagName(now);
    CountNeedsRefresh = true;
    RebuildIndexDefs();
    SelectWorkArea();
  }
  if (faults & XB_INDEX_BUSY) RefuseUnlessQuiet(kRecordLockFailure);
  return givenUp;
}

void TXbTable::CheckIndexFaults() {
  std::string lost;
  if (TakeIndexFaults(&lost)) RaiseXbError(this, kIndexGivenUp + lost);
}

XbShort TXbTable::Seek(const std::string& Key) {
  if (WorkArea == 0) RaiseXbError(this, kClosedTable);
  if (IndexName.empty()) RaiseXbError(this, kNoOrder);
  if (WorkArea < 0) return 0;  // a table being created has nothing to seek in
  BeginScroll();
  ResetFetchBlock();
  SelectWorkArea();
  const XbShort found = xb_Seek(Key);
  if (std::string lost; TakeIndexFaults(&lost)) {
    Resync(0);
    EndScroll();
    RaiseXbError(this, kIndexGivenUp + lost);
  }
  // Where the engine's seek stopped, which on a miss is not the last record.
  const XbLong stopped = xb_RecNo();
  TRecordBuffer buffer = ActiveBuffer();
  if (found) {
    if (buffer) {
      SetBufferRecNo(buffer, stopped);
      SetBookmarkFlag(buffer, bfCurrent);
    }
  } else {
    xb_GoBottom();
    EofPending = -1;
    if (buffer) {
      SetBufferRecNo(buffer, stopped);
      SetBookmarkFlag(buffer, bfEOF);
    }
  }
  Resync(0);
  EndScroll();
  return found;
}
