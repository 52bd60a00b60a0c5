// The transparent button: glyph strips and their images, the states a press, a release, a
// drag and a latched Down leave behind, hover, the drop-down menu, accelerators and where
// glyph and caption are painted.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "components/TransButton.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

namespace {

// A glyph strip of n cells of size x size: a black square in the middle of each cell on a
// white ground, cell i's square in a colour of its own.
void MakeStrip(TBitmap& b, int w, int h) {
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, clWhite);
  for (int y = h / 4; y < h - h / 4; ++y)
    for (int x = 0; x < w; ++x)
      if (x % h >= h / 4 && x % h < h - h / 4) b.SetPixel(x, y, static_cast<TColor>(0x10 * (x / h)));
}

void MouseAt(QWidget* w, QEvent::Type t, int x, int y, Qt::MouseButtons held) {
  QPointF p(x, y);
  QMouseEvent e(t, p, w->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                held, Qt::NoModifier);
  // Each event a time of its own: copies of one event (same time and point) count once.
  static quint64 time = 1000000;
  e.setTimestamp(++time);
  QCoreApplication::sendEvent(w, &e);
}

class RecordingMenu : public TPopupMenu {
 public:
  using TPopupMenu::TPopupMenu;
  void Popup(int X, int Y) override {
    ++Pops;
    PopX = X;
    PopY = Y;
  }
  int Pops = 0, PopX = 0, PopY = 0;
};

struct ButtonFixture : ::testing::Test {
  ButtonFixture() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    button = new TTransparentButton(form);
    button->SetParent(form);
    button->SetBounds(20, 30, 60, 40);
    form->Show();
  }
  ~ButtonFixture() override { delete form; }
  void Press(int x, int y) { MouseAt(button->Widget(), QEvent::MouseButtonPress, x, y, Qt::LeftButton); }
  void Move(int x, int y) { MouseAt(button->Widget(), QEvent::MouseMove, x, y, Qt::LeftButton); }
  void Release(int x, int y) { MouseAt(button->Widget(), QEvent::MouseButtonRelease, x, y, Qt::NoButton); }
  TForm* form = nullptr;
  TTransparentButton* button = nullptr;
};

TEST_F(ButtonFixture, DefaultsOfANewButton) {
  TTransparentButton b(nullptr);
  EXPECT_EQ(b.Width(), 40);
  EXPECT_EQ(b.Height(), 40);
  EXPECT_EQ(b.FrameStyle(), fsExplorer);
  EXPECT_EQ(b.TextAlign(), ttaCenter);
  EXPECT_EQ(b.Spacing(), 2);
  EXPECT_EQ(b.BorderWidth(), 1u);
  EXPECT_TRUE(b.AutoGray() && b.Transparent() && b.ShowPressed());
  EXPECT_FALSE(b.Down() || b.WordWrap() || b.Movable());
  EXPECT_EQ(b.ImageIndex(), -1);
}

TEST_F(ButtonFixture, GlyphStripsSetTheCellCount) {
  struct Case { int w, h, before, after; } cases[] = {
      {64, 16, 1, 4}, {80, 16, 2, 1}, {50, 16, 3, 3}, {32, 16, 1, 2}, {16, 16, 4, 1}};
  for (const Case& c : cases) {
    button->SetNumGlyphs(c.before);
    TBitmap glyph;
    MakeStrip(glyph, c.w, c.h);
    button->SetGlyph(&glyph);
    EXPECT_EQ(button->NumGlyphs(), c.after) << c.w << "x" << c.h;
    // The cells, then the grey and the disabled image.
    EXPECT_EQ(button->ImageCount(), c.after + 2);
    EXPECT_EQ(button->Image(0).Width(), c.w / c.after);
  }
  // Drawing on the glyph itself rebuilds the images as well.
  button->Glyph().SetSize(48, 16);
  EXPECT_EQ(button->NumGlyphs(), 3);
}

TEST_F(ButtonFixture, GreyWeightsRedElevenAndBlueThirty) {
  TBitmap b;
  b.SetSize(3, 1);
  b.SetPixel(0, 0, 0x0000FF);  // red
  b.SetPixel(1, 0, 0xFF0000);  // blue
  b.SetPixel(2, 0, 0x00FF00);  // green
  TTransparentButton::GrayBitmap(b);
  EXPECT_EQ(b.Pixel(0, 0), TColor(0x1C1C1C));  // 11 * 255 / 100 = 28
  EXPECT_EQ(b.Pixel(1, 0), TColor(0x4C4C4C));  // 30 * 255 / 100 = 76
  EXPECT_EQ(b.Pixel(2, 0), TColor(0x969696));  // 59 * 255 / 100 = 150
}

