// Playback to the printer: a recorded stream printed onto the page-picture printer (pages and
// pixels), page ranges and copies, a damaged or cut stream refused with the document
// aborted, resolution independence, pens scaled once, icons and metafiles, and real PDFs
// through the class library's printer (a flood fill, searchable text, no printer at all).
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <limits>
#include <regex>

#include "support/ReportTestKit.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/Printers.h"
#include "report/FilePrinter.h"

using namespace rtest;

namespace {

// A report of Pages pages; page p holds a black square of half an inch at (p, 1) inches.
void Squares(TBaseReport& r, int Pages) {
  for (int p = 1; p <= Pages; ++p) {
    r.SetBrush(clBlack, bsSolid, nullptr);
    r.Rectangle(p, 1, p + 0.5, 1.5);
    r.PrintTextLeft("page", 1.0);
    if (p < Pages) r.NewPage();
  }
}

bool Black(const QImage& img, double xIn, double yIn, int dpi = 100) {
  QRgb c = img.pixel(static_cast<int>(xIn * dpi), static_cast<int>(yIn * dpi));
  return qRed(c) < 64 && qGreen(c) < 64 && qBlue(c) < 64;
}

// Which page's square a printed page shows.
int SquareOn(const QImage& img) {
  for (int p = 1; p <= 6; ++p)
    if (Black(img, p + 0.25, 1.25)) return p;
  return 0;
}

class PlaybackTest : public ReportTest {
 protected:
  std::string File() { return Path("xx.$$$"); }
  void RecordSquares(int n) {
    RecordFile(File(), [n](TBaseReport& r) { Squares(r, n); });
  }
};

TEST_F(PlaybackTest, ExecutePrintsEveryPageWithItsDrawing) {
  RecordSquares(3);
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Pages.Pages().size(), 3u);
  EXPECT_EQ(Pages.Documents, 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(SquareOn(Pages.Pages()[static_cast<size_t>(i)]), i + 1);
    EXPECT_FALSE(Black(Pages.Pages()[static_cast<size_t>(i)], 0.2, 0.2));
  }
  EXPECT_EQ(Pages.Title, "ReportKit Report");
  EXPECT_FALSE(p.Printing());
}

// Page numbers are the stream's 32 bits: a report of more than 65,535 pages prints every page
// in order, in one piece and in parts, and a range past page 65,535 prints its own pages.
TEST_F(PlaybackTest, MoreThan65535PagesPrintEveryPage) {
  constexpr int kPages = 65540;
  const std::string bytes = Record(
      [](TBaseReport& r) {
        for (int p = 1; p <= kPages; ++p) {
          r.SendPrinterData(std::to_string(p));
          if (p < kPages) r.NewPage();
        }
      },
      [](TReportFiler& f) { f.LastPage = std::numeric_limits<int>::max(); });
  ASSERT_EQ(StreamFaults(bytes), "");
  WriteFile(File(), bytes);
  TImagePagePrinter tiny{1, 1};
  SetReportPrinter(&tiny);
  auto played = [&](int first, int last) {
    tiny.PassedThrough.clear();
    TFilePrinter p;
    p.FileName = File();
    p.PrintRange(first, last, 0);
    return tiny.PassedThrough;
  };
  auto numbers = [](int first, int last) {
    std::vector<std::string> n;
    for (int p = first; p <= last; ++p) n.push_back(std::to_string(p));
    return n;
  };
  tiny.Parts = false;
  EXPECT_TRUE(played(0, 0) == numbers(1, kPages)) << tiny.PassedThrough.size() << " pages";
  EXPECT_EQ(played(65534, 65537), numbers(65534, 65537));
  EXPECT_EQ(played(kPages, 0), numbers(kPages, kPages));
  tiny.Parts = true;
  played(0, 0);
  EXPECT_EQ(tiny.Pages().size(), static_cast<size_t>(kPages));
  EXPECT_EQ(tiny.AbortedDocs, 0);
  SetReportPrinter(&Pages);
  EXPECT_TRUE(Fake.Boxes.empty()) << Fake.Boxes[0].Text;
}

