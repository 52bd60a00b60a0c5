// Drawing operations of the page model on a device canvas.
#include "report/CanvasReport.h"

#include <cmath>
#include <vector>

#include "platform/core/Cp949.h"
#include "report/ReportPrinter.h"

bool TCanvasReport::Drawing() {
  CheckPrinting();
  return !PageOutputOff;
}

void TCanvasReport::PrintTextAligned(const std::string& Text, double X, TReportTextAlign A) {
  if (!Drawing()) return;
  TReportCanvas& c = GetCanvas();
  TBKMode old = c.SetBkMode(TextBKMode());
  c.SetTextAlign(A, true);
  c.TextOut(InchesToDeviceX(X), InchesToDeviceY(CursorY), Text);
  c.SetBkMode(old);
  int w = c.TextWidth(Text);
  double k = 10000.0 / (XDPI * ScaleX() * ZoomFactor());
  switch (A) {
    case rtaCenter: CursorX = X + ((w + 1) / 2) * k; break;
    case rtaLeft: CursorX = X + w * k; break;
    case rtaRight: CursorX = X; break;
  }
}

void TCanvasReport::PrintTextCenter(const std::string& Text, double X) { PrintTextAligned(Text, X, rtaCenter); }
void TCanvasReport::PrintTextLeft(const std::string& Text, double X) { PrintTextAligned(Text, X, rtaLeft); }
void TCanvasReport::PrintTextRight(const std::string& Text, double X) { PrintTextAligned(Text, X, rtaRight); }

void TCanvasReport::DrawTabRectangle(double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  GetCanvas().Rectangle(UnitsToDeviceX(X1) - 1, UnitsToDeviceY(Y1) - 1, UnitsToDeviceX(X2) + 1, UnitsToDeviceY(Y2) + 1);
}

void TCanvasReport::Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  if (!Drawing()) return;
  GetCanvas().Arc(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2), UnitsToDeviceX(X3),
                  UnitsToDeviceY(Y3), UnitsToDeviceX(X4), UnitsToDeviceY(Y4));
}

void TCanvasReport::Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  if (!Drawing()) return;
  GetCanvas().Chord(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2), UnitsToDeviceX(X3),
                    UnitsToDeviceY(Y3), UnitsToDeviceX(X4), UnitsToDeviceY(Y4));
}

void TCanvasReport::Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  if (!Drawing()) return;
  GetCanvas().Pie(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2), UnitsToDeviceX(X3),
                  UnitsToDeviceY(Y3), UnitsToDeviceX(X4), UnitsToDeviceY(Y4));
}

void TCanvasReport::BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) {
  if (!Drawing()) return;
  GetCanvas().BrushCopy(Dest, Bitmap, Source, Color);
}

void TCanvasReport::CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source) {
  if (!Drawing()) return;
  Canvas.CopyRect(Dest, Canvas, Source);
}

void TCanvasReport::Draw(double X, double Y, const TBitmap& Graphic) {
  if (!Drawing()) return;
  GetCanvas().Draw(UnitsToDeviceX(X), UnitsToDeviceY(Y), Graphic);
}

void TCanvasReport::DrawFocusRect(const TRect& R) {
  if (!Drawing()) return;
  GetCanvas().DrawFocusRect(R);
}

void TCanvasReport::Ellipse(double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  GetCanvas().Ellipse(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2));
}

void TCanvasReport::FillRect(const TRect& R) {
  if (!Drawing()) return;
  GetCanvas().FillRect(R);
}

void TCanvasReport::FloodFill(double X, double Y, TColor Color, int FillStyle) {
  if (!Drawing()) return;
  GetCanvas().FloodFill(UnitsToDeviceX(X), UnitsToDeviceY(Y), Color, FillStyle);
}

void TCanvasReport::FrameRect(const TRect& R) {
  if (!Drawing()) return;
  GetCanvas().FrameRect(R);
}

void TCanvasReport::LineTo(double X, double Y) {
  if (!Drawing()) return;
  GetCanvas().LineTo(UnitsToDeviceX(X), UnitsToDeviceY(Y));
}

void TCanvasReport::MoveTo(double X, double Y) {
  if (!Drawing()) return;
  GetCanvas().MoveTo(UnitsToDeviceX(X), UnitsToDeviceY(Y));
}

void TCanvasReport::Polygon(std::span<const TPoint> Points) {
  if (!Drawing()) return;
  GetCanvas().Polygon(Points.data(), static_cast<int>(Points.size()));
}

void TCanvasReport::Polyline(std::span<const TPoint> Points) {
  if (!Drawing()) return;
  GetCanvas().Polyline(Points.data(), static_cast<int>(Points.size()));
}

void TCanvasReport::DrawBitmapScaled(const TBitmap& Bitmap, double X, double Y, double SX, double SY) {
  if (!Drawing()) return;
  int x = UnitsToDeviceX(X), y = UnitsToDeviceY(Y);
  GetCanvas().StretchDraw(Bounds(x, y, RoundEven(Bitmap.Width() * SX), RoundEven(Bitmap.Height() * SY)), Bitmap);
}

void TCanvasReport::DrawBitmapRect(const TBitmap& Bitmap, double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  GetCanvas().StretchDraw(Rect(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2)), Bitmap);
}

void TCanvasReport::Rectangle(double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  GetCanvas().Rectangle(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2));
}

void TCanvasReport::RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3) {
  if (!Drawing()) return;
  int cw = RoundEven(X3 / UnitsFactor() * ScaleX() * ZoomFactor() / 10000 * XDPI);
  int ch = RoundEven(Y3 / UnitsFactor() * ScaleY() * ZoomFactor() / 10000 * YDPI);
  GetCanvas().RoundRect(UnitsToDeviceX(X1), UnitsToDeviceY(Y1), UnitsToDeviceX(X2), UnitsToDeviceY(Y2), cw, ch);
}

void TCanvasReport::StretchDraw(const TRect& R, const TBitmap& Graphic) {
  if (!Drawing()) return;
  GetCanvas().StretchDraw(R, Graphic);
}

void TCanvasReport::TextRect(const TRect& R, double X, double Y, const std::string& Text) {
  if (!Drawing()) return;
  TReportCanvas& c = GetCanvas();
  c.SetTextAlign(rtaLeft, true);
  c.TextRect(R, UnitsToDeviceX(X), UnitsToDeviceY(Y), Text);
}

void TCanvasReport::SendPrinterData(const std::string& Text) {
  if (!Drawing()) return;
  // The pass-through block holds 255 bytes at most, like the recorded form.
  std::string data = Text.size() <= 255 ? Text : cp949::Cut(Text, 255);
  ReportPrinter().PassThrough(data);
}
