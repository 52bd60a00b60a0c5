// The Hangul data grid, its cell editor and drop-down list, over the layer's data grid.
#include "components/HDBGrid.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <chrono>

#include "platform/core/DataSet.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"

namespace {

std::string FromQString(const QString& s) {
  std::string out;
  // Characters without a code page 949 form cannot be typed; they are left out.
  if (!cp949::TryFromUtf8(s.toUtf8().toStdString(), out)) out.clear();
  return out;
}

// Copies Qt's input-method event into the stand-in manager, so the context of the window
// holds what the message names.
uint32_t CompositionFlags(intptr_t Window, QInputMethodEvent* e) {
  std::string comp = FromQString(e->preeditString());
  std::string result = FromQString(e->commitString());
  if (auto* rec = dynamic_cast<TInputMethodRecorder*>(&InputMethodManager()))
    rec->SetWindowStrings(Window, comp, result);
  uint32_t flags = 0;
  // An emptied composition is a change of the composition as well.
  if (!comp.empty() || result.empty()) flags |= GCS_COMPSTR;
  if (!result.empty()) flags |= GCS_RESULTSTR;
  return flags;
}

// The button at the editor's right edge: a drop-down arrow for the lists, an ellipsis for
// the ellipsis style.
class EditButton : public QWidget {
 public:
  EditButton(QWidget* parent, const THDBGridInplaceEdit* edit) : QWidget(parent), edit_(edit) {
    setCursor(Qt::ArrowCursor);
  }
  bool pressed = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = rect();
    opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
    if (edit_->EditStyle() == esEllipsis) {
      p.drawText(rect(), Qt::AlignCenter, QStringLiteral("..."));
    } else {
      QStyleOption arrow;
      arrow.initFrom(this);
      arrow.rect = rect().adjusted(3, 3, -3, -3);
      style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &p, this);
    }
  }

 private:
  const THDBGridInplaceEdit* edit_;
};

std::map<std::string, TComponentFactory>& ClassRegistry() {
  static auto* r = new std::map<std::string, TComponentFactory>;
  return *r;
}

// Unit start-up: the editor and the list are known by name.
struct HDBGridClasses {
  HDBGridClasses() {
    RegisterComponentClass("THPopupListBox",
                           [](TComponent* owner) -> TComponent* { return new THPopupListBox(owner); });
    RegisterComponentClass("THDBGridInplaceEdit", [](TComponent* owner) -> TComponent* {
      auto* grid = dynamic_cast<THDBGrid*>(owner);
      return grid ? new THDBGridInplaceEdit(grid) : nullptr;
    });
  }
} const gHDBGridClasses;

}  // namespace

void RegisterComponentClass(const std::string& ClassName, TComponentFactory Factory) {
  ClassRegistry()[ClassName] = std::move(Factory);
}

TComponentFactory FindComponentClass(const std::string& ClassName) {
  auto it = ClassRegistry().find(ClassName);
  return it == ClassRegistry().end() ? TComponentFactory() : it->second;
}

// ---- THPopupListBox -----------------------------------------------------------------------

std::function<uint64_t()> THPopupListBox::TickCount = [] {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
};

THPopupListBox::THPopupListBox(TComponent* AOwner) : TListBox(AOwner) {
  // A pop-up of its own with no parent: it may reach beyond the form. It never takes the
  // focus; the editor keeps it and hands the list its keys.
  QListWidget* l = List();
  l->setParent(nullptr);
  l->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  l->setAttribute(Qt::WA_ShowWithoutActivating);
  l->setFrameShape(QFrame::Box);
  l->setFocusPolicy(Qt::NoFocus);
  l->hide();
}

void THPopupListBox::Place(int ScreenX, int ScreenY, int AWidth, int AHeight) {
  List()->setGeometry(ScreenX, ScreenY, AWidth, AHeight);
}

void THPopupListBox::Popup() { List()->show(); }
void THPopupListBox::Close() { List()->hide(); }
bool THPopupListBox::PoppedUp() const { return List()->isVisible(); }

void THPopupListBox::KeyPress(char& Key) {
  TListBox::KeyPress(Key);
  unsigned char c = static_cast<unsigned char>(Key);
  if (Key == 0) return;
  if (c == VK_BACK || c == VK_ESCAPE) {
    FSearchText.clear();
    return;
  }
  if (c < 32) return;
  uint64_t now = TickCount();
  if (now - FSearchTime > 2000) FSearchText.clear();
  FSearchTime = now;
  if (FSearchText.size() < 32) FSearchText += PressedChar(Key);
  // The first item that begins with the search, from the top; the letters fold.
  int n = Items().Count();
  for (int i = 0; i < n; ++i) {
    std::string item = Items().Get(i);
    if (item.size() >= FSearchText.size() &&
        CompareText(item.substr(0, FSearchText.size()), FSearchText) == 0) {
      SetItemIndex(i);
      break;
    }
  }
  Key = 0;
}

void THPopupListBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TListBox::MouseUp(Button, Shift, X, Y);
  if (Editor) Editor->CloseUp(X >= 0 && X < Width() && Y >= 0 && Y < Height());
}

// ---- THDBGridInplaceEdit ------------------------------------------------------------------

THDBGridInplaceEdit::THDBGridInplaceEdit(THDBGrid* AGrid)
    : TInplaceEdit(AGrid),
      FHGrid(AGrid),
      FButtonWidth(QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent)) {
  auto* button = new EditButton(Widget(), this);
  button->hide();
  FButton = button;
  WatchInner(button);
}

THDBGridInplaceEdit::~THDBGridInplaceEdit() {
  delete FPickList;
  delete FDataList;
}

void THDBGridInplaceEdit::UpdateContents() {
  THEditStyle style = esSimple;
  TField* f = FHGrid->SelectedField();
  if (f) {
    const THDBGrid::TColumnEditing* col = FHGrid->FindColumnEditing(f);
    if (f->Lookup() && f->LookupDataSet) style = esDataList;
    else if (col && col->PickList.Count() > 0) style = esPickList;
    else if (col && col->EllipsisButton) style = esEllipsis;
  }
  if (style != FEditStyle) {
    if (FListVisible) CloseUp(false);
    FEditStyle = style;
  }
  bool button = FEditStyle != esSimple;
  LineEdit()->setTextMargins(0, 0, button ? FButtonWidth : 0, 0);
  FButton->setGeometry(Width() - FButtonWidth, 0, FButtonWidth, Height());
  FButton->setVisible(button);
  FButton->update();
}

void THDBGridInplaceEdit::BoundsChanged() {
  TInplaceEdit::BoundsChanged();
  UpdateContents();
}

bool THDBGridInplaceEdit::InButton(int X, int Y) const {
  return FEditStyle != esSimple && X >= Width() - FButtonWidth && X < Width() && Y >= 0 &&
         Y < Height();
}

void THDBGridInplaceEdit::FillDataList(TField* Field) {
  FDataList->Items().Clear();
  FDataKeys.clear();
  TDataSet* lookup = Field->LookupDataSet;
  TField* key = lookup ? lookup->FindField(Field->LookupKeyFields) : nullptr;
  TField* result = lookup ? lookup->FindField(Field->LookupResultField) : nullptr;
  TField* own = Field->DataSet() ? Field->DataSet()->FindField(Field->KeyFields) : nullptr;
  if (!key || !result || !lookup->Active()) return;
  Variant current = own ? own->AsVariant() : Variant();
  TBookmark mark = lookup->Bookmark();
  lookup->DisableControls();
  int selected = -1;
  try {
    for (lookup->First(); !lookup->Eof(); lookup->Next()) {
      FDataList->Items().Add(result->AsString());
      FDataKeys.push_back(key->AsVariant());
      if (selected < 0 && !current.IsNullOrEmpty() && key->AsString() == own->AsString())
        selected = static_cast<int>(FDataKeys.size()) - 1;
    }
  } catch (...) {
    if (!mark.empty()) lookup->SetBookmark(mark);
    lookup->EnableControls();
    throw;
  }
  if (!mark.empty()) lookup->SetBookmark(mark);
  lookup->EnableControls();
  FDataList->SetItemIndex(selected);
}

void THDBGridInplaceEdit::DropDown() {
  UpdateContents();
  if (FListVisible || (FEditStyle != esPickList && FEditStyle != esDataList)) return;
  TField* f = FHGrid->SelectedField();
  if (!f) return;
  int rows = 0;
  if (FEditStyle == esPickList) {
    if (!FPickList) {
      FPickList = new THPopupListBox(nullptr);
      FPickList->Editor = this;
    }
    FActiveList = FPickList;
    const THDBGrid::TColumnEditing* col = FHGrid->FindColumnEditing(f);
    FPickList->Items().Clear();
    if (col) FPickList->Items().AddStrings(col->PickList);
    FPickList->SetItemIndex(FPickList->Items().IndexOf(Text()));
    int count = FPickList->Items().Count();
    int most = col ? std::max(1, col->DropDownRows) : 7;
    rows = std::min(count, most);
  } else {
    if (!FDataList) {
      FDataList = new THPopupListBox(nullptr);
      FDataList->Editor = this;
    }
    FActiveList = FDataList;
    FillDataList(f);
    rows = 20;
  }
  THPopupListBox* list = FActiveList;
  list->SetColor(Color());
  list->SetFont(Font());
  int h = rows * list->ItemHeight() + 4;
  int x = 0, y = 0;
  ClientToScreen(0, Height(), x, y);
  int screenH = Screen ? Screen->Height() : 0;
  if (screenH > 0 && y + h > screenH) {
    int top = 0;
    ClientToScreen(0, 0, x, top);
    y = top - h;
  }
  list->Place(x, y, Width(), h);
  list->Popup();
  FListVisible = true;
  FButton->update();
}

