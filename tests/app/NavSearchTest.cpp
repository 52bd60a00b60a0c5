// Moving through the notes and searching them, on a small note file of the test's own: the
// sort buttons, the quick move, the record-number entry, the walk to the next marked note,
// the visit history, the seek panel and the title search dialog.
#include "NoteBookFixture.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "app/FindForm.h"
#include "app/Udf.h"
#include "platform/ui/QtServices.h"

using cp949::K;

namespace nbtest {

namespace {

std::string Tit(int n) { return Trim(MainForm->NoteTable->GetString("tit" + std::to_string(n))); }

void TypeInto(TWinControl* c, const std::string& text) {
  c->SetFocus();
  QTest::keyClicks(c->Widget()->focusWidget() ? c->Widget()->focusWidget() : c->Widget(),
                   QString::fromStdString(text));
}

void Press(TWinControl* c, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* w = QApplication::focusWidget() ? QApplication::focusWidget() : c->Widget();
  QTest::keyClick(w, key, mods);
  Application->ProcessMessages();
}

// The modal answer that runs Act in the title search dialog once it is activated.
std::function<TModalResult(TCustomForm&)> InFindForm(std::function<void()>& Act) {
  return [&Act](TCustomForm& f) {
    if (&f == FindForm) {
      FindForm->FormActivate(FindForm);
      Act();
    }
    return mrOk;
  };
}

const std::vector<TNote> kFruit = {
    {"date", "d2", "", "", "body of date"},    {"apple", "a2", "", "", "body of apple"},
    {"cherry", "c2", "", "", "body of cherry"}, {"banana", "b2", "", "", "body of banana"},
    {"it's", "q2", "", "", ""},
};

TEST_F(NoteBookTest, SortButtonSavesTheTypedNoteBeforeTheTagIsBuilt) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  TXbTable& t = *MainForm->NoteTable;
  ASSERT_EQ(t.RecNo(), 6);
  EXPECT_FALSE(MainForm->IsTag("TIT2"));
  MainForm->Edit1->SetText("typed");
  MainForm->Edit1->SetModified(true);

  MainForm->Sort2Btn->Click();
  EXPECT_TRUE(MainForm->IsTag("TIT2"));
  EXPECT_EQ(t.Tag, 2);
  EXPECT_EQ(MainForm->DBGrid1->SelectedIndex(), 1);
  EXPECT_EQ(Trim(ReadField(data.Path(), "notes.dbf", 6, "tit1")), "typed") << "the reopen lost the edit";
  EXPECT_EQ(MainForm->Edit1->Text(), Tit(1)) << "the edits show the current note";
  t.GoTop();
  EXPECT_EQ(Tit(2), "a2");
  t.Skip(1);
  EXPECT_EQ(Tit(2), "b2");

  // An existing tag is not rebuilt: the sort only switches the order.
  MainForm->RecOrderBtn->OnMouseDown(MainForm->RecOrderBtn, mbLeft, TShiftState(), 1, 1);
  EXPECT_EQ(t.Tag, 0);
  EXPECT_EQ(t.RecNo(), 6) << "entry order goes to the last note";
  MainForm->Sort2Btn->Click();
  EXPECT_EQ(t.Tag, 2);
  EXPECT_TRUE(fake.Boxes.empty());
}

TEST_F(NoteBookTest, SortKeepsTheSearchInForceAcrossTheTagBuild) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  TXbTable& t = *MainForm->NoteTable;
  MainForm->SeekComboBox->SetItemIndex(0);
  MainForm->SeekEd->SetText("a");
  MainForm->OkSeekBtnClick(nullptr);
  ASSERT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  MainForm->Sort3Btn->Click();  // no TIT3 yet: the table is reopened for the tag
  EXPECT_TRUE(MainForm->IsTag("TIT3"));
  EXPECT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  EXPECT_EQ(t.DBFilter(), MainForm->QueryText) << "the label tells of the query the table has";
  EXPECT_EQ(t.QueryRecCount(), 3);

  // Esc in the note list drops it.
  MainForm->DBGrid1->SetFocus();
  Press(MainForm->DBGrid1, Qt::Key_Escape);
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_EQ(t.DBFilter(), "");
}

