// The recorder: what a report's drawing code leaves in the stream, record by record; page
// structure and links; the output range; discarded pages; and the run's failures.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/ReportTestKit.h"
#include "report/FilePrinter.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"

using namespace rtest;

namespace {

const std::vector<int> kPageState = {41, 42, 43, 51, 52, 53, 54, 55, 57, 56, 58, 71, 72, 73, 74, 28, 29, 26, 27};

std::vector<int> Page(std::vector<int> body) {
  std::vector<int> p = {80};
  p.insert(p.end(), kPageState.begin(), kPageState.end());
  p.insert(p.end(), body.begin(), body.end());
  p.push_back(82);
  return p;
}

void SmallBitmap(TBitmap& b) {
  b.SetSize(4, 3);
  b.SetPixel(0, 0, clRed);
}

class RecorderTest : public ReportTest {};

TEST_F(RecorderTest, TwoPagesGiveTheHeaderEachPageWithItsFullStateAndTheLinks) {
  std::string bytes = Record([](TBaseReport& r) {
    r.PrintTextLeft("one", 1.0);
    r.NewPage();
    r.PrintTextLeft("two", 1.0);
  });
  auto recs = Parse(bytes);
  std::vector<int> expect = {81};
  for (int c : Page({24})) expect.push_back(c);
  for (int c : Page({24})) expect.push_back(c);
  EXPECT_EQ(Codes(recs), expect);
  EXPECT_EQ(recs[0].Nums[0], 2);  // page count
  EXPECT_EQ(recs[0].Nums[3], 8.5);
  std::vector<Rec> pages = PageHeaders(recs);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Nums, (std::vector<double>{0, double(pages[1].Pos), 1, 0}));
  EXPECT_EQ(pages[1].Nums, (std::vector<double>{double(pages[0].Pos), 0, 2, 0}));
  EXPECT_EQ(recs.back().Code, rcEndPage);
}

