// libFuzzer harness of the .nsx index reader and its writes into a damaged file (`make fuzz`).
#include "tests/engine/fuzz/NsxFuzzBody.h"
#include "tests/support/FuzzLimits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  xbefuzz::RunNsx(data, size);
  return 0;
}
