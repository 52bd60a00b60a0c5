// The control base: geometry, visibility, fonts and the translation of Qt's input events into
// the class library's key, mouse and focus events.
#include "platform/ui/Controls.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/ControlCanvas.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/QtText.h"
#include "platform/ui/UiInternal.h"

namespace {

const char* const kControlProperty = "orvControl";

std::unordered_set<const TWinControl*>& LiveWinControls() {
  static std::unordered_set<const TWinControl*> set;
  return set;
}

}  // namespace

void SafeCall(const std::function<void()>& f) {
  try {
    f();
  } catch (...) {
    HandleException();
  }
}

// ---- The event filter ---------------------------------------------------------------------

class ControlEventFilter : public QObject {
 public:
  static ControlEventFilter& Instance() {
    static ControlEventFilter* f = new ControlEventFilter;
    return *f;
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    TControl* c = TControl::FromWidget(watched);
    if (!c) return false;
    bool stop = false;
    SafeCall([&] { stop = Dispatch(c, watched, e); });
    return stop;
  }

 private:
  // Propagated copies of one mouse event carry the same time and screen point.
  struct MouseStamp {
    int type = 0;
    quint64 ts = 0;
    QPointF global;
  } last_;

  bool SameMouseEvent(QMouseEvent* m) {
    MouseStamp s{static_cast<int>(m->type()), m->timestamp(), m->globalPosition()};
    bool same = s.type == last_.type && s.ts == last_.ts && s.global == last_.global;
    last_ = s;
    return same;
  }

  static TMouseButton ButtonOf(Qt::MouseButton b) {
    switch (b) {
      case Qt::RightButton: return mbRight;
      case Qt::MiddleButton: return mbMiddle;
      default: return mbLeft;
    }
  }

  bool Dispatch(TControl* c, QObject* watched, QEvent* e) {
    if (c->WidgetEvent(watched, e)) return true;
    auto* wc = dynamic_cast<TWinControl*>(c);
    switch (e->type()) {
      case QEvent::KeyPress:
        if (!wc) return false;
        wc->HandleKeyPress(watched, e);
        // The key went to this control only, as the system delivers it: Qt must not pass
        // it on to the parent widgets.
        e->accept();
        return true;
      case QEvent::KeyRelease: {
        if (!wc) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        uint16_t key = orv::VirtualKeyOf(k);
        if (!key) return false;
        TShiftState sh = orv::ShiftFromQt(k->modifiers());
        TCustomForm* form = wc->ParentForm();
        if (form && form != wc && form->KeyPreview()) {
          form->KeyUp(key, sh);
          if (!key) return true;
        }
        wc->KeyUp(key, sh);
        return key == 0;
      }
      case QEvent::FocusIn: {
        if (!wc) return false;
        if (TCustomForm* form = wc->ParentForm()) form->FocusChanged(wc);
        return false;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (SameMouseEvent(m)) return false;
        if (!c->Enabled()) return false;
        auto* ww = qobject_cast<QWidget*>(watched);
        QPoint p = m->position().toPoint();
        if (ww && ww != c->Widget() && c->Widget()->isAncestorOf(ww)) p = ww->mapTo(c->Widget(), p);
        TShiftState sh = orv::ShiftFromQt(m->modifiers(), m->buttons());
        TMouseButton b = ButtonOf(m->button());
        if (e->type() == QEvent::MouseMove) {
          c->MouseMove(sh, p.x(), p.y());
        } else if (e->type() == QEvent::MouseButtonPress ||
                   (e->type() == QEvent::MouseButtonDblClick && !c->FDoubleClicks)) {
          // Qt sends the second press of a double click as the double click alone.
          if (b == mbLeft) c->FLeftPressed = true;
          c->MouseDown(b, sh, p.x(), p.y());
        } else if (e->type() == QEvent::MouseButtonDblClick) {
          c->DblClick();
          c->MouseDown(b, sh | ssDouble, p.x(), p.y());
        } else {
          bool click = b == mbLeft && c->FLeftPressed && c->Widget()->rect().contains(p);
          if (b == mbLeft) c->FLeftPressed = false;
          c->MouseUp(b, sh, p.x(), p.y());
          if (click && !c->OwnClick()) c->Click();
        }
        return false;
      }
      case QEvent::ContextMenu: {
        TPopupMenu* pm = c->PopupMenu();
        if (!pm || !pm->AutoPopup()) return false;
        auto* ce = static_cast<QContextMenuEvent*>(e);
        pm->PopupComponent = c;
        pm->Popup(ce->globalPos().x(), ce->globalPos().y());
        return true;
      }
      case QEvent::Resize:
        if (watched == c->Widget()) {
          c->BoundsChanged();
          c->Resize();
        }
        return false;
      case QEvent::Move:
        if (watched == c->Widget()) c->BoundsChanged();
        return false;
      default:
        return false;
    }
  }
};

