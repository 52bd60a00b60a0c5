// The printer over QPrinter and one QPainter that stays open for the whole document.
#include "platform/gfx/Printers.h"

#include <cstdio>
#include <utility>
#include <unistd.h>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/core/OsText.h"
#include "platform/gfx/PdfJoin.h"
#include "platform/ui/QtText.h"

struct TPrinter::Impl {
  std::unique_ptr<QPrinter> printer;
  std::unique_ptr<QPainter> painter;
  QPrinter& Device() {
    if (!printer) printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer;
  }
};

TPrinter::TPrinter() : FImpl(std::make_unique<Impl>()) {}

TPrinter::~TPrinter() {
  if (FPrinting) Abort();
}

std::vector<std::string> TPrinter::Printers() const {
  std::vector<std::string> out;
  for (const QPrinterInfo& p : QPrinterInfo::availablePrinters()) out.push_back(orv::FromQ(p.printerName()));
  return out;
}

std::string TPrinter::FallbackOutputFile() {
  return IncludeTrailingPathDelimiter(GetCurrentDir()) + "orvelane-print.pdf";
}

std::string TPrinter::SelectOutput(QPrinter& Device) const {
  const std::vector<std::string> names = Printers();
  if (!OutputFileName.empty() || names.empty()) {
    const std::string file = OutputFileName.empty() ? FallbackOutputFile() : OutputFileName;
    Device.setOutputFormat(QPrinter::PdfFormat);
    Device.setOutputFileName(orv::NameToQ(file));
    return file;
  }
  if (PrinterIndex >= 0 && PrinterIndex < static_cast<int>(names.size()))
    Device.setPrinterName(orv::ToQ(names[static_cast<size_t>(PrinterIndex)]));
  return "";
}

std::string TPrinter::Prepare(QPrinter& p) const {
  std::string file = SelectOutput(p);
  p.setDocName(orv::ToQ(Title));
  p.setCopyCount(std::max(1, Copies));
  p.setPageOrientation(Orientation == TPrinterOrientation::Landscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
  return file;
}

void TPrinter::BeginDoc() {
  if (FPrinting) throw EPrinter("Printing in progress");
  FImpl->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrinter& p = *FImpl->printer;
  FLastOutput = Prepare(p);
  // A PDF file is written beside its name and put in its place whole at EndDoc: a reader, or
  // another copy of the program printing to the same name, never meets half a document.
  FWriting = FLastOutput.empty() ? std::string() : HiddenBeside(FLastOutput, "writing");
  if (!FWriting.empty()) p.setOutputFileName(orv::NameToQ(FWriting));
  FImpl->painter = std::make_unique<QPainter>();
  if (!FImpl->painter->begin(&p)) {
    FImpl->painter.reset();
    throw EPrinter("Printer is not ready");
  }
  FCanvas.SetPainter(FImpl->painter.get());
  FPrinting = true;
  FAborted = false;
  FPageNumber = 1;
}

void TPrinter::NewPage() {
  if (!FPrinting) throw EPrinter("Printer is not printing");
  FImpl->printer->newPage();
  ++FPageNumber;
}

void TPrinter::EndDoc() {
  if (!FPrinting) throw EPrinter("Printer is not printing");
  FCanvas.SetPainter(nullptr);
  FImpl->painter->end();
  FImpl->painter.reset();
  FPrinting = false;
  if (!FWriting.empty()) {
    const std::string writing = std::exchange(FWriting, std::string());
    if (std::rename(ostext::SystemPath(writing).c_str(), ostext::SystemPath(FLastOutput).c_str()) != 0) {
      DeleteFile(writing);
      throw EPrinter("Printer is not ready");
    }
  }
}

void TPrinter::Abort() {
  if (!FPrinting) return;
  FCanvas.SetPainter(nullptr);
  FImpl->printer->abort();
  FImpl->painter->end();
  FImpl->painter.reset();
  if (!FWriting.empty()) DeleteFile(std::exchange(FWriting, std::string()));
  FLastOutput.clear();
  FPrinting = false;
  FAborted = true;
}

// ---- Documents in parts ---------------------------------------------------------------------

std::unique_ptr<TPrinterPart> TPrinter::NewPart(int Index) const {
  auto device = std::make_unique<QPrinter>(QPrinter::HighResolution);
  const std::string file = Prepare(*device);
  if (file.empty()) return nullptr;
  // Beside the document: the same folder is writable, and the process's number keeps two
  // copies of the program printing into one folder at once off each other's parts.
  const std::string part = HiddenBeside(file, "part" + std::to_string(Index));
  device->setOutputFileName(orv::NameToQ(part));
  return std::unique_ptr<TPrinterPart>(new TPrinterPart(std::move(device), part, file));
}

void TPrinter::JoinParts(const std::vector<const TPrinterPart*>& Parts) {
  if (Parts.empty()) throw EPrinter("Printer is not ready");
  const std::string file = Parts.front()->FTarget;
  std::vector<std::string> files;
  for (const TPrinterPart* p : Parts) files.push_back(p->File());
  JoinPdfFiles(files, file);
  // The parts go here, off the GUI thread: removing a long document's files takes a while.
  for (const std::string& f : files) DeleteFile(f);
  FLastOutput = file;
}

TPrinterPart::TPrinterPart(std::unique_ptr<QPrinter> Device, std::string File, std::string Target)
    : FDevice(std::move(Device)), FFile(std::move(File)), FTarget(std::move(Target)) {}

TPrinterPart::~TPrinterPart() {
  if (FPainter) Abort();
  DeleteFile(FFile);
}

void TPrinterPart::BeginDoc() {
  if (FPainter) throw EPrinter("Printing in progress");
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(FDevice.get())) throw EPrinter("Printer is not ready");
  FPainter = std::move(painter);
}

void TPrinterPart::NewPage() {
  if (!FPainter) throw EPrinter("Printer is not printing");
  FDevice->newPage();
}

void TPrinterPart::EndDoc() {
  if (!FPainter) throw EPrinter("Printer is not printing");
  FPainter->end();
  FPainter.reset();
}

void TPrinterPart::Abort() {
  if (!FPainter) return;
  FDevice->abort();
  FPainter->end();
  FPainter.reset();
}

int TPrinter::PageWidth() const { return FImpl->Device().width(); }
int TPrinter::PageHeight() const { return FImpl->Device().height(); }
int TPrinter::XDPI() const { return FImpl->Device().logicalDpiX(); }
int TPrinter::YDPI() const { return FImpl->Device().logicalDpiY(); }

TPrinter& Printer() {
  static TPrinter* p = new TPrinter;  // lives to the end, as the system's printer object
  return *p;
}
