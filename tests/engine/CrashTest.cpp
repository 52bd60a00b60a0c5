// A writer process killed at random moments while it appends, rewrites, deletes and packs
// notes: after every kill the note file opens and every committed note is there, whole.
#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <random>
#include <sstream>

#include "helpers/NoteFixture.h"

namespace {

using xbtest::EngineTest;

std::string Body(int key, int version) {
  size_t n = key % 13 == 0 ? 20000 : 50 + (key * 37) % 1500;
  return xbtest::Hangul(n) + " " + std::to_string(key) + "/" + std::to_string(version);
}

std::string Title(int key, int version) { return "K" + std::to_string(key) + " V" + std::to_string(version); }

bool ParseTitle(const std::string& t, int* key, int* version) {
  return std::sscanf(t.c_str(), "K%d V%d", key, version) == 2;
}

void Report(int fd, const std::string& line) { (void)!write(fd, line.data(), line.size()); }

// Runs until killed: appends, rewrites, deletes and packs, reporting each committed change.
[[noreturn]] void Writer(const std::string& path, int firstKey, int fd) {
  if (xb_UseEx(path.c_str(), "W", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0) <= 0) _exit(100);
  std::vector<std::pair<int32_t, int>> live;  // record number, key
  std::map<int, int> versions;
  auto scan = [&]() {
    live.clear();
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      int k, v;
      if (!xb_Deleted() && ParseTitle(xb_GetTrimString("TIT1"), &k, &v)) {
        live.push_back({xb_RecNo(), k});
        versions[k] = v;
      }
    }
  };
  scan();
  int key = firstKey;
  for (int op = 0;; ++op) {
    int kind = op % 10;
    if (kind == 7 && !live.empty()) {
      auto [rec, k] = live[op % live.size()];
      int v = ++versions[k];
      xb_Go(rec);
      xb_PutString("TIT1", Title(k, v).c_str());
      xb_PutMemo("MMM", Body(k, v).c_str());
      xb_Commit();
      Report(fd, "C " + std::to_string(k) + " " + std::to_string(v) + "\n");
    } else if (kind == 8 && live.size() > 3) {
      size_t at = (op * 7) % live.size();
      xb_Go(live[at].first);
      // Said before the delete: a kill between the two leaves either state, both sound.
      Report(fd, "d " + std::to_string(live[at].second) + "\n");
      xb_Delete();
      Report(fd, "D " + std::to_string(live[at].second) + "\n");
      live.erase(live.begin() + at);
    } else if (kind == 9) {
      xb_Pack();
      scan();
    } else {
      xb_AppendBlank();
      xb_PutString("TIT1", Title(key, 0).c_str());
      xb_PutMemo("MMM", Body(key, 0).c_str());
      xb_Commit();
      live.push_back({xb_RecNo(), key});
      versions[key] = 0;
      Report(fd, "C " + std::to_string(key) + " 0\n");
      ++key;
    }
  }
}

TEST_F(EngineTest, KilledWriterNeverLosesOrTearsACommittedNote) {
  std::string path = Path("crash.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  std::map<int, int> committed;  // key -> last committed version
  std::set<int> deleted;
  std::set<int> deleting;  // a delete begun but not reported done: it may have landed or not
  std::mt19937 rng(20261210);
  constexpr int kRounds = 25;
  for (int round = 0; round < kRounds; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      Writer(path, (round + 1) * 100000, fds[1]);
    }
    close(fds[1]);
    // The kill point follows the writer's own progress, not the clock: on a loaded machine a
    // fixed sleep may end a round before the writer has committed anything. The writer is
    // killed a random moment after its n-th report (or after two seconds at most).
    std::string reports;
    char buf[4096];
    const size_t wanted = 1 + rng() % 12;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (static_cast<size_t>(std::count(reports.begin(), reports.end(), '\n')) < wanted &&
           std::chrono::steady_clock::now() < until) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        reports.append(buf, n);
      }
    }
    usleep(rng() % 3000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself in round " << round;
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) reports.append(buf, n);
    close(fds[0]);
    std::istringstream lines(reports.substr(0, reports.rfind('\n') + 1));
    char what;
    int k, v;
    while (lines >> what) {
      if (what == 'C' && lines >> k >> v) committed[k] = v;
      if (what == 'd' && lines >> k) deleting.insert(k);
      if (what == 'D' && lines >> k) {
        deleted.insert(k);
        deleting.erase(k);
      }
    }

    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_GT(xb_UseEx(path.c_str(), "CHECK", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
    std::map<int, std::pair<int, bool>> found;  // key -> version, deleted
    int torn = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      std::string title = xb_GetTrimString("TIT1");
      if (title.empty()) continue;  // a blank append that never got its commit
      ASSERT_TRUE(ParseTitle(title, &k, &v)) << title;
      char* m = xb_GetMemo("MMM", 0);
      if (std::string(m) != Body(k, v)) ++torn;
      xb_MemDealloc(m);
      found[k] = {v, xb_Deleted() != 0};
    }
    EXPECT_EQ(torn, 0);
    for (auto [key, version] : committed) {
      auto it = found.find(key);
      if (deleted.count(key)) {
        EXPECT_TRUE(it == found.end() || it->second.second) << "deleted note " << key << " is back";
        continue;
      }
      ASSERT_NE(it, found.end()) << "committed note " << key << " lost";
      if (deleting.count(key)) {
        // The delete in flight when the writer died: whichever way it went, it stays so.
        if (it->second.second) deleted.insert(key);
        deleting.erase(key);
        continue;
      }
      EXPECT_FALSE(it->second.second) << key;
      // The version in flight when the writer died may have landed too; if it did, it is the
      // note's stored version from now on (the next writer reads it and counts on from it).
      EXPECT_GE(it->second.first, version) << key;
      EXPECT_LE(it->second.first, version + 1) << key;
      if (it->second.first == version + 1) committed[key] = version + 1;
    }
    xb_Close();
  }
  EXPECT_GT(committed.size(), 50u);
}

}  // namespace
