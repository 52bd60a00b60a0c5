// The edit protocol over the real engine: the application's locked writes and note save,
// which lock each one takes and gives back, memos written with their record, and edits that
// start from the stored record.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "NoteFileFixture.h"
#include "support/FileSizeLimit.h"
#include "support/ForkedByteLock.h"
#include "support/ForkedLockHolder.h"
#include "engine/src/IndexFile.h"
#include "platform/core/Fields.h"

using namespace notefile;

class XbTableEditTest : public NoteTableTest {
 protected:
  // The note save: lock, edit state, the four titles, the type and the body, commit, unlock.
  static bool SaveNote(TXbTable& T, const std::vector<std::string>& Titles,
                       const std::string& Body) {
    const XbLong recNo = T.RecNo();
    if (T.Rlock(recNo) == 0) return false;
    T.Edit();
    for (size_t i = 0; i < Titles.size(); ++i) {
      char buffer[256] = {};
      std::strncpy(buffer, Titles[i].c_str(), sizeof buffer - 1);
      T.Replace("tit" + std::to_string(i + 1), XB_RT_TEXT, buffer);
    }
    T.Replace("type", XB_RT_TEXT, " ");
    T.FieldByName("MMM")->SetAsString(Body);
    T.Commit();
    T.Unlock(recNo);
    return true;
  }
};

TEST_F(XbTableEditTest, ReplaceLockedWritesOneFieldAndReleasesTheLock) {
  const std::string file = CreateNoteFile("locked", 40, {{"a", "body a"}, {"b", "body b"}});
  TTestTable& t = OpenNote(file);
  t.Next();
  ASSERT_EQ(t.RecNo(), 3);
  ASSERT_TRUE(ReplaceLocked(t, "chk", "v"));
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(LockCount(t), 0);
  EXPECT_EQ(Raw(t, "CHK"), "v");
  EXPECT_EQ(t.RecNo(), 3);
  // The body and the other fields of the record are untouched.
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_GetMemo("MMM"), "body b");
  EXPECT_EQ(t.GetTrimString("TIT1"), "b");
}

TEST_F(XbTableEditTest, NoteSaveAndNewNote) {
  const std::string file = CreateNoteFile("save", 60, {{"old", "old body"}});
  {
    TTestTable& t = OpenNote(file);
    ASSERT_TRUE(SaveNote(t, {"one", "two", "three", "four"}, "new body\r\nsecond line"));
    EXPECT_EQ(LockCount(t), 0);
    EXPECT_EQ(t.State(), dsBrowse);

    // New note: natural order, last record, a blank record in insert state; the save
    // appends it with its body.
    t.SetOrder(0);
    t.GoBottom();
    t.AppendBlank();
    EXPECT_EQ(t.State(), dsInsert);
    ASSERT_TRUE(SaveNote(t, {"fresh", "", "", ""}, "fresh body"));
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_EQ(t.RecCount(), 3);
    EXPECT_EQ(LockCount(t), 0);
    t.Close();
  }
  TTestTable& again = OpenNote(file);
  EXPECT_EQ(again.FieldByName("TIT3")->AsString(), "three");
  EXPECT_EQ(again.FieldByName("MMM")->AsString(), "new body\r\nsecond line");
  again.Next();
  EXPECT_EQ(again.FieldByName("TIT1")->AsString(), "fresh");
  EXPECT_EQ(again.FieldByName("MMM")->AsString(), "fresh body");
}

// A bulk run holds the file lock; the posts and cancels inside it give back only what the
// edit took, so the file stays locked until the run unlocks it.
TEST_F(XbTableEditTest, PostAndCancelKeepABulkFileLock) {
  const std::string file = CreateNoteFile("bulk", 40, {{"a", ""}, {"b", ""}, {"c", ""}});
  TTestTable& t = OpenNote(file);
  ASSERT_NE(t.Flock(), 0);
  for (t.First(); !t.Eof(); t.Next()) {
    t.Edit();
    t.FieldByName("CHK")->SetAsString("v");
    t.Post();
    EXPECT_EQ(LockCount(t), 1) << t.RecNo();
  }
  t.First();
  t.Edit();
  t.Cancel();
  EXPECT_EQ(LockCount(t), 1);
  t.Unlock(0);
  EXPECT_EQ(LockCount(t), 0);
}

