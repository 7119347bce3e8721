#include <gtest/gtest.h>

#include "TestFolders.h"
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/NiftyMaths.h"

namespace ambrel {

namespace {

MATRIX Sample() {
  MATRIX m;
  for (int i = 0; i < 16; ++i) m.m[i] = 0.5 * i - 3.25 + (i % 3);
  return m;
}

void ExpectMatrixNear(const MATRIX& expected, const MATRIX& actual, double tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(expected.m[i], actual.m[i], tolerance) << "element " << i;
}

void ExpectVectorNear(VECTOR3D expected, VECTOR3D actual, float tolerance) {
  EXPECT_NEAR(expected.x, actual.x, tolerance);
  EXPECT_NEAR(expected.y, actual.y, tolerance);
  EXPECT_NEAR(expected.z, actual.z, tolerance);
}

TEST(Matrix, ConstructionIdentityZeroAndTranslation) {
  MATRIX m;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0 : 0.0) << i;
  m.Zero();
  for (double e : m.m) EXPECT_EQ(e, 0.0);
  m = Sample();
  m.SetTranslation({1, 2, 3});
  const MATRIX s = Sample();
  for (int i = 0; i < 16; ++i) {
    if (i >= 12 && i <= 14) EXPECT_EQ(m.m[i], i - 11.0);
    else EXPECT_EQ(m.m[i], s.m[i]);
  }
}

TEST(Matrix, ProductOrderAndIdentity) {
  const MATRIX a = Sample();
  const MATRIX identity;
  ExpectMatrixNear(a, MultiplyMatrix(a, identity), 0);
  ExpectMatrixNear(a, MultiplyMatrix(identity, a), 0);

  // The product applies its right operand first: rotate, then translate.
  MATRIX translate;
  translate.SetTranslation({10, 0, 0});
  const MATRIX rotate = MatrixFromAngle({0, 0, 90});
  const VECTOR3D p = MatrixPointMultiply(MultiplyMatrix(translate, rotate), {1, 0, 0});
  const VECTOR3D q = MatrixPointMultiply(translate, MatrixPointMultiply(rotate, {1, 0, 0}));
  ExpectVectorNear(q, p, 1e-6f);
  EXPECT_NEAR(p.x, 10.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(p.y), 1.0f, 1e-6f);

  ExpectMatrixNear(a, SubtractMatrix(AddMatrix(a, a), a), 0);
}

TEST(Matrix, PointTransforms) {
  MATRIX m;
  m.SetTranslation({1, 2, 3});
  ExpectVectorNear({1, 2, 3}, MatrixPointMultiply(m, {0, 0, 0}), 0);
  ExpectVectorNear({0, 0, 0}, MatrixRotatePoint(m, {0, 0, 0}), 0);
  ExpectVectorNear({5, 7, 9}, MatrixTranslatePoint(m, {4, 5, 6}), 0);
  ExpectVectorNear({3, 3, 3}, MatrixInverseTranslatePoint(m, {4, 5, 6}), 0);

  const MATRIX r = MatrixFromAngle({10, 20, 30});
  const VECTOR3D p = {0.3f, -1.2f, 2.5f};
  ExpectVectorNear(p, MatrixInverseRotatePoint(r, MatrixRotatePoint(r, p)), 1e-6f);
}

TEST(Matrix, AnglesRoundTrip) {
  ExpectVectorNear({10, 20, 30}, AngleFromMatrix(MatrixFromAngle({10, 20, 30})), 1e-4f);
  ExpectVectorNear({350, 350, 350}, AngleFromMatrix(MatrixFromAngle({-10, -10, -10})), 1e-4f);
  // Gimbal lock: x is dropped and z carries the difference.
  const VECTOR3D gimbal = AngleFromMatrix(MatrixFromAngle({10, 90, 30}));
  EXPECT_EQ(gimbal.x, 0.0f);
  EXPECT_NEAR(gimbal.y, 90.0f, 1e-4f);
  EXPECT_NEAR(gimbal.z, 20.0f, 1e-3f);
}

TEST(Matrix, AngleBetweenVectorsIsAnOrthonormalFrame) {
  const MATRIX m = MatrixAngleBetweenVectors({1, 2, 3}, {1, 2, 1});
  EXPECT_NEAR(m.m[8], 0.0, 1e-7);
  EXPECT_NEAR(m.m[10], 1.0, 1e-7);  // third column: unit direction from b to a
  EXPECT_EQ(m.m[15], 1.0);
  EXPECT_EQ(m.m[3], 0.0);

  // Straight up: the auxiliary vector changes so the frame stays finite.
  const MATRIX up = MatrixAngleBetweenVectors({0, 5, 0}, {0, 0, 0});
  for (double e : up.m) EXPECT_TRUE(std::isfinite(e));
  EXPECT_NEAR(up.m[9], 1.0, 1e-7);
  // Equal points: the direction defaults to +z.
  const MATRIX same = MatrixAngleBetweenVectors({4, 4, 4}, {4, 4, 4});
  EXPECT_EQ(same.m[10], 1.0);
  for (int col = 0; col < 3; ++col) {
    const double* c = &same.m[col * 4];
    EXPECT_NEAR(c[0] * c[0] + c[1] * c[1] + c[2] * c[2], 1.0, 1e-6);
  }
}

TEST(Quat, IdentityAndMatrixConversions) {
  QUAT q;
  EXPECT_TRUE(q.IsEqualTo(QUAT()));
  EXPECT_EQ(q.w, 1.0);
  ExpectMatrixNear(MATRIX(), QuatToRotationMatrix(QUAT()), 0);
  EXPECT_TRUE(QuatFromMatrix(MATRIX()).IsEqualTo(QUAT()));

  // Every branch of QuatFromMatrix: positive trace, and each largest diagonal.
  for (VECTOR3D angles : {VECTOR3D{10, 20, 30}, VECTOR3D{180, 0, 0}, VECTOR3D{0, 180, 0},
                          VECTOR3D{0, 0, 180}, VECTOR3D{170, 20, 160}}) {
    const MATRIX m = MatrixFromAngle(angles);
    const QUAT back = QuatFromMatrix(m);
    EXPECT_NEAR(QuatMagnitude(back), 1.0, 1e-9);
    ExpectMatrixNear(m, QuatToRotationMatrix(back), 1e-9);
  }

}

TEST(Quat, ProductsInversesAndAxisAngle) {
  const QUAT q = AxisAndAngleToQuat({0, 0, 1}, 3.141592653589793 / 2);
  EXPECT_NEAR(q.z, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(q.w, std::sqrt(0.5), 1e-15);
  const QUAT product = MultiplyQuats(q, InverseQuat(q));
  EXPECT_NEAR(product.w, 1.0, 1e-15);
  EXPECT_NEAR(product.x * product.x + product.y * product.y + product.z * product.z, 0.0, 1e-30);
  // Two quarter turns make a half turn.
  const QUAT half = MultiplyQuats(q, q);
  EXPECT_NEAR(half.z, 1.0, 1e-15);
  EXPECT_NEAR(half.w, 0.0, 1e-15);
  // i*j = k: the order of the cross terms matters.
  QUAT i, j;
  i.w = j.w = 0;
  i.x = 1;
  j.y = 1;
  EXPECT_EQ(MultiplyQuats(i, j).z, 1.0);
  EXPECT_EQ(MultiplyQuats(j, i).z, -1.0);
}

TEST(Quat, RotationToQuatAgreesWithTheMatrix) {
  for (VECTOR3D angles : {VECTOR3D{30, 0, 0}, VECTOR3D{0, 45, 0}, VECTOR3D{0, 0, 60}}) {
    const QUAT q = RotationToQuat(angles);
    EXPECT_NEAR(QuatMagnitude(q), 1.0, 1e-12);
    // One axis at a time the two conventions coincide up to the rotation's sense.
    const MATRIX fromQuat = QuatToRotationMatrix(q);
    const MATRIX fromAngles = MatrixFromAngle(angles);
    for (int k : {0, 5, 10}) EXPECT_NEAR(fromQuat.m[k], fromAngles.m[k], 1e-12);
  }
}

TEST(Quat, MagnitudeAndNormalizeAgree) {
  QUAT q;
  q.x = 1;
  q.y = 2;
  q.z = 2;
  q.w = 4;
  EXPECT_EQ(QuatMagnitude(q), 5.0);
  const QUAT n = NormalizeQuat(q);
  EXPECT_EQ(n.x, 0.2);
  EXPECT_EQ(n.w, 0.8);
  EXPECT_NEAR(QuatMagnitude(n), 1.0, 1e-15);
  QUAT zero;
  zero.w = 0;
  const QUAT z = NormalizeQuat(zero);
  EXPECT_TRUE(z.IsEqualTo(zero));  // nothing to scale; no NaNs
}

TEST(Quat, SlerpEndsAndMiddle) {
  QUAT a = RotationToQuat({0, 0, 0});
  QUAT b = AxisAndAngleToQuat({0, 1, 0}, 1.0);
  const QUAT aBefore = a, bBefore = b;
  EXPECT_TRUE(QuatSlerp(&a, &b, 0).IsEqualTo(a));
  const QUAT end = QuatSlerp(&a, &b, 1);
  EXPECT_NEAR(end.y, b.y, 1e-15);
  EXPECT_NEAR(end.w, b.w, 1e-15);
  const QUAT mid = QuatSlerp(&a, &b, 0.5);
  EXPECT_NEAR(mid.y, std::sin(0.25), 1e-12);
  EXPECT_NEAR(mid.w, std::cos(0.25), 1e-12);
  EXPECT_TRUE(a.IsEqualTo(aBefore));
  EXPECT_TRUE(b.IsEqualTo(bBefore));

  // The shorter way round: a negative dot product takes -b.
  QUAT negB = b;
  negB.x = -b.x, negB.y = -b.y, negB.z = -b.z, negB.w = -b.w;
  const QUAT viaNeg = QuatSlerp(&a, &negB, 1);
  EXPECT_NEAR(viaNeg.y, b.y, 1e-15);
  EXPECT_NEAR(viaNeg.w, b.w, 1e-15);

  // Nearly equal inputs fall back to linear weights instead of dividing by ~0.
  QUAT near = a;
  near.y = 1e-4;
  const QUAT lin = QuatSlerp(&a, &near, 0.25);
  EXPECT_EQ(lin.y, 0.25 * 1e-4);
  EXPECT_TRUE(QuatSlerp(nullptr, &b, 0.5).IsEqualTo(QUAT()));
}

class SaveMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
  }
  static std::string Contents() {
    std::ifstream in("test.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  TempFolder folder_{"savematrix"};
  const std::string dir_ = folder_.path();
  std::string oldCwd_;
};

TEST_F(SaveMatrixTest, AppendsFiveLinesPerMatrix) {
  SaveMatrix(MATRIX());
  const std::string identity =
      "\n1.00000 0.00000 0.00000 0.00000 \n0.00000 1.00000 0.00000 0.00000 \n"
      "0.00000 0.00000 1.00000 0.00000 \n0.00000 0.00000 0.00000 1.00000 \n";
  EXPECT_EQ(Contents(), identity);

  MATRIX m;
  m.Zero();
  m.m[3] = -12345.678901;
  m.m[12] = 0.000004;
  SaveMatrix(m);
  EXPECT_EQ(Contents(), identity +
                            "\n0.00000 0.00000 0.00000 -12345.67890 \n0.00000 0.00000 0.00000 0.00000 \n"
                            "0.00000 0.00000 0.00000 0.00000 \n0.00000 0.00000 0.00000 0.00000 \n");
}

TEST_F(SaveMatrixTest, UnwritablePlaceWritesNothingAndReturns) {
  ASSERT_EQ(mkdir("test.txt", 0700), 0);  // a directory where the file should be
  SaveMatrix(MATRIX());
  EXPECT_EQ(rmdir("test.txt"), 0);
}

}  // namespace

}  // namespace ambrel
