// The six colour-reduction methods and the bitmap-file entry point.
#include "components/ColorReduce.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/core/Streams.h"

namespace {

constexpr uint8_t Levels4[] = {0, 85, 170, 255};
constexpr uint8_t Levels6[] = {0, 51, 102, 153, 204, 255};
constexpr uint8_t Levels7[] = {0, 43, 85, 128, 170, 213, 255};
constexpr uint8_t Levels8[] = {0, 36, 73, 109, 146, 182, 219, 255};

using IndexTable = std::array<uint8_t, 256>;

template <size_t N>
IndexTable BuildIndex(const uint8_t (&levels)[N]) {
  IndexTable t{};
  for (int v = 0; v < 256; ++v) {
    int best = 0, bestDiff = 256;
    for (size_t i = 0; i < N; ++i) {
      int d = v > levels[i] ? v - levels[i] : levels[i] - v;
      if (d < bestDiff) {
        bestDiff = d;
        best = static_cast<int>(i);
      }
    }
    t[v] = static_cast<uint8_t>(best);
  }
  return t;
}

// Built once at start-up.
const IndexTable Index4 = BuildIndex(Levels4);
const IndexTable Index6 = BuildIndex(Levels6);
const IndexTable Index7 = BuildIndex(Levels7);
const IndexTable Index8 = BuildIndex(Levels8);

inline int64_t Row24(int w) { return RowBytes(static_cast<int64_t>(w) * 24); }
inline int64_t Row8(int w) { return RowBytes(static_cast<int64_t>(w) * 8); }

// The first of the first N palette entries nearest to (r, g, b) by squared distance.
int NearestEntry(const uint8_t* pal, int n, int r, int g, int b) {
  int best = 0;
  long bestDist = -1;
  for (int i = 0; i < n; ++i) {
    long db = b - pal[4 * i], dg = g - pal[4 * i + 1], dr = r - pal[4 * i + 2];
    long d = db * db + dg * dg + dr * dr;
    if (bestDist < 0 || d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

inline void SetEntry(uint8_t* pal, int i, int r, int g, int b) {
  pal[4 * i] = static_cast<uint8_t>(b);
  pal[4 * i + 1] = static_cast<uint8_t>(g);
  pal[4 * i + 2] = static_cast<uint8_t>(r);
  pal[4 * i + 3] = 0;
}

// Runs Map(r, g, b, x, y) -> index over every pixel, row by row in storage order; safe in
// place because an 8-bit row never reaches past the 24-bit row it comes from.
template <typename F>
void MapPixels(int w, int h, const uint8_t* in, uint8_t* out, F map) {
  const int64_t ir = Row24(w), orow = Row8(w);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = in + y * ir;
    uint8_t* d = out + y * orow;
    for (int x = 0; x < w; ++x) {
      uint8_t b = s[3 * x], g = s[3 * x + 1], r = s[3 * x + 2];
      d[x] = map(r, g, b, x, y);
    }
    for (int64_t x = w; x < orow; ++x) d[x] = 0;
  }
}

// ---- Histogram ------------------------------------------------------------------------

constexpr int HistEntries = 2049;
constexpr int HistSlots = 5191;

struct HistEntry {
  uint8_t B, G, R;
  uint32_t Count;
  uint8_t Index;
};

class Histogram {
 public:
  explicit Histogram(HistogramMasks m) : Masks(m) { Slots.fill(0xFFFF); }
  HistogramMasks Masks;
  int Count = 0;
  std::array<HistEntry, HistEntries> Entries{};
  std::array<uint16_t, HistSlots> Slots{};

  // The slot of the masked colour: its entry or the empty slot where it would go.
  int Find(uint8_t r, uint8_t g, uint8_t b) const {
    int slot = ((r + g) * (b + g) * (r + b)) % HistSlots;
    while (Slots[slot] != 0xFFFF) {
      const HistEntry& e = Entries[Slots[slot]];
      if (e.R == r && e.G == g && e.B == b) return slot;
      slot = slot + 1 == HistSlots ? 0 : slot + 1;
    }
    return slot;
  }
  bool CountColors(int w, int h, const uint8_t* px) {
    const int64_t ir = Row24(w);
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = px + y * ir;
      for (int x = 0; x < w; ++x) {
        uint8_t b = s[3 * x] & Masks.Blue, g = s[3 * x + 1] & Masks.Green,
                r = s[3 * x + 2] & Masks.Red;
        int slot = Find(r, g, b);
        if (Slots[slot] != 0xFFFF) {
          ++Entries[Slots[slot]].Count;
          continue;
        }
        if (Count >= HistEntries) return false;
        Entries[Count] = HistEntry{b, g, r, 1, 0};
        Slots[slot] = static_cast<uint16_t>(Count++);
      }
    }
    return true;
  }
};

}  // namespace

int NearestLevel(int Levels, int V) {
  V = V < 0 ? 0 : (V > 255 ? 255 : V);
  switch (Levels) {
    case 4: return Index4[V];
    case 6: return Index6[V];
    case 7: return Index7[V];
    default: return Index8[V];
  }
}

HistogramMasks HistogramReduce(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8,
                               uint8_t* Palette, HistogramMasks Masks, int Wanted) {
  auto hist = std::make_unique<Histogram>(Masks);
  while (!hist->CountColors(Width, Height, Pixels24)) {
    HistogramMasks m = hist->Masks;
    if (m.Red < m.Green)
      m.Green = static_cast<uint8_t>(m.Green << 1);
    else if (m.Blue < m.Red)
      m.Red = static_cast<uint8_t>(m.Red << 1);
    else
      m.Blue = static_cast<uint8_t>(m.Blue << 1);
    hist = std::make_unique<Histogram>(m);
  }
  if (Wanted > 256) Wanted = 256;
  if (Wanted < 0) Wanted = 0;
  // Pick the most frequent colours.
  int picked = 0;
  for (; picked < Wanted && picked < hist->Count; ++picked) {
    int best = -1;
    uint32_t bestCount = 0;
    for (int e = 0; e < hist->Count; ++e)
      if (hist->Entries[e].Count > bestCount) {
        bestCount = hist->Entries[e].Count;
        best = e;
      }
    if (best < 0) break;
    HistEntry& e = hist->Entries[best];
    SetEntry(Palette, picked, e.R, e.G, e.B);
    e.Index = static_cast<uint8_t>(picked);
    e.Count = 0;
  }
  for (int i = picked; i < 256; ++i) SetEntry(Palette, i, 128, 128, 128);
  // Every other colour takes its nearest among the first Wanted entries.
  for (int e = 0; e < hist->Count; ++e) {
    HistEntry& h = hist->Entries[e];
    if (h.Count == 0) continue;
    h.Index = static_cast<uint8_t>(NearestEntry(Palette, Wanted, h.R, h.G, h.B));
  }
  const Histogram& hc = *hist;
  MapPixels(Width, Height, Pixels24, Out8, [&](uint8_t r, uint8_t g, uint8_t b, int, int) {
    r &= hc.Masks.Red;
    g &= hc.Masks.Green;
    b &= hc.Masks.Blue;
    int slot = hc.Find(r, g, b);
    return hc.Slots[slot] == 0xFFFF ? uint8_t{0} : hc.Entries[hc.Slots[slot]].Index;
  });
  return hist->Masks;
}

// ---- Median cut -----------------------------------------------------------------------

namespace {

constexpr int CellCount = 4096;
constexpr int BoxCount = 256;
constexpr int NoCell = -1;

struct Cell {
  uint8_t C[3];  // red, green, blue as 4-bit values
  uint8_t Index = 0;
  uint32_t Count = 0;
  int Next = NoCell;
};

struct Box {
  uint8_t Min[3] = {0, 0, 0};
  uint8_t Extent[3] = {255, 255, 255};
  int Cells = 0;
  int64_t Pixels = 0;
  int First = NoCell;
};

void SortByChannel(int* list, int n, int ch, const std::vector<Cell>& cells) {
  auto val = [&](int i) { return cells[list[i]].C[ch]; };
  if (n < 8) {
    for (int i = 1; i < n; ++i) {
      int t = list[i];
      uint8_t tv = cells[t].C[ch];
      int j = i;
      while (j > 0 && val(j - 1) >= tv) {
        list[j] = list[j - 1];
        --j;
      }
      list[j] = t;
    }
    return;
  }
  uint8_t pivot = val(n / 2);
  int i = -1, j = n;
  for (;;) {
    do ++i; while (val(i) < pivot);
    do --j; while (val(j) > pivot);
    if (i >= j) break;
    std::swap(list[i], list[j]);
  }
  SortByChannel(list, i, ch, cells);
  SortByChannel(list + i, n - i, ch, cells);
}

}  // namespace

int MedianCutReduce(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8,
                    uint8_t* Palette, int Wanted) {
  if (Wanted > BoxCount) Wanted = BoxCount;
  if (Wanted < 1) Wanted = 1;
  std::vector<Cell> cells(CellCount);
  for (int n = 0; n < CellCount; ++n) {
    cells[n].C[0] = static_cast<uint8_t>(n / 256);
    cells[n].C[1] = static_cast<uint8_t>((n / 16) % 16);
    cells[n].C[2] = static_cast<uint8_t>(n % 16);
  }
  std::vector<uint16_t> pixelCells(static_cast<size_t>(Width) * Height);
  const int64_t ir = Row24(Width);
  for (int y = 0; y < Height; ++y) {
    const uint8_t* s = Pixels24 + y * ir;
    for (int x = 0; x < Width; ++x) {
      int b = s[3 * x], g = s[3 * x + 1], r = s[3 * x + 2];
      int n = (r / 16) * 256 + (g & 0xF0) + b / 16;
      pixelCells[static_cast<size_t>(y) * Width + x] = static_cast<uint16_t>(n);
      ++cells[n].Count;
    }
  }
  std::vector<Box> boxes(BoxCount);
  int last = NoCell;
  for (int n = 0; n < CellCount; ++n) {
    if (cells[n].Count == 0) continue;
    if (last == NoCell)
      boxes[0].First = n;
    else
      cells[last].Next = n;
    last = n;
    ++boxes[0].Cells;
  }
  boxes[0].Pixels = static_cast<int64_t>(Width) * Height;
  int used = 1;
  std::vector<int> list(CellCount);
  while (used < Wanted) {
    int bestBox = -1, bestCh = 0, bestExt = -1;
    for (int b = 0; b < used; ++b) {
      if (boxes[b].Cells <= 1) continue;
      for (int ch = 0; ch < 3; ++ch)
        if (boxes[b].Extent[ch] > bestExt) {
          bestExt = boxes[b].Extent[ch];
          bestBox = b;
          bestCh = ch;
        }
    }
    if (bestBox < 0) break;
    Box& old = boxes[bestBox];
    int n = 0;
    for (int c = old.First; c != NoCell; c = cells[c].Next) list[n++] = c;
    SortByChannel(list.data(), n, bestCh, cells);
    for (int i = 0; i + 1 < n; ++i) cells[list[i]].Next = list[i + 1];
    cells[list[n - 1]].Next = NoCell;
    old.First = list[0];
    // Walk until about half of the box's pixels lie below the cut.
    int cur = 0;
    int64_t low = cells[list[0]].Count;
    int64_t remainder = old.Pixels / 2 - cells[list[0]].Count - cells[list[1]].Count;
    while (remainder >= 0 && cur + 2 < n) {
      ++cur;
      low += cells[list[cur]].Count;
      remainder -= cells[list[cur + 1]].Count;
    }
    Box& nb = boxes[used];
    nb = old;
    nb.First = list[cur + 1];
    nb.Cells = n - cur - 1;
    nb.Pixels = old.Pixels - low;
    cells[list[cur]].Next = NoCell;
    old.Cells = cur + 1;
    old.Pixels = low;
    uint8_t lowTop = static_cast<uint8_t>(16 * cells[list[cur]].C[bestCh]);
    uint8_t highStart = static_cast<uint8_t>(16 * cells[nb.First].C[bestCh]);
    nb.Extent[bestCh] = static_cast<uint8_t>(old.Min[bestCh] + old.Extent[bestCh] - highStart);
    nb.Min[bestCh] = highStart;
    old.Extent[bestCh] = static_cast<uint8_t>(lowTop - old.Min[bestCh]);
    ++used;
  }
  for (int i = used; i < Wanted; ++i) SetEntry(Palette, i, 0, 0, 0);
  for (int b = 0; b < used; ++b) {
    if (boxes[b].Cells == 0) continue;
    int64_t sum[3] = {0, 0, 0};
    for (int c = boxes[b].First; c != NoCell; c = cells[c].Next) {
      cells[c].Index = static_cast<uint8_t>(b);
      for (int ch = 0; ch < 3; ++ch) sum[ch] += cells[c].C[ch] * 16 + 15;
    }
    int v[3];
    for (int ch = 0; ch < 3; ++ch) v[ch] = static_cast<int>(sum[ch] / boxes[b].Cells);
    if (v[0] <= 16 && v[1] <= 16 && v[2] <= 16) v[0] = v[1] = v[2] = 0;
    SetEntry(Palette, b, v[0], v[1], v[2]);
  }
  const int64_t orow = Row8(Width);
  std::memset(Out8, 0, static_cast<size_t>(orow * Height));
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      Out8[y * orow + x] = cells[pixelCells[static_cast<size_t>(y) * Width + x]].Index;
  return used;
}

// ---- Fixed palettes -------------------------------------------------------------------

namespace {
void FillGrey128(uint8_t* pal) { std::memset(pal, 128, 1024); }
}  // namespace

void Palette784(uint8_t* Palette) {
  FillGrey128(Palette);
  for (int r = 0; r < 7; ++r)
    for (int g = 0; g < 8; ++g)
      for (int b = 0; b < 4; ++b) SetEntry(Palette, r * 32 + g * 4 + b, Levels7[r], Levels8[g], Levels4[b]);
}

void Reduce784(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8) {
  MapPixels(Width, Height, Pixels24, Out8, [](uint8_t r, uint8_t g, uint8_t b, int, int) {
    return static_cast<uint8_t>(Index7[r] * 32 + Index8[g] * 4 + Index4[b]);
  });
}

void Palette666(uint8_t* Palette) {
  FillGrey128(Palette);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) SetEntry(Palette, r * 36 + g * 6 + b, Levels6[r], Levels6[g], Levels6[b]);
}

