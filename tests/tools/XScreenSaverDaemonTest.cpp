// The real XScreenSaver daemon runs the hack: started with -fps and every option
// its option file can produce, it draws water on the blanked screen and ends when
// the daemon deactivates. The daemon refuses to run hacks as root, so it runs as
// an unprivileged user of its own, with a copy of the program that user can reach.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "AmbrelProgram.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace {

const char* const kUser = "ambrel-xss";

namespace fs = std::filesystem;

// The options the settings dialog can write for each element of the option file.
std::vector<std::string> EveryOption(const std::string& xml, const std::string& folder) {
  std::vector<std::string> options;
  std::regex attribute(R"re((arg-set|arg)="([^"]*)")re");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), attribute); it != std::sregex_iterator(); ++it) {
    std::string text = (*it)[2];
    if (text == "--root") continue;
    if (size_t percent = text.find('%'); percent != std::string::npos)
      text.replace(percent, 1, text.find("folder") != std::string::npos ? folder : "3");
    options.push_back(text);
  }
  return options;
}

// The processes running the given program, by their executable.
// The program's runs, not its picture decoders (the program run again in its
// hidden decoding mode).
std::vector<pid_t> RunningCopiesOf(const std::string& program) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ignored;
    if (fs::read_symlink(entry.path() / "exe", ignored) == program &&
        ReadFile(entry.path() / "cmdline").find("--ambrel-decode-picture") == std::string::npos)
      found.push_back(std::stoi(name));
  }
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
    if (!getpwnam(kUser)) {
      if (geteuid() != 0) GTEST_SKIP() << "no user " << kUser << " and no right to add one";
      ASSERT_EQ(std::system((std::string("useradd --system --no-create-home --shell /bin/sh ") + kUser).c_str()), 0);
    }
    const passwd* user = getpwnam(kUser);
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
    ASSERT_EQ(std::system(("chown -R " + std::string(kUser) + " '" + root + "' && chmod -R a+rX '" + root + "'").c_str()), 0);

    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24", "-br"}, &error)) << error;
    display = std::make_unique<TestDisplay>(server.name());
    ASSERT_TRUE(display->get());
  }

  // Runs an XScreenSaver program as the daemon's user.
  bool RunAsUser(ChildProcess& child, const std::vector<std::string>& command) {
    // The sanitizers' files may lie where this user cannot read them; leaks are
    // other tests' business.
    std::vector<std::string> arguments = {"-u", kUser, "--", "env", "-u", "LD_PRELOAD", "-u", "LSAN_OPTIONS",
                                          "ASAN_OPTIONS=detect_leaks=0", "HOME=" + root + "/home",
                                          "DISPLAY=" + server.name(), "AMBREL_RESOURCES=" + root + "/share/ambrel",
                                          "XDG_CONFIG_HOME=" + root + "/home/.config"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return child.Start("/usr/sbin/runuser", arguments, {});
  }
  void TearDown() override {
    EndProcessesOfTheUser();
    AmbrelProgramTest::TearDown();
  }
  // The daemon's helpers outlive it; nothing of this user's may stay behind.
  static void EndProcessesOfTheUser() {
    if (getpwnam(kUser) && geteuid() == 0) std::system((std::string("pkill -KILL -u ") + kUser).c_str());
  }
  int Command(const std::string& verb) {
    ChildProcess command;
    if (!RunAsUser(command, {"xscreensaver-command", verb})) return -1;
    return command.Wait(20);
  }

  TempFolder folder_{"xss"};
  std::string root;
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
  ASSERT_TRUE(WriteFile(root + "/home/.xscreensaver",
                        "mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nfade: False\nunfade: False\n"
                        "splash: False\ngrabDesktopImages: False\nprograms: GL: " + line + " \\n\n"));
  ASSERT_EQ(std::system(("chown -R " + std::string(kUser) + " '" + root + "/home'").c_str()), 0);

  ChildProcess daemon;
  // Before the daemon's runner is waited for: its children hold the runner's
  // output open, so whichever way the test ends, they go first.
  struct EndUsersProcesses {
    ~EndUsersProcesses() { EndProcessesOfTheUser(); }
  } endFirst;
  ASSERT_TRUE(RunAsUser(daemon, {"xscreensaver", "--no-splash"}));
  int status = -1;
  for (int attempt = 0; attempt < 100 && status != 0; ++attempt) {
    usleep(100000);
    status = Command("-version");
  }
  ASSERT_EQ(status, 0) << daemon.errors();
  ASSERT_EQ(Command("-activate"), 0);

  std::vector<pid_t> hacks;
  for (int attempt = 0; attempt < 100 && hacks.empty(); ++attempt) {
    usleep(100000);
    hacks = RunningCopiesOf(root + "/bin/ambrel");
  }
  ASSERT_EQ(hacks.size(), 1u) << daemon.errors();
  const std::string commandLine = CommandLineOf(hacks.front());
  for (const std::string& option : options) EXPECT_NE(commandLine.find(option), std::string::npos) << option;

  size_t lit = 0;
  for (int attempt = 0; attempt < 150 && lit < 640 * 480 / 2; ++attempt) {
    usleep(100000);
    lit = 0;
    for (uint32_t pixel : ReadRgb(*display, display->root(), 0, 0, 640, 480)) lit += pixel != 0;
  }
  EXPECT_GT(lit, 640u * 480 / 2) << "the blanked screen shows no water\n" << daemon.errors();

  // A busy daemon may take a while to unblank; asked again, it does.
  for (int attempt = 0; attempt < 150 && !RunningCopiesOf(root + "/bin/ambrel").empty(); ++attempt) {
    if (attempt % 30 == 0) {
      ASSERT_EQ(Command("-deactivate"), 0);
    }
    usleep(100000);
  }
  EXPECT_TRUE(RunningCopiesOf(root + "/bin/ambrel").empty()) << "the hack outlived the daemon's stop";
}

}  // namespace
