// The page model: units, page geometry, cursor and lines, tab stops and tabbed text, page
// numbering and the status text.
#include "report/BaseReport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/ui/StdCtrls.h"
#include "report/ReportPrinter.h"

int RoundEven(double v) {
  // Values from a damaged stream may be anything; a pixel stays within reach of an int.
  if (!std::isfinite(v)) return 0;
  v = std::clamp(v, -1e9, 1e9);
  return static_cast<int>(std::nearbyint(v));
}

namespace {
std::string Cut255(const std::string& s) { return s.size() <= 255 ? s : cp949::Cut(s, 255); }
}  // namespace

TReportCursorX::operator double() const {
  if (FPending) {
    // Settling assigns the value, which clears the flag.
    const_cast<TBaseReport&>(FOwner).SettleCursorX();
    if (FPending) const_cast<TReportCursorX*>(this)->FPending = false;
  }
  return FValue;
}

TBaseReport::TBaseReport(TComponent* AOwner) : TComponent(AOwner) {
  UpdatePrinterMetrics();
  SetCopies(1);
}

TBaseReport::~TBaseReport() {
  ClearTabStops();
  if (FStatusLabel) FStatusLabel->RemoveFreeNotification(this);
  // A job this component left open goes with it; another component's job is not touched.
  if (FPrinting && !NoPrintersInstalled() && ReportPrinter().Printing())
    ReportPrinter().Abort();
}

void TBaseReport::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FStatusLabel) FStatusLabel = nullptr;
}

void TBaseReport::SetStatusLabel(TLabel* v) {
  if (v == FStatusLabel) return;
  if (FStatusLabel) FStatusLabel->RemoveFreeNotification(this);
  FStatusLabel = v;
  if (v) v->FreeNotification(this);
}

void TBaseReport::SetStatusText(const TStrings& v) {
  FStatusText.Clear();
  FStatusText.AddStrings(v);
}

void TBaseReport::SetLinesPerInch(int v) {
  if (v <= 0) return;
  FLinesPerInch = v;
  UpdateLineMetrics();
}

void TBaseReport::SetUnits(TPrintUnits v) {
  FUnits = v;
  switch (v) {
    case unInch: FUnitsFactor = 1.0; break;
    case unMM: FUnitsFactor = 25.4; break;
    case unCM: FUnitsFactor = 2.54; break;
    case unPoint: FUnitsFactor = 72.0; break;
    case unUser: break;
  }
}

void TBaseReport::SetUnitsFactor(double v) {
  if (!(v > 0)) return;
  FUnitsFactor = v;
  if (v == 1.0) FUnits = unInch;
  else if (v == 25.4) FUnits = unMM;
  else if (v == 2.54) FUnits = unCM;
  else if (v == 72.0) FUnits = unPoint;
  else FUnits = unUser;
}

void TBaseReport::SetTabShade(int v) { FTabShade = v >= 100 ? 100 : v <= 0 ? 0 : v; }

// ---- Conversions ----------------------------------------------------------------------------

int TBaseReport::InchesToDeviceX(double x) const {
  return RoundEven(((x + OriginX) * FScaleX * FZoomFactor / 10000 - PrinterOffsetLeft) * XDPI) + DeviceOriginX;
}
int TBaseReport::InchesToDeviceY(double y) const {
  return RoundEven(((y + OriginY) * FScaleY * FZoomFactor / 10000 - PrinterOffsetTop) * YDPI) + DeviceOriginY;
}
double TBaseReport::DeviceToInchesX(int px) const {
  return ((px - DeviceOriginX) / static_cast<double>(XDPI) + PrinterOffsetLeft) * 10000 / (FScaleX * FZoomFactor) - OriginX;
}
double TBaseReport::DeviceToInchesY(int px) const {
  return ((px - DeviceOriginY) / static_cast<double>(YDPI) + PrinterOffsetTop) * 10000 / (FScaleY * FZoomFactor) - OriginY;
}

// ---- Page geometry --------------------------------------------------------------------------

// Page sizes are read in Units; the fixed page without a printer is in inches like the sheet.
double TBaseReport::GetPageWidth() const {
  if (NoPrintersInstalled()) return FixedPageWidth * FUnitsFactor;
  return (ReportPrinter().PageWidth() / static_cast<double>(XDPI) + PrinterOffsetLeft + PrinterOffsetRight) * FUnitsFactor;
}

double TBaseReport::GetPageHeight() const {
  if (NoPrintersInstalled()) return FixedPageHeight * FUnitsFactor;
  return (ReportPrinter().PageHeight() / static_cast<double>(YDPI) + PrinterOffsetTop + PrinterOffsetBottom) * FUnitsFactor;
}

