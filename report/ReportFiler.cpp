// The report recorder: runs the report's events and writes the report stream.
#include "report/ReportFiler.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "report/ReportPrinter.h"

TReportFiler::TReportFiler(TComponent* AOwner) : TBaseReport(AOwner) {
  FCanvas.Brush().OnChange = [this] { BrushChanged(); };
  FCanvas.Font().OnChange = [this] { FontChanged(); };
  FCanvas.Pen().OnChange = [this] { PenChanged(); };
}

TReportFiler::~TReportFiler() {
  FCanvas.Brush().OnChange = nullptr;
  FCanvas.Font().OnChange = nullptr;
  FCanvas.Pen().OnChange = nullptr;
}

// ---- Positions ------------------------------------------------------------------------------

TStreamPoint TReportFiler::UnitsPoint(double X, double Y) const {
  return TStreamPoint{X / UnitsFactor() + OriginX, Y / UnitsFactor() + OriginY};
}

TStreamPoint TReportFiler::DevicePoint(int X, int Y) const {
  double x = ((X - DeviceOriginX) / static_cast<double>(XDPI) + PrinterOffsetLeft) * 10000 / (ScaleX() * ZoomFactor());
  double y = ((Y - DeviceOriginY) / static_cast<double>(YDPI) + PrinterOffsetTop) * 10000 / (ScaleY() * ZoomFactor());
  return TStreamPoint{x, y};
}

TStreamRect TReportFiler::DeviceRect(const TRect& R) const {
  return TStreamRect{DevicePoint(R.Left, R.Top), DevicePoint(R.Right, R.Bottom)};
}

void TReportFiler::WritePoint(const TStreamPoint& P) { FWriter->Point(P.X, P.Y); }

