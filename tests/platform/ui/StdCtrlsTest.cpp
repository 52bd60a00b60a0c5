// The other controls driven for real: check and radio buttons, lists, memo lines, status bar,
// speed buttons, pop-up menus, timers on the Qt loop, file lists, the gauge, the screen's
// cursor and the screen's list of forms.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/core/FakeServices.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Timers.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/FileCtrl.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Gauges.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

using cp949::K;

namespace {

template <class T>
T* Put(TWinControl* parent, int x, int y, int w, int h) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(x, y, w, h);
  return c;
}

// Where the check mark of a check or radio button is drawn.
const QPoint kIndicator(7, 8);

TEST(ButtonsTest, CheckAndRadioButtonsClickOnChangeOnly) {
  TForm form(nullptr);
  auto* chk = Put<TCheckBox>(&form, 0, 0, 100, 20);
  auto* r1 = Put<TRadioButton>(&form, 0, 30, 100, 20);
  auto* r2 = Put<TRadioButton>(&form, 0, 60, 100, 20);
  int chkClicks = 0, r1Clicks = 0, r2Clicks = 0;
  chk->OnClick = [&](TObject*) { ++chkClicks; };
  r1->OnClick = [&](TObject*) { ++r1Clicks; };
  r2->OnClick = [&](TObject*) { ++r2Clicks; };
  form.Show();
  chk->SetChecked(true);   // a change from the program clicks
  chk->SetChecked(true);   // no change, no click
  QTest::mouseClick(chk->Widget(), Qt::LeftButton, {}, kIndicator);
  EXPECT_FALSE(chk->Checked());
  EXPECT_EQ(chkClicks, 2);
  r1->SetChecked(true);
  QTest::mouseClick(r2->Widget(), Qt::LeftButton, {}, kIndicator);
  EXPECT_TRUE(r2->Checked());
  EXPECT_FALSE(r1->Checked());
  QTest::mouseClick(r2->Widget(), Qt::LeftButton, {}, kIndicator);  // already checked: stays, no click
  EXPECT_TRUE(r2->Checked());
  EXPECT_EQ(r1Clicks, 1);
  EXPECT_EQ(r2Clicks, 1);

  auto* group = Put<TRadioGroup>(&form, 120, 0, 150, 120);
  int groupClicks = 0;
  group->OnClick = [&](TObject*) { ++groupClicks; };
  group->Items().Add("a");
  group->Items().Add("b");
  EXPECT_EQ(group->ItemIndex(), -1);
  group->SetItemIndex(1);
  EXPECT_TRUE(group->Buttons(1)->Checked());
  QTest::mouseClick(group->Buttons(0)->Widget(), Qt::LeftButton, {}, kIndicator);
  EXPECT_EQ(group->ItemIndex(), 0);
  EXPECT_FALSE(group->Buttons(1)->Checked());
  EXPECT_EQ(groupClicks, 2);
}

// A disabled control draws its text in the system's grey, whatever its font colour; the
// enabled one in its font colour.
TEST(ButtonsTest, DisabledControlsTakeTheDisabledPalette) {
  TForm form(nullptr);
  form.Font().SetColor(clNavy);
  std::vector<std::pair<TControl*, QPalette::ColorRole>> controls = {
      {Put<TButton>(&form, 0, 0, 80, 24), QPalette::ButtonText},
      {Put<TCheckBox>(&form, 0, 30, 80, 20), QPalette::WindowText},
      {Put<TRadioButton>(&form, 0, 60, 80, 20), QPalette::WindowText},
      {Put<TEdit>(&form, 0, 90, 80, 22), QPalette::Text},
  };
  const QColor navy = QColor(0, 0, 128);
  for (auto [c, role] : controls) {
    SCOPED_TRACE(c->Widget()->metaObject()->className());
    c->SetText("x");
    const QPalette enabled = c->Widget()->palette();
    EXPECT_EQ(enabled.color(QPalette::Active, role), navy);
    c->SetEnabled(false);
    c->Font().SetColor(clNavy);  // a font set while disabled changes nothing either
    const QPalette disabled = c->Widget()->palette();
    EXPECT_NE(disabled.color(QPalette::Disabled, role), navy);
    EXPECT_EQ(disabled.color(QPalette::Disabled, role), QApplication::palette().color(QPalette::Disabled, role));
    // Readable on the button face the forms stand on, as the desktop's grey text is.
    const QColor face(192, 192, 192);
    const QColor text = disabled.color(QPalette::Disabled, role);
    EXPECT_GE(std::abs(face.lightness() - text.lightness()), 48) << text.name().toStdString();
  }
}

