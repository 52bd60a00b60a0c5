// The Hangul data grid on a small in-memory dataset: a composition on the grid opens the
// cell editor with it, read-only cells refuse compositions, the editor asks for inline
// composition, and the pick list drops down, searches and writes its choice.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "components/HDBGrid.h"
#include "platform/core/DataSource.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"
#include "support/RowsDataSet.h"

using cp949::K;

namespace {

// Qt's input-method events as a Korean input method sends them: the syllable being composed,
// or the finished one.
void Composing(QWidget* w, const std::string& cp949Text) {
  QInputMethodEvent e(QString::fromUtf8(cp949::ToUtf8(cp949Text)), {});
  QCoreApplication::sendEvent(w, &e);
}

void Committing(QWidget* w, const std::string& cp949Text) {
  QInputMethodEvent e;
  e.setCommitString(QString::fromUtf8(cp949::ToUtf8(cp949Text)));
  QCoreApplication::sendEvent(w, &e);
}

// A character as a direct-commit input method, an on-screen keyboard or xdotool sends it: one
// key event carrying the text, to the widget that has the focus.
void TypeKey(const std::string& cp949Text) {
  QString text = QString::fromUtf8(cp949::ToUtf8(cp949Text));
  QWidget* w = QApplication::focusWidget();
  ASSERT_NE(w, nullptr);
  QTest::sendKeyEvent(QTest::Click, w, static_cast<Qt::Key>(text.at(0).toUpper().unicode()), text,
                      Qt::NoModifier);
}

struct HGridFixture : ::testing::Test {
  HGridFixture() : ds({{"WORD", 20}, {"KIND", 10}}) {
    old = SetInputMethodManager(&imm);
    ds.AddRow({"alpha", "noun"});
    ds.AddRow({"beta", "verb"});
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 500, 300);
    src.SetDataSet(&ds);
    grid = new THDBGrid(form);
    grid->SetParent(form);
    grid->SetBounds(0, 0, 480, 200);
    grid->SetOptions(grid->Options() | dgEditing);
    grid->ReadOnly = false;
    grid->SetDataSource(&src);
    ds.Open();
    form->Show();
    form->Widget()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
    grid->SetFocus();
  }
  ~HGridFixture() override {
    delete form;
    ds.Close();
    SetInputMethodManager(old);
  }
  TInputMethodRecorder imm;
  IInputMethodManager* old = nullptr;
  TRowsDataSet ds;
  TDataSource src;
  TForm* form = nullptr;
  THDBGrid* grid = nullptr;
};

TEST_F(HGridFixture, CompositionOnTheGridOpensTheEditorAndGoesOnThere) {
  ASSERT_FALSE(grid->EditorMode());
  Composing(grid->Widget(), K("하"));
  ASSERT_TRUE(grid->EditorMode());
  THDBGridInplaceEdit* ed = grid->HEditor();
  ASSERT_NE(ed, nullptr);
  // The editor's context holds the syllable being composed.
  EXPECT_EQ(imm.Composition(ed->Handle()), K("하"));
  EXPECT_EQ(imm.GetContextCalls, imm.ReleaseCalls);
  // The composition window of the input method stays hidden: the cell draws it.
  EXPECT_TRUE(ed->Focused());
  EXPECT_EQ(imm.ContextFlags(ed->Handle()) & ISC_SHOWUICOMPOSITIONWINDOW, 0u);

  Committing(ed->Widget(), K("한"));
  EXPECT_EQ(ed->Text(), K("한"));
  EXPECT_EQ(ds.State(), dsEdit);
  QTest::keyClick(ed->Widget(), Qt::Key_Return);
  EXPECT_EQ(ds.Value(0, 0), K("한"));
}

