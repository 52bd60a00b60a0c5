// Start-up and the main window's life, driven on a temporary data folder with the shipped
// files: renaming them into place, the version rule, bounds and maximized state, opening the
// current note file (protection, link folder, labels, caption, position), the way out when no
// note file opens, and closing with the bounds stored.
#include "NoteBookFixture.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "app/FileForm.h"
#include "app/Udf.h"
#include "platform/core/Cp949.h"
#include "table/XbEngine.h"

using cp949::K;

namespace nbtest {
namespace {

TEST_F(NoteBookTest, ShippedFilesTakeTheirNamesAndTheSampleFileOpensAtItsLastNote) {
  Start();
  for (const char* f : {"condb20.dbf", "orvel27c.dbf", "orvel27c.smt", "orvel058.dbf", "orvel058.smt"})
    EXPECT_TRUE(data.Has(f)) << f;
  for (const char* f : {"condb20._db", "orvel27c._db", "orvel27c._sm", "orvel058._db", "orvel058._sm"})
    EXPECT_FALSE(data.Has(f)) << f;

  TXbTable& notes = *MainForm->NoteTable;
  ASSERT_TRUE(notes.Active());
  EXPECT_EQ(notes.TableName(), "orvel27c.dbf");
  EXPECT_EQ(notes.RecNo(), notes.RecCount()) << "an unprotected file opens at its newest note";
  EXPECT_TRUE(MainForm->SpeedButton2->Enabled());
  EXPECT_FALSE(MainForm->Edit1->ReadOnly());
  // Later activations leave the window as it is.
  MainForm->SetBounds(5, 6, 700, 500);
  MainForm->FormActivate(MainForm);
  EXPECT_EQ(MainForm->Width(), 700);
  EXPECT_EQ(MainForm->SBar->Panels()[1].Text(), "");
  EXPECT_EQ(MainForm->SBar->Panels()[2].Text(), data.Path() + "/orvel27c.dbf");

  // Labels and caption come from the header record; the note shown is the one landed on.
  EXPECT_EQ(MainForm->Label1->Caption(), StrPadR(K("제  목"), 8));
  EXPECT_EQ(MainForm->Label4->Caption(), StrPadR(K("키워드"), 8));
  EXPECT_EQ(MainForm->SeekComboBox->Items()[0], MainForm->Label1->Caption());
  EXPECT_EQ(MainForm->SeekComboBox->Items()[4], K("몽땅찾기"));
  EXPECT_EQ(MainForm->Caption(), K("오르벨레인 사용 안내") + kCaptionSuffix[0]);
  EXPECT_EQ(std::string(kCaptionSuffix[0]).size(), 17u);
  EXPECT_EQ(std::string(kCaptionSuffix[1]).size(), 17u);
  EXPECT_EQ(MainForm->Edit1->Text(), Trim(notes.GetString("tit1")));
  EXPECT_EQ(MainForm->Label77->Caption(),
            IntToStr(notes.RecCount() - 1) + "/" + IntToStr(notes.RecCount() - 1));
  EXPECT_EQ(LinkDir, data.Path()) << "the shipped link folder is \".\"";
  EXPECT_EQ(shown, std::vector<std::string>{}) << "no dialog on a normal start";
}

TEST_F(NoteBookTest, VersionRuleResetsTheCurrentFileOnlyForAnotherVersion) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"d2", "0270"}, {"fname", "orvel058.dbf"}});
  Start();
  EXPECT_EQ(MainForm->NoteTable->TableName(), "orvel058.dbf") << "the same version keeps the choice";
  Close();

  WriteFields(data.Path(), "condb20.dbf", 1, {{"d2", "0260"}});
  Start();
  EXPECT_EQ(MainForm->NoteTable->TableName(), "orvel27c.dbf");
  Close();
  EXPECT_EQ(Settings("d2"), "0270");
  EXPECT_EQ(Trim(Settings("fname")), "orvel27c.dbf");
}

