// Reads that nothing changed touch no file: the checks before and after a read of an order
// look at the index header through a view of the file (a shared mapping), and the record a
// read lands on comes from the table's view. What that must never cost: a write in another
// process is seen by the next read; a header that another program damaged, or that a writer
// left half done, only makes a reader look again (or repair); a table cut short or copied
// over while open is read as it is now, and never ends the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/src/FileIo.h"
#include "tests/engine/OrderTestNotes.h"
#include "tests/engine/helpers/Child.h"

namespace {

using xbtest::Child;
using xbtest::EngineTest;

// The plain POSIX file system, views included, counting every call that reaches the system.
class CountingFs : public xbe::FileSystem {
 public:
  long calls = 0;
  std::string last;  // the kind of the last call, for the failure message

  class F : public xbe::File {
   public:
    F(std::unique_ptr<xbe::File> f, CountingFs& fs) : f_(std::move(f)), fs_(fs) {}
    ssize_t ReadAt(int64_t o, void* b, size_t n) override { return fs_.Count("read"), f_->ReadAt(o, b, n); }
    bool WriteAt(int64_t o, const void* b, size_t n) override { return fs_.Count("write"), f_->WriteAt(o, b, n); }
    int64_t Size() override { return fs_.Count("size"), f_->Size(); }
    bool Sync() override { return fs_.Count("sync"), f_->Sync(); }
    bool Lock(int64_t o, int64_t l, xbe::LockKind k, bool w) override { return fs_.Count("lock"), f_->Lock(o, l, k, w); }
    void Unlock(int64_t o, int64_t l) override { fs_.Count("unlock"), f_->Unlock(o, l); }
    bool IsAt(const std::string& p) override { return fs_.Count("stat"), f_->IsAt(p); }
    std::unique_ptr<xbe::FileView> View(int64_t length) override { return fs_.Count("map"), f_->View(length); }

   private:
    std::unique_ptr<xbe::File> f_;
    CountingFs& fs_;
  };

  void Count(const char* what) {
    ++calls;
    last = what;
  }
  std::unique_ptr<xbe::File> Open(const std::string& p, bool w, bool c, bool e) override {
    Count("open");
    auto f = base().Open(p, w, c, e);
    return f ? std::make_unique<F>(std::move(f), *this) : nullptr;
  }
  bool Exists(const std::string& p) override { return Count("stat"), base().Exists(p); }
  bool Stat(const std::string& p, int64_t* s, int64_t* m) override { return Count("stat"), base().Stat(p, s, m); }
  bool Rename(const std::string& a, const std::string& b) override { return Count("rename"), base().Rename(a, b); }
  bool Remove(const std::string& p) override { return Count("remove"), base().Remove(p); }
  void SyncFolder(const std::string& p) override { Count("sync"), base().SyncFolder(p); }
  std::string FindNoCase(const std::string& f, const std::string& n) override {
    return Count("list"), base().FindNoCase(f, n);
  }

 private:
  static xbe::FileSystem& base() { return xbe::PosixFileSystem(); }
};

std::string Title(int i) { return "n" + std::to_string(1000 + i); }

// Notes 2..201 titled n1000..n1199 (tit2 in seven groups), tags on both titles; left closed.
void MakeTitledNotes(const std::string& path, int notes = 200) {
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < notes; ++i) rows.emplace_back(Title(i), "b" + std::to_string(i % 7));
  ASSERT_GT(xbtest::MakeNotes(path, rows), 0);
  ASSERT_GT(xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr), 0);
  ASSERT_GT(xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr), 0);
  xb_Close();
}

// What the note book does between writes: seeks, order switches, a page of the list.
void ReadAround() {
  xb_SetOrder(xb_TagArea("TIT1"));
  for (int i = 0; i < 200; i += 13) EXPECT_NE(xb_Seek(Title(i).c_str()), 0) << Title(i);
  xb_SetOrder(xb_TagArea("TIT2"));
  xb_GoTop();
  for (int k = 0; k < 20; ++k) xb_Skip(1);
  xb_Skip(0);
  xb_Go(50);
  xb_GoBottom();
  xb_Skip(-3);
  xb_SetOrder(xb_TagArea("TIT1"));
}

