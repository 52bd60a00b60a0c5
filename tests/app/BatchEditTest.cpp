// The batch-edit dialog driven from the main window on a note file of the test's own, checked
// in the .dbf on disk: every title edit and V-mark command over the notes in view (the header
// record and deleted notes untouched, only the matching notes under a query), the refusals
// (a swap without two fields, a file lock held by another process), and the maintenance codes.
#include "NoteBookFixture.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include "app/ConvForm.h"
#include "app/NoteFile.h"
#include "app/Udf.h"
#include "platform/core/Cp949.h"
#include "support/ForkedLockHolder.h"

using cp949::K;

namespace nbtest {
namespace {

const char* const kFile = "notes.dbf";

// Every record of the note file as it lies on disk, record 1 (the header) first.
std::vector<TNoteRecord> ReadAll(const std::string& folder) { return ReadRecords(folder, kFile); }

// A note of the test files: its titles, mark and body; Deleted notes are deleted after writing.
struct TTestNote {
  std::string tit1 = {}, tit2 = {}, tit3 = {}, tit4 = {};
  std::string chk = " ";
  bool deleted = false;
  std::string body = {};
};

class BatchEditTest : public NoteBookTest {
 protected:
  // Makes the note file current; lock "1" protects it.
  void Prepare(const std::vector<TTestNote>& notes, const std::string& lock = " ") {
    PlaceShippedFiles(data.Path());
    std::vector<TNote> plain;
    for (const TTestNote& n : notes) plain.push_back({n.tit1, n.tit2, n.tit3, n.tit4, n.body});
    MakeNoteFile(data.Path(), kFile, 60, JoinLabels({"T1", "T2", "T3", "T4"}), "desc", "./links", lock, plain);
    // The header's own mark is set, so a walk that reached it would show.
    WriteFields(data.Path(), kFile, 1, {{"chk", "v"}});
    auto t = OpenTable(data.Path(), kFile);
    for (std::size_t i = 0; i < notes.size(); ++i) {
      t->SetRecNo(static_cast<int>(i + 2));
      ASSERT_TRUE(ReplaceLocked(*t, "chk", notes[i].chk));
      if (notes[i].deleted) t->Delete();
    }
    t->Close();
    WriteFields(data.Path(), "condb20.dbf", 1, {{"d2", "0270"}, {"fname", kFile}});
  }

  // Shows the dialog from the main window's button; Act drives it while it is shown.
  void ShowDialog(std::function<void()> act) {
    answer = [act](TCustomForm& f) {
      if (&f == ConvForm) act();
      return mrCancel;
    };
    MainForm->ConvBtn->Click();
    answer = nullptr;
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const TMessageBoxCall& b : fake.Boxes) out.push_back(b.Text);
    return out;
  }
};

void Type(TWinControl* c, const std::string& text) {
  c->SetFocus();
  QTest::keyClicks(c->Widget()->focusWidget() ? c->Widget()->focusWidget() : c->Widget(),
                   QString::fromStdString(text));
}

std::string Repeat(char c, int n) { return std::string(static_cast<std::size_t>(n), c); }

// Types Text into Edit2 and leaves it, as the user does.
void EnterCode(const std::string& text) {
  ConvForm->Edit2->SetText(std::string());
  Type(ConvForm->Edit2, text);
  ConvForm->Edit1->SetFocus();
  Application->ProcessMessages();
}

void StoreBody(const std::string& folder, int recNo, const std::string& type, const std::string& body) {
  auto t = OpenTable(folder, kFile);
  t->SetRecNo(recNo);
  ASSERT_TRUE(ReplaceLocked(*t, "type", type));
  t->Edit();
  t->Replace("mmm", 3072, body.c_str());
  t->Commit();
}


// Notes for the page 1 commands: record 4 is deleted, the header's mark is set.
const std::string kLongTit1 = Repeat('x', 30) + "ab" + Repeat('y', 20);  // runs past position 40
std::vector<TTestNote> TitleNotes() {
  return {
      {"abc", "1ab2ab", "  three", "four", "v"},
      {kLongTit1, "zz", "   t3", "", " "},
      {"abc", "ab", "  del", "dx", "v", true},
      {K("한글") + "ab", "ab", "t", "x", " "},
  };
}

// ---- page 1 -------------------------------------------------------------------------------

// The count box stands in the gap of its radio button's caption and hides none of its
// words: with the box out of the way, the caption draws no ink where the box stands.
TEST_F(BatchEditTest, CountBoxCoversNoWordOfItsCaption) {
  Prepare({{" ", "a"}});
  Start();
  ShowDialog([] {
    ConvForm->PageControl1->SetActivePage(ConvForm->TabSheet2);
    Application->ProcessMessages();
    ASSERT_TRUE(ConvForm->CouEd->Showing());
    const QRect box = ConvForm->CouEd->Widget()->geometry();
    QWidget* radio = ConvForm->Rc2->Widget();
    const QRect inRadio(radio->mapFrom(radio->parentWidget(), box.topLeft()), box.size());
    ConvForm->CouEd->SetVisible(false);
    const QImage img = radio->grab().toImage();
    ConvForm->CouEd->SetVisible(true);
    const QColor back = img.pixelColor(img.width() - 1, img.height() / 2);
    int ink = 0, inkOutside = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const bool dark = img.pixelColor(x, y).lightness() < back.lightness() - 80;
        if (!dark) continue;
        (inRadio.contains(x, y) ? ink : inkOutside) += 1;
      }
    EXPECT_GT(inkOutside, 50) << "the caption is drawn";
    EXPECT_EQ(ink, 0) << "no word of the caption lies under the box";
    EXPECT_GE(box.width(), ConvForm->CouEd->LineEdit()->fontMetrics().horizontalAdvance("00000"))
        << "five digits fit";
  });
}

