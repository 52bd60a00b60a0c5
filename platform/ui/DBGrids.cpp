// The data grid over QTableView: a model on the data link's buffer window, and the grid's
// own scroll bar for the position in the whole dataset.
#include "platform/ui/DBGrids.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>

#include "platform/ui/QtText.h"

// Rows are the records of the link's window; the current one is the link's ActiveRecord.
class GridModel : public QAbstractTableModel {
 public:
  explicit GridModel(TDBGrid* g) : grid_(g) {}
  int rowCount(const QModelIndex& parent) const override {
    if (parent.isValid() || !grid_->FLink->Active()) return 0;
    return grid_->FLink->RecordCount();
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : grid_->FieldCount();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return QVariant();
    return orv::ToQ(grid_->CellText(index.row(), index.column()));
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (role != Qt::DisplayRole) return QVariant();
    if (o == Qt::Horizontal) {
      if (section < 0 || section >= grid_->FieldCount()) return QVariant();
      return orv::ToQ(grid_->Fields(section)->DisplayLabel());
    }
    bool current = grid_->FLink->Active() && section == grid_->FLink->ActiveRecord();
    return current ? QString(QChar(0x25B6)) : QString();
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  TDBGrid* grid_;
};

namespace {

// The view leaves keys and presses to the grid, which moves the dataset instead.
class GridView : public QTableView {
 public:
  using QTableView::QTableView;

 protected:
  void keyPressEvent(QKeyEvent* e) override { e->ignore(); }
  void keyboardSearch(const QString&) override {}
};

}  // namespace

// ---- The data link ------------------------------------------------------------------------

TGridDataLink::~TGridDataLink() = default;
void TGridDataLink::ActiveChanged() { FGrid->LinkActive(); }
void TGridDataLink::DataSetChanged() { FGrid->DataChanged(); }
void TGridDataLink::DataSetScrolled(int) { FGrid->DataChanged(); }
void TGridDataLink::LayoutChanged() { FGrid->LayoutChanged(); }
void TGridDataLink::RecordChanged(TField*) { FGrid->DataChanged(); }
void TGridDataLink::EditingChanged() { FGrid->DataChanged(); }
void TGridDataLink::UpdateData() { FGrid->UpdateData(); }

// ---- The cell editor ----------------------------------------------------------------------

TInplaceEdit::TInplaceEdit(TDBGrid* AGrid) : TEdit(AGrid), FGrid(AGrid) {
  SetParent(AGrid);
  SetTabStop(false);
  SetVisible(false);
  LineEdit()->setFrame(false);
}

void TInplaceEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TEdit::KeyDown(Key, Shift);
  if (!Key) return;
  switch (Key) {
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_RETURN: case VK_ESCAPE:
    case VK_F2:
      if (FGrid->EditorKey(Key, Shift)) Key = 0;
      break;
    default: break;
  }
}

void TInplaceEdit::Changed() {
  TEdit::Changed();
  if (Modified()) FGrid->EditorModified();
}

// ---- TDBGrid ------------------------------------------------------------------------------

TDBGrid::TDBGrid(TComponent* AOwner) : TWinControl(AOwner, new QWidget), FLink(std::make_unique<TGridDataLink>(this)) {
  QWidget* w = Widget();
  w->resize(320, 120);
  // A press takes the focus through MouseDown, which sees whether it was granted; Qt's own
  // focus on click would come first and hide that.
  w->setFocusPolicy(Qt::TabFocus);
  auto* layout = new QHBoxLayout(w);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* view = new GridView(w);
  FModel = new GridModel(this);
  view->setModel(FModel);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectItems);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setFocusPolicy(Qt::NoFocus);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  view->horizontalHeader()->setSectionsClickable(false);
  view->horizontalHeader()->setHighlightSections(false);
  view->setCornerButtonEnabled(false);
  layout->addWidget(view);
  FScroll = new QScrollBar(Qt::Vertical, w);
  layout->addWidget(FScroll);
  w->setFocusProxy(nullptr);
  WatchInner(view->viewport());
  QObject::connect(FScroll, &QScrollBar::actionTriggered, [this](int) {
    if (FSyncing) return;
    SafeCall([this] { ScrollTo(FScroll->sliderPosition()); });
  });
  QObject::connect(view->horizontalHeader(), &QHeaderView::sectionResized,
                   [this](int section, int, int size) {
                     if (FSyncing || section < 0 || section >= FieldCount()) return;
                     // A column the user made wider or narrower keeps that width in its field.
                     int cw = CharWidth();
                     FColumns[static_cast<size_t>(section)]->SetDisplayWidth(std::max(1, (size - 4 + cw / 2) / cw));
                   });
  SetColor(clWindow);
  SetOptions(FOptions);
}

