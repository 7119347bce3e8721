#include "render/CpuFrame.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include <sys/mman.h>

#include "support/CpuFeatures.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#include <x86intrin.h>
#define CPU_FRAME_AVX2 1
#endif

namespace ambrel {

namespace {

// Column-major, as OpenGL keeps its matrices.
struct Matrix {
  float m[16];
};

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[col * 4 + k];
      r.m[col * 4 + row] = sum;
    }
  return r;
}

// gluLookAt: the rows are side, up and the reversed view direction, in float;
// then the move of the eye to the origin.
Matrix LookAt(const VECTOR3D& eye, const VECTOR3D& target, const VECTOR3D& up) {
  auto normalize = [](float v[3]) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    for (int i = 0; i < 3; ++i) v[i] /= r;
  };
  auto cross = [](const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
  };
  float forward[3] = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
  float upward[3] = {up.x, up.y, up.z};
  float side[3], trueUp[3];
  normalize(forward);
  cross(forward, upward, side);
  normalize(side);
  cross(side, forward, trueUp);
  Matrix r{};
  for (int i = 0; i < 3; ++i) {
    r.m[i * 4 + 0] = side[i];
    r.m[i * 4 + 1] = trueUp[i];
    r.m[i * 4 + 2] = -forward[i];
  }
  r.m[15] = 1;
  Matrix move{};
  move.m[0] = move.m[5] = move.m[10] = move.m[15] = 1;
  move.m[12] = -eye.x;
  move.m[13] = -eye.y;
  move.m[14] = -eye.z;
  return Multiply(r, move);
}

// gluPerspective, computed in double and kept in float.
Matrix Perspective(double fovy, double aspect, double zNear, double zFar) {
  const double radians = fovy / 2 * M_PI / 180;
  const double deltaZ = zFar - zNear;
  const double cotangent = std::cos(radians) / std::sin(radians);
  Matrix r{};
  r.m[0] = static_cast<float>(cotangent / aspect);
  r.m[5] = static_cast<float>(cotangent);
  r.m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
  r.m[11] = -1;
  r.m[14] = static_cast<float>(-2 * zNear * zFar / deltaZ);
  return r;
}

void Transform(const Matrix& a, const float in[4], float out[4]) {
  for (int row = 0; row < 4; ++row)
    out[row] = a.m[row] * in[0] + a.m[4 + row] * in[1] + a.m[8 + row] * in[2] + a.m[12 + row] * in[3];
}

// A vertex in window coordinates, with what is interpolated across the triangle
// already divided by w.
struct WindowVertex {
  float x, y, invW;
  float r, g, b, a, u, v;  // times invW
  bool visible;
};


// A pixel buffer seen with OpenGL's rows, counted from the bottom. Its pixels are
// B, G, R, X; the water leaves its alpha in X, for the R, G, B, A frame.
class Target {
 public:
  explicit Target(const PixelBuffer& buffer) : buffer_(buffer) {}
  int width() const { return buffer_.width; }
  int height() const { return buffer_.height; }
  uint32_t* row(int y) const {
    return reinterpret_cast<uint32_t*>(buffer_.pixels + static_cast<size_t>(buffer_.height - 1 - y) * buffer_.stride);
  }
  uint8_t* at(int x, int y) const { return reinterpret_cast<uint8_t*>(row(y) + x); }

 private:
  PixelBuffer buffer_;
};

// Where R, G, B and A go in a target's pixel.
constexpr int kByteOf[4] = {2, 1, 0, 3};

// What the water wrote, row by row, so that only what it left is cleared.
struct Run {
  int row, start, end;
};
// What a row's runs cover: from the first pixel to past the last, and how many.
struct RowExtent {
  int start, end, filled;
  void Add(const Run& run) {
    start = std::min(start, run.start);
    end = std::max(end, run.end);
    filled += run.end - run.start;
  }
  void Add(const RowExtent& other) {
    start = std::min(start, other.start);
    end = std::max(end, other.end);
    filled += other.filled;
  }
};

// Clears what a row's runs (in any order, empty ones among them) leave of it; sorts
// them where they are not one stretch.
void ClearOutside(uint32_t* row, int width, const RowExtent& extent, Run* runs, Run* runsEnd) {
  if (extent.filled == 0) {
    std::fill(row, row + width, 0u);
    return;
  }
  if (extent.filled == extent.end - extent.start) {
    std::fill(row, row + extent.start, 0u);
    std::fill(row + extent.end, row + width, 0u);
    return;
  }
  std::sort(runs, runsEnd, [](const Run& a, const Run& b) { return a.start < b.start; });
  int x = 0;
  for (const Run* run = runs; run != runsEnd; ++run) {
    if (run->start >= run->end) continue;
    if (run->start > x) std::fill(row + x, row + run->start, 0u);
    x = std::max(x, run->end);
  }
  if (x < width) std::fill(row + x, row + width, 0u);
}

struct Coverage {
  std::vector<RowExtent> rows;
  std::vector<Run> runs;
  std::vector<int> place;  // ClearUncovered's
  void Reset(int height, int width) {
    rows.assign(height, RowExtent{width, 0, 0});
    runs.clear();
  }
  void Add(int row, int from, int to) {
    const Run run{row, from, to};
    rows[row].Add(run);
    runs.push_back(run);
  }
};

uint8_t ToByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  return static_cast<uint8_t>(value * 255.0f + 0.5f);
}

// The water's layout of a texture with sides of powers of two: texels as B, G, R,
// A (the target's order), with a column after the last that repeats the first and
// a row after the last that repeats the first, so that the four texels bilinear
// filtering blends are two 8-byte loads a row apart, with no wrapping.
bool HasPowerOfTwoSides(const CpuTexture& texture) {
  const int w = texture.width, h = texture.height;
  return w > 0 && h > 0 && w <= 32768 && h <= 32768 && (w & (w - 1)) == 0 && (h & (h - 1)) == 0;
}
size_t LaidOutSize(const CpuTexture& texture) {
  return (static_cast<size_t>(texture.width) + 1) * (texture.height + 1);
}
bool LaidOut(const CpuTexture& texture) {
  return HasPowerOfTwoSides(texture) && texture.padded.size() == LaidOutSize(texture);
}
bool HasRgba(const CpuTexture& texture) {
  return texture.rgba.size() >= static_cast<size_t>(texture.width) * texture.height * 4;
}

// Texels of channels bytes each (R, G, B and maybe A), rows from the first
// uploaded on, into the water's layout.
void LayOutFrom(const CpuTexture& texture, const uint8_t* texels, int channels) {
  const int w = texture.width, h = texture.height;
  const size_t stride = static_cast<size_t>(w) + 1;
  texture.padded.resize(LaidOutSize(texture));
  auto bgra = [&](int x, int y) {
    const uint8_t* p = texels + (static_cast<size_t>(y) * w + x) * channels;
    return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16 | uint32_t(channels == 4 ? p[3] : 255) << 24;
  };
  for (int y = 0; y <= h; ++y) {
    uint32_t* row = texture.padded.data() + y * stride;
    for (int x = 0; x <= w; ++x) row[x] = bgra(x & (w - 1), y & (h - 1));
  }
}

// Takes a new picture in rgba into the water's layout, and lets rgba go.
void LayOut(const CpuTexture& texture) {
  if (!HasPowerOfTwoSides(texture) || !HasRgba(texture)) return;
  LayOutFrom(texture, texture.rgba.data(), 4);
  std::vector<uint8_t>().swap(texture.rgba);
}

// Texel (x, y) as R, G, B, A bytes.
inline void Texel(const CpuTexture& texture, int x, int y, uint8_t out[4]) {
  if (!texture.rgba.empty()) {
    std::memcpy(out, texture.rgba.data() + (static_cast<size_t>(y) * texture.width + x) * 4, 4);
    return;
  }
  const uint32_t texel = texture.padded[static_cast<size_t>(y) * (texture.width + 1) + x];
  out[0] = static_cast<uint8_t>(texel >> 16);
  out[1] = static_cast<uint8_t>(texel >> 8);
  out[2] = static_cast<uint8_t>(texel);
  out[3] = static_cast<uint8_t>(texel >> 24);
}

// GL_LINEAR with GL_REPEAT on both axes, with 8-bit weights as Mesa's rasteriser
// takes them; colour in 0..1.
void Sample(const CpuTexture& texture, float s, float t, float out[4]) {
  if (!std::isfinite(s)) s = 0;
  if (!std::isfinite(t)) t = 0;
  const float fu = s * texture.width - 0.5f;
  const float fv = t * texture.height - 0.5f;
  // Coordinates this far out have lost their fraction anyway.
  const float floorU = std::fabs(fu) < 1e7f ? std::floor(fu) : 0.0f;
  const float floorV = std::fabs(fv) < 1e7f ? std::floor(fv) : 0.0f;
  const int wu = static_cast<int>((fu - floorU) * 256.0f), wv = static_cast<int>((fv - floorV) * 256.0f);
  // Pictures arrive with sides of powers of two; any other side takes the division.
  auto wrap = [](int i, int size) {
    if ((size & (size - 1)) == 0) return i & (size - 1);
    const int m = i % size;
    return m < 0 ? m + size : m;
  };
  const int x0 = wrap(static_cast<int>(floorU), texture.width), x1 = x0 + 1 == texture.width ? 0 : x0 + 1;
  const int y0 = wrap(static_cast<int>(floorV), texture.height), y1 = y0 + 1 == texture.height ? 0 : y0 + 1;
  uint8_t a[4], b[4], c[4], d[4];
  Texel(texture, x0, y0, a);
  Texel(texture, x1, y0, b);
  Texel(texture, x0, y1, c);
  Texel(texture, x1, y1, d);
  for (int k = 0; k < 4; ++k) {
    const int top = a[k] * (256 - wu) + b[k] * wu;
    const int bottom = c[k] * (256 - wu) + d[k] * wu;
    out[k] = static_cast<float>(top * (256 - wv) + bottom * wv) * (1.0f / (255.0f * 65536.0f));
  }
}

const CpuTexture* Find(const CpuTextures& textures, uint32_t name) {
  if (name == 0) return nullptr;
  auto found = textures.find(name);
  if (found == textures.end()) return nullptr;
  const CpuTexture& texture = found->second;
  if (texture.width <= 0 || texture.height <= 0 || !(HasRgba(texture) || LaidOut(texture))) return nullptr;
  return &texture;
}

// Edge a->b of a counter-clockwise triangle (y up): pixel centres exactly on it
// belong to the triangle when it is a left or a top edge, so that neighbours that
// share it never both draw the pixel.
bool Owns(const WindowVertex& a, const WindowVertex& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  return dy < 0 || (dy == 0 && dx < 0);
}

// One front-facing, opaque, textured and Gouraud-coloured triangle.
void FillTriangle(Target& target, const WindowVertex& v0, const WindowVertex& v1, const WindowVertex& v2,
                  const CpuTexture* texture, Coverage* coverage) {
  if (!v0.visible || !v1.visible || !v2.visible) return;
  const double area = (double(v1.x) - v0.x) * (double(v2.y) - v0.y) - (double(v2.x) - v0.x) * (double(v1.y) - v0.y);
  if (!(area > 0)) return;  // back-facing or degenerate: culled
  const float minX = std::min({v0.x, v1.x, v2.x}), maxX = std::max({v0.x, v1.x, v2.x});
  const float minY = std::min({v0.y, v1.y, v2.y}), maxY = std::max({v0.y, v1.y, v2.y});
  const int x0 = std::max(0, static_cast<int>(std::floor(minX))), x1 = std::min(target.width() - 1, static_cast<int>(std::ceil(maxX)));
  const int y0 = std::max(0, static_cast<int>(std::floor(minY))), y1 = std::min(target.height() - 1, static_cast<int>(std::ceil(maxY)));
  if (x0 > x1 || y0 > y1) return;
  const double invArea = 1.0 / area;

  // Each edge a->b as e(x, y) = dx * x + dy * y + c, positive inside; the
  // barycentric weights are the edges over the area, and every interpolated value
  // (already over w) is a plane stepped along with them.
  struct Edge {
    double dx, dy, c;
    bool owns;
  };
  auto makeEdge = [](const WindowVertex& a, const WindowVertex& b) {
    const double ex = double(b.x) - a.x, ey = double(b.y) - a.y;
    return Edge{-ey, ex, ey * a.x - ex * a.y, Owns(a, b)};
  };
  const Edge edges[3] = {makeEdge(v1, v2), makeEdge(v2, v0), makeEdge(v0, v1)};
  const WindowVertex* corners[3] = {&v0, &v1, &v2};
  constexpr int kValues = 7;
  float WindowVertex::*const fields[kValues] = {&WindowVertex::invW, &WindowVertex::r, &WindowVertex::g,
                                                &WindowVertex::b,    &WindowVertex::a, &WindowVertex::u,
                                                &WindowVertex::v};
  const double startX = x0 + 0.5, startY = y0 + 0.5;
  float stepX[kValues], stepY[kValues], start[kValues];
  for (int k = 0; k < kValues; ++k) {
    double sx = 0, sy = 0, s0 = 0;
    for (int i = 0; i < 3; ++i) {
      const double value = corners[i]->*fields[k] * invArea;
      sx += edges[i].dx * value;
      sy += edges[i].dy * value;
      s0 += (edges[i].dx * startX + edges[i].dy * startY + edges[i].c) * value;
    }
    stepX[k] = static_cast<float>(sx);
    stepY[k] = static_cast<float>(sy);
    start[k] = static_cast<float>(s0);
  }

  for (int y = y0; y <= y1; ++y) {
    const double cy = y + 0.5;
    double e[3];
    for (int i = 0; i < 3; ++i) e[i] = edges[i].dx * startX + edges[i].dy * cy + edges[i].c;
    float values[kValues];
    for (int k = 0; k < kValues; ++k) values[k] = start[k] + stepY[k] * static_cast<float>(y - y0);
    uint8_t* pixel = target.at(x0, y);
    int first = -1, last = -1;
    for (int x = x0; x <= x1; ++x, pixel += 4) {
      const bool inside = (e[0] > 0 || (e[0] == 0 && edges[0].owns)) && (e[1] > 0 || (e[1] == 0 && edges[1].owns)) &&
                          (e[2] > 0 || (e[2] == 0 && edges[2].owns));
      if (inside) {
        const float w = 1.0f / values[0];
        float colour[4] = {values[1] * w, values[2] * w, values[3] * w, values[4] * w};
        if (texture) {
          float texel[4];
          Sample(*texture, values[5] * w, values[6] * w, texel);
          for (int c = 0; c < 4; ++c) colour[c] *= texel[c];
        }
        for (int c = 0; c < 4; ++c) pixel[kByteOf[c]] = ToByte(colour[c]);
        if (first < 0) first = x;
        last = x;
      }
      for (int i = 0; i < 3; ++i) e[i] += edges[i].dx;
      for (int k = 0; k < kValues; ++k) values[k] += stepX[k];
    }
    // A triangle's pixels in a row are one run.
    if (first >= 0 && coverage) coverage->Add(y, first, last + 1);
  }
}

