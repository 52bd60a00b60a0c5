// The table dataset's life: construction and destruction, the open procedure that turns the
// component's settings into an engine work area, field and index definitions from the
// engine, and closing.
#include "table/XbTable.h"

#include <cstdlib>

#include "platform/core/Cp949.h"
#include "platform/core/SysUtils.h"
#include "remote/XbConnection.h"
#include "remote/XbQuery.h"
#include "table/XbDatabase.h"
#include "table/XbEngine.h"
#include "table/XbSearch.h"

namespace {

using E = XbEntryPoints;

std::string Upper(const std::string& s) { return cp949::Upper(s); }

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// A hexadecimal number of the server's structure text; 0 when it does not convert.
int HexValue(const std::string& s) {
  std::string t = Trim(s);
  if (t.empty()) return 0;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 16);
  return (end && *end == '\0') ? static_cast<int>(v) : 0;
}

// The dataset type of an engine type letter; ftUnknown for letters the table cannot show.
TFieldType FieldTypeOfLetter(char Letter, int Width, int Decimals) {
  switch (Letter) {
    case 'C': return ftString;
    case 'D': return ftDate;
    case 'I': return ftInteger;
    case 'L': return ftBoolean;
    case 'M': return ftMemo;
    case 'B':
    case 'G':
    case 'P': return ftBlob;
    case 'N': return (Decimals > 0 || Width > 4) ? ftFloat : ftSmallint;
    default: return ftUnknown;
  }
}

}  // namespace

// A connection that goes away first closes the open tables bound to it. (Each hook is put in
// place by the unit of the class it looks for, so it is there whenever such an object can be.)
[[maybe_unused]] static const bool gRemoteHooksInstalled = [] {
  XbCloseLinkedTablesHook() = [](TXbConnection* Connection) {
    TXbSearchObject search;
    for (TXbTable* t = search.FindFirst<TXbTable>(); t != nullptr; t = search.FindNext<TXbTable>())
      if (t->XbConnection == Connection && t->Active()) t->Close();
  };
  return true;
}();

XbShort EngineTableCode(TXbTableType Type) {
  switch (Type) {
    case ttXBNTX: return XB_TT_NTX;
    case ttXBNSX: return XB_TT_NSX;
    case ttXBNSX_DBT: return XB_TT_NSX_DBT;
    default: return XB_TT_CDX;
  }
}

// ---- Life ---------------------------------------------------------------------------------

TXbTable::TXbTable(TComponent* AOwner)
    : TDataSet(AOwner),
      FIndexDefs(std::make_unique<TIndexDefs>(this)),
      FMasterLink(std::make_unique<TMasterDataLink>(this)),
      FExtraIndexes(std::make_unique<TStringList>()) {
  WorkArea = 0;
  CachedRecCount = -1;
  OrderPosition = -1;
  FExtraIndexes->OnChange = [this](TObject* Sender) { ExtraIndexesChange(Sender); };
  FMasterLink->OnMasterChange = [this](TObject* Sender) { MasterChanged(Sender); };
  FMasterLink->OnMasterDisable = [this](TObject* Sender) { MasterDisabled(Sender); };
  FetchSlots.resize(static_cast<size_t>(FFetchCount));
}

TXbTable::~TXbTable() {
  CloseForDestroy();
  CloseEngineTable();
  if (XbConnection) XbConnection->RemoveFreeNotification(this);
  FMasterLink->OnMasterChange = nullptr;
  FMasterLink->OnMasterDisable = nullptr;
  FMasterLink->SetDataSource(nullptr);
  FExtraIndexes->OnChange = nullptr;
  FieldInfos.clear();
  FreeFetchSlots();
}

void TXbTable::Loaded() {
  TDataSet::Loaded();
  if (AccessMethod == amLocal) EnsureEngineLoaded();
  if (XbConnection) XbConnection->DataPath = DatabaseName;
}

void TXbTable::Notification(TComponent* AComponent, TOperation Operation) {
  TDataSet::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr &&
      AComponent == static_cast<TComponent*>(XbConnection)) {
    // The connection is going away: nothing more is sent to it, not even the close.
    XbConnection = nullptr;
    try {
      Close();
    } catch (...) {
    }
    WorkArea = 0;
  }
}

void TXbTable::SetXbConnection(TXbConnection* Value) {
  if (Value == XbConnection) return;
  if (XbConnection) XbConnection->RemoveFreeNotification(this);
  XbConnection = Value;
  if (XbConnection) XbConnection->FreeNotification(this);
  if (HasState(csDesigning)) AccessMethod = Value ? amServer : amLocal;
}

