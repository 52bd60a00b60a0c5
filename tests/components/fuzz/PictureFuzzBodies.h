// One fuzz input for each reader of the picture and archive components: GIF files, GIF data
// behind a length (component streaming and the "GIF Image" clipboard format), animated
// cursors, icons and icon lists, and zip directories. Each body drives the reader the way a
// program does after loading (decode every frame, draw, convert, write back) and lets only
// the library's own exceptions pass quietly: anything else (std::bad_alloc, a crash) is a
// finding. Shared by the libFuzzer harnesses and the corpus replay test.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "components/BitmapUtil.h"
#include "components/CursorsAni.h"
#include "components/CursorsIcon.h"
#include "components/CursorsIconList.h"
#include "components/GifImage.h"
#include "components/ZipArchiver.h"
#include "platform/core/Streams.h"
#include "platform/gfx/Bitmap.h"
#include "platform/ui/Clipbrd.h"

namespace picfuzz {

// Runs one step of a body: the library's own errors are an answer, anything else escapes.
template <typename F>
void Step(F&& Work) {
  try {
    Work();
  } catch (const Exception&) {
  }
}

inline void Fill(TMemoryStream& s, const uint8_t* data, size_t size) {
  if (size) s.WriteBuffer(data, static_cast<int64_t>(size));
  s.SetPosition(0);
}

inline TBitmap& Canvas() {
  static TBitmap b;
  if (b.Empty()) b.SetSize(24, 24);
  return b;
}

// What a program does with a picture it has read; WriteBack also writes it and reads that.
inline void UseGif(TGIFImage& gif, bool WriteBack = true) {
  for (int i = 0; i < gif.FrameCount(); ++i) Step([&] { gif.FrameAt(i)->FrameBitmap(); });
  Step([&] {
    gif.RecomputeLogicalSize();
    (void)gif.Width();
    (void)gif.Empty();
    gif.Draw(Canvas().Canvas(), TRect{0, 0, 24, 24});
    if (WriteBack && gif.FrameCount() > 0) {
      TMemoryStream out;
      gif.SaveToStream(out);
      out.SetPosition(0);
      TGIFImage back;
      back.LoadFromStream(out);
    }
  });
}

inline void RunGif(const uint8_t* data, size_t size) {
  TGIFImage gif;
  TMemoryStream s;
  Fill(s, data, size);
  Step([&] { gif.LoadFromStream(s); });
  UseGif(gif);
}

// The input is what follows a GIF's place in a component stream or on the clipboard: a
// 32-bit length, then the data it counts. (The GIF harness writes pictures back.)
inline void RunGifWithLength(const uint8_t* data, size_t size) {
  {
    TGIFImage gif;
    TMemoryStream s;
    Fill(s, data, size);
    Step([&] { gif.ReadData(s); });
    UseGif(gif, false);
  }
  Clipboard().SetData(GifClipboardFormat(), std::string(reinterpret_cast<const char*>(data), size));
  TGIFImage gif;
  Step([&] { gif.LoadFromClipboardFormat(GifClipboardFormat(), "", 0); });
  UseGif(gif, false);
}

inline void RunAni(const uint8_t* data, size_t size) {
  TAnimatedCursorImage ani;
  Step([&] { ani.LoadFromMemory(data, size); });
  Step([&] {
    TBitmap strip;
    strip.Assign(&ani);
  });
  Step([&] {
    TGIFImage gif;
    gif.Assign(&ani);
    UseGif(gif);
  });
  Step([&] {
    TIconList list;
    list.Assign(&ani);
    TIcon first;
    first.Assign(&ani);
  });
}

// The input read as one icon file and as an icon list's stream form.
inline void RunIcon(const uint8_t* data, size_t size) {
  Step([&] {
    TIcon icon;
    TMemoryStream s;
    Fill(s, data, size);
    icon.LoadFromStream(s);
    icon.Draw(Canvas().Canvas(), TRect{0, 0, 24, 24});
    TGIFImage gif;
    gif.AppendFrame(&icon);
    UseGif(gif);
  });
  Step([&] {
    TIconList list;
    TMemoryStream s;
    Fill(s, data, size);
    list.LoadFromStream(s);
    TMemoryStream out;
    list.SaveToStream(out);
    out.SetPosition(0);
    TIconList back;
    back.LoadFromStream(out);
    for (int i = 0; i < back.Count(); ++i)
      if (back.Icons(i)) back.Icons(i)->Draw(Canvas().Canvas(), TRect{0, 0, 24, 24});
  });
}

// The zip component lists an archive named by file: the input is written to a file of this
// process's own first.
inline void RunZip(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/orv_zipfuzz_" + std::to_string(getpid()) + ".zip";
  }();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  for (bool dirs : {false, true}) {
    TZipArchiver zip(nullptr);
    zip.Unattended = true;
    zip.UseDirOnlyEntries = dirs;
    zip.SetZipFileName(path);  // reports, never raises
    for (int i = 0; i < zip.Count(); ++i) (void)zip.DirEntry(i).FileName.size();
  }
  std::remove(path.c_str());
}

}  // namespace picfuzz