TEST_F(PlaybackTest, RangesAndCopies) {
  RecordSquares(3);
  struct Case {
    int first, last, copies;
    std::vector<int> squares;
    int copiesAtBegin;
  } cases[] = {
      {2, 2, 0, {2}, 1}, {0, 99, 0, {1, 2, 3}, 1}, {2, 0, 0, {2, 3}, 1}, {1, 1, 3, {1}, 3},
  };
  for (const Case& c : cases) {
    Pages.Setup().Copies = 1;
    TFilePrinter p;
    p.FileName = File();
    p.PrintRange(c.first, c.last, c.copies);
    std::vector<int> got;
    for (const QImage& img : Pages.Pages()) got.push_back(SquareOn(img));
    EXPECT_EQ(got, c.squares) << c.first << "-" << c.last;
    EXPECT_EQ(Pages.CopiesAtBegin, c.copiesAtBegin);
  }
}

TEST_F(PlaybackTest, DamagedOrCutStreamsAbortTheDocument) {
  RecordSquares(3);
  std::string good = ReadFile(File());
  auto recs = Parse(good);
  std::vector<Rec> pages = PageHeaders(recs);
  ASSERT_EQ(pages.size(), 3u);
  // The first drawing record of page 2 (after its state) turned into code 31.
  size_t firstDrawn = 0;
  for (size_t i = 0; i < recs.size(); ++i)
    if (recs[i].Pos > pages[1].Pos && recs[i].Code == rcRectangle) {
      firstDrawn = static_cast<size_t>(recs[i].Pos);
      break;
    }
  ASSERT_GT(firstDrawn, 0u);
  struct Case {
    const char* name;
    std::string bytes;
    bool readError;  // else "Unexpected code"
  };
  std::string code31 = good;
  code31[firstDrawn] = 31;
  std::string badHeader = good;
  badHeader[0] = 80;
  std::string cycle = good;  // page 2's next link points back at page 1
  {
    int32_t back = static_cast<int32_t>(pages[0].Pos);
    std::memcpy(&cycle[static_cast<size_t>(pages[1].Pos) + 5], &back, 4);
  }
  std::string farLink = good;
  {
    int32_t far = 0x7FFFFFF0;
    std::memcpy(&farLink[static_cast<size_t>(pages[0].Pos) + 5], &far, 4);
  }
  Case cases[] = {
      {"code 31 on page 2", code31, false},
      {"a page header where the report header belongs", badHeader, false},
      {"a link back to an earlier page", cycle, false},
      {"a link past the end", farLink, true},
      {"cut inside page 3", good.substr(0, good.size() - 8), true},
      {"cut inside the report header", good.substr(0, 20), true},
  };
  for (const Case& c : cases) {
    WriteFile(File(), c.bytes);
    int aborted = Pages.AbortedDocs;
    TFilePrinter p;
    p.FileName = File();
    try {
      p.Execute();
      ADD_FAILURE() << c.name << ": printed";
    } catch (const EReadError&) {
      EXPECT_TRUE(c.readError) << c.name;
    } catch (const EReportKit& e) {
      EXPECT_FALSE(c.readError) << c.name;
      EXPECT_STREQ(e.what(), "Unexpected code found in report file.") << c.name;
    }
    EXPECT_FALSE(p.Printing()) << c.name;
    EXPECT_FALSE(Pages.Printing()) << c.name;
    if (c.name != std::string("a page header where the report header belongs") &&
        c.name != std::string("cut inside the report header")) {
      EXPECT_EQ(Pages.AbortedDocs, aborted + 1) << c.name;  // no partial page printed
    }
    EXPECT_TRUE(Pages.Pages().empty()) << c.name;
  }
  // A good stream prints again afterwards with the same component kind.
  WriteFile(File(), good);
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  EXPECT_EQ(Pages.Pages().size(), 3u);
}

