#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "SceneTestSupport.h"

namespace ambrel {

namespace {

using SetupTest = SceneTest;

TEST_F(SetupTest, WaterSpeedFloorRuleAndStableCeiling) {
  struct Case {
    int64_t setting;
    float expected;
  } cases[] = {
      {100, 1.0f}, {10, 0.1f}, {9, 1.0f}, {0, 1.0f}, {-250, 1.0f}, {1190, 11.9f},
      // Faster settings would make the surface grow without bound: held at the limit.
      {1200, kMaxStableWaterSpeed}, {100000, kMaxStableWaterSpeed},
      {std::numeric_limits<int64_t>::max(), kMaxStableWaterSpeed},
      {std::numeric_limits<int64_t>::min(), 1.0f},
  };
  for (const Case& c : cases) {
    SETTINGS settings = DefaultSceneSettings();
    settings.WATERSPEED = c.setting;
    ASSERT_TRUE(SetupScene(settings));
    EXPECT_EQ(scene.waterSpeed, c.expected) << "WATERSPEED " << c.setting;
    EXPECT_EQ(scene.water->speed, c.expected) << "WATERSPEED " << c.setting;
  }
}

TEST_F(SetupTest, WaterShiftOutsideFourToEightBecomesSix) {
  struct Case {
    int64_t setting;
    int64_t expected;
  } cases[] = {{3, 6}, {9, 6}, {-1, 6}, {4, 4}, {8, 8}, {5, 5},
               {std::numeric_limits<int64_t>::min(), 6}, {std::numeric_limits<int64_t>::max(), 6}};
  for (const Case& c : cases) {
    SETTINGS settings = DefaultSceneSettings();
    settings.WATERSHIFT = c.setting;
    ASSERT_TRUE(SetupScene(settings));
    EXPECT_EQ(scene.waterShift, c.expected) << "WATERSHIFT " << c.setting;
    EXPECT_EQ(scene.water->vertexCount, 1u << (2 * c.expected)) << "WATERSHIFT " << c.setting;
  }
}

TEST_F(SetupTest, DripSpeedIsHeldAtOneOrMoreSoDropsNeverDivideByZero) {
  for (int64_t setting : {int64_t{0}, int64_t{-7}, std::numeric_limits<int64_t>::min()}) {
    SETTINGS settings = DefaultSceneSettings();
    settings.DRIPSPEED = setting;
    ASSERT_TRUE(SetupScene(settings));
    EXPECT_EQ(scene.dripSpeed, 1) << "DRIPSPEED " << setting;
    srand(5);
    for (int i = 0; i < 3; ++i) scene.Update(1.5);  // each step drops
    EXPECT_EQ(scene.dropTimer, 0.01f);
  }
  // The longest setting must not overflow when the random part is added.
  SETTINGS settings = DefaultSceneSettings();
  settings.DRIPSPEED = std::numeric_limits<int64_t>::max();
  ASSERT_TRUE(SetupScene(settings));
  scene.dropTimer = -1;
  scene.Update(0.02);
  EXPECT_TRUE(std::isfinite(scene.dropTimer));
  EXPECT_GT(scene.dropTimer, 1e15f);
}

TEST_F(SetupTest, GivesNineEmptyTextureRecords) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  ASSERT_NE(scene.textures, nullptr);
  EXPECT_EQ(scene.textureCount, 9);
  for (int slot = 0; slot < 9; ++slot) {
    EXPECT_EQ(scene.textures[slot].texID, 0u) << slot;
    EXPECT_EQ(scene.textures[slot].imageData, nullptr) << slot;
  }
  // Setting up again releases the old records (and their names) and starts afresh.
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  scene.textures[3].texID = name;
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  EXPECT_FALSE(glIsTexture(name));
  EXPECT_EQ(scene.textures[3].texID, 0u);
}

TEST_F(SetupTest, ConfiguresLightZeroThroughTheCameraAndCullsBackFaces) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  GLfloat value[4];
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, value);
  EXPECT_EQ(value[0], 0.0f);
  EXPECT_EQ(value[3], 0.0f);
  glGetLightfv(GL_LIGHT0, GL_DIFFUSE, value);
  EXPECT_EQ(value[0], 1.0f);
  EXPECT_EQ(value[3], 1.0f);
  glGetLightfv(GL_LIGHT0, GL_SPECULAR, value);
  EXPECT_FLOAT_EQ(value[1], 0.3f);
  EXPECT_EQ(value[3], 1.0f);
  // GL keeps the position in eye coordinates: the light 100 up stands 22.5 units
  // behind the camera that hangs 77.5 up and looks down.
  glGetLightfv(GL_LIGHT0, GL_POSITION, value);
  EXPECT_NEAR(value[0], 0, 1e-4);
  EXPECT_NEAR(value[1], 0, 1e-4);
  EXPECT_NEAR(value[2], 22.5, 1e-4);
  EXPECT_EQ(value[3], 1.0f);

  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  GLint mode = 0;
  glGetIntegerv(GL_CULL_FACE_MODE, &mode);
  EXPECT_EQ(mode, GL_BACK);
  glGetIntegerv(GL_BLEND_SRC, &mode);
  EXPECT_EQ(mode, GL_SRC_ALPHA);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(SetupTest, CleanupReleasesEverythingAndIsSafeTwice) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  GLuint names[2];
  glGenTextures(2, names);
  for (GLuint name : names) glBindTexture(GL_TEXTURE_2D, name);
  scene.textures[5].texID = names[0];
  scene.backgroundTexture = names[1];

  scene.Cleanup();
  EXPECT_EQ(scene.water, nullptr);
  EXPECT_EQ(scene.textures, nullptr);
  EXPECT_EQ(scene.backgroundTexture, 0u);
  EXPECT_FALSE(glIsTexture(names[0]));
  EXPECT_FALSE(glIsTexture(names[1]));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));

  scene.Cleanup();
  EXPECT_EQ(scene.water, nullptr);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(SetupTest, CleanupOnANeverSetUpScene) {
  SSMAIN fresh;
  fresh.Cleanup();
  fresh.Cleanup();
  EXPECT_EQ(fresh.water, nullptr);
  EXPECT_EQ(fresh.textures, nullptr);
  EXPECT_EQ(fresh.textureCount, 0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(SetupTest, AspectIsFiniteEvenForAZeroHeightDrawable) {
  scene.SetSize(1024, 768);
  EXPECT_EQ(scene.aspect, 1.3333334f);

  scene.SetSize(640, 0);
  EXPECT_EQ(scene.height, 0);
  EXPECT_EQ(scene.aspect, 640.0f);

  SETTINGS settings = DefaultSceneSettings();
  ASSERT_TRUE(scene.Setup(false, 640, 0, &settings));
  EXPECT_EQ(scene.aspect, 640.0f);
  scene.Update(0.02);
  scene.Draw();  // overlay included: its orthographic volume must stay valid
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace

}  // namespace ambrel
