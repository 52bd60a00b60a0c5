// The report canvas over QPainter.
#include "report/ReportCanvas.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Cp949.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/QtText.h"

// ---- Pen, brush, font -----------------------------------------------------------------------

void TReportPen::Changed() {
  if (OnChange) OnChange();
}
void TReportPen::SetColor(TColor v) {
  if (StoreChanged(FColor, v)) Changed();
}
void TReportPen::SetStyle(TPenStyle v) {
  if (StoreChanged(FStyle, v)) Changed();
}
void TReportPen::SetWidth(int v) {
  if (StoreChanged(FWidth, v)) Changed();
}
void TReportPen::SetMode(TReportPenMode v) {
  if (StoreChanged(FMode, v)) Changed();
}
void TReportPen::Assign(const TReportPen& o) {
  if (FColor == o.FColor && FStyle == o.FStyle && FWidth == o.FWidth && FMode == o.FMode) return;
  FColor = o.FColor;
  FStyle = o.FStyle;
  FWidth = o.FWidth;
  FMode = o.FMode;
  Changed();
}

TReportBrush::TReportBrush() = default;
TReportBrush::~TReportBrush() = default;
void TReportBrush::Changed() {
  if (OnChange) OnChange();
}
void TReportBrush::SetColor(TColor v) {
  if (StoreChanged(FColor, v)) Changed();
}
void TReportBrush::SetStyle(TBrushStyle v) {
  if (StoreChanged(FStyle, v)) Changed();
}
void TReportBrush::SetBitmap(const TBitmap* v) {
  if (!v && !FBitmap) return;
  if (v) {
    auto b = std::make_unique<TBitmap>();
    b->SetImage(v->Image());
    FBitmap = std::move(b);
  } else {
    FBitmap.reset();
  }
  Changed();
}
void TReportBrush::Assign(const TReportBrush& o) {
  FColor = o.FColor;
  FStyle = o.FStyle;
  if (o.FBitmap) {
    FBitmap = std::make_unique<TBitmap>();
    FBitmap->SetImage(o.FBitmap->Image());
  } else {
    FBitmap.reset();
  }
  Changed();
}

void TReportFont::Changed() {
  if (OnChange) OnChange();
}
void TReportFont::SetName(const std::string& v) {
  if (!v.empty() && StoreChanged(FName, v)) Changed();
}
void TReportFont::SetHeight(int v) {
  if (StoreChanged(FHeight, v)) Changed();
}
int TReportFont::Size() const {
  int ppi = PixelsPerInch > 0 ? PixelsPerInch : ScreenPixelsPerInch;
  return static_cast<int>(std::lround(-static_cast<double>(FHeight) * 72.0 / ppi));
}
void TReportFont::SetSize(int Points) {
  int ppi = PixelsPerInch > 0 ? PixelsPerInch : ScreenPixelsPerInch;
  SetHeight(-static_cast<int>(std::lround(static_cast<double>(Points) * ppi / 72.0)));
}
void TReportFont::SetColor(TColor v) {
  if (StoreChanged(FColor, v)) Changed();
}
void TReportFont::SetPitch(TFontPitch v) {
  if (StoreChanged(FPitch, v)) Changed();
}
void TReportFont::SetStyle(TFontStyles v) {
  if (StoreChanged(FStyle, v)) Changed();
}
void TReportFont::SetStyleBit(TFontStyle s, bool On) {
  TFontStyles n = FStyle;
  if (On) n.Include(s); else n.Exclude(s);
  SetStyle(n);
}

// ---- Canvas ---------------------------------------------------------------------------------

