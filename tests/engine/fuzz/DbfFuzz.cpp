// libFuzzer harness of the .dbf table reader and its writes into a damaged table (`make fuzz`).
#include "tests/engine/fuzz/TableFuzzBody.h"
#include "tests/support/FuzzLimits.h"

ORV_FUZZ_PLAIN_HARNESS(xbefuzz::RunDbf, (1 << 20))
