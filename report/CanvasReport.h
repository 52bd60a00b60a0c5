// TCanvasReport: the page model drawing on a device canvas at device resolution (the printer's
// canvas, or the preview's page bitmap). Positions in Units become device pixels through the
// page model's conversions; rectangles and point lists are device pixels already. Every
// operation checks that a run is going on and draws nothing on a page that is not output.
#pragma once

#include "report/BaseReport.h"

class TCanvasReport : public TBaseReport {
 public:
  explicit TCanvasReport(TComponent* AOwner = nullptr) : TBaseReport(AOwner) {}

  void PrintTextCenter(const std::string& Text, double X) override;
  void PrintTextLeft(const std::string& Text, double X) override;
  void PrintTextRight(const std::string& Text, double X) override;
  void DrawTabRectangle(double X1, double Y1, double X2, double Y2) override;
  void Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) override;
  void BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) override;
  void Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) override;
  // The given canvas is both target and source; the report's own canvas is not touched.
  void CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source) override;
  void Draw(double X, double Y, const TBitmap& Graphic) override;
  void DrawFocusRect(const TRect& R) override;
  void Ellipse(double X1, double Y1, double X2, double Y2) override;
  void FillRect(const TRect& R) override;
  void FloodFill(double X, double Y, TColor Color, int FillStyle) override;
  void FrameRect(const TRect& R) override;
  void LineTo(double X, double Y) override;
  void MoveTo(double X, double Y) override;
  void Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) override;
  void Polygon(std::span<const TPoint> Points) override;
  void Polyline(std::span<const TPoint> Points) override;
  void DrawBitmapScaled(const TBitmap& Bitmap, double X, double Y, double ScaleX, double ScaleY) override;
  void DrawBitmapRect(const TBitmap& Bitmap, double X1, double Y1, double X2, double Y2) override;
  void Rectangle(double X1, double Y1, double X2, double Y2) override;
  void RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3) override;
  void StretchDraw(const TRect& R, const TBitmap& Graphic) override;
  void TextRect(const TRect& R, double X, double Y, const std::string& Text) override;
  // Hands the text (at most 255 bytes, never a split character) to the printer's device.
  void SendPrinterData(const std::string& Text) override;

 protected:
  // CheckPrinting, then whether the page is output.
  bool Drawing();
  void PrintTextAligned(const std::string& Text, double X, TReportTextAlign A);
};
