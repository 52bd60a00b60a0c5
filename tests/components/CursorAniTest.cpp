// Animated cursors, icons, icon lists and the start-up cursors, over icon and RIFF files
// built here: frames with hot spots and rates, sequence positions, refusals of bad files,
// damaged files that end quietly, the hand-over to icons, bitmaps and icon lists, and the
// icon list's stream form.
#include <gtest/gtest.h>

#include <string>

#include "LittleEndian.h"
#include "RiffFile.h"
#include "support/MemoryLimit.h"
#include "components/BitmapUtilCore.h"
#include "components/Cursors.h"
#include "components/CursorsAni.h"
#include "components/CursorsIconList.h"
#include "components/GifImage.h"
#include "platform/core/FakeServices.h"
#include "platform/core/Streams.h"
#include "platform/gfx/Bitmap.h"

namespace {

// A one-image icon (type 1) or cursor (type 2) file of w x w pixels with 4 bits per pixel,
// the left half in palette entry 1 (colour rgb), the right half in entry 0 (black), and the
// left column masked out.
std::string IconFile(uint16_t type, int w, uint32_t rgb, uint16_t hotX = 0, uint16_t hotY = 0) {
  int xorStride = ((w * 4 + 31) / 32) * 4, andStride = ((w + 31) / 32) * 4;
  std::string img;
  Put32(img, 40); Put32(img, static_cast<uint32_t>(w)); Put32(img, static_cast<uint32_t>(2 * w));
  Put16(img, 1); Put16(img, 4);
  for (int i = 0; i < 6; ++i) Put32(img, 0);
  for (int i = 0; i < 16; ++i) Put32(img, i == 1 ? (((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF)) : 0);
  for (int y = 0; y < w; ++y)
    for (int b = 0; b < xorStride; ++b) img += static_cast<char>(b < w / 4 ? 0x11 : 0);
  for (int y = 0; y < w; ++y)
    for (int b = 0; b < andStride; ++b) img += static_cast<char>(b == 0 ? 0x80 : 0);
  std::string f;
  Put16(f, 0); Put16(f, type); Put16(f, 1);
  f += static_cast<char>(w); f += static_cast<char>(w); f += static_cast<char>(16); f += '\0';
  Put16(f, type == 2 ? hotX : 1); Put16(f, type == 2 ? hotY : 4);
  Put32(f, static_cast<uint32_t>(img.size())); Put32(f, 22);
  return f + img;
}

std::string Anih(uint32_t frames, uint32_t steps, uint32_t rate, uint32_t flags = 1) {
  std::string d;
  for (uint32_t v : {36u, frames, steps, 0u, 0u, 0u, 0u, rate, flags}) Put32(d, v);
  return Chunk("anih", d);
}

std::string U32s(std::initializer_list<uint32_t> vs) {
  std::string d;
  for (uint32_t v : vs) Put32(d, v);
  return d;
}

std::string Fram(std::initializer_list<std::string> icons) {
  std::string d = "fram";
  for (const std::string& i : icons) d += Chunk("icon", i);
  return Chunk("LIST", d);
}

std::string Info(const std::string& title, const std::string& artist) {
  return Chunk("LIST", "INFO" + Chunk("INAM", title) + Chunk("IART", artist));
}

TEST(AnimatedCursor, FramesHotSpotsRatesAndInfo) {
  std::string file = Riff(Anih(2, 2, 10) + Info("Busy", "Orvelane") +
                          Chunk("rate", U32s({7, 8})) + Chunk("rate", U32s({9})) +
                          Fram({IconFile(2, 16, 0x0000FF, 3, 5), IconFile(1, 16, 0x00FF00)}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(file.data(), file.size());
  ASSERT_EQ(ani.FrameCount(), 2);
  EXPECT_EQ(ani.Title(), "Busy");
  EXPECT_EQ(ani.Creator(), "Orvelane");
  EXPECT_EQ(ani.FrameColors(), 16);
  EXPECT_EQ(ani.Header().Steps, 2u);
  // A rate chunk is read whole, one value per frame; a further chunk goes on where it ended
  // and has no frame left here.
  EXPECT_EQ(ani.Frames(0)->Rate, 7);
  EXPECT_EQ(ani.Frames(1)->Rate, 8);
  // A cursor keeps its hot spot; an icon gets its centre.
  EXPECT_FALSE(ani.Frames(0)->IsIcon);
  EXPECT_EQ(ani.Frames(0)->HotSpot.X, 3);
  EXPECT_EQ(ani.Frames(0)->HotSpot.Y, 5);
  EXPECT_TRUE(ani.Frames(1)->IsIcon);
  EXPECT_EQ(ani.Frames(1)->HotSpot.X, 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ani.Frames(0)->ChunkHeader), 4), "icon");
  // The cursor frame's picture loads as an icon.
  EXPECT_EQ(ani.Frames(0)->Icon()->ResourceType(), 1);
  EXPECT_NE(ani.Frames(0)->Icon(), ani.Frames(1)->Icon());
}

TEST(AnimatedCursor, SequenceAndExtraIcons) {
  // Three steps over one picture shown twice: frames 0 and 2 show icon 0, each its own copy.
  std::string seq = Riff(Anih(3, 3, 4) + Chunk("seq ", U32s({0})) + Chunk("seq ", U32s({1})) +
                         Chunk("seq ", U32s({0})) + Fram({IconFile(1, 16, 0xFF0000), IconFile(1, 16, 0x00FF00)}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(seq.data(), seq.size());
  ASSERT_EQ(ani.FrameCount(), 3);
  EXPECT_NE(ani.Frames(0)->Icon(), ani.Frames(2)->Icon());
  EXPECT_EQ(ani.Frames(0)->Icon()->Data(), ani.Frames(2)->Icon()->Data());

  // More icons than the header's frames: appended with no sequence position.
  std::string extra = Riff(Anih(1, 1, 6) + Fram({IconFile(1, 16, 1), IconFile(1, 16, 2), IconFile(1, 16, 3)}));
  ani.LoadFromMemory(extra.data(), extra.size());
  ASSERT_EQ(ani.FrameCount(), 3);
  EXPECT_EQ(ani.Frames(0)->SequenceIndex, 0);
  EXPECT_EQ(ani.Frames(1)->SequenceIndex, -1);
  EXPECT_EQ(ani.Frames(2)->SequenceIndex, -1);
  EXPECT_EQ(ani.Frames(2)->Rate, 6);

  // A cursor that swings between two icons for 2,000 steps keeps every step: the sequence
  // names each in 4 bytes, so the file is short for its frames.
  std::string swing;
  for (uint32_t k = 0; k < 2000; ++k) Put32(swing, k % 2);
  std::string longer = Riff(Anih(2, 2000, 6) + Chunk("seq ", swing) +
                            Fram({IconFile(1, 16, 0xFF0000), IconFile(1, 16, 0x00FF00)}));
  ani.LoadFromMemory(longer.data(), longer.size());
  ASSERT_EQ(ani.FrameCount(), 2000);
  EXPECT_EQ(ani.Frames(1999)->Icon()->Data(), ani.Frames(1)->Icon()->Data());
  EXPECT_NE(ani.Frames(1998)->Icon()->Data(), ani.Frames(1999)->Icon()->Data());
}

TEST(AnimatedCursor, RefusalsAndDamage) {
  std::string icon = IconFile(1, 16, 5);
  std::string good = Riff(Anih(1, 1, 6) + Fram({icon}));
  std::string badIcon = icon;
  badIcon[2] = 3;  // neither icon nor cursor
  struct Case { const char* what; std::string bytes; } refused[] = {
      {"not RIFF", "RIFX" + good.substr(4)},
      {"other form", Riff(Anih(1, 1, 6) + Fram({icon}), "AVI ")},
      {"no icon flag", Riff(Anih(1, 1, 6, 0) + Fram({icon}))},
      {"no steps", Riff(Anih(1, 0, 6) + Fram({icon}))},
      {"no pictures", Riff(Anih(1, 1, 6))},
      {"bad icon", Riff(Anih(1, 1, 6) + Fram({badIcon}))},
      {"huge frame count", Riff(Anih(0xFFFFFFFF, 1, 6))},
      {"too short", "RIFF"},
  };
  for (const Case& c : refused) {
    TAnimatedCursorImage ani;
    EXPECT_THROW(ani.LoadFromMemory(c.bytes.data(), c.bytes.size()), EReadError) << c.what;
  }
  // A chunk whose size runs past the end of the data is read no further; what came before
  // it stands.
  std::string runaway = good + "junk";
  Put32(runaway, 0x7FFFFFF0);
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(runaway.data(), runaway.size());
  EXPECT_EQ(ani.FrameCount(), 1);
  // Every cut of a good file is either read or refused, never more.
  std::string two = Riff(Anih(2, 2, 6) + Info("t", "a") + Fram({icon, IconFile(2, 16, 9, 1, 1)}));
  for (size_t n = 0; n < two.size(); ++n) {
    try {
      ani.LoadFromMemory(two.data(), n);
      EXPECT_LE(ani.FrameCount(), 2);
    } catch (const EReadError&) {
    }
  }
}

TEST(AnimatedCursor, HandsFramesToIconsBitmapsAndIconLists) {
  std::string file = Riff(Anih(2, 2, 6) + Fram({IconFile(1, 16, 0x0000FF), IconFile(1, 16, 0x00FF00)}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(file.data(), file.size());

  TIcon icon;
  icon.Assign(&ani);
  EXPECT_EQ(icon.Data(), ani.Frames(0)->Icon()->Data());

  TBitmap strip;
  strip.Canvas().Brush().Color = clWhite;
  strip.Assign(&ani);
  ASSERT_EQ(strip.Width(), 32);
  ASSERT_EQ(strip.Height(), 16);
  EXPECT_EQ(strip.Pixel(0, 3), clWhite);      // masked column: the back colour
  EXPECT_EQ(strip.Pixel(2, 3), TColor(0x0000FF));
  EXPECT_EQ(strip.Pixel(18, 3), TColor(0x00FF00));

  TIconList list;
  list.Assign(&ani);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Icons(1)->Data(), ani.Frames(1)->Icon()->Data());

  TAnimatedCursorImage copy;
  copy.Assign(&ani);
  ASSERT_EQ(copy.FrameCount(), 2);
  EXPECT_NE(copy.Frames(0)->Icon(), ani.Frames(0)->Icon());

  TAnimatedCursorImage empty;
  strip.Assign(&empty);
  EXPECT_TRUE(strip.Empty());
  // Saving is not offered: a box, then the silent abort.
  TFakeServices fake;
  TMemoryStream out;
  EXPECT_THROW(ani.SaveToStream(out), EAbort);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, "Function not yet implemented");
}

TEST(IconListTest, StreamsKeepEmptyEntriesInPlace) {
  std::string a = IconFile(1, 16, 1), b = IconFile(2, 16, 2, 4, 4);
  TIconList list;
  int changes = 0;
  list.OnChange = [&](TObject*) { ++changes; };
  TIcon ia, ib;
  ia.LoadFromMemory(a.data(), a.size());
  ib.LoadFromMemory(b.data(), b.size());
  list.Add(&ia);
  list.AddIcon(nullptr);
  list.Add(&ib);
  EXPECT_EQ(changes, 3);
  TMemoryStream s;
  list.SaveToStream(s);
  s.SetPosition(0);
  TIconList back;
  back.LoadFromStream(s);
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(back.Icons(0)->Data(), a);
  EXPECT_EQ(back.Icons(1), nullptr);
  EXPECT_EQ(back.Icons(2)->Data(), b);

  // Changing an icon of the list is a change of the list; updates hold the notices back.
  changes = 0;
  list.Icons(0)->Assign(&ib);
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.PutIcon(1, &ia);
  list.PutIcon(3, &ia);  // at Count: appended
  list.Exchange(0, 3);
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.IndexOf(list.Icons(2)), 2);
  EXPECT_EQ(list.IndexOf(&ia), -1);
  list.Move(0, 2);
  list.Delete(1);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_THROW(list.Icons(3), EListError);
  EXPECT_TRUE(list.StoresIcons(nullptr));
  EXPECT_FALSE(list.StoresIcons(&list));
  EXPECT_TRUE(list.StoresIcons(&back));

  // A size that runs past the stream, or an entry that is no icon, is refused.
  std::string bad;
  Put32(bad, 1);
  Put32(bad, 1000);
  bad += a;
  TMemoryStream bs;
  bs.WriteBuffer(bad.data(), static_cast<int64_t>(bad.size()));
  bs.SetPosition(0);
  EXPECT_THROW(back.LoadFromStream(bs), EReadError);
  std::string junk;
  Put32(junk, 1);
  Put32(junk, 8);
  junk += "notanico";
  TMemoryStream js;
  js.WriteBuffer(junk.data(), static_cast<int64_t>(junk.size()));
  js.SetPosition(0);
  EXPECT_THROW(back.LoadFromStream(js), EInvalidGraphic);
  EXPECT_EQ(back.Count(), 0);
}

TEST(IconTest, ChecksItsDirectoryAndDrawsThroughItsMask) {
  std::string a = IconFile(1, 16, 0x123456);
  std::string cut = a.substr(0, a.size() - 1);
  std::string farOffset = a;
  farOffset[18] = '\x7F';
  TIcon icon;
  for (const std::string* bad : {&cut, &farOffset}) {
    EXPECT_THROW(icon.LoadFromMemory(bad->data(), bad->size()), EInvalidGraphic);
  }
  icon.LoadFromMemory(a.data(), a.size());
  EXPECT_EQ(icon.Width(), 16);
  TBitmap b;
  b.SetSize(16, 16);
  b.Canvas().Brush().Color = clWhite;
  b.Canvas().FillRect(TRect{0, 0, 16, 16});
  icon.Draw(b.Canvas(), TRect{0, 0, 16, 16});
  EXPECT_EQ(b.Pixel(0, 0), clWhite);
  EXPECT_EQ(b.Pixel(1, 0), TColor(0x123456));
  EXPECT_EQ(b.Pixel(15, 0), clBlack);  // palette entry 0

  // The icon clipboard format gives icons.
  ASSERT_TRUE(TPicture::SupportsClipboardFormat(IconClipboardFormat()));
  TPicture picture;
  picture.LoadFromClipboardFormat(IconClipboardFormat(), a, 0);
  auto* pasted = dynamic_cast<TIcon*>(picture.Graphic());
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->Data(), a);
  TClipboardFormat f = 0;
  std::string data;
  uintptr_t pal = 1;
  pasted->SaveToClipboardFormat(f, data, pal);
  EXPECT_EQ(f, IconClipboardFormat());
  EXPECT_EQ(data, a);
}

TEST(ScreenCursors, HandAndDragCursorsAreRegistered) {
  const TScreenCursor* hand = ScreenCursor(crHandCursor);
  const TScreenCursor* drag = ScreenCursor(crDragCursor);
  ASSERT_NE(hand, nullptr);
  ASSERT_NE(drag, nullptr);
  EXPECT_EQ(hand->ResourceName, "CX_HANDCUR");
  EXPECT_EQ(hand->HotSpot.X, 6);
  EXPECT_EQ(hand->HotSpot.Y, 16);
  EXPECT_EQ(drag->HotSpot.X, 15);
  EXPECT_EQ(drag->HotSpot.Y, 16);
  EXPECT_EQ(hand->Picture.Width(), 32);
  EXPECT_EQ(hand->Mask.Height(), 32);
  EXPECT_EQ(hand->Mask.Pixel(hand->HotSpot.X, hand->HotSpot.Y), clBlack);  // the hot spot is on the cursor
  EXPECT_FALSE(LoadScreenCursor(14002, "CX_NOSUCH"));
  EXPECT_EQ(ScreenCursor(14002), nullptr);
}

}  // namespace

namespace {

std::string Repeat(uint32_t value, size_t count) {
  std::string d;
  for (size_t i = 0; i < count; ++i) Put32(d, value);
  return d;
}

}  // namespace

// "rate" and "seq " hold one value per step: each is read whole, as far as there are frames.
TEST(AnimatedCursor, RateAndSequenceChunksAreReadWhole) {
  std::string red = IconFile(1, 16, 0x0000FF), green = IconFile(1, 16, 0x00FF00);
  std::string file = Riff(Anih(4, 4, 10) + Chunk("seq ", U32s({1, 0, 1, 0, 1})) +
                          Chunk("rate", U32s({5, 6, 7, 8, 9})) + Fram({red, green}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(file.data(), file.size());
  ASSERT_EQ(ani.FrameCount(), 4);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ani.Frames(k)->Rate, 5 + k);
    EXPECT_EQ(ani.Frames(k)->SequenceIndex, k % 2 ? 0 : 1);
    EXPECT_EQ(ani.Frames(k)->Icon()->Data(), k % 2 ? red : green);
  }

  // Three icons played forth and back in five steps: a frame per step, each with its icon
  // and its rate, and so five frames of the GIF picture made from it.
  std::string blue = IconFile(1, 16, 0xFF0000);
  std::string swing = Riff(Anih(3, 5, 10) + Chunk("rate", U32s({6, 12, 18, 12, 6})) +
                           Chunk("seq ", U32s({0, 1, 2, 1, 0})) + Fram({red, green, blue}));
  ani.LoadFromMemory(swing.data(), swing.size());
  ASSERT_EQ(ani.FrameCount(), 5);
  EXPECT_EQ(ani.Header().Steps, 5u);
  const std::string* icons[] = {&red, &green, &blue, &green, &red};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(ani.Frames(k)->Icon()->Data(), *icons[k]) << k;
  TGIFImage gif;
  gif.Assign(&ani);
  ASSERT_EQ(gif.FrameCount(), 5);
  const int delays[] = {100, 200, 300, 200, 100};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(gif.FrameAt(k)->DelayMs, delays[k]) << k;
}

// An animated cursor as a GIF picture: a frame per cursor frame, the rate in jiffies as the
// delay, the last frame active, and the icons' masks as the transparent colour.
TEST(AnimatedCursor, BecomesAGifPicture) {
  std::string file = Riff(Anih(3, 3, 6) + Fram({IconFile(1, 16, 0x0000FF), IconFile(1, 16, 0x00FF00),
                                                 IconFile(2, 16, 0xFF0000, 3, 3)}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(file.data(), file.size());
  TGIFImage gif;
  gif.Assign(&ani);
  ASSERT_EQ(gif.FrameCount(), 3);
  EXPECT_EQ(gif.ActiveFrame, 2);
  EXPECT_EQ(gif.FormatVersion, 2);
  EXPECT_EQ(gif.BackColor, clWindow);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(gif.FrameAt(k)->DelayMs, 100) << k;
  EXPECT_EQ(gif.Width(), 16);
  EXPECT_TRUE(gif.Transparent());
  TBitmap canvas;
  canvas.SetSize(16, 16);
  canvas.Canvas().Brush().Color = clWhite;
  canvas.Canvas().FillRect(TRect{0, 0, 16, 16});
  gif.Draw(canvas.Canvas(), TRect{0, 0, 16, 16});
  EXPECT_EQ(canvas.Pixel(0, 5), clWhite);  // the masked column
  EXPECT_EQ(canvas.Pixel(2, 5), TColor(0xFF0000));
  // Written and read back, the frames keep their delays.
  TMemoryStream s;
  gif.SaveToStream(s);
  s.SetPosition(0);
  TGIFImage back;
  back.LoadFromStream(s);
  ASSERT_EQ(back.FrameCount(), 3);
  EXPECT_EQ(back.FrameAt(1)->DelayMs, 100);

  // Rates beyond the 16-bit delay keep the longest one instead of wrapping to a short one.
  const struct {
    uint32_t rate;
    int delay;
  } rates[] = {{1, 16}, {3932, 65533}, {3933, 65535}, {4000, 65535}, {0xFFFFFFFF, 0}};
  for (const auto& r : rates) {
    std::string one = Riff(Anih(1, 1, r.rate) + Fram({IconFile(1, 16, 0x0000FF)}));
    TAnimatedCursorImage a;
    a.LoadFromMemory(one.data(), one.size());
    TGIFImage g;
    g.Assign(&a);
    ASSERT_EQ(g.FrameCount(), 1);
    EXPECT_EQ(g.FrameAt(0)->DelayMs, r.delay) << r.rate;
  }
}

// Counts and sizes of cursors, icons and icon lists from the data are held against the data
// and the frame budget, which counts each icon once however many steps show it.
TEST(AnimatedCursor, HostileCountsAreRefused) {
  // One 256 x 256 icon (a directory size of 0) shown by 8192 steps: the frames share it, and
  // so do the frames of the GIF picture made from them.
  std::string big = IconFile(1, 16, 1);
  big[6] = big[7] = '\0';
  std::string shared = Riff(Anih(8192, 8192, 6) + Chunk("seq ", Repeat(0, 8192)) + Fram({big}));
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
              TAnimatedCursorImage ani;
              ani.LoadFromMemory(shared.data(), shared.size());
              if (ani.FrameCount() != 8192) return 1;
              for (int k = 1; k < ani.FrameCount(); ++k)
                if (ani.Frames(k)->Icon() == ani.Frames(0)->Icon() ||
                    ani.Frames(k)->Icon()->DataId() != ani.Frames(0)->Icon()->DataId())
                  return 2;
              TGIFImage gif;
              gif.Assign(&ani);
              if (gif.FrameCount() != 8192 || gif.Width() != 256 || gif.LogicalWidth != 256) return 3;
              if (gif.FrameAt(8191)->FrameBitmap().Pixel(3, 250) != gif.FrameAt(0)->FrameBitmap().Pixel(3, 250))
                return 4;
              return 0;
            }),
            0);
  // Icons that differ count each: 2100 of them, each drawn as 256 x 256, are more than the
  // frames may hold together, though the file is small.
  std::string fram = "fram";
  for (uint32_t i = 0; i < 2100; ++i) {
    std::string icon = IconFile(1, 16, i);
    icon[6] = icon[7] = '\0';
    fram += Chunk("icon", icon);
  }
  std::string many = Riff(Anih(2100, 2100, 6) + Chunk("LIST", fram));
  EXPECT_LT(many.size(), 800000u);
  EXPECT_EQ(InChildWithMemoryLimit(kHostileInputLimit, [&] {
              TAnimatedCursorImage ani;
              try {
                ani.LoadFromMemory(many.data(), many.size());
              } catch (const EOutOfMemory&) {
                return 0;
              }
              return 1;
            }),
            0);
  // 1100 such frames are held, but drawn side by side they make too large a strip.
  // (a filler chunk makes the file long enough to be believed for 1100 frames)
  std::string wide = Riff(Anih(1100, 1100, 6) + Chunk("seq ", Repeat(0, 1100)) +
                          Chunk("JUNK", std::string(8000, '\0')) + Fram({big}));
  TAnimatedCursorImage ani;
  ani.LoadFromMemory(wide.data(), wide.size());
  ASSERT_EQ(ani.FrameCount(), 1100);
  TBitmap strip;
  EXPECT_THROW(strip.Assign(&ani), EOutOfMemory);

