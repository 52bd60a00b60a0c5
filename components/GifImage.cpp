// The GIF picture class: frames with bitmaps, drawing, loading, saving, copying and the
// clipboard.
#include "components/GifImage.h"

#include <algorithm>
#include <unordered_map>

#include "components/BitmapUtil.h"
#include "components/CursorsAni.h"
#include "platform/ui/Clipbrd.h"

namespace {

TClipboardFormat gGifFormat = 0;
bool gRegistered = false;

// Registration at start-up and its removal at shut-down.
struct GifFormatRegistration {
  GifFormatRegistration() { RegisterGifFormat(); }
  ~GifFormatRegistration() { UnregisterGifFormat(); }
} gStartup;

}  // namespace

TClipboardFormat GifClipboardFormat() {
  if (!gGifFormat) gGifFormat = RegisterClipboardFormat("GIF Image");
  return gGifFormat;
}

void RegisterGifFormat() {
  InstallPictureServices();
  if (gRegistered) return;
  gRegistered = true;
  auto factory = [] { return std::unique_ptr<TGraphic>(new TGIFImage()); };
  TPicture::RegisterFileFormat("gif", "CompuServe GIF Image", "TGIFImage", factory);
  TPicture::RegisterClipboardFormat(GifClipboardFormat(), "TGIFImage", factory);
}

void UnregisterGifFormat() {
  TPicture::UnregisterGraphicClass("TGIFImage");
  gRegistered = false;
}

// ---- Frames ------------------------------------------------------------------------------

TGIFFrame::TGIFFrame(TGIFImage* AOwner) : TGifFrameCore(AOwner), FOwnerImage(AOwner) {}
TGIFFrame::~TGIFFrame() = default;

TBitmap& TGIFFrame::FrameBitmap() {
  if (FDecodedBitmap && !FDecodedBitmap->Empty()) return *FDecodedBitmap;
  FDecodedBitmap = std::make_unique<TBitmap>();
  if (!SharedItem->RasterData) return *FDecodedBitmap;
  LoadBitmapFromDib(*FDecodedBitmap, RasterToBitmapFile());
  return *FDecodedBitmap;
}

void TGIFFrame::DecodedSize(int& Width, int& Height) {
  TBitmap& b = FrameBitmap();
  Width = b.Width();
  Height = b.Height();
}

std::string TGIFFrame::PictureForEncoding() {
  if (!FDecodedBitmap || FDecodedBitmap->Empty()) RaiseGifError("No GIF Data to write");
  return ReduceForEncoding(BitmapToDib24(*FDecodedBitmap));
}

void TGIFFrame::DrawFrame(TCanvas& Canvas, const TRect& Rect, bool Keyed) {
  TBitmap& b = FrameBitmap();
  if (Keyed && TransparentColor != NoColor)
    DrawBitmapRectKeyed(Canvas, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(),
                        TRect{0, 0, b.Width(), b.Height()}, b, TransparentColor);
  else
    Canvas.StretchDraw(Rect, b);
}

TExtension* TGIFFrame::CommentBlock(bool Create) {
  TExtension* e = FindExtensionOfKind(ExtensionList.get(), ekComment);
  if (!e && Create) {
    if (!ExtensionList) ExtensionList = std::make_unique<TExtensionList>();
    auto fresh = std::make_unique<TExtension>();
    fresh->Kind = ekComment;
    e = fresh.get();
    ExtensionList->push_back(std::move(fresh));
  }
  if (e && Create && !e->SubBlockLines) e->SubBlockLines = std::make_unique<TStringList>();
  return e;
}

TStrings& TGIFFrame::FrameComment() { return *CommentBlock(true)->SubBlockLines; }

void TGIFFrame::SetFrameComment(const TStrings& Lines) {
  TStrings& c = FrameComment();
  c.Clear();
  c.AddStrings(Lines);
}

