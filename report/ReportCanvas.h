// The device canvas of the report components: pen, brush and font with change notices (the
// recorder turns each change into stream records), a text background mode and colour, text
// alignment on the baseline, the sixteen raster modes of a pen, and font heights in device
// pixels at the device's own resolution. It draws through a QPainter that its owner opens on a
// page (a printer page or the preview's bitmap) and measures text on a paint device of the
// right resolution when nothing is being drawn (the recorder's measuring canvas).
//
// Shapes are drawn by the class library's canvas (platform/gfx) on the same painter; the report
// canvas adds what that canvas lacks. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Graphics.h"

class QPainter;
class QPaintDevice;
class QFont;
class QFontMetrics;
class QBrush;
class QImage;
class QPoint;
class QRegion;

// Raster modes of a pen, in the class library's order.
enum class TReportPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen,
  pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor,
};

enum TBKMode : uint8_t { bkTransparent, bkOpaque };
enum TReportTextAlign : uint8_t { rtaLeft, rtaCenter, rtaRight };

class TReportPen {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle v);
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TReportPenMode Mode() const { return FMode; }
  void SetMode(TReportPenMode v);
  void Assign(const TReportPen& o);
  std::function<void()> OnChange;

 private:
  void Changed();
  TColor FColor = clBlack;
  TPenStyle FStyle = psSolid;
  int FWidth = 1;
  TReportPenMode FMode = TReportPenMode::pmCopy;
};

class TReportBrush {
 public:
  TReportBrush();
  ~TReportBrush();
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v);
  // The pattern bitmap (nullptr: none); SetBitmap copies it.
  const TBitmap* Bitmap() const { return FBitmap.get(); }
  void SetBitmap(const TBitmap* v);
  void Assign(const TReportBrush& o);
  std::function<void()> OnChange;

 private:
  void Changed();
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  std::unique_ptr<TBitmap> FBitmap;
};

class TReportFont {
 public:
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v);
  // Negative: character height in pixels; positive: cell height (with the internal leading).
  int Height() const { return FHeight; }
  void SetHeight(int v);
  // Points at PixelsPerInch.
  int Size() const;
  void SetSize(int Points);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);
  bool Has(TFontStyle s) const { return FStyle.Contains(s); }
  void SetStyleBit(TFontStyle s, bool On);
  // The resolution Size converts at; changing it changes nothing drawn.
  int PixelsPerInch = ScreenPixelsPerInch;
  std::function<void()> OnChange;

 private:
  void Changed();
  std::string FName = "Arial";
  int FHeight = -13;
  TColor FColor = clBlack;
  TFontPitch FPitch = fpDefault;
  TFontStyles FStyle;
};

class TReportCanvas {
 public:
  TReportCanvas();
  ~TReportCanvas();

  // Where drawing goes (nullptr: nowhere) and where text is measured when nothing is drawn.
  void SetPainter(QPainter* P);
  QPainter* Painter() const { return FPainter; }
  void SetMeasureDevice(QPaintDevice* D) { FMeasure = D; }
  // Whether drawing reaches a device.
  bool HasDevice() const { return FPainter != nullptr || FMeasure != nullptr; }

  TReportPen& Pen() { return FPen; }
  TReportBrush& Brush() { return FBrush; }
  TReportFont& Font() { return FFont; }

  TBKMode BkMode() const { return FBkMode; }
  // Returns the previous mode.
  TBKMode SetBkMode(TBKMode v);
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor v) { FBkColor = v; }
  TReportTextAlign TextAlign() const { return FAlign; }
  bool TextBaseline() const { return FBaseline; }
  void SetTextAlign(TReportTextAlign A, bool Baseline);

  // Metrics of the current font, in device pixels.
  int TextWidth(const std::string& Text);
  // The bytes of the longest start of Text, in whole characters, that is at most MaxWidth
  // pixels wide: the characters' widths added up, each character measured once per font,
  // so a long report can fit every row it prints.
  std::size_t FitLength(const std::string& Text, double MaxWidth);
  int Ascent();
  int Descent();

  // Text at X (its left, centre or right by the alignment) and Y (its baseline or top).
  void TextOut(int X, int Y, const std::string& Text);
  void TextRect(const TRect& R, int X, int Y, const std::string& Text);

  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  TPoint PenPos() const { return FPenPos; }
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Polygon(const TPoint* Points, int Count);
  void Polyline(const TPoint* Points, int Count);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  void DrawFocusRect(const TRect& R);
  // Fills the area around (X, Y) with the brush colour: fsBorder up to the colour Color,
  // fsSurface while the colour is Color. Only on a picture (CanReadBack); a printer page cannot
  // be read back, so the player fills it from a copy of the page (FloodRegion, FillRegion).
  void FloodFill(int X, int Y, TColor Color, int FillStyle);
  bool CanReadBack() const;
  // The pixels of Img a flood fill from At takes.
  static QRegion FloodRegion(const QImage& Img, QPoint At, TColor Color, int FillStyle);
  // Fills Region, given in the pixels of a copy of the page Scale times its size, with the
  // brush colour.
  void FillRegion(const QRegion& Region, double Scale);
  void Draw(int X, int Y, const TBitmap& Bitmap);
  void StretchDraw(const TRect& R, const TBitmap& Bitmap);
  // Draws Bitmap into R with every pixel of Color replaced by the brush.
  void BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color);

  // The Qt font of the current font state (for the Qt side of the report units).
  QFont QtFont() const;

  // The current font as it measures now, unchanged by later changes of the font, so that a
  // text can be measured later in the font it was written in.
  struct FontCache;
  std::shared_ptr<const FontCache> FontSnapshot() const;
  static int TextWidthOn(const FontCache& Font, const std::string& Text);

 private:
  // The Qt font and its metrics on the measuring device, made again only when the font state
  // or the device's resolution changed: a report measures and draws thousands of texts in one
  // font, and resolving a font is far dearer than comparing its settings.
  FontCache& Metrics() const;
  void SyncShapeCanvas();
  // Op draws on the class library's canvas; Fill, when given, is the area a pattern brush
  // (a brush bitmap) fills first, the canvas then drawing only the outline.
  void Shape(const std::function<void(TCanvas&)>& Op, const std::function<void(QPainter&, const QBrush&)>& Fill = nullptr);
  QPaintDevice* MeasureOn() const;

  TReportPen FPen;
  TReportBrush FBrush;
  TReportFont FFont;
  TBKMode FBkMode = bkOpaque;
  TColor FBkColor = clWhite;
  TReportTextAlign FAlign = rtaLeft;
  bool FBaseline = false;
  TPoint FPenPos;
  QPainter* FPainter = nullptr;
  QPaintDevice* FMeasure = nullptr;
  std::unique_ptr<QPaintDevice> FDefaultMeasure;
  TCanvas FShapes;  // the class library's shapes, on the same painter
  mutable std::shared_ptr<FontCache> FFontCache;
  mutable std::vector<std::shared_ptr<FontCache>> FRecentFonts;  // the latest first
};

enum : int { fsSurface = 0, fsBorder = 1 };
