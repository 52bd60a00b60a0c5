// Icons in the icon-file format: directory checks, loading and saving of the bytes.
#include "components/CursorsIcon.h"

#include <algorithm>
#include <cstring>

#include "components/BitmapUtilCore.h"
#include "platform/core/Streams.h"

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr size_t kHead = 6;
constexpr size_t kEntry = 16;
constexpr size_t kInfoHeader = 40;

}  // namespace

TIcon::~TIcon() = default;

size_t TIcon::IconExtent(const uint8_t* Data, size_t Size) {
  if (!Data || Size < kHead) return 0;
  uint16_t type = U16(Data + 2), count = U16(Data + 4);
  if (U16(Data) != 0 || (type != 1 && type != 2) || count == 0) return 0;
  size_t dirEnd = kHead + kEntry * count;
  if (dirEnd > Size) return 0;
  size_t extent = dirEnd;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = Data + kHead + kEntry * i;
    uint64_t size = U32(e + 8), offset = U32(e + 12);
    // Each image lies after the directory, inside the data, and starts with an information
    // header of at least the classic size.
    if (offset < dirEnd || size < kInfoHeader || offset + size > Size) return 0;
    if (U32(Data + offset) < kInfoHeader) return 0;
    extent = std::max(extent, static_cast<size_t>(offset + size));
  }
  return extent;
}

int TIcon::ResourceType() const {
  return FData.size() >= kHead ? U16(reinterpret_cast<const uint8_t*>(FData.data()) + 2) : 0;
}

int TIcon::ImageCount() const {
  return FData.size() >= kHead ? U16(reinterpret_cast<const uint8_t*>(FData.data()) + 4) : 0;
}

int TIcon::Width() const {
  if (FData.size() < kHead + kEntry) return 0;
  uint8_t w = static_cast<uint8_t>(FData[kHead]);
  return w ? w : 256;
}

int TIcon::Height() const {
  if (FData.size() < kHead + kEntry) return 0;
  uint8_t h = static_cast<uint8_t>(FData[kHead + 1]);
  return h ? h : 256;
}

void TIcon::LoadFromMemory(const void* Data, size_t Size) {
  size_t n = IconExtent(static_cast<const uint8_t*>(Data), Size);
  if (n == 0) throw EInvalidGraphic("Icon image is not valid");
  FData.assign(static_cast<const char*>(Data), n);
  Changed();
}

void TIcon::LoadFromStream(TStream& Stream) {
  // The directory first, then as many bytes as its images reach.
  std::string bytes(kHead, '\0');
  if (Stream.Read(bytes.data(), kHead) != static_cast<int64_t>(kHead))
    throw EInvalidGraphic("Icon image is not valid");
  uint16_t count = U16(reinterpret_cast<const uint8_t*>(bytes.data()) + 4);
  bytes.resize(kHead + kEntry * count);
  int64_t want = static_cast<int64_t>(kEntry) * count;
  if (Stream.Read(bytes.data() + kHead, want) != want) throw EInvalidGraphic("Icon image is not valid");
  size_t extent = bytes.size();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = reinterpret_cast<const uint8_t*>(bytes.data()) + kHead + kEntry * i;
    extent = std::max<size_t>(extent, static_cast<size_t>(uint64_t{U32(e + 12)} + U32(e + 8)));
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

void TIcon::SaveToStream(TStream& Stream) const {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TIcon::Clear() {
  if (FData.empty()) return;
  FData.clear();
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
  TPersistent::Assign(Source);
}

void TIcon::Changed() {
  if (OnChange) OnChange(this);
}
