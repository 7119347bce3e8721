// The view's life under the engine: the frame clock, the main-screen rule,
// resizes, stop and start, and what its release leaves behind.
#include <algorithm>
#include <cstdlib>

#include "HostFixture.h"
#include "platform/egl/OffscreenContext.h"

namespace ambrel {

namespace {

const Screen kScreen{Rect{0, 0, 64, 48}, 1};
const SETTINGS kFolderKind = MakeSettings(2, "/nonexistent");

class FrameClock : public ::testing::Test {
 protected:
  AmbrelView* StartOneView(double startTime) {
    engine.setTime(startTime);
    engine.createViews(AmbrelFactory(kFolderKind));
    engine.startAnimation();
    return Ambrel(engine, 0);
  }
  ScopedConfigHome home;
  OffscreenEngine engine{{kScreen}};
};

TEST_F(FrameClock, StepsOnlyOnStrictGapsAndCarriesShortOnesOver) {
  AmbrelView* view = StartOneView(0.0);
  EXPECT_DOUBLE_EQ(engine.timerInterval(0), 1.0 / 60.0);
  engine.tick();  // set-up ends at the current time: nothing is drawn yet
  ASSERT_NE(view->ssMain, nullptr);
  EXPECT_EQ(view->animtime, 0.0);
  EXPECT_EQ(engine.flushCount(0), 0);

  engine.setTime(0.01);  // exactly 0.01 s does not step
  ASSERT_EQ(engine.time() - view->animtime, 0.01);
  engine.tick();
  EXPECT_EQ(engine.flushCount(0), 0);

  engine.setTime(0.015);  // 5 ms later the carried time makes one 15 ms step
  engine.tick();
  EXPECT_EQ(engine.flushCount(0), 1);
  EXPECT_EQ(view->ssMain->totalTime, 0.015);

  for (double t : {0.035, 0.040, 0.047}) engine.setTime(t), engine.tick();
  EXPECT_EQ(engine.flushCount(0), 3);  // 0.040 was absorbed into the step at 0.047
  EXPECT_DOUBLE_EQ(view->ssMain->totalTime, 0.047);
}

TEST_F(FrameClock, LongGapsRestartTheClockButExactlyTwoSecondsSteps) {
  AmbrelView* view = StartOneView(100.0);
  engine.tick();
  engine.setTime(103.0);  // 3 s: no step, no drawing
  engine.tick();
  EXPECT_EQ(engine.flushCount(0), 0);
  EXPECT_EQ(view->animtime, 103.0);
  engine.setTime(103.25);
  engine.tick();
  engine.setTime(105.25);
  ASSERT_EQ(engine.time() - view->animtime, 2.0);
  engine.tick();
  EXPECT_EQ(engine.flushCount(0), 2);
  EXPECT_EQ(view->ssMain->totalTime, 2.25);
}

TEST_F(FrameClock, StopKeepsTheSceneAndStartResumesIt) {
  AmbrelView* view = StartOneView(100.0);
  engine.runFrames(10);
  SSMAIN* scene = view->ssMain;
  engine.stopAnimation();
  EXPECT_FALSE(engine.timerRunning(0));
  engine.advance(60);
  engine.startAnimation();
  engine.runFrames(4);  // the first only restarts the clock
  EXPECT_EQ(view->ssMain, scene);
  EXPECT_EQ(engine.flushCount(0), 9 + 3);
}

TEST_F(FrameClock, ResizeReinitialisesOpenGLAndKeepsTheScene) {
  AmbrelView* view = StartOneView(100.0);
  engine.runFrames(3);
  SSMAIN* scene = view->ssMain;
  engine.resizeView(0, Size{100.7, 50.9});
  EXPECT_FALSE(view->glReady);
  EXPECT_EQ(engine.surfaceWidth(0), 100);
  engine.runFrames(1);
  EXPECT_EQ(view->ssMain, scene);
  EXPECT_EQ(scene->width, 100);
  EXPECT_EQ(scene->height, 50);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 100);
  EXPECT_EQ(viewport[3], 50);
}

// On the processor the view draws the water OpenGL draws from the same start, with
// the CPU renderer's bound against OpenGL, and makes not one OpenGL call: no context
// is asked for, and a context of the test's own, current all along, sees nothing.
TEST(ProcessorFrames, DrawWhatOpenGLDrawsWithoutAnyOpenGLCall) {
  ScopedConfigHome home;
  const Screen screen{Rect{0, 0, 160, 120}, 1};
  CapturedImage capture = SolidCapture(160, 120, 0, 0, 0);
  for (size_t i = 0; i < capture.pixels.size(); ++i) capture.pixels[i] = uint8_t(i * 7 + i / 977);
  OffscreenContext own;
  for (const int kind : {1, 0}) {
    SCOPED_TRACE(kind ? "the shipped picture" : "a capture");
    AmbrelViewOverrides overrides = Overrides(MakeSettings(kind));
    overrides.desktopPicture = "";
    std::vector<uint8_t> drawn[2];
    for (FrameRenderer renderer : {FrameRenderer::kGL, FrameRenderer::kCpu}) {
      const bool cpu = renderer == FrameRenderer::kCpu;
      if (cpu) {
        ASSERT_TRUE(own.Valid() ? own.MakeCurrent() : own.Create(8, 8));
      }
      overrides.renderer = renderer;
      OffscreenEngine engine({screen}, {false, 1000});
      engine.setCapture(1, capture);
      engine.createViews(AmbrelFactory(overrides));
      engine.startAnimation();
      engine.runFrames(40);
      ASSERT_TRUE(Ambrel(engine, 0)->hasScene());
      EXPECT_EQ(Ambrel(engine, 0)->mySettings.BGTYPE, kind);
      drawn[cpu] = engine.pixels(0);
      EXPECT_EQ(engine.madeGLContext(), !cpu);
      if (!cpu) continue;
      EXPECT_GE(engine.flushCount(0), 39);
      GLint viewport[4] = {};
      glGetIntegerv(GL_VIEWPORT, viewport);
      EXPECT_EQ(viewport[2], 8);
      EXPECT_FALSE(glIsTexture(1));
      EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
      EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

      engine.resizeView(0, Size{100.7, 50.9});
      engine.runFrames(1);
      EXPECT_EQ(engine.surfaceWidth(0), 100);
      EXPECT_EQ(Ambrel(engine, 0)->ssMain->width, 100);
      EXPECT_EQ(Ambrel(engine, 0)->ssMain->height, 50);
    }
    ASSERT_EQ(drawn[0].size(), size_t(160 * 120 * 4));
    ASSERT_EQ(drawn[1].size(), drawn[0].size());
    int largest = 0;
    size_t over2 = 0, lit = 0;
    for (size_t i = 0; i < drawn[0].size(); i += 4) {
      int worst = 0;
      for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(drawn[0][i + k]) - int(drawn[1][i + k])));
      largest = std::max(largest, worst);
      over2 += worst > 2;
      lit += drawn[0][i] + drawn[0][i + 1] + drawn[0][i + 2] > 30;
    }
    EXPECT_GT(lit, drawn[0].size() / 4 / 4);  // water over the background, not black against black
    EXPECT_LE(largest, 3);
    EXPECT_LE(over2 * 1000, drawn[0].size() / 4);
  }
}