TEST_F(BatchEditTest, TitleCommandsChangeEveryNoteInViewAndNothingElse) {
  struct Case {
    const char* name;
    std::function<void()> drive;  // sets the dialog's controls before the run
    // tit1..tit4 expected of the live notes (records 2, 3 and 5)
    std::vector<std::array<std::string, 4>> expected;
  };
  const std::string hangul = K("한글");
  const Case cases[] = {
      {"word replace: the first occurrence only",
       [] {
         ConvForm->RBtn2->SetChecked(true);
         ConvForm->Edit1->SetText("ab");
         ConvForm->Edit2->SetText("xyz");
       },
       {{"abc", "1xyz2ab", "  three", "four"}, {kLongTit1, "zz", "   t3", ""}, {hangul + "ab", "xyz", "t", "x"}}},
      {"word replace in a wide title keeps the text after the match",
       [] {
         ConvForm->Edit1->SetText("ab");
         ConvForm->Edit2->SetText("Q");
       },
       {{"Qc", "1ab2ab", "  three", "four"},
        {Repeat('x', 30) + "Q" + Repeat('y', 20), "zz", "   t3", ""},
        {hangul + "Q", "ab", "t", "x"}}},
      {"word replace matches whole characters only",
       [] {
         // The bytes D1 B1 are a character of their own, and also the middle of "한글".
         ConvForm->Edit1->SetText("\xD1\xB1");
         ConvForm->Edit2->SetText("Q");
       },
       {{"abc", "1ab2ab", "  three", "four"}, {kLongTit1, "zz", "   t3", ""}, {hangul + "ab", "ab", "t", "x"}}},
      {"append with a leading blank",
       [] {
         ConvForm->w2Btn->SetChecked(true);
         ConvForm->RBtn4->SetChecked(true);
         ConvForm->Edit2->SetText(" end");
       },
       {{"abc", "1ab2ab", "  three", "four end"}, {kLongTit1, "zz", "   t3", " end"}, {hangul + "ab", "ab", "t", "x end"}}},
      {"append without a blank",
       [] {
         ConvForm->w2Btn->SetChecked(true);
         ConvForm->RBtn1->SetChecked(true);
         ConvForm->Edit2->SetText("end  ");
       },
       {{"abcend", "1ab2ab", "  three", "four"},
        {kLongTit1 + "end", "zz", "   t3", ""},
        {hangul + "abend", "ab", "t", "x"}}},
      {"#trim of title 3 takes the leading blanks",
       [] {
         // Typed as the user types them.
         Type(ConvForm->Edit1, "#trim ");
         Type(ConvForm->Edit2, " 3");
       },
       {{"abc", "1ab2ab", "three", "four"}, {kLongTit1, "zz", "t3", ""}, {hangul + "ab", "ab", "t", "x"}}},
      {"#delete of title 2",
       [] {
         ConvForm->Edit1->SetText("#delete");
         ConvForm->Edit2->SetText("2");
       },
       {{"abc", "", "  three", "four"}, {kLongTit1, "", "   t3", ""}, {hangul + "ab", "", "t", "x"}}},
      {"a command starts with its first character",
       [] {
         ConvForm->Edit1->SetText(" #trim");
         ConvForm->Edit2->SetText("3");
       },
       {{"abc", "1ab2ab", "  three", "four"}, {kLongTit1, "zz", "   t3", ""}, {hangul + "ab", "ab", "t", "x"}}},
      {"#delete with no field digit changes nothing",
       [] {
         ConvForm->Edit1->SetText("#delete");
         ConvForm->Edit2->SetText("9");
       },
       {{"abc", "1ab2ab", "  three", "four"}, {kLongTit1, "zz", "   t3", ""}, {hangul + "ab", "ab", "t", "x"}}},
      {"swap of titles 2 and 4",
       [] {
         ConvForm->w3Btn->SetChecked(true);
         ConvForm->CBox2->SetChecked(true);
         ConvForm->CBox4->SetChecked(true);
       },
       {{"abc", "four", "  three", "1ab2ab"}, {kLongTit1, "", "   t3", "zz"}, {hangul + "ab", "x", "t", "ab"}}},
      {"swap of a wide title into a narrow one cuts it to that width",
       [] {
         ConvForm->w3Btn->SetChecked(true);
         ConvForm->CBox1->SetChecked(true);
         ConvForm->CBox3->SetChecked(true);
       },
       {{"  three", "1ab2ab", "abc", "four"},
        {"   t3", "zz", Repeat('x', 30) + "ab" + Repeat('y', 8), ""},
        {"t", "ab", hangul + "ab", "x"}}},
      {"only the marked notes when Vchk is checked",
       [] {
         ConvForm->w2Btn->SetChecked(true);
         ConvForm->RBtn2->SetChecked(true);
         ConvForm->Edit2->SetText("!");
         ConvForm->Vchk->SetChecked(true);
       },
       {{"abc", "1ab2ab!", "  three", "four"}, {kLongTit1, "zz", "   t3", ""}, {hangul + "ab", "ab", "t", "x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare(TitleNotes());
    const std::vector<TNoteRecord> before = ReadAll(data.Path());
    Start();
    bool closed = false;
    ShowDialog([&] {
      c.drive();
      ConvForm->OKBtn->Click();
      closed = ConvForm->ModalResult() != mrNone;
    });
    EXPECT_TRUE(closed) << "the run closes the dialog";
    EXPECT_TRUE(fake.Boxes.empty()) << BoxTexts()[0];
    EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
    Close();

    const std::vector<TNoteRecord> after = ReadAll(data.Path());
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(after[0], before[0]) << "the header record";
    EXPECT_EQ(after[3], before[3]) << "the deleted note";
    const int live[3] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
      for (int f = 0; f < 4; ++f)
        EXPECT_EQ(after[live[i]].tit[f], c.expected[i][f]) << "note " << i + 1 << " tit" << f + 1;
      EXPECT_EQ(after[live[i]].chk, before[live[i]].chk);
      EXPECT_EQ(after[live[i]].body, before[live[i]].body);
    }
    fake.Boxes.clear();
    fs::remove(fs::path(data.Path()) / kFile);
  }
}

TEST_F(BatchEditTest, SwapWithoutExactlyTwoFieldsIsRefusedAndTheDialogStays) {
  Prepare(TitleNotes());
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  for (int boxes : {1, 3}) {
    SCOPED_TRACE(boxes);
    bool open = false;
    ShowDialog([&] {
      ConvForm->w3Btn->SetChecked(true);
      TCheckBox* all[4] = {ConvForm->CBox1, ConvForm->CBox2, ConvForm->CBox3, ConvForm->CBox4};
      for (int i = 0; i < 4; ++i) all[i]->SetChecked(i < boxes);
      ConvForm->OKBtn->Click();
      open = ConvForm->ModalResult() == mrNone;
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{K("  2개의 항목을 선택해야 합니다...")});
    fake.Boxes.clear();
  }
  Close();
  EXPECT_EQ(ReadAll(data.Path()), before);
}

TEST_F(BatchEditTest, UnderAQueryOnlyTheMatchingNotesChange) {
  Prepare({{"apple", "a"}, {"banana", "b"}, {"cherry", "c"}, {"apricot", "d"}});
  Start();
  std::string label;
  ShowDialog([&] { label = ConvForm->Tit->Caption(); });
  EXPECT_EQ(label, "") << "no query";

  ASSERT_TRUE(MainForm->ApplySearch("at(\"ap\",tit1)>0"));
  ShowDialog([&] {
    label = ConvForm->Tit->Caption();
    ConvForm->w2Btn->SetChecked(true);
    ConvForm->RBtn2->SetChecked(true);
    ConvForm->Edit2->SetText("+");
    ConvForm->OKBtn->Click();
  });
  EXPECT_EQ(label, K("검색내용중 변환작업"));
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  const char* tit2[4] = {"a+", "b", "c", "d+"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(after[i + 1].tit[1], tit2[i]) << after[i + 1].tit[0];
}

TEST_F(BatchEditTest, ATypedNoteIsSavedBeforeTheWalkAndTheWindowShowsTheResult) {
  Prepare({{"one", "a"}, {"two", "b"}});
  Start();
  ASSERT_EQ(MainForm->NoteTable->RecNo(), 3) << "an unprotected file opens at its last note";
  Type(MainForm->Edit3, "typed");
  ShowDialog([] {
    ConvForm->w2Btn->SetChecked(true);
    ConvForm->Edit2->SetText("+");
    ConvForm->OKBtn->Click();
  });
  EXPECT_EQ(Trim(MainForm->Edit1->Text()), "one+") << "the first note, shown afresh";
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  EXPECT_EQ(after[1].tit[0], "one+");
  EXPECT_EQ(after[2].tit[0], "two+");
  EXPECT_EQ(after[2].tit[2], "typed") << "what was typed stays with its note";
  EXPECT_EQ(after[1].tit[2], "");
}

TEST_F(BatchEditTest, EditingTheTitleOfTheOrderInForceVisitsEachNoteOnce) {
  Prepare({{"xb"}, {"xa"}, {"xd"}, {"xc"}});
  Start();
  MainForm->SortBtnClick(1);
  ASSERT_EQ(MainForm->NoteTable->TagName(static_cast<XbShort>(MainForm->NoteTable->IndexOrd())), "TIT1");
  ShowDialog([] {
    // Each new title sorts behind all the old ones, where a walk in that order would go on
    // from it and miss the rest.
    ConvForm->Edit1->SetText("x");
    ConvForm->Edit2->SetText("z");
    ConvForm->OKBtn->Click();
  });
  ShowDialog([] {
    // Each new title sorts before all the others, where the walk would meet them again.
    ConvForm->Edit1->SetText("z");
    ConvForm->Edit2->SetText("");
    ConvForm->OKBtn->Click();
  });
  EXPECT_EQ(MainForm->NoteTable->TagName(static_cast<XbShort>(MainForm->NoteTable->IndexOrd())), "TIT1");
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  const char* tit1[4] = {"b", "a", "d", "c"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(after[i + 1].tit[0], tit1[i]);
}

// ---- page 2 -------------------------------------------------------------------------------

std::vector<TTestNote> MarkNotes(const std::vector<std::string>& chks) {
  std::vector<TTestNote> notes;
  for (std::size_t i = 0; i < chks.size(); ++i) notes.push_back({"n" + std::to_string(i + 1), "", "", "", chks[i]});
  return notes;
}

TEST_F(BatchEditTest, MarkCommandsSetTheMarksOfTheNotesInView) {
  struct Case {
    const char* name;
    std::vector<std::string> before;  // chk of the notes
    int current;                      // note made current first (1-based; 0: as opened)
    std::function<void()> drive;
    std::string after;                // chk of the notes, one character each
  };
  const std::vector<std::string> ten = {"v", " ", "v", " ", "v", "v", " ", " ", "v", " "};
  const Case cases[] = {
      {"mark all", {" ", "v", " "}, 0, [] { ConvForm->Rc1->SetChecked(true); }, "vvv"},
      {"clear all", {" ", "v", "v"}, 0, [] { ConvForm->Rc4->SetChecked(true); }, "   "},
      {"invert", {" ", "v", "x"}, 0, [] { ConvForm->Rc3->SetChecked(true); }, "v  "},
      {"count 3 from the fifth note", ten, 5,
       [] {
         Type(ConvForm->CouEd, "3");
         EXPECT_TRUE(ConvForm->Rc2->Checked()) << "entering the count chooses Rc2";
       },
       "    vvv   "},
      {"count 0 keeps the marks from the current note on", ten, 5,
       [] {
         ConvForm->Rc2->SetChecked(true);
         ConvForm->CouEd->SetText("0");
       },
       "    vv  v "},
      {"count past the end", {"v", " ", " "}, 2,
       [] {
         ConvForm->Rc2->SetChecked(true);
         ConvForm->CouEd->SetText("99");
       },
       " vv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TTestNote> notes = MarkNotes(c.before);
    // A deleted note among them keeps its mark whatever the command.
    notes.push_back({"gone", "", "", "", " ", true});
    Prepare(notes);
    const std::vector<TNoteRecord> before = ReadAll(data.Path());
    Start();
    if (c.current > 0) {
      ASSERT_TRUE(MainForm->GoToNote(c.current + 1));
    }
    bool closed = false;
    ShowDialog([&] {
      ConvForm->PageControl1->SetActivePage(ConvForm->TabSheet2);
      c.drive();
      ConvForm->BitBtn1->Click();
      closed = ConvForm->ModalResult() != mrNone;
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{K("  작업완료..  ")});
    if (c.current > 0) {
      EXPECT_EQ(MainForm->NoteTable->RecNo(), c.current + 1) << "the current note stays";
    }
    EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
    Close();
    const std::vector<TNoteRecord> after = ReadAll(data.Path());
    ASSERT_EQ(after.size(), c.before.size() + 2);
    EXPECT_EQ(after[0], before[0]) << "the header record";
    EXPECT_EQ(after.back(), before.back()) << "the deleted note";
    std::string marks;
    for (std::size_t i = 0; i < c.before.size(); ++i) marks += after[i + 1].chk;
    EXPECT_EQ(marks, c.after);
    fake.Boxes.clear();
    for (const char* ext : {".dbf", ".smt", ".nsx"}) fs::remove(fs::path(data.Path()) / (std::string("notes") + ext));
  }
}

// Inverting the marks shows a note visited twice (its mark comes back) or missed; the walk
// covers the notes of the query in natural order and under a title order alike, and the main
// window follows none of it: its display runs once at the end and shows the new mark.
TEST_F(BatchEditTest, InvertedMarksUnderAQueryReachEachNoteInViewOnceAndAreShownOnce) {
  for (const bool ordered : {false, true}) {
    SCOPED_TRACE(ordered ? "title 1 order" : "natural order");
    std::vector<TTestNote> notes = {{"ap3", "", "", "", "v"}, {"b1"}, {"ap1"}, {"ap2", "", "", "", "v"}, {"b2", "", "", "", "v"}};
    notes.push_back({"ap0", "", "", "", " ", true});
    Prepare(notes);
    const std::vector<TNoteRecord> before = ReadAll(data.Path());
    Start();
    if (ordered) MainForm->SortBtnClick(1);
    ASSERT_TRUE(MainForm->ApplySearch("at(\"ap\",tit1)>0"));
    int shown = 0;
    TDataChangeEvent display = MainForm->NoteDataSource->OnDataChange;
    MainForm->NoteDataSource->OnDataChange = [&](TObject* s, TField* f) {
      ++shown;
      if (display) display(s, f);
    };
    ShowDialog([] {
      ConvForm->PageControl1->SetActivePage(ConvForm->TabSheet2);
      ConvForm->Rc3->SetChecked(true);
      ConvForm->BitBtn1->Click();
    });
    EXPECT_LE(shown, 1);
    MainForm->NoteDataSource->OnDataChange = display;
    const std::string current = ReadAll(data.Path())[static_cast<std::size_t>(MainForm->NoteTable->RecNo() - 1)].chk;
    EXPECT_EQ(MainForm->NoteTable->GetString("chk"), current) << "the dataset read the walk's marks";
    EXPECT_EQ(MainForm->ChkBtn->NumGlyphs(), current == "v" ? 2 : 1) << "the window shows them";
    Close();
    const std::vector<TNoteRecord> after = ReadAll(data.Path());
    std::string marks;
    for (std::size_t i = 1; i <= 5; ++i) marks += after[i].chk;
    EXPECT_EQ(marks, "  v v") << "the notes of the query inverted, the others as they were";
    EXPECT_EQ(after[0], before[0]) << "the header record";
    EXPECT_EQ(after.back(), before.back()) << "the deleted note";
    fake.Boxes.clear();
    for (const char* ext : {".dbf", ".smt", ".nsx"}) fs::remove(fs::path(data.Path()) / (std::string("notes") + ext));
  }
}

TEST_F(BatchEditTest, SameTitleMarksEveryRepeatAndKeepsTheTitleOrder) {
  Prepare({{"B"}, {"A"}, {"C"}, {"B"}, {"A"}, {"B"}});
  Start();
  ASSERT_FALSE(MainForm->IsTag("TIT1"));
  ShowDialog([] {
    ConvForm->Rc5->SetChecked(true);
    ConvForm->BitBtn1->Click();
  });
  EXPECT_TRUE(MainForm->IsTag("TIT1"));
  EXPECT_EQ(MainForm->NoteTable->TagName(static_cast<XbShort>(MainForm->NoteTable->IndexOrd())), "TIT1");
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  // In title order: A (rec 3), A (rec 6), B (rec 2), B (rec 5), B (rec 7), C (rec 4).
  std::string marks;
  for (std::size_t i = 1; i < after.size(); ++i) marks += after[i].chk;
  EXPECT_EQ(marks, "   vvv") << "the second A (rec 6) and the second and third B (recs 5, 7)";
  EXPECT_EQ(after[0].chk, "v") << "the header keeps its own value";
}

TEST_F(BatchEditTest, DeletingTheMarkedNotesAsksFirst) {
  for (int answerNo : {IDNO, IDYES}) {
    SCOPED_TRACE(answerNo == IDYES ? "yes" : "no");
    Prepare({{"a", "", "", "", "v"}, {"b", "", "", "", "v"}, {"c"}, {"d", "", "", "", "v", true}, {"e", "", "", "", "v"}});
    const std::vector<TNoteRecord> before = ReadAll(data.Path());
    Start();
    fake.Answers.push_back(answerNo);
    bool displayDuringWalk = true;
    fake.OnMessageBox = [&](const TMessageBoxCall&) {
      if (fake.Boxes.size() == 1) displayDuringWalk = MainForm->NoteDataSource->Enabled();
    };
    ShowDialog([] {
      ConvForm->RBtnDel->SetChecked(true);
      ConvForm->BitBtn1->Click();
    });
    ASSERT_EQ(BoxTexts(), (std::vector<std::string>{K(" V표시된 자료를 정말 삭제 할까요?"), K("  작업완료..  ")}));
    EXPECT_EQ(fake.Boxes[0].Flags & MB_TYPEMASK, static_cast<unsigned>(MB_YESNO));
    EXPECT_FALSE(displayDuringWalk) << "the main window does not follow the walk";
    EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
    fake.OnMessageBox = nullptr;
    EXPECT_TRUE(MainForm->XbEnv1->Deleted()) << "deleted notes hidden again";
    EXPECT_EQ(MainForm->NoteTable->RecNo(), answerNo == IDYES ? 4 : 6) << "the first note left, or where it was";
    Close();
    const std::vector<TNoteRecord> after = ReadAll(data.Path());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0], before[0]) << "the header, marked itself, is never deleted again";
    EXPECT_EQ(after[4], before[4]) << "the note deleted before";
    const bool yes = answerNo == IDYES;
    const bool deleted[6] = {true, yes, yes, false, true, yes};
    for (int i = 1; i < 6; ++i) {
      EXPECT_EQ(after[i].deleted, deleted[i]) << after[i].tit[0];
      EXPECT_EQ(after[i].tit[0], before[i].tit[0]);
    }
    fake.Boxes.clear();
    fake.Answers.clear();
    fs::remove(fs::path(data.Path()) / kFile);
  }
}

TEST_F(BatchEditTest, AProtectedFileKeepsItsTitlesAndNotesButTakesMarks) {
  Prepare({{"a", "", "", "", "v"}, {"b", "", Repeat('c', 24) + " " + Repeat('d', 15)}}, "1");
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  ShowDialog([] {
    EXPECT_FALSE(ConvForm->OKBtn->Enabled());
    EXPECT_FALSE(ConvForm->RBtnDel->Enabled());
    EXPECT_TRUE(ConvForm->BitBtn1->Enabled());
    // A delete chosen at an earlier showing is refused all the same, and so are the
    // maintenance runs, which write titles and bodies.
    ConvForm->RBtnDel->SetChecked(true);
    ConvForm->BitBtn1->Click();
    EnterCode("5820417913");
  });
  const std::string refusal = K("  쓰기,삭제 방지 되어 있습니다. ");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{refusal, refusal}));
  EXPECT_EQ(ReadAll(data.Path()), before);
  fake.Boxes.clear();
  ShowDialog([] {
    ConvForm->Rc1->SetChecked(true);
    ConvForm->BitBtn1->Click();
  });
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  EXPECT_EQ(after[0], before[0]);
  EXPECT_FALSE(after[1].deleted);
  EXPECT_EQ(after[1].chk + after[2].chk, "vv");
}

TEST_F(BatchEditTest, MarksOnAViewWithoutNotesChangeNothing) {
  Prepare({{"gone", "", "", "", "v", true}});
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  for (TRadioButton* TConvForm::*choice : {&TConvForm::Rc1, &TConvForm::Rc4}) {
    ShowDialog([choice] {
      (ConvForm->*choice)->SetChecked(true);
      ConvForm->BitBtn1->Click();
    });
  }
  Close();
  EXPECT_EQ(ReadAll(data.Path()), before);
}

// ---- locks --------------------------------------------------------------------------------

TEST_F(BatchEditTest, ARefusedFileLockLeavesEveryNoteAsItWas) {
  Prepare({{"one", "a", "", "", "v"}, {"two", "b"}, {"three", "c"}});
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  TForkedLockHolder other(data.Path() + "/" + kFile, 3);
  ASSERT_TRUE(other.Holding());
  const std::function<void()> runs[] = {
      [] {
        ConvForm->w2Btn->SetChecked(true);
        ConvForm->Edit2->SetText("+");
        ConvForm->OKBtn->Click();
      },
      [] {
        ConvForm->w3Btn->SetChecked(true);
        ConvForm->CBox1->SetChecked(true);
        ConvForm->CBox2->SetChecked(true);
        ConvForm->OKBtn->Click();
      },
      [] {
        ConvForm->Rc1->SetChecked(true);
        ConvForm->BitBtn1->Click();
      },
      [] {
        ConvForm->RBtnDel->SetChecked(true);
        ConvForm->BitBtn1->Click();
      },
  };
  for (const auto& run : runs) {
    bool closed = false;
    ShowDialog([&] {
      run();
      closed = ConvForm->ModalResult() != mrNone;
    });
    EXPECT_TRUE(closed);
    // Only the refusal: no question, and no report of work done.
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kRecordLockFailed});
    EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
    EXPECT_EQ(ReadAll(data.Path()), before);
    fake.Boxes.clear();
  }
  other.Release();
  ShowDialog([] {
    ConvForm->Rc1->SetChecked(true);
    ConvForm->BitBtn1->Click();
  });
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{K("  작업완료..  ")});
  Close();
  EXPECT_EQ(ReadAll(data.Path())[2].chk, "v") << "once the other copy lets go";
}