TEST_F(NoteBookTest, QuickMoveLandsOnTheFirstTitleNotBelowTheInput) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  struct Case {
    const char* input;
    const char* lands;
  };
  const Case cases[] = {{"bz", "cherry"}, {"a", "apple"}, {"ban", "banana"}, {"cherry", "cherry"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    dialogs.Inputs.push_back(std::string(c.input));
    MainForm->QuickBtn->Click();
    EXPECT_EQ(Tit(1), c.lands);
    EXPECT_EQ(MainForm->Edit1->Text(), c.lands);
    EXPECT_EQ(MainForm->NoteTable->Tag, 1);
  }
  ASSERT_FALSE(dialogs.InputCalls.empty());
  EXPECT_EQ(dialogs.InputCalls[0].Caption, K("빠른이동"));
  EXPECT_EQ(dialogs.InputCalls[0].Prompt, K("이동할 첫단어를 입력하세요."));
}

TEST_F(NoteBookTest, QuickMoveMakesTheTitleTagEvenWhenNothingIsTyped) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  dialogs.Inputs.push_back(std::string("  "));
  MainForm->QuickBtn->Click();
  EXPECT_TRUE(MainForm->IsTag("TIT1"));
  EXPECT_EQ(MainForm->NoteTable->Tag, 1) << "the new tag is the order in force";
}

TEST_F(NoteBookTest, RecordNumberEntryReachesNotesOnlyNeverTheHeader) {
  UseNoteFile(data.Path(), kFruit, " ");
  {
    auto t = OpenTable(data.Path(), "notes.dbf");
    t->SetRecNo(4);  // note 3, "cherry"
    t->Delete();
  }
  Start();
  TXbTable& t = *MainForm->NoteTable;
  struct Case {
    const char* typed;
    XbLong recNo;  // where the table is afterwards
  };
  const Case cases[] = {{"2", 3}, {"0", 3}, {"-1", 3}, {"3", 3}, {"99", 3}, {"x", 3}, {"4", 5}, {"1", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    MainForm->DBGrid1->SetFocus();
    Press(MainForm->DBGrid1, Qt::Key_F3, Qt::ControlModifier);
    ASSERT_TRUE(MainForm->RecEd->Visible());
    EXPECT_EQ(MainForm->RecEd->Top(), 98);
    TypeInto(MainForm->RecEd, c.typed);
    Press(MainForm->RecEd, Qt::Key_Return);
    EXPECT_EQ(t.RecNo(), c.recNo);
    EXPECT_FALSE(MainForm->RecEd->Visible());
    EXPECT_EQ(MainForm->Edit1->Text(), Tit(1));
  }
}

TEST_F(NoteBookTest, WalkToTheNextMarkedNote) {
  UseNoteFile(data.Path(), kFruit, " ");
  WriteFields(data.Path(), "notes.dbf", 3, {{"chk", "v"}});
  WriteFields(data.Path(), "notes.dbf", 5, {{"chk", "v"}});
  Start();
  TXbTable& t = *MainForm->NoteTable;
  ASSERT_TRUE(MainForm->GoToNote(2));
  MainForm->Edit2->SetText("edited");
  MainForm->Edit2->SetModified(true);
  MainForm->NextMarkedNote();
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_EQ(MainForm->Edit1->Text(), "apple");
  EXPECT_EQ(Trim(ReadField(data.Path(), "notes.dbf", 2, "tit2")), "edited")
      << "the edits belong to the note they were typed on";
  MainForm->NextMarkedNote();
  EXPECT_EQ(t.RecNo(), 3) << "a marked note stays";
  ASSERT_TRUE(MainForm->GoToNote(4));
  MainForm->NextMarkedNote();
  EXPECT_EQ(t.RecNo(), 5);
  ASSERT_TRUE(MainForm->GoToNote(6));
  MainForm->NextMarkedNote();
  EXPECT_EQ(t.RecNo(), 6) << "no marked note after: the last note";
  EXPECT_EQ(MainForm->Edit1->Text(), "it's");
}

// With many notes and no mark ahead the walk is long: the status bar shows how far it has
// come, and a click on a command meanwhile starts nothing, neither then nor after.
TEST_F(NoteBookTest, ALongWalkToAMarkedNoteShowsProgressAndRefusesOtherCommands) {
  std::vector<TNote> notes;
  for (int i = 1; i <= 3000; ++i) notes.push_back({"n" + std::to_string(i), "", "", "", ""});
  UseNoteFile(data.Path(), notes, " ");
  Start();
  fake.OnProcessMessages = [] { orv::QtMessageLoop().ProcessMessages(); };  // the program's own loop
  TXbTable& t = *MainForm->NoteTable;
  t.GoTop();
  std::vector<std::string> progress;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const std::string now = MainForm->SBar->Panels()[0].Text();
    if (progress.empty() || progress.back() != now) progress.push_back(now);
    QTest::mouseClick(MainForm->PrnListBtn->Widget(), Qt::LeftButton);
  });
  watch.start();
  MainForm->NextMarkedNote();
  watch.stop();
  Application->ProcessMessages();
  EXPECT_EQ(t.RecNo(), 3001) << "no marked note: the last note";
  EXPECT_TRUE(shown.empty()) << shown.front();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().back(), '%') << progress.front();
  EXPECT_EQ(MainForm->SBar->Panels()[0].Text().find('%'), std::string::npos) << "the status bar is given back";
}

