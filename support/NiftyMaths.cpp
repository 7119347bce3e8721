#include "support/NiftyMaths.h"

#include <cmath>
#include <cstdio>

#include "support/Misc.h"

namespace ambrel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegreesPerRadian = 57.29577951308232;

float SumOfSquares(VECTOR3D v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

}  // namespace

void VECTOR3D::Normalize() {
  const float length = std::sqrt(SumOfSquares(*this));
  if (length == 0.0f) return;
  x /= length;
  y /= length;
  z /= length;
}

VECTOR3D AddVectors(VECTOR3D a, VECTOR3D b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

VECTOR3D SubtractVectors(VECTOR3D a, VECTOR3D b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

VECTOR3D MultiplyVectors(VECTOR3D a, VECTOR3D b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

VECTOR3D DivideVectors(VECTOR3D a, VECTOR3D b) { return {a.x / b.x, a.y / b.y, a.z / b.z}; }

VECTOR3D ScaleVector(VECTOR3D v, double s) {
  return {static_cast<float>(v.x * s), static_cast<float>(v.y * s), static_cast<float>(v.z * s)};
}

double VectorLength(VECTOR3D v) { return std::sqrt(static_cast<double>(SumOfSquares(v))); }

double VectorLengthNOSQRT(VECTOR3D v) { return SumOfSquares(v); }

double VectorDotProduct(VECTOR3D a, VECTOR3D b) {
  const float sum = a.x * b.x + a.y * b.y + a.z * b.z;
  return sum;
}

VECTOR3D VectorCrossProduct(VECTOR3D a, VECTOR3D b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool CompareVectors(VECTOR3D a, VECTOR3D b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

double DistanceBetweenVectors(VECTOR3D a, VECTOR3D b) {
  return SumOfSquares(SubtractVectors(a, b));
}

VECTOR3D NormalizeVector(VECTOR3D v) {
  const double length = VectorLength(v);
  return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
          static_cast<float>(v.z / length)};
}

VECTOR3D AngleBetweenVectors(VECTOR3D a, VECTOR3D b) {
  VECTOR3D d = SubtractVectors(b, a);
  if (std::fabs(d.x) < 1.0f) d.x = static_cast<float>(d.x + 0.1);
  if (CompareVectors(a, b)) d.z += 1.0f;
  const double length = VectorLength(d);

  // (0, 0, 1) x d, written out so that no 0 * inf turns into NaN.
  VECTOR3D axis = {-d.y, d.x, 0.0f};
  if (VectorLength(axis) != 0.0) axis = NormalizeVector(axis);

  const double angle = std::acos(d.z / length) * 180.0 / kPi;
  return ScaleVector(axis, angle);
}

MATRIX::MATRIX() { Identity(); }

void MATRIX::Zero() {
  for (double& element : m) element = 0.0;
}

void MATRIX::Identity() {
  Zero();
  m[0] = m[5] = m[10] = m[15] = 1.0;
}

void MATRIX::SetTranslation(VECTOR3D v) {
  m[12] = v.x;
  m[13] = v.y;
  m[14] = v.z;
}

QUAT::QUAT() { Identity(); }

void QUAT::Identity() {
  x = y = z = 0.0;
  w = 1.0;
}

bool QUAT::IsEqualTo(QUAT q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }

MATRIX AddMatrix(MATRIX a, MATRIX b) {
  MATRIX r;
  for (int i = 0; i < 16; ++i) r.m[i] = a.m[i] + b.m[i];
  return r;
}

MATRIX SubtractMatrix(MATRIX a, MATRIX b) {
  MATRIX r;
  for (int i = 0; i < 16; ++i) r.m[i] = a.m[i] - b.m[i];
  return r;
}

MATRIX MultiplyMatrix(MATRIX a, MATRIX b) {
  MATRIX r;
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[c * 4 + k];
      r.m[c * 4 + row] = sum;
    }
  }
  return r;
}

VECTOR3D MatrixPointMultiply(MATRIX m, VECTOR3D p) {
  const double* e = m.m;
  return {static_cast<float>(e[0] * p.x + e[4] * p.y + e[8] * p.z + e[12]),
          static_cast<float>(e[1] * p.x + e[5] * p.y + e[9] * p.z + e[13]),
          static_cast<float>(e[2] * p.x + e[6] * p.y + e[10] * p.z + e[14])};
}

VECTOR3D MatrixRotatePoint(MATRIX m, VECTOR3D p) {
  const double* e = m.m;
  return {static_cast<float>(e[0] * p.x + e[4] * p.y + e[8] * p.z),
          static_cast<float>(e[1] * p.x + e[5] * p.y + e[9] * p.z),
          static_cast<float>(e[2] * p.x + e[6] * p.y + e[10] * p.z)};
}

VECTOR3D MatrixInverseRotatePoint(MATRIX m, VECTOR3D p) {
  const double* e = m.m;
  return {static_cast<float>(e[0] * p.x + e[1] * p.y + e[2] * p.z),
          static_cast<float>(e[4] * p.x + e[5] * p.y + e[6] * p.z),
          static_cast<float>(e[8] * p.x + e[9] * p.y + e[10] * p.z)};
}

VECTOR3D MatrixTranslatePoint(MATRIX m, VECTOR3D p) {
  return {static_cast<float>(p.x + m.m[12]), static_cast<float>(p.y + m.m[13]),
          static_cast<float>(p.z + m.m[14])};
}

VECTOR3D MatrixInverseTranslatePoint(MATRIX m, VECTOR3D p) {
  return {static_cast<float>(p.x - m.m[12]), static_cast<float>(p.y - m.m[13]),
          static_cast<float>(p.z - m.m[14])};
}

MATRIX MatrixFromAngle(VECTOR3D angles) {
  const double ax = angles.x * kPi / 180.0;
  const double ay = angles.y * kPi / 180.0;
  const double az = angles.z * kPi / 180.0;
  const double cx = std::cos(ax), sx = std::sin(ax);
  const double cy = std::cos(ay), sy = std::sin(ay);
  const double cz = std::cos(az), sz = std::sin(az);

  MATRIX r;
  r.Zero();
  r.m[0] = cy * cz;
  r.m[1] = -cy * sz;
  r.m[2] = -sy;
  r.m[4] = cx * sz - sx * sy * cz;
  r.m[5] = sx * sy * sz + cx * cz;
  r.m[6] = -sx * cy;
  r.m[8] = cx * sy * cz + sx * sz;
  r.m[9] = sx * cz - cx * sy * sz;
  r.m[10] = cx * cy;
  r.m[15] = 1.0;
  return r;
}

VECTOR3D AngleFromMatrix(MATRIX m) {
  const float y = static_cast<float>(-std::asin(m.m[2]));
  const double c = std::cos(y);
  double x, z;
  if (std::fabs(c) > 0.005) {
    x = std::atan2(-m.m[6] / c, m.m[10] / c);
    z = std::atan2(-m.m[1] / c, m.m[0] / c);
  } else {
    x = 0.0;
    z = std::atan2(m.m[4], m.m[5]);
  }
  return {static_cast<float>(clamp(x * kDegreesPerRadian, 0.0, 360.0)),
          static_cast<float>(clamp(y * kDegreesPerRadian, 0.0, 360.0)),
          static_cast<float>(clamp(z * kDegreesPerRadian, 0.0, 360.0))};
}

MATRIX MatrixAngleBetweenVectors(VECTOR3D a, VECTOR3D b) {
  VECTOR3D d = SubtractVectors(a, b);
  if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) d.z = 1.0f;
  const VECTOR3D f = NormalizeVector(d);

  VECTOR3D up = {0.0f, 1.0f, 0.0f};
  if (f.x == 0.0f && f.z == 0.0f) up = {-f.y, 0.0f, 0.0f};

  const VECTOR3D s = NormalizeVector(VectorCrossProduct(up, f));
  const VECTOR3D u = NormalizeVector(VectorCrossProduct(s, f));

  MATRIX r;
  r.Zero();
  r.m[0] = s.x;
  r.m[1] = s.y;
  r.m[2] = s.z;
  r.m[4] = -u.x;
  r.m[5] = -u.y;
  r.m[6] = -u.z;
  r.m[8] = f.x;
  r.m[9] = f.y;
  r.m[10] = f.z;
  r.m[15] = 1.0;
  return r;
}

MATRIX QuatToRotationMatrix(QUAT q) {
  MATRIX r;
  r.Zero();
  r.m[0] = 1.0 - 2.0 * (q.y * q.y + q.z * q.z);
  r.m[1] = 2.0 * (q.x * q.y + q.z * q.w);
  r.m[2] = 2.0 * (q.z * q.x - q.w * q.y);
  r.m[4] = 2.0 * (q.x * q.y - q.z * q.w);
  r.m[5] = 1.0 - 2.0 * (q.z * q.z + q.x * q.x);
  r.m[6] = 2.0 * (q.z * q.y + q.x * q.w);
  r.m[8] = 2.0 * (q.z * q.x + q.w * q.y);
  r.m[9] = 2.0 * (q.z * q.y - q.x * q.w);
  r.m[10] = 1.0 - 2.0 * (q.x * q.x + q.y * q.y);
  r.m[15] = 1.0;
  return r;
}

QUAT QuatFromMatrix(MATRIX m) {
  const double* e = m.m;
  QUAT q;
  const double trace = e[0] + e[5] + e[10];
  if (trace > 0.0) {
    const double s = std::sqrt(trace + 1.0);
    const double f = 0.5 / s;
    q.w = s / 2.0;
    q.x = (e[6] - e[9]) * f;
    q.y = (e[8] - e[2]) * f;
    q.z = (e[1] - e[4]) * f;
    return q;
  }

  static const int kNext[3] = {1, 2, 0};
  int i = e[5] > e[0] ? 1 : 0;
  if (e[10] > e[i * 5]) i = 2;
  const int j = kNext[i];
  const int k = kNext[j];

  double v[3];
  const double s = std::sqrt(e[i * 5] - (e[j * 5] + e[k * 5]) + 1.0);
  v[i] = s / 2.0;
  const double f = s != 0.0 ? 0.5 / s : 0.0;
  q.w = (e[j * 4 + k] - e[k * 4 + j]) * f;
  v[j] = (e[i * 4 + j] + e[j * 4 + i]) * f;
  v[k] = (e[i * 4 + k] + e[k * 4 + i]) * f;
  q.x = v[0];
  q.y = v[1];
  q.z = v[2];
  return q;
}

QUAT MultiplyQuats(QUAT a, QUAT b) {
  QUAT r;
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  r.x = a.w * b.x + b.w * a.x + a.y * b.z - a.z * b.y;
  r.y = a.w * b.y + b.w * a.y + a.z * b.x - a.x * b.z;
  r.z = a.w * b.z + b.w * a.z + a.x * b.y - a.y * b.x;
  return r;
}

QUAT InverseQuat(QUAT q) {
  q.x = -q.x;
  q.y = -q.y;
  q.z = -q.z;
  return q;
}

// The Euclidean length, so that NormalizeQuat yields a unit quaternion.
double QuatMagnitude(QUAT q) {
  return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
}

QUAT NormalizeQuat(QUAT q) {
  const double magnitude = QuatMagnitude(q);
  if (magnitude == 0.0) return q;
  q.x /= magnitude;
  q.y /= magnitude;
  q.z /= magnitude;
  q.w /= magnitude;
  return q;
}

QUAT AxisAndAngleToQuat(VECTOR3D axis, double angle) {
  const double s = std::sin(angle / 2.0);
  QUAT q;
  q.x = axis.x * s;
  q.y = axis.y * s;
  q.z = axis.z * s;
  q.w = std::cos(angle / 2.0);
  return q;
}

QUAT RotationToQuat(VECTOR3D angles) {
  const double hx = angles.x * kPi / 180.0 * 0.5;
  const double hy = angles.y * kPi / 180.0 * 0.5;
  const double hz = angles.z * kPi / 180.0 * 0.5;
  const double cx = std::cos(hx), sx = std::sin(hx);
  const double cy = std::cos(hy), sy = std::sin(hy);
  const double cz = std::cos(hz), sz = std::sin(hz);
  QUAT q;
  q.x = cz * sx * cy - sz * cx * sy;
  q.y = cx * sy * cz + sx * cy * sz;
  q.z = sz * cy * cx - cz * sx * sy;
  q.w = cy * cx * cz + sx * sy * sz;
  return q;
}

QUAT QuatSlerp(QUAT* a, QUAT* b, double t) {
  if (!a || !b) return QUAT();
  QUAT to = *b;
  double cosTheta = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
  if (cosTheta < 0.0) {
    cosTheta = -cosTheta;
    to.x = -to.x;
    to.y = -to.y;
    to.z = -to.z;
    to.w = -to.w;
  }

  double ka, kb;
  if (1.0 - cosTheta > 1e-5) {
    const double theta = std::acos(cosTheta);
    const double sinTheta = std::sin(theta);
    ka = std::sin((1.0 - t) * theta) / sinTheta;
    kb = std::sin(t * theta) / sinTheta;
  } else {
    ka = 1.0 - t;
    kb = t;
  }

  QUAT r;
  r.x = ka * a->x + kb * to.x;
  r.y = ka * a->y + kb * to.y;
  r.z = ka * a->z + kb * to.z;
  r.w = ka * a->w + kb * to.w;
  return r;
}

void SaveMatrix(MATRIX m) {
  FILE* file = std::fopen("test.txt", "a");
  if (!file) return;
  std::fprintf(file, "\n");
  for (int group = 0; group < 4; ++group) {
    for (int i = 0; i < 4; ++i) std::fprintf(file, "%4.5f ", m.m[group * 4 + i]);
    std::fprintf(file, "\n");
  }
  std::fclose(file);
}

}  // namespace ambrel