namespace orv {

void WatchWidget(QWidget* w, TControl* c) {
  w->setProperty(kControlProperty, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(c)));
  w->installEventFilter(&ControlEventFilter::Instance());
}

void UnwatchWidget(QWidget* w) {
  w->removeEventFilter(&ControlEventFilter::Instance());
  w->setProperty(kControlProperty, QVariant());
}

namespace {

struct OwnCursor {
  QImage Picture, Mask;
  QPoint HotSpot;
  std::optional<QCursor> Made;  // made at first use: cursors need the application object
};

std::map<TCursor, OwnCursor>& OwnCursors() {
  static auto* table = new std::map<TCursor, OwnCursor>;
  return *table;
}

QBitmap MonoBitmap(const QImage& img, QRgb on) {
  QBitmap b(img.size());
  b.fill(Qt::color0);
  QPainter p(&b);
  p.setPen(Qt::color1);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == (on & 0xFFFFFF)) p.drawPoint(x, y);
  return b;
}

Qt::CursorShape SystemShape(TCursor c) {
  switch (c) {
    case crNone: return Qt::BlankCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crDrag: case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop: case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace

QCursor CursorOf(TCursor c) {
  auto it = OwnCursors().find(c);
  if (it == OwnCursors().end()) return QCursor(SystemShape(c));
  OwnCursor& own = it->second;
  // Bitmap 1 with mask 1 is black, bitmap 0 with mask 1 white, mask 0 see-through.
  if (!own.Made)
    own.Made = QCursor(MonoBitmap(own.Picture, qRgb(0, 0, 0)), MonoBitmap(own.Mask, qRgb(0, 0, 0)), own.HotSpot.x(),
                       own.HotSpot.y());
  return *own.Made;
}

TShiftState ShiftFromQt(Qt::KeyboardModifiers m, Qt::MouseButtons b) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

uint16_t VirtualKeyOf(const QKeyEvent* e) {
  int k = e->key();
  bool keypad = e->modifiers() & Qt::KeypadModifier;
  if (keypad && k >= Qt::Key_0 && k <= Qt::Key_9) return static_cast<uint16_t>(VK_NUMPAD0 + (k - Qt::Key_0));
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return static_cast<uint16_t>('A' + (k - Qt::Key_A));
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return static_cast<uint16_t>('0' + (k - Qt::Key_0));
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return static_cast<uint16_t>(VK_F1 + (k - Qt::Key_F1));
  switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Hangul: return VK_HANGUL;
    case Qt::Key_Hangul_Hanja: return VK_HANJA;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Asterisk: return keypad ? uint16_t(VK_MULTIPLY) : uint16_t('8');
    case Qt::Key_Plus: return keypad ? uint16_t(VK_ADD) : uint16_t(0xBB);
    case Qt::Key_Minus: return keypad ? uint16_t(VK_SUBTRACT) : uint16_t(0xBD);
    case Qt::Key_Slash: return keypad ? uint16_t(VK_DIVIDE) : uint16_t(0xBF);
    case Qt::Key_Period: return keypad ? uint16_t(VK_DECIMAL) : uint16_t(0xBE);
    // The punctuation keys of the US layout, shifted or not, as their key numbers.
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Equal: return 0xBB;
    case Qt::Key_Comma: case Qt::Key_Less: return 0xBC;
    case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0xDE;
    default: return 0;
  }
}

}  // namespace orv

void SetScreenCursor(TCursor Cursor, const TBitmap& Picture, const TBitmap& Mask, const TPoint& HotSpot) {
  orv::OwnCursors()[Cursor] = {Picture.Image().convertToFormat(QImage::Format_RGB32),
                               Mask.Image().convertToFormat(QImage::Format_RGB32), QPoint(HotSpot.X, HotSpot.Y),
                               std::nullopt};
}

