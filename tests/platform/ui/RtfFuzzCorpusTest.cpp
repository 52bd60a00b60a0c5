// Replays the rich-text reader harness's saved corpus, so every input it ever kept stays
// harmless.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/platform/ui/fuzz/RtfFuzzBody.h"

TEST(RtfFuzzCorpus, EverySavedInputRunsClean) {
  EXPECT_GT(ReplayCorpus("platform/ui/fuzz/corpus/rtf", rtffuzz::RunRtf), 0);
}
