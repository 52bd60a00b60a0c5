// libFuzzer harness of the SQL query dataset's result blocks (`make fuzz`).
#include "platform/core/FakeServices.h"
#include "tests/remote/fuzz/SqlResultFuzzBody.h"
#include "tests/support/FuzzLimits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  new TFakeServices;  // the internal connection's poll timer runs on its virtual time
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  sqlresultfuzz::RunSqlResult(Data, Size);
  return 0;
}
