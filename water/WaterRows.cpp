#include "water/WaterRows.h"

#include <cmath>

#include "support/CpuFeatures.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define WATER_AVX2 1
#endif

namespace ambrel {

// Every float here must come out exactly as the straightforward cell-by-cell walk
// would give it. The passes work a row at a time on padded float rows, eight columns
// at once where the processor has AVX2 (element-wise IEEE add, mul, div and sqrt
// round the same in SIMD), while the running sum stays one ordered chain. No
// reassociation, no contraction, no reciprocal tricks.

namespace {

constexpr uint32_t kMaxN = 256;

// out[0] = row[n-1], out[1..n] = row, out[n+1] = row[0]: neighbour c-1 is out[c],
// neighbour c+1 is out[c+2], without masking.
inline void LoadPaddedHeights(const WATERCELL* row, uint32_t n, float* out) {
  for (uint32_t c = 0; c < n; ++c) out[c + 1] = row[c].height;
  out[0] = row[n - 1].height;
  out[n + 1] = row[0].height;
}

void VelocityRow(const float* up, const float* mid, const float* down, const WATERCELL* row,
                 uint32_t n, float k, float* velocity, float* stepped) {
  for (uint32_t c = 0; c < n; ++c) {
    float v = row[c].velocity;
    v = (v > 0.01f || v < -0.01f) ? v * 0.99f : v;
    float diagonal = ((up[c] + up[c + 2]) + down[c]) + down[c + 2];
    float edge = ((up[c + 1] + mid[c]) + mid[c + 2]) + down[c + 1];
    float h = mid[c + 1];
    float nv = k * ((diagonal * 0.083333336f + edge * 0.16666667f) - h) + v;
    velocity[c] = nv;
    stepped[c] = nv + h;
  }
}

struct RowOutput {
  float nx[kMaxN], ny[kMaxN], nz[kMaxN], u[kMaxN], v[kMaxN];
};

// up/down: padded neighbour rows; left[c], right[c]: the heights beside column c as
// the walk sees them; level: this row's levelled heights.
void SurfaceRow(const float* up, const float* down, const float* left, const float* right,
                const float* level, const float* xs, float z, uint32_t n,
                const SurfaceParameters& p, RowOutput& out) {
  const float ex0 = p.eye.x, ey0 = p.eye.y, ez0 = p.eye.z;
  const float w = p.normalWeight, s = p.rayScale, inv = p.invSize, radiusSq = p.radiusSq;
  const bool bowl = p.wantBowl;
  const float flatV = 1.0f - (z * inv + 0.5f);
  for (uint32_t c = 0; c < n; ++c) {
    float x = xs[c];
    float h = level[c];
    float a = up[c] - down[c + 2];
    float b = up[c + 2] - down[c];
    float nx = (a - b) + (left[c] - right[c]);
    float nz = (a + (up[c + 1] - down[c + 1])) + b;
    float nlen = sqrtf((nx * nx + 1.0f * 1.0f) + nz * nz);
    nx = nx / nlen;
    float ny = 1.0f / nlen;
    nz = nz / nlen;

    float ex = ex0 - x, ey = ey0 - h, ez = ez0 - z;
    float elen = sqrtf((ex * ex + ey * ey) + ez * ez);
    // Normalising leaves a zero vector as it is; divide always, then choose.
    float dx = ex / elen, dy = ey / elen, dz = ez / elen;
    bool keep = elen == 0.0f;
    ex = keep ? ex : dx;
    ey = keep ? ey : dy;
    ez = keep ? ez : dz;

    float qy = h - 20.0f;
    float q = bowl ? ((x * x + qy * qy) + z * z) - radiusSq : radiusSq;
    float tx = s * (w * nx + ex);
    float ty = s * (w * ny + ey);
    float tz = s * (w * nz + ez);
    float bb = 2.0f * ((tx * x + ty * qy) + tz * z);
    float t = (sqrtf(bb * bb + q * -4.0f) - bb) * 0.5f;
    float bentU = (tx * t + x) * inv + 0.5f;
    float bentV = 1.0f - ((tz * t + z) * inv + 0.5f);
    float flatU = x * inv + 0.5f;
    bool bend = q < 0.0f;
    out.nx[c] = nx;
    out.ny[c] = ny;
    out.nz[c] = nz;
    out.u[c] = bend ? bentU : flatU;
    out.v[c] = bend ? bentV : flatV;
  }
}

#ifdef WATER_AVX2
// The same two rows with eight columns at a time; n is a multiple of 8.
__attribute__((target("avx2"))) void VelocityRowAvx2(const float* up, const float* mid,
                                                     const float* down, const WATERCELL* row,
                                                     uint32_t n, float k, float* velocity,
                                                     float* stepped) {
  const __m256 above = _mm256_set1_ps(0.01f), below = _mm256_set1_ps(-0.01f);
  const __m256 damping = _mm256_set1_ps(0.99f), kk = _mm256_set1_ps(k);
  const __m256 diagonalWeight = _mm256_set1_ps(0.083333336f);
  const __m256 edgeWeight = _mm256_set1_ps(0.16666667f);
  for (uint32_t c = 0; c < n; c += 8) {
    const float* pairs = &row[c].height;
    __m256 a = _mm256_loadu_ps(pairs), b = _mm256_loadu_ps(pairs + 8);
    __m256 v = _mm256_shuffle_ps(a, b, 0xDD);
    v = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0xD8));
    __m256 damp = _mm256_or_ps(_mm256_cmp_ps(v, above, _CMP_GT_OQ),
                               _mm256_cmp_ps(v, below, _CMP_LT_OQ));
    v = _mm256_blendv_ps(v, _mm256_mul_ps(v, damping), damp);
    __m256 diagonal = _mm256_add_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(up + c), _mm256_loadu_ps(up + c + 2)),
                      _mm256_loadu_ps(down + c)),
        _mm256_loadu_ps(down + c + 2));
    __m256 edge = _mm256_add_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(up + c + 1), _mm256_loadu_ps(mid + c)),
                      _mm256_loadu_ps(mid + c + 2)),
        _mm256_loadu_ps(down + c + 1));
    __m256 h = _mm256_loadu_ps(mid + c + 1);
    __m256 average = _mm256_add_ps(_mm256_mul_ps(diagonal, diagonalWeight),
                                   _mm256_mul_ps(edge, edgeWeight));
    __m256 nv = _mm256_add_ps(_mm256_mul_ps(kk, _mm256_sub_ps(average, h)), v);
    _mm256_storeu_ps(velocity + c, nv);
    _mm256_storeu_ps(stepped + c, _mm256_add_ps(nv, h));
  }
}