TEST(ListsTest, ComboAndListItemsSortedListAndMemoLines) {
  TForm form(nullptr);
  auto* combo = Put<TComboBox>(&form, 0, 0, 120, 22);
  for (const char* s : {"표제1", "표제2", "몽땅찾기"}) combo->Items().Add(K(s));
  combo->SetItemIndex(2);
  EXPECT_EQ(combo->Text(), K("몽땅찾기"));
  combo->Items().SetStrings(0, K("제목"));
  EXPECT_EQ(combo->Items()[0], K("제목"));
  EXPECT_EQ(combo->ItemIndex(), 2);

  auto* list = Put<TListBox>(&form, 0, 30, 120, 100);
  list->Items().Add("Zeta");
  list->Items().Add("alpha");
  list->SetSorted(true);
  list->Items().Add("Beta");
  EXPECT_EQ(list->Items().CommaText(), "alpha,Beta,Zeta");
  int clicks = 0;
  list->OnClick = [&](TObject*) { ++clicks; };
  list->SetItemIndex(1);  // from the program: no click
  EXPECT_EQ(clicks, 0);
  form.Show();
  list->SetFocus();
  QTest::keyClick(list->Widget(), Qt::Key_Down);
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(clicks, 1);

  auto* memo = Put<TMemo>(&form, 130, 0, 150, 100);
  memo->Lines().Add(K("첫줄"));
  memo->Lines().Add("two");
  EXPECT_EQ(memo->Text(), K("첫줄") + "\r\ntwo");
  EXPECT_EQ(memo->Lines().Count(), 2);
  EXPECT_FALSE(memo->Modified());
  memo->SetText("a\r\nb\r\nc");
  memo->Lines().Delete(1);
  EXPECT_EQ(memo->Text(), "a\r\nc");
  memo->SetSelStart(3);  // "a", CR LF, then "c"
  EXPECT_EQ(memo->CaretLine(), 1);
}

TEST(StatusAndGlyphsTest, PanelsSpeedButtonCellsAndGroups) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* bar = Put<TStatusBar>(&form, 0, 0, 300, 19);
  for (int i = 0; i < 3; ++i) bar->Panels().Add();
  bar->Panels()[1].SetText(K("쓰기방지"));
  EXPECT_EQ(bar->Panels()[1].Text(), K("쓰기방지"));
  EXPECT_THROW(bar->Panels().Items(3), EListError);
  form.Show();
  EXPECT_EQ(bar->Top() + bar->Height(), form.ClientHeight());  // aligned to the bottom

  auto* b = Put<TSpeedButton>(&form, 0, 0, 30, 30);
  b->Glyph().SetSize(32, 16);  // two squares: two cells
  EXPECT_EQ(b->NumGlyphs(), 2);
  b->Glyph().SetSize(50, 16);  // not a whole multiple: stays
  EXPECT_EQ(b->NumGlyphs(), 2);
  b->SetNumGlyphs(1);
  EXPECT_EQ(b->NumGlyphs(), 1);
  b->SetNumGlyphs(2);
  b->SetEnabled(false);
  EXPECT_EQ(b->CurrentCell(), 1);
  b->SetEnabled(true);
  EXPECT_EQ(b->CurrentCell(), 0);

  auto* g1 = Put<TSpeedButton>(&form, 40, 0, 30, 30);
  auto* g2 = Put<TSpeedButton>(&form, 80, 0, 30, 30);
  g1->SetGroupIndex(1);
  g2->SetGroupIndex(1);
  int clicks = 0;
  g2->OnClick = [&](TObject*) { ++clicks; };
  g1->SetDown(true);
  QTest::mouseClick(g2->Widget(), Qt::LeftButton);
  EXPECT_TRUE(g2->Down());
  EXPECT_FALSE(g1->Down());
  EXPECT_EQ(clicks, 1);
  g2->SetDown(false);  // the last one down stays down unless all may be up
  EXPECT_TRUE(g2->Down());
}

TEST(PagesTest, TabOrderSkipsControlsOnPagesNotShown) {
  TForm form(nullptr);
  auto* pages = Put<TPageControl>(&form, 0, 0, 300, 200);
  auto* one = new TTabSheet(&form);
  one->SetPageControl(pages);
  one->SetCaption(K("일괄입력"));
  auto* two = new TTabSheet(&form);
  two->SetPageControl(pages);
  auto* e1 = Put<TEdit>(one, 10, 10, 100, 22);
  auto* e2 = Put<TEdit>(two, 10, 10, 100, 22);
  auto* after = Put<TButton>(&form, 10, 210, 75, 25);
  form.Show();
  EXPECT_EQ(pages->ActivePage(), one);
  EXPECT_EQ(form.FindNextControl(e1, true, true), after);
  EXPECT_FALSE(e2->CanFocus());
  pages->SetActivePage(two);
  EXPECT_TRUE(e2->CanFocus());
  EXPECT_EQ(form.FindNextControl(pages, true, true), e2);
  EXPECT_EQ(pages->Pages(0)->Caption(), K("일괄입력"));
}