// Clears what the water left of each row (all of it where there is no water).
void ClearUncovered(Target& target, Coverage& coverage) {
  const int width = target.width(), height = target.height();
  // A row whose runs fill one stretch, as the water's usually do, needs only its
  // ends cleared; the others are taken run by run.
  std::vector<int>& place = coverage.place;
  place.assign(height, -1);
  int rows = 0;
  for (int y = 0; y < height; ++y) {
    const RowExtent& extent = coverage.rows[y];
    if (extent.filled == 0 || extent.filled == extent.end - extent.start)
      ClearOutside(target.row(y), width, extent, nullptr, nullptr);
    else
      place[y] = rows++;
  }
  if (rows == 0) return;
  std::vector<uint32_t> first(rows + 1, 0);
  for (const Run& run : coverage.runs)
    if (place[run.row] >= 0) ++first[place[run.row] + 1];
  for (int k = 0; k < rows; ++k) first[k + 1] += first[k];
  std::vector<Run> grouped(first[rows]);
  std::vector<uint32_t> next(first.begin(), first.end() - 1);
  for (const Run& run : coverage.runs)
    if (place[run.row] >= 0) grouped[next[place[run.row]]++] = run;
  for (int y = 0; y < height; ++y)
    if (place[y] >= 0)
      ClearOutside(target.row(y), width, coverage.rows[y], grouped.data() + first[place[y]],
                   grouped.data() + first[place[y] + 1]);
}

// The water's fast path. Seen from above, the grid's depth hardly changes across a
// cell, so each triangle is filled with screen-space (affine) interpolation: its
// texture coordinates and grey level are planes in 16.16 fixed point, stepped with
// integer adds. The frame is swept a row at a time: each triangle the row crosses
// lays its span's values into the row (where spans are short, only its planes
// where the span starts, which a pass then hands on to the pixels after), and the
// row is then filtered (bilinear, with 8-bit weights as Mesa's llvmpipe takes
// them) and shaded in one pass from left to right, so that the texture is read in
// order and no pass is cut short at a triangle's edge.

// A vertex of the water in window coordinates with its unprojected attributes.
struct GridVertex {
  float x, y, invW;
  float s, t, r, g, b, a;
  bool visible;
};

// Texture coordinates in 1/65536 texel (less half a texel, as GL_LINEAR samples),
// grey level in 1/65536 of a level.
constexpr float kFixed = 65536.0f;

// The widest texture the water's filter takes (its columns and strides fit in 16
// signed bits); the pictures Ambrel makes are never wider.
constexpr int kWidestFastTexture = 16384;

// A background texture in the water's layout (see LayOut).
struct FastTexture {
  const uint32_t* texels = nullptr;
  uint32_t stride = 0, widthMask = 0, heightMask = 0;  // stride in texels
  float width = 0, height = 0;
};

// What the row's triangles left where their spans start: the stamp of the row
// that laid them, and each plane's value at the row's pixel 0 and its step
// along the row. A pixel takes the planes of the last start at or before it, so
// a span costs a few stores whatever its length. Unsigned, so that steps wrap:
// the texture repeats every 65536 texels, a multiple of its side; the level
// reads as signed and clamps. Room for a vector's worth past the last pixel,
// where a start covers no pixel.
struct RowStarts {
  std::vector<uint32_t> stamp, u, du, v, dv, level, dlevel;
  void Resize(int width) {
    const size_t size = static_cast<size_t>(width) + 8;
    for (std::vector<uint32_t>* field : {&stamp, &u, &du, &v, &dv, &level, &dlevel}) field->resize(size);
  }
};

// The values of one row of the frame, pixel by pixel, as LayRow lays them or
// ExpandRow gives them from the row's starts.
// Room for a vector's worth past the last pixel.
struct RowValues {
  std::vector<uint32_t> u, v, level;
  void Resize(int width) {
    const size_t size = static_cast<size_t>(width) + 16;
    u.resize(size);
    v.resize(size);
    level.resize(size);
  }
};

// x * y / 255, rounded, for bytes.
inline uint32_t MulUnorm(uint32_t x, uint32_t y) {
  const uint32_t p = x * y + 128;
  return (p + (p >> 8)) >> 8;
}

inline uint32_t Level(uint32_t fixed) {
  return (uint32_t)std::min(255, std::max(0, static_cast<int32_t>(fixed + 0x8000u) >> 16));
}

// x * (256 - weight) + y * weight, over 256 and rounded, for two channels at
// once: one in each 16-bit half, where the sums stay below 65536.
inline uint32_t LerpHalves(uint32_t x, uint32_t y, uint32_t weight) {
  return ((x * (256 - weight) + y * weight + 0x00800080) >> 8) & 0x00FF00FF;
}

// Each pixel from from to to takes the planes of the last span that starts at or
// before it (one starts at from).
void ExpandRowScalar(const RowStarts& row, uint32_t stamp, int from, int to, RowValues* out) {
  uint32_t u0 = row.u[from], du = row.du[from], v0 = row.v[from], dv = row.dv[from];
  uint32_t level0 = row.level[from], dlevel = row.dlevel[from];
  for (int i = from; i < to; ++i) {
    if (row.stamp[i] == stamp) {
      u0 = row.u[i], du = row.du[i], v0 = row.v[i], dv = row.dv[i];
      level0 = row.level[i], dlevel = row.dlevel[i];
    }
    const uint32_t x = static_cast<uint32_t>(i);
    out->u[i] = u0 + du * x;
    out->v[i] = v0 + dv * x;
    out->level[i] = level0 + dlevel * x;
  }
}

void FillRowScalar(const RowValues& row, uint32_t*, int from, int to, uint32_t* out, uint32_t alpha,
                   const FastTexture& texture) {
  for (int i = from; i < to; ++i) {
    const uint32_t u = row.u[i], v = row.v[i];
    const uint32_t x0 = (u >> 16) & texture.widthMask, y0 = (v >> 16) & texture.heightMask;
    const uint32_t fu = (u >> 8) & 255, fv = (v >> 8) & 255;
    const uint32_t* top = texture.texels + static_cast<size_t>(y0) * texture.stride + x0;
    const uint32_t* bottom = top + texture.stride;
    constexpr uint32_t kHalves = 0x00FF00FF;
    const uint32_t blueRed = LerpHalves(LerpHalves(top[0] & kHalves, top[1] & kHalves, fu),
                                        LerpHalves(bottom[0] & kHalves, bottom[1] & kHalves, fu), fv);
    const uint32_t greenAlpha =
        LerpHalves(LerpHalves((top[0] >> 8) & kHalves, (top[1] >> 8) & kHalves, fu),
                   LerpHalves((bottom[0] >> 8) & kHalves, (bottom[1] >> 8) & kHalves, fu), fv);
    const uint32_t level = Level(row.level[i]);
    out[i] = MulUnorm(blueRed & 255, level) | MulUnorm(greenAlpha & 255, level) << 8 |
             MulUnorm(blueRed >> 16, level) << 16 | MulUnorm(greenAlpha >> 16, alpha) << 24;
  }
}

using FillRow = void (*)(const RowValues&, uint32_t*, int, int, uint32_t*, uint32_t, const FastTexture&);

#ifdef CPU_FRAME_AVX2
// Eight pixels at a time, the same integers as FillRowScalar, with each channel
// in a 16-bit lane. The lerp x + ((y - x) * w + 128 >> 8) is the scalar one's
// (x * (256 - w) + y * w + 128) >> 8 regrouped, and with the weight taken as
// w * 128, _mm256_mulhrs_epi16's (a * b + 2^14) >> 15 is exactly its last term.
#define AVX2 __attribute__((target("avx2"), always_inline)) inline

// A shuffle index that writes a zero byte.
constexpr char kZeroByte = -128;

AVX2 __m256i Lerp(__m256i x, __m256i y, __m256i weight) {
  return _mm256_add_epi16(x, _mm256_mulhrs_epi16(_mm256_sub_epi16(y, x), weight));
}

// MulUnorm's (p + (p >> 8)) >> 8 is (p * 257) >> 16 for every product of two bytes.
AVX2 __m256i Modulate(__m256i x, __m256i y) {
  const __m256i product = _mm256_add_epi16(_mm256_mullo_epi16(x, y), _mm256_set1_epi16(128));
  return _mm256_mulhi_epu16(product, _mm256_set1_epi16(257));
}

AVX2 __m256i ToLevel(__m256i fixed) {
  const __m256i level = _mm256_srai_epi32(_mm256_add_epi32(fixed, _mm256_set1_epi32(0x8000)), 16);
  return _mm256_min_epi32(_mm256_set1_epi32(255), _mm256_max_epi32(_mm256_setzero_si256(), level));
}

// The four texels at i and j (pixels k and k + 4) as [top left, top right, bottom
// left, bottom right] of each; below is the texels a row on, so both rows take
// the same index.
AVX2 __m128i Quad(const uint32_t* texels, const uint32_t* below, uint32_t i) {
  const __m128d top = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + i)));
  return _mm_castpd_si128(_mm_loadh_pd(top, reinterpret_cast<const double*>(below + i)));
}
AVX2 __m256i Quads(const uint32_t* texels, const uint32_t* below, uint32_t i, uint32_t j) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(Quad(texels, below, i)), Quad(texels, below, j), 1);
}

// A quad's top and bottom rows blended across: [top k, bottom k | top k+4, bottom k+4].
// Each side's two texels are picked and widened to 16 bits in one shuffle.
AVX2 __m256i Across(__m256i quad, __m256i weight) {
  constexpr char z = kZeroByte;
  const __m256i left = _mm256_setr_epi8(0, z, 1, z, 2, z, 3, z, 8, z, 9, z, 10, z, 11, z,  //
                                        0, z, 1, z, 2, z, 3, z, 8, z, 9, z, 10, z, 11, z);
  const __m256i right = _mm256_setr_epi8(4, z, 5, z, 6, z, 7, z, 12, z, 13, z, 14, z, 15, z,  //
                                         4, z, 5, z, 6, z, 7, z, 12, z, 13, z, 14, z, 15, z);
  return Lerp(_mm256_shuffle_epi8(quad, left), _mm256_shuffle_epi8(quad, right), weight);
}

// The first count (1 to 7) lanes: plain stores, as masked ones are slow on some
// processors.
AVX2 void StoreFirst(uint32_t* out, __m256i pixel, int count) {
  __m128i part = _mm256_castsi256_si128(pixel);
  if (count >= 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), part);
    part = _mm256_extracti128_si256(pixel, 1);
    out += 4;
    count -= 4;
  }
  if (count >= 2) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), part);
    part = _mm_srli_si128(part, 8);
    out += 2;
    count -= 2;
  }
  if (count) *out = static_cast<uint32_t>(_mm_cvtsi128_si32(part));
}

// Rows further on move through the texture by about as much each row as this
// one did since the last: their texels are asked for now, from that guess, so
// that the frame's texture is in the cache by the time the sweep gets there.
// Shown frame after frame, the texture has mostly left the cache in between (the
// X server copies each frame out): four rows ahead was then too late, and the
// guess grows too rough beyond about a dozen. pastV holds, for each vector, the
// v of its first pixel the row before.
constexpr uint32_t kPrefetchRowsAhead = 8;

// The texture as the guess above takes it, held by value so that the stores to
// pastV leave it in registers.
struct TexelPrefetch {
  const uint32_t* texels;
  uint32_t stride, widthMask, heightMask;
  explicit TexelPrefetch(const FastTexture& texture)
      : texels(texture.texels), stride(texture.stride), widthMask(texture.widthMask),
        heightMask(texture.heightMask) {}
  // For the eight pixels from j on.
  __attribute__((always_inline)) void Ahead(const uint32_t* us, const uint32_t* vs, uint32_t* pastV, int j) const {
    const uint32_t here = vs[j];
    uint32_t& past = pastV[j >> 3];
    const uint32_t later = here + kPrefetchRowsAhead * (here - past);
    past = here;
    const uint32_t* ahead =
        texels + static_cast<size_t>((later >> 16) & heightMask) * stride + ((us[j] >> 16) & widthMask);
    _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ahead + stride), _MM_HINT_T0);
  }
};

