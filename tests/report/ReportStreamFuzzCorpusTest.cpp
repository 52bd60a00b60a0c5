// Replays the report stream harness's saved corpus.
#include <gtest/gtest.h>

#include "platform/core/FakeServices.h"
#include "support/FuzzCorpus.h"
#include "tests/report/fuzz/ReportStreamFuzzBody.h"

TEST(ReportStreamFuzzCorpusTest, EverySavedInputRunsClean) {
  TFakeServices fake;
  EXPECT_GT(ReplayCorpus("report/fuzz/corpus/report-stream", reportfuzz::RunReportStream), 0);
}
