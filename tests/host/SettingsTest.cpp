// Settings on a real store file: the version rule, every default, reading back
// what is stored, the sheet's save, and a store that cannot be written.
#include <algorithm>
#include <iterator>

#include "Files.h"
#include "HostFixture.h"
#include "platform/Pictures.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

const Screen kScreen{Rect{0, 0, 64, 48}, 1};

std::unique_ptr<ScreenSaverDefaults> Store() { return ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel"); }

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { engine.setCapture(1, SolidCapture(64, 48, 40, 80, 120)); }
  AmbrelView* MakeView() { return Ambrel(engine, engine.addView(AmbrelFactory(), kScreen.frame, false, 1)); }
  ScopedConfigHome home;
  OffscreenEngine engine{{kScreen}};
};

void ExpectDefaults(const AmbrelView* view) {
  const SETTINGS& s = view->mySettings;
  EXPECT_FALSE(view->MainMonitorOnly);
  EXPECT_TRUE(s.LIGHTING && s.WANTBOWL);
  EXPECT_EQ(s.WATERSPEED, 100);
  EXPECT_EQ(s.WATERSHIFT, 6);
  EXPECT_EQ(s.DRIPSPEED, 250);
  EXPECT_EQ(s.BGTYPE, 0);
  EXPECT_EQ(s.BGPath, UserPicturesFolder());
  EXPECT_EQ(s.BGRES, 1);
  EXPECT_TRUE(s.OVERLAY);
  auto store = Store();
  EXPECT_EQ(store->stringForKey("version").value_or("none"), "1.0.4");
  EXPECT_EQ(store->stringForKey("BGPath").value_or("none"), UserPicturesFolder());
  EXPECT_FALSE(store->boolForKey("MainMonitorOnly"));
  EXPECT_TRUE(store->boolForKey("Lighting") && store->boolForKey("WantBowl") && store->boolForKey("Overlay"));
  const std::pair<const char*, int64_t> integers[] = {
      {"WaterSpeed", 100}, {"WaterRes", 6}, {"DripSpeed", 250}, {"BGType", 0}, {"BGRes", 1}};
  for (const auto& [key, value] : integers) EXPECT_EQ(store->integerForKey(key), value) << key;
}

TEST_F(Settings, FirstRunOrAnyOtherVersionWritesAndUsesEveryDefault) {
  ExpectDefaults(MakeView());
  for (const char* version : {"1.0.3", "1.0.4 ", ""}) {
    SCOPED_TRACE(version);
    auto store = Store();
    store->setObject(version, "version");
    store->setBool(true, "MainMonitorOnly");
    store->setInteger(7, "WaterSpeed");
    store->setInteger(2, "BGType");
    store->setObject("/pictures", "BGPath");
    ASSERT_TRUE(store->synchronize());
    ExpectDefaults(MakeView());
  }
}

TEST_F(Settings, TheCurrentVersionKeepsWhatIsStored) {
  auto store = Store();
  store->setObject("1.0.4", "version");
  store->setBool(true, "MainMonitorOnly");
  store->setInteger(12, "WaterRes");
  store->setInteger(2, "BGType");
  store->setObject("/srv/pictures", "BGPath");
  store->setInteger((int64_t{1} << 32) + 2, "BGRes");  // only the low 32 bits count
  ASSERT_TRUE(store->synchronize());
  AmbrelView* view = MakeView();
  EXPECT_TRUE(view->MainMonitorOnly);
  EXPECT_EQ(view->mySettings.WATERSHIFT, 12);
  EXPECT_EQ(view->mySettings.BGTYPE, 2);
  EXPECT_STREQ(view->mySettings.BGPath, "/srv/pictures");
  EXPECT_EQ(view->mySettings.BGRES, 2);
  EXPECT_EQ(view->DeskTex.texID, 0u);  // no capture for the folder kind
  // Absent keys read as nothing, but for a setting added after this version's
  // stores were written; the drip speed is held at 1 for the drop timer.
  EXPECT_FALSE(view->mySettings.LIGHTING);
  EXPECT_TRUE(view->mySettings.OVERLAY);
  EXPECT_EQ(view->mySettings.WATERSPEED, 0);
  EXPECT_EQ(view->mySettings.DRIPSPEED, 1);
  store->setInteger(-40, "DripSpeed");
  // The folder earlier Linux builds stored as the default, which no Linux machine
  // has, reads as today's default.
  store->setObject("/library/Desktop Pictures/", "BGPath");
  ASSERT_TRUE(store->synchronize());
  EXPECT_EQ(MakeView()->mySettings.DRIPSPEED, 1);
  EXPECT_EQ(MakeView()->mySettings.BGPath, UserPicturesFolder());
}