// For each set of lanes where spans start (a bit each), lane by lane the last of
// them at or before it, or -1 where the span started before the eight pixels.
struct LastStarts {
  alignas(32) int32_t lane[256][8];
};
const LastStarts& LastStartsTable() {
  static const LastStarts table = [] {
    LastStarts t{};
    for (int mask = 0; mask < 256; ++mask) {
      int last = -1;
      for (int l = 0; l < 8; ++l) {
        if (mask >> l & 1) last = l;
        t.lane[mask][l] = last;
      }
    }
    return t;
  }();
  return table;
}
// The texels of each pixel come either one load a row at a time, moved into
// place (kGathered false), or gathered eight pairs at once: which is cheaper
// depends on the processor (see FillTrial). Either way texel01 holds pixels 0, 1
// and 4, 5 and texel23 pixels 2, 3 and 6, 7, so that the pack puts them in order.
template <bool kGathered>
__attribute__((target("avx2"))) void FillRowAvx2With(const RowValues& row, uint32_t* pastV, int from, int to,
                                                     uint32_t* out, uint32_t alpha, const FastTexture& texture) {
  // A texel's column and row as the two halves of a lane, and the multiplier that
  // takes them to its place in the layout, row * (width + 1) + column: every word
  // stays in range up to kWidestFastTexture.
  const __m256i columnRowMask = _mm256_set1_epi32((int)(texture.widthMask | texture.heightMask << 16));
  const __m256i toPlace = _mm256_set1_epi32((int)(1u | texture.stride << 16));
  const __m256i weightBits = _mm256_set1_epi32(255 << 7);
  // A pixel's weight (in the low half of its 32-bit lane) to every channel of the
  // lanes that hold it.
  const __m256i spread0 = _mm256_set1_epi16(0x0100), spread1 = _mm256_set1_epi16(0x0504);
  const __m256i spread2 = _mm256_set1_epi16(0x0908), spread3 = _mm256_set1_epi16(0x0D0C);
  const __m256i spread01 = _mm256_setr_epi16(0x0100, 0x0100, 0x0100, 0x0100, 0x0504, 0x0504, 0x0504, 0x0504,
                                             0x0100, 0x0100, 0x0100, 0x0100, 0x0504, 0x0504, 0x0504, 0x0504);
  const __m256i spread23 = _mm256_setr_epi16(0x0908, 0x0908, 0x0908, 0x0908, 0x0D0C, 0x0D0C, 0x0D0C, 0x0D0C,
                                             0x0908, 0x0908, 0x0908, 0x0908, 0x0D0C, 0x0D0C, 0x0D0C, 0x0D0C);
  const __m256i pick01 = _mm256_setr_epi32(0, 1, 4, 5, 0, 0, 0, 0), pick23 = _mm256_setr_epi32(2, 3, 6, 7, 0, 0, 0, 0);
  // A pixel's level to its blue, green and red words, and alpha to its alpha word.
  constexpr char z = kZeroByte;
  const __m256i greys01 = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, z, z, 4, 5, 4, 5, 4, 5, z, z,  //
                                           0, 1, 0, 1, 0, 1, z, z, 4, 5, 4, 5, 4, 5, z, z);
  const __m256i greys23 = _mm256_setr_epi8(8, 9, 8, 9, 8, 9, z, z, 12, 13, 12, 13, 12, 13, z, z,  //
                                           8, 9, 8, 9, 8, 9, z, z, 12, 13, 12, 13, 12, 13, z, z);
  const __m256i alphaWords = _mm256_set1_epi64x(static_cast<long long>(uint64_t(alpha) << 48));
  const uint32_t* texels = texture.texels;
  const uint32_t stride = texture.stride;
  const uint32_t* const below = texels + stride;
  const TexelPrefetch prefetch(texture);
  // Held here, as the stores below might otherwise be taken to move them.
  const uint32_t *const us = row.u.data(), *const vs = row.v.data(), *const levels = row.level.data();
  alignas(32) uint32_t at[8];
  for (int i = from; i < to; i += 8) {
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(us + i));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(vs + i));
    const __m256i columnRow = _mm256_and_si256(_mm256_blend_epi16(_mm256_srli_epi32(u, 16), v, 0xAA), columnRowMask);
    prefetch.Ahead(us, vs, pastV, i);
    const __m256i fu = _mm256_and_si256(_mm256_srli_epi32(u, 1), weightBits);
    const __m256i fv = _mm256_and_si256(_mm256_srli_epi32(v, 1), weightBits);
    const __m256i level = ToLevel(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + i)));
    const __m256i colour01 = _mm256_or_si256(_mm256_shuffle_epi8(level, greys01), alphaWords);
    const __m256i colour23 = _mm256_or_si256(_mm256_shuffle_epi8(level, greys23), alphaWords);
    // In the layout whatever a lane holds, even past the row's last pixel.
    const __m256i entry = _mm256_madd_epi16(columnRow, toPlace);
    __m256i texel01, texel23;
    if constexpr (kGathered) {
      const auto* pairs = reinterpret_cast<const long long*>(texels);
      const auto* pairsBelow = reinterpret_cast<const long long*>(below);
      const __m128i entry01 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(entry, pick01));
      const __m128i entry23 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(entry, pick23));
      const __m256i fu01 = _mm256_shuffle_epi8(fu, spread01), fu23 = _mm256_shuffle_epi8(fu, spread23);
      texel01 = Lerp(Across(_mm256_i32gather_epi64(pairs, entry01, 4), fu01),
                     Across(_mm256_i32gather_epi64(pairsBelow, entry01, 4), fu01), _mm256_shuffle_epi8(fv, spread01));
      texel23 = Lerp(Across(_mm256_i32gather_epi64(pairs, entry23, 4), fu23),
                     Across(_mm256_i32gather_epi64(pairsBelow, entry23, 4), fu23), _mm256_shuffle_epi8(fv, spread23));
    } else {
      _mm256_store_si256(reinterpret_cast<__m256i*>(at), entry);
      const __m256i across0 = Across(Quads(texels, below, at[0], at[4]), _mm256_shuffle_epi8(fu, spread0));
      const __m256i across1 = Across(Quads(texels, below, at[1], at[5]), _mm256_shuffle_epi8(fu, spread1));
      const __m256i across2 = Across(Quads(texels, below, at[2], at[6]), _mm256_shuffle_epi8(fu, spread2));
      const __m256i across3 = Across(Quads(texels, below, at[3], at[7]), _mm256_shuffle_epi8(fu, spread3));
      texel01 = Lerp(_mm256_unpacklo_epi64(across0, across1), _mm256_unpackhi_epi64(across0, across1),
                     _mm256_shuffle_epi8(fv, spread01));
      texel23 = Lerp(_mm256_unpacklo_epi64(across2, across3), _mm256_unpackhi_epi64(across2, across3),
                     _mm256_shuffle_epi8(fv, spread23));
    }
    const __m256i pixel = _mm256_packus_epi16(Modulate(texel01, colour01), Modulate(texel23, colour23));
    const int left = to - i;
    if (left >= 8)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pixel);
    else
      StoreFirst(out + i, pixel, left);
  }
}
constexpr FillRow FillRowAvx2 = FillRowAvx2With<false>;
constexpr FillRow FillRowAvx2Gathered = FillRowAvx2With<true>;

// FillRowAvx2's operations on sixteen pixels at a time, where the processor has
// AVX-512: the quads of pixels k, k + 4, k + 8 and k + 12 fill the four 128-bit
// lanes as those of k and k + 4 filled two, so the shuffles' tables repeat.
#define AVX512 __attribute__((target("avx2,avx512f,avx512bw"), always_inline)) inline
// GCC 12's unmasked forms of these pass an undefined vector that it then warns
// about; with every lane kept they are the same instructions.
constexpr __mmask16 kEveryLane = 0xFFFF;
constexpr __mmask8 kEveryQuadword = 0xFF;
template <int kBits>
AVX512 __m512i ShiftRight(__m512i x) { return _mm512_maskz_srli_epi32(kEveryLane, x, kBits); }
AVX512 __m512i EveryLane(__m128i x) { return _mm512_maskz_broadcast_i32x4(kEveryLane, x); }

AVX512 __m512i Lerp(__m512i x, __m512i y, __m512i weight) {
  return _mm512_add_epi16(x, _mm512_mulhrs_epi16(_mm512_sub_epi16(y, x), weight));
}
AVX512 __m512i Modulate(__m512i x, __m512i y) {
  const __m512i product = _mm512_add_epi16(_mm512_mullo_epi16(x, y), _mm512_set1_epi16(128));
  return _mm512_mulhi_epu16(product, _mm512_set1_epi16(257));
}
AVX512 __m512i ToLevel(__m512i fixed) {
  const __m512i level = _mm512_maskz_srai_epi32(kEveryLane, _mm512_add_epi32(fixed, _mm512_set1_epi32(0x8000)), 16);
  return _mm512_maskz_min_epi32(kEveryLane, _mm512_set1_epi32(255),
                                _mm512_maskz_max_epi32(kEveryLane, _mm512_setzero_si512(), level));
}
// The quads of pixels at[0], at[4], at[8] and at[12].
AVX512 __m512i Quads(const uint32_t* texels, const uint32_t* below, const uint32_t* at) {
  return _mm512_maskz_inserti64x4(kEveryQuadword, _mm512_castsi256_si512(Quads(texels, below, at[0], at[4])),
                                  Quads(texels, below, at[8], at[12]), 1);
}
AVX512 __m512i Across(__m512i quad, __m512i weight) {
  constexpr char z = kZeroByte;
  const __m512i left = EveryLane(_mm_setr_epi8(0, z, 1, z, 2, z, 3, z, 8, z, 9, z, 10, z, 11, z));
  const __m512i right = EveryLane(_mm_setr_epi8(4, z, 5, z, 6, z, 7, z, 12, z, 13, z, 14, z, 15, z));
  return Lerp(_mm512_shuffle_epi8(quad, left), _mm512_shuffle_epi8(quad, right), weight);
}

AVX512 __m256i LowHalf(__m512i x) { return _mm512_mask_extracti64x4_epi64(_mm256_setzero_si256(), 0xF, x, 0); }
// The eight texel pairs at the entries.
AVX512 __m512i Gather(__m256i entries, const uint32_t* texels) {
  return _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), kEveryQuadword, entries, texels, 4);
}

template <bool kGathered>
__attribute__((target("avx2,avx512f,avx512bw"))) void FillRowAvx512With(const RowValues& row, uint32_t* pastV,
                                                                        int from, int to, uint32_t* out,
                                                                        uint32_t alpha, const FastTexture& texture) {
  const __m512i columnRowMask = _mm512_set1_epi32((int)(texture.widthMask | texture.heightMask << 16));
  const __m512i toPlace = _mm512_set1_epi32((int)(1u | texture.stride << 16));
  const __m512i weightBits = _mm512_set1_epi32(255 << 7);
  const __m512i spread0 = _mm512_set1_epi16(0x0100), spread1 = _mm512_set1_epi16(0x0504);
  const __m512i spread2 = _mm512_set1_epi16(0x0908), spread3 = _mm512_set1_epi16(0x0D0C);
  const __m512i spread01 =
      EveryLane(_mm_setr_epi16(0x0100, 0x0100, 0x0100, 0x0100, 0x0504, 0x0504, 0x0504, 0x0504));
  const __m512i spread23 =
      EveryLane(_mm_setr_epi16(0x0908, 0x0908, 0x0908, 0x0908, 0x0D0C, 0x0D0C, 0x0D0C, 0x0D0C));
  const __m512i pick01 = _mm512_setr_epi32(0, 1, 4, 5, 8, 9, 12, 13, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m512i pick23 = _mm512_setr_epi32(2, 3, 6, 7, 10, 11, 14, 15, 0, 0, 0, 0, 0, 0, 0, 0);
  constexpr char z = kZeroByte;
  const __m512i greys01 = EveryLane(_mm_setr_epi8(0, 1, 0, 1, 0, 1, z, z, 4, 5, 4, 5, 4, 5, z, z));
  const __m512i greys23 = EveryLane(_mm_setr_epi8(8, 9, 8, 9, 8, 9, z, z, 12, 13, 12, 13, 12, 13, z, z));
  const __m512i alphaWords = _mm512_set1_epi64(static_cast<long long>(uint64_t(alpha) << 48));
  const uint32_t* texels = texture.texels;
  const uint32_t stride = texture.stride;
  const uint32_t* const below = texels + stride;
  const TexelPrefetch prefetch(texture);
  const uint32_t *const us = row.u.data(), *const vs = row.v.data(), *const levels = row.level.data();
  alignas(64) uint32_t at[16];
  for (int i = from; i < to; i += 16) {
    const __m512i u = _mm512_loadu_si512(us + i);
    const __m512i v = _mm512_loadu_si512(vs + i);
    const __m512i columnRow =
        _mm512_and_si512(_mm512_mask_blend_epi16(0xAAAAAAAAu, ShiftRight<16>(u), v), columnRowMask);
    for (int j = i; j < std::min(i + 16, to); j += 8) prefetch.Ahead(us, vs, pastV, j);
    const __m512i fu = _mm512_and_si512(ShiftRight<1>(u), weightBits);
    const __m512i fv = _mm512_and_si512(ShiftRight<1>(v), weightBits);
    const __m512i level = ToLevel(_mm512_loadu_si512(levels + i));
    const __m512i colour01 = _mm512_or_si512(_mm512_shuffle_epi8(level, greys01), alphaWords);
    const __m512i colour23 = _mm512_or_si512(_mm512_shuffle_epi8(level, greys23), alphaWords);
    const __m512i entry = _mm512_madd_epi16(columnRow, toPlace);
    __m512i texel01, texel23;
    if constexpr (kGathered) {
      const __m256i entry01 = LowHalf(_mm512_maskz_permutexvar_epi32(kEveryLane, pick01, entry));
      const __m256i entry23 = LowHalf(_mm512_maskz_permutexvar_epi32(kEveryLane, pick23, entry));
      const __m512i fu01 = _mm512_shuffle_epi8(fu, spread01), fu23 = _mm512_shuffle_epi8(fu, spread23);
      texel01 = Lerp(Across(Gather(entry01, texels), fu01), Across(Gather(entry01, below), fu01),
                     _mm512_shuffle_epi8(fv, spread01));
      texel23 = Lerp(Across(Gather(entry23, texels), fu23), Across(Gather(entry23, below), fu23),
                     _mm512_shuffle_epi8(fv, spread23));
    } else {
      _mm512_store_si512(at, entry);
      const __m512i across0 = Across(Quads(texels, below, at + 0), _mm512_shuffle_epi8(fu, spread0));
      const __m512i across1 = Across(Quads(texels, below, at + 1), _mm512_shuffle_epi8(fu, spread1));
      const __m512i across2 = Across(Quads(texels, below, at + 2), _mm512_shuffle_epi8(fu, spread2));
      const __m512i across3 = Across(Quads(texels, below, at + 3), _mm512_shuffle_epi8(fu, spread3));
      texel01 = Lerp(_mm512_maskz_unpacklo_epi64(kEveryQuadword, across0, across1),
                     _mm512_maskz_unpackhi_epi64(kEveryQuadword, across0, across1), _mm512_shuffle_epi8(fv, spread01));
      texel23 = Lerp(_mm512_maskz_unpacklo_epi64(kEveryQuadword, across2, across3),
                     _mm512_maskz_unpackhi_epi64(kEveryQuadword, across2, across3), _mm512_shuffle_epi8(fv, spread23));
    }
    const __m512i pixel = _mm512_packus_epi16(Modulate(texel01, colour01), Modulate(texel23, colour23));
    const int left = to - i;
    if (left >= 16)
      _mm512_storeu_si512(out + i, pixel);
    else
      _mm512_mask_storeu_epi32(out + i, static_cast<__mmask16>((1u << left) - 1), pixel);
  }
}
constexpr FillRow FillRowAvx512 = FillRowAvx512With<false>;
constexpr FillRow FillRowAvx512Gathered = FillRowAvx512With<true>;
#undef AVX512

// ExpandRowScalar eight pixels at a time.
__attribute__((target("avx2"))) void ExpandRowAvx2(const RowStarts& row, uint32_t stamp, int from, int to,
                                                   RowValues* out) {
  const __m256i rowStamp = _mm256_set1_epi32((int)stamp), eight = _mm256_set1_epi32(8);
  const uint32_t* const stamps = row.stamp.data();
  const uint32_t* const fields[6] = {row.u.data(), row.du.data(), row.v.data(),
                                     row.dv.data(), row.level.data(), row.dlevel.data()};
  uint32_t* const values[3] = {out->u.data(), out->v.data(), out->level.data()};
  const LastStarts& lastStarts = LastStartsTable();
  int owner = from;  // where the span that reaches the next pixel starts
  __m256i x = _mm256_add_epi32(_mm256_set1_epi32(from), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  for (int i = from; i < to; i += 8, x = _mm256_add_epi32(x, eight)) {
    const __m256i starts =
        _mm256_cmpeq_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(stamps + i)), rowStamp);
    const unsigned startMask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(starts)));
    const __m256 source = _mm256_load_ps(reinterpret_cast<const float*>(lastStarts.lane[startMask]));
    __m256i field[6];
    for (int f = 0; f < 6; ++f) {
      const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fields[f] + i));
      const __m256 mine = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(here, _mm256_castps_si256(source)));
      const __m256 carried = _mm256_castsi256_ps(_mm256_set1_epi32((int)fields[f][owner]));
      field[f] = _mm256_castps_si256(_mm256_blendv_ps(mine, carried, source));
    }
    // A conditional move, which compilers turn into a branch otherwise: whether
    // eight pixels hold a start is anybody's guess.
    const int lastStart = i + 31 - __builtin_clz(startMask | 1);
    asm("test %2, %2\n\tcmovnz %1, %0" : "+r"(owner) : "r"(lastStart), "r"(startMask) : "cc");
    for (int k = 0; k < 3; ++k)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(values[k] + i),
                          _mm256_add_epi32(field[2 * k], _mm256_mullo_epi32(field[2 * k + 1], x)));
  }
}
#undef AVX2
#endif