// lo = (a0 b0 a1 b1 | a4 b4 a5 b5), hi = (a2 b2 a3 b3 | a6 b6 a7 b7): one (a, b) pair into
// each of eight consecutive records, at the same offset in each.
__attribute__((target("avx2"))) inline void StorePairs(__m256 lo, __m256 hi, float* first) {
  constexpr size_t stride = sizeof(WATERVERTEX) / sizeof(float);
  __m128 lo0 = _mm256_castps256_ps128(lo), lo1 = _mm256_extractf128_ps(lo, 1);
  __m128 hi0 = _mm256_castps256_ps128(hi), hi1 = _mm256_extractf128_ps(hi, 1);
  _mm_storel_pi(reinterpret_cast<__m64*>(first), lo0);
  _mm_storeh_pi(reinterpret_cast<__m64*>(first + stride), lo0);
  _mm_storel_pi(reinterpret_cast<__m64*>(first + 2 * stride), hi0);
  _mm_storeh_pi(reinterpret_cast<__m64*>(first + 3 * stride), hi0);
  _mm_storel_pi(reinterpret_cast<__m64*>(first + 4 * stride), lo1);
  _mm_storeh_pi(reinterpret_cast<__m64*>(first + 5 * stride), lo1);
  _mm_storel_pi(reinterpret_cast<__m64*>(first + 6 * stride), hi1);
  _mm_storeh_pi(reinterpret_cast<__m64*>(first + 7 * stride), hi1);
}

