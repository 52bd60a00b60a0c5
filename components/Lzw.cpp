// LZW decoding and encoding of GIF rasters.
#include "components/Lzw.h"

#include <cstring>
#include <algorithm>
#include <vector>

#include "components/BitmapUtilCore.h"
#include "platform/core/Streams.h"

namespace {

constexpr uint16_t EndOfData = 0xFFFF;
constexpr int MaxCodes = 4096;
// The walk stops once more than MaxCodes entries are held; the entry pushed at that point
// and the final character still need room.
constexpr int StackSize = MaxCodes + 4;

// Reads codes of the current width from the data sub-blocks through a 260-byte buffer: at
// most two bytes of a code wait in it when the next sub-block (255 bytes at most) comes in.
class CodeReader {
 public:
  CodeReader(TStream& s, int width) : FStream(s), FSize(s.Size()) {
    std::memset(FBuf, 0, sizeof FBuf);
    SetWidth(width);
  }
  void SetWidth(int w) {
    FWidth = w;
    FMask = (1u << w) - 1;
  }
  uint16_t Read() {
    while (FBitsHeld < FBitPos + FWidth && FStream.Position() < FSize) {
      int drop = FBitPos >> 3;
      int held = FBitsHeld >> 3;
      std::memmove(FBuf, FBuf + drop, static_cast<size_t>(held - drop));
      FBitPos &= 7;
      FBitsHeld -= 8 * drop;
      uint8_t len = 0;
      if (FStream.Read(&len, 1) != 1) break;
      int64_t got = FStream.Read(FBuf + (FBitsHeld >> 3), len);
      FBitsHeld += static_cast<int>(8 * got);
    }
    if (FBitsHeld < FBitPos + FWidth) return EndOfData;
    int i = FBitPos >> 3;
    uint32_t v = FBuf[i] | (static_cast<uint32_t>(FBuf[i + 1]) << 8);
    if (FWidth > 8) v |= static_cast<uint32_t>(FBuf[i + 2]) << 16;
    v >>= (FBitPos & 7);
    FBitPos += FWidth;
    return static_cast<uint16_t>(v & FMask);
  }
  int64_t Position() { return FStream.Position(); }
  int64_t Size() const { return FSize; }

 private:
  TStream& FStream;
  int64_t FSize;
  int FWidth = 0;
  unsigned FMask = 0;
  uint8_t FBuf[260];
  int FBitPos = 0;
  int FBitsHeld = 0;
};

// Places pixel values into bottom-up rows, following the interlace order when asked.
class PixelWriter {
 public:
  PixelWriter(uint8_t* pixels, int width, int height, int bits, bool interlaced)
      : FPixels(pixels), FWidth(width), FHeight(height), FBits(bits), FInterlaced(interlaced),
        FRowSize(RowBytes(static_cast<int64_t>(width) * bits)) {
    SetRow();
  }
  int Y() const { return FY; }
  void Emit(unsigned v) {
    if (FY >= FHeight || FWidth <= 0) return;
    switch (FBits) {
      case 1:
        if ((FX & 7) == 0)
          FRow[FX >> 3] = static_cast<uint8_t>(v << 7);
        else
          FRow[FX >> 3] |= static_cast<uint8_t>(v << (7 - (FX & 7)));
        break;
      case 4:
        if ((FX & 1) == 0)
          FRow[FX >> 1] = static_cast<uint8_t>(v << 4);
        else
          FRow[FX >> 1] |= static_cast<uint8_t>(v & 0x0F);
        break;
      default: FRow[FX] = static_cast<uint8_t>(v); break;
    }
    if (++FX >= FWidth) {
      FX = 0;
      FY = FInterlaced ? NextInterlaceRow(FY, FHeight, FPass) : FY + 1;
      SetRow();
    }
  }

 private:
  void SetRow() {
    if (FY < FHeight) FRow = FPixels + static_cast<int64_t>(FHeight - FY - 1) * FRowSize;
  }
  uint8_t* FPixels;
  uint8_t* FRow = nullptr;
  int FWidth, FHeight, FBits;
  bool FInterlaced;
  int64_t FRowSize;
  int FX = 0, FY = 0, FPass = 0;
};

}  // namespace

int NextInterlaceRow(int Y, int Height, int& Pass) {
  int step = Pass <= 1 ? 8 : (Pass == 2 ? 4 : 2);
  int next = Y + step;
  if (next < Height) return next;
  if (Pass == 0) {
    Pass = 1;
    if (4 < Height) return 4;
  }
  if (Pass == 1) {
    Pass = 2;
    if (2 < Height) return 2;
  }
  if (Pass == 2) {
    Pass = 3;
    return 1;
  }
  return next;
}

