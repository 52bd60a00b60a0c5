// libFuzzer harness of the memo file reader and its writes into a damaged memo file (`make fuzz`).
#include "tests/engine/fuzz/TableFuzzBody.h"
#include "tests/support/FuzzLimits.h"

ORV_FUZZ_PLAIN_HARNESS(xbefuzz::RunMemo, (1 << 20))
