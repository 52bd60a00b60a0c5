// The program on a real X server with a window manager that frames its windows (Xvfb and
// openbox, started here on a free display): a window started, moved, closed and started again
// stands where it stood, at its size, over several starts, and a dialog opened again stands
// where it was, at its size. The headless platform has no frames, so only this shows it.
//
// With ORV_DESKTOP_SHOTS naming a folder, a screenshot of each step goes there (ImageMagick).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A program on the path, or "" when there is none.
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream parts(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(parts, dir, ':');)
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return std::string();
}

// The argument and environment arrays of a spawn, over the strings given.
struct TSpawnArgs {
  TSpawnArgs(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
  }
  std::vector<char*> args, envp;
};

// A child process, ended (TERM, then KILL) when the object goes. It inherits every descriptor
// that is not close-on-exec (Xvfb is handed the one to name its display on).
class TChild {
 public:
  TChild() = default;
  TChild(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& dir = {}) {
    TSpawnArgs a(argv, env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int quiet = ::open("/dev/null", O_WRONLY);
    posix_spawn_file_actions_adddup2(&actions, quiet, 1);
    posix_spawn_file_actions_adddup2(&actions, quiet, 2);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    if (posix_spawn(&FPid, argv[0].c_str(), &actions, nullptr, a.args.data(), a.envp.data()) != 0) FPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(quiet);
  }
  TChild(TChild&& o) noexcept : FPid(o.FPid) { o.FPid = -1; }
  TChild& operator=(TChild&& o) noexcept {
    std::swap(FPid, o.FPid);
    return *this;
  }
  ~TChild() { Stop(); }

  pid_t Pid() const { return FPid; }
  bool Running() {
    if (FPid <= 0) return false;
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      return false;
    }
    return true;
  }
  // Waits at most Ms for the child to end by itself.
  bool WaitExit(int Ms) {
    for (const auto end = Clock::now() + milliseconds(Ms); Clock::now() < end;) {
      if (!Running()) return true;
      std::this_thread::sleep_for(milliseconds(20));
    }
    return !Running();
  }
  void Stop() {
    if (!Running()) return;
    ::kill(FPid, SIGTERM);
    if (!WaitExit(2000)) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    FPid = -1;
  }

 private:
  pid_t FPid = -1;
};

