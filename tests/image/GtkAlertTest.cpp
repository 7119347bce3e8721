// The alert dialog on a real X server (Xvfb), dismissed by a real click on "OK".
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/Alerts.h"
#include "platform/linux/GtkAlert.h"

namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

// Waits for the child for up to the given time; returns its exit status, or -1.
int WaitFor(pid_t child, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return -1;
}

TEST(GtkAlertTest, WithoutADisplayTheStderrLineStays) {
  const pid_t child = fork();
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    _exit(InstallGtkAlertPresenter() ? 1 : 0);
  }
  EXPECT_EQ(WaitFor(child, std::chrono::seconds(20)), 0);
}

TEST(GtkAlertTest, ModalDialogWaitsForOk) {
  if (!Have("Xvfb") || !Have("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  // Xvfb picks a free display and prints its number; the shell prints Xvfb's pid first.
  FILE* server = popen("Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp 2>/dev/null & echo $!", "r");
  ASSERT_NE(server, nullptr);
  int serverPid = 0, displayNumber = -1;
  ASSERT_EQ(std::fscanf(server, "%d %d", &serverPid, &displayNumber), 2);
  const std::string display = ":" + std::to_string(displayNumber);

  const pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display.c_str(), 1);
    if (!InstallGtkAlertPresenter()) _exit(3);
    ShowAlert("ERROR", "Could not read file header");
    _exit(0);
  }

  const std::string env = "DISPLAY=" + display + " ";
  const std::string window = Output(env + "timeout 20 xdotool search --sync --name '^ERROR$' | head -1");
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Output(env + "xdotool getwindowname " + window), "ERROR");

  // The one button fills the bottom of the dialog.
  const std::string geometry = Output(env + "xdotool getwindowgeometry --shell " + window +
                                      " | tr '\\n' ' '");
  int width = 0, height = 0;
  const size_t w = geometry.find("WIDTH="), h = geometry.find("HEIGHT=");
  ASSERT_NE(w, std::string::npos);
  ASSERT_NE(h, std::string::npos);
  width = std::atoi(geometry.c_str() + w + 6);
  height = std::atoi(geometry.c_str() + h + 7);
  // Still waiting when the click comes: the alert returns only when acknowledged.
  ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0);
  std::system((env + "xdotool mousemove --window " + window + " " + std::to_string(width / 2) + " " +
               std::to_string(height - 15) + " click 1")
                  .c_str());
  EXPECT_EQ(WaitFor(child, std::chrono::seconds(10)), 0);

  kill(serverPid, SIGTERM);
  pclose(server);
}

}  // namespace
