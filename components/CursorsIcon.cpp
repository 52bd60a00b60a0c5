// Icons in the icon-file format: directory checks, loading and saving of the bytes.
#include "components/CursorsIcon.h"

#include <algorithm>
#include <cstring>

#include "components/BitmapUtilCore.h"
#include "platform/core/Streams.h"
#include "platform/gfx/Canvas.h"

namespace {


constexpr size_t kHead = 6;
constexpr size_t kEntry = 16;
constexpr size_t kInfoHeader = 40;

}  // namespace

TIcon::~TIcon() = default;

size_t TIcon::IconExtent(const uint8_t* Data, size_t Size) {
  if (!Data || Size < kHead) return 0;
  uint16_t type = GetLE16(Data + 2), count = GetLE16(Data + 4);
  if (GetLE16(Data) != 0 || (type != 1 && type != 2) || count == 0) return 0;
  size_t dirEnd = kHead + kEntry * count;
  if (dirEnd > Size) return 0;
  size_t extent = dirEnd;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = Data + kHead + kEntry * i;
    uint64_t size = GetLE32(e + 8), offset = GetLE32(e + 12);
    // Each image lies after the directory, inside the data, and starts with an information
    // header of at least the classic size.
    if (offset < dirEnd || size < kInfoHeader || offset + size > Size) return 0;
    if (GetLE32(Data + offset) < kInfoHeader) return 0;
    extent = std::max(extent, static_cast<size_t>(offset + size));
  }
  return extent;
}

const std::string& TIcon::Data() const {
  static const std::string none;
  return FData ? *FData : none;
}

int TIcon::ResourceType() const {
  const std::string& d = Data();
  return d.size() >= kHead ? GetLE16(reinterpret_cast<const uint8_t*>(d.data()) + 2) : 0;
}

int TIcon::ImageCount() const {
  const std::string& d = Data();
  return d.size() >= kHead ? GetLE16(reinterpret_cast<const uint8_t*>(d.data()) + 4) : 0;
}

int TIcon::IconWidth() const {
  const std::string& d = Data();
  if (d.size() < kHead + kEntry) return 0;
  uint8_t w = static_cast<uint8_t>(d[kHead]);
  return w ? w : 256;
}

int TIcon::IconHeight() const {
  const std::string& d = Data();
  if (d.size() < kHead + kEntry) return 0;
  uint8_t h = static_cast<uint8_t>(d[kHead + 1]);
  return h ? h : 256;
}

void TIcon::LoadFromMemory(const void* Data, size_t Size) {
  size_t n = IconExtent(static_cast<const uint8_t*>(Data), Size);
  if (n == 0) throw EInvalidGraphic("Icon image is not valid");
  FData = std::make_shared<const std::string>(static_cast<const char*>(Data), n);
  Changed();
}

void TIcon::LoadFromStream(TStream& Stream) {
  // The directory first, then as many bytes as its images reach.
  std::string bytes(kHead, '\0');
  if (Stream.Read(bytes.data(), kHead) != static_cast<int64_t>(kHead))
    throw EInvalidGraphic("Icon image is not valid");
  uint16_t count = GetLE16(reinterpret_cast<const uint8_t*>(bytes.data()) + 4);
  int64_t want = static_cast<int64_t>(kEntry) * count;
  if (Stream.Size() - Stream.Position() < want) throw EInvalidGraphic("Icon image is not valid");
  bytes.resize(kHead + kEntry * count);
  if (Stream.Read(bytes.data() + kHead, want) != want) throw EInvalidGraphic("Icon image is not valid");
  size_t extent = bytes.size();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = reinterpret_cast<const uint8_t*>(bytes.data()) + kHead + kEntry * i;
    extent = std::max<size_t>(extent, static_cast<size_t>(uint64_t{GetLE32(e + 12)} + GetLE32(e + 8)));
  }
  int64_t left = Stream.Size() - Stream.Position();
  size_t more = extent - bytes.size();
  if (left < 0 || static_cast<uint64_t>(left) < more) throw EInvalidGraphic("Icon image is not valid");
  size_t have = bytes.size();
  bytes.resize(extent);
  if (Stream.Read(bytes.data() + have, static_cast<int64_t>(more)) != static_cast<int64_t>(more))
    throw EInvalidGraphic("Icon image is not valid");
  LoadFromMemory(bytes.data(), bytes.size());
}