void TBaseReport::SetMarginLeft(double v) {
  FLeftEdge = v / FUnitsFactor;
  SetSectionLeft(v);
  FMarginLeft = v;
}

void TBaseReport::SetMarginTop(double v) {
  FTopEdge = v / FUnitsFactor;
  SetSectionTop(v);
  FMarginTop = v;
}

void TBaseReport::SetMarginRight(double v) {
  // The fixed page is in inches and the margin in Units: only the margin is converted.
  if (NoPrintersInstalled())
    FRightEdge = FixedPageWidth - v / FUnitsFactor;
  else
    FRightEdge = ReportPrinter().PageWidth() / static_cast<double>(XDPI) + PrinterOffsetLeft + PrinterOffsetRight - v / FUnitsFactor;
  SetSectionRight(FRightEdge * FUnitsFactor);
  FMarginRight = v;
}

void TBaseReport::SetMarginBottom(double v) {
  if (NoPrintersInstalled())
    FBottomEdge = FixedPageHeight - v / FUnitsFactor;
  else
    FBottomEdge = ReportPrinter().PageHeight() / static_cast<double>(YDPI) + PrinterOffsetTop + PrinterOffsetBottom - v / FUnitsFactor;
  SetSectionBottom(FBottomEdge * FUnitsFactor);
  FMarginBottom = v;
}

void TBaseReport::SetSectionLeft(double v) {
  SectionLeft = v / FUnitsFactor;
  if (CursorX < SectionLeft) CursorX = SectionLeft;
}
void TBaseReport::SetSectionRight(double v) {
  SectionRight = v / FUnitsFactor;
  if (CursorX > SectionRight) CursorX = SectionRight;
}
void TBaseReport::SetSectionTop(double v) {
  SectionTop = v / FUnitsFactor;
  if (CursorY < SectionTop) CursorY = SectionTop;
}
void TBaseReport::SetSectionBottom(double v) {
  SectionBottom = v / FUnitsFactor;
  if (CursorY > SectionBottom) CursorY = SectionBottom;
}

void TBaseReport::ResetSection() {
  SectionLeft = FLeftEdge;
  SectionRight = FRightEdge;
  SectionTop = FTopEdge;
  SectionBottom = FBottomEdge;
}

// ---- Cursor and lines -----------------------------------------------------------------------

void TBaseReport::SetCursorY(double v) {
  UpdateLineMetrics();
  CursorY = v / FUnitsFactor;
}

void TBaseReport::GotoLine(int n) {
  LineNumber = n;
  UpdateLineMetrics();
  ResetTabCursor();
  CursorX = ColumnLeft();
  CursorY = n * LineHeight + SectionTop - Descent;
}

void TBaseReport::GotoColumn(int n) {
  ColumnNumber = n;
  CursorX = ColumnLeft();
  ResetTabCursor();
}

void TBaseReport::GotoPageTop() {
  GotoColumn(1);
  GotoLine(1);
}

void TBaseReport::NewLine() {
  CursorX = ColumnLeft();
  UpdateLineMetrics();
  ++LineNumber;
  CursorY += LineHeight;
  ResetTabCursor();
}

int TBaseReport::LinesLeft() const {
  double b = CursorY + Descent;
  if (b > SectionBottom) return 0;
  if (!(LineHeight > 0)) return 0;
  return static_cast<int>(std::trunc((SectionBottom - b) / LineHeight)) + 1;
}

void TBaseReport::ResetColumns() {
  ColumnWidth = SectionRight - SectionLeft;
  ColumnGap = 0;
  ColumnCount = 1;
  GotoColumn(1);
}

// ---- Printer and run state ------------------------------------------------------------------

bool TBaseReport::NoPrintersInstalled() { return !ReportPrinter().Installed(); }

void TBaseReport::CheckPrinting() const {
  if (!FPrinting) throw EReportKit(kNotPrinting);
  if (FAborted) throw EAbort();
}

void TBaseReport::CheckNotPrinting() const {
  if (FPrinting) throw EReportKit(kAlreadyPrinting);
}

void TBaseReport::SetOrientation(TOrientation v) {
  CheckNotPrinting();
  if (!NoPrintersInstalled() && v != poDefault) {
    ReportPrinter().Setup().Orientation = v == poLandscape ? 2 : 1;
    ReportPrinter().ApplyOrientation();
    FOrientation = v;
    UpdatePrinterMetrics();
  }
  FOrientation = v;
}