TEST_F(PlaybackTest, MissingStreamOrPrinterShowsAMessageAndPrintsNothing) {
  TFilePrinter p;
  p.FileName = Path("none.$$$");
  p.Execute();
  ASSERT_EQ(Fake.Boxes.size(), 1u);
  EXPECT_EQ(Fake.Boxes[0].Text, "Error initializing input stream \"" + p.FileName + "\"");
  RecordSquares(1);
  Pages.SetInstalled(false);
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Fake.Boxes.size(), 2u);
  EXPECT_EQ(Fake.Boxes[1].Text, "No printers are defined, aborting print job.");
  EXPECT_EQ(Pages.Documents, 0);
}

// Captures the font height while the page plays.
class FontProbe : public TFilePrinter {
 public:
  void PlayPage(unsigned N) override {
    TFilePrinter::PlayPage(N);
    Heights.push_back(GetCanvas().Font().Height());
  }
  std::vector<int> Heights;
};

TEST_F(PlaybackTest, AStreamPlaysAtThePrintersOwnResolution) {
  TImagePagePrinter fine(600, 600);
  SetReportPrinter(&fine);
  RecordFile(File(), [](TBaseReport& r) {
    r.SetFont("Arial", 10);
    r.SetBrush(clBlack, bsSolid, nullptr);
    r.Rectangle(1, 1, 2, 2);
  });
  TImagePagePrinter coarse(300, 300);
  SetReportPrinter(&coarse);
  FontProbe p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(p.Heights.size(), 1u);
  EXPECT_EQ(p.Heights[0], -42);  // 83 px at 600 dpi is about 42 at 300
  ASSERT_EQ(coarse.Pages().size(), 1u);
  const QImage& img = coarse.Pages()[0];
  EXPECT_EQ(img.width(), 2550);
  EXPECT_TRUE(Black(img, 1.5, 1.5, 300));
  EXPECT_FALSE(Black(img, 2.1, 1.5, 300));
  SetReportPrinter(&Pages);
}

TEST_F(PlaybackTest, ATabRectangleCoversOnePixelMoreOnEverySide) {
  RecordFile(File(), [](TBaseReport& r) {
    r.SetPen(clBlack, psClear, 1, TReportPenMode::pmCopy);
    r.SetBrush(clBlack, bsSolid, nullptr);
    r.Rectangle(1, 1, 2, 2);
    r.DrawTabRectangle(3, 1, 4, 2);
  });
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Pages.Pages().size(), 1u);
  const QImage& img = Pages.Pages()[0];
  auto extent = [&](int from, int to, int y) {
    int first = -1, last = -1;
    for (int x = from; x < to; ++x)
      if (qRed(img.pixel(x, y)) < 64) {
        if (first < 0) first = x;
        last = x;
      }
    return std::pair{first, last};
  };
  EXPECT_EQ(extent(50, 250, 150), (std::pair{100, 199}));
  EXPECT_EQ(extent(250, 450, 150), (std::pair{299, 400}));
}

TEST_F(PlaybackTest, ABrushBitmapFillsWithItsPattern) {
  TBitmap checker;
  checker.SetSize(2, 2);
  checker.SetPixel(0, 0, clBlack);
  checker.SetPixel(1, 1, clBlack);
  RecordFile(File(), [&](TBaseReport& r) {
    r.SetPen(clBlack, psClear, 1, TReportPenMode::pmCopy);
    r.SetBrush(clWhite, bsSolid, &checker);
    r.Rectangle(1, 1, 2, 2);
    r.GetCanvas().Brush().SetBitmap(nullptr);
    r.SetBrush(clBlack, bsSolid, nullptr);
    r.Rectangle(3, 1, 4, 2);
  });
  auto codes = Codes(Parse(ReadFile(File())));
  EXPECT_NE(std::find(codes.begin(), codes.end(), int(rcBrushBitmap)), codes.end());
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Pages.Pages().size(), 1u);
  const QImage& img = Pages.Pages()[0];
  EXPECT_EQ(qRed(img.pixel(120, 120)), 0);
  EXPECT_EQ(qRed(img.pixel(121, 120)), 255);
  EXPECT_EQ(qRed(img.pixel(121, 121)), 0);
  EXPECT_EQ(qRed(img.pixel(320, 120)), 0);  // a plain brush again after the bitmap is gone
  EXPECT_EQ(qRed(img.pixel(321, 120)), 0);
}