TEST_F(NoteBookTest, HistoryKeepsRecordNumbersOnceAndWalksBothWays) {
  UseNoteFile(data.Path(), {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}}, " ");
  Start();
  TXbTable& t = *MainForm->NoteTable;
  MainForm->DBGrid1->SetFocus();
  for (XbLong r : {5, 5, 7}) {
    ASSERT_TRUE(MainForm->GoToNote(r));
    MainForm->RBankAdd();
  }
  EXPECT_EQ(MainForm->VisitHistory, (std::vector<XbLong>{5, 7}));
  EXPECT_TRUE(MainForm->PreBtn->Enabled());
  EXPECT_FALSE(MainForm->NextBtn->Enabled());

  MainForm->PreBtn->Click();
  EXPECT_EQ(t.RecNo(), 5);
  EXPECT_TRUE(MainForm->NextBtn->Enabled());
  MainForm->PreBtn->Click();
  EXPECT_EQ(t.RecNo(), 5) << "back at the first entry does not move";
  EXPECT_FALSE(MainForm->PreBtn->Enabled());
  MainForm->NextBtn->Click();
  EXPECT_EQ(t.RecNo(), 7);
  MainForm->NextBtn->Click();
  EXPECT_EQ(t.RecNo(), 7);
  EXPECT_FALSE(MainForm->NextBtn->Enabled());

  // A visit after going back goes to the end; reopening the file forgets everything.
  MainForm->PreBtn->Click();
  ASSERT_TRUE(MainForm->GoToNote(3));
  MainForm->RBankAdd();
  EXPECT_EQ(MainForm->VisitHistory, (std::vector<XbLong>{5, 7, 3}));
  EXPECT_EQ(MainForm->RBankPos, 3);
  MainForm->cmdChoDbfClick();
  EXPECT_TRUE(MainForm->VisitHistory.empty());
  EXPECT_FALSE(MainForm->PreBtn->Enabled());
}

