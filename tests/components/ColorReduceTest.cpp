// Colour reduction methods and the bitmap-file entry point.
#include <gtest/gtest.h>

#include <set>

#include "GifTestFiles.h"
#include "components/ColorReduce.h"
#include "platform/core/FakeServices.h"

using namespace giftest;

namespace {

struct Reduced {
  std::string File;
  DibView View;
};

Reduced Reduce(const std::string& src, TPixelFormat f, ColorReduction m) {
  DibView v = CheckedDib(src.data(), src.size());
  Reduced r;
  r.File = ReduceDib(v, f, m);
  r.View = CheckedDib(r.File.data(), r.File.size());
  return r;
}

uint32_t Entry(const DibView& v, int i) {
  const uint8_t* e = v.Palette + 4 * i;
  return e[2] | (e[1] << 8) | (e[0] << 16);
}

}  // namespace

TEST(ColorReduce, FixedPalettesMapKnownColours) {
  struct Case {
    ColorReduction Method;
    uint32_t Color;
    int Index;
  } cases[] = {
      {crTrunc666, 0x0000FF, 180}, {crTrunc666, 0xFF0000, 5},   {crTrunc784, 0x0000FF, 192},
      {crTrunc784, 0xFFFFFF, 223}, {crGray, 0x00FF00, 149},     {crGray, 0xFFFFFF, 255},
      {crMosaic, 0x0000FC, 63},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Method) << " " << std::hex << c.Color);
    Reduced r = Reduce(Make24Dib(1, 1, [&](int, int) { return c.Color; }), pf8bit, c.Method);
    EXPECT_EQ(r.View.BitCount, 8);
    EXPECT_EQ(r.View.PixelIndex(0, 0), c.Index);
  }
  Reduced r = Reduce(Make24Dib(1, 1, [](int, int) { return 0u; }), pf8bit, crTrunc784);
  EXPECT_EQ(GetLE32(r.View.Data + 14 + 36), 224u);
  EXPECT_EQ(Entry(r.View, 223), 0xFFFFFFu);
  EXPECT_EQ(r.View.Palette[4 * 224 + 3], 128);  // unused entries are 128 in all four bytes
  // Mosaic: the channel comes from the storage position.
  r = Reduce(Make24Dib(3, 1, [](int, int) { return 0x804020u; }), pf8bit, crMosaic);
  EXPECT_EQ(r.View.PixelIndex(0, 0), 0x20 >> 2);
  EXPECT_EQ(r.View.PixelIndex(1, 0), 64 + (0x40 >> 2));
  EXPECT_EQ(r.View.PixelIndex(2, 0), 128 + (0x80 >> 2));
  EXPECT_EQ(NearestLevel(7, 64), 1);  // 43 and 85 tie at distance 21/21: the lower wins
}

TEST(ColorReduce, HistogramKeepsFewColoursByFrequency) {
  // 200 colours, colour k used k + 1 times.
  std::vector<uint32_t> pixels;
  for (int k = 0; k < 200; ++k)
    for (int n = 0; n <= k; ++n) pixels.push_back(static_cast<uint32_t>(k * 0x010305 + 0x000100 * (k % 7)));
  int w = 100, h = static_cast<int>((pixels.size() + w - 1) / w);
  pixels.resize(static_cast<size_t>(w) * h, pixels.back());
  Reduced r = Reduce(Make24Dib(w, h, [&](int x, int y) { return pixels[y * w + x]; }), pf8bit, crHistogram);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(r.View.PixelColor(x, y), pixels[y * w + x]);
  EXPECT_EQ(Entry(r.View, 0), pixels.back());  // the most frequent colour first
  EXPECT_EQ(Entry(r.View, 255), 0x808080u);
}

TEST(ColorReduce, HistogramDropsLowBitsWhenColoursDoNotFit) {
  std::string dib = Make24Dib(60, 50, [](int x, int y) {
    int i = y * 60 + x;  // 3000 distinct colours
    return static_cast<uint32_t>((i % 256) | ((i / 256) << 8) | ((i & 1) << 16));
  });
  DibView v = CheckedDib(dib.data(), dib.size());
  std::vector<uint8_t> out(RowBytes(60 * 8) * 50);
  uint8_t pal[1024];
  HistogramMasks m = HistogramReduce(60, 50, v.Pixels, out.data(), pal, HistogramMasks{}, 256);
  EXPECT_EQ(m.Blue, 0xFE);
  EXPECT_EQ(m.Red, 0xFE);  // blue then red: 3000 -> 1500 with blue's bit is still too many
  EXPECT_EQ(m.Green, 0xFF);
}

