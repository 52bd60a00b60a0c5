// A picture in memory: width x height pixels of 0x00BBGGRR colours, loaded from and saved to
// bitmap files (.bmp) or any format the Qt side reads. Glyph strips of buttons, images and the
// picture components' results live in it. Not thread-safe.
#pragma once

#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/gfx/Graphics.h"

class TStream;
class QImage;
class TCanvas;

enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TPersistent {
 public:
  TBitmap();
  ~TBitmap() override;

  int Width() const;
  int Height() const;
  bool Empty() const { return Width() == 0 || Height() == 0; }
  // New size; the pixels are cleared to white.
  void SetSize(int AWidth, int AHeight);

  TColor Pixel(int X, int Y) const;  // clNone outside
  void SetPixel(int X, int Y, TColor C);

  // A transparent bitmap draws on a canvas without the pixels of its transparent colour.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  // tmAuto: the transparent colour is the bottom-left pixel; tmFixed: the colour set.
  // Setting clDefault as the colour selects tmAuto, any other colour tmFixed; switching to
  // tmFixed keeps the colour the bitmap has then.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  // Data that is not a picture raises EInOutError "Bitmap image is not valid"; a missing
  // file raises EFOpenError.
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream& Stream);
  void LoadFromMemory(const void* Data, size_t Size);
  void SaveToFile(const std::string& FileName) const;
  void SaveToStream(TStream& Stream) const;

  // Copies the pixels and the transparency settings of another bitmap.
  void Assign(TPersistent* Source) override;
  // Drawing on the picture; every operation fires OnChange.
  TCanvas& Canvas();
  TNotifyEvent OnChange;

  // The Qt side of the picture (platform/ui and platform/gfx only).
  const QImage& Image() const;
  void SetImage(const QImage& image);
  // The picture as it draws: without its transparent colour's pixels when Transparent.
  QImage DrawnImage() const;

 private:
  void Changed();
  bool FTransparent = false;
  TTransparentMode FTransparentMode = tmAuto;
  TColor FTransparentColor = clDefault;
  std::unique_ptr<QImage> FImage;
  std::unique_ptr<TCanvas> FCanvas;
};
