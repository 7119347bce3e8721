#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/Misc.h"
#include "support/NiftyMaths.h"

namespace ambrel {

namespace {

// Bitwise identity: the water's shading depends on these results to the last bit.
::testing::AssertionResult SameBits(float expected, float actual) {
  if (std::memcmp(&expected, &actual, sizeof(float)) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected " << std::hexfloat << expected << ", got " << actual;
}

::testing::AssertionResult SameBits(VECTOR3D expected, VECTOR3D actual) {
  if (std::memcmp(&expected, &actual, sizeof(VECTOR3D)) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hexfloat << "expected (" << expected.x << ", " << expected.y
                                       << ", " << expected.z << "), got (" << actual.x << ", " << actual.y
                                       << ", " << actual.z << ")";
}

// Values chosen so that float and double evaluation give different answers.
const VECTOR3D kAwkward = {0.1f, 1.0f / 3.0f, 2.7182817f};
const VECTOR3D kOther = {1.0f + 0x1p-12f, -0.7f, 1.4142135f};

TEST(VectorSums, FloatSumsWidenedToDouble) {
  // 1e8 + 1 is 1e8 in float: the middle term vanishes before the last one cancels.
  EXPECT_EQ(VectorDotProduct({1e8f, 1.0f, -1e8f}, {1.0f, 1.0f, 1.0f}), 0.0);
  const float x = kAwkward.x * kOther.x, y = kAwkward.y * kOther.y, z = kAwkward.z * kOther.z;
  const float sum = x + y + z;
  EXPECT_EQ(VectorDotProduct(kAwkward, kOther), static_cast<double>(sum));
  const double inDouble = static_cast<double>(kAwkward.x) * kOther.x +
                          static_cast<double>(kAwkward.y) * kOther.y +
                          static_cast<double>(kAwkward.z) * kOther.z;
  EXPECT_NE(VectorDotProduct(kAwkward, kOther), inDouble);

  const float squares = kAwkward.x * kAwkward.x + kAwkward.y * kAwkward.y + kAwkward.z * kAwkward.z;
  EXPECT_EQ(VectorLengthNOSQRT(kAwkward), static_cast<double>(squares));
  EXPECT_EQ(VectorLength(kAwkward), std::sqrt(static_cast<double>(squares)));
  EXPECT_EQ(DistanceBetweenVectors({0, 0, 0}, {3, 4, 0}), 25.0);
}

TEST(NormalizeMember, DividesInFloatByAFloatRoot) {
  VECTOR3D v = kAwkward;
  v.Normalize();
  const float length = std::sqrt(kAwkward.x * kAwkward.x + kAwkward.y * kAwkward.y + kAwkward.z * kAwkward.z);
  EXPECT_TRUE(SameBits(VECTOR3D{kAwkward.x / length, kAwkward.y / length, kAwkward.z / length}, v));

  VECTOR3D w = {0, 3, 4};
  w.Normalize();
  EXPECT_TRUE(SameBits(VECTOR3D{0.0f, 0.6f, 0.8f}, w));

  VECTOR3D zero = {0, 0, 0};
  zero.Normalize();
  EXPECT_TRUE(SameBits(VECTOR3D{0, 0, 0}, zero));
  // Squares that underflow give length 0: left alone rather than divided into NaN.
  VECTOR3D tiny = {1e-30f, 0, 0};
  tiny.Normalize();
  EXPECT_TRUE(SameBits(VECTOR3D{1e-30f, 0, 0}, tiny));
}

TEST(NormalizeVector, DividesInDoubleUnlikeTheMember) {
  const double length = std::sqrt(static_cast<double>(kAwkward.x * kAwkward.x + kAwkward.y * kAwkward.y +
                                                      kAwkward.z * kAwkward.z));
  const VECTOR3D expected = {static_cast<float>(kAwkward.x / length), static_cast<float>(kAwkward.y / length),
                             static_cast<float>(kAwkward.z / length)};
  EXPECT_TRUE(SameBits(expected, NormalizeVector(kAwkward)));
}

TEST(VectorArithmetic, ComponentwiseFloatAndDoubleScale) {
  EXPECT_TRUE(SameBits(VECTOR3D{kAwkward.x + kOther.x, kAwkward.y + kOther.y, kAwkward.z + kOther.z},
                       AddVectors(kAwkward, kOther)));
  EXPECT_TRUE(SameBits(VECTOR3D{kAwkward.x - kOther.x, kAwkward.y - kOther.y, kAwkward.z - kOther.z},
                       SubtractVectors(kAwkward, kOther)));
  EXPECT_TRUE(SameBits(VECTOR3D{kAwkward.x * kOther.x, kAwkward.y * kOther.y, kAwkward.z * kOther.z},
                       MultiplyVectors(kAwkward, kOther)));
  EXPECT_TRUE(SameBits(VECTOR3D{kAwkward.x / kOther.x, kAwkward.y / kOther.y, kAwkward.z / kOther.z},
                       DivideVectors(kAwkward, kOther)));
  const double s = 0.1;  // not a float: scaling must happen in double
  EXPECT_TRUE(SameBits(VECTOR3D{static_cast<float>(kAwkward.x * s), static_cast<float>(kAwkward.y * s),
                                static_cast<float>(kAwkward.z * s)},
                       ScaleVector(kAwkward, s)));
  EXPECT_TRUE(SameBits(VECTOR3D{0, 0, 1}, VectorCrossProduct({1, 0, 0}, {0, 1, 0})));
}

TEST(CompareVectors, ExactWithoutTolerance) {
  EXPECT_TRUE(CompareVectors({0, 0, 0}, {-0.0f, 0, 0}));
  EXPECT_FALSE(CompareVectors({1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(CompareVectors({nan, 0, 0}, {nan, 0, 0}));
}

TEST(CalculateNormal, FollowsTheWindingOfThePoints) {
  EXPECT_TRUE(SameBits(VECTOR3D{0, 0, 1}, CalculateNormal({0, 0, 0}, {1, 0, 0}, {1, 1, 0})));
  EXPECT_TRUE(SameBits(VECTOR3D{0, 0, -1}, CalculateNormal({1, 1, 0}, {1, 0, 0}, {0, 0, 0})));
}

TEST(Rotate, ZeroAnglesLeaveTheVectorUntouched) {
  VECTOR3D v = {kAwkward.x, -0.0f, std::numeric_limits<float>::quiet_NaN()};
  const VECTOR3D before = v;
  Rotate(&v, 0, 0, 0);
  EXPECT_EQ(0, std::memcmp(&before, &v, sizeof v));
  Rotate(nullptr, 10, 20, 30);  // nothing to rotate, nothing to crash
}

TEST(Rotate, UsesDoubleTrigOnAFloatRadian) {
  VECTOR3D v = {0, 0, 1};
  Rotate(&v, 0, 90, 0);
  // cos of the float nearest to pi/2 is not 0: the tiny residue proves the rule.
  const double radian = static_cast<float>(90.0 * 3.141592653589793 / 180.0);
  EXPECT_TRUE(SameBits(VECTOR3D{static_cast<float>(std::sin(radian)), 0, static_cast<float>(std::cos(radian))}, v));
  EXPECT_NE(v.z, 0.0f);

  VECTOR3D w = kAwkward;
  Rotate(&w, 0, 0, 33.3f);
  const double rz = static_cast<float>(static_cast<double>(33.3f) * 3.141592653589793 / 180.0);
  EXPECT_TRUE(SameBits(VECTOR3D{static_cast<float>(std::cos(rz) * kAwkward.x - std::sin(rz) * kAwkward.y),
                                static_cast<float>(std::sin(rz) * kAwkward.x + std::cos(rz) * kAwkward.y),
                                kAwkward.z},
                       w));
}

TEST(Rotate, AppliesXThenYThenZ) {
  VECTOR3D v = {0, 1, 0};
  Rotate(&v, 90, 90, 0);
  EXPECT_NEAR(v.x, 1.0f, 1e-6f);
  EXPECT_NEAR(v.y, 0.0f, 1e-6f);
  EXPECT_NEAR(v.z, 0.0f, 1e-6f);

  VECTOR3D w = {1, 0, 0};
  Rotate(&w, 0, 90, 90);  // y first takes +x to -z, which z leaves alone
  EXPECT_NEAR(w.z, -1.0f, 1e-6f);
}

TEST(Clamp, WrapsByTheUpperBound) {
  EXPECT_EQ(clamp(-30, 0, 360), 330);
  EXPECT_EQ(clamp(725, 0, 360), 5);
  EXPECT_EQ(clamp(360, 0, 360), 0);
  EXPECT_EQ(clamp(359.5, 0, 360), 359.5);
  EXPECT_EQ(clamp(-0.25, 0, 360), 359.75);
  // The step is hi, not hi - lo.
  EXPECT_EQ(clamp(-15, -10, 20), 5);
}

TEST(Clamp, HostileInputsReturnInsteadOfSpinning) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(clamp(inf, 0, 360), inf);
  EXPECT_EQ(clamp(-inf, 0, 360), -inf);
  EXPECT_TRUE(std::isnan(clamp(std::nan(""), 0, 360)));
  EXPECT_EQ(clamp(-5, 0, 0), -5);    // a zero step cannot move anything
  EXPECT_EQ(clamp(7, 0, -360), 7);   // nor a negative one
  const double wrapped = clamp(1e300, 0, 360);
  EXPECT_GE(wrapped, 0);
  EXPECT_LT(wrapped, 360);
  const double below = clamp(-1e18 - 30, 0, 360);
  EXPECT_GE(below, 0);
  EXPECT_LT(below, 360);
}

TEST(AngleBetweenVectors, TurnsZTowardsTheDirection) {
  // Along +x: the axis is +y and the angle 90 degrees (d.x = 2 is not nudged).
  VECTOR3D r = AngleBetweenVectors({0, 0, 0}, {2, 0, 0});
  EXPECT_EQ(r.x, 0.0f);
  EXPECT_FLOAT_EQ(r.y, 90.0f);
  EXPECT_EQ(r.z, 0.0f);

  // Along +z with |d.x| < 1: nudged by 0.1 in double, so the angle is atan(0.1 / 5).
  VECTOR3D d = {static_cast<float>(0.0f + 0.1), 0, 5};
  const double len = std::sqrt(static_cast<double>(d.x * d.x + d.y * d.y + d.z * d.z));
  const double angle = std::acos(d.z / len) * 180.0 / 3.141592653589793;
  r = AngleBetweenVectors({1, 1, 1}, {1, 1, 6});
  EXPECT_EQ(r.x, 0.0f);
  EXPECT_TRUE(SameBits(static_cast<float>(1.0 * angle), r.y));
  EXPECT_TRUE(SameBits(0.0f, r.z));

  // Equal points still give a finite answer.
  r = AngleBetweenVectors({3, 3, 3}, {3, 3, 3});
  EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z));
  EXPECT_GT(r.y, 0.0f);
}

}  // namespace

}  // namespace ambrel
