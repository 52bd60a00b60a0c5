// Canvas operations over QPainter on a QImage.
#include "platform/gfx/Canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/QtText.h"

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    Color = p->Color;
    Width = p->Width;
    Style = p->Style;
    Mode = p->Mode;
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    Color = b->Color;
    Style = b->Style;
    return;
  }
  TPersistent::Assign(Source);
}

namespace {

QPen ToQPen(const TPen& p) {
  if (p.Style == psClear) return QPen(Qt::NoPen);
  QPen q(orv::ToQColor(p.Color));
  q.setWidth(std::max(1, p.Width));
  q.setCapStyle(Qt::FlatCap);
  q.setJoinStyle(Qt::MiterJoin);
  switch (p.Style) {
    case psDash: q.setStyle(Qt::DashLine); break;
    case psDot: q.setStyle(Qt::DotLine); break;
    case psDashDot: q.setStyle(Qt::DashDotLine); break;
    case psDashDotDot: q.setStyle(Qt::DashDotDotLine); break;
    default: break;
  }
  return q;
}

QBrush ToQBrush(const TBrush& b) {
  QColor c = orv::ToQColor(b.Color);
  switch (b.Style) {
    case bsClear: return QBrush(Qt::NoBrush);
    case bsHorizontal: return QBrush(c, Qt::HorPattern);
    case bsVertical: return QBrush(c, Qt::VerPattern);
    case bsFDiagonal: return QBrush(c, Qt::FDiagPattern);
    case bsBDiagonal: return QBrush(c, Qt::BDiagPattern);
    case bsCross: return QBrush(c, Qt::CrossPattern);
    case bsDiagCross: return QBrush(c, Qt::DiagCrossPattern);
    default: return QBrush(c);
  }
}

// A painter set up with the canvas's pen mode.
struct Painter {
  Painter(QImage* img, TPenMode mode) : p(img) {
    switch (mode) {
      case pmXor: p.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
      case pmNot: p.setCompositionMode(QPainter::RasterOp_NotDestination); break;
      case pmNotXor: p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination); break;
      default: break;
    }
  }
  QPainter p;
};

}  // namespace

TCanvas::TCanvas(QImage* Target) : FTarget(Target) {}
TCanvas::~TCanvas() = default;

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::MoveTo(int X, int Y) { FPenPos = {X, Y}; }

void TCanvas::LineTo(int X, int Y) {
  if (FTarget && !FTarget->isNull() && FPen.Style != psClear) {
    Painter d(FTarget, FPen.Mode);
    d.p.setPen(ToQPen(FPen));
    // A flat cap leaves the end point out, as the system's lines do.
    d.p.drawLine(FPenPos.X, FPenPos.Y, X, Y);
  }
  FPenPos = {X, Y};
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  if (!FTarget || FTarget->isNull()) return;
  {
    Painter d(FTarget, FPen.Mode);
    if (FBrush.Style != bsClear) d.p.fillRect(QRect(X1, Y1, X2 - X1, Y2 - Y1), ToQBrush(FBrush));
    if (FPen.Style != psClear) {
      d.p.setPen(ToQPen(FPen));
      int w = std::max(1, FPen.Width);
      d.p.drawRect(QRectF(X1 + w / 2.0, Y1 + w / 2.0, X2 - X1 - w, Y2 - Y1 - w));
    }
  }
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  if (!FTarget || FTarget->isNull()) return;
  {
    Painter d(FTarget, FPen.Mode);
    d.p.setRenderHint(QPainter::Antialiasing, false);
    d.p.setPen(ToQPen(FPen));
    d.p.setBrush(ToQBrush(FBrush));
    d.p.drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
  }
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  if (!FTarget || FTarget->isNull()) return;
  {
    QPainter p(FTarget);
    p.fillRect(QRect(R.Left, R.Top, R.Width(), R.Height()), ToQBrush(FBrush));
  }
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  if (!FTarget || FTarget->isNull() || R.Width() <= 0 || R.Height() <= 0) return;
  {
    QPainter p(FTarget);
    QColor c = orv::ToQColor(FBrush.Color);
    p.fillRect(QRect(R.Left, R.Top, R.Width(), 1), c);
    p.fillRect(QRect(R.Left, R.Bottom - 1, R.Width(), 1), c);
    p.fillRect(QRect(R.Left, R.Top, 1, R.Height()), c);
    p.fillRect(QRect(R.Right - 1, R.Top, 1, R.Height()), c);
  }
  Changed();
}