// Another process holds the record: the edit is refused with the lock message and the
// locked write writes nothing.
TEST_F(XbTableEditTest, EditOfARecordLockedElsewhereIsRefused) {
  const std::string file = CreateNoteFile("other", 40, {{"a", ""}});
  TTestTable& t = OpenNote(file);
  TForkedLockHolder holder(file, 2);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(XbMessage([&] { t.Edit(); }),
            "Record Lock Failure. May be locked by another user or task.");
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_FALSE(ReplaceLocked(t, "chk", "v"));
  holder.Release();
  EXPECT_EQ(Raw(t, "CHK"), " ");
  EXPECT_TRUE(ReplaceLocked(t, "chk", "v"));
  EXPECT_EQ(Raw(t, "CHK"), "v");
}

// Another process holds the record (it is saving into it): the delete is refused with the
// lock message and the record stays; once the lock is free the delete goes through and
// gives its lock back, while a lock the caller holds stays held.
TEST_F(XbTableEditTest, DeleteOfARecordLockedElsewhereIsRefused) {
  const std::string file = CreateNoteFile("del", 40, {{"a", ""}, {"b", ""}});
  TTestTable& t = OpenNote(file);
  ASSERT_EQ(t.RecNo(), 2);
  {
    TForkedLockHolder holder(file, 2);
    ASSERT_TRUE(holder.Holding());
    XbCall(&XbEntryPoints::xb_SetLockTimeout, XbShort{0});
    EXPECT_EQ(XbMessage([&] { t.Delete(); }), "Record Lock Failure. May be locked by another user or task.");
    XbCall(&XbEntryPoints::xb_SetLockTimeout, XbShort{1});
    EXPECT_EQ(t.RecNo(), 2);
    t.SelectWorkArea();
    EXPECT_EQ(t.xb_Deleted(), 0);
  }
  t.Delete();
  EXPECT_EQ(LockCount(t), 0);
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  ASSERT_NE(t.Rlock(3), 0);
  t.Delete();
  EXPECT_EQ(LockCount(t), 1) << "the caller's own lock is the caller's to give back";
  t.Unlock(3);
  t.Close();
  SetDeletedHidden(false);
  TTestTable& all = OpenNote(file);
  for (int r = 2; r <= 3; ++r) {
    all.SetRecNo(r);
    all.SelectWorkArea();
    EXPECT_NE(all.xb_Deleted(), 0) << r;
  }
}

// Writes the disk refuses: a body as long as the one stored, an append tried three times,
// a title whose record cannot be written. Each post raises the write error, and the file
// holds what it held, with at most the one deleted record of the append; once the disk
// takes writes again that record takes the insert.
TEST_F(XbTableEditTest, AFailedWriteRaisesAndLeavesTheFileAsItWas) {
  const std::string stored(20000, 'A');
  const std::string file = CreateNoteFile("full", 40, {{"a", stored}});
  const std::string memo = file.substr(0, file.size() - 4) + ".smt";
  TTestTable& t = OpenNote(file);
  t.SelectWorkArea();
  const int64_t record2 = 32 + 32 * 10 + 1 + t.RecordSize;  // header, then records 1 and 2
  {
    // Nothing may grow past the memo file's end: every new body fails.
    TFileSizeLimit full(static_cast<int64_t>(std::filesystem::file_size(memo)));
    t.Edit();
    t.FieldByName("MMM")->SetAsString(std::string(stored.size(), 'B'));
    EXPECT_EQ(XbMessage([&] { t.Post(); }), "Blob Write Error");
    t.Cancel();
    t.Append();
    t.FieldByName("TIT1")->SetAsString("new");
    t.FieldByName("MMM")->SetAsString("new body");
    for (int attempt = 0; attempt < 3; ++attempt)
      EXPECT_EQ(XbMessage([&] { t.Post(); }), "Blob Write Error") << attempt;
    t.Cancel();
  }
  {
    // Record 2 itself cannot be written.
    TFileSizeLimit full(record2 - t.RecordSize + 1);
    t.First();
    ASSERT_EQ(t.RecNo(), 2);
    t.Edit();
    t.FieldByName("TIT1")->SetAsString("changed");
    EXPECT_EQ(XbMessage([&] { t.Post(); }), "Record Write Error");
    t.Cancel();
  }
  auto readBack = [&](int recNo, bool& deleted) {
    SetDeletedHidden(false);
    TTestTable& r = OpenNote(file);
    r.SetRecNo(recNo);
    r.SelectWorkArea();
    deleted = r.xb_Deleted() != 0;
    std::string what = TrimRight(r.FieldByName("TIT1")->AsString()) + "|" + r.FieldByName("MMM")->AsString();
    EXPECT_LE(r.RecCount(), 3);
    r.Close();
    SetDeletedHidden(true);
    return what;
  };
  bool deleted = true;
  EXPECT_EQ(readBack(2, deleted), "a|" + stored);
  EXPECT_FALSE(deleted);

  t.Append();
  t.FieldByName("TIT1")->SetAsString("new");
  t.FieldByName("MMM")->SetAsString("new body");
  t.Post();
  EXPECT_EQ(t.RecCount(), 3);
  EXPECT_EQ(readBack(3, deleted), "new|new body");
  EXPECT_FALSE(deleted);
}

