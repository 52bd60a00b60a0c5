// A writer killed at random moments while it appends and rewrites titles under two tags:
// after every kill the tags, opened again, hold exactly the table's records in key order,
// whether the index was whole or had to be rebuilt.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/src/IndexFile.h"
#include "engine/src/Order.h"
#include "tests/engine/ExprTestSource.h"
#include "tests/engine/OrderTestNotes.h"

namespace {

using xbtest::EngineTest;

[[noreturn]] void Writer(const std::string& path, unsigned seed) {
  XbShort wa = xb_UseEx(path.c_str(), "WRITER", XB_OPEN_SHARED, XB_TT_NSX, 0);
  if (wa <= 0) _exit(3);
  xb_SetDeleted(-1);
  std::mt19937 rng(seed);
  for (;;) {
    std::string t1 = std::to_string(rng() % 100000), t2 = std::to_string(rng() % 977);
    if (rng() % 3 == 0) {
      xb_AppendBlank();
    } else {
      xb_Go(static_cast<XbLong>(2 + rng() % static_cast<unsigned>(std::max<XbLong>(1, xb_RecCount() - 1))));
    }
    xb_PutString("tit1", t1.c_str());
    xb_PutString("tit2", t2.c_str());
    xb_Commit();
  }
}

TEST_F(EngineTest, KilledIndexWriterLeavesTagsWholeOrRebuilt) {
  std::string path = Path("crash.dbf");
  ASSERT_GT(xbtest::MakeNotes(path, {{"1", "1"}, {"2", "2"}}), 0);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
  ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 2);
  xb_Close();
  std::mt19937 rng(4242);
  for (int round = 0; round < 12; ++round) {
    pid_t pid = fork();
    if (pid == 0) Writer(path, static_cast<unsigned>(round + 1));
    usleep(3000 + rng() % 30000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself in round " << round;
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_SetDeleted(-1);
    EXPECT_EQ(xb_TagCount(), 2);
    xbtest::ExpectTagMatchesTable("TIT1", "tit1");
    xbtest::ExpectTagMatchesTable("TIT2", "tit2");
    xb_Close();
  }
}

// A table write is announced in the index before storage makes it: a writer that dies in
// between leaves the announcement standing, and the next opener rebuilds, not trusts, the tags.
TEST_F(EngineTest, DeathBetweenTheAnnouncedWriteAndItsKeysMakesTheNextOpenerRebuild) {
  xbetest::MemSource table = xbetest::MemSource::Notes();
  table.Add({{"TIT1", "b"}});
  table.Add({{"TIT1", "a"}});
  std::string dbf = Path("mem.dbf");  // never written: the table lives in memory
  {
    xbe::Orders orders(table, dbf, XB_TT_NSX, true);
    ASSERT_EQ(orders.IndexTag("", "TIT1", "tit1", 0, false, ""), 1);
  }
  pid_t pid = fork();
  if (pid == 0) {
    xbe::Orders orders(table, dbf, XB_TT_NSX, true);
    orders.RecordWillChange(1);
    _exit(0);  // killed before the record and its keys were written
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  auto raw = xbe::IndexFile::Open(Path("mem.nsx"), false);
  ASSERT_TRUE(raw);
  EXPECT_TRUE(raw->Announced());
  EXPECT_FALSE(raw->Damaged());  // readers that have the file open meanwhile go on
  table.Set(1, "TIT1", "c");  // what the dead writer had put on disk
  xbe::Orders reopened(table, dbf, XB_TT_NSX, true);
  ASSERT_EQ(reopened.OrderCount(), 1);
  reopened.SetOrder(1);
  EXPECT_EQ(reopened.First(), 2);
  EXPECT_EQ(reopened.Next(2), 1);
  EXPECT_EQ(reopened.Next(1), 0);
}

// A merge large beside its target holds one announcement from its first batch to the end of
// the rebuild of the tags. Killed while it appends or while it rebuilds, it leaves that
// announcement (or the write flag) standing: the next open rebuilds, and the tags hold exactly
// the records the table got, each one whole.
int gStopAt = 0;
void StopAt(XbPtr, uint16_t code) {
  if (-static_cast<int16_t>(code) >= gStopAt) _exit(0);
}

TEST_F(EngineTest, AMergeKilledHalfWayLeavesTagsThatTheNextOpenRebuilds) {
  const int kSource = 2100;
  ASSERT_TRUE(xbtest::MakeMergeSource(Path("src.dbf"), kSource));
  for (int stopAt : {10, 30, 50, 90}) {  // in the first batch, the second, the rebuild
    SCOPED_TRACE("killed at " + std::to_string(stopAt) + "%");
    const std::string path = Path("tgt" + std::to_string(stopAt) + ".dbf");
    ASSERT_GT(xbtest::MakeNotes(path, {{"t", "t"}}), 0);
    ASSERT_EQ(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 1);
    ASSERT_EQ(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 2);
    xb_Close();
    pid_t pid = fork();
    if (pid == 0) {
      if (xb_UseEx(path.c_str(), "MERGER", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
      xb_SetDeleted(-1);
      gStopAt = stopAt;
      xb_SetGaugePoster(StopAt);
      xb_SetGaugeHook(1);
      xb_AppendFrom(Path("src.dbf").c_str(), XB_TT_NSX, nullptr);
      _exit(4);  // not stopped
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    auto raw = xbe::IndexFile::Open(Path("tgt" + std::to_string(stopAt) + ".nsx"), false);
    ASSERT_TRUE(raw);
    EXPECT_FALSE(raw->Trusted() && !raw->Announced());
    raw.reset();
    ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_SetDeleted(-1);
    EXPECT_EQ(xb_TagCount(), 2);
    if (stopAt >= 30) {
      EXPECT_GT(xb_RecCount(), 2);
    }
    xbtest::ExpectTagMatchesTable("TIT1", "tit1");
    xbtest::ExpectTagMatchesTable("TIT2", "tit2");
    for (XbLong r = 3; r <= xb_RecCount(); ++r) {
      xb_Go(r);
      ASSERT_EQ(xb_GetString("tit1")[0], 's') << r;
    }
    xb_Close();
  }
}

}  // namespace
