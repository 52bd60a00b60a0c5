// Builds GIF files for the tests, byte by byte, with a plain dictionary LZW encoder of its own
// (so the decoder is checked against something other than our encoder) and bitmap files of
// known pixels.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "LittleEndian.h"

#include "components/BitmapUtilCore.h"
#include "components/GifFile.h"

namespace giftest {

// Row-major pixel values, top row first.
struct Picture {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;
  uint8_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

inline Picture RandomPicture(int w, int h, int colors, unsigned seed, int runs = 1) {
  std::mt19937 rng(seed);
  Picture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h)};
  uint8_t v = 0;
  for (size_t i = 0; i < p.Pixels.size(); ++i) {
    if (i % runs == 0) v = static_cast<uint8_t>(rng() % colors);
    p.Pixels[i] = v;
  }
  return p;
}

// Rows of the file order: interlaced pictures store rows 0, 8, ... then 4, 12, ... and so on.
inline std::vector<int> RowOrder(int h, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int y = 0; y < h; ++y) rows.push_back(y);
    return rows;
  }
  const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < h; y += step[pass]) rows.push_back(y);
  return rows;
}

enum class Lzw { Literal, Deferred };

// The raster: code size byte, sub-blocks, terminator. Literal sends a clear code before the
// width would grow, so every code is a pixel; Deferred is a dictionary encoder that keeps
// sending 12-bit codes once the table is full.
inline std::string EncodeRaster(const Picture& p, int minSize, bool interlaced, Lzw mode,
                                bool endCode = true) {
  std::vector<int> codes;
  const int clear = 1 << minSize, end = clear + 1;
  std::vector<int> widths;
  int width = minSize + 1;
  auto emit = [&](int c) {
    codes.push_back(c);
    widths.push_back(width);
  };
  std::vector<uint8_t> seq;
  for (int y : RowOrder(p.Height, interlaced))
    for (int x = 0; x < p.Width; ++x) seq.push_back(p.At(x, y));
  emit(clear);
  if (mode == Lzw::Literal) {
    int sinceClear = 0;
    for (uint8_t v : seq) {
      if (sinceClear == (1 << (minSize + 1)) - clear - 3) {
        emit(clear);
        sinceClear = 0;
      }
      emit(v);
      ++sinceClear;
    }
  } else if (!seq.empty()) {
    std::map<std::pair<int, int>, int> dict;
    int next = end + 1;
    int cur = seq[0];
    for (size_t i = 1; i < seq.size(); ++i) {
      auto it = dict.find({cur, seq[i]});
      if (it != dict.end()) {
        cur = it->second;
        continue;
      }
      emit(cur);
      if (next < 4096) {
        dict[{cur, seq[i]}] = next;
        if (next == (1 << width) && width < 12) ++width;
        ++next;
      }
      cur = seq[i];
    }
    emit(cur);
    // The decoder adds an entry for the last code too, and may widen before the end code.
    if (seq.size() > 1 && next < 4096 && next == (1 << width) && width < 12) ++width;
  }
  if (endCode) emit(end);
  std::string bits;
  uint64_t acc = 0;
  int held = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    acc |= static_cast<uint64_t>(codes[i]) << held;
    held += widths[i];
    while (held >= 8) {
      bits.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      held -= 8;
    }
  }
  if (held > 0) bits.push_back(static_cast<char>(acc & 0xFF));
  std::string out(1, static_cast<char>(minSize));
  for (size_t i = 0; i < bits.size(); i += 255) {
    size_t n = std::min<size_t>(255, bits.size() - i);
    out.push_back(static_cast<char>(n));
    out += bits.substr(i, n);
  }
  out.push_back('\0');
  return out;
}


// Colour i of a test table: distinct for every index.
inline void TableColor(int i, uint8_t rgb[3]) {
  rgb[0] = static_cast<uint8_t>(i * 7 + 1);
  rgb[1] = static_cast<uint8_t>(255 - i);
  rgb[2] = static_cast<uint8_t>(i * 13 + 5);
}
inline uint32_t TableColorValue(int i) {
  uint8_t c[3];
  TableColor(i, c);
  return c[0] | (c[1] << 8) | (c[2] << 16);
}

inline std::string Table(int bits) {
  std::string t;
  for (int i = 0; i < (1 << bits); ++i) {
    uint8_t c[3];
    TableColor(i, c);
    t.append(reinterpret_cast<char*>(c), 3);
  }
  return t;
}

