// The file store on a data folder of several note files: the list lines (both title widths,
// an old 8-field file, a protected file, files that cannot be listed), selecting (and the
// main window reopening the choice), the hand-off of old files to the converter, creating,
// renaming, deleting and merging, each checked in the files on disk.
#include "NoteBookFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <utility>

#include "app/FileForm.h"
#include "app/Udf.h"
#include "components/IMEControl.h"
#include "platform/ui/ProcessStart.h"
#include "support/ForkedLockHolder.h"

using cp949::K;

extern char** environ;

namespace nbtest {
namespace {

const std::string kLabels = JoinLabels({"Lab1", "Lab2", "Lab3", "Lab4"});

// The old 1.5 layout: eight fields, no type and no bible.
void MakeOldFormatFile(const std::string& folder, const std::string& name) {
  TXbTable t;
  ASSERT_TRUE(t.CreateNew(folder + "/" + name, kNoteTableTypeCode, 8));
  const TNoteFieldDef fields[8] = {{"mmm", "m", 10}, {"kno", "C", 12}, {"chk", "C", 1},  {"lock", "C", 1},
                                   {"tit1", "C", 40}, {"tit2", "C", 40}, {"tit3", "C", 40}, {"tit4", "C", 40}};
  for (const TNoteFieldDef& f : fields) t.CreateField(f.Name, f.Type, static_cast<XbShort>(f.Length), 0);
  ASSERT_NE(t.CreateExec(), 0);
  auto open = OpenTable(folder, name);
  open->AppendBlank();
  open->Commit();
  open->AppendBlank();
  open->Commit();
}

void MarkNote(const std::string& folder, const std::string& name, int recNo) {
  WriteFields(folder, name, recNo, {{"chk", "v"}});
}

void DeleteRecord(const std::string& folder, const std::string& name, int recNo) {
  auto t = OpenTable(folder, name);
  t->SetRecNo(recNo);
  t->Delete();
}

// Letters as key clicks, Hangul as committed text, as from the input method.
void TypeInto(TWinControl* c, const std::string& utf8) {
  c->SetFocus();
  QWidget* w = c->Widget()->focusWidget() ? c->Widget()->focusWidget() : c->Widget();
  for (QChar ch : QString::fromStdString(utf8)) {
    if (ch.unicode() < 0x80) {
      QTest::keyClick(w, static_cast<char>(ch.unicode()));
      continue;
    }
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
  }
}

class FileStoreTest : public NoteBookTest {
 protected:
  // a: 60-wide titles, "Zeta", the current file; b: 40-wide, "Alpha", three notes, b3 deleted
  // (still counted until packed); han: a Hangul description; prot: write-protected; old: the
  // old 8-field layout; junk: not a table; a name too long for a line.
  void Prepare() {
    const std::string& f = data.Path();
    PlaceShippedFiles(f);
    MakeNoteFile(f, "a.dbf", 60, kLabels, "Zeta", "", " ", {{"a1", "", "", "", "body a1"}});
    MakeNoteFile(f, "b.dbf", 40, JoinLabels({"B1", "B2", "B3", "B4"}), "Alpha", "", " ",
                 {{"b1", "", "", "", "body b1"}, {"b2", "", "", "", "body b2"}, {"b3", "", "", "", ""}});
    DeleteRecord(f, "b.dbf", 4);
    MakeNoteFile(f, "han.dbf", 60, kLabels, K("한글 설명입니다"), "", " ", {});
    MakeNoteFile(f, "prot.dbf", 60, kLabels, "Protected", "", "1", {{"p1", "", "", "", "kept"}});
    MakeOldFormatFile(f, "old.dbf");
    std::ofstream(f + "/junk.dbf") << "not a table";
    std::ofstream(f + "/junk.smt") << "not a memo";
    MakeNoteFile(f, "toolongname.dbf", 60, kLabels, "Too long", "", " ", {});
    WriteFields(f, "condb20.dbf", 1, {{"d2", "0270"}, {"fname", "a.dbf"}});
  }
  // Opens the file store from the main window; act runs while it is shown the first time.
  void InFileStore(std::function<void()> act) {
    auto pending = std::make_shared<std::function<void()>>(std::move(act));
    answer = [pending](TCustomForm& f) -> TModalResult {
      if (&f == FileForm && *pending) std::exchange(*pending, nullptr)();
      return f.ModalResult() == mrNone ? mrCancel : f.ModalResult();
    };
    MainForm->FileBtn->Click();
  }
  static int LineOf(const std::string& memoName) {
    for (int i = 0; i < FileForm->ListBox1->Items().Count(); ++i)
      if (LineMemoName(FileForm->ListBox1->Items()[i]) == memoName) return i;
    return -1;
  }
  static void Choose(const std::string& memoName) {
    const int i = LineOf(memoName);
    ASSERT_GE(i, 0) << memoName;
    FileForm->ListBox1->SetItemIndex(i);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (int i = 0; i < FileForm->ListBox1->Items().Count(); ++i) out.push_back(FileForm->ListBox1->Items()[i]);
    return out;
  }
  std::string BoxText(std::size_t i = 0) { return i < fake.Boxes.size() ? fake.Boxes[i].Text : "<no box>"; }
};

TEST_F(FileStoreTest, ListShowsDescriptionMemoNameAndCountOfEveryReadableNoteFile) {
  Prepare();
  Start();
  std::vector<std::string> lines;
  std::string label;
  InFileStore([&] {
    lines = Lines();
    label = FileForm->Label1->Caption();
    EXPECT_FALSE(FileForm->Edit1->Visible());
    EXPECT_FALSE(FileForm->Edit2->Visible());
    EXPECT_TRUE(FileForm->Button3->Enabled());
  });
  const std::string blank40(40, ' ');
  auto line = [](const std::string& desc, const char* name, const char* count) {
    return StrPadR(desc, 40) + "  " + name + "  " + count;
  };
  const std::string alpha = line("Alpha", "       b.smt", "         3");
  const std::string zeta = line("Zeta", "       a.smt", "         1");
  const std::string old = K("   < Orvelane 1.5  형식 >") + std::string(15, ' ') + "  " + "     old.smt" + "  " +
                          "         1";
  const std::string han = line(K("한글 설명입니다"), "     han.smt", "         0");
  const std::string prot = line("Protected", "    prot.smt", "         1");
  for (const std::string& l : {alpha, zeta, old, han, prot}) {
    EXPECT_EQ(l.size(), 66u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), l), lines.end()) << "missing: [" << l << "]";
  }
  EXPECT_EQ(OldFormatMarker().size(), 40u);
  // Sorted by the line, so by description: b (Alpha) comes before a (Zeta).
  const auto at = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) - lines.begin(); };
  EXPECT_LT(at(alpha), at(zeta));
  EXPECT_LT(at(old), at(alpha)) << "the marker begins with blanks";
  for (const std::string& l : lines) {
    EXPECT_EQ(l.find("junk"), std::string::npos) << "a file that does not open is left out";
    EXPECT_EQ(l.find("toolong"), std::string::npos) << "a name the line cannot hold is left out";
  }
  // Two shipped files and the five of the test.
  EXPECT_EQ(lines.size(), 7u);
  EXPECT_EQ(label, zeta) << "the current file's line";
  EXPECT_EQ(FileForm->CurrentLabels, Trim(kLabels));
  EXPECT_FALSE(FileForm->Note2Table->Active()) << "no file is held open after listing";
}

