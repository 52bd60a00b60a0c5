// GIF file reading and writing, frame decoding and encoding.
#include "components/GifFile.h"

#include <algorithm>
#include <cstring>

bool TolerateDamage = true;
ColorReduction DefaultReduction = crHistogram;

// ---- The private copy of the file -------------------------------------------------------

// The bytes of the file being read, with reads that are checked against its end.
struct GifReadBuffer {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;

  bool Exhausted() const { return Pos >= Size; }
  size_t Left() const { return Size - Pos; }
  // As many bytes as there are, up to Count; returns the count read.
  size_t Read(void* To, size_t Count) {
    size_t n = std::min(Count, Left());
    if (n) std::memcpy(To, Data + Pos, n);
    Pos += n;
    return n;
  }
  void ReadExact(void* To, size_t Count) {
    if (Left() < Count) {
      Pos = Size;
      throw EReadError("Stream read error");
    }
    Read(To, Count);
  }
  bool ReadByte(uint8_t& B) { return Read(&B, 1) == 1; }
};

// ---- Routines ---------------------------------------------------------------------------

uint8_t ExtensionLabel(ExtensionKind Kind) {
  switch (Kind) {
    case ekGraphicControl: return 0xF9;
    case ekPlainText: return 0x01;
    case ekApplication: return 0xFF;
    default: return 0xFE;
  }
}

void TExtension::Assign(TPersistent* Source) {
  if (auto* e = dynamic_cast<TExtension*>(Source)) {
    if (e == this) return;
    Kind = e->Kind;
    HeaderBytes = e->HeaderBytes;
    if (e->SubBlockLines) {
      if (!SubBlockLines) SubBlockLines = std::make_unique<TStringList>();
      SubBlockLines->Assign(e->SubBlockLines.get());
    } else {
      SubBlockLines.reset();
    }
    return;
  }
  TPersistent::Assign(Source);
}

void RaiseGifError(const std::string& Message) { throw EInvalidGraphicOperation(Message); }

TColorValue TableEntryToColor(const GifColorTable& Table, int Index) {
  const uint8_t* e = Table.Entries[Index & 0xFF];
  return static_cast<TColorValue>(e[0]) | (static_cast<TColorValue>(e[1]) << 8) |
         (static_cast<TColorValue>(e[2]) << 16);
}

int ColorCountToBits(int Count) {
  for (int b = 1; b <= 8; ++b)
    if ((1 << b) == Count) return b;
  RaiseGifError("Wrong number of colors; must be a power of 2");
}

int BitsForCount(int Count) {
  int b = 1;
  while (b < 8 && (1 << b) < Count) ++b;
  return b;
}

int DecodedBitCount(int ColorBits) {
  if (ColorBits == 1) return 1;
  if (ColorBits >= 2 && ColorBits <= 4) return 4;
  if (ColorBits >= 5 && ColorBits <= 8) return 8;
  RaiseGifError("Wrong number of colors; must be a power of 2");
}

int FindTableIndex(const GifColorTable& Table, TColorValue Color) {
  if (Color == NoColor) return -1;
  TColorValue rgb = ResolveColor(Color);
  int n = std::clamp(Table.Count, 0, 256);
  for (int i = 0; i < n; ++i)
    if (TableEntryToColor(Table, i) == rgb) return i;
  return -1;
}

TExtension* FindExtensionOfKind(const TExtensionList* List, ExtensionKind Kind) {
  if (!List) return nullptr;
  for (auto it = List->rbegin(); it != List->rend(); ++it)
    if ((*it)->Kind == Kind) return it->get();
  return nullptr;
}

void FreeExtensionList(std::unique_ptr<TExtensionList>& List) { List.reset(); }

TGifProgress ForwardProgress(TGifImageCore* Image) {
  if (!Image || !Image->WantsProgress()) return nullptr;
  return [Image](int Stage, int Percent, const std::string& Message) {
    Image->Progress(Stage, Percent, Message);
  };
}

// ---- Extension blocks -------------------------------------------------------------------

