// libFuzzer harness (`make fuzz`): GIF data behind a 32-bit length (component streaming, the clipboard).
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

ORV_FUZZ_HARNESS(picfuzz::RunGifWithLength)
