// The list print dialog on note files of the test's own: the page header, the rows of all
// notes or of a range in two columns, the page count, an active query limiting the list, a
// range that is no number, and the main window keeping its note (and unsaved typing) across
// the walk.
#include "PrintDialogFixture.h"

#include <algorithm>
#include <limits>
#include <regex>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/PrnList.h"
#include "app/Udf.h"
#include "platform/core/Cp949.h"
#include "platform/gfx/Printers.h"
#include "platform/ui/QtServices.h"
#include "report/stream/ReportStream.h"
#include "support/ReportTestKit.h"

using cp949::K;

namespace nbtest {

namespace {

// A row of the list: note number, the column it stands in (1 or 2), its baseline.
struct TRow {
  int page, column, number;
  double y;
  std::string title;
};

class ListPrintTest : public PrintDialogTest {
 protected:
  // Notes "note 1" .. "note n" (tit1), the program started on them.
  void Prepare(int n) {
    std::vector<TNote> notes;
    for (int i = 1; i <= n; ++i) notes.push_back({"note " + std::to_string(i), "", "", "", "body " + std::to_string(i)});
    UseNoteFile(data.Path(), notes, " ");
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
  void ShowDialog(std::function<void()> act) { ShowPrintDialog(PrnList, MainForm->PrnListBtn, std::move(act)); }
  // Previews the range first..last (both 0: all notes).
  void Preview(int first = 0, int last = 0) {
    ShowDialog([&] {
      if (first > 0) {
        PrnList->booPri->SetChecked(true);
        EXPECT_TRUE(PrnList->Edit1->Visible());
        PrnList->Edit1->SetText(std::to_string(first));
        PrnList->Edit2->SetText(std::to_string(last));
      }
      PrnList->SpeedButton1->Click();
      EXPECT_TRUE(PrnList->PreviewActive());
    });
    EXPECT_TRUE(fake.Boxes.empty()) << (fake.Boxes.empty() ? "" : fake.Boxes[0].Text);
  }
  // The rows of the recorded list: number texts in the No columns, then their titles.
  std::vector<TRow> Rows(int* pageCount) {
    std::vector<TRow> rows;
    for (const TDrawn& d : RecordedStream(pageCount)) {
      if (d.code != rcTextLeft || d.text.empty()) continue;
      const int column = std::abs(d.x - 0.62) < 1e-4 ? 1 : std::abs(d.x - 4.02) < 1e-4 ? 2 : 0;
      if (column && d.text != "No") {
        rows.push_back({d.page, column, StrToInt(d.text), d.y, ""});
      } else if (!rows.empty() && std::abs(d.y - rows.back().y) < 1e-6 &&
                 std::abs(d.x - (rows.back().column == 1 ? 1.02 : 4.42)) < 1e-4) {
        rows.back().title = Trim(d.text);
      }
    }
    return rows;
  }
};

TEST_F(ListPrintTest, AllNotesUnderTheHeaderWithAClosingRule) {
  Prepare(5);
  Preview();
  int pageCount = 0;
  const std::vector<TRow> rows = Rows(&pageCount);
  EXPECT_EQ(pageCount, 1);
  ASSERT_EQ(rows.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].number, i + 1);
    EXPECT_EQ(rows[i].column, 1);
    EXPECT_EQ(rows[i].title, "note " + std::to_string(i + 1));
    if (i) {
      EXPECT_NEAR(rows[i].y - rows[i - 1].y, 1.0 / 6, 1e-4);
    }
  }
  const std::vector<TDrawn> all = RecordedStream(nullptr);
  // The header: the file description centred over the list, the column heads.
  auto desc = std::find_if(all.begin(), all.end(), [](const TDrawn& d) { return d.text == "desc"; });
  ASSERT_NE(desc, all.end());
  EXPECT_EQ(desc->code, rcTextCenter);
  EXPECT_NEAR(desc->x, 0.6 + 6.8 / 2, 1e-4);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const TDrawn& d) { return d.text == "No"; }), 2);
  // Rules from 0.6 to 7.6: under the description, under the heads, and one just under row 5.
  std::vector<double> rules;
  for (size_t i = 0; i + 1 < all.size(); ++i)
    if (all[i].code == rcMoveTo && all[i + 1].code == rcLineTo && std::abs(all[i].x - 0.6) < 1e-4 &&
        std::abs(all[i + 1].x - 7.6) < 1e-4)
      rules.push_back(all[i].y);
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_LT(rules[1], rows[0].y);
  EXPECT_GT(rules[2], rows[4].y);
  EXPECT_LT(rules[2], rows[4].y + 1.0 / 6);
  EXPECT_EQ(MainForm->NoteTable->IndexOrd(), 0) << "the main window's list stays in natural order";
}