TEST_F(FileStoreTest, SelectingWritesFnameAndTheMainWindowReopensTheChoice) {
  Prepare();
  Start();
  ASSERT_EQ(MainForm->NoteTable->TableName(), "a.dbf");
  // Enter in the list selects and closes.
  InFileStore([&] {
    Choose("b.smt");
    FileForm->ListBox1->SetFocus();
    QTest::keyClick(FileForm->ListBox1->Widget(), Qt::Key_Return);
    Application->ProcessMessages();
    EXPECT_EQ(FileForm->ModalResult(), mrOk);
  });
  EXPECT_EQ(Trim(Settings("fname")), "b.dbf");
  ASSERT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(MainForm->NoteTable->TableName(), "b.dbf");
  EXPECT_EQ(MainForm->Tit1Width, 40);
  EXPECT_EQ(MainForm->Caption().rfind("Alpha", 0), 0u) << MainForm->Caption();

  // The select button keeps the dialog open; the last choice is the one reopened.
  InFileStore([&] {
    EXPECT_EQ(FileForm->ListBox1->ItemIndex(), LineOf("b.smt")) << "the current file is selected";
    Choose("prot.smt");
    FileForm->Button2->Click();
    EXPECT_EQ(FileForm->ModalResult(), mrNone);
    EXPECT_EQ(FileForm->Label1->Caption(), FileForm->ListBox1->Items()[LineOf("prot.smt")] + ".");
    Choose("a.smt");
    FileForm->ListBox1DblClick(FileForm->ListBox1);
  });
  EXPECT_EQ(Trim(Settings("fname")), "a.dbf");
  EXPECT_EQ(MainForm->NoteTable->TableName(), "a.dbf");
  EXPECT_EQ(MainForm->Tit1Width, 60);
  EXPECT_TRUE(fake.Boxes.empty()) << BoxText();
}

TEST_F(FileStoreTest, AnOldFormatFileGoesToTheConverterAndTheDialogCloses) {
  Prepare();
  Start();
  TRecordingProcessStart processes;
  int visits = 0;
  answer = [&](TCustomForm& f) -> TModalResult {
    if (&f != FileForm) return mrCancel;
    // The old file cannot be opened for notes, so the main window comes back here.
    Choose(++visits == 1 ? "old.smt" : "a.smt");
    FileForm->Button2->Click();
    return FileForm->ModalResult() == mrNone ? mrCancel : FileForm->ModalResult();
  };
  MainForm->FileBtn->Click();
  ASSERT_EQ(processes.Calls.size(), 1u);
  EXPECT_EQ(processes.Calls[0].CommandLine, "mivert  old.dbf");
  EXPECT_EQ(processes.Calls[0].ShowCmd, SW_HIDE);
  EXPECT_EQ(processes.Calls[0].Folder, data.Path());
  EXPECT_EQ(visits, 2);
  EXPECT_EQ(MainForm->NoteTable->TableName(), "a.dbf");
  EXPECT_TRUE(fake.Boxes.empty()) << BoxText();

  // A converter that cannot be started is told, not passed over.
  processes.Answer = false;
  FileForm->FormActivate(FileForm);
  Choose("old.smt");
  FileForm->Button2->Click();
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_NE(BoxText().find("mivert"), std::string::npos);
}

