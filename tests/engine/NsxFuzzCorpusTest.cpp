// Replays the .nsx fuzz harness's saved corpus (valid index files, damaged ones and what the
// fuzzer kept), so every input it ever kept stays harmless.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/engine/fuzz/NsxFuzzBody.h"

TEST(NsxFuzzCorpusTest, EverySavedIndexFileRunsClean) {
  std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests/engine/fuzz/corpus/nsx";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    xbefuzz::RunNsx(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}
