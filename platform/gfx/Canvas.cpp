// Canvas operations over QPainter on a QImage.
#include "platform/gfx/Canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <optional>

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

}  // namespace

// The painter of one drawing operation: the canvas's open painter (its state kept around
// the operation) or a new one on the picture; ok() is false when there is nothing to draw on.
struct CanvasPainter {
  explicit CanvasPainter(TCanvas& c, TPenMode mode = pmCopy) {
    if (c.FPainter) {
      p = c.FPainter;
      p->save();
      saved = true;
    } else if (c.FTarget && !c.FTarget->isNull()) {
      own.emplace(c.FTarget);
      p = &*own;
    }
    if (!p) return;
    switch (mode) {
      case pmXor: p->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
      case pmNot: p->setCompositionMode(QPainter::RasterOp_NotDestination); break;
      case pmNotXor: p->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination); break;
      default: break;
    }
  }
  ~CanvasPainter() {
    if (saved) p->restore();
  }
  bool ok() const { return p != nullptr; }
  QPainter* p = nullptr;
  std::optional<QPainter> own;
  bool saved = false;
};

TCanvas::TCanvas(QImage* Target) : FTarget(Target) {}
TCanvas::~TCanvas() = default;

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::MoveTo(int X, int Y) { FPenPos = {X, Y}; }

void TCanvas::LineTo(int X, int Y) {
  if (FPen.Style != psClear) {
    CanvasPainter d(*this, FPen.Mode);
    if (d.ok()) {
      d.p->setPen(ToQPen(FPen));
      // A flat cap leaves the end point out, as the system's lines do.
      d.p->drawLine(FPenPos.X, FPenPos.Y, X, Y);
    }
  }
  FPenPos = {X, Y};
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    if (FBrush.Style != bsClear) d.p->fillRect(QRect(X1, Y1, X2 - X1, Y2 - Y1), ToQBrush(FBrush));
    if (FPen.Style != psClear) {
      d.p->setPen(ToQPen(FPen));
      d.p->setBrush(Qt::NoBrush);
      int w = std::max(1, FPen.Width);
      d.p->drawRect(QRectF(X1 + w / 2.0, Y1 + w / 2.0, X2 - X1 - w, Y2 - Y1 - w));
    }
  }
  Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    d.p->setPen(ToQPen(FPen));
    d.p->setBrush(ToQBrush(FBrush));
    d.p->drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
  }
  Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    d.p->setPen(ToQPen(FPen));
    d.p->setBrush(ToQBrush(FBrush));
    d.p->drawRoundedRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), X3 / 2.0, Y3 / 2.0);
  }
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, int Count) {
  if (Count <= 0) return;
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    d.p->setPen(ToQPen(FPen));
    d.p->setBrush(ToQBrush(FBrush));
    d.p->drawPolygon(orv::ToQPolygon(Points, Count));
  }
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, int Count) {
  if (Count <= 0) return;
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    d.p->setPen(ToQPen(FPen));
    d.p->drawPolyline(orv::ToQPolygon(Points, Count));
  }
  Changed();
}

void TCanvas::ArcShape(ArcKind k, int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  {
    CanvasPainter d(*this, FPen.Mode);
    if (!d.ok()) return;
    QRectF box(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1);
    QPointF c = box.center();
    // Angles of the two rays in Qt's sixteenths of a degree, counter-clockwise, y pointing up.
    auto angle = [&](int x, int y) { return std::atan2(-(y - c.y()), x - c.x()) * 180.0 / M_PI; };
    double a1 = angle(X3, Y3), a2 = angle(X4, Y4);
    double span = a2 - a1;
    if (span <= 0) span += 360.0;
    int start = static_cast<int>(std::lround(a1 * 16)), len = static_cast<int>(std::lround(span * 16));
    d.p->setPen(ToQPen(FPen));
    d.p->setBrush(ToQBrush(FBrush));
    switch (k) {
      case ArcKind::Arc: d.p->drawArc(box, start, len); break;
      case ArcKind::Chord: d.p->drawChord(box, start, len); break;
      case ArcKind::Pie: d.p->drawPie(box, start, len); break;
    }
  }
  Changed();
}

void TCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  ArcShape(ArcKind::Arc, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}
void TCanvas::Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  ArcShape(ArcKind::Chord, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}
void TCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  ArcShape(ArcKind::Pie, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

void TCanvas::DrawFocusRect(const TRect& R) {
  {
    CanvasPainter d(*this, pmXor);
    if (!d.ok()) return;
    QPen pen(Qt::white, 1, Qt::DotLine);
    d.p->setPen(pen);
    d.p->setBrush(Qt::NoBrush);
    d.p->drawRect(QRect(R.Left, R.Top, R.Width() - 1, R.Height() - 1));
  }
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    d.p->fillRect(QRect(R.Left, R.Top, R.Width(), R.Height()), ToQBrush(FBrush));
  }
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  if (R.Width() <= 0 || R.Height() <= 0) return;
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    QColor c = orv::ToQColor(FBrush.Color);
    d.p->fillRect(QRect(R.Left, R.Top, R.Width(), 1), c);
    d.p->fillRect(QRect(R.Left, R.Bottom - 1, R.Width(), 1), c);
    d.p->fillRect(QRect(R.Left, R.Top, 1, R.Height()), c);
    d.p->fillRect(QRect(R.Right - 1, R.Top, 1, R.Height()), c);
  }
  Changed();
}

// Text is measured on the device drawn on (a printer's resolution differs from the screen's).
static QFontMetrics MetricsOn(const QFont& f, QPainter* p) {
  return p && p->device() ? QFontMetrics(f, p->device()) : QFontMetrics(f);
}

int TCanvas::TextWidth(const std::string& Text) {
  return MetricsOn(orv::ToQFont(FFont), FPainter).horizontalAdvance(orv::ToQ(Text));
}

int TCanvas::TextHeight(const std::string& Text) { return MetricsOn(orv::ToQFont(FFont), FPainter).height(); }

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  int w = TextWidth(Text);
  {
    CanvasPainter d(*this);
    if (d.ok()) {
      QFont f = orv::ToQFont(FFont);
      QFontMetrics m = MetricsOn(f, d.p);
      if (FBrush.Style != bsClear) d.p->fillRect(QRect(X, Y, w, m.height()), orv::ToQColor(FBrush.Color));
      d.p->setFont(f);
      d.p->setPen(orv::ToQColor(FFont.Color()));
      d.p->drawText(X, Y + m.ascent(), orv::ToQ(Text));
    }
  }
  FPenPos = {X + w, Y};
  Changed();
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    QRect clip(R.Left, R.Top, R.Width(), R.Height());
    if (FBrush.Style != bsClear) d.p->fillRect(clip, orv::ToQColor(FBrush.Color));
    d.p->setClipRect(clip);
    QFont f = orv::ToQFont(FFont);
    d.p->setFont(f);
    d.p->setPen(orv::ToQColor(FFont.Color()));
    d.p->drawText(X, Y + MetricsOn(f, d.p).ascent(), orv::ToQ(Text));
  }
  Changed();
}

void TCanvas::Draw(int X, int Y, const TBitmap& Bitmap) {
  if (Bitmap.Empty()) return;
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    d.p->drawImage(X, Y, Bitmap.DrawnImage());
  }
  Changed();
}

void TCanvas::StretchDraw(const TRect& R, const TBitmap& Bitmap) {
  if (Bitmap.Empty()) return;
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    d.p->drawImage(QRect(R.Left, R.Top, R.Width(), R.Height()), Bitmap.DrawnImage());
  }
  Changed();
}

void TCanvas::CopyRect(const TRect& D, TCanvas& Source, const TRect& S) {
  if (!Source.FTarget || Source.FTarget->isNull()) return;
  QImage part = Source.FTarget->copy(S.Left, S.Top, S.Width(), S.Height());
  {
    CanvasPainter d(*this);
    if (!d.ok()) return;
    d.p->drawImage(QRect(D.Left, D.Top, D.Width(), D.Height()), part);
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
  if (FPainter && FPainter->device())
    return TRect{0, 0, FPainter->device()->width(), FPainter->device()->height()};
  if (!FTarget) return TRect{};
  return TRect{0, 0, FTarget->width(), FTarget->height()};
}
