// TReportFiler: runs a report and records it into a report stream. Execute gives its own
// measuring canvas the printer's resolution (or the screen's, for an owner form, when no
// printer is installed), raises the report's events so that the application's drawing code
// lays out the pages, and turns every drawing operation and every change of brush, font and pen
// into stream records. The stream is kept in memory and saved to FileName (smMemory), written
// to FileName as it goes (smFile), or left in the caller's Stream (smUser; the caller owns it,
// and it holds exactly this report afterwards, whatever it held before). A file under
// FileName is replaced whole when the run ends, so a player never reads half a report; a run
// that fails leaves the file it found.
#pragma once

#include <memory>

#include "report/BaseReport.h"

// Saves a recorded stream to FileName, replacing the file whole once every byte is written;
// raises the stream errors of the file.
void SaveReportStream(TCustomMemoryStream& Stream, const std::string& FileName);

class TReportFiler : public TBaseReport {
 public:
  explicit TReportFiler(TComponent* AOwner = nullptr);
  ~TReportFiler() override;

  std::string FileName;
  TStreamMode StreamMode = smMemory;
  TAccuracyMethod AccuracyMethod = amAppearance;
  // The caller's stream for smUser.
  TStream* Stream = nullptr;
  // Pages written by the last run.
  int PagesWritten() const { return FPagesWritten; }

  int GetOutputKind() const override { return okFile; }
  TReportCanvas& GetCanvas() override { return FCanvas; }

  void Execute() override;
  void NewPage() override;
  void AbortPage() override;

  void PrintTextCenter(const std::string& Text, double X) override;
  void PrintTextLeft(const std::string& Text, double X) override;
  void PrintTextRight(const std::string& Text, double X) override;
  void DrawTabRectangle(double X1, double Y1, double X2, double Y2) override;
  void Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) override;
  void BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) override;
  void Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) override;
  // Always refused: a stream cannot carry another canvas.
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
  void SendPrinterData(const std::string& Text) override;

  void SetBackColor(TColor c) override;
  void SetScaleX(double v) override;
  void SetScaleY(double v) override;
  void SetTextBKMode(TBKMode v) override;
  void SettleCursorX() override;

 private:
  struct LastState {
    TColor BrushColor = 0;
    TBrushStyle BrushStyle = bsSolid;
    bool BrushBitmap = false;
    std::string FontName;
    TColor FontColor = 0;
    TFontPitch FontPitch = fpDefault;
    double FontSize = 0;
    bool Bold = false, Underline = false, Italic = false, StrikeOut = false;
    TColor PenColor = 0;
    TReportPenMode PenMode = TReportPenMode::pmCopy;
    TPenStyle PenStyle = psSolid;
    double PenWidth = 0;
  };

  // Whether a drawing operation records now (CheckPrinting first).
  bool Drawing();
  bool Recording() const { return Printing() && !FPaused && !PageOutputOff; }
  void Done();  // after each drawing record: let the application breathe
  TStreamPoint UnitsPoint(double X, double Y) const;
  TStreamPoint DevicePoint(int X, int Y) const;
  TStreamRect DeviceRect(const TRect& R) const;
  void WritePoint(const TStreamPoint& P);
  void WriteBitmap(const TBitmap& B);
  void WriteText(uint8_t Code, const std::string& Text, double X);
  void PrintTextAs(uint8_t Code, const std::string& Text, double X);
  void Arc4(uint8_t Code, double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4);
  void TwoPoints(uint8_t Code, double X1, double Y1, double X2, double Y2);
  void OneRect(uint8_t Code, const TRect& R);
  void PointList(uint8_t Code, std::span<const TPoint> Points);

  void BrushChanged();
  void FontChanged();
  void PenChanged();
  void WritePageHeader();
  void EndPage(bool Last);
  void StartPage();
  // Takes the page whose header was written and that has not ended out of the stream.
  void DiscardOpenPage();

  TReportCanvas FCanvas;
  TStream* FOut = nullptr;
  std::unique_ptr<TStream> FOwned;
  std::unique_ptr<TReportWriter> FWriter;
  int64_t FPageHeaderPos = 0;  // the current page's header, 0 before the first
  int64_t FLastHeaderPos = 0;  // the last header written
  int64_t FPrevOfCurrent = 0;  // the current page's previous link
  int64_t FNextPos = 0;        // where the current page's next link is stored
  int FPagesWritten = 0;
  bool FPageOpen = false;  // the current page's header is written and its end is not
  bool FForce = false;
  bool FPaused = false;
  LastState FLast;
  // The text CursorX waits on (TReportCursorX): its font, where it began, k, its record code.
  std::shared_ptr<const TReportCanvas::FontCache> FPendingFont;
  std::string FPendingText;
  double FPendingX = 0, FPendingK = 0;
  uint8_t FPendingCode = 0;
};