namespace {

void ReadSubBlocks(GifReadBuffer& b, TExtension& ext) {
  for (;;) {
    if (b.Exhausted()) return;
    uint8_t len = 0;
    b.ReadByte(len);
    if (len == 0) return;
    std::string line(len, '\0');
    line.resize(b.Read(line.data(), len));
    if (!ext.SubBlockLines) ext.SubBlockLines = std::make_unique<TStringList>();
    ext.SubBlockLines->Add(line);
    if (b.Exhausted()) return;
  }
}

std::unique_ptr<TExtension> ReadExtension(GifReadBuffer& b) {
  uint8_t label = 0;
  b.ReadByte(label);
  auto ext = std::make_unique<TExtension>();
  size_t header = 0;
  bool blocks = true;
  switch (label) {
    case 0xF9: ext->Kind = ekGraphicControl; header = 6; blocks = false; break;
    case 0x01: ext->Kind = ekPlainText; header = 13; break;
    case 0xFF: ext->Kind = ekApplication; header = 12; break;
    case 0xFE: ext->Kind = ekComment; break;
    default: RaiseGifError(Format("Unrecognized extension block: %.2x", label));
  }
  if (header) {
    ext->HeaderBytes.resize(header);
    ext->HeaderBytes.resize(b.Read(ext->HeaderBytes.data(), header));
  }
  if (blocks) ReadSubBlocks(b, *ext);
  return ext;
}

bool IsLoopBlock(const TExtension& e) {
  if (e.Kind != ekApplication || !e.SubBlockLines || e.SubBlockLines->Count() < 1) return false;
  if (e.HeaderBytes.empty()) return false;
  size_t n = static_cast<uint8_t>(e.HeaderBytes[0]);
  if (n > 11 || e.HeaderBytes.size() < 1 + n) return false;
  const char* id = e.HeaderBytes.data() + 1;
  if (std::memcmp(id, "NETSCAPE2.0", n) != 0 && std::memcmp(id, "ANIMEXTS1.0", n) != 0)
    return false;
  std::string first = e.SubBlockLines->Get(0);
  return first.size() >= 3 && static_cast<uint8_t>(first[0]) == 1;
}

uint8_t NextBlockByte(GifReadBuffer& b) {
  uint8_t c = 0;
  while (b.ReadByte(c))
    if (c != 0) return c;
  return 0;
}

void PutHeader(TStream& s, const std::string& header, size_t fixed) {
  std::string h = header;
  h.resize(fixed, '\0');  // a header cut short in the file is written whole
  s.WriteBuffer(h.data(), static_cast<int64_t>(fixed));
}

void WriteByte(TStream& s, uint8_t v) { s.WriteBuffer(&v, 1); }

void WriteWord(TStream& s, uint32_t v) {
  uint8_t b[2];
  PutLE16(b, v);
  s.WriteBuffer(b, 2);
}

void WriteSubBlocks(TStream& s, const TStrings* lines) {
  if (lines)
    for (int i = 0; i < lines->Count(); ++i) {
      std::string line = lines->Get(i);
      size_t n = std::min<size_t>(line.size(), 255);
      if (n == 0) continue;
      WriteByte(s, static_cast<uint8_t>(n));
      s.WriteBuffer(line.data(), static_cast<int64_t>(n));
    }
  WriteByte(s, 0);
}

void WriteExtensionList(TStream& s, const TExtensionList& list) {
  for (const auto& e : list) {
    WriteByte(s, 0x21);
    WriteByte(s, ExtensionLabel(e->Kind));
    switch (e->Kind) {
      case ekGraphicControl: PutHeader(s, e->HeaderBytes, 6); break;
      case ekPlainText: PutHeader(s, e->HeaderBytes, 13); WriteSubBlocks(s, e->SubBlockLines.get()); break;
      case ekApplication: PutHeader(s, e->HeaderBytes, 12); WriteSubBlocks(s, e->SubBlockLines.get()); break;
      default: WriteSubBlocks(s, e->SubBlockLines.get()); break;
    }
  }
}

void WriteTable(TStream& s, const GifColorTable& t, int entries) {
  // Entries past the table's count are zero: the file always holds 2^bits of them.
  s.WriteBuffer(t.Entries, static_cast<int64_t>(entries) * 3);
}

}  // namespace

// ---- Frames ------------------------------------------------------------------------------

TGifFrameCore::TGifFrameCore(TGifImageCore* Owner) : CoreOwner(Owner) { ResetItem(); }
TGifFrameCore::~TGifFrameCore() {
  if (CoreOwner) {
    CoreOwner->DecodedPixels -= FChargedPixels;
    CoreOwner->DecodedBytes -= FChargedBytes;
  }
}

