// libFuzzer harness of the expression compiler and evaluator (`make fuzz`).
#include "tests/engine/fuzz/ExprFuzzBody.h"
#include "tests/support/FuzzLimits.h"

ORV_FUZZ_PLAIN_HARNESS(xbefuzz::RunExpression, 4096)
