// The water step as the plain cell-by-cell walk: the reference the fast Update must
// match bit for bit.
#pragma once

#include "water/Water.h"

namespace ambrel {

void PlainUpdate(WATERCLASS& water, VECTOR3D eye, VECTOR3D light, bool caustics, double dt);

}  // namespace ambrel
