// Message dialogs, file and font dialogs, shell, sound and help through their services, so
// nothing here opens a real modal window.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/core/FakeServices.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FakeDialogs.h"
#include "platform/ui/MPlayer.h"
#include "platform/ui/ShellApi.h"

using cp949::K;

namespace {

std::string TempDir() {
  auto d = std::filesystem::temp_directory_path() / ("orv-ui-" + std::to_string(::getpid()));
  std::filesystem::create_directories(d);
  return d.string() + "/";
}

TEST(MessageDlgTest, ButtonsIconsAndAnswersGoThroughTheMessageBoxService) {
  TFakeServices fake;
  fake.Answers = {IDYES, IDNO};
  EXPECT_EQ(MessageDlg(K(" 삭제 할까요?"), mtConfirmation, {mbYes, mbNo}, 0), mrYes);
  EXPECT_EQ(MessageDlg("x", mtWarning, {mbYes, mbNo, mbCancel}, 0), mrNo);
  EXPECT_EQ(MessageDlg("y", mtInformation, {mbOK}, 0), mrOk);
  ASSERT_EQ(fake.Boxes.size(), 3u);
  EXPECT_EQ(fake.Boxes[0].Text, K(" 삭제 할까요?"));
  EXPECT_EQ(fake.Boxes[0].Flags, unsigned(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(fake.Boxes[1].Flags, unsigned(MB_YESNOCANCEL | MB_ICONWARNING));
  EXPECT_EQ(fake.Boxes[2].Flags, unsigned(MB_OK | MB_ICONINFORMATION));
}

TEST(FileDialogTest, DefaultExtensionAndOverwritePrompt) {
  TFakeServices fake;
  TFakeDialogs dialogs;
  std::string dir = TempDir();
  std::ofstream(dir + "FTXT1.TXT") << "old";
  TSaveDialog save(nullptr);
  save.FileName = "FTXT1.TXT";
  save.DefaultExt = "TXT";
  save.Filter = "Text files|*.TXT";
  save.Options |= ofOverwritePrompt;
  // The existing file is refused once (No asks again), then accepted; a new name takes the
  // default extension without a question.
  dialogs.Files = {dir + "FTXT1.TXT", dir + "FTXT1.TXT"};
  fake.Answers = {IDNO, IDYES};
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, dir + "FTXT1.TXT");
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_NE(fake.Boxes[0].Text.find(dir + "FTXT1.TXT"), std::string::npos);
  EXPECT_EQ(fake.Boxes[0].Flags, unsigned(MB_YESNO | MB_ICONWARNING));
  ASSERT_EQ(dialogs.FileRequests.size(), 2u);
  EXPECT_TRUE(dialogs.FileRequests[0].Save);
  EXPECT_EQ(dialogs.FileRequests[0].Filter, "Text files|*.TXT");

  dialogs.Files = {dir + "fresh"};
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, dir + "fresh.TXT");
  EXPECT_EQ(fake.Boxes.size(), 2u);

  // Cancel keeps the old name.
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, dir + "fresh.TXT");

  TOpenDialog open(nullptr);
  open.Filter = K("텍스트|*.TXT");
  open.DefaultExt = "TXT";
  dialogs.Files = {dir + "note"};
  EXPECT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, dir + "note.TXT");
  std::filesystem::remove_all(dir);
}

TEST(FontDialogTest, StartsFromTheFontAndTakesTheChoice) {
  TFakeDialogs dialogs;
  TFontDialog fd(nullptr);
  fd.Font().SetName(K("굴림체"));
  dialogs.Fonts = {TFontChoice{K("바탕"), 12, {fsBold}, clRed}, std::nullopt};
  EXPECT_TRUE(fd.Execute());
  EXPECT_EQ(dialogs.FontRequests, std::vector<std::string>{K("굴림체")});
  EXPECT_EQ(fd.Font().Name(), K("바탕"));
  EXPECT_EQ(fd.Font().Size(), 12);
  EXPECT_TRUE(fd.Font().Style().Contains(fsBold));
  EXPECT_EQ(fd.Font().Color(), clRed);
  EXPECT_FALSE(fd.Execute());
  EXPECT_EQ(fd.Font().Name(), K("바탕"));
}

TEST(InputBoxTest, AnswerOrDefault) {
  TFakeDialogs dialogs;
  dialogs.Inputs = {K("가나"), std::nullopt};
  EXPECT_EQ(InputBox(K("빠른이동"), K("이동할 첫단어를 입력하세요."), ""), K("가나"));
  EXPECT_EQ(InputBox("c", "p", "def"), "def");
  ASSERT_EQ(dialogs.InputCalls.size(), 2u);
  EXPECT_EQ(dialogs.InputCalls[0].Caption, K("빠른이동"));
}

TEST(ShellTest, OpenIsRecordedAndJoinsTheDirectory) {
  TFakeDialogs dialogs;
  EXPECT_GT(ShellExecute(0, "open", "mailto:a@b.c", "", "", SW_SHOWNORMAL), 32);
  EXPECT_GT(ShellExecute(0, "open", "pic.gif", "", "/data/links", SW_SHOWNORMAL), 32);
  dialogs.OpenAnswer = false;
  EXPECT_EQ(ShellExecute(0, "open", "missing", "", "", SW_SHOWNORMAL), 2);
  EXPECT_EQ(dialogs.Opened,
            (std::vector<std::string>{"mailto:a@b.c", "/data/links/pic.gif", "missing"}));
}

TEST(HelpTest, NoViewerSaysSoInAMessageBox) {
  TFakeServices fake;
  EXPECT_FALSE(WinHelp(0, "ohelp.hlp", HELP_KEY, "CONTENTS"));
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_NE(fake.Boxes[0].Text.find("ohelp.hlp"), std::string::npos);
}

TEST(SoundTest, WaveFilesAreCheckedAndThePlayerSaysItHasNoOutput) {
  std::string dir = TempDir();
  {
    std::ofstream w(dir + "ORVEL.WAV", std::ios::binary);
    const char hdr[] = "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0data\0\0\0\0";
    w.write(hdr, sizeof hdr - 1);
    std::ofstream(dir + "bad.wav") << "not a wave";
  }
  EXPECT_TRUE(IsWaveFile(dir + "ORVEL.WAV"));
  EXPECT_FALSE(IsWaveFile(dir + "bad.wav"));
  EXPECT_FALSE(IsWaveFile(dir + "none.wav"));

  TMediaPlayer player(nullptr);
  player.FileName = dir + "bad.wav";
  EXPECT_THROW(player.Open(), EMCIDeviceError);
  player.FileName = dir + "ORVEL.WAV";
  player.Open();
  player.Play();  // the built-in player has no output here
  EXPECT_EQ(player.Error(), 1);
  EXPECT_NE(player.ErrorMessage().find("no audio output"), std::string::npos);
  {
    TFakeDialogs dialogs;
    player.Play();
    EXPECT_EQ(player.Error(), 0);
    EXPECT_EQ(dialogs.Played, std::vector<std::string>{dir + "ORVEL.WAV"});
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
