// The note print dialog on a note file of the test's own, with a page-picture printer: the
// title block with the chosen titles and labels, the body lines with the spacing of the
// settings, page feet and page breaks, as recorded in "xx.$$$" and shown by the preview; the
// print page's settings written back through the locked writes; a rich body printed by the
// body editor.
#include "PrintDialogFixture.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <QImage>
#include <QTabWidget>

#include "app/NotePrnForm.h"
#include "app/Udf.h"
#include "platform/gfx/Printers.h"
#include "support/ReportTestKit.h"

using cp949::K;

namespace nbtest {

std::vector<TDrawn> RecordedStream(int* pages) {
  std::vector<TDrawn> out;
  int page = 0;
  const std::string bytes = rtest::ReadFile(kReportStreamFile);
  EXPECT_EQ(rtest::StreamFaults(bytes), "");
  for (const rtest::Rec& r : rtest::Parse(bytes)) {
    if (r.Code == rcPageHeader) ++page;
    if (r.Code == rcTextLeft || r.Code == rcTextCenter || r.Code == rcTextRight)
      out.push_back({page, r.Code, r.Nums[1], r.Nums[0], r.Text});
    if (r.Code == rcMoveTo || r.Code == rcLineTo) out.push_back({page, r.Code, r.Nums[0], r.Nums[1], ""});
  }
  if (pages) *pages = page;
  return out;
}

namespace {

class NotePrintTest : public PrintDialogTest {
 protected:
  // One note with these titles and body, the settings given, the program started on it.
  void Prepare(const std::string& body, const std::map<std::string, std::string>& settings) {
    UseNoteFile(data.Path(), {{"alpha", "bravo", "charlie", "delta", body}}, " ");
    WriteFields(data.Path(), "condb20.dbf", 1, settings);
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
  // Shows the print dialog from the main window; act runs while it is shown.
  void ShowDialog(std::function<void()> act) { ShowPrintDialog(NotePrnForm, MainForm->PrintBtn, std::move(act)); }
  // The texts of the stream (no empty ones), in order.
  std::vector<TDrawn> Texts(int* pageCount = nullptr) {
    std::vector<TDrawn> out;
    for (const TDrawn& d : RecordedStream(pageCount))
      if (d.code != rcMoveTo && d.code != rcLineTo && !d.text.empty()) out.push_back(d);
    return out;
  }
};

// A title as the note file stores it: tit1 and tit4 are 60 wide here, tit2 and tit3 40.
std::string Tit(const char* value, int width = 60) { return StrPadR(value, width); }

TEST_F(NotePrintTest, TitleBlockWithLabelsThenBodyLinesAtTheirSpacingAndTheFoot) {
  Prepare("line one\r\n\r\nline three\r\n  \r\n\r\n",
          {{"font4", "1 1 1 "}, {"utab1", "4"}, {"utab2", "8"}});
  ShowDialog([&] {
    NotePrnForm->SpeedButton1->Click();
    EXPECT_TRUE(NotePrnForm->PreviewActive());
    EXPECT_TRUE(NotePrnForm->ScrollBox1->Visible());
    EXPECT_EQ(NotePrnForm->FilePreview1->ZoomFactor(), 50);
    ASSERT_NE(NotePrnForm->FilePreview1->PageImage(), nullptr);
    EXPECT_FALSE(NotePrnForm->NextButton->Enabled()) << "one page: nothing to turn to";

    NotePrnForm->SpeedButton2->Click();
    ASSERT_EQ(pages.Pages().size(), 1u);
    // The title's first baseline is one inch down: ink just above it.
    const QImage& sheet = pages.Pages()[0];
    bool ink = false;
    for (int y = 85; y <= 100 && !ink; ++y)
      for (int x = 100; x < 400 && !ink; ++x) ink = qGray(sheet.pixel(x, y)) < 128;
    EXPECT_TRUE(ink);
  });
  EXPECT_TRUE(fake.Boxes.empty()) << (fake.Boxes.empty() ? "" : fake.Boxes[0].Text);
  EXPECT_FALSE(NotePrnForm->PreviewActive()) << "closing finishes the preview";

  int pageCount = 0;
  const std::vector<TDrawn> texts = Texts(&pageCount);
  EXPECT_EQ(pageCount, 1);
  const std::string label1 = StrPadR(MainForm->Label1->Caption(), 8), label3 = StrPadR(MainForm->Label3->Caption(), 8);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0].text, label1 + ": " + Tit("alpha"));
  EXPECT_EQ(texts[1].text, label3 + ": " + Tit("charlie", 40));
  EXPECT_EQ(texts[2].text, "line one");
  EXPECT_EQ(texts[3].text, "line three") << "blank lines at the end are left out";
  EXPECT_EQ(texts[4].text, "- 1 -");
  EXPECT_NEAR(texts[0].y, 1.0, 1e-4);
  EXPECT_NEAR(texts[0].x, 1.02, 1e-4);
  EXPECT_NEAR(texts[2].x, 1.02, 1e-4);
  EXPECT_NEAR(texts[1].y - texts[0].y, 1.0 / 4, 1e-4) << "utab1: 4 title lines per inch";
  EXPECT_NEAR(texts[3].y - texts[2].y, 2.0 / 8, 1e-4) << "utab2: 8 body lines per inch, the blank one kept";
  EXPECT_EQ(texts[4].code, rcTextCenter);
  EXPECT_NEAR(texts[4].x, 4.25, 1e-4);
  EXPECT_NEAR(texts[4].y, 11.0 - 0.8, 1e-4);