// Levels one row in place; `level` and `old` receive the levelled and the previous
// heights, padded like LoadPaddedHeights.
__attribute__((target("avx2"))) void LevelRowAvx2(WATERCELL* row, uint32_t n, float meanHeight,
                                                  float* level, float* old) {
  const __m256 mean = _mm256_set1_ps(meanHeight);
  for (uint32_t c = 0; c < n; c += 8) {
    float* pairs = &row[c].height;
    __m256 a = _mm256_loadu_ps(pairs), b = _mm256_loadu_ps(pairs + 8);
    // Columns in the order 0 1 4 5 | 2 3 6 7; the unpacks below undo it.
    __m256 h = _mm256_shuffle_ps(a, b, 0x88);
    __m256 v = _mm256_shuffle_ps(a, b, 0xDD);
    __m256 l = _mm256_sub_ps(_mm256_add_ps(h, v), mean);
    _mm256_storeu_ps(pairs, _mm256_unpacklo_ps(l, v));
    _mm256_storeu_ps(pairs + 8, _mm256_unpackhi_ps(l, v));
    _mm256_storeu_ps(level + 1 + c,
                     _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(l), 0xD8)));
    _mm256_storeu_ps(old + 1 + c,
                     _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(h), 0xD8)));
  }
  level[0] = level[n];
  level[n + 1] = level[1];
  old[0] = old[n];
  old[n + 1] = old[1];
}

