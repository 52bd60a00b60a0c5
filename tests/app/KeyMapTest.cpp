// The main window's keyboard map, typed for real into the focused control: which dialog each
// key opens under which modifiers, and what runs around the dialogs.
#include "NoteBookFixture.h"

#include <QApplication>
#include <QTest>
#include <QTextEdit>

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
      {Qt::Key_P, Qt::ControlModifier, "NotePrnForm"}, {Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier, nullptr},
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

// Every row of the key map, typed into the focused title edit and into the focused body: the
// command runs, and not one character of the key reaches a note, on the screen or on disk.
TEST_F(NoteBookTest, NoKeyOfTheMapTypesIntoTheFocusedEdit) {
  UseNoteFile(data.Path(), {{"alpha", "a2", "a3", "a4", "first body"}, {"beta", "b2", "b3", "b4", "word body"}}, " ");
  Start();
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    int title;  // Alt+1..4: the body's selection becomes this title
  };
  const Case cases[] = {
      {Qt::Key_1, Qt::AltModifier, 1},        {Qt::Key_2, Qt::AltModifier, 2},
      {Qt::Key_3, Qt::AltModifier, 3},        {Qt::Key_4, Qt::AltModifier, 4},
      {Qt::Key_O, Qt::AltModifier, 0},        {Qt::Key_P, Qt::AltModifier, 0},
      {Qt::Key_P, Qt::ControlModifier, 0},    {Qt::Key_Q, Qt::AltModifier, 0},
      {Qt::Key_F1, Qt::NoModifier, 0},        {Qt::Key_F3, Qt::ControlModifier, 0},
      {Qt::Key_F4, Qt::NoModifier, 0},        {Qt::Key_F5, Qt::NoModifier, 0},
      {Qt::Key_F5, Qt::ControlModifier, 0},   {Qt::Key_F9, Qt::NoModifier, 0},
      {Qt::Key_ScrollLock, Qt::NoModifier, 0}, {Qt::Key_F3, Qt::NoModifier, 0},
      {Qt::Key_F2, Qt::NoModifier, 0},
  };
  for (bool body : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE((body ? "body: " : "title: ") + QKeySequence(c.key | c.mods).toString().toStdString());
      // Back on the last note, nothing pending, the seek panel and the number entry closed.
      MainForm->SeekPanClose();
      MainForm->RecEd->SetVisible(false);
      MainForm->NoteTable->SetOrder(0);
      MainForm->NoteTable->GoBottom();
      Application->ProcessMessages();
      std::vector<TNoteRecord> expected = ReadRecords(data.Path(), "notes.dbf");
      const std::size_t current = static_cast<std::size_t>(MainForm->NoteTable->RecNo() - 1);
      ASSERT_LT(current, expected.size());
      TWinControl* edit = body ? static_cast<TWinControl*>(MainForm->memo1) : MainForm->Edit1;
      // A dialog of the case before may leave another window active.
      MainForm->SetFocus();
      edit->SetFocus();
      Application->ProcessMessages();
      if (c.title) {
        // The first word of the body is selected.
        MainForm->memo1->SetSelStart(0);
        MainForm->memo1->SetSelLength(static_cast<int>(expected[current].body.find(' ')));
        expected[current].tit[c.title - 1] = MainForm->memo1->SelText();
      }
      QWidget* focused = QApplication::focusWidget();
      ASSERT_NE(focused, nullptr);
      ASSERT_EQ(focused, body ? static_cast<QWidget*>(MainForm->memo1->TextEdit()) : MainForm->Edit1->Widget());
      QTest::keyClick(focused, c.key, c.mods);
      Application->ProcessMessages();
      // What the window shows is the note as stored, save for the new title; leaving it
      // stores exactly that.
      if (c.key == Qt::Key_F2) expected.push_back(TNoteRecord{false, " ", {}, " ", " ", ""});
      MainForm->DBGrid1->SetFocus();
      Application->ProcessMessages();
      const std::vector<TNoteRecord> stored = ReadRecords(data.Path(), "notes.dbf");
      EXPECT_EQ(stored, expected);
      const std::size_t shown = static_cast<std::size_t>(MainForm->NoteTable->RecNo() - 1);
      ASSERT_LT(shown, stored.size());
      EXPECT_EQ(MainForm->Edit1->Text(), stored[shown].tit[0]);
      EXPECT_EQ(MainForm->memo1->Text(), stored[shown].body);
      EXPECT_EQ(MainForm->SeekEd->Text(), "");
      EXPECT_EQ(MainForm->RecEd->Text(), "");
      ASSERT_TRUE(MainForm->NoteTable->Active());
    }
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
