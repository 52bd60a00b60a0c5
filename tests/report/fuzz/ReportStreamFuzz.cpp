// libFuzzer harness of the report stream reader and player (`make fuzz`).
#include <QCoreApplication>
#include <QEvent>
#include <cstdlib>

#include "platform/core/FakeServices.h"
#include "tests/report/fuzz/ReportStreamFuzzBody.h"
#include "tests/support/FuzzLimits.h"

// The font library keeps caches for the life of the process; they are not the player's leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  new TApplication;    // lives for the whole run
  new TFakeServices;   // message boxes are recorded, never shown
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  reportfuzz::RunReportStream(Data, Size);
  // What a message loop would do between runs: widgets deleted later go, and the font cache
  // trims itself on its timer.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  return 0;
}
