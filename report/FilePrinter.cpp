// Playback of a report stream: reading, the page walk and the printing run.
#include "report/FilePrinter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <vector>

#include <QImage>
#include <QPainter>

#include "platform/core/Services.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "report/ReportPrinter.h"

namespace {

// A graphic read from a stream, and its picture when there is one to draw.
struct PlayedGraphic {
  uint8_t Kind;
  std::unique_ptr<TBitmap> Picture;
};

// The picture of a recorded graphic: a bitmap as itself; an icon, and a graphic of another
// kind, when Qt can read its bytes. A metafile cannot be drawn here (Qt reads none): nothing.
std::unique_ptr<TBitmap> PictureOf(uint8_t Kind, const std::string& Bytes) {
  auto b = std::make_unique<TBitmap>();
  if (Kind == gkBitmap) {
    b->LoadFromMemory(Bytes.data(), Bytes.size());
    return b;
  }
  QImage img;
  const auto* data = reinterpret_cast<const uchar*>(Bytes.data());
  if (Bytes.empty() || !img.loadFromData(data, static_cast<int>(Bytes.size()), Kind == gkIcon ? "ICO" : nullptr))
    return nullptr;
  b->SetImage(img);
  return b;
}

template <class E>
E Clamped(uint8_t v, E max, E fallback) {
  return v <= static_cast<uint8_t>(max) ? static_cast<E>(v) : fallback;
}

}  // namespace

TFilePrinter::BusyCursor::BusyCursor() {
  if (Screen) Screen->SetCursor(crHourGlass);
}
TFilePrinter::BusyCursor::~BusyCursor() {
  if (Screen) Screen->SetCursor(crDefault);
}

TFilePrinter::TFilePrinter(TComponent* AOwner) : TCanvasReport(AOwner) {
  SetUnitsFactor(1);
  SetUnits(unInch);
}

TFilePrinter::~TFilePrinter() = default;

void TFilePrinter::CloseInputStream() {
  FReader.reset();
  FOwnedIn.reset();
  FIn = nullptr;
}

bool TFilePrinter::OpenInputStream() {
  try {
    switch (StreamMode) {
      case smMemory: {
        // Read in pieces, with the application's turn between them: a long report's stream
        // takes a noticeable while to read.
        TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        auto m = std::make_unique<TMemoryStream>();
        const int64_t size = file.Size();
        constexpr int64_t kPiece = 4 << 20;
        std::vector<unsigned char> piece(static_cast<std::size_t>(std::min(kPiece, size)));
        for (int64_t at = 0; at < size; at += kPiece) {
          const int64_t n = std::min(kPiece, size - at);
          file.ReadBuffer(piece.data(), n);
          m->WriteBuffer(piece.data(), n);
          ProcessMessages();
        }
        m->SetPosition(0);
        FOwnedIn = std::move(m);
        break;
      }
      case smFile: FOwnedIn = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite); break;
      case smUser:
        if (!Stream) throw EStreamError("No stream");
        Stream->SetPosition(0);
        break;
    }
  } catch (const EStreamError&) {
    FOwnedIn.reset();
    MessageDlg("Error initializing input stream \"" + FileName + "\"", mtError, {mbOK}, 0);
    return false;
  }
  FIn = StreamMode == smUser ? Stream : FOwnedIn.get();
  FReader = std::make_unique<TReportReader>(*FIn);
  return true;
}

void TFilePrinter::ExpectCode(uint8_t Code) {
  if (FReader->Byte() != Code) {
    if (Printing()) AbortReport();
    throw EReportKit(kUnexpectedCode);
  }
}

