// Replays the server reply harness's saved corpus, so every input it ever kept stays harmless.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/core/FakeServices.h"
#include "tests/remote/fuzz/ServerReplyFuzzBody.h"

TEST(ServerReplyFuzzCorpusTest, EverySavedInputRunsClean) {
  TFakeServices fake;
  std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests/remote/fuzz/corpus/server-reply";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    replyfuzz::RunServerReply(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  EXPECT_GT(count, 0);
}
