#include "tests/water/PlainWater.h"

#include <cmath>

namespace ambrel {

void PlainUpdate(WATERCLASS& water, VECTOR3D eye, VECTOR3D light, bool caustics, double dt) {
  const uint32_t n = 1u << water.shift;
  const uint32_t mask = n - 1;
  WATERCELL* cells = water.cells;
  auto h = [&](uint32_t r, uint32_t c) { return cells[(r & mask) * n + (c & mask)].height; };

  water.meanHeight = 0.0f;
  for (uint32_t r = 0; r < n; ++r) {
    for (uint32_t c = 0; c < n; ++c) {
      WATERCELL& cell = cells[r * n + c];
      float v = cell.velocity;
      if (v > 0.01f || v < -0.01f) v = v * 0.99f;
      float diagonal = h(r - 1, c - 1) + h(r - 1, c + 1) + h(r + 1, c - 1) + h(r + 1, c + 1);
      float edge = h(r - 1, c) + h(r, c - 1) + h(r, c + 1) + h(r + 1, c);
      cell.velocity =
          (water.speed * 0.25f) * (diagonal * 0.083333336f + edge * 0.16666667f - h(r, c)) + v;
      water.meanHeight += cell.velocity + h(r, c);
    }
  }
  water.meanHeight = water.meanHeight / static_cast<float>(water.vertexCount);

  const float radius = water.bowlRadiusSq;
  if (water.wantBowl)
    water.bowlRadiusSq = static_cast<float>(radius + static_cast<double>(2500.0f - radius) * dt * 0.4);
  else
    water.bowlRadiusSq = static_cast<float>(radius + static_cast<double>(-1000.0f - radius) * dt * 0.2);
  const float bowl = water.bowlRadiusSq;

  const float w = water.refract[10].normalWeight;
  const float s = water.refract[10].rayScale;
  const float spacing = water.size / static_cast<float>(n - 1);
  float z = -0.5f * water.size;
  for (uint32_t r = 0; r < n; ++r) {
    float x = -0.5f * water.size;
    for (uint32_t c = 0; c < n; ++c) {
      WATERCELL& cell = cells[r * n + c];
      WATERVERTEX& vertex = water.vertices[r * n + c];
      cell.height = (cell.height + cell.velocity) - water.meanHeight;
      const float height = cell.height;
      VECTOR3D normal;
      normal.x = (h(r - 1, c - 1) - h(r + 1, c + 1)) - (h(r - 1, c + 1) - h(r + 1, c - 1)) +
                 (h(r, c - 1) - h(r, c + 1));
      normal.y = 1.0f;
      normal.z = (h(r - 1, c - 1) - h(r + 1, c + 1)) + (h(r - 1, c) - h(r + 1, c)) +
                 (h(r - 1, c + 1) - h(r + 1, c - 1));
      normal.Normalize();
      VECTOR3D view{eye.x - x, eye.y - height, eye.z - z};
      view.Normalize();
      vertex.position = VECTOR3D{x, height, z};
      vertex.normal = normal;
      VECTOR3D q3{x, height - 20.0f, z};
      float q = water.wantBowl ? static_cast<float>(VectorDotProduct(q3, q3) - bowl) : bowl;
      if (q < 0.0f) {
        VECTOR3D t3{s * (w * normal.x + view.x), s * (w * normal.y + view.y),
                    s * (w * normal.z + view.z)};
        float b = static_cast<float>(2.0 * VectorDotProduct(t3, q3));
        float t = (std::sqrt(b * b + q * -4.0f) - b) * 0.5f;
        vertex.u = (t3.x * t + x) * water.invSize + 0.5f;
        vertex.v = 1.0f - ((t3.z * t + z) * water.invSize + 0.5f);
      } else {
        vertex.u = x * water.invSize + 0.5f;
        vertex.v = 1.0f - (z * water.invSize + 0.5f);
      }
      x += spacing;
    }
    z += spacing;
  }

  if (!caustics) return;
  if (Table[0] == 0)
    for (uint32_t k = 0; k < 8; ++k) Table[k] = (64 / (k + 1)) * 0x10101u;
  for (uint32_t r = 0; r < n; ++r) {
    for (uint32_t c = 0; c < n; ++c) {
      const WATERVERTEX& vertex = water.vertices[r * n + c];
      CAUSTICVERTEX& k = water.causticVertices[r * n + c];
      const REFRACTION& entry = water.refract[static_cast<int>(255.0f * vertex.normal.y)];
      VECTOR3D q3{vertex.position.x, vertex.position.y - 20.0f, vertex.position.z};
      float q = static_cast<float>(VectorDotProduct(q3, q3) - 2500.0);
      if (q < 0.0f) {
        VECTOR3D t3{entry.rayScale * (entry.normalWeight * vertex.normal.x + light.x),
                    entry.rayScale * (entry.normalWeight * vertex.normal.y + light.y),
                    entry.rayScale * (entry.normalWeight * vertex.normal.z + light.z)};
        float b = static_cast<float>(2.0 * VectorDotProduct(t3, q3));
        float t = (std::sqrt(b * b + q * -4.0f) - b) * 0.5f;
        k.position = VECTOR3D{vertex.position.x + t3.x * t, 0.0f, vertex.position.z + t3.z * t};
      } else {
        k.position = VECTOR3D{vertex.position.x, 0.0f, vertex.position.z};
      }
      if (r > 0 && c > 0) {
        const CAUSTICVERTEX& up = water.causticVertices[(r - 1) * n + c];
        const CAUSTICVERTEX& diag = water.causticVertices[(r - 1) * n + c - 1];
        float area = (diag.position.x - k.position.x) * (up.position.z - k.position.z) -
                     (diag.position.z - k.position.z) * (up.position.x - k.position.x);
        double grade = std::trunc(4.0f * (area * area));
        k.intensity = (grade >= 0.0 && grade <= 7.0) ? Table[static_cast<int>(grade)] : 0;
      }
    }
    water.causticVertices[r * n].intensity = water.causticVertices[r * n + n - 1].intensity;
  }
  for (uint32_t c = 0; c < n; ++c)
    water.causticVertices[c].intensity = water.causticVertices[(n - 1) * n + c].intensity;
}

}  // namespace ambrel
