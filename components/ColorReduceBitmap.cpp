// Bitmaps into reduced bitmap files.
#include "components/ColorReduceBitmap.h"

#include "components/BitmapUtil.h"
#include "components/GifFile.h"

std::unique_ptr<TMemoryStream> ReduceBitmapToStream(const TBitmap& Bitmap, TPixelFormat Format,
                                                    ColorReduction Method) {
  if (Bitmap.Empty()) throw EInvalidGraphic("Bitmap image is not valid");
  std::string dib = BitmapToDib24(Bitmap);
  return ReduceDibToStream(CheckedDib(dib.data(), dib.size()), Format, Method);
}

std::unique_ptr<TMemoryStream> ReduceBitmap(const TBitmap& Bitmap, int ColorCount) {
  TPixelFormat f = ColorCount <= 2 ? pf1bit : ColorCount <= 16 ? pf4bit : ColorCount <= 256 ? pf8bit : pf24bit;
  return ReduceBitmapToStream(Bitmap, f, DefaultReduction);
}