TDBGrid::~TDBGrid() {
  delete FEditor;
  FEditor = nullptr;
  FLink->SetDataSource(nullptr);
  FLink.reset();
  FColumns.clear();
}

QTableView* TDBGrid::View() const { return static_cast<QTableView*>(Widget()->layout()->itemAt(0)->widget()); }

void TDBGrid::SetDataSource(TDataSource* v) {
  FLink->SetDataSource(v);
  LinkActive();
}

void TDBGrid::SetOptions(TDBGridOptions v) {
  FOptions = v;
  QTableView* view = View();
  view->horizontalHeader()->setVisible(v & dgTitles);
  view->verticalHeader()->setVisible(v & dgIndicator);
  view->setShowGrid((v & (dgColLines | dgRowLines)) != 0);
  view->horizontalHeader()->setSectionResizeMode((v & dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
  view->setSelectionBehavior((v & dgRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

TField* TDBGrid::Fields(int Index) const {
  if (Index < 0 || Index >= FieldCount()) return nullptr;
  return FColumns[static_cast<size_t>(Index)];
}

TField* TDBGrid::SelectedField() const { return Fields(FSelectedIndex); }

void TDBGrid::SetSelectedIndex(int v) {
  if (FieldCount() == 0) {
    FSelectedIndex = 0;
    return;
  }
  v = std::clamp(v, 0, FieldCount() - 1);
  if (v == FSelectedIndex) {
    SyncCurrent();
    return;
  }
  FSelectedIndex = v;
  SyncCurrent();
  if (OnColEnter) OnColEnter(this);
}

int TDBGrid::CharWidth() const {
  int w = View()->fontMetrics().averageCharWidth();
  return w > 0 ? w : 7;
}

int TDBGrid::ColumnWidth(int Index) const { return View()->columnWidth(Index); }

int TDBGrid::TitleWidth(int Index) const {
  // A column is at least as wide as its title, so that the title can be read whole.
  if (!(FOptions & dgTitles) || !Fields(Index)) return 0;
  QHeaderView* h = View()->horizontalHeader();
  const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
  return h->fontMetrics().horizontalAdvance(orv::ToQ(Fields(Index)->DisplayLabel())) + 2 * margin + 4;
}

int TDBGrid::Row() const {
  if (!FLink->Active() || FLink->RecordCount() == 0) return -1;
  return FLink->ActiveRecord();
}

TRect TDBGrid::CellRect(int ACol, int ARow) const {
  QTableView* view = View();
  QRect r = view->visualRect(FModel->index(ARow, ACol));
  if (!r.isValid()) return TRect{};
  r.moveTopLeft(view->viewport()->mapTo(Widget(), r.topLeft()));
  return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void TDBGrid::FontChanged() {
  TWinControl::FontChanged();
  if (FModel) {
    View()->verticalHeader()->setDefaultSectionSize(View()->fontMetrics().height() + 3);
    UpdateColumns();
    UpdateBufferCount();
  }
}

int TDBGrid::VisibleRowCount() const {
  QTableView* view = View();
  int rowH = std::max(1, view->verticalHeader()->defaultSectionSize());
  int h = view->viewport()->height();
  if (!view->isVisible()) {
    // Before the first show the viewport has no size yet: take the control's.
    h = Height() - ((FOptions & dgTitles) ? view->horizontalHeader()->sizeHint().height() : 0) - 2;
  }
  return std::max(1, h / rowH);
}

void TDBGrid::UpdateBufferCount() {
  if (!FLink) return;
  int n = VisibleRowCount();
  if (FLink->BufferCount() != n) FLink->SetBufferCount(n);
}

void TDBGrid::BoundsChanged() {
  TWinControl::BoundsChanged();
  UpdateBufferCount();
}

bool TDBGrid::WidgetEvent(QObject* watched, QEvent* e) {
  // The rows' window changes without the grid changing size: when the header first shows and
  // when the horizontal scroll bar comes or goes. The rows held must follow it, or the view
  // scrolls the current row into sight and cuts the first one.
  if (e->type() == QEvent::Resize && watched == View()->viewport()) UpdateBufferCount();
  return TWinControl::WidgetEvent(watched, e);
}

void TDBGrid::UpdateColumns() {
  std::vector<TField*> cols;
  if (FLink->Active()) {
    if (TDataSet* ds = FLink->DataSet()) {
      for (TField* f : ds->Fields())
        if (f->Visible) cols.push_back(f);
    }
  }
  bool changed = cols != FColumns;
  FColumns = std::move(cols);
  FSyncing = true;
  if (changed) FModel->Reset();
  int cw = CharWidth();
  for (int i = 0; i < FieldCount(); ++i) {
    int want = std::max(Fields(i)->DisplayWidth() * cw + 4, TitleWidth(i));
    if (View()->columnWidth(i) != want) View()->setColumnWidth(i, want);
  }
  FSyncing = false;
  if (FSelectedIndex >= FieldCount()) FSelectedIndex = std::max(0, FieldCount() - 1);
}

void TDBGrid::LayoutChanged() {
  UpdateColumns();
  DataChanged();
}

void TDBGrid::LinkActive() {
  UpdateBufferCount();
  UpdateColumns();
  DataChanged();
}

void TDBGrid::DataChanged() {
  if (!FModel) return;
  UpdateColumns();
  FSyncing = true;
  FModel->Reset();
  FSyncing = false;
  SyncCurrent();
  UpdateScrollBar();
  PlaceEditor();
}

// ---- Editing ------------------------------------------------------------------------------

TInplaceEdit* TDBGrid::CreateEditor() { return new TInplaceEdit(this); }

bool TDBGrid::EditorMode() const { return FEditor && FEditor->Visible(); }

void TDBGrid::SetEditorMode(bool v) {
  if (v) ShowEditor();
  else HideEditor();
}

bool TDBGrid::CanEditModify() const {
  if (!(FOptions & dgEditing) || ReadOnly || !FLink->Active() || FLink->ReadOnly()) return false;
  TField* f = SelectedField();
  return f && f->CanModify();
}

void TDBGrid::ShowEditor() {
  if (!CanEditModify() || Row() < 0) return;
  if (!FEditor) FEditor = CreateEditor();
  FEditor->SetVisible(true);
  PlaceEditor();
  FEditor->BringToFront();
  if (CanFocus()) FEditor->SetFocus();
}

void TDBGrid::HideEditor() {
  if (!EditorMode()) return;
  bool hadFocus = FEditor->Focused();
  FEditor->SetVisible(false);
  if (hadFocus && CanFocus()) SetFocus();
}

// The editor follows the current cell and shows the field's text unless it holds the user's.
void TDBGrid::PlaceEditor() {
  if (!EditorMode()) return;
  TField* f = SelectedField();
  if (!f || Row() < 0 || !CanEditModify()) {
    HideEditor();
    return;
  }
  TRect r = CellRect(FSelectedIndex, Row());
  FEditor->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  if (!FEditor->Modified()) {
    FEditor->SetText(f->Text());
    FEditor->SelectAll();
  }
}

void TDBGrid::EditorModified() {
  // The first change of the user starts editing the record; a dataset that refuses keeps
  // the field's text.
  if (FLink->Editing()) return;
  if (!FLink->Edit()) {
    FEditor->SetText(SelectedField() ? SelectedField()->Text() : std::string());
  }
}

void TDBGrid::UpdateData() {
  if (!FEditor || !FEditor->Modified()) return;
  TField* f = SelectedField();
  if (!f) return;
  f->SetText(FEditor->Text());
  FEditor->SetModified(false);
}

bool TDBGrid::EditorKey(uint16_t Key, TShiftState Shift) {
  TDataSet* ds = FLink->Active() ? FLink->DataSet() : nullptr;
  switch (Key) {
    case VK_RETURN:
      if (ds && (ds->State() == dsEdit || ds->State() == dsInsert)) {
        FLink->UpdateRecord();
        ds->Post();
      }
      if (!(FOptions & dgAlwaysShowEditor)) HideEditor();
      return true;
    case VK_ESCAPE:
      FEditor->SetModified(false);
      if (ds && (ds->State() == dsEdit || ds->State() == dsInsert)) ds->Cancel();
      PlaceEditor();
      if (!(FOptions & dgAlwaysShowEditor)) HideEditor();
      return true;
    case VK_F2:
      return true;
    default: {
      uint16_t k = Key;
      KeyDown(k, Shift);  // moving keys: the dataset posts through UpdateData on the move
      return k == 0;
    }
  }
}

void TDBGrid::KeyPress(char& Key) {
  TWinControl::KeyPress(Key);
  unsigned char c = static_cast<unsigned char>(Key);
  if (!Key || c < 0x20 || EditorMode() || !CanEditModify()) return;
  // A character typed on the grid opens the editor and goes into it.
  ShowEditor();
  if (!EditorMode()) return;
  FEditor->SelectAll();
  // The whole character: a Hangul syllable is one key press of two bytes.
  FEditor->SetSelText(PressedChar(Key));
  Key = 0;
}

void TDBGrid::DoEnter() {
  TWinControl::DoEnter();
  if (FOptions & dgAlwaysShowEditor) ShowEditor();
}

void TDBGrid::SyncCurrent() {
  if (!FModel) return;
  FSyncing = true;
  QTableView* view = View();
  if (FLink->Active() && FLink->RecordCount() > 0 && FieldCount() > 0) {
    QModelIndex idx = FModel->index(FLink->ActiveRecord(), FSelectedIndex);
    view->setCurrentIndex(idx);
    view->scrollTo(idx);
  } else {
    view->setCurrentIndex(QModelIndex());
  }
  FSyncing = false;
}

void TDBGrid::UpdateScrollBar() {
  FSyncing = true;
  TDataSet* ds = FLink->Active() ? FLink->DataSet() : nullptr;
  int count = ds ? ds->RecordCount() : -1;
  int rec = ds ? ds->RecNo() : -1;
  if (!ds || count <= 0) {
    FScroll->setRange(0, 0);
  } else if (rec > 0) {
    FScroll->setRange(0, count - 1);
    FScroll->setPageStep(std::max(1, FLink->BufferCount()));
    FScroll->setValue(std::clamp(rec - 1, 0, count - 1));
  } else {
    // Without record numbers the bar only tells the ends apart.
    FScroll->setRange(0, 2);
    FScroll->setValue(ds->Bof() ? 0 : ds->Eof() ? 2 : 1);
  }
  FSyncing = false;
}

void TDBGrid::ScrollTo(int value) {
  TDataSet* ds = FLink->Active() ? FLink->DataSet() : nullptr;
  if (!ds) return;
  int rec = ds->RecNo();
  if (rec > 0) {
    ds->MoveBy(value + 1 - rec);
  } else if (value <= 0) {
    ds->First();
  } else if (value >= FScroll->maximum()) {
    ds->Last();
  }
  UpdateScrollBar();
}

std::string TDBGrid::CellText(int Row, int Col) {
  TField* f = Fields(Col);
  if (!f || !FLink->Active()) return std::string();
  int old = FLink->ActiveRecord();
  FLink->SetActiveRecord(Row);
  std::string s;
  try {
    s = f->DisplayText();
  } catch (...) {
    s.clear();
  }
  FLink->SetActiveRecord(old);
  return s;
}

void TDBGrid::KeyDown(uint16_t& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (!Key) return;
  if (Key == VK_F2 && KeyModifiers(Shift) == 0 && CanEditModify()) {
    ShowEditor();
    Key = 0;
    return;
  }
  TDataSet* ds = FLink->Active() ? FLink->DataSet() : nullptr;
  TShiftState mods = KeyModifiers(Shift);
  bool ctrl = mods == ssCtrl;
  switch (Key) {
    case VK_UP: if (ds) ds->MoveBy(-1); break;
    case VK_DOWN: if (ds) ds->MoveBy(1); break;
    case VK_PRIOR: if (ds) ds->MoveBy(-VisibleRowCount()); break;
    case VK_NEXT: if (ds) ds->MoveBy(VisibleRowCount()); break;
    case VK_LEFT: SetSelectedIndex(FSelectedIndex - 1); PlaceEditor(); break;
    case VK_RIGHT: SetSelectedIndex(FSelectedIndex + 1); PlaceEditor(); break;
    case VK_HOME:
      if (ctrl) { if (ds) ds->First(); } else SetSelectedIndex(0);
      break;
    case VK_END:
      if (ctrl) { if (ds) ds->Last(); } else SetSelectedIndex(FieldCount() - 1);
      break;
    default: return;  // not a navigation key: left for the form and the handlers
  }
  Key = 0;
}

void TDBGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && CanFocus() && !Focused()) {
    SetFocus();
    // A handler of the focus change kept it elsewhere (a note that could not be saved): the
    // press does not move the dataset either.
    if (!Focused()) return;
  }
  if (Button == mbLeft) {
    QTableView* view = View();
    QPoint p = view->viewport()->mapFrom(Widget(), QPoint(X, Y));
    QModelIndex idx = view->indexAt(p);
    if (idx.isValid()) {
      if (TDataSet* ds = FLink->Active() ? FLink->DataSet() : nullptr) {
        int d = idx.row() - FLink->ActiveRecord();
        if (d) ds->MoveBy(d);
      }
      SetSelectedIndex(idx.column());
      if (OnCellClick) OnCellClick(this);
    }
  }
  TWinControl::MouseDown(Button, Shift, X, Y);
}
