// The animated-cursor reader: the RIFF chunk walk, icon chunks, and the hand-over of the
// frames to icons, bitmaps and icon lists.
#include "components/CursorsAni.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "components/BitmapUtilCore.h"
#include "components/BitmapUtil.h"
#include "components/ColorReduceBitmap.h"
#include "components/CursorsIconList.h"
#include "platform/core/Streams.h"
#include "platform/gfx/Bitmap.h"

namespace {

bool Is(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }
[[noreturn]] void ReadError() { throw EReadError("Stream read error"); }
uint64_t Padded(uint64_t n) { return n + (n & 1); }

// What the frames of one cursor may hold together: their icons' bytes and the pixels they
// become when drawn (4 bytes each), and the frames themselves. Sequences can hand one icon to
// many frames; their icons share its bytes, so it counts once.
constexpr int64_t kFrameBudget = MaxPictureBytes;
constexpr int64_t kStepCost = static_cast<int64_t>(sizeof(TIconFrame) + sizeof(TIcon));
int64_t IconCost(const TIcon& icon) {
  return static_cast<int64_t>(icon.Data().size()) + 4 * int64_t{icon.IconWidth()} * icon.IconHeight();
}

}  // namespace

// ---- TIconFrame -----------------------------------------------------------------------------

TIconFrame::~TIconFrame() = default;

void TIconFrame::Assign(TPersistent* Source) {
  auto* f = dynamic_cast<TIconFrame*>(Source);
  if (!f) {
    TPersistent::Assign(Source);
    return;
  }
  if (f == this) return;
  if (f->FIcon) {
    if (!FIcon) FIcon = std::make_unique<TIcon>();
    FIcon->Assign(f->FIcon.get());
  } else {
    FIcon.reset();
  }
  IsIcon = f->IsIcon;
  std::memcpy(ChunkHeader, f->ChunkHeader, sizeof ChunkHeader);
  HotSpot = f->HotSpot;
  Rate = f->Rate;
  SequenceIndex = f->SequenceIndex;
}

// ---- TAnimatedCursorImage -------------------------------------------------------------------

TAnimatedCursorImage::~TAnimatedCursorImage() = default;

void TAnimatedCursorImage::Clear() {
  FFrames.clear();
  std::memset(FTitle, 0, sizeof FTitle);
  std::memset(FCreator, 0, sizeof FCreator);
  FHeader = TAniHeader{};
  FFrameColors = 0;
}

void TAnimatedCursorImage::LoadFromStream(TStream& Stream) {
  int64_t n = Stream.Size() - Stream.Position();
  if (n <= 0) return;
  std::vector<uint8_t> buf(static_cast<size_t>(n));
  Stream.ReadBuffer(buf.data(), n);
  Parse(buf.data(), buf.size());
}

void TAnimatedCursorImage::LoadFromMemory(const void* Data, size_t Size) {
  if (Size > 0) Parse(static_cast<const uint8_t*>(Data), Size);
}

void TAnimatedCursorImage::SaveToStream(TStream&) { ReportUnsupported(); }

void TAnimatedCursorImage::LoadFromFile(const std::string& FileName) {
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyNone);
    LoadFromStream(f);
  } catch (...) {
    Clear();
    throw;
  }
}

std::unique_ptr<TIcon> TAnimatedCursorImage::LoadIconChunk(const uint8_t* Data, size_t Size,
                                                           bool& IsIcon, TPoint& HotSpot) {
  std::string copy(reinterpret_cast<const char*>(Data), Size);
  HotSpot = TPoint{0, 0};
  if (Size < 6) return nullptr;
  uint16_t type = GetLE16(Data + 2);
  IsIcon = type == 1;
  if (type != 1 && type != 2) return nullptr;
  // A cursor directory loads as an icon; its planes and bit-count words are the hot spot.
  copy[2] = 1;
  copy[3] = 0;
  uint16_t count = GetLE16(Data + 4);
  for (size_t k = 0; k < count; ++k) {
    size_t e = 6 + 16 * k;
    if (e + 16 > Size) return nullptr;
    uint32_t offset = GetLE32(Data + e + 12);
    if (uint64_t{offset} + 16 > Size) return nullptr;
    int bits = GetLE16(Data + offset + 14);
    int colors = (bits == 1 || bits == 4 || bits == 8) ? (1 << bits) : 0;
    FFrameColors = std::max(FFrameColors, colors);
    HotSpot = TPoint{GetLE16(Data + e + 4), GetLE16(Data + e + 6)};
  }
  auto icon = std::make_unique<TIcon>();
  try {
    icon->LoadFromMemory(copy.data(), copy.size());
  } catch (const Exception&) {
    return nullptr;
  }
  if (IsIcon) HotSpot = TPoint{icon->IconWidth() / 2, icon->IconHeight() / 2};
  return icon;
}

