// Writing GIF files: the LZW encoder decoded back, the file layout, graphic-control upkeep.
#include <gtest/gtest.h>

#include "GifTestFiles.h"
#include "components/GifFile.h"

using namespace giftest;

namespace {

std::string Write(TGifImageCore& img, bool withLength = false) {
  TMemoryStream s;
  img.WriteGif(s, withLength);
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

std::unique_ptr<TGifImageCore> Read(const std::string& bytes) { return LoadCore(bytes); }

// A picture of one frame holding the bitmap file.
std::unique_ptr<TGifImageCore> FromDib(const std::string& dib) {
  auto img = std::make_unique<TGifImageCore>();
  img->FrameList.push_back(std::make_unique<TGifFrameCore>(img.get()));
  img->FrameList[0]->SetDecodedFile(dib);
  img->FormatVersion = 1;
  img->ActiveFrame = 0;
  return img;
}

std::string Raster(const TGifFrameCore& f) {
  TMemoryStream& r = *f.SharedItem->RasterData;
  return std::string(static_cast<const char*>(r.Memory()), static_cast<size_t>(r.Size()));
}

}  // namespace

// Encoded rasters decode to the same pixels: every depth, odd widths, interlaced rows, and
// pictures long enough to pass the 4094-code reset several times.
TEST(GifWrite, EncoderOutputDecodesBackIdentical) {
  struct Case {
    int W, H, Bits, Colors, Runs;
    bool Interlaced;
  } cases[] = {
      {1, 1, 1, 2, 1, false},    {13, 7, 1, 2, 1, false},   {9, 5, 4, 16, 1, true},
      {31, 33, 4, 5, 3, false},  {300, 200, 8, 256, 1, false}, {97, 61, 8, 200, 5, true},
      {64, 64, 8, 1, 1, false},  {3, 5, 8, 3, 1, true},
  };
  unsigned seed = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " bits " << c.Bits);
    Picture p = RandomPicture(c.W, c.H, c.Colors, seed++, c.Runs);
    std::string dib = MakeIndexedDib(p, c.Bits);
    DibView v = CheckedDib(dib.data(), dib.size());
    TMemoryStream raster;
    EncodeRaster(raster, v.Width, v.Height, v.BitCount, c.Interlaced, nullptr, v.Pixels);
    EXPECT_EQ(static_cast<const uint8_t*>(raster.Memory())[0], c.Bits == 1 ? 2 : c.Bits);
    std::string out = MakeDibFile(c.W, c.H, c.Bits, nullptr, 0);
    raster.SetPosition(0);
    bool damaged = true;
    DecodeRaster(raster, c.W, c.H, c.Bits, c.Interlaced, nullptr, damaged, DibPixels(out),
                 c.Bits, false);
    EXPECT_FALSE(damaged);
    std::string want(reinterpret_cast<const char*>(v.Pixels), static_cast<size_t>(v.RowSize * v.Height));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(DibPixels(out)), want.size()) == want);
  }
  // Every picture size up to 20 x 6 at two colours: the end code lands on every bit offset
  // and width change.
  for (int w = 1; w <= 20; ++w)
    for (int h = 1; h <= 6; ++h) {
      Picture p = RandomPicture(w, h, 2, static_cast<unsigned>(w * 31 + h));
      auto img = FromDib(MakeIndexedDib(p, 1));
      auto back = Read(Write(*img));
      ASSERT_EQ(DibIndices(back->CoreFrameAt(0)->DecodedFile()).Pixels, p.Pixels) << w << "x" << h;
    }
  uint8_t px[4] = {};
  TMemoryStream s;
  EXPECT_THROW(EncodeRaster(s, 1, 1, 24, false, nullptr, px), EInvalidGraphicOperation);
}

TEST(GifWrite, FileOfOneBitmapFrame) {
  Picture p = RandomPicture(21, 11, 16, 9, 2);
  auto img = FromDib(MakeIndexedDib(p, 4));
  std::string bytes = Write(*img);
  EXPECT_EQ(bytes.substr(0, 6), "GIF87a");
  EXPECT_EQ(bytes.back(), ';');
  EXPECT_EQ(Write(*img), bytes);  // the raster is kept: the same bytes again
  auto back = Read(bytes);
  ASSERT_EQ(back->FrameCount(), 1);
  EXPECT_EQ(back->LogicalWidth, 21);
  EXPECT_EQ(back->LogicalHeight, 11);
  EXPECT_FALSE(back->CoreFrameAt(0)->HasLocalTable);  // the first table becomes the global one
  EXPECT_EQ(back->SharedData->ColorTable.Count, 16);
  EXPECT_EQ(DibIndices(back->CoreFrameAt(0)->DecodedFile()).Pixels, p.Pixels);
  // Written with a length in front.
  std::string withLen = Write(*img, true);
  EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t*>(withLen.data())), bytes.size());
  EXPECT_EQ(withLen.substr(4), bytes);
  // Only 1, 4 and 8 bits are encoded.
  try {
    img->CoreFrameAt(0)->EncodeBitmapFile(Make24Dib(2, 2, [](int, int) { return 0u; }));
    ADD_FAILURE();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message, "GIF image encoding error");
  }
  // Nothing to write.
  TGifImageCore none;
  TMemoryStream s;
  EXPECT_THROW(none.WriteGif(s, false), EInvalidGraphicOperation);
  auto blank = FromDib(MakeDibFile(0, 0, 8, nullptr, 0));
  try {
    blank->WriteGif(s, false);
    ADD_FAILURE();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message, "No GIF Data to write");
  }
}

