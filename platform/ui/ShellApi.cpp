// Shell open through xdg-open, the silent wave player and the help stand-in.
#include "platform/ui/ShellApi.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QUrl>
#include <cstring>
#include <fstream>
#include <utility>

#include "platform/core/OsText.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/QtText.h"

extern char** environ;

IShellService::~IShellService() = default;
ISoundService::~ISoundService() = default;
IHelpService::~IHelpService() = default;

namespace {
IShellService* g_shell = nullptr;
ISoundService* g_sound = nullptr;
IHelpService* g_help = nullptr;

TXdgShellService& BuiltInShell() { static TXdgShellService s; return s; }
TSilentWavePlayer& BuiltInSound() { static TSilentWavePlayer s; return s; }
TNoViewerHelpService& BuiltInHelp() { static TNoViewerHelpService s; return s; }

bool IsUrl(const std::string& t) {
  std::string l = LowerCase(t);
  return l.rfind("http:", 0) == 0 || l.rfind("https:", 0) == 0 || l.rfind("mailto:", 0) == 0 ||
         l.rfind("ftp:", 0) == 0 || l.rfind("www.", 0) == 0 || l.rfind("file:", 0) == 0;
}

// Starts xdg-open on a file's name as the system has it and does not wait for it; the middle
// child exits at once so no zombie is left.
bool SpawnXdgOpen(const std::string& target) {
  // Everything the child needs is made before the fork.
  std::string arg = ostext::SystemPath(target);
  char prog[] = "xdg-open";
  char* argv[] = {prog, arg.data(), nullptr};
  pid_t mid = fork();
  if (mid < 0) return false;
  if (mid == 0) {
    pid_t pid;
    int rc = posix_spawnp(&pid, prog, nullptr, nullptr, argv, environ);
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(mid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

IShellService* SetShellService(IShellService* s) { return std::exchange(g_shell, s); }
ISoundService* SetSoundService(ISoundService* s) { return std::exchange(g_sound, s); }
IHelpService* SetHelpService(IHelpService* s) { return std::exchange(g_help, s); }
IShellService& ShellService() { return g_shell ? *g_shell : BuiltInShell(); }
ISoundService& SoundService() { return g_sound ? *g_sound : BuiltInSound(); }
IHelpService& HelpService() { return g_help ? *g_help : BuiltInHelp(); }

intptr_t ShellExecute(intptr_t Window, const std::string& Operation, const std::string& File,
                      const std::string& Parameters, const std::string& Directory, int ShowCmd) {
  std::string target = File;
  if (!IsUrl(File) && !Directory.empty() && !File.empty() && File[0] != '/')
    target = IncludeTrailingPathDelimiter(Directory) + File;
  if (!Operation.empty() && LowerCase(Operation) != "open") return 31;  // no association
  return ShellService().Open(target, Window) ? 42 : 2;
}

bool TXdgShellService::Open(const std::string& Target, intptr_t) {
  std::string t = Trim(Target);
  if (t.empty()) return false;
  if (IsUrl(t)) {
    QString u = orv::ToQ(t);
    if (u.startsWith("www.", Qt::CaseInsensitive)) u.prepend("http://");
    return QDesktopServices::openUrl(QUrl(u, QUrl::TolerantMode));
  }
  // Links written on the other system use '\' between folders; two in a row are one.
  std::string path;
  for (char c : t) {
    char d = c == '\\' ? '/' : c;
    if (d == '/' && !path.empty() && path.back() == '/') continue;
    path += d;
  }
  return SpawnXdgOpen(path);
}

bool IsWaveFile(const std::string& FileName) {
  std::ifstream in(ostext::SystemPath(FileName), std::ios::binary);
  char head[12];
  if (!in.read(head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return false;
  bool fmt = false;
  char chunk[8];
  while (in.read(chunk, 8)) {
    uint32_t size = static_cast<unsigned char>(chunk[4]) | static_cast<unsigned char>(chunk[5]) << 8 |
                    static_cast<unsigned char>(chunk[6]) << 16 |
                    static_cast<uint32_t>(static_cast<unsigned char>(chunk[7])) << 24;
    if (std::memcmp(chunk, "fmt ", 4) == 0) fmt = size >= 16;
    if (std::memcmp(chunk, "data", 4) == 0) return fmt;
    in.seekg(size + (size & 1), std::ios::cur);
  }
  return false;
}

bool TSilentWavePlayer::PlayWave(const std::string& FileName) {
  if (!IsWaveFile(FileName)) {
    FLastError = "not a wave file: " + FileName;
    return false;
  }
  FLastError = "no audio output on this system; " + FileName + " is not played";
  return false;
}

bool PlaySound(const std::string& FileName, unsigned) { return SoundService().PlayWave(FileName); }

bool TNoViewerHelpService::Help(const std::string& HelpFile, unsigned Command, const std::string&) {
  if (Command == HELP_QUIT) return true;
  MessageBox(cp949::K("도움말 파일 ") + HelpFile +
                 cp949::K(" 을(를) 볼 수 있는 프로그램이 이 시스템에 없습니다."),
             ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
  return false;
}

bool WinHelp(intptr_t, const std::string& HelpFile, unsigned Command, const std::string& Data) {
  return HelpService().Help(HelpFile, Command, Data);
}
