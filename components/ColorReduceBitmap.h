// Colour reduction of bitmaps: the bitmap-object side of ColorReduce.h. The platform's
// bitmaps are true-colour pictures; they count as 24 bits per pixel here.
#pragma once

#include <memory>

#include "components/ColorReduce.h"
#include "platform/core/Streams.h"
#include "platform/gfx/Bitmap.h"

// A new memory stream at position 0 with the bitmap file of the bitmap reduced to Format by
// Method (see ReduceDib); the caller owns it. An empty bitmap raises EInvalidGraphic "Bitmap
// image is not valid".
std::unique_ptr<TMemoryStream> ReduceBitmapToStream(const TBitmap& Bitmap, TPixelFormat Format,
                                                    ColorReduction Method);
// 1 bit for up to 2 colours, 4 up to 16, 8 up to 256, 24 above; DefaultReduction.
std::unique_ptr<TMemoryStream> ReduceBitmap(const TBitmap& Bitmap, int ColorCount);
