// The preview: page size by resolution and zoom, the zoom's limits, the margin, paging with
// the scroll position kept, the run's refusals, and a damaged page.
#include <gtest/gtest.h>

#include <QImage>
#include <QScrollArea>
#include <QScrollBar>

#include "support/ReportTestKit.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "report/FilePreview.h"

using namespace rtest;

namespace {

class PreviewTest : public ReportTest {
 protected:
  PreviewTest() {
    Form.SetBounds(0, 0, 400, 300);
    Box->SetParent(&Form);
    Box->SetBounds(0, 0, 300, 200);
    Preview->SetScrollBox(Box);
    Preview->FileName = Path("xx.$$$");
  }
  // Page p holds a black square of half an inch at (p, 1) inches.
  void RecordPages(int n) {
    RecordFile(Preview->FileName, [n](TBaseReport& r) {
      for (int p = 1; p <= n; ++p) {
        r.SetBrush(clBlack, bsSolid, nullptr);
        r.Rectangle(p, 1, p + 0.5, 1.5);
        if (p < n) r.NewPage();
      }
    });
  }
  int ShownSquare() {
    const QImage& img = Preview->Image()->Picture().Image();
    double zoom = Preview->ZoomFactor() / 100;
    for (int p = 1; p <= 6; ++p) {
      QRgb c = img.pixel(static_cast<int>((p + 0.25) * 96 * zoom), static_cast<int>(1.25 * 96 * zoom));
      if (qRed(c) < 64) return p;
    }
    return 0;
  }
  QScrollBar* VBar() { return Box->Area()->verticalScrollBar(); }

  TForm Form{nullptr};
  TScrollBox* Box = new TScrollBox(&Form);
  TFilePreview* Preview = new TFilePreview(&Form);
};

TEST_F(PreviewTest, APageIsAFramedSheetSizedByTheScreenAndTheZoom) {
  RecordPages(1);
  int zoomChanges = 0;
  Preview->StartPreview();
  ASSERT_TRUE(Preview->Printing());
  TImage* image = Preview->Image();
  ASSERT_NE(image, nullptr);
  const QImage& shown = image->Picture().Image();
  EXPECT_EQ(shown.width(), 816);
  EXPECT_EQ(shown.height(), 1056);
  EXPECT_EQ(qRed(shown.pixel(0, 0)), 0);        // the frame
  EXPECT_EQ(qRed(shown.pixel(815, 1055)), 0);
  EXPECT_EQ(qRed(shown.pixel(5, 5)), 255);      // the sheet
  EXPECT_EQ(ShownSquare(), 1);

  Preview->SetZoomFactor(50);  // redraws at once
  EXPECT_EQ(image->Picture().Image().width(), 408);
  EXPECT_EQ(image->Picture().Image().height(), 528);
  EXPECT_EQ(ShownSquare(), 1);

  struct Case {
    double in, out;
  } cases[] = {{5, 10}, {250, 200}, {std::nan(""), 10}, {75, 75}};
  for (const Case& c : cases) {
    Preview->SetZoomFactor(c.in);
    EXPECT_EQ(Preview->ZoomFactor(), c.out) << c.in;
  }
  // With OnZoomChange the caller redraws.
  Preview->OnZoomChange = [&](TObject*) { ++zoomChanges; };
  int width = image->Picture().Image().width();
  Preview->SetZoomFactor(100);
  EXPECT_EQ(zoomChanges, 1);
  EXPECT_EQ(image->Picture().Image().width(), width);
  Preview->FinishPreview();
  EXPECT_FALSE(Preview->Printing());
  EXPECT_EQ(Preview->Image(), image);  // the last page stays shown

  Preview->OnZoomChange = nullptr;
  Preview->Monochrome = true;
  Preview->StartPreview();
  EXPECT_EQ(Preview->Image()->Picture().Image().width(), 816);
  EXPECT_EQ(ShownSquare(), 1);
  QImage page = Preview->Image()->Picture().Image();
  for (int y = 0; y < page.height(); y += 37)
    for (int x = 0; x < page.width(); x += 41) {
      QRgb c = page.pixel(x, y);
      ASSERT_TRUE(c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255)) << x << "," << y;
    }
  Preview->FinishPreview();
}

TEST_F(PreviewTest, TheMarginIsFixedOrFollowsTheZoom) {
  RecordPages(1);
  struct Case {
    TMarginMethod method;
    double zoom;
    int margin;
  } cases[] = {{mmFixed, 100, 41}, {mmFixed, 50, 41}, {mmScaled, 50, 20}, {mmScaled, 100, 41}};
  for (const Case& c : cases) {
    Preview->MarginMethod = c.method;
    Preview->MarginPercent = 5;
    Preview->SetZoomFactor(c.zoom);
    Preview->StartPreview();
    EXPECT_EQ(Preview->Margin(), c.margin);
    EXPECT_EQ(Preview->Image()->Left(), c.margin);
    EXPECT_EQ(Preview->Image()->Top(), c.margin);
    EXPECT_EQ(Box->Area()->widget()->width(), Preview->Image()->Width() + 2 * c.margin);
    Preview->FinishPreview();
  }
}