TEST_F(RecorderTest, EachDrawingOperationWritesItsRecordWithPositionsInInches) {
  // The page-picture printer measures at 100 dots per inch: 100 device pixels are an inch.
  TBitmap bmp;
  SmallBitmap(bmp);
  TPoint pts[] = {{100, 200}, {300, 400}, {500, 650}};
  struct Case {
    const char* name;
    std::function<void(TBaseReport&)> draw;
    int code;
    std::vector<double> nums;
    bool graphic = false;
  } cases[] = {
      {"Arc", [](TBaseReport& r) { r.Arc(1, 2, 3, 4, 5, 6, 7, 8); }, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"Chord", [](TBaseReport& r) { r.Chord(1, 2, 3, 4, 5, 6, 7, 8); }, 3, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"Pie", [](TBaseReport& r) { r.Pie(8, 7, 6, 5, 4, 3, 2, 1); }, 13, {8, 7, 6, 5, 4, 3, 2, 1}},
      {"BrushCopy", [&](TBaseReport& r) { r.BrushCopy(Rect(100, 100, 200, 300), bmp, Rect(0, 0, 50, 25), clRed); },
       2, {1, 1, 2, 3, 0, 0, 0.5, 0.25, double(clRed)}, true},
      {"Draw", [&](TBaseReport& r) { r.Draw(1.5, 2.5, bmp); }, 5, {1.5, 2.5}, true},
      {"DrawFocusRect", [](TBaseReport& r) { r.DrawFocusRect(Rect(50, 100, 150, 200)); }, 6, {0.5, 1, 1.5, 2}},
      {"Ellipse", [](TBaseReport& r) { r.Ellipse(1, 2, 3, 4); }, 7, {1, 2, 3, 4}},
      {"FillRect", [](TBaseReport& r) { r.FillRect(Rect(0, 0, 100, 100)); }, 8, {0, 0, 1, 1}},
      {"FloodFill", [](TBaseReport& r) { r.FloodFill(1, 2, clRed, fsBorder); }, 9, {1, 2, double(clRed), 1}},
      {"FrameRect", [](TBaseReport& r) { r.FrameRect(Rect(100, 0, 200, 100)); }, 10, {1, 0, 2, 1}},
      {"LineTo", [](TBaseReport& r) { r.LineTo(3, 4); }, 11, {3, 4}},
      {"MoveTo", [](TBaseReport& r) { r.MoveTo(0.5, 0.25); }, 12, {0.5, 0.25}},
      {"Polygon", [&](TBaseReport& r) { r.Polygon(pts); }, 14, {2, 1, 2, 3, 4, 5, 6.5}},
      {"Polyline", [&](TBaseReport& r) { r.Polyline(pts); }, 15, {2, 1, 2, 3, 4, 5, 6.5}},
      {"DrawBitmapScaled", [&](TBaseReport& r) { r.DrawBitmapScaled(bmp, 1, 2, 1.5, 2.5); }, 16, {1, 2, 1.5, 2.5}, true},
      {"DrawBitmapRect", [&](TBaseReport& r) { r.DrawBitmapRect(bmp, 1, 2, 3, 4); }, 17, {1, 2, 3, 4}, true},
      {"Rectangle", [](TBaseReport& r) { r.Rectangle(1, 2, 3, 4); }, 18, {1, 2, 3, 4}},
      {"DrawTabRectangle", [](TBaseReport& r) { r.DrawTabRectangle(1, 2, 3, 4); }, 19, {1, 2, 3, 4}},
      {"RoundRect", [](TBaseReport& r) { r.RoundRect(1, 2, 3, 4, 0.5, 0.25); }, 20, {1, 2, 3, 4, 0.5, 0.25}},
      {"StretchDraw", [&](TBaseReport& r) { r.StretchDraw(Rect(0, 100, 200, 300), bmp); }, 21, {0, 1, 2, 3}, true},
      {"TextRect", [](TBaseReport& r) { r.TextRect(Rect(0, 0, 100, 50), 0.5, 0.25, "abc"); }, 22, {0, 0, 1, 0.5, 0.5, 0.25}},
      {"SetTextBKMode", [](TBaseReport& r) { r.SetTextBKMode(bkOpaque); }, 26, {1}},
      {"SetBackColor", [](TBaseReport& r) { r.SetBackColor(clLime); }, 27, {double(clLime)}},
      {"SetScaleX", [](TBaseReport& r) { r.SetScaleX(50); }, 28, {50}},
      {"SetScaleY", [](TBaseReport& r) { r.SetScaleY(150); }, 29, {150}},
      {"SendPrinterData", [](TBaseReport& r) { r.SendPrinterData("\x1B" "E"); }, 30, {}},
      {"brush colour", [](TBaseReport& r) { r.SetBrush(clRed, bsClear, nullptr); }, 41, {double(clRed)}},
      {"pen colour", [](TBaseReport& r) { r.SetPen(clBlue, psSolid, 5, TReportPenMode::pmCopy); }, 71, {double(clBlue)}},
  };
  for (const Case& c : cases) {
    auto drawn = Drawn(Parse(Record(c.draw)));
    ASSERT_EQ(drawn.size(), 1u) << c.name;
    EXPECT_EQ(drawn[0].Code, c.code) << c.name;
    ASSERT_EQ(drawn[0].Nums.size(), c.nums.size()) << c.name;
    for (size_t i = 0; i < c.nums.size(); ++i) EXPECT_NEAR(drawn[0].Nums[i], c.nums[i], 1e-6) << c.name << " " << i;
    if (c.graphic) {
      EXPECT_GT(drawn[0].GraphicSize, 54u) << c.name;  // a whole bitmap file
    }
  }
}

TEST_F(RecorderTest, UnitsAndOriginTurnIntoInchesFromThePageCorner) {
  auto drawn = Drawn(Parse(Record(
      [](TBaseReport& r) {
        r.SetOriginX(25.4);
        r.MoveTo(25.4, 50.8);
        r.RoundRect(0, 0, 25.4, 25.4, 12.7, 2.54);
      },
      [](TReportFiler& f) { f.SetUnits(unMM); })));
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_NEAR(drawn[0].Nums[0], 2.0, 1e-6);
  EXPECT_NEAR(drawn[0].Nums[1], 2.0, 1e-6);
  // Corner sizes are lengths: no origin.
  EXPECT_NEAR(drawn[1].Nums[4], 0.5, 1e-6);
  EXPECT_NEAR(drawn[1].Nums[5], 0.1, 1e-6);
}