TEST_F(NoteBookTest, SeekPanelSearchesShowsTheCountAndEscClearsIt) {
  UseNoteFile(data.Path(), kFruit, " ");
  WriteFields(data.Path(), "notes.dbf", 4, {{"chk", "v"}});
  Start();
  TXbTable& t = *MainForm->NoteTable;
  MainForm->DBGrid1->SetFocus();
  const int panel2 = MainForm->Panel2->Height();
  Press(MainForm->DBGrid1, Qt::Key_F5);
  ASSERT_TRUE(MainForm->SeekPan->Visible());
  EXPECT_EQ(MainForm->Panel4->Height(), 159);
  EXPECT_GE(MainForm->Panel2->Height(), 194);
  EXPECT_TRUE(MainForm->SeekEd->Focused());

  struct Case {
    int field;  // combo index
    const char* text;
    bool marked;
    const char* label;  // "" when nothing is found
  };
  const Case cases[] = {
      {4, "an", false, "1"},        {4, "a", false, "3"},   {4, "a 2", false, "3"},
      {0, "e", false, "3"},         {1, "e", false, ""},    {4, "", true, "1"},
      {4, "it's", false, "1"},      {4, "c", true, "1"},    {4, "a", true, ""},
      {4, "", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.field));
    fake.Boxes.clear();
    MainForm->SeekComboBox->SetItemIndex(c.field);
    MainForm->Vchk->SetChecked(c.marked);
    MainForm->SeekEd->SetText(std::string());
    TypeInto(MainForm->SeekEd, c.text);
    Press(MainForm->SeekEd, Qt::Key_Return);
    if (*c.label) {
      EXPECT_EQ(MainForm->Label6->Caption(), c.label + K("건 검색"));
      EXPECT_EQ(t.QueryRecCount(), std::stol(c.label));
      EXPECT_TRUE(fake.Boxes.empty());
    } else {
      EXPECT_EQ(MainForm->Label6->Caption(), "");
      ASSERT_EQ(fake.Boxes.size(), 1u);
      EXPECT_EQ(fake.Boxes[0].Text, K(" 조건을 만족하는 문서가 없습니다."));
    }
    EXPECT_TRUE(MainForm->DBGrid1->Focused());
  }

  MainForm->Vchk->SetChecked(true);
  EXPECT_EQ(MainForm->SeekEd->Width(), 227);
  EXPECT_EQ(MainForm->Vchk->Left(), 306);
  EXPECT_EQ(MainForm->Vchk->Width(), 52);
  MainForm->Vchk->SetChecked(false);
  EXPECT_EQ(MainForm->SeekEd->Width(), 265);
  EXPECT_EQ(MainForm->Vchk->Left(), 343);

  // A search too long is refused and the query in force stays.
  MainForm->SeekComboBox->SetItemIndex(4);
  MainForm->SeekEd->SetText("a");
  MainForm->OkSeekBtnClick(nullptr);
  ASSERT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  const std::string before = MainForm->QueryText;
  fake.Boxes.clear();
  MainForm->SeekEd->SetText(std::string(240, 'x'));
  MainForm->OkSeekBtnClick(nullptr);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K("   검색 조건이 너무 길어요...  "));
  EXPECT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  EXPECT_EQ(MainForm->QueryText, before);

  MainForm->SeekEd->SetFocus();
  Press(MainForm->SeekEd, Qt::Key_Escape);
  EXPECT_FALSE(MainForm->SeekPan->Visible());
  EXPECT_EQ(MainForm->Panel4->Height(), 126);
  EXPECT_EQ(MainForm->Panel2->Height(), panel2);
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_EQ(t.DBFilter(), "") << "the query is gone";
}

// Typed as a user does: the text, Tab to the first mode button, Tab to the search button,
// Return on it. The dialog's Enter rule must leave the focused button its Return.
// A search without hits leaves the whole list on the screen, not just the current row; the
// list's title columns are headed by the file's labels, each head readable whole.
TEST_F(NoteBookTest, ListAfterASearchWithoutHitsShowsEveryNoteUnderTheFileLabels) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  TDBGrid* grid = MainForm->DBGrid1;
  QAbstractItemModel* rows = grid->View()->model();
  const int before = rows->rowCount();
  ASSERT_EQ(before, 5);
  MainForm->SeekBtn->Click();
  MainForm->SeekEd->SetText("nothing-like-this");
  Press(MainForm->SeekEd, Qt::Key_Return);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_EQ(rows->rowCount(), before) << "every note is listed again";
  EXPECT_EQ(rows->data(rows->index(grid->Row(), 0)).toString().toStdString(), MainForm->Edit1->Text());

  MainForm->NoteTableCHK->Visible = true;  // as the first mark by Space shows it
  grid->LayoutChanged();
  ASSERT_EQ(grid->FieldCount(), 5);
  const QFontMetrics fm = grid->View()->horizontalHeader()->fontMetrics();
  for (int i = 0; i < grid->FieldCount(); ++i) {
    const QString head = rows->headerData(i, Qt::Horizontal).toString();
    const std::string field = grid->Fields(i)->FieldName();
    SCOPED_TRACE(field);
    if (field.rfind("TIT", 0) == 0) {
      EXPECT_EQ(head.toStdString(), "T" + field.substr(3)) << "the file's label";
    }
    EXPECT_GE(grid->ColumnWidth(i), fm.horizontalAdvance(head)) << "the head fits its column";
  }
}

