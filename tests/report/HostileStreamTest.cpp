// Report streams as an attacker writes them: a page count the stream does not hold, a stream
// without a page, a page too large to preview, and a picture copied from far beyond it. Each ends plainly: the report's own error
// or message, never a repeated page, a blank sheet, a hang or gigabytes of picture.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "report/FilePreview.h"
#include "report/FilePrinter.h"
#include "support/MemoryLimit.h"
#include "support/ReportTestKit.h"

using namespace rtest;

namespace {

// A stream of Pages pages, each a black square at (p, 1) inches, under a header that claims
// Claimed pages on a sheet of Width x Height inches.
std::string Crafted(int Pages, int32_t Claimed, double Width = 8.5, double Height = 11) {
  TMemoryStream m;
  TReportWriter w(m);
  TReportHeader h;
  h.PageCount = Claimed;
  h.PageWidth = Width;
  h.PageHeight = Height;
  w.ReportHeader(h);
  int64_t prev = 0, nextAt = 0;
  for (int p = 1; p <= Pages; ++p) {
    if (nextAt) w.PatchInt32(nextAt, static_cast<int32_t>(w.Position()));
    TPageHeader ph;
    ph.PrevLink = static_cast<int32_t>(prev);
    ph.PageNumber = p;
    prev = w.PageHeader(ph);
    nextAt = prev + TPageHeader::NextLinkOffset;
    w.Byte(rcBrushStyle);
    w.Byte(bsSolid);
    w.Byte(rcRectangle);
    w.Point(p, 1);
    w.Point(p + 0.5, 1.5);
    w.Byte(rcEndPage);
  }
  return StreamBytes(m);
}

class HostileStreamTest : public ReportTest {
 protected:
  std::string File() { return Path("xx.$$$"); }
};

TEST_F(HostileStreamTest, APageCountTheStreamDoesNotHoldEndsTheRunWithTheReportsError) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"3 pages claiming 1,000", Crafted(3, 1000)},
      {"3 pages claiming 0x7fffffff", Crafted(3, 0x7fffffff)},
      {"1 page claiming 2", Crafted(1, 2)},
  };
  for (const auto& c : cases) {
    WriteFile(File(), c.bytes);
    const int aborted = Pages.AbortedDocs;
    TFilePrinter p;
    p.FileName = File();
    try {
      p.Execute();
      ADD_FAILURE() << c.name << ": printed " << Pages.Pages().size() << " pages";
    } catch (const EReportKit& e) {
      EXPECT_STREQ(e.what(), "Unexpected code found in report file.") << c.name;
    }
    EXPECT_EQ(Pages.AbortedDocs, aborted + 1) << c.name;
    EXPECT_TRUE(Pages.Pages().empty()) << c.name;
    EXPECT_FALSE(p.Printing()) << c.name;
  }
  // The count the stream holds prints every page once.
  WriteFile(File(), Crafted(3, 3));
  TFilePrinter p;
  p.FileName = File();
  p.Execute();
  EXPECT_EQ(Pages.Pages().size(), 3u);
}

