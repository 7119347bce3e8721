// The real water view run full-screen by the engine on two monitors: it draws,
// keeps drawing, and every view is released on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "TestFolders.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace ambrel {

namespace {

TEST(X11AmbrelView, RunsFullScreenOnTwoMonitorsAndReleasesOnSigterm) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "1280x480x24"}, &error)) << error;
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());
  ASSERT_TRUE(SetSideBySideMonitors(display));
  // A desktop worth capturing: stripes, so the water has something to bend.
  for (int x = 0; x < 1280; x += 40) FillRect(display, display.root(), x / 40 % 2 ? 0xc08040 : 0x2060a0, x, 0, 40, 480);

  TempFolder homeFolder("x11-view");
  const std::string home = homeFolder.path();
  ASSERT_FALSE(home.empty());
  ChildProcess engine;
  ASSERT_TRUE(engine.Start(X11_AMBREL_DRIVER, {"full"},
                           {"DISPLAY=" + server.name(), "HOME=" + home, "XDG_CONFIG_HOME"}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 60)) << engine.errors();
  ASSERT_TRUE(engine.WaitForLine("first frame", 60)) << engine.errors();

  for (int left : {0, 640}) {
    SCOPED_TRACE(left);
    const std::vector<uint32_t> before = ReadRgb(display, display.root(), left, 0, 640, 480);
    std::vector<uint32_t> after;
    for (int attempt = 0; attempt < 40 && (after.empty() || after == before); ++attempt) {
      usleep(100000);
      after = ReadRgb(display, display.root(), left, 0, 640, 480);
    }
    size_t lit = 0;
    for (uint32_t pixel : after) lit += pixel != 0;
    EXPECT_GT(lit, after.size() / 2) << "the water should cover the screen";
    EXPECT_NE(before, after) << "the water did not move";
  }

  engine.Signal(SIGTERM);
  EXPECT_EQ(engine.Wait(30), 0) << engine.errors();
  EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
}

}  // namespace

}  // namespace ambrel
