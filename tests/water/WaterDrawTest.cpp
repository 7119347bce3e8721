#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "GLTest.h"
#include "water/Water.h"

namespace ambrel {

namespace {

// Looks straight down the -y axis with -z up the screen, as the scene's camera does,
// over the 64-unit square; back faces are culled as in the scene.
class WaterDrawTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-32, 32, -32, 32, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(water.Initialize(5, 64.0f, true, 1.0f));
    VECTOR3D eye{0, 77.5f, 0}, light{0, 50, 0};
    water.Update(eye, light, false, 0.0);  // still and unbent
  }

  // A 2 x 2 picture: bottom row red, green; top row blue, white.
  void BindQuadrantTexture() {
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
  }

  void TearDown() override {
    if (texture) glDeleteTextures(1, &texture);
  }

  std::vector<uint8_t> Pixel(int x, int yFromTop) {
    auto pixels = context.ReadPixelsTopDown();
    const uint8_t* p = &pixels[(yFromTop * 64 + x) * 4];
    return {p[0], p[1], p[2]};
  }

  WATERCLASS water;
  GLuint texture = 0;
};

TEST_F(WaterDrawTest, SurfaceShowsThePictureTheRightWayUpThroughCulling) {
  BindQuadrantTexture();
  ASSERT_TRUE(water.DrawSurface());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  // Top of the screen is z = -32, where v = 1: the picture's top row.
  EXPECT_EQ(Pixel(10, 10), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(Pixel(53, 10), (std::vector<uint8_t>{255, 255, 255}));
  EXPECT_EQ(Pixel(10, 53), (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(Pixel(53, 53), (std::vector<uint8_t>{0, 255, 0}));
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), texture);
}

TEST_F(WaterDrawTest, CausticsTakeTheirAlphaFromTheGrade) {
  for (uint32_t i = 0; i < water.vertexCount; ++i) {
    water.causticVertices[i].position = water.vertices[i].position;
    water.causticVertices[i].intensity = i % 2 ? 0x404040u : 0u;
  }
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  ASSERT_TRUE(water.DrawCaustics());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(water.causticVertices[1].colour[3],
            static_cast<float>(0x404040u / 4244635648.0));
  EXPECT_NEAR(water.causticVertices[1].colour[3], 0.000992f, 1e-6f);
  EXPECT_EQ(water.causticVertices[0].colour[3], 0.0f);
  EXPECT_EQ(water.causticVertices[0].colour[0], 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
  // No blending: the white mesh covers the floor.
  EXPECT_EQ(Pixel(32, 32), (std::vector<uint8_t>{255, 255, 255}));
}

TEST_F(WaterDrawTest, AnUninitialisedObjectDrawsNothing) {
  WATERCLASS empty;
  EXPECT_FALSE(empty.DrawSurface());
  EXPECT_FALSE(empty.DrawCaustics());
  EXPECT_EQ(Pixel(32, 32), (std::vector<uint8_t>{0, 0, 0}));
}

}  // namespace

}  // namespace ambrel
