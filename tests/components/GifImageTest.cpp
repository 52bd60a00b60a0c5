// The GIF picture class: loading through the picture container, drawing with a transparent
// colour, copying between pictures and bitmaps, writing, and the clipboard.
#include <gtest/gtest.h>

#include <filesystem>

#include "GifTestFiles.h"
#include "support/MemoryLimit.h"
#include "components/BitmapUtil.h"
#include "components/ColorReduceBitmap.h"
#include "components/GifImage.h"
#include "platform/ui/Clipbrd.h"

// After the test files: Qt's keywords would clash with their names.
#include <QImage>
#include <QPainter>

using namespace giftest;

namespace {

std::unique_ptr<TGIFImage> Load(const std::string& bytes) {
  auto img = std::make_unique<TGIFImage>();
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  img->LoadFromStream(s);
  return img;
}

std::string Save(TGIFImage& img) {
  TMemoryStream s;
  img.SaveToStream(s);
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// A 4 x 2 picture: row 0 colours 0 1 2 3, row 1 colours 3 2 1 0.
Picture Small() { return Picture{4, 2, {0, 1, 2, 3, 3, 2, 1, 0}}; }

void Fill(TBitmap& b, int w, int h, TColor c) {
  b.SetSize(w, h);
  b.Canvas().Brush().Color = c;
  b.Canvas().FillRect(TRect{0, 0, w, h});
}

}  // namespace

TEST(GifImage, LoadsThroughThePictureContainerAndDraws) {
  std::string file = Builder(4, 2, 2).Control(0, 0, 1).Image(Small(), 0, false).Done();
  auto dir = std::filesystem::temp_directory_path() / "orv_gif_image_test";
  std::filesystem::create_directories(dir);
  std::string path = (dir / "PIC.GIF").string();
  WriteFileBytes(path, file);
  TPicture pic;
  pic.LoadFromFile(path);
  auto* gif = dynamic_cast<TGIFImage*>(pic.Graphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(pic.Width(), 4);
  EXPECT_EQ(pic.Height(), 2);
  EXPECT_EQ(TPicture::FileFormatDescription("GIF"), "CompuServe GIF Image");
  EXPECT_TRUE(gif->Transparent());

  // Keyed: the transparent colour (index 1) shows the background; stretched twice as large.
  TBitmap canvas;
  Fill(canvas, 8, 4, 0x00FF00);
  gif->Draw(canvas.Canvas(), TRect{0, 0, 8, 4});
  EXPECT_EQ(canvas.Pixel(0, 0), TableColorValue(0));
  EXPECT_EQ(canvas.Pixel(2, 0), 0x00FF00u);
  EXPECT_EQ(canvas.Pixel(3, 1), 0x00FF00u);
  EXPECT_EQ(canvas.Pixel(4, 0), TableColorValue(2));
  EXPECT_EQ(canvas.Pixel(5, 3), 0x00FF00u);
  EXPECT_EQ(canvas.Pixel(7, 3), TableColorValue(0));
  // With the transparent flag off the frame is drawn plainly.
  gif->SetTransparent(false);
  Fill(canvas, 4, 2, 0x00FF00);
  gif->Draw(canvas.Canvas(), TRect{0, 0, 4, 2});
  EXPECT_EQ(canvas.Pixel(1, 0), TableColorValue(1));

  TBitmap b;
  LoadGifBitmap(path, b);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Pixel(3, 0), TableColorValue(3));
  EXPECT_THROW(LoadGifBitmap((dir / "none.gif").string(), b), EFOpenError);
  EXPECT_THROW(pic.LoadFromFile((dir / "x.xyz").string()), EInvalidGraphic);
  std::filesystem::remove_all(dir);
}

TEST(GifImage, SizeEmptinessAndErrors) {
  TGIFImage empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_FALSE(empty.Transparent());
  try {
    empty.SetWidth(3);
    ADD_FAILURE();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message, "Cannot change the Size of a GIF image");
  }
  EXPECT_THROW(empty.SetHeight(3), EInvalidGraphicOperation);
  // ActiveBitmap of an empty picture gives it one empty frame.
  EXPECT_TRUE(empty.ActiveBitmap().Empty());
  EXPECT_EQ(empty.FrameCount(), 1);
  EXPECT_EQ(empty.ActiveFrame, 0);
  // A bad file leaves what was read and passes the error on.
  auto img = std::make_unique<TGIFImage>();
  TMemoryStream s;
  s.WriteBuffer("GIF88a", 6);
  s.SetPosition(0);
  EXPECT_THROW(img->LoadFromStream(s), EInvalidGraphicOperation);
  EXPECT_EQ(img->FrameCount(), 0);
  // Loading calls the change handler, also for an empty stream.
  int changes = 0;
  img->OnChange = [&](TObject*) { ++changes; };
  TMemoryStream none;
  img->LoadFromStream(none);
  EXPECT_EQ(changes, 1);
}

