// libFuzzer harness (`make fuzz`): animated cursors (RIFF ACON).
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

ORV_FUZZ_HARNESS(picfuzz::RunAni)