void TBaseReport::SetCopies(int v) {
  CheckNotPrinting();
  if (!NoPrintersInstalled() && v > 0) ReportPrinter().Setup().Copies = static_cast<int16_t>(std::min(v, 32767));
  FCopies = v;
}

void TBaseReport::SetOutputPort(const std::string& Name) {
  if (NoPrintersInstalled()) return;
  CheckNotPrinting();
  OutputPort = Name;
  Port = Cut255(Name);
  ReportPrinter().SetPort(Port);
}

void TBaseReport::AbortReport() {
  FAborted = true;
  PageOutputOff = true;
}

void TBaseReport::UpdatePrinterMetrics() {
  PrinterOffsetLeft = PrinterOffsetRight = PrinterOffsetTop = PrinterOffsetBottom = 0;
  if (NoPrintersInstalled()) {
    XDPI = YDPI = 96;
  } else {
    CheckNotPrinting();
    TReportPrinter& p = ReportPrinter();
    Device = Cut255(p.Device());
    Driver = Cut255(p.Driver());
    Port = Cut255(p.Port());
    int kind = GetOutputKind();
    if (kind == okPrinter || kind == okFile) {
      XDPI = p.XDPI();
      YDPI = p.YDPI();
      PrinterOffsetLeft = p.PhysicalOffsetX() / static_cast<double>(XDPI);
      PrinterOffsetRight = (p.PhysicalWidth() - p.PhysicalOffsetX() - p.PageWidth()) / static_cast<double>(XDPI);
      PrinterOffsetTop = p.PhysicalOffsetY() / static_cast<double>(YDPI);
      PrinterOffsetBottom = (p.PhysicalHeight() - p.PhysicalOffsetY() - p.PageHeight()) / static_cast<double>(YDPI);
    }
  }
  SetMarginLeft(FMarginLeft);
  SetMarginRight(FMarginRight);
  SetMarginTop(FMarginTop);
  SetMarginBottom(FMarginBottom);
  ResetSection();
}

void TBaseReport::UpdateLineMetrics() {
  if (!FPrinting) return;
  TReportCanvas& c = GetCanvas();
  Descent = c.Descent() * 10000.0 / (YDPI * FScaleY * FZoomFactor);
  LineHeight = LineHeightMethod == lhmLinesPerInch ? 1.0 / FLinesPerInch : FontLineHeight;
}

std::string TBaseReport::StatusString() const {
  const std::string& f = StatusFormat;
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      out += f[i];
      continue;
    }
    char c = f[++i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    switch (c) {
      case '%': out += '%'; break;
      case 'D': out += Device; break;
      case 'F': out += std::to_string(FirstPage); break;
      case 'L': out += std::to_string(LastPage); break;
      case 'P': out += std::to_string(PageNumber); break;
      case 'R': out += Driver; break;
      case 'T': out += Port; break;
      default:
        if (c >= '0' && c <= '9') {
          int n = c - '0';
          if (n < FStatusText.Count()) out += FStatusText.Get(n);
        } else {
          out += "<ERROR-%";
          out += c;
          out += '>';
        }
    }
  }
  return out;
}

void TBaseReport::UpdateStatus() {
  if (!FStatusLabel) return;
  FStatusLabel->SetText(StatusString());
  ProcessMessages();
}

// ---- Canvas and its state -------------------------------------------------------------------

TReportCanvas& TBaseReport::GetCanvas() {
  TReportPrinter& p = ReportPrinter();
  if (!p.Printing()) throw EReportKit("Error!  Canvas not yet active.");
  FPrinterCanvas.SetPainter(p.Painter());
  return FPrinterCanvas;
}

bool TBaseReport::GetFontBold() { return GetCanvas().Font().Has(fsBold); }
void TBaseReport::SetFontBold(bool v) { GetCanvas().Font().SetStyleBit(fsBold, v); }
bool TBaseReport::GetFontUnderline() { return GetCanvas().Font().Has(fsUnderline); }
void TBaseReport::SetFontUnderline(bool v) { GetCanvas().Font().SetStyleBit(fsUnderline, v); }
bool TBaseReport::GetFontItalic() { return GetCanvas().Font().Has(fsItalic); }
void TBaseReport::SetFontItalic(bool v) { GetCanvas().Font().SetStyleBit(fsItalic, v); }
bool TBaseReport::GetFontStrikeOut() { return GetCanvas().Font().Has(fsStrikeOut); }
void TBaseReport::SetFontStrikeOut(bool v) { GetCanvas().Font().SetStyleBit(fsStrikeOut, v); }