TEST_F(RecorderTest, StateRecordsAreWrittenOnlyWhenAValueChanges) {
  auto drawn = Drawn(Parse(Record([](TBaseReport& r) {
    r.SetFont("Arial", 12);
    r.SetFont("Arial", 12);
    r.SetFontBold(true);
    r.SetFontBold(true);
    r.SetPen(clBlack, psSolid, 5, TReportPenMode::pmCopy);  // as the page began
  })));
  std::vector<int> codes = Codes(drawn);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), int(rcFontSize)), 1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), int(rcFontBold)), 1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), int(rcPenColor)), 0);
  for (const Rec& r : drawn)
    if (r.Code == rcFontSize) {
      EXPECT_NEAR(r.Nums[0], 17 / 100.0, 1e-6);  // 12 pt at 100 dpi: 17 px
    }
}

TEST_F(RecorderTest, ThePrintRangeKeepsOnlyItsPagesRenumberedLinks) {
  std::vector<int> drawnFor;
  std::string bytes = Record(
      [&](TBaseReport& r) {
        for (int p = 1; p <= 5; ++p) {
          drawnFor.push_back(r.PageNumber);
          r.Rectangle(p, 1, p + 0.5, 2);
          if (p < 5) r.NewPage();
        }
      },
      [](TReportFiler& f) {
        f.FirstPage = 2;
        f.LastPage = 3;
      });
  EXPECT_EQ(drawnFor, (std::vector<int>{1, 2, 3, 4, 5}));  // the drawing code runs for every page
  auto recs = Parse(bytes);
  EXPECT_EQ(recs[0].Nums[0], 2);
  std::vector<Rec> pages = PageHeaders(recs);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Nums[0], 0);
  EXPECT_EQ(pages[0].Nums[1], pages[1].Pos);
  EXPECT_EQ(pages[0].Nums[2], 2);
  EXPECT_EQ(pages[1].Nums[0], pages[0].Pos);
  EXPECT_EQ(pages[1].Nums[1], 0);
  EXPECT_EQ(pages[1].Nums[2], 3);
  auto drawn = Drawn(recs);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].Nums[0], 2);
  EXPECT_EQ(drawn[1].Nums[0], 3);
}

TEST_F(RecorderTest, ADiscardedPageLeavesNothingBehind) {
  // Pages: 1 kept, 2 discarded, then the next page takes its place; the last one is discarded.
  std::string bytes = Record([](TBaseReport& r) {
    r.Rectangle(1, 1, 2, 2);
    r.NewPage();
    r.Rectangle(9, 9, 9.5, 9.5);
    r.AbortPage();
    r.NewPage();
    r.Rectangle(2, 2, 3, 3);
    r.NewPage();
    r.Rectangle(8, 8, 8.5, 8.5);
    r.AbortPage();
  });
  auto recs = Parse(bytes);
  EXPECT_EQ(recs[0].Nums[0], 2);
  std::vector<Rec> pages = PageHeaders(recs);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].Nums[1], pages[1].Pos);
  EXPECT_EQ(pages[1].Nums[0], pages[0].Pos);
  EXPECT_EQ(pages[1].Nums[1], 0);
  EXPECT_EQ(pages[1].Nums[2], 2);
  EXPECT_EQ(recs.back().Code, rcEndPage);
  auto drawn = Drawn(recs);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].Nums[0], 1);
  EXPECT_EQ(drawn[1].Nums[0], 2);
}

