// Data sources, data links and the master link of detail datasets.
#include "platform/core/DataSource.h"

#include <algorithm>

#include "platform/core/DbConsts.h"

using namespace dbconsts;

// ---- TDataSource --------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  std::vector<TDataLink*> links = FDataLinks;
  FDataLinks.clear();
  for (TDataLink* link : links) {
    link->FDataSource = nullptr;
    link->UpdateState();
  }
  if (FDataSet) {
    auto& v = FDataSet->FDataSources;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    FDataSet->UpdateBufferCount();
    FDataSet = nullptr;
  }
}

void TDataSource::SetDataSet(TDataSet* ADataSet) {
  if (ADataSet == FDataSet) return;
  // A dataset whose masters lead back here would follow itself.
  int guard = 0;
  for (TDataSource* src = ADataSet ? ADataSet->GetDataSource() : nullptr; src && guard < 1000;
       src = src->FDataSet ? src->FDataSet->GetDataSource() : nullptr, ++guard)
    if (src == this) DatabaseError(SCircularDataLink, this);
  if (FDataSet) {
    auto& v = FDataSet->FDataSources;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    TDataSet* old = FDataSet;
    FDataSet = nullptr;
    old->UpdateBufferCount();
  }
  FDataSet = ADataSet;
  if (FDataSet) {
    FDataSet->FDataSources.push_back(this);
    FDataSet->UpdateBufferCount();
  }
  UpdateState();
}

void TDataSource::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateState();
}

void TDataSource::Edit() {
  if (AutoEdit && FDataSet && FDataSet->State() == dsBrowse) FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* ADataSet) const {
  int guard = 0;
  for (const TDataSource* src = this; src && guard < 1000; ++guard) {
    if (!src->FDataSet) return false;
    if (src->FDataSet == ADataSet) return true;
    src = src->FDataSet->GetDataSource();
  }
  return false;
}

void TDataSource::UpdateState() {
  TDataSetState s = dsInactive;
  if (FEnabled && FDataSet && FDataSet->Active()) s = FDataSet->State();
  if (s == FState) return;
  TDataSetState prior = FState;
  FState = s;
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* link : links)
    if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
      link->UpdateState();
  if (HasState(csDestroying)) return;
  if (OnStateChange) {
    TNotifyEvent handler = OnStateChange;
    handler(this);
  }
  // Becoming active shows the current record, as after a move.
  if (prior == dsInactive && FState != dsInactive) DoDataChange(nullptr);
}

void TDataSource::DoDataChange(TField* Field) {
  if (OnDataChange) {
    TDataChangeEvent handler = OnDataChange;
    handler(this, Field);
  }
}

void TDataSource::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (FState == dsInactive) return;
  std::vector<TDataLink*> links = FDataLinks;
  for (TDataLink* link : links)
    if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
      link->DataEvent(Event, Info);
  switch (Event) {
    case deFieldChange: DoDataChange(reinterpret_cast<TField*>(Info)); break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: DoDataChange(nullptr); break;
    case deUpdateRecord:
      if (OnUpdateData) {
        TNotifyEvent handler = OnUpdateData;
        handler(this);
      }
      break;
    default: break;
  }
}

void TDataSource::AddDataLink(TDataLink* Link) {
  FDataLinks.push_back(Link);
  if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
  FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), Link), FDataLinks.end());
  if (FDataSet) FDataSet->UpdateBufferCount();
}

// ---- TDataLink ----------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  if (FDataSource) {
    TDataSource* ds = FDataSource;
    FDataSource = nullptr;
    ds->RemoveDataLink(this);
  }
}

void TDataLink::SetDataSource(TDataSource* ADataSource) {
  if (ADataSource == FDataSource) return;
  if (FDataSource) {
    TDataSource* old = FDataSource;
    FDataSource = nullptr;
    old->RemoveDataLink(this);
  }
  FDataSource = ADataSource;
  if (FDataSource) FDataSource->AddDataLink(this);
  UpdateState();
}

void TDataLink::SetReadOnly(bool Value) {
  if (StoreChanged(FReadOnly, Value)) UpdateState();
}

