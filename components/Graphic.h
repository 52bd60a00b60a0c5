// The class library's picture classes for the picture components: TGraphic, the base of every
// picture format (GIF pictures, later icons and cursors), and TPicture, the container that
// loads a picture by file extension or from the clipboard through the formats registered with
// it. Drawing goes through the platform canvas; formats keep their data as they like.
//
// Registration is process-wide and happens at start-up (RegisterFileFormat,
// RegisterClipboardFormat); the container also makes sure this library's own formats (GIF)
// are registered before it looks one up. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Clipbrd.h"

class TStream;

// Progress of a long picture operation: stage 0 starting, 1 running, 2 ending.
using TProgressEvent = std::function<void(TObject* Sender, int Stage, int PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

class TGraphic : public TPersistent {
 public:
  TGraphic();
  ~TGraphic() override;

  virtual void Draw(TCanvas& ACanvas, const TRect& Rect) = 0;
  virtual bool Empty() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  // The platform's bitmaps carry no palette handle: 0 means none.
  virtual uintptr_t Palette() { return 0; }
  virtual bool Transparent() { return FTransparent; }
  virtual void SetTransparent(bool Value);
  // Same class and same picture (the base compares nothing and answers false).
  virtual bool Equals(TGraphic* Graphic);

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  // Opens the file read-only and loads from it; a missing file raises EFOpenError.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  // Clipboard data: Data is the bytes of Format as the clipboard holds them.
  virtual void LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                                       uintptr_t Palette) = 0;
  virtual void SaveToClipboardFormat(TClipboardFormat& Format, std::string& Data,
                                     uintptr_t& Palette) = 0;
  // Component streaming.
  virtual void ReadData(TStream& Stream) = 0;
  virtual void WriteData(TStream& Stream) = 0;

  bool PaletteModified = false;
  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  virtual void Changed();
  void Progress(TObject* Sender, int Stage, int PercentDone, bool RedrawNow, const TRect& R,
                const std::string& Msg);
  bool FTransparent = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  TGraphic* Graphic() const { return FGraphic.get(); }
  // Takes the picture over (nullptr empties the container).
  void SetGraphic(std::unique_ptr<TGraphic> Graphic);
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  // Loads through the format registered for the file's extension (letters folded); an
  // unknown extension raises EInvalidGraphic "Unknown picture file extension (.<ext>)".
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  // Loads the clipboard's data of Format through the format registered for it; an
  // unregistered format raises EInvalidGraphic "Unsupported clipboard format".
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                               uintptr_t Palette);
  static bool SupportsClipboardFormat(TClipboardFormat Format);

  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 const std::string& ClassName, TGraphicFactory Factory);
  static void RegisterClipboardFormat(TClipboardFormat Format, const std::string& ClassName,
                                      TGraphicFactory Factory);
  // Removes every file and clipboard format registered for the class.
  static void UnregisterGraphicClass(const std::string& ClassName);
  // The description registered for an extension ("" when none).
  static std::string FileFormatDescription(const std::string& Extension);

  TNotifyEvent OnChange;

 private:
  std::unique_ptr<TGraphic> FGraphic;
};