TEST_F(PlaybackTest, AMaskedShadeLetsEarlierTextShowThrough) {
  RecordFile(File(), [](TBaseReport& r) {
    r.SetFont("Arial", 9);
    r.GotoLine(3);
    r.PrintTextLeft("MMMM", 1.1);
    r.SetTabShade(50);
    r.AddTabStop(1.0, 1, 3.0, 0, 0, 0);
    r.TabAdvance(kTabDefault, kTabDefault, kTabDefault, kTabDefault, kTabDefault);
  });
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Pages.Pages().size(), 1u);
  const QImage& img = Pages.Pages()[0];
  // Within the rows of the shaded cell, the text's pixels stay black.
  int shadedRows = 0, blackInShade = 0;
  for (int y = 0; y < img.height(); ++y) {
    int grey = 0, black = 0;
    for (int x = 100; x < 400; ++x) {
      int v = qRed(img.pixel(x, y));
      if (v > 100 && v < 160) ++grey;
      if (v < 40) ++black;
    }
    if (grey > 100) {
      ++shadedRows;
      blackInShade += black;
    }
  }
  EXPECT_GT(shadedRows, 5);
  EXPECT_GT(blackInShade, 20);
}

TEST_F(PlaybackTest, EveryRecordKindPlays) {
  TBitmap bmp;
  bmp.SetSize(8, 8);
  for (int i = 0; i < 8; ++i) bmp.SetPixel(i, i, clBlack);
  TPoint pts[] = {{100, 600}, {200, 600}, {150, 700}};
  RecordFile(File(), [&](TBaseReport& r) {
    r.SetFont("Arial", 12);
    r.SetFontBold(true);
    r.SetFontItalic(true);
    r.SetFontUnderline(true);
    r.SetFontStrikeOut(true);
    r.SetPen(clRed, psDash, -2, TReportPenMode::pmCopy);
    r.SetBrush(clBlue, bsSolid, nullptr);
    r.SetBrush(clBlue, bsSolid, &bmp);
    r.SetBrush(clGreen, bsSolid, nullptr);
    r.SetTextBKMode(bkOpaque);
    r.SetBackColor(clYellow);
    r.SetScaleX(100);
    r.SetScaleY(100);
    r.Arc(1, 1, 2, 2, 1, 1, 2, 2);
    r.Chord(2, 1, 3, 2, 2, 1, 3, 2);
    r.Pie(3, 1, 4, 2, 3, 1, 4, 2);
    r.BrushCopy(Rect(400, 300, 480, 380), bmp, Rect(0, 0, 8, 8), clBlack);
    r.Draw(5, 3, bmp);
    r.DrawFocusRect(Rect(10, 10, 50, 50));
    r.Ellipse(1, 3, 2, 4);
    r.FillRect(Rect(300, 500, 350, 550));
    r.FloodFill(7.5, 7.5, clBlack, fsBorder);
    r.FrameRect(Rect(600, 500, 650, 550));
    r.MoveTo(1, 9);
    r.LineTo(7, 9);
    r.Polygon(pts);
    r.Polyline(pts);
    r.DrawBitmapScaled(bmp, 6, 6, 2, 2);
    r.DrawBitmapRect(bmp, 6, 7, 6.5, 7.5);
    r.Rectangle(2, 5, 3, 6);
    r.DrawTabRectangle(3, 5, 4, 6);
    r.RoundRect(4, 5, 5, 6, 0.2, 0.2);
    r.StretchDraw(Rect(700, 100, 800, 200), bmp);
    r.TextRect(Rect(100, 950, 300, 1000), 1, 9.8, "clipped");
    r.PrintTextCenter("centre", 4.25);
    r.PrintTextLeft("left", 1);
    r.PrintTextRight("right", 7.5);
    r.SendPrinterData("RAW");
  });
  auto codes = Codes(Parse(ReadFile(File())));
  for (int c : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29,
                30, 41, 42, 43, 51, 52, 53, 54, 55, 56, 57, 58, 71, 72, 73, 74})
    EXPECT_NE(std::find(codes.begin(), codes.end(), c), codes.end()) << c;
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  ASSERT_EQ(Pages.Pages().size(), 1u);
  const QImage& img = Pages.Pages()[0];
  EXPECT_TRUE(Black(img, 6.01, 6.01));  // the scaled bitmap's diagonal
  QRgb frame = img.pixel(200, 500);     // the rectangle's dashed red edge, or its green inside
  EXPECT_TRUE(qGreen(frame) > 100 || qRed(frame) > 200);
  EXPECT_EQ(Pages.PassedThrough, (std::vector<std::string>{"RAW"}));
}

