// Recording stand-ins for the UI services, for tests: dialogs answered from queues, shell
// opens, sounds and help requests recorded. Constructing a TFakeDialogs installs it as the
// dialog, shell, sound and help service; destroying it puts back what was there before.
//
//   TFakeDialogs dialogs;
//   dialogs.Files.push_back("/tmp/a.txt");    // the next file dialog chooses this file
//   dialogs.Files.push_back(std::nullopt);    // the one after that is cancelled
//   dialogs.Inputs.push_back("abc");          // the next input box answers "abc"
//   ... run the code ...
//   EXPECT_EQ(dialogs.Opened, std::vector<std::string>{"mailto:a@b.c"});
//
// An empty queue cancels.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Dialogs.h"
#include "platform/ui/ShellApi.h"

struct TFontChoice {
  std::string Name;
  int Size = 9;
  TFontStyles Style;
  TColor Color = clBlack;
};

class TFakeDialogs : public IDialogService,
                     public IShellService,
                     public ISoundService,
                     public IHelpService {
 public:
  TFakeDialogs();
  ~TFakeDialogs() override;
  TFakeDialogs(const TFakeDialogs&) = delete;
  TFakeDialogs& operator=(const TFakeDialogs&) = delete;

  bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) override;
  bool ChooseFile(TFileDialogRequest& Request) override;
  bool ChooseFont(TFont& Font) override;
  bool ChooseFolder(const std::string& Caption, std::string& Folder) override;
  bool PrinterSetup() override;
  bool Open(const std::string& Target, intptr_t OwnerWindow) override;
  bool PlayWave(const std::string& FileName) override;
  void Stop() override { ++Stops; }
  std::string LastError() const override { return std::string(); }
  bool Help(const std::string& HelpFile, unsigned Command, const std::string& Data) override;

  // Answers.
  std::deque<std::optional<std::string>> Inputs;
  std::deque<std::optional<std::string>> Files;
  std::deque<std::optional<TFontChoice>> Fonts;
  std::deque<std::optional<std::string>> Folders;
  bool PrinterSetupAnswer = false;
  bool OpenAnswer = true;

  // Records.
  struct InputCall { std::string Caption, Prompt, Default; };
  std::vector<InputCall> InputCalls;
  std::vector<TFileDialogRequest> FileRequests;
  std::vector<std::string> FontRequests;  // the font name each font dialog started from
  std::vector<std::string> Opened;
  std::vector<std::string> Played;
  std::vector<std::pair<std::string, unsigned>> HelpCalls;
  int PrinterSetups = 0;
  int Stops = 0;

 private:
  IDialogService* FOldDialogs;
  IShellService* FOldShell;
  ISoundService* FOldSound;
  IHelpService* FOldHelp;
};