TEST_F(NoteBookTest, StoredBoundsWidthRuleAndMaximizedState) {
  struct Case {
    const char *n1, *n2, *n3, *n4, *k1;
    int left, top, width, height;
    bool maximized;
  };
  const Case cases[] = {
      {"100", "50", "800", "600", "  ", 100, 50, 800, 600, false},
      {"10", "20", "299", "700", "", 10, 20, 640, 480, false},
      {"abc", "x", "?", "", "", 0, 0, 640, 480, false},
      {"100", "50", "800", "600", "1 ", 0, 0, 0, 0, true},
  };
  PlaceShippedFiles(data.Path());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.n1) + "," + c.n2 + "," + c.n3 + "," + c.n4 + " k1='" + c.k1 + "'");
    WriteFields(data.Path(), "condb20.dbf", 1, {{"n1", c.n1}, {"n2", c.n2}, {"n3", c.n3}, {"n4", c.n4}, {"k1", c.k1}});
    Start();
    EXPECT_EQ(MainForm->WindowState() == wsMaximized, c.maximized);
    if (!c.maximized) {
      EXPECT_EQ(MainForm->Left(), c.left);
      EXPECT_EQ(MainForm->Top(), c.top);
      EXPECT_EQ(MainForm->Width(), c.width);
      EXPECT_EQ(MainForm->Height(), c.height);
    }
    DestroyProgramForms();
  }
}

TEST_F(NoteBookTest, ClosingStoresTheNormalBoundsAndTheMaximizedFlag) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"n1", "100"}, {"n2", "50"}, {"n3", "800"}, {"n4", "600"}, {"k1", "1 "}});
  Start();
  ASSERT_EQ(MainForm->WindowState(), wsMaximized);
  Close();
  EXPECT_EQ(Settings("k1"), "1 ");
  EXPECT_EQ(Trim(Settings("n1")), "100");
  EXPECT_EQ(Trim(Settings("n2")), "50");
  EXPECT_EQ(Trim(Settings("n3")), "800");
  EXPECT_EQ(Trim(Settings("n4")), "600");

  WriteFields(data.Path(), "condb20.dbf", 1, {{"k1", "  "}});
  Start();
  MainForm->SetBounds(30, 40, 720, 530);
  Close();
  EXPECT_EQ(Settings("k1"), "  ");
  EXPECT_EQ(Trim(Settings("n1")) + "," + Trim(Settings("n2")) + "," + Trim(Settings("n3")) + "," +
                Trim(Settings("n4")),
            "30,40,720,530");
}

TEST_F(NoteBookTest, WriteProtectedFileOpensAtItsFirstNoteWithNewNoteDisabled) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "orvel27c.dbf", 1, {{"lock", "1"}});
  Start();
  TXbTable& notes = *MainForm->NoteTable;
  EXPECT_EQ(notes.RecNo(), 2) << "the first note, after the header";
  EXPECT_FALSE(MainForm->SpeedButton2->Enabled());
  for (TEdit* e : {MainForm->Edit1, MainForm->Edit2, MainForm->Edit3, MainForm->Edit4}) EXPECT_TRUE(e->ReadOnly());
  EXPECT_TRUE(MainForm->memo1->ReadOnly());
  EXPECT_EQ(MainForm->SBar->Panels()[1].Text(), K("쓰기방지"));
  EXPECT_EQ(MainForm->Label77->Caption().substr(0, 2), "1/");
  EXPECT_EQ(MainForm->Edit1->Text(), Trim(ReadField(data.Path(), "orvel27c.dbf", 2, "tit1")));
}

TEST_F(NoteBookTest, LinkFolderRule) {
  struct Case {
    std::string tit3;
    std::string want;  // relative to the data folder when it starts with "@"
  };
  const Case cases[] = {
      {"./pictures", "@/pictures"},
      {"", "@"},
      {"/srv/shared/links", "/srv/shared/links"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("tit3 '" + c.tit3 + "'");
    MakeNoteFile(data.Path(), "links.dbf", 60, "", "Links", c.tit3, " ", {{"a", "", "", "", "body"}});
    PlaceShippedFiles(data.Path());
    WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "links.dbf"}});
    Start();
    const std::string want = c.want[0] == '@' ? data.Path() + c.want.substr(1) : c.want;
    EXPECT_EQ(LinkDir, want);
    EXPECT_EQ(MainForm->LinkPath, c.tit3);
    DestroyProgramForms();
    ASSERT_TRUE(DeleteFile(data.Path() + "/links.dbf"));
    DeleteFile(data.Path() + "/links.smt");
  }
}