// Runs a command to its end (at most 10 s) and gives what it printed.
std::string Output(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  int fds[2];
  if (::pipe(fds) != 0) return std::string();
  TSpawnArgs a(argv, env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = -1;
  const bool started = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, a.args.data(), a.envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string out;
  const auto end = Clock::now() + milliseconds(10000);
  while (started && Clock::now() < end) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (started) {
    if (::waitpid(pid, nullptr, WNOHANG) == 0) ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  return out;
}

struct TRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const TRect&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TRect& r) {
  return os << r.x << "," << r.y << " " << r.w << "x" << r.h;
}

// An X server with openbox on a display of its own, and the tools that drive it.
class TDesktop {
 public:
  // False (with Why) when no X server could be started here.
  bool Start() {
    const std::string xvfb = OnPath("Xvfb");
    if (xvfb.empty()) return Fail("Xvfb is not installed");
    FXdotool = OnPath("xdotool");
    FXwininfo = OnPath("xwininfo");
    FOpenbox = OnPath("openbox");
    FImport = OnPath("import");
    FXprop = OnPath("xprop");
    int fds[2];
    if (::pipe(fds) != 0) return Fail("no pipe");
    // Xvfb picks a free display itself and names it on the descriptor.
    FServer = TChild({xvfb, "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                     BaseEnv());
    ::close(fds[1]);
    std::string number;
    const auto end = Clock::now() + milliseconds(10000);
    while (Clock::now() < end && number.find('\n') == std::string::npos) {
      pollfd p{fds[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) {
        if (!FServer.Running()) break;
        continue;
      }
      char c[16];
      const ssize_t n = ::read(fds[0], c, sizeof c);
      if (n <= 0) break;
      number.append(c, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (number.empty() || number[0] < '0' || number[0] > '9') return Fail("Xvfb did not start");
    FDisplay = ":" + number.substr(0, number.find('\n'));
    return true;
  }

  // The window manager, running once its check window is up; false when it is missing.
  bool StartWindowManager() {
    if (FOpenbox.empty() || FXdotool.empty() || FXwininfo.empty() || FXprop.empty()) return false;
    FWm = TChild({FOpenbox}, Env());
    for (const auto end = Clock::now() + milliseconds(10000); Clock::now() < end;) {
      if (Output({FXprop, "-root", "_NET_SUPPORTING_WM_CHECK"}, Env())
              .find("window id") != std::string::npos)
        return true;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
  }

  const std::string& Why() const { return FWhy; }
  const std::string& Display() const { return FDisplay; }

  std::vector<std::string> Env() const {
    std::vector<std::string> env = BaseEnv();
    env.push_back("DISPLAY=" + FDisplay);
    return env;
  }

  // The visible top-level windows of a process, newest last.
  std::vector<std::string> Windows(pid_t pid) const {
    std::stringstream out(Output({FXdotool, "search", "--onlyvisible", "--pid", std::to_string(pid), "--name", "."}, Env()));
    std::vector<std::string> ids;
    for (std::string id; out >> id;) ids.push_back(id);
    return ids;
  }

  // The window's frame: the ancestor just below the root window.
  TRect Frame(const std::string& window) const {
    std::string w = window;
    for (int depth = 0; depth < 8; ++depth) {
      const std::string tree = Output({FXwininfo, "-tree", "-id", w}, Env());
      const std::string root = Field(tree, "Root window id:");
      const std::string parent = Field(tree, "Parent window id:");
      if (parent.empty() || parent == root) break;
      w = parent;
    }
    const std::string info = Output({FXwininfo, "-id", w}, Env());
    auto number = [&](const char* label) { return std::atoi(Field(info, label).c_str()); };
    return {number("Absolute upper-left X:"), number("Absolute upper-left Y:"), number("Width:"), number("Height:")};
  }

  // The frame once it stands where it is expected (a window just shown is placed by the
  // window manager first and put back by the program once its frame is known; on a busy
  // machine that can take a while), then has stood still: at most 5 s for each.
  TRect FrameOnceAt(const std::string& window, const TRect& expected) const {
    for (const auto end = Clock::now() + milliseconds(5000); Clock::now() < end && Frame(window) != expected;)
      std::this_thread::sleep_for(milliseconds(50));
    return SettledFrame(window);
  }

  // The frame once it has stood still for a while (at most 5 s).
  TRect SettledFrame(const std::string& window) const {
    TRect last = Frame(window);
    int still = 0;
    for (const auto end = Clock::now() + milliseconds(5000); Clock::now() < end && still < 4;) {
      std::this_thread::sleep_for(milliseconds(100));
      const TRect now = Frame(window);
      still = now == last ? still + 1 : 0;
      last = now;
    }
    return last;
  }

  void Xdotool(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {FXdotool};
    argv.insert(argv.end(), args.begin(), args.end());
    Output(argv, Env());
  }

  // A screenshot of the whole screen into the folder ORV_DESKTOP_SHOTS, when it is set.
  void Shot(const std::string& name) const {
    const char* folder = std::getenv("ORV_DESKTOP_SHOTS");
    if (!folder || FImport.empty()) return;
    Output({FImport, "-window", "root", std::string(folder) + "/" + name + ".png"}, Env());
  }

 private:
  bool Fail(const std::string& why) {
    FWhy = why;
    return false;
  }
  static std::vector<std::string> BaseEnv() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0 || v.rfind("XAUTHORITY=", 0) == 0) continue;
      env.push_back(v);
    }
    return env;
  }
  static std::string Field(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return std::string();
    std::stringstream rest(text.substr(at + label.size()));
    std::string v;
    rest >> v;
    return v;
  }

  std::string FWhy, FDisplay, FXdotool, FXwininfo, FXprop, FOpenbox, FImport;
  TChild FServer;
  TChild FWm;
};

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desktop.Start()) GTEST_SKIP() << "no X server can be started here: " << desktop.Why();
    ASSERT_TRUE(desktop.StartWindowManager()) << "openbox, xdotool, xwininfo and xprop come with the install step";
    folder = fs::temp_directory_path() / ("orv_desktop_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(fs::path(ORV_BINARY_DIR) / "share", folder, fs::copy_options::recursive);
  }
  void TearDown() override {
    program.Stop();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // Starts the program on the data folder; its main window, once it stands still.
  std::string StartProgram() {
    std::vector<std::string> env = desktop.Env();
    env.push_back("QT_QPA_PLATFORM=xcb");
    program = TChild({std::string(ORV_BINARY_DIR) + "/bin/orvelane"}, env, folder.string());
    for (const auto end = Clock::now() + milliseconds(15000); Clock::now() < end;) {
      const std::vector<std::string> w = desktop.Windows(program.Pid());
      if (!w.empty()) return w.front();
      if (!program.Running()) break;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return std::string();
  }

  // Closes a window as the user does (Alt+F4, through the window manager).
  void CloseWindow(const std::string& w) {
    desktop.Xdotool({"windowactivate", "--sync", w});
    desktop.Xdotool({"key", "--clearmodifiers", "alt+F4"});
  }

  // A window of the program other than the main one, once it shows (at most 10 s).
  std::string DialogOf(const std::string& main) {
    for (const auto end = Clock::now() + milliseconds(10000); Clock::now() < end;) {
      for (const std::string& w : desktop.Windows(program.Pid()))
        if (w != main) return w;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return std::string();
  }

  bool Shows(const std::string& w) {
    for (const std::string& v : desktop.Windows(program.Pid()))
      if (v == w) return true;
    return false;
  }

  TDesktop desktop;
  fs::path folder;
  TChild program;
};

TEST_F(DesktopTest, MainWindowAndDialogStandWhereTheyWereLeftOverEveryStart) {
  // Where the user leaves the window each time, client-area positions as xdotool moves it.
  const TRect moves[] = {{120, 90}, {60, 140}, {200, 60}, {33, 77}, {150, 120}};
  TRect left;  // the frame as the window was closed
  for (int round = 0; round < 5; ++round) {
    const std::string main = StartProgram();
    ASSERT_FALSE(main.empty()) << "round " << round << ": the main window did not show";
    const TRect started = round > 0 ? desktop.FrameOnceAt(main, left) : desktop.SettledFrame(main);
    desktop.Shot("start" + std::to_string(round));
    if (round > 0) {
      EXPECT_EQ(started, left) << "round " << round << ": the window stands as it was left";
    }
    EXPECT_GE(started.y, 0) << "round " << round << ": the title bar is on the screen";

    desktop.Xdotool({"windowmove", main, std::to_string(moves[round].x), std::to_string(moves[round].y)});
    left = desktop.SettledFrame(main);
    EXPECT_EQ(left.w, started.w) << "round " << round << ": a move keeps the size";
    EXPECT_EQ(left.h, started.h);

    if (round == 1) {
      // The title search (F4), opened three times: it stands each time where it stood, at
      // its size, and the main window does not move.
      TRect dialog;
      for (int open = 0; open < 3; ++open) {
        desktop.Xdotool({"windowactivate", "--sync", main});
        desktop.Xdotool({"key", "--clearmodifiers", "F4"});
        const std::string d = DialogOf(main);
        ASSERT_FALSE(d.empty()) << "open " << open << ": the dialog did not show";
        const TRect now = open > 0 ? desktop.FrameOnceAt(d, dialog) : desktop.SettledFrame(d);
        desktop.Shot("dialog" + std::to_string(open));
        if (open > 0) {
          EXPECT_EQ(now, dialog) << "open " << open << ": the dialog stands as it was left";
        }
        dialog = now;
        if (open == 1) {
          desktop.Xdotool({"windowmove", d, "300", "260"});
          dialog = desktop.SettledFrame(d);
          EXPECT_EQ(dialog.w, now.w);
          EXPECT_EQ(dialog.h, now.h);
        }
        CloseWindow(d);
        for (const auto end = Clock::now() + milliseconds(5000); Clock::now() < end && Shows(d);)
          std::this_thread::sleep_for(milliseconds(50));
        ASSERT_FALSE(Shows(d)) << "open " << open << ": the dialog did not close";
        EXPECT_EQ(desktop.SettledFrame(main), left) << "open " << open << ": the main window stays";
      }
    }

    CloseWindow(main);
    ASSERT_TRUE(program.WaitExit(10000)) << "round " << round << ": the program did not end";
  }
}

}  // namespace
