// The main window's keyboard map, typed for real into the focused control: which dialog each
// key opens under which modifiers, and what runs around the dialogs.
#include "NoteBookFixture.h"

#include <QApplication>
#include <QTest>

#include "platform/core/TextCodec.h"

using cp949::K;

namespace nbtest {
namespace {

TEST_F(NoteBookTest, KeysOpenTheirDialogsOnlyUnderTheirModifiers) {
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* dialog;  // nullptr: no dialog
  };
  const Case cases[] = {
      {Qt::Key_F9, Qt::NoModifier, "FileForm"},     {Qt::Key_F9, Qt::ShiftModifier, "FileForm"},
      {Qt::Key_O, Qt::AltModifier, "FileForm"},     {Qt::Key_O, Qt::AltModifier | Qt::ShiftModifier, nullptr},
      {Qt::Key_O, Qt::ControlModifier, nullptr},    {Qt::Key_P, Qt::AltModifier, "NotePrnForm"},
      {Qt::Key_F4, Qt::NoModifier, "FindForm"},     {Qt::Key_F4, Qt::ShiftModifier, "FindForm"},
      {Qt::Key_F4, Qt::AltModifier, nullptr},       {Qt::Key_ScrollLock, Qt::NoModifier, "ScrollForm"},
      {Qt::Key_ScrollLock, Qt::ControlModifier, "ScrollForm"},
  };
  Start();
  MainForm->DBGrid1->SetFocus();
  Application->ProcessMessages();
  for (const Case& c : cases) {
    SCOPED_TRACE(QKeySequence(c.key | c.mods).toString().toStdString());
    shown.clear();
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : MainForm->DBGrid1->Widget();
    QTest::keyClick(target, c.key, c.mods);
    Application->ProcessMessages();
    if (c.dialog)
      EXPECT_EQ(shown, std::vector<std::string>{c.dialog});
    else
      EXPECT_TRUE(shown.empty());
    ASSERT_TRUE(MainForm->NoteTable->Active()) << "the file store reopens the note file";
  }
}

TEST_F(NoteBookTest, PrintNarrowsTheWindowWhileItsDialogIsShown) {
  Start();
  MainForm->SetBounds(0, 0, 900, 600);
  int during = 0;
  answer = [&](TCustomForm&) {
    during = MainForm->Width();
    return mrCancel;
  };
  MainForm->PrintBtn->Click();
  EXPECT_EQ(during, 640);
  EXPECT_EQ(MainForm->Width(), 900);
}

TEST_F(NoteBookTest, FileStoreLaunchClosesTheNoteTableAndDropsTheQuery) {
  Start();
  MainForm->Label6->SetCaption(K("2건 검색"));
  bool closedDuring = false;
  std::string nameDuring = "?";
  answer = [&](TCustomForm&) {
    closedDuring = !MainForm->NoteTable->Active();
    nameDuring = MainForm->NoteTable->TableName();
    return mrOk;
  };
  MainForm->FileBtn->Click();
  EXPECT_TRUE(closedDuring);
  EXPECT_EQ(nameDuring, "");
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_TRUE(MainForm->NoteTable->Active());
}

TEST_F(NoteBookTest, HelpAndHomePagesGoToTheShell) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"k3", "k"}});
  Start();
  EXPECT_EQ(MainForm->Caption().substr(MainForm->Caption().size() - 17), kCaptionSuffix[1]);
  MainForm->HelpBtn->Click();
  MainForm->HomeBtn->Click();
  EXPECT_EQ(dialogs.Opened, (std::vector<std::string>{kHelpPage, kHomePage[1]}));
  uint16_t key = VK_F1;
  MainForm->FormKeyDown(MainForm, key, 0);
  ASSERT_EQ(dialogs.HelpCalls.size(), 1u);
  EXPECT_EQ(dialogs.HelpCalls[0].first, "ohelp.hlp");
  EXPECT_EQ(key, VK_F1) << "the window leaves keys to its controls";
}

}  // namespace
}  // namespace nbtest