// ---- TControl -----------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner, QWidget* AWidget) : TComponent(AOwner), FWidget(AWidget) {
  orv::WatchWidget(FWidget, this);
  FFont.OnChange = [this](TObject*) {
    if (!FApplyingParentFont) FParentFont = false;
    ApplyFont();
  };
  ApplyFont();
}

TControl::~TControl() {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FFont.OnChange = nullptr;
  if (FParent) FParent->RemoveControl(this);
  QWidget* w = FWidget;
  FWidget = nullptr;
  if (w) {
    orv::UnwatchWidget(w);
    for (QWidget* child : w->findChildren<QWidget*>()) {
      if (FromWidget(child) == this) orv::UnwatchWidget(child);
    }
    delete w;
  }
}

TControl* TControl::FromWidget(const QObject* w) {
  if (!w) return nullptr;
  QVariant v = w->property(kControlProperty);
  if (!v.isValid()) return nullptr;
  return reinterpret_cast<TControl*>(v.value<quintptr>());
}

void TControl::WatchInner(QWidget* inner) { orv::WatchWidget(inner, this); }

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  FParent = AParent;
  if (FParent) {
    QRect g = FWidget->geometry();
    FWidget->setParent(FParent->ClientWidget());
    FWidget->setGeometry(g);
    FParent->InsertControl(this);
    if (FParentFont) ParentFontChanged();
    ApplyVisible();
    if (FAlign != alNone) FParent->Realign();
  } else {
    FWidget->hide();
    FWidget->setParent(nullptr);
  }
}

TCustomForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c) {
    if (auto* f = dynamic_cast<const TCustomForm*>(c)) return const_cast<TCustomForm*>(f);
    c = c->FParent;
  }
  return nullptr;
}

int TControl::Left() const { return FWidget->isWindow() ? FWidget->x() : FWidget->geometry().x(); }
int TControl::Top() const { return FWidget->isWindow() ? FWidget->y() : FWidget->geometry().y(); }
// A window's size is its outer size, frame and caption included, as the class library
// counts it; the client size is ClientWidth / ClientHeight.
int TControl::Width() const { return FWidget->isWindow() ? FWidget->frameGeometry().width() : FWidget->width(); }
int TControl::Height() const { return FWidget->isWindow() ? FWidget->frameGeometry().height() : FWidget->height(); }
void TControl::SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
void TControl::SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
void TControl::SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
void TControl::SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(0, AWidth);
  AHeight = std::max(0, AHeight);
  if (FWidget->isWindow()) {
    int dw = FWidget->frameGeometry().width() - FWidget->width();
    int dh = FWidget->frameGeometry().height() - FWidget->height();
    FWidget->move(ALeft, ATop);
    FWidget->resize(std::max(0, AWidth - dw), std::max(0, AHeight - dh));
  } else {
    FWidget->setGeometry(ALeft, ATop, AWidth, AHeight);
  }
  if (FParent && FAlign != alNone) FParent->Realign();
}

int TControl::ClientWidth() const { return FWidget->contentsRect().width(); }
int TControl::ClientHeight() const { return FWidget->contentsRect().height(); }
void TControl::SetClientWidth(int v) { SetWidth(v + Width() - ClientWidth()); }
void TControl::SetClientHeight(int v) { SetHeight(v + Height() - ClientHeight()); }

void TControl::SetAlign(TAlign v) {
  if (v == FAlign) return;
  FAlign = v;
  if (FParent) FParent->Realign();
}

void TControl::ApplyVisible() {
  if (!FParent || FWidget->isWindow()) return;
  FWidget->setVisible(FVisible);
}

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  ApplyVisible();
  if (FParent && FAlign != alNone) FParent->Realign();
}

bool TControl::Showing() const { return FWidget->isVisible(); }

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  FWidget->setEnabled(v);
}

void TControl::SetFont(const TFont& f) { FFont.Assign(const_cast<TFont*>(&f)); }

void TControl::SetParentFont(bool v) {
  FParentFont = v;
  if (v) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FApplyingParentFont = true;
  FFont.Assign(&FParent->Font());
  FApplyingParentFont = false;
}

void TControl::ApplyFont() {
  if (!FWidget) return;
  FontChanged();
  if (auto* self = dynamic_cast<TWinControl*>(this)) {
    for (TControl* c : self->FControls) c->ParentFontChanged();
  }
}

