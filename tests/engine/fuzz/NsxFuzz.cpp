// libFuzzer harness of the .nsx index reader and its writes into a damaged file (`make fuzz`).
#include "tests/engine/fuzz/NsxFuzzBody.h"
#include "tests/support/FuzzLimits.h"

ORV_FUZZ_PLAIN_HARNESS(xbefuzz::RunNsx, (1 << 20))
