// The sort and pack dialog on a note file of the test's own: a pack after a title sort leaves
// the file physically in that order with its header whole and its deleted notes gone; the
// pack and the tag builder are refused while another process holds a lock; the gauge takes
// the engine's progress codes while it works, with the user's clicks dropped meanwhile; a
// protected file cannot be packed.
#include "NoteBookFixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "app/IndexDlg.h"
#include "platform/ui/QtServices.h"
#include "app/Udf.h"
#include "support/ForkedLockHolder.h"

using cp949::K;

namespace nbtest {

namespace {

const std::vector<TNote> kNotes = {
    {"n1", "delta", "", "", "body one"},  {"n2", "bravo", "", "", "body two"},
    {"n3", "echo", "", "", "body three"}, {"n4", "alpha", "", "", "body four"},
    {"n5", "charlie", "", "", ""},
};

class SortPackTest : public NoteBookTest {
 protected:
  // The notes, with note n3 ("echo", record 4) deleted and a link folder in the header.
  void Prepare() {
    UseNoteFile(data.Path(), kNotes, " ");
    WriteFields(data.Path(), "notes.dbf", 1, {{"tit3", "./links"}});
    auto t = OpenTable(data.Path(), "notes.dbf");
    t->SetRecNo(4);
    t->Delete();
  }
  // Shows the dialog from the main window; act runs while it is shown.
  void ShowDialog(std::function<void()> act) {
    answer = [act](TCustomForm& f) {
      if (&f == IndexDlg) {
        IndexDlg->FormActivate(IndexDlg);
        act();
      }
      return mrCancel;
    };
    MainForm->IndexBtn->Click();
  }
};

TEST_F(SortPackTest, PackAfterATitleSortFollowsThatOrderAndKeepsTheHeaderWhole) {
  Prepare();
  Start();
  const std::string labels = ReadField(data.Path(), "notes.dbf", 1, "tit1");
  const auto sizeBefore = fs::file_size(fs::path(data.Path()) / "notes.dbf");
  int reports = 0, reportsOnHiddenGauge = 0;
  fake.OnSendKeyDown = [&](intptr_t window, uint16_t) {
    ++reports;
    if (window != IndexDlg->Handle() || !IndexDlg->Gauge1->Showing()) ++reportsOnHiddenGauge;
  };
  ShowDialog([] {
    EXPECT_EQ(IndexDlg->RBtn2->Caption(), "2." + MainForm->Label2->Caption());
    EXPECT_TRUE(IndexDlg->Button2->Enabled());
    IndexDlg->RBtn2->SetChecked(true);
    IndexDlg->Button1->Click();
    EXPECT_EQ(MainForm->NoteTable->TagName(static_cast<XbShort>(MainForm->NoteTable->IndexOrd())), "TIT2");
    IndexDlg->Button2->Click();
  });
  EXPECT_TRUE(fake.Boxes.empty()) << (fake.Boxes.empty() ? "" : fake.Boxes[0].Text);
  EXPECT_GT(reports, 0);
  EXPECT_EQ(reportsOnHiddenGauge, 0) << "the sort and the pack copy move the shown gauge";

  const std::vector<TNoteRecord> all = ReadRecords(data.Path(), "notes.dbf");
  ASSERT_EQ(all.size(), 5u) << "the header and the four notes left";
  EXPECT_TRUE(all[0].deleted);
  EXPECT_EQ(all[0].tit[0], Trim(labels));
  EXPECT_EQ(all[0].tit[1], "desc");
  EXPECT_EQ(all[0].tit[2], "./links") << "the link folder survives the pack";
  const char* order[4][3] = {{"n4", "alpha", "body four"}, {"n2", "bravo", "body two"},
                             {"n5", "charlie", ""}, {"n1", "delta", "body one"}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(order[i][1]);
    EXPECT_FALSE(all[i + 1].deleted);
    EXPECT_EQ(all[i + 1].tit[0], order[i][0]);
    EXPECT_EQ(all[i + 1].tit[1], order[i][1]);
    EXPECT_EQ(all[i + 1].body, order[i][2]) << "bodies go with their notes";
  }
  EXPECT_TRUE(data.Has("indexbak.db"));
  EXPECT_TRUE(data.Has("indexbak.sm"));
  EXPECT_FALSE(data.Has("notes.nsx")) << "the stale index goes";
  EXPECT_FALSE(data.Has("sort.dbf"));
  EXPECT_FALSE(data.Has("sortord.nsx"));
  EXPECT_EQ(fs::file_size(fs::path(data.Path()) / "indexbak.db"), sizeBefore) << "the file as it was";
  const auto sizeAfter = fs::file_size(fs::path(data.Path()) / "notes.dbf");
  EXPECT_LT(sizeAfter, sizeBefore);
  EXPECT_EQ(MainForm->NoteTable->Tag, 0);
  ASSERT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(MainForm->Label77->Caption(), "4/4");

  // A second pack in natural order keeps that order and replaces the backup.
  ShowDialog([] {
    IndexDlg->RBtn0->SetChecked(true);
    IndexDlg->Button1->Click();
    IndexDlg->Button2->Click();
  });
  const std::vector<TNoteRecord> again = ReadRecords(data.Path(), "notes.dbf");
  ASSERT_EQ(again.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(again[i + 1].tit[1], order[i][1]);
  EXPECT_EQ(fs::file_size(fs::path(data.Path()) / "indexbak.db"), sizeAfter);
}

TEST_F(SortPackTest, PackAndTagBuildAreRefusedWhileAnotherProcessHoldsALock) {
  Prepare();
  Start();
  const std::string file = data.Path() + "/notes.dbf";
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child holds a record lock of its own and touches nothing else of the parent's.
    TXbDispatch d;
    d.WorkArea = d.xb_UseEx(file, "OTHER", XB_OPEN_SHARED, XB_TT_NSX, 0);
    d.SelectWorkArea();
    char ok = d.WorkArea > 0 && d.xb_Rlock(3) == -1 ? 'L' : 'x';
    (void)!write(toParent[1], &ok, 1);
    char go = 0;
    (void)!read(toChild[0], &go, 1);
    _exit(0);
  }
  char state = 0;
  ASSERT_EQ(read(toParent[0], &state, 1), 1);
  ASSERT_EQ(state, 'L');

  EXPECT_FALSE(IndexDlg->NotePack());
  EXPECT_FALSE(IndexDlg->MakeIndex(*MainForm->NoteTable, "TIT1", "tit1"));
  ASSERT_EQ(fake.Boxes.size(), 2u);
  for (const TMessageBoxCall& b : fake.Boxes) EXPECT_EQ(b.Text, K("독점모드가 아닙니다."));
  EXPECT_FALSE(data.Has("indexbak.db"));
  EXPECT_FALSE(data.Has("sort.dbf"));
  EXPECT_FALSE(MainForm->IsTag("TIT1"));
  EXPECT_EQ(ReadRecords(data.Path(), "notes.dbf").size(), 6u);
  ASSERT_TRUE(MainForm->NoteTable->Active());

  const char go = 'g';
  ASSERT_EQ(write(toChild[1], &go, 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);

  fake.Boxes.clear();
  EXPECT_TRUE(IndexDlg->MakeIndex(*MainForm->NoteTable, "TIT1", "tit1"));
  EXPECT_TRUE(MainForm->IsTag("TIT1"));
  EXPECT_TRUE(fake.Boxes.empty());
}

// Another copy that has the note file open (without any lock) keeps the pack from opening it
// alone: the pack says so in Korean after the table layer's reason, and nothing changes.
TEST_F(SortPackTest, PackRefusedByAnotherCopyThatHasTheFileOpenSaysSo) {
  Prepare();
  Start();
  const std::vector<TNoteRecord> before = ReadRecords(data.Path(), "notes.dbf");
  {
    TForkedLockHolder other(data.Path() + "/notes.dbf", 0);
    ASSERT_TRUE(other.Holding());
    EXPECT_FALSE(IndexDlg->NotePack());
  }
  ASSERT_EQ(fake.Boxes.size(), 1u);
  const std::string& box = fake.Boxes[0].Text;
  EXPECT_EQ(box.find("Unable to open table: "), 0u) << cp949::ToUtf8(box);
  EXPECT_NE(box.find(K("다른 곳에서 실행 중인 Orvelane이 이 노트 파일을 쓰고 있습니다.")), std::string::npos)
      << cp949::ToUtf8(box);
  EXPECT_FALSE(data.Has("sort.dbf"));
  EXPECT_FALSE(data.Has("indexbak.db"));
  EXPECT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(ReadRecords(data.Path(), "notes.dbf"), before);
}

TEST_F(SortPackTest, PackThatCannotPutItsCopyInPlaceLeavesTheFileAsItWas) {
  Prepare();
  // A backup name taken by a folder: the old backup cannot be removed.
  fs::create_directories(fs::path(data.Path()) / "indexbak.db" / "x");
  Start();
  ASSERT_TRUE(IndexDlg->MakeIndex(*MainForm->NoteTable, "TIT2", "tit2"));
  const std::vector<TNoteRecord> before = ReadRecords(data.Path(), "notes.dbf");
  fake.Boxes.clear();
  EXPECT_FALSE(IndexDlg->NotePack());
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text.rfind(K("  파일 이름을 바꿀 수 없습니다: "), 0), 0u) << fake.Boxes[0].Text;
  const std::vector<TNoteRecord> after = ReadRecords(data.Path(), "notes.dbf");
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].tit[1], before[i].tit[1]);
    EXPECT_EQ(after[i].body, before[i].body);
    EXPECT_EQ(after[i].deleted, before[i].deleted);
  }
  EXPECT_TRUE(data.Has("notes.nsx"));
  EXPECT_FALSE(data.Has("sort.dbf"));
  EXPECT_FALSE(data.Has("sort.smt"));
  ASSERT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(MainForm->NoteTable->RecCount(), 6);
}