TEST(GifWrite, ReadFilesKeepTheirRastersAndFields) {
  Picture a = RandomPicture(10, 6, 4, 1), b = RandomPicture(6, 7, 16, 2);
  std::string f = Builder(12, 9, 2, "GIF87a")
                      .Image(a, 0, true)
                      .Control(15, 2, 3)
                      .Image(b, 4, false, Lzw::Literal, 4, 2)
                      .Done();
  auto img = Read(f);
  std::string r0 = Raster(*img->CoreFrameAt(0)), r1 = Raster(*img->CoreFrameAt(1));
  img->SharedData->CommentLines.Add("hello");
  img->LoopEnabled = true;
  img->LoopCount = 7;
  img->CoreFrameAt(1)->DelayMs = 150;
  std::string out = Write(*img);
  EXPECT_EQ(out.substr(0, 6), "GIF89a");  // a comment needs 89a
  EXPECT_NE(out.find("NETSCAPE2.0\x03\x01\x07", 0), std::string::npos);
  auto back = Read(out);
  ASSERT_EQ(back->FrameCount(), 2);
  EXPECT_EQ(Raster(*back->CoreFrameAt(0)), r0);
  EXPECT_EQ(Raster(*back->CoreFrameAt(1)), r1);
  EXPECT_TRUE(back->CoreFrameAt(0)->InterlaceFlag);
  EXPECT_EQ(back->CoreFrameAt(1)->DelayMs, 150);
  EXPECT_EQ(back->CoreFrameAt(1)->DisposalMethod, 2);
  EXPECT_EQ(back->CoreFrameAt(1)->TransparentColor, TableColorValue(3));
  EXPECT_EQ(back->LoopCount, 7);
  EXPECT_EQ(back->SharedData->CommentLines.Text(), "hello\r\n");
  EXPECT_EQ(DibIndices(back->CoreFrameAt(0)->DecodedFile()).Pixels, a.Pixels);
  EXPECT_EQ(DibIndices(back->CoreFrameAt(1)->DecodedFile()).Pixels, b.Pixels);

  // One frame writes no loop block even with looping on.
  auto one = Read(Builder(4, 4, 2).Image(RandomPicture(4, 4, 4, 3), 0, false).Done());
  one->LoopEnabled = true;
  EXPECT_EQ(Write(*one).find("NETSCAPE"), std::string::npos);
}

TEST(GifWrite, GraphicControlFollowsTheFields) {
  auto img = Read(Builder(4, 4, 2).Control(0, 0, -1).Comment({}).Image(RandomPicture(4, 4, 4, 3), 0, false).Done());
  TGifFrameCore* f = img->CoreFrameAt(0);
  ASSERT_EQ(f->ExtensionList->size(), 2u);
  f->DelayMs = 150;
  f->DisposalMethod = 1;
  f->TransparentColor = TableColorValue(2);
  f->SyncExtensions();
  ASSERT_EQ(f->ExtensionList->size(), 1u);  // the empty comment is gone
  const std::string& h = (*f->ExtensionList)[0]->HeaderBytes;
  EXPECT_EQ(static_cast<uint8_t>(h[1]), (1 << 2) | 1);
  EXPECT_EQ(GetLE16(reinterpret_cast<const uint8_t*>(h.data()) + 2), 15);
  EXPECT_EQ(h[4], 2);
  f->TransparentColor = 0x123456;  // not in the table: no transparency
  f->SyncExtensions();
  EXPECT_EQ(static_cast<uint8_t>((*f->ExtensionList)[0]->HeaderBytes[1]) & 1, 0);
  // A frame without a block gets one when it needs it.
  auto bare = FromDib(MakeIndexedDib(RandomPicture(3, 3, 2, 1), 1));
  bare->CoreFrameAt(0)->DelayMs = 20;
  auto back = Read(Write(*bare));
  EXPECT_EQ(back->FormatVersion, 2);
  EXPECT_EQ(back->CoreFrameAt(0)->DelayMs, 20);
}

TEST(GifWrite, TrueColourFramesAreReduced) {
  // 24 bits with few colours: the histogram keeps them exactly.
  const uint32_t colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0x123456};
  std::string dib = Make24Dib(30, 20, [&](int x, int y) { return colors[(x / 3 + y) % 5]; });
  auto img = FromDib(dib);
  auto back = Read(Write(*img));
  const std::string& out = back->CoreFrameAt(0)->DecodedFile();
  DibView v = CheckedDib(out.data(), out.size());
  EXPECT_EQ(v.BitCount, 8);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(v.PixelColor(x, y), colors[(x / 3 + y) % 5]);
  // With grey mapping the grey method is used.
  auto grey = FromDib(dib);
  grey->CoreFrameAt(0)->GrayMapping = true;
  back = Read(Write(*grey));
  const std::string& g = back->CoreFrameAt(0)->DecodedFile();
  DibView gv = CheckedDib(g.data(), g.size());
  EXPECT_EQ(gv.PixelColor(3, 0), 0x959595u);  // pure green -> 149
}