std::string TXbTable::Version() {
  std::string engine;
  if (OnServer()) {
    engine = (XbConnection && XbConnection->Active()) ? XbConnection->EngineVersion()
                                                      : std::string("XBENG ?.??.?? 32-bit");
  } else {
    EnsureEngineLoaded();
    engine = xb_Version();
  }
  return engine + ", " + "Orvelane xBase Table 6.1.0.8, " + DateToStr(EncodeDate(2003, 11, 5));
}

void TXbTable::SetSequenced(bool Value) {
  FSequenced = Value;
  if (Active()) {
    UpdateCursorPos();
    Resync(0);
  }
}

bool TXbTable::IsSequenced() { return FTableType != ttXBNTX && FSequenced; }

void TXbTable::InternalHandleException() { TDataSet::InternalHandleException(); }

void TXbTable::RefreshFromEnvironment() {
  if (Active()) Refresh();
}

void TXbTable::RefuseUnlessQuiet(const std::string& Message) {
  if (ErrorFunc == -1) RaiseXbError(this, Message);
}

IXbTableServer* TXbTable::TableServer() const {
  return dynamic_cast<IXbTableServer*>(XbConnection);
}

// ---- Open procedure -----------------------------------------------------------------------

void TXbTable::OpenEngineTable() {
  WorkArea = 0;
  if (FTableName.empty()) RefuseUnlessQuiet(Name() + " : " + "Missing TableName property");

  std::string alias;
  if (!OnServer()) {
    EnsureEngineLoaded();
    alias = MakeAlias(FTableName);
  }
  const XbShort tableCode = EngineTableCode(FTableType);
  const XbShort openMode = FExclusive ? XB_OPEN_EXCLUSIVE : (FReadOnly ? XB_OPEN_READONLY : 0);

  // The environment snapshot: the first environment applies when its ApplyTo covers this
  // table's route.
  EnvApplies = false;
  EnvSnapshot = TXbEnvSnapshot{};
  if (TXbEnv* env = FindXbEnv()) {
    const bool applies = OnServer() ? (env->ApplyTo() & atServer) != 0
                                    : (env->ApplyTo() & atLocal) != 0;
    if (applies) {
      EnvSnapshot.Epoch = env->Epoch();
      EnvSnapshot.ErrorLevel = env->ErrorLevel();
      EnvSnapshot.CountNeedsRefresh = env->CountNeedsRefresh();
      EnvSnapshot.ErrorFunc = env->ErrorFunc();
      EnvSnapshot.Century = env->Century();
      EnvSnapshot.Exact = env->Exact();
      EnvSnapshot.SoftSeek = env->SoftSeek();
      EnvSnapshot.DateFormat = env->DateFormat();
      EnvSnapshot.MemoBlockSize = env->MemoBlockSize();
      EnvSnapshot.Deleted = env->Deleted();
      EnvApplies = true;
    }
  }
  ErrorFunc = EnvSnapshot.ErrorFunc;

  const std::string fileName = ExtractFileName(FTableName);
  std::string fullName;
  if (!OnServer()) {
    fullName = FullTableFileName();
    if (!TableFileExists())
      RefuseUnlessQuiet(std::string("Table, file or directory does not exist.") + "\r" +
                        "File: " + fullName);
  } else {
    fullName = DataFolder + fileName;
    if (ExtractFileExt(fileName).empty()) fullName += ".DBF";
  }

  {
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    FormatSettings.TwoDigitYearCenturyWindow = std::abs(year - EnvSnapshot.Epoch) % 100;
  }

  if (OnServer()) {
    if (DatabaseName.empty()) RaiseXbError(this, "Missing DatabaseName property");
    if (IXbTableServer* server = TableServer()) {
      TXbUseRequest request;
      request.DatabaseName = DatabaseName;
      request.FileName = fileName;
      request.TableTypeCode = tableCode;
      request.OpenMode = openMode;
      request.CommitLevel = FCommitLevel;
      request.IndexName = IndexName;
      request.Password = FPassword;
      request.TurboRead = FTurboRead;
      request.OEMTranslate = FOEMTranslate;
      request.EnvApplies = EnvApplies;
      request.Epoch = EnvSnapshot.Epoch;
      request.Century = EnvSnapshot.Century;
      request.Exact = EnvSnapshot.Exact;
      request.SoftSeek = EnvSnapshot.SoftSeek;
      request.DateFormatCode = XbDateFormatCode(EnvSnapshot.DateFormat);
      request.MemoBlockSize = EnvSnapshot.MemoBlockSize;
      request.Deleted = EnvSnapshot.Deleted;
      request.IndexConditionText = IndexConditionText;
      TXbUseReply reply;
      server->Use(request, reply, *FIndexDefs);
      if (!reply.ErrorText.empty()) RaiseXbError(this, reply.ErrorText);
      WorkArea = reply.WorkArea;
      CurrentOrder = reply.CurrentOrder;
      TableEncrypted = reply.TableEncrypted;
      RecordSize = reply.RecordSize;
      EngineFieldCount = reply.EngineFieldCount;
      CachedRecCount = reply.RecCount;
      IndexConditionText = reply.IndexConditionText;
    }
    if (WorkArea > 0) {
      if (FTableType == ttXBNTX && !IndexName.empty()) {
        const std::string name = IndexName;
        SetIndexName(std::string());
        SetIndexName(name);
      }
      OpenExtraIndexes();
      FIndexDefs->Updated = true;
    }
  } else {
    if (EnvApplies) {
      XbCall(&E::xb_SetEpoch, static_cast<XbShort>(EnvSnapshot.Epoch));
      XbCall(&E::xb_SetDeleted, static_cast<XbShort>(EnvSnapshot.Deleted ? -1 : 0));
      XbCall(&E::xb_SetCentury, static_cast<XbShort>(EnvSnapshot.Century ? -1 : 0));
      XbCall(&E::xb_SetMemoBlockSize, static_cast<XbShort>(EnvSnapshot.MemoBlockSize));
      XbCall(&E::xb_SetDateFormat, XbDateFormatCode(EnvSnapshot.DateFormat));
      XbCall(&E::xb_SetSoftSeek, static_cast<XbShort>(EnvSnapshot.SoftSeek ? -1 : 0));
      XbCall(&E::xb_SetExact, static_cast<XbShort>(EnvSnapshot.Exact ? -1 : 0));
    }
    XbCall(&E::xb_ErrorLevel, XbShort{0});
    WorkArea = xb_UseEx(DataFolder + fileName, alias, openMode, tableCode, FCommitLevel);
    if (WorkArea <= 0) {
      WorkArea = 0;
      RaiseXbError(this, "Unable to open table: " + fullName);
    }
    SelectWorkArea();
    XbCall(&E::xb_ErrorLevel, static_cast<XbShort>(EnvApplies ? 0 : EnvSnapshot.ErrorLevel));
    xb_SetTurboRead(FTurboRead ? -1 : 0);
    xb_SetTranslate(FOEMTranslate ? -1 : 0);
    EngineFieldCount = XbCall(&E::xb_FieldCount);
    RecordSize = XbCall(&E::xb_RecSize);
    TableEncrypted = xb_IsEncrypted(0);
    if (!FPassword.empty()) xb_SetPassword(FPassword);
    xb_SetTurboRead(FTurboRead ? -1 : 0);
    if (!IndexName.empty()) {
      const std::string name = IndexName;
      SetIndexName(std::string());
      SetIndexName(name);
    }
    OpenExtraIndexes();
    FIndexDefs->Updated = false;
    UpdateIndexDefs();
    SelectWorkArea();
    CachedRecCount = xb_RecCount();
    xb_IndexCondition();
  }

  if (WorkArea > 0) {
    RawRecCount = CachedRecCount;
    CountNeedsRefresh = true;
  } else if (OnServer()) {
    RefuseUnlessQuiet(std::string("Unable to open table.") + "\r" + "File: " + fullName);
  }
}