namespace {

// The painter's composition for a raster mode; devices without raster operations (PDF, a
// printer) get the nearest blend, so a masked shade still lets earlier text show through.
void ApplyMode(QPainter& p, TReportPenMode m) {
  using M = TReportPenMode;
  bool raster = p.paintEngine() && p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  QPainter::CompositionMode c = QPainter::CompositionMode_SourceOver;
  switch (m) {
    case M::pmNot: c = QPainter::RasterOp_NotDestination; break;
    case M::pmNotCopy: c = QPainter::RasterOp_NotSource; break;
    case M::pmMergePenNot: c = QPainter::RasterOp_SourceOrNotDestination; break;
    case M::pmMaskPenNot: c = QPainter::RasterOp_SourceAndNotDestination; break;
    case M::pmMergeNotPen: c = QPainter::RasterOp_NotSourceOrDestination; break;
    case M::pmMaskNotPen: c = QPainter::RasterOp_NotSourceAndDestination; break;
    case M::pmMerge: c = QPainter::RasterOp_SourceOrDestination; break;
    case M::pmNotMerge: c = QPainter::RasterOp_NotSourceAndNotDestination; break;
    case M::pmMask: c = QPainter::RasterOp_SourceAndDestination; break;
    case M::pmNotMask: c = QPainter::RasterOp_NotSourceOrNotDestination; break;
    case M::pmXor: c = QPainter::RasterOp_SourceXorDestination; break;
    case M::pmNotXor: c = QPainter::RasterOp_NotSourceXorDestination; break;
    default: break;
  }
  if (c != QPainter::CompositionMode_SourceOver && !raster) {
    bool blend = p.paintEngine() && p.paintEngine()->hasFeature(QPaintEngine::BlendModes);
    c = (m == M::pmMask && blend) ? QPainter::CompositionMode_Multiply : QPainter::CompositionMode_SourceOver;
  }
  p.setCompositionMode(c);
}

// On a PDF or a printer text is drawn word by word at its places, blanks left out: the PDF
// writer gives the blank glyph of some faces (the Nanum ones) no text, so copied or searched
// text would lose its spaces. A picture (the preview) takes the text whole.
bool DrawsWords(QPainter& P) { return !(P.paintEngine() && P.paintEngine()->type() == QPaintEngine::Raster); }

// A text shaped once, on one line, for its width and for drawing its words from its glyphs:
// shaping is what a long print spends its time on.
class TShapedText {
 public:
  TShapedText(const QString& S, const QFont& F, QPaintDevice* D) : FLayout(S, F, D) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    FLayout.setTextOption(option);
    FLayout.setCacheEnabled(true);  // the glyphs are drawn after the layout: keep them
    FLayout.beginLayout();
    FLine = FLayout.createLine();
    FLayout.endLayout();
  }
  // In whole pixels, as the font's metrics give it.
  int Width() const { return FLine.isValid() ? qRound(FLine.horizontalAdvance()) : 0; }
  // The words with the text's left end at X on the baseline Y: the glyphs of the line but
  // those of the blank.
  void DrawWords(QPainter& P, int X, int Y) {
    if (!FLine.isValid()) return;
    const QPointF origin(X, Y - FLine.ascent());
    for (QGlyphRun run : FLine.glyphRuns()) {
      const QList<quint32> blank = run.rawFont().glyphIndexesForString(QStringLiteral(" "));
      const quint32 space = blank.isEmpty() ? 0 : blank.front();
      QList<quint32> glyphs = run.glyphIndexes();
      QList<QPointF> at = run.positions();
      qsizetype kept = 0;
      for (qsizetype i = 0; i < glyphs.size() && i < at.size(); ++i) {
        if (space != 0 && glyphs[i] == space) continue;
        glyphs[kept] = glyphs[i];
        at[kept] = at[i];
        ++kept;
      }
      if (kept == 0) continue;
      glyphs.resize(kept);
      at.resize(kept);
      run.setGlyphIndexes(glyphs);
      run.setPositions(at);
      P.drawGlyphRun(origin, run);
    }
  }

 private:
  QTextLayout FLayout;
  QTextLine FLine;
};

}  // namespace

TReportCanvas::TReportCanvas() {
  auto img = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
  FDefaultMeasure = std::move(img);
}

TReportCanvas::~TReportCanvas() = default;

void TReportCanvas::SetPainter(QPainter* P) {
  FPainter = P;
  FShapes.SetPainter(P);
}

QPaintDevice* TReportCanvas::MeasureOn() const {
  if (FPainter && FPainter->device()) return FPainter->device();
  if (FMeasure) return FMeasure;
  return FDefaultMeasure.get();
}

