// Replays the table and memo harnesses' saved corpora: sound files the engine wrote, files
// damaged in their sizes, counts and links, and what the fuzzer kept.
#include <gtest/gtest.h>

#include "support/FuzzCorpus.h"
#include "tests/engine/fuzz/TableFuzzBody.h"

TEST(TableFuzzCorpusTest, EverySavedTableRunsClean) {
  EXPECT_GT(ReplayCorpus("engine/fuzz/corpus/dbf", xbefuzz::RunDbf), 0);
}

TEST(TableFuzzCorpusTest, EverySavedMemoFileRunsClean) {
  EXPECT_GT(ReplayCorpus("engine/fuzz/corpus/memo", xbefuzz::RunMemo), 0);
}
