// Showing, editing and saving notes in the main window, typed and clicked for real, with the
// note file read back from disk: the save and its limits, new notes, the Esc prompt, selection
// to title, a lock held by another process, rich text across a reopen, text import and export.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTableView>
#include <QTextEdit>

#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "NoteBookFixture.h"
#include "platform/core/Cp949.h"
#include "platform/core/TextCodec.h"
#include "support/ForkedLockHolder.h"

using cp949::K;

namespace nbtest {
namespace {

class NoteEditTest : public NoteBookTest {
 protected:
  void StartOn(const std::vector<TNote>& notes, const std::string& lock = " ") {
    MakeNoteFile(data.Path(), "t.dbf", 60, "Title1  Title2  Title3  Title4  ", "Test", "", lock, notes);
    PlaceShippedFiles(data.Path());
    WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "t.dbf"}});
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
  // A field of record rec as stored (the header is record 1).
  std::string Stored(int rec, const std::string& field) {
    auto t = OpenTable(data.Path(), "t.dbf");
    t->SetRecNo(rec);
    std::string v = field == "mmm" ? t->FieldByName("mmm")->AsString() : t->GetString(field);
    t->Close();
    // The engine's deleted-record switch is shared with the running window: hide them again.
    TXbEnv env;
    env.SetDeleted(true);
    return v;
  }
  void Type(TControl* c, const std::string& cp949Text) {
    QWidget* w = Target(c);
    for (QChar ch : QString::fromStdString(cp949::ToUtf8(cp949Text))) {
      if (ch.unicode() < 0x80) {
        QTest::keyClick(w, static_cast<char>(ch.unicode()));
      } else {
        // Hangul arrives as committed text, as from the input method.
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
      }
    }
  }
  QWidget* Target(TControl* c) {
    if (c == MainForm->memo1) return MainForm->memo1->TextEdit();
    return c->Widget();
  }
  void Focus(TWinControl* c) {
    c->SetFocus();
    Application->ProcessMessages();
  }
  // A command of the window that may move the note list away from the note shown.
  struct TMove {
    const char* what;
    std::function<void()> move;
  };
  // A left click on the first row of the note list, as the user gives it.
  static void ClickFirstRow() {
    QTableView* v = MainForm->DBGrid1->View();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(v->model()->index(0, 0)).center());
  }
  // Another running copy of the program changes record recNo of t.dbf under its lock: a
  // process of its own, gone when this returns; false when it could not.
  bool InAnotherCopy(int recNo, const std::function<void(TXbDispatch&)>& change) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      TXbDispatch d;
      d.WorkArea = d.xb_UseEx(data.Path() + "/t.dbf", "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0);
      d.SelectWorkArea();
      d.xb_Go(recNo);
      const bool ok = d.WorkArea > 0 && d.xb_Rlock(recNo) != 0;
      if (ok) {
        change(d);
        d.xb_Commit();
        d.xb_Unlock(recNo);
      }
      d.xb_Close();
      _exit(ok ? 0 : 1);
    }
    int status = -1;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::string MessageTexts() {
    std::string all;
    for (const TMessageBoxCall& b : fake.Boxes) all += b.Text + "|";
    return all;
  }
};

TEST_F(NoteEditTest, TypedNoteIsSavedWhenTheBodyIsLeft) {
  StartOn({{"first", "", "", "", "one"}});
  MainForm->SpeedButton2->Click();
  // The new note is in the file at once, and the position shows it.
  EXPECT_EQ(MainForm->Label77->Caption(), "2/2");
  EXPECT_EQ(ReadRecords(data.Path(), "t.dbf").size(), 3u);
  EXPECT_TRUE(MainForm->Edit1->Focused());
  Type(MainForm->Edit1, K("새 메모"));
  Type(MainForm->Edit2, "two");
  Type(MainForm->Edit3, "three");
  Type(MainForm->Edit4, "four");
  Focus(MainForm->memo1);
  Type(MainForm->memo1, "body text");
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_Return);
  Type(MainForm->memo1, K("둘째 줄"));
  Focus(MainForm->DBGrid1);
  EXPECT_FALSE(MainForm->NoteDirty());
  EXPECT_EQ(MainForm->Label77->Caption(), "2/2");
  EXPECT_EQ(Trim(Stored(3, "tit1")), K("새 메모"));
  EXPECT_EQ(Trim(Stored(3, "tit2")), "two");
  EXPECT_EQ(Trim(Stored(3, "tit3")), "three");
  EXPECT_EQ(Trim(Stored(3, "tit4")), "four");
  EXPECT_EQ(Stored(3, "type"), " ");
  EXPECT_EQ(Stored(3, "mmm"), "body text\r\n" + K("둘째 줄"));
  EXPECT_EQ(Trim(Stored(2, "tit1")), "first") << "the note before is untouched";
  EXPECT_TRUE(fake.Boxes.empty()) << MessageTexts();
}

