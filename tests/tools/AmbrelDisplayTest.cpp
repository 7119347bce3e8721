// The program on a real X server: in a window of its own and as an XScreenSaver
// hack in a window it is given. Both draw water, take the command line's settings
// without saving them, and end cleanly on SIGTERM.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "AmbrelProgram.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace ambrel {

namespace {

class AmbrelDisplayTest : public AmbrelProgramTest {
 protected:
  void SetUp() override {
    AmbrelProgramTest::SetUp();
    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24"}, &error)) << error;
    display = std::make_unique<TestDisplay>(server.name());
    ASSERT_TRUE(display->get());
    FillRect(*display, display->root(), 0, 0, 0, 640, 480);
    ASSERT_EQ(mkdir((config + "/ambrel").c_str(), 0700), 0);
    ASSERT_TRUE(WriteFile(StorePath(), kStore));
    ASSERT_TRUE(WriteStripedPng(dir + "/red.png", 128, 128, 0xe02020));
  }

  std::vector<std::string> Environment() {
    return {"DISPLAY=" + server.name(), "XDG_CONFIG_HOME=" + config, "HOME=" + config, "XSCREENSAVER_WINDOW"};
  }

  // Waits until most of the area is red water; returns the last reading.
  std::vector<uint32_t> WaitForRedWater(Drawable drawable, int width, int height) {
    std::vector<uint32_t> pixels;
    for (int attempt = 0; attempt < 300; ++attempt) {
      pixels = ReadRgb(*display, drawable, 0, 0, width, height);
      if (ShareDominatedBy(pixels, 0) > 0.8) break;
      usleep(100000);
    }
    return pixels;
  }

  static constexpr const char* kStore =
      "[kvAmbrel]\nversion=1.0.4\nMainMonitorOnly=false\nWaterSpeed=100\nWaterRes=6\nDripSpeed=250\n"
      "Lighting=true\nWantBowl=true\nBGType=0\nBGPath=/nowhere\nBGRes=1\n";

  XvfbServer server;
  std::unique_ptr<TestDisplay> display;
};

TEST_F(AmbrelDisplayTest, RunsInAWindowWithTheCommandLineSettingsAndEndsOnSigterm) {
  ChildProcess ambrel;
  // The stored kind is the screen capture: the command line's picture shows only
  // if its settings win.
  ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM,
                           {"--window", "200x150", "--background", dir + "/red.png", "--background-kind", "desktop",
                            "--water-speed", "500", "--no-bowl", "--drip-speed", "5"},
                           Environment()));
  const std::vector<uint32_t> first = WaitForRedWater(display->root(), 200, 150);
  EXPECT_GT(ShareDominatedBy(first, 0), 0.8) << ambrel.errors();
  std::vector<uint32_t> later;
  for (int attempt = 0; attempt < 50 && (later.empty() || later == first); ++attempt) {
    usleep(100000);
    later = ReadRgb(*display, display->root(), 0, 0, 200, 150);
  }
  EXPECT_NE(first, later) << "the water did not move";
  ambrel.Signal(SIGTERM);
  EXPECT_EQ(ambrel.Wait(30), 0) << ambrel.errors();
  EXPECT_EQ(ReadFile(StorePath()), kStore);
}

TEST_F(AmbrelDisplayTest, WithADisplayTheDefaultIsFullScreen) {
  ChildProcess ambrel;
  ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--background-kind", "desktop", "--background", dir + "/red.png", "-fps"},
                           Environment()));
  EXPECT_GT(ShareDominatedBy(WaitForRedWater(display->root(), 640, 480), 0), 0.8) << ambrel.errors();
  ambrel.Signal(SIGTERM);
  EXPECT_EQ(ambrel.Wait(30), 0) << ambrel.errors();
  EXPECT_EQ(ReadFile(StorePath()), kStore);
  // -fps names who draws, as auto found it by asking a context.
  EXPECT_TRUE(ambrel.errors().find("ambrel: drawing with the CPU renderer (OpenGL would be ") != std::string::npos ||
              ambrel.errors().find("ambrel: drawing with OpenGL (") != std::string::npos)
      << ambrel.errors();
}