TEST_F(FileStoreTest, NewFileGetsTheCurrentLabelsItsDescriptionAHiddenHeaderAndOneNote) {
  Prepare();
  Start();
  InFileStore([&] {
    Choose("b.smt");
    FileForm->Button5->Click();
    EXPECT_TRUE(FileForm->Edit1->Visible());
    EXPECT_TRUE(FileForm->Button7->Visible());
    for (TButton* b : {FileForm->Button1, FileForm->Button2, FileForm->Button3, FileForm->Button5,
                       FileForm->Button6, FileForm->Button8, FileForm->Button9})
      EXPECT_FALSE(b->Enabled()) << b->Name();
    // Description first; Enter moves on to the name.
    EXPECT_EQ(MainForm->IMEControl1->IMEMode(), isHanguel);
    TypeInto(FileForm->Edit2, "새 설명");
    QTest::keyClick(FileForm->Edit2->Widget(), Qt::Key_Return);
    EXPECT_EQ(FileForm->ActiveControl(), FileForm->Edit1);
    // The name is typed in Latin input, the rest in Hangul input.
    EXPECT_EQ(MainForm->IMEControl1->IMEMode(), isEnglish);
    FileForm->Edit2->SetFocus();
    EXPECT_EQ(MainForm->IMEControl1->IMEMode(), isHanguel);
    TypeInto(FileForm->Edit1, "NewOne");
    FileForm->Button7->Click();
    EXPECT_FALSE(FileForm->Edit1->Visible());
    EXPECT_TRUE(FileForm->Button6->Enabled());
    const int i = LineOf("NewOne.smt");
    ASSERT_GE(i, 0);
    EXPECT_EQ(FileForm->ListBox1->ItemIndex(), i) << "the new file is the current one";
    EXPECT_EQ(FileForm->ListBox1->Items()[i].substr(56), "         1");
  });
  EXPECT_TRUE(fake.Boxes.empty()) << BoxText();
  ASSERT_TRUE(data.Has("NewOne.dbf")) << "the name as typed";
  EXPECT_TRUE(data.Has("NewOne.smt"));
  EXPECT_FALSE(data.Has("newone.dbf"));
  const std::vector<TNoteRecord> all = ReadRecords(data.Path(), "NewOne.dbf");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_TRUE(all[0].deleted);
  EXPECT_EQ(all[0].tit[0], Trim(kLabels)) << "the labels of the file current when the list was built";
  EXPECT_EQ(all[0].tit[1], K("새 설명"));
  EXPECT_FALSE(all[1].deleted);
  EXPECT_EQ(all[1].tit[0], "");
  EXPECT_EQ(Trim(Settings("fname")), "NewOne.dbf");
  EXPECT_EQ(MainForm->NoteTable->TableName(), "NewOne.dbf");
  EXPECT_EQ(MainForm->Label1->Caption(), "Lab1    ");
}

TEST_F(FileStoreTest, NewFileRefusesTakenAndUnsafeNamesAndNeverOverwrites) {
  Prepare();
  std::ofstream(data.Path() + "/orph.smt") << "bodies of a lost data file";
  // An index left behind by a deleted file of the same name.
  fs::copy_file(fs::path(data.Path()) / "b.dbf", fs::path(data.Path()) / "stale.nsx");
  Start();
  struct Case {
    const char* name;
    const char* box;  // "" no box
    bool staysInEntry;
  };
  const Case cases[] = {
      {"", "", true},  // nothing at all
      {"b", "b.dbf 파일이 이미 있습니다.", false},
      {"B", "B.dbf 파일이 이미 있습니다.", false},  // taken in another letter case
      {"orph", "orph.smt 파일이 이미 있습니다.", false},
      {"../up", "파일 이름으로 쓸 수 없습니다: ../up", true},
      {"x/y", "파일 이름으로 쓸 수 없습니다: x/y", true},
      {"a\\b", "파일 이름으로 쓸 수 없습니다: a\\b", true},
      {".hid", "파일 이름으로 쓸 수 없습니다: .hid", true},
  };
  InFileStore([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      fake.Boxes.clear();
      if (!FileForm->Edit1->Visible()) FileForm->Button5->Click();
      FileForm->Edit1->SetText(c.name);
      FileForm->Edit2->SetText("desc");
      FileForm->Button7->Click();
      if (*c.box) {
        ASSERT_EQ(fake.Boxes.size(), 1u);
        EXPECT_EQ(BoxText(), K(c.box));
      } else {
        EXPECT_TRUE(fake.Boxes.empty()) << BoxText();
      }
      EXPECT_EQ(FileForm->Edit1->Visible(), c.staysInEntry);
    }
    FileForm->Button11->Click();
    EXPECT_FALSE(FileForm->Edit1->Visible());
    EXPECT_TRUE(FileForm->Button1->Enabled());

    FileForm->Button5->Click();
    FileForm->Edit1->SetText("stale");
    FileForm->Button7->Click();
  });
  EXPECT_EQ(ReadRecords(data.Path(), "b.dbf").size(), 4u) << "b untouched";
  EXPECT_EQ(fs::file_size(fs::path(data.Path()) / "orph.smt"), 26u) << "the orphan memo untouched";
  EXPECT_FALSE(fs::exists(fs::path(data.Path()).parent_path() / "up.dbf"));
  EXPECT_FALSE(data.Has("x"));
  ASSERT_TRUE(data.Has("stale.dbf"));
  EXPECT_FALSE(data.Has("stale.nsx")) << "another file's index does not come with the name";
  ASSERT_TRUE(MainForm->NoteTable->Active()) << "the file opens without the foreign index";
  EXPECT_EQ(MainForm->NoteTable->TableName(), "stale.dbf");
}