// The work files a pack leaves in the data folder while it runs.
const char* const kWorkFiles[] = {"sort.dbf", "sort.smt", "sortord.nsx", "sort.lck"};

// Packs the note file in a child process that is killed once the copy has begun; true when it
// was killed there. The parent's note table must be closed meanwhile.
bool PackKilledDuringTheCopy(TFakeServices& fake, const std::string& folder) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    fake.OnSendKeyDown = [&](intptr_t, uint16_t) {
      if (FileExists(folder + "/sort.dbf")) ::raise(SIGKILL);
    };
    MainForm->NoteTable->Open();
    IndexDlg->NotePack();
    _exit(3);  // the copy ended before a report came
  }
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// A pack killed while it copies leaves its work files; the next start removes them, the next
// pack does too and packs, and no note is lost on the way.
TEST_F(SortPackTest, AKilledPackLeavesNoWorkFilesAfterTheNextStartOrPack) {
  std::vector<TNote> many;
  for (int i = 0; i < 3000; ++i) many.push_back({"n" + std::to_string(i), "t" + std::to_string(5000 - i), "", "", "body " + std::to_string(i)});
  UseNoteFile(data.Path(), many, " ");
  const std::vector<TNoteRecord> before = ReadRecords(data.Path(), "notes.dbf");
  Start();
  IndexDlg->FormActivate(IndexDlg);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "the next start" : "the next pack");
    MainForm->NoteTable->Close();
    ASSERT_TRUE(PackKilledDuringTheCopy(fake, data.Path()));
    EXPECT_TRUE(data.Has("sort.lck")) << "the killed pack left its work";
    EXPECT_TRUE(data.Has("sort.dbf"));
    if (round == 0) {
      Close();
      Start();
    } else {
      MainForm->NoteTable->Open();
      fake.Boxes.clear();
      EXPECT_TRUE(IndexDlg->NotePack());
      EXPECT_TRUE(fake.Boxes.empty()) << fake.Boxes[0].Text;
    }
    for (const char* f : kWorkFiles) EXPECT_FALSE(data.Has(f)) << f;
    EXPECT_EQ(ReadRecords(data.Path(), "notes.dbf"), before) << "every note, as it was";
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
}