void DecodeRaster(TStream& Stream, int Width, int Height, int BitCount, bool Interlaced,
                  const TGifProgress& Progress, bool& Damaged, uint8_t* Pixels, int ColorBits,
                  bool TolerateDamage) {
  Damaged = false;
  std::vector<uint16_t> prefix(MaxCodes), suffix(MaxCodes), stack(StackSize);
  if (Progress) Progress(0, 0, std::string());
  try {
    uint8_t sizeByte = 0;
    Stream.ReadBuffer(&sizeByte, 1);
    int size = sizeByte;
    if (size < 2 || size > 9) {
      if (!TolerateDamage)
        throw EInvalidGraphicOperation("GIF code size not in range 2 to 9");
      Damaged = true;
      size = size < 2 ? 2 : 9;
    }
    CodeReader reader(Stream, size + 1);
    PixelWriter writer(Pixels, Width, Height, BitCount, Interlaced);

    const unsigned pixelMask = (1u << (ColorBits < 1 ? 1 : (ColorBits > 8 ? 8 : ColorBits))) - 1;
    const unsigned clearCode = 1u << size, endCode = clearCode + 1, firstFree = clearCode + 2;
    const int initialWidth = size + 1;
    unsigned nextFree = firstFree;
    int width = initialWidth;
    unsigned limit = 1u << width;
    unsigned current = 0, previous = 0, incoming = 0, lastChar = 0;
    bool tableFull = false;
    int sp = 0;
    int lastPercent = -1;

    uint16_t code = reader.Read();
    while (code != endCode && code != EndOfData && writer.Y() < Height) {
      if (code == clearCode) {
        width = initialWidth;
        limit = 1u << width;
        reader.SetWidth(width);
        nextFree = firstFree;
        // A clear code right after a clear code starts nothing new: it is no pixel.
        do code = reader.Read();
        while (code == clearCode);
        current = previous = code;
        if (code == EndOfData || code == endCode) break;
        lastChar = code & pixelMask;
        writer.Emit(lastChar);
        tableFull = false;
      } else {
        current = incoming = code;
        if (current >= nextFree) {
          current = previous;
          stack[sp++] = static_cast<uint16_t>(lastChar);
        }
        while (current > pixelMask) {
          if (sp > MaxCodes) {
            if (!TolerateDamage) throw EInvalidGraphicOperation("GIF encoded data is corrupt");
            current = pixelMask;
            sp = 1;
            Damaged = true;
            break;
          }
          stack[sp++] = suffix[current];
          current = prefix[current];
        }
        if (Damaged) break;
        lastChar = current & pixelMask;
        stack[sp++] = static_cast<uint16_t>(lastChar);
        while (sp > 0) writer.Emit(stack[--sp]);
        if (!tableFull) {
          prefix[nextFree] = static_cast<uint16_t>(previous);
          suffix[nextFree] = static_cast<uint16_t>(lastChar);
          ++nextFree;
          if (nextFree >= limit) {
            if (width < 12) {
              ++width;
              limit <<= 1;
              reader.SetWidth(width);
            } else {
              tableFull = true;
            }
          }
        }
        previous = incoming;
      }
      code = reader.Read();
      if (Progress && reader.Size() > 0) {
        int percent = static_cast<int>(reader.Position() * 100 / reader.Size());
        if (percent != lastPercent) {
          lastPercent = percent;
          Progress(1, percent, std::string());
        }
      }
    }
    if (code == EndOfData) throw EReadError("Stream read error");
  } catch (const Exception& e) {
    if (Progress) Progress(2, 0, e.Message);
    throw;
  }
  if (Progress) Progress(2, 100, std::string());
}

// ---- Encoder ---------------------------------------------------------------------------

namespace {

constexpr int HashSlots = 17777;
constexpr uint16_t EmptySlot = 0xFFFF;

// Codes out through a 260-byte buffer in 255-byte sub-blocks.
class CodeWriter {
 public:
  explicit CodeWriter(TStream& s) : FStream(s) { std::memset(FBuf, 0, sizeof FBuf); }
  int Width = 0;
  void Write(unsigned code) {
    uint32_t v = static_cast<uint32_t>(code) << (FBitPos & 7);
    int i = FBitPos >> 3;
    FBuf[i] |= static_cast<uint8_t>(v);
    FBuf[i + 1] = static_cast<uint8_t>(v >> 8);
    FBuf[i + 2] = static_cast<uint8_t>(v >> 16);
    FBitPos += Width;
    if (FBitPos >= 2040) {
      uint8_t len = 255;
      FStream.WriteBuffer(&len, 1);
      FStream.WriteBuffer(FBuf, 255);
      FBuf[0] = FBuf[255];
      FBuf[1] = FBuf[256];
      std::memset(FBuf + 2, 0, sizeof FBuf - 2);
      FBitPos -= 2040;
    }
  }
  void Flush() {
    int n = (FBitPos + 7) / 8;
    if (n > 0) {
      uint8_t len = static_cast<uint8_t>(n);
      FStream.WriteBuffer(&len, 1);
      FStream.WriteBuffer(FBuf, n);
    }
    uint8_t zero = 0;
    FStream.WriteBuffer(&zero, 1);
  }

