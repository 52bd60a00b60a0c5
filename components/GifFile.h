// The GIF file model and codec, without Qt: colour tables, extension blocks, the shared
// picture and frame data, the whole-file reader and writer, and decoding a frame into a
// bitmap file in memory / encoding a frame from one. The picture class TGIFImage (GifImage.h)
// builds on these classes and keeps its frames' pictures as bitmaps; these classes keep them
// as bitmap files, so the format can be read, written and tested without a display.
//
// Reading meets hostile files: every count, length and index is checked against the data
// that is there; damaged raster data is flagged (TolerateDamage) instead of read past.
// Errors are EInvalidGraphicOperation with the messages below, EReadError "Stream read error"
// for data that ends too early, EOutOfMemory for a picture beyond the budgets below.
// Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/BitmapUtilCore.h"
#include "components/ColorReduce.h"
#include "components/Lzw.h"
#include "platform/core/Classes.h"
#include "platform/core/Streams.h"

// A colour table: Count (0..256) entries of red, green, blue.
struct GifColorTable {
  int32_t Count = 0;
  uint8_t Entries[256][3] = {};
  void Clear() { *this = GifColorTable{}; }
};
// 772 bytes without padding, as the file model counts it.
static_assert(sizeof(GifColorTable) == 772);

enum ExtensionKind : uint8_t {
  ekGraphicControl = 0,
  ekPlainText = 1,
  ekApplication = 2,
  ekComment = 3,
};
// The block label of a kind in the file (0xF9, 0x01, 0xFF, 0xFE).
uint8_t ExtensionLabel(ExtensionKind Kind);

// One extension block: its fixed header exactly as read and one line per data sub-block.
class TExtension : public TPersistent {
 public:
  ExtensionKind Kind = ekComment;
  std::unique_ptr<TStringList> SubBlockLines;  // owned, may be none
  std::string HeaderBytes;                     // up to 13 bytes
  // From another TExtension: kind, header bytes and lines; anything else is refused with the
  // base class's conversion error.
  void Assign(TPersistent* Source) override;
};
using TExtensionList = std::vector<std::unique_ptr<TExtension>>;

// Data shared by pictures assigned from one another.
struct TGIFData {
  TStringList CommentLines;  // the file's comment text
  uint8_t PixelAspect = 0;
  uint8_t ColorBits = 0;        // the global table has 2^ColorBits entries
  uint8_t ColorResolution = 0;
  GifColorTable ColorTable;     // the global table
};

// Data shared by frames assigned from one another.
struct TGIFItem {
  // The encoded raster exactly as in the file: code size byte, sub-blocks, terminator.
  std::unique_ptr<TMemoryStream> RasterData;
  int32_t FrameWidth = 0, FrameHeight = 0;
  uint8_t DescriptorFlags = 0;
  uint8_t ColorBits = 0;
  GifColorTable ColorTable;  // the local table, or a copy of the global one
};

// Damaged raster data is accepted and flagged instead of raising (true).
extern bool TolerateDamage;
// The method for frames of more than 8 bits per pixel without grey mapping.
extern ColorReduction DefaultReduction;

[[noreturn]] void RaiseGifError(const std::string& Message);
// red | green << 8 | blue << 16 of entry Index.
TColorValue TableEntryToColor(const GifColorTable& Table, int Index);
// b in 1..8 with 2^b = Count; otherwise "Wrong number of colors; must be a power of 2".
int ColorCountToBits(int Count);
// The smallest b from 1 up with 2^b >= Count.
int BitsForCount(int Count);
// The bitmap bit count of a frame's ColorBits: 1 -> 1, 2..4 -> 4, 5..8 -> 8; anything else
// raises "Wrong number of colors; must be a power of 2".
int DecodedBitCount(int ColorBits);
// -1 for NoColor; else the first entry equal to the colour (system colours resolved), or -1.
int FindTableIndex(const GifColorTable& Table, TColorValue Color);
// The last extension of that kind in the list, or nullptr.
TExtension* FindExtensionOfKind(const TExtensionList* List, ExtensionKind Kind);
void FreeExtensionList(std::unique_ptr<TExtensionList>& List);

// Frames larger than MaxFramePixels are refused with EOutOfMemory before anything is
// allocated for them (a 16-bit width and height could otherwise ask for gigabytes), and so is
// a frame whose decoding would take the picture's decoded frames past MaxPicturePixels, or
// the bytes they hold (bitmap files and, for the platform picture, their 32-bit images) past
// MaxPictureBytes. A
// file of more than MaxGifFrames images is refused the same way: each costs far more memory
// than its few bytes in the file.
constexpr int MaxGifFrames = 16384;

struct GifReadBuffer;
class TGifImageCore;

struct TGifOrigin {
  int32_t Left = 0, Top = 0;
};

// One image of the file. The base class keeps the decoded picture as a bitmap file;
// TGIFFrame keeps a bitmap instead and overrides the picture hooks.
class TGifFrameCore {
 public:
  explicit TGifFrameCore(TGifImageCore* Owner);
  virtual ~TGifFrameCore();
  TGifFrameCore(const TGifFrameCore&) = delete;
  TGifFrameCore& operator=(const TGifFrameCore&) = delete;