TBKMode TReportCanvas::SetBkMode(TBKMode v) {
  TBKMode old = FBkMode;
  FBkMode = v;
  return old;
}

void TReportCanvas::SetTextAlign(TReportTextAlign A, bool Baseline) {
  FAlign = A;
  FBaseline = Baseline;
}

QFont TReportCanvas::QtFont() const {
  QFont q(orv::MapFontFamily(FFont.Name()));
  int h = FFont.Height();
  int px;
  if (h < 0) {
    px = -h;
  } else if (h > 0) {
    // A cell height: scale the character height so ascent plus descent fill the cell.
    QFont probe(q);
    probe.setPixelSize(100);
    QFontMetrics m(probe, MeasureOn());
    int cell = std::max(1, m.ascent() + m.descent());
    px = static_cast<int>(std::lround(h * 100.0 / cell));
  } else {
    px = static_cast<int>(std::lround(10.0 * FFont.PixelsPerInch / 72.0));
  }
  q.setPixelSize(std::max(1, px));
  q.setBold(FFont.Has(fsBold));
  q.setItalic(FFont.Has(fsItalic));
  q.setUnderline(FFont.Has(fsUnderline));
  q.setStrikeOut(FFont.Has(fsStrikeOut));
  if (FFont.Pitch() == fpFixed) q.setFixedPitch(true);
  return q;
}

struct TReportCanvas::FontCache {
  // What the font was made from.
  std::string Name;
  int Height = 0, PixelsPerInch = 0, DpiX = 0, DpiY = 0;
  TFontStyles Style;
  TFontPitch Pitch = fpDefault;
  QFont Font;
  QFontMetrics Metrics{QFont()};
  QFontMetricsF ExactMetrics{QFont()};
  // Widths of single characters by their code (a byte, or lead byte * 256 + trail byte), -1
  // until measured; made on first need.
  mutable std::vector<float> CharWidths;
  // The last text measured, since drawing a text measures it again.
  mutable std::string LastText;
  mutable int LastWidth = 0;
  mutable bool HasLast = false;
};

TReportCanvas::FontCache& TReportCanvas::Metrics() const {
  QPaintDevice* on = MeasureOn();
  const int dpiX = on->logicalDpiX(), dpiY = on->logicalDpiY();
  auto same = [&](const FontCache& c) {
    return c.Height == FFont.Height() && c.PixelsPerInch == FFont.PixelsPerInch && c.DpiX == dpiX &&
           c.DpiY == dpiY && c.Style == FFont.Style() && c.Pitch == FFont.Pitch() && c.Name == FFont.Name();
  };
  if (FFontCache && same(*FFontCache)) return *FFontCache;
  // A report goes back and forth between a few fonts (a page's heading, its rows): those of
  // late are kept with what they measured.
  for (auto it = FRecentFonts.begin(); it != FRecentFonts.end(); ++it) {
    if (!same(**it)) continue;
    FFontCache = *it;
    std::rotate(FRecentFonts.begin(), it, it + 1);
    return *FFontCache;
  }
  // A new one: snapshots handed out keep the font they were taken of.
  auto c = std::make_shared<FontCache>();
  c->Name = FFont.Name();
  c->Height = FFont.Height();
  c->PixelsPerInch = FFont.PixelsPerInch;
  c->DpiX = dpiX;
  c->DpiY = dpiY;
  c->Style = FFont.Style();
  c->Pitch = FFont.Pitch();
  c->Font = QtFont();
  c->Metrics = QFontMetrics(c->Font, on);
  c->ExactMetrics = QFontMetricsF(c->Font, on);
  FFontCache = std::move(c);
  constexpr size_t kRecentFonts = 4;
  if (FRecentFonts.size() == kRecentFonts) FRecentFonts.pop_back();
  FRecentFonts.insert(FRecentFonts.begin(), FFontCache);
  return *FFontCache;
}

std::shared_ptr<const TReportCanvas::FontCache> TReportCanvas::FontSnapshot() const {
  Metrics();
  return FFontCache;
}