void TGIFFrame::Assign(TPersistent* Source) {
  auto asNone = [this] {
    ResetItem();
    FDecodedBitmap.reset();
  };
  if (!Source) {
    asNone();
  } else if (auto* f = dynamic_cast<TGIFFrame*>(Source)) {
    if (f != this) {
      SharedItem = f->SharedItem;
      HasLocalTable = f->FOwnerImage == FOwnerImage ? f->HasLocalTable : true;
      Origin = f->Origin;
      InterlaceFlag = f->InterlaceFlag;
      // The picture is the source's: its bitmap when decoded, else the shared raster decoded
      // on demand (a bitmap left from before would show something else than is written).
      if (f->FDecodedBitmap) {
        FDecodedBitmap = std::make_unique<TBitmap>();
        FDecodedBitmap->Assign(f->FDecodedBitmap.get());
      } else {
        FDecodedBitmap.reset();
      }
      TransparentColor = f->TransparentColor;
      DelayMs = f->DelayMs;
      DisposalMethod = f->DisposalMethod;
      GrayMapping = f->GrayMapping;
      Damaged = f->Damaged;
      TExtension* c = f->CommentBlock(false);
      if (c && c->SubBlockLines) SetFrameComment(*c->SubBlockLines);
    }
  } else if (auto* img = dynamic_cast<TGIFImage*>(Source)) {
    if (img->FrameCount() == 0)
      asNone();
    else
      Assign(img->FrameAt(img->ActiveFrame < 0 ? 0 : img->ActiveFrame));
    return;  // the nested Assign recomputed the size
  } else if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    if (b->Empty()) {
      asNone();
    } else {
      ResetItem();
      FDecodedBitmap = std::make_unique<TBitmap>();
      FDecodedBitmap->Assign(b);
      // The frame keys on its own colour when it draws; its bitmap holds the pixels only.
      FDecodedBitmap->SetTransparent(false);
      if (b->Transparent()) TransparentColor = b->TransparentColor();
    }
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    if (g->Empty()) {
      asNone();
    } else {
      ResetItem();
      FDecodedBitmap = std::make_unique<TBitmap>();
      // The key of a transparent picture: the bitmap's brush colour, as it was before the
      // picture drew itself (its drawing may change the brush).
      TColor key = FDecodedBitmap->Canvas().Brush().Color;
      try {
        FDecodedBitmap->Assign(g);
      } catch (const Exception&) {
        // Pictures a bitmap cannot take (icons) are drawn into one instead.
        TBitmap& bm = *FDecodedBitmap;
        key = 0xFF00FF;
        bm.Canvas().Brush().Color = key;
        bm.SetSize(g->Width(), g->Height());
        bm.Canvas().FillRect(TRect{0, 0, bm.Width(), bm.Height()});
        g->Draw(bm.Canvas(), TRect{0, 0, bm.Width(), bm.Height()});
      }
      if (g->Transparent()) TransparentColor = ColorToRGB(key);
    }
  } else {
    TPersistent::Assign(Source);
  }
  if (FOwnerImage && !FOwnerImage->FMakingFrames) FOwnerImage->RecomputeLogicalSize();
}

void TGIFFrame::AssignTo(TPersistent* Dest) {
  if (dynamic_cast<TGIFFrame*>(Dest) || dynamic_cast<TGIFImage*>(Dest)) {
    Dest->Assign(this);
  } else if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
    b->Assign(&FrameBitmap());
    if (TransparentColor != NoColor) {
      // The nearest colour on a bitmap of full colour is the colour itself.
      b->SetTransparentColor(ColorToRGB(TransparentColor));
      b->SetTransparent(true);
    }
  } else if (dynamic_cast<TGraphic*>(Dest)) {
    Dest->Assign(&FrameBitmap());
  } else {
    TPersistent::AssignTo(Dest);
  }
}

// ---- Pictures ---------------------------------------------------------------------------

TGIFImage::TGIFImage() {
  RegisterGifFormat();
  FTransparent = true;
}

TGIFImage::~TGIFImage() {
  OnChange = nullptr;
  FrameList.clear();
}

std::unique_ptr<TGifFrameCore> TGIFImage::NewFrame() { return std::make_unique<TGIFFrame>(this); }

void TGIFImage::DecodeActive() { ActiveBitmap(); }

void TGIFImage::Changed() { TGraphic::Changed(); }

void TGIFImage::Progress(int Stage, int Percent, const std::string& Message) {
  TGraphic::Progress(this, Stage, Percent, false, TRect{0, 0, 0, 0}, Message);
}

TBitmap& TGIFImage::ActiveBitmap() {
  if (FrameList.empty()) {
    ResetImage();
    TBitmap empty;
    AppendFrame(&empty);
    ActiveFrame = 0;
    return FrameAt(0)->FrameBitmap();
  }
  int i = ActiveFrame >= 0 && ActiveFrame < FrameCount() ? ActiveFrame : 0;
  return FrameAt(i)->FrameBitmap();
}

