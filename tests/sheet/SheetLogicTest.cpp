// The view's sheet logic against a sheet held in memory and the real settings
// store: what the controls show, what save, cancel and defaults leave in memory
// and in the store, the folder button, the folder choice and the page.
#include <string>

#include "MemorySheet.h"
#include "platform/ScreenSaverDefaults.h"
#include "tests/host/HostFixture.h"

namespace ambrel {

namespace {

const Screen kScreen{Rect{0, 0, 64, 48}, 1};

std::unique_ptr<ScreenSaverDefaults> Store() { return ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel"); }

// Every stored value differs from its default.
void StoreUnusualSettings() {
  auto store = Store();
  store->setObject("1.0.4", "version");
  store->setBool(true, "MainMonitorOnly");
  store->setInteger(333, "WaterSpeed");
  store->setInteger(7, "WaterRes");
  store->setInteger(40, "DripSpeed");
  store->setBool(false, "Lighting");
  store->setBool(false, "WantBowl");
  store->setInteger(2, "BGType");
  store->setObject("/srv/pictures", "BGPath");
  store->setInteger(2, "BGRes");
  ASSERT_TRUE(store->synchronize());
}

struct Stored {
  bool mainMonitorOnly, lighting, wantBowl;
  int64_t waterSpeed, waterRes, dripSpeed, bgType, bgRes;
  std::string bgPath, version;
  bool operator==(const Stored& o) const {
    return mainMonitorOnly == o.mainMonitorOnly && lighting == o.lighting && wantBowl == o.wantBowl &&
           waterSpeed == o.waterSpeed && waterRes == o.waterRes && dripSpeed == o.dripSpeed && bgType == o.bgType &&
           bgRes == o.bgRes && bgPath == o.bgPath && version == o.version;
  }
};

std::ostream& operator<<(std::ostream& out, const Stored& s) {
  return out << "{main " << s.mainMonitorOnly << " light " << s.lighting << " bowl " << s.wantBowl << " speed "
             << s.waterSpeed << " res " << s.waterRes << " drip " << s.dripSpeed << " type " << s.bgType << " bgres "
             << s.bgRes << " path '" << s.bgPath << "' version '" << s.version << "'}";
}

Stored ReadStore() {
  auto store = Store();
  return Stored{store->boolForKey("MainMonitorOnly"),      store->boolForKey("Lighting"),
                store->boolForKey("WantBowl"),             store->integerForKey("WaterSpeed"),
                store->integerForKey("WaterRes"),          store->integerForKey("DripSpeed"),
                store->integerForKey("BGType"),            store->integerForKey("BGRes"),
                store->stringForKey("BGPath").value_or("none"), store->stringForKey("version").value_or("none")};
}

Stored InMemory(const AmbrelView* view) {
  const SETTINGS& s = view->mySettings;
  return Stored{view->MainMonitorOnly, s.LIGHTING, s.WANTBOWL, s.WATERSPEED, s.WATERSHIFT, s.DRIPSPEED,
                s.BGTYPE,              s.BGRES,    s.BGPath,   "1.0.4"};
}

const Stored kUnusual{true, false, false, 333, 7, 40, 2, 2, "/srv/pictures", "1.0.4"};

class SheetLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreUnusualSettings();
    engine.setCapture(1, SolidCapture(64, 48, 40, 80, 120));
  }
  AmbrelView* MakeView() { return Ambrel(engine, engine.addView(AmbrelFactory(), kScreen.frame, false, 1)); }
  MemorySheetWindow* Open(AmbrelView* view) {
    auto* sheet = static_cast<MemorySheetWindow*>(view->configureSheet());
    if (sheet) sheet->present();
    return sheet;
  }

