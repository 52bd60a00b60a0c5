// The picture base class and the format registry of the picture container.
#include "components/Graphic.h"

#include "components/BitmapUtilCore.h"
#include "components/GifImage.h"
#include "platform/core/Streams.h"

namespace {

struct FileFormat {
  std::string Extension, Description, ClassName;
  TGraphicFactory Factory;
};
struct ClipFormat {
  TClipboardFormat Format;
  std::string ClassName;
  TGraphicFactory Factory;
};

// The formats of this library register themselves at start-up; asking for them here as well
// keeps them known to every program that uses the container, whatever the linker keeps.
void EnsureBuiltInFormats() { RegisterGifFormat(); }

std::vector<FileFormat>& FileFormats() {
  static std::vector<FileFormat> list;
  return list;
}
std::vector<ClipFormat>& ClipFormats() {
  static std::vector<ClipFormat> list;
  return list;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string ExtensionOf(const std::string& name) {
  size_t dot = name.find_last_of('.');
  size_t slash = name.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return LowerAscii(name.substr(dot + 1));
}

}  // namespace

TGraphic::TGraphic() = default;
TGraphic::~TGraphic() = default;

void TGraphic::SetTransparent(bool Value) {
  if (StoreChanged(FTransparent, Value)) Changed();
}

bool TGraphic::Equals(TGraphic* Graphic) { return false; }

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* Sender, int Stage, int PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Graphic) {
  FGraphic = std::move(Graphic);
  if (OnChange) OnChange(this);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  EnsureBuiltInFormats();
  std::string ext = ExtensionOf(FileName);
  for (const FileFormat& f : FileFormats())
    if (f.Extension == ext) {
      std::unique_ptr<TGraphic> g = f.Factory();
      g->LoadFromFile(FileName);
      SetGraphic(std::move(g));
      return;
    }
  throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                                       uintptr_t Palette) {
  EnsureBuiltInFormats();
  for (const ClipFormat& c : ClipFormats())
    if (c.Format == Format) {
      std::unique_ptr<TGraphic> g = c.Factory();
      g->LoadFromClipboardFormat(Format, Data, Palette);
      SetGraphic(std::move(g));
      return;
    }
  throw EInvalidGraphic("Unsupported clipboard format");
}

bool TPicture::SupportsClipboardFormat(TClipboardFormat Format) {
  EnsureBuiltInFormats();
  for (const ClipFormat& c : ClipFormats())
    if (c.Format == Format) return true;
  return false;
}

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  const std::string& ClassName, TGraphicFactory Factory) {
  std::string ext = LowerAscii(Extension);
  for (FileFormat& f : FileFormats())
    if (f.Extension == ext) {
      f = FileFormat{ext, Description, ClassName, std::move(Factory)};
      return;
    }
  FileFormats().push_back(FileFormat{ext, Description, ClassName, std::move(Factory)});
}

void TPicture::RegisterClipboardFormat(TClipboardFormat Format, const std::string& ClassName,
                                       TGraphicFactory Factory) {
  ClipFormats().push_back(ClipFormat{Format, ClassName, std::move(Factory)});
}

void TPicture::UnregisterGraphicClass(const std::string& ClassName) {
  std::erase_if(FileFormats(), [&](const FileFormat& f) { return f.ClassName == ClassName; });
  std::erase_if(ClipFormats(), [&](const ClipFormat& c) { return c.ClassName == ClassName; });
}

std::string TPicture::FileFormatDescription(const std::string& Extension) {
  EnsureBuiltInFormats();
  std::string ext = LowerAscii(Extension);
  for (const FileFormat& f : FileFormats())
    if (f.Extension == ext) return f.Description;
  return "";
}