int TReportCanvas::TextWidthOn(const FontCache& c, const std::string& Text) {
  if (!c.HasLast || c.LastText != Text) {
    c.LastWidth = c.Metrics.horizontalAdvance(orv::ToQ(Text));
    c.LastText = Text;
    c.HasLast = true;
  }
  return c.LastWidth;
}

int TReportCanvas::TextWidth(const std::string& Text) { return TextWidthOn(Metrics(), Text); }

std::size_t TReportCanvas::FitLength(const std::string& Text, double MaxWidth) {
  const FontCache& c = Metrics();
  if (c.CharWidths.empty()) c.CharWidths.assign(0x10000, -1.0f);
  double width = 0;
  for (std::size_t i = 0; i < Text.size();) {
    const std::size_t n = std::max<std::size_t>(1, cp949::CharLength(Text, i));
    const auto lead = static_cast<unsigned char>(Text[i]);
    const unsigned code = n == 2 ? lead << 8 | static_cast<unsigned char>(Text[i + 1]) : lead;
    float& w = c.CharWidths[code];
    if (w < 0) w = static_cast<float>(c.ExactMetrics.horizontalAdvance(orv::ToQ(std::string_view(Text).substr(i, n))));
    width += w;
    if (width > MaxWidth) return i;
    i += n;
  }
  return Text.size();
}
int TReportCanvas::Ascent() { return Metrics().Metrics.ascent(); }
int TReportCanvas::Descent() { return Metrics().Metrics.descent(); }

void TReportCanvas::TextOut(int X, int Y, const std::string& Text) {
  const FontCache& c = Metrics();
  const QFontMetrics& m = c.Metrics;
  const QString s = orv::ToQ(Text);
  std::optional<TShapedText> shaped;
  int w;
  if (FPainter && DrawsWords(*FPainter)) {
    shaped.emplace(s, c.Font, FPainter->device());
    w = shaped->Width();
    // The caller measures the text next, to move its cursor.
    c.LastText = Text;
    c.LastWidth = w;
    c.HasLast = true;
  } else {
    w = TextWidthOn(c, Text);
  }
  int left = FAlign == rtaCenter ? X - w / 2 : FAlign == rtaRight ? X - w : X;
  int base = FBaseline ? Y : Y + m.ascent();
  if (FPainter) {
    FPainter->save();
    if (FBkMode == bkOpaque)
      FPainter->fillRect(QRect(left, base - m.ascent(), w, m.ascent() + m.descent()), orv::ToQColor(FBkColor));
    FPainter->setFont(c.Font);
    FPainter->setPen(orv::ToQColor(FFont.Color()));
    if (shaped) shaped->DrawWords(*FPainter, left, base);
    else FPainter->drawText(left, base, s);
    FPainter->restore();
  }
  FPenPos = {FAlign == rtaLeft ? left + w : X, Y};
}

void TReportCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
  if (!FPainter) return;
  const FontCache& c = Metrics();
  const QFontMetrics& m = c.Metrics;
  QString s = orv::ToQ(Text);
  int w = TextWidthOn(c, Text);
  int left = FAlign == rtaCenter ? X - w / 2 : FAlign == rtaRight ? X - w : X;
  int base = FBaseline ? Y : Y + m.ascent();
  QRect clip(R.Left, R.Top, R.Width(), R.Height());
  FPainter->save();
  if (FBkMode == bkOpaque) FPainter->fillRect(clip, orv::ToQColor(FBkColor));
  FPainter->setClipRect(clip);
  FPainter->setFont(c.Font);
  FPainter->setPen(orv::ToQColor(FFont.Color()));
  if (DrawsWords(*FPainter)) TShapedText(s, c.Font, FPainter->device()).DrawWords(*FPainter, left, base);
  else FPainter->drawText(left, base, s);
  FPainter->restore();
}

