// The height-field water: an N x N grid on a torus, drawn as one triangle strip
// whose texture coordinates are bent by refraction.
#pragma once

#include <cstdint>

#include "support/NiftyMaths.h"

namespace ambrel {

struct WATERCELL {
  float height;
  float velocity;
};

// Handed to OpenGL as an interleaved vertex: fields follow each other without gaps.
struct WATERVERTEX {
  VECTOR3D position;
  VECTOR3D normal;
  uint32_t colour[4];  // never read by any drawing path
  float u, v;
};

struct CAUSTICVERTEX {
  VECTOR3D position;
  uint32_t reserved[3];  // never read
  uint32_t intensity;    // packed grey level from Table
  float colour[4];
};

struct REFRACTION {
  float normalWeight;
  float rayScale;
  uint32_t colour;  // never read
};

// Shared by every water object in the process; filled by Initialize, never released.
extern REFRACTION Refract[256];
// Caustic grey levels, filled on the first caustics pass.
extern uint32_t Table[8];

// The largest wave speed for which ripples stay bounded, with a small margin. Per
// torus mode the step is v' = d*v + k*m*h, h' = h + v' (k = speed/4, m = weighted
// neighbour average minus 1, d = 0.99 once |v| > 0.01). It stays bounded while
// k*|m| < 2*(1 + d); the checkerboard mode has the largest |m|, 4/3, so the limit is
// speed < 6*(1 + d) = 11.94 (11.9399993 with the float weights).
constexpr float kMaxStableWaterSpeed = 11.9f;

class WATERCLASS {
 public:
  float size;
  float invSize = 1.0f;
  float meanHeight;
  float bowlRadiusSq = 0.0f;
  uint32_t indexCount = 0;
  uint32_t vertexCount = 0;
  WATERCELL* cells = nullptr;
  REFRACTION* refract = nullptr;
  uint16_t* indices = nullptr;
  WATERVERTEX* vertices = nullptr;
  CAUSTICVERTEX* causticVertices = nullptr;
  bool wantBowl = true;
  float speed = 1.0f;
  uint16_t shift = 6;

  WATERCLASS();
  ~WATERCLASS();
  WATERCLASS(const WATERCLASS&) = delete;
  WATERCLASS& operator=(const WATERCLASS&) = delete;

  bool Initialize(unsigned short shift, float size, bool wantBowl, float speed);
  bool Update(VECTOR3D& eye, VECTOR3D& light, bool caustics, double dt);
  bool Drop(float strength);
  bool DrawSurface();
  bool DrawCaustics();
};

}  // namespace ambrel
