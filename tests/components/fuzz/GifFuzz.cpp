// libFuzzer harness (`make fuzz`): GIF files.
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

ORV_FUZZ_HARNESS(picfuzz::RunGif)
