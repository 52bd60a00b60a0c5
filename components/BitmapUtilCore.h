// Memory and bitmap-file routines shared by the picture format code (GIF, LZW, colour
// reduction). No Qt: everything here works on plain bytes, so the format code builds and is
// tested without a display.
//
// Bitmap files in memory ("DIB files") are complete .bmp images: a 14-byte file header, a
// 40-byte information header, the palette (four bytes blue, green, red, 0 per entry) and the
// pixel rows, bottom row first, each padded to a multiple of 4 bytes. ParseDib checks every
// size and offset of such an image before anyone reads its pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include "platform/core/SysUtils.h"

// The class library's graphic exceptions.
ORV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
ORV_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);

// Colour values: 0x00BBGGRR, 0x80000000 + n for system colour n.
using TColorValue = uint32_t;
constexpr TColorValue NoColor = 0x1FFFFFFF;
constexpr TColorValue DefaultColor = 0x20000000;
constexpr TColorValue SystemColorFlag = 0x80000000;

// Resolves a colour value to plain RGB. The format code has no system-colour table of its
// own: the drawing layer installs the platform's when the picture formats are registered.
// Without one, system colours resolve to black.
using TColorResolver = TColorValue (*)(TColorValue);
void SetColorResolver(TColorResolver Resolver);
TColorValue ResolveColor(TColorValue Color);

// ---- Memory blocks --------------------------------------------------------------------

// The out-of-memory error of the picture code (EOutOfMemory "Out of memory"): raised for an
// allocation the heap refuses and for a picture beyond the pixel budgets below, so hostile
// sizes never surface as std::bad_alloc.
[[noreturn]] void RaiseOutOfMemory();
// Runs Work, turning a refused allocation inside it into RaiseOutOfMemory.
template <typename F>
decltype(auto) GuardAllocation(F&& Work) {
  try {
    return Work();
  } catch (const std::bad_alloc&) {
    RaiseOutOfMemory();
  }
}

// Pixel budgets of decoded pictures: one frame, and all frames of one picture kept at once
// (a few hundred bytes of GIF can otherwise ask for gigabytes of frames).
constexpr int64_t MaxFramePixels = int64_t{1} << 26;
constexpr int64_t MaxPicturePixels = int64_t{1} << 27;
// The bytes one picture may hold for its frames: its bitmap files and their 32-bit images.
constexpr int64_t MaxPictureBytes = 4 * MaxPicturePixels;

// A zero-filled block, or nullptr for a size of 0 or less. Raises EOutOfMemory when the heap
// refuses it.
void* GlobalBlockAlloc(int64_t Size);
// Frees a block that is present and clears the reference.
void GlobalBlockFree(void*& Block);

// True when the first Count bytes agree (true for a count of 0 or less).
bool SameBytes(const void* A, const void* B, int64_t Count);
inline int32_t LargerOf(int32_t A, int32_t B) { return A > B ? A : B; }
inline int32_t SmallerOf(int32_t A, int32_t B) { return A < B ? A : B; }

// ---- Unsupported conversions ------------------------------------------------------------

// Shows "Function not yet implemented" in an information box, then aborts the operation
// with the silent EAbort. The drawing layer hooks the screen-cursor reset in before the box.
[[noreturn]] void ReportUnsupported();
void SetUnsupportedCursorReset(std::function<void()> Reset);

// ---- Bitmap files in memory -------------------------------------------------------------

constexpr int BitmapFileHeaderSize = 14;
constexpr int BitmapInfoHeaderSize = 40;

// Bytes of one row of Bits bits, padded to 4 bytes.
inline int64_t RowBytes(int64_t Bits) { return (Bits + 31) / 32 * 4; }
// ((pixels x bits + alignment - 1) cut down to a multiple of the alignment) / 8.
int64_t ScanlineBytes(int64_t Pixels, int BitsPerPixel, int Alignment);

// A checked view of a bitmap file in memory. Pixels points at the first stored row (the
// bottom row for a positive height); row y from the top is RowAddress(y).
struct DibView {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  uint32_t PixelOffset = 0;
  uint32_t HeaderSize = 0;  // information header size (40 or more)
  int32_t Width = 0;
  int32_t Height = 0;       // always positive here
  bool TopDown = false;
  uint16_t BitCount = 0;    // 1, 4, 8, 16, 24 or 32
  const uint8_t* Palette = nullptr;  // PaletteCount entries of blue, green, red, 0
  int PaletteCount = 0;
  const uint8_t* Pixels = nullptr;
  int64_t RowSize = 0;

  const uint8_t* RowAddress(int y) const {
    int stored = TopDown ? y : Height - 1 - y;
    return Pixels + stored * RowSize;
  }
  // The colour of pixel (x, y from the top) as 0x00BBGGRR.
  uint32_t PixelColor(int x, int y) const;
  // The palette index of pixel (x, y from the top) at 1, 4 or 8 bits.
  int PixelIndex(int x, int y) const;
};

// True when Data holds an uncompressed bitmap file of 1, 4, 8, 16, 24 or 32 bits whose
// headers, palette and rows all lie inside Size bytes.
bool ParseDib(const void* Data, size_t Size, DibView& View);
// As ParseDib, raising EInvalidGraphic "Bitmap image is not valid" on failure.
DibView CheckedDib(const void* Data, size_t Size);

// A new bitmap file of the given size and bit count (1, 4, 8 or 24) with zeroed pixels and
// the palette given (PaletteCount entries of blue, green, red, 0; the rest zero); the
// palette has 2^Bits entries for 8 bits or fewer.
std::string MakeDibFile(int32_t Width, int32_t Height, int Bits, const uint8_t* Palette,
                        int PaletteCount);
// The length of such a file.
int64_t DibFileSize(int32_t Width, int32_t Height, int Bits);
// Offsets inside such a file.
inline uint8_t* DibPalette(std::string& File) {
  return reinterpret_cast<uint8_t*>(File.data()) + BitmapFileHeaderSize + BitmapInfoHeaderSize;
}
uint8_t* DibPixels(std::string& File);

// The picture of a bitmap file as a 24-bit bitmap file (bottom-up).
std::string DibTo24(const DibView& View);

// Little-endian helpers.
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}