// Two bodies in one record, the second refused by a full disk after the first was written:
// the post raises, the first body's new entry goes back to the free list, and neither the
// move that follows nor the retry in the same edit lets one body reach the file without the
// other; once the disk has room the retry stores both. The second body typed is a new one,
// or the one stored (its refused write then reads as written).
TEST_F(XbTableEditTest, AFailedMemoWriteLeavesEveryMemoOfTheRecordAsItWas) {
  const std::string oldTwo(20000, 'O');
  for (const std::string& typedTwo : {std::string(20000, 'N'), oldTwo}) {
    SCOPED_TRACE(typedTwo.substr(0, 1));
    const std::string file =
        CreateTable("two" + typedTwo.substr(0, 1), {{"TIT1", "C", 10}, {"ONE", "M", 10}, {"TWO", "M", 10}},
                    {{"a", "old one", oldTwo}, {"b", "", ""}});
    const std::string memo = file.substr(0, file.size() - 4) + ".smt";
    auto onDisk = [&] {
      TXbTable& r = OpenTable(file);
      std::string what = r.FieldByName("ONE")->AsString() + "|" + r.FieldByName("TWO")->AsString().substr(0, 1);
      r.Close();
      return what;
    };
    auto freeExtents = [&] {
      std::ifstream in(memo, std::ios::binary);
      unsigned char h[16] = {};
      in.read(reinterpret_cast<char*>(h), sizeof h);
      if (std::memcmp(h + 8, "ORVF", 4) != 0) return 0u;
      return (unsigned{h[12]} << 24) | (unsigned{h[13]} << 16) | (unsigned{h[14]} << 8) | h[15];
    };
    // Room behind the memo file's end for the first body, not for the second.
    auto roomForOne = [&] { return static_cast<int64_t>(std::filesystem::file_size(memo)) + 256; };
    TXbTable& t = OpenTable(file);
    ASSERT_EQ(TrimRight(t.FieldByName("TIT1")->AsString()), "a");
    auto typeBoth = [&] {
      t.Edit();
      t.FieldByName("ONE")->SetAsString("new one");
      t.FieldByName("TWO")->SetAsString(typedTwo);
    };
    const unsigned freeBefore = freeExtents();
    {
      TFileSizeLimit full(roomForOne());
      typeBoth();
      EXPECT_EQ(XbMessage([&] { t.Post(); }), "Blob Write Error");
      EXPECT_EQ(freeExtents(), freeBefore + 1);
      t.Cancel();
      t.Next();
      t.First();
    }
    EXPECT_EQ(TrimRight(t.FieldByName("TIT1")->AsString()), "a");
    EXPECT_EQ(t.FieldByName("ONE")->AsString(), "old one");
    EXPECT_EQ(onDisk(), "old one|O");

    typeBoth();
    {
      TFileSizeLimit full(roomForOne());
      EXPECT_EQ(XbMessage([&] { t.Post(); }), "Blob Write Error");
    }
    EXPECT_EQ(onDisk(), "old one|O");
    ASSERT_EQ(t.State(), dsEdit);
    t.Post();
    t.Next();
    EXPECT_EQ(onDisk(), "new one|" + typedTwo.substr(0, 1));
    t.Close();
  }
}

