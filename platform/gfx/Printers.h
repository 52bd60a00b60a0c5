// The printer: a document of pages drawn on its Canvas in printer pixels. With a printer
// installed (through the system's print service) the pages go to it; without one, or when
// OutputFileName is set, they go to a PDF file (by default "orvelane-print.pdf" in the current
// folder), so printing works and can be checked on any machine.
//
// One process-wide printer (Printer()). GUI thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/SysUtils.h"
#include "platform/gfx/Canvas.h"

ORV_DECLARE_EXCEPTION(EPrinter, Exception);

enum class TPrinterOrientation { Portrait, Landscape };

class QPrinter;
class QPainter;

// One part of a long PDF document drawn in parts side by side (TPrinter::NewPart): a document
// of its own, in a file of its own beside the document's file, set up as BeginDoc sets up the
// printer's. It is made on the GUI thread; BeginDoc, the drawing, NewPage and EndDoc may then
// run on a thread of its own. Its file is removed with it.
class TPrinterPart {
 public:
  ~TPrinterPart();
  TPrinterPart(const TPrinterPart&) = delete;
  TPrinterPart& operator=(const TPrinterPart&) = delete;

  // Raises EPrinter "Printer is not ready" when the file cannot be opened.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return FPainter != nullptr; }
  QPainter* Painter() const { return FPainter.get(); }
  // The part's device, for its page and resolution.
  QPrinter& Device() const { return *FDevice; }
  // The part's file (program text).
  const std::string& File() const { return FFile; }

 private:
  friend class TPrinter;
  TPrinterPart(std::unique_ptr<QPrinter> Device, std::string File, std::string Target);
  std::unique_ptr<QPrinter> FDevice;
  std::unique_ptr<QPainter> FPainter;
  std::string FFile, FTarget;  // its own file; the document's
};

class TPrinter : public TObject {
 public:
  TPrinter();
  ~TPrinter() override;

  // Starts a document; raises EPrinter "Printing in progress" while one is open, and
  // EPrinter "Printer is not ready" when the output cannot be opened.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  // Ends the document without finishing it; a PDF being written is removed.
  void Abort();
  bool Printing() const { return FPrinting; }
  bool Aborted() const { return FAborted; }
  int PageNumber() const { return FPageNumber; }

  TCanvas& Canvas() { return FCanvas; }
  // The printable page in printer pixels, and the printer's pixels per inch.
  int PageWidth() const;
  int PageHeight() const;
  int XDPI() const;
  int YDPI() const;

  std::string Title;
  int Copies = 1;
  TPrinterOrientation Orientation = TPrinterOrientation::Portrait;
  // Set: the document goes to this PDF file, whatever printers are installed.
  std::string OutputFileName;

  // Installed printers by name; PrinterIndex -1 is the default one.
  std::vector<std::string> Printers() const;
  int PrinterIndex = -1;
  // The file the last document went to ("" when it went to a printer).
  const std::string& LastOutputFile() const { return FLastOutput; }
  // The PDF file a document goes to when no printer is installed and none is asked for.
  static std::string FallbackOutputFile();
  // Points Device at what a document goes to: OutputFileName, else the chosen printer, else
  // the fallback PDF file. The PDF file's name, "" for a printer. For output that draws on
  // a QPrinter of its own (the body editor lays out its pages itself).
  std::string SelectOutput(QPrinter& Device) const;

  // A long document that goes to a PDF file may be drawn in parts side by side: NewPart gives
  // part Index (null when the document goes to a printer); JoinParts then writes the finished
  // parts, in order, as the document's file (PdfJoin.h), which becomes LastOutputFile. Neither
  // opens a document of the printer's own. JoinParts touches no Qt object and may run on
  // another thread while the GUI thread waits for it.
  std::unique_ptr<TPrinterPart> NewPart(int Index) const;
  void JoinParts(const std::vector<const TPrinterPart*>& Parts);

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
  TCanvas FCanvas;
  bool FPrinting = false;
  bool FAborted = false;
  int FPageNumber = 0;
  std::string FLastOutput;
  std::string FWriting;  // the hidden file the document is written to, put in its place at EndDoc
  // Sets up a device for a document as BeginDoc does; the PDF file's name, "" for a printer.
  std::string Prepare(QPrinter& Device) const;
};

TPrinter& Printer();