TEST_F(NoteEditTest, OnlyATitleChangedLeavesBodyAndTypeAlone) {
  // A rich note whose stored body is not rich-text source: any body write would change it.
  StartOn({{"a", "b", "c", "d", "stored\nbody"}});
  WriteFields(data.Path(), "t.dbf", 2, {{"type", "R"}});
  DestroyProgramForms();
  Start();
  Focus(MainForm->Edit2);
  MainForm->Edit2->SelectAll();
  Type(MainForm->Edit2, "B2");
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Trim(Stored(2, "tit1")), "a");
  EXPECT_EQ(Trim(Stored(2, "tit2")), "B2");
  EXPECT_EQ(Trim(Stored(2, "tit4")), "d");
  EXPECT_EQ(Stored(2, "type"), "R");
  EXPECT_EQ(Stored(2, "mmm"), "stored\nbody");
}

TEST_F(NoteEditTest, RichBodiesUpTo10000BytesAreStoredAndLongerOnesRefused) {
  StartOn({{"rich", "", "", "", "old"}});
  const std::string syllables = [] {
    std::string s;
    for (int i = 0; i < 5000; ++i) s += K("가");
    return s;
  }();
  struct Case {
    const char* what;
    std::string text;
    bool stored;
    int length;
  };
  const std::vector<Case> cases = {
      {"10000 letters", std::string(10000, 'x'), true, 10000},
      {"10001 letters", std::string(10001, 'y'), false, 10001},
      {"5000 syllables", syllables, true, 10000},
      {"5000 syllables and a line break", syllables + "\r\n", false, 10002},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = Stored(2, "mmm");
    fake.Boxes.clear();
    MainForm->memo1->SetPlainText(false);
    MainForm->memo1->SetText(c.text);
    MainForm->memo1->SetModified(true);
    ASSERT_EQ(MainForm->memo1->GetTextLen(), c.length);
    EXPECT_EQ(MainForm->SaveNote(), c.stored);
    if (c.stored) {
      EXPECT_TRUE(fake.Boxes.empty()) << MessageTexts();
      EXPECT_EQ(Stored(2, "type"), "R");
      EXPECT_NE(Stored(2, "mmm"), before);
      EXPECT_FALSE(MainForm->memo1->Modified());
    } else {
      ASSERT_EQ(fake.Boxes.size(), 1u);
      EXPECT_EQ(fake.Boxes[0].Text, "(" + std::to_string(c.length) +
                                        K("Byte) 10000 Byte 이상은 RTF형식으로 저장할수 없습니다."));
      EXPECT_EQ(Stored(2, "mmm"), before);
      EXPECT_TRUE(MainForm->memo1->Modified()) << "the body stays to be saved";
    }
  }
  // Plain bodies have no such limit.
  const std::string plain(50000, 'p');
  MainForm->memo1->SetPlainText(true);
  MainForm->memo1->SetText(plain);
  MainForm->memo1->SetModified(true);
  EXPECT_TRUE(MainForm->SaveNote());
  EXPECT_EQ(Stored(2, "mmm"), plain);
  EXPECT_EQ(Stored(2, "type"), " ");
}

TEST_F(NoteEditTest, EscAsksAndNoBringsBackTheStoredBody) {
  StartOn({{"esc", "", "", "", "kept"}});
  Focus(MainForm->memo1);
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_Escape);
  EXPECT_TRUE(fake.Boxes.empty()) << "an unchanged body only moves on to the list";
  EXPECT_TRUE(MainForm->DBGrid1->Focused());

  Focus(MainForm->memo1);
  Type(MainForm->memo1, "changed ");
  fake.Answers.push_back(IDNO);
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_Escape);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K("본문이 변경되었습니다 저장할까요?"));
  EXPECT_EQ(MainForm->memo1->Text(), "kept");
  EXPECT_TRUE(MainForm->DBGrid1->Focused());
  EXPECT_EQ(Stored(2, "mmm"), "kept");

  Focus(MainForm->memo1);
  Type(MainForm->memo1, "new ");
  fake.Answers.push_back(IDYES);
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_Escape);
  EXPECT_EQ(Stored(2, "mmm"), "new kept");
}

TEST_F(NoteEditTest, SelectionToTitleByKeyAndByMenu) {
  StartOn({{"one", "", "", "", " spaced word"}, {"two", "", "", "", "plain"}});
  MainForm->NoteTable->GoTop();
  ASSERT_EQ(MainForm->Edit1->Text(), "one");
  // Alt+1: the selection is the title and the next save stores it.
  Focus(MainForm->memo1);
  MainForm->memo1->SetSelStart(1);
  MainForm->memo1->SetSelLength(6);
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_1, Qt::AltModifier);
  EXPECT_EQ(MainForm->Edit1->Text(), "spaced");
  EXPECT_TRUE(MainForm->Edit1->Modified());
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Trim(Stored(2, "tit1")), "spaced");

  // The menu command trims; a trim that removed blanks leaves the title unsaved.
  MainForm->memo1->SetSelStart(0);
  MainForm->memo1->SetSelLength(7);
  dynamic_cast<TMenuItem*>(MainForm->FindComponent("BodyPasteTit2"))->Click();
  EXPECT_EQ(MainForm->Edit2->Text(), "spaced");
  EXPECT_FALSE(MainForm->Edit2->Modified());
  MainForm->DBMemo1Save();
  EXPECT_EQ(Trim(Stored(2, "tit2")), "");
  MainForm->NoteTable->Next();
  EXPECT_EQ(MainForm->Edit2->Text(), "") << "another note shows its own stored title";

  // Without blanks around it the menu's title is stored like Alt+1's.
  MainForm->memo1->SetSelStart(0);
  MainForm->memo1->SetSelLength(5);
  dynamic_cast<TMenuItem*>(MainForm->FindComponent("BodyPasteTit3"))->Click();
  EXPECT_TRUE(MainForm->Edit3->Modified());
  MainForm->DBMemo1Save();
  EXPECT_EQ(Trim(Stored(3, "tit3")), "plain");
}