TEST_F(FileStoreTest, RenameMovesBothFilesWritesTheDescriptionAndFollowsWithFname) {
  Prepare();
  Start();
  InFileStore([&] {
    Choose("b.smt");
    FileForm->Button1->Click();
    ASSERT_TRUE(FileForm->Edit1->Visible());
    EXPECT_TRUE(FileForm->Button4->Visible());
    EXPECT_EQ(FileForm->Edit1->Text(), "b");
    EXPECT_EQ(FileForm->Edit2->Text(), "Alpha");
    FileForm->Edit1->SetText("c");
    FileForm->Edit2->SetText(K("베타"));
    FileForm->Button4->Click();
    EXPECT_FALSE(FileForm->Edit1->Visible());
    EXPECT_GE(LineOf("c.smt"), 0);
    // Pressing the rename button again while the entry shows only hides it.
    FileForm->Button1->Click();
    EXPECT_TRUE(FileForm->Edit1->Visible());
    FileForm->Button1->Click();
    EXPECT_FALSE(FileForm->Edit1->Visible());
  });
  EXPECT_TRUE(fake.Boxes.empty()) << BoxText();
  EXPECT_FALSE(data.Has("b.dbf"));
  EXPECT_FALSE(data.Has("b.smt"));
  const std::vector<TNoteRecord> all = ReadRecords(data.Path(), "c.dbf");
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].tit[1], K("베타"));
  EXPECT_EQ(all[1].body, "body b1") << "the bodies moved with their memo file";
  EXPECT_EQ(Trim(Settings("fname")), "c.dbf");
  EXPECT_EQ(MainForm->NoteTable->TableName(), "c.dbf");
}

TEST_F(FileStoreTest, RenameRefusesTakenNamesFolderPartsAndProtectedFiles) {
  Prepare();
  std::ofstream(data.Path() + "/orph.smt") << "bodies of a lost data file";
  // The memo file cannot take this name once the data file has moved: the move is undone.
  fs::create_directories(fs::path(data.Path()) / "dir.smt");
  Start();
  struct Case {
    const char* name;
    const char* box;
  };
  const Case cases[] = {
      {"a", "a.dbf파일이 있습니다!"},
      {"A", "A.dbf파일이 있습니다!"},  // taken in another letter case
      {"orph", "orph.smt파일이 있습니다!"},
      {"dir", "dir.smt파일이 있습니다!"},
      {"../b", "파일 이름으로 쓸 수 없습니다: ../b"},
      {"", "파일 이름으로 쓸 수 없습니다: "},
  };
  InFileStore([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      fake.Boxes.clear();
      Choose("b.smt");
      if (!FileForm->Edit1->Visible()) FileForm->Button1->Click();
      FileForm->Edit1->SetText(c.name);
      FileForm->Button4->Click();
      ASSERT_EQ(fake.Boxes.size(), 1u);
      EXPECT_EQ(BoxText(), K(c.box));
      EXPECT_TRUE(data.Has("b.dbf"));
      EXPECT_TRUE(data.Has("b.smt")) << "a refused rename moves neither file";
      EXPECT_FALSE(data.Has("dir.dbf"));
      EXPECT_EQ(Trim(Settings("fname")), "b.dbf");
    }
    if (FileForm->Edit1->Visible()) FileForm->Button1->Click();

    // A protected file keeps its name and description.
    fake.Boxes.clear();
    Choose("prot.smt");
    FileForm->Button1->Click();
    EXPECT_FALSE(FileForm->Edit1->Visible());
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K("prot.dbf 파일은 쓰기,삭제방지 파일입니다."));
  });
  EXPECT_EQ(ReadRecords(data.Path(), "a.dbf").size(), 2u) << "a untouched";
  EXPECT_EQ(fs::file_size(fs::path(data.Path()) / "orph.smt"), 26u);
  EXPECT_FALSE(fs::exists(fs::path(data.Path()).parent_path() / "b.dbf"));
  EXPECT_EQ(Trim(ReadField(data.Path(), "prot.dbf", 1, "tit2")), "Protected");
}

