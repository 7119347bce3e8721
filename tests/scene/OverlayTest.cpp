#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "SceneTestSupport.h"

namespace ambrel {

namespace {

class OverlayTest : public SceneTest {
 protected:
  int width() const override { return 800; }
  int height() const override { return 600; }
  void Overlay(double dt) {
    scene.frameTime = dt;
    scene.DoOverlay();
  }
};

TEST_F(OverlayTest, StripFirstShowsOnThe121stHalfSecondAndEasesIn) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  srand(21);
  for (int step = 0; step < 120; ++step) Overlay(0.5);
  EXPECT_EQ(scene.overlayTimer, 0.0f);
  EXPECT_FALSE(scene.overlayShown);

  Overlay(0.5);
  EXPECT_TRUE(scene.overlayShown);
  EXPECT_TRUE(scene.overlayAtTop);
  EXPECT_EQ(scene.overlayTimer, 20.0f);
  EXPECT_TRUE(scene.captionSlot == 4 || scene.captionSlot == 5) << scene.captionSlot;
  EXPECT_TRUE(scene.overlayPos.x == 0.0f || scene.overlayPos.x == 800.0f - 256) << scene.overlayPos.x;
  // Placed at height + 40, then eased once towards height - 40.
  EXPECT_EQ(scene.overlayPos.y, 600.0f);

  for (int step = 2; step <= 7; ++step) Overlay(0.5);
  EXPECT_EQ(scene.overlayPos.y - 560.0f, 0.625f);
}

TEST_F(OverlayTest, StripAlternatesEdgesAndPhases) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  srand(4);
  bool expectTop = true;
  for (int showing = 0; showing < 4; ++showing) {
    while (!scene.overlayShown) Overlay(0.25);
    EXPECT_EQ(scene.overlayAtTop, expectTop) << "showing " << showing;
    int shownSteps = 0;
    while (scene.overlayShown) {
      Overlay(0.25);
      ++shownSteps;
    }
    EXPECT_NEAR(shownSteps * 0.25, 20.0, 0.5);
    expectTop = !expectTop;
  }
}

TEST_F(OverlayTest, BannerAlphaLeavesZeroToOneForAtMostOneFrame) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  srand(6);
  unsigned state = 12345;
  int outside = 0;
  bool reachedFull = false, firstFadeSeen = false;
  double time = 0;
  for (int step = 0; step < 4000; ++step) {
    state = state * 1103515245u + 12345u;
    double dt = 0.011 + (state >> 8) % 1990 / 1000.0;  // 0.011 s to 2 s, as the host passes
    Overlay(dt);
    time += dt;
    if (!firstFadeSeen && scene.bannerAlpha > 0) {
      firstFadeSeen = true;
      EXPECT_GT(time, 40.0);
      EXPECT_LT(time, 43.0);
    }
    reachedFull = reachedFull || scene.bannerAlpha == 1.0f;
    outside = (scene.bannerAlpha > 1 || scene.bannerAlpha < 0) ? outside + 1 : 0;
    ASSERT_LE(outside, 1) << "step " << step << " alpha " << scene.bannerAlpha;
  }
  EXPECT_TRUE(reachedFull);
}

TEST_F(OverlayTest, LeavesAnOrthographicProjectionAndRestoresLighting) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  Overlay(0.02);
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_FLOAT_EQ((float)projection[0], 2.0f / 800);
  EXPECT_FLOAT_EQ((float)projection[5], 2.0f / 600);
  GLdouble modelview[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  EXPECT_FLOAT_EQ((float)modelview[0], 800.0f / 1024);  // the banner's canvas scale stays
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(OverlayTest, BannerBindsTheCaptionTheStripPicked) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  GLuint names[2];
  glGenTextures(2, names);
  for (GLuint name : names) glBindTexture(GL_TEXTURE_2D, name);
  scene.textures[4].texID = names[0];
  scene.textures[5].texID = names[1];
  scene.bannerTimer = 10;
  scene.bannerAlpha = 0.5f;
  for (uint32_t slot : {4u, 5u}) {
    scene.captionSlot = slot;
    Overlay(0.02);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((GLuint)bound, scene.textures[slot].texID);
  }
}

// A pack with fewer images than the overlay's slots: the missing ones draw untextured
// instead of reading past the array.
TEST_F(OverlayTest, SlotsBeyondAShortPackDrawWithNoTexture) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  delete[] scene.textures;
  scene.textures = new Texture[2];
  scene.textureCount = 2;
  scene.textures[1].texID = name;
  scene.bannerTimer = 10;
  scene.bannerAlpha = 0.5f;
  Overlay(0.02);
  GLint bound = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, 0);
  scene.totalTime = 6;
  scene.DoIntro();
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, 0);

  delete[] scene.textures;
  scene.textures = new Texture[0];
  scene.textureCount = 0;
  Overlay(0.02);
  scene.DoIntro();
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(OverlayTest, IntroFadesInThenOutAndFinishes) {
  ASSERT_TRUE(SetupScene(DefaultSceneSettings()));
  Overlay(0.02);  // the intro draws in the canvas the overlay leaves
  for (int step = 0; step < 160; ++step) {  // 0.1 s steps up to 16 s
    scene.frameTime = 0.1;
    scene.totalTime += 0.1;
    scene.DoIntro();
    if (step == 59) {  // 6 s: the title is opaque, the subtitle still waiting
      EXPECT_NEAR(scene.introTitleAlpha, 1.0f, 1e-4);
      EXPECT_NEAR(scene.introSubtitleAlpha, -1.0f, 1e-4);
    }
  }
  EXPECT_TRUE(scene.introDone);
  EXPECT_LE(scene.introTitleAlpha, 0.0f);
  EXPECT_LE(scene.introSubtitleAlpha, 0.0f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

}  // namespace

}  // namespace ambrel
