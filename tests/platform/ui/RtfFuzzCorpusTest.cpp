// Replays the rich-text reader harness's saved corpus.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/platform/ui/fuzz/RtfFuzzBody.h"

TEST(RtfFuzzCorpus, EverySavedInputRunsClean) {
  EXPECT_GT(ReplayCorpus("platform/ui/fuzz/corpus/rtf", rtffuzz::RunRtf), 0);
}