// A pack killed among its renames: the next start puts the note file back whole, as it was
// before the pack or, once the packed data file stood in its place, as packed; the work files
// go. While another copy holds the pack's mark, the start leaves everything alone.
TEST_F(SortPackTest, APackKilledAmongItsRenamesIsPutRightAtTheNextStart) {
  Prepare();
  Start();
  ASSERT_TRUE(IndexDlg->NotePack());
  Close();
  const fs::path dir = data.Path();
  const fs::path stash = dir / "stash";
  fs::create_directories(stash);
  // The file as it was (the pack's backups) and as packed.
  fs::copy_file(dir / "indexbak.db", stash / "old.dbf");
  fs::copy_file(dir / "indexbak.sm", stash / "old.smt");
  fs::copy_file(dir / "notes.dbf", stash / "new.dbf");
  fs::copy_file(dir / "notes.smt", stash / "new.smt");
  const std::vector<TNoteRecord> oldNotes = ReadRecords(stash.string(), "old.dbf");
  const std::vector<TNoteRecord> newNotes = ReadRecords(stash.string(), "new.dbf");
  ASSERT_NE(oldNotes, newNotes);

  struct Case {
    const char* cut;
    std::vector<std::pair<const char*, const char*>> files;  // stash file -> name in the folder
    bool packed;                                             // the file comes back packed
  };
  const Case cases[] = {
      {"before the renames", {{"old.dbf", "notes.dbf"}, {"old.smt", "notes.smt"}, {"new.dbf", "sort.dbf"}, {"new.smt", "sort.smt"}}, false},
      {"after the first", {{"old.dbf", "indexbak.db"}, {"old.smt", "notes.smt"}, {"new.dbf", "sort.dbf"}, {"new.smt", "sort.smt"}}, false},
      {"after the second", {{"old.dbf", "indexbak.db"}, {"old.smt", "indexbak.sm"}, {"new.dbf", "sort.dbf"}, {"new.smt", "sort.smt"}}, false},
      {"after the third", {{"old.dbf", "indexbak.db"}, {"old.smt", "indexbak.sm"}, {"new.dbf", "notes.dbf"}, {"new.smt", "sort.smt"}}, true},
      {"after the fourth", {{"old.dbf", "indexbak.db"}, {"old.smt", "indexbak.sm"}, {"new.dbf", "notes.dbf"}, {"new.smt", "notes.smt"}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cut);
    for (const char* f : {"notes.dbf", "notes.smt", "notes.nsx", "indexbak.db", "indexbak.sm", "sort.dbf", "sort.smt"})
      fs::remove(dir / f);
    for (const auto& [from, to] : c.files) fs::copy_file(stash / from, dir / to);
    std::ofstream(dir / "sort.lck") << "notes.dbf\nrename\n";
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
    Close();
    for (const char* f : kWorkFiles) EXPECT_FALSE(data.Has(f)) << f;
    EXPECT_EQ(ReadRecords(data.Path(), "notes.dbf"), c.packed ? newNotes : oldNotes);
  }

  // Another copy packing holds the mark: nothing is touched.
  std::ofstream(dir / "sort.dbf") << "being written";
  TLockFile other((dir / "sort.lck").string());
  ASSERT_TRUE(other.TryLock());
  ASSERT_TRUE(other.SetText("notes.dbf\ncopy\n"));
  Start();
  EXPECT_TRUE(data.Has("sort.dbf"));
  EXPECT_TRUE(data.Has("sort.lck"));
  fake.Boxes.clear();
  EXPECT_FALSE(IndexDlg->NotePack());
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K("다른 곳에서 실행 중인 Orvelane이 이 폴더에서 거품빼기를 하고 있습니다. 끝난 뒤에 다시 하세요."));
  EXPECT_TRUE(data.Has("sort.dbf"));
}