void Reduce666(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8) {
  MapPixels(Width, Height, Pixels24, Out8, [](uint8_t r, uint8_t g, uint8_t b, int, int) {
    return static_cast<uint8_t>(Index6[r] * 36 + Index6[g] * 6 + Index6[b]);
  });
}

void MosaicPalette(uint8_t* Palette) {
  for (int i = 0; i < 256; ++i) {
    if (i < 64)
      SetEntry(Palette, i, 4 * i, 0, 0);
    else if (i < 128)
      SetEntry(Palette, i, 0, 4 * (i - 64), 0);
    else if (i < 192)
      SetEntry(Palette, i, 0, 0, 4 * (i - 128));
    else
      SetEntry(Palette, i, 0, 0, 0);
  }
}

void ReduceMosaic(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8) {
  MapPixels(Width, Height, Pixels24, Out8, [](uint8_t r, uint8_t g, uint8_t b, int x, int y) {
    switch ((x + y) % 3) {
      case 0: return static_cast<uint8_t>(r >> 2);
      case 1: return static_cast<uint8_t>(64 + (g >> 2));
      default: return static_cast<uint8_t>(128 + (b >> 2));
    }
  });
}

void GrayPalette(uint8_t* Palette) {
  for (int i = 0; i < 256; ++i) SetEntry(Palette, i, i, i, i);
}

