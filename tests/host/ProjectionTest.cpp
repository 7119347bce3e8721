#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "GLTest.h"
#include "host/AmbrelView.h"

namespace ambrel {

namespace {

using ViewProjection = GLTest;

std::vector<float> ProjectionMatrix() {
  std::vector<float> m(16);
  glGetFloatv(GL_PROJECTION_MATRIX, m.data());
  return m;
}

TEST_F(ViewProjection, FollowsTheAspectOfTheDrawable) {
  SetViewProjection(1280, 720);
  const auto wide = ProjectionMatrix();
  // gluPerspective: m[0] = cot(fovy / 2) / aspect, m[5] = cot(fovy / 2).
  EXPECT_NEAR(wide[5] / wide[0], 1280.0f / 720.0f, 1e-5);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(ViewProjection, ADrawableWithNoHeightOrWidthStaysFinite) {
  for (auto size : {std::pair<double, double>{640, 0}, {0, 480}, {0, 0}}) {
    SetViewProjection(size.first, size.second);
    for (float value : ProjectionMatrix()) EXPECT_TRUE(std::isfinite(value)) << size.first << "x" << size.second;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

}  // namespace

}  // namespace ambrel
