// The start-up's choice of background: the capture handed to the scene, the
// desktop picture per screen, the folder and the fallback picture.
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>

#include "HostFixture.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

const Screen kLeft{Rect{0, 0, 64, 48}, 7}, kRight{Rect{64, 0, 64, 48}, 9};

class Backgrounds : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSolidPng(red, 16, 16, 255, 0, 0);
    WriteSolidPng(green, 16, 16, 0, 255, 0);
  }
  // Starts every view and returns the background each scene received.
  std::vector<TextureInfo> FirstFrame(OffscreenEngine& engine) {
    engine.startAnimation();
    engine.tick();
    std::vector<TextureInfo> backgrounds;
    for (int i = 0; i < engine.viewCount(); ++i) {
      AmbrelView* view = Ambrel(engine, i);
      const bool ok = view->ssMain && engine.makeCurrent(i);
      backgrounds.push_back(ok ? DescribeTexture(view->ssMain->backgroundTexture) : TextureInfo{});
    }
    return backgrounds;
  }
  static ViewFactory DesktopPictures(std::map<std::string, std::optional<std::string>> entries) {
    AmbrelViewOverrides overrides = Overrides(MakeSettings(1));
    overrides.desktopPictures.emplace();
    for (const auto& [key, path] : entries) overrides.desktopPictures->entries[key].imageFilePath = path;
    return AmbrelFactory(overrides);
  }

  ScopedConfigHome home;
  ScopedResources resources{home.root() + "/resources"};
  std::string red = home.root() + "/red.png", green = home.root() + "/green.png";
};

TEST_F(Backgrounds, EachScreenUsesItsOwnDesktopPictureElseTheDefaultOne) {
  OffscreenEngine engine({kLeft, kRight});
  engine.createViews(DesktopPictures({{"7", red}, {"default", green}}));
  const auto backgrounds = FirstFrame(engine);
  EXPECT_EQ(backgrounds[0].r, 255);
  EXPECT_EQ(backgrounds[1].g, 255);
  EXPECT_EQ(Ambrel(engine, 0)->DeskTex.texID, 0u);
}

// Any picture kind we decode, in any letter case, as cameras name them.
TEST_F(Backgrounds, ADesktopPictureFolderGivesOneOfItsPictures) {
  const std::string folder = home.root() + "/walls", camera = home.root() + "/camera";
  std::filesystem::create_directories(folder);
  std::filesystem::create_directories(camera);
  WriteSolidPng(folder + "/only.png", 16, 16, 0, 255, 0);
  WriteSolidPng(camera + "/IMG_0001.JPEG", 16, 16, 255, 0, 0);
  OffscreenEngine engine({kLeft});
  engine.createViews(DesktopPictures({{"default", folder}}));
  engine.createViews(DesktopPictures({{"default", camera}}));
  const auto backgrounds = FirstFrame(engine);
  EXPECT_EQ(backgrounds[0].g, 255);
  EXPECT_EQ(backgrounds[1].r, 255);
}

TEST_F(Backgrounds, ThePlatformPreferenceIsReadPerScreenFromTheStore) {
  auto store = ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel");
  store->setStringInSection(green.c_str(), "default", "DesktopPictures");
  store->setStringInSection(red.c_str(), "9", "DesktopPictures");
  ASSERT_TRUE(store->synchronize());
  OffscreenEngine engine({kLeft, kRight});
  engine.createViews(AmbrelFactory(Overrides(MakeSettings(1))));
  const auto backgrounds = FirstFrame(engine);
  EXPECT_EQ(backgrounds[0].g, 255);
  EXPECT_EQ(backgrounds[1].r, 255);
}