void TIcon::SaveToStream(TStream& Stream) {
  const std::string& d = Data();
  if (!d.empty()) Stream.WriteBuffer(d.data(), static_cast<int64_t>(d.size()));
}

void TIcon::Clear() {
  if (IsEmpty()) return;
  FData.reset();
  Changed();
}

void TIcon::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* icon = dynamic_cast<TIcon*>(Source)) {
    if (icon == this) return;
    FData = icon->FData;
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

bool TIcon::Decode(int& W, int& H, std::vector<TColor>& Pixels, std::vector<bool>& Opaque) const {
  const std::string& data = Data();
  if (data.size() < kHead + kEntry) return false;
  const uint8_t* d = reinterpret_cast<const uint8_t*>(data.data());
  const uint8_t* e = d + kHead;
  uint64_t size = GetLE32(e + 8), offset = GetLE32(e + 12);
  if (offset + size > data.size() || size < kInfoHeader) return false;
  const uint8_t* img = d + offset;
  uint32_t headerSize = GetLE32(img);
  int32_t w = static_cast<int32_t>(GetLE32(img + 4));
  int32_t h2 = static_cast<int32_t>(GetLE32(img + 8));
  int bits = GetLE16(img + 14);
  uint32_t used = GetLE32(img + 32);
  // The height counts the colour rows and the mask rows.
  if (headerSize < kInfoHeader || headerSize > size || w <= 0 || w > 256 || h2 <= 0 || h2 > 512)
    return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  int h = h2 / 2;
  if (h <= 0) return false;
  uint64_t colors = bits <= 8 ? (used && used < (1u << bits) ? used : (1u << bits)) : 0;
  uint64_t xorStride = ((static_cast<uint64_t>(w) * bits + 31) / 32) * 4;
  uint64_t andStride = ((static_cast<uint64_t>(w) + 31) / 32) * 4;
  uint64_t palette = headerSize, xorBits = palette + colors * 4, andBits = xorBits + xorStride * h;
  if (andBits + andStride * h > size) return false;
  W = w;
  H = h;
  Pixels.assign(static_cast<size_t>(w) * h, 0);
  Opaque.assign(static_cast<size_t>(w) * h, false);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = img + xorBits + xorStride * static_cast<uint64_t>(h - 1 - y);
    const uint8_t* mask = img + andBits + andStride * static_cast<uint64_t>(h - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint32_t b = 0, g = 0, r = 0;
      if (bits <= 8) {
        unsigned index = 0;
        if (bits == 8) index = row[x];
        else if (bits == 4) index = (row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F;
        else index = (row[x / 8] >> (7 - (x & 7))) & 1;
        if (index < colors) {
          const uint8_t* q = img + palette + index * 4;
          b = q[0]; g = q[1]; r = q[2];
        }
      } else {
        const uint8_t* q = row + static_cast<size_t>(x) * (bits / 8);
        b = q[0]; g = q[1]; r = q[2];
      }
      size_t i = static_cast<size_t>(y) * w + x;
      Pixels[i] = static_cast<TColor>(r | (g << 8) | (b << 16));
      Opaque[i] = ((mask[x / 8] >> (7 - (x & 7))) & 1) == 0;
    }
  }
  return true;
}

void TIcon::Draw(TCanvas& ACanvas, const TRect& Rect) {
  int w = 0, h = 0;
  std::vector<TColor> px;
  std::vector<bool> opaque;
  if (!Decode(w, h, px, opaque)) return;
  // Drawn at its own size at the rectangle's corner, as icons are.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t i = static_cast<size_t>(y) * w + x;
      if (opaque[i]) ACanvas.SetPixel(Rect.Left + x, Rect.Top + y, px[i]);
    }
}

TClipboardFormat IconClipboardFormat() {
  static TClipboardFormat f = RegisterClipboardFormat("Orvelane Icon");
  return f;
}

void TIcon::LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data, uintptr_t) {
  if (Format != IconClipboardFormat()) throw EInvalidGraphic("Unsupported clipboard format");
  LoadFromMemory(Data.data(), Data.size());
}

void TIcon::SaveToClipboardFormat(TClipboardFormat& Format, std::string& Data, uintptr_t& Palette) {
  Format = IconClipboardFormat();
  Data = this->Data();
  Palette = 0;
}
