// The printer as the report components see it: whether one is installed, its name, driver
// and port, its resolution and page in device pixels with the unprintable border, its setup
// block (copies, paper, orientation), and a document of pages drawn through one QPainter.
//
// ReportPrinter() is the process-wide printer the components use: by default the class
// library's printer (platform/gfx): installed when the system has a printer or a PDF file is
// asked for through its OutputFileName.
// SetReportPrinter installs another one (a page device of pictures, or one without printers,
// for tests) and returns the one it replaced; the registry never owns what is installed.
//
// TImagePagePrinter keeps every page as a picture at a chosen resolution and paper size.
// GUI thread only, except a part of a document (NewPart), which is drawn on its own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QPaintDevice;
class QImage;

// The printer setup block: the fields the report components read and write.
struct TPrinterSetup {
  int16_t Copies = 1;
  int16_t PaperSize = 1;      // the paper code: 1 Letter, 9 A4, 0 none
  int16_t PaperWidth = 2159;  // tenths of a millimetre
  int16_t PaperLength = 2794;
  int16_t Orientation = 1;    // 1 portrait, 2 landscape
};

class TReportPrinter {
 public:
  virtual ~TReportPrinter();

  // False: no printer; the page model then works from a fixed Letter page at 96 dots per inch.
  virtual bool Installed() const = 0;
  virtual std::string Device() const = 0;
  virtual std::string Driver() const = 0;
  virtual std::string Port() const = 0;
  // Reselects the printer on another port.
  virtual void SetPort(const std::string& Port) = 0;

  // The paper fields (code and size) are those of the printer's sheet.
  virtual TPrinterSetup& Setup() = 0;
  // Applies Setup().Orientation (the page size swaps).
  virtual void ApplyOrientation() = 0;

  // Resolution, printable page and the whole sheet in device pixels; the printable page starts
  // at the physical offset.
  virtual int XDPI() const = 0;
  virtual int YDPI() const = 0;
  virtual int PageWidth() const = 0;
  virtual int PageHeight() const = 0;
  virtual int PhysicalWidth() const = 0;
  virtual int PhysicalHeight() const = 0;
  virtual int PhysicalOffsetX() const = 0;
  virtual int PhysicalOffsetY() const = 0;
  // A device of the printer's resolution to measure text on, outside a document.
  virtual QPaintDevice* MeasureDevice() = 0;

  // The document. BeginDoc opens the first page; the painter is open from BeginDoc to
  // EndDoc / Abort.
  virtual void BeginDoc(const std::string& Title) = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  virtual void Abort() = 0;
  virtual bool Printing() const = 0;
  virtual QPainter* Painter() = 0;
  // Hands a block of raw data to the device; devices that take none ignore it.
  virtual void PassThrough(const std::string& Data) {}

  // A long document may be drawn in parts side by side when the device can join documents (a
  // PDF file, pictures): NewPart gives a printer for part Index of a document of that title,
  // with this printer's page and setup, or null when this device cannot. Parts are made on the
  // GUI thread; each part's document is then drawn on a thread of its own, with the part as
  // that thread's printer (SetThreadReportPrinter). JoinParts makes the finished parts, in
  // order, this printer's last document; it may run on another thread while the GUI thread
  // waits, and raises when the parts cannot be joined.
  virtual std::unique_ptr<TReportPrinter> NewPart(const std::string& Title, int Index) { return nullptr; }
  virtual void JoinParts(const std::vector<TReportPrinter*>& Parts) {}
};

// The printer of the calling thread: a part's printer on a part's thread, otherwise the one
// installed by SetReportPrinter, otherwise the class library's.
TReportPrinter& ReportPrinter();
TReportPrinter* SetReportPrinter(TReportPrinter* Printer);
// Makes Printer the calling thread's printer (null: the process's again); returns the one it
// replaced.
TReportPrinter* SetThreadReportPrinter(TReportPrinter* Printer);

// Pages as pictures, white at the start, at XDPI x YDPI on a sheet of PaperWidthInches x
// PaperHeightInches with the given unprintable border (inches).
class TImagePagePrinter : public TReportPrinter {
 public:
  TImagePagePrinter(int XDpi = 100, int YDpi = 100, double PaperWidthInches = 8.5,
                    double PaperHeightInches = 11.0);
  ~TImagePagePrinter() override;

  bool Installed() const override { return FInstalled; }
  std::string Device() const override { return "Page Images"; }
  std::string Driver() const override { return "pages"; }
  std::string Port() const override { return FPort; }
  void SetPort(const std::string& Port) override { FPort = Port; }
  // The paper fields follow the sheet.
  TPrinterSetup& Setup() override;
  void ApplyOrientation() override;
  int XDPI() const override { return FXDpi; }
  int YDPI() const override { return FYDpi; }
  int PageWidth() const override;
  int PageHeight() const override;
  int PhysicalWidth() const override;
  int PhysicalHeight() const override;
  int PhysicalOffsetX() const override;
  int PhysicalOffsetY() const override;
  QPaintDevice* MeasureDevice() override;
  void BeginDoc(const std::string& Title) override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;
  bool Printing() const override { return FPainter != nullptr; }
  QPainter* Painter() override { return FPainter.get(); }
  void PassThrough(const std::string& Data) override { PassedThrough.push_back(Data); }
  // Parts are picture printers of the same sheet; joined, their pages are this one's.
  std::unique_ptr<TReportPrinter> NewPart(const std::string& Title, int Index) override;
  void JoinParts(const std::vector<TReportPrinter*>& Parts) override;
  // Whether NewPart gives parts (a device that must print in one piece when false).
  bool Parts = true;

  // Pretends that no printer is installed.
  void SetInstalled(bool v) { FInstalled = v; }
  // The unprintable border in inches.
  double BorderLeft = 0, BorderTop = 0, BorderRight = 0, BorderBottom = 0;

  // The pages of the last finished document (cleared by BeginDoc; empty after Abort).
  const std::vector<QImage>& Pages() const { return FPages; }
  std::string Title;
  int Documents = 0;      // finished documents
  int AbortedDocs = 0;    // documents ended by Abort
  int CopiesAtBegin = 0;  // Setup().Copies when the last document began
  std::vector<std::string> PassedThrough;

 private:
  void StartPage();
  int FXDpi, FYDpi;
  double FPaperW, FPaperH;
  bool FInstalled = true;
  std::string FPort = "LPT1:";
  TPrinterSetup FSetup;
  std::vector<QImage> FPages;
  std::unique_ptr<QImage> FCurrent;
  std::unique_ptr<QPainter> FPainter;
  std::unique_ptr<QImage> FMeasure;
};
