// The settings dialog shown from the main window's "환경설정" button and driven while it is up,
// with the header record and the settings record read back from disk afterwards: labels cut
// on character boundaries, protection, link folder (typed and chosen in the folder panel),
// body font and colour; cancel; a lock held by another process; the note file reopened.
#include <QTest>

#include <filesystem>

#include "NoteBookFixture.h"
#include "app/SetForm.h"
#include "app/Udf.h"
#include "platform/core/TextCodec.h"
#include "support/ForkedLockHolder.h"

using cp949::K;

namespace nbtest {

namespace {

const std::vector<TNote> kNotes = {{"n1", "a", "", "", "body one"}, {"n2", "b", "", "", "body two"}};

class SetFormTest : public NoteBookTest {
 protected:
  void StartOn(const std::string& lock) {
    UseNoteFile(data.Path(), kNotes, lock);
    Start();
    ASSERT_TRUE(MainForm->NoteTable->Active());
  }
  // Shows the dialog from its button; act drives it while it is up. The dialog's own result
  // stands (the hook would otherwise answer cancel).
  void ShowDialog(std::function<void()> act) {
    answer = [act](TCustomForm& f) {
      if (&f == SetForm) act();
      return f.ModalResult() == mrNone ? mrCancel : f.ModalResult();
    };
    MainForm->SetBtn->Click();
  }
  std::string Field(const std::string& table, const std::string& field) {
    std::string v = ReadField(data.Path(), table, 1, field);
    // The engine's deleted-record switch is process-wide: hide deleted records again.
    TXbEnv env;
    env.SetDeleted(true);
    return v;
  }
  std::string Header(const std::string& field) { return Field("notes.dbf", field); }
  std::string Setting(const std::string& field) { return Field("condb20.dbf", field); }
  int LockMessages() const {
    int n = 0;
    for (const TMessageBoxCall& b : fake.Boxes) n += b.Text == kRecordLockFailed;
    return n;
  }
};

TEST_F(SetFormTest, StoresLabelsProtectionLinkFolderAndBodyFont) {
  StartOn(" ");
  const std::string printStyle = Setting("FType2");
  ShowDialog([this] {
    // Opened on what the main window shows.
    EXPECT_EQ(SetForm->Edit1->Text(), "T1");
    EXPECT_EQ(SetForm->Edit4->Text(), "T4");
    EXPECT_EQ(SetForm->LinkPathEd->Text(), "");
    EXPECT_FALSE(SetForm->ReadOnlyChk->Checked());
    EXPECT_FALSE(SetForm->ImagePan->Visible());
    EXPECT_EQ(SetForm->Memo1->Font().Name(), MainForm->TempEd->Font().Name());

    SetForm->Edit1->SetText(K("가나다"));
    SetForm->Edit2->SetText("ABCDEFGHIJ");
    SetForm->Edit3->SetText(K("A가나다라"));  // the fourth syllable straddles the eighth byte
    SetForm->Edit4->SetText("");
    SetForm->ReadOnlyChk->SetChecked(true);
    SetForm->LinkPathEd->SetText("./links");
    dialogs.Fonts.push_back(TFontChoice{"Serif", 14, TFontStyles{fsBold}, clRed});
    SetForm->Button3->Click();
    EXPECT_EQ(SetForm->Memo1->Font().Name(), "Serif");
    SetForm->Ok->Click();
  });
  EXPECT_EQ(LockMessages(), 0);

  const std::string labels = K("가나다") + "  ABCDEFGH" + K("A가나다") + " " + std::string(8, ' ');
  EXPECT_EQ(Header("tit1"), labels + std::string(60 - 32, ' '));
  EXPECT_EQ(Header("lock"), "1");
  EXPECT_EQ(Trim(Header("tit3")), "./links");
  EXPECT_EQ(Trim(Header("tit2")), "desc") << "the description is not the dialog's";
  EXPECT_EQ(Trim(Setting("font3")), "Serif");
  EXPECT_EQ(Trim(Setting("fsize3")), "14");
  EXPECT_EQ(Setting("ftype3"), "1");
  EXPECT_EQ(Trim(Setting("scolor")), "9");
  EXPECT_EQ(Setting("FType2"), printStyle) << "the print body style keeps its own field";

  // The main window reopened the file with what was stored.
  EXPECT_EQ(MainForm->Label1->Caption(), K("가나다") + "  ");
  EXPECT_EQ(MainForm->Label2->Caption(), "ABCDEFGH");
  EXPECT_TRUE(MainForm->memo1->ReadOnly());
  EXPECT_TRUE(MainForm->Edit1->ReadOnly());
  EXPECT_FALSE(MainForm->SpeedButton2->Enabled());
  EXPECT_EQ(MainForm->SBar->Panels()[1].Text(), K("쓰기방지"));
  EXPECT_EQ(LinkDir, MainForm->DataFolder + "/links");
  EXPECT_EQ(MainForm->memo1->Font().Name(), "Serif");
  EXPECT_EQ(MainForm->TempEd->Font().Size(), 14);
  EXPECT_EQ(Trim(MainForm->NoteTable->GetString("tit1")), "n1") << "standing on a note, not on the header";
}

TEST_F(SetFormTest, UnprotectingAndAnOddColourSurviveARestart) {
  StartOn("1");
  ShowDialog([this] {
    EXPECT_TRUE(SetForm->ReadOnlyChk->Checked()) << "the file is protected";
    SetForm->ReadOnlyChk->SetChecked(false);
    dialogs.Fonts.push_back(TFontChoice{"Monospace", 12, TFontStyles{}, RGB(1, 2, 3)});
    SetForm->Button3->Click();
    SetForm->Ok->Click();
  });
  EXPECT_EQ(Header("lock"), " ");
  EXPECT_EQ(Trim(Setting("scolor")), "clBlack");
  EXPECT_EQ(Setting("ftype3"), " ");
  EXPECT_FALSE(MainForm->memo1->ReadOnly());
  EXPECT_FALSE(MainForm->Edit1->ReadOnly());
  EXPECT_TRUE(MainForm->SpeedButton2->Enabled());
  EXPECT_EQ(MainForm->SBar->Panels()[1].Text(), "");

  Close();
  Start();
  EXPECT_EQ(MainForm->TempEd->Font().Name(), "Monospace");
  EXPECT_EQ(MainForm->TempEd->Font().Size(), 12);
  EXPECT_FALSE(MainForm->TempEd->Font().Style().Contains(fsBold));
  EXPECT_EQ(MainForm->TempEd->Font().Color(), clBlack) << "an odd colour reads back as black";
}

TEST_F(SetFormTest, CancelWritesNothing) {
  StartOn(" ");
  const std::string tit1 = Header("tit1"), tit3 = Header("tit3"), lock = Header("lock");
  const std::string font3 = Setting("font3"), scolor = Setting("scolor");
  ShowDialog([this] {
    SetForm->Edit1->SetText("changed");
    SetForm->ReadOnlyChk->SetChecked(true);
    SetForm->LinkPathEd->SetText("/elsewhere");
    dialogs.Fonts.push_back(TFontChoice{"Serif", 20, TFontStyles{fsBold}, clLime});
    SetForm->Button3->Click();
    SetForm->CancelBtn->Click();
  });
  EXPECT_EQ(Header("tit1"), tit1);
  EXPECT_EQ(Header("tit3"), tit3);
  EXPECT_EQ(Header("lock"), lock);
  EXPECT_EQ(Setting("font3"), font3);
  EXPECT_EQ(Setting("scolor"), scolor);
  EXPECT_NE(MainForm->memo1->Font().Name(), "Serif");
  EXPECT_FALSE(MainForm->memo1->ReadOnly());
  EXPECT_EQ(shown, std::vector<std::string>{"SetForm"});
}

TEST_F(SetFormTest, ARefusedLockLeavesThatRecordAndTheOtherWritesGoOn) {
  StartOn(" ");
  const std::string tit1 = Header("tit1"), lock = Header("lock"), font3 = Setting("font3");
  // A refusal is what matters here, not how long the engine waits for the lock.
  TXbEnv quick;
  quick.SetLockTimeOut(0);
  {
    // Another copy holds the header: its three fields stay, the settings are written.
    TForkedLockHolder other(data.Path() + "/notes.dbf", 1);
    ASSERT_TRUE(other.Holding());
    ShowDialog([] {
      SetForm->Edit1->SetText("L1");
      SetForm->ReadOnlyChk->SetChecked(true);
      SetForm->LinkPathEd->SetText("./x");
      SetForm->Ok->Click();
    });
    EXPECT_EQ(LockMessages(), 3);
  }
  EXPECT_EQ(Header("tit1"), tit1);
  EXPECT_EQ(Header("lock"), lock);
  EXPECT_EQ(Trim(Header("tit3")), "");
  EXPECT_EQ(Setting("font3"), font3) << "nothing chosen, the same font stored";
  EXPECT_EQ(MainForm->Label1->Caption(), StrPadR("T1", 8)) << "the reopened file shows what is stored";
  EXPECT_FALSE(MainForm->memo1->ReadOnly());

  fake.Boxes.clear();
  {
    // Another copy holds the settings: the header is written, the four settings stay.
    TForkedLockHolder other(data.Path() + "/condb20.dbf", 1);
    ASSERT_TRUE(other.Holding());
    ShowDialog([this] {
      SetForm->Edit1->SetText("L1");
      dialogs.Fonts.push_back(TFontChoice{"Serif", 20, TFontStyles{fsBold}, clLime});
      SetForm->Button3->Click();
      SetForm->Ok->Click();
    });
    EXPECT_EQ(LockMessages(), 4);
  }
  EXPECT_EQ(Header("tit1").substr(0, 8), "L1      ");
  EXPECT_EQ(Setting("font3"), font3);
  EXPECT_EQ(Trim(MainForm->NoteTable->GetString("tit1")), "n2") << "back on the last note";
  quick.SetLockTimeOut(1);
}

TEST_F(SetFormTest, TypedLabelsAndEnterMovingOn) {
  StartOn(" ");
  ShowDialog([] {
    SetForm->Edit1->SetFocus();
    SetForm->Edit1->SelectAll();
    QTest::keyClicks(SetForm->Edit1->Widget(), "ABCDEFGHIJ");
    EXPECT_EQ(SetForm->Edit1->Text(), "ABCDEFGH") << "the first label takes 8 bytes";
    QTest::keyClick(SetForm->Edit1->Widget(), Qt::Key_Return);
    EXPECT_EQ(SetForm->ActiveControl(), SetForm->Edit2) << "Enter moves on and closes nothing";
    EXPECT_EQ(SetForm->ModalResult(), mrNone);
    SetForm->Edit2->SelectAll();
    QTest::keyClicks(SetForm->Edit2->Widget(), "second");
    SetForm->Ok->Click();
  });
  EXPECT_EQ(Header("tit1").substr(0, 16), "ABCDEFGHsecond  ");
  EXPECT_EQ(MainForm->Label2->Caption(), "second  ");
}

TEST_F(SetFormTest, WithASearchInForceTheHeaderIsStillTheOneWritten) {
  StartOn(" ");
  ASSERT_TRUE(MainForm->ApplySearch("'n2' $ tit1"));
  ShowDialog([] {
    SetForm->Edit3->SetText("third");
    SetForm->LinkPathEd->SetText("./q");
    SetForm->Ok->Click();
  });
  EXPECT_EQ(Header("tit1").substr(16, 8), "third   ");
  EXPECT_EQ(Trim(Header("tit3")), "./q");
  EXPECT_EQ(Trim(Field("notes.dbf", "tit1")), Trim(Header("tit1"))) << "record 1, the header";
  auto t = OpenTable(data.Path(), "notes.dbf");
  t->SetRecNo(3);
  EXPECT_EQ(Trim(t->GetString("tit3")), "") << "no note took the link folder";
  t->SetRecNo(2);
  EXPECT_EQ(Trim(t->GetString("tit3")), "");
  t->Close();
  TXbEnv env;
  env.SetDeleted(true);
  EXPECT_EQ(Trim(MainForm->NoteTable->GetString("tit1")), "n2");
}

TEST_F(SetFormTest, Folder) {
  StartOn(" ");
  const std::string pics = MainForm->DataFolder + "/pics";
  std::filesystem::create_directory(pics);
  if (pics.size() > 40) GTEST_SKIP() << "the temporary folder's path is longer than the field";
  ShowDialog([&] {
    SetForm->Button1->Click();
    EXPECT_TRUE(SetForm->ImagePan->Visible());
    EXPECT_EQ(SetForm->ImagePan->Left(), 90);
    SetForm->DirListBox->SetDirectory(pics);
    EXPECT_EQ(SetForm->dirLA->Caption(), pics);
    SetForm->OKBtn->Click();
    EXPECT_FALSE(SetForm->ImagePan->Visible());
    EXPECT_EQ(SetForm->LinkPathEd->Text(), pics);
    SetForm->Ok->Click();
  });
  EXPECT_EQ(Trim(Header("tit3")), pics);
  EXPECT_EQ(LinkDir, pics);
  EXPECT_EQ(GetCurrentDir(), MainForm->DataFolder) << "the data folder is current again";
}

TEST_F(SetFormTest, ALinkFolderTooLongForTheFieldIsRefusedWithNothingWritten) {
  StartOn(" ");
  const std::string tit1 = Header("tit1");
  const std::string longPath = "/" + std::string(40, 'p');
  ShowDialog([&] {
    SetForm->Edit1->SetText("new");
    SetForm->LinkPathEd->SetText(longPath);
    SetForm->Ok->Click();
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_NE(fake.Boxes[0].Text.find("40"), std::string::npos) << fake.Boxes[0].Text;
    EXPECT_EQ(SetForm->ModalResult(), mrNone) << "the dialog stays open";
    EXPECT_EQ(Header("tit1"), tit1);
    EXPECT_EQ(Trim(Header("tit3")), "");

    SetForm->LinkPathEd->SetText(longPath.substr(0, 40));
    SetForm->Ok->Click();
    EXPECT_EQ(SetForm->ModalResult(), mrOk);
  });
  EXPECT_EQ(Header("tit3"), longPath.substr(0, 40));
  EXPECT_EQ(Header("tit1").substr(0, 8), "new     ");
}

}  // namespace
}  // namespace nbtest
