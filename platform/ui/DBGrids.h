// The data grid: a read-only table of a dataset's records, one row per record and one column
// per visible field, over a Qt table view whose model reads the dataset's record buffers.
//
// The grid keeps as many records buffered as it shows rows (its data link's BufferCount), so
// the rows are the dataset's own window around the current record; the current row is always
// the dataset's current record. Moving in the grid (arrow and page keys, Ctrl+Home/End, a
// click on a row, the scroll bar) moves the dataset; moving the dataset moves the grid.
//
// Columns: the dataset's visible fields in field order, titled by DisplayLabel, as wide as
// DisplayWidth characters of the grid's font and never narrower than their title. The grid
// re-reads them at every change of the dataset's data or layout (a field made visible shows
// at the next change, or at once with LayoutChanged). Resizing a column by the user stores the
// new DisplayWidth in its field.
//
// Keys: the form's preview and OnKeyDown see every key first; the grid acts only on the
// navigation keys left to it. Del, Space, Enter and the other keys are not consumed, so they
// reach OnKeyDown / OnKeyPress of the grid and of the form.
//
// Editing (dgEditing, not ReadOnly, a field that can be modified): a character typed on the
// grid, F2, or the focus with dgAlwaysShowEditor shows the cell editor (CreateEditor makes
// it) over the current cell with the field's text; the first change puts the dataset into
// edit state; moving to another record writes the text into the field and posts; Enter writes
// and posts at once; Esc cancels the record's changes. GUI thread only.
#pragma once

#include <memory>
#include <vector>

#include "platform/core/DataSource.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

class QTableView;
class QScrollBar;
class TDBGrid;
class GridModel;

enum : unsigned {
  dgEditing = 1u << 0, dgAlwaysShowEditor = 1u << 1, dgTitles = 1u << 2, dgIndicator = 1u << 3,
  dgColumnResize = 1u << 4, dgColLines = 1u << 5, dgRowLines = 1u << 6, dgTabs = 1u << 7,
  dgRowSelect = 1u << 8, dgAlwaysShowSelection = 1u << 9, dgConfirmDelete = 1u << 10,
  dgCancelOnExit = 1u << 11, dgMultiSelect = 1u << 12,
};
using TDBGridOptions = unsigned;

// The cell editor: an edit that stands over the current cell and hands the grid its moving
// keys.
class TInplaceEdit : public TEdit {
 public:
  explicit TInplaceEdit(TDBGrid* AGrid);
  TDBGrid* Grid() const { return FGrid; }

 protected:
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Changed() override;

 private:
  TDBGrid* FGrid;
};

class TGridDataLink : public TDataLink {
 public:
  explicit TGridDataLink(TDBGrid* g) : FGrid(g) {}
  ~TGridDataLink() override;

 protected:
  void ActiveChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled(int Distance) override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;
  void EditingChanged() override;
  void UpdateData() override;

 private:
  TDBGrid* FGrid;
};

class TDBGrid : public TWinControl {
 public:
  explicit TDBGrid(TComponent* AOwner);
  ~TDBGrid() override;

  TDataSource* DataSource() const { return FLink->DataSource(); }
  void SetDataSource(TDataSource* v);

  TDBGridOptions Options() const { return FOptions; }
  void SetOptions(TDBGridOptions v);
  // The grid never edits its cells; ReadOnly is kept for the forms that set it.
  bool ReadOnly = true;

  // The visible fields shown as columns, in order.
  int FieldCount() const { return static_cast<int>(FColumns.size()); }
  TField* Fields(int Index) const;
  // The current column (0-based); SelectedField is its field.
  int SelectedIndex() const { return FSelectedIndex; }
  void SetSelectedIndex(int v);
  TField* SelectedField() const;
  // Pixel width of column i.
  int ColumnWidth(int Index) const;
  // The row of the current record among the shown rows (0-based), -1 when there is none.
  int Row() const;
  // A cell's rectangle in the grid's client coordinates (empty when it is not shown); for
  // editors that stand over a cell.
  TRect CellRect(int ACol, int ARow) const;
  // Rows the grid has room for (its data link's buffer count).
  int VisibleRowCount() const;
  // Re-reads the columns from the fields now.
  void LayoutChanged();

  // The cell editor (nullptr until first shown) and whether it is shown.
  TInplaceEdit* InplaceEditor() const { return FEditor; }
  bool EditorMode() const;
  void SetEditorMode(bool v);
  // True when the current cell may be edited.
  bool CanEditModify() const;
  void ShowEditor();
  void HideEditor();

  TNotifyEvent OnColEnter;
  TNotifyEvent OnCellClick;

  QTableView* View() const;

 protected:
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void BoundsChanged() override;
  void FontChanged() override;
  void KeyPress(char& Key) override;
  void DoEnter() override;
  bool WidgetEvent(QObject* watched, QEvent* e) override;
  // Makes the cell editor; descendants make their own kind.
  virtual TInplaceEdit* CreateEditor();

 private:
  friend class TGridDataLink;
  friend class TInplaceEdit;
  void UpdateData();
  void PlaceEditor();
  void EditorModified();
  // The editor passes a key on; true when the grid used it.
  bool EditorKey(uint16_t Key, TShiftState Shift);
  friend class GridModel;
  void LinkActive();
  void DataChanged();
  void UpdateColumns();
  void UpdateBufferCount();
  void SyncCurrent();
  void UpdateScrollBar();
  void ScrollTo(int value);
  std::string CellText(int Row, int Col);
  int CharWidth() const;
  int TitleWidth(int Index) const;

  std::unique_ptr<TGridDataLink> FLink;
  GridModel* FModel = nullptr;
  QScrollBar* FScroll = nullptr;
  std::vector<TField*> FColumns;
  TDBGridOptions FOptions = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                            dgTabs | dgConfirmDelete | dgCancelOnExit;
  int FSelectedIndex = 0;
  bool FSyncing = false;
  TInplaceEdit* FEditor = nullptr;
};