TEST(MenusTest, PopupOpensOnRightClickOnlyWhileAutoPopupAndItemsClick) {
  TForm form(nullptr);
  auto* edit = Put<TEdit>(&form, 0, 0, 100, 22);
  TPopupMenu menu(&form);
  auto* cut = new TMenuItem(&form);
  cut->SetCaption(K("잘라내기"));
  menu.Items()->Add(cut);
  int pops = 0, cuts = 0;
  menu.OnPopup = [&](TObject*) {
    ++pops;
    // The menu has opened: close it again so nothing waits for a choice.
    QTimer::singleShot(0, [&] { menu.Items()->SubMenu()->close(); });
  };
  cut->OnClick = [&](TObject*) { ++cuts; };
  edit->SetPopupMenu(&menu);
  form.Show();
  QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), edit->Widget()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(edit->Widget(), &ev);
  EXPECT_EQ(pops, 1);
  EXPECT_EQ(menu.PopupComponent, edit);
  menu.SetAutoPopup(false);
  QApplication::sendEvent(edit->Widget(), &ev);
  EXPECT_EQ(pops, 1);
  cut->Click();
  cut->SetEnabled(false);
  cut->Click();
  EXPECT_EQ(cuts, 1);
  // A "-" item is a plain separator line: no text drawn on it.
  auto* line = new TMenuItem(&form);
  line->SetCaption("-");
  menu.Items()->Add(line);
  EXPECT_TRUE(line->Action()->isSeparator());
  EXPECT_TRUE(line->Action()->text().isEmpty());
  line->SetCaption("x");
  EXPECT_FALSE(line->Action()->isSeparator());
  EXPECT_EQ(line->Action()->text(), "x");
}

TEST(TimersTest, TimersTickFromTheQtLoopAndStopThemselves) {
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(5);
  timer.SetOnTimer([&](TObject*) {
    if (++ticks == 2) timer.SetEnabled(false);
  });
  QElapsedTimer clock;
  clock.start();
  while (ticks < 2 && clock.elapsed() < 2000) Application->HandleMessage();
  EXPECT_EQ(ticks, 2);
  QTest::qWait(30);
  EXPECT_EQ(ticks, 2);
}

TEST(FileCtrlTest, FileListTakesTheMaskAndFolderListChangesFolder) {
  auto dir = std::filesystem::temp_directory_path() / ("orv-files-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "sub");
  for (const char* n : {"b.smt", "A.SMT", "b.dbf", "c.SMTX"}) std::ofstream(dir / n) << "x";
  TFileListBox files(nullptr);
  files.SetMask("*.smt");
  files.SetDirectory(dir.string());
  EXPECT_EQ(files.Items().CommaText(), "A.SMT,b.smt");
  TDirectoryListBox dirs(nullptr);
  int changes = 0;
  dirs.OnChange = [&](TObject*) { ++changes; };
  std::string keep = GetCurrentDir();
  dirs.SetDirectory(dir.string());
  dirs.SetItemIndex(dirs.Items().Count() - 1);  // "sub"
  dirs.OpenCurrent();
  EXPECT_EQ(dirs.Directory(), (dir / "sub").string());
  EXPECT_EQ(GetCurrentDir(), (dir / "sub").string());
  EXPECT_EQ(changes, 2);
  SetCurrentDir(keep);
  std::filesystem::remove_all(dir);
}

TEST(ScreenTest, CursorGaugeAndFormsInActivationOrder) {
  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crHourGlass);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  TGauge gauge(nullptr);
  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetProgress(50);
  EXPECT_EQ(gauge.PercentDone(), 50);

  // Forms are in the screen's list, the active one first.
  TForm a(nullptr), b(nullptr);
  a.Show();
  b.Show();
  EXPECT_EQ(Screen->ActiveForm(), &b);
  EXPECT_EQ(Screen->Forms(0), &b);
  b.Hide();
  EXPECT_EQ(Screen->ActiveForm(), &a);
  EXPECT_GE(Screen->FormCount(), 2);
}

}  // namespace
