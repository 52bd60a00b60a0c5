// Replays the picture and archive harnesses' saved corpora, so every input they ever kept
// stays harmless: read, used and written back with nothing but the library's own errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/components/fuzz/PictureFuzzBodies.h"

namespace {

int Replay(const char* corpus, void (*body)(const uint8_t*, size_t)) {
  std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests/components/fuzz/corpus" / corpus;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    body(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  return count;
}

}  // namespace

TEST(PictureFuzzCorpus, EverySavedInputRunsClean) {
  struct Harness {
    const char* corpus;
    void (*body)(const uint8_t*, size_t);
  } harnesses[] = {
      {"gif", picfuzz::RunGif}, {"gif_length", picfuzz::RunGifWithLength}, {"ani", picfuzz::RunAni},
      {"icon", picfuzz::RunIcon}, {"zip", picfuzz::RunZip},
  };
  for (const Harness& h : harnesses) EXPECT_GT(Replay(h.corpus, h.body), 0) << h.corpus;
  Clipboard().Clear();
}
