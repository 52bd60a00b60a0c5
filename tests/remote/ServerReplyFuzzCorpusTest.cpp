// Replays the server reply harness's saved corpus.
#include <gtest/gtest.h>

#include "platform/core/FakeServices.h"
#include "support/FuzzCorpus.h"
#include "tests/remote/fuzz/ServerReplyFuzzBody.h"

TEST(ServerReplyFuzzCorpusTest, EverySavedInputRunsClean) {
  TFakeServices fake;
  EXPECT_GT(ReplayCorpus("remote/fuzz/corpus/server-reply", replyfuzz::RunServerReply), 0);
}