// A home that is not there is not made, for the settings or by dconf's cache
// while the desktop picture is looked up.
TEST_F(AmbrelDisplayTest, AMissingHomeIsNotMade) {
  const std::string gone = dir + "/gone";
  ChildProcess ambrel;
  ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--window", "200x150", "--background-kind", "desktop"},
                           {"DISPLAY=" + server.name(), "HOME=" + gone + "/home", "XDG_CONFIG_HOME",
                            "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "XSCREENSAVER_WINDOW"}));
  // Moving water: the background has been chosen.
  std::vector<uint32_t> first, pixels;
  for (int attempt = 0; attempt < 300 && (first.empty() || pixels == first); ++attempt) {
    usleep(100000);
    pixels = ReadRgb(*display, display->root(), 0, 0, 200, 150);
    if (first.empty() && std::count(pixels.begin(), pixels.end(), 0u) == 0) first = pixels;
  }
  EXPECT_FALSE(first.empty() || pixels == first) << "no moving water\n" << ambrel.errors();
  ambrel.Signal(SIGTERM);
  EXPECT_EQ(ambrel.Wait(30), 0) << ambrel.errors();
  EXPECT_NE(ambrel.errors().find("cannot save settings to " + gone + "/home/.config/ambrel/"), std::string::npos)
      << ambrel.errors();
  EXPECT_FALSE(std::filesystem::exists(gone));
}

TEST_F(AmbrelDisplayTest, RunsAsAHackInAGivenWindow) {
  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0;
  const Window window = XCreateWindow(*display, display->root(), 100, 80, 160, 120, 0, CopyFromParent, InputOutput,
                                      CopyFromParent, CWBackPixel, &attributes);
  XMapWindow(*display, window);
  XSync(*display, False);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", window);

  // As a programs line starts it (XScreenSaver names the window in the environment),
  // and with the window on the command line, as the settings dialog's preview does.
  std::vector<std::string> fromDaemon = Environment();
  fromDaemon.back() = std::string("XSCREENSAVER_WINDOW=") + id;
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> runs = {
      {{"--root", "--background-kind", "1", "--background", dir + "/red.png", "--water-res", "4"}, fromDaemon},
      {{"-window-id", id, "-background-kind", "desktop", "--background=" + dir + "/red.png"}, Environment()}};
  for (const auto& [args, env] : runs) {
    SCOPED_TRACE(args.front());
    FillRect(*display, window, 0, 0, 0, 160, 120);
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, args, env));
    EXPECT_GT(ShareDominatedBy(WaitForRedWater(window, 160, 120), 0), 0.8) << ambrel.errors();
    // The hack draws only into its window.
    for (uint32_t pixel : ReadRgb(*display, display->root(), 0, 0, 100, 80)) ASSERT_EQ(pixel, 0u);
    ambrel.Signal(SIGTERM);
    EXPECT_EQ(ambrel.Wait(30), 0) << ambrel.errors();
    EXPECT_EQ(ReadFile(StorePath()), kStore);
  }
  XDestroyWindow(*display, window);
  XSync(*display, False);
}

// What XScreenSaver's daemon, its settings dialog or a hand-edited programs line
// may add: every standard option is taken, -fps shows its figures in the bottom
// left corner, and what the hack cannot take is passed over with one line.
TEST_F(AmbrelDisplayTest, AHackTakesXScreenSaversOptionsAndShowsTheFrameRate) {
  ChildProcess ambrel;
  ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM,
                           {"-root", "-fps", "-delay", "20000", "-install", "-visual", "default", "-mono", "-pair",
                            "-geometry", "640x480+0+0", "-no-such-option", "--water-speed", "fast",
                            "--background-kind", "desktop", "--background", dir + "/red.png"},
                           Environment()));
  EXPECT_GT(ShareDominatedBy(WaitForRedWater(display->root(), 640, 480), 0), 0.8) << ambrel.errors();
  bool figures = false;
  for (int attempt = 0; attempt < 50 && !figures; ++attempt) {
    for (uint32_t pixel : ReadRgb(*display, display->root(), 0, 430, 140, 50))
      figures |= (pixel >> 16) > 230 && ((pixel >> 8) & 0xff) > 230 && (pixel & 0xff) < 200;
    if (!figures) usleep(100000);
  }
  EXPECT_TRUE(figures) << "no frame-rate figures in the corner";
  ambrel.Signal(SIGTERM);
  EXPECT_EQ(ambrel.Wait(30), 0) << ambrel.errors();
  EXPECT_NE(ambrel.errors().find("ignoring -no-such-option"), std::string::npos) << ambrel.errors();
  EXPECT_NE(ambrel.errors().find("ignoring --water-speed"), std::string::npos) << ambrel.errors();
  // The daemon's log is no place for it: the corner says who draws.
  EXPECT_EQ(ambrel.errors().find("drawing with"), std::string::npos) << ambrel.errors();
}

}  // namespace

}  // namespace ambrel
