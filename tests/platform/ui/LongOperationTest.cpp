// The long-operation scope under the offscreen platform: the user's clicks and keys to the
// open windows are dropped while it lasts (also those still queued when it ends), windows
// opened meanwhile take input, the windows repaint and timers run in its bounded turns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "platform/core/Services.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Gauges.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/StdCtrls.h"

namespace {

struct BusyForm {
  BusyForm() {
    form = new TForm(nullptr);
    form->SetBounds(20, 20, 300, 160);
    button = CreateControl<TButton>(form, form, "Button1", 10, 10, 90, 26);
    button->OnClick = [this](TObject*) { ++clicks; };
    edit = CreateControl<TEdit>(form, form, "Edit1", 10, 50, 120, 22);
    gauge = CreateControl<TGauge>(form, form, "Gauge1", 10, 90, 200, 20);
    form->Show();
    Application->ProcessMessages();
  }
  ~BusyForm() { delete form; }
  TForm* form;
  TButton* button;
  TEdit* edit;
  TGauge* gauge;
  int clicks = 0;
};

void QueueClick(QWidget* w) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  const QPointF global = w->mapToGlobal(at);
  QCoreApplication::postEvent(
      w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(
      w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

TEST(TLongOperationTest, UserInputToOpenWindowsIsDroppedWhileItLasts) {
  BusyForm f;
  f.edit->SetFocus();
  {
    TLongOperation busy;
    EXPECT_TRUE(TLongOperation::InProgress());
    QTest::mouseClick(f.button->Widget(), Qt::LeftButton);
    QTest::keyClicks(f.edit->LineEdit(), "ab");
    QueueClick(f.button->Widget());  // still waiting when the operation ends
    TLongOperation::Pump(true);
    EXPECT_EQ(f.clicks, 0);
    EXPECT_EQ(f.edit->Text(), "");
    {
      TLongOperation inner;  // nested: the outer one still blocks after it
    }
    QTest::mouseClick(f.button->Widget(), Qt::LeftButton);
    EXPECT_EQ(f.clicks, 0);
  }
  EXPECT_FALSE(TLongOperation::InProgress());
  Application->ProcessMessages();
  EXPECT_EQ(f.clicks, 0) << "a click made during the operation does not run afterwards";
  QTest::mouseClick(f.button->Widget(), Qt::LeftButton);
  QTest::keyClicks(f.edit->LineEdit(), "ab");
  EXPECT_EQ(f.clicks, 1);
  EXPECT_EQ(f.edit->Text(), "ab");
}

TEST(TLongOperationTest, AWindowOpenedDuringTheOperationTakesInput) {
  BusyForm f;
  TLongOperation busy;
  BusyForm box;  // say a message box the operation shows
  QTest::mouseClick(box.button->Widget(), Qt::LeftButton);
  EXPECT_EQ(box.clicks, 1);
  QTest::mouseClick(f.button->Widget(), Qt::LeftButton);
  EXPECT_EQ(f.clicks, 0);
}

TEST(TLongOperationTest, ProgressRepaintsAndRunsTimersAtABoundedRate) {
  BusyForm f;
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(0);
  int painted = 0;
  struct PaintCounter : QObject {
    int* n;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++*n;
      return false;
    }
  } counter;
  counter.n = &painted;
  f.gauge->Widget()->installEventFilter(&counter);
  {
    TLongOperation busy;
    QElapsedTimer sinceFirstTurn;
    sinceFirstTurn.start();
    TLongOperation::Progress(f.gauge, 40);  // the first report gets its turn at once
    EXPECT_EQ(f.gauge->Progress(), 40);
    EXPECT_GT(painted, 0) << "the gauge repainted while the operation runs";
    EXPECT_GT(ticks, 0);
    const int ticksBefore = ticks;
    const int paintedBefore = painted;
    TLongOperation::Progress(f.gauge, 41);  // too soon after the last turn
    EXPECT_EQ(f.gauge->Progress(), 41);
    // Only while the interval has not passed: a loaded machine may take longer than that
    // between the two reports, and then the second one is owed its turn.
    if (sinceFirstTurn.elapsed() < TLongOperation::kPumpIntervalMs) {
      EXPECT_EQ(ticks, ticksBefore);
      EXPECT_EQ(painted, paintedBefore);
    }
    QTest::qSleep(TLongOperation::kPumpIntervalMs + 10);
    TLongOperation::Progress(f.gauge, 42);
    EXPECT_GT(ticks, ticksBefore);
    EXPECT_GT(painted, paintedBefore);
    // The message loop's own call is the same bounded turn, with input still dropped.
    QTest::qSleep(TLongOperation::kPumpIntervalMs + 10);
    QueueClick(f.button->Widget());
    ProcessMessages();
    EXPECT_EQ(f.clicks, 0);
  }
  f.gauge->Widget()->removeEventFilter(&counter);
}

}  // namespace