// ---- Field and index definitions ------------------------------------------------------------

void TXbTable::InternalInitFieldDefs() {
  if (WorkArea == 0) {
    try {
      OpenEngineTable();
    } catch (...) {
      // Refused after the engine opened the file (an index it cannot use): closed again.
      CloseEngineTable();
      throw;
    }
  }
  if (WorkArea <= 0) return;
  try {
    ReadFieldDefs();
  } catch (...) {
    // Only a table opened here for its definitions is closed here; an open closes its own.
    if (!CursorOpen && !OpeningFieldDefs) CloseEngineTable();
    throw;
  }
}

void TXbTable::CloseEngineTable() noexcept {
  if (WorkArea <= 0) {
    WorkArea = 0;
    return;
  }
  try {
    if (!xb_Alias(WorkArea).empty()) {
      SelectWorkArea();
      xb_Close();
    }
  } catch (...) {
  }
  WorkArea = 0;
}

void TXbTable::ReadFieldDefs() {

  FieldInfos.clear();
  FieldDefs().Clear();
  SelectWorkArea();
  std::vector<std::string> structure;
  if (OnServer()) {
    if (IXbTableServer* server = TableServer()) {
      TStringList lines;
      lines.SetText(server->GetStructure());
      for (int i = 0; i < lines.Count(); ++i) structure.push_back(lines[i]);
    }
  }
  for (int i = 1; i <= EngineFieldCount; ++i) {
    TFieldInfo info;
    std::string type;
    if (OnServer()) {
      const size_t at = static_cast<size_t>(i - 1) * 5;
      if (at + 4 >= structure.size()) break;
      info.Name = Trim(structure[at]);
      type = Trim(structure[at + 1]);
      info.Width = HexValue(structure[at + 2]);
      info.Decimals = HexValue(structure[at + 3]);
      info.EngineOffset = HexValue(structure[at + 4]) - 1;
    } else {
      info.Name = xb_FieldName(static_cast<XbShort>(i));
      type = xb_FieldType(info.Name);
      info.EngineOffset = xb_FieldOffset(info.Name) - 1;
      info.Width = xb_FieldWidth(info.Name);
      info.Decimals = xb_FieldDecimals(info.Name);
    }
    info.Name = Upper(info.Name);
    info.TypeLetter = type.empty() ? ' ' : cp949::Upper(type.substr(0, 1))[0];
    const TFieldType ft = FieldTypeOfLetter(info.TypeLetter, info.Width, info.Decimals);
    FieldInfos.push_back(info);
    if (ft == ftUnknown) continue;
    // The definition keeps the engine's field number, so the infos stay indexed by it even
    // when a field of an unknown type has no definition.
    TFieldDef* def = FieldDefs().Add(info.Name, ft, ft == ftString ? info.Width : 0);
    def->FieldNo = i;
    if (ft == ftFloat) def->Precision = info.Width + 1;
  }

  // Asking for the definitions of a closed table opens it only for as long as that takes.
  if (!CursorOpen && !OpeningFieldDefs) CloseEngineTable();
}