void TDataLink::UpdateState() {
  bool active = FDataSource && FDataSource->State() != dsInactive;
  if (active != FActive) {
    FActive = active;
    if (active) {
      FFirstRecord = 0;
      UpdateRange();
    }
    ActiveChanged();
  }
  TDataSetState s = FDataSource ? FDataSource->State() : dsInactive;
  bool editing = FActive && !FReadOnly && (s == dsEdit || s == dsInsert || s == dsSetKey);
  if (editing != FEditing) {
    FEditing = editing;
    EditingChanged();
  }
}

void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) {
    FFirstRecord = 0;
    return;
  }
  int active = ds->FActiveRecord, count = ds->FRecordCount;
  if (FFirstRecord > active) FFirstRecord = active;
  if (FFirstRecord < active - FBufferCount + 1) FFirstRecord = active - FBufferCount + 1;
  // Keep the window full when the buffers allow it.
  if (FFirstRecord + FBufferCount > count) FFirstRecord = count - FBufferCount;
  if (FFirstRecord < 0) FFirstRecord = 0;
}

void TDataLink::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount) return;
  FBufferCount = Value;
  if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
  UpdateRange();
}

int TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  return ds && FActive ? ds->FActiveRecord - FFirstRecord : 0;
}

void TDataLink::SetActiveRecord(int Value) {
  if (TDataSet* ds = DataSet(); ds && FActive) ds->SetActiveRecord(Value + FFirstRecord);
}

int TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (!ds || !FActive) return 0;
  return std::max(0, std::min(ds->FRecordCount - FFirstRecord, FBufferCount));
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource && !FEditing) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

int TDataLink::MoveBy(int Distance) {
  TDataSet* ds = DataSet();
  return ds ? ds->MoveBy(Distance) : 0;
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
  switch (Event) {
    case deFieldChange:
      if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deRecordChange:
      if (!FUpdating) RecordChanged(nullptr);
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int shift = Event == deDataSetScroll ? static_cast<int>(Info) : 0;
      int before = FFirstRecord - shift;  // where the old window's records are now
      FFirstRecord = before;
      UpdateRange();
      if (Event == deDataSetScroll) DataSetScrolled(FFirstRecord - before);
      else if (Event == deLayoutChange) LayoutChanged();
      else DataSetChanged();
      break;
    }
    case deUpdateRecord: UpdateRecord(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    case deFocusControl: FocusControl(reinterpret_cast<TField**>(Info)); break;
    default: break;
  }
}

// ---- TMasterDataLink ----------------------------------------------------------------------

TMasterDataLink::TMasterDataLink(TDataSet* ADataSet) : FDetailDataSet(ADataSet) {}

TMasterDataLink::~TMasterDataLink() {
  // Leave quietly: the detail is usually being destroyed with its link.
  OnMasterChange = nullptr;
  OnMasterDisable = nullptr;
  SetDataSource(nullptr);
}

void TMasterDataLink::SetFieldNames(const std::string& Value) {
  if (StoreChanged(FFieldNames, Value)) ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  FFields.clear();
  if (Active() && DataSet()) FFields = DataSet()->GetFieldList(FFieldNames);
  if (!FDetailDataSet || !FDetailDataSet->Active() || FDetailDataSet->HasState(csDestroying))
    return;
  if (Active() && !FFields.empty()) {
    if (OnMasterChange) {
      TNotifyEvent handler = OnMasterChange;
      handler(this);
    }
  } else if (OnMasterDisable) {
    TNotifyEvent handler = OnMasterDisable;
    handler(this);
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDetailDataSet && FDetailDataSet->Active()) FDetailDataSet->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* Field) {
  if (!DataSource() || DataSource()->State() == dsSetKey) return;
  if (!FDetailDataSet || !FDetailDataSet->Active() || FFields.empty()) return;
  if (Field && std::find(FFields.begin(), FFields.end(), Field) == FFields.end()) return;
  if (OnMasterChange) {
    TNotifyEvent handler = OnMasterChange;
    handler(this);
  }
}