TEST_F(ListPrintTest, TwoColumnsPerPageAndTheRangeDecidesThePages) {
  Prepare(130);
  Preview();
  int pageCount = 0;
  std::vector<TRow> rows = Rows(&pageCount);
  ASSERT_EQ(rows.size(), 130u);
  int perColumn = 0;
  while (rows[perColumn].column == 1) ++perColumn;
  ASSERT_GT(perColumn, 20);
  const int perPage = 2 * perColumn;
  EXPECT_EQ(pageCount, (130 + perPage - 1) / perPage);
  EXPECT_EQ(PrnList->PageCount(), pageCount);
  for (int i = 0; i < 130; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].number, i + 1);
    EXPECT_EQ(rows[i].page, i / perPage + 1);
    EXPECT_EQ(rows[i].column, i % perPage < perColumn ? 1 : 2);
    EXPECT_LT(rows[i].y, 9.7 + 1e-4);
    // The right column fills the left column's rows from the top.
    if (rows[i].column == 2) {
      EXPECT_NEAR(rows[i].y, rows[i - perColumn].y, 1e-6);
    }
  }

  // A range that exactly fills one page prints that page only; one note more needs a second.
  struct Case {
    int first, last, pages;
  } cases[] = {{1, perPage, 1}, {1, perPage + 1, 2}, {3, 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last);
    Preview(c.first, c.last);
    rows = Rows(&pageCount);
    EXPECT_EQ(pageCount, c.pages);
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.last - c.first + 1));
    EXPECT_EQ(rows.front().number, c.first);
    EXPECT_EQ(rows.back().number, c.last);
  }
}

// Titles of the field's full width, in Latin and Hangul, in both columns: each is cut to its
// column, so on the printed page it ends before the column's line (left) or the cell's end
// (right), and it still fills its column. Checked on the PDF, which also passes the strict
// reader.
TEST_F(ListPrintTest, FullWidthTitlesStayInTheirColumns) {
  std::string hangul, mixed;
  for (int i = 0; i < 30; ++i) hangul += K("목");
  for (int i = 0; i < 15; ++i) mixed += "WW" + K("가");
  const std::vector<std::string> titles = {std::string(60, 'W'), hangul, mixed, "short"};
  std::vector<TNote> notes;
  for (int i = 0; i < 80; ++i) notes.push_back({titles[static_cast<size_t>(i) % titles.size()], "", "", "", "b"});
  UseNoteFile(data.Path(), notes, " ");
  Start();
  ASSERT_TRUE(MainForm->NoteTable->Active());

  const std::string pdf = IncludeTrailingPathDelimiter(GetCurrentDir()) + "list.pdf";
  SetReportPrinter(nullptr);
  Printer().OutputFileName = pdf;
  ShowDialog([] { PrnList->SpeedButton2->Click(); });
  Printer().OutputFileName.clear();
  SetReportPrinter(&pages);
  ASSERT_TRUE(fake.Boxes.empty()) << fake.Boxes[0].Text;
  EXPECT_EQ(rtest::PdfSyntaxFaults(pdf), "");

  // The recorded titles: whole characters from the start of each title; the short one whole.
  int pageCount = 0;
  const std::vector<TRow> rows = Rows(&pageCount);
  ASSERT_EQ(rows.size(), 80u);
  ASSERT_TRUE(std::any_of(rows.begin(), rows.end(), [](const TRow& r) { return r.column == 2; }));
  for (const TRow& r : rows) {
    const std::string& whole = titles[static_cast<size_t>(r.number - 1) % titles.size()];
    ASSERT_FALSE(r.title.empty()) << r.number;
    EXPECT_EQ(whole.compare(0, r.title.size(), r.title), 0) << r.number;
    EXPECT_EQ(cp949::CutLength(r.title, r.title.size()), r.title.size()) << "cut inside a character: " << r.number;
    if (whole == "short") EXPECT_EQ(r.title, whole);
    else EXPECT_LT(r.title.size(), whole.size()) << r.number;
  }

  // On the page: every title word ends within its column and comes near its end.
  const std::string layout = rtest::CommandOutput("pdftotext -bbox '" + pdf + "' - 2>&1");
  const std::regex word(R"re(<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>)re");
  int seen = 0;
  for (auto m = std::sregex_iterator(layout.begin(), layout.end(), word); m != std::sregex_iterator(); ++m) {
    const double left = std::stod((*m)[1]) / 72, right = std::stod((*m)[2]) / 72;
    const std::string text = (*m)[3];
    if (text.size() < 20) continue;  // numbers, heads, the short title
    ++seen;
    const bool firstColumn = left < 4.0;
    const double end = firstColumn ? 4.0 : 7.4;  // the parting line; the right cell's end
    SCOPED_TRACE(text);
    EXPECT_NEAR(left, firstColumn ? 1.02 : 4.42, 0.02);
    EXPECT_LE(right, end);
    EXPECT_GT(right, end - 0.25) << "the title fills its column";
  }
  EXPECT_EQ(seen, 60);
}

