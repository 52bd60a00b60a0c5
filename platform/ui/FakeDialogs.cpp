// The recording UI services of the tests.
#include "platform/ui/FakeDialogs.h"

TFakeDialogs::TFakeDialogs()
    : FOldDialogs(SetDialogService(this)),
      FOldShell(SetShellService(this)),
      FOldSound(SetSoundService(this)),
      FOldHelp(SetHelpService(this)) {}

TFakeDialogs::~TFakeDialogs() {
  SetDialogService(FOldDialogs);
  SetShellService(FOldShell);
  SetSoundService(FOldSound);
  SetHelpService(FOldHelp);
}

namespace {
template <class T>
std::optional<T> Next(std::deque<std::optional<T>>& q) {
  if (q.empty()) return std::nullopt;
  std::optional<T> v = q.front();
  q.pop_front();
  return v;
}
}  // namespace

bool TFakeDialogs::InputQuery(const std::string& Caption, const std::string& Prompt,
                              std::string& Value) {
  InputCalls.push_back({Caption, Prompt, Value});
  auto a = Next(Inputs);
  if (!a) return false;
  Value = *a;
  return true;
}

bool TFakeDialogs::ChooseFile(TFileDialogRequest& Request) {
  FileRequests.push_back(Request);
  auto a = Next(Files);
  if (!a) return false;
  Request.FileName = *a;
  return true;
}

bool TFakeDialogs::ChooseFont(TFont& Font) {
  FontRequests.push_back(Font.Name());
  auto a = Next(Fonts);
  if (!a) return false;
  Font.SetName(a->Name);
  Font.SetSize(a->Size);
  Font.SetStyle(a->Style);
  Font.SetColor(a->Color);
  return true;
}

bool TFakeDialogs::ChooseFolder(const std::string&, std::string& Folder) {
  auto a = Next(Folders);
  if (!a) return false;
  Folder = *a;
  return true;
}

bool TFakeDialogs::PrinterSetup() {
  ++PrinterSetups;
  return PrinterSetupAnswer;
}

bool TFakeDialogs::Open(const std::string& Target, intptr_t) {
  Opened.push_back(Target);
  return OpenAnswer;
}

bool TFakeDialogs::PlayWave(const std::string& FileName) {
  Played.push_back(FileName);
  return true;
}

bool TFakeDialogs::Help(const std::string& HelpFile, unsigned Command, const std::string&) {
  HelpCalls.emplace_back(HelpFile, Command);
  return true;
}
