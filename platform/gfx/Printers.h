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

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
  TCanvas FCanvas;
  bool FPrinting = false;
  bool FAborted = false;
  int FPageNumber = 0;
  std::string FLastOutput;
};

TPrinter& Printer();