int TGIFImage::AppendFrame(TPersistent* Picture) {
  FrameList.push_back(std::make_unique<TGIFFrame>(this));
  int index = FrameCount() - 1;
  ActiveFrame = index;
  FrameAt(index)->Assign(Picture);
  if (FormatVersion == 0) FormatVersion = 1;
  if (FrameCount() > 1) FormatVersion = 2;
  return index;
}

void TGIFImage::Draw(TCanvas& ACanvas, const TRect& Rect) {
  if (ActiveFrame >= 0 && ActiveFrame < FrameCount())
    FrameAt(ActiveFrame)->DrawFrame(ACanvas, Rect, Transparent());
}

bool TGIFImage::Empty() {
  if (FrameList.empty()) return true;
  int i = std::max(ActiveFrame, 0);
  if (i >= FrameCount()) return true;  // no such frame to show
  TGIFFrame* f = FrameAt(i);
  if (f->DecodedBitmap()) return false;
  if (!f->SharedItem->RasterData) return true;
  return f->SharedItem->RasterData->Size() == 0;
}

int TGIFImage::Width() {
  if (Empty() || ActiveFrame < 0 || ActiveFrame >= FrameCount()) return 0;
  return FrameAt(ActiveFrame)->FrameBitmap().Width();
}

int TGIFImage::Height() {
  if (Empty() || ActiveFrame < 0 || ActiveFrame >= FrameCount()) return 0;
  return FrameAt(ActiveFrame)->FrameBitmap().Height();
}

void TGIFImage::SetWidth(int) { RaiseGifError("Cannot change the Size of a GIF image"); }
void TGIFImage::SetHeight(int) { RaiseGifError("Cannot change the Size of a GIF image"); }

bool TGIFImage::Transparent() {
  if (!TGraphic::Transparent()) return false;
  for (auto& f : FrameList)
    if (f->TransparentColor != NoColor) return true;
  return false;
}

bool TGIFImage::Equals(TGraphic* Graphic) {
  auto* g = dynamic_cast<TGIFImage*>(Graphic);
  return g && g->SharedData == SharedData;
}

void TGIFImage::LoadFromStream(TStream& Stream) {
  LoadGifData(std::max<int64_t>(0, Stream.Size() - Stream.Position()), Stream, true);
}

void TGIFImage::SaveToStream(TStream& Stream) { WriteGif(Stream, false); }

void TGIFImage::ReadData(TStream& Stream) {
  uint8_t n[4];
  Stream.ReadBuffer(n, 4);
  LoadGifData(GetLE32(n), Stream, true);
}

void TGIFImage::WriteData(TStream& Stream) { WriteGif(Stream, true); }

void TGIFImage::LoadFromClipboardFormat(TClipboardFormat Format, const std::string& Data,
                                        uintptr_t Palette) {
  TClipboard& clip = Clipboard();
  if (clip.HasFormat(GifClipboardFormat())) {
    std::string bytes = clip.GetData(GifClipboardFormat());
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    uint8_t n[4];
    s.ReadBuffer(n, 4);
    LoadGifData(GetLE32(n), s, false);
    if (!FrameList.empty()) {
      ActiveFrame = 0;
      if (clip.HasFormat(CF_BITMAP)) {
        auto b = std::make_unique<TBitmap>();
        if (clip.GetBitmap(*b)) FrameAt(0)->SetDecodedBitmap(std::move(b));
      }
    }
    return;
  }
  TBitmap b;
  if (!clip.GetBitmap(b)) throw EInvalidGraphic("Bitmap image is not valid");
  Assign(&b);
}

void TGIFImage::SaveToClipboardFormat(TClipboardFormat& Format, std::string& Data,
                                      uintptr_t& Palette) {
  if (FrameList.empty()) return;
  TBitmap& b = FrameAt(0)->FrameBitmap();
  Format = CF_BITMAP;
  Data = BitmapToDib24(b);
  Palette = 0;
  for (auto& f : FrameList)
    if (!f->SharedItem->RasterData || f->SharedItem->RasterData->Size() == 0) return;
  TMemoryStream s;
  WriteGif(s, true);
  Clipboard().SetData(GifClipboardFormat(),
                      std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())));
}

