// Several processes on one note file at once, through the engine's entry points as running
// copies of the program use them: writers that append and edit under record locks while
// readers open, seek through every tag and close; writers killed between their writes; a
// writer that dies between its record and its keys. Afterwards every tag must hold exactly
// the table's records with their current keys (checked against a scan of the .dbf), no
// open may ever find a tag missing, and no seek may miss a record that exists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/src/FileIo.h"
#include "engine/src/IndexFile.h"
#include "tests/engine/OrderTestNotes.h"
#include "tests/engine/helpers/WriteHookFs.h"

namespace {

using xbtest::EngineTest;
using Clock = std::chrono::steady_clock;

// The tags of the shared file: plain, a second field, a conditional one and a descending one.
struct TagDef {
  const char* name;
  const char* field;
  const char* condition;  // null: none
  bool descending;
};
constexpr TagDef kTags[] = {
    {"TIT1", "tit1", nullptr, false},
    {"TIT2", "tit2", nullptr, false},
    {"MARKED", "tit3", "chk = \"v\"", false},
    {"DOWN", "tit4", nullptr, true},
};
constexpr int kAnchors = 30;  // records 2..31: never written during a run, always sought

std::string AnchorKey(int i, char tag) { return std::string(1, tag) + "anchor" + std::to_string(1000 + i); }

// The note file: a header, the anchors (marked, so the conditional tag holds them too) and
// the four tags; closed again.
void MakeSharedFile(const std::string& path) {
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < kAnchors; ++i) rows.emplace_back(AnchorKey(i, 'a'), AnchorKey(i, 'b'), "v");
  ASSERT_GT(xbtest::MakeNotes(path, rows), 0);
  for (int i = 0; i < kAnchors; ++i) {
    xb_Go(2 + i);
    xb_PutString("tit3", AnchorKey(i, 'c').c_str());
    xb_PutString("tit4", AnchorKey(i, 'd').c_str());
    xb_Commit();
  }
  for (const TagDef& t : kTags)
    ASSERT_GT(xb_IndexTag(nullptr, t.name, t.field, 0, t.descending ? -1 : 0, t.condition), 0) << t.name;
  xb_Close();
}

// What a child process reports through its pipe.
struct Report {
  long rounds = 0;   // writes, or opens
  long seeks = 0;
  long failures = 0;
  char first[160] = {};  // the first failure
};

void Fail(Report& r, const std::string& what) {
  if (r.failures++ == 0) std::strncpy(r.first, what.c_str(), sizeof r.first - 1);
}

// Runs body in a child process that reports through a pipe; returns the child's pid.
pid_t Spawn(int fds[2], const std::function<void(Report&)>& body) {
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Report r;
    body(r);
    (void)!write(fds[1], &r, sizeof r);
    _exit(0);
  }
  close(fds[1]);
  return pid;
}

Report Collect(pid_t pid, int fd) {
  Report r;
  if (read(fd, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) Fail(r, "child reported nothing");
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) Fail(r, "child did not end normally");
  return r;
}

std::string Random(std::mt19937& rng, char lead) {
  std::string s(1, lead);
  for (int i = 0, n = 3 + static_cast<int>(rng() % 8); i < n; ++i) s += static_cast<char>('a' + rng() % 26);
  return s;
}