TEST_F(NoteBookTest, TitleWidthsAndLabelsFollowTheFile) {
  // A 40-wide old file with a short label text, and a 60-wide one whose labels cut through a
  // two-byte character.
  MakeNoteFile(data.Path(), "narrow.dbf", 40, "AB      CD", "Narrow", "", " ", {{"n1", "", "", "", ""}});
  MakeNoteFile(data.Path(), "wide.dbf", 60, "abc" + K("가나다") + "xyz", "Wide", "", " ", {{"w1", "", "", "", ""}});
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "narrow.dbf"}});
  Start();
  EXPECT_EQ(MainForm->NoteTableTIT1->Size(), 40);
  EXPECT_EQ(MainForm->NoteTableTIT4->Size(), 40);
  EXPECT_EQ(MainForm->NoteTableTIT1->DisplayWidth(), 40);
  EXPECT_EQ(MainForm->Label1->Caption(), "AB      ");
  EXPECT_EQ(MainForm->Label2->Caption(), "CD      ");
  EXPECT_EQ(Trim(MainForm->Label3->Caption()), "");
  EXPECT_EQ(MainForm->Caption(), std::string("Narrow") + kCaptionSuffix[0]);

  ReplaceLocked(*MainForm->ConTable, "fname", "wide.dbf");
  ASSERT_TRUE(MainForm->cmdChoDbfClick());
  EXPECT_EQ(MainForm->NoteTableTIT1->Size(), 60);
  EXPECT_EQ(MainForm->NoteTableTIT4->Size(), 60);
  EXPECT_EQ(MainForm->Label1->Caption(), "abc" + K("가나") + " ");
  EXPECT_TRUE(cp949::IsCharBoundary(MainForm->Label2->Caption(), MainForm->Label2->Caption().size()));
  EXPECT_EQ(MainForm->Label2->Caption().substr(0, 1), " ");
}

TEST_F(NoteBookTest, ReopeningShowsTheNoteLandedOnAndDropsAStaleSearchFlag) {
  Start();
  TXbTable& notes = *MainForm->NoteTable;
  const int last = static_cast<int>(notes.RecNo());
  MainForm->Label6->SetCaption(K("3건 검색"));
  // Another copy of the program changes the note; the reopen lands on the same position.
  WriteFields(data.Path(), "orvel27c.dbf", last, {{"tit1", "changed elsewhere"}});
  ASSERT_TRUE(MainForm->cmdChoDbfClick());
  EXPECT_EQ(notes.RecNo(), last);
  EXPECT_EQ(MainForm->Edit1->Text(), "changed elsewhere");
  EXPECT_EQ(MainForm->Label6->Caption(), "");
}

TEST_F(NoteBookTest, AMissingNoteFileSendsTheUserToTheFileStore) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "missing.dbf"}});
  answer = [](TCustomForm& f) {
    // The user picks the second sample file in the file store.
    if (&f == FileForm) ReplaceLocked(*MainForm->ConTable, "fname", "orvel058.dbf");
    return mrOk;
  };
  Start();
  EXPECT_EQ(shown, std::vector<std::string>{"FileForm"});
  ASSERT_TRUE(MainForm->NoteTable->Active());
  EXPECT_EQ(MainForm->NoteTable->TableName(), "orvel058.dbf");
  EXPECT_TRUE(fake.Boxes.empty());
}

TEST_F(NoteBookTest, WhenNoNoteFileOpensTheUserMayQuitInsteadOfLooping) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "missing.dbf"}});
  fake.Answers = {IDYES, IDNO};  // once more to the file store, then quit
  Start();
  EXPECT_EQ(shown, (std::vector<std::string>{"FileForm", "FileForm"}));
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_NE(fake.Boxes[0].Text.find("missing.dbf"), std::string::npos);
  EXPECT_GT(fake.TerminateRequests, 0);
  EXPECT_FALSE(MainForm->NoteTable->Active());
  EXPECT_FALSE(MainForm->Visible());
}

TEST_F(NoteBookTest, TheBodyFontComesFromTheSettingsAndReachesTheBodyAfterTheTimer) {
  PlaceShippedFiles(data.Path());
  WriteFields(data.Path(), "condb20.dbf", 1,
              {{"font3", K("바탕")}, {"fsize3", "14"}, {"ftype3", "1"}, {"scolor", "9"}, {"FType2", "11"}});
  Start();
  const TFont& held = MainForm->TempEd->Font();
  EXPECT_EQ(held.Name(), K("바탕"));
  EXPECT_EQ(held.Size(), 14);
  EXPECT_TRUE(held.Style().Contains(fsBold));
  EXPECT_EQ(held.Color(), clRed) << "the screen colour has its own field; the print style stays apart";
  EXPECT_TRUE(MainForm->Timer1->Enabled());
  fake.Timers.Advance(1000);
  EXPECT_FALSE(MainForm->Timer1->Enabled());
  EXPECT_EQ(MainForm->memo1->Font().Name(), K("바탕"));
  EXPECT_EQ(MainForm->memo1->Font().Size(), 14);
}

