// The data grid over a small in-memory dataset: rows are the dataset's buffer window, the
// current row follows the dataset and moves it back (keys, clicks), columns come from the
// visible fields with their display widths, and Del / Space / Enter reach the form.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "platform/core/DataSource.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"
#include "support/RowsDataSet.h"

namespace {

struct GridForm {
  GridForm(int rows) : ds({{"CHK", 1}, {"TIT1", 40}, {"TIT2", 20}}) {
    for (int i = 1; i <= rows; ++i) ds.AddRow({" ", "title " + std::to_string(i), cp949::K("가") + std::to_string(i)});
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 500, 300);
    src.SetDataSet(&ds);
    grid = new TDBGrid(form);
    grid->SetParent(form);
    grid->SetBounds(0, 0, 480, 200);
    grid->SetDataSource(&src);
    ds.Open();
    ds.FieldByName("CHK")->Visible = false;
    grid->LayoutChanged();
    form->Show();
  }
  ~GridForm() {
    delete form;
    ds.Close();
  }
  std::string Cell(int row, int col) {
    return cp949::FromUtf8(grid->View()->model()->index(row, col).data().toString().toStdString());
  }
  int CurrentRow() { return grid->View()->currentIndex().row(); }
  TRowsDataSet ds;
  TDataSource src;
  TForm* form;
  TDBGrid* grid;
};

TEST(TDBGridTest, ColumnsFromVisibleFieldsWithDisplayWidths) {
  GridForm f(3);
  ASSERT_EQ(f.grid->FieldCount(), 2);
  EXPECT_EQ(f.grid->Fields(0)->FieldName(), "TIT1");
  EXPECT_EQ(f.grid->View()->model()->headerData(1, Qt::Horizontal).toString(), "TIT2");
  EXPECT_GT(f.grid->ColumnWidth(0), f.grid->ColumnWidth(1));  // 40 characters against 20
  f.ds.FieldByName("TIT2")->SetDisplayWidth(40);
  f.ds.FieldByName("CHK")->Visible = true;
  f.grid->LayoutChanged();
  ASSERT_EQ(f.grid->FieldCount(), 3);
  EXPECT_EQ(f.grid->Fields(0)->FieldName(), "CHK");
  EXPECT_EQ(f.grid->ColumnWidth(1), f.grid->ColumnWidth(2));
  EXPECT_EQ(f.Cell(0, 2), cp949::K("가") + "1");
}

// The rows the grid holds all fit in its window, also when a wide column brings the
// horizontal scroll bar and when the font changes, so the last note is never shown with the
// first one cut in half above it.
TEST(TDBGridTest, EveryHeldRowIsWhollyInView) {
  GridForm f(50);
  QTableView* v = f.grid->View();
  auto check = [&](const char* what) {
    SCOPED_TRACE(what);
    QApplication::processEvents();
    f.ds.Last();
    const int rows = v->model()->rowCount();
    ASSERT_GT(rows, 1);
    EXPECT_EQ(v->visualRect(v->model()->index(0, 0)).top(), 0) << "the first row is not cut";
    EXPECT_LE(v->visualRect(v->model()->index(rows - 1, 0)).bottom(), v->viewport()->height());
    EXPECT_EQ(rows, v->viewport()->height() / v->verticalHeader()->defaultSectionSize()) << "no room is left over";
  };
  check("as shown");
  f.ds.FieldByName("TIT1")->SetDisplayWidth(200);
  f.grid->LayoutChanged();
  // The scroll bar comes with a layout pass of the view's own.
  for (int i = 0; i < 200 && !v->horizontalScrollBar()->isVisible(); ++i) QTest::qWait(5);
  ASSERT_TRUE(v->horizontalScrollBar()->isVisible());
  check("with the horizontal scroll bar");
  f.grid->Font().SetSize(20);
  check("in a larger font");
}

TEST(TDBGridTest, CurrentRowFollowsTheDatasetAndMovesIt) {
  GridForm f(50);
  int rows = f.grid->VisibleRowCount();
  ASSERT_GT(rows, 2);
  ASSERT_LT(rows, 50);
  EXPECT_EQ(f.CurrentRow(), 0);
  // The dataset moves: the grid's current row is its record.
  f.ds.MoveBy(2);
  EXPECT_EQ(f.CurrentRow(), 2);
  EXPECT_EQ(f.grid->Row(), 2);
  TRect cell = f.grid->CellRect(0, 2);
  EXPECT_GT(cell.Top, f.grid->CellRect(0, 1).Top);
  EXPECT_NEAR(cell.Width(), f.grid->ColumnWidth(0), 1);  // less the grid line
  EXPECT_EQ(f.Cell(f.CurrentRow(), 0), "title 3");
  f.ds.Last();
  EXPECT_EQ(f.Cell(f.CurrentRow(), 0), "title 50");
  EXPECT_EQ(f.grid->View()->model()->rowCount(), rows);
  // Keys in the grid move the dataset.
  f.grid->SetFocus();
  QTest::keyClick(f.grid->Widget(), Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(f.ds.RecNo(), 1);
  QTest::keyClick(f.grid->Widget(), Qt::Key_Down);
  QTest::keyClick(f.grid->Widget(), Qt::Key_Down);
  EXPECT_EQ(f.ds.RecNo(), 3);
  QTest::keyClick(f.grid->Widget(), Qt::Key_PageDown);
  EXPECT_EQ(f.ds.RecNo(), 3 + rows);
  QTest::keyClick(f.grid->Widget(), Qt::Key_Right);
  EXPECT_EQ(f.grid->SelectedIndex(), 1);
  // A click on a row makes its record current.
  f.ds.First();
  QTableView* v = f.grid->View();
  QRect r = v->visualRect(v->model()->index(4, 0));
  QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, r.center());
  EXPECT_EQ(f.ds.RecNo(), 5);
  EXPECT_EQ(f.grid->SelectedIndex(), 0);
  // A change of the record shows at once.
  f.ds.Edit();
  f.ds.FieldByName("TIT1")->SetAsString("changed");
  f.ds.Post();
  EXPECT_EQ(f.Cell(4, 0), "changed");
}

