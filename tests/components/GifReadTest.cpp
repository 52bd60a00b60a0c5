// Reading GIF files: structure, frames, extensions, LZW decoding, and damaged input.
#include <gtest/gtest.h>

#include <random>

#include "GifTestFiles.h"
#include "support/MemoryLimit.h"
#include "components/GifFile.h"

using namespace giftest;

namespace {

std::unique_ptr<TGifImageCore> Load(const std::string& bytes, bool decodeFirst = true) {
  return LoadCore(bytes, decodeFirst);
}

void ExpectPicture(const Picture& want, const std::string& dib) {
  Picture got = DibIndices(dib);
  ASSERT_EQ(got.Width, want.Width);
  ASSERT_EQ(got.Height, want.Height);
  for (int y = 0; y < want.Height; ++y)
    for (int x = 0; x < want.Width; ++x)
      ASSERT_EQ(got.At(x, y), want.At(x, y)) << "pixel " << x << "," << y;
}

template <typename E>
std::string MessageOf(const std::string& bytes) {
  try {
    Load(bytes);
  } catch (const E& e) {
    return e.Message;
  }
  return "(nothing raised)";
}

}  // namespace

// Table sizes and the bitmap depth they decode to, interlaced and plain, dictionary and
// literal codes; the 256-colour cases run the code width up to 12 bits and on with a full
// table.
TEST(GifRead, DecodesPicturesOfEveryDepthAndOrder) {
  struct Case {
    int W, H, Bits, Runs;
    bool Interlaced;
    Lzw Mode;
    int WantBitCount;
  } cases[] = {
      {13, 7, 1, 1, false, Lzw::Deferred, 1},   {9, 5, 2, 3, true, Lzw::Deferred, 4},
      {17, 17, 4, 2, true, Lzw::Literal, 4},    {31, 3, 5, 1, false, Lzw::Deferred, 8},
      {200, 150, 8, 1, false, Lzw::Deferred, 8}, {123, 77, 8, 4, true, Lzw::Deferred, 8},
      {40, 40, 8, 1, false, Lzw::Literal, 8},   {1, 1, 1, 1, true, Lzw::Deferred, 1},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " bits " << c.Bits);
    Picture p = RandomPicture(c.W, c.H, 1 << c.Bits, seed++, c.Runs);
    auto img = Load(Builder(c.W, c.H).Image(p, c.Bits, c.Interlaced, c.Mode).Done());
    ASSERT_EQ(img->FrameCount(), 1);
    const std::string& dib = img->CoreFrameAt(0)->DecodedFile();
    DibView v = CheckedDib(dib.data(), dib.size());
    EXPECT_EQ(v.BitCount, c.WantBitCount);
    EXPECT_EQ(v.PixelColor(0, 0), TableColorValue(p.At(0, 0)));
    ExpectPicture(p, dib);
    EXPECT_FALSE(img->CoreFrameAt(0)->Damaged);
  }
}

TEST(GifRead, InterlacedSmallHeightsDecodeEveryRowOnce) {
  for (int h : {1, 2, 3, 4, 5, 8, 9}) {
    SCOPED_TRACE(h);
    Picture p = RandomPicture(3, h, 4, 100 + h);
    try {
      auto img = Load(Builder(3, h).Image(p, 2, true).Done());
      ExpectPicture(p, img->CoreFrameAt(0)->DecodedFile());
    } catch (const Exception& e) {
      ADD_FAILURE() << e.Message;
    }
  }
}

