// Canvas drawing with the system's edge rules, on bitmaps and on forms (drawn at any time, or
// from OnPaint when the form repaints).
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "platform/core/TextCodec.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"

namespace {

TEST(CanvasTest, RectanglesAndLinesLeaveTheirFarEdgeOut) {
  TBitmap b;
  b.SetSize(10, 10);
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  TCanvas& c = b.Canvas();
  c.Brush().Color = clRed;
  c.FillRect(Rect(2, 2, 5, 5));
  EXPECT_EQ(b.Pixel(2, 2), clRed);
  EXPECT_EQ(b.Pixel(4, 4), clRed);
  EXPECT_EQ(b.Pixel(5, 5), clWhite);
  c.Pen().Color = clBlue;
  c.Brush().Color = clYellow;
  c.Rectangle(0, 6, 4, 10);
  EXPECT_EQ(b.Pixel(0, 6), clBlue);   // outline
  EXPECT_EQ(b.Pixel(3, 9), clBlue);
  EXPECT_EQ(b.Pixel(1, 7), clYellow);  // inside
  EXPECT_EQ(b.Pixel(4, 6), clWhite);   // right edge outside
  c.MoveTo(6, 0);
  c.LineTo(9, 0);
  EXPECT_EQ(b.Pixel(8, 0), clBlue);
  EXPECT_EQ(b.Pixel(9, 0), clWhite);   // end point not drawn
  c.Brush().Color = clGreen;
  c.FrameRect(Rect(5, 5, 9, 9));
  EXPECT_EQ(b.Pixel(5, 5), clGreen);
  EXPECT_EQ(b.Pixel(8, 8), clGreen);
  EXPECT_EQ(b.Pixel(6, 6), clWhite);
  EXPECT_EQ(changes, 4);
}

TEST(CanvasTest, PolygonsAndPiesFillWithTheBrush) {
  TBitmap b;
  b.SetSize(40, 40);
  TCanvas& c = b.Canvas();
  c.Brush().Color = clLime;
  c.Pen().Color = clBlack;
  TPoint tri[] = {{0, 0}, {20, 0}, {0, 20}};
  c.Polygon(tri, 3);
  EXPECT_EQ(b.Pixel(4, 4), clLime);
  EXPECT_EQ(b.Pixel(18, 18), clWhite);
  // The quarter from the ray to the right round to the ray upwards (counter-clockwise).
  c.Brush().Color = clRed;
  c.Pie(20, 20, 40, 40, 40, 30, 30, 20);
  EXPECT_EQ(b.Pixel(34, 26), clRed);
  EXPECT_EQ(b.Pixel(26, 34), clWhite);
}

TEST(CanvasTest, TextOutMovesThePenAndPaintsTheBrush) {
  TBitmap b;
  b.SetSize(200, 30);
  TCanvas& c = b.Canvas();
  c.Brush().Color = clNavy;
  c.Font().SetColor(clWhite);
  std::string text = cp949::K("가나다 ABC");
  c.TextOut(0, 0, text);
  EXPECT_EQ(c.PenPos().X, c.TextWidth(text));
  EXPECT_GT(c.TextWidth(text), c.TextWidth("ABC"));
  EXPECT_EQ(b.Pixel(0, 0), clNavy);
  EXPECT_EQ(b.Pixel(c.TextWidth(text) + 2, 0), clWhite);
}

TEST(CanvasTest, FormCanvasShowsWhatWasDrawnAndOnPaintRedraws) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 120, 80);
  form.SetColor(clBlue);
  form.Show();
  form.Canvas().Brush().Color = clYellow;
  form.Canvas().FillRect(Rect(0, 0, 10, 10));
  QImage shot = form.Widget()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(5, 5), QColor(255, 255, 0));
  EXPECT_EQ(shot.pixelColor(50, 50), QColor(0, 0, 255));
  int paints = 0;
  form.OnPaint = [&](TObject*) {
    ++paints;
    form.Canvas().Brush().Color = clRed;
    form.Canvas().FillRect(Rect(20, 20, 30, 30));
  };
  shot = form.Widget()->grab().toImage();
  EXPECT_GE(paints, 1);
  EXPECT_EQ(shot.pixelColor(25, 25), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(5, 5), QColor(0, 0, 255));  // a repaint starts from the form's colour
}

TEST(CanvasTest, PaintBoxDrawsOnItsPaintAndShowsWhatLiesBehind) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 120, 80);
  form.SetColor(clBlue);
  auto* box = new TPaintBox(&form);
  box->SetParent(&form);
  box->SetBounds(10, 10, 40, 40);
  box->OnPaint = [box](TObject*) {
    box->Canvas().Brush().Color = clRed;
    box->Canvas().FillRect(Rect(0, 0, 10, 10));
  };
  form.Show();
  QImage shot = form.Widget()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(12, 12), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(40, 40), QColor(0, 0, 255));  // see-through where nothing is drawn
}

}  // namespace
