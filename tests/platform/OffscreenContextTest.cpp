#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "GLTest.h"

namespace ambrel {

namespace {

class OffscreenContextTest : public GLTest {
  int width() const override { return 40; }
  int height() const override { return 30; }
};

TEST_F(OffscreenContextTest, GivesACompatibilityContextOfTheRequestedSize) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 40);
  EXPECT_EQ(viewport[3], 30);
  // Fixed-function state exists only in a compatibility context.
  glEnable(GL_LIGHTING);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(OffscreenContextTest, ReadsBackTopRowFirst) {
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 29, 40, 1);  // the top row in OpenGL's bottom-up coordinates
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  auto pixels = context.ReadPixelsTopDown();
  ASSERT_EQ(pixels.size(), 40u * 30u * 4u);
  EXPECT_EQ(pixels[0], 255);
  EXPECT_EQ(pixels[2], 0);
  EXPECT_EQ(pixels[40 * 4 + 2], 255);  // second row is blue
}

TEST_F(OffscreenContextTest, ResizeKeepsTexturesAndRefusesNonsense) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  ASSERT_TRUE(context.Resize(80, 20));
  EXPECT_TRUE(glIsTexture(name));
  EXPECT_EQ(context.Width(), 80);
  EXPECT_FALSE(context.Resize(0, 20));
  EXPECT_FALSE(context.Resize(10, -1));
  EXPECT_EQ(context.Width(), 80);
}

TEST(OffscreenContext, RefusesAnEmptyDrawable) {
  OffscreenContext context;
  std::string error;
  EXPECT_FALSE(context.Create(0, 10, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace

}  // namespace ambrel