void TGifFrameCore::ChargeDecoded(int64_t Pixels, int64_t FileBytes) {
  if (Pixels > MaxFramePixels) RaiseOutOfMemory();
  if (!CoreOwner) return;
  const int64_t bytes = FileBytes + HeldImageBytes(Pixels);
  const int64_t otherPixels = CoreOwner->DecodedPixels - FChargedPixels;
  const int64_t otherBytes = CoreOwner->DecodedBytes - FChargedBytes;
  if (otherPixels + Pixels > MaxPicturePixels || otherBytes + bytes > MaxPictureBytes) RaiseOutOfMemory();
  CoreOwner->DecodedPixels = otherPixels + Pixels;
  CoreOwner->DecodedBytes = otherBytes + bytes;
  FChargedPixels = Pixels;
  FChargedBytes = bytes;
}

void TGifFrameCore::ResetItem() {
  SharedItem = std::make_shared<TGIFItem>();
  GrayMapping = false;
  Damaged = false;
  TransparentColor = NoColor;
  Origin = TGifOrigin{};
  InterlaceFlag = false;
  HasLocalTable = false;
  DelayMs = 0;
  DisposalMethod = 0;
}

void TGifFrameCore::LoadFrame(GifReadBuffer& b) {
  TGIFItem& item = *SharedItem;
  item.RasterData = std::make_unique<TMemoryStream>();
  try {
    uint8_t d[9];
    b.ReadExact(d, 9);
    const uint8_t packed = d[8];
    InterlaceFlag = (packed & 0x40) != 0;
    if (packed & 0x80) {
      item.ColorBits = static_cast<uint8_t>((packed & 7) + 1);
      HasLocalTable = true;
      item.ColorTable.Clear();
      item.ColorTable.Count = 1 << item.ColorBits;
      b.ReadExact(item.ColorTable.Entries, static_cast<size_t>(item.ColorTable.Count) * 3);
    } else {
      HasLocalTable = false;
      item.ColorTable.Clear();
    }
    uint8_t codeSize = 0;
    b.ReadExact(&codeSize, 1);
    TMemoryStream& raster = *item.RasterData;
    raster.WriteBuffer(&codeSize, 1);
    for (;;) {
      uint8_t len = 0;
      if (!b.ReadByte(len)) {
        Damaged = true;
        break;
      }
      if (len == 0) {
        raster.WriteBuffer(&len, 1);
        break;
      }
      if (b.Left() < len) {
        Damaged = true;
        b.Pos = b.Size;
        break;
      }
      raster.WriteBuffer(&len, 1);
      raster.WriteBuffer(b.Data + b.Pos, len);
      b.Pos += len;
      if (b.Exhausted()) break;
    }
    if (Damaged && !TolerateDamage) throw EReadError("Stream read error");
    raster.SetPosition(0);
    int width = GetLE16(d + 4), height = GetLE16(d + 6);
    if (width == 0 && CoreOwner) width = CoreOwner->LogicalWidth;
    if (height == 0 && CoreOwner) height = CoreOwner->LogicalHeight;
    Origin = TGifOrigin{GetLE16(d), GetLE16(d + 2)};
    item.FrameWidth = width;
    item.FrameHeight = height;
    item.DescriptorFlags = packed;
    if (!HasLocalTable && CoreOwner) item.ColorTable = CoreOwner->SharedData->ColorTable;
    DelayMs = 0;
    if (ExtensionList)
      for (const auto& e : *ExtensionList) {
        if (e->Kind != ekGraphicControl) continue;
        std::string h = e->HeaderBytes;
        h.resize(6, '\0');
        const auto* hb = reinterpret_cast<const uint8_t*>(h.data());
        if (hb[1] & 1) {
          if (hb[4] < item.ColorTable.Count) TransparentColor = TableEntryToColor(item.ColorTable, hb[4]);
        } else {
          TransparentColor = NoColor;
        }
        // Delays past 65.5 s stay as long as the field allows rather than wrap to a short one.
        const auto delay = static_cast<uint16_t>(std::min(GetLE16(hb + 2) * 10, 0xFFFF));
        DelayMs = std::max(delay, DelayMs);
        DisposalMethod = (hb[1] >> 2) & 7;
      }
  } catch (...) {
    item.RasterData.reset();
    throw;
  }
}