TEST_F(Settings, ALineThatCannotBeReadCostsThatLineAloneAndAResetKeepsTheOldFile) {
  const std::string path = Store()->path();
  std::filesystem::create_directories(path.substr(0, path.rfind('/')));
  const std::string pictures = "[DesktopPictures]\ndefault=/srv/pictures/sea.png\n";
  // A byte-order mark, a typo and a stray line before the first group.
  const std::string stored = "\xEF\xBB\xBFstray\n[kvAmbrel]\nversion=1.0.4\nMainMonitorOnly=true\nWaterSpeed=300\n"
                             "Water Res 5\nWaterRes=5\nDripSpeed=40\nLighting=false\nWantBowl=false\nBGType=2\n"
                             "BGPath=/srv/pictures\nBGRes=0\nOverlay=false\n" + pictures;
  std::ofstream(path, std::ios::binary) << stored;
  ::testing::internal::CaptureStderr();
  AmbrelView* view = MakeView();
  const std::string said = ::testing::internal::GetCapturedStderr();
  const SETTINGS& s = view->mySettings;
  EXPECT_TRUE(view->MainMonitorOnly);
  EXPECT_FALSE(s.LIGHTING || s.WANTBOWL);
  EXPECT_EQ(s.WATERSPEED, 300);
  EXPECT_EQ(s.WATERSHIFT, 5);
  EXPECT_EQ(s.DRIPSPEED, 40);
  EXPECT_EQ(s.BGTYPE, 2);
  EXPECT_STREQ(s.BGPath, "/srv/pictures");
  EXPECT_EQ(s.BGRES, 0);
  EXPECT_FALSE(s.OVERLAY);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
  EXPECT_NE(said.find(path + " line 1 "), std::string::npos) << said;
  EXPECT_NE(said.find(path + " line 6 "), std::string::npos) << said;
  EXPECT_EQ(ReadFile(path), stored) << "reading alone writes nothing";

  // Another version is reset, but the file as it was stays beside it, and so do our sections.
  const std::string older = "[kvAmbrel]\nversion=0.9\nWaterSpeed=300\n" + pictures;
  std::ofstream(path, std::ios::binary) << older;
  ::testing::internal::CaptureStderr();
  ExpectDefaults(MakeView());
  const std::string reset = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile(path + ".bad"), older);
  EXPECT_NE(reset.find(path + ".bad"), std::string::npos) << reset;
  EXPECT_EQ(Store()->stringsInSection("DesktopPictures").at("default"), "/srv/pictures/sea.png");
}

TEST_F(Settings, AFolderPathThatDoesNotFitIsRefusedWhole) {
  const std::string fits = "/" + std::string(1022, 'a'), tooLong = "/" + std::string(1023, 'b');
  auto store = Store();
  store->setObject("1.0.4", "version");
  store->setObject(fits.c_str(), "BGPath");
  ASSERT_TRUE(store->synchronize());
  EXPECT_EQ(std::string(MakeView()->mySettings.BGPath), fits);
  store->setObject(tooLong.c_str(), "BGPath");
  ASSERT_TRUE(store->synchronize());
  EXPECT_STREQ(MakeView()->mySettings.BGPath, "");
}

TEST_F(Settings, SavedSettingsReachViewsMadeLaterButNotTheVersion) {
  AmbrelView* first = MakeView();
  first->MainMonitorOnly = true;
  first->mySettings.WATERSHIFT = 7;
  first->mySettings.DRIPSPEED = 0;  // a sheet slider at its end
  first->mySettings.WANTBOWL = false;
  std::snprintf(first->mySettings.BGPath, sizeof first->mySettings.BGPath, "%s", "/home/me/Pictures");
  first->mySettings.BGRES = -1;
  first->storeSettings();
  auto store = Store();
  EXPECT_EQ(store->integerForKey("DripSpeed"), 1);
  store->setObject("1.0.4-old", "version");
  ASSERT_TRUE(store->synchronize());
  first->storeSettings();
  EXPECT_EQ(Store()->stringForKey("version").value_or(""), "1.0.4-old");

  store->setObject("1.0.4", "version");
  ASSERT_TRUE(store->synchronize());
  AmbrelView* later = MakeView();
  EXPECT_TRUE(later->MainMonitorOnly);
  EXPECT_EQ(later->mySettings.WATERSHIFT, 7);
  EXPECT_FALSE(later->mySettings.WANTBOWL);
  EXPECT_STREQ(later->mySettings.BGPath, "/home/me/Pictures");
  EXPECT_EQ(later->mySettings.BGRES, -1);
}

TEST_F(Settings, ABlackCaptureSwitchesOnlyThisViewToTheDesktopPicture) {
  engine.setCapture(1, SolidCapture(64, 48, 0, 0, 0, 255));
  EXPECT_EQ(MakeView()->mySettings.BGTYPE, 1);
  EXPECT_EQ(Store()->integerForKey("BGType"), 0);
}

TEST(SettingsUnwritable, DefaultsStillHoldInMemoryWithOneMessage) {
  ScopedConfigHome home;
  const std::string blocker = home.root() + "/file";
  std::ofstream(blocker) << "not a folder";
  ScopedEnv config("XDG_CONFIG_HOME", blocker);  // the store's folder cannot be made
  OffscreenEngine engine({kScreen});
  ::testing::internal::CaptureStderr();
  engine.createViews(AmbrelFactory());
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(engine.viewCount(), 1);
  EXPECT_EQ(Ambrel(engine, 0)->mySettings.DRIPSPEED, 250);
  EXPECT_NE(said.find(blocker), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  engine.startAnimation();
  engine.runFrames(2);
  EXPECT_NE(Ambrel(engine, 0)->ssMain, nullptr);
}

}  // namespace

}  // namespace ambrel