TEST(TDBGridTest, DelSpaceAndEnterReachTheForm) {
  GridForm f(5);
  std::vector<uint16_t> formKeys;
  std::string pressed;
  f.form->SetKeyPreview(true);
  f.form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) { formKeys.push_back(key); };
  f.grid->OnKeyPress = [&](TObject*, char& key) { pressed += key; };
  f.grid->SetFocus();
  QTest::keyClick(f.grid->Widget(), Qt::Key_Delete);
  QTest::keyClick(f.grid->Widget(), Qt::Key_Space);
  QTest::keyClick(f.grid->Widget(), Qt::Key_Return);
  EXPECT_EQ(formKeys, (std::vector<uint16_t>{VK_DELETE, VK_SPACE, VK_RETURN}));
  EXPECT_EQ(pressed, " \r");
  EXPECT_EQ(f.ds.RecNo(), 1);  // none of them moved the dataset
  // The form's handler can take a navigation key away from the grid.
  f.form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) { if (key == VK_DOWN) key = 0; };
  QTest::keyClick(f.grid->Widget(), Qt::Key_Down);
  EXPECT_EQ(f.ds.RecNo(), 1);
}

TEST(TDBGridTest, CellEditorWritesOnMoveAndEnterAndCancelsOnEsc) {
  GridForm f(5);
  f.grid->SetFocus();
  // A read-only grid types nothing into the record.
  QTest::keyClick(f.grid->Widget(), Qt::Key_X);
  EXPECT_FALSE(f.grid->EditorMode());
  f.grid->ReadOnly = false;
  f.grid->SetOptions(f.grid->Options() | dgEditing);
  // A character opens the editor with it; the record is being edited.
  QTest::keyClick(f.grid->Widget(), Qt::Key_X);
  ASSERT_TRUE(f.grid->EditorMode());
  TInplaceEdit* ed = f.grid->InplaceEditor();
  QTest::keyClick(ed->LineEdit(), Qt::Key_Y);
  EXPECT_EQ(ed->Text(), "xy");
  EXPECT_EQ(f.ds.State(), dsEdit);
  TRect cell = f.grid->CellRect(0, 0);
  EXPECT_EQ(ed->Top(), cell.Top);
  // Moving on writes the text and posts it.
  QTest::keyClick(ed->LineEdit(), Qt::Key_Down);
  EXPECT_EQ(f.ds.RecNo(), 2);
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.ds.Rows[0].substr(2, 2), "xy");
  EXPECT_EQ(ed->Text(), "title 2");  // the editor follows with the next record's text
  // Esc drops the change.
  QTest::keyClick(ed->LineEdit(), Qt::Key_Z);
  QTest::keyClick(ed->LineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(f.grid->EditorMode());
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.ds.FieldByName("TIT1")->AsString(), "title 2");
  // F2 opens the editor on the field's text; Enter writes and posts at once.
  QTest::keyClick(f.grid->Widget(), Qt::Key_F2);
  ASSERT_TRUE(f.grid->EditorMode());
  EXPECT_EQ(ed->Text(), "title 2");
  ed->SetSelStart(7);
  QTest::keyClick(ed->LineEdit(), Qt::Key_Exclam);
  QTest::keyClick(ed->LineEdit(), Qt::Key_Return);
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.ds.FieldByName("TIT1")->AsString(), "title 2!");
}

TEST(TDBGridTest, DisabledSourceAndClosedDatasetShowNothing) {
  GridForm f(5);
  f.src.SetEnabled(false);
  EXPECT_EQ(f.grid->View()->model()->rowCount(), 0);
  f.src.SetEnabled(true);
  EXPECT_EQ(f.grid->View()->model()->rowCount(), 5);
  f.ds.Close();
  EXPECT_EQ(f.grid->View()->model()->rowCount(), 0);
  EXPECT_EQ(f.grid->FieldCount(), 0);
}

}  // namespace
