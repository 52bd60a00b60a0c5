// Record and file locks, open modes and appends between processes (forked) and between work
// areas of one process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/src/DbfFile.h"
#include "engine/src/IndexFile.h"
#include "helpers/Child.h"
#include "helpers/NoteFixture.h"
#include "tests/engine/OrderTestNotes.h"
#include "helpers/WriteHookFs.h"
#include "tests/support/ForkedByteLock.h"

namespace {

using xbtest::Child;
using xbtest::EngineTest;

void MakeTable(const std::string& path, int records) {
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 1), 0);
  xb_CreateField("NAME", "C", 12, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "MK", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  for (int i = 0; i < records; ++i) {
    xb_AppendBlank();
    xb_Commit();
  }
  xb_Close();
}

XbShort Open(const std::string& path, const char* alias, XbShort mode = XB_OPEN_SHARED) {
  return xb_UseEx(path.c_str(), alias, mode, XB_TT_CDX, 0);
}

TEST_F(EngineTest, RecordAndFileLocksHoldAcrossProcessesAndWorkAreas) {
  std::string path = Path("locks.dbf");
  MakeTable(path, 5);
  XbShort mine = Open(path, "MINE");
  ASSERT_GT(mine, 0);
  ASSERT_NE(xb_Rlock(2), 0);

  // Another work area of this process is another user of the file.
  XbShort other = Open(path, "OTHER");
  ASSERT_GT(other, 0);
  EXPECT_EQ(xb_Rlock(2), 0);
  EXPECT_NE(xb_Rlock(3), 0);
  EXPECT_EQ(xb_Flock(), 0);
  xb_Unlock(3);

  {
    Child child([&](Child&) {
      if (Open(path, "CHILD") <= 0) return 100;
      int bad = 0;
      if (xb_Rlock(2) != 0) bad |= 1;   // held by the parent
      if (xb_Rlock(3) == 0) bad |= 2;   // free
      if (xb_Flock() != 0) bad |= 4;    // someone holds a record
      if (xb_Rlock(-1) == 0) bad |= 8;  // a new record needs no lock
      return bad;
    });
    EXPECT_EQ(child.Wait(), 0);
  }

  xb_Select(mine);
  EXPECT_NE(xb_Rlock(2), 0);  // already held here: granted again
  EXPECT_NE(xb_Rlock(-1), 0);
  EXPECT_NE(xb_Locked(2), 0);
  EXPECT_EQ(xb_Locked(3), 0);
  EXPECT_EQ(xb_LockCount(), 1);
  EXPECT_STREQ(xb_DBRlockList(), "2");
  xb_Unlock(0);
  EXPECT_EQ(xb_LockCount(), 0);

  ASSERT_NE(xb_Flock(), 0);
  EXPECT_NE(xb_Rlock(4), 0);  // covered by the file lock
  {
    Child child([&](Child&) {
      if (Open(path, "CHILD") <= 0) return 100;
      int bad = 0;
      if (xb_Rlock(5) != 0) bad |= 1;
      if (xb_Flock() != 0) bad |= 2;
      return bad;
    });
    EXPECT_EQ(child.Wait(), 0);
  }
  xb_Select(other);
  EXPECT_EQ(xb_Rlock(5), 0);
  xb_Select(mine);
  xb_Unlock(0);
  {
    Child child([&](Child&) {
      if (Open(path, "CHILD") <= 0) return 100;
      return xb_Flock() != 0 ? 0 : 1;
    });
    EXPECT_EQ(child.Wait(), 0);
  }
  // Closing a work area gives up its locks, and only its own.
  ASSERT_NE(xb_Rlock(1), 0);
  xb_Select(other);
  ASSERT_NE(xb_Rlock(2), 0);
  xb_Close();
  {
    Child child([&](Child&) {
      if (Open(path, "CHILD") <= 0) return 100;
      return (xb_Rlock(2) != 0 ? 0 : 1) | (xb_Rlock(1) == 0 ? 0 : 2);
    });
    EXPECT_EQ(child.Wait(), 0);
  }
}