#ifdef CPU_FRAME_AVX2
int widestVectors = 512;
bool UseAvx2() { return widestVectors >= 256 && CpuHasAvx2(); }
bool UseAvx512() { return widestVectors >= 512 && CpuHasAvx512(); }
std::optional<bool> pinnedGathers;

// Each vector width's two fills draw the same bytes, but which costs less
// depends on the processor: gathers are quick on recent Intel cores and slow on
// AMD's Zen 4 (and where a microcode fix slows them down). So the first rows
// drawn take each in turn, neighbours in pairs timed with the time-stamp counter,
// and the cheaper is kept. Each pair's first fill leaves texels in the cache for
// the second, so the pairs start with either in turn, and the middle of each
// kind's differences is taken, which a pair cut by a preemption does not move.
template <FillRow kLoaded, FillRow kGathered>
class FillTrial {
 public:
  static FillRow Fill() {
    if (pinnedGathers) return *pinnedGathers ? kGathered : kLoaded;
    const FillRow chosen = Of().chosen_;
    return chosen ? chosen : Trial;
  }

 private:
  static constexpr size_t kPairsOfEachOrder = 256;
  // Rows of fewer pixels tell too little.
  static constexpr int kLeastPixels = 128;

  static FillTrial& Of() {
    thread_local FillTrial trial;
    return trial;
  }

  static void Trial(const RowValues& row, uint32_t* pastV, int from, int to, uint32_t* out, uint32_t alpha,
                    const FastTexture& texture) {
    if (to - from < kLeastPixels) return kLoaded(row, pastV, from, to, out, alpha, texture);
    FillTrial& trial = Of();
    const bool gathered = trial.pairOpen_ != trial.gatheredFirst_;
    const uint64_t start = __rdtsc();
    (gathered ? kGathered : kLoaded)(row, pastV, from, to, out, alpha, texture);
    trial.Take(gathered, __rdtsc() - start, to - from);
  }

  void Take(bool gathered, uint64_t cycles, int pixels) {
    const float cost = static_cast<float>(cycles) / static_cast<float>(pixels);
    if (!pairOpen_) {
      firstCost_ = cost;
      pairOpen_ = true;
      return;
    }
    pairOpen_ = false;
    differences_[gatheredFirst_].push_back(gathered ? cost - firstCost_ : firstCost_ - cost);
    gatheredFirst_ = !gatheredFirst_;
    if (differences_[0].size() < kPairsOfEachOrder || differences_[1].size() < kPairsOfEachOrder) return;
    float difference = 0;
    for (std::vector<float>& each : differences_) {
      std::nth_element(each.begin(), each.begin() + each.size() / 2, each.end());
      difference += each[each.size() / 2];
      std::vector<float>().swap(each);
    }
    chosen_ = difference < 0 ? kGathered : kLoaded;
  }

  FillRow chosen_ = nullptr;
  bool gatheredFirst_ = true, pairOpen_ = false;
  float firstCost_ = 0;
  // Cost per pixel with gathers less that without, by which went first.
  std::vector<float> differences_[2];
};
#endif

using ExpandRow = void (*)(const RowStarts&, uint32_t, int, int, RowValues*);

// The water's texture in its layout, laid out now if it has just arrived.
bool PrepareFastTexture(const CpuTexture& texture, FastTexture* out) {
  LayOut(texture);
  if (!LaidOut(texture) || texture.width > kWidestFastTexture) return false;
  out->texels = texture.padded.data();
  out->stride = static_cast<uint32_t>(texture.width) + 1;
  out->widthMask = static_cast<uint32_t>(texture.width - 1);
  out->heightMask = static_cast<uint32_t>(texture.height - 1);
  out->width = static_cast<float>(texture.width);
  out->height = static_cast<float>(texture.height);
  return true;
}

// The smallest integer not below x, for |x| < 2^31 (std::ceil is a library call on
// the baseline instruction set).
inline int Ceil(double x) {
  const int i = static_cast<int>(x);
  return i + (i < x);
}
inline int Floor(double x) {
  const int i = static_cast<int>(x);
  return i - (i > x);
}

// The slope of edge a-b (a above b), x over y. A row at y crosses it at
// ax + (y - ay) * slope: the same for both triangles that share the edge, so that
// neighbours never leave a gap. Rows cross an edge above its lower end (see
// FirstRowOf), and exactly at its upper one.
inline double EdgeSlope(float upperX, float upperY, float lowerX, float lowerY) {
  return (double(lowerX) - upperX) / (double(lowerY) - upperY);
}

// A triangle while the sweep crosses it: its edges (the corners they start from,
// kept once: the long and upper edges start at the top, the lower one at the
// middle, and their EdgeSlope), and its planes at pixel 0 of the row the sweep is on, with their steps
// along the row and to the next.
struct SweepTriangle {
  double topX, topY, longSlope, upperSlope;
  double middleX, middleY, lowerSlope;
  uint32_t u, v, level;
  uint32_t du, dv, dlevel;
  uint32_t nextU, nextV, nextLevel;
  int lastRow;
};
// SpansOfFour loads the edges as two runs of four doubles.
static_assert(offsetof(SweepTriangle, upperSlope) == offsetof(SweepTriangle, topX) + 24 &&
                  offsetof(SweepTriangle, u) == offsetof(SweepTriangle, middleX) + 24,
              "the edges' fields lie one after the other");

// The water's vertices as the sweep takes them: window position, and the planes'
// values (texture coordinates in 1/65536 texel less half a texel, grey level in
// 1/65536 of a level). x, y, u and v lie one vertex after the other, so that a
// corner of four triangles set up at once is four loads.
struct SweepVertices {
  std::vector<float> xyuv, level;
  std::vector<uint8_t> visible;
  float x(size_t i) const { return xyuv[i * 4]; }
  float y(size_t i) const { return xyuv[i * 4 + 1]; }
  // Plane k (u, v, then the level) at vertex i.
  float plane(int k, size_t i) const { return k < 2 ? xyuv[i * 4 + 2 + k] : level[i]; }
  void Resize(size_t count) {
    xyuv.resize(count * 4);
    level.resize(count);
    visible.resize(count);
  }
};

// The rows of a front-facing triangle whose centre lies above the lowest corner
// and not above the highest (the top edge is the triangle's, the bottom edge the
// neighbour's).
inline int FirstRowOf(float low) { return std::max(0, Floor(low - 0.5) + 1); }
inline int LastRowOf(float high, int height) { return std::min(height - 1, Floor(high - 0.5)); }

// How a triangle of the strip is drawn.
enum class Route { kNone, kSwept, kPlain };

// Beyond this many pixels from the frame a triangle goes to the plain filler: the
// sweep's rows and edges need its corners nearer.
constexpr float kFar = 1 << 20;

// Culled, clipped away, covering no row's centre, or for the sweep (or, far
// outside the frame, for the plain filler).
Route RouteOf(const SweepVertices& p, const uint16_t* c, int height, int* firstRow, int* lastRow) {
  const uint16_t a = c[0], b = c[1], d = c[2];
  if (!p.visible[a] || !p.visible[b] || !p.visible[d]) return Route::kNone;
  const double area = (double(p.x(b)) - p.x(a)) * (double(p.y(d)) - p.y(a)) -
                      (double(p.x(d)) - p.x(a)) * (double(p.y(b)) - p.y(a));
  if (!(area > 0)) return Route::kNone;  // back-facing or degenerate: culled
  for (uint16_t i : {a, b, d})
    if (!(std::fabs(p.x(i)) < kFar && std::fabs(p.y(i)) < kFar)) return Route::kPlain;
  *firstRow = FirstRowOf(std::min({p.y(a), p.y(b), p.y(d)}));
  *lastRow = LastRowOf(std::max({p.y(a), p.y(b), p.y(d)}), height);
  return *firstRow <= *lastRow ? Route::kSwept : Route::kNone;
}

#ifdef CPU_FRAME_AVX2
// Corner k of four triangles in a row of the list (corners c[0..11]).
__attribute__((target("avx2"), always_inline)) inline void CornerOfFour(const SweepVertices& p, const uint16_t* c,
                                                                        int k, __m256d* x, __m256d* y) {
  const float* const xyuv = p.xyuv.data();
  const __m128 first = _mm_unpacklo_ps(_mm_loadu_ps(xyuv + c[k] * 4u), _mm_loadu_ps(xyuv + c[3 + k] * 4u));
  const __m128 second = _mm_unpacklo_ps(_mm_loadu_ps(xyuv + c[6 + k] * 4u), _mm_loadu_ps(xyuv + c[9 + k] * 4u));
  *x = _mm256_cvtps_pd(_mm_movelh_ps(first, second));
  *y = _mm256_cvtps_pd(_mm_movehl_ps(second, first));
}

// RouteOf for four triangles, in the same double operations.
__attribute__((target("avx2"))) void RouteFour(const SweepVertices& p, const uint16_t* c, int height,
                                               Route route[4], int firstRow[4], int lastRow[4]) {
  __m256d xa, xb, xd, ya, yb, yd;
  CornerOfFour(p, c, 0, &xa, &ya);
  CornerOfFour(p, c, 1, &xb, &yb);
  CornerOfFour(p, c, 2, &xd, &yd);
  const __m256d area = _mm256_sub_pd(_mm256_mul_pd(_mm256_sub_pd(xb, xa), _mm256_sub_pd(yd, ya)),
                                     _mm256_mul_pd(_mm256_sub_pd(xd, xa), _mm256_sub_pd(yb, ya)));
  const int facing = _mm256_movemask_pd(_mm256_cmp_pd(area, _mm256_setzero_pd(), _CMP_GT_OQ));
  __m256d near = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  for (__m256d value : {xa, xb, xd, ya, yb, yd})
    near = _mm256_and_pd(near, _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), value), _mm256_set1_pd(kFar),
                                             _CMP_LT_OQ));
  const int nearLanes = _mm256_movemask_pd(near);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d low = _mm256_min_pd(_mm256_min_pd(ya, yb), yd), high = _mm256_max_pd(_mm256_max_pd(ya, yb), yd);
  // Only read where every corner is near, so the conversions are exact.
  alignas(16) int32_t first[4], last[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(first),
                  _mm256_cvtpd_epi32(_mm256_floor_pd(_mm256_sub_pd(low, half))));
  _mm_store_si128(reinterpret_cast<__m128i*>(last),
                  _mm256_cvtpd_epi32(_mm256_floor_pd(_mm256_sub_pd(high, half))));
  for (int l = 0; l < 4; ++l) {
    const uint16_t* t = c + 3 * l;
    route[l] = Route::kNone;
    firstRow[l] = lastRow[l] = 0;
    if (!p.visible[t[0]] || !p.visible[t[1]] || !p.visible[t[2]] || !(facing >> l & 1)) continue;
    if (!(nearLanes >> l & 1)) {
      route[l] = Route::kPlain;
      continue;
    }
    firstRow[l] = std::max(0, first[l] + 1);
    lastRow[l] = std::min(height - 1, last[l]);
    if (firstRow[l] <= lastRow[l]) route[l] = Route::kSwept;
  }
}
#endif

constexpr double kLargestPlaneValue = 1 << 30, kSteepestPlane = 1 << 24;

// A front-facing triangle's planes from its first row on, and its edges; false
// when the planes are too steep for 16.16, for the plain filler. The vector route
// below does the same operations four triangles at a time.
bool SetUp(const SweepVertices& p, const uint16_t* c, int firstRow, int height, SweepTriangle* out) {
  const double x0 = p.x(c[0]), y0 = p.y(c[0]);
  const double dx1 = p.x(c[1]) - x0, dy1 = p.y(c[1]) - y0;
  const double dx2 = p.x(c[2]) - x0, dy2 = p.y(c[2]) - y0;
  const double invArea = 1 / (dx1 * dy2 - dx2 * dy1);
  const int ox = Floor(x0), oy = Floor(y0);
  const double toCentreX = (ox + 0.5) - x0, toCentreY = (oy + 0.5) - y0;
  uint32_t* atFirstRow[3] = {&out->u, &out->v, &out->level};
  uint32_t* stepX[3] = {&out->du, &out->dv, &out->dlevel};
  uint32_t* stepY[3] = {&out->nextU, &out->nextV, &out->nextLevel};
  for (int k = 0; k < 3; ++k) {
    const double f0 = p.plane(k, c[0]), f1 = p.plane(k, c[1]), f2 = p.plane(k, c[2]);
    if (!(std::fabs(f0) < kLargestPlaneValue && std::fabs(f1) < kLargestPlaneValue &&
          std::fabs(f2) < kLargestPlaneValue))
      return false;
    const double d1 = f1 - f0, d2 = f2 - f0;
    const double gx = (d1 * dy2 - d2 * dy1) * invArea, gy = (d2 * dx1 - d1 * dx2) * invArea;
    if (!(std::fabs(gx) < kSteepestPlane && std::fabs(gy) < kSteepestPlane)) return false;
    const double at = (f0 + gx * toCentreX) + gy * toCentreY;
    *stepX[k] = static_cast<uint32_t>(std::lrint(gx));
    *stepY[k] = static_cast<uint32_t>(std::lrint(gy));
    // Exact in wrapping integers (the texture repeats every 65536 texels): the
    // plane at (ox, oy) stepped on to the first row and back to pixel 0.
    *atFirstRow[k] = static_cast<uint32_t>(std::lrint(at)) + *stepY[k] * static_cast<uint32_t>(firstRow - oy) -
                     *stepX[k] * static_cast<uint32_t>(ox);
  }

  float topX = p.x(c[0]), topY = p.y(c[0]), middleX = p.x(c[1]), middleY = p.y(c[1]);
  float bottomX = p.x(c[2]), bottomY = p.y(c[2]);
  if (middleY > topY) std::swap(middleX, topX), std::swap(middleY, topY);
  if (bottomY > topY) std::swap(bottomX, topX), std::swap(bottomY, topY);
  if (bottomY > middleY) std::swap(bottomX, middleX), std::swap(bottomY, middleY);
  out->lastRow = LastRowOf(topY, height);
  out->topX = topX;
  out->topY = topY;
  out->longSlope = EdgeSlope(topX, topY, bottomX, bottomY);
  out->upperSlope = EdgeSlope(topX, topY, middleX, middleY);
  out->middleX = middleX;
  out->middleY = middleY;
  out->lowerSlope = EdgeSlope(middleX, middleY, bottomX, bottomY);
  return true;
}