TEST(MainMonitorOnly, OtherScreensAndTheirPreviewsStayBlackWithoutAScene) {
  ScopedConfigHome home;
  OffscreenEngine engine({kScreen, Screen{Rect{64, 0, 64, 48}, 9}});
  engine.createViews(AmbrelFactory(kFolderKind, true));
  engine.addView(AmbrelFactory(kFolderKind, true), Rect{70, 10, 30, 20}, true, 9);
  engine.startAnimation();
  engine.runFrames(5);
  EXPECT_TRUE(engine.timerRunning(0));
  EXPECT_NE(Ambrel(engine, 0)->ssMain, nullptr);
  for (int off : {1, 2}) {
    EXPECT_FALSE(engine.timerRunning(off)) << off;
    EXPECT_EQ(Ambrel(engine, off)->ssMain, nullptr) << off;
    EXPECT_EQ(engine.flushCount(off), 0) << off;
    EXPECT_TRUE(AllOpaqueBlack(engine.pixels(off))) << off;
  }
}

TEST(MainMonitorOnly, OffEveryScreenHasItsOwnScene) {
  ScopedConfigHome home;
  OffscreenEngine engine({kScreen, Screen{Rect{64, 0, 64, 48}, 9}});
  engine.createViews(AmbrelFactory(kFolderKind, false));
  engine.startAnimation();
  engine.runFrames(3);
  ASSERT_NE(Ambrel(engine, 1)->ssMain, nullptr);
  EXPECT_NE(Ambrel(engine, 0)->ssMain, Ambrel(engine, 1)->ssMain);
}

