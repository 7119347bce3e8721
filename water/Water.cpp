#include "water/Water.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "water/WaterRows.h"

namespace ambrel {

REFRACTION Refract[256];
uint32_t Table[8];

namespace {

template <typename T>
void Release(T*& array) {
  if (array) {
    delete[] array;
    array = nullptr;
  }
}

void FillRefractionTable() {
  for (int i = 0; i < 256; ++i) {
    float x = i * 0.00390625f;
    float si = sinf(acosf(x));
    float st = si / 1.333f;
    Refract[i].normalWeight = (si / st) * cosf(asinf(st)) - x;
    Refract[i].rayScale = -st / si;
    Refract[i].colour = 0;
  }
}

// One strip in concentric rings from the outside in; repeated indices where the
// runs meet make the degenerate joins.
void FillStrip(uint16_t* out, uint32_t n) {
  uint32_t at = 0;
  auto pair = [&](uint32_t r1, uint32_t c1, uint32_t r2, uint32_t c2) {
    out[at++] = static_cast<uint16_t>(r1 * n + c1);
    out[at++] = static_cast<uint16_t>(r2 * n + c2);
  };
  for (uint32_t k = 0; k < n / 2; ++k) {
    uint32_t m = n - 2 * k;
    for (uint32_t j = 0; j < m; ++j) pair(k, k + j, k + 1, k + j);
    for (uint32_t i = 1; i < m; ++i) pair(k + i, k + m - 1, k + i, k + m - 2);
    for (uint32_t j = 1; j < m; ++j) pair(k + m - 1, k + m - 1 - j, k + m - 2, k + m - 1 - j);
    for (uint32_t i = 2; i < m; ++i) pair(k + m - i, k, k + m - i, k + 1);
  }
}

void FillCausticTable() {
  for (uint32_t k = 0; k < 8; ++k) Table[k] = (64 / (k + 1)) * 0x10101u;
}

}  // namespace

WATERCLASS::WATERCLASS() = default;

WATERCLASS::~WATERCLASS() {
  Release(indices);
  Release(vertices);
  Release(causticVertices);
  Release(cells);
}

bool WATERCLASS::Initialize(unsigned short newShift, float newSize, bool newWantBowl,
                            float newSpeed) {
  size = newSize;
  invSize = 1.0f / newSize;
  shift = newShift > 8 ? 8 : (newShift < 4 ? 4 : newShift);
  wantBowl = newWantBowl;
  speed = newSpeed;
  uint32_t n = 1u << shift;
  // Arrays from an earlier call keep their size only if the grid size stays.
  if (vertexCount != n * n) {
    Release(indices);
    Release(vertices);
    Release(causticVertices);
    Release(cells);
  }
  vertexCount = n * n;
  indexCount = 2 * n * n;

  if (!refract) {
    refract = Refract;
    FillRefractionTable();
  }
  if (!cells) {
    cells = new (std::nothrow) WATERCELL[vertexCount];
    if (!cells) return false;
    for (uint32_t i = 0; i < vertexCount; ++i) cells[i] = WATERCELL{0.0f, 0.0f};
  }
  if (!indices) {
    indices = new (std::nothrow) uint16_t[indexCount];
    if (!indices) return false;
    FillStrip(indices, n);
  }
  if (!vertices) {
    vertices = new (std::nothrow) WATERVERTEX[vertexCount];
    if (!vertices) return false;
    for (uint32_t i = 0; i < vertexCount; ++i) vertices[i] = WATERVERTEX{};
  }
  if (!causticVertices) {
    causticVertices = new (std::nothrow) CAUSTICVERTEX[vertexCount];
    if (!causticVertices) return false;
    for (uint32_t i = 0; i < vertexCount; ++i) causticVertices[i] = CAUSTICVERTEX{};
  }
  return true;
}

bool WATERCLASS::Update(VECTOR3D& eye, VECTOR3D& light, bool caustics, double dt) {
  // A failed Initialize leaves the object only safe to destroy.
  if (!cells || !vertices || !causticVertices || !refract) return false;
  const uint32_t n = 1u << shift;

  meanHeight = PropagateRipples(cells, n, speed) / static_cast<float>(vertexCount);

  double radiusSq = bowlRadiusSq;
  if (wantBowl)
    radiusSq = radiusSq + static_cast<double>(2500.0f - bowlRadiusSq) * dt * 0.4;
  else
    radiusSq = radiusSq + static_cast<double>(-1000.0f - bowlRadiusSq) * dt * 0.2;
  bowlRadiusSq = static_cast<float>(radiusSq);

  SurfaceParameters p;
  p.n = n;
  p.size = size;
  p.invSize = invSize;
  p.meanHeight = meanHeight;
  p.radiusSq = bowlRadiusSq;
  p.wantBowl = wantBowl;
  p.eye = eye;
  p.normalWeight = refract[10].normalWeight;
  p.rayScale = refract[10].rayScale;
  BuildSurface(cells, vertices, p);

  if (caustics) {
    if (Table[0] == 0) FillCausticTable();
    BuildCaustics(vertices, causticVertices, n, refract, light);
  }
  return true;
}

bool WATERCLASS::Drop(float strength) {
  if (!cells) return false;
  const uint32_t mask = (1u << shift) - 1;
  const uint32_t n = mask + 1;
  uint32_t c = static_cast<uint32_t>(rand()) & mask;
  uint32_t r = static_cast<uint32_t>(rand()) & mask;
  auto at = [&](uint32_t row, uint32_t col) -> float& {
    return cells[(row & mask) * n + (col & mask)].velocity;
  };
  at(r, c) += strength * -0.25f;
  at(r, c - 1) += strength * -0.125f;
  at(r, c + 1) += strength * -0.125f;
  at(r - 1, c) += strength * -0.125f;
  at(r + 1, c) += strength * -0.125f;
  at(r - 1, c - 1) += strength * -0.0625f;
  at(r + 1, c + 1) += strength * -0.0625f;
  at(r - 1, c + 1) += strength * -0.0625f;
  at(r + 1, c - 1) += strength * -0.0625f;
  return true;
}

bool WATERCLASS::DrawSurface() {
  if (!vertices || !indices) return false;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(WATERVERTEX), &vertices[0].position);
  glNormalPointer(GL_FLOAT, sizeof(WATERVERTEX), &vertices[0].normal);
  glTexCoordPointer(2, GL_FLOAT, sizeof(WATERVERTEX), &vertices[0].u);
  glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(indexCount - 2), GL_UNSIGNED_SHORT,
                 indices);
  return true;
}

bool WATERCLASS::DrawCaustics() {
  if (!causticVertices || !indices) return false;
  for (uint32_t i = 0; i < vertexCount; ++i) {
    CAUSTICVERTEX& k = causticVertices[i];
    k.colour[0] = 1.0f;
    k.colour[1] = 1.0f;
    k.colour[2] = 1.0f;
    k.colour[3] = static_cast<float>(static_cast<double>(k.intensity) / 4244635648.0);
  }
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(CAUSTICVERTEX), &causticVertices[0].position);
  glColorPointer(4, GL_FLOAT, sizeof(CAUSTICVERTEX), &causticVertices[0].colour[0]);
  glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(indexCount - 2), GL_UNSIGNED_SHORT,
                 indices);
  return true;
}

}  // namespace ambrel
