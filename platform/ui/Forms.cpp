// Forms, the application's message loop and the screen, over top-level QWidgets.
#include "platform/ui/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "platform/core/Services.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/ControlCanvas.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/QtText.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/UiInternal.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
TModalHook g_modalHook;
}

TModalHook SetModalHook(TModalHook Hook) {
  return std::exchange(g_modalHook, std::move(Hook));
}

// The top-level widget of a form: turns the window system's close and activation into the
// form's own steps.
class FormWidget : public QWidget {
 public:
  FormWidget() : QWidget(nullptr, Qt::Window) { setAttribute(Qt::WA_DeleteOnClose, false); }
  TCustomForm* form() const { return dynamic_cast<TCustomForm*>(TControl::FromWidget(this)); }

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (TCustomForm* f = form()) SafeCall([f] { f->Close(); });
  }
  void paintEvent(QPaintEvent*) override {
    TCustomForm* f = form();
    if (!f || !f->FCanvas) return;
    f->FCanvas->Paint(this, f->OnPaint ? std::function<void()>([f] { f->OnPaint(f); }) : nullptr);
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowActivate) {
      TCustomForm* f = form();
      if (f && Screen && f->Visible()) SafeCall([f] { Screen->SetActiveForm(f); });
    }
    return QWidget::event(e);
  }
};

// ---- TCustomForm --------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner, new FormWidget), FCanvas(std::make_unique<TControlCanvas>(this, true)) {
  FVisible = false;
  Widget()->setAutoFillBackground(true);
  Widget()->setFocusPolicy(Qt::NoFocus);
  Widget()->resize(320, 240);
  ColorChanged();
  RegisterForm(this);
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) SafeCall([this] { OnDestroy(this); });
  if (Screen) Screen->FormDestroying(this);
  UnregisterForm(this);
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
}

TCanvas& TCustomForm::Canvas() { return FCanvas->Canvas(); }

void TCustomForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::ColorChanged() {
  TControl::ColorChanged();
  Widget()->setAutoFillBackground(true);
}

TWindowState TCustomForm::WindowState() const {
  if (!Widget()->isVisible()) return FWindowState;
  Qt::WindowStates s = Widget()->windowState();
  if (s & Qt::WindowMaximized) return wsMaximized;
  if (s & Qt::WindowMinimized) return wsMinimized;
  return wsNormal;
}

void TCustomForm::SetWindowState(TWindowState v) {
  FWindowState = v;
  if (!Widget()->isVisible()) return;
  switch (v) {
    case wsMaximized: Widget()->showMaximized(); break;
    case wsMinimized: Widget()->showMinimized(); break;
    default:
      Widget()->showNormal();
      ApplyNormalBounds();
      break;
  }
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FNormalBounds = {ALeft, ATop, std::max(0, AWidth), std::max(0, AHeight), true};
  if (Widget()->isVisible() && WindowState() != wsNormal) return;
  ApplyNormalBounds();
}

void TCustomForm::ApplyNormalBounds() {
  if (!FNormalBounds.Set) return;
  FApplyingBounds = true;
  // A dialog border cannot be sized or maximized by the user: the window system is told so
  // through a fixed size, which the program's own changes move without ever lifting it (a
  // window manager that saw the window sizeable even for a moment would give it a sizing
  // frame, and the dialog would change its outer size between showings).
  QWidget* w = Widget();
  if (FBorderStyle == bsDialog && w->isWindow()) {
    const int dw = w->frameGeometry().width() - w->width();
    const int dh = w->frameGeometry().height() - w->height();
    w->move(FNormalBounds.Left, FNormalBounds.Top);
    w->setFixedSize(std::max(0, FNormalBounds.Width - dw), std::max(0, FNormalBounds.Height - dh));
  } else {
    TWinControl::SetBounds(FNormalBounds.Left, FNormalBounds.Top, FNormalBounds.Width, FNormalBounds.Height);
  }
  FApplyingBounds = false;
}

void TCustomForm::BoundsChanged() {
  TWinControl::BoundsChanged();
  // The user moved or sized the normal window: those are its bounds now.
  if (!FApplyingBounds && !FAwaitingFrame && Widget()->isVisible() && WindowState() == wsNormal)
    FNormalBounds = {Left(), Top(), Width(), Height(), true};
}