TEST_F(PlaybackTest, RandomDamageIsRefusedOrPlayedNeverACrash) {
  TImagePagePrinter small(20, 20);
  SetReportPrinter(&small);
  TBitmap bmp;
  bmp.SetSize(4, 4);
  TPoint pts[] = {{1, 1}, {10, 5}, {5, 10}};
  RecordFile(File(), [&](TBaseReport& r) {
    for (int p = 1; p <= 3; ++p) {
      r.SetFont("Arial", 10 + p);
      r.SetPen(clRed, psSolid, -2, TReportPenMode::pmCopy);
      r.PrintTextLeft("text", 1);
      r.Rectangle(1, 1, 2, 2);
      r.Polygon(pts);
      r.Draw(3, 3, bmp);
      r.FloodFill(5, 5, clBlack, fsBorder);
      if (p < 3) r.NewPage();
    }
  });
  const std::string good = ReadFile(File());
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  int refused = 0, played = 0;
  for (int round = 0; round < 300; ++round) {
    std::string bad = good;
    int flips = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < flips; ++i) bad[next() % bad.size()] = static_cast<char>(next() >> 8);
    if (round % 5 == 0) bad.resize(next() % bad.size());
    WriteFile(File(), bad);
    TFilePrinter p;
    p.FileName = File();
    try {
      p.Execute();
      ++played;
    } catch (const Exception&) {
      ++refused;
    }
    ASSERT_FALSE(small.Printing()) << round;
    ASSERT_FALSE(p.Printing()) << round;
  }
  EXPECT_GT(refused, 0);
  SetReportPrinter(&Pages);
}

TEST_F(PlaybackTest, TheClassLibrarysPrinterWritesAPdfOfThePages) {
  SetReportPrinter(nullptr);
  std::string pdf = Path("print.pdf");
  Printer().OutputFileName = pdf;
  RecordFile(File(), [](TBaseReport& r) { Squares(r, 2); });
  // The page model sees the whole sheet (Letter or A4), its printable part beginning at the
  // printer's border.
  auto header = Parse(ReadFile(File()))[0];
  double width = header.Nums[3];
  EXPECT_TRUE(std::abs(width - 8.5) < 0.01 || std::abs(width - 210 / 25.4) < 0.01) << width;
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  EXPECT_NEAR(p.PrinterOffsetLeft + p.PrinterOffsetRight + ReportPrinter().PageWidth() / double(p.XDPI), width, 0.01);
  Printer().OutputFileName.clear();
  SetReportPrinter(&Pages);
  std::string bytes = ReadFile(pdf);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
  EXPECT_EQ(PdfSyntaxFaults(pdf), "");
  std::regex page("/Type\\s*/Page[^s]");
  auto n = std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), page), std::sregex_iterator());
  EXPECT_EQ(n, 2);
}

}  // namespace