TEST_F(NoteBookTest, TitleSearchRunsFromReturnOnTheFocusedSearchButton) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  answer = [&](TCustomForm& f) -> TModalResult {
    if (&f != FindForm) return mrCancel;
    FindForm->FormActivate(FindForm);
    FindForm->Edit0->SetFocus();
    QTest::keyClicks(FindForm->Edit0->LineEdit(), "e");
    auto focused = [] { return FindForm->ActiveControl()->Widget(); };
    QTest::keyClick(focused(), Qt::Key_Tab);
    EXPECT_EQ(FindForm->ActiveControl(), FindForm->NewRbtn);
    QTest::keyClick(focused(), Qt::Key_Tab);
    EXPECT_EQ(FindForm->ActiveControl(), FindForm->Button2);
    QTest::keyClick(focused(), Qt::Key_Return);
    return FindForm->ModalResult();
  };
  MainForm->FindDlgShow();
  EXPECT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
}

TEST_F(NoteBookTest, TitleSearchNewAndOrAndClear) {
  UseNoteFile(data.Path(), kFruit, " ");
  Start();
  TXbTable& t = *MainForm->NoteTable;
  std::function<void()> act;
  answer = InFindForm(act);
  auto search = [&](std::function<void()> fill) {
    act = [&, fill] {
      fill();
      FindForm->Button2Click(FindForm->Button2);
    };
    MainForm->FindDlgShow();
  };

  // All fields, the text as typed: "e" is in date, apple, cherry.
  search([] {
    EXPECT_FALSE(FindForm->AndRbtn->Enabled()) << "no query in force: only a new search";
    EXPECT_EQ(FindForm->Label2->Caption(), MainForm->Label2->Caption());
    FindForm->Edit0->SetText("e");
  });
  EXPECT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  const std::string first = MainForm->QueryText;
  EXPECT_EQ(first, "at(\"e\",tit1+tit2+tit3+tit4)>0");

  // And with a per-field search wraps both.
  search([] {
    EXPECT_TRUE(FindForm->AndRbtn->Enabled());
    FindForm->RBun2->SetChecked(true);
    EXPECT_FALSE(FindForm->Edit0->Enabled());
    FindForm->Edit2->SetText("a2");
    FindForm->AndRbtn->SetChecked(true);
  });
  EXPECT_EQ(MainForm->QueryText, "(" + first + ") .and. (at(\"a2\",tit2)>0 )");
  EXPECT_EQ(MainForm->Label6->Caption(), "1" + K("건 검색"));
  EXPECT_EQ(Tit(1), "apple");

  // And with nothing typed changes nothing.
  const std::string combined = MainForm->QueryText;
  search([] {
    FindForm->Edit2->SetText(std::string());
    FindForm->AndRbtn->SetChecked(true);
  });
  EXPECT_EQ(MainForm->QueryText, combined);
  EXPECT_EQ(MainForm->Label6->Caption(), "1" + K("건 검색"));

  // Or widens it; a quote in the text is searched for, not let loose in the expression.
  search([] {
    FindForm->Edit1->SetText("it's");
    FindForm->OrRbtn->SetChecked(true);
  });
  EXPECT_EQ(MainForm->Label6->Caption(), "2" + K("건 검색"));

  // A new search with nothing typed finds nothing and drops the query.
  fake.Boxes.clear();
  search([] {
    FindForm->Edit1->SetText(std::string());
    EXPECT_TRUE(FindForm->NewRbtn->Checked()) << "each showing starts as a new search";
  });
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K(" 조건을 만족하는 문서가 없습니다."));
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_EQ(t.DBFilter(), "");

  // A text with all three delimiters is refused: the dialog stays open and nothing changes.
  search([] { FindForm->Edit1->SetText("e"); });
  ASSERT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  const std::string inForce = MainForm->QueryText;
  fake.Boxes.clear();
  TModalResult result = mrNone;
  act = [&] {
    FindForm->Edit1->SetText("a\"b'c]");
    FindForm->Button2Click(FindForm->Button2);
    result = FindForm->ModalResult();
  };
  MainForm->FindDlgShow();
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text.rfind(K("  한 검색어에 \" ' ] 세 가지를 함께 쓸 수 없습니다: "), 0), 0u)
      << fake.Boxes[0].Text;
  EXPECT_EQ(result, mrNone) << "the dialog stays open";
  EXPECT_EQ(MainForm->QueryText, inForce);
  EXPECT_EQ(MainForm->Label6->Caption(), "3" + K("건 검색"));
  FindForm->Edit1->SetText(std::string());

  // Clearing empties the result label even with no query in force, QueryText stays.
  MainForm->QueryText = "kept";
  act = [] { FindForm->Button3Click(FindForm->Button3); };
  MainForm->FindDlgShow();
  EXPECT_EQ(MainForm->Label6->Caption(), "");
  EXPECT_EQ(MainForm->QueryText, "kept");
}

