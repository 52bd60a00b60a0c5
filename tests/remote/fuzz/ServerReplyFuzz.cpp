// libFuzzer harness of the table-server client's reply reading (`make fuzz`).
#include "platform/core/FakeServices.h"
#include "tests/remote/fuzz/ServerReplyFuzzBody.h"
#include "tests/support/FuzzLimits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  new TFakeServices;  // the poll timers run on its virtual time; it lives for the whole run
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  replyfuzz::RunServerReply(Data, Size);
  return 0;
}
