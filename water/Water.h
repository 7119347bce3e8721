// The height-field water: an N x N grid on a torus, drawn as one triangle strip
// whose texture coordinates are bent by refraction.
#pragma once

#include <cstdint>

#include "support/NiftyMaths.h"

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