void TReportFiler::WriteBitmap(const TBitmap& B) {
  TMemoryStream m;
  B.SaveToStream(m);
  std::string bytes(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
  FWriter->Graphic(gkBitmap, bytes);
}

bool TReportFiler::Drawing() {
  CheckPrinting();
  return !PageOutputOff && FWriter;
}

void TReportFiler::Done() { ProcessMessages(); }

// ---- State records --------------------------------------------------------------------------

namespace {

// Records code and the new value when it differs from what the stream last carried, or always
// when forced; put writes the value.
template <class T, class Put>
void RecordChange(TReportWriter& w, bool force, uint8_t code, const T& value, T& last, Put put) {
  if (!force && value == last) return;
  w.Byte(code);
  put(w, value);
  last = value;
}

void PutColor(TReportWriter& w, TColor c) { w.Int32(static_cast<int32_t>(c)); }
template <class T>
void PutByte(TReportWriter& w, T v) { w.Byte(static_cast<uint8_t>(v)); }
void PutNumber(TReportWriter& w, double v) { w.Number(v); }
void PutText(TReportWriter& w, const std::string& v) { w.Text(v); }

}  // namespace

void TReportFiler::BrushChanged() {
  if (!Recording() || !FWriter) return;
  TReportBrush& b = FCanvas.Brush();
  TReportWriter& w = *FWriter;
  RecordChange(w, FForce, rcBrushColor, b.Color(), FLast.BrushColor, PutColor);
  RecordChange(w, FForce, rcBrushStyle, b.Style(), FLast.BrushStyle, PutByte<TBrushStyle>);
  if (b.Bitmap() && !b.Bitmap()->Empty()) {
    w.Byte(rcBrushBitmap);
    w.Byte(1);
    WriteBitmap(*b.Bitmap());
    FLast.BrushBitmap = true;
  } else if (FLast.BrushBitmap || FForce) {
    w.Byte(rcBrushBitmap);
    w.Byte(0);
    FLast.BrushBitmap = false;
  }
}

void TReportFiler::FontChanged() {
  if (!Recording() || !FWriter) return;
  TReportFont& f = FCanvas.Font();
  TReportWriter& w = *FWriter;
  RecordChange(w, FForce, rcFontName, f.Name(), FLast.FontName, PutText);
  RecordChange(w, FForce, rcFontColor, f.Color(), FLast.FontColor, PutColor);
  RecordChange(w, FForce, rcFontPitch, f.Pitch(), FLast.FontPitch, PutByte<TFontPitch>);
  RecordChange(w, FForce, rcFontSize, std::abs(f.Height()) / static_cast<double>(YDPI), FLast.FontSize, PutNumber);
  RecordChange(w, FForce, rcFontBold, f.Has(fsBold), FLast.Bold, PutByte<bool>);
  RecordChange(w, FForce, rcFontItalic, f.Has(fsItalic), FLast.Italic, PutByte<bool>);
  RecordChange(w, FForce, rcFontUnderline, f.Has(fsUnderline), FLast.Underline, PutByte<bool>);
  RecordChange(w, FForce, rcFontStrikeOut, f.Has(fsStrikeOut), FLast.StrikeOut, PutByte<bool>);
}

void TReportFiler::PenChanged() {
  if (!Recording() || !FWriter) return;
  TReportPen& p = FCanvas.Pen();
  TReportWriter& w = *FWriter;
  RecordChange(w, FForce, rcPenColor, p.Color(), FLast.PenColor, PutColor);
  RecordChange(w, FForce, rcPenMode, p.Mode(), FLast.PenMode, PutByte<TReportPenMode>);
  RecordChange(w, FForce, rcPenStyle, p.Style(), FLast.PenStyle, PutByte<TPenStyle>);
  RecordChange(w, FForce, rcPenWidth, p.Width() / static_cast<double>(XDPI), FLast.PenWidth, PutNumber);
}

// ---- Pages ----------------------------------------------------------------------------------

void TReportFiler::WritePageHeader() {
  if (PageOutputOff || FPaused || !FWriter) return;
  TPageHeader h;
  h.PrevLink = static_cast<int32_t>(FLastHeaderPos);
  h.NextLink = 0;
  h.PageNumber = PageNumber;
  h.Orientation = static_cast<uint8_t>(Orientation());
  FPrevOfCurrent = FLastHeaderPos;
  FPageHeaderPos = FWriter->PageHeader(h);
  FPageOpen = true;
  FLastHeaderPos = FPageHeaderPos;
  FNextPos = FPageHeaderPos + TPageHeader::NextLinkOffset;
  FForce = true;
  BrushChanged();
  FontChanged();
  PenChanged();
  FForce = false;
  FWriter->Byte(rcScaleX);
  FWriter->Number(ScaleX());
  FWriter->Byte(rcScaleY);
  FWriter->Number(ScaleY());
  FWriter->Byte(rcTextBKMode);
  FWriter->Byte(static_cast<uint8_t>(TextBKMode()));
  FWriter->Byte(rcBackColor);
  FWriter->Int32(static_cast<int32_t>(FCanvas.BkColor()));
}

void TReportFiler::EndPage(bool Last) {
  if (!FWriter) return;
  if (!PageOutputOff) FWriter->Byte(rcEndPage);
  FPageOpen = false;
  // No page header written yet: there is no link to fill in.
  if (FNextPos > 0) FWriter->PatchInt32(FNextPos, Last ? 0 : static_cast<int32_t>(FWriter->Position()));
}

void TReportFiler::StartPage() {
  if (!PageOutputOff) ++FPagesWritten;
  WritePageHeader();
  if (OnNewPage) OnNewPage(this);
  if (OnPrintHeader) OnPrintHeader(this);
}

void TReportFiler::NewPage() {
  CheckPrinting();
  if (OnPrintFooter) OnPrintFooter(this);
  EndPage(false);
  TBaseReport::NewPage();
  StartPage();
}

void TReportFiler::AbortPage() {
  CheckPrinting();
  if (PageOutputOff || !FWriter) return;
  TBaseReport::AbortPage();
  DiscardOpenPage();
}

void TReportFiler::DiscardOpenPage() {
  if (!FPageOpen) return;
  FPageOpen = false;
  // The discarded page leaves nothing: the stream ends where its header began, and the links
  // go back to the last page kept.
  int64_t pos = FPageHeaderPos;
  FOut->SetSize(pos);
  FOut->SetPosition(pos);
  --FPagesWritten;
  FLastHeaderPos = FPrevOfCurrent;
  FPageHeaderPos = FPrevOfCurrent;
  FNextPos = FPrevOfCurrent > 0 ? FPrevOfCurrent + TPageHeader::NextLinkOffset : 0;
  if (FNextPos > 0) FWriter->PatchInt32(FNextPos, 0);
}

// ---- Execute --------------------------------------------------------------------------------

void TReportFiler::Execute() {
  CheckNotPrinting();
  // The printer is shared: a stream played before may have turned it. This recorder lays its
  // pages out in its own orientation.
  SetOrientation(Orientation());
  PageNumber = 0;
  FPageHeaderPos = FLastHeaderPos = FPrevOfCurrent = FNextPos = 0;
  FPagesWritten = 0;
  FPageOpen = false;
  if (OnBeforePrint) OnBeforePrint(this);
  struct AfterGuard {
    TReportFiler* f;
    int unwinding = std::uncaught_exceptions();
    ~AfterGuard() noexcept(false) {
      if (!f->OnAfterPrint) return;
      if (std::uncaught_exceptions() > unwinding) {
        // Already leaving with the drawing code's exception: that one is what the caller sees.
        try {
          f->OnAfterPrint(f);
        } catch (...) {
        }
      } else {
        f->OnAfterPrint(f);
      }
    }
  };
  AfterGuard after{this};
  if (!OnPrint && !OnPrintPage) return;

  // Step 4: the stream.
  try {
    switch (StreamMode) {
      case smMemory: FOwned = std::make_unique<TMemoryStream>(); break;
      // Beside its name until the run ends: a reader never meets half a report, and a run
      // that fails leaves the report that stood there.
      case smFile: FOwned = std::make_unique<TReplacingFileStream>(FileName); break;
      case smUser:
        if (!Stream) throw EStreamError("No stream");
        Stream->SetPosition(0);
        break;
    }
  } catch (const EStreamError&) {
    FOwned.reset();
    MessageDlg("Error initializing stream \"" + FileName + "\"", mtError, {mbOK}, 0);
    return;
  }
  FOut = StreamMode == smUser ? Stream : FOwned.get();
  FWriter = std::make_unique<TReportWriter>(*FOut);

  SetPrinting(true);
  SetAborted(false);
  struct RunGuard {
    TReportFiler* f;
    ~RunGuard() {
      f->FWriter.reset();
      f->FOwned.reset();
      f->FOut = nullptr;
      f->FCanvas.SetMeasureDevice(nullptr);
      f->SetPrinting(false);
    }
  };
  RunGuard run{this};

  // Step 6: the header, with its page count filled in at the end.
  TReportHeader h;
  h.PageCount = 0;
  h.FirstPage = FirstPage;
  h.LastPage = LastPage;
  h.PageWidth = GetPageWidth() / UnitsFactor();
  h.PageHeight = GetPageHeight() / UnitsFactor();
  h.OffsetLeft = PrinterOffsetLeft;
  h.OffsetRight = PrinterOffsetRight;
  h.OffsetTop = PrinterOffsetTop;
  h.OffsetBottom = PrinterOffsetBottom;
  h.Orientation = static_cast<uint8_t>(Orientation());
  if (NoPrintersInstalled()) {
    h.Copies = 1;
  } else {
    const TPrinterSetup& s = ReportPrinter().Setup();
    h.Copies = s.Copies;
    h.PaperSize = s.PaperSize;
    h.PaperWidth = s.PaperWidth;
    h.PaperLength = s.PaperLength;
  }
  h.OutputPort = OutputPort;
  int64_t start = FOut->Position();
  FWriter->ReportHeader(h);
  FPaused = true;

  // Step 7: the measuring device.
  if (NoPrintersInstalled()) {
    if (!dynamic_cast<TCustomForm*>(Owner()))
      throw EReportKit("TReportFiler.Owner must be a TForm if no printers are defined.");
    XDPI = YDPI = ScreenPixelsPerInch;
    Device = "Preview Only";
    Driver = "Preview Only";
    Port = "Preview";
    FCanvas.SetMeasureDevice(nullptr);
  } else {
    FCanvas.SetMeasureDevice(ReportPrinter().MeasureDevice());
  }
  FCanvas.Font().PixelsPerInch = YDPI;
  ResetPageState();

  // Step 9: the first page.
  PageNumber = 1;
  PageOutputOff = PageNumber < FirstPage || PageNumber > LastPage;
  if (!PageOutputOff) ++FPagesWritten;
  UpdateStatus();
  FPaused = false;
  WritePageHeader();
  if (OnNewPage) OnNewPage(this);
  if (OnPrintHeader) OnPrintHeader(this);

  // Step 10: the pages.
  if (OnPrint) {
    OnPrint(this);
  } else {
    // The handler may renumber the page: the next page counts on from its number.
    while (OnPrintPage(this, PageNumber) && !Aborted()) NewPage();
  }

  // Step 11: the last page and the page count. A report aborted in its page handler stops on
  // a page it did not finish: that page goes as a discarded one goes, so the stream holds the
  // pages before it, whole, and plays them.
  if (Aborted()) DiscardOpenPage();
  else if (OnPrintFooter) OnPrintFooter(this);
  EndPage(true);
  FWriter->PatchInt32(start + TReportHeader::PageCountOffset, FPagesWritten);
  if (StreamMode == smUser) {
    // The caller's stream holds exactly this report.
    int64_t end = FOut->Position();
    if (FOut->Size() > end) FOut->SetSize(end);
  }

  // Step 12.
  if (StreamMode == smMemory) SaveReportStream(*static_cast<TMemoryStream*>(FOut), FileName);
  if (StreamMode == smFile) static_cast<TReplacingFileStream*>(FOut)->Commit();
}

void SaveReportStream(TCustomMemoryStream& Stream, const std::string& FileName) {
  // Whole: written beside the name and put in its place at the end, so a player reading the
  // name, in this copy of the program or another, meets one whole report or the one before.
  // In pieces, with the application's turn between them, since a long report's stream is
  // written for a noticeable while.
  TReplacingFileStream file(FileName);
  constexpr int64_t kPiece = 4 << 20;
  const auto* bytes = static_cast<const unsigned char*>(Stream.Memory());
  const int64_t size = Stream.Size();
  for (int64_t at = 0; at < size; at += kPiece) {
    file.WriteBuffer(bytes + at, std::min(kPiece, size - at));
    ProcessMessages();
  }
  file.Commit();
}

// ---- Text -----------------------------------------------------------------------------------

void TReportFiler::WriteText(uint8_t Code, const std::string& Text, double X) {
  FWriter->Byte(Code);
  FWriter->Number(CursorY + OriginY);
  FWriter->Text(Text);
  FWriter->Number(X + OriginX);
}

void TReportFiler::PrintTextAs(uint8_t Code, const std::string& Text, double X) {
  if (!Drawing()) return;
  double k = 10000.0 / (XDPI * ScaleX() * ZoomFactor());
  if (AccuracyMethod == amAppearance) {
    WriteText(Code, Text, X);
    if (Code == rcTextRight) {
      CursorX = X;
    } else {
      // Measured in the font of now, but only when the cursor is read.
      FPendingFont = FCanvas.FontSnapshot();
      FPendingText = Text;
      FPendingX = X;
      FPendingK = k;
      FPendingCode = Code;
      CursorX.Defer();
    }
  } else {
    int w = FCanvas.TextWidth(Text);
    CursorX = Code == rcTextLeft ? X : Code == rcTextCenter ? X - (w / 2) * k : X - w * k;
    // One record per character: a two-byte character is never split into two records.
    for (size_t i = 0; i < Text.size();) {
      size_t n = cp949::CharLength(Text, i);
      if (n == 0) n = 1;
      std::string ch = Text.substr(i, n);
      WriteText(rcTextLeft, ch, CursorX);
      CursorX += FCanvas.TextWidth(ch) * k;
      i += n;
    }
  }
  Done();
}

void TReportFiler::SettleCursorX() {
  if (!FPendingFont) return;
  const int w = TReportCanvas::TextWidthOn(*FPendingFont, FPendingText);
  FPendingFont.reset();
  CursorX = FPendingCode == rcTextCenter ? FPendingX + ((w + 1) / 2) * FPendingK : FPendingX + w * FPendingK;
}

void TReportFiler::PrintTextCenter(const std::string& Text, double X) { PrintTextAs(rcTextCenter, Text, X); }
void TReportFiler::PrintTextLeft(const std::string& Text, double X) { PrintTextAs(rcTextLeft, Text, X); }
void TReportFiler::PrintTextRight(const std::string& Text, double X) { PrintTextAs(rcTextRight, Text, X); }

// ---- Drawing records ------------------------------------------------------------------------

void TReportFiler::Arc4(uint8_t Code, double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4,
                        double Y4) {
  if (!Drawing()) return;
  FWriter->Byte(Code);
  WritePoint(UnitsPoint(X1, Y1));
  WritePoint(UnitsPoint(X2, Y2));
  WritePoint(UnitsPoint(X3, Y3));
  WritePoint(UnitsPoint(X4, Y4));
  Done();
}

void TReportFiler::TwoPoints(uint8_t Code, double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  FWriter->Byte(Code);
  WritePoint(UnitsPoint(X1, Y1));
  WritePoint(UnitsPoint(X2, Y2));
  Done();
}

void TReportFiler::OneRect(uint8_t Code, const TRect& R) {
  if (!Drawing()) return;
  FWriter->Byte(Code);
  FWriter->Rect(DeviceRect(R));
  Done();
}

void TReportFiler::PointList(uint8_t Code, std::span<const TPoint> Points) {
  if (!Drawing() || Points.empty()) return;  // no points: nothing to draw, and no count of -1
  FWriter->Byte(Code);
  FWriter->Int32(static_cast<int32_t>(Points.size()) - 1);
  for (const TPoint& p : Points) WritePoint(DevicePoint(p.X, p.Y));
  Done();
}

void TReportFiler::Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  Arc4(rcArc, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}
void TReportFiler::Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  Arc4(rcChord, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}
void TReportFiler::Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) {
  Arc4(rcPie, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

void TReportFiler::BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) {
  if (!Drawing()) return;
  FWriter->Byte(rcBrushCopy);
  WriteBitmap(Bitmap);
  FWriter->Rect(DeviceRect(Dest));
  FWriter->Rect(DeviceRect(Source));
  FWriter->Int32(static_cast<int32_t>(Color));
  Done();
}

void TReportFiler::CopyRect(const TRect&, TCanvas&, const TRect&) {
  throw EReportKit("CopyRect() not supported in file mode.");
}

void TReportFiler::Draw(double X, double Y, const TBitmap& Graphic) {
  if (!Drawing()) return;
  FWriter->Byte(rcDraw);
  WriteBitmap(Graphic);
  WritePoint(UnitsPoint(X, Y));
  Done();
}

void TReportFiler::DrawFocusRect(const TRect& R) { OneRect(rcDrawFocusRect, R); }
void TReportFiler::FillRect(const TRect& R) { OneRect(rcFillRect, R); }
void TReportFiler::FrameRect(const TRect& R) { OneRect(rcFrameRect, R); }
void TReportFiler::Ellipse(double X1, double Y1, double X2, double Y2) { TwoPoints(rcEllipse, X1, Y1, X2, Y2); }
void TReportFiler::Rectangle(double X1, double Y1, double X2, double Y2) { TwoPoints(rcRectangle, X1, Y1, X2, Y2); }
void TReportFiler::DrawTabRectangle(double X1, double Y1, double X2, double Y2) {
  TwoPoints(rcTabRectangle, X1, Y1, X2, Y2);
}

void TReportFiler::FloodFill(double X, double Y, TColor Color, int FillStyle) {
  if (!Drawing()) return;
  FWriter->Byte(rcFloodFill);
  WritePoint(UnitsPoint(X, Y));
  FWriter->Int32(static_cast<int32_t>(Color));
  FWriter->Int32(FillStyle);
  Done();
}

void TReportFiler::LineTo(double X, double Y) {
  if (!Drawing()) return;
  FWriter->Byte(rcLineTo);
  WritePoint(UnitsPoint(X, Y));
  Done();
}

void TReportFiler::MoveTo(double X, double Y) {
  if (!Drawing()) return;
  FWriter->Byte(rcMoveTo);
  WritePoint(UnitsPoint(X, Y));
  Done();
}

void TReportFiler::Polygon(std::span<const TPoint> Points) { PointList(rcPolygon, Points); }
void TReportFiler::Polyline(std::span<const TPoint> Points) { PointList(rcPolyline, Points); }

void TReportFiler::DrawBitmapScaled(const TBitmap& Bitmap, double X, double Y, double SX, double SY) {
  if (!Drawing()) return;
  FWriter->Byte(rcBitmapScaled);
  WriteBitmap(Bitmap);
  WritePoint(UnitsPoint(X, Y));
  FWriter->Number(SX);
  FWriter->Number(SY);
  Done();
}

void TReportFiler::DrawBitmapRect(const TBitmap& Bitmap, double X1, double Y1, double X2, double Y2) {
  if (!Drawing()) return;
  FWriter->Byte(rcBitmapRect);
  WriteBitmap(Bitmap);
  WritePoint(UnitsPoint(X1, Y1));
  WritePoint(UnitsPoint(X2, Y2));
  Done();
}

void TReportFiler::RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3) {
  if (!Drawing()) return;
  FWriter->Byte(rcRoundRect);
  WritePoint(UnitsPoint(X1, Y1));
  WritePoint(UnitsPoint(X2, Y2));
  FWriter->Number(X3 / UnitsFactor());
  FWriter->Number(Y3 / UnitsFactor());
  Done();
}