TEST(GifRead, FramesTablesAndScreen) {
  Picture a = RandomPicture(10, 6, 4, 7), b = RandomPicture(5, 9, 16, 8);
  std::string f = Builder(12, 8, 2, "gif89A", 3)
                      .Control(10, 2, 1)
                      .Image(a, 0, false)
                      .Raw(std::string(3, '\0'))  // zero bytes between blocks are skipped
                      .Image(b, 4, false, Lzw::Deferred, 7, 2)
                      .Done();
  auto img = Load(f);
  EXPECT_EQ(img->FormatVersion, 2);
  EXPECT_EQ(img->LogicalWidth, 12);
  EXPECT_EQ(img->LogicalHeight, 8);
  EXPECT_EQ(img->BackColor, TableColorValue(3));
  EXPECT_EQ(img->ActiveFrame, 0);
  ASSERT_EQ(img->FrameCount(), 2);
  TGifFrameCore* f0 = img->CoreFrameAt(0);
  TGifFrameCore* f1 = img->CoreFrameAt(1);
  EXPECT_FALSE(f0->HasLocalTable);
  EXPECT_EQ(f0->SharedItem->ColorTable.Count, 4);
  EXPECT_EQ(f0->TransparentColor, TableColorValue(1));
  EXPECT_EQ(f0->DelayMs, 100);
  EXPECT_EQ(f0->DisposalMethod, 2);
  EXPECT_TRUE(f0->HasDecoded());
  EXPECT_FALSE(f1->HasDecoded());  // later frames wait until asked for
  EXPECT_TRUE(f1->HasLocalTable);
  EXPECT_EQ(f1->Origin.Left, 7);
  EXPECT_EQ(f1->Origin.Top, 2);
  EXPECT_EQ(f1->TransparentColor, NoColor);
  ExpectPicture(a, f0->DecodedFile());
  ExpectPicture(b, f1->DecodedFile());
  img->RecomputeLogicalSize();
  EXPECT_EQ(img->LogicalWidth, 12);
  EXPECT_EQ(img->LogicalHeight, 11);
  EXPECT_THROW(img->CoreFrameAt(2), EListError);
}

TEST(GifRead, ExtensionRules) {
  Picture p = RandomPicture(4, 4, 4, 3);
  // Two control blocks: the larger delay wins, disposal and transparency come from the last;
  // an index at or above the table's count leaves no transparent colour.
  auto img = Load(Builder(4, 4, 2).Control(50, 1, 2).Control(20, 3, 9).Image(p, 0, false).Done());
  TGifFrameCore* f = img->CoreFrameAt(0);
  EXPECT_EQ(f->DelayMs, 500);
  EXPECT_EQ(f->DisposalMethod, 3);
  EXPECT_EQ(f->TransparentColor, TableColorValue(2));
  img = Load(Builder(4, 4, 2).Control(0, 0, 4).Image(p, 0, false).Done());
  EXPECT_EQ(img->CoreFrameAt(0)->TransparentColor, NoColor);
  // A delay past the 16-bit milliseconds is the longest one, not wrapped round to 34 s.
  img = Load(Builder(4, 4, 2).Control(10000, 0, 4).Control(7000, 0, 4).Image(p, 0, false).Done());
  EXPECT_EQ(img->CoreFrameAt(0)->DelayMs, 65535);

  // A plain-text block drops what was gathered before it in the run.
  img = Load(Builder(4, 4, 2).Control(5, 0, 1).Comment({"x"}).PlainText().Image(p, 0, false).Done());
  EXPECT_EQ(img->CoreFrameAt(0)->ExtensionList, nullptr);
  EXPECT_EQ(img->CoreFrameAt(0)->DelayMs, 0);

  // Loop counts: as given, capped at 30000.
  struct { int In, Out; } loops[] = {{0, 0}, {3, 3}, {40000, 30000}};
  for (auto l : loops) {
    img = Load(Builder(4, 4, 2).Loop(l.In).Image(p, 0, false).Done());
    EXPECT_TRUE(img->LoopEnabled);
    EXPECT_EQ(img->LoopCount, l.Out);
  }

  // Comments after the last image become the file comment, blocks separated by one line.
  img = Load(Builder(4, 4, 2).Image(p, 0, false).Comment({"ab", "cd"}).Comment({"ef"}).Done());
  const TStringList& c = img->SharedData->CommentLines;
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(c[0], "ab");
  EXPECT_EQ(c[1], "cd");
  EXPECT_EQ(c[2], "\r\n\r\n");
  EXPECT_EQ(c[3], "ef");

  // Width and height 0 take the screen's size.
  Picture full = RandomPicture(6, 5, 4, 9);
  img = Load(Builder(6, 5, 2).Image(full, 0, false, Lzw::Deferred, 0, 0, -1, true, 0, 0).Done());
  EXPECT_EQ(img->CoreFrameAt(0)->SharedItem->FrameWidth, 6);
  EXPECT_EQ(img->CoreFrameAt(0)->SharedItem->FrameHeight, 5);
  ExpectPicture(full, img->CoreFrameAt(0)->DecodedFile());
}