// One write of a writer: appends a record or rewrites a non-anchor one (under its record
// lock, as the program does), with a fresh unique title 1 and random other keys. After the
// commit, before unlocking, the writer seeks its own title in its own work area.
void WriteOnce(std::mt19937& rng, int id, long n, Report& r) {
  xb_SetOrder(0);
  XbLong count = xb_RecCount();
  XbLong target = 0;
  if (count <= 1 + kAnchors || rng() % 3 == 0) {
    xb_AppendBlank();
    target = xb_RecNo();
  } else {
    target = 2 + kAnchors + static_cast<XbLong>(rng() % static_cast<unsigned>(count - 1 - kAnchors));
    if (xb_Rlock(target) == 0) return;  // the other writer has it
    xb_Go(target);
  }
  std::string title = "w" + std::to_string(id) + "-" + std::to_string(getpid()) + "-" + std::to_string(n);
  xb_PutString("tit1", title.c_str());
  xb_PutString("tit2", Random(rng, 'b').c_str());
  xb_PutString("tit3", Random(rng, 'c').c_str());
  xb_PutString("tit4", Random(rng, 'd').c_str());
  xb_PutString("chk", rng() % 2 ? "v" : " ");
  xb_Commit();
  if (rng() % 7 == 0) {
    if (xb_Deleted()) xb_Recall(); else xb_Delete();
  }
  ++r.rounds;
  // Still under the record lock: no one else can have given the record another title.
  xb_SetOrder(xb_TagArea("TIT1"));
  ++r.seeks;
  if (!xb_Seek(title.c_str()) || xb_RecNo() != target) Fail(r, "writer missed its own title " + title);
  xb_Unlock(target);
}

void Writer(const std::string& path, int id, double seconds, Report& r) {
  xb_SetLockTimeout(0);
  if (xb_UseEx(path.c_str(), ("W" + std::to_string(id)).c_str(), XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) {
    Fail(r, "writer could not open");
    return;
  }
  std::mt19937 rng(static_cast<unsigned>(id * 7919 + getpid()));
  auto until = Clock::now() + std::chrono::duration<double>(seconds);
  for (long n = 0; Clock::now() < until; ++n) WriteOnce(rng, id, n, r);
  xb_Close();
}

// A reader: opens the table again and again (shared or read-only), finds every tag, seeks
// anchors in each and walks a little, and closes. While writers are being killed a
// read-only open may find the index untrusted before anyone rebuilt it: it then serves the
// orders from a copy of its own, so a missing tag or a seek that misses is a failure always.
void Reader(const std::string& path, int id, bool readOnly, double seconds, Report& r) {
  std::mt19937 rng(static_cast<unsigned>(id * 104729 + getpid()));
  auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < until) {
    XbShort wa = xb_UseEx(path.c_str(), "R", readOnly ? XB_OPEN_READONLY : XB_OPEN_SHARED, XB_TT_NSX, 0);
    if (wa <= 0) {
      Fail(r, "reader could not open");
      continue;
    }
    ++r.rounds;
    if (xb_TagCount() != 4) Fail(r, "open found " + std::to_string(xb_TagCount()) + " tags");
    for (const TagDef& t : kTags) {
      XbShort order = xb_TagArea(t.name);
      if (order == 0) {
        Fail(r, std::string("no tag ") + t.name);
        break;
      }
      xb_SetOrder(order);
      for (int k = 0; k < 5; ++k) {
        int i = static_cast<int>(rng() % kAnchors);
        std::string key = AnchorKey(i, static_cast<char>('a' + (&t - kTags)));
        ++r.seeks;
        if (!xb_Seek(key.c_str()) || xb_RecNo() != 2 + i)
          Fail(r, std::string("seek missed ") + key + " in " + t.name);
      }
      xb_GoTop();
      for (int k = 0; k < 20 && !xb_Eof(); ++k) xb_Skip(1);
    }
    xb_Close();
  }
}

