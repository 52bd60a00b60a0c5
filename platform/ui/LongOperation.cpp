// The long-operation scope: an application-wide filter that drops the user's input to the
// windows open when the operation began, and the bounded turn of the event loop that lets
// them repaint meanwhile (LongOperation.h).
#include "platform/ui/LongOperation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <vector>

#include "platform/ui/Gauges.h"

namespace {

class InputBlocker : public QObject {
 public:
  void Begin() {
    FWindows.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) FWindows.emplace_back(w);
    qApp->installEventFilter(this);
  }
  void End() {
    qApp->removeEventFilter(this);
    FWindows.clear();
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!IsUserInput(e)) return false;
    return Blocked(watched);
  }

 private:
  static bool IsUserInput(QEvent* e) {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::NonClientAreaMouseButtonPress:
      case QEvent::NonClientAreaMouseButtonRelease:
      case QEvent::NonClientAreaMouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::InputMethod:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      // The window system's close button; the program's own Close() sends no event.
      case QEvent::Close:
        return e->spontaneous();
      default:
        return false;
    }
  }

  bool Blocked(QObject* watched) const {
    const QWidget* window = nullptr;
    if (auto* w = qobject_cast<QWidget*>(watched)) {
      window = w->window();
    } else if (auto* qw = qobject_cast<QWindow*>(watched)) {
      for (const QPointer<QWidget>& w : FWindows)
        if (w && w->windowHandle() == qw) return true;
      return false;
    }
    if (!window) return false;
    for (const QPointer<QWidget>& w : FWindows)
      if (w == window) return true;
    return false;
  }

  std::vector<QPointer<QWidget>> FWindows;
};

int g_depth = 0;
InputBlocker* g_blocker = nullptr;
QElapsedTimer g_lastTurn;

void RunWaitingEvents() {
  g_lastTurn.start();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

TLongOperation::TLongOperation() {
  if (g_depth++ > 0 || !qApp) return;
  FOutermost = true;
  if (!g_blocker) g_blocker = new InputBlocker;  // lives as long as the process
  g_blocker->Begin();
  g_lastTurn.invalidate();
}

TLongOperation::~TLongOperation() {
  --g_depth;
  if (!FOutermost) return;
  // What the user did meanwhile is dropped now, while the filter still stands.
  try {
    RunWaitingEvents();
  } catch (...) {
  }
  g_blocker->End();
}

bool TLongOperation::InProgress() { return g_depth > 0; }

void TLongOperation::Pump(bool Force) {
  if (!qApp) return;
  if (g_depth > 0 && !Force && g_lastTurn.isValid() && g_lastTurn.elapsed() < kPumpIntervalMs) return;
  RunWaitingEvents();
}

void TLongOperation::Progress(TGauge* Gauge, int Position) {
  if (Gauge) Gauge->SetProgress(Position);
  Pump();
}