void TXbTable::CreateFields() {
  TDataSet::CreateFields();
  for (TField* f : Fields()) {
    auto* ff = dynamic_cast<TFloatField*>(f);
    if (!ff) continue;
    const TFieldDef* def = FieldDefs().Find(f->FieldName());
    if (def->FieldNo < 1 || def->FieldNo > static_cast<int>(FieldInfos.size())) continue;
    const TFieldInfo& info = FieldInfos[static_cast<size_t>(def->FieldNo - 1)];
    std::string format = "0";
    if (info.Decimals > 0) format += "." + std::string(static_cast<size_t>(info.Decimals), '0');
    ff->DisplayFormat = format;
    ff->Precision = info.Width + 1;
  }
}

void TXbTable::UpdateIndexDefs() {
  if (WorkArea <= 0 || FIndexDefs->Updated) return;
  SelectWorkArea();
  xb_SetStringType(1);
  const XbLong n = xb_SysProp(3000, 0);
  FIndexDefs->Clear();
  if (n > 0) {
    const XbLong saved = xb_IndexOrd();
    struct RestoreOrder {
      TXbTable* t;
      XbLong order;
      ~RestoreOrder() { t->xb_SetOrder(static_cast<XbShort>(order)); }
    } restore{this, saved};
    for (XbLong i = 1; i <= n; ++i) {
      const XbShort order = static_cast<XbShort>(i);
      std::string ntxFile;
      if (FTableType == ttXBNTX) {
        ntxFile = xb_IndexName(order);
        if (ntxFile.empty()) continue;
      }
      xb_SetOrder(order);
      const std::string key = Upper(xb_IndexKey());
      const std::string name = FTableType == ttXBNTX ? ntxFile : xb_TagName(order);
      TIndexOptions options = 0;
      if (FTableType == ttXBNTX) options |= ixNonMaintained;
      const XbShort indexType = xb_IndexType();
      if (indexType == 2 || indexType == 4) options |= ixUnique;
      if (Contains(key, "UPPER(")) options |= ixCaseInsensitive;
      if (xb_SysProp(3002, 0) != 0) options |= ixDescending;
      const bool expression = Contains(key, "+") || Contains(key, "(") || Contains(key, "-");
      if (expression) options |= ixExpression;
      if (name.empty() || key.empty()) RaiseXbError(this, "Invalid Index File or Tag");
      TIndexDef* def = FIndexDefs->Add(name, expression ? key : xb_IndexKeyField(), options);
      def->Source = FTableType == ttXBNTX ? ntxFile : ExtractFileName(xb_IndexName(order));
    }
  }
  FIndexDefs->Updated = true;
}