TEST(ColorReduce, MedianCutOfBlackAndWhite) {
  Reduced r = Reduce(Make24Dib(8, 8, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; }), pf8bit,
                     crMedianCut);
  EXPECT_EQ(GetLE32(r.View.Data + 14 + 36), 2u);
  std::set<uint32_t> seen;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      seen.insert(r.View.PixelColor(x, y));
      ASSERT_EQ(r.View.PixelColor(x, y), (x + y) % 2 ? 0xFFFFFFu : 0u);
    }
  EXPECT_EQ(seen.size(), 2u);
  // Many colours: at most 256 boxes, every pixel near its colour.
  Reduced m = Reduce(Make24Dib(64, 64, [](int x, int y) { return static_cast<uint32_t>((x * 4) | ((y * 4) << 8) | (((x + y) * 2) << 16)); }),
                     pf8bit, crMedianCut);
  EXPECT_LE(GetLE32(m.View.Data + 14 + 36), 256u);
  EXPECT_GT(GetLE32(m.View.Data + 14 + 36), 200u);
}

TEST(ColorReduce, DepthsAndFormats) {
  std::string dib8 = MakeIndexedDib(RandomPicture(5, 5, 256, 3), 8);
  // Already at the depth: unchanged, except that grey always converts.
  EXPECT_EQ(Reduce(dib8, pf8bit, crHistogram).File, dib8);
  EXPECT_NE(Reduce(dib8, pf8bit, crGray).File, dib8);
  // A 16-bit file asked for 8 bits goes through 24 bits.
  std::string dib16 = MakeDibFile(2, 1, 24, nullptr, 0);
  {
    std::string f(14 + 40 + 4, '\0');
    f[0] = 'B';
    f[1] = 'M';
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    PutLE32(p + 10, 54);
    PutLE32(p + 14, 40);
    PutLE32(p + 18, 2);
    PutLE32(p + 22, 1);
    PutLE16(p + 26, 1);
    PutLE16(p + 28, 16);
    PutLE16(p + 54, 0x7C00);  // red
    PutLE16(p + 56, 0x001F);  // blue
    dib16 = f;
  }
  Reduced r = Reduce(dib16, pf8bit, crHistogram);
  EXPECT_EQ(r.View.PixelColor(0, 0), 0x0000FFu);
  EXPECT_EQ(r.View.PixelColor(1, 0), 0xFF0000u);
  // 1 and 4 bits take the default palettes.
  std::string colours = Make24Dib(3, 1, [](int x, int) { return x == 0 ? 0xF0F0F0u : (x == 1 ? 0x0000F0u : 0x101010u); });
  Reduced one = Reduce(colours, pf1bit, crHistogram);
  EXPECT_EQ(one.View.BitCount, 1);
  EXPECT_EQ(one.View.PixelColor(0, 0), 0xFFFFFFu);
  EXPECT_EQ(one.View.PixelColor(2, 0), 0u);
  Reduced four = Reduce(colours, pf4bit, crHistogram);
  EXPECT_EQ(four.View.BitCount, 4);
  EXPECT_EQ(four.View.PixelColor(1, 0), 0x0000FFu);
  // 24 bits: the picture keeps its depth and shows the reduced colours.
  Reduced full = Reduce(colours, pf24bit, crGray);
  EXPECT_EQ(full.View.BitCount, 24);
  EXPECT_EQ(full.View.PixelColor(1, 0), 0x484848u);  // (240 x 77) shr 8
  // Unsupported formats: a message, then the silent abort.
  TFakeServices fake;
  DibView v = CheckedDib(colours.data(), colours.size());
  EXPECT_THROW(ReduceDib(v, pf16bit, crHistogram), EAbort);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, "Function not yet implemented");
}

TEST(BitmapUtilCore, BlocksAndBitmapFiles) {
  void* b = GlobalBlockAlloc(0);
  EXPECT_EQ(b, nullptr);
  b = GlobalBlockAlloc(16);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(SameBytes(b, std::string(16, '\0').data(), 16));
  GlobalBlockFree(b);
  EXPECT_EQ(b, nullptr);
  GlobalBlockFree(b);
  EXPECT_TRUE(SameBytes("a", "b", 0));
  EXPECT_EQ(LargerOf(-3, 2), 2);
  EXPECT_EQ(SmallerOf(-3, 2), -3);
  EXPECT_EQ(ScanlineBytes(3, 8, 32), 4);
  // Headers that lie about their sizes are refused.
  std::string f = MakeIndexedDib(RandomPicture(4, 4, 16, 1), 4);
  DibView v;
  EXPECT_TRUE(ParseDib(f.data(), f.size(), v));
  EXPECT_FALSE(ParseDib(f.data(), f.size() - 1, v));
  std::string tall = f;
  PutLE32(reinterpret_cast<uint8_t*>(tall.data()) + 22, 0x7FFFFFFF);
  EXPECT_FALSE(ParseDib(tall.data(), tall.size(), v));
  std::string off = f;
  PutLE32(reinterpret_cast<uint8_t*>(off.data()) + 10, 0xFFFFFFF0);
  EXPECT_FALSE(ParseDib(off.data(), off.size(), v));
  EXPECT_THROW(CheckedDib("BM", 2), EInvalidGraphic);
}
