// Replays the .nsx harness's saved corpus: valid index files, damaged ones, and what the
// fuzzer kept.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/engine/fuzz/NsxFuzzBody.h"

TEST(NsxFuzzCorpusTest, EverySavedIndexFileRunsClean) {
  EXPECT_GT(ReplayCorpus("engine/fuzz/corpus/nsx", xbefuzz::RunNsx), 0);
}