TEST_F(SortPackTest, GaugeTakesProgressCodesAndLetsKeysPass) {
  Start();
  struct Case {
    uint16_t key;
    uint16_t after;  // the key as the handler leaves it
    int progress;
  };
  const Case cases[] = {
      {0xFFCE, 0, 50}, {0xFFFF, 0, 1}, {0xFF9C, 0, 100}, {'A', 'A', 100}, {0x0FFF, 0x0FFF, 100},
      {VK_RETURN, VK_RETURN, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    uint16_t key = c.key;
    IndexDlg->FormKeyDown(IndexDlg, key, TShiftState());
    EXPECT_EQ(key, c.after);
    EXPECT_EQ(IndexDlg->Gauge1->Progress(), c.progress);
  }
}

// The sort clicked for real: the engine's reports reach the shown gauge while the tag is being
// built, the windows repaint meanwhile, and a second click on the sort button is dropped.
TEST_F(SortPackTest, GaugeMovesWhileTheTagIsBuiltAndNoSecondSortStarts) {
  std::vector<TNote> many;
  for (int i = 0; i < 400; ++i) many.push_back({"n" + std::to_string(i), "t" + std::to_string(1000 - i)});
  UseNoteFile(data.Path(), many, " ");
  Start();
  // The real message loop, so that the gauge's repaints and a timer run during the build.
  IMessageLoopService* fakeLoop = SetMessageLoopService(&orv::QtMessageLoop());
  std::vector<int> seenByHandler, seenByTimer;
  int paints = 0, sorts = 0;
  struct PaintCounter : QObject {
    int* n = nullptr;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++*n;
      return false;
    }
  } counter;
  counter.n = &paints;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (IndexDlg->Gauge1->Showing()) seenByTimer.push_back(IndexDlg->Gauge1->Progress());
  });
  fake.OnSendKeyDown = [&](intptr_t window, uint16_t) {
    if (window != IndexDlg->Handle()) return;
    seenByHandler.push_back(IndexDlg->Gauge1->Showing() ? IndexDlg->Gauge1->Progress() : -1);
    // The user clicks the sort button again while the first sort runs.
    if (seenByHandler.size() == 1) QTest::mouseClick(IndexDlg->Button1->Widget(), Qt::LeftButton);
  };
  ShowDialog([&] {
    IndexDlg->Gauge1->Widget()->installEventFilter(&counter);
    const TNotifyEvent sort = IndexDlg->Button1->OnClick;
    IndexDlg->Button1->OnClick = [&, sort](TObject* s) {
      ++sorts;
      paints = 0;
      timer.start(0);
      sort(s);
      timer.stop();
    };
    IndexDlg->RBtn2->SetChecked(true);
    QTest::mouseClick(IndexDlg->Button1->Widget(), Qt::LeftButton);
    Application->ProcessMessages();
    EXPECT_FALSE(IndexDlg->Gauge1->Showing());
    IndexDlg->Gauge1->Widget()->removeEventFilter(&counter);
    IndexDlg->Button1->OnClick = sort;
  });
  SetMessageLoopService(fakeLoop);
  EXPECT_EQ(sorts, 1) << "the click made during the sort started nothing";
  EXPECT_TRUE(MainForm->IsTag("TIT2"));
  ASSERT_GE(seenByHandler.size(), 3u);
  for (int p : seenByHandler) EXPECT_GE(p, 0) << "the gauge is shown while the reports arrive";
  EXPECT_TRUE(std::is_sorted(seenByHandler.begin(), seenByHandler.end()));
  EXPECT_EQ(seenByHandler.back(), 100);
  ASSERT_FALSE(seenByTimer.empty()) << "timers run during the build";
  EXPECT_GT(seenByTimer.front(), 0);
  EXPECT_LT(seenByTimer.front(), 100) << "part-filled while the engine works";
  EXPECT_GT(paints, 0) << "the gauge repainted during the build";
}

