// Replays the expression harness's saved corpus.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/engine/fuzz/ExprFuzzBody.h"

TEST(ExprFuzzCorpusTest, EverySavedInputRunsClean) {
  EXPECT_GT(ReplayCorpus("engine/fuzz/corpus/expr", xbefuzz::RunExpression), 0);
}