void TControl::FontChanged() {
  FWidget->setFont(orv::ToQFont(FFont));
  QPalette pal = FWidget->palette();
  QColor fc = orv::ToQColor(FFont.Color());
  // The font colour is the text of the enabled control only: a disabled one keeps the
  // system's grey text, as the desktop draws it.
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(g, QPalette::WindowText, fc);
    pal.setColor(g, QPalette::Text, fc);
    pal.setColor(g, QPalette::ButtonText, fc);
  }
  FWidget->setPalette(pal);
}

void TControl::SetColor(TColor v) {
  if (StoreChanged(FColor, v)) ColorChanged();
}

void TControl::ColorChanged() {
  QPalette pal = FWidget->palette();
  QColor c = orv::ToQColor(FColor);
  pal.setColor(QPalette::Window, c);
  pal.setColor(QPalette::Base, c);
  FWidget->setPalette(pal);
}

void TControl::SetHint(const std::string& v) {
  FHint = v;
  FWidget->setToolTip(FShowHint ? orv::ToQ(v) : QString());
}

void TControl::SetShowHint(bool v) {
  FShowHint = v;
  SetHint(FHint);
}

void TControl::SetCursor(TCursor v) {
  FCursor = v;
  if (v == crDefault)
    FWidget->unsetCursor();
  else
    FWidget->setCursor(orv::CursorOf(v));
}

std::string TControl::Text() const { return orv::FromQ(FWidget->windowTitle()); }
void TControl::SetText(const std::string& v) { FWidget->setWindowTitle(orv::ToQ(v)); }

void TControl::SetPopupMenu(TPopupMenu* m) {
  if (m == FPopupMenu) return;
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = m;
  if (m) m->FreeNotification(this);
  FWidget->setContextMenuPolicy(Qt::DefaultContextMenu);
}

void TControl::BringToFront() { FWidget->raise(); }
void TControl::SendToBack() { FWidget->lower(); }
void TControl::Invalidate() { FWidget->update(); }
void TControl::Repaint() { FWidget->repaint(); }
void TControl::Update() { FWidget->update(); }

void TControl::ClientToScreen(int x, int y, int& sx, int& sy) const {
  QPoint p = FWidget->mapToGlobal(QPoint(x, y));
  sx = p.x();
  sy = p.y();
}

void TControl::ScreenToClient(int sx, int sy, int& x, int& y) const {
  QPoint p = FWidget->mapFromGlobal(QPoint(sx, sy));
  x = p.x();
  y = p.y();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---- TWinControl --------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {
  LiveWinControls().insert(this);
}

TWinControl::~TWinControl() {
  LiveWinControls().erase(this);
  // Child controls are components of their own owner: they leave this widget before it goes.
  while (!FControls.empty()) FControls.back()->SetParent(nullptr);
  if (TCustomForm* f = ParentForm(); f && f != this) f->ControlDestroying(this);
}

TWinControl* TWinControl::FromHandle(intptr_t h) {
  auto* p = reinterpret_cast<const TWinControl*>(h);
  if (!LiveWinControls().count(p)) return nullptr;
  return const_cast<TWinControl*>(p);
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* c) { FControls.push_back(c); }

void TWinControl::RemoveControl(TControl* c) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), c), FControls.end());
  if (auto* wc = dynamic_cast<TWinControl*>(c)) {
    if (TCustomForm* f = ParentForm()) f->ControlDestroying(wc);
  }
  Realign();
}

int TWinControl::TabOrder() const {
  if (!FParent) return -1;
  int i = 0;
  for (TControl* c : FParent->FControls) {
    auto* wc = dynamic_cast<TWinControl*>(c);
    if (!wc) continue;
    if (wc == this) return i;
    ++i;
  }
  return -1;
}

void TWinControl::SetTabOrder(int v) {
  if (!FParent) return;
  auto& list = FParent->FControls;
  list.erase(std::remove(list.begin(), list.end(), static_cast<TControl*>(this)), list.end());
  // Insert before the v-th windowed sibling (graphic controls keep their places).
  int seen = 0;
  auto it = list.begin();
  for (; it != list.end(); ++it) {
    if (!dynamic_cast<TWinControl*>(*it)) continue;
    if (seen == v) break;
    ++seen;
  }
  list.insert(it, this);
}

QWidget* TWinControl::FocusWidget() const { return Widget(); }

