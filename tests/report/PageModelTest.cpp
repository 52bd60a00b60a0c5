// The page model: units, conversions, line metrics, the status text, pens and fonts, and tab
// stops with tabbed text (checked through what the recorder writes for them).
#include <gtest/gtest.h>

#include <cmath>

#include "support/ReportTestKit.h"
#include "platform/core/Cp949.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

using namespace rtest;

namespace {

class PageModelTest : public ReportTest {};

TEST_F(PageModelTest, UnitsFollowTheFactorAndBadWritesAreIgnored) {
  TReportFiler r;
  struct Case {
    double factor;
    TPrintUnits units;
    double read;
  } cases[] = {
      {25.4, unMM, 25.4}, {25.41, unUser, 25.41}, {2.54, unCM, 2.54}, {72, unPoint, 72},
      {1, unInch, 1},     {0, unInch, 1},         {-3, unInch, 1},
  };
  for (const Case& c : cases) {
    r.SetUnitsFactor(c.factor);
    EXPECT_EQ(r.Units(), c.units) << c.factor;
    EXPECT_EQ(r.UnitsFactor(), c.read) << c.factor;
  }
  r.SetUnits(unMM);
  EXPECT_EQ(r.UnitsFactor(), 25.4);
  r.SetUnits(unUser);
  EXPECT_EQ(r.UnitsFactor(), 25.4);
  for (auto [in, out] : {std::pair{150, 100}, {-5, 0}, {50, 50}, {100, 100}}) {
    r.SetTabShade(in);
    EXPECT_EQ(r.TabShade(), out) << in;
  }
  r.SetLinesPerInch(8);
  r.SetLinesPerInch(0);
  r.SetLinesPerInch(-2);
  EXPECT_EQ(r.LinesPerInch(), 8);
}

TEST_F(PageModelTest, ConversionsApplyOriginScaleZoomOffsetAndRoundHalvesToEven) {
  TReportFiler r;
  struct Case {
    int dpi;
    double scale, zoom, offset, origin;
    int devOrigin;
    double inches;
    int px;
  } cases[] = {
      {600, 100, 100, 0, 0, 0, 1.0, 600},
      {600, 50, 100, 0.25, 0, 0, 1.0, 150},   // (1 x 0.5 - 0.25) x 600
      {96, 100, 50, 0, 1, 10, 1.0, 106},      // (2 x 0.5) x 96 + 10
      {1, 100, 100, 0, 0, 0, 2.5, 2},         // halves go to even
      {1, 100, 100, 0, 0, 0, 3.5, 4},
  };
  for (const Case& c : cases) {
    r.XDPI = r.YDPI = c.dpi;
    r.SetScaleX(c.scale);
    r.SetScaleY(c.scale);
    r.SetZoomFactor(c.zoom);
    r.PrinterOffsetLeft = r.PrinterOffsetTop = c.offset;
    r.OriginX = r.OriginY = c.origin;
    r.DeviceOriginX = r.DeviceOriginY = c.devOrigin;
    EXPECT_EQ(r.InchesToDeviceX(c.inches), c.px) << c.dpi << " " << c.inches;
    EXPECT_EQ(r.InchesToDeviceY(c.inches), c.px);
    if (c.dpi > 1) {
      EXPECT_NEAR(r.DeviceToInchesX(c.px), c.inches, 1e-9);
    }
  }
  r.SetUnitsFactor(25.4);
  r.XDPI = 100;
  r.SetScaleX(100);
  r.SetZoomFactor(100);
  r.PrinterOffsetLeft = r.OriginX = 0;
  r.DeviceOriginX = 0;
  EXPECT_EQ(r.UnitsToDeviceX(25.4), 100);
  EXPECT_NEAR(r.DeviceToUnitsX(50), 12.7, 1e-9);
}

TEST_F(PageModelTest, LinesAndCursorFollowTheMetricsOfTheRun) {
  TReportFiler f;
  f.SetMarginTop(0.5);
  f.SetMarginBottom(1.0);
  f.SetMarginLeft(0.75);
  struct Seen {
    double descent, cursorY, cursorX, afterNewLine;
    int linesLeftTop, linesLeftNear, linesLeftPast;
    double fontLineHeight;
  } seen{};
  f.OnPrint = [&](TObject*) {
    f.SetFont("Arial", 12);
    f.SetLinesPerInch(6);
    f.GotoLine(1);
    seen.descent = f.Descent;
    seen.cursorY = f.CursorY;
    seen.cursorX = f.CursorX;
    f.NewLine();
    seen.afterNewLine = f.CursorY;
    f.GotoLine(1);
    seen.linesLeftTop = f.LinesLeft();
    // Less than one line above the section's bottom (10 in on an 11 in page).
    f.CursorY = 10 - f.Descent - 0.1;
    seen.linesLeftNear = f.LinesLeft();
    f.CursorY = 10 - f.Descent + 0.001;
    seen.linesLeftPast = f.LinesLeft();
    f.LineHeightMethod = lhmFont;
    f.SetFont("Arial", 30);
    f.UpdateLineMetrics();
    seen.fontLineHeight = f.LineHeight;
  };
  f.FileName = Path("m.$$$");
  f.Execute();
  EXPECT_GT(seen.descent, 0);
  EXPECT_NEAR(seen.cursorY, 0.5 + 1.0 / 6 - seen.descent, 1e-12);
  EXPECT_NEAR(seen.cursorX, 0.75, 1e-12);
  EXPECT_NEAR(seen.afterNewLine, seen.cursorY + 1.0 / 6, 1e-12);
  EXPECT_EQ(seen.linesLeftTop, static_cast<int>((10 - (0.5 + 1.0 / 6)) * 6) + 1);
  EXPECT_EQ(seen.linesLeftNear, 1);
  EXPECT_EQ(seen.linesLeftPast, 0);
  EXPECT_NEAR(seen.fontLineHeight, 0.5, 1e-12);  // 30 pt / 60
}

TEST_F(PageModelTest, PenWidthsFontsAndTheCanvasOutsideARun) {
  TReportFiler f;
  struct Case {
    int dpi;
    double zoom;
    int width, pixels;
  } cases[] = {{600, 100, -10, 60}, {96, 10, -1, 1}, {300, 100, 3, 3}, {300, 50, -100, 150}};
  for (const Case& c : cases) {
    f.XDPI = c.dpi;
    f.SetZoomFactor(c.zoom);
    EXPECT_EQ(f.CreateReportPen(clBlack, psSolid, c.width, TReportPenMode::pmCopy).Width(), c.pixels) << c.width;
  }
  f.SetZoomFactor(100);
  f.FileName = Path("f.$$$");
  TReportFont before, after;
  f.OnPrint = [&](TObject*) {
    f.SetFont("Courier New", 10);
    f.SetFontItalic(true);
    f.GetCanvas().Font().SetColor(clRed);
    before = f.GetCanvas().Font();
    f.SetFont("Arial", 0);  // changes nothing at all
    after = f.GetCanvas().Font();
  };
  f.Execute();
  EXPECT_EQ(after.Name(), "Courier New");
  EXPECT_EQ(after.Height(), before.Height());
  EXPECT_EQ(after.Color(), clRed);
  EXPECT_TRUE(after.Has(fsItalic));
  EXPECT_EQ(before.Height(), -14);  // 10 pt at 100 dpi
}

// Fitting a text to a width: whole characters only, and what fits measures within the width
// as the text is drawn, in a Latin, a fixed Hangul and a proportional Hangul face.
TEST_F(PageModelTest, ATextFitsAWidthInWholeCharacters) {
  const std::string text = "Wide " + cp949::K("한글 목록의 제목") + " ABC " + cp949::K("가나다라마바사");
  for (const char* face : {"Arial", "굴림체", "굴림"}) {
    SCOPED_TRACE(face);
    TReportCanvas c;
    c.Font().SetName(cp949::K(face));
    c.Font().SetHeight(-40);
    const int whole = c.TextWidth(text);
    EXPECT_EQ(c.FitLength(text, whole + 1), text.size());
    EXPECT_EQ(c.FitLength(text, 0), 0u);
    EXPECT_EQ(c.FitLength("", 10), 0u);
    for (int w = 10; w < whole; w += 7) {
      const size_t n = c.FitLength(text, w);
      ASSERT_EQ(cp949::CutLength(text, n), n) << "cut inside a character at " << w;
      EXPECT_LE(c.TextWidth(text.substr(0, n)), w + 1) << w;
      ASSERT_LT(n, text.size());
      const size_t next = n + cp949::CharLength(text, n);
      EXPECT_GT(c.TextWidth(text.substr(0, next)), w - 1) << "one character more would fit at " << w;
    }
  }
}

TEST_F(PageModelTest, StatusFormatEscapes) {
  TReportFiler f;
  f.PageNumber = 3;
  f.StatusText().Add("first");
  f.Device = "LaserJet";
  struct Case {
    const char* format;
    const char* shown;
  } cases[] = {
      {"Page %p of %L", "Page 3 of 9999"}, {"%x", "<ERROR-%X>"}, {"100%%", "100%"}, {"%%P", "%P"},
      {"%0|%1", "first|"},                 {"end %", "end %"},    {"%F-%d", "1-LaserJet"},
  };
  for (const Case& c : cases) {
    f.StatusFormat = c.format;
    EXPECT_EQ(f.StatusString(), c.shown) << c.format;
  }
  // The label shows it while the report runs; a removed label is forgotten.
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  f.SetStatusLabel(label);
  f.StatusFormat = "Printing page %p";
  f.FileName = Path("s.$$$");
  f.OnPrint = [&](TObject*) { f.NewPage(); };
  f.Execute();
  EXPECT_EQ(label->Text(), "Printing page 2");
  delete label;
  EXPECT_EQ(f.StatusLabel(), nullptr);
}

TEST_F(PageModelTest, TabStopsPlaceTheirPiecesAndFollowEachOther) {
  TReportFiler f;
  f.SetMarginLeft(0.5);
  f.AddTabStop(-1, 1, 1.0, 10, 0, 0);  // first: at the left margin edge
  f.AddTabStop(-1, 1, 2.0, 0, 0, 0);   // then where the first cell ends
  f.AddTabStop(4.0, 1, 0, 10, 15, 30); // no cell: no margin, box or shade
  ASSERT_EQ(f.TabStops().size(), 3u);
  EXPECT_EQ(f.TabStops()[0].Position, 0.5);
  EXPECT_EQ(f.TabStops()[0].Margin, 0.1);
  EXPECT_EQ(f.TabStops()[1].Position, 1.5);
  const TTabStop& none = f.TabStops()[2];
  EXPECT_EQ(none.Margin, 0);
  EXPECT_FALSE(none.BoxLeft || none.BoxRight || none.BoxTop || none.BoxBottom);
  EXPECT_EQ(none.Shade, 0);

  auto texts = [&](const std::function<void(TBaseReport&)>& draw) {
    std::vector<std::pair<std::string, double>> out;
    for (const Rec& r : Drawn(Parse(Record(draw))))
      if (r.Code >= rcTextCenter && r.Code <= rcTextRight) out.push_back({r.Text, r.Nums[1]});
    return out;
  };
  auto threeStops = [](TBaseReport& r) {
    r.ClearTabStops();
    r.AddTabStop(1.0, 1, 1.0, 10, 0, 0);
    r.AddTabStop(3.0, 1, 1.0, 10, 0, 0);
    r.AddTabStop(5.0, 1, 1.0, 10, 0, 0);
  };
  auto t = texts([&](TBaseReport& r) {
    threeStops(r);
    r.PrintTabbed("A\tB\t\tC");
  });
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].first, "A");
  EXPECT_NEAR(t[0].second, 0, 1e-6);  // at the cursor
  EXPECT_EQ(t[1].first, "B");
  EXPECT_NEAR(t[1].second, 1.1, 1e-6);
  EXPECT_EQ(t[2].first, "C");
  EXPECT_NEAR(t[2].second, 5.1, 1e-6);

  // More pieces than stops: the rest go left-aligned at the cursor.
  t = texts([&](TBaseReport& r) {
    threeStops(r);
    r.PrintTabbed("\t1\t2\t3\t4");
  });
  ASSERT_EQ(t.size(), 4u);
  EXPECT_NEAR(t[2].second, 5.1, 1e-6);
  EXPECT_GT(t[3].second, 5.1);  // where the third piece ended

  // Right-justified in a 2 in cell with a margin of 10: ends 1.9 in from the cell's edge.
  double cursorX = 0;
  t = texts([&](TBaseReport& r) {
    r.ClearTabStops();
    r.AddTabStop(1.0, 2, 2.0, 10, 0, 0);
    r.PrintTabbed("\tR");
    cursorX = r.CursorX;
  });
  ASSERT_EQ(t.size(), 1u);
  EXPECT_NEAR(t[0].second, 2.9, 1e-6);
  EXPECT_NEAR(cursorX, 2.9, 1e-12);
}