TEST_F(HGridFixture, ReadOnlyCellsTakeNoComposition) {
  ds.FieldByName("WORD")->ReadOnly = true;
  Composing(grid->Widget(), K("하"));
  EXPECT_FALSE(grid->EditorMode());
  EXPECT_EQ(imm.ReleaseCalls, imm.GetContextCalls);

  // An open editor swallows compositions once its cell cannot be changed.
  ds.FieldByName("WORD")->ReadOnly = false;
  grid->ShowEditor();
  THDBGridInplaceEdit* ed = grid->HEditor();
  ASSERT_TRUE(grid->EditorMode());
  ds.FieldByName("WORD")->ReadOnly = true;
  Committing(ed->Widget(), K("한"));
  EXPECT_EQ(ed->Text(), "alpha");
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(HGridFixture, EmptyCompositionAndFinishedSyllables) {
  Composing(grid->Widget(), "");
  EXPECT_FALSE(grid->EditorMode());
  // A syllable finished without a composition is typed into a newly opened editor.
  Committing(grid->Widget(), K("값"));
  ASSERT_TRUE(grid->EditorMode());
  EXPECT_EQ(grid->HEditor()->Text(), K("값"));
  EXPECT_EQ(ds.State(), dsEdit);
}

// A character is one key press whatever its bytes: a syllable typed on a grid that is not
// editing opens the editor with the whole syllable, and typing goes on there.
TEST_F(HGridFixture, HangulKeysOnTheGridOpenTheEditorWithTheWholeCharacter) {
  struct Case { std::vector<std::string> keys; std::string text; } cases[] = {
      {{K("한")}, K("한")},
      {{K("가"), K("나")}, K("가나")},
      {{K("가나")}, K("가나")},  // two syllables in one event
      {{K("가"), "b"}, K("가") + "b"},
      {{"a", K("값")}, "a" + K("값")},
  };
  for (const Case& c : cases) {
    grid->HideEditor();
    ds.Cancel();
    grid->SetFocus();
    ASSERT_FALSE(grid->EditorMode());
    for (const std::string& k : c.keys) TypeKey(k);
    ASSERT_TRUE(grid->EditorMode()) << c.text;
    EXPECT_EQ(grid->HEditor()->Text(), c.text);
    EXPECT_EQ(ds.State(), dsEdit);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(ds.Value(0, 0), "a" + K("값"));
}

struct PickListFixture : HGridFixture {
  PickListFixture() {
    THDBGrid::TColumnEditing& col = grid->ColumnEditing("word");
    for (const char* s : {"apple", "apricot", "banana"}) col.PickList.Add(s);
    grid->ShowEditor();
    ed = grid->HEditor();
  }
  THDBGridInplaceEdit* ed = nullptr;
};

TEST_F(PickListFixture, ListIsAsHighAsItsItemsUpToTheDropDownRows) {
  EXPECT_EQ(ed->EditStyle(), esPickList);
  struct Case { int items; int rows; int shownRows; } cases[] = {{3, 7, 3}, {10, 7, 7}, {10, 4, 4}};
  for (const Case& c : cases) {
    THDBGrid::TColumnEditing& col = grid->ColumnEditing("WORD");
    col.PickList.Clear();
    for (int i = 0; i < c.items; ++i) col.PickList.Add("item" + std::to_string(i));
    col.DropDownRows = c.rows;
    ed->DropDown();
    ASSERT_TRUE(ed->ListVisible());
    THPopupListBox* list = ed->ActiveList();
    EXPECT_EQ(list->List()->height(), c.shownRows * list->ItemHeight() + 4) << c.items;
    EXPECT_EQ(list->Width(), ed->Width());
    ed->CloseUp(false);
    EXPECT_FALSE(list->PoppedUp());
  }
}

TEST_F(PickListFixture, KeysOpenMoveAcceptAndDiscard) {
  QTest::keyClick(ed->Widget(), Qt::Key_Space);
  ASSERT_TRUE(ed->ListVisible());
  EXPECT_EQ(ed->ActiveList()->ItemIndex(), -1);  // "alpha" is not among the items
  QTest::keyClick(ed->Widget(), Qt::Key_Down);
  QTest::keyClick(ed->Widget(), Qt::Key_Down);
  EXPECT_EQ(ed->ActiveList()->ItemIndex(), 1);
  EXPECT_EQ(ds.RecNo(), 1);  // the list took the arrows, the grid did not move
  QTest::keyClick(ed->Widget(), Qt::Key_Escape);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ds.State(), dsBrowse);

  QTest::keyClick(ed->Widget(), Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(ed->ListVisible());
  QTest::keyClick(ed->Widget(), Qt::Key_End);
  QTest::keyClick(ed->Widget(), Qt::Key_Return);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(ed->Text(), "banana");
  QTest::keyClick(ed->Widget(), Qt::Key_Return);  // no list now: the record is posted
  EXPECT_EQ(ds.Value(0, 0), "banana");

  // Opened again on "banana", the list selects it; Alt+Up accepts the choice.
  QTest::keyClick(ed->Widget(), Qt::Key_Space);
  EXPECT_EQ(ed->ActiveList()->ItemIndex(), 2);
  QTest::keyClick(ed->Widget(), Qt::Key_Home);
  QTest::keyClick(ed->Widget(), Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(ed->Text(), "apple");
}

TEST_F(PickListFixture, MouseChoosesInTheListAndTheButtonOpensIt) {
  QWidget* button = ed->Widget()->childAt(ed->Width() - 2, ed->Height() / 2);
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_TRUE(ed->ListVisible());
  QListWidget* list = ed->ActiveList()->List();
  QRect item = list->visualItemRect(list->item(2));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ed->Text(), "banana");
  EXPECT_EQ(ds.State(), dsEdit);
  // A second press on the button closes the list without a choice.
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_FALSE(ed->ListVisible());
  EXPECT_EQ(ed->Text(), "banana");
}

TEST_F(PickListFixture, TypedLettersSearchWithinTwoSeconds) {
  uint64_t now = 100000;
  auto oldClock = THPopupListBox::TickCount;
  THPopupListBox::TickCount = [&] { return now; };
  QTest::keyClick(ed->Widget(), Qt::Key_Space);
  THPopupListBox* list = ed->ActiveList();
  QTest::keyClicks(ed->Widget(), "ap");
  EXPECT_EQ(list->SearchText(), "ap");
  EXPECT_EQ(list->ItemIndex(), 0);
  now += 1500;
  QTest::keyClicks(ed->Widget(), "r");
  EXPECT_EQ(list->ItemIndex(), 1);  // "apr"
  now += 2001;
  QTest::keyClicks(ed->Widget(), "b");
  EXPECT_EQ(list->SearchText(), "b");
  EXPECT_EQ(list->ItemIndex(), 2);
  QTest::keyClick(ed->Widget(), Qt::Key_Backspace);
  EXPECT_EQ(list->SearchText(), "");
  // A syllable is one key with both its bytes.
  list->Items().Add(K("한글"));
  TypeKey(K("한"));
  EXPECT_EQ(list->SearchText(), K("한"));
  EXPECT_EQ(list->ItemIndex(), 3);
  QTest::keyClick(ed->Widget(), Qt::Key_Backspace);
  // The search keeps at most 32 characters.
  QTest::keyClicks(ed->Widget(), QString(33, QChar('x')));
  EXPECT_EQ(list->SearchText(), std::string(32, 'x'));
  EXPECT_EQ(ed->Text(), "alpha");  // the letters went to the list, not the cell
  THPopupListBox::TickCount = oldClock;
}

TEST_F(HGridFixture, EllipsisButtonRunsTheGridsButtonClick) {
  grid->ColumnEditing("KIND").EllipsisButton = true;
  int clicks = 0;
  grid->OnEditButtonClick = [&](TObject* s) { EXPECT_EQ(s, grid); ++clicks; };
  grid->SetSelectedIndex(1);
  grid->ShowEditor();
  THDBGridInplaceEdit* ed = grid->HEditor();
  EXPECT_EQ(ed->EditStyle(), esEllipsis);
  QTest::keyClick(ed->Widget(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(ed->Widget()->childAt(ed->Width() - 2, ed->Height() / 2), Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  grid->SetSelectedIndex(0);
  grid->ShowEditor();
  EXPECT_EQ(ed->EditStyle(), esSimple);
}

TEST(HDBGridClasses, EditorAndListAreRegisteredByName) {
  ASSERT_TRUE(FindComponentClass("THPopupListBox"));
  ASSERT_TRUE(FindComponentClass("THDBGridInplaceEdit"));
  EXPECT_FALSE(FindComponentClass("TNoSuchThing"));
  std::unique_ptr<TComponent> list(FindComponentClass("THPopupListBox")(nullptr));
  EXPECT_NE(dynamic_cast<THPopupListBox*>(list.get()), nullptr);
}

}  // namespace