namespace {
// How often and how long a window just shown waits for its frame.
constexpr int kFrameCheckMs = 10;
constexpr int kFrameChecks = 500;

bool HasFrame(const QWidget* w) { return w->frameGeometry() != w->geometry(); }

// Platforms that never put a frame round a window.
bool FramelessPlatform() {
  const QString p = QGuiApplication::platformName();
  return p == QLatin1String("offscreen") || p == QLatin1String("minimal");
}
}  // namespace

void TCustomForm::AwaitFrame() {
  QWidget* w = Widget();
  if (FAwaitingFrame || !w->isWindow() || FBorderStyle == bsNone || HasFrame(w) || FramelessPlatform()) return;
  FAwaitingFrame = true;
  QTimer::singleShot(kFrameCheckMs, w, [this] { CheckFrame(1); });
}

void TCustomForm::CheckFrame(int Round) {
  QWidget* w = Widget();
  if (!w->isVisible()) {
    FAwaitingFrame = false;
    return;
  }
  if (HasFrame(w)) {
    FAwaitingFrame = false;
    if (WindowState() == wsNormal) ApplyNormalBounds();
    return;
  }
  if (Round >= kFrameChecks) {
    // A window manager that frames nothing: the window stands as it was placed.
    FAwaitingFrame = false;
    return;
  }
  QTimer::singleShot(kFrameCheckMs, w, [this, Round] { CheckFrame(Round + 1); });
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  FBorderStyle = v;
  Widget()->setMinimumSize(0, 0);
  Widget()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  ApplyWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  FBorderIcons = v;
  ApplyWindowFlags();
}

void TCustomForm::ApplyWindowFlags() {
  Qt::WindowFlags f = Qt::Window;
  switch (FBorderStyle) {
    case bsNone: f |= Qt::FramelessWindowHint; break;
    case bsSingle: f |= Qt::MSWindowsFixedSizeDialogHint; break;
    case bsDialog: f = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint; break;
    case bsToolWindow: case bsSizeToolWin: f = Qt::Tool; break;
    default: break;
  }
  if (FBorderStyle != bsNone) {
    f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (FBorderIcons & biSystemMenu) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    // Dialog borders have no minimize and maximize buttons, whatever the icons say.
    bool sizeable = FBorderStyle == bsSizeable || FBorderStyle == bsSingle;
    if (sizeable && (FBorderIcons & biMinimize)) f |= Qt::WindowMinimizeButtonHint;
    if (sizeable && (FBorderIcons & biMaximize)) f |= Qt::WindowMaximizeButtonHint;
    if (FBorderIcons & biHelp) f |= Qt::WindowContextHelpButtonHint;
  }
  bool shown = Widget()->isVisible();
  Widget()->setWindowFlags(f);
  if (shown) Widget()->show();
}

void TCustomForm::ApplyPosition() {
  if (FPosition != poScreenCenter && FPosition != poMainFormCenter) return;
  QRect area;
  TCustomForm* main = Application ? Application->MainForm() : nullptr;
  if (FPosition == poMainFormCenter && main && main != this && main->Widget()->isVisible())
    area = main->Widget()->geometry();
  else if (QScreen* s = QGuiApplication::primaryScreen())
    area = s->availableGeometry();
  if (area.isEmpty()) return;
  SetBounds(area.center().x() - Width() / 2, area.center().y() - Height() / 2, Width(), Height());
}

void TCustomForm::SetVisible(bool v) {
  if (v == FVisible && v == Widget()->isVisible()) return;
  FVisible = v;
  if (v) {
    if (!FShownOnce) {
      FShownOnce = true;
      ApplyPosition();
    }
    DoShow();
    if (!FVisible) return;  // OnShow hid it again
    switch (FWindowState) {
      case wsMaximized: Widget()->showMaximized(); break;
      case wsMinimized: Widget()->showMinimized(); break;
      default:
        Widget()->show();
        ApplyNormalBounds();  // right at once where the frame is known already
        AwaitFrame();
        break;
    }
    Widget()->raise();
    Widget()->activateWindow();
    if (Screen) Screen->SetActiveForm(this);
    FocusFirst();
  } else {
    FWindowState = WindowState();
    Widget()->hide();
    DoHide();
    if (Screen) Screen->FormHidden(this);
  }
}