  ScopedConfigHome home;
  OffscreenEngine engine{{kScreen}};
  MemorySheetServices services;
};

TEST_F(SheetLogic, OpeningShowsTheViewsValuesAndSavingUnchangedWritesThemBackButNotTheVersion) {
  AmbrelView* view = MakeView();
  MemorySheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(services.names, std::vector<std::string>{"Ambrel"});
  EXPECT_EQ(sheet->control("oMainMonitorOnly").state(), 1);
  EXPECT_EQ(sheet->control("oWaterSpeed").intValue(), 333);
  EXPECT_EQ(sheet->control("oWaterRes").intValue(), 7);
  EXPECT_EQ(sheet->control("oDripSpeed").intValue(), 40);
  EXPECT_EQ(sheet->control("oLighting").state(), 0);
  EXPECT_EQ(sheet->control("oWantBowl").state(), 0);
  EXPECT_EQ(sheet->control("oBGType").indexOfSelectedItem(), 2);
  EXPECT_EQ(sheet->control("oBGPath").title(), "/srv/pictures");
  EXPECT_EQ(sheet->control("oBGRes").indexOfSelectedItem(), 2);

  // Whoever wrote "version" last, the sheet leaves it alone.
  auto store = Store();
  store->setObject("left alone", "version");
  ASSERT_TRUE(store->synchronize());
  ASSERT_TRUE(sheet->send("configureSheet_save:"));
  Stored expected = kUnusual;
  expected.version = "left alone";
  EXPECT_EQ(ReadStore(), expected);
  EXPECT_EQ(InMemory(view), kUnusual);
  EXPECT_FALSE(sheet->isShown());
}

// Each declared setting, given for one run as the command line gives it, shows in
// its control, is saved by the sheet and reads back from the store.
TEST_F(SheetLogic, EveryDeclaredSettingTravelsFromTheCommandLineThroughTheSheetToTheStore) {
  for (const SettingDeclaration& setting : kSettings) {
    SCOPED_TRACE(setting.store.key);
    SettingValue unusual{setting.store.defaultNumber + 1, "/srv/elsewhere"};
    if (setting.store.type == SettingType::kBool) unusual.number = !setting.store.defaultNumber;
    AmbrelViewOverrides overrides;
    overrides.fields[setting.store.key] = unusual;
    auto* view = Ambrel(engine, engine.addView(AmbrelFactory(overrides), kScreen.frame, false, 1));
    MemorySheetWindow* sheet = Open(view);
    ASSERT_TRUE(sheet);
    const MemoryControl& control = sheet->control(setting.sheet.outlet);
    switch (setting.sheet.control) {
      case SheetControlKind::kCheckBox: EXPECT_EQ(control.state(), unusual.number); break;
      case SheetControlKind::kSlider: EXPECT_EQ(control.intValue(), unusual.number); break;
      case SheetControlKind::kPopUp: EXPECT_EQ(control.indexOfSelectedItem(), unusual.number); break;
      case SheetControlKind::kButton: EXPECT_EQ(control.title(), unusual.text); break;
    }
    ASSERT_TRUE(sheet->send("configureSheet_save:"));
    const SettingsRecord stored = ReadStoredSettings();
    SettingsRecord expected{};
    ApplySettingOverrides(overrides.fields, &expected);
    EXPECT_EQ(SettingValueText(setting, stored), SettingValueText(setting, expected));
    StoreUnusualSettings();
  }
}

TEST_F(SheetLogic, SaveTakesEveryControlAndAMixedCheckBoxCountsAsOff) {
  AmbrelView* view = MakeView();
  MemorySheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  sheet->control("oMainMonitorOnly").setState(kControlStateMixed);
  sheet->control("oLighting").setState(1);
  sheet->control("oWantBowl").setState(2);
  sheet->control("oWaterSpeed").setIntValue(-5);  // no range here: taken as it comes, sign and all
  sheet->control("oWaterRes").setIntValue(4);
  sheet->control("oDripSpeed").setIntValue(0);    // the drop timer divides by it: kept at 1
  sheet->control("oBGType").selectItemAtIndex(1);
  sheet->control("oBGRes").selectItemAtIndex(0);
  ASSERT_TRUE(sheet->send("configureSheet_save:"));
  const Stored expected{false, true, false, -5, 4, 1, 1, 0, "/srv/pictures", "1.0.4"};
  EXPECT_EQ(ReadStore(), expected);
  EXPECT_EQ(InMemory(view), expected);
}

TEST_F(SheetLogic, DefaultsThenCancelChangesNothingAndDefaultsThenSaveStoresThemButKeepsTheFolder) {
  AmbrelView* view = MakeView();
  MemorySheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  ASSERT_TRUE(sheet->send("configureSheet_defaults:"));
  EXPECT_EQ(sheet->control("oWaterSpeed").intValue(), 100);
  EXPECT_EQ(sheet->control("oBGPath").title(), "/srv/pictures");
  EXPECT_FALSE(sheet->control("oBGPath").isEnabled()) << "kind 0 after the defaults";
  ASSERT_TRUE(sheet->send("configureSheet_cancel:"));
  EXPECT_FALSE(sheet->isShown());
  EXPECT_EQ(ReadStore(), kUnusual);
  EXPECT_EQ(InMemory(view), kUnusual);

  // Opening again shows the view's values, not the defaults left in the controls.
  ASSERT_EQ(Open(view), sheet);
  EXPECT_EQ(sheet->control("oWaterSpeed").intValue(), 333);
  EXPECT_TRUE(sheet->control("oBGPath").isEnabled());
  ASSERT_TRUE(sheet->send("configureSheet_defaults:"));
  ASSERT_TRUE(sheet->send("configureSheet_save:"));
  const Stored defaults{false, true, true, 100, 6, 250, 0, 1, "/srv/pictures", "1.0.4"};
  EXPECT_EQ(ReadStore(), defaults);
  EXPECT_EQ(InMemory(view), defaults);
}

TEST_F(SheetLogic, TheFolderButtonIsEnabledOnlyForTheFolderKind) {
  MemorySheetWindow* sheet = Open(MakeView());
  ASSERT_TRUE(sheet);
  MemoryControl& kind = sheet->control("oBGType");
  for (int index : {0, 1, 2, 1, 2, 0}) {
    kind.selectItemAtIndex(index);
    ASSERT_TRUE(sheet->send("configureSheet_update:"));
    EXPECT_EQ(sheet->control("oBGPath").isEnabled(), index == 2) << index;
  }
}

TEST_F(SheetLogic, AChosenFolderStaysInMemoryAfterCancelButNeverReachesTheStore) {
  AmbrelView* view = MakeView();
  MemorySheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);

