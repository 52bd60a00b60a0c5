// Keyed drawing and bitmap <-> bitmap-file conversion over the platform's QImage pictures.
#include "components/BitmapUtil.h"

#include <algorithm>

#include <QImage>
#include <QPainter>

#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"

TColor PaletteRelativeColor(TColor Color) { return ColorToRGB(Color) | 0x02000000; }

void MaskedStretchBlt(TCanvas& Dest, int DestX, int DestY, int DestWidth, int DestHeight,
                      TCanvas& Source, int SourceX, int SourceY, int SourceWidth,
                      int SourceHeight, uintptr_t Palette, TColor TransparentColor) {
  const QImage* src = Source.Target();
  if (!src || src->isNull() || DestWidth <= 0 || DestHeight <= 0 || SourceWidth <= 0 ||
      SourceHeight <= 0)
    return;
  // The source rectangle with its key colour (and whatever lies outside the source) made
  // see-through, at the smaller of the two sizes per direction (nearest pixel); the
  // destination's painter stretches it the rest of the way. So a screen picture, a printer
  // page and a PDF get the same pixels, a page keeps the picture at its own resolution, and a
  // large picture drawn small costs only the small size.
  const int kw = std::min(SourceWidth, DestWidth), kh = std::min(SourceHeight, DestHeight);
  if (int64_t{kw} * kh > MaxFramePixels) RaiseOutOfMemory();
  const QRgb key = ColorToRGB(TransparentColor & ~0x02000000u) & 0xFFFFFF;
  QImage keyed(kw, kh, QImage::Format_ARGB32);
  if (keyed.isNull()) RaiseOutOfMemory();
  keyed.fill(Qt::transparent);
  const QImage rgb = src->convertToFormat(QImage::Format_RGB32);
  for (int j = 0; j < kh; ++j) {
    const int sy = SourceY + static_cast<int>(int64_t{j} * SourceHeight / kh);
    if (sy < 0 || sy >= rgb.height()) continue;
    const QRgb* srow = reinterpret_cast<const QRgb*>(rgb.constScanLine(sy));
    QRgb* krow = reinterpret_cast<QRgb*>(keyed.scanLine(j));
    for (int i = 0; i < kw; ++i) {
      const int sx = SourceX + static_cast<int>(int64_t{i} * SourceWidth / kw);
      if (sx < 0 || sx >= rgb.width()) continue;
      const QRgb p = srow[sx];
      if (static_cast<QRgb>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16)) != key) krow[i] = p | 0xFF000000u;
    }
  }
  const QRect target(DestX, DestY, DestWidth, DestHeight);
  if (QPainter* painter = Dest.Painter()) {
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->drawImage(target, keyed);
    painter->restore();
  } else if (QImage* dst = Dest.Target(); dst && !dst->isNull()) {
    QPainter painter(dst);
    painter.drawImage(target, keyed);
  } else {
    return;
  }
  if (Dest.OnChange) Dest.OnChange(&Dest);
}

void DrawBitmapKeyed(TCanvas& Canvas, TBitmap& Bitmap, TColor TransparentColor, int DestX,
                     int DestY, int DestWidth, int DestHeight, int SourceX, int SourceY,
                     int SourceWidth, int SourceHeight) {
  if (DestWidth < 1) DestWidth = Bitmap.Width();
  if (DestHeight < 1) DestHeight = Bitmap.Height();
  if (SourceWidth < 1 || SourceHeight < 1) {
    SourceX = SourceY = 0;
    SourceWidth = Bitmap.Width();
    SourceHeight = Bitmap.Height();
  }
  // The bitmap's change notices stay quiet while it is only read; they come back on any path.
  struct Quiet {
    TBitmap& B;
    TNotifyEvent Saved;
    explicit Quiet(TBitmap& b) : B(b), Saved(std::move(b.OnChange)) { b.OnChange = nullptr; }
    ~Quiet() { B.OnChange = std::move(Saved); }
  } quiet(Bitmap);
  if (TransparentColor == NoColor) {
    Canvas.CopyRect(Bounds(DestX, DestY, DestWidth, DestHeight), Bitmap.Canvas(),
                    Bounds(SourceX, SourceY, SourceWidth, SourceHeight));
    return;
  }
  if (TransparentColor == DefaultColor) TransparentColor = Bitmap.Pixel(0, Bitmap.Height() - 1);
  MaskedStretchBlt(Canvas, DestX, DestY, DestWidth, DestHeight, Bitmap.Canvas(), SourceX, SourceY,
                   SourceWidth, SourceHeight, 0, ColorToRGB(TransparentColor));
}