void TFilePrinter::ReadReportHeader() {
  ExpectCode(rcReportHeader);
  TReportHeader h = FReader->ReportHeader();
  // A page of no size or of absurd size is damage, not something to allocate for.
  auto sane = [](double v) { return std::isfinite(v) && v > 0 && v <= 200; };
  if (h.PageCount < 0 || !sane(h.PageWidth) || !sane(h.PageHeight)) {
    if (Printing()) AbortReport();
    throw EReportKit(kUnexpectedCode);
  }
  FPageCount = h.PageCount;
  FirstPage = h.FirstPage;
  LastPage = h.LastPage;
  FPageWidth = h.PageWidth;
  FPageHeight = h.PageHeight;
  if (h.Orientation <= poDefault) SetOrientation(static_cast<TOrientation>(h.Orientation));
  if (!NoPrintersInstalled() && h.Copies > 0) ReportPrinter().Setup().Copies = static_cast<int16_t>(std::min(h.Copies, 32767));
  if (!h.OutputPort.empty()) SetOutputPort(h.OutputPort);
}

void TFilePrinter::ReadPageHeader() {
  FCurrentHeaderPos = FReader->Position();
  ExpectCode(rcPageHeader);
  TPageHeader h = FReader->PageHeader();
  FPrevLink = h.PrevLink;
  FNextLink = h.NextLink;
  PageNumber = h.PageNumber;
}

void TFilePrinter::StartWalk() {
  PageNumber = 0;
  FPrevLink = 0;
  FCurrentHeaderPos = 0;
  FNextLink = FReader->Position();
}

void TFilePrinter::GotoPage(unsigned N) {
  // Page numbers are the stream's 32 bits: a report of more than 65,535 pages plays them all.
  const int64_t n = static_cast<uint32_t>(N);
  // The recorder links pages forwards and backwards; a link that does not move that way is
  // damage, and following it could walk in circles.
  auto follow = [&](int64_t link, bool forward) {
    if (forward ? link <= FCurrentHeaderPos && FCurrentHeaderPos > 0 : link >= FCurrentHeaderPos) {
      if (Printing()) AbortReport();
      throw EReportKit(kUnexpectedCode);
    }
    FReader->Seek(link);
    ReadPageHeader();
  };
  // A print run only goes forwards.
  if (FWalkMustMove && n < static_cast<int64_t>(static_cast<uint32_t>(PageNumber))) {
    if (Printing()) AbortReport();
    throw EReportKit(kUnexpectedCode);
  }
  if (n != static_cast<int64_t>(static_cast<uint32_t>(PageNumber))) {
    bool stuck = false;
    while (n < static_cast<int64_t>(static_cast<uint32_t>(PageNumber))) {
      if (FPrevLink <= 0) {
        stuck = true;
        break;
      }
      follow(FPrevLink, false);
    }
    if (!stuck) {
      while (static_cast<int64_t>(static_cast<uint32_t>(PageNumber)) < n) {
        if (FNextLink <= 0) {
          stuck = true;
          break;
        }
        follow(FNextLink, true);
      }
      if (!stuck) return;
    }
  }
  // A print run asks for the pages one after another: a page it cannot reach means the
  // header promised pages the stream does not hold, and the current page is not printed again.
  if (FWalkMustMove) {
    if (Printing()) AbortReport();
    throw EReportKit(kUnexpectedCode);
  }
  FReader->Seek(FCurrentHeaderPos);
  ReadPageHeader();
}

bool TFilePrinter::HasPages() {
  // The count is the recorder's word; the stream must also hold a first page header.
  return FPageCount > 0 && FReader->Remaining() > 0;
}

void TFilePrinter::SayNoPages() { MessageDlg(kNoPages, mtInformation, {mbOK}, 0); }

void TFilePrinter::PlayPage(unsigned N) {
  FCopyFills = 0;
  GotoPage(N);
  PlayRecords();
}

TReportCanvas& TFilePrinter::GetCanvas() {
  TReportCanvas& c = TCanvasReport::GetCanvas();
  if (FCopyPainter) c.SetPainter(FCopyPainter);
  return c;
}