// A tag built while the dialog is hidden (here a sort from the main window; the batch edits
// build theirs the same way): the dialog stands on top with its gauge while the engine works,
// without taking the focus from the window the user works in, and goes again at the end.
TEST_F(SortPackTest, TagBuiltFromTheMainWindowShowsTheGaugeOnTopWithoutTheFocus) {
  Prepare();
  Start();
  ASSERT_FALSE(MainForm->IsTag("TIT2"));
  ASSERT_FALSE(IndexDlg->Showing());
  MainForm->Edit1->SetFocus();
  std::vector<int> seen;
  bool activeStayed = true;
  fake.OnSendKeyDown = [&](intptr_t window, uint16_t) {
    if (window != IndexDlg->Handle()) return;
    seen.push_back(IndexDlg->Showing() && IndexDlg->Gauge1->Showing() ? IndexDlg->Gauge1->Progress() : -1);
    if (Screen->ActiveForm() != MainForm) activeStayed = false;
  };
  QTest::mouseClick(MainForm->Sort2Btn->Widget(), Qt::LeftButton);
  EXPECT_TRUE(MainForm->IsTag("TIT2"));
  ASSERT_FALSE(seen.empty());
  for (int p : seen) EXPECT_GE(p, 0) << "the dialog and its gauge are seen while the reports arrive";
  EXPECT_EQ(IndexDlg->RBtn2->Caption(), "2." + MainForm->Label2->Caption()) << "never opened, yet labelled";
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(activeStayed) << "the main window stays the active one";
  EXPECT_FALSE(IndexDlg->Showing()) << "the dialog goes with the end of the build";
  EXPECT_FALSE(IndexDlg->Visible());
  EXPECT_EQ(Screen->ActiveForm(), MainForm);
  EXPECT_EQ(MainForm->ActiveControl(), MainForm->Edit1);
  EXPECT_TRUE(fake.Boxes.empty());
}

TEST_F(SortPackTest, ProtectedFileCanBeSortedButNotPacked) {
  UseNoteFile(data.Path(), kNotes, "1");
  Start();
  ShowDialog([] {
    EXPECT_FALSE(IndexDlg->Button2->Enabled());
    EXPECT_TRUE(IndexDlg->Button1->Enabled());
    IndexDlg->RBtn4->SetChecked(true);
    IndexDlg->Button1->Click();
    EXPECT_TRUE(MainForm->IsTag("TIT4"));
  });
}

}  // namespace
}  // namespace nbtest