void TReportCanvas::SyncShapeCanvas() {
  TPen& p = FShapes.Pen();
  p.Color = FPen.Color();
  p.Width = FPen.Width();
  p.Style = FPen.Style();
  p.Mode = pmCopy;  // the raster mode is set on the painter
  if (FPen.Mode() == TReportPenMode::pmBlack) p.Color = clBlack;
  if (FPen.Mode() == TReportPenMode::pmWhite) p.Color = clWhite;
  TBrush& b = FShapes.Brush();
  b.Color = FBrush.Color();
  b.Style = FBrush.Style();
  FShapes.SetPenPos(FPenPos);
}

void TReportCanvas::Shape(const std::function<void(TCanvas&)>& Op,
                          const std::function<void(QPainter&, const QBrush&)>& Fill) {
  if (!FPainter || FPen.Mode() == TReportPenMode::pmNop) return;
  SyncShapeCanvas();
  FPainter->save();
  ApplyMode(*FPainter, FPen.Mode());
  const TBitmap* pattern = FBrush.Bitmap();
  if (Fill && pattern && !pattern->Empty() && FBrush.Style() != bsClear) {
    FPainter->save();
    FPainter->setPen(Qt::NoPen);
    Fill(*FPainter, QBrush(pattern->Image()));
    FPainter->restore();
    FShapes.Brush().Style = bsClear;
  }
  Op(FShapes);
  FPainter->restore();
}

void TReportCanvas::MoveTo(int X, int Y) { FPenPos = {X, Y}; }

void TReportCanvas::LineTo(int X, int Y) {
  Shape([&](TCanvas& c) { c.LineTo(X, Y); });
  FPenPos = {X, Y};
}

void TReportCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Shape([&](TCanvas& c) { c.Rectangle(X1, Y1, X2, Y2); },
        [&](QPainter& p, const QBrush& b) { p.fillRect(QRect(X1, Y1, X2 - X1, Y2 - Y1), b); });
}
void TReportCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  Shape([&](TCanvas& c) { c.Ellipse(X1, Y1, X2, Y2); },
        [&](QPainter& p, const QBrush& b) {
          p.setBrush(b);
          p.drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
        });
}
void TReportCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  Shape([&](TCanvas& c) { c.RoundRect(X1, Y1, X2, Y2, X3, Y3); },
        [&](QPainter& p, const QBrush& b) {
          p.setBrush(b);
          p.drawRoundedRect(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1), X3 / 2.0, Y3 / 2.0);
        });
}
void TReportCanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  Shape([&](TCanvas& c) { c.Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4); });
}
void TReportCanvas::Chord(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  Shape([&](TCanvas& c) { c.Chord(X1, Y1, X2, Y2, X3, Y3, X4, Y4); });
}
void TReportCanvas::Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  Shape([&](TCanvas& c) { c.Pie(X1, Y1, X2, Y2, X3, Y3, X4, Y4); });
}
void TReportCanvas::Polygon(const TPoint* Points, int Count) {
  Shape([&](TCanvas& c) { c.Polygon(Points, Count); },
        [&](QPainter& p, const QBrush& b) {
          p.setBrush(b);
          p.drawPolygon(orv::ToQPolygon(Points, Count));
        });
}
void TReportCanvas::Polyline(const TPoint* Points, int Count) {
  Shape([&](TCanvas& c) { c.Polyline(Points, Count); });
}
void TReportCanvas::FillRect(const TRect& R) {
  Shape([&](TCanvas& c) { c.FillRect(R); },
        [&](QPainter& p, const QBrush& b) { p.fillRect(QRect(R.Left, R.Top, R.Width(), R.Height()), b); });
}
void TReportCanvas::FrameRect(const TRect& R) {
  Shape([&](TCanvas& c) { c.FrameRect(R); });
}
void TReportCanvas::DrawFocusRect(const TRect& R) {
  Shape([&](TCanvas& c) { c.DrawFocusRect(R); });
}
void TReportCanvas::Draw(int X, int Y, const TBitmap& Bitmap) {
  Shape([&](TCanvas& c) { c.Draw(X, Y, Bitmap); });
}
void TReportCanvas::StretchDraw(const TRect& R, const TBitmap& Bitmap) {
  Shape([&](TCanvas& c) { c.StretchDraw(R, Bitmap); });
}