void THDBGridInplaceEdit::CloseUp(bool Accept) {
  if (!FListVisible || !FActiveList) return;
  THPopupListBox* list = FActiveList;
  list->Close();
  FListVisible = false;
  FButton->update();
  int i = list->ItemIndex();
  if (!Accept || i < 0) return;
  TField* f = FHGrid->SelectedField();
  TDataSet* ds = f ? f->DataSet() : nullptr;
  if (!ds) return;
  if (ds->State() == dsBrowse) {
    if (TDataSource* src = FHGrid->DataSource()) src->Edit();
  }
  if (ds->State() != dsEdit && ds->State() != dsInsert) return;
  if (list == FDataList) {
    if (TField* own = ds->FindField(f->KeyFields))
      if (static_cast<size_t>(i) < FDataKeys.size()) own->SetAsVariant(FDataKeys[static_cast<size_t>(i)]);
  } else {
    f->SetAsString(list->Items().Get(i));
  }
  // The field holds the choice now; the editor shows it without writing it again.
  SetText(f->Text());
  SetModified(false);
  SelectAll();
}

void THDBGridInplaceEdit::DoDropDownKeys(uint16_t& Key, TShiftState Shift) {
  bool alt = (KeyModifiers(Shift) & ssAlt) != 0;
  switch (Key) {
    case VK_SPACE:
      if (!FListVisible) DropDown();
      Key = 0;
      break;
    case VK_UP:
    case VK_DOWN:
      if (alt) {
        if (FListVisible) CloseUp(true);
        else DropDown();
        Key = 0;
      }
      break;
    case VK_RETURN:
    case VK_ESCAPE:
      if (FListVisible && !alt) {
        CloseUp(Key == VK_RETURN);
        Key = 0;
      }
      break;
    default: break;
  }
}

bool THDBGridInplaceEdit::ListKey(uint16_t Key) {
  THPopupListBox* list = FActiveList;
  int n = list->Items().Count();
  int i = list->ItemIndex();
  int page = std::max(1, list->Height() / std::max(1, list->ItemHeight()));
  switch (Key) {
    case VK_UP: i = std::max(0, i - 1); break;
    case VK_DOWN: i = std::min(n - 1, i + 1); break;
    case VK_PRIOR: i = std::max(0, i - page); break;
    case VK_NEXT: i = std::min(n - 1, i + page); break;
    case VK_HOME: i = 0; break;
    case VK_END: i = n - 1; break;
    default: return false;
  }
  if (n > 0) list->SetItemIndex(i);
  return true;
}

void THDBGridInplaceEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  UpdateContents();
  if (FEditStyle == esEllipsis && Key == VK_RETURN && KeyModifiers(Shift) == ssCtrl) {
    FHGrid->EditButtonClick();
    Key = 0;
    return;
  }
  if (FEditStyle == esPickList || FEditStyle == esDataList) {
    DoDropDownKeys(Key, Shift);
    if (!Key) return;
    // While the list is shown it takes the keys: its moving keys here, characters as they
    // are typed (KeyPress).
    if (FListVisible) {
      if (ListKey(Key)) Key = 0;
      return;
    }
  }
  TInplaceEdit::KeyDown(Key, Shift);
}

void THDBGridInplaceEdit::KeyPress(char& Key) {
  if (FListVisible && FActiveList && Key) {
    FActiveList->KeyPress(Key);
    Key = 0;
    return;
  }
  TInplaceEdit::KeyPress(Key);
}

void THDBGridInplaceEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && InButton(X, Y)) {
    if (FEditStyle == esEllipsis) {
      FHGrid->EditButtonClick();
    } else if (FListVisible) {
      CloseUp(false);
    } else {
      DropDown();
    }
    return;
  }
  if (FListVisible) CloseUp(false);
  TInplaceEdit::MouseDown(Button, Shift, X, Y);
}

