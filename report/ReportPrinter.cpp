// The report components' printer: the registry, the class library's printer behind the
// interface, and the page-picture printer.
#include "report/ReportPrinter.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "platform/gfx/Printers.h"
#include "platform/ui/QtText.h"

TReportPrinter::~TReportPrinter() = default;

namespace {

// A 1x1 picture that reports the given resolution, for measuring text at it.
std::unique_ptr<QImage> MeasureImage(int xdpi, int ydpi) {
  auto img = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
  img->setDotsPerMeterX(static_cast<int>(std::lround(xdpi / 0.0254)));
  img->setDotsPerMeterY(static_cast<int>(std::lround(ydpi / 0.0254)));
  return img;
}

// The setup block's paper fields of a sheet: the paper code and the size in tenths of a
// millimetre, as the sheet stands upright.
void SetPaperFields(TPrinterSetup& S, const QPageSize& Size) {
  QSizeF mm = Size.size(QPageSize::Millimeter);
  auto tenths = [](double v) { return static_cast<int16_t>(std::clamp<long>(std::lround(v * 10), 0, 32767)); };
  S.PaperSize = static_cast<int16_t>(Size.windowsId());
  S.PaperWidth = tenths(std::min(mm.width(), mm.height()));
  S.PaperLength = tenths(std::max(mm.width(), mm.height()));
}

// The class library's printer. It counts as installed when the system has a printer or when a
// PDF file is asked for (OutputFileName); with neither there is nowhere to print. Its page
// geometry comes from a probe set up as the printer sets up each document (the same printer or
// PDF output, resolution and orientation), since the page model needs the sheet and the
// unprintable border as well as the printable page.
// A printer whose page is that of a QPrinter set up for the document.
class TQtPagePrinter : public TReportPrinter {
 public:
  int XDPI() const override { return PageDevice().resolution(); }
  int YDPI() const override { return PageDevice().resolution(); }
  int PageWidth() const override { return Paint().width(); }
  int PageHeight() const override { return Paint().height(); }
  int PhysicalWidth() const override { return Full().width(); }
  int PhysicalHeight() const override { return Full().height(); }
  int PhysicalOffsetX() const override { return Paint().left() - Full().left(); }
  int PhysicalOffsetY() const override { return Paint().top() - Full().top(); }

 protected:
  virtual QPrinter& PageDevice() const = 0;

 private:
  QRect Paint() const { return PageDevice().pageLayout().paintRectPixels(PageDevice().resolution()); }
  QRect Full() const { return PageDevice().pageLayout().fullRectPixels(PageDevice().resolution()); }
};

class TSystemReportPrinter : public TQtPagePrinter {
 public:
  bool Installed() const override { return !Printer().OutputFileName.empty() || !Names().empty(); }
  std::string Device() const override {
    const std::vector<std::string>& names = Names();
    int i = Printer().PrinterIndex;
    if (names.empty()) return "PDF";
    return i >= 0 && i < static_cast<int>(names.size()) ? names[static_cast<size_t>(i)] : names.front();
  }
  std::string Driver() const override { return "Qt"; }
  std::string Port() const override { return FPort; }
  void SetPort(const std::string& Port) override { FPort = Port; }
  TPrinterSetup& Setup() override {
    SetPaperFields(FSetup, Probe().pageLayout().pageSize());
    return FSetup;
  }
  void ApplyOrientation() override {
    Printer().Orientation = FSetup.Orientation == 2 ? TPrinterOrientation::Landscape : TPrinterOrientation::Portrait;
    FProbe.reset();
  }
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
  std::unique_ptr<TReportPrinter> NewPart(const std::string& Title, int Index) override;
  void JoinParts(const std::vector<TReportPrinter*>& Parts) override;

 private:
  QPrinter& Probe() const {
    // Set up again whenever the printer's choice of output changes.
    std::string key = Printer().OutputFileName + "|" + std::to_string(Printer().PrinterIndex) + "|" +
                      std::to_string(static_cast<int>(Printer().Orientation));
    if (key != FProbeKey) FProbe.reset();
    if (!FProbe) {
      FProbeKey = key;
      FProbe = std::make_unique<QPrinter>(QPrinter::HighResolution);
      const std::vector<std::string>& names = Names();
      int i = Printer().PrinterIndex;
      if (!Printer().OutputFileName.empty() || names.empty())
        FProbe->setOutputFormat(QPrinter::PdfFormat);
      else if (i >= 0 && i < static_cast<int>(names.size()))
        FProbe->setPrinterName(orv::ToQ(names[static_cast<size_t>(i)]));
      FProbe->setPageOrientation(Printer().Orientation == TPrinterOrientation::Landscape ? QPageLayout::Landscape
                                                                                        : QPageLayout::Portrait);
    }
    return *FProbe;
  }
  // The system's printers, asked again at most once a second: the page model asks often.
  const std::vector<std::string>& Names() const {
    auto now = std::chrono::steady_clock::now();
    if (!FNamesRead || now - FNamesAt > std::chrono::seconds(1)) {
      FNames = Printer().Printers();
      FNamesAt = now;
      FNamesRead = true;
    }
    return FNames;
  }
  QPrinter& PageDevice() const override { return Probe(); }