void TReportCanvas::BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) {
  if (!FPainter || Bitmap.Empty()) return;
  // Only the part of the source inside the bitmap is copied, to the matching part of the
  // destination: a source rectangle read from a stream may be of any size, and a copy is
  // made at the size asked for.
  const QRect source(Source.Left, Source.Top, Source.Width(), Source.Height());
  if (!source.isValid()) return;
  const QRect inside = source.intersected(Bitmap.Image().rect());
  if (inside.isEmpty()) return;
  const double sx = static_cast<double>(Dest.Width()) / source.width();
  const double sy = static_cast<double>(Dest.Height()) / source.height();
  const QRectF dest(Dest.Left + (inside.left() - source.left()) * sx, Dest.Top + (inside.top() - source.top()) * sy,
                    inside.width() * sx, inside.height() * sy);
  QImage img = Bitmap.Image().copy(inside).convertToFormat(QImage::Format_RGB32);
  QRgb from = orv::ToQColor(Color).rgb() | 0xFF000000u;
  QRgb to = orv::ToQColor(FBrush.Color()).rgb() | 0xFF000000u;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((line[x] | 0xFF000000u) == from) line[x] = to;
  }
  FPainter->drawImage(dest, img);
}

bool TReportCanvas::CanReadBack() const {
  return FPainter && dynamic_cast<QImage*>(FPainter->device()) != nullptr;
}

QRegion TReportCanvas::FloodRegion(const QImage& Img, QPoint At, TColor Color, int FillStyle) {
  QRegion region;
  const int w = Img.width(), h = Img.height();
  if (At.x() < 0 || At.y() < 0 || At.x() >= w || At.y() >= h) return region;
  const QRgb target = orv::ToQColor(ColorToRGB(Color)).rgb() & 0xFFFFFF;
  auto inside = [&](int x, int y) {
    QRgb c = Img.pixel(x, y) & 0xFFFFFF;
    return FillStyle == fsBorder ? c != target : c == target;
  };
  if (!inside(At.x(), At.y())) return region;
  std::vector<uint8_t> seen(static_cast<size_t>(w) * h, 0);
  std::vector<QPoint> todo{At};
  while (!todo.empty()) {
    QPoint p = todo.back();
    todo.pop_back();
    int y = p.y();
    if (seen[static_cast<size_t>(y) * w + p.x()] || !inside(p.x(), y)) continue;
    int l = p.x(), r = p.x();
    while (l > 0 && !seen[static_cast<size_t>(y) * w + l - 1] && inside(l - 1, y)) --l;
    while (r + 1 < w && !seen[static_cast<size_t>(y) * w + r + 1] && inside(r + 1, y)) ++r;
    for (int x = l; x <= r; ++x) {
      seen[static_cast<size_t>(y) * w + x] = 1;
      if (y > 0) todo.emplace_back(x, y - 1);
      if (y + 1 < h) todo.emplace_back(x, y + 1);
    }
    region += QRect(l, y, r - l + 1, 1);
  }
  return region;
}

void TReportCanvas::FillRegion(const QRegion& Region, double Scale) {
  if (!FPainter || Region.isEmpty()) return;
  QPainterPath path;
  path.addRegion(Region);
  FPainter->save();
  FPainter->setPen(Qt::NoPen);
  FPainter->setBrush(orv::ToQColor(FBrush.Color()));
  FPainter->scale(1 / Scale, 1 / Scale);
  FPainter->drawPath(path);
  FPainter->restore();
}

void TReportCanvas::FloodFill(int X, int Y, TColor Color, int FillStyle) {
  if (!CanReadBack()) return;
  const QImage& img = *static_cast<QImage*>(FPainter->device());
  // The picture's own pixels, through the painter's mapping (a scaled copy of a page).
  QPoint at = FPainter->transform().map(QPoint(X, Y));
  QRegion region = FloodRegion(img, at, Color, FillStyle);
  if (region.isEmpty()) return;
  FPainter->save();
  FPainter->resetTransform();
  QColor fill = orv::ToQColor(FBrush.Color());
  for (const QRect& r : region) FPainter->fillRect(r, fill);
  FPainter->restore();
}
