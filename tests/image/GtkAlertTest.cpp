// The alert dialog on a real X server (Xvfb), dismissed by a real click on "OK".
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <thread>

#include "XvfbServer.h"
#include "platform/Alerts.h"
#include "platform/linux/GtkAlert.h"

namespace ambrel {

namespace {

// What the tool prints, without the trailing newline; "" when it fails.
std::string Output(const std::vector<std::string>& command, const std::string& display) {
  ChildProcess tool;
  if (!tool.Start(command.front(), {command.begin() + 1, command.end()}, {"DISPLAY=" + display}) ||
      tool.Wait(30) != 0)
    return "";
  std::string out = tool.output();
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

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
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24"}, &error)) << error;
  const std::string display = server.name();

  const pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display.c_str(), 1);
    if (!InstallGtkAlertPresenter()) _exit(3);
    ShowAlert("ERROR", "Could not read file header");
    _exit(0);
  }

  std::string window = Output({"xdotool", "search", "--sync", "--name", "^ERROR$"}, display);
  window = window.substr(0, window.find('\n'));
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(Output({"xdotool", "getwindowname", window}, display), "ERROR");

  // The one button fills the bottom of the dialog.
  const std::string geometry = Output({"xdotool", "getwindowgeometry", "--shell", window}, display);
  const size_t w = geometry.find("WIDTH="), h = geometry.find("HEIGHT=");
  ASSERT_NE(w, std::string::npos);
  ASSERT_NE(h, std::string::npos);
  const int width = std::atoi(geometry.c_str() + w + 6), height = std::atoi(geometry.c_str() + h + 7);
  // Still waiting when the click comes: the alert returns only when acknowledged.
  ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0);
  ChildProcess click;
  ASSERT_TRUE(click.Start("xdotool",
                          {"mousemove", "--window", window, std::to_string(width / 2), std::to_string(height - 15),
                           "click", "1"},
                          {"DISPLAY=" + display}));
  EXPECT_EQ(click.Wait(30), 0) << click.errors();
  EXPECT_EQ(WaitFor(child, std::chrono::seconds(10)), 0);
}

}  // namespace

}  // namespace ambrel