// AbortReport inside the page handler stops the report on a page it did not finish: the
// stream holds the complete pages before it, counts them, and plays them.
TEST_F(RecorderTest, AnAbortInThePageHandlerKeepsTheCompletePagesPlayable) {
  const struct {
    const char* name;
    int abortOn;     // the page the handler aborts on
    bool goOn;       // what the handler returns then
    int firstPage;   // the recorder's output range starts here
    std::vector<int> kept;
  } cases[] = {
      {"on page 3, asking for more", 3, true, 1, {1, 2}},
      {"on page 3, asking for no more", 3, false, 1, {1, 2}},
      {"on the first page", 1, true, 1, {}},
      {"on a page before the range", 2, true, 4, {}},
      {"after pages of the range", 5, true, 2, {2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Path("aborted.$$$");
    TReportFiler f;
    f.FileName = file;
    f.FirstPage = c.firstPage;
    int footers = 0;
    f.OnPrintFooter = [&](TObject*) { ++footers; };
    f.OnPrintPage = [&](TObject* s, int& n) {
      auto* r = static_cast<TBaseReport*>(s);
      r->SendPrinterData("page " + std::to_string(n));
      r->Rectangle(1, 1, 2, 2);
      if (n < c.abortOn) return true;
      r->AbortReport();
      return c.goOn;
    };
    f.Execute();
    EXPECT_FALSE(f.Printing());
    EXPECT_EQ(footers, c.abortOn - 1) << "the aborted page gets no footer";
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(StreamFaults(bytes), "");
    std::vector<int> numbers;
    for (const Rec& h : PageHeaders(Parse(bytes))) numbers.push_back(static_cast<int>(h.Nums[2]));
    EXPECT_EQ(numbers, c.kept);
    EXPECT_EQ(f.PagesWritten(), static_cast<int>(c.kept.size()));

    // The pages kept print, each as it was drawn; with none kept, the player says so.
    Pages.PassedThrough.clear();
    Fake.Boxes.clear();
    TFilePrinter p;
    p.FileName = file;
    p.Execute();
    std::vector<std::string> printed, expected;
    for (int n : c.kept) expected.push_back("page " + std::to_string(n));
    EXPECT_EQ(Pages.PassedThrough, expected);
    if (c.kept.empty()) {
      ASSERT_EQ(Fake.Boxes.size(), 1u);
      EXPECT_EQ(Fake.Boxes[0].Text, kNoPages);
    } else {
      EXPECT_TRUE(Fake.Boxes.empty()) << Fake.Boxes[0].Text;
    }
  }
}

// The caller's stream may hold bytes before the run (an earlier, longer report, or anything):
// afterwards it holds exactly this report, which plays.
TEST_F(RecorderTest, RecordingIntoACallersStreamThatHoldsBytesLeavesExactlyTheReport) {
  auto draw = [](int pages) {
    return [pages](TBaseReport& r) {
      for (int p = 1; p <= pages; ++p) {
        r.SendPrinterData("page " + std::to_string(p));
        r.PrintTextLeft(std::string(200, 'x'), 1.0);
        if (p < pages) r.NewPage();
      }
    };
  };
  const std::string longer = Record(draw(40));
  const struct {
    const char* name;
    std::string before;
    int pages;
  } cases[] = {
      {"100,000 bytes of anything, one page", std::string(100000, '\xEE'), 1},
      {"100,000 bytes of anything, three pages", std::string(100000, '\x51'), 3},
      {"a longer report", longer, 3},
      {"a shorter report", Record(draw(1)), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string alone = Record(draw(c.pages));
    ASSERT_EQ(StreamFaults(alone), "");
    // A memory stream and a file of the caller's.
    TMemoryStream memory;
    TFileStream file(Path("user.$$$"), fmCreate);
    for (TStream* into : {static_cast<TStream*>(&memory), static_cast<TStream*>(&file)}) {
      into->WriteBuffer(c.before.data(), static_cast<int64_t>(c.before.size()));
      TReportFiler f;
      f.StreamMode = smUser;
      f.Stream = into;
      f.OnPrint = [&](TObject* s) { draw(c.pages)(*static_cast<TBaseReport*>(s)); };
      f.Execute();
    }
    EXPECT_EQ(StreamBytes(memory), alone);
    EXPECT_EQ(ReadFile(Path("user.$$$")), alone);

    Pages.PassedThrough.clear();
    TFilePrinter p;
    p.StreamMode = smUser;
    p.Stream = &memory;
    p.Execute();
    EXPECT_EQ(Pages.PassedThrough.size(), static_cast<size_t>(c.pages));
    EXPECT_TRUE(Fake.Boxes.empty()) << Fake.Boxes[0].Text;
  }
}

// Two copies of the program in one folder: one records into the stream file round after
// round while the other plays it. Each play reads one whole report, never half of one.
TEST_F(RecorderTest, AStreamFileIsReplacedWholeWhileAnotherCopyPlaysIt) {
  auto report = [&](const std::string& name, int pages) {
    return Record([&](TBaseReport& r) {
      for (int p = 1; p <= pages; ++p) {
        r.SendPrinterData(name + std::to_string(p));
        std::vector<TPoint> zigzag;
        for (int i = 0; i < 1000; ++i) zigzag.push_back(TPoint{i % 700, (i * 7 + p) % 900});
        r.Polyline(zigzag);
        if (p < pages) r.NewPage();
      }
    });
  };
  const std::string a = report("a", 60), b = report("b", 25);
  auto pagesOf = [](const std::string& name, int pages) {
    std::vector<std::string> n;
    for (int p = 1; p <= pages; ++p) n.push_back(name + std::to_string(p));
    return n;
  };
  const std::string file = Path("xx.$$$");
  WriteFile(file, a);
  TRecordingCopy other(file, {a, b});
  ASSERT_TRUE(other.Started());
  TImagePagePrinter tiny{1, 1};
  tiny.Parts = false;
  SetReportPrinter(&tiny);
  for (int round = 0; round < 25; ++round) {
    const std::string now = ReadFile(file);
    EXPECT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    tiny.PassedThrough.clear();
    TFilePrinter p;
    p.FileName = file;
    EXPECT_NO_THROW(p.Execute()) << "round " << round;
    EXPECT_TRUE(tiny.PassedThrough == pagesOf("a", 60) || tiny.PassedThrough == pagesOf("b", 25))
        << "round " << round << ": " << tiny.PassedThrough.size() << " pages";
  }
  SetReportPrinter(&Pages);
  EXPECT_TRUE(other.Stop());
  EXPECT_TRUE(Fake.Boxes.empty()) << Fake.Boxes[0].Text;
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), std::filesystem::directory_iterator()), 1);
}

