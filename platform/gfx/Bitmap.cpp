// The bitmap over a QImage (32-bit RGB).
#include "platform/gfx/Bitmap.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include "platform/core/Streams.h"
#include "platform/gfx/Canvas.h"
#include "platform/core/SysUtils.h"

TBitmap::TBitmap() : FImage(std::make_unique<QImage>()) {}
TBitmap::~TBitmap() = default;

int TBitmap::Width() const { return FImage->width(); }
int TBitmap::Height() const { return FImage->height(); }

void TBitmap::Changed() {
  if (OnChange) OnChange(this);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  *FImage = QImage(std::max(0, AWidth), std::max(0, AHeight), QImage::Format_RGB32);
  FImage->fill(Qt::white);
  Changed();
}

TColor TBitmap::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return clNone;
  QRgb p = FImage->pixel(X, Y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

void TBitmap::SetPixel(int X, int Y, TColor C) {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  TColor c = ColorToRGB(C);
  FImage->setPixel(X, Y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
  Changed();
}

void TBitmap::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == tmFixed) return ColorToRGB(FTransparentColor);
  return Empty() ? clNone : Pixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
  FTransparentColor = Value;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  SetTransparentColor(Value == tmAuto ? clDefault : TransparentColor());
}

QImage TBitmap::DrawnImage() const {
  if (!FTransparent || Empty()) return *FImage;
  const TColor key = TransparentColor();
  const QRgb see = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
  QImage img = FImage->convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((row[x] & 0xFFFFFF) == (see & 0xFFFFFF)) row[x] = 0;
  }
  return img;
}

void TBitmap::LoadFromMemory(const void* Data, size_t Size) {
  QImage img;
  if (!img.loadFromData(static_cast<const uchar*>(Data), static_cast<int>(Size)))
    throw EInOutError("Bitmap image is not valid");
  *FImage = img.convertToFormat(QImage::Format_RGB32);
  Changed();
}

void TBitmap::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  int64_t n = Stream.Size() - Stream.Position();
  std::string data(static_cast<size_t>(std::max<int64_t>(0, n)), '\0');
  if (n > 0) Stream.ReadBuffer(data.data(), n);
  LoadFromMemory(data.data(), data.size());
}

void TBitmap::SaveToStream(TStream& Stream) const {
  QByteArray b;
  QBuffer buf(&b);
  buf.open(QIODevice::WriteOnly);
  FImage->save(&buf, "BMP");
  Stream.WriteBuffer(b.constData(), b.size());
}

void TBitmap::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TBitmap::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    *FImage = *b->FImage;
    FTransparent = b->FTransparent;
    FTransparentMode = b->FTransparentMode;
    FTransparentColor = b->FTransparentColor;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>(FImage.get());
    FCanvas->OnChange = [this](TObject*) { Changed(); };
  }
  return *FCanvas;
}

const QImage& TBitmap::Image() const { return *FImage; }

void TBitmap::SetImage(const QImage& image) {
  *FImage = image.convertToFormat(QImage::Format_RGB32);
  Changed();
}