void TBaseReport::SetBackColor(TColor c) {
  CheckPrinting();
  GetCanvas().SetBkColor(c);
}

TColor TBaseReport::GetBackColor() {
  CheckPrinting();
  return GetCanvas().BkColor();
}

void TBaseReport::SetBrush(TColor Color, TBrushStyle Style, const TBitmap* Bitmap) {
  TReportBrush& b = GetCanvas().Brush();
  b.SetColor(Color);
  if (Bitmap) b.SetBitmap(Bitmap);
  b.SetStyle(Style);
}

void TBaseReport::SetFont(const std::string& Name, double Size) {
  if (!(Size > 0)) return;
  TReportFont& f = GetCanvas().Font();
  f.SetName(Name);
  FontLineHeight = Size / 60;
  f.SetSize(RoundEven(Size));
  f.SetHeight(-RoundEven(std::abs(f.Height()) * FScaleY * FZoomFactor / 10000));
  f.SetPitch(fpDefault);
  f.SetColor(clBlack);
  f.SetStyle(TFontStyles());
}

TReportPen TBaseReport::CreateReportPen(TColor Color, TPenStyle Style, int Width, TReportPenMode Mode) const {
  TReportPen p;
  p.SetColor(Color);
  p.SetMode(Mode);
  if (Width < 0) {
    Width = RoundEven(-static_cast<double>(Width) * XDPI * FScaleX * FZoomFactor / 1000000);
    if (Width == 0) Width = 1;
  }
  p.SetWidth(Width);
  p.SetStyle(Style);
  return p;
}

void TBaseReport::SetPen(TColor Color, TPenStyle Style, int Width, TReportPenMode Mode) {
  GetCanvas().Pen().Assign(CreateReportPen(Color, Style, Width, Mode));
}

void TBaseReport::ResetPageState() {
  SetBrush(clBlack, bsClear, nullptr);
  SetPen(clBlack, psSolid, 5, TReportPenMode::pmCopy);
  OriginX = OriginY = 0;
  ResetColumns();
  ClearTabStops();
  ResetSection();
  GotoPageTop();
}

void TBaseReport::NewPage() {
  CheckPrinting();
  ++PageNumber;
  UpdateStatus();
  PageOutputOff = PageNumber < FirstPage || PageNumber > LastPage || FAborted;
  OriginX = OriginY = 0;
  ResetTabCursor();
  ResetSection();
  GotoPageTop();
}

void TBaseReport::AbortPage() {
  CheckPrinting();
  if (PageOutputOff) return;
  PageOutputOff = true;
  --PageNumber;
}

// ---- Tab stops ------------------------------------------------------------------------------

void TBaseReport::AddTabStop(double Position, uint8_t Justify, double Width, double Margin, uint8_t BoxLines,
                             uint8_t Shade) {
  TTabStop t;
  if (Position >= 0)
    t.Position = Position / FUnitsFactor;
  else
    t.Position = FTabs.empty() ? FLeftEdge : FTabs.back().Position + FTabs.back().Width;
  t.Justify = Justify;
  if (Width > 0) {
    t.Width = Width / FUnitsFactor;
    t.Margin = Margin / 100;
    t.BoxLeft = (BoxLines & 1) != 0;
    t.BoxRight = (BoxLines & 2) != 0;
    t.BoxTop = (BoxLines & 4) != 0;
    t.BoxBottom = (BoxLines & 8) != 0;
    t.Shade = Shade;
  }
  if (FTabs.empty()) FTabsPending = true;
  FTabs.push_back(t);
}

void TBaseReport::ClearTabStops() {
  FTabs.clear();
  ResetTabCursor();
}

void TBaseReport::ResetTabCursor() {
  FCurrentTab = -1;
  FTabInProgress = false;
  FTabsPending = !FTabs.empty();
}

void TBaseReport::PrintTabbed(const std::string& Text) {
  std::string rest = Text;
  for (;;) {
    size_t tab = rest.find('\t');
    if (tab == std::string::npos) break;
    if (tab > 0) PrintPiece(rest.substr(0, tab));
    rest.erase(0, tab + 1);
    TabAdvance(kTabDefault, kTabDefault, kTabDefault, kTabDefault, kTabDefault);
  }
  PrintPiece(rest);
}

void TBaseReport::PrintTabbedLine(const std::string& Text) {
  PrintTabbed(Text);
  NewLine();
}

