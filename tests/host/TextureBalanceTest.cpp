// Every texture name a view creates is deleted again when the view goes: with the
// shipped pack, a picture or a capture as the background, across resizes and with
// other views alive in their own contexts. The surfaces here draw into contexts the
// test keeps, so the names can be looked up after the view is gone.
#include <algorithm>
#include <set>

#include "HostFixture.h"
#include "platform/egl/OffscreenContext.h"

namespace ambrel {

namespace {

const Screen kScreen{Rect{0, 0, 160, 90}, 3};

class KeptSurface : public GLSurface {
 public:
  explicit KeptSurface(OffscreenContext* context) : context_(context) {}
  bool MakeCurrent() override { return context_->MakeCurrent(); }
  void SetSize(Size size) override {
    context_->Resize(std::max(1, static_cast<int>(size.width)), std::max(1, static_cast<int>(size.height)));
  }
  void Flush() override { glFlush(); }

 private:
  OffscreenContext* context_;
};

// Hands each view a surface on a context of its own that outlives the view.
class KeptContextSite : public ViewSite {
 public:
  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest&) override {
    if (!context.Create(1, 1)) return nullptr;
    return std::make_unique<KeptSurface>(&context);
  }
  const Screen* screen() override { return &kScreen; }
  void timerIntervalChanged(double) override {}
  void startTimer() override {}
  void stopTimer() override {}

  OffscreenContext context;
};

class TextureBalance : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(pictures);
    WriteSolidPng(pictures + "/green.png", 300, 200, 0, 255, 0);
  }

  std::unique_ptr<AmbrelView> MakeView(KeptContextSite& site, const SETTINGS& settings) {
    auto view = std::make_unique<AmbrelView>(kScreen.frame, false, site, Overrides(settings));
    view->setFrameSize(Size{kScreen.frame.width, kScreen.frame.height});
    view->startAnimation();
    return view;
  }

  void Run(AmbrelView& view, int frames) {
    for (int i = 0; i < frames; ++i) {
      engine.advance(1.0 / 60.0);
      view.animateOneFrame();
    }
  }

  // The names the view's scene holds now (its context is made current).
  static std::set<uint32_t> NamesInUse(AmbrelView& view) {
    std::set<uint32_t> names;
    if (!view.ssMain) return names;
    for (int i = 0; i < view.ssMain->textureCount; ++i)
      if (view.ssMain->textures[i].texID) names.insert(view.ssMain->textures[i].texID);
    if (view.ssMain->backgroundTexture) names.insert(view.ssMain->backgroundTexture);
    return names;
  }

  // Texture objects still alive in the context, looked for past the highest name seen.
  static std::vector<uint32_t> LiveTextures(OffscreenContext& context, uint32_t highest) {
    std::vector<uint32_t> live;
    if (!context.MakeCurrent()) return {0};
    for (uint32_t name = 1; name <= highest + 64; ++name)
      if (glIsTexture(name)) live.push_back(name);
    return live;
  }

  ScopedConfigHome home;
  std::string pictures = home.root() + "/pictures";
  OffscreenEngine engine{{kScreen}};
};

TEST_F(TextureBalance, APictureBackgroundAndThePackLeaveNoTextureBehind) {
  KeptContextSite site;
  auto view = MakeView(site, MakeSettings(2, pictures.c_str()));
  Run(*view, 30);
  view->setFrameSize(Size{120, 80});  // a resize rebuilds the projection, not the textures
  Run(*view, 30);
  ASSERT_TRUE(site.context.MakeCurrent());
  const std::set<uint32_t> names = NamesInUse(*view);
  ASSERT_GE(names.size(), 2u) << "the shipped pack and the picture give textures";
  EXPECT_EQ(DescribeTexture(view->ssMain->backgroundTexture).g, 255);
  view.reset();
  EXPECT_EQ(LiveTextures(site.context, *names.rbegin()), std::vector<uint32_t>{});
}

TEST_F(TextureBalance, ACaptureBackgroundIsDeletedWithTheScene) {
  engine.setCapture(kScreen.number, SolidCapture(200, 100, 10, 20, 250));
  KeptContextSite site;
  auto view = MakeView(site, MakeSettings(0));
  Run(*view, 60);
  ASSERT_TRUE(site.context.MakeCurrent());
  const std::set<uint32_t> names = NamesInUse(*view);
  ASSERT_TRUE(names.count(view->ssMain->backgroundTexture));
  EXPECT_EQ(DescribeTexture(view->ssMain->backgroundTexture).b, 250);
  view.reset();
  EXPECT_EQ(LiveTextures(site.context, *names.rbegin()), std::vector<uint32_t>{});
}

TEST_F(TextureBalance, ARefusedCaptureAndTheFallbackPictureLeaveNoTextureBehind) {
  engine.setCapture(kScreen.number, SolidCapture(200, 100, 0, 0, 0));  // all black: refused
  KeptContextSite site;
  auto view = MakeView(site, MakeSettings(0));
  EXPECT_EQ(view->mySettings.BGTYPE, 1);
  Run(*view, 20);
  ASSERT_TRUE(site.context.MakeCurrent());
  const std::set<uint32_t> names = NamesInUse(*view);
  ASSERT_FALSE(names.empty());
  view.reset();
  EXPECT_EQ(LiveTextures(site.context, *names.rbegin()), std::vector<uint32_t>{});
}

TEST_F(TextureBalance, AViewClosedBeforeItsFirstFrameReleasesItsCapture) {
  engine.setCapture(kScreen.number, SolidCapture(64, 64, 200, 0, 0));
  KeptContextSite site;
  auto view = MakeView(site, MakeSettings(0));
  const uint32_t capture = view->DeskTex.texID;
  ASSERT_NE(capture, 0u);
  view.reset();
  EXPECT_EQ(LiveTextures(site.context, capture), std::vector<uint32_t>{});
}

TEST_F(TextureBalance, ClosingOneViewDeletesOnlyItsOwnTexturesInItsOwnContext) {
  engine.setCapture(kScreen.number, SolidCapture(128, 64, 0, 200, 0));
  KeptContextSite firstSite, secondSite;
  auto first = MakeView(firstSite, MakeSettings(0));
  auto second = MakeView(secondSite, MakeSettings(2, pictures.c_str()));
  for (int i = 0; i < 20; ++i) {
    Run(*first, 1);
    Run(*second, 1);
  }
  ASSERT_TRUE(secondSite.context.MakeCurrent());
  const std::set<uint32_t> secondNames = NamesInUse(*second);
  ASSERT_TRUE(firstSite.context.MakeCurrent());
  const std::set<uint32_t> firstNames = NamesInUse(*first);
  ASSERT_FALSE(firstNames.empty());
  ASSERT_FALSE(secondNames.empty());

  secondSite.context.MakeCurrent();  // the closing view must switch to its own context
  first.reset();
  EXPECT_EQ(LiveTextures(firstSite.context, *firstNames.rbegin()), std::vector<uint32_t>{});
  const std::vector<uint32_t> stillThere = LiveTextures(secondSite.context, *secondNames.rbegin());
  EXPECT_EQ(std::set<uint32_t>(stillThere.begin(), stillThere.end()), secondNames);

  Run(*second, 5);
  second.reset();
  EXPECT_EQ(LiveTextures(secondSite.context, *secondNames.rbegin()), std::vector<uint32_t>{});
}

}  // namespace

}  // namespace ambrel