TEST(GifImage, KeyedBitmapDrawing) {
  TBitmap src;
  Fill(src, 3, 3, 0x0000FF);
  src.SetPixel(1, 1, 0xFFFFFF);
  src.SetPixel(0, 2, 0x123456);  // bottom-left
  TBitmap dst;
  Fill(dst, 6, 6, 0x00FF00);
  DrawBitmapKeyed(dst.Canvas(), src, 0xFFFFFF, 0, 0);  // width 0: the bitmap's own
  EXPECT_EQ(dst.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(dst.Pixel(1, 1), 0x00FF00u);
  EXPECT_EQ(dst.Pixel(3, 3), 0x00FF00u);  // outside the bitmap's size
  // Twice the size: the hole grows with the picture.
  Fill(dst, 6, 6, 0x00FF00);
  DrawBitmapRectKeyed(dst.Canvas(), 0, 0, 6, 6, TRect{0, 0, 3, 3}, src, 0xFFFFFF);
  EXPECT_EQ(dst.Pixel(2, 2), 0x00FF00u);
  EXPECT_EQ(dst.Pixel(3, 3), 0x00FF00u);
  EXPECT_EQ(dst.Pixel(4, 4), 0x0000FFu);
  EXPECT_EQ(dst.Pixel(0, 5), 0x123456u);
  // clDefault keys on the bottom-left pixel.
  Fill(dst, 3, 3, 0x00FF00);
  DrawBitmapKeyed(dst.Canvas(), src, clDefault, 0, 0);
  EXPECT_EQ(dst.Pixel(0, 2), 0x00FF00u);
  EXPECT_EQ(dst.Pixel(1, 1), 0xFFFFFFu);
  // NoColor copies everything; the bitmap's change handler is quiet meanwhile and back after.
  int changes = 0;
  src.OnChange = [&](TObject*) { ++changes; };
  DrawBitmapKeyed(dst.Canvas(), src, NoColor, 0, 0);
  EXPECT_EQ(dst.Pixel(1, 1), 0xFFFFFFu);
  EXPECT_EQ(changes, 0);
  src.SetPixel(0, 0, 0);
  EXPECT_EQ(changes, 1);
}

TEST(GifImage, CopiesBetweenPicturesAndBitmaps) {
  auto a = Load(Builder(6, 4, 2).Loop(5).Image(Small(), 0, false, Lzw::Deferred, 2, 1).Image(Small(), 0, false).Done());
  a->ActiveFrame = 1;
  TGIFImage b;
  b.Assign(a.get());
  EXPECT_TRUE(b.Equals(a.get()));
  EXPECT_TRUE(a->Equals(&b));
  EXPECT_EQ(b.FrameCount(), 2);
  EXPECT_EQ(b.ActiveFrame, 1);
  EXPECT_TRUE(b.LoopEnabled);
  EXPECT_EQ(b.LoopCount, 5);
  EXPECT_EQ(b.FrameAt(0)->Origin.Left, 2);
  EXPECT_EQ(b.FrameAt(0)->SharedItem, a->FrameAt(0)->SharedItem);
  b.Assign(nullptr);
  EXPECT_EQ(b.FrameCount(), 0);
  EXPECT_EQ(b.ActiveFrame, -1);
  EXPECT_FALSE(b.Equals(a.get()));

  // A bitmap: one frame with a copy, version 1, no raster until written.
  TBitmap bm;
  Fill(bm, 5, 3, 0x336699);
  bm.SetPixel(4, 2, 0x010203);
  b.Assign(&bm);
  ASSERT_EQ(b.FrameCount(), 1);
  EXPECT_EQ(b.FormatVersion, 1);
  EXPECT_EQ(b.FrameAt(0)->SharedItem->RasterData, nullptr);
  EXPECT_EQ(b.Width(), 5);
  std::string bytes = Save(b);
  EXPECT_NE(b.FrameAt(0)->SharedItem->RasterData, nullptr);
  EXPECT_EQ(Save(b), bytes);
  auto back = Load(bytes);
  EXPECT_EQ(back->ActiveBitmap().Pixel(0, 0), 0x336699u);
  EXPECT_EQ(back->ActiveBitmap().Pixel(4, 2), 0x010203u);
  // And out again into a bitmap; an empty picture empties the bitmap.
  TBitmap out;
  out.Assign(back.get());
  EXPECT_EQ(out.Width(), 5);
  EXPECT_EQ(out.Pixel(4, 2), 0x010203u);
  TGIFImage none;
  out.Assign(&none);
  EXPECT_TRUE(out.Empty());
  // A frame from another picture, and a frame into a picture.
  TGIFImage one;
  one.Assign(a->FrameAt(1));
  EXPECT_EQ(one.FrameCount(), 1);
  EXPECT_EQ(one.SharedData->ColorTable.Count, 4);
  EXPECT_EQ(one.FormatVersion, 1);
  EXPECT_EQ(one.AppendFrame(&bm), 1);
  EXPECT_EQ(one.ActiveFrame, 1);
  EXPECT_EQ(one.FormatVersion, 2);
  // Comments travel with frames.
  a->FrameAt(0)->FrameComment().Add("frame note");
  TGIFImage c;
  c.Assign(a.get());
  EXPECT_EQ(c.FrameAt(0)->FrameComment().Text(), "frame note\r\n");
  // Other objects are refused.
  TStringList list;
  EXPECT_THROW(c.Assign(&list), EConvertError);
}

// Transparency goes both ways: a transparent bitmap gives its frame its transparent colour,
// which is written and read back, and a transparent frame copied into a bitmap makes it
// transparent with that colour; the bitmap then draws without those pixels.
TEST(GifImage, TransparencyOfBitmapsAndFrames) {
  TBitmap bm;
  Fill(bm, 4, 3, 0x336699);
  bm.SetPixel(1, 1, 0x00FF00);
  bm.SetPixel(0, 2, 0x0000FF);  // bottom-left
  // The bitmap's own settings, and an assignment carries them.
  EXPECT_FALSE(bm.Transparent());
  EXPECT_EQ(bm.TransparentMode(), tmAuto);
  EXPECT_EQ(bm.TransparentColor(), 0x0000FFu);
  bm.SetTransparentMode(tmFixed);  // keeps the colour it has then
  EXPECT_EQ(bm.TransparentColor(), 0x0000FFu);
  bm.SetPixel(0, 2, 0x112233);
  EXPECT_EQ(bm.TransparentColor(), 0x0000FFu);
  bm.SetTransparentColor(clDefault);
  EXPECT_EQ(bm.TransparentMode(), tmAuto);
  EXPECT_EQ(bm.TransparentColor(), 0x112233u);
  bm.SetTransparentColor(0x00FF00);
  EXPECT_EQ(bm.TransparentMode(), tmFixed);
  bm.SetTransparent(true);
  TBitmap copy;
  copy.Assign(&bm);
  EXPECT_TRUE(copy.Transparent());
  EXPECT_EQ(copy.TransparentMode(), tmFixed);
  EXPECT_EQ(copy.TransparentColor(), 0x00FF00u);

  struct Case { bool transparent; TTransparentMode mode; TColor frameKey; } cases[] = {
      {true, tmFixed, 0x00FF00}, {true, tmAuto, 0x112233}, {false, tmFixed, NoColor}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frameKey);
    bm.SetTransparent(c.transparent);
    if (c.mode == tmAuto) bm.SetTransparentMode(tmAuto);
    else bm.SetTransparentColor(0x00FF00);
    TGIFImage gif;
    gif.Assign(&bm);
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.FrameAt(0)->TransparentColor, c.frameKey);
    EXPECT_EQ(gif.Transparent(), c.transparent);
    // Written and read back, then copied into a bitmap.
    auto back = Load(Save(gif));
    EXPECT_EQ(back->FrameAt(0)->TransparentColor, c.frameKey);
    TBitmap out;
    out.Assign(back.get());
    EXPECT_EQ(out.Transparent(), c.transparent);
    EXPECT_EQ(out.Pixel(1, 1), 0x00FF00u);
    if (!c.transparent) continue;
    EXPECT_EQ(out.TransparentMode(), tmFixed);
    EXPECT_EQ(out.TransparentColor(), c.frameKey);
    TBitmap ground;
    Fill(ground, 4, 3, 0xABCDEF);
    ground.Canvas().Draw(0, 0, out);
    EXPECT_EQ(ground.Pixel(0, 0), 0x336699u);
    EXPECT_EQ(ground.Pixel(c.mode == tmFixed ? 1 : 0, c.mode == tmFixed ? 1 : 2), 0xABCDEFu);
  }
}