void TAnimatedCursorImage::Parse(const uint8_t* Data, size_t Size) {
  if (Size < 12 || !Is(Data, "RIFF") || !Is(Data + 8, "ACON")) ReadError();
  Clear();
  try {
    ParseChunks(Data, Size);
  } catch (...) {
    // What was read stays; frames that never got a picture are no part of it.
    DropFramesWithoutIcon();
    throw;
  }
  DropFramesWithoutIcon();
  FHeader.Steps = static_cast<uint32_t>(FFrames.size());
  if (FFrames.empty()) ReadError();
}

void TAnimatedCursorImage::DropFramesWithoutIcon() {
  for (size_t k = FFrames.size(); k-- > 0;)
    if (!FFrames[k]->Icon()) FFrames.erase(FFrames.begin() + static_cast<std::ptrdiff_t>(k));
}

void TAnimatedCursorImage::ParseChunks(const uint8_t* Data, size_t Size) {
  int iconsRead = 0, rates = 0, seqs = 0;
  int64_t held = 0;  // against kFrameBudget
  size_t pos = 12;
  while (pos + 8 <= Size) {
    const uint8_t* head = Data + pos;
    uint64_t size = GetLE32(head + 4);
    pos += 8;
    size_t left = Size - pos;
    const uint8_t* body = Data + pos;
    if (Is(head, "anih")) {
      uint8_t rec[36] = {};
      std::memcpy(rec, body, static_cast<size_t>(std::min<uint64_t>({size, 36, left})));
      uint32_t* fields[] = {&FHeader.Size, &FHeader.Frames, &FHeader.Steps, &FHeader.Width,
                            &FHeader.Height, &FHeader.BitCount, &FHeader.Planes,
                            &FHeader.DisplayRate, &FHeader.Flags};
      for (size_t k = 0; k < 9; ++k) *fields[k] = GetLE32(rec + 4 * k);
      if (!(FHeader.Flags & 1) || FHeader.Steps == 0) ReadError();
      // A frame per step: a sequence may show an icon more than once (a cursor that swings
      // back and forth has more steps than icons). No more frames than the data could bring
      // pictures for: a frame gets one by its place in the "seq " chunk (4 bytes a step) or,
      // past it, by its own number among the icons (each far longer than 4 bytes).
      uint64_t frames = std::min<uint64_t>(std::max(FHeader.Frames, FHeader.Steps), Size / 4);
      held += static_cast<int64_t>(frames) * kStepCost;
      if (held > kFrameBudget) RaiseOutOfMemory();
      for (uint64_t k = 0; k < frames; ++k) {
        auto f = std::make_unique<TIconFrame>();
        f->SequenceIndex = static_cast<int>(k);
        f->Rate = static_cast<int>(FHeader.DisplayRate);
        FFrames.push_back(std::move(f));
      }
    } else if (Is(head, "rate") || Is(head, "seq ")) {
      // One value per step, each to the next frame; values beyond the frames are passed.
      if (left < std::min<uint64_t>(size, 4)) break;
      const bool rate = Is(head, "rate");
      int& counter = rate ? rates : seqs;
      const uint64_t values = std::max<uint64_t>(std::min<uint64_t>(size, left) / 4, 1);
      for (uint64_t k = 0; k < values && counter < FrameCount(); ++k, ++counter) {
        uint8_t v[4] = {};
        std::memcpy(v, body + 4 * k, static_cast<size_t>(std::min<uint64_t>(size - 4 * k, 4)));
        int value = static_cast<int>(GetLE32(v));
        if (rate) FFrames[static_cast<size_t>(counter)]->Rate = value;
        else FFrames[static_cast<size_t>(counter)]->SequenceIndex = value;
      }
    } else if (Is(head, "LIST")) {
      if (left < 4) break;
      const uint8_t* type = body;
      uint64_t end = std::min<uint64_t>(pos + Padded(size), Size);
      int64_t remaining = static_cast<int64_t>(Padded(size)) - 4;
      size_t p = pos + 4;
      if (Is(type, "fram")) {
        // The frames by play position, so each icon finds its frames without a walk over all.
        std::unordered_multimap<int, TIconFrame*> bySequence;
        for (auto& f : FFrames) bySequence.emplace(f->SequenceIndex, f.get());
        while (remaining >= 8 && p + 8 <= end) {
          const uint8_t* sub = Data + p;
          uint64_t subSize = GetLE32(sub + 4);
          p += 8;
          remaining -= 8;
          if (Is(sub, "icon")) {
            if (p + subSize > Size) break;  // the icon's bytes are not all there
            bool isIcon = false;
            TPoint hot;
            std::unique_ptr<TIcon> icon = LoadIconChunk(Data + p, static_cast<size_t>(subSize), isIcon, hot);
            if (!icon) break;
            held += IconCost(*icon);
            if (held > kFrameBudget) RaiseOutOfMemory();
            bool matched = false;
            auto give = [&](TIconFrame& f) {
              auto own = std::make_unique<TIcon>();  // each frame its own, the bytes shared
              own->Assign(icon.get());
              f.SetIcon(std::move(own));
              f.IsIcon = isIcon;
              std::memcpy(f.ChunkHeader, sub, 8);
              f.HotSpot = hot;
            };
            auto [first, last] = bySequence.equal_range(iconsRead);
            for (auto it = first; it != last; ++it) {
              give(*it->second);
              matched = true;
            }
            if (!matched) {
              held += kStepCost;
              if (held > kFrameBudget) RaiseOutOfMemory();
              auto f = std::make_unique<TIconFrame>();
              f->SequenceIndex = -1;
              f->Rate = static_cast<int>(FHeader.DisplayRate);
              give(*f);
              FFrames.push_back(std::move(f));
            }
            ++iconsRead;
          }
          p += static_cast<size_t>(std::min<uint64_t>(Padded(subSize), Size - p));
          remaining -= static_cast<int64_t>(Padded(subSize));
        }
      } else if (Is(type, "INFO")) {
        while (remaining >= 8 && p + 8 <= end) {
          const uint8_t* sub = Data + p;
          uint64_t subSize = GetLE32(sub + 4);
          p += 8;
          remaining -= 8;
          if (Is(sub, "INAM") || Is(sub, "IART")) {
            if (remaining < static_cast<int64_t>(subSize) || p + subSize > Size) break;
            char* target = Is(sub, "INAM") ? FTitle : FCreator;
            size_t take = static_cast<size_t>(std::min<uint64_t>(subSize, 255));
            std::memset(target, 0, 256);
            std::memcpy(target, Data + p, take);
          }
          p += static_cast<size_t>(std::min<uint64_t>(Padded(subSize), Size - p));
          remaining -= static_cast<int64_t>(Padded(subSize));
        }
      }
      // Whatever was left of the list, read or not, is passed.
      pos = static_cast<size_t>(end);
      continue;
    }
    // Past the chunk and its pad; a chunk that runs past the data ends the walk.
    if (Padded(size) > left) break;
    pos += static_cast<size_t>(Padded(size));
  }
}

