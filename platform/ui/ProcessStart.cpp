// Starting another program without waiting for it (ProcessStart.h).
#include "platform/ui/ProcessStart.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "platform/core/OsText.h"
#include "platform/core/SysUtils.h"

extern char** environ;

IProcessStartService::~IProcessStartService() = default;

namespace {

IProcessStartService* g_processStart = nullptr;

TSpawnProcessStart& BuiltInProcessStart() {
  static TSpawnProcessStart s;
  return s;
}

}  // namespace

IProcessStartService* SetProcessStartService(IProcessStartService* Service) {
  return std::exchange(g_processStart, Service);
}

IProcessStartService& ProcessStartService() { return g_processStart ? *g_processStart : BuiltInProcessStart(); }

unsigned WinExec(const std::string& CommandLine, int ShowCmd) {
  if (SplitCommandLine(CommandLine).empty()) return 2;
  return ProcessStartService().Start(CommandLine, ShowCmd) ? 33 : 2;
}

std::vector<std::string> SplitCommandLine(const std::string& CommandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : CommandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

bool TSpawnProcessStart::Start(const std::string& CommandLine, int) {
  std::vector<std::string> words = SplitCommandLine(CommandLine);
  if (words.empty()) return false;
  // The program and its arguments (file names) as the system names them.
  for (std::string& w : words) w = ostext::SystemPath(w);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // An intermediate child starts the program and ends at once, so the program belongs to
  // init and nobody has to wait for it; its exit status says whether the start worked.
  const pid_t middle = fork();
  if (middle < 0) return false;
  if (middle == 0) {
    pid_t program = 0;
    const int rc = posix_spawnp(&program, argv[0], nullptr, nullptr, argv.data(), environ);
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  if (waitpid(middle, &status, 0) != middle) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TRecordingProcessStart::TRecordingProcessStart() : FOld(SetProcessStartService(this)) {}

TRecordingProcessStart::~TRecordingProcessStart() { SetProcessStartService(FOld); }

bool TRecordingProcessStart::Start(const std::string& CommandLine, int ShowCmd) {
  Calls.push_back({CommandLine, ShowCmd, GetCurrentDir()});
  return Answer;
}
