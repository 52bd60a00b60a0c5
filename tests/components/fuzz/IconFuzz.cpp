// libFuzzer harness (`make fuzz`): icon files and icon lists.
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

ORV_FUZZ_HARNESS(picfuzz::RunIcon)