void ReduceGray(int Width, int Height, const uint8_t* Pixels24, uint8_t* Out8) {
  MapPixels(Width, Height, Pixels24, Out8, [](uint8_t r, uint8_t g, uint8_t b, int, int) {
    return static_cast<uint8_t>((r * 77 + g * 150 + b * 29) >> 8);
  });
}

// ---- Entry points ---------------------------------------------------------------------

int FormatColorCount(TPixelFormat Format) {
  switch (Format) {
    case pf1bit: return 2;
    case pf4bit: return 16;
    case pf8bit: return 256;
    default: return 0;
  }
}

TPixelFormat FormatOfBitCount(int Bits) {
  switch (Bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return pf16bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pfCustom;
  }
}

namespace {

// The window system's default palettes for 2 and 16 colours (blue, green, red, 0).
constexpr uint8_t Default2[] = {0, 0, 0, 0, 255, 255, 255, 0};
constexpr uint8_t Default16[] = {
    0,   0,   0,   0, 0,   0,   128, 0, 0,   128, 0,   0, 0,   128, 128, 0,
    128, 0,   0,   0, 128, 0,   128, 0, 128, 128, 0,   0, 192, 192, 192, 0,
    128, 128, 128, 0, 0,   0,   255, 0, 0,   255, 0,   0, 0,   255, 255, 0,
    255, 0,   0,   0, 255, 0,   255, 0, 255, 255, 0,   0, 255, 255, 255, 0};

std::string ToFixedPalette(const DibView& src, int bits) {
  const uint8_t* pal = bits == 1 ? Default2 : Default16;
  int n = 1 << bits;
  std::string out = MakeDibFile(src.Width, src.Height, bits, pal, n);
  uint8_t* px = DibPixels(out);
  const int64_t row = RowBytes(static_cast<int64_t>(src.Width) * bits);
  for (int y = 0; y < src.Height; ++y) {
    uint8_t* d = px + (src.Height - 1 - y) * row;
    for (int x = 0; x < src.Width; ++x) {
      uint32_t c = src.PixelColor(x, y);
      int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
      int best = NearestEntry(pal, n, r, g, b);
      if (bits == 1)
        d[x >> 3] |= static_cast<uint8_t>(best << (7 - (x & 7)));
      else
        d[x >> 1] |= static_cast<uint8_t>((x & 1) ? best : best << 4);
    }
  }
  return out;
}

}  // namespace

