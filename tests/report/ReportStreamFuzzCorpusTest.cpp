// Replays the report stream harness's saved corpus, so every input it ever kept stays harmless.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/core/FakeServices.h"
#include "tests/report/fuzz/ReportStreamFuzzBody.h"

TEST(ReportStreamFuzzCorpusTest, EverySavedInputRunsClean) {
  TFakeServices fake;
  std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests/report/fuzz/corpus/report-stream";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    reportfuzz::RunReportStream(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}
