// Long documents drawn in parts side by side: the same pages as in one piece, in order, on
// pictures and in a PDF file; the window's own loop shows the pages done meanwhile; a damaged stream
// is refused as in one piece, and no part's file is left behind.
#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <regex>

#include "platform/core/TextCodec.h"
#include "platform/gfx/Printers.h"
#include "platform/ui/Forms.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/StdCtrls.h"
#include "report/FilePrinter.h"
#include "support/ReportTestKit.h"

using namespace rtest;

namespace {

namespace fs = std::filesystem;

// A report of Pages pages that changes its state as it goes: fonts, pens and brushes set on
// one page and kept on the next, a flood fill now and then, text in two faces.
void Changing(TBaseReport& r, int Pages) {
  for (int p = 1; p <= Pages; ++p) {
    if (p % 7 == 1) r.SetFont(cp949::K(p % 2 ? "굴림체" : "궁서체"), 8 + p % 5);
    if (p % 5 == 0) r.SetPen(p % 3 ? clBlack : clRed, psSolid, -(p % 4 + 1), TReportPenMode::pmCopy);
    if (p % 3 == 0) r.SetBrush(p % 2 ? clBlue : clGreen, bsSolid, nullptr);
    r.Rectangle(1 + (p % 6), 1, 1.5 + (p % 6), 1.5);
    r.PrintTextLeft("page " + std::to_string(p) + cp949::K(" 쪽"), 1.0);
    r.MoveTo(0.5, 2 + (p % 9) * 0.5);
    r.LineTo(7.5, 2 + (p % 9) * 0.5);
    if (p % 11 == 0) {
      r.SetBrush(clWhite, bsClear, nullptr);
      r.Rectangle(2, 6, 4, 8);
      r.SetBrush(clYellow, bsSolid, nullptr);
      r.FloodFill(3, 7, clBlack, fsBorder);
    }
    if (p < Pages) r.NewPage();
  }
}

// Pages of text, as a list prints them: enough to take the parts a noticeable while.
void Lines(TBaseReport& r, int Pages) {
  r.SetFont(cp949::K("굴림체"), 10);
  for (int p = 1; p <= Pages; ++p) {
    r.PrintTextLeft("page " + std::to_string(p), 0.5);
    for (int l = 0; l < 50; ++l) {
      r.NewLine();
      r.PrintTextLeft(std::to_string(p * 100 + l) + cp949::K(" 목록의 한 줄 ") + std::to_string(l), 0.5);
    }
    if (p < Pages) r.NewPage();
  }
}

class PartsTest : public ReportTest {
 protected:
  std::string File() { return Path("parts.$$$"); }
  // Plays the recorded file onto Printer, in parts or in one piece.
  std::vector<QImage> PlayOnto(TImagePagePrinter& Printer, bool Parts) {
    Printer.Parts = Parts;
    SetReportPrinter(&Printer);
    TFilePrinter p;
    p.FileName = File();
    p.Execute();
    SetReportPrinter(&Pages);
    return Printer.Pages();
  }
  // The files of the test's folder.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(PartsTest, ALongDocumentInPartsIsTheDocumentInOnePiece) {
  constexpr int kPages = 150;
  RecordFile(File(), [](TBaseReport& r) { Changing(r, kPages); });
  TImagePagePrinter small{25, 25};
  const std::vector<QImage> whole = PlayOnto(small, false);
  ASSERT_EQ(whole.size(), static_cast<size_t>(kPages));
  const int documents = small.Documents;
  const std::vector<QImage> parted = PlayOnto(small, true);
  ASSERT_EQ(parted.size(), whole.size());
  EXPECT_EQ(small.Documents, documents + 1);
  EXPECT_EQ(small.Title, "ReportKit Report");
  for (size_t i = 0; i < whole.size(); ++i) EXPECT_TRUE(parted[i] == whole[i]) << "page " << i + 1;
  // A range is shared out as well.
  small.Parts = true;
  SetReportPrinter(&small);
  TFilePrinter p;
  p.FileName = File();
  p.PrintRange(40, 139, 0);
  SetReportPrinter(&Pages);
  ASSERT_EQ(small.Pages().size(), 100u);
  for (size_t i = 0; i < 100; ++i) EXPECT_TRUE(small.Pages()[i] == whole[i + 39]) << "page " << i + 40;
}

TEST_F(PartsTest, AStreamDamagedInALatePartIsRefusedAsInOnePiece) {
  constexpr int kPages = 120;
  RecordFile(File(), [](TBaseReport& r) { Changing(r, kPages); });
  // An unknown code in place of page 100's end.
  std::string bytes = ReadFile(File());
  std::vector<Rec> records = Parse(bytes);
  std::vector<Rec> headers = PageHeaders(records);
  ASSERT_EQ(headers.size(), static_cast<size_t>(kPages));
  const int64_t end100 = headers[100].Pos - 1;
  ASSERT_EQ(static_cast<uint8_t>(bytes[static_cast<size_t>(end100)]), rcEndPage);
  bytes[static_cast<size_t>(end100)] = static_cast<char>(0xEE);
  WriteFile(File(), bytes);
  for (bool parts : {false, true}) {
    SCOPED_TRACE(parts ? "in parts" : "in one piece");
    TImagePagePrinter small{25, 25};
    small.Parts = parts;
    SetReportPrinter(&small);
    TFilePrinter p;
    p.FileName = File();
    EXPECT_THROW(p.Execute(), EReportKit);
    SetReportPrinter(&Pages);
    EXPECT_EQ(small.AbortedDocs, 1);
    EXPECT_EQ(small.Documents, 0);
    EXPECT_TRUE(small.Pages().empty());
    EXPECT_FALSE(p.Printing());
  }
  // To a PDF file: nothing is written and no part is left beside it.
  SetReportPrinter(nullptr);
  const std::string pdf = Path("out.pdf");
  Printer().OutputFileName = pdf;
  TFilePrinter p;
  p.FileName = File();
  EXPECT_THROW(p.Execute(), EReportKit);
  Printer().OutputFileName.clear();
  SetReportPrinter(&Pages);
  EXPECT_FALSE(fs::exists(pdf));
  for (const std::string& f : Files()) EXPECT_EQ(f.find(".part"), std::string::npos) << f;
}

TEST_F(PartsTest, APdfInPartsHoldsEveryPageInOrderWhileTheWindowTakesItsTurns) {
  constexpr int kPages = 1000;
  RecordFile(File(), [](TBaseReport& r) { Lines(r, kPages); });
  SetReportPrinter(nullptr);
  const std::string pdf = Path("list.pdf");
  Printer().OutputFileName = pdf;
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetBounds(10, 10, 200, 20);
  form.Show();
  TFilePrinter p;
  p.SetStatusLabel(label);
  p.FileName = File();
  // The window's own message loop, as the program runs it, with a timer of the window watching
  // the label and the label's repaints counted, while the print runs as a long operation.
  IMessageLoopService* loop = SetMessageLoopService(&orv::QtMessageLoop());
  std::vector<std::string> shown;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!label->Text().empty()) shown.push_back(label->Text());
  });
  watch.start(5);
  int painted = 0;
  struct PaintCounter : QObject {
    int* n;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++*n;
      return false;
    }
  } counter;
  counter.n = &painted;
  label->Widget()->installEventFilter(&counter);
  {
    TLongOperation busy;
    p.Execute();
  }
  watch.stop();
  label->Widget()->removeEventFilter(&counter);
  SetMessageLoopService(loop);
  Printer().OutputFileName.clear();
  SetReportPrinter(&Pages);

  EXPECT_EQ(Printer().LastOutputFile(), pdf);
  const std::string info = CommandOutput("pdfinfo '" + pdf + "' 2>&1");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +" + std::to_string(kPages) + "\n"))) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
  // Joined from its parts, and well formed as the strict reader sees it.
  EXPECT_EQ(PdfSyntaxFaults(pdf), "");
  // Page by page, each page's own text.
  const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' - 2>&1");
  size_t at = 0;
  for (int page = 1; page <= kPages; ++page) {
    const size_t end = text.find('\f', at);
    ASSERT_NE(end, std::string::npos) << "page " << page;
    const std::string one = text.substr(at, end - at);
    EXPECT_NE(one.find("page " + std::to_string(page) + "\n"), std::string::npos) << one;
    EXPECT_NE(one.find(std::to_string(page * 100 + 49) + " \xEB\xAA\xA9\xEB\xA1\x9D"), std::string::npos) << one;
    at = end + 1;
  }
  for (const std::string& f : Files()) EXPECT_EQ(f.find(".part"), std::string::npos) << f;
  // The window had its turns: its timer ran, the label repainted, and it showed pages done
  // that only grew.
  ASSERT_GE(shown.size(), 2u);
  EXPECT_GE(painted, 2);
  int last = 0;
  const std::regex done("Printing page ([0-9]+)");
  for (const std::string& s : shown) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(s, m, done)) << s;
    const int n = std::stoi(m[1]);
    EXPECT_GE(n, last);
    EXPECT_LE(n, kPages);
    last = n;
  }
}

}  // namespace