// ---- maintenance codes --------------------------------------------------------------------

TEST_F(BatchEditTest, CutOverLongTit3AfterItsLastBlankFromTheTop) {
  const std::string hangul10 = [] {
    std::string s;
    for (int i = 0; i < 10; ++i) s += K("가");
    return s;
  }();
  const struct {
    std::string before, after;
  } rows[] = {
      {Repeat('a', 24) + " " + Repeat('b', 15), Repeat('a', 24)},   // the blank at 25
      {Repeat('c', 40), Repeat('c', 40)},                           // no blank: left alone
      {Repeat('d', 10) + " " + Repeat('e', 29), Repeat('d', 10) + " " + Repeat('e', 29)},  // blank before 20
      {"short one", "short one"},                                    // not full
      {Repeat('f', 19) + " " + hangul10, Repeat('f', 19)},           // ends in a two-byte character
  };
  std::vector<TTestNote> notes;
  for (const auto& r : rows) notes.push_back({"t", "", r.before});
  notes.push_back({"gone", "", Repeat('g', 24) + " " + Repeat('h', 15), "", " ", true});
  Prepare(notes);
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  bool open = false;
  ShowDialog([&] {
    // A code with one more character is an ordinary text.
    EnterCode("58204179130");
    EXPECT_EQ(ReadAll(data.Path()), before);
    EnterCode("5820417913");
    open = ConvForm->ModalResult() == mrNone;
  });
  EXPECT_TRUE(open) << "the dialog stays";
  EXPECT_TRUE(fake.Boxes.empty());
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(after[i + 1].tit[2], rows[i].after) << i;
  EXPECT_EQ(after[0], before[0]);
  EXPECT_EQ(after.back(), before.back());
}

