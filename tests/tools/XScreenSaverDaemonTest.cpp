// The real XScreenSaver daemon runs the hack: started with -fps and every option
// its option file can produce, it draws water on the blanked screen and ends
// quietly when the daemon deactivates; what its programs line leaves out is at the
// default, whatever Ambrel's own store holds. The daemon refuses to run hacks as
// root, so it runs as an unprivileged user of its own, with a copy of the program
// that user can reach.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "AmbrelProgram.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace ambrel {

namespace {

// Each test has a user of its own: ctest runs them side by side, and each ends
// every process of its user when it is done.
std::string TestUser() {
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return "ambrel-xss" + std::to_string(std::hash<std::string>{}(test) % 10000);
}

namespace fs = std::filesystem;

// The options the settings dialog can write for each element of the option file.
std::vector<std::string> EveryOption(const std::string& xml, const std::string& folder) {
  std::vector<std::string> options;
  std::regex attribute(R"re((arg-set|arg)="([^"]*)")re");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), attribute); it != std::sregex_iterator(); ++it) {
    std::string text = (*it)[2];
    if (text == "--root") continue;
    if (size_t percent = text.find('%'); percent != std::string::npos)
      text.replace(percent, 1, text.find("folder") != std::string::npos ? folder : "5");
    options.push_back(text);
  }
  return options;
}

// The processes running the given program, by their executable.
// The program's runs, not its picture decoders (the program run again in its
// hidden decoding mode).
// The program's own copies, not the children it runs for a while (a picture's
// decoder, the OpenGL probe).
std::vector<pid_t> RunningCopiesOf(const std::string& program) {
  std::map<pid_t, pid_t> parentOf;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ignored;
    if (fs::read_symlink(entry.path() / "exe", ignored) != program ||
        ReadFile(entry.path() / "cmdline").find("--ambrel-decode-picture") != std::string::npos)
      continue;
    // "pid (comm) state ppid ...", where comm may hold spaces and parentheses.
    const std::string stat = ReadFile(entry.path() / "stat");
    const size_t close = stat.rfind(')');
    int parent = 0;
    if (close != std::string::npos) std::sscanf(stat.c_str() + close + 1, " %*c %d", &parent);
    parentOf[std::stoi(name)] = parent;
  }
  std::vector<pid_t> found;
  for (const auto& [pid, parent] : parentOf)
    if (!parentOf.count(parent)) found.push_back(pid);
  return found;
}

std::string CommandLineOf(pid_t pid) {
  std::string text = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
  for (char& c : text)
    if (c == '\0') c = ' ';
  return text;
}

class XScreenSaverDaemonTest : public AmbrelProgramTest {
 protected:
  void SetUp() override {
    AmbrelProgramTest::SetUp();
    if (access("/usr/bin/xscreensaver", X_OK) != 0) GTEST_SKIP() << "XScreenSaver is not installed";
    if (!getpwnam(TestUser().c_str())) {
      if (geteuid() != 0) GTEST_SKIP() << "no user " << TestUser() << " and no right to add one";
      ASSERT_EQ(RunToEnd({"useradd", "--system", "--no-create-home", "--shell", "/bin/sh", TestUser()}), 0);
    }
    const passwd* user = getpwnam(TestUser().c_str());
    ASSERT_NE(user, nullptr);
    // Everything the daemon's user touches lives in one folder it owns.
    ASSERT_FALSE(folder_.path().empty());
    root = folder_.path();
    fs::create_directories(root + "/bin");
    fs::create_directories(root + "/home");
    fs::create_directories(root + "/share");
    fs::copy_file(AMBREL_PROGRAM, root + "/bin/ambrel");
    fs::copy(fs::path(AMBREL_PROGRAM).parent_path().parent_path() / "share/ambrel", root + "/share/ambrel",
             fs::copy_options::recursive);
    fs::create_directories(root + "/pictures");
    ASSERT_TRUE(WriteStripedPng(root + "/pictures/red.png", 64, 64, 0xe02020));
    sanitizerFiles_ = SanitizerFilesCopiedTo(root + "/sanitizer");
    ASSERT_EQ(RunToEnd({"chown", "-R", TestUser(), root}), 0);
    ASSERT_EQ(RunToEnd({"chmod", "-R", "a+rX", root}), 0);

    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24", "-br"}, &error)) << error;
    display = std::make_unique<TestDisplay>(server.name());
    ASSERT_TRUE(display->get());
  }