  TGifImageCore* CoreOwner;  // may be none
  std::shared_ptr<TGIFItem> SharedItem;
  std::unique_ptr<TExtensionList> ExtensionList;  // graphic-control and comment blocks
  TGifOrigin Origin;
  bool InterlaceFlag = false;
  bool Damaged = false;
  bool GrayMapping = false;
  TColorValue TransparentColor = NoColor;
  uint16_t DelayMs = 0;
  uint8_t DisposalMethod = 0;
  bool HasLocalTable = false;

  // A fresh item and default fields; the extension list stays.
  void ResetItem();
  // Reads the image descriptor, local table and raster at the buffer's position.
  void LoadFrame(GifReadBuffer& Buffer);
  // The frame's raster decoded into a bitmap file of 1, 4 or 8 bits with the frame's table.
  std::string RasterToBitmapFile();
  // Gives the frame a raster from its picture.
  void EncodeFromBitmap();
  // Gives the frame a raster, table and size from a bitmap file of 1, 4 or 8 bits.
  void EncodeBitmapFile(const std::string& File);
  // Brings the graphic-control block in line with the fields; drops empty comments.
  void SyncExtensions();
  // Extension list, separator, descriptor, local table, raster.
  void WriteFrame(TStream& Stream);
  // Books a decoded picture of Pixels pixels, a bitmap file of FileBytes, against the owner's
  // budgets (replacing what this frame booked before): its pixels, and the bytes the file and
  // what the picture makes of it hold (HeldImageBytes); EOutOfMemory when it does not fit.
  void ChargeDecoded(int64_t Pixels, int64_t FileBytes);
  // The bytes held beside the bitmap file for a decoded picture of Pixels pixels.
  virtual int64_t HeldImageBytes(int64_t Pixels) const { return 0; }

  // ---- The picture (hooks; the base class works on bitmap files)
  // True when a decoded (or assigned) picture object is present, even an empty one.
  virtual bool HasDecoded() const { return FDecoded.has_value(); }
  // The picture's size; decodes it on demand.
  virtual void DecodedSize(int& Width, int& Height);
  // The picture as a bitmap file of 1, 4 or 8 bits for encoding; raises "No GIF Data to
  // write" without a picture or with an empty one.
  virtual std::string PictureForEncoding();
  // Base picture access: the decoded bitmap file (decoding on demand) and setting one.
  const std::string& DecodedFile();
  void SetDecodedFile(std::string File);

 protected:
  // A bitmap file of any depth reduced for encoding (the grey method when GrayMapping).
  std::string ReduceForEncoding(const std::string& File);
  std::optional<std::string> FDecoded;

 private:
  int64_t FChargedPixels = 0;
  int64_t FChargedBytes = 0;
};

// A GIF picture: the shared data, the frames and the picture-wide fields.
class TGifImageCore {
 public:
  TGifImageCore();
  virtual ~TGifImageCore();
  TGifImageCore(const TGifImageCore&) = delete;
  TGifImageCore& operator=(const TGifImageCore&) = delete;

  std::shared_ptr<TGIFData> SharedData;
  uint8_t FormatVersion = 0;  // 0 none, 1 "87a", 2 "89a"
  // Pixels of the frames decoded from rasters and still held (before FrameList: the frames
  // give theirs back as they go).
  int64_t DecodedPixels = 0;
  int64_t DecodedBytes = 0;
  std::vector<std::unique_ptr<TGifFrameCore>> FrameList;
  int32_t ActiveFrame = -1;
  uint16_t LogicalWidth = 0, LogicalHeight = 0;
  TColorValue BackColor = NoColor;
  bool LoopEnabled = false;
  bool Damaged = false;
  uint16_t LoopCount = 1;
  bool PaletteModified = false;

  int FrameCount() const { return static_cast<int>(FrameList.size()); }
  // EListError "List index out of bounds (<i>)" for an index out of range.
  TGifFrameCore* CoreFrameAt(int Index) const;

  // Fresh shared data, no frames, defaults; the logical size stays.
  void ResetImage();
  // Reads Size bytes of a GIF file from the stream; DecodeFirst decodes the first frame at
  // once (a failure removes it and passes on).
  void LoadGifData(int64_t Size, TStream& Stream, bool DecodeFirst);
  // Writes the whole file; WithLength puts a 32-bit byte count in front.
  void WriteGif(TStream& Stream, bool WithLength);
  void EncodeAllFrames();
  void RecomputeLogicalSize();

  // Progress of the codecs (ForwardProgress); the base ignores it.
  virtual bool WantsProgress() const { return false; }
  virtual void Progress(int Stage, int Percent, const std::string& Message) {}

 protected:
  virtual std::unique_ptr<TGifFrameCore> NewFrame();
  // Decodes the active frame's picture (ActiveBitmap of the picture class).
  virtual void DecodeActive();
  virtual void Changed() {}
};

// The callback the frames pass to the codecs: the image's Progress, or none when the image
// does not listen.
TGifProgress ForwardProgress(TGifImageCore* Image);

// The simple road from a GIF file to a picture: the first frame of the file as a bitmap file
// (1, 4 or 8 bits). Raises as LoadGifData does.
std::string GifToBitmapFile(TStream& Stream);