TEST_F(EngineTest, LockTimeoutRetriesUntilTheHolderLetsGo) {
  std::string path = Path("wait.dbf");
  MakeTable(path, 2);
  ASSERT_GT(Open(path, "HOLDER"), 0);
  ASSERT_NE(xb_Rlock(1), 0);
  Child child([&](Child& self) {
    if (Open(path, "WAITER") <= 0) return 100;
    xb_SetLockTimeout(5);
    self.Tell();
    return xb_Rlock(1) != 0 ? 0 : 1;
  });
  ASSERT_TRUE(child.Heard());
  usleep(300 * 1000);
  xb_Unlock(1);
  EXPECT_EQ(child.Wait(), 0);
}

// A process that holds the append lock of the table or of its memo file and never lets go
// (a copy that hangs): the append and the memo write give up after the lock time-out instead
// of waiting with it, and go through once the lock is free. The holder lets go by itself
// after ten seconds, so a wait without end shows as a write that succeeded.
TEST_F(EngineTest, AppendAndMemoWritesGiveUpOnAHungLockHolder) {
  const std::string path = Path("hung.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_NSX, 2), 0);
  xb_CreateField("NAME", "C", 12, 0);
  xb_CreateField("BODY", "M", 10, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  const std::string memo = path.substr(0, path.size() - 4) + ".smt";
  for (const std::string& held : {path, memo}) {
    SCOPED_TRACE(held);
    TForkedByteLock holder(held, xbe::kLockAppend);
    ASSERT_TRUE(holder.Holding());
    ASSERT_GT(Open(path, "W", XB_OPEN_SHARED), 0);
    xb_SetLockTimeout(1);
    const XbLong before = xb_RecCount();
    if (held == path) {
      xb_AppendBlank();
      EXPECT_EQ(xb_RecCount(), before) << "no record appended under the other's lock";
    } else {
      xb_AppendBlank();
      xb_Commit();
      EXPECT_EQ(xb_PutBlob("BODY", "text", 4), 0);
    }
    holder.Release();
    if (held == path) {
      xb_AppendBlank();
      EXPECT_EQ(xb_RecCount(), before + 1);
    } else {
      EXPECT_EQ(xb_PutBlob("BODY", "text", 4), 4);
    }
    xb_Commit();
    xb_Close();
  }
}

bool IndexBusy() { return (xb_IndexFault() & XB_INDEX_BUSY) != 0; }

// A copy that hangs holding an index file's lock, either between its announcement and its
// keys (the lock alone) or inside its key transaction (the write flag set too). Every write
// that needs the lock (a record write, an append, a delete, a tag build) gives up after the
// wait, says XB_INDEX_BUSY and changes neither file; a read the header confirms without the
// lock answers right, one it cannot confirm gives no answer, and an open takes the index only
// when its header is whole. Once the lock is free (the holder goes by itself after ten
// seconds at the latest) the same work goes through, and every order is the table's.
TEST_F(EngineTest, WorkThatNeedsAnIndexLockAHungCopyKeepsGivesUpAndChangesNothing) {
  xbe::Settings().indexLockFloorSeconds = 1;
  for (const bool inTransaction : {false, true}) {
    SCOPED_TRACE(inTransaction ? "hung in its key transaction" : "hung holding the lock");
    const std::string path = Path(inTransaction ? "flag.dbf" : "plain.dbf");
    const std::string nsx = path.substr(0, path.size() - 4) + ".nsx";
    std::vector<xbtest::NoteRow> rows;
    for (int i = 0; i < 40; ++i) rows.emplace_back("t" + std::to_string((i * 17) % 40), std::to_string(i % 7));
    const XbShort wa = xbtest::MakeNotes(path, rows);
    ASSERT_GT(wa, 0);
    ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
    ASSERT_GT(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 0);
    const XbLong count = xb_RecCount();
    xb_SetOrder(xb_TagArea("TIT1"));
    const std::vector<XbLong> inOrder = xbtest::Walk();
    ASSERT_EQ(inOrder.size(), static_cast<size_t>(count));
    const std::string dbfBefore = ReadFile(path), nsxBefore = ReadFile(nsx);
    xb_IndexFault();
    {
      TForkedByteLock holder(nsx, xbe::IndexFile::kLockOffset, 10, inTransaction ? 32 : -1, std::string("\1\0\0\0", 4));
      ASSERT_TRUE(holder.Holding());
      xb_Go(5);
      ASSERT_NE(xb_Rlock(5), 0);
      xb_PutString("tit1", "changed");
      xb_Commit();
      EXPECT_TRUE(IndexBusy()) << "record write";
      xb_Unlock(5);
      xb_AppendBlank();
      EXPECT_TRUE(IndexBusy()) << "append";
      EXPECT_EQ(xb_RecCount(), count);
      xb_Go(6);
      xb_Delete();
      EXPECT_TRUE(IndexBusy()) << "delete";
      EXPECT_EQ(xb_IndexTag(nullptr, "NEW", "tit2", 0, 0, nullptr), 0);
      EXPECT_TRUE(IndexBusy()) << "tag build";
      EXPECT_EQ(ReadFile(path), dbfBefore);
      if (!inTransaction) {
        EXPECT_EQ(ReadFile(nsx), nsxBefore);
      }

      xb_SetOrder(xb_TagArea("TIT1"));
      const std::vector<XbLong> walked = xbtest::Walk();
      const bool busy = IndexBusy();
      EXPECT_EQ(busy, inTransaction);
      if (inTransaction) {
        EXPECT_TRUE(walked.empty()) << "a state being written gives no answer";
      } else {
        EXPECT_EQ(walked, inOrder);
      }
      // An open meanwhile: with its orders when the header is whole, else without the index,
      // and says so (no order is then claimed).
      ASSERT_GT(xb_UseEx(path.c_str(), "SECOND", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
      EXPECT_EQ(IndexBusy(), inTransaction);
      if (inTransaction) {
        EXPECT_EQ(xb_TagArea("TIT1"), 0);
      } else {
        xb_SetOrder(xb_TagArea("TIT1"));
        EXPECT_EQ(xbtest::Walk(), inOrder);
      }
      xb_Close();
      xb_Select(wa);
      holder.Release();
    }
    xb_Go(5);
    ASSERT_NE(xb_Rlock(5), 0);
    xb_PutString("tit1", "changed");
    xb_Commit();
    xb_Unlock(5);
    xb_AppendBlank();
    xb_PutString("tit1", "appended");
    xb_Commit();
    xb_Go(6);
    xb_Delete();
    xb_Commit();
    EXPECT_GT(xb_IndexTag(nullptr, "NEW", "tit2", 0, 0, nullptr), 0);
    EXPECT_FALSE(IndexBusy());
    xb_CloseAll();

    ASSERT_GT(xb_UseEx(path.c_str(), "BACK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    EXPECT_EQ(xb_IndexFault(), 0);
    EXPECT_EQ(xb_RecCount(), count + 1);
    xb_Go(5);
    EXPECT_EQ(xb_GetTrimString("tit1"), std::string("changed"));
    xb_Go(6);
    EXPECT_NE(xb_Deleted(), 0);
    for (const auto& [tag, field] : {std::pair{"TIT1", "tit1"}, {"TIT2", "tit2"}, {"NEW", "tit2"}})
      xbtest::ExpectTagMatchesTable(tag, field, 1);
    xb_CloseAll();
  }
}

// A pack needs the table to itself, and the tags rebuilt under their locks: while a hung copy
// keeps an index lock the pack is refused before anything changes.
TEST_F(EngineTest, APackWhoseIndexLockAHungCopyKeepsChangesNothing) {
  xbe::Settings().indexLockFloorSeconds = 1;
  const std::string path = Path("pack.dbf");
  const std::string nsx = path.substr(0, path.size() - 4) + ".nsx";
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < 30; ++i) rows.emplace_back("p" + std::to_string((i * 7) % 30), "", " ", "body", i % 4 == 1);
  ASSERT_GT(xbtest::MakeNotes(path, rows), 0);
  ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
  xb_CloseAll();
  ASSERT_GT(xb_UseEx(path.c_str(), "PACK", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0), 0);
  const XbLong count = xb_RecCount();
  const std::string dbfBefore = ReadFile(path);
  xb_IndexFault();
  {
    TForkedByteLock holder(nsx, xbe::IndexFile::kLockOffset);
    ASSERT_TRUE(holder.Holding());
    xb_Pack();
    EXPECT_TRUE(IndexBusy());
    EXPECT_EQ(xb_RecCount(), count);
    EXPECT_EQ(ReadFile(path), dbfBefore);
    holder.Release();
  }
  xb_Pack();
  EXPECT_FALSE(IndexBusy());
  EXPECT_LT(xb_RecCount(), count);
  xb_CloseAll();
  ASSERT_GT(xb_UseEx(path.c_str(), "BACK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  EXPECT_EQ(xb_IndexFault(), 0);
  xbtest::ExpectTagMatchesTable("TIT1", "tit1", 1);
}

TEST_F(EngineTest, ExclusiveOpenIsRefusedWhileAnotherProcessHasTheFile) {
  std::string path = Path("excl.dbf");
  MakeTable(path, 1);
  {
    Child child([&](Child& self) {
      if (Open(path, "CHILD") <= 0) return 100;
      self.Tell();
      self.Await();
      return 0;
    });
    ASSERT_TRUE(child.Heard());
    EXPECT_LE(Open(path, "EXCL", XB_OPEN_EXCLUSIVE), 0);
    child.Release();
    EXPECT_EQ(child.Wait(), 0);
  }
  ASSERT_GT(Open(path, "EXCL", XB_OPEN_EXCLUSIVE), 0);
  Child child([&](Child&) {
    return (Open(path, "S") <= 0 ? 0 : 1) | (Open(path, "R", XB_OPEN_READONLY) <= 0 ? 0 : 2);
  });
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(EngineTest, AppendsFromSeveralProcessesAllLand) {
  std::string path = Path("append.dbf");
  MakeTable(path, 0);
  constexpr int kWriters = 4, kEach = 250;
  {
    std::vector<std::unique_ptr<Child>> writers;
    for (int k = 0; k < kWriters; ++k) {
      writers.push_back(std::make_unique<Child>([&, k](Child&) {
        if (Open(path, "W") <= 0) return 100;
        for (int i = 0; i < kEach; ++i) {
          xb_AppendBlank();
          xb_PutString("NAME", ("W" + std::to_string(k) + "-" + std::to_string(i)).c_str());
          xb_Commit();
        }
        return 0;
      }));
    }
    for (auto& w : writers) EXPECT_EQ(w->Wait(), 0);
  }
  ASSERT_GT(Open(path, "CHECK"), 0);
  EXPECT_EQ(xb_RecCount(), kWriters * kEach);
  std::set<std::string> names;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) names.insert(xb_GetTrimString("NAME"));
  EXPECT_EQ(names.size(), static_cast<size_t>(kWriters * kEach));
  EXPECT_EQ(names.count(""), 0u);
  EXPECT_EQ(names.count("W3-249"), 1u);
}

// A record is its appender's from the moment anyone can see it: another process that picks
// the new record number at once is refused its lock (it used to get it, and both wrote).
TEST_F(EngineTest, AnAppendedRecordIsLockedBeforeAnotherProcessCanPickIt) {
  std::string path = Path("appendlock.dbf");
  MakeTable(path, 2);
  Child appender([&](Child& self) {
    // The appender stops right after its record reached the file, before anything else.
    static xbtest::WriteHookFs pause(".dbf", [&self](xbe::File& real, int64_t off, const void* buf, size_t n) {
      bool ok = real.WriteAt(off, buf, n);
      if (off > 32) {
        self.Tell();
        self.Await();
      }
      return ok;
    });
    xbe::SetFileSystem(&pause);
    if (Open(path, "APPENDER") <= 0) return 100;
    xb_AppendBlank();
    return xb_RecNo() == 3 && xb_Locked(3) != 0 ? 0 : 1;
  });
  ASSERT_TRUE(appender.Heard());
  ASSERT_GT(Open(path, "OTHER"), 0);
  EXPECT_EQ(xb_RecCount(), 3);
  EXPECT_EQ(xb_Rlock(3), 0);
  appender.Release();
  EXPECT_EQ(appender.Wait(), 0);
}

// The next append gives the record appended before back to everyone, and nothing else: a
// record locked by hand stays locked, and so does an appended one asked for with xb_Rlock.
TEST_F(EngineTest, TheNextAppendGivesBackOnlyThePreviousAppendedRecord) {
  struct Case {
    const char* what;
    bool lockOne;         // record 1 locked by hand first
    bool askForAppended;  // xb_Rlock on the first appended record
  };
  const Case cases[] = {{"appends alone", false, false},
                        {"record 1 locked by hand", true, false},
                        {"first appended record asked for", false, true}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = Path("giveback" + std::to_string(n++) + ".dbf");
    MakeTable(path, 2);
    ASSERT_GT(Open(path, "APPENDER"), 0);
    if (c.lockOne) {
      ASSERT_NE(xb_Rlock(1), 0);
    }
    xb_AppendBlank();
    ASSERT_EQ(xb_RecNo(), 3);
    if (c.askForAppended) {
      ASSERT_NE(xb_Rlock(3), 0);
    }
    xb_AppendBlank();
    ASSERT_EQ(xb_RecNo(), 4);
    // Bit k set: record k+1 could be locked by another process.
    Child other([&](Child&) {
      if (Open(path, "OTHER") <= 0) return 100;
      int free = 0;
      for (int r = 1; r <= 4; ++r) free |= xb_Rlock(r) != 0 ? 1 << (r - 1) : 0;
      return free;
    });
    const int want = (c.lockOne ? 0 : 1) | 2 | (c.askForAppended ? 0 : 4);
    EXPECT_EQ(other.Wait(), want);
    EXPECT_EQ(xb_LockCount(), 1 + (c.lockOne ? 1 : 0) + (c.askForAppended ? 1 : 0));
    xb_Close();
  }
}

// An open that has the file but not yet its lock while a pack puts the new table in place
// (or while the file is deleted) must not go on with the old, nameless file: the note it
// appended there was lost, and its keys stood in the index of the new table.
TEST_F(EngineTest, AnOpenOvertakenByAPackUsesTheNewTable) {
  std::string path = Path("packrace.dbf");
  MakeTable(path, 3);
  ASSERT_GT(Open(path, "SETUP", XB_OPEN_EXCLUSIVE), 0);
  ASSERT_GT(xb_IndexTag(nullptr, "NAME", "NAME", 0, 0, nullptr), 0);
  xb_Go(2);
  xb_Delete();
  xb_Close();
  Child opener([&](Child& self) {
    // Stops once, just before the first open lock is asked for.
    static bool stopped = false;
    static xbtest::WriteHookFs pause(
        ".dbf", [](xbe::File& real, int64_t off, const void* buf, size_t n) { return real.WriteAt(off, buf, n); },
        [&self](int64_t off) {
          if (off != 0x40000000 || stopped) return;
          stopped = true;
          self.Tell();
          self.Await();
        });
    xbe::SetFileSystem(&pause);
    if (Open(path, "OPENER") <= 0) return 100;
    xb_AppendBlank();
    xb_PutString("NAME", "mine");
    xb_Commit();
    xb_Close();
    return 0;
  });
  ASSERT_TRUE(opener.Heard());
  ASSERT_GT(Open(path, "PACKER", XB_OPEN_EXCLUSIVE), 0);
  xb_Pack();
  EXPECT_EQ(xb_RecCount(), 2);
  xb_Close();
  opener.Release();
  ASSERT_EQ(opener.Wait(), 0);
  ASSERT_GT(Open(path, "CHECK"), 0);
  EXPECT_EQ(xb_RecCount(), 3);
  xb_Go(3);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "mine");
  xb_SetOrder(xb_TagArea("NAME"));
  std::vector<XbLong> walk;
  for (xb_GoTop(); !xb_Eof() && walk.size() < 10; xb_Skip(1)) walk.push_back(xb_RecNo());
  EXPECT_EQ(walk, (std::vector<XbLong>{1, 2, 3}));
}

TEST_F(EngineTest, ARecordLockReReadsWhatAnotherUserStored) {
  for (bool fileLock : {false, true}) {
    SCOPED_TRACE(fileLock ? "file lock" : "record lock");
    std::string path = Path(fileLock ? "reread_f.dbf" : "reread_r.dbf");
    MakeTable(path, 3);
    ASSERT_GT(Open(path, "MINE"), 0);
    xb_GoTop();
    xb_Skip(1);  // record 2 now comes from the read-ahead
    EXPECT_STREQ(xb_GetTrimString("NAME"), "");
    Child child([&](Child&) {
      if (Open(path, "OTHER") <= 0) return 100;
      for (XbLong r : {2, 3}) {
        xb_Go(r);
        if (!xb_Rlock(r)) return 1;
        xb_PutString("NAME", ("theirs" + std::to_string(r)).c_str());
        xb_Commit();
        xb_Unlock(r);
      }
      return 0;
    });
    ASSERT_EQ(child.Wait(), 0);
    // An edit from the stale buffer would start from what the other user replaced.
    ASSERT_NE(fileLock ? xb_Flock() : xb_Rlock(2), 0);
    EXPECT_STREQ(xb_GetTrimString("NAME"), "theirs2");
    if (!fileLock) {
      ASSERT_NE(xb_Rlock(3), 0);
    }
    xb_Skip(1);
    EXPECT_STREQ(xb_GetTrimString("NAME"), "theirs3");
    xb_CloseAll();
  }
}

// A work area whose copy of a record is older than another user's save (read before it, no
// lock taken, as a delete from the note list does) writes only what it changed itself: the
// other user's title and body stay, the tag follows the record as stored, and a body it
// replaces is the one the file held (its own stale reference was freed twice, so a later
// memo overwrote a live body).
TEST_F(EngineTest, AWriteFromAStaleCopyKeepsAnotherUsersSave) {
  struct Case {
    const char* name;
    std::function<void()> write;  // on the stale copy
    bool deleted;
    const char* tit2;
    const char* body;
  };
  const Case cases[] = {
      {"delete", [] { xb_Delete(); }, true, "", "their body"},
      {"another field", [] { xb_PutString("tit2", "mine"); }, false, "mine", "their body"},
      {"the body", [] { xb_PutMemo("mmm", "my body"); }, false, "", "my body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string("stale_") + c.name[0] + ".dbf");
    ASSERT_TRUE(xbtest::CreateNoteFile(path));
    ASSERT_GT(xb_UseEx(path.c_str(), "MINE", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    for (int i = 1; i <= 8; ++i) {
      xb_AppendBlank();
      xb_PutString("tit1", ("note" + std::to_string(i)).c_str());
      xb_PutMemo("mmm", xbtest::Hangul(40 + i).c_str());
      xb_Commit();
    }
    ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
    xb_Unlock(0);
    xb_Go(3);  // the copy every case writes from
    Child other([&](Child&) {
      if (xb_UseEx(path.c_str(), "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) return 100;
      if (!xb_Rlock(3)) return 1;
      xb_Go(3);
      xb_PutString("tit1", "theirs");
      xb_PutMemo("mmm", "their body");
      xb_Commit();
      xb_Unlock(3);
      return 0;
    });
    ASSERT_EQ(other.Wait(), 0);
    c.write();
    xb_Commit();
    // Bodies written afterwards land in freed blocks only.
    for (int r : {1, 2, 4, 5, 6, 7, 8}) {
      xb_Go(r);
      xb_PutMemo("mmm", (xbtest::Hangul(30 + r) + "again").c_str());
      xb_Commit();
    }
    ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_SetOrder(xb_TagArea("TIT1"));
    ASSERT_NE(xb_Seek("theirs"), 0);
    EXPECT_EQ(xb_RecNo(), 3);
    EXPECT_EQ(xb_Deleted() != 0, c.deleted);
    EXPECT_STREQ(xb_GetTrimString("tit2"), c.tit2);
    char* body = xb_GetMemo("mmm", 0);
    EXPECT_STREQ(body, c.body);
    xb_MemDealloc(body);
    for (int r : {1, 2, 4, 5, 6, 7, 8}) {
      xb_Go(r);
      body = xb_GetMemo("mmm", 0);
      EXPECT_EQ(std::string(body), xbtest::Hangul(30 + r) + "again") << r;
      xb_MemDealloc(body);
    }
    xb_CloseAll();
  }
}

// Its appender writes a record it has held locked since the append without reading it back;
// once that lock is let go, even for a moment, another user's save is read before the next write.
TEST_F(EngineTest, AnAppendedRecordLetGoIsReReadBeforeItsNextWrite) {
  struct Case {
    const char* name;
    std::function<void(XbLong)> letGo;
  };
  const Case cases[] = {
      {"its own unlock", [](XbLong r) { xb_Unlock(r); }},
      {"unlock all", [](XbLong) { xb_Unlock(0); }},
      {"the next append", [](XbLong) {
         xb_AppendBlank();
         xb_PutString("tit1", "next");
         xb_Commit();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string("letgo_") + c.name[4] + ".dbf");
    ASSERT_TRUE(xbtest::CreateNoteFile(path));
    ASSERT_GT(xb_UseEx(path.c_str(), "MINE", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
    xb_Unlock(0);
    xb_AppendBlank();
    const XbLong r = xb_RecNo();
    xb_PutString("tit1", "first");
    xb_Commit();
    xb_PutString("tit1", "mine");  // written while still held: the tag must follow
    xb_Commit();
    c.letGo(r);
    xb_Go(r);  // the copy the write below starts from, older than the other user's save
    Child other([&](Child&) {
      if (xb_UseEx(path.c_str(), "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) return 100;
      if (!xb_Rlock(r)) return 1;
      xb_Go(r);
      xb_PutString("tit1", "theirs");
      xb_Commit();
      xb_Unlock(r);
      return 0;
    });
    ASSERT_EQ(other.Wait(), 0);
    xb_PutString("tit2", "mine");  // no lock taken
    xb_Commit();
    ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_Go(r);
    EXPECT_STREQ(xb_GetTrimString("tit1"), "theirs");
    EXPECT_STREQ(xb_GetTrimString("tit2"), "mine");
    xb_SetOrder(xb_TagArea("TIT1"));
    EXPECT_EQ(xb_Seek("first"), 0);
    EXPECT_EQ(xb_Seek("mine"), 0);
    ASSERT_NE(xb_Seek("theirs"), 0);
    EXPECT_EQ(xb_RecNo(), r);
    xb_CloseAll();
  }
}

TEST_F(EngineTest, MemoRewritesFromSeveralProcessesNeverShareBlocks) {
  std::string path = Path("memos.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "SETUP", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int i = 0; i < 4; ++i) {
    xb_AppendBlank();
    xb_Commit();
  }
  xb_Close();
  auto body = [](int rec, int round) {
    return xbtest::Hangul(100 + (rec * 131 + round * 17) % 900) + std::to_string(rec) + ":" + std::to_string(round);
  };
  {
    std::vector<std::unique_ptr<Child>> writers;
    for (int rec = 1; rec <= 4; ++rec) {
      writers.push_back(std::make_unique<Child>([&, rec](Child&) {
        if (xb_UseEx(path.c_str(), "W", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) return 100;
        for (int round = 0; round < 150; ++round) {
          xb_Go(rec);
          if (!xb_Rlock(rec)) return 1;
          xb_PutMemo("MMM", body(rec, round).c_str());
          xb_Commit();
          xb_Unlock(rec);
        }
        return 0;
      }));
    }
    for (auto& w : writers) EXPECT_EQ(w->Wait(), 0);
  }
  ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int rec = 1; rec <= 4; ++rec) {
    xb_Go(rec);
    char* m = xb_GetMemo("MMM", 0);
    EXPECT_TRUE(std::string(m) == body(rec, 149)) << rec;
    xb_MemDealloc(m);
  }
  // Freed blocks were reused: the file holds far less than 600 bodies.
  EXPECT_LT(std::filesystem::file_size(Path("memos.smt")), 40u * 2000u);
}

// Under the file lock the writes of a walk wait and go out in runs. A run holds only records
// the walk changed: the header record and the deleted notes between them are never written.
TEST_F(EngineTest, RunsWrittenUnderTheFileLockHoldOnlyTheRecordsTheWalkChanged) {
  const std::string path = Path("runs.dbf");
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < 10; ++i) rows.emplace_back("n" + std::to_string(i), "", " ", "", i == 3 || i == 6);
  ASSERT_GT(xbtest::MakeNotes(path, rows), 0);
  const XbLong recSize = xb_RecSize();
  xb_Close();
  std::vector<std::pair<int64_t, size_t>> writes;
  xbtest::WriteHookFs watch(".dbf", [&](xbe::File& real, int64_t off, const void* buf, size_t n) {
    writes.emplace_back(off, n);
    return real.WriteAt(off, buf, n);
  });
  xbe::SetFileSystem(&watch);
  ASSERT_GT(xb_UseEx(path.c_str(), "W", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  ASSERT_NE(xb_Flock(), 0);
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
    if (xb_RecNo() >= 2 && !xb_Deleted()) xb_PutString("chk", "v");
  xb_Commit();
  xb_Unlock(0);
  xb_Close();
  xbe::SetFileSystem(nullptr);

  std::unique_ptr<xbe::File> f = xbe::Fs().Open(path, false, false, false);
  unsigned char head[32];
  ASSERT_TRUE(f && f->ReadAt(0, head, 32) == 32);
  const int64_t headerLen = head[8] | head[9] << 8;
  auto offsetOf = [&](int r) { return headerLen + (r - 1) * static_cast<int64_t>(recSize); };
  ASSERT_FALSE(writes.empty());
  for (const auto& [off, n] : writes)
    for (int untouched : {1, 5, 8}) {
      SCOPED_TRACE(untouched);
      EXPECT_TRUE(off + static_cast<int64_t>(n) <= offsetOf(untouched) || off >= offsetOf(untouched + 1))
          << "a write at " << off << " of " << n << " bytes";
    }
  std::string rec(static_cast<std::size_t>(recSize), ' ');
  const int chk = 1 + 10 + 12;  // the mark follows the memo reference and kno
  for (int r = 2; r <= 11; ++r) {
    ASSERT_EQ(f->ReadAt(offsetOf(r), rec.data(), rec.size()), static_cast<ssize_t>(rec.size()));
    EXPECT_EQ(rec[chk], r == 5 || r == 8 ? ' ' : 'v') << r;
  }
}

}  // namespace