// An edit starts from what is stored now, not from the buffered copy.
TEST_F(XbTableEditTest, EditStartsFromTheStoredRecord) {
  const std::string file = CreateNoteFile("fresh", 40, {{"a", ""}});
  TTestTable& t = OpenNote(file);
  TTestTable& other = OpenNote(file);
  ASSERT_TRUE(ReplaceLocked(other, "tit2", "from the other"));
  EXPECT_EQ(t.FieldByName("TIT2")->AsString(), "");
  t.Edit();
  EXPECT_EQ(t.FieldByName("TIT2")->AsString(), "from the other");
  t.FieldByName("TIT3")->SetAsString("mine");
  t.Post();
  EXPECT_EQ(TrimRight(Raw(t, "TIT2")), "from the other");
  EXPECT_EQ(TrimRight(Raw(t, "TIT3")), "mine");
}

namespace {

// Runs Work in a second process on the same files and returns its exit code (-1 when it
// did not end normally). The engine loaded here is inherited.
int InChild(const std::function<int()>& Work) {
  const pid_t pid = fork();
  if (pid == 0) _exit(Work());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

// The lost update: a post refused for a bad value keeps the edit and its record lock, so a
// second user cannot change the record meanwhile; and a field the edit did not touch is
// never written back from the edit's copy, even over a writer that ignores record locks.
TEST_F(XbTableEditTest, RefusedPostKeepsTheLockAndNoStaleFieldIsWrittenBack) {
  const std::string file =
      CreateTable("lost", {{"NUM", "N", 3}, {"TEXT", "C", 10}}, {{"1", "mine"}});
  TTestTable& t = OpenNote(file);
  t.Edit();
  t.FieldByName("NUM")->SetAsInteger(1234);
  ASSERT_EQ(XbMessage([&] { t.Post(); }), "Translate error. Value out of bounds");
  ASSERT_EQ(t.State(), dsEdit);

  auto other = [&](bool lockFirst) {
    return InChild([&] {
      TXbDispatch d;
      XbCall(&XbEntryPoints::xb_SetLockTimeout, static_cast<XbShort>(0));
      d.WorkArea = d.xb_UseEx(file, "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0);
      if (d.WorkArea <= 0) return 3;
      d.SelectWorkArea();
      d.xb_Go(1);
      if (lockFirst && d.xb_Rlock(1) == 0) return 1;  // refused: the edit holds the record
      d.xb_Replace("TEXT", XB_RT_TEXT, lockFirst ? "locked" : "sneaky");
      d.xb_Commit();
      d.xb_Close();
      return 0;
    });
  };
  EXPECT_EQ(other(true), 1);
  ASSERT_EQ(other(false), 0);

  t.FieldByName("NUM")->SetAsInteger(123);
  t.Post();
  EXPECT_EQ(LockCount(t), 0);
  EXPECT_EQ(Raw(t, "NUM"), "123");
  EXPECT_EQ(TrimRight(Raw(t, "TEXT")), "sneaky");
  EXPECT_EQ(t.FieldByName("TEXT")->AsString(), "sneaky");
}

// Memos go with the record: on insert and append-record too, and a body written in edit
// state reads back as written before the post.
TEST_F(XbTableEditTest, MemosWrittenWithTheRecord) {
  const std::string file = CreateNoteFile("memo", 40, {{"a", "stored"}});
  TTestTable& t = OpenNote(file);
  t.Edit();
  t.FieldByName("MMM")->SetAsString("typed");
  EXPECT_EQ(t.FieldByName("MMM")->AsString(), "typed");
  t.Post();
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_GetMemo("MMM"), "typed");

  t.AppendRecord({Variant(std::string("appended body")), Variant(), Variant(), Variant(),
                  Variant(), Variant(), Variant(std::string("rec"))});
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "rec");
  EXPECT_EQ(t.FieldByName("MMM")->AsString(), "appended body");
  t.SelectWorkArea();
  EXPECT_EQ(t.xb_GetMemo("MMM"), "appended body");
  EXPECT_EQ(LockCount(t), 0);
}

// Bodies come back byte for byte: a long Hangul body with line breaks, past the size where
// the stream reads it as a blob, and a body holding a NUL byte, stored whole, not cut at it.
TEST_F(XbTableEditTest, BodiesRoundTripWhole) {
  std::string longBody;
  while (longBody.size() < 70000) longBody += "\xb0\xa1\xb3\xaa line\r\n";
  const std::string withNul("before\0after", 12);
  for (const std::string& body : {longBody, withNul}) {
    SCOPED_TRACE(body.size());
    const std::string file = CreateNoteFile("body" + std::to_string(body.size()), 40, {{"a", "short"}});
    {
      TTestTable& t = OpenNote(file);
      t.Edit();
      t.FieldByName("MMM")->SetAsString(body);
      t.Post();
      t.Close();
    }
    TTestTable& t = OpenNote(file);
    EXPECT_EQ(t.FieldByName("MMM")->AsString(), body);
    t.SelectWorkArea();
    EXPECT_EQ(t.xb_GetBlobLength("MMM"), static_cast<XbLong>(body.size()));
  }
}

TEST_F(XbTableEditTest, CancelledInsertReturnsToThePreviousRecord) {
  const std::string file = CreateNoteFile("cancel", 40, {{"a", ""}, {"b", ""}, {"c", ""}});
  TTestTable& t = OpenNote(file);
  t.Next();
  ASSERT_EQ(t.RecNo(), 3);
  t.Insert();
  EXPECT_EQ(t.RecNo(), -1);
  t.Cancel();
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  EXPECT_EQ(t.RecCount(), 4);
}

// A read-only table refuses writes; ErrorFunc other than -1 silences the refusal.
TEST_F(XbTableEditTest, ReadOnlyRefusals) {
  const std::string file = CreateNoteFile("ro", 40, {{"a", ""}});
  TTestTable& t = NewTable();
  t.SetTableType(ttXBNSX);
  t.SetTableName(file);
  t.SetReadOnly(true);
  t.Open();
  EXPECT_FALSE(t.CanModify());
  EXPECT_EQ(XbMessage([&] { t.Delete(); }), "Cannot modify a read-only data set");
  EXPECT_EQ(XbMessage([&] { t.AppendFrom(file, XB_TT_NSX, ""); }),
            "Cannot modify a read-only data set");
  EXPECT_EQ(XbMessage([&] { t.SetExclusive(true); }),
            "Cannot perform this operation on an open table");
}

// A copy that hangs holding the index file's lock (it lets go by itself after a minute at
// the latest): the save of a note and of a new note each wait no longer than the engine's
// wait for it (the lock time-out, at least ten seconds) and fail with the lock error, the
// table on disk as it was and no record appended; once the lock is free both are saved and
// found in the title order.
TEST_F(XbTableEditTest, SavesThatCannotHaveTheIndexLockFailWithTheLockError) {
  const std::string file = CreateNoteFile("ixlock", 40, {{"a", "body a"}, {"b", "body b"}});
  const std::string index = file.substr(0, file.size() - 4) + ".nsx";
  TTestTable& t = OpenNote(file);
  ASSERT_NE(t.IndexTag("", "TIT1", "tit1", 0, false, ""), 0);
  t.First();
  ASSERT_EQ(t.RecNo(), 2);
  auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string before = bytes(file);
  const XbLong count = t.RecCount();
  {
    TForkedByteLock holder(index, xbe::IndexFile::kLockOffset, 60);
    ASSERT_TRUE(holder.Holding());
    EXPECT_EQ(XbMessage([&] { SaveNote(t, {"edited", "", "", ""}, "edited body"); }),
              "Record Lock Failure. May be locked by another user or task.");
    if (t.State() == dsEdit) t.Cancel();
    t.Unlock(0);
    t.SetOrder(0);
    t.GoBottom();
    t.AppendBlank();
    EXPECT_EQ(XbMessage([&] { SaveNote(t, {"fresh", "", "", ""}, "fresh body"); }),
              "Record Lock Failure. May be locked by another user or task.");
    if (t.State() == dsInsert) t.Cancel();
    t.Unlock(0);
    EXPECT_EQ(bytes(file), before);
    EXPECT_EQ(t.RecCount(), count);
    holder.Release();
  }
  t.SetIndexName("TIT1");
  t.First();
  ASSERT_EQ(t.RecNo(), 2);
  ASSERT_TRUE(SaveNote(t, {"edited", "", "", ""}, "edited body"));
  t.SetOrder(0);
  t.GoBottom();
  t.AppendBlank();
  ASSERT_TRUE(SaveNote(t, {"fresh", "", "", ""}, "fresh body"));
  t.Close();
  TTestTable& again = OpenNote(file);
  again.SetIndexName("TIT1");
  std::vector<std::string> titles;
  for (again.First(); !again.Eof(); again.Next()) titles.push_back(again.FieldByName("TIT1")->AsString());
  EXPECT_EQ(titles, (std::vector<std::string>{"b", "edited", "fresh"}));
  again.SetIndexName("");
  again.SetOrder(0);
  again.First();
  EXPECT_EQ(again.FieldByName("MMM")->AsString(), "edited body");
}
