// Replays the picture and archive harnesses' saved corpora, so every input they ever kept
// stays harmless: read, used and written back with nothing but the library's own errors.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/components/fuzz/PictureFuzzBodies.h"

TEST(PictureFuzzCorpus, EverySavedInputRunsClean) {
  EXPECT_GT(ReplayCorpus("components/fuzz/corpus/gif", picfuzz::RunGif), 0);
  EXPECT_GT(ReplayCorpus("components/fuzz/corpus/gif-length", picfuzz::RunGifWithLength), 0);
  EXPECT_GT(ReplayCorpus("components/fuzz/corpus/ani", picfuzz::RunAni), 0);
  EXPECT_GT(ReplayCorpus("components/fuzz/corpus/icon", picfuzz::RunIcon), 0);
  EXPECT_GT(ReplayCorpus("components/fuzz/corpus/zip", picfuzz::RunZip), 0);
  Clipboard().Clear();
}