TEST(GifRead, FileLevelOutcomes) {
  Picture p = RandomPicture(4, 4, 4, 3);
  // Nothing to read: an empty picture.
  auto img = Load("");
  EXPECT_EQ(img->FrameCount(), 0);
  EXPECT_EQ(img->ActiveFrame, -1);
  // A stray byte where a block should start ends reading with the frames so far.
  img = Load(Builder(4, 4, 2).Image(p, 0, false).Raw("X").Image(p, 0, false).Done());
  EXPECT_EQ(img->FrameCount(), 1);
  // Signatures.
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>(Builder(4, 4, 2, "GIF88a").Done()), "Unknown GIF version");
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>("PNG89a"), "Unknown GIF version");
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>("GI"), "Unknown GIF version");
  EXPECT_EQ(Load(Builder(4, 4, 2, "gif87A").Image(p, 0, false).Done())->FormatVersion, 1);
  // Unknown extension label.
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>(Builder(4, 4, 2).Raw("\x21\x42\x00").Done()),
            "Unrecognized extension block: 42");
  // A stray byte after extensions once the file comment is set.
  EXPECT_EQ(MessageOf<EReadError>(Builder(4, 4, 2).Image(p, 0, false).Comment({"a"}).Raw(std::string("!\xFE\x01z\x00Q", 6)).Done()),
            "Stream read error");
  // A short image descriptor or local table.
  EXPECT_EQ(MessageOf<EReadError>(Builder(4, 4, 2).Raw(",\x01\x02").F), "Stream read error");
  // The stream must hold the bytes the caller counts.
  TGifImageCore core;
  TMemoryStream s;
  s.WriteBuffer("GIF89a", 6);
  s.SetPosition(0);
  EXPECT_THROW(core.LoadGifData(10, s, true), EReadError);
  // Frames without any colour table cannot be given a bitmap depth.
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>(Builder(4, 4).Image(p, 0, false, Lzw::Deferred, 0, 0, 2).Done()),
            "Wrong number of colors; must be a power of 2");
}

TEST(GifRead, DamagedRasters) {
  Picture p = RandomPicture(8, 8, 4, 11);
  // A code size of 1 or 12: damaged, at most one pixel decoded, the rest palette index 0.
  for (int size : {1, 12}) {
    SCOPED_TRACE(size);
    std::string raster = EncodeRaster(p, 2, false, Lzw::Deferred);
    raster[0] = static_cast<char>(size);
    auto img = Load(Builder(8, 8, 2).Raw(",").Raw(std::string("\0\0\0\0\x08\0\x08\0\0", 9)).Raw(raster).Done());
    TGifFrameCore* f = img->CoreFrameAt(0);
    EXPECT_TRUE(f->Damaged);
    Picture got = DibIndices(f->DecodedFile());
    int nonzero = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) nonzero += (got.At(x, y) != 0) && !(x == 0 && y == 0);
    EXPECT_EQ(nonzero, 0);
  }
  // No end code: the decoder runs out of data. As frame 0 during loading the load fails and
  // the frame is removed; a later frame fails when it is decoded.
  std::string noEnd = Builder(8, 8, 2).Image(p, 0, false, Lzw::Deferred, 0, 0, -1, false).Done();
  EXPECT_EQ(MessageOf<EReadError>(noEnd), "Stream read error");
  TGifImageCore core;
  TMemoryStream s;
  s.WriteBuffer(noEnd.data(), static_cast<int64_t>(noEnd.size()));
  s.SetPosition(0);
  EXPECT_THROW(core.LoadGifData(s.Size(), s, true), EReadError);
  EXPECT_EQ(core.FrameCount(), 0);
  auto two = Load(Builder(8, 8, 2).Image(p, 0, false).Image(p, 0, false, Lzw::Deferred, 0, 0, -1, false).Done());
  EXPECT_THROW(two->CoreFrameAt(1)->DecodedFile(), EReadError);
  // A sub-block running past the end of the file: flagged, the rows decoded so far kept.
  std::string cut = Builder(8, 8, 2).Image(p, 0, false).F;
  cut.resize(cut.size() - 4);
  auto img = Load(cut, false);
  EXPECT_TRUE(img->CoreFrameAt(0)->Damaged);
  EXPECT_THROW(img->CoreFrameAt(0)->DecodedFile(), EReadError);
  // Without tolerance the same file is refused while reading.
  TolerateDamage = false;
  EXPECT_THROW(Load(cut, false), EReadError);
  TolerateDamage = true;
}