TEST_F(RecorderTest, PositioningModeWritesOneRecordPerCharacter) {
  const std::string hangul = cp949::K("가나");
  double widthA = 0;
  auto drawn = Drawn(Parse(Record(
      [&](TBaseReport& r) {
        r.SetFont("Arial", 20);
        widthA = r.GetCanvas().TextWidth("A") / 100.0;
        r.PrintTextLeft("AB", 1.0);
        r.PrintTextLeft(hangul, 3.0);
      },
      [](TReportFiler& f) { f.AccuracyMethod = amPositioning; })));
  std::vector<Rec> texts;
  for (auto& r : drawn)
    if (r.Code == rcTextLeft) texts.push_back(r);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].Text, "A");
  EXPECT_EQ(texts[1].Text, "B");
  EXPECT_NEAR(texts[0].Nums[1], 1.0, 1e-6);
  EXPECT_NEAR(texts[1].Nums[1], 1.0 + widthA, 1e-6);
  EXPECT_EQ(texts[2].Text, hangul.substr(0, 2));  // a two-byte character stays whole
  EXPECT_EQ(texts[3].Text, hangul.substr(2, 2));
}

// The recorder measures a text only when the cursor is read: by then the font may have
// changed, and the cursor must still follow the width of the text in its own font.
TEST_F(RecorderTest, TheCursorAfterATextFollowsItsWidthInTheFontItWasWrittenIn) {
  struct Seen {
    double left, centre, right, afterLine, twice;
    double wideWidth, abcWidth;
  } seen{};
  Record([&](TBaseReport& r) {
    r.SetFont("Arial", 10);
    seen.wideWidth = r.GetCanvas().TextWidth("Wide text") / 100.0;
    seen.abcWidth = r.GetCanvas().TextWidth("abc");
    r.PrintTextLeft("Wide text", 1.0);
    r.SetFont("Arial", 40);  // before the cursor is read
    seen.left = r.CursorX;
    r.SetFont("Arial", 10);
    r.PrintTextCenter("abc", 4.0);
    r.SetFont("Arial", 30);
    seen.centre = r.CursorX;
    r.PrintTextRight("abc", 6.0);
    seen.right = r.CursorX;
    r.PrintTextLeft("Wide text", 1.0);
    r.NewLine();  // a cursor set meanwhile is not overwritten by the text's width
    seen.afterLine = r.CursorX;
    r.SetFont("Arial", 10);
    r.PrintTextLeft("Wide text", 1.0);
    r.PrintTextLeft("Wide text", r.CursorX);  // placed after the first one
    seen.twice = r.CursorX;
  });
  EXPECT_NEAR(seen.left, 1.0 + seen.wideWidth, 1e-9);
  EXPECT_NEAR(seen.centre, 4.0 + ((static_cast<int>(seen.abcWidth) + 1) / 2) / 100.0, 1e-9);
  EXPECT_NEAR(seen.right, 6.0, 1e-12);
  EXPECT_LT(seen.afterLine, 1.0);
  EXPECT_NEAR(seen.twice, 1.0 + 2 * seen.wideWidth, 1e-9);
}

