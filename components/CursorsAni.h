// Animated cursors: the reader of animated cursor files (RIFF form "ACON") that turns them
// into icon frames with hot spots, display rates (in 1/60 s) and play-sequence positions, and
// hands them to an icon (the first frame), a bitmap (the frames side by side) or an icon list.
//
// Every chunk length is checked against the data: a chunk that claims more than the file
// holds ends the reading where the data ends. A header that declares more frames than the
// data could carry is cut to what it could. Frames of steps that show one icon share its
// bytes. The cursor stays within a memory budget (MaxPictureBytes: each icon's bytes and the
// pixels it becomes when drawn, counted once however many steps show it, and the frames);
// beyond it reading raises EOutOfMemory, and so does a frame strip too large to draw.
// Writing animated cursors is not offered. No Qt in the reader; not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/CursorsIcon.h"
#include "platform/gfx/Canvas.h"

class TBitmap;
class TIconList;

class TIconFrame : public TPersistent {
 public:
  TIconFrame() = default;
  ~TIconFrame() override;
  // Absent until a picture is read.
  TIcon* Icon() const { return FIcon.get(); }
  void SetIcon(std::unique_ptr<TIcon> Icon) { FIcon = std::move(Icon); }
  bool IsIcon = false;
  // The RIFF chunk header (identifier and size) the picture came from.
  uint8_t ChunkHeader[8] = {};
  TPoint HotSpot{0, 0};
  int Rate = 0;
  int SequenceIndex = -1;
  // From another frame: all fields, the icon as a copy of its own.
  void Assign(TPersistent* Source) override;

 private:
  std::unique_ptr<TIcon> FIcon;
};

struct TAniHeader {
  uint32_t Size = 0, Frames = 0, Steps = 0, Width = 0, Height = 0, BitCount = 0, Planes = 0,
           DisplayRate = 0, Flags = 0;
};

class TAnimatedCursorImage : public TPersistent {
 public:
  TAnimatedCursorImage() = default;
  ~TAnimatedCursorImage() override;

  void Clear();
  // The bytes from the stream's position to its end; raises EReadError "Stream read error"
  // for a wrong form, a header without the icon flag or with no steps, or no frame with a
  // picture. What was read stays until the next Clear.
  virtual void LoadFromStream(TStream& Stream);
  // Not offered: an information box, then the silent abort.
  virtual void SaveToStream(TStream& Stream);
  // Clears on any error before passing it on.
  virtual void LoadFromFile(const std::string& FileName);
  void LoadFromMemory(const void* Data, size_t Size);

  const TAniHeader& Header() const { return FHeader; }
  std::string Title() const { return std::string(FTitle); }
  std::string Creator() const { return std::string(FCreator); }
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  TIconFrame* Frames(int Index) const { return FFrames.at(static_cast<size_t>(Index)).get(); }
  // The most colours of any frame's image: 2, 16 or 256, 0 for others or none.
  int FrameColors() const { return FFrameColors; }

  // The frames drawn on BackColor side by side (or one under the other) into Dest, reduced
  // to max(FrameColors, 16) colours when asked; an empty bitmap when there are no frames.
  void DrawFrames(TBitmap& Dest, TColor BackColor, bool Vertical, bool ReduceColors);

  void Assign(TPersistent* Source) override;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  void Parse(const uint8_t* Data, size_t Size);
  void ParseChunks(const uint8_t* Data, size_t Size);
  void DropFramesWithoutIcon();
  std::unique_ptr<TIcon> LoadIconChunk(const uint8_t* Data, size_t Size, bool& IsIcon, TPoint& HotSpot);
  TAniHeader FHeader;
  char FTitle[256] = {};
  char FCreator[256] = {};
  std::vector<std::unique_ptr<TIconFrame>> FFrames;
  int FFrameColors = 0;
};