void DrawBitmapRectKeyed(TCanvas& Canvas, int DestX, int DestY, int DestWidth, int DestHeight,
                         const TRect& Source, TBitmap& Bitmap, TColor TransparentColor) {
  DrawBitmapKeyed(Canvas, Bitmap, TransparentColor, DestX, DestY, DestWidth, DestHeight,
                  Source.Left, Source.Top, Source.Right - Source.Left, Source.Bottom - Source.Top);
}

std::string BitmapToDib24(const TBitmap& Bitmap) {
  const QImage& img = Bitmap.Image();
  const int w = img.width(), h = img.height();
  std::string f = MakeDibFile(w, h, 24, nullptr, 0);
  uint8_t* px = DibPixels(f);
  const int64_t row = RowBytes(static_cast<int64_t>(w) * 24);
  QImage rgb = img.format() == QImage::Format_RGB32 ? img : img.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    const QRgb* s = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uint8_t* d = px + (h - 1 - y) * row;
    for (int x = 0; x < w; ++x) {
      d[3 * x] = static_cast<uint8_t>(qBlue(s[x]));
      d[3 * x + 1] = static_cast<uint8_t>(qGreen(s[x]));
      d[3 * x + 2] = static_cast<uint8_t>(qRed(s[x]));
    }
  }
  return f;
}

void LoadBitmapFromDib(TBitmap& Bitmap, const std::string& File) {
  DibView v = CheckedDib(File.data(), File.size());
  // A bitmap file may be small and still describe a huge picture (1 bit per pixel, or no
  // rows at all for width 0); and a picture Qt cannot allocate comes back null.
  if (static_cast<int64_t>(v.Width) * v.Height > MaxFramePixels) RaiseOutOfMemory();
  if (v.Width == 0 || v.Height == 0) {
    Bitmap.SetImage(QImage());
    return;
  }
  QImage img(v.Width, v.Height, QImage::Format_RGB32);
  if (img.isNull()) RaiseOutOfMemory();
  QRgb table[256];
  for (int i = 0; i < 256; ++i) {
    const uint8_t* e = v.Palette && i < v.PaletteCount ? v.Palette + 4 * i : nullptr;
    table[i] = e ? qRgb(e[2], e[1], e[0]) : qRgb(0, 0, 0);
  }
  for (int y = 0; y < v.Height; ++y) {
    QRgb* d = reinterpret_cast<QRgb*>(img.scanLine(y));
    const uint8_t* s = v.RowAddress(y);
    if (v.BitCount == 8) {
      for (int x = 0; x < v.Width; ++x) d[x] = table[s[x]];
    } else if (v.BitCount == 4) {
      for (int x = 0; x < v.Width; ++x) d[x] = table[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
    } else if (v.BitCount == 1) {
      for (int x = 0; x < v.Width; ++x) d[x] = table[(s[x >> 3] >> (7 - (x & 7))) & 1];
    } else {
      for (int x = 0; x < v.Width; ++x) {
        uint32_t c = v.PixelColor(x, y);
        d[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
      }
    }
  }
  Bitmap.SetImage(img);
}

void InstallPictureServices() {
  SetColorResolver([](TColorValue c) -> TColorValue { return ColorToRGB(c); });
  SetUnsupportedCursorReset([] {
    if (Screen) Screen->SetCursor(crDefault);
  });
}