  // Runs an XScreenSaver program as the daemon's user.
  bool RunAsUser(ChildProcess& child, const std::vector<std::string>& command) {
    std::vector<std::string> arguments = {"-u", TestUser(), "--", "env", "HOME=" + root + "/home",
                                          "DISPLAY=" + server.name(), "AMBREL_RESOURCES=" + root + "/share/ambrel",
                                          "XDG_CONFIG_HOME=" + root + "/home/.config"};
    arguments.insert(arguments.end(), sanitizerFiles_.begin(), sanitizerFiles_.end());
    arguments.insert(arguments.end(), command.begin(), command.end());
    return child.Start("/usr/sbin/runuser", arguments, {});
  }
  void TearDown() override {
    EndProcessesOfTheUser();
    AmbrelProgramTest::TearDown();
  }
  // The daemon's helpers outlive it; nothing of this user's may stay behind.
  static void EndProcessesOfTheUser() {
    if (getpwnam(TestUser().c_str()) && geteuid() == 0) RunToEnd({"pkill", "-KILL", "-u", TestUser()});
  }
  int Command(const std::string& verb) {
    ChildProcess command;
    if (!RunAsUser(command, {"xscreensaver-command", verb})) return -1;
    return command.Wait(20);
  }

  // Starts the daemon with this programs line, blanks the screen and returns the
  // hack's process id once the daemon has started it.
  pid_t BlankWith(ChildProcess& daemon, const std::string& line) {
    if (!WriteFile(root + "/home/.xscreensaver",
                   "mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nfade: False\nunfade: False\n"
                   "splash: False\ngrabDesktopImages: False\nprograms: GL: " + line + " \\n\n") ||
        RunToEnd({"chown", "-R", TestUser(), root + "/home"}) != 0) {
      ADD_FAILURE() << "cannot prepare the daemon's home";
      return -1;
    }
    if (!RunAsUser(daemon, {"xscreensaver", "--no-splash"})) return -1;
    int status = -1;
    for (int attempt = 0; attempt < 100 && status != 0; ++attempt) {
      usleep(100000);
      status = Command("-version");
    }
    EXPECT_EQ(status, 0) << daemon.errors();
    EXPECT_EQ(Command("-activate"), 0);
    std::vector<pid_t> hacks;
    for (int attempt = 0; attempt < 100 && hacks.empty(); ++attempt) {
      usleep(100000);
      hacks = RunningCopiesOf(root + "/bin/ambrel");
    }
    EXPECT_EQ(hacks.size(), 1u) << daemon.errors();
    return hacks.size() == 1 ? hacks.front() : -1;
  }

  // The screen's pixels once water covers more than half of it.
  std::vector<uint32_t> WaterOnScreen() {
    std::vector<uint32_t> pixels;
    size_t lit = 0;
    for (int attempt = 0; attempt < 150 && lit < 640 * 480 / 2; ++attempt) {
      usleep(100000);
      pixels = ReadRgb(*display, display->root(), 0, 0, 640, 480);
      lit = std::count_if(pixels.begin(), pixels.end(), [](uint32_t pixel) { return pixel != 0; });
    }
    EXPECT_GT(lit, 640u * 480 / 2) << "the blanked screen shows no water";
    return pixels;
  }

