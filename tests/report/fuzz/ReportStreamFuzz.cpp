// libFuzzer harness of the report stream reader and player (`make fuzz`).
#include <cstdlib>

#include "platform/core/FakeServices.h"
#include "tests/report/fuzz/ReportStreamFuzzBody.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  new TApplication;    // lives for the whole run
  new TFakeServices;   // message boxes are recorded, never shown
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  reportfuzz::RunReportStream(Data, Size);
  return 0;
}