TEST_F(ButtonFixture, DisabledButtonShowsEmbossedImageOrSecondCell) {
  TBitmap glyph;
  MakeStrip(glyph, 16, 16);
  button->SetGlyph(&glyph);
  button->SetEnabled(false);
  EXPECT_EQ(button->ImageIndex(), 2);  // the disabled image
  const TBitmap& d = button->DisabledImage();
  EXPECT_EQ(d.Pixel(4, 4), ColorToRGB(clBtnShadow));       // the square, in shadow
  EXPECT_EQ(d.Pixel(12, 12), ColorToRGB(clBtnHighlight));  // its highlight, one pixel out
  EXPECT_EQ(d.Pixel(1, 1), ColorToRGB(clBtnFace));

  // With two cells the second is the disabled look; the explorer style's resting grey image
  // wins over it.
  MakeStrip(glyph, 32, 16);
  button->SetGlyph(&glyph);
  EXPECT_EQ(button->ImageIndex(), 2);
  button->SetFrameStyle(fsRegular);
  EXPECT_EQ(button->ImageIndex(), 1);
  button->SetEnabled(true);
  EXPECT_EQ(button->ImageIndex(), 0);
}

TEST_F(ButtonFixture, ExplorerStyleIsGreyUntilTheMouseIsOver) {
  TBitmap glyph;
  MakeStrip(glyph, 48, 16);
  button->SetGlyph(&glyph);
  int enters = 0, exits = 0;
  button->OnMouseEnter = [&](TObject*) { ++enters; };
  button->OnMouseExit = [&](TObject*) { ++exits; };
  EXPECT_EQ(button->ImageIndex(), 3);  // grey
  QEvent enter(QEvent::Enter);
  QCoreApplication::sendEvent(button->Widget(), &enter);
  EXPECT_TRUE(button->MouseInside());
  EXPECT_EQ(button->ImageIndex(), 0);
  Press(5, 5);
  EXPECT_EQ(button->ImageIndex(), 2);  // the pressed cell
  Release(5, 5);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(button->Widget(), &leave);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(button->ImageIndex(), 3);
  // A disabled button hears no hovering.
  button->SetEnabled(false);
  QCoreApplication::sendEvent(button->Widget(), &enter);
  EXPECT_EQ(enters, 1);
}

TEST_F(ButtonFixture, PressTracksTheMouseAndReleaseClicks) {
  int clicks = 0, ups = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  button->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
  Press(10, 10);
  EXPECT_TRUE(button->DrawnPressed());
  Move(100, 10);  // outside: drawn up, still tracking
  EXPECT_FALSE(button->DrawnPressed());
  EXPECT_TRUE(button->Tracking());
  Move(10, 10);
  EXPECT_TRUE(button->DrawnPressed());
  Release(10, 10);
  EXPECT_FALSE(button->DrawnPressed());
  EXPECT_FALSE(button->Tracking());
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(clicks, 1);
}