TEST_F(HostileStreamTest, NothingToPrintIsSaidAndNoSheetLeaves) {
  // A recording whose first output page lies past its end holds no page at all.
  std::string empty = Record([](TBaseReport& r) { r.PrintTextLeft("one page", 1); },
                             [](TReportFiler& f) { f.FirstPage = 5; });
  ASSERT_EQ(Codes(Parse(empty)), std::vector<int>{rcReportHeader});
  const struct {
    const char* name;
    std::string bytes;
    int first, last;
  } cases[] = {
      {"no page recorded", empty, 0, 0},
      {"a count of pages but no page", Crafted(0, 3), 0, 0},
      {"pages but a count of 0", Crafted(2, 0), 0, 0},
      {"a first page past the last", Crafted(3, 3), 5, 0},
  };
  for (const auto& c : cases) {
    WriteFile(File(), c.bytes);
    Fake.Boxes.clear();
    TFilePrinter p;
    p.FileName = File();
    p.PrintRange(c.first, c.last, 0);
    ASSERT_EQ(Fake.Boxes.size(), 1u) << c.name;
    EXPECT_EQ(Fake.Boxes[0].Text, "The report has no pages to print.") << c.name;
    EXPECT_EQ(Pages.Documents, 0) << c.name;
    EXPECT_FALSE(Pages.Printing()) << c.name;
    EXPECT_FALSE(p.Printing()) << c.name;
  }

  TForm form(nullptr);
  auto* box = new TScrollBox(&form);
  box->SetParent(&form);
  TFilePreview preview(&form);
  preview.SetScrollBox(box);
  preview.FileName = File();
  WriteFile(File(), empty);
  Fake.Boxes.clear();
  preview.StartPreview();
  EXPECT_FALSE(preview.Printing());
  ASSERT_EQ(Fake.Boxes.size(), 1u);
  EXPECT_EQ(Fake.Boxes[0].Text, "The report has no pages to print.");
}

TEST_F(HostileStreamTest, APreviewPageIsBoundByAPixelBudget) {
  TForm form(nullptr);
  auto* box = new TScrollBox(&form);
  box->SetParent(&form);
  TFilePreview preview(&form);
  preview.SetScrollBox(box);
  preview.FileName = File();
  // 199 x 199 inches passes the header's size check but is 365 million pixels at zoom 100.
  WriteFile(File(), Crafted(1, 1, 199, 199));
  for (double zoom : {100.0, 200.0}) {
    preview.SetZoomFactor(zoom);
    try {
      preview.StartPreview();
      ADD_FAILURE() << "previewed at " << zoom;
    } catch (const EReportKit& e) {
      EXPECT_STREQ(e.what(), "Page too large to preview at this zoom.");
    }
    EXPECT_FALSE(preview.Printing()) << zoom;
  }
  // At zoom 10 the page fits; zooming in later is refused and the preview goes on.
  preview.SetZoomFactor(10);
  preview.StartPreview();
  ASSERT_TRUE(preview.Printing());
  EXPECT_EQ(preview.PageImage()->width(), RoundEven(199 * 96 * 0.1));
  EXPECT_THROW(preview.SetZoomFactor(100), EReportKit);
  EXPECT_TRUE(preview.Printing());
  EXPECT_EQ(preview.PageImage()->width(), RoundEven(199 * 96 * 0.1));
  preview.FinishPreview();
}

// A brush copy takes its source rectangle from the stream: only what lies inside the picture
// is copied, to the matching part of the destination, whatever size the rectangle claims.
TEST_F(HostileStreamTest, ABrushCopyFromBeyondItsPictureCopiesOnlyThePicture) {
  TBitmap bmp;
  bmp.SetSize(8, 8);
  for (int i = 0; i < 8; ++i) bmp.SetPixel(i, i, clBlack);
  const struct {
    const char* what;
    TRect source;
  } cases[] = {
      {"twice the picture: it fills the top left quarter", Rect(0, 0, 16, 16)},
      {"20,000 pixels square: 1.6 GB as a copy", Rect(0, 0, 20000, 20000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordFile(File(), [&](TBaseReport& r) {
      r.SetBrush(clBlue, bsSolid, nullptr);
      r.BrushCopy(Rect(400, 300, 480, 380), bmp, c.source, clBlack);
    });
    EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
                TFilePrinter p;
                p.FileName = File();
                p.Execute();
                if (Pages.Pages().size() != 1) return 1;
                const QImage& img = Pages.Pages()[0];
                // Beyond the picture nothing is drawn; the corner the picture covers shows its
                // black diagonal in the brush colour.
                if (img.pixel(470, 370) != qRgb(255, 255, 255)) return 2;
                if (c.source.Right == 16 && img.pixel(402, 302) != qRgb(0, 0, 255)) return 3;
                return 0;
              }),
              0);
  }
}

}  // namespace
