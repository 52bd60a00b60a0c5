// The auto-scrolling reader opened from the main window by Scroll Lock, run on the fake
// timer service: its pace and the keys that change it, paging and the stop at the end of the
// text, what it draws, closing by key and by click, and the pace kept for the next opening.
#include <QTest>

#include "NoteBookFixture.h"
#include "app/ScrollForm.h"
#include "platform/gfx/Canvas.h"

namespace nbtest {

namespace {

std::string Lines(int n) {
  std::string body;
  for (int i = 1; i <= n; ++i) body += (i > 1 ? "\r\n" : "") + std::string("line ") + std::to_string(i);
  return body;
}

class ScrollFormTest : public NoteBookTest {
 protected:
  void StartOn(const std::string& body) {
    UseNoteFile(data.Path(), {{"title one", "", "", "", body}}, " ");
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
  // Opens the reader with Scroll Lock in the main window; act runs while it is up.
  void Read(std::function<void()> act) {
    answer = [act](TCustomForm& f) {
      if (&f == ScrollForm) act();
      return f.ModalResult() == mrNone ? mrCancel : f.ModalResult();
    };
    QTest::keyClick(MainForm->Widget(), Qt::Key_ScrollLock);
    Application->ProcessMessages();
  }
  static void Key(uint16_t key) { ScrollForm->PerformKeyDown(key, 0); }
  // Pixels of the background blue, and pixels of text (anything else: the glyphs' edges
  // are blended), within rows top..bottom of the reader's picture.
  static int Count(bool text, int top, int bottom) {
    TCanvas& c = ScrollForm->Canvas();
    int n = 0;
    for (int y = std::max(0, top); y < bottom; ++y)
      for (int x = 0; x < ScrollForm->ClientWidth(); ++x) n += (c.Pixels(x, y) != clBlue) == text;
    return n;
  }
};

TEST_F(ScrollFormTest, OpensOverTheMainWindowAndMovesOnePixelPerTick) {
  StartOn(Lines(80));
  bool opened = false;
  Read([&] {
    opened = true;
    EXPECT_EQ(ScrollForm->Caption(), "title one");
    EXPECT_EQ(ScrollForm->Left(), MainForm->Left());
    EXPECT_EQ(ScrollForm->Width(), MainForm->Width());
    EXPECT_EQ(ScrollForm->Height(), MainForm->Height());
    EXPECT_EQ(ScrollForm->Font().Name(), MainForm->memo1->Font().Name());
    EXPECT_EQ(ScrollForm->Font().Size(), MainForm->memo1->Font().Size());
    EXPECT_EQ(ScrollForm->Font().Color(), clWhite);
    EXPECT_EQ(ScrollForm->ScrollOffset, 0);
    EXPECT_EQ(ScrollForm->ScrollPace, 1499);
    EXPECT_TRUE(ScrollForm->Timer1->Running());
    EXPECT_EQ(ScrollForm->Timer1->Interval(), 1499u);

    // White text on blue in the first line's band, blue below the window's lines.
    const int L = ScrollForm->LineHeight();
    EXPECT_GT(Count(true, 0, L), 0);
    EXPECT_GT(Count(false, 0, L), 0);

    fake.Timers.Advance(1498);
    EXPECT_EQ(ScrollForm->ScrollOffset, 0);
    fake.Timers.Advance(1);
    EXPECT_EQ(ScrollForm->ScrollOffset, 1);
    fake.Timers.Advance(1499 * 3);
    EXPECT_EQ(ScrollForm->ScrollOffset, 4);
    EXPECT_EQ(ScrollForm->ScrollEndOffset, 0) << "the end is far below";
    Key(VK_ESCAPE);
  });
  ASSERT_TRUE(opened);
  EXPECT_EQ(shown, std::vector<std::string>{"ScrollForm"});
  EXPECT_FALSE(ScrollForm->Timer1->Enabled());
  EXPECT_FALSE(ScrollForm->Timer1->Running());
  fake.Timers.Advance(5000);
  EXPECT_EQ(ScrollForm->ScrollOffset, 4) << "a closed reader does not move";
}

TEST_F(ScrollFormTest, UpAndDownSetThePace) {
  StartOn(Lines(200));
  Read([&] {
    Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 1500) << "2998 is held at the pause";
    EXPECT_EQ(ScrollForm->Timer1->Interval(), 1500u);
    fake.Timers.Advance(6000);
    EXPECT_EQ(ScrollForm->ScrollOffset, 0) << "paused";
    Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 1500);

    const int faster[] = {750, 375, 188, 94, 47, 24, 12, 6, 3, 2, 1, 5};
    for (int pace : faster) {
      Key(VK_DOWN);
      EXPECT_EQ(ScrollForm->ScrollPace, pace);
      EXPECT_EQ(ScrollForm->Timer1->Interval(), static_cast<unsigned>(pace));
    }
    const int before = ScrollForm->ScrollOffset;
    fake.Timers.Advance(50);
    EXPECT_EQ(ScrollForm->ScrollOffset, before + 10) << "one pixel every 5 ms";

    Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 10);
    for (int i = 0; i < 7; ++i) Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 1280);
    Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 1500) << "past the pause is the pause";
    Key(VK_DOWN);
    EXPECT_EQ(ScrollForm->ScrollPace, 750);
    for (int i = 0; i < 4; ++i) Key(VK_DOWN);
    EXPECT_EQ(ScrollForm->ScrollPace, 47);
    QTest::keyClick(ScrollForm->Widget(), Qt::Key_ScrollLock);
  });
  EXPECT_FALSE(ScrollForm->Timer1->Running());

  // The next opening keeps the pace the keys set, and the keys go on from it.
  Read([&] {
    EXPECT_EQ(ScrollForm->ScrollOffset, 0);
    EXPECT_EQ(ScrollForm->ScrollPace, 47);
    EXPECT_EQ(ScrollForm->Timer1->Interval(), 47u);
    Key(VK_DOWN);
    EXPECT_EQ(ScrollForm->ScrollPace, 24);
    for (int i = 0; i < 7; ++i) Key(VK_UP);
    EXPECT_EQ(ScrollForm->ScrollPace, 1500);
    Key(VK_ESCAPE);
  });
  // A reader left paused opens moving again.
  Read([&] {
    EXPECT_EQ(ScrollForm->ScrollPace, 1499);
    EXPECT_EQ(ScrollForm->Timer1->Interval(), 1499u);
    fake.Timers.Advance(1499);
    EXPECT_EQ(ScrollForm->ScrollOffset, 1);
    QTest::mouseClick(ScrollForm->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
  });
  EXPECT_FALSE(ScrollForm->Timer1->Running()) << "a click closes";
}