TEST_F(NoteEditTest, ALockHeldByAnotherCopyKeepsTheEditsAndSaysSo) {
  StartOn({{"locked", "", "", "", "body"}});
  TXbEnv quick;
  quick.SetLockTimeOut(0);
  // Another running copy holds the note.
  TForkedLockHolder other(data.Path() + "/t.dbf", 2);
  ASSERT_TRUE(other.Holding());

  Focus(MainForm->Edit1);
  MainForm->Edit1->SelectAll();
  Type(MainForm->Edit1, "mine");
  Focus(MainForm->memo1);
  Type(MainForm->memo1, "more ");
  Focus(MainForm->DBGrid1);
  ASSERT_GE(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, kRecordLockFailed);
  EXPECT_TRUE(MainForm->Edit1->Modified());
  EXPECT_TRUE(MainForm->memo1->Modified());
  EXPECT_EQ(MainForm->memo1->Text(), "more body");
  EXPECT_EQ(MainForm->Edit1->Text(), "mine");
  EXPECT_EQ(Trim(Stored(2, "tit1")), "locked");

  // Closing asks before dropping what cannot be saved; No keeps the window.
  fake.Boxes.clear();
  fake.Answers = {IDOK, IDNO};
  bool canClose = true;
  MainForm->FormCloseQuery(MainForm, canClose);
  EXPECT_FALSE(canClose);
  EXPECT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(fake.Boxes.back().Text, K("저장하지 못한 내용이 있습니다. 저장하지 않고 끝낼까요?"));

  other.Release();
  quick.SetLockTimeOut(1);
  EXPECT_TRUE(MainForm->SaveNote()) << "the next save, once the lock is free, stores it";
  EXPECT_EQ(Trim(Stored(2, "tit1")), "mine");
  EXPECT_EQ(Stored(2, "mmm"), "more body");
}

// A new note is a note of the file from F2: no command that moves the list drops it or what
// is typed into it, whatever order the list is in.
TEST_F(NoteEditTest, ANewNoteOutlivesEveryCommandThatMovesTheList) {
  StartOn({{"alpha", "", "", "", "a"}, {"beta", "", "", "", "b"}});
  MainForm->SortBtnClick(1);  // the tag of title 1 is there from now on
  const std::vector<TMove> cases = {
      {"sort by title 1", [] { MainForm->Sort1Btn->Click(); }},
      {"sort by title 3, its tag made first", [] { MainForm->Sort3Btn->Click(); }},
      {"entry order", [] { MainForm->RecOrderBtnMouseDown(MainForm->RecOrderBtn, mbLeft, 0, 2, 2); }},
      {"quick move",
       [this] {
         dialogs.Inputs.push_back(std::string("alpha"));
         MainForm->QuickBtn->Click();
       }},
      {"search",
       [] {
         MainForm->SeekComboBox->SetItemIndex(0);
         MainForm->SeekEd->SetText("alpha");
         MainForm->OkSeekBtnClick(nullptr);
         MainForm->ClearQuery(true);
       }},
      {"next marked note", [] { MainForm->NextMarkedNote(); }},
      {"record number",
       [] {
         MainForm->RecEdShow();
         QTest::keyClicks(MainForm->RecEd->Widget(), "1");
         QTest::keyClick(MainForm->RecEd->Widget(), Qt::Key_Return);
       }},
      {"history back", [] { MainForm->PreBtnClick(nullptr); }},
      {"a click on another row", ClickFirstRow},
  };
  int n = 0;
  for (const TMove& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string title = "new " + std::to_string(++n);
    Focus(MainForm->Edit1);
    QTest::keyClick(MainForm->Edit1->Widget(), Qt::Key_F2);
    ASSERT_TRUE(MainForm->Edit1->Focused());
    Type(MainForm->Edit1, title);
    c.move();
    Application->ProcessMessages();
    Focus(MainForm->DBGrid1);
    const std::vector<TNoteRecord> stored = ReadRecords(data.Path(), "t.dbf");
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(3 + n));
    int found = 0;
    for (const TNoteRecord& r : stored) found += !r.deleted && r.tit[0] == title ? 1 : 0;
    EXPECT_EQ(found, 1);
    EXPECT_TRUE(fake.Boxes.empty()) << MessageTexts();
  }
  // Made while a search is in force, which the new note does not match: typed into it all
  // the same, and no other note touched.
  const std::vector<TNoteRecord> before = ReadRecords(data.Path(), "t.dbf");
  MainForm->SeekComboBox->SetItemIndex(0);
  MainForm->SeekEd->SetText("alpha");
  MainForm->OkSeekBtnClick(nullptr);
  ASSERT_FALSE(MainForm->Label6->Caption().empty());
  MainForm->SpeedButton2->Click();
  Type(MainForm->Edit1, "unmatched");
  Focus(MainForm->DBGrid1);
  std::vector<TNoteRecord> expected = before;
  expected.push_back(TNoteRecord{false, " ", {"unmatched"}, " ", " ", ""});
  EXPECT_EQ(ReadRecords(data.Path(), "t.dbf"), expected);
}