// A GIF file put together block by block.
class Builder {
 public:
  explicit Builder(int w, int h, int globalBits = 0, const char* sig = "GIF89a", int background = 0) {
    F = sig;
    Put16(F, w);
    Put16(F, h);
    F.push_back(static_cast<char>(globalBits ? 0x80 | ((globalBits - 1) << 4) | (globalBits - 1) : 0));
    F.push_back(static_cast<char>(background));
    F.push_back('\0');
    if (globalBits) F += Table(globalBits);
  }
  Builder& Control(int delay, int disposal, int transparent) {
    F += "\x21\xF9\x04";
    F.push_back(static_cast<char>((disposal << 2) | (transparent >= 0 ? 1 : 0)));
    Put16(F, delay);
    F.push_back(static_cast<char>(transparent >= 0 ? transparent : 0));
    F.push_back('\0');
    return *this;
  }
  Builder& Comment(const std::vector<std::string>& lines) {
    F += "\x21\xFE";
    for (const auto& l : lines) {
      F.push_back(static_cast<char>(l.size()));
      F += l;
    }
    F.push_back('\0');
    return *this;
  }
  Builder& PlainText() {
    F += "\x21\x01\x0C";
    F.append(12, '\0');
    F += std::string("\x03" "abc\0", 5);
    return *this;
  }
  Builder& Loop(int count) {
    F += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    Put16(F, count);
    F.push_back('\0');
    return *this;
  }
  Builder& Image(const Picture& p, int localBits, bool interlaced, Lzw mode = Lzw::Deferred,
                 int left = 0, int top = 0, int minSize = -1, bool endCode = true,
                 int descW = -1, int descH = -1) {
    F.push_back(',');
    Put16(F, left);
    Put16(F, top);
    Put16(F, descW >= 0 ? descW : p.Width);
    Put16(F, descH >= 0 ? descH : p.Height);
    uint8_t packed = interlaced ? 0x40 : 0;
    if (localBits) packed |= static_cast<uint8_t>(0x80 | (localBits - 1));
    F.push_back(static_cast<char>(packed));
    if (localBits) F += Table(localBits);
    int bits = localBits ? localBits : 8;
    if (minSize < 0) minSize = bits < 2 ? 2 : bits;
    F += EncodeRaster(p, minSize, interlaced, mode, endCode);
    return *this;
  }
  Builder& Raw(const std::string& s) {
    F += s;
    return *this;
  }
  std::string Done() const { return F + ";"; }
  std::string F;
};

// A raster of the given codes at code size 2 (3 bits wide while the table stays small).
inline std::string RasterOfCodes(std::initializer_list<int> codes) {
  std::string bits;
  uint32_t acc = 0;
  int held = 0;
  for (int c : codes) {
    acc |= static_cast<uint32_t>(c) << held;
    held += 3;
    while (held >= 8) {
      bits.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      held -= 8;
    }
  }
  if (held) bits.push_back(static_cast<char>(acc & 0xFF));
  return std::string("\x02", 1) + static_cast<char>(bits.size()) + bits + std::string(1, '\0');
}

// An image block: a w x h descriptor without a local table, then the raster.
inline std::string ImageBlock(int w, int h, const std::string& raster) {
  std::string d = ",";
  Put16(d, 0);
  Put16(d, 0);
  Put16(d, static_cast<uint16_t>(w));
  Put16(d, static_cast<uint16_t>(h));
  d.push_back('\0');
  return d + raster;
}

// The pixel indices of a decoded bitmap file, top row first.
inline Picture DibIndices(const std::string& file) {
  DibView v = CheckedDib(file.data(), file.size());
  Picture p{v.Width, v.Height, std::vector<uint8_t>(static_cast<size_t>(v.Width) * v.Height)};
  for (int y = 0; y < v.Height; ++y)
    for (int x = 0; x < v.Width; ++x) p.Pixels[static_cast<size_t>(y) * v.Width + x] =
        static_cast<uint8_t>(v.PixelIndex(x, y));
  return p;
}

// A bitmap file of the picture at 1, 4 or 8 bits with the test palette.
inline std::string MakeIndexedDib(const Picture& p, int bits) {
  std::string pal;
  for (int i = 0; i < (1 << bits); ++i) {
    uint8_t c[3];
    TableColor(i, c);
    pal.push_back(static_cast<char>(c[2]));
    pal.push_back(static_cast<char>(c[1]));
    pal.push_back(static_cast<char>(c[0]));
    pal.push_back('\0');
  }
  std::string f = MakeDibFile(p.Width, p.Height, bits, reinterpret_cast<const uint8_t*>(pal.data()), 1 << bits);
  uint8_t* px = DibPixels(f);
  int64_t row = RowBytes(static_cast<int64_t>(p.Width) * bits);
  for (int y = 0; y < p.Height; ++y) {
    uint8_t* r = px + (p.Height - 1 - y) * row;
    for (int x = 0; x < p.Width; ++x) {
      unsigned v = p.At(x, y);
      if (bits == 8) r[x] = static_cast<uint8_t>(v);
      else if (bits == 4) r[x >> 1] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
      else r[x >> 3] |= static_cast<uint8_t>(v << (7 - (x & 7)));
    }
  }
  return f;
}

// A 24-bit bitmap file whose pixel (x, y from the top) is Color(x, y) (0x00BBGGRR).
template <typename F>
std::string Make24Dib(int w, int h, F color) {
  std::string f = MakeDibFile(w, h, 24, nullptr, 0);
  uint8_t* px = DibPixels(f);
  int64_t row = RowBytes(static_cast<int64_t>(w) * 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = color(x, y);
      uint8_t* p = px + (h - 1 - y) * row + 3 * x;
      p[0] = static_cast<uint8_t>(c >> 16);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c);
    }
  return f;
}

// A picture read from the bytes through the format code (the first frame decoded).
inline std::unique_ptr<TGifImageCore> LoadCore(const std::string& bytes, bool decodeFirst = true) {
  auto img = std::make_unique<TGifImageCore>();
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  img->LoadGifData(s.Size(), s, decodeFirst);
  return img;
}

}  // namespace giftest
