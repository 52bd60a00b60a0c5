// Replays the rich-text reader harness's saved corpus, so every input it ever kept stays
// harmless.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/platform/ui/fuzz/RtfFuzzBody.h"

TEST(RtfFuzzCorpus, EverySavedInputRunsClean) {
  std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests/platform/ui/fuzz/corpus/rtf";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    rtffuzz::RunRtf(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}
