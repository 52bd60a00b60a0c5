// The drawing surface of the class library: pen, brush and font, and the drawing operations
// with the system's coordinate rules (a rectangle's right and bottom edge lie outside it, a
// line does not draw its end point). A canvas draws into a picture: a TBitmap's, or the
// back picture of a control (a form or paint box) that the control shows on the screen, so a
// program may draw at any time, not only while the control repaints.
//
// GUI thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/gfx/Graphics.h"

class TBitmap;
class QImage;
class QPainter;

struct TPoint {
  int X = 0, Y = 0;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  bool operator==(const TRect&) const = default;
};

inline TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
inline TRect Bounds(int l, int t, int w, int h) { return TRect{l, t, l + w, t + h}; }

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmNot, pmXor, pmNotXor };
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross,
                   bsDiagCross };

class TPen : public TPersistent {
 public:
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  void Assign(TPersistent* Source) override;
};

class TBrush : public TPersistent {
 public:
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  void Assign(TPersistent* Source) override;
};

class TCanvas : public TPersistent {
 public:
  // A canvas on Target; the canvas does not own it. Target may be set later (SetTarget).
  explicit TCanvas(QImage* Target = nullptr);
  ~TCanvas() override;
  void SetTarget(QImage* Target) { FTarget = Target; }
  QImage* Target() const { return FTarget; }
  // Draws through an open painter instead of the picture (nullptr: the picture again).
  void SetPainter(QPainter* Painter) { FPainter = Painter; }
  QPainter* Painter() const { return FPainter; }
  // Called after every drawing operation (the control repaints).
  TNotifyEvent OnChange;

  TPen& Pen() { return FPen; }
  TBrush& Brush() { return FBrush; }
  TFont& Font() { return FFont; }
  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint p) { FPenPos = p; }

  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  // Outline in the pen, inside in the brush; right and bottom are outside.
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  // Closed (filled) and open figures through the points.
  void Polygon(const TPoint* Points, int Count);
  void Polyline(const TPoint* Points, int Count);
  // Elliptic arc of the box (X1,Y1)-(X2,Y2), counter-clockwise from the ray to (X3,Y3) to
  // the ray to (X4,Y4); Chord closes it with a line, Pie with the two radii.
  void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  // A dotted frame drawn by inverting (drawing it twice removes it).
  void DrawFocusRect(const TRect& R);
  void FillRect(const TRect& R);
  // A one-pixel frame in the brush colour.
  void FrameRect(const TRect& R);
  // Text at (X, Y) (its top-left), on the brush colour unless the brush is clear; the pen
  // position moves to the text's end.
  void TextOut(int X, int Y, const std::string& Text);
  // Text at (X, Y) clipped to R, R filled with the brush first.
  void TextRect(const TRect& R, int X, int Y, const std::string& Text);
  int TextWidth(const std::string& Text);
  int TextHeight(const std::string& Text);
  void Draw(int X, int Y, const TBitmap& Bitmap);
  void StretchDraw(const TRect& R, const TBitmap& Bitmap);
  // Copies Source's rectangle S into this canvas's rectangle D (scaled when sizes differ).
  void CopyRect(const TRect& D, TCanvas& Source, const TRect& S);
  TColor Pixels(int X, int Y) const;
  void SetPixel(int X, int Y, TColor C);
  TRect ClipRect() const;

 private:
  friend struct CanvasPainter;
  enum class ArcKind { Arc, Chord, Pie };
  void ArcShape(ArcKind k, int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void Changed();
  QImage* FTarget;
  QPainter* FPainter = nullptr;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
  TPoint FPenPos;
};