std::string ReduceDib(const DibView& Source, TPixelFormat Format, ColorReduction Method) {
  if (FormatOfBitCount(Source.BitCount) == Format && Method != crGray)
    return std::string(reinterpret_cast<const char*>(Source.Data), Source.Size);
  if (Format == pf1bit) return ToFixedPalette(Source, 1);
  if (Format == pf4bit) return ToFixedPalette(Source, 4);
  if (Format != pf8bit && Format != pf24bit) ReportUnsupported();

  std::string work = DibTo24(Source);
  uint8_t* px = DibPixels(work);
  const int w = Source.Width, h = Source.Height;
  uint8_t palette[1024] = {};
  uint32_t important = 0;
  switch (Method) {
    case crHistogram: HistogramReduce(w, h, px, px, palette, HistogramMasks{}, 256); break;
    case crMedianCut: important = static_cast<uint32_t>(MedianCutReduce(w, h, px, px, palette, 256)); break;
    case crTrunc784: Palette784(palette); Reduce784(w, h, px, px); important = 224; break;
    case crTrunc666: Palette666(palette); Reduce666(w, h, px, px); important = 216; break;
    case crMosaic: MosaicPalette(palette); ReduceMosaic(w, h, px, px); break;
    default: GrayPalette(palette); ReduceGray(w, h, px, px); break;
  }
  const int64_t row8 = Row8(w);
  if (Format == pf24bit) {
    // Expand from the back so that the 8-bit rows are read before the 24-bit ones cover them.
    const int64_t row24 = Row24(w);
    for (int y = h - 1; y >= 0; --y) {
      std::vector<uint8_t> idx(px + y * row8, px + y * row8 + w);
      uint8_t* d = px + y * row24;
      for (int x = 0; x < w; ++x) std::memcpy(d + 3 * x, palette + 4 * idx[x], 3);
      for (int64_t x = 3 * w; x < row24; ++x) d[x] = 0;
    }
    return work;
  }
  std::string out = MakeDibFile(w, h, 8, palette, 256);
  uint8_t* hdr = reinterpret_cast<uint8_t*>(out.data()) + BitmapFileHeaderSize;
  PutLE32(hdr + 36, important);
  std::memcpy(DibPixels(out), px, static_cast<size_t>(row8 * h));
  return out;
}

std::unique_ptr<TMemoryStream> ReduceDibToStream(const DibView& Source, TPixelFormat Format,
                                                 ColorReduction Method) {
  std::string bytes = ReduceDib(Source, Format, Method);
  auto s = std::make_unique<TMemoryStream>();
  s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}