TEST_F(BatchEditTest, RestoringBodiesRewritesPlainBodiesFromTheCurrentNoteOn) {
  Prepare({{"first", "", "", "", " ", false, "a\nb"},
           {"plain", "", "", "", " ", false, "l1\nl2"},
           {"rich"},
           {"gone", "", "", "", " ", true, "x\ny"}});
  const std::string rtf = "{\\rtf1\\ansi r1\\par r2}";
  StoreBody(data.Path(), 4, "R", rtf);
  Start();
  ASSERT_TRUE(MainForm->GoToNote(3));
  ShowDialog([] { EnterCode("9615"); });
  Close();
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  EXPECT_EQ(after[1].body, "a\nb") << "before the current note";
  EXPECT_EQ(after[2].body, "l1\r\nl2") << "as the body editor gives it";
  EXPECT_EQ(after[3].body, rtf) << "rich bodies are left alone";
  EXPECT_EQ(after[3].type, "R");
  EXPECT_EQ(after[4].body, "x\ny") << "the deleted note";
}

// Each plain body is stored as a body editor of its own gives it back, whatever its breaks
// and characters; the window shows the last note afterwards, as it now stands.
TEST_F(BatchEditTest, RestoredBodiesAreWhatTheBodyEditorGivesBack) {
  const std::string bodies[] = {
      "",
      "one line",
      "cr\ronly",
      "lf\nonly\n",
      "crlf\r\nkept\r\n\r\n",
      "mixed\r\n\n\r\rend",
      "\ttab\t and  blanks  ",
      "controls \x0B\x0C\x1A\x1F end",
      K("한글\r\n줄바꿈 그대로\r\n"),
      K("한글 본문\n둘째 줄\r셋째"),
      "high \x80 and \xFF bytes",  // not CP949 text
      K("긴 줄 ") + std::string(3000, 'x') + "\n" + K("끝"),
  };
  std::vector<TTestNote> notes;
  for (const std::string& b : bodies) notes.push_back({"n", "", "", "", " ", false, b});
  Prepare(notes);
  Start();
  ASSERT_TRUE(MainForm->GoToNote(2));
  ShowDialog([] { EnterCode("9615"); });
  TRichEdit editor(nullptr);
  editor.SetPlainText(true);
  const std::vector<TNoteRecord> stored = ReadAll(data.Path());
  for (std::size_t i = 0; i < std::size(bodies); ++i) {
    editor.StreamIn(bodies[i]);
    EXPECT_EQ(stored[i + 1].body, editor.Text()) << i;
  }
  EXPECT_EQ(MainForm->memo1->Text(), editor.Text()) << "the last note is shown as stored";
  EXPECT_TRUE(fake.Boxes.empty());
  Close();
}

