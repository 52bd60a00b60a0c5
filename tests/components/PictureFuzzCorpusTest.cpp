// Replays the picture and archive harnesses' saved corpora, so every input they ever kept
// stays harmless: read, used and written back with nothing but the library's own errors.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

TEST(PictureFuzzCorpus, EverySavedInputRunsClean) {
  struct Harness {
    const char* corpus;
    void (*body)(const uint8_t*, size_t);
  } harnesses[] = {
      {"gif", picfuzz::RunGif}, {"gif_length", picfuzz::RunGifWithLength}, {"ani", picfuzz::RunAni},
      {"icon", picfuzz::RunIcon}, {"zip", picfuzz::RunZip},
  };
  for (const Harness& h : harnesses)
    EXPECT_GT(ReplayCorpus(std::string("components/fuzz/corpus/") + h.corpus, h.body), 0) << h.corpus;
  Clipboard().Clear();
}
