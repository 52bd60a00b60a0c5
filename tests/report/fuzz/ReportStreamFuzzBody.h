// One fuzz input for the report stream reader and player: the bytes as a recorded stream,
// printed on a small page-picture printer and previewed page by page. A damaged stream may
// only end in the report units' own exceptions (all of them Exception); anything else, a
// crash or a huge allocation is a finding. Shared by the libFuzzer harness and the corpus
// replay test; the caller provides the application object and the fake services.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/Streams.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "report/FilePreview.h"
#include "report/FilePrinter.h"
#include "report/ReportPrinter.h"

namespace reportfuzz {

// The largest input the harness plays; a stream's own sizes are checked against it.
inline constexpr size_t kMaxInput = 1 << 16;

inline void RunReportStream(const uint8_t* Data, size_t Size) {
  if (Size > kMaxInput) return;
  TMemoryStream stream;
  if (Size) stream.WriteBuffer(Data, static_cast<int64_t>(Size));

  TImagePagePrinter pages(20, 20);  // small pages keep each run short
  TReportPrinter* old = SetReportPrinter(&pages);
  struct Restore {
    TReportPrinter* p;
    ~Restore() { SetReportPrinter(p); }
  } restore{old};

  {
    TFilePrinter printer;
    printer.StreamMode = smUser;
    printer.Stream = &stream;
    try {
      printer.Execute();
    } catch (const Exception&) {
    }
  }

  TForm form(nullptr);
  auto* box = new TScrollBox(&form);
  box->SetParent(&form);
  auto* preview = new TFilePreview(&form);
  preview->SetScrollBox(box);
  preview->StreamMode = smUser;
  preview->Stream = &stream;
  preview->SetZoomFactor(10);
  try {
    preview->StartPreview();
    for (int i = 0; i < 4 && preview->Printing(); ++i) preview->NextPage();
    if (preview->Printing()) preview->PreviousPage();
  } catch (const Exception&) {
  }
  if (preview->Printing()) preview->FinishPreview();
}

}  // namespace reportfuzz