int TCanvas::TextWidth(const std::string& Text) {
  return QFontMetrics(orv::ToQFont(FFont)).horizontalAdvance(orv::ToQ(Text));
}

int TCanvas::TextHeight(const std::string& Text) { return QFontMetrics(orv::ToQFont(FFont)).height(); }

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  int w = TextWidth(Text);
  if (FTarget && !FTarget->isNull()) {
    QPainter p(FTarget);
    QFont f = orv::ToQFont(FFont);
    QFontMetrics m(f);
    if (FBrush.Style != bsClear) p.fillRect(QRect(X, Y, w, m.height()), orv::ToQColor(FBrush.Color));
    p.setFont(f);
    p.setPen(orv::ToQColor(FFont.Color()));
    p.drawText(X, Y + m.ascent(), orv::ToQ(Text));
  }
  FPenPos = {X + w, Y};
  Changed();
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
  if (!FTarget || FTarget->isNull()) return;
  {
    QPainter p(FTarget);
    QRect clip(R.Left, R.Top, R.Width(), R.Height());
    if (FBrush.Style != bsClear) p.fillRect(clip, orv::ToQColor(FBrush.Color));
    p.setClipRect(clip);
    QFont f = orv::ToQFont(FFont);
    p.setFont(f);
    p.setPen(orv::ToQColor(FFont.Color()));
    p.drawText(X, Y + QFontMetrics(f).ascent(), orv::ToQ(Text));
  }
  Changed();
}

void TCanvas::Draw(int X, int Y, const TBitmap& Bitmap) {
  if (!FTarget || FTarget->isNull() || Bitmap.Empty()) return;
  {
    QPainter p(FTarget);
    p.drawImage(X, Y, Bitmap.Image());
  }
  Changed();
}

void TCanvas::StretchDraw(const TRect& R, const TBitmap& Bitmap) {
  if (!FTarget || FTarget->isNull() || Bitmap.Empty()) return;
  {
    QPainter p(FTarget);
    p.drawImage(QRect(R.Left, R.Top, R.Width(), R.Height()), Bitmap.Image());
  }
  Changed();
}

void TCanvas::CopyRect(const TRect& D, TCanvas& Source, const TRect& S) {
  if (!FTarget || FTarget->isNull() || !Source.FTarget || Source.FTarget->isNull()) return;
  QImage part = Source.FTarget->copy(S.Left, S.Top, S.Width(), S.Height());
  {
    QPainter p(FTarget);
    p.drawImage(QRect(D.Left, D.Top, D.Width(), D.Height()), part);
  }
  Changed();
}

TColor TCanvas::Pixels(int X, int Y) const {
  if (!FTarget || X < 0 || Y < 0 || X >= FTarget->width() || Y >= FTarget->height()) return clNone;
  QRgb c = FTarget->pixel(X, Y);
  return RGB(qRed(c), qGreen(c), qBlue(c));
}

void TCanvas::SetPixel(int X, int Y, TColor C) {
  if (!FTarget || X < 0 || Y < 0 || X >= FTarget->width() || Y >= FTarget->height()) return;
  TColor c = ColorToRGB(C);
  FTarget->setPixel(X, Y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
  Changed();
}

TRect TCanvas::ClipRect() const {
  if (!FTarget) return TRect{};
  return TRect{0, 0, FTarget->width(), FTarget->height()};
}
