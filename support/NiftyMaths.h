// Vectors, matrices and quaternions: the geometry every other part builds on.
// Float/double choices are deliberate: the water's results depend on them bit for bit.
#pragma once

namespace ambrel {

struct VECTOR3D {
  float x, y, z;
  void Normalize();
};

struct point2d {
  float x, y;
};

struct COLOUR {
  float r, g, b, a;
};

VECTOR3D AddVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D SubtractVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D MultiplyVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D DivideVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D ScaleVector(VECTOR3D v, double s);
double VectorLength(VECTOR3D v);
double VectorLengthNOSQRT(VECTOR3D v);
double VectorDotProduct(VECTOR3D a, VECTOR3D b);
VECTOR3D VectorCrossProduct(VECTOR3D a, VECTOR3D b);
bool CompareVectors(VECTOR3D a, VECTOR3D b);
double DistanceBetweenVectors(VECTOR3D a, VECTOR3D b);
VECTOR3D NormalizeVector(VECTOR3D v);
VECTOR3D AngleBetweenVectors(VECTOR3D a, VECTOR3D b);

struct MATRIX {
  double m[16];
  MATRIX();
  void Zero();
  void Identity();
  void SetTranslation(VECTOR3D v);
};

struct QUAT {
  double x, y, z, w;
  QUAT();
  void Identity();
  bool IsEqualTo(QUAT q) const;
};

MATRIX AddMatrix(MATRIX a, MATRIX b);
MATRIX SubtractMatrix(MATRIX a, MATRIX b);
MATRIX MultiplyMatrix(MATRIX a, MATRIX b);
VECTOR3D MatrixPointMultiply(MATRIX m, VECTOR3D p);
VECTOR3D MatrixRotatePoint(MATRIX m, VECTOR3D p);
VECTOR3D MatrixInverseRotatePoint(MATRIX m, VECTOR3D p);
VECTOR3D MatrixTranslatePoint(MATRIX m, VECTOR3D p);
VECTOR3D MatrixInverseTranslatePoint(MATRIX m, VECTOR3D p);
MATRIX MatrixFromAngle(VECTOR3D angles);
VECTOR3D AngleFromMatrix(MATRIX m);
MATRIX MatrixAngleBetweenVectors(VECTOR3D a, VECTOR3D b);
MATRIX QuatToRotationMatrix(QUAT q);
QUAT QuatFromMatrix(MATRIX m);
QUAT MultiplyQuats(QUAT a, QUAT b);
QUAT InverseQuat(QUAT q);
double QuatMagnitude(QUAT q);
QUAT NormalizeQuat(QUAT q);
QUAT AxisAndAngleToQuat(VECTOR3D axis, double angle);
QUAT RotationToQuat(VECTOR3D angles);
QUAT QuatSlerp(QUAT* a, QUAT* b, double t);
void SaveMatrix(MATRIX m);

}  // namespace ambrel