bool THDBGridInplaceEdit::ImeMessage(TImeMessage& Message) {
  switch (Message.Msg) {
    case WM_IME_COMPOSITION:
      return FHGrid->CanEditModify();
    case WM_IME_SETCONTEXT:
      // The composition is drawn in the cell, not in the input method's own window.
      Message.LParam &= ~ISC_SHOWUICOMPOSITIONWINDOW;
      if (auto* rec = dynamic_cast<TInputMethodRecorder*>(&InputMethodManager()))
        rec->SetContextFlags(Handle(), Message.LParam);
      return true;
    default:
      return true;
  }
}

bool THDBGridInplaceEdit::WidgetEvent(QObject* watched, QEvent* e) {
  if (watched != Widget()) return TInplaceEdit::WidgetEvent(watched, e);
  if (e->type() == QEvent::InputMethod) {
    TImeMessage m{WM_IME_COMPOSITION, 0, CompositionFlags(Handle(), static_cast<QInputMethodEvent*>(e))};
    bool passOn = ImeMessage(m);
    if (!passOn) e->accept();
    return !passOn;
  }
  if (e->type() == QEvent::FocusIn) {
    TImeMessage m{WM_IME_SETCONTEXT, 1, ISC_SHOWUIALL};
    ImeMessage(m);
  } else if (e->type() == QEvent::FocusOut && FListVisible) {
    CloseUp(false);
  }
  return TInplaceEdit::WidgetEvent(watched, e);
}

// ---- THDBGrid -----------------------------------------------------------------------------

THDBGrid::THDBGrid(TComponent* AOwner) : TDBGrid(AOwner) {
  // Qt sends compositions only to widgets that take input-method text.
  Widget()->setAttribute(Qt::WA_InputMethodEnabled, true);
}

THDBGrid::TColumnEditing& THDBGrid::ColumnEditing(const std::string& FieldName) {
  std::string key = UpperCase(FieldName);
  auto& slot = FColumnEditing[key];
  if (!slot) slot = std::make_unique<TColumnEditing>();
  return *slot;
}

const THDBGrid::TColumnEditing* THDBGrid::FindColumnEditing(const TField* Field) const {
  if (!Field) return nullptr;
  auto it = FColumnEditing.find(UpperCase(Field->FieldName()));
  return it == FColumnEditing.end() ? nullptr : it->second.get();
}

void THDBGrid::EditButtonClick() {
  if (OnEditButtonClick) OnEditButtonClick(this);
}

THDBGridInplaceEdit* THDBGrid::HEditor() const {
  return static_cast<THDBGridInplaceEdit*>(InplaceEditor());
}

TInplaceEdit* THDBGrid::CreateEditor() { return new THDBGridInplaceEdit(this); }

void THDBGrid::CompositionHandOver(uint32_t Flags) {
  if (!(Flags & GCS_COMPSTR)) return;
  IInputMethodManager& imm = InputMethodManager();
  HIMC ctx = imm.GetContext(Handle());
  int n = imm.GetCompositionString(ctx, GCS_COMPSTR, nullptr, 0);
  std::string buf;
  if (n > 0) {
    buf.resize(static_cast<size_t>(n));
    n = imm.GetCompositionString(ctx, GCS_COMPSTR, buf.data(), n);
    buf.resize(static_cast<size_t>(std::max(0, n)));
  }
  imm.ReleaseContext(Handle(), ctx);
  if (n <= 0 || !CanEditModify()) return;
  ShowEditor();
  if (THDBGridInplaceEdit* ed = HEditor()) {
    HIMC edCtx = imm.GetContext(ed->Handle());
    imm.SetCompositionString(edCtx, SCS_SETSTR, buf.data(), n, nullptr, 0);
    imm.ReleaseContext(ed->Handle(), edCtx);
  }
}

void THDBGrid::ImeMessage(TImeMessage& Message) {
  if (Message.Msg == WM_IME_COMPOSITION) CompositionHandOver(Message.LParam);
}

bool THDBGrid::WidgetEvent(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::InputMethod) return TDBGrid::WidgetEvent(watched, e);
  auto* ime = static_cast<QInputMethodEvent*>(e);
  TImeMessage m{WM_IME_COMPOSITION, 0, CompositionFlags(Handle(), ime)};
  ImeMessage(m);
  // A finished syllable that arrives without a composition is typed text: it opens the
  // editor as a typed character does.
  std::string result = FromQString(ime->commitString());
  if (!result.empty() && !(m.LParam & GCS_COMPSTR) && !EditorMode() && CanEditModify()) {
    ShowEditor();
    if (THDBGridInplaceEdit* ed = HEditor(); ed && EditorMode()) {
      ed->SelectAll();
      ed->SetSelText(result);
    }
  }
  e->accept();
  return true;
}