// A folder nobody may add to, rename in or remove from while it lives: the folder's mode for
// a user, the immutable attribute for root (whom modes do not stop).
class TReadOnlyFolder {
 public:
  explicit TReadOnlyFolder(const std::string& path) : FPath(path) {
    if (::geteuid() != 0) {
      FOn = ::chmod(path.c_str(), 0555) == 0;
      FMode = true;
    } else {
      FOn = Attribute('+');
    }
  }
  ~TReadOnlyFolder() {
    if (!FOn) return;
    if (FMode)
      ::chmod(FPath.c_str(), 0755);
    else
      Attribute('-');
  }
  explicit operator bool() const { return FOn; }

 private:
  bool Attribute(char sign) {
    const std::string flag = std::string(1, sign) + "i";
    char prog[] = "chattr";
    std::vector<char*> argv = {prog, const_cast<char*>(flag.c_str()), const_cast<char*>(FPath.c_str()), nullptr};
    pid_t pid = -1;
    int status = -1;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const bool ran = posix_spawnp(&pid, prog, &quiet, nullptr, argv.data(), environ) == 0 &&
                     ::waitpid(pid, &status, 0) == pid;
    posix_spawn_file_actions_destroy(&quiet);
    return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::string FPath;
  bool FOn = false;
  bool FMode = false;
};

// A rename the folder refuses says why, in Korean, and does not claim the name is taken.
TEST_F(FileStoreTest, RenameInAReadOnlyFolderSaysTheSystemsReason) {
  Prepare();
  Start();
  InFileStore([&] {
    Choose("b.smt");
    FileForm->Button1->Click();
    FileForm->Edit1->SetText("renamed");
    TReadOnlyFolder locked(data.Path());
    if (!locked) GTEST_SKIP() << "the folder cannot be made read-only here";
    fake.Boxes.clear();
    FileForm->Button4->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u) << BoxText(1);
    EXPECT_EQ(BoxText().find(K("파일이 있습니다")), std::string::npos) << cp949::ToUtf8(BoxText());
    const std::string reason = ::geteuid() == 0 ? K("허용되지 않는 작업입니다.") : K("권한이 없습니다.");
    EXPECT_EQ(BoxText(), K("파일 이름을 바꿀 수 없습니다: b.dbf -> renamed.dbf\r\n") + reason);
  });
  EXPECT_TRUE(data.Has("b.dbf"));
  EXPECT_TRUE(data.Has("b.smt"));
  EXPECT_FALSE(data.Has("renamed.dbf"));
  EXPECT_EQ(Trim(Settings("fname")), "b.dbf");
}

TEST_F(FileStoreTest, DeleteAsksFirstSparesProtectedFilesAndMovesOnWhenTheCurrentGoes) {
  Prepare();
  Start();
  InFileStore([&] {
    // No: nothing goes.
    fake.Answers = {IDNO};
    Choose("b.smt");
    FileForm->Button8->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K("b.dbf 삭제 할까요?"));
    EXPECT_EQ(fake.Boxes[0].Flags & MB_TYPEMASK, static_cast<unsigned>(MB_YESNO));
    EXPECT_TRUE(data.Has("b.dbf"));

    // A protected file is not even offered.
    fake.Boxes.clear();
    Choose("prot.smt");
    FileForm->Button8->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K("prot.dbf 파일은 쓰기,삭제방지 파일입니다."));

    // Yes on a file other than the current one: the current one stays current.
    fake.Boxes.clear();
    fake.Answers = {IDYES};
    Choose("b.smt");
    FileForm->Button8->Click();
    EXPECT_EQ(LineOf("b.smt"), -1);
    EXPECT_EQ(FileForm->ListBox1->ItemIndex(), LineOf("a.smt"));

    // The current file itself: the first line (the old file, its marker begins with blanks)
    // becomes current, without being handed to the converter.
    fake.Answers = {IDYES};
    Choose("a.smt");
    FileForm->Button8->Click();
    EXPECT_EQ(FileForm->ListBox1->ItemIndex(), 0);
    EXPECT_EQ(LineOf("old.smt"), 0);
    EXPECT_EQ(Trim(Settings("fname")), "old.dbf");
    EXPECT_EQ(FileForm->ModalResult(), mrNone);
    Choose("prot.smt");
    FileForm->Button2->Click();
  });
  EXPECT_FALSE(data.Has("b.dbf"));
  EXPECT_FALSE(data.Has("b.smt"));
  EXPECT_FALSE(data.Has("a.dbf"));
  EXPECT_FALSE(data.Has("a.smt"));
  EXPECT_TRUE(data.Has("prot.dbf"));
  EXPECT_EQ(MainForm->NoteTable->TableName(), "prot.dbf");
}