TEST_F(Backgrounds, NoUsableDesktopPictureGivesTheFallbackAtTheNormalDetail) {
  const std::string here = std::filesystem::current_path();
  ASSERT_EQ(chdir(home.root().c_str()), 0);
  WriteSolidPng("abcd", 16, 16, 0, 255, 0);   // 4 bytes: counts as none
  WriteSolidPng("abcde", 16, 16, 255, 0, 0);  // 5 bytes: tried
  // Pictures and folders that give nothing: the shipped picture, never bare water.
  std::string whole;
  {
    std::ifstream in(red, std::ios::binary);
    whole.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::ofstream(home.root() + "/cut.png", std::ios::binary) << whole.substr(0, whole.size() / 2);
  const std::string damaged = home.root() + "/damaged";
  std::filesystem::create_directories(damaged);
  for (const char* name : {"a.png", "b.JPG"}) std::ofstream(damaged + "/" + name) << "not a picture";
  ASSERT_EQ(mkfifo((damaged + "/c.webp").c_str(), 0644), 0);
  OffscreenEngine engine({kLeft});
  for (const auto& entries : std::vector<std::map<std::string, std::optional<std::string>>>{
           {{"8", red}}, {{"default", ""}}, {{"7", std::nullopt}}, {{"default", "abcd"}},
           {{"default", home.root() + "/" + std::string(1100, 'd') + ".bmp"}}, {{"default", home.root() + "/cut.png"}},
           {{"default", damaged}}, {{"default", "/proc"}}, {{"default", "abcde"}}})
    engine.createViews(DesktopPictures(entries));
  testing::internal::CaptureStderr();
  const auto backgrounds = FirstFrame(engine);
  const std::string errors = testing::internal::GetCapturedStderr();
  ASSERT_EQ(chdir(here.c_str()), 0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(backgrounds[i].b, 255) << i;
    EXPECT_EQ(backgrounds[i].width, 1024) << i;
  }
  EXPECT_EQ(backgrounds[8].r, 255);
  // Each picture that could not be shown, named once with its reason.
  for (const std::string& line : std::vector<std::string>{"\"" + home.root() + "/cut.png\": it is damaged", "\"/proc\": it is a folder without",
        "/damaged/c.webp\": it is not a regular file"})
    EXPECT_NE(errors.find(line), std::string::npos) << errors;
}

TEST_F(Backgrounds, AFolderPictureFollowsTheDetailAndAPreviewUsesDetailZero) {
  const std::string folder = home.root() + "/pictures";
  std::filesystem::create_directories(folder);
  WriteSolidPng(folder + "/big.png", 1000, 1000, 0, 255, 0);
  OffscreenEngine engine({kLeft});
  engine.createViews(AmbrelFactory(MakeSettings(2, folder.c_str())));
  engine.addView(AmbrelFactory(MakeSettings(2, folder.c_str())), Rect{10, 10, 32, 24}, true, 7);
  const auto backgrounds = FirstFrame(engine);
  EXPECT_EQ(backgrounds[0].g, 255);
  EXPECT_EQ(backgrounds[0].width, 1024);
  EXPECT_EQ(backgrounds[1].g, 255);
  EXPECT_EQ(backgrounds[1].width, 512);
  EXPECT_TRUE(Ambrel(engine, 1)->ssMain->isPreview);
}

TEST_F(Backgrounds, AnEmptyOrMissingFolderGivesTheFallbackAtDetailZero) {
  const std::string empty = home.root() + "/empty";
  std::filesystem::create_directories(empty);
  SETTINGS settings = MakeSettings(2, empty.c_str());
  settings.BGRES = 2;
  OffscreenEngine engine({kLeft});
  engine.createViews(AmbrelFactory(settings));
  engine.createViews(AmbrelFactory(MakeSettings(2, "/library/Desktop Pictures/")));
  for (const TextureInfo& info : FirstFrame(engine)) {
    EXPECT_EQ(info.b, 255);
    EXPECT_EQ(info.width, 512);
  }
}

TEST_F(Backgrounds, TheCaptureGoesToTheSceneWithTheWholePixelSize) {
  OffscreenEngine engine({Screen{Rect{0, 0, 64.7, 48.9}, 1}});
  engine.setCapture(1, SolidCapture(64, 48, 200, 100, 50));
  engine.createViews(AmbrelFactory(MakeSettings(0)));
  AmbrelView* view = Ambrel(engine, 0);
  const uint32_t capture = view->DeskTex.texID;
  EXPECT_EQ(FirstFrame(engine)[0].r, 200);
  EXPECT_EQ(view->ssMain->backgroundTexture, capture);
  EXPECT_EQ(view->DeskTex.texID, 0u);
  EXPECT_EQ(view->ssMain->width, 64);  // truncated, never rounded
  EXPECT_EQ(view->ssMain->height, 48);
  engine.runFrames(5);
  EXPECT_EQ(engine.flushCount(0), 5);
}

TEST_F(Backgrounds, AMissingPackStopsTheStartUpBeforeTheBackground) {
  std::filesystem::remove(home.root() + "/resources/morvish.tallowyn");
  OffscreenEngine engine({kLeft});
  engine.setCapture(7, SolidCapture(64, 48, 200, 100, 50));
  engine.createViews(AmbrelFactory(MakeSettings(0)));
  AmbrelView* view = Ambrel(engine, 0);
  FirstFrame(engine);
  ASSERT_NE(view->ssMain, nullptr);
  EXPECT_EQ(view->ssMain->backgroundTexture, 0u);
  EXPECT_NE(view->DeskTex.texID, 0u);  // still the view's, deleted with it
  engine.runFrames(3);  // later frames still step what was built
  EXPECT_GT(view->ssMain->totalTime, 0.0);
}

}  // namespace

}  // namespace ambrel