// Codes that point at themselves through the table: a corrupt chain ends the decoding
// instead of running away.
TEST(GifRead, CorruptCodeChainsStayBounded) {
  // Code size 2: clear, then codes that are defined only through each other.
  std::string raster("\x02", 1);
  std::string bits;
  // A run of codes equal to next-free (KwKwK) followed by wild codes, at 3 bits then 4.
  uint32_t acc = 0;
  int held = 0;
  auto put = [&](int code, int w) {
    acc |= static_cast<uint32_t>(code) << held;
    held += w;
    while (held >= 8) {
      bits.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      held -= 8;
    }
  };
  put(4, 3);
  for (int i = 0; i < 200; ++i) put(i % 2 ? 7 : 6, i < 2 ? 3 : 4);
  if (held) bits.push_back(static_cast<char>(acc & 0xFF));
  raster.push_back(static_cast<char>(bits.size()));
  raster += bits;
  raster.push_back('\0');
  std::string f = Builder(64, 64, 2).Raw(",").Raw(std::string("\0\0\0\0\x40\0\x40\0\0", 9)).Raw(raster).Done();
  // Whatever the chain gives, reading ends with a flagged frame or a read error, never a hang.
  try {
    auto img = Load(f);
    (void)img;
  } catch (const Exception&) {
  }
  TolerateDamage = false;
  try {
    Load(f);
  } catch (const Exception&) {
  }
  TolerateDamage = true;
}