TEST_F(FileStoreTest, MergeOfMarkedNotesAppendsOnlyThemWithTheirBodies) {
  Prepare();
  const std::string& f = data.Path();
  MarkNote(f, "b.dbf", 2);
  MarkNote(f, "b.dbf", 4);  // deleted: stays behind
  Start();
  // What the gauge shows when each of the engine's reports has reached the dialog.
  std::vector<int> gauge;
  fake.OnSendKeyDown = [&](intptr_t window, uint16_t) {
    if (window == FileForm->Handle()) gauge.push_back(FileForm->Gauge1->Showing() ? FileForm->Gauge1->Progress() : -1);
  };
  InFileStore([&] {
    Choose("b.smt");
    fake.Answers = {IDYES};
    FileForm->Button9->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u) << BoxText(1);
    EXPECT_EQ(BoxText(), K("\"") + "Alpha" + K("\" V표만 아래 바탕파일로 합칠까요?"));
    EXPECT_EQ(fake.Boxes[0].Flags, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_FALSE(FileForm->Gauge1->Visible());
    EXPECT_EQ(FileForm->ListBox1->Items()[LineOf("a.smt")].substr(56), "         2") << "the new count shows";
  });
  ASSERT_FALSE(gauge.empty()) << "the engine reported to the dialog's gauge";
  for (int p : gauge) EXPECT_GT(p, 0) << "the shown gauge moved while the engine appended";
  EXPECT_EQ(gauge.back(), 100);

  std::vector<TNoteRecord> all = ReadRecords(f, "a.dbf");
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].tit[0], "b1");
  EXPECT_EQ(all[2].chk, "v");
  EXPECT_EQ(all[2].body, "body b1");
  EXPECT_FALSE(all[2].deleted);
  EXPECT_EQ(ReadRecords(f, "b.dbf").size(), 4u) << "the source stays as it was";

  // Merging everything takes the notes that are not deleted, with their bodies; the reads
  // above left deleted records visible, which the merge must not follow.
  InFileStore([&] {
    Choose("b.smt");
    fake.Answers = {IDYES};
    FileForm->Button3->Click();
  });
  all = ReadRecords(f, "a.dbf");
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[3].tit[0], "b1");
  EXPECT_EQ(all[4].tit[0], "b2");
  EXPECT_EQ(all[4].body, "body b2");
  EXPECT_EQ(MainForm->NoteTable->RecCount(), 5);
}

TEST_F(FileStoreTest, MergeRefusesItselfAProtectedTargetAndAnswersNo) {
  Prepare();
  Start();
  InFileStore([&] {
    Choose("a.smt");
    FileForm->Button3->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K(" 합칠파일을 먼저 선택하고 하세요.."));

    fake.Boxes.clear();
    fake.Answers = {IDNO};
    Choose("b.smt");
    FileForm->Button3->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K("\"") + "Alpha" + K("\" 을 아래 바탕파일로 합칠까요?"));

    // Into a protected file: nothing is asked, nothing added.
    Choose("prot.smt");
    FileForm->Button2->Click();
    fake.Boxes.clear();
    Choose("b.smt");
    FileForm->Button9->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), K("prot.dbf 파일은 쓰기,삭제방지 파일입니다."));
  });
  EXPECT_EQ(ReadRecords(data.Path(), "a.dbf").size(), 2u);
  EXPECT_EQ(ReadRecords(data.Path(), "prot.dbf").size(), 2u);
}

TEST_F(FileStoreTest, AFolderWithoutMemoFilesListsNothingAndOffersOnlyANewFile) {
  Prepare();
  Start();
  MainForm->NoteTable->Close();
  const fs::path aside = fs::path(data.Path()) / "aside";
  fs::create_directories(aside);
  for (const auto& e : fs::directory_iterator(data.Path()))
    if (e.path().extension() == ".smt") fs::rename(e.path(), aside / e.path().filename());
  FileForm->FormActivate(FileForm);
  EXPECT_EQ(FileForm->ListBox1->Items().Count(), 0);
  EXPECT_EQ(FileForm->Label1->Caption(), "");
  fake.Answers = {IDYES, IDYES, IDYES};
  for (TButton* b : {FileForm->Button2, FileForm->Button1, FileForm->Button8, FileForm->Button3, FileForm->Button9})
    b->Click();
  EXPECT_TRUE(fake.Boxes.empty()) << BoxText();
  EXPECT_FALSE(FileForm->Edit1->Visible()) << "no file to rename";
  EXPECT_EQ(Trim(Settings("fname")), "a.dbf");
  EXPECT_TRUE(data.Has("a.dbf"));

  FileForm->Button5->Click();
  FileForm->Edit1->SetText("first");
  FileForm->Button7->Click();
  ASSERT_EQ(FileForm->ListBox1->Items().Count(), 1);
  EXPECT_EQ(FileForm->ListBox1->ItemIndex(), 0);
  EXPECT_EQ(Trim(Settings("fname")), "first.dbf");
}