TEST_F(PageModelTest, CellShadesAndBoxLines) {
  auto shadeOf = [&](int tabShade, uint8_t ownShade, double width, uint8_t boxes) {
    std::vector<Rec> drawn = Drawn(Parse(Record([&](TBaseReport& r) {
      r.SetTabShade(tabShade);
      r.AddTabStop(1.0, 1, width, 0, boxes, ownShade);
      r.PrintTabbed("\tx");
    })));
    return drawn;
  };
  struct Case {
    int tabShade;
    uint8_t own;
    double width;
    int grey;  // -1: no shade
  } cases[] = {{0, 50, 1.0, 128}, {0, 100, 1.0, 0}, {20, 0, 1.0, 204}, {50, 0, 0, -1}, {0, 0, 1.0, -1}};
  for (const Case& c : cases) {
    auto drawn = shadeOf(c.tabShade, c.own, c.width, 0);
    auto tab = std::find_if(drawn.begin(), drawn.end(), [](const Rec& r) { return r.Code == rcTabRectangle; });
    if (c.grey < 0) {
      EXPECT_EQ(tab, drawn.end()) << c.tabShade << " " << int(c.own);
      continue;
    }
    ASSERT_NE(tab, drawn.end());
    auto brush = std::find_if(drawn.begin(), tab, [](const Rec& r) { return r.Code == rcBrushColor; });
    // Black is the brush colour every page starts with, so it needs no record of its own.
    TColor colour = brush != tab ? static_cast<TColor>(brush->Nums[0]) : clBlack;
    EXPECT_EQ(colour, RGB(c.grey, c.grey, c.grey)) << int(c.own);
    auto mode = std::find_if(drawn.begin(), tab, [](const Rec& r) { return r.Code == rcPenMode; });
    ASSERT_NE(mode, tab);
    EXPECT_EQ(mode->Nums[0], static_cast<double>(TReportPenMode::pmMask));
  }
  // All four box lines: four MoveTo/LineTo pairs; a cell of no width draws none.
  auto lines = [](const std::vector<Rec>& d) {
    return std::count_if(d.begin(), d.end(), [](const Rec& r) { return r.Code == rcLineTo; });
  };
  EXPECT_EQ(lines(shadeOf(0, 0, 1.0, 15)), 4);
  EXPECT_EQ(lines(shadeOf(0, 0, 1.0, 2)), 1);
  EXPECT_EQ(lines(shadeOf(0, 0, 0, 15)), 0);
}

