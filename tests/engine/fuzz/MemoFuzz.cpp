// libFuzzer harness of the memo file reader and its writes into a damaged memo file (`make fuzz`).
#include "tests/engine/fuzz/TableFuzzBody.h"
#include "tests/support/FuzzLimits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  xbefuzz::RunMemo(data, size);
  return 0;
}