TEST_F(BatchEditTest, KeywordTaggingAddsDictionaryWordsToTit4AndEndsTheProgram) {
  Prepare({{"before", "", "", "", " ", false, K("메모")},
           {"current", "", "", "x", " ", false, K("인력거꾼이  고전문학을\r\n환영합니다 메모 메모")},
           {"known", "", "", K("메모"), " ", false, K("메모리 웹")},
           {"gone", "", "", "", " ", true, K("메모")},
           // Words before every entry and after the last one.
           {"none", "", "", "", " ", false, "nothing here " + K("힝힝")},
           // Line breaks of every kind end a word.
           {"breaks", "", "", "", " ", false, K("메모\r고전문학\n환영\r\n웹")},
           {"rich"}});
  // The words of a rich body are those its formats show (메모, 환영): a control word ends
  // right before the second.
  StoreBody(data.Path(), 8, "R", "{\\rtf1\\ansi\\ansicpg949\\b \\'b8\\'de\\'b8\\'f0\\par\\b0\\'c8\\'af\\'bf\\'b5}");
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  ASSERT_TRUE(MainForm->GoToNote(3));
  ShowDialog([] { EnterCode("5820417736"); });
  EXPECT_TRUE(Application->Terminated()) << "the main window closed";
  EXPECT_TRUE(fake.Boxes.empty()) << BoxTexts()[0];
  const std::vector<TNoteRecord> after = ReadAll(data.Path());
  EXPECT_EQ(after[1].tit[3], "") << "before the current note";
  EXPECT_EQ(after[2].tit[3], "x " + K("인력거 고전 환영 메모"));
  EXPECT_EQ(after[3].tit[3], K("메모 웹"));
  EXPECT_EQ(after[4], before[4]) << "the deleted note";
  EXPECT_EQ(after[5].tit[3], "");
  EXPECT_EQ(after[6].tit[3], K("메모 고전 환영 웹"));
  EXPECT_EQ(after[7].tit[3], K("메모 환영"));
  EXPECT_EQ(after[0], before[0]);
}

TEST_F(BatchEditTest, KeywordTaggingWithoutTheDictionaryTellsWhyAndChangesNothing) {
  Prepare({{"one", "", "", "", " ", false, K("메모")}});
  for (const auto& e : fs::directory_iterator(data.Path()))
    if (cp949::Upper(e.path().filename().string()).rfind("FFDB.", 0) == 0) fs::remove(e.path());
  const std::vector<TNoteRecord> before = ReadAll(data.Path());
  Start();
  ShowDialog([] { EnterCode("5820417736"); });
  EXPECT_EQ(fake.Boxes.size(), 1u) << "the failed open is shown";
  EXPECT_FALSE(Application->Terminated());
  Close();
  EXPECT_EQ(ReadAll(data.Path()), before);
}

}  // namespace
}  // namespace nbtest