TEST_F(FileStoreTest, AnotherRunningCopyKeepsItsOpenFileAndItsSettingsRecord) {
  Prepare();
  Start();
  InFileStore([&] {
    {
      TForkedLockHolder other(data.Path() + "/b.dbf", 2);
      ASSERT_TRUE(other.Holding());
      fake.Answers = {IDYES};
      Choose("b.smt");
      FileForm->Button8->Click();
      ASSERT_EQ(fake.Boxes.size(), 2u);
      EXPECT_EQ(BoxText(1), K("b.dbf 파일을 다른 곳에서 쓰고 있어 지울 수 없습니다."));
      EXPECT_TRUE(data.Has("b.dbf"));
      EXPECT_TRUE(data.Has("b.smt"));
    }
    // With the settings record locked elsewhere the choice cannot be stored: the rename does
    // not start on a file other than the one shown.
    fake.Boxes.clear();
    TForkedLockHolder settings(data.Path() + "/condb20.dbf", 1);
    ASSERT_TRUE(settings.Holding());
    Choose("b.smt");
    FileForm->Button1->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(BoxText(), kRecordLockFailed);
    EXPECT_FALSE(FileForm->Edit1->Visible());
  });
  EXPECT_EQ(Trim(Settings("fname")), "a.dbf");
  EXPECT_EQ(MainForm->NoteTable->TableName(), "a.dbf");
}

TEST_F(FileStoreTest, GaugeTakesProgressCodesAndLetsKeysPass) {
  Start();
  struct Case {
    uint16_t key, after;
    int progress;
  };
  const Case cases[] = {{0xFFCE, 0, 50}, {0xFF9C, 0, 100}, {'A', 'A', 100}, {VK_RETURN, VK_RETURN, 100}};
  for (const Case& c : cases) {
    uint16_t key = c.key;
    FileForm->FormKeyDown(FileForm, key, TShiftState());
    EXPECT_EQ(key, c.after) << c.key;
    EXPECT_EQ(FileForm->Gauge1->Progress(), c.progress) << c.key;
  }
}

// Korean names as Linux has them: a data folder named in Hangul, note files created, listed,
// renamed, merged and deleted through the file store, each checked on disk under the system's
// UTF-8 names; a pair left by an older copy under raw CP949 bytes; a name without a CP949 form.
TEST_F(FileStoreTest, KoreanNamesInAKoreanDataFolderAreTheSystemsUtf8Names) {
  const fs::path disk = fs::path(data.Path()) / "한글폴더";  // as the system names it
  fs::create_directories(disk);
  for (const char* shipped : {"condb20._db", "orvel27c._db", "orvel27c._sm", "orvel058._db", "orvel058._sm"})
    fs::copy_file(fs::path(data.Path()) / shipped, disk / shipped);
  fs::current_path(disk);
  const std::string folder = data.Path() + "/" + K("한글폴더");  // as the program names it
  PlaceShippedFiles(folder);
  MakeNoteFile(folder, "a.dbf", 60, kLabels, "Zeta", "", " ", {{"a1", "", "", "", "body a1"}});
  MakeNoteFile(folder, K("메모.dbf"), 60, kLabels, "Memo", "", " ", {{"m1", "", "", "", K("메모 본문")}});
  MakeNoteFile(folder, "old.dbf", 60, kLabels, "Older", "", " ", {{"o1", "", "", "", "old body"}});
  MakeNoteFile(folder, "emo.dbf", 60, kLabels, "Emoji", "", " ", {});
  for (const char* ext : {".dbf", ".smt"}) {
    fs::rename(disk / (std::string("old") + ext), disk / (K("옛노트") + ext));  // raw CP949 bytes
    fs::rename(disk / (std::string("emo") + ext), disk / (std::string("memo\xF0\x9F\x98\x80") + ext));
  }
  WriteFields(folder, "condb20.dbf", 1, {{"d2", "0270"}, {"fname", "a.dbf"}});
  Start();
  EXPECT_EQ(MainForm->DataFolder, folder);
  EXPECT_EQ(MainForm->SBar->Panels()[2].Text(), folder + "/a.dbf") << "status panel 2 in Hangul, not mojibake";

  InFileStore([&] {
    ASSERT_EQ(fake.Boxes.size(), 1u) << "the file without a CP949 name is named";
    EXPECT_NE(BoxText().find("memo?.smt"), std::string::npos) << cp949::ToUtf8(BoxText());
    EXPECT_NE(BoxText().find("U+1F600"), std::string::npos);
    fake.Boxes.clear();
    EXPECT_GE(LineOf(K("메모.smt")), 0);
    EXPECT_GE(LineOf(K("옛노트.smt")), 0);

    // A new file with a name typed in Hangul.
    FileForm->Button5->Click();
    FileForm->Edit2->SetText(K("새 노트"));
    TypeInto(FileForm->Edit1, "노트");
    EXPECT_EQ(FileForm->Edit1->Text(), K("노트"));
    FileForm->Button7->Click();
    EXPECT_GE(LineOf(K("노트.smt")), 0);

    // 메모 becomes 일기 (and the current file), then takes in the older copy's notes.
    Choose(K("메모.smt"));
    FileForm->Button1->Click();
    FileForm->Edit1->SetText(K("일기"));
    FileForm->Button4->Click();
    EXPECT_GE(LineOf(K("일기.smt")), 0);
    Choose(K("옛노트.smt"));
    fake.Answers = {IDYES};
    FileForm->Button3->Click();
    EXPECT_EQ(FileForm->ListBox1->Items()[LineOf(K("일기.smt"))].substr(56), "         2");

    // The older copy's pair goes under its raw names.
    fake.Answers = {IDYES};
    Choose(K("옛노트.smt"));
    FileForm->Button8->Click();
    EXPECT_EQ(LineOf(K("옛노트.smt")), -1);
  });
  EXPECT_EQ(fake.Boxes.size(), 2u) << "the merge and the delete questions only";

  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(disk)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.dbf", "a.smt", "condb20.dbf", "memo\xF0\x9F\x98\x80.dbf",
                                             "memo\xF0\x9F\x98\x80.smt", "orvel058.dbf", "orvel058.smt",
                                             "orvel27c.dbf", "orvel27c.smt", "노트.dbf", "노트.smt", "일기.dbf",
                                             "일기.smt"}));
  const std::vector<TNoteRecord> all = ReadRecords(folder, K("일기.dbf"));
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].body, K("메모 본문"));
  EXPECT_EQ(all[2].body, "old body") << "the merged note with its body";
  EXPECT_EQ(ReadRecords(folder, K("노트.dbf")).size(), 2u);
  EXPECT_EQ(Trim(ReadField(folder, "condb20.dbf", 1, "fname")), K("일기.dbf"));
  EXPECT_EQ(MainForm->SBar->Panels()[2].Text(), folder + "/" + K("일기.dbf"));
}