void TCustomForm::ShowInactive(bool v) {
  QWidget* w = Widget();
  if (v) {
    if (w->isVisible()) return;
    if (!FShownOnce) {
      FShownOnce = true;
      ApplyPosition();
    }
    FShownInactive = true;
    w->setAttribute(Qt::WA_ShowWithoutActivating, true);
    w->show();
    ApplyNormalBounds();
    AwaitFrame();
    w->raise();
  } else if (FShownInactive) {
    FShownInactive = false;
    w->hide();
    w->setAttribute(Qt::WA_ShowWithoutActivating, false);
  }
}

void TCustomForm::FocusFirst() {
  if (!Widget()->isVisible()) return;
  TWinControl* c = FActiveControl;
  if (!c || !c->CanFocus()) c = FindNextControl(nullptr, true, true);
  if (c && c->CanFocus()) c->SetFocus();
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  bool isMain = Application && Application->MainForm() == this;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  // Closing the main form in any way ends the application.
  if (isMain) {
    Hide();
    Application->Terminate();
    return;
  }
  if (action == caMinimize) SetWindowState(wsMinimized);
  else Hide();
}

void TCustomForm::CloseModal() {
  if (!CloseQuery()) {
    FModalResult = mrNone;
    return;
  }
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) FModalResult = mrNone;
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || FModal) throw EInvalidOperation("Cannot make a visible window modal");
  TCustomForm* previous = Screen ? Screen->ActiveForm() : nullptr;
  FModal = true;
  FModalResult = mrNone;
  Widget()->setWindowModality(Qt::ApplicationModal);
  auto finish = [&] {
    FModal = false;
    Hide();
    Widget()->setWindowModality(Qt::NonModal);
    if (previous && previous != this && previous->Visible() && Screen) {
      previous->Widget()->activateWindow();
      Screen->SetActiveForm(previous);
    }
  };
  try {
    Show();
    if (g_modalHook) {
      TModalHook hook = g_modalHook;
      hook(this);
      if (FModalResult == mrNone) FModalResult = mrCancel;
      CloseModal();
      if (FModalResult == mrNone) FModalResult = mrCancel;
      TModalResult r = FModalResult;
      finish();
      return r;
    }
    while (true) {
      if (FModalResult == mrNone) Application->HandleMessage();
      if (Application->Terminated() && FModalResult == mrNone) FModalResult = mrCancel;
      if (FModalResult != mrNone) {
        CloseModal();
        if (FModalResult != mrNone) break;
        if (Application->Terminated()) {
          FModalResult = mrCancel;
          break;
        }
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  TModalResult r = FModalResult;
  finish();
  return r;
}

void TCustomForm::SetFocus() {
  if (!Visible() || !Enabled()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  Widget()->raise();
  Widget()->activateWindow();
  if (Screen) Screen->SetActiveForm(this);
}

bool TCustomForm::Active() const { return Screen && Screen->ActiveForm() == this; }

void TCustomForm::SetActiveControl(TWinControl* c) {
  if (c && c->ParentForm() != this) throw EInvalidOperation("Invalid active control");
  FActiveControl = c;
  if (c && Widget()->isVisible() && c->CanFocus()) c->SetFocus();
}

void TCustomForm::FocusChanged(TWinControl* c) {
  if (c == this) return;
  FActiveControl = c;
  if (c == FFocusedControl) return;
  TWinControl* old = FFocusedControl;
  FFocusedControl = c;
  if (old) old->DoExit();
  if (c && FFocusedControl == c) c->DoEnter();
}

void TCustomForm::ControlDestroying(TWinControl* c) {
  if (FActiveControl == c) FActiveControl = nullptr;
  if (FFocusedControl == c) FFocusedControl = nullptr;
}

void TCustomForm::CollectTabOrder(const TWinControl* parent, std::vector<TWinControl*>& out) const {
  for (TControl* c : parent->FControls) {
    auto* wc = dynamic_cast<TWinControl*>(c);
    if (!wc) continue;
    out.push_back(wc);
    CollectTabOrder(wc, out);
  }
}

TWinControl* TCustomForm::FindNextControl(TWinControl* CurControl, bool GoForward,
                                          bool CheckTabStop) const {
  std::vector<TWinControl*> list;
  CollectTabOrder(this, list);
  if (list.empty()) return nullptr;
  int n = static_cast<int>(list.size());
  int start = -1;
  for (int i = 0; i < n; ++i) {
    if (list[static_cast<size_t>(i)] == CurControl) start = i;
  }
  if (start < 0) start = GoForward ? n - 1 : 0;
  for (int step = 1; step <= n; ++step) {
    int i = GoForward ? (start + step) % n : (start - step + n) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == CurControl) break;
    if (CheckTabStop && !c->TabStop()) continue;
    if (c->CanFocus()) return c;
  }
  return nullptr;
}

void TCustomForm::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl* c = FindNextControl(CurControl, GoForward, CheckTabStop);
  if (!c) return;
  // Moves in tab order come from the keyboard (Tab, Enter): from then on the focused control
  // shows its focus frame, as on the desktop, so the user sees where the next key goes.
  FWidget->setAttribute(Qt::WA_KeyboardFocusChange);
  c->SetFocus();
}

void TCustomForm::EnterMovesToNextControl(char& Key) {
  if (Key != '\r') return;
  // A focused button takes its Enter (a click). On the other controls that do not type,
  // Enter goes to the form's default button when it has one, as on the desktop; in a dialog
  // without one it moves on like everywhere else.
  TWinControl* c = ActiveControl();
  if (dynamic_cast<TButton*>(c)) return;
  if (!dynamic_cast<TCustomEdit*>(c) && !dynamic_cast<TComboBox*>(c) && DialogButton(true)) return;
  SelectNext(c, true, true);
  Key = 0;
}

TButton* TCustomForm::DialogButton(bool Default) const {
  std::vector<TWinControl*> list;
  CollectTabOrder(this, list);
  for (TWinControl* c : list) {
    auto* b = dynamic_cast<TButton*>(c);
    if (b && b->Showing() && b->Enabled() && (Default ? b->Default() : b->Cancel())) return b;
  }
  return nullptr;
}

void TCustomForm::SetUpDialog(const std::string& Name, const std::string& Caption, int Width,
                              int Height) {
  SetName(Name);
  SetCaption(Caption);
  SetPosition(poScreenCenter);
  SetBorderStyle(bsDialog);
  SetKeyPreview(true);
  SetBounds(0, 0, Width, Height);
}

bool TCustomForm::DialogKey(uint16_t Key, TWinControl* Source) {
  if (Key == VK_RETURN) {
    if (auto* b = dynamic_cast<TButton*>(Source)) {
      b->Click();
      return true;
    }
  }
  TButton* b = Key == VK_RETURN ? DialogButton(true) : Key == VK_ESCAPE ? DialogButton(false) : nullptr;
  if (!b) return false;
  b->Click();
  return true;
}

// ---- TApplication -------------------------------------------------------------------------

namespace {
int g_argc = 1;
char g_arg0[] = "orvelane";
char* g_argv[] = {g_arg0, nullptr};

// Exceptions that escape a Qt callback we did not wrap still reach the user, and the loop
// goes on.
class OrvQApplication : public QApplication {
 public:
  OrvQApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* e) override {
    try {
      return QApplication::notify(receiver, e);
    } catch (...) {
      ::HandleException();
      return false;
    }
  }
};

// The program speaks Korean whatever the desktop's locale, and so do Qt's own parts of it: the
// font and file dialogs, the edits' context menus, the standard buttons. Qt's translations are
// installed with it (Debian: qt6-translations-l10n); without them those parts stay English.
void InstallKoreanTranslations() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || app->property("orvKorean").toBool()) return;
  app->setProperty("orvKorean", true);
  const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
  QLocale::setDefault(korean);
  auto* qt = new QTranslator(app);
  if (qt->load(korean, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  else
    delete qt;
}
}  // namespace