void TGIFImage::Assign(TPersistent* Source) {
  if (!Source) {
    ResetImage();
  } else if (auto* g = dynamic_cast<TGIFImage*>(Source)) {
    if (g == this) return;
    SharedData = g->SharedData;
    FormatVersion = g->FormatVersion;
    BackColor = g->BackColor;
    LoopCount = g->LoopCount;
    LoopEnabled = g->LoopEnabled;
    Damaged = g->Damaged;
    FrameList.clear();
    for (int i = 0; i < g->FrameCount(); ++i) {
      auto f = std::make_unique<TGIFFrame>(this);
      f->Assign(g->FrameAt(i));
      f->HasLocalTable = g->FrameAt(i)->HasLocalTable;
      FrameList.push_back(std::move(f));
    }
    LogicalWidth = g->LogicalWidth;
    LogicalHeight = g->LogicalHeight;
    ActiveFrame = g->ActiveFrame;
  } else if (auto* f = dynamic_cast<TGIFFrame*>(Source)) {
    TGIFImage* owner = f->OwnerImage();
    std::shared_ptr<TGIFData> keep = owner ? owner->SharedData : nullptr;
    ResetImage();
    if (keep) {
      SharedData->PixelAspect = keep->PixelAspect;
      SharedData->ColorBits = keep->ColorBits;
      SharedData->ColorResolution = keep->ColorResolution;
      SharedData->ColorTable = keep->ColorTable;
    }
    FrameList.push_back(std::make_unique<TGIFFrame>(this));
    ActiveFrame = FrameCount() - 1;
    FrameAt(ActiveFrame)->Assign(f);
    if (FormatVersion == 0) FormatVersion = 1;
  } else if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    ResetImage();
    AppendFrame(b);
  } else if (auto* ani = dynamic_cast<TAnimatedCursorImage*>(Source)) {
    ResetImage();
    BackColor = clWindow;
    // Steps that show one icon show one picture: the frame made for its first step is
    // copied, sharing its bitmap, so the cost follows the cursor's icons and not its steps.
    std::unordered_map<const void*, TGIFFrame*> made;
    FMakingFrames = true;
    try {
      for (int i = 0; i < ani->FrameCount(); ++i) {
        TIconFrame* f = ani->Frames(i);
        const void* id = f->Icon() ? f->Icon()->DataId() : nullptr;
        auto same = id ? made.find(id) : made.end();
        if (same == made.end()) {
          AppendFrame(f->Icon());
          if (id) made.emplace(id, FrameAt(ActiveFrame));
        } else {
          AppendFrame(same->second);
        }
        // Rates count jiffies (1/60 s); a rate too long for the delay keeps the longest delay.
        FrameAt(ActiveFrame)->DelayMs =
            static_cast<uint16_t>(std::clamp<int64_t>(int64_t{f->Rate} * 100 / 6, 0, 0xFFFF));
      }
    } catch (...) {
      FMakingFrames = false;
      RecomputeLogicalSize();
      throw;
    }
    FMakingFrames = false;
    RecomputeLogicalSize();
  } else {
    TGraphic::Assign(Source);
    return;
  }
  Changed();
}

void TGIFImage::AssignTo(TPersistent* Dest) {
  if (auto* g = dynamic_cast<TGIFImage*>(Dest)) {
    g->Assign(this);
    return;
  }
  auto* bitmap = dynamic_cast<TBitmap*>(Dest);
  if (!bitmap && !dynamic_cast<TGraphic*>(Dest)) {
    TGraphic::AssignTo(Dest);
    return;
  }
  if (Empty()) {
    if (bitmap)
      bitmap->SetSize(0, 0);
    else
      Dest->Assign(nullptr);
  } else if (ActiveFrame < 0) {
    Dest->Assign(&ActiveBitmap());
  } else {
    FrameAt(ActiveFrame < FrameCount() ? ActiveFrame : 0)->AssignTo(Dest);
  }
}

// ---- The simple road --------------------------------------------------------------------

void LoadGifBitmap(TStream& Stream, TBitmap& Bitmap) {
  TGIFImage image;
  image.LoadFromStream(Stream);
  if (image.FrameCount() == 0) throw EInvalidGraphic("Bitmap image is not valid");
  Bitmap.Assign(&image.FrameAt(0)->FrameBitmap());
}

void LoadGifBitmap(const std::string& FileName, TBitmap& Bitmap) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadGifBitmap(f, Bitmap);
}
