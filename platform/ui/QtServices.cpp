// Message boxes and the message loop over Qt.
#include "platform/ui/QtServices.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/core/TextCodec.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/QtText.h"

namespace orv {

namespace {

// A key-down the engine sends to a hooked window: handled at once, inside a long operation
// so that the handler's ProcessMessages cannot let the user's input in.
void DeliverKeyDown(intptr_t Window, uint16_t Key) {
  TWinControl* w = TWinControl::FromHandle(Window);
  if (!w) return;
  auto deliver = [w, Key] { SafeCall([w, Key] { w->PerformKeyDown(Key, 0); }); };
  if (TLongOperation::InProgress()) {
    deliver();
  } else {
    TLongOperation busy;
    deliver();
  }
}

struct ButtonSpec {
  QMessageBox::StandardButton button;
  const char* text;  // UTF-8
  int id;
};

constexpr ButtonSpec kOk{QMessageBox::Ok, "확인", IDOK};
constexpr ButtonSpec kCancel{QMessageBox::Cancel, "취소", IDCANCEL};
constexpr ButtonSpec kYes{QMessageBox::Yes, "예", IDYES};
constexpr ButtonSpec kNo{QMessageBox::No, "아니요", IDNO};
constexpr ButtonSpec kAbort{QMessageBox::Abort, "중단", IDABORT};
constexpr ButtonSpec kRetry{QMessageBox::Retry, "다시 시도", IDRETRY};
constexpr ButtonSpec kIgnore{QMessageBox::Ignore, "무시", IDIGNORE};

}  // namespace

int QtMessageBoxService::MessageBox(const std::string& Text, const std::string& Caption,
                                    unsigned Flags) {
  std::vector<ButtonSpec> buttons;
  switch (Flags & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {kOk, kCancel}; break;
    case MB_ABORTRETRYIGNORE: buttons = {kAbort, kRetry, kIgnore}; break;
    case MB_YESNOCANCEL: buttons = {kYes, kNo, kCancel}; break;
    case MB_YESNO: buttons = {kYes, kNo}; break;
    case MB_RETRYCANCEL: buttons = {kRetry, kCancel}; break;
    default: buttons = {kOk}; break;
  }
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(ToQ(Caption.empty() ? ApplicationTitle() : Caption));
  box.setText(ToQ(Text));
  switch (Flags & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  std::vector<std::pair<QAbstractButton*, int>> ids;
  for (const ButtonSpec& b : buttons) {
    QPushButton* pb = box.addButton(b.button);
    pb->setText(QString::fromUtf8(b.text));
    ids.emplace_back(pb, b.id);
  }
  size_t def = (Flags & MB_DEFMASK) >> 8;
  if (def < ids.size()) box.setDefaultButton(static_cast<QPushButton*>(ids[def].first));
  // Esc answers as the box's close does on the system it stands in for: Cancel when there is
  // one, OK on a single-button box, and nothing otherwise.
  for (auto& [btn, id] : ids) {
    if (id == IDCANCEL || (ids.size() == 1 && id == IDOK)) box.setEscapeButton(btn);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (auto& [btn, id] : ids) {
    if (btn == clicked) return id;
  }
  return CautiousAnswer(Flags);
}

void QtMessageLoopService::ProcessMessages() {
  // During a long operation: the bounded turn without the user's input.
  if (TLongOperation::InProgress())
    TLongOperation::Pump();
  else
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessageLoopService::Terminate() {
  if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
}

QtMessageBoxService& QtMessageBoxes() {
  static QtMessageBoxService s;
  return s;
}

QtMessageLoopService& QtMessageLoop() {
  static QtMessageLoopService s;
  return s;
}

QtTimerService::~QtTimerService() {
  for (auto& [id, t] : FTimers) delete t;
}

TTimerId QtTimerService::StartTimer(unsigned IntervalMs, std::function<void()> OnTick) {
  TTimerId id = FNext++;
  auto* t = new QTimer;
  t->setInterval(static_cast<int>(IntervalMs));
  QObject::connect(t, &QTimer::timeout, [this, id, tick = std::move(OnTick)] {
    if (!FTimers.count(id)) return;  // stopped by an earlier handler of this turn
    SafeCall(tick);
  });
  FTimers[id] = t;
  t->start();
  return id;
}

void QtTimerService::StopTimer(TTimerId Id) {
  auto it = FTimers.find(Id);
  if (it == FTimers.end()) return;
  it->second->stop();
  // The handler that stops its own timer is still running on it.
  it->second->deleteLater();
  FTimers.erase(it);
}

namespace {

// The screen's cursor, for the layers that switch it without knowing Qt.
class QtScreenCursor : public IScreenCursorService {
 public:
  int Cursor() const override { return Screen ? Screen->Cursor() : 0; }
  void SetCursor(int Cursor) override {
    if (Screen) Screen->SetCursor(static_cast<TCursor>(Cursor));
  }
};

QtScreenCursor& QtCursor() {
  static QtScreenCursor* s = new QtScreenCursor;
  return *s;
}

}  // namespace

QtTimerService& QtTimers() {
  static QtTimerService* s = new QtTimerService;  // outlives the components that use it
  return *s;
}

void InstallQtServices() {
  SetMessageBoxService(&QtMessageBoxes());
  SetMessageLoopService(&QtMessageLoop());
  SetTimerService(&QtTimers());
  SetScreenCursorService(&QtCursor());
  SetKeyDownReceiver(&DeliverKeyDown);
}

void RemoveQtServices() {
  if (&MessageBoxService() == &QtMessageBoxes()) SetMessageBoxService(nullptr);
  if (&MessageLoopService() == &QtMessageLoop()) SetMessageLoopService(nullptr);
  if (&TimerService() == &QtTimers()) SetTimerService(nullptr);
  IScreenCursorService* cursor = SetScreenCursorService(nullptr);
  if (cursor != &QtCursor()) SetScreenCursorService(cursor);  // someone else's: it stays
  SetKeyDownReceiver(nullptr);
}

}  // namespace orv
