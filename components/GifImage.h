// TGIFImage: the GIF picture class (GIF87a and GIF89a) over the file model of GifFile.h, and
// TGIFFrame, one image of it, whose picture is a platform bitmap decoded on demand. The
// picture container TPicture knows it under the extension "gif" and the clipboard format
// "GIF Image" once RegisterGifFormat has run (at start-up; idempotent).
//
// Only the active frame is drawn, stretched to the rectangle and keyed on its transparent
// colour; origin, delay and disposal are kept for writing but take no part in drawing.
// Frames that were read keep their raster and are written back unchanged; frames given a
// bitmap are encoded when the picture is written. Errors as in GifFile.h.
//
// The simple road for a preview: LoadGifBitmap turns a GIF file or stream into a drawable
// bitmap (the first frame).
// GUI thread only.
#pragma once

#include <memory>
#include <string>

#include "components/GifFile.h"
#include "components/Graphic.h"
#include "platform/gfx/Bitmap.h"

class TGIFImage;

class TGIFFrame : public TPersistent, public TGifFrameCore {
 public:
  explicit TGIFFrame(TGIFImage* AOwner);
  ~TGIFFrame() override;

  TGIFImage* OwnerImage() const { return FOwnerImage; }
  // The decoded bitmap: decoded once from the raster and kept.
  TBitmap& FrameBitmap();
  TBitmap* DecodedBitmap() const { return FDecodedBitmap.get(); }
  void SetDecodedBitmap(std::unique_ptr<TBitmap> Bitmap) { FDecodedBitmap = std::move(Bitmap); }
  void DrawFrame(TCanvas& Canvas, const TRect& Rect, bool Keyed);

  // From another frame, a GIF picture, a bitmap or another picture (see the picture's
  // Assign); anything else is refused with the base class's conversion error.
  void Assign(TPersistent* Source) override;
  // The frame's comment lines, created on demand; setting copies the lines given.
  TStrings& FrameComment();
  void SetFrameComment(const TStrings& Lines);

  bool HasDecoded() const override { return FDecodedBitmap != nullptr; }
  void DecodedSize(int& Width, int& Height) override;
  std::string PictureForEncoding() override;
  // The bitmap holds a 32-bit image of the decoded picture.
  int64_t HeldImageBytes(int64_t Pixels) const override { return 4 * Pixels; }

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  friend class TGIFImage;
  TExtension* CommentBlock(bool Create);
  TGIFImage* FOwnerImage;
  std::unique_ptr<TBitmap> FDecodedBitmap;
};

class TGIFImage : public TGraphic, public TGifImageCore {
 public:
  TGIFImage();
  ~TGIFImage() override;

  TGIFFrame* FrameAt(int Index) const { return static_cast<TGIFFrame*>(CoreFrameAt(Index)); }
  // The active frame's bitmap (frame 0 when ActiveFrame is out of range); a picture without
  // frames gets one empty frame first.
  TBitmap& ActiveBitmap();
  // Appends a frame holding the picture, makes it active; returns its index.
  virtual int AppendFrame(TPersistent* Picture);

  void Draw(TCanvas& ACanvas, const TRect& Rect) override;
  bool Empty() override;
  int Width() override;
  int Height() override;
  // Raise "Cannot change the Size of a GIF image".
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  bool Transparent() override;
  bool Equals(TGraphic* Graphic) override;

  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                               uintptr_t Palette) override;
  // Frame 0's bitmap as CF_BITMAP (its bitmap file in Data); when every frame has a raster,
  // the whole file goes on the clipboard as well, under GifClipboardFormat.
  void SaveToClipboardFormat(TClipboardFormat& Format, std::string& Data,
                             uintptr_t& Palette) override;
  void ReadData(TStream& Stream) override;
  void WriteData(TStream& Stream) override;

  void Assign(TPersistent* Source) override;

  bool WantsProgress() const override { return static_cast<bool>(OnProgress); }
  void Progress(int Stage, int Percent, const std::string& Message) override;

 protected:
  void AssignTo(TPersistent* Dest) override;
  std::unique_ptr<TGifFrameCore> NewFrame() override;
  void DecodeActive() override;
  void Changed() override;

 private:
  friend class TGIFFrame;
  // While frames are made in bulk, their assignments leave the logical size to the end.
  bool FMakingFrames = false;
};

// The clipboard format registered under "GIF Image".
TClipboardFormat GifClipboardFormat();
// Registers TGIFImage with TPicture ("gif", "CompuServe GIF Image", the clipboard format)
// and installs the platform colours into the format code. Runs at start-up; idempotent.
void RegisterGifFormat();
void UnregisterGifFormat();

// The first frame of a GIF file or stream as a bitmap. Raises EFOpenError for a missing
// file, the format's errors for a bad one, EInvalidGraphic for a file without images.
void LoadGifBitmap(const std::string& FileName, TBitmap& Bitmap);
void LoadGifBitmap(TStream& Stream, TBitmap& Bitmap);