// Every tag, walked with deleted records shown, against a scan of the .dbf: exactly the
// records its condition admits, each with the key its record holds now, in key order
// (equal keys in record order).
void ExpectTagsExact(const std::string& path) {
  ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_SetDeleted(0);
  EXPECT_EQ(xb_TagCount(), 4);
  for (const TagDef& t : kTags) {
    SCOPED_TRACE(t.name);
    xb_SetOrder(0);
    std::vector<std::pair<std::string, XbLong>> want;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      if (t.condition && std::string(xb_GetString("chk")) != "v") continue;
      want.emplace_back(xb_GetString(t.field), xb_RecNo());
    }
    std::stable_sort(want.begin(), want.end(), [&](const auto& a, const auto& b) {
      if (a.first != b.first) return t.descending ? a.first > b.first : a.first < b.first;
      return a.second < b.second;
    });
    xb_SetOrder(xb_TagArea(t.name));
    std::vector<std::pair<std::string, XbLong>> got;
    for (xb_GoTop(); !xb_Eof() && got.size() <= want.size(); xb_Skip(1))
      got.emplace_back(xb_GetString(t.field), xb_RecNo());
    EXPECT_EQ(got.size(), want.size());
    auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    EXPECT_TRUE(diff.first == got.end() && diff.second == want.end())
        << "tag has " << (diff.first == got.end() ? "nothing" : "[" + diff.first->first + "] @" + std::to_string(diff.first->second))
        << " where the table has "
        << (diff.second == want.end() ? "nothing" : "[" + diff.second->first + "] @" + std::to_string(diff.second->second))
        << " (records " << xb_RecCount() << ")";
  }
  xb_Close();
}

// The index as the last writer left it needs no repair: the check above did not rebuild it.
void ExpectIndexTrusted(const std::string& nsx) {
  auto f = xbe::IndexFile::Open(nsx, false);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->Trusted());
  EXPECT_FALSE(f->NeedsRepair());
}

TEST_F(EngineTest, WritersAndReadersShareOneNoteFile) {
  const std::string path = Path("shared.dbf");
  MakeSharedFile(path);
  constexpr double kSeconds = 2.5;
  struct Child {
    pid_t pid;
    int fd;
    const char* role;
  };
  std::vector<Child> kids;
  auto start = [&](const char* role, const std::function<void(Report&)>& body) {
    int fds[2];
    pid_t pid = Spawn(fds, body);
    ASSERT_GT(pid, 0);
    kids.push_back({pid, fds[0], role});
  };
  for (int w = 1; w <= 2; ++w) start("writer", [&, w](Report& r) { Writer(path, w, kSeconds, r); });
  start("reader", [&](Report& r) { Reader(path, 1, false, kSeconds, r); });
  start("reader", [&](Report& r) { Reader(path, 2, false, kSeconds, r); });
  start("read-only reader", [&](Report& r) { Reader(path, 3, true, kSeconds, r); });
  long writes = 0, opens = 0, seeks = 0;
  for (const Child& c : kids) {
    Report r = Collect(c.pid, c.fd);
    EXPECT_EQ(r.failures, 0) << c.role << ": " << r.first;
    EXPECT_GT(r.rounds, 0) << c.role;
    (std::string(c.role) == "writer" ? writes : opens) += r.rounds;
    seeks += r.seeks;
  }
  std::printf("  %zu processes: %ld writes, %ld opens, %ld seeks\n", kids.size(), writes, opens, seeks);
  std::string nsx = Path("shared.nsx");
  std::string before = ReadFile(nsx);
  ExpectTagsExact(path);
  EXPECT_TRUE(ReadFile(nsx) == before) << "the check had to rebuild the index";
  ExpectIndexTrusted(nsx);
}