  services.folderAnswer = std::nullopt;  // the user cancels the panel
  ASSERT_TRUE(sheet->send("configureSheet_bgpath:"));
  ASSERT_EQ(services.panels.size(), 1u);
  const FolderPanel& panel = services.panels[0];
  EXPECT_EQ(panel.title, "Select Folder To Load Random Background Images From");
  EXPECT_EQ(panel.startDirectory, "/srv/pictures");
  EXPECT_EQ(panel.allowedFileTypes, (std::vector<std::string>{"jpg", "gif", "png"}));
  EXPECT_TRUE(!panel.allowsMultipleSelection && !panel.canChooseFiles && panel.canChooseDirectories);
  EXPECT_STREQ(view->mySettings.BGPath, "/srv/pictures");

  services.folderAnswer = "/home/someone/Pictures/sea & sky";
  ASSERT_TRUE(sheet->send("configureSheet_bgpath:"));
  EXPECT_EQ(sheet->control("oBGPath").title(), "/home/someone/Pictures/sea & sky");
  ASSERT_TRUE(sheet->send("configureSheet_cancel:"));
  EXPECT_STREQ(view->mySettings.BGPath, "/home/someone/Pictures/sea & sky");
  EXPECT_EQ(ReadStore().bgPath, "/srv/pictures");

  ASSERT_EQ(Open(view), sheet);
  EXPECT_EQ(sheet->control("oBGPath").title(), "/home/someone/Pictures/sea & sky");
  ASSERT_TRUE(sheet->send("configureSheet_bgpath:"));
  EXPECT_EQ(services.panels.back().startDirectory, "/home/someone/Pictures/sea & sky");
}

TEST_F(SheetLogic, AFolderPathTooLongForTheSettingIsRefusedAndTheOldFolderKept) {
  AmbrelView* view = MakeView();
  MemorySheetWindow* sheet = Open(view);
  ASSERT_TRUE(sheet);
  const std::string longest = "/" + std::string(1022, 'a');  // 1023 bytes: fits with its terminator
  services.folderAnswer = longest;
  ASSERT_TRUE(sheet->send("configureSheet_bgpath:"));
  EXPECT_EQ(std::string(view->mySettings.BGPath), longest);
  EXPECT_EQ(sheet->control("oBGPath").title(), longest);

  testing::internal::CaptureStderr();
  services.folderAnswer = "/" + std::string(1023, 'b');
  ASSERT_TRUE(sheet->send("configureSheet_bgpath:"));
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("does not fit"), std::string::npos) << message;
  EXPECT_EQ(std::string(view->mySettings.BGPath), longest);
  EXPECT_EQ(sheet->control("oBGPath").title(), longest);
  ASSERT_TRUE(sheet->send("configureSheet_save:"));
  EXPECT_EQ(ReadStore().bgPath, longest);
}