std::string TGifFrameCore::RasterToBitmapFile() {
  TGIFItem& item = *SharedItem;
  const int bits = DecodedBitCount(item.ColorBits);
  const int w = item.FrameWidth, h = item.FrameHeight;
  ChargeDecoded(static_cast<int64_t>(w) * h, DibFileSize(w, h, bits));
  // The palette: 256 entries of 128 in all four bytes, then the table's colours.
  uint8_t palette[1024];
  std::memset(palette, 128, sizeof palette);
  int n = std::clamp(item.ColorTable.Count, 0, 256);
  for (int i = 0; i < n; ++i) {
    palette[4 * i] = item.ColorTable.Entries[i][2];
    palette[4 * i + 1] = item.ColorTable.Entries[i][1];
    palette[4 * i + 2] = item.ColorTable.Entries[i][0];
    palette[4 * i + 3] = 0;
  }
  std::string file = MakeDibFile(w, h, bits, palette, 1 << bits);
  if (item.RasterData) {
    item.RasterData->SetPosition(0);
    bool damaged = false;
    DecodeRaster(*item.RasterData, w, h, bits, InterlaceFlag, ForwardProgress(CoreOwner), damaged,
                 DibPixels(file), item.ColorBits, TolerateDamage);
    Damaged = Damaged || damaged;
  }
  return file;
}

void TGifFrameCore::DecodedSize(int& Width, int& Height) {
  const std::string& f = DecodedFile();
  DibView v;
  if (ParseDib(f.data(), f.size(), v)) {
    Width = v.Width;
    Height = v.Height;
  } else {
    Width = Height = 0;
  }
}

const std::string& TGifFrameCore::DecodedFile() {
  if (FDecoded && !FDecoded->empty()) return *FDecoded;
  FDecoded = std::string();
  if (SharedItem->RasterData) FDecoded = RasterToBitmapFile();
  return *FDecoded;
}

void TGifFrameCore::SetDecodedFile(std::string File) { FDecoded = std::move(File); }

std::string TGifFrameCore::ReduceForEncoding(const std::string& File) {
  DibView v = CheckedDib(File.data(), File.size());
  if (v.BitCount == 1 || v.BitCount == 4 || v.BitCount == 8) return File;
  ColorReduction method = GrayMapping ? crGray : DefaultReduction;
  std::string reduced = ReduceDib(v, pf8bit, method);
  if (method == crGray) GrayMapping = true;
  return reduced.empty() ? File : reduced;
}

std::string TGifFrameCore::PictureForEncoding() {
  if (!FDecoded || FDecoded->empty()) RaiseGifError("No GIF Data to write");
  DibView v = CheckedDib(FDecoded->data(), FDecoded->size());
  if (v.Width == 0 || v.Height == 0) RaiseGifError("No GIF Data to write");
  return ReduceForEncoding(*FDecoded);
}

void TGifFrameCore::EncodeFromBitmap() { EncodeBitmapFile(PictureForEncoding()); }

void TGifFrameCore::EncodeBitmapFile(const std::string& File) {
  DibView v = CheckedDib(File.data(), File.size());
  int colors = 0;
  switch (v.BitCount) {
    case 1: colors = 2; break;
    case 4: colors = 16; break;
    case 8: colors = 256; break;
    default: RaiseGifError("GIF image encoding error");
  }
  InterlaceFlag = false;
  TGIFItem& item = *SharedItem;
  item.ColorTable.Clear();
  item.ColorTable.Count = std::min(256, colors);
  for (int i = 0; i < item.ColorTable.Count && i < v.PaletteCount; ++i) {
    item.ColorTable.Entries[i][0] = v.Palette[4 * i + 2];
    item.ColorTable.Entries[i][1] = v.Palette[4 * i + 1];
    item.ColorTable.Entries[i][2] = v.Palette[4 * i];
  }
  if (item.RasterData)
    item.RasterData->Clear();
  else
    item.RasterData = std::make_unique<TMemoryStream>();
  // The encoder takes bottom-up rows; a top-down file is turned over first.
  std::string flipped;
  const uint8_t* pixels = v.Pixels;
  if (v.TopDown) {
    flipped.resize(static_cast<size_t>(v.RowSize * v.Height));
    for (int y = 0; y < v.Height; ++y)
      std::memcpy(flipped.data() + (v.Height - 1 - y) * v.RowSize, v.RowAddress(y),
                  static_cast<size_t>(v.RowSize));
    pixels = reinterpret_cast<const uint8_t*>(flipped.data());
  }
  try {
    EncodeRaster(*item.RasterData, v.Width, v.Height, v.BitCount, false, ForwardProgress(CoreOwner),
                 pixels);
  } catch (const EAbort&) {
    ResetItem();
    throw;
  }
  item.RasterData->SetPosition(0);
  item.ColorBits = static_cast<uint8_t>(BitsForCount(item.ColorTable.Count));
  if (CoreOwner) {
    TGIFData& g = *CoreOwner->SharedData;
    if (g.ColorTable.Count != 0) {
      HasLocalTable = true;
    } else {
      g.ColorTable = item.ColorTable;
      g.ColorBits = item.ColorBits;
      HasLocalTable = false;
    }
  }
  item.FrameWidth = v.Width;
  item.FrameHeight = v.Height;
  if (CoreOwner) {
    CoreOwner->LogicalWidth = static_cast<uint16_t>(
        std::max<int>(CoreOwner->LogicalWidth, item.FrameWidth + Origin.Left));
    CoreOwner->LogicalHeight = static_cast<uint16_t>(
        std::max<int>(CoreOwner->LogicalHeight, item.FrameHeight + Origin.Top));
  }
}

