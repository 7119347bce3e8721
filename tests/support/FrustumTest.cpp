#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "GLTest.h"
#include "support/GLStuff.h"

namespace ambrel {

namespace {

class FrustumTest : public GLTest {
 protected:
  void LoadIdentities() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ExtractFrustum();
  }
};

TEST_F(FrustumTest, IdentityMatricesGiveTheClipCube) {
  LoadIdentities();
  // right, left, bottom, top, far, near: unit normals pointing inwards, one unit out.
  const float expected[6][4] = {{-1, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1},
                                {0, -1, 0, 1}, {0, 0, -1, 1}, {0, 0, 1, 1}};
  for (int p = 0; p < 6; ++p)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(frustum[p][c], expected[p][c]) << "plane " << p << " coeff " << c;

  EXPECT_TRUE(PointInFrustum({0, 0, 0}));
  EXPECT_FALSE(PointInFrustum({1, 0, 0}));  // on the right plane counts as outside
  EXPECT_FALSE(PointInFrustum({0, 0, -1.5f}));
  EXPECT_TRUE(SphereInFrustum({1.5f, 0, 0}, 0.6f));
  EXPECT_FALSE(SphereInFrustum({1.5f, 0, 0}, 0.5f));  // touching counts as outside
  EXPECT_TRUE(SphereInsideSinglePlaneFrustum(1, {1.5f, 0, 0}, 0.1f));
  EXPECT_FALSE(SphereInsideSinglePlaneFrustum(0, {1.5f, 0, 0}, 0.5f));
  EXPECT_FALSE(SphereInsideSinglePlaneFrustum(6, {0, 0, 0}, 1.0f));
  EXPECT_FALSE(SphereInsideSinglePlaneFrustum(-1, {0, 0, 0}, 1.0f));
}

TEST_F(FrustumTest, PointsMoveOntoTheChosenPlane) {
  LoadIdentities();
  const VECTOR3D right = PointAtEdgeOfFrustum(0, {0, 0.3f, 0.2f});
  EXPECT_EQ(right.x, 1.0f);
  EXPECT_EQ(right.y, 0.3f);
  EXPECT_EQ(right.z, 0.2f);
  EXPECT_EQ(PointAtEdgeOfFrustum(3, {0.5f, 0, 0.5f}).y, 1.0f);
  EXPECT_EQ(PointAtEdgeOfFrustum(5, {0.5f, 0.5f, 0}).z, -1.0f);
  for (int bad : {6, -1, 1000}) {
    const VECTOR3D none = PointAtEdgeOfFrustum(bad, {1, 2, 3});
    EXPECT_EQ(none.x, 0.0f);
    EXPECT_EQ(none.y, 0.0f);
    EXPECT_EQ(none.z, 0.0f);
  }
}

TEST_F(FrustumTest, PerspectiveAndCameraMatricesAreCombined) {
  // A 90-degree frustum from near 1 to far 100, with the camera moved back 10 units.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1, 1, -1, 1, 1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -10);
  ExtractFrustum();

  for (const auto& plane : frustum)
    EXPECT_NEAR(std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]), 1.0f, 1e-6f);
  EXPECT_TRUE(PointInFrustum({0, 0, 0}));
  EXPECT_FALSE(PointInFrustum({0, 0, 9.5f}));    // behind the near plane
  EXPECT_FALSE(PointInFrustum({0, 0, -95.0f}));  // beyond the far plane
  EXPECT_TRUE(PointInFrustum({9.0f, 0, 0}));     // the cone is 20 wide at the origin
  EXPECT_FALSE(PointInFrustum({11.0f, 0, 0}));
  EXPECT_TRUE(SphereInFrustum({11.0f, 0, 0}, 2.0f));
  // The near plane sits at z = 9 in world space, the right plane at x = 10 there.
  EXPECT_NEAR(PointAtEdgeOfFrustum(5, {0, 0, 0}).z, 9.0f, 1e-4f);
  EXPECT_NEAR(PointAtEdgeOfFrustum(0, {0, 0, 0}).x, 10.0f, 1e-4f);
  EXPECT_NEAR(PointAtEdgeOfFrustum(2, {0, 0, 0}).y, -10.0f, 1e-4f);
}

TEST_F(FrustumTest, DegenerateMatrixLeavesNoNaNs) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glScalef(0, 0, 0);
  ExtractFrustum();
  for (const auto& plane : frustum)
    for (float c : plane) EXPECT_FALSE(std::isnan(c));
  EXPECT_TRUE(PointInFrustum({5, 5, 5}));  // everything collapses into the cube's centre
}

}  // namespace

}  // namespace ambrel
