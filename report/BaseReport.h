// TBaseReport: the root of the report components. It holds one page model: the units callers
// speak in, the page size and margins, the print cursor (a baseline in inches), line metrics,
// tab stops and tabbed text, page numbering with the range of pages that are output, the status
// text shown while a report runs, and the choice of printer. Every drawing operation is
// virtual: TCanvasReport draws on a device canvas, TReportFiler records into a report stream,
// TFilePrinter and TFilePreview play a stream back.
//
// Positions inside the model are inches; the operations callers use take Units (UnitsFactor
// Units make an inch), except the text operations PrintTextCenter/Left/Right, which take X in
// inches, and rectangles and point lists, which are device pixels. Errors are EReportKit with
// English texts. A component, owned by its form. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "report/ReportCanvas.h"
#include "report/stream/ReportStream.h"

class TLabel;

enum TPrintUnits { unInch, unMM, unCM, unPoint, unUser };
enum TLineHeightMethod { lhmFont, lhmLinesPerInch };
enum TOrientation : uint8_t { poPortrait, poLandscape, poDefault };
enum TStreamMode { smMemory, smFile, smUser };
enum TAccuracyMethod { amPositioning, amAppearance };
enum TMarginMethod { mmScaled, mmFixed };

// Output kinds of GetOutputKind.
enum : int { okPrinter = 0, okPreview = 1, okFile = 2 };

// Whether another page follows; PageNum may be changed by the handler.
using TPrintPageEvent = std::function<bool(TObject* Sender, int& PageNum)>;

// Means "the tab stop's own setting" in TabAdvance.
constexpr int32_t kTabDefault = -32768;

struct TTabStop {
  double Position = 0;  // inches from the page's left edge, before the column's offset
  uint8_t Justify = 0;  // 0 centre, 1 left, 2 right
  double Width = 0;     // inches; 0 = no cell
  double Margin = 0;    // inches
  bool BoxLeft = false, BoxRight = false, BoxTop = false, BoxBottom = false;
  uint8_t Shade = 0;    // percent; 0 = TabShade
};

class TBaseReport;

// The print cursor's X, in inches. A recorder may leave it waiting on the width of the text it
// just wrote, which is measured only when the cursor is read: text placed by tab stops never
// reads it, and measuring every text is what a long report would spend its time on. Reads and
// writes look like those of a double.
class TReportCursorX {
 public:
  explicit TReportCursorX(TBaseReport& Owner) : FOwner(Owner) {}
  TReportCursorX(const TReportCursorX&) = delete;
  operator double() const;
  TReportCursorX& operator=(double v) {
    FPending = false;
    FValue = v;
    return *this;
  }
  TReportCursorX& operator=(const TReportCursorX& o) { return *this = static_cast<double>(o); }
  TReportCursorX& operator+=(double v) { return *this = static_cast<double>(*this) + v; }
  // The value is to come from the owner's SettleCursorX when next read.
  void Defer() { FPending = true; }

 private:
  TBaseReport& FOwner;
  double FValue = 0;
  bool FPending = false;
};

class TBaseReport : public TComponent {
 public:
  explicit TBaseReport(TComponent* AOwner = nullptr);
  ~TBaseReport() override;

