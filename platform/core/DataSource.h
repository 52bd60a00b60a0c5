// Data sources and data links: how controls (and detail datasets) follow a dataset.
//
// A TDataSource stands between one dataset and any number of data links. It mirrors the
// dataset's state (dsInactive while it is disabled or has no dataset), fires OnStateChange
// when that changes and OnDataChange when the record or the view changes (also once when it
// becomes active, so a display catches up after SetEnabled(true)), and hands every dataset
// event to its links. A TDataLink is the controls' end: it sees a window of BufferCount
// records of the dataset's buffers and overrides the notices it cares about.
// TMasterDataLink is the link a detail dataset keeps on its master's data source.
//
// Lifetime: a data source detaches its links and its dataset when it is destroyed, a dataset
// detaches its data sources, a link leaves its data source. GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/DataSet.h"

using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* AOwner = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const { return FDataSet; }
  // A dataset whose master chain leads back to this source raises "Circular datalinks are
  // not allowed".
  void SetDataSet(TDataSet* ADataSet);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool AutoEdit = true;
  TDataSetState State() const { return FState; }
  // Puts the dataset into edit state when AutoEdit is set and it is browsing.
  void Edit();
  // True when ADataSet is this source's dataset or a master of it, following the master
  // sources of the datasets (a detail's GetDataSource) up the chain.
  bool IsLinkedTo(TDataSet* ADataSet) const;
  int DataLinkCount() const { return static_cast<int>(FDataLinks.size()); }

  TDataChangeEvent OnDataChange;  // Field: the changed field, or nullptr for the record
  TNotifyEvent OnStateChange;
  TNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent Event, intptr_t Info);
  void UpdateState();
  void AddDataLink(TDataLink* Link);
  void RemoveDataLink(TDataLink* Link);
  void DoDataChange(TField* Field);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  TDataSetState FState = dsInactive;
  std::vector<TDataLink*> FDataLinks;
};

class TDataLink : public TPersistent {
 public:
  TDataLink();
  // Descendants set the data source to nullptr in their own destructor when they need their
  // ActiveChanged called on the way out; this one only leaves the source.
  ~TDataLink() override;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* ADataSource);
  TDataSet* DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }
  // Active: the data source is active. Editing: active, in edit, insert or set-key state,
  // and not ReadOnly.
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool DataSourceFixed = false;

  // The link's window: BufferCount records of the dataset's buffers, the current one at
  // ActiveRecord (0-based within the window); RecordCount of them valid.
  int BufferCount() const { return FBufferCount; }
  void SetBufferCount(int Value);
  int ActiveRecord() const;
  // Makes record Value of the window the dataset's active one, for drawing; put it back.
  void SetActiveRecord(int Value);
  int RecordCount() const;

  // Starts editing through the data source (AutoEdit); true when the link is then editing.
  bool Edit();
  // Makes the link write its control's value (UpdateData), as the dataset's UpdateRecord does.
  void UpdateRecord();
  int MoveBy(int Distance);

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  // Distance: how many records the window moved (positive: towards the end).
  virtual void DataSetScrolled(int Distance) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** Field) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* Field) {}
  virtual void UpdateData() {}
  virtual void DataEvent(TDataEvent Event, intptr_t Info);

 private:
  friend class TDataSource;
  friend class TDataSet;
  void UpdateState();
  void UpdateRange();

  TDataSource* FDataSource = nullptr;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
  int FBufferCount = 1;
  int FFirstRecord = 0;
};

class TMasterDataLink : public TDataLink {
 public:
  // ADataSet: the detail dataset that keeps this link.
  explicit TMasterDataLink(TDataSet* ADataSet);
  ~TMasterDataLink() override;

  TDataSet* DetailDataSet() const { return FDetailDataSet; }
  // Master field names separated by ";".
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  // The master's fields named in FieldNames, in that order (empty while inactive).
  const std::vector<TField*>& Fields() const { return FFields; }

  // The master moved to another record (or changed a master field), or the link became
  // active with fields; OnMasterDisable: it became inactive or has no fields. Both only while
  // the detail is open.
  TNotifyEvent OnMasterChange;
  TNotifyEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;

 private:
  TDataSet* FDetailDataSet;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};
