#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "SceneTestSupport.h"

namespace ambrel {

namespace {

class RenderTest : public SceneTest {
 protected:
  int width() const override { return 160; }
  int height() const override { return 120; }

  // A red and blue checkerboard, 8 x 8 squares.
  GLuint CheckerTexture() {
    Texture picture;
    picture.width = picture.height = 64;
    picture.type = GL_RGB;
    picture.imageData = (unsigned char*)malloc(64 * 64 * 3);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        unsigned char* p = picture.imageData + (y * 64 + x) * 3;
        bool red = ((x / 8) + (y / 8)) % 2 == 0;
        p[0] = red ? 220 : 30;
        p[1] = 40;
        p[2] = red ? 30 : 220;
      }
    EXPECT_TRUE(BuildTexture(&picture, 0));
    GLuint name = picture.texID;
    picture.texID = 0;
    return name;
  }

  // Half a second of water over the checkerboard, drawn as the host draws it.
  std::vector<uint8_t> RenderHalfASecond(bool drops) {
    SETTINGS settings = DefaultSceneSettings();
    settings.WANTBOWL = false;  // bend everywhere from the first step
    settings.DRIPSPEED = 1;
    srand(77);
    SSMAIN water;
    EXPECT_TRUE(water.Setup(true, width(), height(), &settings));
    water.backgroundTexture = CheckerTexture();
    water.dropTimer = drops ? 0.0f : 1e9f;
    for (int frame = 0; frame < 30; ++frame) {
      water.Update(1.0 / 60);
      HostReshape(width(), height());
      water.Draw();
    }
    glFinish();
    std::vector<uint8_t> pixels = context.ReadPixelsTopDown();
    water.Cleanup();
    return pixels;
  }
};

bool Reddish(const std::vector<uint8_t>& pixels, size_t i) { return pixels[i * 4] > pixels[i * 4 + 2]; }

TEST_F(RenderTest, FlatWaterShowsTheWholeBackground) {
  std::vector<uint8_t> flat = RenderHalfASecond(false);
  size_t count = flat.size() / 4, red = 0, dark = 0;
  for (size_t i = 0; i < count; ++i) {
    red += Reddish(flat, i);
    dark += flat[i * 4] < 10 && flat[i * 4 + 1] < 10 && flat[i * 4 + 2] < 10;
  }
  EXPECT_EQ(dark, 0u) << "the surface must cover the whole frame";
  EXPECT_GT(red, count * 3 / 10);
  EXPECT_LT(red, count * 7 / 10);
  // Along the middle row the squares alternate: a still surface keeps their edges.
  int changes = 0;
  size_t row = (size_t)height() / 2 * width();
  for (int x = 1; x < width(); ++x) changes += Reddish(flat, row + x) != Reddish(flat, row + x - 1);
  EXPECT_GE(changes, 4);
  EXPECT_LE(changes, 12);
}

TEST_F(RenderTest, RipplesBendTheBackground) {
  std::vector<uint8_t> flat = RenderHalfASecond(false);
  std::vector<uint8_t> rippled = RenderHalfASecond(true);
  ASSERT_EQ(flat.size(), rippled.size());
  size_t count = flat.size() / 4, moved = 0;
  for (size_t i = 0; i < count; ++i) moved += Reddish(flat, i) != Reddish(rippled, i);
  // Squares whose edges have moved: well beyond a few stray pixels.
  EXPECT_GT(moved, count / 100);
  EXPECT_LT(moved, count / 2);
}

TEST_F(RenderTest, FullBannerDarkensTheWater) {
  SETTINGS settings = DefaultSceneSettings();
  ASSERT_TRUE(SetupScene(settings));
  scene.backgroundTexture = CheckerTexture();
  scene.dropTimer = 1e9f;
  Frame(0.02);
  std::vector<uint8_t> bright = context.ReadPixelsTopDown();
  scene.bannerTimer = 10;
  scene.bannerAlpha = 1;
  Frame(0.02);
  std::vector<uint8_t> dark = context.ReadPixelsTopDown();
  // A corner, away from the banner and the strip: lit water before, black under the banner.
  size_t corner = (size_t)10 * width() + 10;
  EXPECT_GT(bright[corner * 4] + bright[corner * 4 + 2], 150);
  EXPECT_LT(dark[corner * 4] + dark[corner * 4 + 2], 10);
}

}  // namespace

}  // namespace ambrel
