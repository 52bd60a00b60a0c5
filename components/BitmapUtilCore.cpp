// Memory blocks, the unsupported-conversion abort and bitmap files in memory.
#include "components/BitmapUtilCore.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/core/Services.h"

namespace {

TColorResolver gResolver = nullptr;
std::function<void()>& CursorReset() {
  static std::function<void()> reset;
  return reset;
}

}  // namespace

void SetColorResolver(TColorResolver Resolver) { gResolver = Resolver; }

TColorValue ResolveColor(TColorValue Color) {
  if (gResolver) return gResolver(Color);
  if (Color & SystemColorFlag) return 0;
  return Color & 0x00FFFFFF;
}

void RaiseOutOfMemory() { throw EOutOfMemory("Out of memory"); }

void* GlobalBlockAlloc(int64_t Size) {
  if (Size <= 0) return nullptr;
  void* p = std::calloc(static_cast<size_t>(Size), 1);
  if (!p) RaiseOutOfMemory();
  return p;
}

void GlobalBlockFree(void*& Block) {
  if (!Block) return;
  std::free(Block);
  Block = nullptr;
}

bool SameBytes(const void* A, const void* B, int64_t Count) {
  if (Count <= 0) return true;
  return std::memcmp(A, B, static_cast<size_t>(Count)) == 0;
}

void SetUnsupportedCursorReset(std::function<void()> Reset) { CursorReset() = std::move(Reset); }

void ReportUnsupported() {
  if (CursorReset()) CursorReset()();
  MessageBox("Function not yet implemented", ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
  Abort();
}

int64_t ScanlineBytes(int64_t Pixels, int BitsPerPixel, int Alignment) {
  if (Alignment <= 0) Alignment = 1;
  int64_t bits = Pixels * BitsPerPixel + Alignment - 1;
  bits -= bits % Alignment;
  return bits / 8;
}

uint32_t DibView::PixelColor(int x, int y) const {
  const uint8_t* row = RowAddress(y);
  switch (BitCount) {
    case 1:
    case 4:
    case 8: {
      int i = PixelIndex(x, y);
      if (i >= PaletteCount) return 0;
      const uint8_t* e = Palette + 4 * i;
      return static_cast<uint32_t>(e[2]) | (static_cast<uint32_t>(e[1]) << 8) |
             (static_cast<uint32_t>(e[0]) << 16);
    }
    case 16: {
      unsigned v = GetLE16(row + 2 * x);
      unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      r = (r << 3) | (r >> 2);
      g = (g << 3) | (g >> 2);
      b = (b << 3) | (b >> 2);
      return r | (g << 8) | (b << 16);
    }
    case 24: {
      const uint8_t* p = row + 3 * x;
      return static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[0]) << 16);
    }
    default: {
      const uint8_t* p = row + 4 * x;
      return static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[0]) << 16);
    }
  }
}

int DibView::PixelIndex(int x, int y) const {
  const uint8_t* row = RowAddress(y);
  switch (BitCount) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8: return row[x];
    default: return 0;
  }
}

