// Replays the damaged-index harness's saved corpus: every kind of damage it kept must still
// get the scan's answers, or a reported fault.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/engine/fuzz/DamageFuzzBody.h"

TEST(DamageFuzzCorpusTest, EverySavedDamageGetsTheScansAnswers) {
  EXPECT_GT(ReplayCorpus("engine/fuzz/corpus/damage",
                         [](const uint8_t* data, size_t size) { EXPECT_EQ(xbefuzz::RunDamage(data, size), ""); }),
            0);
}
