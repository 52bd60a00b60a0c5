// Icons in the icon-file format, as the class library's TIcon keeps them: the bytes of an
// icon file (a directory of images, each a bitmap information header, a palette, the colour
// bits and the transparency mask), read and written unchanged.
//
// Loading checks the directory against the bytes: every image must lie inside the data, and
// its header must be a bitmap information header. Loading reads exactly the icon's bytes
// from the stream (the directory says how many), so icons can follow each other in a stream.
// No Qt; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/Classes.h"

class TStream;

class TIcon : public TPersistent {
 public:
  TIcon() = default;
  ~TIcon() override;

  bool Empty() const { return FData.empty(); }
  // Of the first image (0 when empty); a directory width or height of 0 stands for 256.
  int Width() const;
  int Height() const;
  // 1 icon, 2 cursor (0 when empty).
  int ResourceType() const;
  int ImageCount() const;

  // The icon file's bytes; a damaged icon raises EInvalidGraphic "Icon image is not valid".
  void LoadFromStream(TStream& Stream);
  void LoadFromMemory(const void* Data, size_t Size);
  void SaveToStream(TStream& Stream) const;
  const std::string& Data() const { return FData; }
  void Clear();

  void Assign(TPersistent* Source) override;
  TNotifyEvent OnChange;

  // The bytes an icon file at Data takes (its furthest image end), or 0 when the directory
  // is not a valid icon or cursor directory within Size bytes.
  static size_t IconExtent(const uint8_t* Data, size_t Size);

 private:
  void Changed();
  std::string FData;
};