// The title search takes an expression of any length: four full titles searched per field
// build 274 bytes, which the engine runs. Typed and run with the keyboard, as the user does.
TEST_F(NoteBookTest, TitleSearchTakesLongExpressions) {
  const std::string t1(60, 'p'), t2(40, 'q'), t3(40, 'r'), t4(60, 's');
  UseNoteFile(data.Path(), {{"short", "x"}, {t1, t2, t3, t4}}, " ");
  Start();
  std::function<void()> act;
  answer = InFindForm(act);
  const auto run = [] {
    FindForm->Button2->SetFocus();
    QTest::keyClick(FindForm->Button2->Widget(), Qt::Key_Space);
    Application->ProcessMessages();
    EXPECT_NE(FindForm->ModalResult(), mrNone) << "the search closes the dialog";
  };

  act = [&] {
    QTest::mouseClick(FindForm->RBun2->Widget(), Qt::LeftButton);
    ASSERT_TRUE(FindForm->Edit1->Enabled());
    TypeInto(FindForm->Edit1, t1);
    TypeInto(FindForm->Edit2, t2);
    TypeInto(FindForm->Edit3, t3);
    TypeInto(FindForm->Edit4, t4);
    run();
  };
  MainForm->FindDlgShow();
  EXPECT_TRUE(fake.Boxes.empty()) << fake.Boxes[0].Text;
  EXPECT_EQ(MainForm->QueryText.size(), 274u);
  EXPECT_EQ(MainForm->Label6->Caption(), "1" + K("건 검색"));
  EXPECT_EQ(MainForm->NoteTable->DBFilter(), MainForm->QueryText);
  EXPECT_EQ(Tit(1), t1);

  // Or with a 300-byte text that no title holds: a query of over 600 bytes, still one hit.
  const std::string first = MainForm->QueryText;
  const std::string longText(300, 'z');
  act = [&] {
    QTest::mouseClick(FindForm->RBtn1->Widget(), Qt::LeftButton);
    QTest::mouseClick(FindForm->OrRbtn->Widget(), Qt::LeftButton);
    TypeInto(FindForm->Edit0, longText);
    run();
  };
  MainForm->FindDlgShow();
  EXPECT_TRUE(fake.Boxes.empty()) << fake.Boxes[0].Text;
  EXPECT_EQ(MainForm->QueryText,
            "(" + first + ") .or. (at(\"" + longText + "\",tit1+tit2+tit3+tit4)>0)");
  EXPECT_EQ(MainForm->Label6->Caption(), "1" + K("건 검색"));
  EXPECT_EQ(MainForm->NoteTable->DBFilter(), MainForm->QueryText);
}

}  // namespace
}  // namespace nbtest