TEST_F(RecorderTest, PrintPageEventsDecideThePageCount) {
  for (int pages : {1, 3}) {
    TReportFiler f;
    TMemoryStream m;
    f.StreamMode = smUser;
    f.Stream = &m;
    int calls = 0, newPages = 0;
    f.OnPrintPage = [&](TObject*, int&) { return ++calls < pages; };
    f.OnNewPage = [&](TObject*) { ++newPages; };
    f.Execute();
    EXPECT_EQ(calls, pages);
    EXPECT_EQ(newPages, pages);
    EXPECT_EQ(f.PagesWritten(), pages);
    EXPECT_EQ(Parse(StreamBytes(m))[0].Nums[0], pages);
  }
}

TEST_F(RecorderTest, RunFailuresLeaveTheRecorderIdleAndTheLastSavedFile) {
  TReportFiler f;
  std::string file = Path("xx.$$$");
  WriteFile(file, "old");
  int after = 0;
  f.FileName = file;
  f.OnAfterPrint = [&](TObject*) { ++after; };
  // Drawing code that fails: the memory stream is not saved.
  f.OnPrint = [](TObject* s) {
    auto* r = static_cast<TBaseReport*>(s);
    r->MoveTo(1, 1);
    throw EConvertError("'x' is not a valid integer value");
  };
  EXPECT_THROW(f.Execute(), EConvertError);
  EXPECT_EQ(after, 1);
  EXPECT_FALSE(f.Printing());
  EXPECT_EQ(ReadFile(file), "old");
  // Nor is a file written as the run goes: the name keeps its file, and nothing is left
  // beside it.
  {
    TReportFiler direct;
    direct.FileName = file;
    direct.StreamMode = smFile;
    direct.OnPrint = f.OnPrint;
    EXPECT_THROW(direct.Execute(), EConvertError);
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir), std::filesystem::directory_iterator()), 1);
  }
  // An abort ends the run silently at the next drawing operation.
  f.OnPrint = [](TObject* s) {
    auto* r = static_cast<TBaseReport*>(s);
    r->AbortReport();
    r->MoveTo(1, 1);
  };
  EXPECT_THROW(f.Execute(), EAbort);
  EXPECT_EQ(after, 2);
  // A stream that cannot be created: the message, nothing recorded, OnAfterPrint still runs.
  f.StreamMode = smFile;
  f.FileName = Path("no/such/folder/xx.$$$");
  f.OnPrint = [](TObject*) { FAIL() << "recorded without a stream"; };
  f.Execute();
  EXPECT_EQ(after, 3);
  ASSERT_EQ(Fake.Boxes.size(), 1u);
  EXPECT_EQ(Fake.Boxes[0].Text, "Error initializing stream \"" + f.FileName + "\"");
  // CopyRect is refused, in a run or not.
  TCanvas c;
  try {
    f.CopyRect(Rect(0, 0, 1, 1), c, Rect(0, 0, 1, 1));
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "CopyRect() not supported in file mode.");
  }
  // Outside a run every drawing operation is refused.
  try {
    f.MoveTo(1, 1);
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "Invalid method call.  ReportKit is not printing.");
  }
}

