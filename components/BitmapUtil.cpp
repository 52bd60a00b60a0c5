// Keyed drawing and bitmap <-> bitmap-file conversion over the platform's QImage pictures.
#include "components/BitmapUtil.h"

#include <QImage>

#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"

TColor PaletteRelativeColor(TColor Color) { return ColorToRGB(Color) | 0x02000000; }

void MaskedStretchBlt(TCanvas& Dest, int DestX, int DestY, int DestWidth, int DestHeight,
                      TCanvas& Source, int SourceX, int SourceY, int SourceWidth,
                      int SourceHeight, uintptr_t Palette, TColor TransparentColor) {
  const QImage* src = Source.Target();
  const QImage* dst = Dest.Target();
  if (!src || src->isNull() || !dst || DestWidth <= 0 || DestHeight <= 0 || SourceWidth <= 0 ||
      SourceHeight <= 0)
    return;
  const QRgb key = ColorToRGB(TransparentColor & ~0x02000000u) & 0xFFFFFF;
  // The work picture starts as the destination's rectangle; opaque source pixels go over it.
  QImage work = dst->copy(DestX, DestY, DestWidth, DestHeight).convertToFormat(QImage::Format_RGB32);
  for (int j = 0; j < DestHeight; ++j) {
    int sy = SourceY + static_cast<int>(static_cast<int64_t>(j) * SourceHeight / DestHeight);
    if (sy < 0 || sy >= src->height()) continue;
    const QRgb* srow = reinterpret_cast<const QRgb*>(src->constScanLine(sy));
    QRgb* wrow = reinterpret_cast<QRgb*>(work.scanLine(j));
    for (int i = 0; i < DestWidth; ++i) {
      int sx = SourceX + static_cast<int>(static_cast<int64_t>(i) * SourceWidth / DestWidth);
      if (sx < 0 || sx >= src->width()) continue;
      QRgb p = srow[sx];
      QRgb rgb = static_cast<QRgb>(qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16));
      if (rgb != key) wrow[i] = p | 0xFF000000u;
    }
  }
  TBitmap tmp;
  tmp.SetImage(work);
  Dest.Draw(DestX, DestY, tmp);
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
  QImage img(v.Width, v.Height, QImage::Format_RGB32);
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
    } else if (v.BitCount <= 4) {
      for (int x = 0; x < v.Width; ++x) d[x] = table[v.PixelIndex(x, y)];
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