#ifdef CPU_FRAME_AVX2
#define AVX2 __attribute__((target("avx2"), always_inline)) inline
AVX2 __m256d Abs(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
AVX2 __m256d Below(__m256d x, double limit) { return _mm256_cmp_pd(Abs(x), _mm256_set1_pd(limit), _CMP_LT_OQ); }
// The higher of two corners first, lane by lane.
AVX2 void Order(__m128& highX, __m128& highY, __m128& lowX, __m128& lowY) {
  const __m128 swap = _mm_cmpgt_ps(lowY, highY);
  const __m128 x = _mm_blendv_ps(highX, lowX, swap), y = _mm_blendv_ps(highY, lowY, swap);
  lowX = _mm_blendv_ps(lowX, highX, swap);
  lowY = _mm_blendv_ps(lowY, highY, swap);
  highX = x;
  highY = y;
}
// EdgeSlope, lane by lane.
AVX2 __m256d SlopeOf(__m128 ax, __m128 ay, __m128 bx, __m128 by) {
  return _mm256_div_pd(_mm256_sub_pd(_mm256_cvtps_pd(bx), _mm256_cvtps_pd(ax)),
                       _mm256_sub_pd(_mm256_cvtps_pd(by), _mm256_cvtps_pd(ay)));
}
#undef AVX2

// Four triangles set up at once, lane by lane: what SetUp gives a triangle.
struct FourTriangles {
  alignas(16) uint32_t at[3][4], stepX[3][4], stepY[3][4];
  alignas(32) double topX[4], topY[4], middleX[4], middleY[4], longSlope[4], upperSlope[4], lowerSlope[4];
  alignas(16) int32_t lastRow[4];
  bool refused[4];  // where SetUp would refuse the triangle
  void Into(int l, SweepTriangle* t) const {
    t->u = at[0][l];
    t->v = at[1][l];
    t->level = at[2][l];
    t->du = stepX[0][l];
    t->dv = stepX[1][l];
    t->dlevel = stepX[2][l];
    t->nextU = stepY[0][l];
    t->nextV = stepY[1][l];
    t->nextLevel = stepY[2][l];
    t->lastRow = lastRow[l];
    t->topX = topX[l];
    t->topY = topY[l];
    t->longSlope = longSlope[l];
    t->upperSlope = upperSlope[l];
    t->middleX = middleX[l];
    t->middleY = middleY[l];
    t->lowerSlope = lowerSlope[l];
  }
};

// SetUp for four triangles at once (corners c[0..3], first rows firstRow[0..3]).
__attribute__((target("avx2"))) void SetUpFour(const SweepVertices& p, const uint16_t* const c[4],
                                               const int firstRow[4], int height, FourTriangles* out) {
  // Each corner's x, y, u, v and level, lane by lane.
  __m128 xs[3], ys[3], planeCorners[3][3];
  for (int k = 0; k < 3; ++k) {
    __m128 a = _mm_loadu_ps(&p.xyuv[c[0][k] * 4u]), b = _mm_loadu_ps(&p.xyuv[c[1][k] * 4u]);
    __m128 d = _mm_loadu_ps(&p.xyuv[c[2][k] * 4u]), e = _mm_loadu_ps(&p.xyuv[c[3][k] * 4u]);
    _MM_TRANSPOSE4_PS(a, b, d, e);
    xs[k] = a;
    ys[k] = b;
    planeCorners[0][k] = d;
    planeCorners[1][k] = e;
    planeCorners[2][k] = _mm_setr_ps(p.level[c[0][k]], p.level[c[1][k]], p.level[c[2][k]], p.level[c[3][k]]);
  }
  const __m256d x0 = _mm256_cvtps_pd(xs[0]), y0 = _mm256_cvtps_pd(ys[0]);
  const __m256d dx1 = _mm256_sub_pd(_mm256_cvtps_pd(xs[1]), x0), dy1 = _mm256_sub_pd(_mm256_cvtps_pd(ys[1]), y0);
  const __m256d dx2 = _mm256_sub_pd(_mm256_cvtps_pd(xs[2]), x0), dy2 = _mm256_sub_pd(_mm256_cvtps_pd(ys[2]), y0);
  const __m256d invArea =
      _mm256_div_pd(_mm256_set1_pd(1), _mm256_sub_pd(_mm256_mul_pd(dx1, dy2), _mm256_mul_pd(dx2, dy1)));
  const __m256d ox = _mm256_floor_pd(x0), oy = _mm256_floor_pd(y0);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d toCentreX = _mm256_sub_pd(_mm256_add_pd(ox, half), x0);
  const __m256d toCentreY = _mm256_sub_pd(_mm256_add_pd(oy, half), y0);
  const __m128i oyInt = _mm256_cvtpd_epi32(oy);
  const __m128i rowsDown = _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(firstRow)), oyInt);
  const __m128i oxInt = _mm256_cvtpd_epi32(ox);
  uint32_t(&at)[3][4] = out->at;
  uint32_t(&stepX)[3][4] = out->stepX;
  uint32_t(&stepY)[3][4] = out->stepY;
  __m256d fine = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  for (int k = 0; k < 3; ++k) {
    const __m256d f0 = _mm256_cvtps_pd(planeCorners[k][0]), f1 = _mm256_cvtps_pd(planeCorners[k][1]);
    const __m256d f2 = _mm256_cvtps_pd(planeCorners[k][2]);
    fine = _mm256_and_pd(fine, _mm256_and_pd(Below(f0, kLargestPlaneValue),
                                             _mm256_and_pd(Below(f1, kLargestPlaneValue), Below(f2, kLargestPlaneValue))));
    const __m256d d1 = _mm256_sub_pd(f1, f0), d2 = _mm256_sub_pd(f2, f0);
    const __m256d gx = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(d1, dy2), _mm256_mul_pd(d2, dy1)), invArea);
    const __m256d gy = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(d2, dx1), _mm256_mul_pd(d1, dx2)), invArea);
    fine = _mm256_and_pd(fine, _mm256_and_pd(Below(gx, kSteepestPlane), Below(gy, kSteepestPlane)));
    const __m256d value = _mm256_add_pd(_mm256_add_pd(f0, _mm256_mul_pd(gx, toCentreX)), _mm256_mul_pd(gy, toCentreY));
    const __m128i across = _mm256_cvtpd_epi32(gx), down = _mm256_cvtpd_epi32(gy);
    _mm_store_si128(reinterpret_cast<__m128i*>(stepX[k]), across);
    _mm_store_si128(reinterpret_cast<__m128i*>(stepY[k]), down);
    _mm_store_si128(reinterpret_cast<__m128i*>(at[k]),
                    _mm_sub_epi32(_mm_add_epi32(_mm256_cvtpd_epi32(value), _mm_mullo_epi32(down, rowsDown)),
                                  _mm_mullo_epi32(across, oxInt)));
  }
  const int fineLanes = _mm256_movemask_pd(fine);

  // Corners by height, as SetUp sorts them.
  __m128 topX = xs[0], topY = ys[0], middleX = xs[1], middleY = ys[1], bottomX = xs[2], bottomY = ys[2];
  Order(topX, topY, middleX, middleY);
  Order(topX, topY, bottomX, bottomY);
  Order(middleX, middleY, bottomX, bottomY);
  _mm256_store_pd(out->longSlope, SlopeOf(topX, topY, bottomX, bottomY));
  _mm256_store_pd(out->upperSlope, SlopeOf(topX, topY, middleX, middleY));
  _mm256_store_pd(out->lowerSlope, SlopeOf(middleX, middleY, bottomX, bottomY));
  _mm256_store_pd(out->topX, _mm256_cvtps_pd(topX));
  _mm256_store_pd(out->topY, _mm256_cvtps_pd(topY));
  _mm256_store_pd(out->middleX, _mm256_cvtps_pd(middleX));
  _mm256_store_pd(out->middleY, _mm256_cvtps_pd(middleY));
  // LastRowOf, lane by lane.
  const __m128i lastRow = _mm256_cvttpd_epi32(_mm256_floor_pd(_mm256_sub_pd(_mm256_cvtps_pd(topY), half)));
  _mm_store_si128(reinterpret_cast<__m128i*>(out->lastRow), _mm_min_epi32(lastRow, _mm_set1_epi32(height - 1)));
  for (int l = 0; l < 4; ++l) out->refused[l] = !(fineLanes >> l & 1);
}
#endif

// The triangles the sweep is crossing, in slots that stay (a triangle is set up
// in place, and the slots are not cleared for it). The list holds the slots'
// numbers, those in use first: letting one go moves four bytes, not a triangle.
class ActiveTriangles {
 public:
  size_t size() const { return count_; }
  SweepTriangle& operator[](size_t k) { return slots_[order_[k]]; }
  const SweepTriangle& operator[](size_t k) const { return slots_[order_[k]]; }
  SweepTriangle* Add() {
    if (count_ == order_.size()) {
      order_.push_back(static_cast<uint32_t>(slots_.size()));
      slots_.emplace_back();
    }
    return &slots_[order_[count_++]];
  }
  void DropLast() { --count_; }
  // For loops that store through uint32_t or int, which might otherwise be taken
  // to move the list: the slots, and their numbers in the list's order.
  SweepTriangle* slots() { return slots_.data(); }
  const uint32_t* order() const { return order_.data(); }
  void Remove(size_t k) { std::swap(order_[k], order_[--count_]); }
  void Clear() { count_ = 0; }

 private:
  std::vector<SweepTriangle> slots_;
  std::vector<uint32_t> order_;
  size_t count_ = 0;
};

// A row laid by where its spans start: the starts, and the spans.
struct RowSlot {
  RowStarts starts;
  std::vector<Run> runs;
  size_t runCount = 0;
  RowExtent extent;
  void Reset(int width) {
    runCount = 0;
    extent = RowExtent{width, 0, 0};
  }
  // Room for count more spans; where they go.
  Run* Room(size_t count) {
    if (runs.size() < runCount + count) runs.resize(std::max(runCount + count, 2 * runs.size()));
    return runs.data() + runCount;
  }
};
// Triangles of fewer rows than this are laid whole as soon as they are set up,
// where spans are short; a power of two.
constexpr int kRowSlots = 8;

// What the sweep keeps from frame to frame.
struct Sweep {
  std::vector<uint32_t> rowStart, order;  // the swept triangles by first row
  std::vector<uint16_t> firstRows;
  std::vector<uint32_t> plain;  // triangles for the plain filler
  ActiveTriangles active;
  // The rows being laid, where spans are short (see LayStarts), each row in the
  // slot and with the stamp below; the base moves on by the frame's height from
  // frame to frame.
  RowSlot rows[kRowSlots];
  uint32_t stampBase = 0;
  RowSlot& RowOf(int y) { return rows[y & (kRowSlots - 1)]; }
  uint32_t StampOf(int y) const { return stampBase + static_cast<uint32_t>(y) + 1; }
  // The row being laid and filled where spans are long.
  std::vector<Run> runs;
  // The row's values for the filter, either way.
  RowValues values;
  std::vector<uint32_t> pastV;  // see FillRowAvx2
};

// Where a triangle's span on row y starts and ends: pixel centres from the left
// edge on, up to but not on the right edge. With kRound, rounded by the
// instruction that does it where there is one (the same integers).
template <bool kRound>
inline int CeilOf(double x) {
  return kRound ? static_cast<int>(__builtin_ceil(x)) : Ceil(x);
}
template <bool kRound>
__attribute__((always_inline)) inline void SpanOf(const SweepTriangle& t, int y, int width, Run* span) {
  const double centre = y + 0.5;
  // Where each edge crosses the row (see EdgeSlope).
  const double belowTop = centre - t.topY;
  const double longX = t.topX + belowTop * t.longSlope;
  // Both, and then one of them: which one changes once in a triangle, at a row no
  // branch predictor can know.
  const double upperX = t.topX + belowTop * t.upperSlope;
  const double lowerX = t.middleX + (centre - t.middleY) * t.lowerSlope;
  const double shortX = centre > t.middleY ? upperX : lowerX;
  span->row = y;
  span->start = std::max(0, CeilOf<kRound>(std::min(longX, shortX) - 0.5));
  span->end = std::min(width, CeilOf<kRound>(std::max(longX, shortX) - 0.5));
}

#ifdef CPU_FRAME_AVX2
// Four triangles' edges, lane by lane (SweepTriangle's fields).
struct EdgeLanes {
  __m256d topX, topY, longSlope, upperSlope, middleX, middleY, lowerSlope;
};

// SpanOf<true>'s operations for the four triangles on row y: where their spans
// start and end.
__attribute__((target("avx2"), always_inline)) inline void SpansOfLanes(const EdgeLanes& e, int y, int width,
                                                                        __m128i* first, __m128i* past) {
  const __m256d centre = _mm256_set1_pd(y + 0.5), half = _mm256_set1_pd(0.5);
  const __m256d belowTop = _mm256_sub_pd(centre, e.topY);
  const __m256d longX = _mm256_add_pd(e.topX, _mm256_mul_pd(belowTop, e.longSlope));
  const __m256d upperX = _mm256_add_pd(e.topX, _mm256_mul_pd(belowTop, e.upperSlope));
  const __m256d lowerX = _mm256_add_pd(e.middleX, _mm256_mul_pd(_mm256_sub_pd(centre, e.middleY), e.lowerSlope));
  const __m256d shortX = _mm256_blendv_pd(lowerX, upperX, _mm256_cmp_pd(centre, e.middleY, _CMP_GT_OQ));
  // std::min(longX, shortX) and std::max(longX, shortX), operand for operand.
  const __m256d low = _mm256_sub_pd(_mm256_min_pd(shortX, longX), half);
  const __m256d high = _mm256_sub_pd(_mm256_max_pd(shortX, longX), half);
  *first = _mm_max_epi32(_mm_setzero_si128(), _mm256_cvttpd_epi32(_mm256_ceil_pd(low)));
  *past = _mm_min_epi32(_mm_set1_epi32(width), _mm256_cvttpd_epi32(_mm256_ceil_pd(high)));
}