// Through the window system's path, which makes the double click itself: press, release, the
// double click in place of the second press, release. The button counts every press; a
// control that takes double clicks (a label) hears the double click instead.
TEST_F(ButtonFixture, EveryPressOfADoubleClickClicks) {
  int clicks = 0, downs = 0, doubles = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  button->OnMouseDown = [&](TObject*, TMouseButton, TShiftState sh, int, int) {
    ++downs;
    if (sh & ssDouble) ++doubles;
  };
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetBounds(150, 30, 60, 40);
  int labelClicks = 0, labelDoubles = 0;
  label->OnClick = [&](TObject*) { ++labelClicks; };
  label->OnDblClick = [&](TObject*) { ++labelDoubles; };
  QWindow* win = form->Widget()->windowHandle();
  ASSERT_NE(win, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
  QPoint onButton(button->Left() + 10, button->Top() + 10);
  QPoint onLabel(label->Left() + 10, label->Top() + 10);
  QTest::mouseDClick(win, Qt::LeftButton, {}, onButton);
  QTest::mouseClick(win, Qt::LeftButton, {}, onButton);
  QTest::mouseClick(win, Qt::LeftButton, {}, onButton);
  EXPECT_EQ(clicks, 4);
  EXPECT_EQ(downs, 4);
  EXPECT_EQ(doubles, 0);
  EXPECT_FALSE(button->DrawnPressed());
  QTest::mouseDClick(win, Qt::LeftButton, {}, onLabel);
  EXPECT_EQ(labelClicks, 1);
  EXPECT_EQ(labelDoubles, 1);
}

TEST_F(ButtonFixture, LatchedDownStaysPressedAndFiresNoMouseUp) {
  int ups = 0;
  button->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
  button->SetDown(true);
  EXPECT_TRUE(button->DrawnPressed());
  Press(10, 10);
  Release(10, 10);
  EXPECT_TRUE(button->DrawnPressed());
  EXPECT_TRUE(button->Tracking());
  EXPECT_EQ(ups, 0);
  // Disabling returns to idle.
  button->SetEnabled(false);
  EXPECT_FALSE(button->DrawnPressed() || button->Tracking());
}

TEST_F(ButtonFixture, MovableButtonFollowsTheMouseWhileHeld) {
  button->SetMovable(true);
  Press(10, 10);
  Move(15, 22);
  EXPECT_EQ(button->Left(), 25);
  EXPECT_EQ(button->Top(), 42);
  Release(10, 10);
  Move(30, 30);  // not held: stays
  EXPECT_EQ(button->Left(), 25);
  EXPECT_EQ(button->Top(), 42);
}

TEST_F(ButtonFixture, MenuDropsBelowTheButtonOnAPress) {
  auto* menu = new RecordingMenu(form);
  button->SetPopUpMenu(menu);
  int ups = 0;
  button->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
  Press(10, 10);
  ASSERT_EQ(menu->Pops, 1);
  int sx = 0, sy = 0;
  button->ClientToScreen(0, button->Height(), sx, sy);
  EXPECT_EQ(menu->PopX, sx);
  EXPECT_EQ(menu->PopY, sy);
  // The release came with the menu's closing: the button is up again.
  EXPECT_EQ(ups, 1);
  EXPECT_FALSE(button->DrawnPressed());
  delete menu;
  EXPECT_EQ(button->PopUpMenu(), nullptr);
}

TEST_F(ButtonFixture, AcceleratorOfTheCaptionClicks) {
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  button->SetCaption("&Go");
  EXPECT_TRUE(button->DialogChar('g'));
  EXPECT_FALSE(button->DialogChar('o'));
  button->SetCaption("Fish && &Chips");
  EXPECT_FALSE(button->DialogChar('&'));
  EXPECT_TRUE(button->DialogChar('C'));
  // Alt and the accelerator, typed on the form, click the button.
  form->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
  QTest::keyClick(form->Widget(), Qt::Key_C, Qt::AltModifier);
  EXPECT_EQ(clicks, 3);
  button->SetEnabled(false);
  EXPECT_FALSE(button->DialogChar('c'));
  QTest::keyClick(form->Widget(), Qt::Key_C, Qt::AltModifier);
  EXPECT_EQ(clicks, 3);
}

TEST_F(ButtonFixture, GlyphAndCaptionSitOnOppositeSides) {
  TBitmap glyph;
  MakeStrip(glyph, 16, 16);
  button->SetGlyph(&glyph);
  button->SetBounds(20, 30, 80, 60);
  button->SetCaption("OK");
  button->SetFrameStyle(fsRegular);
  struct Case { TTextAlign align; int gl, gt; } cases[] = {
      {ttaBottom, (80 - 16) / 2, 2}, {ttaTop, (80 - 16) / 2, 60 - 16 - 2},
      {ttaLeft, 80 - 16 - 2, (60 - 16) / 2}, {ttaRight, 2, (60 - 16) / 2},
      {ttaCenter, (80 - 16) / 2, (60 - 16) / 2}};
  for (const Case& c : cases) {
    button->SetTextAlign(c.align);
    button->Widget()->grab();
    EXPECT_EQ(button->GlyphPos().X, c.gl) << c.align;
    EXPECT_EQ(button->GlyphPos().Y, c.gt) << c.align;
    TRect t = button->TextRect();
    switch (c.align) {
      case ttaBottom: EXPECT_EQ(t.Top, c.gt + 16 + 2); break;
      case ttaTop: EXPECT_EQ(t.Bottom, c.gt - 2); break;
      case ttaLeft: EXPECT_EQ(t.Left, 2); break;
      case ttaRight: EXPECT_EQ(t.Right, 80 - 2); break;
      default: EXPECT_EQ(t.Left, 40 - t.Width() / 2); break;
    }
  }
  // The glyph is painted through its mask: the square shows, the white ground does not.
  button->SetTextAlign(ttaBottom);
  button->Widget()->grab();
  TCanvas& c = button->Canvas();
  EXPECT_EQ(c.Pixels(32 + 8, 2 + 8), clBlack);
  EXPECT_NE(c.Pixels(32 + 1, 2 + 1), clWhite);
  // Pressed, the content moves by one pixel.
  button->SetDown(true);
  button->Widget()->grab();
  EXPECT_EQ(button->GlyphPos().X, 33);
}

}  // namespace