void TReportFiler::StretchDraw(const TRect& R, const TBitmap& Graphic) {
  if (!Drawing()) return;
  FWriter->Byte(rcStretchDraw);
  WriteBitmap(Graphic);
  FWriter->Rect(DeviceRect(R));
  Done();
}

void TReportFiler::TextRect(const TRect& R, double X, double Y, const std::string& Text) {
  if (!Drawing()) return;
  FWriter->Byte(rcTextRect);
  FWriter->Rect(DeviceRect(R));
  WritePoint(UnitsPoint(X, Y));
  FWriter->Text(Text);
  Done();
}

void TReportFiler::SendPrinterData(const std::string& Text) {
  if (!Drawing()) return;
  FWriter->Byte(rcPrinterData);
  FWriter->Text(Text);
  Done();
}

// ---- Recorded settings ----------------------------------------------------------------------

void TReportFiler::SetBackColor(TColor c) {
  TBaseReport::SetBackColor(c);
  if (Printing() && !PageOutputOff && FWriter) {
    FWriter->Byte(rcBackColor);
    FWriter->Int32(static_cast<int32_t>(FCanvas.BkColor()));
  }
}

void TReportFiler::SetScaleX(double v) {
  TBaseReport::SetScaleX(v);
  if (Printing() && !PageOutputOff && FWriter) {
    FWriter->Byte(rcScaleX);
    FWriter->Number(v);
  }
}

void TReportFiler::SetScaleY(double v) {
  TBaseReport::SetScaleY(v);
  if (Printing() && !PageOutputOff && FWriter) {
    FWriter->Byte(rcScaleY);
    FWriter->Number(v);
  }
}

void TReportFiler::SetTextBKMode(TBKMode v) {
  TBaseReport::SetTextBKMode(v);
  if (Printing() && !PageOutputOff && FWriter) {
    FWriter->Byte(rcTextBKMode);
    FWriter->Byte(static_cast<uint8_t>(v));
  }
}