// Random damage to good files: every outcome is a picture or a library exception.
TEST(GifRead, RandomDamageIsRefusedCleanly) {
  Picture a = RandomPicture(37, 23, 16, 5, 3), b = RandomPicture(20, 30, 256, 6, 2);
  std::string good = Builder(40, 40, 4)
                         .Loop(2)
                         .Control(10, 1, 3)
                         .Image(a, 0, true)
                         .Comment({"note"})
                         .Image(b, 8, false, Lzw::Deferred, 3, 4)
                         .Done();
  std::mt19937 rng(12345);
  int loaded = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string f = good;
    switch (round % 3) {
      case 0: f.resize(rng() % f.size()); break;
      case 1:
        for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
          f[rng() % f.size()] = static_cast<char>(rng());
        break;
      default:
        for (int k = 0; k < 8; ++k) f[6 + rng() % (f.size() - 6)] ^= static_cast<char>(1 << (rng() % 8));
        break;
    }
    try {
      auto img = Load(f);
      for (int i = 0; i < img->FrameCount(); ++i) img->CoreFrameAt(i)->DecodedFile();
      img->RecomputeLogicalSize();
      ++loaded;
    } catch (const Exception&) {
      ++refused;
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

TEST(GifRead, OversizedFramesAreRefusedBeforeAllocating) {
  Picture p = RandomPicture(2, 2, 4, 1);
  std::string f = Builder(2, 2, 2).Image(p, 0, false, Lzw::Deferred, 0, 0, -1, true, 65535, 65535).Done();
  EXPECT_THROW(Load(f), EOutOfMemory);
}

TEST(GifRead, SimpleEntryPoint) {
  Picture p = RandomPicture(9, 4, 16, 21);
  std::string f = Builder(9, 4).Image(p, 4, false).Done();
  TMemoryStream s;
  s.WriteBuffer(f.data(), static_cast<int64_t>(f.size()));
  s.SetPosition(0);
  ExpectPicture(p, GifToBitmapFile(s));
  TMemoryStream empty;
  empty.WriteBuffer("GIF89a\0\0\0\0\0\0\0;", 14);
  empty.SetPosition(0);
  EXPECT_THROW(GifToBitmapFile(empty), EInvalidGraphic);
}

namespace {

// A GIF whose one frame is w x h with the raster given, over a 4-colour global table.
std::string WithRaster(int w, int h, const std::string& raster) {
  return Builder(w, h, 2).Raw(ImageBlock(w, h, raster)).Done();
}

}  // namespace

// Clear (4) and end (5) codes at code size 2: a clear that follows a clear, or an end code
// that follows a clear, is no pixel.
TEST(GifRead, ClearCodesRightAfterAClearAreNoPixels) {
  struct Case {
    const char* what;
    std::string raster;
    std::vector<uint8_t> want;
  } cases[] = {
      {"one clear", RasterOfCodes({4, 1, 2, 3, 5}), {1, 2, 3}},
      {"two clears", RasterOfCodes({4, 4, 1, 2, 3, 5}), {1, 2, 3}},
      {"three clears", RasterOfCodes({4, 4, 4, 1, 2, 3, 5}), {1, 2, 3}},
      {"clear, end", RasterOfCodes({4, 1, 4, 5}), {1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto img = Load(WithRaster(3, 1, c.raster));
    Picture got = DibIndices(img->CoreFrameAt(0)->DecodedFile());
    EXPECT_EQ(got.Pixels, c.want);
    EXPECT_FALSE(img->CoreFrameAt(0)->Damaged);
  }
}

// Sizes and counts from the file are held against the data and the budgets before anything
// is allocated for them; what does not fit is EReadError or EOutOfMemory, never bad_alloc.
TEST(GifRead, HostileSizesAreRefusedBeforeAllocating) {
  // A length in front of the data claiming far more than follows (the component-streaming
  // and clipboard form).
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [] {
              TGifImageCore core;
              std::string bytes = Builder(1, 1, 1).Done();
              TMemoryStream s;
              s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
              s.SetPosition(0);
              try {
                core.LoadGifData(0xF0000000LL, s, true);
              } catch (const EReadError&) {
                return 0;
              }
              return 1;
            }),
            0);
  // 200 frames of 8192 x 8192 in a few kilobytes: each fits the frame budget, but the
  // picture holds no more decoded frames than its budget, and gives back what a frame held.
  std::string many = Builder(8192, 8192, 1).F;
  for (int i = 0; i < 200; ++i) many += ImageBlock(8192, 8192, RasterOfCodes({4, 5}));
  many += ";";
  EXPECT_LT(many.size(), 4000u);
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
              auto img = Load(many, false);
              if (img->FrameCount() != 200) return 1;
              int decoded = 0;
              try {
                for (; decoded < img->FrameCount(); ++decoded) img->CoreFrameAt(decoded)->DecodedFile();
                return 2;
              } catch (const EOutOfMemory&) {
              }
              if (decoded != MaxPicturePixels / (8192 * 8192) || img->DecodedPixels > MaxPicturePixels) return 3;
              img->FrameList.erase(img->FrameList.begin());
              img->CoreFrameAt(decoded - 1)->DecodedFile();  // room again
              img->ResetImage();
              return img->DecodedPixels == 0 ? 0 : 4;
            }),
            0);

  // More images than a picture takes: refused, the frames before kept.
  std::string frame = ImageBlock(1, 1, RasterOfCodes({4, 1, 5}));
  std::string crowd = Builder(1, 1, 2).F;
  for (int i = 0; i <= MaxGifFrames; ++i) crowd += frame;
  TGifImageCore core;
  TMemoryStream s;
  s.WriteBuffer(crowd.data(), static_cast<int64_t>(crowd.size()));
  s.SetPosition(0);
  EXPECT_THROW(core.LoadGifData(s.Size(), s, false), EOutOfMemory);
  EXPECT_EQ(core.FrameCount(), MaxGifFrames);
}