TEST_F(ListPrintTest, AnActiveQueryLimitsTheList) {
  Prepare(12);
  ASSERT_TRUE(MainForm->ApplySearch("at(\"1\", tit1) > 0"));  // notes 1, 10, 11, 12
  Preview();
  int pageCount = 0;
  std::vector<TRow> rows = Rows(&pageCount);
  std::vector<int> numbers;
  for (const TRow& r : rows) numbers.push_back(r.number);
  EXPECT_EQ(numbers, (std::vector<int>{1, 10, 11, 12}));

  Preview(2, 11);
  numbers.clear();
  for (const TRow& r : Rows(&pageCount)) numbers.push_back(r.number);
  EXPECT_EQ(numbers, (std::vector<int>{10, 11})) << "a range keeps to the notes in view";
}

TEST_F(ListPrintTest, RangeEntriesAndTheMainWindowsNote) {
  Prepare(6);
  TXbTable& t = *MainForm->NoteTable;
  const XbLong here = t.RecNo();
  MainForm->memo1->SetSelStart(0);
  MainForm->memo1->SetSelText("typed ");
  const std::string typed = MainForm->memo1->Text();

  ShowDialog([&] {
    PrnList->SetFocus();
    PrnList->booPri->SetChecked(true);
    EXPECT_EQ(PrnList->Edit1->Text(), "1");
    EXPECT_EQ(PrnList->Edit2->Text(), "6");
    Application->ProcessMessages();
    ASSERT_TRUE(PrnList->Edit1->Focused()) << "the range starts at its first number";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Application->ProcessMessages();
    EXPECT_TRUE(PrnList->Edit2->Focused()) << "Enter moves to the next control";
    PrnList->Edit1->SetText("7");
    PrnList->Edit1Exit(PrnList->Edit1);
    EXPECT_EQ(PrnList->Edit1->Text(), "1") << "past the last note: back to 1";
    PrnList->Edit1->SetText("x");
    EXPECT_THROW(PrnList->Edit1Exit(PrnList->Edit1), EConvertError);
    PrnList->Edit1->SetText("2");
    PrnList->Edit2->SetText("y");
    EXPECT_THROW(PrnList->SpeedButton1Click(nullptr), EConvertError);
    EXPECT_FALSE(PrnList->PreviewActive());
    EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
    PrnList->Edit2->SetText("3");
    PrnList->SpeedButton2Click(nullptr);
    PrnList->SpeedButton3Click(nullptr);
  });
  ASSERT_EQ(pages.Pages().size(), 1u) << "the print records the range in force, then plays it";
  int pageCount = 0;
  std::vector<int> numbers;
  for (const TRow& r : Rows(&pageCount)) numbers.push_back(r.number);
  EXPECT_EQ(numbers, (std::vector<int>{2, 3}));
  EXPECT_TRUE(MainForm->NoteDataSource->Enabled());
  EXPECT_EQ(t.RecNo(), here) << "the walk ends on the note the main window shows";
  EXPECT_EQ(MainForm->memo1->Text(), typed) << "unsaved typing survives";
}

}  // namespace
// A list of many pages is a long operation: while it is recorded and printed the page in hand
// shows, the window repaints, and the user's clicks start nothing, neither then nor after.
TEST_F(ListPrintTest, WhilePrintingThePageShowsAndASecondCommandIsRefused) {
  Prepare(250);
  fake.OnProcessMessages = [] { orv::QtMessageLoop().ProcessMessages(); };  // the program's own loop
  std::vector<std::string> seen;
  int paints = 0;
  bool visibleDuring = false;
  ShowDialog([&] {
    EXPECT_FALSE(PrnList->StatusLabel1->Visible());
    struct PaintCount : QObject {
      int& n;
      explicit PaintCount(int& c) : n(c) {}
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++n;
        return false;
      }
    } counter(paints);
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      visibleDuring = visibleDuring || PrnList->StatusLabel1->Visible();
      const std::string now = PrnList->StatusLabel1->Caption();
      if (seen.empty() || seen.back() != now) seen.push_back(now);
      // The preview and exit buttons, clicked as the user would.
      QTest::mouseClick(PrnList->SpeedButton1->Widget(), Qt::LeftButton);
      QTest::mouseClick(PrnList->SpeedButton3->Widget(), Qt::LeftButton);
    });
    watch.start();
    qApp->installEventFilter(&counter);
    paints = 0;
    PrnList->SpeedButton2->Click();
    qApp->removeEventFilter(&counter);
    watch.stop();
    Application->ProcessMessages();
    EXPECT_FALSE(PrnList->PreviewActive()) << "no preview started during or after the print";
    EXPECT_EQ(PrnList->ModalResult(), mrNone) << "the exit button did not close the dialog";
    EXPECT_TRUE(fake.Boxes.empty()) << fake.Boxes.front().Text;
    EXPECT_FALSE(PrnList->StatusLabel1->Visible());
  });
  ASSERT_EQ(pages.Pages().size(), 3u);
  EXPECT_EQ(PrnList->ReportFiler1->LastPage, std::numeric_limits<int>::max())
      << "every page of a list is recorded, past 65,535 too";
  EXPECT_TRUE(visibleDuring);
  EXPECT_GT(paints, 0);
  // The first turn of the operation comes at once, when the first page is begun.
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Printing page 1"), seen.end()) << seen.size() << " [" << seen.front() << "]";
}

}  // namespace nbtest