TEST(GifImage, ClipboardRoundTrip) {
  TClipboard& clip = Clipboard();
  clip.Clear();
  TBitmap bm;
  Fill(bm, 3, 2, 0x445566);
  TGIFImage fresh;
  fresh.Assign(&bm);
  TClipboardFormat fmt = 0;
  std::string data;
  uintptr_t pal = 1;
  fresh.SaveToClipboardFormat(fmt, data, pal);
  EXPECT_EQ(fmt, static_cast<TClipboardFormat>(CF_BITMAP));
  EXPECT_FALSE(clip.HasFormat(GifClipboardFormat()));  // no raster yet: the bitmap only

  auto gif = Load(Builder(4, 2, 2).Image(Small(), 0, false).Image(Small(), 0, true).Done());
  clip.Open();
  gif->SaveToClipboardFormat(fmt, data, pal);
  TBitmap shown;
  LoadBitmapFromDib(shown, data);
  clip.SetBitmap(shown);
  clip.Close();
  ASSERT_TRUE(clip.HasFormat(GifClipboardFormat()));
  TPicture pic;
  pic.LoadFromClipboardFormat(GifClipboardFormat(), "", 0);
  auto* got = dynamic_cast<TGIFImage*>(pic.Graphic());
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->FrameCount(), 2);
  EXPECT_EQ(got->ActiveFrame, 0);
  ASSERT_NE(got->FrameAt(0)->DecodedBitmap(), nullptr);
  EXPECT_EQ(got->FrameAt(0)->DecodedBitmap()->Pixel(1, 0), TableColorValue(1));

  // Only a bitmap on the clipboard: one frame with it.
  clip.Clear();
  clip.SetBitmap(bm);
  TGIFImage fromBitmap;
  fromBitmap.LoadFromClipboardFormat(CF_BITMAP, "", 0);
  ASSERT_EQ(fromBitmap.FrameCount(), 1);
  EXPECT_EQ(fromBitmap.ActiveBitmap().Pixel(2, 1), 0x445566u);
  clip.Clear();
}

