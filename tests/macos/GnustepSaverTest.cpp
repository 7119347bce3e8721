// The plug-in bundle as the macOS engine meets it, on GNUstep's AppKit: loaded by
// the stand-in engine, its principal class made per screen and as a preview,
// driven, and released; its settings, sheet and bad input through the macOS
// services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFolders.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace {

class GnustepSaver : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "1280x480x24"}, &error)) << error;
    ASSERT_FALSE(home.path().empty());
  }

  // Starts the engine on the bundle; the bundle's own resources unless given.
  void Start(ChildProcess& engine, const std::vector<std::string>& arguments, const std::string& resources = "") {
    std::vector<std::string> all = {SAVER_BUNDLE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ASSERT_TRUE(engine.Start(SAVER_ENGINE, all,
                             {"DISPLAY=" + server.name(), "HOME=" + home.path(),
                              "GNUSTEP_USER_ROOT=" + home.File("GNUstep"),
                              resources.empty() ? "AMBREL_RESOURCES" : "AMBREL_RESOURCES=" + resources}));
  }

  // Runs the engine to its end; its stdout.
  std::string Run(const std::vector<std::string>& arguments, const std::string& resources = "") {
    ChildProcess engine;
    Start(engine, arguments, resources);
    EXPECT_EQ(engine.Wait(90), 0) << engine.errors();
    return engine.output();
  }

  static size_t Lit(const std::vector<uint32_t>& pixels) {
    size_t lit = 0;
    for (uint32_t pixel : pixels) lit += pixel != 0;
    return lit;
  }

  XvfbServer server;
  TempFolder home{"gnustep"};
};

// Two screen views (the one NSScreen GNUstep sees, split) and a preview over the
// left one: each draws water over the bundle's fallback picture and keeps moving;
// the overlay runs in the screen views only; every texture is gone after release.
TEST_F(GnustepSaver, LoadsTheBundleAndEveryViewDrawsMovingWaterThenReleasesItsTextures) {
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());
  ChildProcess engine;
  Start(engine, {"run", "8", "2"});
  ASSERT_TRUE(engine.WaitForLine("animating", 60)) << engine.errors();
  sleep(2);

  struct Area {
    const char* name;
    int x, y, width, height;
  };
  // X coordinates: the preview sits 20 pixels in from the top-left corner.
  for (const Area& area : {Area{"left", 200, 0, 440, 480}, Area{"right", 640, 0, 640, 480},
                           Area{"preview", 20, 20, 160, 120}}) {
    SCOPED_TRACE(area.name);
    const std::vector<uint32_t> before = ReadRgb(display, display.root(), area.x, area.y, area.width, area.height);
    std::vector<uint32_t> after;
    for (int attempt = 0; attempt < 40 && (after.empty() || after == before); ++attempt) {
      usleep(100000);
      after = ReadRgb(display, display.root(), area.x, area.y, area.width, area.height);
    }
    EXPECT_GT(Lit(after), after.size() / 2) << "the water should cover the view";
    EXPECT_NE(before, after) << "the water did not move";
  }

  ASSERT_EQ(engine.Wait(60), 0) << engine.errors();
  const std::string out = engine.output();
  EXPECT_NE(out.find("loaded principal AmbrelView gammaFade=0"), std::string::npos) << out;
  EXPECT_NE(out.find("view 0 preview=0 frame=640x480+0+0"), std::string::npos) << out;
  EXPECT_NE(out.find("view 1 preview=0 frame=640x480+640+0"), std::string::npos) << out;
  EXPECT_NE(out.find("view 2 preview=1"), std::string::npos) << out;
  for (const char* view : {"view 0 scene=1 overlay=1 textures=", "view 1 scene=1 overlay=1 textures=",
                           "view 2 scene=1 overlay=0 textures="})
    EXPECT_NE(out.find(view), std::string::npos) << view << "\n" << out;
  for (int view = 0; view < 3; ++view) {
    EXPECT_NE(out.find("view " + std::to_string(view) + " released, textures alive:\n"), std::string::npos) << out;
  }
  EXPECT_EQ(out.find("textures=\n"), std::string::npos) << "every view holds textures before release\n" << out;
  EXPECT_NE(out.find("exit 0 released 3 of 3"), std::string::npos) << out;
}

}  // namespace