bool ParseDib(const void* Data, size_t Size, DibView& View) {
  const auto* d = static_cast<const uint8_t*>(Data);
  if (!d || Size < static_cast<size_t>(BitmapFileHeaderSize + BitmapInfoHeaderSize)) return false;
  if (d[0] != 'B' || d[1] != 'M') return false;
  DibView v;
  v.Data = d;
  v.Size = Size;
  v.PixelOffset = GetLE32(d + 10);
  v.HeaderSize = GetLE32(d + 14);
  if (v.HeaderSize < 40 || v.HeaderSize > Size - BitmapFileHeaderSize) return false;
  const uint8_t* h = d + BitmapFileHeaderSize;
  v.Width = static_cast<int32_t>(GetLE32(h + 4));
  int32_t height = static_cast<int32_t>(GetLE32(h + 8));
  v.BitCount = GetLE16(h + 14);
  uint32_t compression = GetLE32(h + 16);
  uint32_t used = GetLE32(h + 32);
  if (compression != 0) return false;
  if (v.Width < 0 || height == INT32_MIN) return false;
  v.TopDown = height < 0;
  v.Height = height < 0 ? -height : height;
  switch (v.BitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  v.RowSize = RowBytes(static_cast<int64_t>(v.Width) * v.BitCount);
  if (v.BitCount <= 8) {
    int64_t full = int64_t{1} << v.BitCount;
    int64_t n = used == 0 ? full : (used < full ? used : full);
    int64_t start = BitmapFileHeaderSize + static_cast<int64_t>(v.HeaderSize);
    int64_t room = (static_cast<int64_t>(v.PixelOffset) - start) / 4;
    if (room < n) n = room < 0 ? 0 : room;
    v.PaletteCount = static_cast<int>(n);
    v.Palette = d + start;
  }
  if (v.PixelOffset > Size) return false;
  if (v.RowSize != 0 && static_cast<int64_t>(Size - v.PixelOffset) / v.RowSize < v.Height)
    return false;
  v.Pixels = d + v.PixelOffset;
  View = v;
  return true;
}

DibView CheckedDib(const void* Data, size_t Size) {
  DibView v;
  if (!ParseDib(Data, Size, v)) throw EInvalidGraphic("Bitmap image is not valid");
  return v;
}

int64_t DibFileSize(int32_t Width, int32_t Height, int Bits) {
  int entries = Bits <= 8 ? (1 << Bits) : 0;
  return BitmapFileHeaderSize + BitmapInfoHeaderSize + 4 * entries +
         RowBytes(static_cast<int64_t>(Width) * Bits) * Height;
}

std::string MakeDibFile(int32_t Width, int32_t Height, int Bits, const uint8_t* Palette,
                        int PaletteCount) {
  int entries = Bits <= 8 ? (1 << Bits) : 0;
  int64_t row = RowBytes(static_cast<int64_t>(Width) * Bits);
  int64_t image = row * Height;
  int64_t offset = BitmapFileHeaderSize + BitmapInfoHeaderSize + 4 * entries;
  std::string f = GuardAllocation([&] { return std::string(static_cast<size_t>(DibFileSize(Width, Height, Bits)), '\0'); });
  auto* p = reinterpret_cast<uint8_t*>(f.data());
  p[0] = 'B';
  p[1] = 'M';
  PutLE32(p + 2, static_cast<uint32_t>(offset + image));
  PutLE32(p + 10, static_cast<uint32_t>(offset));
  uint8_t* h = p + BitmapFileHeaderSize;
  PutLE32(h, 40);
  PutLE32(h + 4, static_cast<uint32_t>(Width));
  PutLE32(h + 8, static_cast<uint32_t>(Height));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, static_cast<uint32_t>(Bits));
  PutLE32(h + 20, static_cast<uint32_t>(image));
  if (Palette && PaletteCount > 0) {
    int n = PaletteCount < entries ? PaletteCount : entries;
    std::memcpy(p + BitmapFileHeaderSize + BitmapInfoHeaderSize, Palette, 4 * n);
  }
  return f;
}

uint8_t* DibPixels(std::string& File) {
  auto* p = reinterpret_cast<uint8_t*>(File.data());
  return p + GetLE32(p + 10);
}

std::string DibTo24(const DibView& View) {
  std::string out = MakeDibFile(View.Width, View.Height, 24, nullptr, 0);
  uint8_t* px = DibPixels(out);
  int64_t row = RowBytes(static_cast<int64_t>(View.Width) * 24);
  for (int y = 0; y < View.Height; ++y) {
    uint8_t* dst = px + (View.Height - 1 - y) * row;
    if (View.BitCount == 24 && !View.TopDown) {
      std::memcpy(dst, View.RowAddress(y), static_cast<size_t>(3 * View.Width));
      continue;
    }
    for (int x = 0; x < View.Width; ++x) {
      uint32_t c = View.PixelColor(x, y);
      dst[3 * x] = static_cast<uint8_t>(c >> 16);
      dst[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      dst[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  return out;
}