// One row of vertices. up/down: padded neighbour rows; level/old: this row, padded.
__attribute__((target("avx2"))) void SurfaceRowAvx2(const float* up, const float* down,
                                                    const float* level, const float* old,
                                                    const float* xs, float zs, uint32_t n,
                                                    const SurfaceParameters& p,
                                                    WATERVERTEX* out) {
  const __m256 ex0 = _mm256_set1_ps(p.eye.x), ey0 = _mm256_set1_ps(p.eye.y),
               ez0 = _mm256_set1_ps(p.eye.z);
  const __m256 w = _mm256_set1_ps(p.normalWeight), s = _mm256_set1_ps(p.rayScale);
  const __m256 inv = _mm256_set1_ps(p.invSize), radiusSq = _mm256_set1_ps(p.radiusSq);
  const __m256 one = _mm256_set1_ps(1.0f), half = _mm256_set1_ps(0.5f),
               two = _mm256_set1_ps(2.0f), minusFour = _mm256_set1_ps(-4.0f),
               twenty = _mm256_set1_ps(20.0f), zero = _mm256_setzero_ps();
  const __m256 z = _mm256_set1_ps(zs);
  const __m256 zz = _mm256_mul_ps(z, z);
  const __m256 flatV = _mm256_sub_ps(one, _mm256_add_ps(_mm256_mul_ps(z, inv), half));
  const bool bowl = p.wantBowl;
  for (uint32_t c = 0; c < n; c += 8) {
    __m256 x = _mm256_loadu_ps(xs + c);
    __m256 h = _mm256_loadu_ps(level + 1 + c);
    // Left of column 0 is column n-1 before levelling; right of column n-1 is
    // column 0 after it.
    __m256 left = _mm256_loadu_ps(level + c);
    if (c == 0) left = _mm256_blend_ps(left, _mm256_set1_ps(old[0]), 0x01);
    __m256 right = _mm256_loadu_ps(old + c + 2);
    if (c + 8 == n) right = _mm256_blend_ps(right, _mm256_set1_ps(level[n + 1]), 0x80);
    __m256 upL = _mm256_loadu_ps(up + c), upC = _mm256_loadu_ps(up + c + 1),
           upR = _mm256_loadu_ps(up + c + 2);
    __m256 dnL = _mm256_loadu_ps(down + c), dnC = _mm256_loadu_ps(down + c + 1),
           dnR = _mm256_loadu_ps(down + c + 2);
    __m256 a = _mm256_sub_ps(upL, dnR);
    __m256 b = _mm256_sub_ps(upR, dnL);
    __m256 nx = _mm256_add_ps(_mm256_sub_ps(a, b), _mm256_sub_ps(left, right));
    __m256 nz = _mm256_add_ps(_mm256_add_ps(a, _mm256_sub_ps(upC, dnC)), b);
    __m256 nlen = _mm256_sqrt_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, nx), one), _mm256_mul_ps(nz, nz)));
    nx = _mm256_div_ps(nx, nlen);
    __m256 ny = _mm256_div_ps(one, nlen);
    nz = _mm256_div_ps(nz, nlen);

    __m256 ex = _mm256_sub_ps(ex0, x), ey = _mm256_sub_ps(ey0, h), ez = _mm256_sub_ps(ez0, z);
    __m256 elen = _mm256_sqrt_ps(_mm256_add_ps(
        _mm256_add_ps(_mm256_mul_ps(ex, ex), _mm256_mul_ps(ey, ey)), _mm256_mul_ps(ez, ez)));
    __m256 keep = _mm256_cmp_ps(elen, zero, _CMP_EQ_OQ);
    ex = _mm256_blendv_ps(_mm256_div_ps(ex, elen), ex, keep);
    ey = _mm256_blendv_ps(_mm256_div_ps(ey, elen), ey, keep);
    ez = _mm256_blendv_ps(_mm256_div_ps(ez, elen), ez, keep);

    __m256 qy = _mm256_sub_ps(h, twenty);
    __m256 q = radiusSq;
    if (bowl)
      q = _mm256_sub_ps(
          _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, x), _mm256_mul_ps(qy, qy)), zz), radiusSq);
    __m256 flatU = _mm256_add_ps(_mm256_mul_ps(x, inv), half);
    __m256 bend = _mm256_cmp_ps(q, zero, _CMP_LT_OQ);
    __m256 u = flatU, v = flatV;
    if (_mm256_movemask_ps(bend) != 0) {
      __m256 tx = _mm256_mul_ps(s, _mm256_add_ps(_mm256_mul_ps(w, nx), ex));
      __m256 ty = _mm256_mul_ps(s, _mm256_add_ps(_mm256_mul_ps(w, ny), ey));
      __m256 tz = _mm256_mul_ps(s, _mm256_add_ps(_mm256_mul_ps(w, nz), ez));
      __m256 bb = _mm256_mul_ps(
          two, _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(tx, x), _mm256_mul_ps(ty, qy)),
                             _mm256_mul_ps(tz, z)));
      __m256 t = _mm256_mul_ps(
          _mm256_sub_ps(
              _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(bb, bb), _mm256_mul_ps(q, minusFour))),
              bb),
          half);
      __m256 bentU = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(tx, t), x), inv), half);
      __m256 bentV = _mm256_sub_ps(
          one, _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(tz, t), z), inv), half));
      u = _mm256_blendv_ps(flatU, bentU, bend);
      v = _mm256_blendv_ps(flatV, bentV, bend);
    }

    // Into the records: (x, h, z, n.x) as one 16-byte store, (n.y, n.z) and (u, v) as
    // 8-byte stores; the colour words are left alone.
    WATERVERTEX* o = out + c;
    __m256 t0 = _mm256_unpacklo_ps(x, h), t1 = _mm256_unpackhi_ps(x, h);
    __m256 t2 = _mm256_unpacklo_ps(z, nx), t3 = _mm256_unpackhi_ps(z, nx);
    __m256 r0 = _mm256_shuffle_ps(t0, t2, 0x44), r1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    __m256 r2 = _mm256_shuffle_ps(t1, t3, 0x44), r3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    _mm_storeu_ps(&o[0].position.x, _mm256_castps256_ps128(r0));
    _mm_storeu_ps(&o[1].position.x, _mm256_castps256_ps128(r1));
    _mm_storeu_ps(&o[2].position.x, _mm256_castps256_ps128(r2));
    _mm_storeu_ps(&o[3].position.x, _mm256_castps256_ps128(r3));
    _mm_storeu_ps(&o[4].position.x, _mm256_extractf128_ps(r0, 1));
    _mm_storeu_ps(&o[5].position.x, _mm256_extractf128_ps(r1, 1));
    _mm_storeu_ps(&o[6].position.x, _mm256_extractf128_ps(r2, 1));
    _mm_storeu_ps(&o[7].position.x, _mm256_extractf128_ps(r3, 1));
    StorePairs(_mm256_unpacklo_ps(ny, nz), _mm256_unpackhi_ps(ny, nz), &o[0].normal.y);
    StorePairs(_mm256_unpacklo_ps(u, v), _mm256_unpackhi_ps(u, v), &o[0].u);
  }
}