TEST_F(NoteBookTest, ExitAsksFirstAndTheStartSoundPlaysWhenPresent) {
  {
    std::FILE* wav = std::fopen("Orvel.wav", "wb");  // letter case as another system left it
    const unsigned char header[44] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0,
                                      1, 0, 8, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    std::fwrite(header, 1, sizeof header, wav);
    std::fclose(wav);
  }
  Start();
  ASSERT_EQ(dialogs.Played.size(), 1u);
  EXPECT_NE(dialogs.Played[0].find("Orvel.wav"), std::string::npos);

  fake.Answers = {IDNO};
  MainForm->ExitBtn->Click();
  EXPECT_TRUE(MainForm->Visible());
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, K("끝낼까요?"));
  EXPECT_EQ(fake.Boxes[0].Flags & MB_ICONMASK, 0u);
  fake.Answers = {IDYES};
  MainForm->ExitBtn->Click();
  EXPECT_FALSE(MainForm->Visible());
  EXPECT_FALSE(MainForm->NoteTable->Active());
}

// With ORV_APP_SCREENSHOT=<file.png> (under Xvfb, QT_QPA_PLATFORM=xcb) the started main window
// is grabbed from the screen into that file; without it the test only starts the window.
TEST_F(NoteBookTest, MainWindowOptionallyGrabbed) {
  Start();
  EXPECT_TRUE(MainForm->Visible());
  GrabMainWindowIfAsked("ORV_APP_SCREENSHOT");
}

}  // namespace
}  // namespace nbtest

namespace nbtest {
namespace {

TEST(NoteBookStartFailure, WithoutTheSettingsTableTheProgramSaysSoAndEnds) {
  TDataFolder data("nosettings");
  ASSERT_TRUE(DeleteFile(data.Path() + "/condb20._db"));
  TFakeServices fake;
  fake.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
  CreateProgramForms(*Application);
  EXPECT_GT(fake.TerminateRequests, 0);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_FALSE(MainForm->ConTable->Active());
  MainForm->Show();  // the first activation finds nothing to open and opens nothing
  EXPECT_FALSE(MainForm->NoteTable->Active());
  DestroyProgramForms();
}

// A data folder whose system name has no CP949 form cannot be named inside the program: the
// user is told its name and the program ends, rather than working under some other name.
TEST(NoteBookStartFailure, ADataFolderWithoutACp949NameIsNamedAndNothingIsTouched) {
  TDataFolder data("memo\xF0\x9F\x98\x80");
  TFakeServices fake;
  fake.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
  CreateProgramForms(*Application);
  MainForm->Show();
  Application->ProcessMessages();
  EXPECT_GT(fake.TerminateRequests, 0);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_NE(fake.Boxes[0].Text.find("orv_app_memo?_"), std::string::npos) << cp949::ToUtf8(fake.Boxes[0].Text);
  EXPECT_NE(fake.Boxes[0].Text.find("U+1F600"), std::string::npos);
  EXPECT_FALSE(MainForm->NoteTable->Active());
  EXPECT_TRUE(data.Has("condb20._db")) << "nothing renamed";
  EXPECT_FALSE(data.Has("condb20.dbf"));
  DestroyProgramForms();
}

TEST(NoteBookStartFailure, WithoutTheEngineTheProgramEndsBeforeTouchingAFile) {
  TDataFolder data("noengine");
  ReleaseEngine();
  {
    TFakeServices fake;
    fake.Loader.PointAtFolder(data.Path());  // no engine library here
    EXPECT_EQ(RunProgram(*Application), 1) << "the program ends with a failure status";
    EXPECT_GT(fake.TerminateRequests, 0);
    ASSERT_EQ(fake.Boxes.size(), 1u) << "the user is told once";
    EXPECT_NE(fake.Boxes[0].Text.find("XBENG61.DLL"), std::string::npos);
    EXPECT_TRUE(data.Has("condb20._db")) << "nothing renamed";
    DestroyProgramForms();
  }
  EnsureEngineLoaded();  // the program's own loader again, for the tests that follow
  ASSERT_TRUE(XbEngineReady());
}

}  // namespace
}  // namespace nbtest