TEST_F(PageModelTest, PrinterSettingsGoToTheSetupAndAreRefusedWhilePrinting) {
  TReportFiler f;
  f.SetCopies(4);
  EXPECT_EQ(Pages.Setup().Copies, 4);
  f.SetCopies(0);  // kept, but not a number of copies for the printer
  EXPECT_EQ(f.Copies(), 0);
  EXPECT_EQ(Pages.Setup().Copies, 4);
  f.SetOrientation(poLandscape);
  EXPECT_NEAR(f.GetPageWidth(), 11.0, 1e-9);
  EXPECT_NEAR(f.GetPageHeight(), 8.5, 1e-9);
  f.SetMarginRight(0.5);
  EXPECT_NEAR(f.SectionRight, 10.5, 1e-9);
  f.FileName = Path("o.$$$");
  std::vector<std::string> refused;
  f.OnPrint = [&](TObject*) {
    for (auto op : std::initializer_list<std::function<void()>>{
             [&] { f.SetCopies(2); }, [&] { f.SetOrientation(poPortrait); }, [&] { f.SetOutputPort("LPT2:"); },
             [&] { f.Execute(); }}) {
      try {
        op();
      } catch (const EReportKit& e) {
        refused.push_back(e.what());
      }
    }
  };
  f.Execute();
  ASSERT_EQ(refused.size(), 4u);
  for (const std::string& m : refused) EXPECT_EQ(m, "Invalid method call.  ReportKit already printing.");
  auto recs = Parse(ReadFile(Path("o.$$$")));
  EXPECT_EQ(recs[0].Nums[3], 11.0);  // page width of the run
  EXPECT_EQ(recs[0].Nums[9], 1);     // landscape
  EXPECT_EQ(recs[0].Nums[10], 4);    // copies of the setup
  f.SetOrientation(poPortrait);
}