__attribute__((target("avx2"))) void BuildSurfaceAvx2(WATERCELL* cells, WATERVERTEX* vertices,
                                                      const SurfaceParameters& p,
                                                      const float* xs, float spacing) {
  const uint32_t n = p.n;
  // Row r uses buffers r % 3; the row below is levelled one step ahead so that its
  // previous heights are at hand.
  float level[3][kMaxN + 2], old[3][kMaxN + 2];
  float firstLevel[kMaxN + 2], lastOld[kMaxN + 2];
  LoadPaddedHeights(cells + (n - 1) * n, n, lastOld);
  LevelRowAvx2(cells, n, p.meanHeight, level[0], old[0]);
  for (uint32_t i = 0; i < n + 2; ++i) firstLevel[i] = level[0][i];
  float z = -0.5f * p.size;
  for (uint32_t r = 0; r < n; ++r) {
    const float* up = r == 0 ? lastOld : level[(r - 1) % 3];
    const float* down = firstLevel;
    if (r + 1 < n) {
      LevelRowAvx2(cells + (r + 1) * n, n, p.meanHeight, level[(r + 1) % 3], old[(r + 1) % 3]);
      down = old[(r + 1) % 3];
    }
    SurfaceRowAvx2(up, down, level[r % 3], old[r % 3], xs, z, n, p, vertices + r * n);
    z += spacing;
  }
}

bool simdAllowed = true;

bool HasAvx2() { return simdAllowed && CpuHasAvx2(); }
#endif

}  // namespace

bool AllowWaterSimd(bool allowed) {
#ifdef WATER_AVX2
  bool was = simdAllowed;
  simdAllowed = allowed;
  return was;
#else
  (void)allowed;
  return false;
#endif
}

float PropagateRipples(WATERCELL* cells, uint32_t n, float speed) {
  float padded[3][kMaxN + 2];
  float velocity[kMaxN], stepped[kMaxN];
  float* up = padded[0];
  float* mid = padded[1];
  float* down = padded[2];
  const uint32_t mask = n - 1;
  const float k = speed * 0.25f;
  LoadPaddedHeights(cells + mask * n, n, up);
  LoadPaddedHeights(cells, n, mid);
  float sum = 0.0f;
  for (uint32_t r = 0; r < n; ++r) {
    LoadPaddedHeights(cells + ((r + 1) & mask) * n, n, down);
    WATERCELL* row = cells + r * n;
#ifdef WATER_AVX2
    if (HasAvx2())
      VelocityRowAvx2(up, mid, down, row, n, k, velocity, stepped);
    else
#endif
      VelocityRow(up, mid, down, row, n, k, velocity, stepped);
    for (uint32_t c = 0; c < n; ++c) {
      row[c].velocity = velocity[c];
      sum += stepped[c];
    }
    float* spare = up;
    up = mid;
    mid = down;
    down = spare;
  }
  return sum;
}

