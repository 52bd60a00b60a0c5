// Replays the SQL result harness's saved corpus.
#include <gtest/gtest.h>

#include "platform/core/FakeServices.h"
#include "support/FuzzCorpus.h"
#include "tests/remote/fuzz/SqlResultFuzzBody.h"

TEST(SqlResultFuzzCorpusTest, EverySavedInputRunsClean) {
  TFakeServices fake;
  EXPECT_GT(ReplayCorpus("remote/fuzz/corpus/sql-result", sqlresultfuzz::RunSqlResult), 0);
}