// Four doubles of four triangles each, lane by lane: out[f] holds field f.
__attribute__((target("avx2"), always_inline)) inline void Transpose(const __m256d in[4], __m256d out[4]) {
  const __m256d t0 = _mm256_unpacklo_pd(in[0], in[1]), t1 = _mm256_unpackhi_pd(in[0], in[1]);
  const __m256d t2 = _mm256_unpacklo_pd(in[2], in[3]), t3 = _mm256_unpackhi_pd(in[2], in[3]);
  out[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
  out[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
  out[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
  out[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// SpanOf<true> for four triangles at once.
__attribute__((target("avx2"))) void SpansOfFour(const SweepTriangle* const t[4], int y, int width, Run* spans) {
  __m256d rows[4], top[4], middle[4];
  for (int l = 0; l < 4; ++l) rows[l] = _mm256_loadu_pd(&t[l]->topX);
  Transpose(rows, top);  // topX, topY, longSlope, upperSlope
  // The fourth double is the planes' first words: loaded, never used.
  for (int l = 0; l < 4; ++l) rows[l] = _mm256_loadu_pd(&t[l]->middleX);
  Transpose(rows, middle);  // middleX, middleY, lowerSlope
  const EdgeLanes edges{top[0], top[1], top[2], top[3], middle[0], middle[1], middle[2]};
  __m128i first, past;
  SpansOfLanes(edges, y, width, &first, &past);
  alignas(16) int32_t start[4], end[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(start), first);
  _mm_store_si128(reinterpret_cast<__m128i*>(end), past);
  for (int l = 0; l < 4; ++l) spans[l] = Run{y, start[l], end[l]};
}
#endif

// Every triangle's span first, each on its own (so that the processor works on
// several at once), then their values.
template <bool kRound>
__attribute__((always_inline)) inline void SpansOf(ActiveTriangles& active, int y, int width, Run* spans) {
  const SweepTriangle* const slots = active.slots();
  const uint32_t* const order = active.order();
  const size_t count = active.size();
  size_t k = 0;
#ifdef CPU_FRAME_AVX2
  if constexpr (kRound)
    for (; k + 4 <= count; k += 4) {
      const SweepTriangle* const four[4] = {&slots[order[k]], &slots[order[k + 1]], &slots[order[k + 2]],
                                            &slots[order[k + 3]]};
      SpansOfFour(four, y, width, &spans[k]);
    }
#endif
  for (; k < count; ++k) SpanOf<kRound>(slots[order[k]], y, width, &spans[k]);
}

// Moves the triangles on to the next row and lets go of those that end here.
inline void NextRow(ActiveTriangles& active, int y) {
  SweepTriangle* const slots = active.slots();
  const uint32_t* const order = active.order();
  for (size_t k = active.size(); k-- > 0;) {
    SweepTriangle& t = slots[order[k]];
    t.u += t.nextU;
    t.v += t.nextV;
    t.level += t.nextLevel;
    if (t.lastRow == y) active.Remove(k);
  }
}

// Where spans start in a row's starts: the row's stamp, and each plane at pixel 0
// with its step along the row. Held as plain pointers, which the loops that
// write through them keep in registers.
struct StartWriter {
  uint32_t *stamp, *u, *du, *v, *dv, *level, *dlevel;
  explicit StartWriter(RowStarts& starts)
      : stamp(starts.stamp.data()), u(starts.u.data()), du(starts.du.data()), v(starts.v.data()),
        dv(starts.dv.data()), level(starts.level.data()), dlevel(starts.dlevel.data()) {}
  __attribute__((always_inline)) void Write(int x, uint32_t rowStamp, uint32_t u0, uint32_t stepU, uint32_t v0,
                                            uint32_t stepV, uint32_t level0, uint32_t stepLevel) const {
    stamp[x] = rowStamp;
    u[x] = u0;
    du[x] = stepU;
    v[x] = v0;
    dv[x] = stepV;
    level[x] = level0;
    dlevel[x] = stepLevel;
  }
};

// Lays where the span of row y of every triangle the sweep is crossing starts,
// with the triangle's planes, moves them on to the next row and lets go of those
// that end here. For rows of short spans: a span costs a few stores, and the row is then expanded.
template <bool kRound>
__attribute__((always_inline)) inline void LayStarts(ActiveTriangles& active, int y, int width, RowSlot& row,
                                                  uint32_t stamp) {
  RowStarts& starts = row.starts;
  Run* const spans = row.Room(active.size());
  SpansOf<kRound>(active, y, width, spans);
  const int count = static_cast<int>(active.size());
  const SweepTriangle* const slots = active.slots();
  const uint32_t* const order = active.order();
  const StartWriter writer(starts);
  RowExtent laid{width, 0, 0};
  for (int k = 0; k < count; ++k) {
    const Run& span = spans[k];
    if (span.start >= span.end) continue;
    laid.Add(span);
    const SweepTriangle& t = slots[order[k]];
    writer.Write(span.start, stamp, t.u, t.du, t.v, t.dv, t.level, t.dlevel);
  }
  row.runCount += count;
  row.extent.Add(laid);
  NextRow(active, y);
}

void LayStartsScalar(ActiveTriangles& active, int y, int width, RowSlot& row, uint32_t stamp) {
  LayStarts<false>(active, y, width, row, stamp);
}
#ifdef CPU_FRAME_AVX2
__attribute__((target("avx2"))) void LayStartsAvx2(ActiveTriangles& active, int y, int width, RowSlot& row,
                                                   uint32_t stamp) {
  LayStarts<true>(active, y, width, row, stamp);
}

// Lays the four triangles' spans (those of the lanes in lanes) from row y, their
// first, to their last, which is less than kRowSlots rows on: LayStarts for each
// of their rows, without taking them into the sweep. Which lanes lay a span on a
// row is anybody's guess, so every lane writes: one without a span writes its
// start just past the row's end, and an empty run.
__attribute__((target("avx2"))) void LayWhole(const FourTriangles& f, unsigned lanes, int y, int width,
                                              Sweep& sweep) {
  const EdgeLanes edges{_mm256_load_pd(f.topX),      _mm256_load_pd(f.topY),    _mm256_load_pd(f.longSlope),
                        _mm256_load_pd(f.upperSlope), _mm256_load_pd(f.middleX), _mm256_load_pd(f.middleY),
                        _mm256_load_pd(f.lowerSlope)};
  __m128i planes[3];
  for (int k = 0; k < 3; ++k) planes[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(f.at[k]));
  int last = y;
  for (int l = 0; l < 4; ++l)
    if (lanes >> l & 1) last = std::max(last, static_cast<int>(f.lastRow[l]));
  const __m128i lastRows = _mm_load_si128(reinterpret_cast<const __m128i*>(f.lastRow));
  const __m128i chosen = _mm_cmpgt_epi32(
      _mm_and_si128(_mm_set1_epi32(static_cast<int>(lanes)), _mm_setr_epi32(1, 2, 4, 8)), _mm_setzero_si128());
  const __m128i rowEnd = _mm_set1_epi32(width);
  alignas(16) int32_t start[4], end[4];
  alignas(16) uint32_t at[3][4];
  for (int row = y; row <= last; ++row) {
    __m128i first, past;
    SpansOfLanes(edges, row, width, &first, &past);
    const __m128i laid = _mm_and_si128(chosen, _mm_andnot_si128(_mm_cmpgt_epi32(_mm_set1_epi32(row), lastRows),
                                                                _mm_cmpgt_epi32(past, first)));
    _mm_store_si128(reinterpret_cast<__m128i*>(start), _mm_blendv_epi8(rowEnd, first, laid));
    _mm_store_si128(reinterpret_cast<__m128i*>(end), _mm_and_si128(past, laid));
    const __m128i lengths = _mm_and_si128(_mm_sub_epi32(past, first), laid);
    __m128i sum = _mm_add_epi32(lengths, _mm_shuffle_epi32(lengths, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    for (int k = 0; k < 3; ++k) {
      _mm_store_si128(reinterpret_cast<__m128i*>(at[k]), planes[k]);
      planes[k] = _mm_add_epi32(planes[k], _mm_load_si128(reinterpret_cast<const __m128i*>(f.stepY[k])));
    }
    RowSlot& slot = sweep.RowOf(row);
    Run* const runs = slot.Room(4);
    const StartWriter writer(slot.starts);
    const uint32_t stamp = sweep.StampOf(row);
    RowExtent extent = slot.extent;
    for (int l = 0; l < 4; ++l) {
      runs[l] = Run{row, start[l], end[l]};
      extent.start = std::min(extent.start, start[l]);
      extent.end = std::max(extent.end, end[l]);
      writer.Write(start[l], stamp, at[0][l], f.stepX[0][l], at[1][l], f.stepX[1][l], at[2][l], f.stepX[2][l]);
    }
    extent.filled += _mm_cvtsi128_si32(sum);
    slot.extent = extent;
    slot.runCount += 4;
  }
}
#endif

// Lays the span of row y of every triangle the sweep is crossing into the row's
// values, with lay(triangle, start, end), moves them on to the next row and lets
// go of those that end here. Returns how many spans it wrote, empty ones among
// them.
template <bool kRound, typename LaySpan>
inline int LayRowWith(ActiveTriangles& active, int y, int width, Run* spans,
                                                     RowExtent* extent, const LaySpan& lay) {
  SpansOf<kRound>(active, y, width, spans);
  const int count = static_cast<int>(active.size());
  const SweepTriangle* const slots = active.slots();
  const uint32_t* const order = active.order();
  int laidStart = width, laidEnd = 0, filled = 0;
  for (int k = 0; k < count; ++k) {
    const int start = spans[k].start, end = spans[k].end;
    if (start < end) {
      laidStart = std::min(laidStart, start);
      laidEnd = std::max(laidEnd, end);
      filled += end - start;
      lay(slots[order[k]], start, end);
    }
  }
  *extent = RowExtent{laidStart, laidEnd, filled};
  NextRow(active, y);
  return count;
}

// A triangle's planes laid into the row's values from start to end, pixel by
// pixel. Held as plain pointers, which the loops that write through them keep in
// registers.
struct PlainRamps {
  uint32_t *us, *vs, *levels;
  void operator()(const SweepTriangle& t, int start, int end) const {
    const uint32_t dx = static_cast<uint32_t>(start);
    uint32_t u = t.u + t.du * dx, v = t.v + t.dv * dx, level = t.level + t.dlevel * dx;
    for (int i = start; i < end; ++i) {
      us[i] = u;
      vs[i] = v;
      levels[i] = level;
      u += t.du;
      v += t.dv;
      level += t.dlevel;
    }
  }
};

int LayRowScalar(ActiveTriangles& active, int y, int width, RowValues& values, Run* spans, RowExtent* extent) {
  return LayRowWith<false>(active, y, width, spans, extent,
                           PlainRamps{values.u.data(), values.v.data(), values.level.data()});
}

#ifdef CPU_FRAME_AVX2
__attribute__((target("avx2"), always_inline)) inline void StoreRamp(uint32_t* out, __m256i values) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), values);
}
__attribute__((target("avx2"), always_inline)) inline __m256i Keep(const uint32_t* at, __m256i values, __m256i mine) {
  const __m256 kept = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
  return _mm256_castps_si256(_mm256_blendv_ps(kept, _mm256_castsi256_ps(values), _mm256_castsi256_ps(mine)));
}

// PlainRamps eight pixels at a time.
struct RampsAvx2 {
  uint32_t *us, *vs, *levels;
  __attribute__((target("avx2"))) void operator()(const SweepTriangle& t, int start, int end) const {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // Each plane at the span's pixels, from its value at pixel 0: broadcasts
    // straight from the triangle, with no trip through scalar registers.
    const __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(start), lanes);
    const __m256i du = _mm256_set1_epi32((int)t.du), dv = _mm256_set1_epi32((int)t.dv);
    const __m256i dlevel = _mm256_set1_epi32((int)t.dlevel);
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32((int)t.u), _mm256_mullo_epi32(xs, du));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32((int)t.v), _mm256_mullo_epi32(xs, dv));
    __m256i level = _mm256_add_epi32(_mm256_set1_epi32((int)t.level), _mm256_mullo_epi32(xs, dlevel));
    const __m256i du8 = _mm256_slli_epi32(du, 3), dv8 = _mm256_slli_epi32(dv, 3);
    const __m256i dlevel8 = _mm256_slli_epi32(dlevel, 3);
    int i = start;
    for (; i + 8 <= end; i += 8) {
      StoreRamp(us + i, u);
      StoreRamp(vs + i, v);
      StoreRamp(levels + i, level);
      u = _mm256_add_epi32(u, du8);
      v = _mm256_add_epi32(v, dv8);
      level = _mm256_add_epi32(level, dlevel8);
    }
    if (i < end) {
      // Past the span's end a neighbour's values may already lie: they are
      // written back as they were (masked stores are slow on some processors).
      const __m256i mine = _mm256_cmpgt_epi32(_mm256_set1_epi32(end - i), lanes);
      StoreRamp(us + i, Keep(us + i, u, mine));
      StoreRamp(vs + i, Keep(vs + i, v, mine));
      StoreRamp(levels + i, Keep(levels + i, level, mine));
    }
  }
};

// Sixteen pixels at a time, where the processor has AVX-512: a span's last vector
// is a masked store (fast there), and most spans are one vector.
struct RampsAvx512 {
  uint32_t *us, *vs, *levels;
  __attribute__((target("avx2,avx512f"))) void operator()(const SweepTriangle& t, int start, int end) const {
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i xs = _mm512_add_epi32(_mm512_set1_epi32(start), lanes);
    const __m512i du = _mm512_set1_epi32((int)t.du), dv = _mm512_set1_epi32((int)t.dv);
    const __m512i dlevel = _mm512_set1_epi32((int)t.dlevel);
    __m512i u = _mm512_add_epi32(_mm512_set1_epi32((int)t.u), _mm512_mullo_epi32(xs, du));
    __m512i v = _mm512_add_epi32(_mm512_set1_epi32((int)t.v), _mm512_mullo_epi32(xs, dv));
    __m512i level = _mm512_add_epi32(_mm512_set1_epi32((int)t.level), _mm512_mullo_epi32(xs, dlevel));
    int i = start;
    for (; i + 16 <= end; i += 16) {
      _mm512_storeu_si512(us + i, u);
      _mm512_storeu_si512(vs + i, v);
      _mm512_storeu_si512(levels + i, level);
      u = _mm512_add_epi32(u, _mm512_set1_epi32((int)(t.du * 16)));
      v = _mm512_add_epi32(v, _mm512_set1_epi32((int)(t.dv * 16)));
      level = _mm512_add_epi32(level, _mm512_set1_epi32((int)(t.dlevel * 16)));
    }
    if (i < end) {
      const __mmask16 mine = static_cast<__mmask16>((1u << (end - i)) - 1);
      _mm512_mask_storeu_epi32(us + i, mine, u);
      _mm512_mask_storeu_epi32(vs + i, mine, v);
      _mm512_mask_storeu_epi32(levels + i, mine, level);
    }
  }
};

// Flattened: the frame and the ramps, one function in the processor's instructions.
__attribute__((target("avx2"), flatten)) int LayRowAvx2(ActiveTriangles& active, int y, int width,
                                                        RowValues& values, Run* spans, RowExtent* extent) {
  return LayRowWith<true>(active, y, width, spans, extent,
                          RampsAvx2{values.u.data(), values.v.data(), values.level.data()});
}
__attribute__((target("avx2,avx512f"), flatten)) int LayRowAvx512(ActiveTriangles& active, int y, int width,
                                                                 RowValues& values, Run* spans,
                                                                 RowExtent* extent) {
  return LayRowWith<true>(active, y, width, spans, extent,
                          RampsAvx512{values.u.data(), values.v.data(), values.level.data()});
}
#endif

// Below this many pixels a span on average, a frame's spans are laid by where
// they start (LayStarts), and at or above it pixel by pixel (LayRow): on this
// side of it a span's fixed cost outweighs what laying a pixel costs.
constexpr size_t kLongestShortSpan = 6;

// Fills what a row's spans cover and clears the rest of it; prepare(from, to)
// first readies the values of each stretch it fills.
template <typename Prepare>
void FinishRow(Prepare prepare, const RowValues& values, uint32_t* pastV, Run* runs, int runCount,
               const RowExtent& extent, uint32_t* out, int width, uint32_t alpha, const FastTexture& texture,
               FillRow fill) {
  if (extent.filled > 0 && extent.filled == extent.end - extent.start) {
    // One stretch, as the water's rows nearly always are.
    prepare(extent.start, extent.end);
    fill(values, pastV, extent.start, extent.end, out, alpha, texture);
  } else {
    for (const Run* run = runs; run != runs + runCount; ++run)
      if (run->start < run->end) {
        prepare(run->start, run->end);
        fill(values, pastV, run->start, run->end, out, alpha, texture);
      }
  }
  ClearOutside(out, width, extent, runs, runs + runCount);
}

// The nearest integer, ties to even (std::nearbyint, without its library call).
inline float Snap(float value) {
  // Beyond 2^23 a float holds only integers (and infinities and NaN stay as they are).
  return std::fabs(value) < 8388608.0f ? static_cast<float>(std::lrint(value)) : value;
}

// The strip's triangles, each turned counter-clockwise (every other one of a
// strip turns the other way), without those that join its turns (two corners the
// same), in the order of their first corner in the grid: the sweep then takes a
// row's triangles, and their vertices, in the order they lie in memory. Worked
// out again only for another strip.
struct Triangles {
  const uint16_t* strip = nullptr;
  uint32_t length = 0, vertexCount = 0;
  uint64_t hash = 0;
  std::vector<uint16_t> corners;  // three a triangle
  uint32_t count() const { return static_cast<uint32_t>(corners.size() / 3); }
};

uint64_t HashOf(const uint16_t* strip, uint32_t length) {
  uint64_t hash = 14695981039346656037ull;
  uint32_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint64_t word;
    std::memcpy(&word, strip + i, sizeof word);
    hash = (hash ^ word) * 1099511628211ull;
  }
  for (; i < length; ++i) hash = (hash ^ strip[i]) * 1099511628211ull;
  return hash;
}