TEST(FileStoreLines, NamesComeBackFromTheirLinesAndTypedNamesMustBePlain) {
  const std::string line = FileListLine(K("한글") + std::string(50, 'x'), "abcdefgh.smt", 1234567);
  EXPECT_EQ(line.size(), 66u);
  EXPECT_EQ(LineMemoName(line), "abcdefgh.smt");
  EXPECT_EQ(DbfName("abcdefgh.smt"), "abcdefgh.dbf");
  EXPECT_EQ(SmtName("a.dbf"), "a.smt");
  EXPECT_EQ(FirstName("a.dbf"), "a");
  EXPECT_EQ(line.substr(56), "   1234567");
  struct Case {
    const char* name;
    bool plain;
  };
  const Case cases[] = {{"notes", true}, {"abcdefgh", true}, {"abcdefghi", false}, {"", false},
                        {"..", false},   {"../a", false},    {"a/b", false},       {"a\\b", false},
                        {"a:b", false},  {"a*", false},      {"a\tb", false},      {"노트", true}};
  for (const Case& c : cases) EXPECT_EQ(PlainNoteName(K(c.name)), c.plain) << c.name;
}

TEST(ProcessStart, CommandLinesSplitAtBlanksAndTheBuiltInServiceStartsRealPrograms) {
  EXPECT_EQ(SplitCommandLine("mivert  old.dbf"), (std::vector<std::string>{"mivert", "old.dbf"}));
  EXPECT_EQ(SplitCommandLine(" a \"b c\" \"\" d"), (std::vector<std::string>{"a", "b c", "", "d"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
  TSpawnProcessStart spawn;
  EXPECT_TRUE(spawn.Start("true", SW_HIDE));
  EXPECT_FALSE(spawn.Start("no-such-program-orvelane", SW_HIDE));
  EXPECT_EQ(WinExec("  ", SW_HIDE), 2u);
  TRecordingProcessStart recorded;
  EXPECT_GT(WinExec("mivert  x.dbf", SW_HIDE), 31u);
  recorded.Answer = false;
  EXPECT_EQ(WinExec("mivert  x.dbf", SW_HIDE), 2u);
  EXPECT_EQ(recorded.Calls.size(), 2u);
}

// The program and its file argument reach the system under their UTF-8 names: a converter in a
// Hangul folder started on a Hangul file name finds both.
TEST(ProcessStart, KoreanProgramAndFileNamesReachTheProgramAsTheSystemNamesThem) {
  TDataFolder data("start");
  const fs::path folder = fs::path(data.Path()) / "변환";
  fs::create_directories(folder);
  const fs::path heard = fs::path(data.Path()) / "heard";
  {
    std::ofstream script(folder / "바꾸기");
    script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << heard.string() << ".part' && mv '" << heard.string() << ".part' '"
           << heard.string() << "'\n";
  }
  fs::permissions(folder / "바꾸기", fs::perms::owner_all);
  TSpawnProcessStart spawn;
  ASSERT_TRUE(spawn.Start(data.Path() + "/" + K("변환") + "/" + K("바꾸기") + " " + K("옛노트.dbf"), SW_HIDE));
  for (int i = 0; i < 250 && !fs::exists(heard); ++i) ::usleep(20000);
  std::ifstream in(heard, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "옛노트.dbf");
}

}  // namespace
}  // namespace nbtest
