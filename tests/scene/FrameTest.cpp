#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "SceneTestSupport.h"
#include "water/Water.h"

namespace ambrel {

namespace {

using FrameTest = SceneTest;

TEST_F(FrameTest, FirstDropFallsOnTheTenthStepOfATenth) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  srand(11);
  for (int step = 1; step <= 9; ++step) {
    scene.Update(0.1);
    ASSERT_GT(scene.dropTimer, 0.0f) << "step " << step;
    ASSERT_TRUE(AllVelocitiesZero(*scene.water)) << "step " << step;
  }
  scene.Update(0.1);
  EXPECT_FALSE(AllVelocitiesZero(*scene.water));
  EXPECT_GE(scene.dropTimer, 2.5f);
  EXPECT_LE(scene.dropTimer, 4.99f);
  EXPECT_NEAR(scene.totalTime, 1.0, 1e-12);
}

TEST_F(FrameTest, OneDropPerUpdateWhateverTheOvershoot) {
  const unsigned seed = 1234;
  std::vector<int> numbers = RandSequence(seed, 5);
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  srand(seed);
  scene.dropTimer = 0.2f;
  scene.Update(1.5);

  // Strength, two for the drop's place, interval: four numbers, then the sequence goes on.
  EXPECT_EQ(rand(), numbers[4]);
  float strength = (float)((numbers[0] % 150) / 100.0 + 0.5);
  EXPECT_NEAR(VelocitySum(*scene.water), -strength, 1e-5);
  EXPECT_EQ(scene.dropTimer, (float)((250 + numbers[3] % 250) / 100.0));
}

TEST_F(FrameTest, DripSpeedOneMakesEveryIntervalAHundredth) {
  SETTINGS settings = DefaultSceneSettings();
  settings.DRIPSPEED = 1;
  ASSERT_TRUE(SetupScene(settings));
  srand(3);
  scene.dropTimer = 0;
  for (int step = 0; step < 20; ++step) {
    scene.Update(0.02);
    ASSERT_EQ(scene.dropTimer, 0.01f) << "step " << step;
  }
}

TEST_F(FrameTest, LightTargetComesBackAfterOneTurnWithTheLightLagging) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings(), /*preview=*/true));
  srand(8);
  for (int second = 0; second < 72; ++second) Frame(1.0);
  EXPECT_NEAR(scene.lightTarget.x, 0, 1e-3);
  EXPECT_NEAR(scene.lightTarget.y, 75, 1e-4);
  EXPECT_NEAR(scene.lightTarget.z, 100, 1e-3);
  // The light chases the circling target: it has come down to its height, but trails it.
  EXPECT_NEAR(scene.lightPos.y, 75, 1e-3);
  EXPECT_GT(std::hypot(scene.lightPos.x - scene.lightTarget.x, scene.lightPos.z - scene.lightTarget.z), 5.0);
  EXPECT_LT(std::hypot(scene.lightPos.x, scene.lightPos.z), 100.0);
}

TEST_F(FrameTest, LightStaysOverTheCentreWithoutLighting) {
  SETTINGS settings = DefaultSceneSettings();
  settings.LIGHTING = false;
  ASSERT_TRUE(SetupScene(settings, /*preview=*/true));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));  // the water is lit either way
  for (int i = 0; i < 10; ++i) Frame(1.0);
  EXPECT_EQ(scene.lightPos.x, 0.0f);
  EXPECT_EQ(scene.lightPos.y, 100.0f);
  EXPECT_EQ(scene.lightTarget.z, 100.0f);
}

// In the preview, and with the overlay turned off, neither the strip nor the
// banner runs, and the water is never darkened under it.
class NoOverlayTest : public FrameTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NoOverlayTest, NeverTouchesTheOverlay) {
  const bool preview = GetParam();
  SETTINGS settings = DefaultSceneSettings();
  settings.OVERLAY = preview;
  ASSERT_TRUE(SetupScene(settings, preview));
  srand(2);
  for (int i = 0; i < 300; ++i) Frame(0.5);  // past every strip and banner change
  SceneFrame frame;
  scene.Describe(&frame);
  EXPECT_FALSE(frame.overlay || frame.bannerShown);
  EXPECT_EQ(frame.waterColour[0], 1.0f);
  EXPECT_EQ(scene.overlayTimer, 60.0f);
  EXPECT_FALSE(scene.overlayShown);
  EXPECT_FALSE(scene.overlayAtTop);
  EXPECT_EQ(scene.overlayPos.y, -35.0f);
  EXPECT_EQ(scene.captionSlot, 5u);
  EXPECT_EQ(scene.bannerTimer, 0.0f);
  EXPECT_EQ(scene.bannerAlpha, 0.0f);
  // Without the overlay the frame ends in the water's perspective, lit and depth-tested.
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_NE(projection[11], 0.0);
}

INSTANTIATE_TEST_SUITE_P(PreviewOrOverlayOff, NoOverlayTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Preview" : "OverlayOff"; });

TEST_F(FrameTest, SurfaceLeavesItsArraysEnabled) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  Frame(0.02);
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

float LargestHeight(const WATERCLASS& water) {
  float largest = 0;
  for (uint32_t i = 0; i < water.vertexCount; ++i) {
    float h = std::fabs(water.cells[i].height);
    if (!(h <= largest)) largest = h;  // NaN wins
  }
  return largest;
}

// A drop every step at the highest speed the scene allows, on the smallest grid, where
// the finest ripple is easiest to excite.
TEST_F(FrameTest, FastestWaterStaysBoundedUnderConstantDrops) {
  SETTINGS settings = DefaultSceneSettings();
  settings.WATERSPEED = 1000000;
  settings.WATERSHIFT = 4;
  settings.DRIPSPEED = 1;
  ASSERT_TRUE(SetupScene(settings));
  ASSERT_EQ(scene.waterSpeed, kMaxStableWaterSpeed);
  srand(99);
  for (int step = 0; step < 20000; ++step) scene.Update(0.02);
  float largest = LargestHeight(*scene.water);
  EXPECT_TRUE(std::isfinite(largest));
  EXPECT_LT(largest, 50.0f);
}

// The same load without the ceiling: shows that the check above can fail.
TEST(WaterSpeedCeiling, SpeedsBeyondItGrowWithoutBound) {
  WATERCLASS water;
  ASSERT_TRUE(water.Initialize(4, 64.0f, true, 12.5f));
  VECTOR3D eye{0, 77.5f, 0}, light{0, 100, 0};
  srand(99);
  for (int step = 0; step < 20000; ++step) {
    water.Update(eye, light, false, 0.02);
    water.Drop(1.0f);
  }
  EXPECT_FALSE(LargestHeight(water) < 50.0f);
}

}  // namespace

}  // namespace ambrel