const Triangles& TrianglesOf(const SceneFrame& frame, Triangles& known) {
  const uint64_t hash = HashOf(frame.strip, frame.stripLength);
  if (known.strip == frame.strip && known.length == frame.stripLength && known.vertexCount == frame.vertexCount &&
      known.hash == hash)
    return known;
  known.strip = frame.strip;
  known.length = frame.stripLength;
  known.vertexCount = frame.vertexCount;
  known.hash = hash;
  // By first corner, with a count of each (nothing of the strip's size is copied
  // on the way); within one first corner, in the strip's order.
  auto first = [](uint16_t a, uint16_t b, uint16_t d) { return std::min({a, b, d}); };
  auto usable = [&](uint32_t i) {
    const uint16_t a = frame.strip[i], b = frame.strip[i + 1], d = frame.strip[i + 2];
    return a < frame.vertexCount && b < frame.vertexCount && d < frame.vertexCount && a != b && b != d && a != d;
  };
  std::vector<uint32_t> start(static_cast<size_t>(frame.vertexCount) + 1, 0);
  for (uint32_t i = 0; i + 2 < frame.stripLength; ++i)
    if (usable(i)) ++start[first(frame.strip[i], frame.strip[i + 1], frame.strip[i + 2]) + 1];
  for (uint32_t k = 0; k < frame.vertexCount; ++k) start[k + 1] += start[k];
  known.corners.assign(static_cast<size_t>(start[frame.vertexCount]) * 3, 0);
  for (uint32_t i = 0; i + 2 < frame.stripLength; ++i) {
    if (!usable(i)) continue;
    const uint16_t a = frame.strip[i], b = frame.strip[i + 1], d = frame.strip[i + 2];
    uint16_t* out = &known.corners[static_cast<size_t>(start[first(a, b, d)]++) * 3];
    out[0] = i % 2 == 0 ? a : b;
    out[1] = i % 2 == 0 ? b : a;
    out[2] = d;
  }
  return known;
}

// Kept from frame to frame, so that drawing one allocates nothing once the frame
// size and the grid stay the same.
struct DrawScratch {
  std::vector<GridVertex> grid;
  SweepVertices sweepVertices;
  Triangles triangles;
  Sweep sweep;
  Coverage coverage;
};

struct Corners {
  const GridVertex *p0, *p1, *p2;
};
inline Corners CornersOf(const Triangles& triangles, const std::vector<GridVertex>& grid, uint32_t i) {
  const uint16_t* c = &triangles.corners[i * 3];
  return Corners{&grid[c[0]], &grid[c[1]], &grid[c[2]]};
}

// Sweeps the frame's rows from the bottom up, with the triangles each row crosses;
// what the sweep cannot take goes to the plain filler after it.
void SweepWater(const Triangles& list, const SweepVertices& vertices, const FastTexture& texture, uint32_t alpha,
                Target& target, Sweep& sweep) {
  const int width = target.width(), height = target.height();
  const uint32_t triangles = list.count();
  constexpr uint16_t kNotSwept = 0xFFFF;
  sweep.rowStart.assign(static_cast<size_t>(height) + 1, 0);
  sweep.firstRows.resize(triangles);
  sweep.plain.clear();
  // How many spans the sweep will lay, empty ones among them.
  size_t spans = 0;
  auto take = [&](uint32_t i, Route route, int firstRow, int lastRow) {
    sweep.firstRows[i] = route == Route::kSwept ? static_cast<uint16_t>(firstRow) : kNotSwept;
    if (route == Route::kSwept) {
      ++sweep.rowStart[firstRow + 1];
      spans += static_cast<size_t>(lastRow - firstRow + 1);
    }
    if (route == Route::kPlain) sweep.plain.push_back(i);
  };
  uint32_t i = 0;
#ifdef CPU_FRAME_AVX2
  if (UseAvx2())
    for (; i + 4 <= triangles; i += 4) {
      Route routes[4];
      int firstRows[4], lastRows[4];
      RouteFour(vertices, &list.corners[i * 3], height, routes, firstRows, lastRows);
      for (int l = 0; l < 4; ++l) take(i + l, routes[l], firstRows[l], lastRows[l]);
    }
#endif
  for (; i < triangles; ++i) {
    int firstRow = 0, lastRow = 0;
    const Route route = RouteOf(vertices, &list.corners[i * 3], height, &firstRow, &lastRow);
    take(i, route, firstRow, lastRow);
  }
  for (int y = 0; y < height; ++y) sweep.rowStart[y + 1] += sweep.rowStart[y];
  sweep.order.resize(sweep.rowStart[height]);
  for (uint32_t i = 0; i < triangles; ++i)
    if (sweep.firstRows[i] != kNotSwept) sweep.order[sweep.rowStart[sweep.firstRows[i]]++] = i;
  // The counts were moved on by one row while placing.
  for (int y = height; y > 0; --y) sweep.rowStart[y] = sweep.rowStart[y - 1];
  sweep.rowStart[0] = 0;

  FillRow fill = FillRowScalar;
  ExpandRow expand = ExpandRowScalar;
  auto lay = LayRowScalar;
  auto layStarts = LayStartsScalar;
#ifdef CPU_FRAME_AVX2
  if (UseAvx512()) {
    fill = FillTrial<FillRowAvx512, FillRowAvx512Gathered>::Fill();
    lay = LayRowAvx512;
  } else if (UseAvx2()) {
    fill = FillTrial<FillRowAvx2, FillRowAvx2Gathered>::Fill();
    lay = LayRowAvx2;
  }
  if (UseAvx2()) {
    expand = ExpandRowAvx2;
    layStarts = LayStartsAvx2;
  }
#endif
  // Short spans on average: every row is laid by where its spans start.
  const bool shortSpans = spans * kLongestShortSpan > static_cast<size_t>(width) * static_cast<size_t>(height);
  if (shortSpans) {
    // A stamp comes round again only after 2^32 rows: what is left of its last
    // round is cleared first.
    const bool wraps = sweep.stampBase > UINT32_MAX - static_cast<uint32_t>(height) - 1;
    for (RowSlot& row : sweep.rows) {
      row.starts.Resize(width);
      if (wraps) std::fill(row.starts.stamp.begin(), row.starts.stamp.end(), 0u);
      row.Reset(width);
    }
    if (wraps) sweep.stampBase = 0;
  }
  sweep.values.Resize(width);
  sweep.pastV.assign(static_cast<size_t>(width) / 8 + 2, 0);
  sweep.active.Clear();
#ifdef CPU_FRAME_AVX2
  const bool four = UseAvx2();
#endif
  // The triangles whose first row is y join the sweep.
  auto start = [&](int y) {
    uint32_t k = sweep.rowStart[y];
    const uint32_t end = sweep.rowStart[y + 1];
#ifdef CPU_FRAME_AVX2
    // Four at a time; a short last group repeats its last triangle.
    for (; four && k < end; k += 4) {
      const uint16_t* corners[4];
      int firstRows[4];
      uint32_t which[4];
      for (int l = 0; l < 4; ++l) {
        which[l] = sweep.order[std::min(k + l, end - 1)];
        corners[l] = &list.corners[which[l] * 3];
        firstRows[l] = y;
      }
      FourTriangles set;
      SetUpFour(vertices, corners, firstRows, height, &set);
      unsigned whole = 0;
      for (int l = 0; l < 4 && k + l < end; ++l) {
        if (set.refused[l])
          sweep.plain.push_back(which[l]);
        else if (shortSpans && set.lastRow[l] - y < kRowSlots)
          whole |= 1u << l;
        else
          set.Into(l, sweep.active.Add());
      }
      if (whole) LayWhole(set, whole, y, width, sweep);
    }
#endif
    for (; k < end; ++k) {
      const uint32_t i = sweep.order[k];
      if (!SetUp(vertices, &list.corners[i * 3], y, height, sweep.active.Add())) {
        sweep.active.DropLast();
        sweep.plain.push_back(i);
      }
    }
  };
  for (int y = 0; y < height; ++y) {
    start(y);
    if (shortSpans) {
      RowSlot& row = sweep.RowOf(y);
      const uint32_t stamp = sweep.StampOf(y);
      layStarts(sweep.active, y, width, row, stamp);
      auto fromStarts = [&](int from, int to) { expand(row.starts, stamp, from, to, &sweep.values); };
      FinishRow(fromStarts, sweep.values, sweep.pastV.data(), row.runs.data(), static_cast<int>(row.runCount),
                row.extent, target.row(y), width, alpha, texture, fill);
      row.Reset(width);
    } else {
      if (sweep.runs.size() < sweep.active.size()) sweep.runs.resize(sweep.active.size());
      RowExtent extent;
      const int laid = lay(sweep.active, y, width, sweep.values, sweep.runs.data(), &extent);
      auto laidAlready = [](int, int) {};
      FinishRow(laidAlready, sweep.values, sweep.pastV.data(), sweep.runs.data(), laid, extent, target.row(y), width,
                alpha, texture, fill);
    }
  }
  if (shortSpans) sweep.stampBase += static_cast<uint32_t>(height);
}

// What places and lights the water's vertices, for one frame.
struct Projection {
  Matrix view, modelView, mvp;
  float light[4];
  float colour[4];
  float scaleX, halfW, halfH;
};

Projection ProjectionOf(const SceneFrame& frame, int width, int height) {
  Projection p;
  p.view = LookAt(frame.eye, frame.target, frame.up);
  Matrix scale{};
  scale.m[0] = frame.waterScaleX;
  scale.m[5] = scale.m[10] = scale.m[15] = 1;
  p.modelView = Multiply(p.view, scale);
  const Matrix projection = Perspective(kViewFieldOfView, frame.perspectiveAspect, kViewNear, kViewFar);
  p.mvp = Multiply(projection, p.modelView);
  // The light in eye space, placed under the camera alone.
  const float lightWorld[4] = {frame.lightPosition.x, frame.lightPosition.y, frame.lightPosition.z, 1};
  Transform(p.view, lightWorld, p.light);
  for (int k = 0; k < 4; ++k) p.colour[k] = frame.waterColour[k];
  p.scaleX = frame.waterScaleX;
  p.halfW = width * 0.5f;
  p.halfH = height * 0.5f;
  return p;
}

GridVertex Project(const Projection& p, const WATERVERTEX& in) {
  const float position[4] = {in.position.x, in.position.y, in.position.z, 1};
  float clip[4], eye[4];
  Transform(p.mvp, position, clip);
  Transform(p.modelView, position, eye);
  GridVertex out{};
  out.visible = clip[3] > 1e-6f;
  if (!out.visible) return out;
  out.invW = 1.0f / clip[3];
  // Rasterisers place vertices on a grid of 1/256 pixel (Mesa's among them); the
  // grid's outer edge runs along the frame's, where that decides border pixels.
  out.x = Snap(((clip[0] * out.invW) * p.halfW + p.halfW) * 256.0f) * (1.0f / 256.0f);
  out.y = Snap(((clip[1] * out.invW) * p.halfH + p.halfH) * 256.0f) * (1.0f / 256.0f);

  // Fixed-function lighting without GL_NORMALIZE: the normal goes through the
  // inverse transpose of the modelview (the camera's rotation after undoing the
  // x scale) and keeps its length. Colour material feeds ambient and diffuse;
  // the default material has no specular, the scene ambient is 0.2.
  const float n[3] = {in.normal.x / p.scaleX, in.normal.y, in.normal.z};
  float normal[3];
  for (int row = 0; row < 3; ++row)
    normal[row] = p.view.m[row] * n[0] + p.view.m[4 + row] * n[1] + p.view.m[8 + row] * n[2];
  float toLight[3] = {p.light[0] - eye[0], p.light[1] - eye[1], p.light[2] - eye[2]};
  const float length = std::sqrt(toLight[0] * toLight[0] + toLight[1] * toLight[1] + toLight[2] * toLight[2]);
  if (length > 0)
    for (float& component : toLight) component /= length;
  const float diffuse = std::max(0.0f, normal[0] * toLight[0] + normal[1] * toLight[1] + normal[2] * toLight[2]);
  const float shade = 0.2f + diffuse;
  const float* c = p.colour;
  out.r = std::min(1.0f, c[0] * shade);
  out.g = std::min(1.0f, c[1] * shade);
  out.b = std::min(1.0f, c[2] * shade);
  out.a = std::min(1.0f, c[3]);
  out.s = in.u;
  out.t = in.v;
  return out;
}

// The sweep's vertex from Project.
inline void Place(const GridVertex& vertex, float periodU, float periodV, SweepVertices* out, size_t i) {
  out->visible[i] = vertex.visible;
  const float xyuv[4] = {vertex.x, vertex.y, vertex.s * periodU - 0.5f * kFixed, vertex.t * periodV - 0.5f * kFixed};
  std::copy(xyuv, xyuv + 4, &out->xyuv[i * 4]);
  out->level[i] = vertex.r * (255.0f * kFixed);
}

