// libFuzzer harness (`make fuzz`): the rich-text (RTF) reader.
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/platform/ui/fuzz/RtfFuzzBody.h"

ORV_FUZZ_HARNESS(rtffuzz::RunRtf)
