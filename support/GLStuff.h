// View-frustum culling against the planes of the current OpenGL matrices.
#pragma once

#include "NiftyMaths.h"

namespace ambrel {

// Planes a, b, c, d with (a, b, c) of unit length pointing inwards.
// Order: 0 right, 1 left, 2 bottom, 3 top, 4 far, 5 near.
extern float frustum[6][4];

void ExtractFrustum();
bool PointInFrustum(VECTOR3D p);
bool SphereInFrustum(VECTOR3D centre, float radius);
bool SphereInsideSinglePlaneFrustum(int plane, VECTOR3D centre, float radius);
VECTOR3D PointAtEdgeOfFrustum(int plane, VECTOR3D p);

}  // namespace ambrel