// The fixed Letter page is in inches; the margins and the page size are read and written in
// Units, and the recorded page stays Letter whatever the Units.
TEST_F(PageModelTest, WithoutAPrinterThePageAndItsMarginsConvertBetweenInchesAndUnits) {
  Pages.SetInstalled(false);
  const struct {
    double factor, right, bottom;
  } cases[] = {{25.4, 25.4, 12.7}, {1.0, 1.0, 0.5}, {72.0, 36.0, 72.0}};
  for (const auto& c : cases) {
    TReportFiler f;
    f.SetUnitsFactor(c.factor);
    f.SetMarginRight(c.right);
    f.SetMarginBottom(c.bottom);
    // The fixed Letter page less the margin, in inches.
    EXPECT_NEAR(f.SectionRight, 8.5 - c.right / c.factor, 1e-9) << c.factor;
    EXPECT_NEAR(f.SectionBottom, 11.0 - c.bottom / c.factor, 1e-9) << c.factor;
    EXPECT_EQ(f.MarginRight(), c.right);
    EXPECT_NEAR(f.GetPageWidth(), 8.5 * c.factor, 1e-9) << c.factor;
    EXPECT_NEAR(f.GetPageHeight(), 11.0 * c.factor, 1e-9) << c.factor;
  }
  TForm form(nullptr);
  auto* f = new TReportFiler(&form);
  f->SetUnitsFactor(25.4);
  f->FileName = Path("mm.$$$");
  f->OnPrint = [](TObject*) {};
  f->Execute();
  const Rec header = Parse(ReadFile(Path("mm.$$$")))[0];
  EXPECT_NEAR(header.Nums[3], 8.5, 1e-6);
  EXPECT_NEAR(header.Nums[4], 11.0, 1e-6);
}

}  // namespace
