// libFuzzer harness of the expression compiler and evaluator (`make fuzz`).
#include "tests/engine/fuzz/ExprFuzzBody.h"
#include "tests/support/FuzzLimits.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  xbefuzz::RunExpression(data, size);
  return 0;
}