 private:
  TStream& FStream;
  uint8_t FBuf[260];
  int FBitPos = 0;
};

struct StringEntry {
  uint16_t Prefix = 0;
  uint16_t Code = 0;
  uint8_t Suffix = 0;
};

inline uint32_t StartHash(unsigned p) { return (p + 3) * 301; }

}  // namespace

void EncodeRaster(TStream& Stream, int Width, int Height, int BitCount, bool Interlaced,
                  const TGifProgress& Progress, const uint8_t* Pixels) {
  if (BitCount != 1 && BitCount != 4 && BitCount != 8)
    throw EInvalidGraphicOperation("GIF image encoding error");
  const int64_t rowSize = RowBytes(static_cast<int64_t>(Width) * BitCount);
  std::vector<StringEntry> table(MaxCodes);
  std::vector<uint16_t> slots(HashSlots, EmptySlot);

  int initialWidth = BitCount + 1;
  if (initialWidth == 2) initialWidth = 3;
  uint8_t minSize = static_cast<uint8_t>(initialWidth - 1);
  Stream.WriteBuffer(&minSize, 1);
  const unsigned clearCode = 1u << (initialWidth - 1), endCode = clearCode + 1;
  unsigned nextCode = endCode;
  unsigned limit = 1u << initialWidth;
  unsigned length = 0;
  unsigned prefix = 0;
  uint64_t hash = 0;
  CodeWriter out(Stream);
  out.Width = initialWidth;
  out.Write(clearCode);
  bool firstAfterClear = true;

  if (Progress) Progress(0, 0, std::string());
  try {
    int y = 0, pass = 0;
    while (y < Height) {
      const uint8_t* row = Pixels + static_cast<int64_t>(Height - 1 - y) * rowSize;
      for (int x = 0; x < Width; ++x) {
        unsigned p;
        if (BitCount == 8)
          p = row[x];
        else if (BitCount == 4)
          p = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        else
          p = (row[x >> 3] >> (7 - (x & 7))) & 1;
        ++length;
        if (length == 1) {
          prefix = p;
          hash = StartHash(p);
          continue;
        }
        hash = ((p + length + 4) * hash) % HashSlots;
        size_t slot = static_cast<size_t>(hash);
        bool found = false;
        while (slots[slot] != EmptySlot) {
          const StringEntry& e = table[slots[slot]];
          if (e.Prefix == prefix && e.Suffix == p) {
            prefix = e.Code;
            found = true;
            break;
          }
          slot = slot + 1 == HashSlots ? 0 : slot + 1;
        }
        if (found) continue;
        out.Write(prefix);
        firstAfterClear = false;
        ++nextCode;
        StringEntry& e = table[nextCode];
        e.Prefix = static_cast<uint16_t>(prefix);
        e.Code = static_cast<uint16_t>(nextCode);
        e.Suffix = static_cast<uint8_t>(p);
        slots[slot] = static_cast<uint16_t>(nextCode);
        prefix = p;
        hash = StartHash(p);
        length = 1;
        if (nextCode >= limit) {
          limit <<= 1;
          ++out.Width;
        } else if (nextCode >= 4094) {
          out.Write(prefix);
          out.Write(clearCode);
          firstAfterClear = true;
          length = 0;
          nextCode = endCode;
          out.Width = initialWidth;
          limit = 1u << initialWidth;
          std::fill(slots.begin(), slots.end(), EmptySlot);
        }
      }
      y = Interlaced ? NextInterlaceRow(y, Height, pass) : y + 1;
      if (Progress)
        Progress(1, static_cast<int>(static_cast<int64_t>(y < Height ? y : Height) * 100 / Height),
                 std::string());
    }
    // The decoder adds a table entry for the last code as for any other that does not follow
    // a clear code; when that entry fills the width, it reads the end code one bit wider.
    out.Write(prefix);
    if (!firstAfterClear && nextCode + 1 >= limit && out.Width < 12) ++out.Width;
    out.Write(endCode);
    out.Flush();
  } catch (const Exception& e) {
    if (Progress) Progress(2, 0, e.Message);
    throw;
  }
  if (Progress) Progress(2, 100, std::string());
}