  std::string FPort;
  TPrinterSetup FSetup;
  mutable std::unique_ptr<QPrinter> FProbe;
  mutable std::string FProbeKey;
  mutable std::vector<std::string> FNames;
  mutable std::chrono::steady_clock::time_point FNamesAt;
  mutable bool FNamesRead = false;
  std::unique_ptr<QImage> FMeasure;
  int FMeasureDpi = 0;
};

// A part of the class library's printer's PDF document: a document of its own, drawn on the
// part's thread, with the page of the device it was set up on.
class TSystemPartPrinter : public TQtPagePrinter {
 public:
  TSystemPartPrinter(std::unique_ptr<TPrinterPart> Part, const TReportPrinter& Whole, const TPrinterSetup& Setup)
      : FPart(std::move(Part)), FDevice(Whole.Device()), FDriver(Whole.Driver()), FPort(Whole.Port()), FSetup(Setup) {}
  bool Installed() const override { return true; }
  std::string Device() const override { return FDevice; }
  std::string Driver() const override { return FDriver; }
  std::string Port() const override { return FPort; }
  void SetPort(const std::string& Port) override { FPort = Port; }
  TPrinterSetup& Setup() override { return FSetup; }
  void ApplyOrientation() override {}  // set up with the document's orientation
  QPaintDevice* MeasureDevice() override {
    if (!FMeasure) FMeasure = MeasureImage(XDPI(), YDPI());
    return FMeasure.get();
  }
  void BeginDoc(const std::string&) override { FPart->BeginDoc(); }
  void NewPage() override { FPart->NewPage(); }
  void EndDoc() override { FPart->EndDoc(); }
  void Abort() override { FPart->Abort(); }
  bool Printing() const override { return FPart->Printing(); }
  QPainter* Painter() override { return FPart->Painter(); }
  const TPrinterPart& Part() const { return *FPart; }

 private:
  QPrinter& PageDevice() const override { return FPart->Device(); }
  std::unique_ptr<TPrinterPart> FPart;
  std::string FDevice, FDriver, FPort;
  TPrinterSetup FSetup;
  std::unique_ptr<QImage> FMeasure;
};

std::unique_ptr<TReportPrinter> TSystemReportPrinter::NewPart(const std::string& Title, int Index) {
  // Set up as BeginDoc sets up the whole document.
  Printer().Title = Title;
  Printer().Copies = std::max<int>(1, FSetup.Copies);
  ApplyOrientation();
  std::unique_ptr<TPrinterPart> part = Printer().NewPart(Index);
  if (!part) return nullptr;
  return std::make_unique<TSystemPartPrinter>(std::move(part), *this, Setup());
}

void TSystemReportPrinter::JoinParts(const std::vector<TReportPrinter*>& Parts) {
  std::vector<const TPrinterPart*> parts;
  for (TReportPrinter* p : Parts) parts.push_back(&static_cast<TSystemPartPrinter*>(p)->Part());
  Printer().JoinParts(parts);
}

TReportPrinter* gInstalled = nullptr;
thread_local TReportPrinter* tThreadPrinter = nullptr;

}  // namespace

TReportPrinter* SetThreadReportPrinter(TReportPrinter* Printer) {
  return std::exchange(tThreadPrinter, Printer);
}

TReportPrinter& ReportPrinter() {
  if (tThreadPrinter) return *tThreadPrinter;
  if (gInstalled) return *gInstalled;
  static TSystemReportPrinter* system = new TSystemReportPrinter;  // lives to the end, as the printer
  return *system;
}

TReportPrinter* SetReportPrinter(TReportPrinter* Printer) {
  return std::exchange(gInstalled, Printer);
}

// ---- Page pictures --------------------------------------------------------------------------

TImagePagePrinter::TImagePagePrinter(int XDpi, int YDpi, double PaperWidthInches, double PaperHeightInches)
    : FXDpi(XDpi), FYDpi(YDpi), FPaperW(PaperWidthInches), FPaperH(PaperHeightInches) {}

TImagePagePrinter::~TImagePagePrinter() {
  if (FPainter) FPainter->end();
}

TPrinterSetup& TImagePagePrinter::Setup() {
  SetPaperFields(FSetup, QPageSize(QSizeF(FPaperW, FPaperH), QPageSize::Inch));
  return FSetup;
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

std::unique_ptr<TReportPrinter> TImagePagePrinter::NewPart(const std::string&, int) {
  if (!Parts) return nullptr;
  auto part = std::make_unique<TImagePagePrinter>(FXDpi, FYDpi, FPaperW, FPaperH);
  part->BorderLeft = BorderLeft;
  part->BorderTop = BorderTop;
  part->BorderRight = BorderRight;
  part->BorderBottom = BorderBottom;
  part->FPort = FPort;
  part->FSetup = FSetup;
  return part;
}

void TImagePagePrinter::JoinParts(const std::vector<TReportPrinter*>& Parts) {
  FPages.clear();
  for (TReportPrinter* p : Parts) {
    auto* part = static_cast<TImagePagePrinter*>(p);
    if (part->Documents != 1) throw EPrinter("Cannot join the document's parts");
    FPages.insert(FPages.end(), part->FPages.begin(), part->FPages.end());
  }
  if (!Parts.empty()) Title = static_cast<TImagePagePrinter*>(Parts.front())->Title;
  CopiesAtBegin = FSetup.Copies;
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