  TempFolder folder_{"xss"};
  std::string root;
  std::vector<std::string> sanitizerFiles_;
  XvfbServer server;
  std::unique_ptr<TestDisplay> display;
};

TEST_F(XScreenSaverDaemonTest, TheDaemonRunsTheHackWithEveryOptionAndEndsIt) {
  std::vector<std::string> options = EveryOption(ReadFile(AMBREL_XSCREENSAVER_XML), root + "/pictures");
  ASSERT_NE(std::find(options.begin(), options.end(), "-fps"), options.end());
  std::string line = root + "/bin/ambrel --root";
  for (const std::string& option : options) line += " " + option;
  // The last background kind given wins: the desktop picture, which is ours.
  line += " --background-kind desktop";

  ChildProcess daemon;
  // Before the daemon's runner is waited for: its children hold the runner's
  // output open, so whichever way the test ends, they go first.
  struct EndUsersProcesses {
    ~EndUsersProcesses() { EndProcessesOfTheUser(); }
  } endFirst;
  const pid_t hack = BlankWith(daemon, line);
  ASSERT_GT(hack, 0);
  const std::string commandLine = CommandLineOf(hack);
  for (const std::string& option : options) EXPECT_NE(commandLine.find(option), std::string::npos) << option;
  WaterOnScreen();

  // A busy daemon may take a while to unblank; asked again, it does.
  for (int attempt = 0; attempt < 150 && !RunningCopiesOf(root + "/bin/ambrel").empty(); ++attempt) {
    if (attempt % 30 == 0) {
      ASSERT_EQ(Command("-deactivate"), 0);
    }
    usleep(100000);
  }
  EXPECT_TRUE(RunningCopiesOf(root + "/bin/ambrel").empty()) << "the hack outlived the daemon's stop";
  // An unblank is a normal end: nothing for .xsession-errors, and in a sanitizer
  // build no report from the hack's end (its leak check among them).
  EndProcessesOfTheUser();
  daemon.Wait(20);
  for (const char* mark : {"ambrel:", "ERROR", "runtime error"})
    EXPECT_EQ(daemon.errors().find(mark), std::string::npos) << daemon.errors();
}

// The dialog leaves out every option at its default, so a store that differs in
// every setting must not show through: the water lies over the shipped picture,
// not the stored folder's red one, and the hack's own command line and
// environment print the defaults with the one value the line gives.
TEST_F(XScreenSaverDaemonTest, WhatTheDialogShowsIsWhatRuns) {
  fs::create_directories(root + "/home/.config/ambrel");
  ASSERT_TRUE(WriteFile(root + "/home/.config/ambrel/kvAmbrel.conf",
                        "[kvAmbrel]\nversion=1.0.4\nMainMonitorOnly=true\nWaterSpeed=300\nWaterRes=5\n"
                        "DripSpeed=40\nLighting=false\nWantBowl=false\nBGType=2\nBGPath=" + root +
                            "/pictures\nBGRes=0\n"));
  ChildProcess daemon;
  struct EndUsersProcesses {
    ~EndUsersProcesses() { EndProcessesOfTheUser(); }
  } endFirst;
  const pid_t hack = BlankWith(daemon, root + "/bin/ambrel --root --water-speed 200");
  ASSERT_GT(hack, 0);
  const std::vector<uint32_t> pixels = WaterOnScreen();
  const size_t red = std::count_if(pixels.begin(), pixels.end(), [](uint32_t pixel) {
    const int r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
    return r > g + 40 && r > b + 40;
  });
  EXPECT_LT(red, pixels.size() / 10) << "the stored folder's picture shows under the water";

  // The hack's arguments and environment, as the daemon gave them.
  std::vector<std::string> command = {"env", "-i"};
  const std::string environ = ReadFile("/proc/" + std::to_string(hack) + "/environ");
  for (size_t start = 0, end; start < environ.size(); start = end + 1) {
    end = environ.find('\0', start);
    if (end == std::string::npos) end = environ.size();
    command.push_back(environ.substr(start, end - start));
  }
  const std::string arguments = ReadFile("/proc/" + std::to_string(hack) + "/cmdline");
  for (size_t start = 0, end; start < arguments.size(); start = end + 1) {
    end = arguments.find('\0', start);
    if (end == std::string::npos) end = arguments.size();
    command.push_back(arguments.substr(start, end - start));
  }
  command.push_back("--print-settings");
  ChildProcess print;
  ASSERT_TRUE(RunAsUser(print, command));
  ASSERT_EQ(print.Wait(20), 0) << print.errors();
  EXPECT_EQ(print.output(),
            "MainMonitorOnly false\nWaterSpeed 200\nWaterRes 6\nDripSpeed 250\nLighting true\nWantBowl true\n"
            "BGType 0\nBGPath " + root + "/home/Pictures\nBGRes 1\nOverlay true\n");
}

}  // namespace

}  // namespace ambrel
