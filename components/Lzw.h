// The LZW raster codec of GIF pictures: DecodeRaster turns one encoded raster (the minimum
// code size byte, the data sub-blocks, the terminator) into the pixel rows of a bitmap file,
// EncodeRaster writes such a raster from pixel rows. No Qt.
//
// Pixel rows are those of a bitmap file: bottom row first, RowBytes(Width * BitCount) bytes
// each, 1, 4 or 8 bits per pixel. Both codecs run in bounded memory whatever the data: codes,
// table entries and the output stack are checked, so damaged data ends the decoding instead
// of writing outside the tables or the pixel buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TStream;

// Progress of a codec: stage 0 starting, 1 running, 2 ending; percent done; the message of an
// error passing through (stage 2 only).
using TGifProgress = std::function<void(int Stage, int Percent, const std::string& Message)>;

// The row after Y of an interlaced picture of Height rows; Pass (0..3) advances with it. A
// result at or beyond Height ends the picture.
int NextInterlaceRow(int Y, int Height, int& Pass);

// Decodes the raster at the stream's position into Pixels (RowBytes(Width * BitCount) *
// Height bytes, zero-filled by the caller). ColorBits (1..8) masks the pixel values.
// Damaged is set when the data was damaged and TolerateDamage let the decoding end early
// instead of raising; the pixels not reached keep their value.
// Raises EInvalidGraphicOperation "GIF code size not in range 2 to 9" / "GIF encoded data is
// corrupt" (only without TolerateDamage), EReadError "Stream read error" when the data ends
// before the end code.
void DecodeRaster(TStream& Stream, int Width, int Height, int BitCount, bool Interlaced,
                  const TGifProgress& Progress, bool& Damaged, uint8_t* Pixels, int ColorBits,
                  bool TolerateDamage);

// Writes the raster of Pixels (rows as above) at 1, 4 or 8 bits per pixel to Stream: the
// minimum code size byte (2, 4 or 8), 255-byte sub-blocks, the zero terminator. Interlaced
// takes the rows in the four-pass order. Another bit count raises EInvalidGraphicOperation
// "GIF image encoding error".
void EncodeRaster(TStream& Stream, int Width, int Height, int BitCount, bool Interlaced,
                  const TGifProgress& Progress, const uint8_t* Pixels);