TEST_F(EngineTest, AWarmReadTouchesNoFileAndTheNextReadSeesAnotherProcesssWrite) {
  const std::string path = Path("warm.dbf");
  MakeTitledNotes(path);
  CountingFs counting;
  xbe::SetFileSystem(&counting);
  ASSERT_GT(xb_UseEx(path.c_str(), "READER", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ReadAround();  // the pages and views are made, or read again after the last write
    counting.calls = 0;
    ReadAround();
    EXPECT_EQ(counting.calls, 0) << "a warm read called the file system (last: " << counting.last << ")";

    // Another process renames a note, changes another field of it, and appends one.
    const std::string renamed = "renamed" + std::to_string(round);
    const std::string appended = "appended" + std::to_string(round);
    Child writer([&](Child&) {
      xbe::SetFileSystem(nullptr);
      if (xb_UseEx(path.c_str(), "WRITER", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) return 1;
      xb_SetOrder(xb_TagArea("TIT1"));
      if (!xb_Seek(Title(50 + round).c_str())) return 2;
      xb_PutString("tit1", renamed.c_str());
      xb_PutString("tit2", "b9");
      xb_Commit();
      xb_AppendBlank();
      xb_PutString("tit1", appended.c_str());
      xb_Commit();
      return 0;
    });
    ASSERT_EQ(writer.Wait(), 0);
    counting.calls = 0;
    EXPECT_NE(xb_Seek(renamed.c_str()), 0);
    EXPECT_EQ(xb_RecNo(), 52 + round);
    EXPECT_STREQ(xb_GetTrimString("tit2"), "b9");
    EXPECT_EQ(xb_Seek(Title(50 + round).c_str()), 0) << "the old title was still found";
    EXPECT_NE(xb_Seek(appended.c_str()), 0);
    EXPECT_EQ(xb_RecNo(), 202 + round);
    EXPECT_GT(counting.calls, 0) << "the changed index was not read again";
    xb_SetOrder(xb_TagArea("TIT2"));
    EXPECT_NE(xb_Seek("b9"), 0);
    EXPECT_EQ(xb_RecNo(), 52) << "the first renamed note leads its new group in the second title's order";
    xb_SetOrder(xb_TagArea("TIT1"));
  }
  xb_Close();
  xbe::SetFileSystem(nullptr);
}

// A reader holds the index open (its pages and the header's view in memory) while the header
// on disk is changed behind it: the change counter overwritten by another program, the write
// flag or an announcement left by a writer that died (the latter after its record write, as
// a kill there leaves it). Whatever it then finds, the reader never answers from the index
// as it had it: it reads it again, rebuilds it (shared) or serves a copy of its own rebuilt
// from the table (read-only), and every seek and walk answers what the table holds.
TEST_F(EngineTest, AStaleOrDamagedHeaderCostsAReadAgainNeverAWrongAnswer) {
  struct Case {
    const char* what;
    bool untrusted;  // the index is to be repaired, not just read again
    std::function<void(int fd, const std::string& dbf)> damage;
  };
  auto put32 = [](int fd, off_t at, uint32_t v) { ASSERT_EQ(pwrite(fd, &v, 4, at), 4); };
  const Case cases[] = {
      {"change counter overwritten", false,
       [](int fd, const std::string&) { ASSERT_EQ(pwrite(fd, "\x5A\xA5\x5A\xA5\x5A\xA5\x5A\xA5", 8, 24), 8); }},
      {"write flag left set", true, [&](int fd, const std::string&) { put32(fd, 32, 1); }},
      {"announcement left standing after the record write", true,
       [&](int fd, const std::string& dbf) {
         put32(fd, 68, 1);
         // Note 5 (record 7) renamed in the table, as the dead writer's record write left it.
         std::string bytes = EngineTest::ReadFile(dbf);
         std::size_t at = bytes.find(Title(5));
         ASSERT_NE(at, std::string::npos);
         bytes.replace(at, Title(5).size(), "z1005");
         int t = open(dbf.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(t, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
         close(t);
       }},
  };
  int n = 0;
  for (const Case& c : cases) {
    for (XbShort mode : {XB_OPEN_SHARED, XB_OPEN_READONLY}) {
      SCOPED_TRACE(std::string(c.what) + (mode == XB_OPEN_SHARED ? ", shared reader" : ", read-only reader"));
      const std::string path = Path("header" + std::to_string(n++) + ".dbf");
      MakeTitledNotes(path, 40);
      ASSERT_GT(xb_UseEx(path.c_str(), "READER", mode, XB_TT_NSX, 0), 0);
      xb_SetOrder(xb_TagArea("TIT1"));
      for (int i = 0; i < 40; ++i) ASSERT_NE(xb_Seek(Title(i).c_str()), 0);
      int fd = open((path.substr(0, path.size() - 4) + ".nsx").c_str(), O_RDWR);
      ASSERT_GE(fd, 0);
      c.damage(fd, path);
      close(fd);
      const bool renamed = std::strstr(c.what, "record write") != nullptr;
      if (xb_Seek(Title(0).c_str()) != 0 && xb_TagCount() == 2) {
        // A read-only reader that cannot repair an untrusted index serves its orders from a
        // copy of its own rebuilt from the table: its answers are held to the table below.
        for (int i = 0; i < 40; ++i) {
          const std::string now = renamed && i == 5 ? "z1005" : Title(i);
          EXPECT_NE(xb_Seek(now.c_str()), 0) << now;
          EXPECT_EQ(xb_RecNo(), i + 2) << now;
        }
        if (renamed) {
          EXPECT_EQ(xb_Seek(Title(5).c_str()), 0) << "the old title was still found";
        }
        std::vector<XbLong> want{1};
        for (int i = 0; i < 40; ++i)
          if (!(renamed && i == 5)) want.push_back(i + 2);
        if (renamed) want.push_back(7);  // "z..." comes last
        EXPECT_EQ(xbtest::Walk(), want);
      } else {
        // Given up: no tag is offered any more and the table reads in natural order.
        EXPECT_TRUE(mode == XB_OPEN_READONLY && c.untrusted) << "the index was given up";
        EXPECT_EQ(xb_TagCount(), 0);
        EXPECT_EQ(xbtest::Walk().size(), 41u);
      }
      xb_Close();
    }
  }
}

// Another program copies a smaller note file over the table in place, then the table back,
// then the smaller one again, and at last cuts the index short, while a reader has both open
// and warm (its views reach past the new ends). The reader reads the table as it is at each
// step (the copy's notes, the end of file where the copy ends, the big table's notes again),
// gives the index up or rebuilds it, and is never killed by a read past the end of a file:
// it runs in a process of its own, whose end the test judges.
TEST_F(EngineTest, ATableCopiedOverOrCutShortWhileOpenIsReadAsItIsNow) {
  const std::string path = Path("big.dbf");
  const std::string copy = Path("small.dbf");
  std::vector<xbtest::NoteRow> rows;
  for (int i = 0; i < 5; ++i) rows.emplace_back("copy" + std::to_string(i));
  ASSERT_GT(xbtest::MakeNotes(copy, rows), 0);
  xb_Close();
  const std::string small = ReadFile(copy);
  auto overwrite = [&](const std::string& bytes) {  // cut to nothing, then written anew
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    bool ok = fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0) close(fd);
    return ok;
  };
  for (XbShort mode : {XB_OPEN_SHARED, XB_OPEN_READONLY}) {
    SCOPED_TRACE(mode == XB_OPEN_SHARED ? "shared reader" : "read-only reader");
    for (const char* ext : {".dbf", ".smt", ".nsx"}) std::filesystem::remove(Path(std::string("big") + ext));
    MakeTitledNotes(path, 3000);
    const std::string big = ReadFile(path);
    Child reader([&](Child&) {
      if (xb_UseEx(path.c_str(), "READER", mode, XB_TT_NSX, 0) <= 0) return 1;
      xb_SetOrder(xb_TagArea("TIT1"));
      for (int i = 0; i < 3000; i += 7)
        if (!xb_Seek(Title(i).c_str())) return 2;
      if (!overwrite(small)) return 3;
      xb_Go(4);
      if (std::strcmp(xb_GetTrimString("tit1"), "copy2") != 0) return 4;
      xb_Go(7);  // within the copy's last page, past its end
      if (!xb_Eof() || xb_RecCount() != 6) return 5;
      if (!overwrite(big)) return 6;
      xb_Go(2900);
      if (xb_Eof() || std::strcmp(xb_GetTrimString("tit1"), Title(2898).c_str()) != 0) return 7;
      if (!overwrite(small)) return 8;
      xb_Go(2900);  // past the copy's end, pages away
      if (!xb_Eof()) return 9;
      // The records the index names are gone: a seek lands nowhere, or on what the table holds.
      for (int i = 2000; i < 3000; i += 100)
        if (xb_Seek(Title(i).c_str()) && xb_RecNo() > 6) return 10;
      if (xb_RecCount() != 6) return 11;
      // The index cut short: given up or rebuilt, never read past its end.
      if (truncate(Path("big.nsx").c_str(), 0) != 0) return 12;
      xb_Seek("copy3");
      xb_GoTop();
      for (int k = 0; k < 10 && !xb_Eof(); ++k) xb_Skip(1);
      if (!xb_Eof()) return 13;
      return 0;
    });
    EXPECT_EQ(reader.Wait(), 0) << "-1: the reader was killed";
  }
}

// The engine's fault handler mends faults in its own views only: any other read past the end
// of a mapped file, or the signal sent by another process, ends the process as it would have.
TEST_F(EngineTest, FaultsOutsideTheEnginesViewsStillEndTheProcess) {
  const std::string path = Path("open.dbf");
  MakeTitledNotes(path, 10);
  const std::string other = Path("other.bin");
  WriteFile(other, std::string(3 * 4096, 'x'));
  for (bool sent : {false, true}) {
    SCOPED_TRACE(sent ? "sent by kill" : "read past the end");
    pid_t pid = fork();
    if (pid == 0) {
      const struct rlimit noCore = {0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      alarm(10);  // a fault mended for ever would come again for ever
      if (xb_UseEx(path.c_str(), "OPEN", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) _exit(1);
      xb_Go(5);  // the table's view is made, and the handler installed
      if (sent) {
        kill(getpid(), SIGBUS);
        _exit(2);
      }
      int fd = open(other.c_str(), O_RDWR);
      auto* bytes = static_cast<volatile char*>(mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, fd, 0));
      if (fd < 0 || ftruncate(fd, 0) != 0) _exit(3);
      _exit(bytes[2 * 4096] == 'x' ? 4 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS)
        << (WIFEXITED(status) ? "ended with " + std::to_string(WEXITSTATUS(status)) : "another signal");
  }
}

}  // namespace
