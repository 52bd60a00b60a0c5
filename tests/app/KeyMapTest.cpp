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

// Help, F1 (typed into the focused list) and the home page open the shipped help page of the
// data folder.
TEST_F(NoteBookTest, HelpF1AndHomePageOpenTheShippedHelpPage) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"k3", "k"}});
  Start();
  EXPECT_EQ(MainForm->Caption().substr(MainForm->Caption().size() - 17), kCaptionSuffix[1]);
  const std::string page = data.Path() + "/help/orvel/helporvel.html";
  ASSERT_TRUE(data.Has("help/orvel/helporvel.html")) << "shipped beside the default files";
  MainForm->HelpBtn->Click();
  MainForm->HomeBtn->Click();
  MainForm->DBGrid1->SetFocus();
  Application->ProcessMessages();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  EXPECT_EQ(dialogs.Opened, (std::vector<std::string>{page, page, page}));
  EXPECT_TRUE(dialogs.HelpCalls.empty());
  EXPECT_TRUE(fake.Boxes.empty());

  // A data folder without the page: the one of the shipped files beside the program.
  fs::remove_all(fs::path(data.Path()) / "help");
  dialogs.Opened.clear();
  MainForm->HelpBtn->Click();
  EXPECT_EQ(dialogs.Opened, std::vector<std::string>{std::string(ORV_BINARY_DIR) + "/share/help/orvel/helporvel.html"});
  EXPECT_TRUE(fake.Boxes.empty());
}

}  // namespace
}  // namespace nbtest