std::string TXbTable::KeyFieldsOfExpression(const std::string& Expression) {
  std::string list;
  std::string token;
  bool inside = false;
  auto endToken = [&] {
    if (!token.empty() && token.find_first_of("=<>$#") == std::string::npos &&
        !(token[0] >= '0' && token[0] <= '9'))
      list += token + ";";
    token.clear();
  };
  const std::string text = Expression + "+";
  for (char c : text) {
    switch (c) {
      case '(':
        token.clear();  // a function name
        inside = true;
        break;
      case ')':
        inside = false;
        endToken();
        break;
      case '+':
      case '-': endToken(); break;
      case ',':
        if (inside) endToken(); else token += c;
        break;
      case ' ': break;
      default: token += c; break;
    }
  }
  if (!list.empty() && list.back() == ';') list.pop_back();
  return list;
}

// ---- Open and close -------------------------------------------------------------------------

void TXbTable::InternalOpen() {
  if (WorkArea <= 0) {
    CachedRecCount = 0;
    EngineFieldCount = 0;
  }
  // Slots made before the open have no images; the fetch-ahead makes its own.
  FreeFetchSlots();
  ResetFetchBlock();
  LastGetMode = 0;

  if (OnServer()) {
    if (!XbConnection) RaiseXbError(this, "No XbConnection specified");
    if (!XbConnection->Active()) {
      WorkArea = 0;
      RaiseXbError(this, "Not connected");
    }
  }

  OpeningFieldDefs = true;
  try {
    InternalInitFieldDefs();
  } catch (...) {
    OpeningFieldDefs = false;
    AbandonOpen();
    throw;
  }
  OpeningFieldDefs = false;
  if (WorkArea == 0) return;
  try {
    FinishOpen();
  } catch (...) {
    AbandonOpen();
    throw;
  }
}

void TXbTable::AbandonOpen() noexcept {
  // An open that failed half-way leaves nothing behind: no work area, no file open, no
  // fields, so the table name can change and the next open starts fresh.
  try {
    InternalClose();
  } catch (...) {
    WorkArea = 0;
  }
}

void TXbTable::FinishOpen() {

  if (DefaultFields()) CreateFields();
  BindFields(true);

  CurrentRecNo = 0;
  int offset = 0;
  for (TField* f : Fields()) {
    if (f->FieldNo() < 1 || f->FieldNo() > static_cast<int>(FieldInfos.size())) continue;
    FieldInfos[static_cast<size_t>(f->FieldNo() - 1)].BufferOffset = offset;
    offset += 1 + f->DataSize();
  }
  CalcAreaOffset = offset;
  const int align = static_cast<int>(alignof(TBlobSlot));
  BlobAreaOffset = (CalcAreaOffset + CalcFieldsSize() + align - 1) / align * align;
  BookmarkOffset = BlobAreaOffset + static_cast<int>(sizeof(TBlobSlot)) * BlobFieldCount();
  RecordBufferSize = BookmarkOffset + 5;
  RecordImage.assign(static_cast<size_t>(RecordSize > 0 ? RecordSize : 0), '\0');
  CursorOpen = true;
  BookmarkSize = 4;

  FFilterActive = Filtered();
  if (FFilterActive) Query(Filter());

  if (FMasterLink->DataSource() != nullptr) {
    const std::string key = BuildMasterKey();
    SelectWorkArea();
    xb_SetScope(key, key);
  }

  SelectWorkArea();
  EngineGoTop();
  BofPending = -1;
  ResetFetchBlock();
}

void TXbTable::InternalClose() {
  CachedRecCount = -1;
  RawRecCount = -1;
  CountNeedsRefresh = true;
  DataFolder.clear();
  CursorOpen = false;
  FEditLockRecNo = 0;
  FCallerLocks.clear();
  FFailedAppendRecNo = 0;

  BindFields(false);
  RecordImage.clear();
  if (DefaultFields()) DestroyFields();
  FieldInfos.clear();

  CloseEngineTable();
}