TApplication::TApplication(int argc, char** argv) : TComponent(nullptr) {
  if (!QApplication::instance()) {
    if (argc > 0 && argv) {
      static int s_argc;
      s_argc = argc;
      FOwnedQApp = new OrvQApplication(s_argc, argv);
    } else {
      FOwnedQApp = new OrvQApplication(g_argc, g_argv);
    }
  }
  QApplication::setQuitOnLastWindowClosed(false);
  InstallKoreanTranslations();
  // The forms stand on the button face; Qt's own grey for disabled text is nearly that
  // colour and would hide the captions of disabled controls. The desktop's grey text reads.
  QPalette pal = QApplication::palette();
  const QColor gray = orv::ToQColor(clGrayText);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    pal.setColor(QPalette::Disabled, role, gray);
  QApplication::setPalette(pal);
  Application = this;
  Screen = new TScreen(this);
  orv::InstallQtServices();
}

TApplication::~TApplication() {
  DestroyComponents();
  Screen = nullptr;
  orv::RemoveQtServices();
  if (Application == this) Application = nullptr;
  delete FOwnedQApp;
}

const std::string& TApplication::Title() const { return ApplicationTitle(); }

void TApplication::SetTitle(const std::string& v) {
  SetApplicationTitle(v);
  QApplication::setApplicationName(orv::ToQ(v));
}

