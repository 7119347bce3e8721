// The plug-in bundle as the macOS engine meets it, on GNUstep's AppKit: loaded by
// the stand-in engine, its principal class made per screen and as a preview,
// driven, and released; its settings, sheet and bad input through the macOS
// services.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "HostilePictures.h"
#include "TestFolders.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace ambrel {

namespace {

class GnustepSaver : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "1280x480x24"}, &error)) << error;
    ASSERT_FALSE(home.path().empty());
    // GNUstep finds the user's folders from the password file, not $HOME: point
    // them into the scratch folder.
    std::ofstream(home.File("GNUstep.conf")) << "GNUSTEP_USER_CONFIG_FILE=/dev/null\n"
                                             << "GNUSTEP_USER_DEFAULTS_DIR=" << home.File("Defaults") << "\n"
                                             << "GNUSTEP_USER_DIR_LIBRARY=" << home.File("Library") << "\n";
  }

  // GNUstep's menus start its distributed-notification daemon, which outlives the
  // engine; the daemons this test's engines started carry its configuration path.
  void TearDown() override {
    const std::string mark = "GNUSTEP_CONFIG_FILE=" + home.File("GNUstep.conf");
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string environment = Slurp(entry.path() / "environ");
      if (environment.find(mark + '\0') != std::string::npos) kill(std::stoi(name), SIGTERM);
    }
  }

  // The module's store as GNUstep keeps it: a property list per domain.
  std::string StorePath() const { return home.File("Defaults/kvAmbrel.plist"); }
  void WriteStore(const std::string& version, int waterSpeed, int bgType, const std::string& folder) {
    std::filesystem::create_directories(home.File("Defaults"));
    std::ofstream(StorePath()) << "{ version = \"" << version << "\"; WaterSpeed = " << waterSpeed
                               << "; BGType = " << bgType << "; BGPath = \"" << folder << "\"; }\n";
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Starts the engine on the bundle; the bundle's own resources unless given.
  void Start(ChildProcess& engine, const std::vector<std::string>& arguments, const std::string& resources = "",
             const std::string& bundle = SAVER_BUNDLE) {
    std::vector<std::string> all = {bundle};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ASSERT_TRUE(engine.Start(SAVER_ENGINE, all,
                             {"DISPLAY=" + server.name(), "HOME=" + home.path(),
                              "GNUSTEP_CONFIG_FILE=" + home.File("GNUstep.conf"),
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

  static void WriteRedPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 64;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 64 * 64; ++i) pixels.insert(pixels.end(), {255, 0, 0});
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
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
  // The neutral request as NSOpenGLPixelFormat words: accelerated, 32 bits of colour,
  // minimum and maximum policy.
  size_t surfaces = 0;
  for (size_t at = 0; (at = out.find(" pixelformat=73,8,32,51,52,0 animating=0\n", at)) != std::string::npos; ++at)
    ++surfaces;
  EXPECT_EQ(surfaces, 3u) << out;
  for (int view = 0; view < 3; ++view) {
    EXPECT_NE(out.find("view " + std::to_string(view) + " released, textures alive:\n"), std::string::npos) << out;
  }
  EXPECT_EQ(out.find("textures= "), std::string::npos) << "every view holds textures before release\n" << out;
  EXPECT_NE(out.find("exit 0 released 3 of 3"), std::string::npos) << out;
}

// What users of macOS 14 and later ask for: the system's willstop notification,
// through GNUstep's distributed notifications, ends the saver's process.
TEST_F(GnustepSaver, TheProcessLeavesWhenTheSystemSaysTheSaverStops) {
  ChildProcess engine;
  Start(engine, {"run", "60", "2", "willstop"});
  ASSERT_TRUE(engine.WaitForLine("posted willstop", 60)) << engine.errors();
  EXPECT_EQ(engine.Wait(20), 0) << "still running 20 s after willstop\n" << engine.errors();
  EXPECT_EQ(engine.output().find("released"), std::string::npos) << engine.output();
}

// The sheet through its buttons, as the settings pane has it: loaded once per view;
// what save stores a new view reads back through ScreenSaverDefaults; cancel stores
// nothing; defaults shows the default settings but keeps the folder.
TEST_F(GnustepSaver, TheSheetSavesCancelsAndRestoresDefaultsThroughTheModuleStore) {
  std::string out = Run({"sheet", "show", "set:oWaterSpeed=500", "set:oLighting=0", "set:oBGType=2", "update", "show",
                         "save"});
  EXPECT_NE(out.find("hasConfigureSheet=1\nsheet=1 same=1\n"), std::string::npos) << out;
  // The default folder is the user's pictures folder as the system names it.
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(out, shown, std::regex("oBGPath=(/[^\n(]*)\\(off\\)"))) << out;
  const std::string folder = shown[1];
  // The capture GNUstep cannot make turns this view's background kind to the desktop picture.
  EXPECT_NE(out.find("controls oMainMonitorOnly=0 oLighting=1 oWantBowl=1 oWaterSpeed=100 oWaterRes=6 oDripSpeed=250 "
                     "oBGType=1 oBGPath=" + folder + "(off) oBGRes=1\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("controls oMainMonitorOnly=0 oLighting=0 oWantBowl=1 oWaterSpeed=500 oWaterRes=6 oDripSpeed=250 "
                     "oBGType=2 oBGPath=" + folder + " oBGRes=1\n"),
            std::string::npos)
      << "the folder button follows the background kind\n" << out;
  EXPECT_NE(out.find("pressed save visible=0"), std::string::npos) << out;
  EXPECT_NE(Slurp(StorePath()).find("500"), std::string::npos) << Slurp(StorePath());

  out = Run({"sheet", "set:oWaterSpeed=900", "cancel"});
  EXPECT_NE(out.find("pressed cancel visible=0"), std::string::npos) << out;

  out = Run({"sheet", "show", "defaults", "show", "save"});
  EXPECT_NE(out.find("oLighting=0 oWantBowl=1 oWaterSpeed=500 oWaterRes=6 oDripSpeed=250 oBGType=2"), std::string::npos)
      << "saved, not cancelled, values come back\n" << out;
  EXPECT_NE(out.find("pressed defaults visible=1\ncontrols oMainMonitorOnly=0 oLighting=1 oWantBowl=1 oWaterSpeed=100 "
                     "oWaterRes=6 oDripSpeed=250 oBGType=0 oBGPath=" + folder + "(off) oBGRes=1\n"),
            std::string::npos)
      << out;

  out = Run({"sheet", "show"});
  EXPECT_NE(out.find("oLighting=1 oWantBowl=1 oWaterSpeed=100"), std::string::npos) << out;

  // The overlay's check box, which the settings table puts on the sheet, saves too.
  out = Run({"sheet", "set:oOverlay=0", "save"});
  EXPECT_NE(out.find("pressed save visible=0"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(Slurp(StorePath()), std::regex("<key>Overlay</key>\\s*<false/>"))) << Slurp(StorePath());

  // The sliders' ranges are the settings table's: a value past either end is held there.
  out = Run({"sheet", "set:oWaterSpeed=100000", "set:oWaterRes=0", "set:oDripSpeed=5000", "show"});
  EXPECT_NE(out.find("oWaterSpeed=1190 oWaterRes=4 oDripSpeed=1000 "), std::string::npos) << out;
}

// Bad input through the macOS services. A damaged pack: its alert is an NSAlert
// that stays up while every view goes on and is released cleanly. A folder with
// only an unreadable picture, and an empty one: the fallback picture. A store of
// another version: the defaults, written back.
TEST_F(GnustepSaver, BadInputFallsBackAsOnLinux) {
  const std::string resources = home.File("resources");
  std::filesystem::create_directories(resources);
  const std::string shipped = std::string(SAVER_BUNDLE) + "/Resources/";
  std::filesystem::copy_file(shipped + "fallback.png", resources + "/fallback.png");
  std::filesystem::copy_file(shipped + "morvish.tallowyn", resources + "/morvish.tallowyn");
  std::ofstream(resources + "/morvish.tallowyn", std::ios::app) << '\0';  // a pack longer than it says

  ChildProcess damaged;
  Start(damaged, {"run", "3"}, resources);
  ASSERT_EQ(damaged.Wait(60), 0) << damaged.errors();
  EXPECT_NE(damaged.output().find("view 0 scene=1 overlay=1 textures= "), std::string::npos) << damaged.output();
  EXPECT_NE(damaged.output().find("exit 0 released 2 of 2"), std::string::npos) << damaged.output();

  // A pack whose image lump is cut short: the decoder's alert.
  std::ofstream(home.File("short.tga"), std::ios::binary)
      << Slurp(std::string(PROJECT_SOURCE_DIR) + "/resources/pack/badge.tga").substr(0, 40);
  std::filesystem::remove(resources + "/morvish.tallowyn");
  ChildProcess pack;
  ASSERT_TRUE(pack.Start(AMBREL_PACK, {"create", resources + "/morvish.tallowyn", "1:2:" + home.File("short.tga")}, {}));
  ASSERT_EQ(pack.Wait(30), 0) << pack.errors();
  ChildProcess alerted;
  Start(alerted, {"run", "3"}, resources);
  ASSERT_EQ(alerted.Wait(60), 0) << alerted.errors();
  EXPECT_NE(alerted.errors().find("ambrel: ERROR: Could not read image data"), std::string::npos) << alerted.errors();
  EXPECT_NE(alerted.output().find("alerts shown 2"), std::string::npos) << "one alert per view, not waited for\n"
                                                                        << alerted.output();
  EXPECT_NE(alerted.output().find("exit 0 released 2 of 2"), std::string::npos) << alerted.output();

  // Against them, a folder with a readable picture: NSBitmapImageRep's red is red on screen.
  const std::string red = home.File("red");
  std::filesystem::create_directories(red);
  WriteRedPng(red + "/red.png");
  WriteStore("1.0.4", 100, 2, red);
  {
    TestDisplay display(server.name());
    ChildProcess engine;
    Start(engine, {"run", "4"});
    ASSERT_TRUE(engine.WaitForLine("animating", 60)) << engine.errors();
    sleep(2);
    size_t reddish = 0;
    const std::vector<uint32_t> pixels = ReadRgb(display, display.root(), 400, 0, 800, 480);
    for (uint32_t pixel : pixels) {
      const uint32_t r = pixel >> 16 & 0xff, g = pixel >> 8 & 0xff, b = pixel & 0xff;
      reddish += r > 2 * g + 16 && r > 2 * b + 16;
    }
    EXPECT_GT(reddish, pixels.size() / 2);
    EXPECT_EQ(engine.Wait(60), 0) << engine.errors();
  }

  // A picture that takes NSBitmapImageRep more than half a minute: given up at the
  // budget and named once, both views showing the fallback picture.
  const std::string slow = home.File("slow");
  std::filesystem::create_directories(slow);
  ASSERT_TRUE(WriteSlowProgressiveJpeg(slow + "/slow.jpg"));
  WriteStore("1.0.4", 300, 2, slow);
  {
    ChildProcess engine;
    // The run loop's time counts the 4 s the first view waits on the picture: the
    // other view's first tick comes only after it.
    Start(engine, {"run", "8"});
    const std::string named = "ambrel: cannot show the picture \"" + slow + "/slow.jpg\": it takes more than 4";
    EXPECT_TRUE(engine.WaitForErrors(named, 30)) << engine.errors();
    ASSERT_EQ(engine.Wait(30), 0) << engine.errors();
    EXPECT_EQ(engine.errors().find(named, engine.errors().find(named) + 1), std::string::npos) << engine.errors();
    for (const char* view : {"view 0 scene=1 overlay=1 textures=1,2,3,4,5,6 ", "view 1 scene=1 overlay=0 textures=1,2,3,4,5,6 "})
      EXPECT_NE(engine.output().find(view), std::string::npos) << engine.output();
  }

  const std::string unreadable = home.File("unreadable"), empty = home.File("empty");
  std::filesystem::create_directories(unreadable);
  std::filesystem::create_directories(empty);
  std::ofstream(unreadable + "/picture.png") << "not a picture";
  for (const std::string& folder : {unreadable, empty}) {
    SCOPED_TRACE(folder);
    WriteStore("1.0.4", 300, 2, folder);
    const std::string out = Run({"run", "2"});
    // Five pack textures and the fallback picture's.
    EXPECT_NE(out.find("view 0 scene=1 overlay=1 textures=1,2,3,4,5,6 "), std::string::npos) << out;
    EXPECT_NE(out.find("view 1 released, textures alive:\n"), std::string::npos) << out;
  }

  WriteStore("0.9", 900, 2, unreadable);
  const std::string older = Slurp(StorePath());
  std::string out = Run({"sheet", "show"});
  EXPECT_NE(out.find("oWaterSpeed=100 "), std::string::npos) << out;
  const std::string store = Slurp(StorePath());
  EXPECT_NE(store.find("1.0.4"), std::string::npos) << store;
  EXPECT_EQ(store.find("900"), std::string::npos) << store;
  // The file reset is kept beside it, as on Linux; a damaged one too.
  EXPECT_EQ(Slurp(StorePath() + ".bad"), older);
  const std::string broken = "{ version = \"1.0.4\"; WaterSpeed = 300; BGPath = \"/srv";
  std::ofstream(StorePath()) << broken;
  out = Run({"sheet", "show"});
  EXPECT_NE(out.find("oWaterSpeed=100 "), std::string::npos) << out;
  EXPECT_EQ(Slurp(StorePath() + ".bad"), broken);
  EXPECT_EQ(Slurp(StorePath() + ".bad.1"), older);

  // A FIFO in the bundle where the pack should be: refused, never waited on.
  const std::string bundle = home.File("Ambrel.saver");
  std::filesystem::copy(SAVER_BUNDLE, bundle, std::filesystem::copy_options::recursive);
  std::filesystem::remove(bundle + "/Resources/morvish.tallowyn");
  ASSERT_EQ(mkfifo((bundle + "/Resources/morvish.tallowyn").c_str(), 0600), 0);
  ChildProcess fifo;
  Start(fifo, {"run", "2"}, "", bundle);
  ASSERT_EQ(fifo.Wait(60), 0) << fifo.errors();
  EXPECT_NE(fifo.output().find("exit 0 released 2 of 2"), std::string::npos) << fifo.output();
}

}  // namespace

}  // namespace ambrel