// Another running copy deleted the note shown here; the edit made here keeps the note, in
// the file and in view, and the user is told.
TEST_F(NoteEditTest, AnEditOfANoteAnotherCopyDeletedBringsTheNoteBack) {
  StartOn({{"kept", "", "", "", "body"}, {"gone", "", "", "", "old body"}});
  ASSERT_EQ(MainForm->Edit1->Text(), "gone");
  ASSERT_TRUE(InAnotherCopy(3, [](TXbDispatch& d) { d.xb_Delete(); }));
  ASSERT_TRUE(ReadRecords(data.Path(), "t.dbf")[2].deleted);

  Focus(MainForm->Edit1);
  MainForm->Edit1->SelectAll();
  Type(MainForm->Edit1, "mine");
  Focus(MainForm->DBGrid1);
  const std::vector<TNoteRecord> stored = ReadRecords(data.Path(), "t.dbf");
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_FALSE(stored[2].deleted);
  EXPECT_EQ(stored[2].tit[0], "mine");
  EXPECT_EQ(stored[2].body, "old body");
  EXPECT_EQ(MessageTexts(), K(" 다른 곳에서 삭제된 문서입니다. 고친 내용으로 되살렸습니다.") + "|");
  EXPECT_FALSE(MainForm->NoteDirty());
  EXPECT_EQ(MainForm->Edit1->Text(), "mine");
}

// While another copy holds the note, a save is refused: every command that would move away
// from the note, the click on another row included, says so once and leaves the window on
// the note with the text as typed; the delete is refused too. Once the lock is free, leaving
// the note saves it.
TEST_F(NoteEditTest, ARefusedSaveKeepsTheWindowOnTheNoteWithTheText) {
  StartOn({{"other", "", "", "", "x"}, {"mine", "", "", "", "body"}});
  TXbEnv quick;
  quick.SetLockTimeOut(0);
  TForkedLockHolder holder(data.Path() + "/t.dbf", 3);
  ASSERT_TRUE(holder.Holding());
  Focus(MainForm->Edit1);
  MainForm->Edit1->SelectAll();
  Type(MainForm->Edit1, "typed");
  const std::vector<TMove> cases = {
      {"a click on another row", ClickFirstRow},
      {"sort by title 1", [] { MainForm->Sort1Btn->Click(); }},
      {"entry order", [] { MainForm->RecOrderBtnMouseDown(MainForm->RecOrderBtn, mbLeft, 0, 2, 2); }},
      {"quick move", [] { MainForm->QuickBtn->Click(); }},
      {"next marked note", [] { MainForm->NextMarkedNote(); }},
      {"new note", [] { MainForm->SpeedButton2->Click(); }},
      {"file store", [] { MainForm->FileBtn->Click(); }},
      {"print", [] { MainForm->PrintBtn->Click(); }},
      {"title search", [] { MainForm->FindDlgShow(); }},
      {"history back", [] { MainForm->PreBtnClick(nullptr); }},
  };
  for (const TMove& c : cases) {
    SCOPED_TRACE(c.what);
    fake.Boxes.clear();
    c.move();
    Application->ProcessMessages();
    EXPECT_EQ(MessageTexts(), std::string(kRecordLockFailed) + "|");
    EXPECT_TRUE(shown.empty());
    ASSERT_TRUE(MainForm->NoteTable->Active());
    EXPECT_EQ(MainForm->NoteTable->RecNo(), 3);
    EXPECT_EQ(MainForm->Edit1->Text(), "typed");
    EXPECT_TRUE(MainForm->Edit1->Modified());
  }
  EXPECT_TRUE(MainForm->Edit1->Focused()) << "the click left the focus where the text is";

  fake.Answers.push_back(IDYES);
  EXPECT_THROW(MainForm->DeleteClick(MainForm), EXbError);
  EXPECT_FALSE(ReadRecords(data.Path(), "t.dbf")[2].deleted);
  EXPECT_TRUE(MainForm->Edit1->Modified());

  holder.Release();
  quick.SetLockTimeOut(1);
  fake.Boxes.clear();
  Focus(MainForm->DBGrid1);
  EXPECT_TRUE(fake.Boxes.empty()) << MessageTexts();
  EXPECT_EQ(ReadRecords(data.Path(), "t.dbf")[2].tit[0], "typed");
}

