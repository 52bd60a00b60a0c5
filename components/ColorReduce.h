// Colour reduction: turns a picture of any depth into a bitmap file of 1, 4 or 8 bits per
// pixel with its own palette, so that true-colour pictures can be written as GIF. Six methods
// work on a 24-bit copy: the most frequent colours (histogram), a median cut over a 4-bit
// colour cube, two fixed truncation palettes (7 x 8 x 4 and 6 x 6 x 6 levels), a three-channel
// mosaic and grey levels. No Qt: the input is a bitmap file in memory (DibView); the
// bitmap-object entry points are in ColorReduceBitmap.h.
//
// The methods take the 24-bit pixels (bottom row first, rows padded to 4 bytes) and write
// 8-bit rows (padded to 4 bytes) and a 256-entry palette (blue, green, red, 0). The output
// may be the input buffer itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "components/BitmapUtilCore.h"

class TMemoryStream;

enum ColorReduction : uint8_t {
  crHistogram = 0,
  crMedianCut = 1,
  crTrunc784 = 2,
  crTrunc666 = 3,
  crMosaic = 4,
  crGray = 5,
};

// The class library's pixel formats.
enum TPixelFormat : uint8_t {
  pfDevice = 0,
  pf1bit = 1,
  pf4bit = 2,
  pf8bit = 3,
  pf15bit = 4,
  pf16bit = 5,
  pf24bit = 6,
  pf32bit = 7,
  pfCustom = 8,
};

// 2, 16 and 256 for the 1-, 4- and 8-bit formats, 0 for the others.
int FormatColorCount(TPixelFormat Format);
// The format of a bitmap file's bit count (pfCustom for none).
TPixelFormat FormatOfBitCount(int Bits);

// The index of the level nearest to V in the 4-, 6-, 7- and 8-level tables (lower on a tie).
int NearestLevel(int Levels, int V);

struct HistogramMasks {
  uint8_t Red = 255, Green = 255, Blue = 255;
};

// The most frequent colours: at most 2049 distinct masked colours are counted, dropping low
// bits (blue, red, green, blue, ...) until they fit; the Wanted most frequent become the
// palette in order of frequency and every other colour maps to its nearest. Returns the masks
// that were used in the end.
HistogramMasks HistogramReduce(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8,
                               uint8_t* Palette, HistogramMasks Masks, int Wanted);
// Median cut; returns the number of colours used (at most Wanted, at most 256).
int MedianCutReduce(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8,
                    uint8_t* Palette, int Wanted);
void Palette784(uint8_t* Palette);
void Reduce784(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8);
void Palette666(uint8_t* Palette);
void Reduce666(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8);
void MosaicPalette(uint8_t* Palette);
void ReduceMosaic(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8);
void GrayPalette(uint8_t* Palette);
void ReduceGray(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8);

// The reduced bitmap file of a picture:
// - a picture already at Format is copied as it is, unless the method is crGray;
// - pf1bit and pf4bit map every pixel to the nearest colour of the window system's default
//   2- and 16-colour palettes;
// - pf8bit runs Method on a 24-bit copy (the histogram wants 256 colours, the median cut
//   stores the colours used in the header's important-colours field, 784 and 666 store 224
//   and 216);
// - pf24bit runs Method as for pf8bit and expands the result back to 24 bits, so the picture
//   keeps its size and shows the reduced colours;
// - any other format ends in ReportUnsupported.
std::string ReduceDib(const DibView& Source, TPixelFormat Format, ColorReduction Method);
// The same in a new memory stream at position 0 (the caller owns it).
std::unique_ptr<TMemoryStream> ReduceDibToStream(const DibView& Source, TPixelFormat Format,
                                                 ColorReduction Method);