  // The rule half a title line above the empty line after the titles, across the page.
  std::vector<TDrawn> rule;
  for (const TDrawn& d : RecordedStream(nullptr))
    if (d.code == rcMoveTo || d.code == rcLineTo) rule.push_back(d);
  ASSERT_EQ(rule.size(), 2u);
  EXPECT_NEAR(rule[0].x, 0.3, 1e-4);
  EXPECT_NEAR(rule[1].x, 8.5 - 0.3, 1e-4);
  EXPECT_NEAR(rule[0].y, texts[1].y + 1.0 / 4 - 1.0 / 8, 1e-4);
  EXPECT_LT(rule[0].y, texts[2].y);
}

TEST_F(NotePrintTest, LongNotePagesWithTitlesOnTheFirstPageOnly) {
  std::string body;
  for (int i = 1; i <= 150; ++i) body += "line " + std::to_string(i) + "\r\n";
  Prepare(body, {{"font4", "1    1"}, {"utab1", "6"}, {"utab2", "6"}});
  ShowDialog([&] {
    NotePrnForm->SpeedButton1->Click();
    EXPECT_TRUE(NotePrnForm->PrevButton->Enabled());
    EXPECT_TRUE(NotePrnForm->NextButton->Enabled());
    NotePrnForm->NextButtonClick(nullptr);
    EXPECT_EQ(NotePrnForm->FilePreview1->PageNumber, 2);
    NotePrnForm->PrevButtonClick(nullptr);
    EXPECT_EQ(NotePrnForm->FilePreview1->PageNumber, 1);
  });
  int pageCount = 0;
  const std::vector<TDrawn> texts = Texts(&pageCount);
  EXPECT_EQ(pageCount, NotePrnForm->PageCount());
  ASSERT_GE(pageCount, 3);
  EXPECT_EQ(texts.front().text, Tit("alpha")) << "no labels: the value alone";
  int next = 1;
  std::vector<std::string> feet;
  for (int page = 1; page <= pageCount; ++page) {
    SCOPED_TRACE(page);
    bool first = true;
    for (const TDrawn& d : texts) {
      if (d.page != page || d.text == Tit("alpha")) continue;
      if (d.code == rcTextCenter) {
        feet.push_back(d.text);
        continue;
      }
      EXPECT_EQ(d.text, "line " + std::to_string(next++)) << "every line once, in order";
      if (first && page > 1) {
        EXPECT_NEAR(d.y, 1.0, 1e-4) << "the body starts at one inch";
      }
      first = false;
      EXPECT_LE(d.y, 11.0 - 1.0 + 1.0 / 6 + 1e-4) << "a page ends past one inch above the bottom";
    }
  }
  EXPECT_EQ(next, 151);
  ASSERT_EQ(feet.size(), static_cast<size_t>(pageCount));
  for (int page = 1; page <= pageCount; ++page) EXPECT_EQ(feet[page - 1], "- " + std::to_string(page) + " -");
  for (const TDrawn& d : RecordedStream(nullptr)) {
    if (d.code == rcMoveTo) {
      EXPECT_EQ(d.page, 1) << "the rule only under the first page's titles";
    }
  }
}

// Another copy of the program in the same folder records into "xx.$$$" round after round
// while this one previews and prints: what this one shows and prints is its own note, every
// time, and the file stays a whole report throughout.
TEST_F(NotePrintTest, AnotherCopyRecordingIntoTheSameFolderDoesNotChangeWhatIsPrinted) {
  Prepare("our own line\r\nand another\r\n", {{"font4", "1     "}});
  // The other copy's report: a page of its own, unlike this one's.
  TMemoryStream foreign;
  {
    TReportFiler recorder;
    recorder.StreamMode = smUser;
    recorder.Stream = &foreign;
    recorder.OnPrint = [](TObject* s) {
      auto& r = *static_cast<TBaseReport*>(s);
      r.SetBrush(clBlack, bsSolid, nullptr);
      r.Rectangle(0.5, 0.5, 8, 10.5);
      r.PrintTextLeft("FOREIGN", 1);
    };
    recorder.Execute();
  }
  // This copy's page, printed and previewed while nobody else writes.
  QImage printed, shown;
  ShowDialog([&] {
    NotePrnForm->SpeedButton2->Click();
    NotePrnForm->SpeedButton1->Click();
    ASSERT_EQ(pages.Pages().size(), 1u);
    printed = pages.Pages()[0];
    ASSERT_NE(NotePrnForm->FilePreview1->PageImage(), nullptr);
    shown = *NotePrnForm->FilePreview1->PageImage();
  });

  rtest::TRecordingCopy other(kReportStreamFile, {rtest::StreamBytes(foreign)});
  ASSERT_TRUE(other.Started());
  ShowDialog([&] {
    for (int round = 0; round < 10; ++round) {
      SCOPED_TRACE(round);
      NotePrnForm->SpeedButton2->Click();
      ASSERT_EQ(pages.Pages().size(), 1u);
      EXPECT_TRUE(pages.Pages()[0] == printed) << "printed another copy's report";
      NotePrnForm->SpeedButton1->Click();
      ASSERT_NE(NotePrnForm->FilePreview1->PageImage(), nullptr);
      EXPECT_TRUE(*NotePrnForm->FilePreview1->PageImage() == shown) << "previewed another copy's report";
      const std::string file = rtest::ReadFile(kReportStreamFile);
      EXPECT_EQ(rtest::StreamFaults(file), "");
    }
  });
  EXPECT_TRUE(other.Stop());
  EXPECT_TRUE(fake.Boxes.empty()) << fake.Boxes[0].Text;
}

TEST_F(NotePrintTest, EmptyBodyIsOnePageWithTheFootAlone) {
  Prepare("", {{"font4", "11111 "}});
  ShowDialog([] { NotePrnForm->SpeedButton1->Click(); });
  int pageCount = 0;
  const std::vector<TDrawn> texts = Texts(&pageCount);
  EXPECT_EQ(pageCount, 1);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "- 0 -");
}

