// libFuzzer harness (`make fuzz`): zip archive directories.
#include "tests/components/fuzz/FuzzMain.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

ORV_FUZZ_HARNESS(picfuzz::RunZip)