// A window whose context outlives the view, so the test can look after release.
struct LastingSite : ViewSite {
  struct Surface : GLSurface {
    explicit Surface(OffscreenContext& c) : context(c) {}
    bool MakeCurrent() override { return context.MakeCurrent(); }
    void SetSize(Size) override {}
    void Flush() override {}
    OffscreenContext& context;
  };
  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest&) override { return std::make_unique<Surface>(context); }
  const Screen* screen() override { return nullptr; }
  void timerIntervalChanged(double) override {}
  void startTimer() override {}
  void stopTimer() override {}
  OffscreenContext context;
};

TEST(ViewRelease, DeletesTheCaptureOfAViewThatNeverAnimated) {
  ScopedConfigHome home;
  OffscreenEngine engine({kScreen});
  engine.setCapture(1, SolidCapture(64, 48, 10, 120, 200));
  LastingSite site;
  ASSERT_TRUE(site.context.Create(64, 48));
  auto view = std::make_unique<AmbrelView>(kScreen.frame, false, site, Overrides(MakeSettings(0)));
  const uint32_t capture = view->DeskTex.texID;
  ASSERT_TRUE(glIsTexture(capture));
  OffscreenContext other;  // another view's context is current when this one goes
  ASSERT_TRUE(other.Create(8, 8));
  view.reset();
  ASSERT_TRUE(site.context.MakeCurrent());
  EXPECT_FALSE(glIsTexture(capture));
}

// A platform whose wall clock and steady clock the test moves by hand.
struct HandClocks : Platform {
  std::vector<Screen> screens() override { return {}; }
  Screen mainScreen() override { return Screen{}; }
  uint32_t displayMask(int) override { return 0; }
  int mainDisplayNumber() override { return 0; }
  bool captureScreen(uint32_t, CapturedImage*) override { return false; }
  double absoluteTime() override { return AnchoredTime(); }
  double wallClockSeconds() override { return wall; }
  double monotonicSeconds() override { return steady; }
  double wall = 800000000, steady = 5;
};

TEST(FrameClockSource, TheWaterKeepsMovingWhenTheWallClockStepsBack) {
  ScopedConfigHome home;
  HandClocks clocks;
  SetPlatform(&clocks);
  LastingSite site;
  ASSERT_TRUE(site.context.Create(64, 48));
  {
    AmbrelView view(kScreen.frame, false, site, Overrides(kFolderKind));
    view.setFrameSize(Size{64, 48});
    view.startAnimation();
    view.animateOneFrame();
    ASSERT_NE(view.ssMain, nullptr);
    EXPECT_EQ(view.animtime, 800000000.0) << "anchored to the wall clock";
    for (int frame = 1; frame <= 60; ++frame) {
      if (frame == 30) clocks.wall -= 3600;  // NTP, or a hand, sets the clock an hour back
      clocks.steady += 1.0 / 60.0;
      view.animateOneFrame();
    }
    EXPECT_NEAR(view.ssMain->totalTime, 1.0, 1e-6);
  }
  SetPlatform(nullptr);
}

}  // namespace

}  // namespace ambrel