TEST_F(NoteEditTest, ATitleAnotherCopyChangedIsNotWrittenBackFromTheShownNote) {
  StartOn({{"a", "b", "c", "d", "body"}});
  ASSERT_EQ(MainForm->Edit1->Text(), "a");
  // Another running copy changes title 1 and the body of the note shown here.
  ASSERT_TRUE(InAnotherCopy(2, [](TXbDispatch& d) {
    d.xb_Replace("tit1", XB_RT_TEXT, "theirs");
    d.xb_Replace("mmm", XB_RT_MEMO, "their body");
  }));
  ASSERT_EQ(Trim(Stored(2, "tit1")), "theirs");

  // This window still shows "a"; the user changes title 2 only and moves to the list.
  Focus(MainForm->Edit2);
  MainForm->Edit2->SelectAll();
  Type(MainForm->Edit2, "mine");
  Focus(MainForm->DBGrid1);
  EXPECT_FALSE(MainForm->NoteDirty());
  EXPECT_EQ(Trim(Stored(2, "tit1")), "theirs");
  EXPECT_EQ(Trim(Stored(2, "tit2")), "mine");
  EXPECT_EQ(Trim(Stored(2, "tit3")), "c");
  EXPECT_EQ(Stored(2, "mmm"), "their body");

  // A title this window did change is written, even back to what it first showed.
  Focus(MainForm->Edit1);
  MainForm->Edit1->SelectAll();
  Type(MainForm->Edit1, "again");
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Trim(Stored(2, "tit1")), "again");
  EXPECT_EQ(Trim(Stored(2, "tit2")), "mine");
}

TEST_F(NoteEditTest, RichTextSurvivesSaveReopenAndExport) {
  StartOn({{"rich", "", "", "", ""}});
  TRichEdit* m = MainForm->memo1;
  MainForm->ARBtn->Click();
  ASSERT_FALSE(m->PlainText());
  m->SetText("bold red link");
  m->SetSelStart(0);
  m->SetSelLength(4);
  m->SelAttributes().SetStyle(TFontStyles{fsBold});
  m->SetSelStart(5);
  m->SetSelLength(3);
  m->SelAttributes().SetColor(clRed);
  m->SetSelStart(9);
  m->SetSelLength(4);
  MainForm->MarkLinkClick(MainForm);
  // Alt+L: the font dialog starts from the selection's font and gives the selection its own.
  m->SetFocus();
  m->SetSelStart(0);
  m->SetSelLength(4);
  const std::string face = m->SelAttributes().Name();
  dialogs.Fonts.push_back(TFontChoice{face, 16, TFontStyles{fsBold, fsItalic}, clNavy});
  QTest::keyClick(m->TextEdit(), Qt::Key_L, Qt::AltModifier);
  ASSERT_EQ(dialogs.FontRequests, std::vector<std::string>{face});
  EXPECT_EQ(m->Text(), "bold red link") << "the key types nothing";
  ASSERT_TRUE(MainForm->SaveNote());
  EXPECT_EQ(Stored(2, "type"), "R");
  const std::string source = Stored(2, "mmm");
  EXPECT_EQ(source.rfind("{\\rtf", 0), 0u);

  DestroyProgramForms();
  Start();
  m = MainForm->memo1;
  EXPECT_FALSE(m->PlainText());
  EXPECT_EQ(MainForm->ARBtn->NumGlyphs(), 2);
  EXPECT_EQ(m->Text(), "bold red link");
  auto at = [m](int start, int length) -> TTextAttributes& {
    m->SetSelStart(start);
    m->SetSelLength(length);
    return m->SelAttributes();
  };
  EXPECT_TRUE(at(0, 4).Style().Contains(fsBold));
  EXPECT_TRUE(at(0, 4).Style().Contains(fsItalic));
  EXPECT_EQ(at(0, 4).Size(), 16);
  EXPECT_EQ(ColorToRGB(at(0, 4).Color()), ColorToRGB(clNavy));
  EXPECT_FALSE(at(5, 3).Style().Contains(fsBold));
  EXPECT_EQ(ColorToRGB(at(5, 3).Color()), ColorToRGB(clRed));
  EXPECT_TRUE(at(9, 4).Style().Contains(fsUnderline));
  EXPECT_EQ(ColorToRGB(at(9, 4).Color()), ColorToRGB(clGreen));
  EXPECT_FALSE(m->Modified());

  const std::string out = data.Path() + "/rich.txt";
  dialogs.Files.push_back(out);
  MainForm->SaveFileBtn->Click();
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), source) << "the rich-text source as stored";

  // Switched to plain, the body is stored as its text.
  MainForm->ARBtn->Click();
  EXPECT_EQ(MainForm->ARBtn->NumGlyphs(), 1);
  EXPECT_TRUE(m->Modified());
  ASSERT_TRUE(MainForm->SaveNote());
  EXPECT_EQ(Stored(2, "type"), " ");
  EXPECT_EQ(Stored(2, "mmm"), "bold red link");
}

