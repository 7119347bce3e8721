#include "support/GLStuff.h"

#include <epoxy/gl.h>

#include <cmath>

namespace ambrel {

float frustum[6][4] = {};

namespace {

enum { kRight, kLeft, kBottom, kTop, kFar, kNear, kPlaneCount };

float PlaneDistance(const float* plane, VECTOR3D p) {
  return plane[0] * p.x + plane[1] * p.y + plane[2] * p.z + plane[3];
}

}  // namespace

void ExtractFrustum() {
  float proj[16] = {};
  float modl[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, proj);
  glGetFloatv(GL_MODELVIEW_MATRIX, modl);

  float clip[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      clip[c * 4 + r] = modl[c * 4 + 0] * proj[0 * 4 + r] + modl[c * 4 + 1] * proj[1 * 4 + r] +
                        modl[c * 4 + 2] * proj[2 * 4 + r] + modl[c * 4 + 3] * proj[3 * 4 + r];
    }
  }

  // Each plane is row 3 plus or minus one of rows 0 to 2.
  static const struct {
    int row;
    float sign;
  } kCombination[kPlaneCount] = {{0, -1.0f}, {0, 1.0f}, {1, 1.0f}, {1, -1.0f}, {2, -1.0f}, {2, 1.0f}};

  for (int p = 0; p < kPlaneCount; ++p) {
    float* plane = frustum[p];
    for (int c = 0; c < 4; ++c) {
      const float other = clip[c * 4 + kCombination[p].row];
      plane[c] = kCombination[p].sign < 0 ? clip[c * 4 + 3] - other : clip[c * 4 + 3] + other;
    }
    const float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    // A degenerate matrix gives a plane without a normal; dividing would only make NaNs.
    if (length == 0.0f) continue;
    for (int c = 0; c < 4; ++c) plane[c] /= length;
  }
}

bool PointInFrustum(VECTOR3D p) {
  for (const float* plane : frustum) {
    if (PlaneDistance(plane, p) <= 0.0f) return false;
  }
  return true;
}

bool SphereInFrustum(VECTOR3D centre, float radius) {
  for (const float* plane : frustum) {
    if (PlaneDistance(plane, centre) <= -radius) return false;
  }
  return true;
}

bool SphereInsideSinglePlaneFrustum(int plane, VECTOR3D centre, float radius) {
  if (plane < 0 || plane >= kPlaneCount) return false;
  return PlaneDistance(frustum[plane], centre) > -radius;
}

VECTOR3D PointAtEdgeOfFrustum(int plane, VECTOR3D p) {
  if (plane < 0 || plane >= kPlaneCount) return {0.0f, 0.0f, 0.0f};
  const float a = frustum[plane][0], b = frustum[plane][1], c = frustum[plane][2], d = frustum[plane][3];
  switch (plane) {
    case kFar:
    case kNear:
      p.z = -(a * p.x + b * p.y + d) / c;
      break;
    case kBottom:
    case kTop:
      p.y = -(a * p.x + c * p.z + d) / b;
      break;
    default:
      p.x = -(b * p.y + c * p.z + d) / a;
      break;
  }
  return p;
}

}  // namespace ambrel