bool TWinControl::CanFocus() const {
  const TControl* c = this;
  while (c) {
    if (!c->Visible() || !c->Enabled()) return false;
    if (!c->FParent) break;
    c = c->FParent;
  }
  // The topmost control must be a form (a window), else there is nothing to focus in; and
  // the widget must be shown with it (not on a page of a page control that is not current).
  auto* form = dynamic_cast<const TCustomForm*>(c);
  if (!form || FocusWidget()->focusPolicy() == Qt::NoFocus) return false;
  return this == form || FocusWidget()->isVisibleTo(form->Widget());
}

void TWinControl::SetFocus() {
  TCustomForm* form = ParentForm();
  if (form == this) {
    form->SetFocus();
    return;
  }
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  if (form) form->FocusChanged(this);
  // A handler of the change (OnExit, OnEnter) sent the focus elsewhere: it stays there.
  if (form && form->ActiveControl() != this) return;
  FocusWidget()->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const {
  if (FocusWidget()->hasFocus()) return true;
  TCustomForm* form = ParentForm();
  if (!form || form->ActiveControl() != this) return false;
  QWidget* active = QApplication::activeWindow();
  return active == nullptr || active == form->Widget();
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

uint16_t TWinControl::PerformKeyDown(uint16_t Key, TShiftState Shift) {
  TCustomForm* form = ParentForm();
  if (form && form != this && form->KeyPreview()) {
    form->KeyDown(Key, Shift);
    if (!Key) return 0;
  }
  KeyDown(Key, Shift);
  return Key;
}

namespace {

std::string& PressedText() {
  static std::string text;
  return text;
}

// The character of the key press being delivered; a key press inside a handler has its own.
struct PressedScope {
  explicit PressedScope(std::string ch) : saved(std::move(PressedText())) { PressedText() = std::move(ch); }
  ~PressedScope() { PressedText() = std::move(saved); }
  std::string saved;
};

}  // namespace

std::string TWinControl::PressedChar(char Key) {
  const std::string& ch = PressedText();
  return !ch.empty() && ch[0] == Key ? ch : std::string(1, Key);
}

bool TWinControl::HandleKeyPress(QObject* watched, QEvent* e) {
  auto* k = static_cast<QKeyEvent*>(e);
  QPointer<QObject> alive(watched);
  TShiftState sh = orv::ShiftFromQt(k->modifiers());
  uint16_t vk = orv::VirtualKeyOf(k);
  TCustomForm* form = ParentForm();

  // Tab moves in tab order unless the control takes tabs.
  if (vk == VK_TAB && !WantTabs() && !(sh & (ssCtrl | ssAlt))) {
    if (form) form->SelectNext(this, !(sh & ssShift) && k->key() != Qt::Key_Backtab, true);
    return true;
  }

  if (vk) {
    uint16_t key = PerformKeyDown(vk, sh);
    if (!key || !alive) return true;
  }

  // The character of the key, as the class library's key press sees it.
  std::string chars;
  if (!(sh & ssAlt)) {
    if (vk == VK_RETURN) chars = "\r";
    else if (vk == VK_ESCAPE) chars = "\x1b";
    else if (vk == VK_BACK) chars = "\b";
    else if (vk == VK_TAB) chars = "\t";
    else if ((sh & ssCtrl) && vk >= 'A' && vk <= 'Z') chars = std::string(1, static_cast<char>(vk - 'A' + 1));
    else if (!k->text().isEmpty() && k->text().at(0).unicode() >= 0x20 && k->text().at(0).unicode() != 0x7F)
      chars = orv::FromQ(k->text());
  }
  std::string typed;
  bool changed = false;
  for (size_t i = 0; i < chars.size();) {
    // A character is one key press, however many bytes it has.
    size_t n = std::max<size_t>(1, cp949::CharLength(chars, i));
    PressedScope pressed(chars.substr(i, n));
    i += n;
    char c = PressedText()[0];
    if (form && form != this && form->KeyPreview()) {
      form->KeyPress(c);
      if (!alive) return true;
    }
    if (c) KeyPress(c);
    if (!alive) return true;
    if (!c) {
      // A swallowed character goes alone; the ones after it are key presses of their own, for
      // the control that has the focus now (a grid's cell editor that the first one opened).
      changed = true;
      QWidget* focus = QApplication::focusWidget();
      if (i < chars.size() && focus && FromWidget(focus) != this) {
        QKeyEvent rest(QEvent::KeyPress, Qt::Key_unknown, k->modifiers(), orv::ToQ(chars.substr(i)));
        QCoreApplication::sendEvent(focus, &rest);
        return true;
      }
      continue;
    }
    if (c != PressedText()[0]) changed = true;
    typed += PressedChar(c);
  }
  if (typed.empty() && !chars.empty()) return true;

  if ((vk == VK_RETURN && !WantReturns()) || vk == VK_ESCAPE) {
    if (form && KeyModifiers(sh) == 0 && form->DialogKey(vk, this)) return true;
  }

  // An Alt or a Ctrl chord is a command, never text: the system's edits type nothing for
  // it, so a letter the window's key map acted on (Alt+O, Ctrl+P) cannot land in the
  // focused edit after the command. Ctrl and Alt together stay text (AltGr).
  const bool chord = ((sh & ssAlt) != 0) != ((sh & ssCtrl) != 0);
  if (chord && !k->text().isEmpty()) {
    typed.clear();
    changed = true;
  }

  // The widget acts on the key, from the watched widget up to the control's own widget.
  QKeyEvent replaced(k->type(), k->key(), k->modifiers(), orv::ToQ(typed), k->isAutoRepeat());
  QKeyEvent* ev = changed ? &replaced : k;
  if (DefaultKey(ev)) return true;
  auto* w = qobject_cast<QWidget*>(watched);
  QWidget* top = Widget();
  while (w) {
    ev->accept();
    QPointer<QWidget> guard(w);
    bool res = static_cast<QObject*>(w)->event(ev);
    if (!guard || (res && ev->isAccepted())) break;
    if (w == top || w->isWindow()) break;
    w = w->parentWidget();
  }
  return true;
}

void TWinControl::BoundsChanged() { Realign(); }

void TWinControl::Realign() {
  QRect r = ClientWidget()->contentsRect();
  int left = r.left(), top = r.top(), right = r.right() + 1, bottom = r.bottom() + 1;
  auto place = [](TControl* c, int l, int t, int w, int h) {
    c->Widget()->setGeometry(l, t, std::max(0, w), std::max(0, h));
  };
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : FControls) {
      if (c->Align() != pass || !c->Visible()) continue;
      int h = c->Height(), w = c->Width();
      switch (pass) {
        case alTop: place(c, left, top, right - left, h); top += h; break;
        case alBottom: bottom -= h; place(c, left, bottom, right - left, h); break;
        case alLeft: place(c, left, top, w, bottom - top); left += w; break;
        case alRight: right -= w; place(c, right, top, w, bottom - top); break;
        case alClient: place(c, left, top, right - left, bottom - top); break;
        default: break;
      }
    }
  }
}