  // Icons and icon lists whose counts and sizes run past their stream.
  std::string icon = IconFile(1, 16, 1);
  std::string manyImages = icon;
  manyImages[4] = manyImages[5] = '\xFF';
  auto list = [](uint32_t count, uint32_t size, const std::string& tail) {
    std::string s;
    Put32(s, count);
    Put32(s, size);
    return s + tail;
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool List;
  } cases[] = {
      {"icon of 65535 images", manyImages, false},
      {"list of 2^31 entries", list(0x7FFFFFFF, 0, ""), true},
      {"list entry of 2 GB", list(1, 0x7FFFFFF0, icon), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream s;
    s.WriteBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    s.SetPosition(0);
    if (c.List) {
      TIconList l;
      EXPECT_THROW(l.LoadFromStream(s), EReadError);
    } else {
      TIcon i;
      EXPECT_THROW(i.LoadFromStream(s), EInvalidGraphic);
    }
  }
}

// An error after frames were made leaves what was read, and no frame without a picture
// (which drawing would stumble over).
TEST(AnimatedCursor, AnErrorLeavesOnlyFramesWithPictures) {
  std::string icon = IconFile(1, 16, 0x0000FF);
  std::string shortHeader = Chunk("anih", U32s({0, 1, 2, 1}));  // flags cut off: no icon flag
  struct Case {
    const char* what;
    std::string bytes;
    int left;
  } cases[] = {
      {"a bad second header before any picture", Riff(Anih(3, 4, 6) + shortHeader + Fram({icon})), 0},
      {"a bad second header after a picture", Riff(Anih(3, 4, 6) + Fram({icon}) + shortHeader), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TAnimatedCursorImage ani;
    EXPECT_THROW(ani.LoadFromMemory(c.bytes.data(), c.bytes.size()), EReadError);
    ASSERT_EQ(ani.FrameCount(), c.left);
    for (int k = 0; k < ani.FrameCount(); ++k) EXPECT_NE(ani.Frames(k)->Icon(), nullptr);
    TBitmap strip;
    strip.Assign(&ani);
    EXPECT_EQ(strip.Width(), 16 * c.left);
    TGIFImage gif;
    gif.Assign(&ani);
    EXPECT_EQ(gif.FrameCount(), c.left);
  }
}