// Text files as Linux has them: a folder and files with UTF-8 names, contents in UTF-8 (with
// or without a byte-order mark) or in CP949 from an older system; the export is UTF-8.
TEST_F(NoteEditTest, TextImportReadsUtf8AndCp949FilesAndExportWritesUtf8) {
  StartOn({{"before", "", "", "", "mine"}});
  const std::string utf8 = "첫째 줄 가나다\r\nsecond line\r\n셋째 줄 한글\r\n";
  const std::string text = K(utf8);
  // A long path: the title field keeps what fits, never half a character.
  fs::create_directories(data.Path() + "/아주긴폴더이름입니다");
  struct Case {
    const char* file;
    std::string bytes;
  } cases[] = {
      {"가져올글.TXT", utf8},
      {"표시있는글.txt", "\xEF\xBB\xBF" + utf8},
      {"옛날글.txt", text},
  };
  for (const Case& c : cases) std::ofstream(data.Path() + "/아주긴폴더이름입니다/" + c.file, std::ios::binary) << c.bytes;

  // The note being edited is stored first.
  Focus(MainForm->memo1);
  Type(MainForm->memo1, "edited ");
  int rec = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    // The dialog hands over the name as program text.
    const std::string in = data.Path() + "/" + K("아주긴폴더이름입니다") + "/" + K(c.file);
    dialogs.Files.push_back(in);
    MainForm->ReadFileBtn->Click();
    EXPECT_TRUE(fake.Boxes.empty()) << MessageTexts();
    ASSERT_EQ(MainForm->NoteTable->RecCount(), rec);
    const std::string tit1 = Stored(rec, "tit1");
    EXPECT_EQ(Trim(tit1), cp949::Cut(in, 60));
    EXPECT_TRUE(cp949::IsCharBoundary(tit1, tit1.size()));
    EXPECT_EQ(Stored(rec, "mmm") + "\r\n", text);
    EXPECT_FALSE(MainForm->NoteDirty());
    ++rec;
  }
  EXPECT_EQ(Stored(2, "mmm"), "edited mine");

  // Text that a note cannot hold is refused with the file's name, and no note is added.
  std::ofstream(data.Path() + "/smile.txt", std::ios::binary) << "smile \xF0\x9F\x98\x80";
  dialogs.Files.push_back(data.Path() + "/smile.txt");
  MainForm->ReadFileBtn->Click();
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_NE(fake.Boxes[0].Text.find(data.Path() + "/smile.txt"), std::string::npos) << MessageTexts();
  EXPECT_NE(fake.Boxes[0].Text.find("U+1F600"), std::string::npos) << MessageTexts();
  EXPECT_EQ(MainForm->NoteTable->RecCount(), rec - 1);

  const std::string out = data.Path() + "/" + K("내보낸글.txt");
  dialogs.Files.push_back(out);
  MainForm->SaveFileBtn->Click();
  std::ifstream back(data.Path() + "/내보낸글.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), utf8) << "the system's encoding, UTF-8";
}

TEST_F(NoteEditTest, WriteProtectedFileRefusesNewNotesDeletesAndImports) {
  StartOn({{"guarded", "", "", "", "body"}}, "1");
  MainForm->SpeedButton2Click(MainForm);
  MainForm->DeleteClick(MainForm);
  MainForm->ReadFileBtnClick(MainForm);
  ASSERT_EQ(fake.Boxes.size(), 3u);
  EXPECT_EQ(fake.Boxes[0].Text, K("  \"쓰기방지\" 되어 있습니다..."));
  EXPECT_EQ(fake.Boxes[1].Text, K("  쓰기,삭제 방지 되어 있습니다. "));
  EXPECT_EQ(fake.Boxes[2].Text, K("  \"쓰기방지\" 되어 있습니다..."));
  EXPECT_TRUE(dialogs.FileRequests.empty());
  EXPECT_EQ(MainForm->NoteTable->RecCount(), 2);
}

// Every character of the body in the edit's own font: no weight, size or face of its own.
void ExpectNoCharFormat(TRichEdit* m, const char* what) {
  SCOPED_TRACE(what);
  for (QTextBlock b = m->TextEdit()->document()->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      EXPECT_FALSE(f.hasProperty(QTextFormat::FontWeight)) << it.fragment().text().toStdString();
      EXPECT_FALSE(f.hasProperty(QTextFormat::FontPointSize)) << it.fragment().text().toStdString();
    }
  }
  EXPECT_EQ(m->SelAttributes().Size(), MainForm->TempEd->Font().Size());
  EXPECT_FALSE(m->SelAttributes().Style().Contains(fsBold));
}

// Browsing from a rich note that begins with a big bold heading to a plain one, and then
// typing a new note: neither takes the heading's format.
TEST_F(NoteEditTest, PlainBodyAfterARichOneShowsInTheBodyFontOnly) {
  const std::string heading = "{\\rtf1\\ansi{\\fonttbl{\\f0 Serif;}}\\f0\\fs48\\b Heading\\b0\\par text\\par}";
  StartOn({{"rich", "", "", "", heading}, {"plain", "", "", "", "Heading"}});
  WriteFields(data.Path(), "t.dbf", 2, {{"type", "R"}});
  TRichEdit* m = MainForm->memo1;
  Focus(MainForm->DBGrid1);
  QTest::keyClick(MainForm->DBGrid1->Widget(), Qt::Key_Home, Qt::ControlModifier);
  ASSERT_EQ(MainForm->NoteTable->RecNo(), 2);
  ASSERT_FALSE(m->PlainText());
  m->SetSelStart(0);
  EXPECT_TRUE(m->SelAttributes().Style().Contains(fsBold)) << "the rich note shows its heading";

  QTest::keyClick(MainForm->DBGrid1->Widget(), Qt::Key_Down);
  ASSERT_EQ(MainForm->NoteTable->RecNo(), 3);
  EXPECT_TRUE(m->PlainText());
  EXPECT_EQ(m->Text(), "Heading") << "the same text as the heading, shown plain";
  ExpectNoCharFormat(m, "plain note");

  QTest::keyClick(MainForm->DBGrid1->Widget(), Qt::Key_Up);
  ASSERT_EQ(MainForm->NoteTable->RecNo(), 2);
  MainForm->SpeedButton2->Click();
  Focus(m);
  QTest::keyClicks(m->TextEdit(), "typed");
  EXPECT_EQ(m->Text(), "typed");
  ExpectNoCharFormat(m, "new note");
}