TEST(GifImage, ProgressReachesTheHandler) {
  auto img = Load(Builder(40, 40, 8).Image(RandomPicture(40, 40, 256, 4), 0, false).Image(RandomPicture(40, 40, 256, 5), 0, false).Done());
  std::vector<int> stages;
  img->OnProgress = [&](TObject* sender, int stage, int, bool redraw, const TRect& r, const std::string&) {
    EXPECT_EQ(sender, img.get());
    EXPECT_FALSE(redraw);
    EXPECT_EQ(r, (TRect{0, 0, 0, 0}));
    stages.push_back(stage);
  };
  img->FrameAt(1)->FrameBitmap();
  ASSERT_GE(stages.size(), 3u);
  EXPECT_EQ(stages.front(), 0);
  EXPECT_EQ(stages[1], 1);
  EXPECT_EQ(stages.back(), 2);
}

TEST(ColorReduceBitmap, BitmapsReduceTo8Bits) {
  TBitmap bm;
  Fill(bm, 4, 4, 0x0000FF);
  auto s = ReduceBitmapToStream(bm, pf8bit, crTrunc666);
  DibView v = CheckedDib(s->Memory(), static_cast<size_t>(s->Size()));
  EXPECT_EQ(v.BitCount, 8);
  EXPECT_EQ(v.PixelIndex(0, 0), 180);
  auto same = ReduceBitmap(bm, 1 << 24);  // 24 bits: the bitmap's own depth
  DibView sv = CheckedDib(same->Memory(), static_cast<size_t>(same->Size()));
  EXPECT_EQ(sv.BitCount, 24);
  TBitmap empty;
  EXPECT_THROW(ReduceBitmapToStream(empty, pf8bit, crHistogram), EInvalidGraphic);
}