#ifdef CPU_FRAME_AVX2
#define AVX2 __attribute__((target("avx2"), always_inline)) inline
// One float of eight vertices in a row, named by the first one's.
AVX2 __m256 EightOf(const WATERVERTEX* in, const float& first) {
  const ptrdiff_t offset = reinterpret_cast<const char*>(&first) - reinterpret_cast<const char*>(in);
  auto at = [&](int l) { return *reinterpret_cast<const float*>(reinterpret_cast<const char*>(in + l) + offset); };
  return _mm256_setr_ps(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7));
}
// Row r of matrix a times (x, y, z, 1), added up as Transform does.
AVX2 __m256 RowTimes(const Matrix& a, int r, __m256 x, __m256 y, __m256 z) {
  const __m256 sum = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(a.m[r]), x),
                                                 _mm256_mul_ps(_mm256_set1_ps(a.m[4 + r]), y)),
                                   _mm256_mul_ps(_mm256_set1_ps(a.m[8 + r]), z));
  return _mm256_add_ps(sum, _mm256_mul_ps(_mm256_set1_ps(a.m[12 + r]), _mm256_set1_ps(1.0f)));
}
// Snap: rounding to even leaves integers, infinities and NaN as they are; adding
// zero turns the -0 it gives just below zero into lrint's 0.
AVX2 __m256 SnapEight(__m256 value) {
  return _mm256_add_ps(_mm256_round_ps(value, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC), _mm256_setzero_ps());
}
#undef AVX2

// Project and Place for eight vertices, in the same float operations.
__attribute__((target("avx2"))) void PlaceEight(const Projection& p, const WATERVERTEX* in, float periodU,
                                                float periodV, SweepVertices* out, size_t i) {
  const __m256 px = EightOf(in, in->position.x), py = EightOf(in, in->position.y), pz = EightOf(in, in->position.z);
  const __m256 clipX = RowTimes(p.mvp, 0, px, py, pz), clipY = RowTimes(p.mvp, 1, px, py, pz);
  const __m256 clipW = RowTimes(p.mvp, 3, px, py, pz);
  const __m256 visible = _mm256_cmp_ps(clipW, _mm256_set1_ps(1e-6f), _CMP_GT_OQ);
  const __m256 invW = _mm256_div_ps(_mm256_set1_ps(1.0f), clipW);
  const __m256 halfW = _mm256_set1_ps(p.halfW), halfH = _mm256_set1_ps(p.halfH);
  const __m256 fine = _mm256_set1_ps(256.0f), coarse = _mm256_set1_ps(1.0f / 256.0f);
  const __m256 x = _mm256_mul_ps(
      SnapEight(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(clipX, invW), halfW), halfW), fine)), coarse);
  const __m256 y = _mm256_mul_ps(
      SnapEight(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(clipY, invW), halfH), halfH), fine)), coarse);

  const __m256 n0 = _mm256_div_ps(EightOf(in, in->normal.x), _mm256_set1_ps(p.scaleX));
  const __m256 n1 = EightOf(in, in->normal.y), n2 = EightOf(in, in->normal.z);
  __m256 normal[3], toLight[3];
  for (int r = 0; r < 3; ++r) {
    normal[r] = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(p.view.m[r]), n0),
                                            _mm256_mul_ps(_mm256_set1_ps(p.view.m[4 + r]), n1)),
                              _mm256_mul_ps(_mm256_set1_ps(p.view.m[8 + r]), n2));
    toLight[r] = _mm256_sub_ps(_mm256_set1_ps(p.light[r]), RowTimes(p.modelView, r, px, py, pz));
  }
  const __m256 length = _mm256_sqrt_ps(
      _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(toLight[0], toLight[0]), _mm256_mul_ps(toLight[1], toLight[1])),
                    _mm256_mul_ps(toLight[2], toLight[2])));
  const __m256 positive = _mm256_cmp_ps(length, _mm256_setzero_ps(), _CMP_GT_OQ);
  for (__m256& component : toLight)
    component = _mm256_blendv_ps(component, _mm256_div_ps(component, length), positive);
  const __m256 dot = _mm256_add_ps(
      _mm256_add_ps(_mm256_mul_ps(normal[0], toLight[0]), _mm256_mul_ps(normal[1], toLight[1])),
      _mm256_mul_ps(normal[2], toLight[2]));
  // std::max(0, dot) and std::min(1, value): NaN gives 0 and 1.
  const __m256 diffuse = _mm256_max_ps(dot, _mm256_setzero_ps());
  const __m256 shade = _mm256_add_ps(_mm256_set1_ps(0.2f), diffuse);
  const __m256 red = _mm256_min_ps(_mm256_mul_ps(_mm256_set1_ps(p.colour[0]), shade), _mm256_set1_ps(1.0f));

  const __m256 half = _mm256_set1_ps(0.5f * kFixed);
  const __m256 u = _mm256_sub_ps(_mm256_mul_ps(EightOf(in, in->u), _mm256_set1_ps(periodU)), half);
  const __m256 v = _mm256_sub_ps(_mm256_mul_ps(EightOf(in, in->v), _mm256_set1_ps(periodV)), half);
  const __m256 level = _mm256_mul_ps(red, _mm256_set1_ps(255.0f * kFixed));
  // What Project leaves at zero where a vertex is behind the eye.
  const __m256 zeroU = _mm256_sub_ps(_mm256_setzero_ps(), half);
  const __m256 placedX = _mm256_and_ps(x, visible), placedY = _mm256_and_ps(y, visible);
  const __m256 placedU = _mm256_blendv_ps(zeroU, u, visible), placedV = _mm256_blendv_ps(zeroU, v, visible);
  _mm256_storeu_ps(&out->level[i], _mm256_and_ps(level, visible));
  // Vertex by vertex: [x, y, u, v] of vertices l and l + 4 in each of the four
  // transposed vectors.
  const __m256 xy0 = _mm256_unpacklo_ps(placedX, placedY), xy1 = _mm256_unpackhi_ps(placedX, placedY);
  const __m256 uv0 = _mm256_unpacklo_ps(placedU, placedV), uv1 = _mm256_unpackhi_ps(placedU, placedV);
  const __m256 vertex0 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(xy0), _mm256_castps_pd(uv0)));
  const __m256 vertex1 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(xy0), _mm256_castps_pd(uv0)));
  const __m256 vertex2 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(xy1), _mm256_castps_pd(uv1)));
  const __m256 vertex3 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(xy1), _mm256_castps_pd(uv1)));
  float* const xyuv = &out->xyuv[i * 4];
  _mm256_storeu_ps(xyuv, _mm256_permute2f128_ps(vertex0, vertex1, 0x20));
  _mm256_storeu_ps(xyuv + 8, _mm256_permute2f128_ps(vertex2, vertex3, 0x20));
  _mm256_storeu_ps(xyuv + 16, _mm256_permute2f128_ps(vertex0, vertex1, 0x31));
  _mm256_storeu_ps(xyuv + 24, _mm256_permute2f128_ps(vertex2, vertex3, 0x31));
  const int mask = _mm256_movemask_ps(visible);
  for (int l = 0; l < 8; ++l) out->visible[i + l] = mask >> l & 1;
}
#endif

// The plain filler's vertex: perspective-correct, every value over w.
WindowVertex WindowVertexOf(const GridVertex& p) {
  return WindowVertex{p.x,          p.y,          p.invW,       p.r * p.invW, p.g * p.invW,
                      p.b * p.invW, p.a * p.invW, p.s * p.invW, p.t * p.invW, p.visible};
}

void DrawWater(const SceneFrame& frame, const CpuTextures& textures, Target& target, DrawScratch& scratch) {
  const int width = target.width(), height = target.height();
  const Projection projection = ProjectionOf(frame, width, height);
  const float* c = frame.waterColour;
  const CpuTexture* background = Find(textures, frame.backgroundTexture);
  const Triangles& list = TrianglesOf(frame, scratch.triangles);
  FastTexture fast;
  // The sweep shades with one grey level, which is what the scene gives the water.
  if (background && c[0] == c[1] && c[1] == c[2] && PrepareFastTexture(*background, &fast)) {
    SweepVertices& vertices = scratch.sweepVertices;
    vertices.Resize(frame.vertexCount);
    const float periodU = fast.width * kFixed, periodV = fast.height * kFixed;
    uint32_t i = 0;
#ifdef CPU_FRAME_AVX2
    if (UseAvx2())
      for (; i + 8 <= frame.vertexCount; i += 8)
        PlaceEight(projection, &frame.vertices[i], periodU, periodV, &vertices, i);
#endif
    for (; i < frame.vertexCount; ++i) Place(Project(projection, frame.vertices[i]), periodU, periodV, &vertices, i);
    SweepWater(list, vertices, fast, ToByte(std::min(1.0f, c[3])), target, scratch.sweep);
    for (uint32_t i : scratch.sweep.plain) {
      const uint16_t* corner = &list.corners[i * 3];
      FillTriangle(target, WindowVertexOf(Project(projection, frame.vertices[corner[0]])),
                   WindowVertexOf(Project(projection, frame.vertices[corner[1]])),
                   WindowVertexOf(Project(projection, frame.vertices[corner[2]])), background, nullptr);
    }
    return;
  }
  std::vector<GridVertex>& grid = scratch.grid;
  grid.resize(frame.vertexCount);
  for (uint32_t i = 0; i < frame.vertexCount; ++i) grid[i] = Project(projection, frame.vertices[i]);
  scratch.coverage.Reset(height, width);
  for (uint32_t i = 0; i < list.count(); ++i) {
    const Corners t = CornersOf(list, grid, i);
    FillTriangle(target, WindowVertexOf(*t.p0), WindowVertexOf(*t.p1), WindowVertexOf(*t.p2), background,
                 &scratch.coverage);
  }
  ClearUncovered(target, scratch.coverage);
}

// A rectangle of the overlay, blended over what is there by its alpha.
void BlendQuad(const SceneQuad& quad, const CpuTextures& textures, Target& target) {
  const float left = quad.canvasX * (quad.x + quad.left), right = quad.canvasX * (quad.x + quad.right);
  const float bottom = quad.canvasY * (quad.y + quad.bottom), top = quad.canvasY * (quad.y + quad.top);
  if (!(right > left) || !(top > bottom)) return;
  const CpuTexture* texture = Find(textures, quad.texture);
  // Pixel centres from the left and bottom edges up to, not on, the right and top.
  const int x0 = std::max(0, static_cast<int>(std::ceil(left - 0.5f)));
  const int x1 = std::min(target.width(), static_cast<int>(std::ceil(right - 0.5f)));
  const int y0 = std::max(0, static_cast<int>(std::ceil(bottom - 0.5f)));
  const int y1 = std::min(target.height(), static_cast<int>(std::ceil(top - 0.5f)));
  for (int y = y0; y < y1; ++y) {
    const float t = (y + 0.5f - bottom) / (top - bottom);
    for (int x = x0; x < x1; ++x) {
      float colour[4] = {quad.colour[0], quad.colour[1], quad.colour[2], quad.colour[3]};
      if (texture) {
        float texel[4];
        Sample(*texture, (x + 0.5f - left) / (right - left), t, texel);
        for (int c = 0; c < 4; ++c) colour[c] *= texel[c];
      }
      const float alpha = std::min(1.0f, std::max(0.0f, colour[3]));
      uint8_t* pixel = target.at(x, y);
      for (int c = 0; c < 4; ++c) {
        const float source = std::min(1.0f, std::max(0.0f, colour[c]));
        uint8_t& to = pixel[kByteOf[c]];
        to = ToByte(source * alpha + to * (1.0f / 255.0f) * (1.0f - alpha));
      }
    }
  }
}

}  // namespace

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
size_t HugeRounded(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }
}  // namespace

void* AllocateTexels(size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes);
  void* block = std::aligned_alloc(kHugePage, HugeRounded(bytes));
  if (!block) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  // Only the huge pages the texels fill: a last one they only begin would be
  // resident whole.
  madvise(block, bytes & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
  return block;
}

void FreeTexels(void* block, size_t bytes) {
  if (bytes < kHugePage)
    ::operator delete(block);
  else
    std::free(block);
}

bool LayOutTexels(CpuTexture* texture, const uint8_t* texels, bool withAlpha) {
  if (!HasPowerOfTwoSides(*texture)) return false;
  std::vector<uint8_t>().swap(texture->rgba);
  LayOutFrom(*texture, texels, withAlpha ? 4 : 3);
  return true;
}

std::optional<bool> PinCpuFrameGathers(std::optional<bool> gathers) {
#ifdef CPU_FRAME_AVX2
  const std::optional<bool> was = pinnedGathers;
  pinnedGathers = gathers;
  return was;
#else
  (void)gathers;
  return std::nullopt;
#endif
}

int LimitCpuFrameVectors(int bits) {
#ifdef CPU_FRAME_AVX2
  const int was = widestVectors;
  widestVectors = bits;
  return was;
#else
  (void)bits;
  return 0;
#endif
}

bool IsSoftwareRasteriser(const std::string& renderer) {
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (renderer.find(name) != std::string::npos) return true;
  return false;
}

void DrawSceneFrameCpu(const SceneFrame& frame, const CpuTextures& textures, const PixelBuffer& buffer) {
  if (!buffer.pixels || buffer.width <= 0 || buffer.height <= 0) return;
  Target target(buffer);
  static thread_local DrawScratch scratch;
  if (frame.vertices && frame.strip) {
    DrawWater(frame, textures, target, scratch);
  } else {
    for (int y = 0; y < buffer.height; ++y) std::fill(target.row(y), target.row(y) + buffer.width, 0u);
  }
  if (frame.overlay) {
    BlendQuad(frame.badge, textures, target);
    BlendQuad(frame.caption, textures, target);
    if (frame.bannerShown) BlendQuad(frame.banner, textures, target);
  }
}

void DrawSceneFrameCpu(const SceneFrame& frame, const CpuTextures& textures, std::vector<uint8_t>* pixels) {
  const int width = std::max(0, frame.width), height = std::max(0, frame.height);
  pixels->resize(static_cast<size_t>(width) * height * 4);
  if (width == 0 || height == 0) return;
  DrawSceneFrameCpu(frame, textures, PixelBuffer{pixels->data(), width, height, static_cast<size_t>(width) * 4});
  // In place, B, G, R, A rows top first to R, G, B, A rows bottom first.
  auto* p = reinterpret_cast<uint32_t*>(pixels->data());
  auto swap = [](uint32_t bgra) { return (bgra & 0xFF00FF00u) | (bgra >> 16 & 0xFFu) | (bgra & 0xFFu) << 16; };
  for (int y = 0, mirror = height - 1; y <= mirror; ++y, --mirror) {
    uint32_t* a = p + static_cast<size_t>(y) * width;
    uint32_t* b = p + static_cast<size_t>(mirror) * width;
    for (int x = 0; x < width; ++x) {
      const uint32_t top = a[x];
      a[x] = swap(b[x]);
      if (a != b) b[x] = swap(top);
    }
  }
}

}  // namespace ambrel
