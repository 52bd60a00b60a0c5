// The report components' printer: the registry, the class library's printer behind the
// interface, and the page-picture printer.
#include "report/ReportPrinter.h"

#include <QImage>
#include <QPainter>
#include <cmath>

#include "platform/gfx/Printers.h"

TReportPrinter::~TReportPrinter() = default;

namespace {

// A 1x1 picture that reports the given resolution, for measuring text at it.
std::unique_ptr<QImage> MeasureImage(int xdpi, int ydpi) {
  auto img = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
  img->setDotsPerMeterX(static_cast<int>(std::lround(xdpi / 0.0254)));
  img->setDotsPerMeterY(static_cast<int>(std::lround(ydpi / 0.0254)));
  return img;
}

// The class library's printer. It always has somewhere to print: without an installed printer
// its documents become a PDF file, so the report components count it as installed.
class TSystemReportPrinter : public TReportPrinter {
 public:
  bool Installed() const override { return true; }
  std::string Device() const override {
    std::vector<std::string> names = Printer().Printers();
    int i = Printer().PrinterIndex;
    if (names.empty()) return "PDF";
    return i >= 0 && i < static_cast<int>(names.size()) ? names[static_cast<size_t>(i)] : names.front();
  }
  std::string Driver() const override { return "Qt"; }
  std::string Port() const override { return FPort; }
  void SetPort(const std::string& Port) override { FPort = Port; }
  TPrinterSetup& Setup() override { return FSetup; }
  void ApplyOrientation() override {
    Printer().Orientation = FSetup.Orientation == 2 ? TPrinterOrientation::Landscape : TPrinterOrientation::Portrait;
  }
  int XDPI() const override { return Printer().XDPI(); }
  int YDPI() const override { return Printer().YDPI(); }
  int PageWidth() const override { return Printer().PageWidth(); }
  int PageHeight() const override { return Printer().PageHeight(); }
  int PhysicalWidth() const override { return PageWidth(); }
  int PhysicalHeight() const override { return PageHeight(); }
  int PhysicalOffsetX() const override { return 0; }
  int PhysicalOffsetY() const override { return 0; }
  QPaintDevice* MeasureDevice() override {
    if (!FMeasure || FMeasureDpi != XDPI()) {
      FMeasure = MeasureImage(XDPI(), YDPI());
      FMeasureDpi = XDPI();
    }
    return FMeasure.get();
  }
  void BeginDoc(const std::string& Title) override {
    Printer().Title = Title;
    Printer().Copies = std::max<int>(1, FSetup.Copies);
    ApplyOrientation();
    Printer().BeginDoc();
  }
  void NewPage() override { Printer().NewPage(); }
  void EndDoc() override { Printer().EndDoc(); }
  void Abort() override { Printer().Abort(); }
  bool Printing() const override { return Printer().Printing(); }
  QPainter* Painter() override { return Printer().Canvas().Painter(); }

 private:
  std::string FPort;
  TPrinterSetup FSetup;
  std::unique_ptr<QImage> FMeasure;
  int FMeasureDpi = 0;
};

TReportPrinter* gInstalled = nullptr;

}  // namespace

TReportPrinter& ReportPrinter() {
  if (gInstalled) return *gInstalled;
  static TSystemReportPrinter* system = new TSystemReportPrinter;  // lives to the end, as the printer
  return *system;
}

TReportPrinter* SetReportPrinter(TReportPrinter* Printer) {
  TReportPrinter* old = gInstalled;
  gInstalled = Printer;
  return old;
}

// ---- Page pictures --------------------------------------------------------------------------

TImagePagePrinter::TImagePagePrinter(int XDpi, int YDpi, double PaperWidthInches, double PaperHeightInches)
    : FXDpi(XDpi), FYDpi(YDpi), FPaperW(PaperWidthInches), FPaperH(PaperHeightInches) {}

TImagePagePrinter::~TImagePagePrinter() {
  if (FPainter) FPainter->end();
}

void TImagePagePrinter::ApplyOrientation() {
  bool landscape = FSetup.Orientation == 2;
  if (landscape != (FPaperW > FPaperH)) std::swap(FPaperW, FPaperH);
}

int TImagePagePrinter::PhysicalWidth() const { return static_cast<int>(std::lround(FPaperW * FXDpi)); }
int TImagePagePrinter::PhysicalHeight() const { return static_cast<int>(std::lround(FPaperH * FYDpi)); }
int TImagePagePrinter::PhysicalOffsetX() const { return static_cast<int>(std::lround(BorderLeft * FXDpi)); }
int TImagePagePrinter::PhysicalOffsetY() const { return static_cast<int>(std::lround(BorderTop * FYDpi)); }
int TImagePagePrinter::PageWidth() const {
  return PhysicalWidth() - PhysicalOffsetX() - static_cast<int>(std::lround(BorderRight * FXDpi));
}
int TImagePagePrinter::PageHeight() const {
  return PhysicalHeight() - PhysicalOffsetY() - static_cast<int>(std::lround(BorderBottom * FYDpi));
}

QPaintDevice* TImagePagePrinter::MeasureDevice() {
  if (!FMeasure) FMeasure = MeasureImage(FXDpi, FYDpi);
  return FMeasure.get();
}

void TImagePagePrinter::StartPage() {
  FCurrent = MeasureImage(FXDpi, FYDpi);
  *FCurrent = FCurrent->scaled(std::max(1, PageWidth()), std::max(1, PageHeight()));
  FCurrent->setDotsPerMeterX(static_cast<int>(std::lround(FXDpi / 0.0254)));
  FCurrent->setDotsPerMeterY(static_cast<int>(std::lround(FYDpi / 0.0254)));
  FCurrent->fill(Qt::white);
  FPainter = std::make_unique<QPainter>(FCurrent.get());
}

void TImagePagePrinter::BeginDoc(const std::string& ATitle) {
  FPages.clear();
  Title = ATitle;
  CopiesAtBegin = FSetup.Copies;
  StartPage();
}

void TImagePagePrinter::NewPage() {
  if (!FPainter) return;
  FPainter->end();
  FPages.push_back(*FCurrent);
  StartPage();
}

void TImagePagePrinter::EndDoc() {
  if (!FPainter) return;
  FPainter->end();
  FPainter.reset();
  FPages.push_back(*FCurrent);
  FCurrent.reset();
  ++Documents;
}

void TImagePagePrinter::Abort() {
  if (!FPainter) return;
  FPainter->end();
  FPainter.reset();
  FCurrent.reset();
  FPages.clear();
  ++AbortedDocs;
}