void TFilePrinter::FloodFill(double X, double Y, TColor Color, int FillStyle) {
  if (!Drawing()) return;
  TReportCanvas& c = GetCanvas();
  if (c.CanReadBack() || !c.Painter() || !c.Painter()->device()) {
    TCanvasReport::FloodFill(X, Y, Color, FillStyle);
    return;
  }
  // Each fill plays the page so far again: a page of thousands of fills must not take hours.
  constexpr int kMaxCopyFills = 64;
  if (++FCopyFills > kMaxCopyFills) return;
  // The copy of the page holds at most this many pixels; a finer device is copied smaller.
  constexpr double kCopyPixels = 8.0 * 1024 * 1024;
  QPaintDevice* device = c.Painter()->device();
  const double w = std::max(1, device->width()), h = std::max(1, device->height());
  const double scale = std::min(1.0, std::sqrt(kCopyPixels / (w * h)));
  QImage copy(std::max(1, static_cast<int>(w * scale)), std::max(1, static_cast<int>(h * scale)),
              QImage::Format_RGB32);
  copy.fill(Qt::white);
  const int64_t resume = FReader->Position();
  const int64_t stop = FRecordStart;
  {
    QPainter painter(&copy);
    painter.scale(scale, scale);
    FCopyPainter = &painter;
    struct Back {
      QPainter*& p;
      ~Back() { p = nullptr; }
    } back{FCopyPainter};
    // The records before this one, from the page's start: the state they leave is the state
    // in force now, and what they draw is what the fill meets.
    FReader->Seek(FCurrentHeaderPos);
    ReadPageHeader();
    PlayRecords(stop);
  }
  FReader->Seek(resume);
  TReportCanvas& on = GetCanvas();
  QPoint at(static_cast<int>(UnitsToDeviceX(X) * scale), static_cast<int>(UnitsToDeviceY(Y) * scale));
  on.FillRegion(TReportCanvas::FloodRegion(copy, at, Color, FillStyle), scale);
}

