// The hand and drag cursors registered at start-up reach the controls and the screen: a
// control whose Cursor is 14000 shows the hand picture with its hot spot, not the arrow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QWidget>

#include "components/Cursors.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace {

TEST(ScreenCursors, HandAndDragCursorsReachControlsAndTheScreen) {
  TForm form(nullptr);
  auto* panel = CreateControl<TPanel>(&form, &form, "Panel1", 0, 0, 100, 100);
  struct Case {
    TCursor cursor;
    QPoint hot;
  };
  for (const Case& c : {Case{crHandCursor, {6, 16}}, Case{crDragCursor, {15, 16}}}) {
    SCOPED_TRACE(c.cursor);
    panel->SetCursor(c.cursor);
    const QCursor shown = panel->Widget()->cursor();
    ASSERT_EQ(shown.shape(), Qt::BitmapCursor) << "the program's picture, not a system cursor";
    EXPECT_EQ(shown.hotSpot(), c.hot);
    // The picture drawn is the registered one: opaque exactly where its mask is black.
    const TScreenCursor* own = ScreenCursor(c.cursor);
    ASSERT_NE(own, nullptr);
    const QImage mask = shown.mask().toImage();
    ASSERT_EQ(mask.size(), QSize(32, 32));
    int differ = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        differ += (mask.pixelIndex(x, y) == Qt::color1) != (own->Mask.Pixel(x, y) == clBlack) ? 1 : 0;
    EXPECT_EQ(differ, 0);
  }
  panel->SetCursor(crDefault);
  EXPECT_NE(panel->Widget()->cursor().shape(), Qt::BitmapCursor);

  Screen->SetCursor(crHandCursor);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
  EXPECT_EQ(QApplication::overrideCursor()->hotSpot(), QPoint(6, 16));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
