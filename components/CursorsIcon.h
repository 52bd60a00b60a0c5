// Icons in the icon-file format, as the class library's TIcon keeps them: the bytes of an
// icon file (a directory of images, each a bitmap information header, a palette, the colour
// bits and the transparency mask), read and written unchanged.
//
// Loading checks the directory against the bytes: every image must lie inside the data, and
// its header must be a bitmap information header. Loading reads exactly the icon's bytes
// from the stream (the directory says how many), so icons can follow each other in a stream.
// Drawing shows the first image through its mask. No Qt; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/Graphic.h"

class TStream;

class TIcon : public TGraphic {
 public:
  // Icons draw through their mask: they count as transparent pictures.
  TIcon() { FTransparent = true; }
  ~TIcon() override;

  bool Empty() override { return Data().empty(); }
  bool IsEmpty() const { return Data().empty(); }
  // Of the first image (0 when empty); a directory width or height of 0 stands for 256.
  int Width() override { return IconWidth(); }
  int Height() override { return IconHeight(); }
  int IconWidth() const;
  int IconHeight() const;
  // An icon's size is its image's.
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void Draw(TCanvas& ACanvas, const TRect& Rect) override;
  // The first image's pixels (0x00BBGGRR) and which of them are drawn; false when it cannot
  // be decoded.
  bool Decode(int& W, int& H, std::vector<TColor>& Pixels, std::vector<bool>& Opaque) const;
  // 1 icon, 2 cursor (0 when empty).
  int ResourceType() const;
  int ImageCount() const;

  // The icon file's bytes; a damaged icon raises EInvalidGraphic "Icon image is not valid".
  void LoadFromStream(TStream& Stream) override;
  void LoadFromMemory(const void* Data, size_t Size);
  void SaveToStream(TStream& Stream) override;
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                               uintptr_t Palette) override;
  void SaveToClipboardFormat(TClipboardFormat& Format, std::string& Data,
                             uintptr_t& Palette) override;
  void ReadData(TStream& Stream) override { LoadFromStream(Stream); }
  void WriteData(TStream& Stream) override { SaveToStream(Stream); }
  const std::string& Data() const;
  // Copies share the bytes: the cursor frames of many steps that show one icon hold it once.
  // An id of the bytes, equal for icons that share them (0 when empty).
  const void* DataId() const { return IsEmpty() ? nullptr : FData.get(); }
  void Clear();

  void Assign(TPersistent* Source) override;

  // The bytes an icon file at Data takes (its furthest image end), or 0 when the directory
  // is not a valid icon or cursor directory within Size bytes.
  static size_t IconExtent(const uint8_t* Data, size_t Size);

 private:
  std::shared_ptr<const std::string> FData;  // never changed in place
};

// The clipboard format of icons (registered at start-up).
TClipboardFormat IconClipboardFormat();