TEST_F(RecorderTest, WithoutAPrinterTheOwnerFormsScreenMeasures) {
  Pages.SetInstalled(false);
  TReportFiler loose;
  loose.FileName = Path("a.$$$");
  loose.OnPrint = [](TObject*) {};
  try {
    loose.Execute();
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "TReportFiler.Owner must be a TForm if no printers are defined.");
  }
  EXPECT_FALSE(loose.Printing());

  TForm form(nullptr);
  auto* f = new TReportFiler(&form);
  f->FileName = Path("b.$$$");
  int xdpi = 0;
  f->OnPrint = [&](TObject*) { xdpi = f->XDPI; };
  f->Execute();
  EXPECT_EQ(xdpi, 96);
  EXPECT_EQ(f->Device, "Preview Only");
  EXPECT_EQ(f->Port, "Preview");
  auto recs = Parse(ReadFile(Path("b.$$$")));
  EXPECT_EQ(recs[0].Nums[3], 8.5);
  EXPECT_EQ(recs[0].Nums[10], 1);  // copies without a printer
}

TEST_F(RecorderTest, APageNumberTheHandlerChangesIsHonoured) {
  TReportFiler f;
  TMemoryStream m;
  f.StreamMode = smUser;
  f.Stream = &m;
  std::vector<int> seen;
  f.OnPrintPage = [&](TObject*, int& n) {
    seen.push_back(n);
    if (n == 1) n = 5;  // the report goes on as page 5
    return seen.size() < 3;
  };
  f.Execute();
  EXPECT_EQ(seen, (std::vector<int>{1, 6, 7}));
  std::vector<double> numbers;
  for (const Rec& r : PageHeaders(Parse(StreamBytes(m)))) numbers.push_back(r.Nums[2]);
  EXPECT_EQ(numbers, (std::vector<double>{1, 6, 7}));
}

TEST_F(RecorderTest, EachRecorderLaysOutInItsOwnOrientation) {
  TReportFiler tall;  // portrait, made before a landscape recording turned the shared printer
  const std::string landscape = Record([](TBaseReport& r) { r.PrintTextLeft("wide", 1); },
                                       [](TReportFiler& f) { f.SetOrientation(poLandscape); });
  WriteFile(Path("wide.$$$"), landscape);
  TFilePrinter player;  // playing the landscape stream turns the printer
  player.FileName = Path("wide.$$$");
  player.Execute();
  ASSERT_EQ(Pages.Setup().Orientation, 2);
  TMemoryStream m;
  tall.StreamMode = smUser;
  tall.Stream = &m;
  tall.OnPrint = [](TObject* s) { static_cast<TBaseReport*>(s)->PrintTextLeft("tall", 1); };
  tall.Execute();
  const Rec header = Parse(StreamBytes(m))[0];
  EXPECT_EQ(header.Nums[3], 8.5);
  EXPECT_EQ(header.Nums[4], 11.0);
  EXPECT_EQ(header.Nums[9], poPortrait);
  EXPECT_EQ(PageHeaders(Parse(StreamBytes(m)))[0].Nums[3], poPortrait);
}

TEST_F(RecorderTest, ThePaperFieldsAreThePrintersSheet) {
  const struct {
    const char* name;
    double w, h;
    int code, width, length;
  } cases[] = {
      {"Letter", 8.5, 11.0, 1, 2159, 2794},
      {"A4", 210 / 25.4, 297 / 25.4, 9, 2100, 2970},
      {"A4 held sideways", 297 / 25.4, 210 / 25.4, 9, 2100, 2970},
      {"Legal", 8.5, 14.0, 5, 2159, 3556},
  };
  for (const auto& c : cases) {
    TImagePagePrinter sheet(100, 100, c.w, c.h);
    SetReportPrinter(&sheet);
    const Rec header = Parse(Record([](TBaseReport& r) { r.PrintTextLeft("x", 1); }))[0];
    EXPECT_EQ(header.Nums[11], c.code) << c.name;
    EXPECT_EQ(header.Nums[12], c.width) << c.name;
    EXPECT_EQ(header.Nums[13], c.length) << c.name;
  }
  SetReportPrinter(&Pages);
}

}  // namespace