// ---- TGraphicControl, TCustomControl ------------------------------------------------------

// The widget of drawn controls: shows the control's back picture.
class PaintWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    TControl* c = TControl::FromWidget(this);
    if (auto* cc = dynamic_cast<TCustomControl*>(c)) {
      cc->FCanvas->Paint(this, [cc] { cc->Paint(); });
    } else if (auto* g = dynamic_cast<TGraphicControl*>(c); g && g->FCanvas) {
      g->FCanvas->Paint(this, [g] { g->Paint(); });
    }
  }
};

TGraphicControl::TGraphicControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {
  AWidget->setFocusPolicy(Qt::NoFocus);
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner, new PaintWidget), FCanvas(std::make_unique<TControlCanvas>(this, false)) {
  Widget()->setFocusPolicy(Qt::NoFocus);
}

TGraphicControl::~TGraphicControl() = default;

TCanvas& TGraphicControl::Canvas() {
  // A control showing a widget of its own still gets a picture to draw on (not shown).
  if (!FCanvas) FCanvas = std::make_unique<TControlCanvas>(this, false);
  return FCanvas->Canvas();
}

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) { Widget()->resize(105, 105); }

void TPaintBox::Paint() {
  if (OnPaint) OnPaint(this);
}

TCustomControl::TCustomControl(TComponent* AOwner) : TCustomControl(AOwner, new PaintWidget) {}

TCustomControl::~TCustomControl() = default;

TCanvas& TCustomControl::Canvas() { return FCanvas->Canvas(); }

void TCustomControl::Paint() {
  if (OnPaint) OnPaint(this);
}

TCustomControl::TCustomControl(TComponent* AOwner, QWidget* AWidget)
    : TWinControl(AOwner, AWidget), FCanvas(std::make_unique<TControlCanvas>(this, true)) {
  Widget()->setAutoFillBackground(true);
  ColorChanged();
}