namespace {

// A picture that a bitmap cannot take directly, as an icon: it only draws itself.
class TDrawOnlyPicture : public TGraphic {
 public:
  void Draw(TCanvas& C, const TRect& R) override {
    C.Brush().Color = 0x0000FF;
    C.FillRect(TRect{R.Left + 1, R.Top + 1, R.Left + 2, R.Top + 2});
  }
  bool Empty() override { return false; }
  int Width() override { return 3; }
  int Height() override { return 2; }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  void LoadFromClipboardFormat(TClipboardFormat, const std::string&, uintptr_t) override {}
  void SaveToClipboardFormat(TClipboardFormat&, std::string&, uintptr_t&) override {}
  void ReadData(TStream&) override {}
  void WriteData(TStream&) override {}
};

}  // namespace

TEST(GifImage, PicturesABitmapCannotTakeAreDrawnIntoTheFrame) {
  TDrawOnlyPicture icon;
  icon.SetTransparent(true);
  TGIFImage gif;
  gif.AppendFrame(&icon);
  TBitmap& b = gif.ActiveBitmap();
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF00FFu);
  EXPECT_EQ(b.Pixel(1, 1), 0x0000FFu);
  EXPECT_EQ(gif.FrameAt(0)->TransparentColor, 0xFF00FFu);
  // Written and read back, the key colour stays transparent.
  auto back = Load(Save(gif));
  EXPECT_EQ(back->FrameAt(0)->TransparentColor, 0xFF00FFu);
  TBitmap canvas;
  Fill(canvas, 3, 2, 0x00FF00);
  back->Draw(canvas.Canvas(), TRect{0, 0, 3, 2});
  EXPECT_EQ(canvas.Pixel(0, 0), 0x00FF00u);
  EXPECT_EQ(canvas.Pixel(1, 1), 0x0000FFu);
}

// A picture's budget counts the bytes its decoded frames hold: the bitmap file and the 32-bit
// image the bitmap makes of it. Five 8192 x 4096 frames of one bit in a few dozen bytes:
// three fit, the fourth is refused though its pixels would still be within their budget.
TEST(GifImage, DecodedFramesAreHeldToTheBytesTheyTake) {
  std::string five = Builder(8192, 4096, 1).F;
  for (int i = 0; i < 5; ++i) five += ImageBlock(8192, 4096, RasterOfCodes({4, 5}));
  five += ";";
  EXPECT_LT(five.size(), 200u);
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
              auto gif = Load(five);
              if (gif->FrameCount() != 5) return 1;
              int decoded = 0;
              try {
                for (; decoded < gif->FrameCount(); ++decoded) gif->FrameAt(decoded)->FrameBitmap();
                return 2;
              } catch (const EOutOfMemory&) {
              }
              if (decoded != 3 || gif->DecodedBytes > MaxPictureBytes) return 3;
              if (gif->FrameAt(2)->FrameBitmap().Width() != 8192) return 4;
              return 0;
            }),
            0);
}

TEST(GifImage, AbortWhileEncodingLeavesTheFrameFresh) {
  TBitmap bm;
  Fill(bm, 8, 8, 0x102030);
  TGIFImage gif;
  gif.Assign(&bm);
  gif.FrameAt(0)->DelayMs = 70;
  gif.OnProgress = [](TObject*, int stage, int, bool, const TRect&, const std::string&) {
    if (stage == 1) Abort();
  };
  TMemoryStream s;
  EXPECT_THROW(gif.SaveToStream(s), EAbort);
  EXPECT_EQ(gif.FrameAt(0)->SharedItem->RasterData, nullptr);
  EXPECT_EQ(gif.FrameAt(0)->DelayMs, 0);
  EXPECT_EQ(s.Size(), 0);
}