// One writer killed at random moments while a second one goes on: every open afterwards
// finds tags that are exact, whether the index was whole or had to be rebuilt.
TEST_F(EngineTest, AWriterKilledBetweenItsWritesWhileAnotherGoesOn) {
  const std::string path = Path("killed.dbf");
  MakeSharedFile(path);
  std::mt19937 rng(20240613);
  long survivorWrites = 0, readerOpens = 0;
  constexpr int kRounds = 10;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int victimFds[2], survivorFds[2], readerFds[2];
    pid_t victim = Spawn(victimFds, [&](Report& r) { Writer(path, 1, 60, r); });
    pid_t survivor = Spawn(survivorFds, [&, round](Report& r) {
      Writer(path, 2, 0.08 + 0.005 * (round % 5), r);
    });
    pid_t reader = Spawn(readerFds, [&](Report& r) { Reader(path, 3, true, 0.1, r); });
    ASSERT_GT(victim, 0);
    ASSERT_GT(survivor, 0);
    ASSERT_GT(reader, 0);
    usleep(5000 + rng() % 50000);
    kill(victim, SIGKILL);
    int status = 0;
    waitpid(victim, &status, 0);
    close(victimFds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the victim ended by itself";
    Report r = Collect(survivor, survivorFds[0]);
    EXPECT_EQ(r.failures, 0) << "survivor: " << r.first;
    survivorWrites += r.rounds;
    Report rr = Collect(reader, readerFds[0]);
    EXPECT_EQ(rr.failures, 0) << "read-only reader: " << rr.first;
    readerOpens += rr.rounds;
    ExpectTagsExact(path);
  }
  std::printf("  %d rounds of 3 processes: %ld writes of the survivors, %ld read-only opens\n", kRounds,
              survivorWrites, readerOpens);
}