// Enter walks the titles and goes from title 4 to the body, and so does Tab: what is typed
// next lands in the body, not in the note list.
TEST_F(NoteEditTest, EnterAndTabFromTheLastTitleGoToTheBody) {
  StartOn({{"n1", "", "", "", "x"}, {"n2", "", "", "", "y"}});
  const XbLong rec = MainForm->NoteTable->RecNo();
  Focus(MainForm->Edit1);
  TEdit* titles[4] = {MainForm->Edit1, MainForm->Edit2, MainForm->Edit3, MainForm->Edit4};
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(titles[i]->LineEdit(), Qt::Key_Return);
    EXPECT_EQ(MainForm->ActiveControl(), titles[i + 1]);
  }
  QTest::keyClick(MainForm->Edit4->LineEdit(), Qt::Key_Return);
  EXPECT_EQ(MainForm->ActiveControl(), MainForm->memo1);
  Focus(MainForm->Edit4);
  QTest::keyClick(MainForm->Edit4->LineEdit(), Qt::Key_Tab);
  EXPECT_EQ(MainForm->ActiveControl(), MainForm->memo1);
  QTest::keyClicks(MainForm->memo1->TextEdit(), " z");
  EXPECT_EQ(MainForm->memo1->Text(), " zy");
  EXPECT_EQ(MainForm->NoteTable->RecNo(), rec) << "no key reached the list";
}