void TApplication::Run() {
  if (FMainForm) {
    try {
      FMainForm->Show();
    } catch (...) {
      ::HandleException();
    }
  }
  while (!Terminated()) HandleMessage();
}

void TApplication::ProcessMessages() {
  try {
    if (TLongOperation::InProgress())
      TLongOperation::Pump();
    else
      QCoreApplication::processEvents(QEventLoop::AllEvents);
  } catch (...) {
    ::HandleException();
  }
}

void TApplication::HandleMessage() {
  try {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  } catch (...) {
    ::HandleException();
  }
}

void TApplication::Terminate() { RequestTerminate(); }
bool TApplication::Terminated() const { return TerminateRequested(); }
void TApplication::HandleException() { ::HandleException(); }

std::string TApplication::ExeName() const {
  return orv::FromQ(QCoreApplication::applicationFilePath());
}

// ---- TScreen ------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}

void TScreen::SetCursor(TCursor v) {
  FCursor = v;
  if (v == crDefault) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    FOverriding = false;
    return;
  }
  QCursor c = orv::CursorOf(v);
  if (FOverriding && QApplication::overrideCursor())
    QApplication::changeOverrideCursor(c);
  else
    QApplication::setOverrideCursor(c);
  FOverriding = true;
}

int TScreen::FormCount() const {
  int n = 0;
  for (int i = 0; i < ::FormCount(); ++i)
    if (dynamic_cast<TCustomForm*>(::Forms(i))) ++n;
  return n;
}

TCustomForm* TScreen::Forms(int Index) const {
  int n = 0;
  for (int i = 0; i < ::FormCount(); ++i) {
    if (auto* f = dynamic_cast<TCustomForm*>(::Forms(i))) {
      if (n == Index) return f;
      ++n;
    }
  }
  throw EListError(Format("List index out of bounds (%d)", Index));
}

TWinControl* TScreen::ActiveControl() const {
  return FActiveForm ? FActiveForm->ActiveControl() : nullptr;
}

int TScreen::Width() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 0;
}

int TScreen::Height() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 0;
}

void TScreen::SetActiveForm(TCustomForm* f) {
  if (f == FActiveForm) return;
  TCustomForm* old = FActiveForm;
  FActiveForm = f;
  if (f) MoveForm(f, 0);
  if (old) old->Deactivate();
  if (f && FActiveForm == f) {
    f->Activate();
    // The window comes back with the focus where it was.
    if (f->FFocusedControl && f->FFocusedControl->CanFocus())
      f->FFocusedControl->FocusWidget()->setFocus(Qt::ActiveWindowFocusReason);
  }
}

void TScreen::FormHidden(TCustomForm* f) {
  if (FActiveForm != f) return;
  FActiveForm = nullptr;
  for (int i = 0; i < FormCount(); ++i) {
    TCustomForm* other = Forms(i);
    if (other != f && other->Visible()) {
      SetActiveForm(other);
      return;
    }
  }
}

void TScreen::FormDestroying(TCustomForm* f) {
  if (FActiveForm == f) FActiveForm = nullptr;
}