void BuildSurface(WATERCELL* cells, WATERVERTEX* vertices, const SurfaceParameters& p) {
  const uint32_t n = p.n;
  const uint32_t mask = n - 1;
  const float spacing = p.size / static_cast<float>(n - 1);
  float xs[kMaxN];
  float x = -0.5f * p.size;
  for (uint32_t c = 0; c < n; ++c) {
    xs[c] = x;
    x += spacing;
  }
#ifdef WATER_AVX2
  if (HasAvx2()) {
    BuildSurfaceAvx2(cells, vertices, p, xs, spacing);
    return;
  }
#endif
  float up[kMaxN + 2], down[kMaxN + 2], left[kMaxN], right[kMaxN + 1], level[kMaxN];
  RowOutput out;
  const float mean = p.meanHeight;
  float z = -0.5f * p.size;
  for (uint32_t r = 0; r < n; ++r) {
    WATERCELL* row = cells + r * n;
    // Rows before this one are already levelled in place, rows after it are not:
    // the wrapped neighbours see exactly that.
    LoadPaddedHeights(cells + ((r - 1) & mask) * n, n, up);
    LoadPaddedHeights(cells + ((r + 1) & mask) * n, n, down);
    for (uint32_t c = 0; c < n; ++c) {
      float old = row[c].height;
      level[c] = (old + row[c].velocity) - mean;
      right[c] = old;
    }
    // Left of column c is levelled (column n-1 for c = 0 is not yet);
    // right of column c is not (column 0 for c = n-1 already is).
    left[0] = right[n - 1];
    for (uint32_t c = 1; c < n; ++c) left[c] = level[c - 1];
    for (uint32_t c = 0; c + 1 < n; ++c) right[c] = right[c + 1];
    right[n - 1] = level[0];

    SurfaceRow(up, down, left, right, level, xs, z, n, p, out);

    WATERVERTEX* vrow = vertices + r * n;
    for (uint32_t c = 0; c < n; ++c) {
      row[c].height = level[c];
      WATERVERTEX& vx = vrow[c];
      vx.position.x = xs[c];
      vx.position.y = level[c];
      vx.position.z = z;
      vx.normal.x = out.nx[c];
      vx.normal.y = out.ny[c];
      vx.normal.z = out.nz[c];
      vx.u = out.u[c];
      vx.v = out.v[c];
    }
    z += spacing;
  }
}

void BuildCaustics(const WATERVERTEX* vertices, CAUSTICVERTEX* caustics, uint32_t n,
                   const REFRACTION* refract, const VECTOR3D& light) {
  for (uint32_t r = 0; r < n; ++r) {
    for (uint32_t c = 0; c < n; ++c) {
      const WATERVERTEX& vx = vertices[r * n + c];
      CAUSTICVERTEX& k = caustics[r * n + c];
      // The unit normal's y lies in (0, 1]; anything else (a NaN) takes entry 0.
      const float slot = 255.0f * vx.normal.y;
      const REFRACTION& entry = refract[(slot >= 0.0f && slot < 256.0f) ? static_cast<int>(slot) : 0];
      const float w = entry.normalWeight, s = entry.rayScale;
      VECTOR3D q3{vx.position.x, vx.position.y - 20.0f, vx.position.z};
      float q = static_cast<float>(VectorDotProduct(q3, q3) - 2500.0);
      if (q < 0.0f) {
        VECTOR3D t3{s * (w * vx.normal.x + light.x), s * (w * vx.normal.y + light.y),
                    s * (w * vx.normal.z + light.z)};
        float b = static_cast<float>(2.0 * VectorDotProduct(t3, q3));
        float t = (sqrtf(b * b + q * -4.0f) - b) * 0.5f;
        k.position = VECTOR3D{vx.position.x + t3.x * t, 0.0f, vx.position.z + t3.z * t};
      } else {
        k.position = VECTOR3D{vx.position.x, 0.0f, vx.position.z};
      }
      if (r > 0 && c > 0) {
        const CAUSTICVERTEX& u = caustics[(r - 1) * n + c];
        const CAUSTICVERTEX& d = caustics[(r - 1) * n + c - 1];
        float area = (d.position.x - k.position.x) * (u.position.z - k.position.z) -
                     (d.position.z - k.position.z) * (u.position.x - k.position.x);
        float grade = 4.0f * (area * area);
        // NaN and anything from 8 up grade as 0.
        k.intensity = (grade >= 0.0f && grade < 8.0f) ? Table[static_cast<int>(grade)] : 0;
      }
    }
    caustics[r * n].intensity = caustics[r * n + n - 1].intensity;
  }
  for (uint32_t c = 0; c < n; ++c) caustics[c].intensity = caustics[(n - 1) * n + c].intensity;
}

}  // namespace ambrel