TEST_F(SheetLogic, EachViewLoadsItsSheetOnce) {
  AmbrelView* first = MakeView();
  AmbrelView* second = MakeView();
  MemorySheetWindow* sheet = Open(first);
  EXPECT_EQ(Open(first), sheet);
  EXPECT_EQ(Open(first), sheet);
  EXPECT_EQ(services.loads, 1);
  MemorySheetWindow* other = Open(second);
  EXPECT_NE(other, sheet);
  EXPECT_EQ(services.loads, 2);
  // Saving on one view leaves the other view's memory as it was.
  other->control("oWaterSpeed").setIntValue(900);
  ASSERT_TRUE(other->send("configureSheet_save:"));
  EXPECT_EQ(second->mySettings.WATERSPEED, 900);
  EXPECT_EQ(first->mySettings.WATERSPEED, 333);
}

TEST_F(SheetLogic, WithoutASheetTheViewRunsOnAndTriesAgainNextTime) {
  services.refuseLoad = true;
  AmbrelView* view = MakeView();
  EXPECT_EQ(view->configureSheet(), nullptr);
  EXPECT_EQ(view->oBGPath, nullptr);
  // The actions have nothing to act on and do nothing.
  view->configureSheet_save(nullptr);
  view->configureSheet_defaults(nullptr);
  view->configureSheet_bgpath(nullptr);
  EXPECT_TRUE(services.panels.empty());
  EXPECT_EQ(ReadStore(), kUnusual);
  engine.startAnimation();
  engine.runFrames(5);
  EXPECT_GT(engine.flushCount(0), 0);

  services.refuseLoad = false;
  EXPECT_NE(Open(view), nullptr);
  EXPECT_EQ(services.loads, 2);
}

TEST_F(SheetLogic, TheWebPageIsTheHtmlPageInTheDocumentationBesideTheResources) {
  const std::string share = home.root() + "/share with space";
  const std::string folder = share + "/ambrel";
  ScopedResources resources(folder);
  MemorySheetWindow* sheet = Open(MakeView());
  ASSERT_TRUE(sheet);

  testing::internal::CaptureStderr();
  std::ofstream(folder + "/README.md") << "# Ambrel\n";
  ASSERT_TRUE(sheet->send("configureSheet_openwebsite:"));
  EXPECT_TRUE(services.opened.empty()) << "no page yet, and the README is not one";
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ambrel.html"), std::string::npos);

  std::filesystem::create_directories(share + "/doc/ambrel");
  std::ofstream(share + "/doc/ambrel/ambrel.html") << "<!DOCTYPE html>\n";
  ASSERT_TRUE(sheet->send("configureSheet_openwebsite:"));
  ASSERT_EQ(services.opened.size(), 1u);
  EXPECT_EQ(std::filesystem::canonical(services.opened[0]), std::filesystem::canonical(share + "/doc/ambrel/ambrel.html"));
}

// The preview view is a view like the others, made with isPreview true: its scene
// never runs the overlay, however long it runs, while a screen's does.
TEST(PreviewView, NeverDrawsTheOverlay) {
  ScopedConfigHome home;
  ScopedResources resources(home.root() + "/resources");
  OffscreenEngine engine({kScreen});
  const SETTINGS settings = MakeSettings(1);
  const int preview = engine.addView(AmbrelFactory(settings), Rect{0, 0, 64, 48}, true, 1);
  const int screen = engine.addView(AmbrelFactory(settings), kScreen.frame, false, 1);
  engine.startAnimation();
  // Past the overlay's first minute, in steps short enough to be run.
  for (int step = 0; step < 45; ++step) {
    engine.advance(1.5);
    engine.tick();
  }
  const SSMAIN* previewScene = Ambrel(engine, preview)->ssMain;
  const SSMAIN* screenScene = Ambrel(engine, screen)->ssMain;
  ASSERT_TRUE(previewScene && screenScene);
  EXPECT_TRUE(previewScene->isPreview);
  EXPECT_GT(previewScene->totalTime, 60.0);
  EXPECT_EQ(previewScene->overlayTimer, 60.0f) << "the overlay's clock never ran";
  EXPECT_FALSE(previewScene->overlayShown);
  EXPECT_NE(screenScene->overlayTimer, 60.0f);
  EXPECT_TRUE(screenScene->overlayShown);
}

}  // namespace

}  // namespace ambrel