TEST_F(PreviewTest, PagingStepsThroughThePagesAndKeepsTheScrollPosition) {
  RecordPages(3);
  std::vector<int> changes;
  Preview->OnPageChange = [&](TObject*) { changes.push_back(Preview->PageNumber); };
  Form.Show();  // a scroll box has its ranges while it is shown
  Preview->StartPreview();
  EXPECT_EQ(ShownSquare(), 1);
  Preview->PreviousPage();  // nothing before the first
  EXPECT_EQ(Preview->PageNumber, 1);
  ASSERT_GT(VBar()->maximum(), 400);
  VBar()->setValue(VBar()->maximum() / 2);
  int half = VBar()->value();
  Preview->NextPage();
  EXPECT_EQ(Preview->PageNumber, 2);
  EXPECT_EQ(ShownSquare(), 2);
  EXPECT_EQ(VBar()->value(), half);
  Preview->NextPage();
  Preview->NextPage();  // nothing after the last
  EXPECT_EQ(Preview->PageNumber, 3);
  EXPECT_EQ(ShownSquare(), 3);
  Preview->PreviousPage();
  EXPECT_EQ(ShownSquare(), 2);
  Preview->RedrawPage();
  EXPECT_EQ(ShownSquare(), 2);
  EXPECT_EQ(changes.front(), 1);
  EXPECT_EQ(changes.size(), 5u);  // start, next, next, previous, redraw
}

// Past page 65,535 the preview walks to the page asked for and pages on from it.
TEST_F(PreviewTest, PagesPast65535AreShown) {
  constexpr int kPages = 65540;
  TReportFiler f;
  f.FileName = Preview->FileName;
  f.LastPage = kPages;
  f.OnPrint = [](TObject* s) {
    auto& r = *static_cast<TBaseReport*>(s);
    r.SetBrush(clBlack, bsSolid, nullptr);
    for (int p = 1; p <= kPages; ++p) {
      r.Rectangle(p % 6 + 1, 1, p % 6 + 1.5, 1.5);
      if (p < kPages) r.NewPage();
    }
  };
  f.Execute();
  Preview->StartPreview();
  for (int page : {65537, 65540, 65535}) {
    Preview->ShowPage(static_cast<unsigned>(page));
    EXPECT_EQ(Preview->PageNumber, page);
    EXPECT_EQ(ShownSquare(), page % 6 + 1) << page;
  }
  Preview->NextPage();
  EXPECT_EQ(Preview->PageNumber, 65536);
  EXPECT_EQ(ShownSquare(), 65536 % 6 + 1);
  Preview->FinishPreview();
  EXPECT_TRUE(Fake.Boxes.empty()) << Fake.Boxes[0].Text;
}

TEST_F(PreviewTest, RefusalsOfARunAndADamagedPage) {
  try {
    Preview->FinishPreview();
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "Invalid method call.  ReportKit is not printing.");
  }
  TFilePreview loose;
  try {
    loose.StartPreview();
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "ScrollBox must be assigned for FilePreview component");
  }
  // No stream: the message, and the preview stays inactive.
  Preview->StartPreview();
  EXPECT_FALSE(Preview->Printing());
  ASSERT_EQ(Fake.Boxes.size(), 1u);

  RecordPages(3);
  Preview->StartPreview();
  try {
    Preview->StartPreview();
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "Invalid method call.  ReportKit already printing.");
  }
  Preview->FinishPreview();

  // Page 2's first drawing record damaged: that page is refused, the preview is left aborted
  // until it is finished, and a new start shows the pages again.
  std::string bytes = ReadFile(Preview->FileName);
  auto recs = Parse(bytes);
  int seen = 0;
  for (const Rec& r : recs)
    if (r.Code == rcRectangle && ++seen == 2) bytes[static_cast<size_t>(r.Pos)] = 31;
  WriteFile(Preview->FileName, bytes);
  Preview->StartPreview();
  EXPECT_THROW(Preview->NextPage(), EReportKit);
  EXPECT_TRUE(Preview->Aborted());
  EXPECT_THROW(Preview->PreviousPage(), EAbort);
  Preview->FinishPreview();
  Preview->StartPreview();
  EXPECT_FALSE(Preview->Aborted());
  EXPECT_EQ(ShownSquare(), 1);
  Preview->FinishPreview();
}

TEST_F(PreviewTest, RandomDamageIsRefusedOrShownNeverACrash) {
  RecordPages(3);
  const std::string good = ReadFile(Preview->FileName);
  uint32_t seed = 777;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int round = 0; round < 100; ++round) {
    std::string bad = good;
    for (int i = 0; i < 3; ++i) bad[next() % bad.size()] = static_cast<char>(next() >> 8);
    WriteFile(Preview->FileName, bad);
    try {
      Preview->StartPreview();
      Preview->NextPage();
      Preview->NextPage();
      Preview->PreviousPage();
    } catch (const Exception&) {
    }
    if (Preview->Printing()) Preview->FinishPreview();
  }
  WriteFile(Preview->FileName, good);
  Preview->StartPreview();
  EXPECT_EQ(ShownSquare(), 1);
  Preview->FinishPreview();
}

TEST_F(PreviewTest, RemovedScrollBoxIsForgotten) {
  delete Box;
  EXPECT_EQ(Preview->ScrollBox(), nullptr);
  Box = nullptr;
}

}  // namespace