void TAnimatedCursorImage::DrawFrames(TBitmap& Dest, TColor BackColor, bool Vertical, bool ReduceColors) {
  TBitmap work;
  if (!FFrames.empty()) {
    TIcon* first = FFrames[0]->Icon();
    int w = first->IconWidth(), h = first->IconHeight();
    int n = FrameCount();
    if (int64_t{w} * h * n > MaxFramePixels) RaiseOutOfMemory();
    work.SetSize(Vertical ? w : w * n, Vertical ? h * n : h);
    TCanvas& c = work.Canvas();
    c.Brush().Color = BackColor;
    c.Brush().Style = bsSolid;
    c.FillRect(TRect{0, 0, work.Width(), work.Height()});
    for (int k = 0; k < n; ++k) {
      TIcon* icon = FFrames[static_cast<size_t>(k)]->Icon();
      int x = Vertical ? 0 : k * icon->IconWidth();
      int y = Vertical ? k * icon->IconHeight() : 0;
      icon->Draw(c, TRect{x, y, x + icon->IconWidth(), y + icon->IconHeight()});
    }
    if (ReduceColors) {
      std::unique_ptr<TMemoryStream> dib = ReduceBitmap(work, std::max(FFrameColors, 16));
      if (dib) {
        std::string bytes(static_cast<const char*>(dib->Memory()), static_cast<size_t>(dib->Size()));
        LoadBitmapFromDib(work, bytes);
      }
    }
  }
  Dest.Assign(&work);
}

void TAnimatedCursorImage::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  auto* a = dynamic_cast<TAnimatedCursorImage*>(Source);
  if (!a) {
    TPersistent::Assign(Source);
    return;
  }
  if (a == this) return;
  try {
    Clear();
    FHeader = a->FHeader;
    std::memcpy(FTitle, a->FTitle, sizeof FTitle);
    std::memcpy(FCreator, a->FCreator, sizeof FCreator);
    FFrameColors = a->FFrameColors;
    for (const auto& f : a->FFrames) {
      auto copy = std::make_unique<TIconFrame>();
      copy->Assign(f.get());
      FFrames.push_back(std::move(copy));
    }
  } catch (...) {
    Clear();
    throw;
  }
}

void TAnimatedCursorImage::AssignTo(TPersistent* Dest) {
  if (auto* icon = dynamic_cast<TIcon*>(Dest)) {
    if (FFrames.empty()) icon->Clear();
    else icon->Assign(FFrames[0]->Icon());
  } else if (auto* bmp = dynamic_cast<TBitmap*>(Dest)) {
    DrawFrames(*bmp, bmp->Canvas().Brush().Color, false, true);
  } else if (auto* list = dynamic_cast<TIconList*>(Dest)) {
    list->BeginUpdate();
    try {
      list->Clear();
      for (const auto& f : FFrames) list->Add(f->Icon());
    } catch (...) {
      list->EndUpdate();
      throw;
    }
    list->EndUpdate();
  } else {
    TPersistent::AssignTo(Dest);
  }
}