namespace {

// Captures the pen width while the page plays.
class PenProbe : public TFilePrinter {
 public:
  void PlayPage(unsigned N) override {
    TFilePrinter::PlayPage(N);
    Widths.push_back(GetCanvas().Pen().Width());
  }
  std::vector<int> Widths;
};

TEST_F(PlaybackTest, APenWidthIsScaledOnce) {
  // A pen of 0.2 in at ScaleX 50 is 0.1 in on the page: 10 pixels at 100 dots per inch.
  const struct {
    double scale;
    int width;  // hundredths of an inch
    int pixels;
  } cases[] = {{50, 20, 10}, {100, 20, 20}, {200, 5, 10}};
  for (const auto& c : cases) {
    RecordFile(File(), [&](TBaseReport& r) {
      r.SetScaleX(c.scale);
      r.SetPen(clBlack, psSolid, -c.width, TReportPenMode::pmCopy);
      r.MoveTo(1, 1);
      r.LineTo(2, 1);
    });
    PenProbe p;
    p.FileName = File();
    p.Execute();
    ASSERT_EQ(p.Widths.size(), 1u);
    EXPECT_EQ(p.Widths[0], c.pixels) << c.scale;
  }
}

TEST_F(PlaybackTest, IconsAreDrawnAndMetafilesLeftOut) {
  QImage red(16, 16, QImage::Format_ARGB32);
  red.fill(Qt::red);
  QByteArray ico;
  QBuffer buf(&ico);
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(red.save(&buf, "ICO"));
  auto stream = [&](uint8_t code, uint8_t kind, const std::string& bytes) {
    TMemoryStream m;
    TReportWriter w(m);
    TReportHeader h;
    h.PageCount = 1;
    w.ReportHeader(h);
    w.PageHeader(TPageHeader{0, 0, 1, 0});
    w.Byte(code);
    w.Graphic(kind, bytes);
    if (code == rcDraw) {
      w.Point(1, 1);
    } else if (code == rcStretchDraw) {
      w.Rect(TStreamRect{{1, 1}, {2, 2}});
    } else {  // rcBitmapScaled
      w.Point(1, 1);
      w.Number(1);
      w.Number(1);
    }
    w.Byte(rcEndPage);
    return StreamBytes(m);
  };
  const std::string icon(ico.constData(), static_cast<size_t>(ico.size()));
  const std::string emf = std::string("\x01\x00\x00\x00", 4) + std::string(80, '\0');
  const struct {
    const char* name;
    std::string bytes;
    bool red, castError;
  } cases[] = {
      {"an icon drawn", stream(rcDraw, gkIcon, icon), true, false},
      {"an icon stretched", stream(rcStretchDraw, gkIcon, icon), true, false},
      {"a metafile left out", stream(rcDraw, gkMetafile, emf), false, false},
      {"an icon where a bitmap belongs", stream(rcBitmapScaled, gkIcon, icon), false, true},
  };
  for (const auto& c : cases) {
    WriteFile(File(), c.bytes);
    TFilePrinter p;
    p.FileName = File();
    bool castError = false;
    try {
      p.Execute();
    } catch (const EInvalidCast&) {
      castError = true;
    }
    EXPECT_EQ(castError, c.castError) << c.name;
    if (c.castError) continue;
    ASSERT_EQ(Pages.Pages().size(), 1u) << c.name;
    QRgb px = Pages.Pages()[0].pixel(105, 105);
    EXPECT_EQ(qRed(px) > 200 && qGreen(px) < 60, c.red) << c.name;
  }
}

class PdfPlaybackTest : public PlaybackTest {
 protected:
  // Records Draw and prints it through the class library's printer into a PDF file.
  std::string PrintToPdf(const std::function<void(TBaseReport&)>& Draw) {
    SetReportPrinter(nullptr);
    std::string pdf = Path("out.pdf");
    Printer().OutputFileName = pdf;
    RecordFile(File(), Draw);
    TFilePrinter p;
    p.FileName = File();
    p.Execute();
    Printer().OutputFileName.clear();
    SetReportPrinter(&Pages);
    EXPECT_EQ(PdfSyntaxFaults(pdf), "");
    return pdf;
  }
};

TEST_F(PdfPlaybackTest, WithoutPrinterOrPdfFileNothingPrintsAndItIsSaid) {
  if (!Printer().Printers().empty()) GTEST_SKIP() << "this machine has a printer";
  RecordSquares(1);
  SetReportPrinter(nullptr);
  EXPECT_TRUE(TBaseReport::NoPrintersInstalled());
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  Printer().OutputFileName = Path("asked.pdf");
  EXPECT_FALSE(TBaseReport::NoPrintersInstalled());
  Printer().OutputFileName.clear();
  SetReportPrinter(&Pages);
  ASSERT_EQ(Fake.Boxes.size(), 1u);
  EXPECT_EQ(Fake.Boxes[0].Text, "No printers are defined, aborting print job.");
}

TEST_F(PdfPlaybackTest, FloodFillReachesThePdfAsItDoesAPicture) {
  const std::string pdf = PrintToPdf([](TBaseReport& r) {
    r.SetPen(clBlack, psSolid, -3, TReportPenMode::pmCopy);
    r.Rectangle(1, 1, 3, 3);  // a frame with a white inside (the brush is clear)
    r.SetBrush(clBlue, bsSolid, nullptr);
    r.FloodFill(2, 2, clBlack, fsBorder);
  });
  ASSERT_EQ(CommandOutput("pdftoppm -r 50 -png -singlefile '" + pdf + "' '" + Path("page") + "'"), "");
  QImage page(QString::fromStdString(Path("page.png")));
  ASSERT_FALSE(page.isNull());
  QRgb inside = page.pixel(100, 100), outside = page.pixel(200, 100);
  EXPECT_TRUE(qBlue(inside) > 200 && qRed(inside) < 60) << std::hex << inside;
  EXPECT_TRUE(qRed(outside) > 200 && qBlue(outside) > 200) << std::hex << outside;
}

TEST_F(PdfPlaybackTest, PdfTextKeepsItsSpaces) {
  // Texts as reports write them: inner blanks, padding after a field's value, blanks before
  // it, a single word; in a gothic and a myeongjo face.
  const std::string pdf = PrintToPdf([](TBaseReport& r) {
    for (const char* face : {"굴림", "궁서체"}) {
      r.SetFont(cp949::K(face), 12);
      r.NewLine();
      r.PrintTextLeft("two words " + cp949::K("한글 단어") + " end", 1);
      r.NewLine();
      r.PrintTextLeft("   padded     ", 1);
      r.PrintTextLeft("after", 4);
      r.NewLine();
      r.PrintTextRight("12345", 3);
      r.PrintTextCenter(cp949::K("가운데 글"), 5);
    }
  });
  const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
  EXPECT_EQ(text.find('\x01'), std::string::npos) << text;
  size_t at = 0;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& want : {std::string("two words \xED\x95\x9C\xEA\xB8\x80 \xEB\x8B\xA8\xEC\x96\xB4 end"),
                                    std::string("padded"), std::string(" after"), std::string("12345"),
                                    std::string("\xEA\xB0\x80\xEC\x9A\xB4\xEB\x8D\xB0 \xEA\xB8\x80")}) {
      SCOPED_TRACE(want);
      at = text.find(want, at);
      ASSERT_NE(at, std::string::npos) << text;
    }
  }
}

}  // namespace