void TFilePrinter::PlayRecords(int64_t StopAt) {
  // Sizes from a damaged stream are kept within a sheet, so one record cannot ask the device
  // for a glyph or a pen of kilometres.
  constexpr int kMaxInches = 20;
  auto FontPixels = [&](int h) { return std::clamp(h, -YDPI * kMaxInches, YDPI * kMaxInches); };
  TReportReader& r = *FReader;
  auto pt = [&] {
    TStreamPoint p = r.Point();
    return p;
  };
  auto devRect = [&](const TStreamRect& s) {
    return Rect(InchesToDeviceX(s.TopLeft.X), InchesToDeviceY(s.TopLeft.Y), InchesToDeviceX(s.BottomRight.X),
                InchesToDeviceY(s.BottomRight.Y));
  };
  auto graphic = [&] {
    uint8_t kind;
    std::string bytes;
    r.Graphic(kind, bytes);
    return PlayedGraphic{kind, PictureOf(kind, bytes)};
  };
  // The records that take a bitmap refuse the other kinds, as a cast to a bitmap would.
  auto asBitmap = [](const PlayedGraphic& g) -> const TBitmap& {
    if (g.Kind != gkBitmap || !g.Picture) throw EInvalidCast("Invalid class typecast");
    return *g.Picture;
  };
  for (;;) {
    FRecordStart = r.Position();
    if (StopAt >= 0 && FRecordStart >= StopAt) return;
    uint8_t code = r.Byte();
    switch (code) {
      case rcArc: case rcChord: case rcPie: {
        TStreamPoint p[4] = {pt(), pt(), pt(), pt()};
        if (code == rcArc) Arc(p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
        else if (code == rcChord) Chord(p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
        else Pie(p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
        break;
      }
      case rcBrushCopy: {
        auto g = graphic();
        TRect d = devRect(r.Rect()), s = devRect(r.Rect());
        TColor c = static_cast<TColor>(r.Int32());
        BrushCopy(d, asBitmap(g), s, c);
        break;
      }
      case rcCopyRect:  // no recorder writes it and a stream cannot carry a canvas: read past
        r.Rect();
        r.Int32();
        r.Rect();
        break;
      case rcDraw: {
        auto g = graphic();
        TStreamPoint p = pt();
        if (g.Picture) Draw(p.X, p.Y, *g.Picture);
        break;
      }
      case rcDrawFocusRect: DrawFocusRect(devRect(r.Rect())); break;
      case rcFillRect: FillRect(devRect(r.Rect())); break;
      case rcFrameRect: FrameRect(devRect(r.Rect())); break;
      case rcEllipse: case rcRectangle: case rcTabRectangle: {
        TStreamPoint a = pt(), b = pt();
        if (code == rcEllipse) Ellipse(a.X, a.Y, b.X, b.Y);
        else if (code == rcRectangle) Rectangle(a.X, a.Y, b.X, b.Y);
        else DrawTabRectangle(a.X, a.Y, b.X, b.Y);
        break;
      }
      case rcFloodFill: {
        TStreamPoint p = pt();
        TColor c = static_cast<TColor>(r.Int32());
        int style = r.Int32();
        FloodFill(p.X, p.Y, c, style);
        break;
      }
      case rcLineTo: { TStreamPoint p = pt(); LineTo(p.X, p.Y); break; }
      case rcMoveTo: { TStreamPoint p = pt(); MoveTo(p.X, p.Y); break; }
      case rcPolygon: case rcPolyline: {
        std::vector<TStreamPoint> sp = r.Points();
        std::vector<TPoint> pts;
        pts.reserve(sp.size());
        for (const TStreamPoint& p : sp) pts.push_back(TPoint{InchesToDeviceX(p.X), InchesToDeviceY(p.Y)});
        if (code == rcPolygon) Polygon(pts); else Polyline(pts);
        break;
      }
      case rcBitmapScaled: {
        auto g = graphic();
        TStreamPoint p = pt();
        double sx = r.Number(), sy = r.Number();
        DrawBitmapScaled(asBitmap(g), p.X, p.Y, sx, sy);
        break;
      }
      case rcBitmapRect: {
        auto g = graphic();
        TStreamPoint a = pt(), b = pt();
        DrawBitmapRect(asBitmap(g), a.X, a.Y, b.X, b.Y);
        break;
      }
      case rcRoundRect: {
        TStreamPoint a = pt(), b = pt();
        double cw = r.Number(), ch = r.Number();
        RoundRect(a.X, a.Y, b.X, b.Y, cw, ch);
        break;
      }
      case rcStretchDraw: {
        auto g = graphic();
        TRect d = devRect(r.Rect());
        if (g.Picture) StretchDraw(d, *g.Picture);
        break;
      }
      case rcTextRect: {
        TRect d = devRect(r.Rect());
        TStreamPoint p = pt();
        std::string t = r.Text();
        TextRect(d, p.X, p.Y, t);
        break;
      }
      case rcTextCenter: case rcTextLeft: case rcTextRight: {
        CursorY = r.Number();
        std::string t = r.Text();
        double x = r.Number();
        if (code == rcTextCenter) PrintTextCenter(t, x);
        else if (code == rcTextLeft) PrintTextLeft(t, x);
        else PrintTextRight(t, x);
        break;
      }
      case rcTextBKMode: SetTextBKMode(Clamped(r.Byte(), bkOpaque, bkTransparent)); break;
      case rcBackColor: SetBackColor(static_cast<TColor>(r.Int32())); break;
      case rcScaleX: SetScaleX(r.Number()); break;
      case rcScaleY: SetScaleY(r.Number()); break;
      case rcPrinterData: {
        std::string data = r.Text();
        if (!FCopyPainter) SendPrinterData(data);  // a page played again sends nothing twice
        break;
      }
      case rcBrush: case rcBrushColor: case rcBrushStyle: case rcBrushBitmap: {
        TReportBrush& b = GetCanvas().Brush();
        if (code == rcBrush || code == rcBrushColor) b.SetColor(static_cast<TColor>(r.Int32()));
        if (code == rcBrush || code == rcBrushStyle) b.SetStyle(Clamped(r.Byte(), bsDiagCross, bsSolid));
        if (code == rcBrush || code == rcBrushBitmap) {
          uint8_t flag = r.Byte();
          if (flag != 0) {
            auto g = graphic();
            if (g.Picture) b.SetBitmap(g.Picture.get());
          } else if (code == rcBrushBitmap) {
            b.SetBitmap(nullptr);
          }
        }
        break;
      }
      case rcFont: case rcFontName: case rcFontColor: case rcFontPitch: case rcFontSize: {
        TReportFont& f = GetCanvas().Font();
        if (code == rcFont || code == rcFontName) f.SetName(r.Text());
        if (code == rcFont || code == rcFontColor) f.SetColor(static_cast<TColor>(r.Int32()));
        if (code == rcFont || code == rcFontPitch) f.SetPitch(Clamped(r.Byte(), fpFixed, fpDefault));
        if (code == rcFont) {
          f.SetHeight(FontPixels(RoundEven(YDPI * r.Number() * ZoomFactor() / 100)));
          SetFontBold(r.Byte() != 0);
          SetFontItalic(r.Byte() != 0);
          SetFontUnderline(r.Byte() != 0);
          SetFontStrikeOut(r.Byte() != 0);
        }
        if (code == rcFontSize) f.SetHeight(FontPixels(-RoundEven(YDPI * r.Number() * ZoomFactor() / 100)));
        break;
      }
      case rcFontBold: SetFontBold(r.Byte() != 0); break;
      case rcFontUnderline: SetFontUnderline(r.Byte() != 0); break;
      case rcFontItalic: SetFontItalic(r.Byte() != 0); break;
      case rcFontStrikeOut: SetFontStrikeOut(r.Byte() != 0); break;
      case rcPen: case rcPenColor: case rcPenMode: case rcPenStyle: case rcPenWidth: {
        TReportPen& p = GetCanvas().Pen();
        if (code == rcPen || code == rcPenColor) p.SetColor(static_cast<TColor>(r.Int32()));
        if (code == rcPen || code == rcPenMode)
          p.SetMode(Clamped(r.Byte(), TReportPenMode::pmNotXor, TReportPenMode::pmCopy));
        if (code == rcPen || code == rcPenStyle) p.SetStyle(Clamped(r.Byte(), psInsideFrame, psSolid));
        if (code == rcPen || code == rcPenWidth)
          // The recorded width already holds the recorder's scale; only the zoom is applied.
          p.SetWidth(std::clamp(RoundEven(XDPI * r.Number() * ZoomFactor() / 100), 0, XDPI * kMaxInches));
        break;
      }
      case rcEndPage: return;
      default:
        AbortReport();
        throw EReportKit(kUnexpectedCode);
    }
  }
}

void TFilePrinter::NewPage() {
  TBaseReport::NewPage();
  ReportPrinter().NewPage();
}

void TFilePrinter::PrintRange(int AFirstPage, int ALastPage, int ACopies) {
  if (NoPrintersInstalled()) {
    MessageDlg("No printers are defined, aborting print job.", mtError, {mbOK}, 0);
    return;
  }
  CheckNotPrinting();
  BusyCursor cursor;
  UpdatePrinterMetrics();  // the printer may have changed since this component was made
  if (!OpenInputStream()) return;
  struct RunGuard {
    TFilePrinter* f;
    int unwinding = std::uncaught_exceptions();
    ~RunGuard() {
      TReportPrinter& p = ReportPrinter();
      // Any failure, not only an abort, discards the document: no partial page is printed.
      bool failed = f->Aborted() || std::uncaught_exceptions() > unwinding;
      if (failed && p.Printing()) p.Abort();
      if (p.Printing()) p.EndDoc();
      f->SetPrinting(false);
      f->CloseInputStream();
    }
  };
  RunGuard guard{this};
  ReadReportHeader();
  if (ACopies > 0) SetCopies(ACopies);
  StartWalk();
  if (AFirstPage <= 0) AFirstPage = 1;
  if (ALastPage <= 0 || ALastPage >= FPageCount) ALastPage = FPageCount;
  // Nothing to print is said, and no empty sheet leaves the printer.
  if (!HasPages() || AFirstPage > ALastPage) {
    SayNoPages();
    return;
  }
  if (PrintInParts(AFirstPage, ALastPage)) return;
  SetPrinting(true);
  SetAborted(false);
  PlayDocument(AFirstPage, ALastPage, nullptr);
}

void TFilePrinter::PlayDocument(int AFirstPage, int ALastPage, const std::function<bool()>& AfterPage) {
  // A run starts with its first page output, whatever an earlier aborted run left behind.
  PageOutputOff = false;
  ReportPrinter().BeginDoc(Title);
  GetCanvas().Font().PixelsPerInch = YDPI;
  ResetPageState();
  struct MustMove {
    bool& flag;
    ~MustMove() { flag = false; }
  } mustMove{FWalkMustMove};
  FWalkMustMove = true;
  for (int p = AFirstPage; p <= ALastPage; ++p) {
    PlayPage(static_cast<unsigned>(p));
    if (p < ALastPage) NewPage();
    PageNumber = p;
    if (AfterPage && !AfterPage()) break;
  }
}

// ---- Printing in parts ----------------------------------------------------------------------

namespace {

// The stream's bytes as another reader sees them: each part reads them through a view of its
// own, while the bytes stay where the run holds them.
class TBytesView : public TCustomMemoryStream {
 public:
  TBytesView(const void* Bytes, int64_t Size) { SetPointer(const_cast<void*>(Bytes), Size); }
  int64_t Write(const void*, int64_t) override { throw EWriteError("Stream write error"); }
};

// Fewer pages than this to a part are not worth a thread of their own.
constexpr int kPagesPerPart = 32;
constexpr int kMostParts = 8;
// How often the GUI thread shows the pages done and takes its turn while the parts are drawn:
// no sooner than a long operation lets the window have a turn (30 ms), or every other one
// would be skipped.
constexpr auto kTurn = std::chrono::milliseconds(35);

}  // namespace

bool TFilePrinter::PrintInParts(int AFirstPage, int ALastPage) {
  // A descendant may perform its pages in a way of its own: only this player is run in parts.
  if (typeid(*this) != typeid(TFilePrinter)) return false;
  const int pages = ALastPage - AFirstPage + 1;
  // One core is left to the GUI thread, so the window keeps its turns; two parts at least, so
  // a long document takes the same way on any machine.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  const int count = std::min({std::max(2, cores - 1), kMostParts, pages / kPagesPerPart});
  if (count < 2) return false;
  // Every page asked for must be reachable before the pages are shared out; a stream that
  // promises pages it does not hold is printed in one piece, which refuses it as it goes.
  const int64_t start = FReader->Position();
  try {
    FWalkMustMove = true;
    for (int p = AFirstPage; p <= ALastPage; ++p) GotoPage(static_cast<unsigned>(p));
    FWalkMustMove = false;
  } catch (const Exception&) {
    FWalkMustMove = false;
    FReader->Seek(start);
    StartWalk();
    return false;
  }
  FReader->Seek(start);
  StartWalk();

  TReportPrinter& printer = ReportPrinter();
  struct TPart {
    std::unique_ptr<TReportPrinter> Device;
    std::unique_ptr<TFilePrinter> Player;
    int First = 0, Last = 0;
    std::exception_ptr Error;
  };
  std::vector<TPart> parts(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    TPart& part = parts[static_cast<size_t>(i)];
    part.Device = printer.NewPart(Title, i);
    if (!part.Device) return false;
    part.First = AFirstPage + static_cast<int>(static_cast<int64_t>(pages) * i / count);
    part.Last = AFirstPage + static_cast<int>(static_cast<int64_t>(pages) * (i + 1) / count) - 1;
    part.Player = std::make_unique<TFilePrinter>();
    TFilePrinter& p = *part.Player;
    p.Title = Title;
    p.SetZoomFactor(ZoomFactor());
    p.SetTabShade(TabShade());
    p.SetMarginLeft(MarginLeft());
    p.SetMarginRight(MarginRight());
    p.SetMarginTop(MarginTop());
    p.SetMarginBottom(MarginBottom());
    p.StreamMode = smUser;
  }

  // The stream's bytes, read once and shared by the parts.
  std::string copy;
  const void* bytes = nullptr;
  int64_t size = 0;
  if (auto* m = dynamic_cast<TCustomMemoryStream*>(FIn)) {
    bytes = m->Memory();
    size = m->Size();
  } else {
    size = FIn->Size();
    copy.resize(static_cast<size_t>(size));
    FIn->SetPosition(0);
    FIn->ReadBuffer(copy.data(), size);
    bytes = copy.data();
  }

  SetPrinting(true);
  SetAborted(false);
  // A part that fails discards the document as one piece would: begun and aborted, nothing of
  // it printed, and the failure raised.
  auto discard = [&](std::exception_ptr Error) {
    try {
      printer.BeginDoc(Title);
      printer.Abort();
    } catch (const Exception&) {
    }
    std::rethrow_exception(Error);
  };

  std::mutex lock;
  std::condition_variable changed;
  int running = 0;
  std::atomic<int> done{0};
  std::atomic<bool> failed{false};
  // Waits for the threads while the GUI thread shows the pages done and takes its turns.
  auto whileWaiting = [&](std::vector<std::thread>& threads) {
    try {
      for (;;) {
        PageNumber = AFirstPage - 1 + done.load();
        UpdateStatus();
        std::unique_lock<std::mutex> l(lock);
        if (changed.wait_for(l, kTurn, [&] { return running == 0; })) break;
      }
    } catch (...) {
      // Whatever the GUI thread met in its turn, the parts stop and are waited for.
      failed = true;
      for (std::thread& t : threads) t.join();
      throw;
    }
    for (std::thread& t : threads) t.join();
  };
  auto finished = [&] {
    std::lock_guard<std::mutex> l(lock);
    --running;
    changed.notify_one();
  };

  std::vector<std::thread> threads;
  running = count;
  for (TPart& part : parts) {
    threads.emplace_back([&, at = &part] {
      GiveWayToOtherThreads();
      TReportPrinter* was = SetThreadReportPrinter(at->Device.get());
      try {
        TBytesView view(bytes, size);
        at->Player->Stream = &view;
        at->Player->PlayPart(at->First, at->Last, [&] {
          ++done;
          return !failed.load();
        });
        at->Player->Stream = nullptr;
      } catch (...) {
        at->Error = std::current_exception();
        failed = true;
      }
      SetThreadReportPrinter(was);
      finished();
    });
  }
  whileWaiting(threads);
  for (TPart& part : parts)
    if (part.Error) discard(part.Error);

  // The parts joined into the document, on a thread of its own as well: a long document's file
  // takes a while to write.
  std::exception_ptr joinError;
  std::vector<TReportPrinter*> devices;
  for (TPart& part : parts) devices.push_back(part.Device.get());
  threads.clear();
  running = 1;
  threads.emplace_back([&] {
    GiveWayToOtherThreads();
    try {
      printer.JoinParts(devices);
    } catch (...) {
      joinError = std::current_exception();
    }
    finished();
  });
  whileWaiting(threads);
  if (joinError) discard(joinError);
  PageNumber = ALastPage;
  return true;
}

void TFilePrinter::PlayPart(int AFirstPage, int ALastPage, const std::function<bool()>& AfterPage) {
  UpdatePrinterMetrics();  // the part's device
  if (!OpenInputStream()) throw EReportKit(kUnexpectedCode);
  struct RunGuard {
    TFilePrinter* f;
    int unwinding = std::uncaught_exceptions();
    ~RunGuard() {
      TReportPrinter& p = ReportPrinter();
      if (p.Printing()) {
        if (std::uncaught_exceptions() > unwinding) p.Abort();
        else p.EndDoc();
      }
      f->SetPrinting(false);
      f->CloseInputStream();
    }
  } guard{this};
  ReadReportHeader();
  StartWalk();
  SetPrinting(true);
  SetAborted(false);
  PlayDocument(AFirstPage, ALastPage, AfterPage);
}