TEST_F(NotePrintTest, SpacingOutsideTheListPrintsAtSixLinesPerInch) {
  Prepare("one\r\ntwo", {{"font4", "1     "}, {"utab1", "0"}, {"utab2", "12"}});
  ShowDialog([] { NotePrnForm->SpeedButton1->Click(); });
  const std::vector<TDrawn> texts = Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1].text, "one");
  EXPECT_NEAR(texts[2].y - texts[1].y, 1.0 / 6, 1e-4);
  for (const TDrawn& d : RecordedStream(nullptr)) {
    if (d.code == rcMoveTo) {
      EXPECT_NEAR(d.y, 1.0 + 1.0 / 6 - 1.0 / 12, 1e-4) << "the rule half a line of 6 per inch up";
    }
  }
}

TEST_F(NotePrintTest, SettingsPageShowsAndStoresTheSettings) {
  Prepare("x", {{"font4", "11111 "}, {"utab1", "6"}, {"utab2", "0"}, {"font1", K("바탕")}, {"fsize1", "12"},
                {"FType1", "1 "}, {"font2", "Serif"}, {"fsize2", "10"}, {"FType2", "  "}});
  dialogs.Fonts.push_back(TFontChoice{"Test Sans", 14, TFontStyles{fsItalic}});
  dialogs.Fonts.push_back(std::nullopt);
  dialogs.Fonts.push_back(TFontChoice{"Wide", 100, TFontStyles{fsBold, fsUnderline}});
  ShowDialog([&] {
    QTabWidget* tabs = NotePrnForm->TabbedNotebook1->Tabs();
    tabs->setCurrentIndex(1);
    EXPECT_EQ(NotePrnForm->CheckBox1->Caption(), MainForm->Label1->Caption());
    TCheckBox* boxes[6] = {NotePrnForm->CheckBox1, NotePrnForm->CheckBox2, NotePrnForm->CheckBox3,
                           NotePrnForm->CheckBox4, NotePrnForm->CheckBox5, NotePrnForm->CheckBox6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(boxes[i]->Checked(), i < 5) << i;
    EXPECT_EQ(NotePrnForm->TitleList->ItemIndex(), 2);
    EXPECT_EQ(NotePrnForm->MainList->ItemIndex(), 2) << "a spacing of 0 is shown as 6 lines per inch";
    EXPECT_EQ(NotePrnForm->Fedit1->Text(), K("바탕"));
    EXPECT_EQ(NotePrnForm->Fedit2->Text(), "Serif");

    NotePrnForm->Button6->Click();  // title font: italic Test Sans 14
    EXPECT_EQ(NotePrnForm->Fedit1->Text(), "Test Sans");
    NotePrnForm->Button7->Click();  // body font: cancelled
    EXPECT_EQ(NotePrnForm->Fedit2->Text(), "Serif");
    NotePrnForm->Button7->Click();  // body font: bold and underlined, 100 points
    EXPECT_EQ(NotePrnForm->Fedit2->Text(), "Wide");

    boxes[1]->SetChecked(false);
    boxes[5]->SetChecked(true);
    NotePrnForm->TitleList->SetItemIndex(4);
    NotePrnForm->MainList->SetItemIndex(0);
    tabs->setCurrentIndex(0);
  });
  ASSERT_EQ(dialogs.FontRequests.size(), 3u);
  EXPECT_EQ(dialogs.FontRequests[0], K("바탕")) << "the dialog starts from the stored font";
  EXPECT_EQ(dialogs.FontRequests[1], "Serif");
  EXPECT_EQ(Settings("font4"), "1 1111");
  EXPECT_EQ(Trim(Settings("utab1")), "4");
  EXPECT_EQ(Trim(Settings("utab2")), "8");
  EXPECT_EQ(Trim(Settings("font1")), "Test Sans");
  EXPECT_EQ(Trim(Settings("fsize1")), "14");
  EXPECT_EQ(Settings("FType1"), " 1");
  EXPECT_EQ(Trim(Settings("font2")), "Wide");
  EXPECT_EQ(Trim(Settings("fsize2")), "10") << "the size text keeps its first two characters";
  EXPECT_EQ(Settings("FType2"), "  ") << "a style with more than bold and italic has no code";
  EXPECT_TRUE(fake.Boxes.empty());

  // The choice of the third spacing stores 6 lines per inch.
  ShowDialog([] {
    NotePrnForm->TabbedNotebook1->Tabs()->setCurrentIndex(1);
    NotePrnForm->TitleList->SetItemIndex(2);
    NotePrnForm->TabbedNotebook1->Tabs()->setCurrentIndex(0);
  });
  EXPECT_EQ(Trim(Settings("utab1")), "6");
}

TEST_F(NotePrintTest, RichBodyPrintsThroughTheEditorAndPreviewsAsLines) {
  std::string body;
  for (int i = 1; i <= 200; ++i) body += "rich line " + std::to_string(i) + "\r\n";
  Prepare(body, {{"font4", "1   1 "}});
  MainForm->ARBtn->Click();  // the body becomes rich text
  ASSERT_FALSE(MainForm->memo1->PlainText());
  const std::string pdf = data.Path() + "/rich.pdf";
  const std::string oldOutput = Printer().OutputFileName;
  Printer().OutputFileName = pdf;
  ShowDialog([] {
    NotePrnForm->SpeedButton1->Click();
    NotePrnForm->SpeedButton2->Click();
  });
  Printer().OutputFileName = oldOutput;
  EXPECT_TRUE(fake.Boxes.empty()) << (fake.Boxes.empty() ? "" : fake.Boxes[0].Text);
  EXPECT_EQ(pages.Documents, 0) << "the report stream is not what prints a rich body";

  std::ifstream in(pdf, std::ios::binary);
  ASSERT_TRUE(in.good());
  std::stringstream s;
  s << in.rdbuf();
  const std::string file = s.str();
  EXPECT_EQ(file.substr(0, 4), "%PDF");
  const std::regex page("/Type\\s*/Page[^s]");
  const auto count = std::distance(std::sregex_iterator(file.begin(), file.end(), page), std::sregex_iterator());
  EXPECT_GT(count, 1) << "200 lines take more than one page";
  EXPECT_EQ(rtest::PdfSyntaxFaults(pdf), "");
  // Copied or searched, the printed text keeps its blanks.
  const std::string text = rtest::CommandOutput("pdftotext '" + pdf + "' -");
  EXPECT_EQ(text.find('\x01'), std::string::npos) << text.substr(0, 200);
  EXPECT_NE(text.find("rich line 1\nrich line 2\n"), std::string::npos) << text.substr(0, 200);

  // The preview of the same body went through the report: title block, lines, feet.
  int pageCount = 0;
  const std::vector<TDrawn> texts = Texts(&pageCount);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0].text, StrPadR(MainForm->Label1->Caption(), 8) + ": " + Tit("alpha"));
  EXPECT_EQ(texts[1].text, "rich line 1");
  EXPECT_EQ(texts.back().text, "- " + std::to_string(pageCount) + " -");
}

}  // namespace
}  // namespace nbtest

namespace nbtest {
namespace {

TEST_F(NotePrintTest, WithoutAPrinterThePagesGoToAPdfFileAndTheUserIsToldWhere) {
  if (!Printer().Printers().empty()) GTEST_SKIP() << "this machine has a printer";
  Prepare("a line\r\n", {{"font4", "1     "}});
  SetReportPrinter(nullptr);  // the class library's printer, which finds none here
  ShowDialog([] { NotePrnForm->SpeedButton2->Click(); });
  SetReportPrinter(&pages);
  const std::string pdf = IncludeTrailingPathDelimiter(GetCurrentDir()) + "orvelane-print.pdf";
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K("프린터가 없어 PDF 파일로 저장했습니다:\n") + pdf);
  EXPECT_EQ(rtest::ReadFile(pdf).substr(0, 5), "%PDF-");
  EXPECT_EQ(rtest::PdfSyntaxFaults(pdf), "");
  EXPECT_TRUE(Printer().OutputFileName.empty()) << "a later print looks for a printer again";
}

}  // namespace
}  // namespace nbtest