void TBaseReport::PrintPiece(const std::string& Text) {
  if (FTabInProgress && !FTabs.empty() && FCurrentTab >= 0) {
    const TTabStop& t = FTabs[static_cast<size_t>(FCurrentTab)];
    PrintInTab(Text, t.Justify, (ColumnNumber - 1) * ColumnWidth + t.Position, t.Margin, t.Width);
    FTabInProgress = false;
  } else {
    PrintTextLeft(Text, CursorX);
  }
}

void TBaseReport::PrintInTab(const std::string& Text, uint8_t Justify, double Left, double Margin, double Width) {
  switch (Justify) {
    case 0: PrintTextCenter(Text, Left + Width / 2); break;
    case 1: PrintTextLeft(Text, Left + Margin); break;
    case 2: PrintTextRight(Text, Left + Width - Margin); break;
    default: break;
  }
}

void TBaseReport::PrintCenterAt(const std::string& Text, double X) { PrintTextCenter(Text, X / FUnitsFactor); }

void TBaseReport::TabAdvance(int32_t LeftLine, int32_t RightLine, int32_t TopLine, int32_t BottomLine, int32_t Shade) {
  CheckPrinting();
  if (PageOutputOff) return;
  if (FCurrentTab >= 0) {
    ++FCurrentTab;
    if (FCurrentTab >= static_cast<int>(FTabs.size())) FCurrentTab = -1;
  } else if (!FTabs.empty() && FTabsPending) {
    FCurrentTab = 0;
    FTabsPending = false;
  }
  if (FCurrentTab < 0) {
    FTabInProgress = false;
    return;
  }
  FTabInProgress = true;
  const TTabStop t = FTabs[static_cast<size_t>(FCurrentTab)];
  double c = (ColumnNumber - 1) * ColumnWidth;
  double x = c + t.Position;
  double b = CursorY + Descent;
  double top = b - LineHeight;
  double o = (1.0 / FLinesPerInch - 0.1) / 4;
  if (!(t.Width > 0)) return;

  uint8_t s;
  if (Shade != kTabDefault) s = static_cast<uint8_t>(Shade & 0xFF);
  else if (t.Shade != 0) s = t.Shade;
  else s = FTabShade >= 1 ? static_cast<uint8_t>(FTabShade) : 0;
  TReportCanvas& cv = GetCanvas();
  if (s != 0) {
    TReportBrush oldBrush;
    oldBrush.Assign(cv.Brush());
    TReportPen oldPen = cv.Pen();
    oldPen.OnChange = nullptr;
    uint8_t m = static_cast<uint8_t>((s * 255 / 100) ^ 255);
    cv.Brush().SetColor(RGB(m, m, m));
    cv.Brush().SetStyle(bsSolid);
    cv.Pen().Assign(CreateReportPen(clBlack, psClear, 2, TReportPenMode::pmMask));
    TBKMode oldMode = cv.SetBkMode(bkTransparent);
    DrawTabRectangle(x * FUnitsFactor, (top + o) * FUnitsFactor, (x + t.Width) * FUnitsFactor, (b + o) * FUnitsFactor);
    cv.SetBkMode(oldMode);
    cv.Brush().SetColor(oldBrush.Color());
    cv.Brush().SetStyle(oldBrush.Style());
    cv.Brush().SetBitmap(oldBrush.Bitmap());
    cv.Pen().Assign(oldPen);
  }
  TReportPen penCopy = cv.Pen();
  penCopy.OnChange = nullptr;
  DrawBoxLine(t.BoxLeft, LeftLine, penCopy, -LineHeight, 0, b, x);
  DrawBoxLine(t.BoxRight, RightLine, penCopy, -LineHeight, 0, b, x + t.Width);
  DrawBoxLine(t.BoxTop, TopLine, penCopy, 0, t.Width, top, x);
  DrawBoxLine(t.BoxBottom, BottomLine, penCopy, 0, t.Width, b, x);
  GetCanvas().Pen().Assign(penCopy);
}

void TBaseReport::DrawBoxLine(bool Flag, int32_t Argument, const TReportPen& Pen, double dy, double dx, double y,
                              double x) {
  bool draw = (Argument == kTabDefault && Flag) || (Argument != 0 && Argument != kTabDefault);
  if (!draw) return;
  if (Argument == kTabDefault)
    GetCanvas().Pen().Assign(CreateReportPen(clBlack, psSolid, 2, TReportPenMode::pmCopy));
  else
    GetCanvas().Pen().Assign(Pen);
  double o = (1.0 / FLinesPerInch - 0.1) / 4;
  double y2 = y + o;
  MoveTo(x * FUnitsFactor, y2 * FUnitsFactor);
  LineTo((x + dx) * FUnitsFactor, (y2 + dy) * FUnitsFactor);
}