TEST_F(ScrollFormTest, PagingStopsAtTheTopAndAtTheEndOfTheText) {
  StartOn(Lines(120));
  Read([&] {
    const int page = ScrollForm->ClientHeight();
    const int L = ScrollForm->LineHeight();
    fake.Timers.Advance(1499 * 2);
    Key(VK_PRIOR);
    EXPECT_EQ(ScrollForm->ScrollOffset, 0) << "not above the top";
    Key(VK_NEXT);
    EXPECT_EQ(ScrollForm->ScrollOffset, page - 23);
    Key(VK_PRIOR);
    EXPECT_EQ(ScrollForm->ScrollOffset, 0);

    for (int i = 0; i < 100 && ScrollForm->ScrollEndOffset == 0; ++i) Key(VK_NEXT);
    const int end = ScrollForm->ScrollEndOffset;
    ASSERT_GT(end, 0) << "the end was reached";
    EXPECT_LT(120 * L - end, ScrollForm->Height()) << "the end is on screen";
    Key(VK_NEXT);
    EXPECT_EQ(ScrollForm->ScrollOffset, end) << "no paging past the end";
    fake.Timers.Advance(1499 * 3);
    EXPECT_EQ(ScrollForm->ScrollOffset, end) << "nor scrolling";
    // Below the last line the window is blue.
    const int below = 120 * L - end + L;
    EXPECT_EQ(Count(true, below, ScrollForm->ClientHeight()), 0);

    // Back up a page and let it run.
    Key(VK_PRIOR);
    EXPECT_EQ(ScrollForm->ScrollOffset, end - page + 20);
    Key(VK_DOWN);
    for (int i = 0; i < 11; ++i) Key(VK_DOWN);
    ASSERT_EQ(ScrollForm->ScrollPace, 5);
    fake.Timers.Advance(5 * 200);
    // Moving a pixel at a time, it stops as soon as the end comes in at the bottom.
    const int stop = 120 * L - ScrollForm->Height() + 1;
    EXPECT_EQ(ScrollForm->ScrollOffset, stop);
    EXPECT_EQ(ScrollForm->ScrollEndOffset, stop);
    Key(VK_ESCAPE);
  });
}

TEST_F(ScrollFormTest, AnEmptyBodyDrawsOneBlankLineAndClearsTheRest) {
  StartOn("");
  Read([&] {
    EXPECT_EQ(Count(true, 0, ScrollForm->ClientHeight()), 0);
    EXPECT_GT(Count(false, 0, ScrollForm->ClientHeight()), 0);
    fake.Timers.Advance(1499 * 4);
    EXPECT_EQ(ScrollForm->ScrollOffset, 1) << "the end is in view at once: one pixel, then it stays";
    EXPECT_EQ(ScrollForm->ScrollEndOffset, 1);
    Key(VK_ESCAPE);
  });
}

}  // namespace
}  // namespace nbtest