// A length in front of GIF data (component streaming, the "GIF Image" clipboard format)
// claiming more than follows is refused before anything is reserved for it.
TEST(GifImage, LengthPrefixesAreHeldAgainstTheData) {
  std::string gif = Builder(1, 1, 1).Done();
  std::string claim;
  Put32(claim, 0xF0000000u);
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
              TGIFImage img;
              TMemoryStream s;
              s.WriteBuffer((claim + gif).data(), static_cast<int64_t>(claim.size() + gif.size()));
              s.SetPosition(0);
              try {
                img.ReadData(s);
                return 1;
              } catch (const EReadError&) {
              }
              Clipboard().Clear();
              Clipboard().SetData(GifClipboardFormat(), claim + gif);
              try {
                img.LoadFromClipboardFormat(GifClipboardFormat(), "", 0);
                return 2;
              } catch (const EReadError&) {
              }
              return 0;
            }),
            0);
}

// Bitmap files whose headers describe more than they hold or than a picture may take.
TEST(GifImage, BitmapFilesAreCheckedBeforeThePictureIsMade) {
  const uint8_t palette[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  struct Case {
    const char* what;
    int W, H;
    bool Refused;
  } cases[] = {
      {"no columns, a million rows", 0, 1000000, false},
      {"65536 x 1025 at one bit: 8 MB of file, 67 million pixels", 65536, 1025, true},
      {"an honest 9 x 3", 9, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string dib = MakeDibFile(c.W, c.H, 1, palette, 2);
    TBitmap b;
    if (c.Refused) {
      EXPECT_THROW(LoadBitmapFromDib(b, dib), EOutOfMemory);
      continue;
    }
    LoadBitmapFromDib(b, dib);
    EXPECT_EQ(b.Width(), c.H ? c.W : 0);
    EXPECT_EQ(b.Height(), c.W ? c.H : 0);
  }
}

// A frame takes the picture of the frame it is assigned from, decoded or not.
TEST(GifImage, AFrameAssignedFromAnUndecodedFrameShowsItsRaster) {
  TBitmap big;
  Fill(big, 100, 100, 0x0000FF);
  TGIFImage target;
  target.Assign(&big);
  auto source = Load(Builder(64, 48, 2).Image(RandomPicture(64, 48, 4, 3), 0, false)
                         .Image(RandomPicture(64, 48, 4, 4), 0, false).Done());
  ASSERT_EQ(source->FrameAt(1)->DecodedBitmap(), nullptr);
  target.FrameAt(0)->Assign(source->FrameAt(1));
  EXPECT_EQ(target.Width(), 64);
  EXPECT_EQ(target.Height(), 48);
  EXPECT_EQ(target.ActiveBitmap().Pixel(5, 7), source->FrameAt(1)->FrameBitmap().Pixel(5, 7));
  EXPECT_EQ(target.LogicalWidth, 64);
}

// A painter canvas (printer page, PDF) draws a transparent GIF as the screen does.
TEST(GifImage, TransparentPicturesDrawTheSameOnAPainterCanvas) {
  auto gif = Load(Builder(4, 2, 2).Control(0, 0, 1).Image(Small(), 0, false).Done());
  ASSERT_TRUE(gif->Transparent());
  TBitmap screen;
  Fill(screen, 12, 6, 0x00FF00);
  gif->Draw(screen.Canvas(), TRect{2, 1, 10, 5});

  QImage page(12, 6, QImage::Format_RGB32);
  page.fill(QColor(0, 255, 0));
  {
    QPainter painter(&page);
    TCanvas canvas;
    canvas.SetPainter(&painter);
    gif->Draw(canvas, TRect{2, 1, 10, 5});
  }
  TBitmap printed;
  printed.SetImage(page);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(printed.Pixel(x, y), screen.Pixel(x, y)) << x << "," << y;
  EXPECT_EQ(printed.Pixel(4, 1), 0x00FF00u);  // index 1: see-through
  EXPECT_EQ(printed.Pixel(2, 1), TableColorValue(0));
}