void TGifFrameCore::SyncExtensions() {
  TExtension* gc = FindExtensionOfKind(ExtensionList.get(), ekGraphicControl);
  if (!gc && (DelayMs != 0 || TransparentColor != NoColor || DisposalMethod != 0)) {
    auto e = std::make_unique<TExtension>();
    e->Kind = ekGraphicControl;
    e->HeaderBytes = std::string("\x04\x00\x00\x00\x00\x00", 6);
    if (!ExtensionList) ExtensionList = std::make_unique<TExtensionList>();
    gc = e.get();
    ExtensionList->push_back(std::move(e));
  }
  if (gc) {
    gc->HeaderBytes.resize(6, '\0');
    auto* h = reinterpret_cast<uint8_t*>(gc->HeaderBytes.data());
    PutLE16(h + 2, DelayMs / 10);
    int idx = FindTableIndex(SharedItem->ColorTable, TransparentColor);
    if (idx < 0) {
      h[1] &= static_cast<uint8_t>(~1u);
    } else {
      h[4] = static_cast<uint8_t>(idx);
      h[1] |= 1;
    }
    h[1] = static_cast<uint8_t>((h[1] & ~0x1Cu) | ((DisposalMethod & 7u) << 2));
  }
  if (ExtensionList) {
    for (size_t i = ExtensionList->size(); i-- > 0;) {
      const TExtension& e = *(*ExtensionList)[i];
      if (e.Kind == ekComment && (!e.SubBlockLines || e.SubBlockLines->Count() == 0))
        ExtensionList->erase(ExtensionList->begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (!ExtensionList->empty() && CoreOwner) CoreOwner->FormatVersion = 2;
  }
}

void TGifFrameCore::WriteFrame(TStream& s) {
  TGIFItem& item = *SharedItem;
  if (ExtensionList) WriteExtensionList(s, *ExtensionList);
  WriteByte(s, 0x2C);
  uint8_t packed = 0;
  if (HasLocalTable) {
    item.ColorBits = static_cast<uint8_t>(BitsForCount(item.ColorTable.Count));
    packed = static_cast<uint8_t>(0x80 + item.ColorBits - 1);
  }
  if (InterlaceFlag) packed |= 0x40;
  WriteWord(s, static_cast<uint32_t>(Origin.Left));
  WriteWord(s, static_cast<uint32_t>(Origin.Top));
  WriteWord(s, static_cast<uint32_t>(item.FrameWidth));
  WriteWord(s, static_cast<uint32_t>(item.FrameHeight));
  WriteByte(s, packed);
  if (HasLocalTable) WriteTable(s, item.ColorTable, 1 << item.ColorBits);
  if (item.RasterData && item.RasterData->Size() > 0)
    s.WriteBuffer(item.RasterData->Memory(), item.RasterData->Size());
}

// ---- Pictures ---------------------------------------------------------------------------

TGifImageCore::TGifImageCore() { ResetImage(); }
TGifImageCore::~TGifImageCore() = default;

TGifFrameCore* TGifImageCore::CoreFrameAt(int Index) const {
  if (Index < 0 || Index >= FrameCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FrameList[static_cast<size_t>(Index)].get();
}

std::unique_ptr<TGifFrameCore> TGifImageCore::NewFrame() {
  return std::make_unique<TGifFrameCore>(this);
}

void TGifImageCore::DecodeActive() {
  int i = ActiveFrame >= 0 && ActiveFrame < FrameCount() ? ActiveFrame : 0;
  int w, h;
  CoreFrameAt(i)->DecodedSize(w, h);
}

void TGifImageCore::ResetImage() {
  SharedData = std::make_shared<TGIFData>();
  FrameList.clear();
  Damaged = false;
  ActiveFrame = -1;
  BackColor = NoColor;
  LoopCount = 1;
  LoopEnabled = false;
  FormatVersion = 0;
}

void TGifImageCore::RecomputeLogicalSize() {
  int lw = 0, lh = 0;
  for (auto& f : FrameList) {
    int w = 0, h = 0;
    // A raster not decoded yet has the size of its descriptor: asking for every frame's size
    // must not decode (and hold) every frame of a long animation.
    if (f->HasDecoded())
      f->DecodedSize(w, h);
    else if (f->SharedItem->RasterData) {
      w = f->SharedItem->FrameWidth;
      h = f->SharedItem->FrameHeight;
    }
    lw = std::max(lw, w + f->Origin.Left);
    lh = std::max(lh, h + f->Origin.Top);
  }
  LogicalWidth = static_cast<uint16_t>(std::min(lw, 0xFFFF));
  LogicalHeight = static_cast<uint16_t>(std::min(lh, 0xFFFF));
}

void TGifImageCore::LoadGifData(int64_t Size, TStream& Stream, bool DecodeFirst) {
  ResetImage();
  if (Size < 0) Size = 0;
  // The count comes from the caller or from a length in front of the data: the stream must
  // hold it before anything is allocated for it.
  if (Size > Stream.Size() - Stream.Position()) throw EReadError("Stream read error");
  std::string copy = GuardAllocation([&] { return std::string(static_cast<size_t>(Size), '\0'); });
  if (Size > 0) Stream.ReadBuffer(copy.data(), Size);
  if (Size > 0) {
    GifReadBuffer b{reinterpret_cast<const uint8_t*>(copy.data()), copy.size(), 0};
    TGIFData& g = *SharedData;
    // Signature and version, in any letter case.
    char sig[6] = {};
    b.Read(sig, 6);
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    for (char& c : sig) c = lower(c);
    if (std::memcmp(sig, "gif", 3) != 0) RaiseGifError("Unknown GIF version");
    if (std::memcmp(sig + 3, "87a", 3) == 0)
      FormatVersion = 1;
    else if (std::memcmp(sig + 3, "89a", 3) == 0)
      FormatVersion = 2;
    else
      RaiseGifError("Unknown GIF version");
    // The logical screen; short data is read as far as it goes.
    uint8_t screen[7] = {};
    b.Read(screen, 7);
    LogicalWidth = GetLE16(screen);
    LogicalHeight = GetLE16(screen + 2);
    const uint8_t packed = screen[4], background = screen[5];
    g.PixelAspect = screen[6];
    g.ColorBits = static_cast<uint8_t>((packed & 7) + 1);
    g.ColorResolution = static_cast<uint8_t>(((packed >> 4) & 7) + 1);
    if (packed & 0x80) {
      g.ColorTable.Count = 1 << g.ColorBits;
      b.Read(g.ColorTable.Entries, static_cast<size_t>(g.ColorTable.Count) * 3);
      if (background < g.ColorTable.Count) BackColor = TableEntryToColor(g.ColorTable, background);
    }

    uint8_t byte = NextBlockByte(b);
    while (byte != 0 && byte != ';' && !b.Exhausted()) {
      // A run of extensions; plain-text blocks drop what came before them.
      std::unique_ptr<TExtensionList> list;
      while (byte == '!') {
        std::unique_ptr<TExtension> e = ReadExtension(b);
        if (e->Kind == ekPlainText) list.reset();
        if (e->Kind == ekGraphicControl || e->Kind == ekComment) {
          if (!list) list = std::make_unique<TExtensionList>();
          list->push_back(std::move(e));
        } else if (IsLoopBlock(*e)) {
          std::string first = e->SubBlockLines->Get(0);
          LoopEnabled = true;
          int count = static_cast<uint8_t>(first[1]) | (static_cast<uint8_t>(first[2]) << 8);
          LoopCount = static_cast<uint16_t>(std::min(count, 30000));
        }
        byte = b.Exhausted() ? ';' : NextBlockByte(b);
      }
      if (list && list->empty()) list.reset();

      if (byte == ',') {
        if (FrameList.size() >= static_cast<size_t>(MaxGifFrames)) RaiseOutOfMemory();
        std::unique_ptr<TGifFrameCore> frame = NewFrame();
        if (g.ColorTable.Count > 0)
          frame->SharedItem->ColorBits = static_cast<uint8_t>(ColorCountToBits(g.ColorTable.Count));
        frame->ExtensionList = std::move(list);
        frame->LoadFrame(b);
        FrameList.push_back(std::move(frame));
        byte = b.Exhausted() ? ';' : NextBlockByte(b);
        if (byte != '!' && byte != ',' && byte != ';') byte = 0;
      } else if (g.CommentLines.Count() == 0 && list) {
        bool first = true;
        for (const auto& e : *list) {
          if (e->Kind != ekComment) continue;
          if (!first) g.CommentLines.Add("\r\n\r\n");
          first = false;
          if (e->SubBlockLines) g.CommentLines.AddStrings(*e->SubBlockLines);
        }
      } else {
        list.reset();
        if (byte != 0 && byte != ';') throw EReadError("Stream read error");
      }
    }
  }
  if (!FrameList.empty()) {
    ActiveFrame = 0;
    if (DecodeFirst) {
      try {
        DecodeActive();
      } catch (...) {
        FrameList.erase(FrameList.begin());
        if (FrameList.empty()) ActiveFrame = -1;
        throw;
      }
    }
  }
  PaletteModified = true;
  Changed();
}

void TGifImageCore::EncodeAllFrames() {
  for (auto& f : FrameList) {
    if (!f->SharedItem->RasterData || f->SharedItem->RasterData->Size() == 0) f->EncodeFromBitmap();
    f->SyncExtensions();
  }
}

void TGifImageCore::WriteGif(TStream& Stream, bool WithLength) {
  if (FrameList.empty()) RaiseGifError("No GIF Data to write");
  EncodeAllFrames();
  TMemoryStream s;
  TGIFData& g = *SharedData;
  if (g.CommentLines.Count() > 0) FormatVersion = 2;
  s.WriteBuffer(FormatVersion == 2 ? "GIF89a" : "GIF87a", 6);
  RecomputeLogicalSize();
  WriteWord(s, LogicalWidth);
  WriteWord(s, LogicalHeight);
  uint8_t packed = 0, background = 0;
  int globalBits = 0;
  if (g.ColorTable.Count > 0) {
    globalBits = ColorCountToBits(g.ColorTable.Count);
    // The size field tells readers how many entries follow, so it comes from the table
    // itself (ColorBits agrees with it unless it was left out of step).
    packed = static_cast<uint8_t>(0x80 + (globalBits - 1) * 16 + (globalBits - 1));
    if (BackColor != NoColor) background = static_cast<uint8_t>(std::max(0, FindTableIndex(g.ColorTable, BackColor)));
  }
  WriteByte(s, packed);
  WriteByte(s, background);
  WriteByte(s, g.PixelAspect);
  if (globalBits) WriteTable(s, g.ColorTable, g.ColorTable.Count);
  if (LoopEnabled && FrameList.size() > 1) {
    s.WriteBuffer("\x21\xFF\x0BNETSCAPE2.0", 14);
    const uint8_t loop[5] = {3, 1, static_cast<uint8_t>(LoopCount), static_cast<uint8_t>(LoopCount >> 8), 0};
    s.WriteBuffer(loop, 5);
  }
  for (auto& f : FrameList) f->WriteFrame(s);
  if (g.CommentLines.Count() > 0) {
    WriteByte(s, 0x21);
    WriteByte(s, 0xFE);
    WriteSubBlocks(s, &g.CommentLines);
  }
  WriteByte(s, 0x3B);
  if (WithLength) {
    uint8_t n[4];
    PutLE32(n, static_cast<uint32_t>(s.Size()));
    Stream.WriteBuffer(n, 4);
  }
  Stream.WriteBuffer(s.Memory(), s.Size());
}

std::string GifToBitmapFile(TStream& Stream) {
  TGifImageCore image;
  image.LoadGifData(Stream.Size() - Stream.Position(), Stream, true);
  if (image.FrameCount() == 0) throw EInvalidGraphic("Bitmap image is not valid");
  return image.CoreFrameAt(0)->DecodedFile();
}