// The V and R buttons show their state in their pictures.
TEST_F(NoteEditTest, MarkAndRichButtonsDrawTheirState) {
  StartOn({{"n1", "", "", "", "x"}});
  auto count = [](TControl* c, auto test) {
    const QImage img = c->Widget()->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += test(img.pixelColor(x, y)) ? 1 : 0;
    return n;
  };
  auto red = [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
  auto blue = [](QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; };
  EXPECT_EQ(count(MainForm->ChkBtn, red), 0) << "not marked: no tick";
  EXPECT_EQ(count(MainForm->ARBtn, blue), 0) << "plain: no colour";
  QTest::mouseClick(MainForm->ChkBtn->Widget(), Qt::LeftButton);
  EXPECT_EQ(Stored(2, "chk"), "v");
  EXPECT_GT(count(MainForm->ChkBtn, red), 5) << "marked: the red tick";
  QTest::mouseClick(MainForm->ARBtn->Widget(), Qt::LeftButton);
  EXPECT_FALSE(MainForm->memo1->PlainText());
  EXPECT_GT(count(MainForm->ARBtn, blue), 3) << "rich: coloured lines";
  MainForm->ChkBtn->SetEnabled(false);
  EXPECT_EQ(count(MainForm->ChkBtn, red), 0) << "disabled: the grey cell";
}

TEST_F(NoteEditTest, MarksDeleteAndTheLineDelete) {
  StartOn({{"n1", "", "", "", "l1\r\nl2\r\nl3"}, {"n2", "", "", "", "x"}, {"n3", "", "", "", "y"}});
  MainForm->NoteTable->GoTop();
  // V mark by button, then Space in the list toggles it back and moves on.
  MainForm->ChkBtn->Click();
  EXPECT_EQ(Stored(2, "chk"), "v");
  EXPECT_EQ(MainForm->ChkBtn->NumGlyphs(), 2);
  Focus(MainForm->DBGrid1);
  QTest::keyClick(MainForm->DBGrid1->Widget(), Qt::Key_Space);
  EXPECT_EQ(Stored(2, "chk"), " ");
  EXPECT_TRUE(MainForm->NoteTableCHK->Visible);
  EXPECT_EQ(MainForm->NoteTable->RecNo(), 3);

  // Ctrl+Y deletes the caret's line and only marks the body: the table stays browsing.
  MainForm->NoteTable->GoTop();
  Focus(MainForm->memo1);
  MainForm->memo1->SetSelStart(5);
  QTest::keyClick(MainForm->memo1->TextEdit(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(MainForm->memo1->Text(), "l1\r\nl3");
  EXPECT_TRUE(MainForm->memo1->Modified());
  EXPECT_EQ(MainForm->NoteTable->State(), dsBrowse);
  QTest::keyRelease(MainForm->memo1->TextEdit(), Qt::Key_Right);
  EXPECT_EQ(MainForm->SBar->Panels()[0].Text(), "2,1");
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Stored(2, "mmm"), "l1\r\nl3");

  // Delete asks; typed text of the deleted note never reaches the next one.
  Focus(MainForm->Edit1);
  Type(MainForm->Edit1, "zz");
  fake.Answers.push_back(IDYES);
  QTest::keyClick(MainForm->DBGrid1->Widget(), Qt::Key_Delete);
  EXPECT_EQ(fake.Boxes.back().Text, K(" 삭제 할까요?"));
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Trim(Stored(3, "tit1")), "n2");
  EXPECT_EQ(Trim(Stored(4, "tit1")), "n3");

  // A new note is a note of the file from F2: the delete deletes it with what was typed,
  // and Enter in a title moves on.
  MainForm->SpeedButton2->Click();
  ASSERT_TRUE(MainForm->Edit1->Focused());
  Type(MainForm->Edit1, "never kept");
  QTest::keyClick(MainForm->Edit1->Widget(), Qt::Key_Return);
  EXPECT_TRUE(MainForm->Edit2->Focused());
  fake.Answers.push_back(IDYES);
  MainForm->DeleteClick(MainForm);
  EXPECT_EQ(MainForm->NoteTable->State(), dsBrowse);
  EXPECT_EQ(MainForm->Edit1->Text(), "n3");
  Focus(MainForm->DBGrid1);
  const std::vector<TNoteRecord> stored = ReadRecords(data.Path(), "t.dbf");
  ASSERT_EQ(stored.size(), 5u);
  EXPECT_TRUE(stored[4].deleted);
  EXPECT_EQ(stored[4].tit[0], "") << "the typed title went with the note";
}

TEST_F(NoteEditTest, AChangeThatDoesNotMoveKeepsWhatIsTyped) {
  StartOn({{"stay", "", "", "", "body"}});
  Focus(MainForm->Edit3);
  Type(MainForm->Edit3, "typed");
  MainForm->memo1->SetSelStart(0);
  Focus(MainForm->memo1);
  Type(MainForm->memo1, "new ");
  // The V mark writes the record, which reports a change of the same note.
  MainForm->ChkBtn->Click();
  EXPECT_EQ(Stored(2, "chk"), "v");
  EXPECT_EQ(MainForm->Edit3->Text(), "typed");
  EXPECT_EQ(MainForm->memo1->Text(), "new body");
  EXPECT_TRUE(MainForm->NoteDirty());
  Focus(MainForm->DBGrid1);
  EXPECT_EQ(Trim(Stored(2, "tit3")), "typed");
  EXPECT_EQ(Stored(2, "mmm"), "new body");
  EXPECT_EQ(Stored(2, "chk"), "v");
}

TEST_F(NoteEditTest, BodyMenuOpensOnlyAfterAFreshRightPress) {
  StartOn({{"menu", "", "", "", "some text"}});
  TPopupMenu* menu = MainForm->PopupMenu1;
  EXPECT_FALSE(menu->AutoPopup());
  MainForm->memo1MouseDown(MainForm->memo1, mbRight, 0, 5, 5);
  EXPECT_TRUE(menu->AutoPopup());
  MainForm->memo1->SetSelStart(0);
  MainForm->memo1->SetSelLength(0);
  MainForm->memo1->SetPlainText(true);
  menu->OnPopup(menu);
  EXPECT_FALSE(menu->AutoPopup()) << "the next opening needs another right press";
  auto item = [](const char* n) { return dynamic_cast<TMenuItem*>(MainForm->FindComponent(n)); };
  EXPECT_FALSE(item("BodyCut")->Enabled());
  EXPECT_FALSE(item("BodyFont")->Enabled());
  EXPECT_FALSE(item("BodyLink")->Enabled());
  MainForm->memo1->SetPlainText(false);
  MainForm->memo1->SetSelLength(4);
  menu->OnPopup(menu);
  EXPECT_TRUE(item("BodyCut")->Enabled());
  EXPECT_TRUE(item("BodyCopy")->Enabled());
  EXPECT_TRUE(item("BodyFont")->Enabled());
  EXPECT_TRUE(item("BodyLink")->Enabled());
  // The title menu's Cut and Copy follow the selection of the title last entered.
  Focus(MainForm->Edit4);
  MainForm->Edit4->SetText("abc");
  MainForm->Edit4->SetSelStart(0);
  MainForm->Edit4->SetSelLength(0);
  MainForm->PopupMenu2->OnPopup(MainForm->PopupMenu2);
  EXPECT_FALSE(item("TitleCopy")->Enabled());
  MainForm->Edit4->SetSelLength(2);
  MainForm->PopupMenu2->OnPopup(MainForm->PopupMenu2);
  EXPECT_TRUE(item("TitleCut")->Enabled());
  EXPECT_TRUE(item("TitleCopy")->Enabled());
  // A left or middle press does not allow it.
  MainForm->memo1MouseDown(MainForm->memo1, mbMiddle, 0, 5, 5);
  MainForm->memo1MouseDown(MainForm->memo1, mbLeft, 0, 5, 5);
  EXPECT_FALSE(menu->AutoPopup());
}

}  // namespace
}  // namespace nbtest
