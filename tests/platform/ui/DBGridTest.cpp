// The data grid over a small in-memory dataset: rows are the dataset's buffer window, the
// current row follows the dataset and moves it back (keys, clicks), columns come from the
// visible fields with their display widths, and Del / Space / Enter reach the form.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <cstring>

#include "platform/core/DataSet.h"
#include "platform/core/DataSource.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"

namespace {

// Fixed-width text columns in memory; a buffer is the row's bytes followed by the row number
// (the bookmark) and the bookmark flag.
class TRowsDataSet : public TDataSet {
 public:
  struct Col {
    std::string Name;
    int Size;
  };
  explicit TRowsDataSet(std::vector<Col> cols) : Cols(std::move(cols)) {
    for (const Col& c : Cols) FRowSize += c.Size + 1;
  }
  ~TRowsDataSet() override { CloseForDestroy(); }

  void AddRow(const std::vector<std::string>& values) {
    std::string r(static_cast<size_t>(FRowSize), '\0');
    size_t off = 0;
    for (size_t i = 0; i < Cols.size(); ++i) {
      if (i < values.size()) r.replace(off, std::min(values[i].size(), size_t(Cols[i].Size)), values[i].substr(0, static_cast<size_t>(Cols[i].Size)));
      off += static_cast<size_t>(Cols[i].Size) + 1;
    }
    Rows.push_back(r);
  }

  std::vector<Col> Cols;
  std::vector<std::string> Rows;

 protected:
  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    for (const Col& c : Cols) FieldDefs().Add(c.Name, ftString, c.Size);
  }
  void InternalOpen() override {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    BookmarkSize = 4;
    FCursor = -1;
    FOpen = true;
  }
  void InternalClose() override {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FOpen = false;
  }
  bool IsCursorOpen() override { return FOpen; }
  int GetRecordSize() override { return FRowSize + 5; }
  TRecordBuffer AllocRecordBuffer() override { return new char[static_cast<size_t>(GetRecordSize())](); }
  void InternalInitRecord(TRecordBuffer b) override { std::memset(b, 0, static_cast<size_t>(GetRecordSize())); }
  TGetResult GetRecord(TRecordBuffer b, TGetMode mode, bool) override {
    int n = static_cast<int>(Rows.size());
    if (mode == gmNext) {
      if (FCursor >= n - 1) { FCursor = n; return grEOF; }
      ++FCursor;
    } else if (mode == gmPrior) {
      if (FCursor <= 0) { FCursor = -1; return grBOF; }
      --FCursor;
    } else if (FCursor < 0 || FCursor >= n) {
      return FCursor < 0 ? grBOF : grEOF;
    }
    std::memcpy(b, Rows[static_cast<size_t>(FCursor)].data(), static_cast<size_t>(FRowSize));
    std::memcpy(b + FRowSize, &FCursor, 4);
    b[FRowSize + 4] = bfCurrent;
    return grOK;
  }
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = static_cast<int>(Rows.size()); }
  void InternalSetToRecord(TRecordBuffer b) override { std::memcpy(&FCursor, b + FRowSize, 4); }
  void InternalGotoBookmark(const void* bm) override { std::memcpy(&FCursor, bm, 4); }
  void GetBookmarkData(TRecordBuffer b, void* d) override { std::memcpy(d, b + FRowSize, 4); }
  void SetBookmarkData(TRecordBuffer b, const void* d) override { std::memcpy(b + FRowSize, d, 4); }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer b) override { return static_cast<TBookmarkFlag>(b[FRowSize + 4]); }
  void SetBookmarkFlag(TRecordBuffer b, TBookmarkFlag v) override { b[FRowSize + 4] = static_cast<char>(v); }
  void InternalPost() override {
    int row;
    std::memcpy(&row, ActiveBuffer() + FRowSize, 4);
    std::memcpy(Rows[static_cast<size_t>(row)].data(), ActiveBuffer(), static_cast<size_t>(FRowSize));
  }
  int GetRecordCount() override { return static_cast<int>(Rows.size()); }
  int GetRecNo() override {
    TRecordBuffer b = GetActiveRecordBuffer();
    if (!b) return 0;
    int row;
    std::memcpy(&row, b + FRowSize, 4);
    return row + 1;
  }
  void SetRecNo(int v) override { MoveBy(v - RecNo()); }
  bool GetFieldData(TField* f, void* buf) override {
    TRecordBuffer b = GetActiveRecordBuffer();
    if (!b) return false;
    const char* p = b + Offset(f);
    if (!*p) return false;
    if (buf) std::memcpy(buf, p, static_cast<size_t>(f->DataSize()));
    return true;
  }
  void SetFieldData(TField* f, const void* buf) override {
    char* p = ActiveBuffer() + Offset(f);
    std::memset(p, 0, static_cast<size_t>(f->DataSize()));
    if (buf) std::memcpy(p, buf, static_cast<size_t>(f->DataSize()));
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(f));
  }

 private:
  int Offset(TField* f) const {
    int off = 0;
    for (int i = 0; i < f->FieldNo() - 1; ++i) off += Cols[static_cast<size_t>(i)].Size + 1;
    return off;
  }
  int FRowSize = 0;
  int FCursor = -1;
  bool FOpen = false;
};

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
