// TFilePrinter: plays a recorded report stream onto the printer, page by page, for a range of
// pages and a number of copies. The stream holds inches and relative sizes, so one recording
// prints at the printer's own resolution. The player always works in inches (UnitsFactor 1).
//
// A damaged stream is refused: a code out of place or unknown ends the run with EReportKit
// "Unexpected code found in report file.", short data with EReadError, links that do not move
// through the stream with EReportKit; the printer document is then aborted, so no partial page
// is printed.
#pragma once

#include <functional>
#include <memory>

#include "report/CanvasReport.h"

class QPainter;

// Said when a stream holds no page to print or preview.
inline constexpr const char* kNoPages = "The report has no pages to print.";

class TFilePrinter : public TCanvasReport {
 public:
  explicit TFilePrinter(TComponent* AOwner = nullptr);
  ~TFilePrinter() override;

  std::string FileName;
  TStreamMode StreamMode = smMemory;
  TStream* Stream = nullptr;  // smUser: the caller's stream

  // From the report header.
  int PageCount() const { return FPageCount; }
  double PageWidthInches() const { return FPageWidth; }
  double PageHeightInches() const { return FPageHeight; }
  // The page walk.
  int64_t CurrentPageHeaderPos() const { return FCurrentHeaderPos; }
  int64_t PrevLink() const { return FPrevLink; }
  int64_t NextLink() const { return FNextLink; }

  bool OpenInputStream();
  void ReadReportHeader();
  void ReadPageHeader();
  void ExpectCode(uint8_t Code);
  virtual void GotoPage(unsigned N);
  virtual void PlayPage(unsigned N);
  void PrintRange(int AFirstPage, int ALastPage, int ACopies);
  void Execute() override { PrintRange(0, 0, 0); }
  void NewPage() override;
  // On a device that cannot be read back (a printer, a PDF file) the page so far is played
  // again into a picture, and the area found there is filled on the device.
  void FloodFill(double X, double Y, TColor Color, int FillStyle) override;
  TReportCanvas& GetCanvas() override;

 protected:
  // The hourglass for the length of a scope.
  struct BusyCursor {
    BusyCursor();
    ~BusyCursor();
  };
  // Performs the records of the current page up to its end, or up to the record at StopAt.
  void PlayRecords(int64_t StopAt = -1);
  void CloseInputStream();
  void StartWalk();
  TReportReader& In() { return *FReader; }
  // After ReadReportHeader: whether the stream holds a page.
  bool HasPages();
  void SayNoPages();

 private:
  // The pages from the first to the last onto the printer, as one document; AfterPage, when
  // given, is asked after each page whether to go on.
  void PlayDocument(int AFirstPage, int ALastPage, const std::function<bool()>& AfterPage);
  // A long document on a device that can join documents is drawn in parts, each on a thread of
  // its own, while the GUI thread shows the pages done; false: it goes in one piece.
  bool PrintInParts(int AFirstPage, int ALastPage);
  // One part: the stream read again by this player and its pages played as a document of the
  // calling thread's printer.
  void PlayPart(int AFirstPage, int ALastPage, const std::function<bool()>& AfterPage);

  std::unique_ptr<TStream> FOwnedIn;
  TStream* FIn = nullptr;
  std::unique_ptr<TReportReader> FReader;
  int FPageCount = 0;
  double FPageWidth = 8.5, FPageHeight = 11.0;
  int64_t FCurrentHeaderPos = 0, FPrevLink = 0, FNextLink = 0;
  bool FWalkMustMove = false;  // a print run: a page that cannot be reached is damage
  int64_t FRecordStart = 0;    // where the record being performed begins
  QPainter* FCopyPainter = nullptr;  // while the page is played again into a picture
  int FCopyFills = 0;                // fills of this page done through such a copy
};