  // ---- published settings
  std::string Version() const { return "1.1e (32 bit)"; }
  void SetVersion(const std::string&) {}
  int FirstPage = 1;
  int LastPage = 9999;
  TLabel* StatusLabel() const { return FStatusLabel; }
  void SetStatusLabel(TLabel* v);
  std::string StatusFormat = "Printing page %p";
  TStringList& StatusText() { return FStatusText; }
  void SetStatusText(const TStrings& v);
  TLineHeightMethod LineHeightMethod = lhmLinesPerInch;
  int LinesPerInch() const { return FLinesPerInch; }
  void SetLinesPerInch(int v);
  TPrintUnits Units() const { return FUnits; }
  void SetUnits(TPrintUnits v);
  double UnitsFactor() const { return FUnitsFactor; }
  void SetUnitsFactor(double v);
  double MarginLeft() const { return FMarginLeft; }
  double MarginRight() const { return FMarginRight; }
  double MarginTop() const { return FMarginTop; }
  double MarginBottom() const { return FMarginBottom; }
  void SetMarginLeft(double v);
  void SetMarginRight(double v);
  void SetMarginTop(double v);
  void SetMarginBottom(double v);
  int TabShade() const { return FTabShade; }
  void SetTabShade(int v);
  std::string Title = "ReportKit Report";
  TBKMode TextBKMode() const { return FTextBKMode; }
  virtual void SetTextBKMode(TBKMode v) { FTextBKMode = v; }
  int Copies() const { return FCopies; }
  void SetCopies(int v);
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation v);
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }
  virtual void SetScaleX(double v) { FScaleX = v; }
  virtual void SetScaleY(double v) { FScaleY = v; }
  double ZoomFactor() const { return FZoomFactor; }
  virtual void SetZoomFactor(double v) { FZoomFactor = v; }

  // ---- events (raised by the recorder)
  TNotifyEvent OnPrint;
  TPrintPageEvent OnPrintPage;
  TNotifyEvent OnBeforePrint, OnAfterPrint, OnNewPage, OnNewColumn, OnPrintHeader, OnPrintFooter;

  // ---- model state (inches unless stated)
  double PrinterOffsetLeft = 0, PrinterOffsetRight = 0, PrinterOffsetTop = 0, PrinterOffsetBottom = 0;
  double Descent = 0, LineHeight = 0, FontLineHeight = 1.0 / 6;
  std::string OutputPort;
  double SectionLeft = 0, SectionRight = 0, SectionTop = 0, SectionBottom = 0;
  TReportCursorX CursorX{*this};
  double CursorY = 0;
  double ColumnWidth = 0, ColumnGap = 0;
  int ColumnNumber = 1, ColumnCount = 1;
  int PageNumber = 0;
  bool PageOutputOff = false;
  int LineNumber = 0;
  int XDPI = 300, YDPI = 300;
  std::string Device, Driver, Port;  // at most 255 bytes each
  double OriginX = 0, OriginY = 0;
  int DeviceOriginX = 0, DeviceOriginY = 0;
  static constexpr double FixedPageWidth = 8.5, FixedPageHeight = 11.0;
  bool Aborted() const { return FAborted; }
  bool Printing() const { return FPrinting; }

  // ---- conversions
  int InchesToDeviceX(double x) const;
  int InchesToDeviceY(double y) const;
  double DeviceToInchesX(int px) const;
  double DeviceToInchesY(int px) const;
  int UnitsToDeviceX(double v) const { return InchesToDeviceX(v / FUnitsFactor); }
  int UnitsToDeviceY(double v) const { return InchesToDeviceY(v / FUnitsFactor); }
  double DeviceToUnitsX(int px) const { return DeviceToInchesX(px) * FUnitsFactor; }
  double DeviceToUnitsY(int px) const { return DeviceToInchesY(px) * FUnitsFactor; }

  // ---- page geometry, cursor and lines (Units)
  double GetPageWidth() const;
  double GetPageHeight() const;
  void SetSectionLeft(double v);
  void SetSectionRight(double v);
  void SetSectionTop(double v);
  void SetSectionBottom(double v);
  void ResetSection();
  double GetCursorY() const { return CursorY * FUnitsFactor; }
  void SetCursorY(double v);
  double ColumnLeft() const { return (ColumnNumber - 1) * ColumnWidth + SectionLeft; }
  void GotoLine(int n);
  void GotoColumn(int n);
  void GotoPageTop();
  void NewLine();
  int LinesLeft() const;
  void ResetColumns();
  void SetOriginX(double v) { OriginX = v / FUnitsFactor; }
  void SetOriginY(double v) { OriginY = v / FUnitsFactor; }

  // ---- printer and run state
  static bool NoPrintersInstalled();
  void CheckPrinting() const;
  void CheckNotPrinting() const;
  void SetOutputPort(const std::string& Name);
  void AbortReport();
  void UpdatePrinterMetrics();
  void UpdateLineMetrics();
  void UpdateStatus();
  // The status text UpdateStatus would show now.
  std::string StatusString() const;

  // ---- tab stops and tabbed text
  void AddTabStop(double Position, uint8_t Justify, double Width, double Margin, uint8_t BoxLines, uint8_t Shade);
  void ClearTabStops();
  void ResetTabCursor();
  const std::vector<TTabStop>& TabStops() const { return FTabs; }
  int CurrentTabIndex() const { return FCurrentTab; }
  bool TabInProgress() const { return FTabInProgress; }
  void PrintTabbed(const std::string& Text);
  void PrintTabbedLine(const std::string& Text);
  void PrintPiece(const std::string& Text);
  void PrintInTab(const std::string& Text, uint8_t Justify, double Left, double Margin, double Width);
  void PrintCenterAt(const std::string& Text, double X);

  // ---- virtual operations
  // Gives CursorX the value it was deferred on (TReportCursorX::Defer).
  virtual void SettleCursorX() {}
  virtual int GetOutputKind() const { return okPrinter; }
  virtual void PrintTextCenter(const std::string& Text, double X) = 0;
  virtual void PrintTextLeft(const std::string& Text, double X) = 0;
  virtual void PrintTextRight(const std::string& Text, double X) = 0;
  virtual void DrawTabRectangle(double X1, double Y1, double X2, double Y2) = 0;
  virtual TReportCanvas& GetCanvas();
  virtual bool GetFontBold();
  virtual void SetFontBold(bool v);
  virtual bool GetFontUnderline();
  virtual void SetFontUnderline(bool v);
  virtual bool GetFontItalic();
  virtual void SetFontItalic(bool v);
  virtual bool GetFontStrikeOut();
  virtual void SetFontStrikeOut(bool v);
  virtual void SetBackColor(TColor c);
  TColor GetBackColor();
  virtual void Arc(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) = 0;
  virtual void BrushCopy(const TRect& Dest, const TBitmap& Bitmap, const TRect& Source, TColor Color) = 0;
  virtual void Chord(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) = 0;
  virtual void CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source) = 0;
  virtual void Draw(double X, double Y, const TBitmap& Graphic) = 0;
  virtual void DrawFocusRect(const TRect& R) = 0;
  virtual void Ellipse(double X1, double Y1, double X2, double Y2) = 0;
  virtual void FillRect(const TRect& R) = 0;
  virtual void FloodFill(double X, double Y, TColor Color, int FillStyle) = 0;
  virtual void FrameRect(const TRect& R) = 0;
  virtual void LineTo(double X, double Y) = 0;
  virtual void MoveTo(double X, double Y) = 0;
  virtual void Pie(double X1, double Y1, double X2, double Y2, double X3, double Y3, double X4, double Y4) = 0;
  virtual void Polygon(std::span<const TPoint> Points) = 0;
  virtual void Polyline(std::span<const TPoint> Points) = 0;
  virtual void DrawBitmapScaled(const TBitmap& Bitmap, double X, double Y, double ScaleX, double ScaleY) = 0;
  virtual void DrawBitmapRect(const TBitmap& Bitmap, double X1, double Y1, double X2, double Y2) = 0;
  virtual void Rectangle(double X1, double Y1, double X2, double Y2) = 0;
  virtual void RoundRect(double X1, double Y1, double X2, double Y2, double X3, double Y3) = 0;
  virtual void StretchDraw(const TRect& R, const TBitmap& Graphic) = 0;
  virtual void TextRect(const TRect& R, double X, double Y, const std::string& Text) = 0;
  virtual void SendPrinterData(const std::string& Text) = 0;
  virtual void Execute() = 0;
  virtual void NewPage();
  virtual void AbortPage();
  virtual void TabAdvance(int32_t LeftLine, int32_t RightLine, int32_t TopLine, int32_t BottomLine, int32_t Shade);
  virtual void SetBrush(TColor Color, TBrushStyle Style, const TBitmap* Bitmap);
  virtual void SetFont(const std::string& Name, double Size);
  virtual void SetPen(TColor Color, TPenStyle Style, int Width, TReportPenMode Mode);
  TReportPen CreateReportPen(TColor Color, TPenStyle Style, int Width, TReportPenMode Mode) const;

  // The start of every run: brush, pen, origin, columns, tabs, section and page top.
  void ResetPageState();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetPrinting(bool v) { FPrinting = v; }
  void SetAborted(bool v) { FAborted = v; }
  void DrawBoxLine(bool Flag, int32_t Argument, const TReportPen& Pen, double dy, double dx, double y, double x);

 private:
  TLabel* FStatusLabel = nullptr;
  TStringList FStatusText;
  int FLinesPerInch = 6;
  TPrintUnits FUnits = unInch;
  double FUnitsFactor = 1.0;
  double FMarginLeft = 0, FMarginRight = 0, FMarginTop = 0, FMarginBottom = 0;
  double FLeftEdge = 0, FRightEdge = 0, FTopEdge = 0, FBottomEdge = 0;
  int FTabShade = 0;
  TBKMode FTextBKMode = bkTransparent;
  int FCopies = 1;
  TOrientation FOrientation = poPortrait;
  double FScaleX = 100, FScaleY = 100, FZoomFactor = 100;
  bool FAborted = false;
  bool FPrinting = false;
  std::vector<TTabStop> FTabs;
  int FCurrentTab = -1;
  bool FTabInProgress = false;
  bool FTabsPending = false;
  TReportCanvas FPrinterCanvas;
};

// Round to the nearest integer, halves to even.
int RoundEven(double v);
