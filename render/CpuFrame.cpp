#include "render/CpuFrame.h"

#include <algorithm>
#include <cmath>

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

class Target {
 public:
  Target(int width, int height, std::vector<uint8_t>* pixels) : width_(width), height_(height), pixels_(pixels) {}
  int width() const { return width_; }
  int height() const { return height_; }
  uint8_t* at(int x, int y) { return pixels_->data() + (static_cast<size_t>(y) * width_ + x) * 4; }

 private:
  int width_, height_;
  std::vector<uint8_t>* pixels_;
};

uint8_t ToByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  return static_cast<uint8_t>(value * 255.0f + 0.5f);
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
  const uint8_t* row0 = texture.rgba.data() + static_cast<size_t>(y0) * texture.width * 4;
  const uint8_t* row1 = texture.rgba.data() + static_cast<size_t>(y1) * texture.width * 4;
  const uint8_t *a = row0 + x0 * 4, *b = row0 + x1 * 4, *c = row1 + x0 * 4, *d = row1 + x1 * 4;
  for (int k = 0; k < 4; ++k) {
    const int top = a[k] * (256 - wu) + b[k] * wu;
    const int bottom = c[k] * (256 - wu) + d[k] * wu;
    out[k] = static_cast<float>(top * (256 - wv) + bottom * wv) * (1.0f / (255.0f * 65536.0f));
  }
}

const CpuTexture* Find(const CpuTextures& textures, uint32_t name) {
  if (name == 0) return nullptr;
  auto found = textures.find(name);
  if (found == textures.end() || found->second.width <= 0 || found->second.height <= 0 ||
      found->second.rgba.size() < static_cast<size_t>(found->second.width) * found->second.height * 4)
    return nullptr;
  return &found->second;
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
                  const CpuTexture* texture) {
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
        for (int c = 0; c < 4; ++c) pixel[c] = ToByte(colour[c]);
      }
      for (int i = 0; i < 3; ++i) e[i] += edges[i].dx;
      for (int k = 0; k < kValues; ++k) values[k] += stepX[k];
    }
  }
}

void DrawWater(const SceneFrame& frame, const CpuTextures& textures, Target& target) {
  const Matrix view = LookAt(frame.eye, frame.target, frame.up);
  Matrix scale{};
  scale.m[0] = frame.waterScaleX;
  scale.m[5] = scale.m[10] = scale.m[15] = 1;
  const Matrix modelView = Multiply(view, scale);
  const Matrix projection = Perspective(kViewFieldOfView, frame.perspectiveAspect, kViewNear, kViewFar);
  const Matrix mvp = Multiply(projection, modelView);

  // The light in eye space, placed under the camera alone.
  const float lightWorld[4] = {frame.lightPosition.x, frame.lightPosition.y, frame.lightPosition.z, 1};
  float light[4];
  Transform(view, lightWorld, light);

  const float* c = frame.waterColour;
  const float halfW = frame.width * 0.5f, halfH = frame.height * 0.5f;
  std::vector<WindowVertex> window(frame.vertexCount);
  for (uint32_t i = 0; i < frame.vertexCount; ++i) {
    const WATERVERTEX& in = frame.vertices[i];
    const float position[4] = {in.position.x, in.position.y, in.position.z, 1};
    float clip[4], eye[4];
    Transform(mvp, position, clip);
    Transform(modelView, position, eye);
    WindowVertex& out = window[i];
    out.visible = clip[3] > 1e-6f;
    if (!out.visible) continue;
    out.invW = 1.0f / clip[3];
    // Rasterisers place vertices on a grid of 1/256 pixel (Mesa's among them); the
    // grid's outer edge runs along the frame's, where that decides border pixels.
    out.x = std::nearbyint(((clip[0] * out.invW) * halfW + halfW) * 256.0f) * (1.0f / 256.0f);
    out.y = std::nearbyint(((clip[1] * out.invW) * halfH + halfH) * 256.0f) * (1.0f / 256.0f);

    // Fixed-function lighting without GL_NORMALIZE: the normal goes through the
    // inverse transpose of the modelview (the camera's rotation after undoing the
    // x scale) and keeps its length. Colour material feeds ambient and diffuse;
    // the default material has no specular, the scene ambient is 0.2.
    const float n[3] = {in.normal.x / frame.waterScaleX, in.normal.y, in.normal.z};
    float normal[3];
    for (int row = 0; row < 3; ++row) normal[row] = view.m[row] * n[0] + view.m[4 + row] * n[1] + view.m[8 + row] * n[2];
    float toLight[3] = {light[0] - eye[0], light[1] - eye[1], light[2] - eye[2]};
    const float length = std::sqrt(toLight[0] * toLight[0] + toLight[1] * toLight[1] + toLight[2] * toLight[2]);
    if (length > 0)
      for (float& component : toLight) component /= length;
    const float diffuse = std::max(0.0f, normal[0] * toLight[0] + normal[1] * toLight[1] + normal[2] * toLight[2]);
    const float shade = 0.2f + diffuse;
    out.r = std::min(1.0f, c[0] * shade) * out.invW;
    out.g = std::min(1.0f, c[1] * shade) * out.invW;
    out.b = std::min(1.0f, c[2] * shade) * out.invW;
    out.a = std::min(1.0f, c[3]) * out.invW;
    out.u = in.u * out.invW;
    out.v = in.v * out.invW;
  }

  const CpuTexture* background = Find(textures, frame.backgroundTexture);
  for (uint32_t i = 0; i + 2 < frame.stripLength + 0u; ++i) {
    const uint16_t a = frame.strip[i], b = frame.strip[i + 1], d = frame.strip[i + 2];
    if (a >= frame.vertexCount || b >= frame.vertexCount || d >= frame.vertexCount) continue;
    // Every other triangle of a strip turns the other way.
    if (i % 2 == 0)
      FillTriangle(target, window[a], window[b], window[d], background);
    else
      FillTriangle(target, window[b], window[a], window[d], background);
  }
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
        pixel[c] = ToByte(source * alpha + pixel[c] * (1.0f / 255.0f) * (1.0f - alpha));
      }
    }
  }
}

}  // namespace

bool IsSoftwareRasteriser(const std::string& renderer) {
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (renderer.find(name) != std::string::npos) return true;
  return false;
}

void DrawSceneFrameCpu(const SceneFrame& frame, const CpuTextures& textures, std::vector<uint8_t>* pixels) {
  const int width = std::max(0, frame.width), height = std::max(0, frame.height);
  pixels->assign(static_cast<size_t>(width) * height * 4, 0);
  if (width == 0 || height == 0) return;
  Target target(width, height, pixels);
  if (frame.vertices && frame.strip) DrawWater(frame, textures, target);
  if (frame.overlay) {
    BlendQuad(frame.badge, textures, target);
    BlendQuad(frame.caption, textures, target);
    if (frame.bannerShown) BlendQuad(frame.banner, textures, target);
  }
}

}  // namespace ambrel