// Writer A dies after writing record 5's new title and before its keys; then (a) a reader
// that had the index open seeks the new title, (b) writer B writes another record, and
// (c) a new opener looks: each finds the record under its new key, none trusts the tags
// as A left them. The announced count that told of A's death is not wiped by B's write.
TEST_F(EngineTest, AWriterDeadBetweenItsRecordAndItsKeysIsNeverTrusted) {
  const std::string path = Path("dead.dbf");
  MakeSharedFile(path);
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE("variant " + std::to_string(variant));
    const std::string title = "renamed" + std::to_string(variant);
    XbShort reader = 0;
    if (variant == 0) {
      reader = xb_UseEx(path.c_str(), "LONG", XB_OPEN_SHARED, XB_TT_NSX, 0);
      ASSERT_GT(reader, 0);
      xb_SetOrder(xb_TagArea("TIT1"));
      ASSERT_TRUE(xb_Seek(AnchorKey(3, 'a').c_str()));
    }
    pid_t a = fork();
    if (a == 0) {
      xb_CloseAll();
      static xbtest::WriteHookFs die(".dbf", xbtest::DieAfterWrite(1));
      xbe::SetFileSystem(&die);
      if (xb_UseEx(path.c_str(), "A", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
      xb_Go(5);
      xb_PutString("tit1", title.c_str());
      xb_Commit();
      _exit(4);  // not reached: the record write ends the process
    }
    int status = 0;
    waitpid(a, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer A did not die at its write";
    {
      auto raw = xbe::IndexFile::Open(Path("dead.nsx"), false);
      ASSERT_TRUE(raw);
      EXPECT_TRUE(raw->StaleWrite());
    }
    if (variant == 0) {
      xb_Select(reader);
      EXPECT_TRUE(xb_Seek(title.c_str()));
      EXPECT_EQ(xb_RecNo(), 5);
      xb_Close();
    } else if (variant == 1) {
      pid_t b = fork();
      if (b == 0) {
        xb_CloseAll();
        if (xb_UseEx(path.c_str(), "B", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
        xb_Go(9);
        xb_PutString("tit2", "written by b");
        xb_Commit();
        xb_Close();
        _exit(0);
      }
      waitpid(b, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_GT(xb_UseEx(path.c_str(), "C", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_SetOrder(xb_TagArea("TIT1"));
    EXPECT_TRUE(xb_Seek(title.c_str()));
    EXPECT_EQ(xb_RecNo(), 5);
    EXPECT_FALSE(xb_Seek(AnchorKey(3, 'a').c_str())) << "the old key was kept";
    xb_Close();
    ExpectTagsExact(path);
    ExpectIndexTrusted(Path("dead.nsx"));
    // Record 5 gets its anchor title back for the next variant.
    ASSERT_GT(xb_UseEx(path.c_str(), "FIX", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_Go(5);
    xb_PutString("tit1", AnchorKey(3, 'a').c_str());
    xb_Commit();
    xb_Close();
  }
}

// A rebuild killed half-way through leaves the tag definitions it started from: the next
// opener finds every tag and rebuilds them exactly.
TEST_F(EngineTest, ARebuildKilledHalfWayKeepsEveryTag) {
  const std::string path = Path("rebuild.dbf");
  MakeSharedFile(path);
  // Many appends after the tags were made: the trees' pages now lie between the definitions.
  ASSERT_GT(xb_UseEx(path.c_str(), "FILL", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int i = 0; i < 600; ++i) {
    xb_AppendBlank();
    xb_PutString("tit1", ("fill" + std::to_string(i * 7919 % 600)).c_str());
    xb_PutString("tit2", ("b" + std::to_string(i)).c_str());
    xb_Commit();
  }
  xb_Close();
  for (int writes : {2, 3, 5}) {
    SCOPED_TRACE(writes);
    pid_t pid = fork();
    if (pid == 0) {
      xb_CloseAll();
      static xbtest::WriteHookFs die(".nsx", xbtest::DieAfterWrite(writes));
      xbe::SetFileSystem(&die);
      if (xb_UseEx(path.c_str(), "R", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
      xb_Reindex();
      _exit(4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the rebuild did not die half-way";
    ExpectTagsExact(path);
  }
}

// Openers that come while another process is half-way through a rebuild (its header on disk
// says a writer is at work) wait for it: none may finish while the rebuild stands still, and
// each then finds every tag, read-only or not, and seeks what the table holds.
TEST_F(EngineTest, OpenersDuringARebuildWaitForItAndFindEveryTag) {
  const std::string path = Path("rebuilding.dbf");
  MakeSharedFile(path);
  int up[2], down[2];
  ASSERT_EQ(pipe(up), 0);
  ASSERT_EQ(pipe(down), 0);
  pid_t rebuilder = fork();
  if (rebuilder == 0) {
    // Stands still before the rebuild's first page write: the header it wrote first is
    // marked as being written.
    static xbtest::WriteHookFs pause(
        ".nsx", xbtest::PauseBeforeWrite([](int64_t, int nth) { return nth == 2; }, up[1], down[0]));
    xb_CloseAll();
    xbe::SetFileSystem(&pause);
    if (xb_UseEx(path.c_str(), "REBUILD", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
    xb_Reindex();
    xb_Close();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(up[0], &c, 1), 1);
  ASSERT_EQ(ReadFile(Path("rebuilding.nsx")).substr(32, 4), std::string("\x01\0\0\0", 4))
      << "the header on disk should say a writer is at work";
  struct Opener {
    const char* mode;
    int how;
    pid_t pid = 0;
    int fd = -1;
  };
  Opener openers[] = {{"read-only", XB_OPEN_READONLY}, {"shared", XB_OPEN_SHARED}};
  for (Opener& o : openers) {
    int fds[2];
    o.pid = Spawn(fds, [&](Report& r) {
      if (xb_UseEx(path.c_str(), "LATE", o.how, XB_TT_NSX, 0) <= 0) return Fail(r, "could not open");
      ++r.rounds;
      for (const TagDef& t : kTags) {
        if (xb_TagArea(t.name) == 0) return Fail(r, std::string("no tag ") + t.name);
        xb_SetOrder(xb_TagArea(t.name));
        for (int i = 0; i < kAnchors; i += 7) {
          ++r.seeks;
          if (!xb_Seek(AnchorKey(i, static_cast<char>('a' + (&t - kTags))).c_str()) || xb_RecNo() != 2 + i)
            Fail(r, std::string("seek missed anchor ") + std::to_string(i) + " in " + t.name);
        }
      }
      xb_Close();
    });
    ASSERT_GT(o.pid, 0);
    o.fd = fds[0];
  }
  usleep(300000);
  for (const Opener& o : openers) {
    int status = 0;
    EXPECT_EQ(waitpid(o.pid, &status, WNOHANG), 0) << o.mode << " opener did not wait for the rebuild";
  }
  (void)!write(down[1], &c, 1);
  for (const Opener& o : openers) {
    Report r = Collect(o.pid, o.fd);
    EXPECT_EQ(r.failures, 0) << o.mode << ": " << r.first;
    EXPECT_EQ(r.rounds, 1) << o.mode;
  }
  int status = 0;
  waitpid(rebuilder, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {up[0], up[1], down[0], down[1]}) close(fd);
  ExpectTagsExact(path);
  ExpectIndexTrusted(Path("rebuilding.nsx"));
}

// A writer that began its write while the table had no index, and wrote its record just
// after another process built the first tag from the table, must not leave its record out
// of that tag: the builder, which keeps the index open and trusts it, used to miss it.
TEST_F(EngineTest, AWriteBegunBeforeTheFirstTagWasBuiltIsNotMissedByIt) {
  const std::string path = Path("firsttag.dbf");
  ASSERT_GT(xbtest::MakeNotes(path, {{"first", "b"}, {"second", "b"}}), 0);
  xb_Close();
  int up[2], down[2];
  ASSERT_EQ(pipe(up), 0);
  ASSERT_EQ(pipe(down), 0);
  pid_t writer = fork();
  if (writer == 0) {
    // Stops just before its record reaches the file.
    static xbtest::WriteHookFs pause(
        ".dbf", xbtest::PauseBeforeWrite([](int64_t off, int) { return off > 32; }, up[1], down[0]));
    xb_CloseAll();
    xbe::SetFileSystem(&pause);
    if (xb_UseEx(path.c_str(), "W", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
    xb_Go(2);
    xb_PutString("tit1", "renamed late");
    xb_Commit();
    xb_Close();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(up[0], &c, 1), 1);
  ASSERT_GT(xb_UseEx(path.c_str(), "BUILDER", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
  (void)!write(down[1], &c, 1);
  int status = 0;
  waitpid(writer, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(xb_Seek("renamed late"), 0);
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_EQ(xb_Seek("first"), 0);
  EXPECT_EQ(xbtest::Walk(), (std::vector<XbLong>{1, 2, 3}));
  for (int fd : {up[0], up[1], down[0], down[1]}) close(fd);
}

// Under the file lock a walk's writes wait and go out a run at a time. Notes 0..19 are renamed
// by a walk that then stops (their writes still waiting) while Meanwhile runs, then 20..39;
// afterwards the tag T1 on tit1 (in IndexFile, the production index when empty) must hold
// every note under its new name only.
void RenameUnderTheFileLock(const std::string& path, const std::string& indexFile,
                            const std::function<void()>& meanwhile) {
  constexpr int kNotes = 40;
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < kNotes; ++i) rows.emplace_back("old" + std::to_string(100 + i), "b");
  ASSERT_GT(xbtest::MakeNotes(path, rows), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "W", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  ASSERT_NE(xb_Flock(), 0);
  xb_GoTop();
  auto renameUpTo = [](int last) {
    for (; !xb_Eof() && xb_RecNo() - 2 <= last; xb_Skip(1))
      if (xb_RecNo() >= 2) xb_PutString("tit1", ("new" + std::to_string(98 + xb_RecNo())).c_str());
  };
  renameUpTo(19);
  ASSERT_EQ(xb_RecNo(), 22);
  meanwhile();
  renameUpTo(kNotes - 1);
  xb_Commit();
  xb_Unlock(0);
  xb_Close();
  // What another user of the file finds; read-only, so a tag left stale is not used (it
  // would not be rebuilt here).
  ASSERT_GT(xb_UseEx(path.c_str(), "R", XB_OPEN_READONLY, XB_TT_NSX, 0), 0);
  if (!indexFile.empty()) {
    ASSERT_GT(xb_IndexOpen(indexFile.c_str()), 0);
  }
  xb_SetOrder(xb_TagArea("T1"));
  ASSERT_GT(xb_IndexOrd(), 0);
  for (int i = 0; i < kNotes; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(xb_Seek(("new" + std::to_string(100 + i)).c_str()), 0);
    EXPECT_EQ(xb_RecNo(), i + 2);
    EXPECT_EQ(xb_Seek(("old" + std::to_string(100 + i)).c_str()), 0);
  }
  EXPECT_EQ(xbtest::Walk().size(), static_cast<std::size_t>(kNotes) + 1) << "the notes and the header";
  xb_Close();
}

TEST_F(EngineTest, WritesWaitingUnderTheFileLockReachATagAnotherProcessBuiltMeanwhile) {
  const std::string path = Path("held.dbf");
  RenameUnderTheFileLock(path, "", [&] {
    pid_t builder = fork();
    if (builder == 0) {
      // The copy of the walk's work area is left alone: what waits there is not the builder's.
      if (xb_UseEx(path.c_str(), "B", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
      _exit(xb_IndexTag(nullptr, "T1", "tit1", 0, 0, nullptr) > 0 ? 0 : 4);
    }
    int status = 0;
    waitpid(builder, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  });
}

TEST_F(EngineTest, WritesWaitingUnderTheFileLockGetTheirKeysInAnIndexOpenedMeanwhile) {
  const std::string path = Path("opened.dbf");
  const std::string other = Path("other.nsx");
  RenameUnderTheFileLock(path, other, [&] {
    // A second work area makes the index on the notes as they are on disk; the walk's work
    // area opens it while its writes wait.
    const XbShort walker = xb_WorkArea("W");
    ASSERT_GT(xb_UseEx(path.c_str(), "B", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    ASSERT_GT(xb_IndexTag(other.c_str(), "T1", "tit1", 0, 0, nullptr), 0);
    xb_Close();
    xb_Select(walker);
    ASSERT_GT(xb_IndexOpen(other.c_str()), 0);
    xb_SetOrder(0);
  });
}

// Work on one tag killed after each of its first index writes (a tag deleted, a tag built
// again in place) never takes the other tags with it: the next open finds them all and
// exact, and the tag worked on is there or gone, never half.
TEST_F(EngineTest, ATagDeletedOrRebuiltByAKilledProcessTakesNoOtherTagWithIt) {
  struct Work {
    const char* name;
    std::function<void()> run;
  };
  const Work works[] = {
      {"tag delete", [] { xb_TagDelete("EXTRA"); }},
      {"tag rebuilt in place", [] { xb_IndexTag(nullptr, "EXTRA", "tit2+tit1", 0, 0, nullptr); }},
  };
  for (const Work& w : works) {
    for (int writes = 1; writes <= 6; ++writes) {
      SCOPED_TRACE(std::string(w.name) + ", killed after index write " + std::to_string(writes));
      const std::string path = Path("tagwork" + std::to_string(writes) + w.name[4] + ".dbf");
      MakeSharedFile(path);
      ASSERT_GT(xb_UseEx(path.c_str(), "PREP", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
      ASSERT_GT(xb_IndexTag(nullptr, "EXTRA", "tit3", 0, 0, nullptr), 0);
      xb_Close();
      pid_t pid = fork();
      if (pid == 0) {
        xb_CloseAll();
        static xbtest::WriteHookFs die(".nsx", xbtest::DieAfterWrite(writes));
        xbe::SetFileSystem(&die);
        if (xb_UseEx(path.c_str(), "W", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(3);
        w.run();
        _exit(4);  // the work ended before the kill
      }
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 4));
      ASSERT_GT(xb_UseEx(path.c_str(), "AFTER", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
      for (const TagDef& t : kTags) EXPECT_GT(xb_TagArea(t.name), 0) << t.name;
      if (xb_TagArea("EXTRA") > 0) {
        EXPECT_EQ(xb_TagCount(), 5);
        xb_TagDelete("EXTRA");
      }
      xb_Close();
      ExpectTagsExact(path);
      if (WEXITSTATUS(status) == 4) break;
    }
  }
}

// A damaged page found while reading: a read-only open cannot repair the file and serves the
// order from a copy of its own, rebuilt from the definitions (the file untouched, every tag
// still there, the walk the order's); a shared open rebuilds the file and finds what it sought.
TEST_F(EngineTest, ADamagedPageIsRepairedOrServedFromACopy) {
  const std::string path = Path("damaged.dbf");
  const std::string nsx = Path("damaged.nsx");
  MakeSharedFile(path);
  {
    auto f = xbe::IndexFile::Open(nsx, false);
    ASSERT_TRUE(f);
    auto first = f->First(f->FindTag("TIT1"));
    ASSERT_TRUE(first.Valid());
    std::string bytes = ReadFile(nsx);
    bytes[first.page * xbe::IndexFile::kPageSize + 2] = '\xFF';  // entry count past the page
    bytes[first.page * xbe::IndexFile::kPageSize + 3] = '\x7F';
    WriteFile(nsx, bytes);
  }
  const std::string damaged = ReadFile(nsx);

  ASSERT_GT(xb_UseEx(path.c_str(), "RO", XB_OPEN_READONLY, XB_TT_NSX, 0), 0);
  xb_SetOrder(xb_TagArea("TIT1"));
  std::vector<XbLong> seen = xbtest::Walk();
  EXPECT_EQ(xb_TagCount(), 4);
  EXPECT_EQ(xb_IndexOrd(), xb_TagArea("TIT1"));
  EXPECT_EQ(xb_IndexFault(), 0);
  // The header's title sorts before the anchors', which are in record order.
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(xb_RecCount()));
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<XbLong>(i + 1));
  xb_SetOrder(xb_TagArea("DOWN"));
  seen = xbtest::Walk();
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(xb_RecCount()));
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<XbLong>(seen.size() - i));
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_TRUE(xb_Seek(AnchorKey(7, 'a').c_str()));
  EXPECT_EQ(xb_RecNo(), 9);
  xb_Close();
  EXPECT_TRUE(ReadFile(nsx) == damaged) << "a read-only open wrote the index";

  // A shared open that cannot write the index (every write refused) cannot rebuild it
  // either: it serves the orders from its copy, which follows its own writes.
  {
    xbtest::WriteHookFs refusing(".nsx", xbtest::FailEveryWrite());
    xbe::SetFileSystem(&refusing);
    ASSERT_GT(xb_UseEx(path.c_str(), "NW", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    xb_SetOrder(xb_TagArea("TIT1"));
    EXPECT_TRUE(xb_Seek(AnchorKey(7, 'a').c_str()));
    EXPECT_EQ(xb_RecNo(), 9);
    ASSERT_NE(xb_Rlock(9), 0);
    xb_PutString("tit1", "zz moved last");
    xb_Commit();
    xb_Unlock(9);
    seen = xbtest::Walk();
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(xb_RecCount()));
    EXPECT_EQ(seen.back(), 9) << "the written record moved to its new place";
    EXPECT_EQ(xb_TagCount(), 4);
    EXPECT_EQ(xb_IndexFault(), 0);
    xb_Close();
    xbe::SetFileSystem(nullptr);
    EXPECT_TRUE(ReadFile(nsx) == damaged) << "the refused writes reached the index";
  }

  ASSERT_GT(xb_UseEx(path.c_str(), "RW", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_SetOrder(xb_TagArea("TIT1"));
  EXPECT_TRUE(xb_Seek(AnchorKey(8, 'a').c_str()));
  EXPECT_EQ(xb_RecNo(), 10);
  EXPECT_EQ(xb_TagCount(), 4);
  xb_Close();
  ExpectTagsExact(path);
  ExpectIndexTrusted(nsx);
}

}  // namespace
