// The per-step passes over the grid behind WATERCLASS::Update, kept apart so they
// can be compiled for speed on their own.
#pragma once

#include <cstdint>

#include "water/Water.h"

namespace ambrel {

// One propagation step of every velocity from the current heights; returns the
// running float sum of (velocity + height) taken in row-major order.
float PropagateRipples(WATERCELL* cells, uint32_t n, float speed);

struct SurfaceParameters {
  uint32_t n;
  float size;
  float invSize;
  float meanHeight;
  float radiusSq;
  bool wantBowl;
  VECTOR3D eye;
  float normalWeight;
  float rayScale;
};

// Levels the heights to mean zero and rebuilds every vertex: position, normal and
// the refracted texture coordinate.
void BuildSurface(WATERCELL* cells, WATERVERTEX* vertices, const SurfaceParameters& p);

// Projects the surface along the refracted light onto the floor and grades each
// cell by the area it shrinks to.
void BuildCaustics(const WATERVERTEX* vertices, CAUSTICVERTEX* caustics, uint32_t n,
                   const REFRACTION* refract, const VECTOR3D& light);

// Whether the passes may use the processor's vector unit (when it has one); the
// scalar route gives the same bits. Returns the previous setting.
bool AllowWaterSimd(bool allowed);

}  // namespace ambrel
