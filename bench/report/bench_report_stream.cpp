// Report stream figures: recording a note-like report (a title block and body lines with tab
// stops, 60 lines a page), its stream size, reading it back record by record, printing it onto
// page pictures and previewing every page. Prints its figures; asserts nothing.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/core/TextCodec.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "report/FilePreview.h"
#include "report/ReportFiler.h"
#include "report/ReportPrinter.h"

namespace {

double Ms(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count();
}

void NotePages(TBaseReport& r, int Pages) {
  const std::string line = cp949::K("가나다라 마바사 아자차카 타파하 본문 한 줄의 글자들 0123456789");
  for (int p = 1; p <= Pages; ++p) {
    r.SetLinesPerInch(6);
    r.SetFont(cp949::K("굴림체"), 10);
    r.ClearTabStops();
    r.AddTabStop(1.0, 1, 0.8, 2, 0, 0);
    r.AddTabStop(-32768, 1, 4.5, 2, 0, 0);
    r.SetCursorY(1.0);
    for (int i = 0; i < 60; ++i) r.PrintTabbedLine("\t" + line);
    r.SetCursorY(r.GetPageHeight() - 0.8);
    r.PrintCenterAt("- " + std::to_string(p) + " -", r.GetPageWidth() / 2);
    if (p < Pages) r.NewPage();
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TApplication app(argc, argv);
  const int pages = argc > 1 ? std::atoi(argv[1]) : 100;
  TImagePagePrinter printer(150, 150);
  SetReportPrinter(&printer);

  TMemoryStream stream;
  TReportFiler filer;
  filer.StreamMode = smUser;
  filer.Stream = &stream;
  filer.OnPrint = [&](TObject*) { NotePages(filer, pages); };
  auto t = std::chrono::steady_clock::now();
  filer.Execute();
  double recordMs = Ms(t);

  t = std::chrono::steady_clock::now();
  int records = 0;
  {
    TReportReader r(stream);
    stream.SetPosition(0);
    r.ExpectCode(rcReportHeader);
    r.ReportHeader();
    // Every text record and page structure; the benchmark report writes no other drawing.
    while (r.Remaining() > 0) {
      uint8_t c = r.Byte();
      ++records;
      switch (c) {
        case rcPageHeader: r.PageHeader(); break;
        case rcTextCenter: case rcTextLeft: case rcTextRight: r.Number(); r.Text(); r.Number(); break;
        case rcFontName: r.Text(); break;
        case rcBrushColor: case rcFontColor: case rcPenColor: case rcBackColor: r.Int32(); break;
        case rcScaleX: case rcScaleY: case rcFontSize: case rcPenWidth: r.Number(); break;
        case rcBrushBitmap: if (r.Byte()) { uint8_t k; std::string b; r.Graphic(k, b); } break;
        case rcEndPage: break;
        default: r.Byte(); break;
      }
    }
  }
  double readMs = Ms(t);

  t = std::chrono::steady_clock::now();
  TFilePrinter player;
  player.StreamMode = smUser;
  player.Stream = &stream;
  player.Execute();
  double printMs = Ms(t);

  TForm form(nullptr);
  auto* box = new TScrollBox(&form);
  box->SetParent(&form);
  TFilePreview preview(nullptr);
  preview.StreamMode = smUser;
  preview.Stream = &stream;
  preview.SetScrollBox(box);
  t = std::chrono::steady_clock::now();
  preview.StartPreview();
  preview.SetZoomFactor(50);
  for (int p = 2; p <= pages; ++p) preview.NextPage();
  double previewMs = Ms(t);
  preview.FinishPreview();

  std::printf("pages %d, records %d, stream %lld bytes (%.0f bytes a page)\n", pages, records,
              static_cast<long long>(stream.Size()), static_cast<double>(stream.Size()) / pages);
  std::printf("record   %8.1f ms  (%.2f ms a page)\n", recordMs, recordMs / pages);
  std::printf("read     %8.1f ms  (%.3f ms a page)\n", readMs, readMs / pages);
  std::printf("print    %8.1f ms  (%.2f ms a page at 150 dpi, %zu pages)\n", printMs, printMs / pages,
              printer.Pages().size());
  std::printf("preview  %8.1f ms  (%.2f ms a page at zoom 50)\n", previewMs, previewMs / pages);
  SetReportPrinter(nullptr);
  return 0;
}
