#include "tools/ambrel/FpsOverlay.h"

#include <epoxy/gl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <map>

#include "platform/Clock.h"

namespace ambrel {

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// 5 x 7 glyphs, one row a string, top row first.
const std::map<char, const char*>& Glyphs() {
  static const std::map<char, const char*> glyphs = {
      {'0', "01110100011001110101110011000101110"}, {'1', "00100011000010000100001000010001110"},
      {'2', "01110100010000100010001000100011111"}, {'3', "11111000100010000010000011000101110"},
      {'4', "00010001100101010010111110001000010"}, {'5', "11111100001111000001000011000101110"},
      {'6', "00110010001000011110100011000101110"}, {'7', "11111000010001000100010000100001000"},
      {'8', "01110100011000101110100011000101110"}, {'9', "01110100011000101111000010001001100"},
      {'.', "00000000000000000000000000110001100"}, {':', "00000011000110000000011000110000000"},
      {'%', "11000110010001000100010000100110011"}, {'-', "00000000000000011111000000000000000"},
      {'F', "11111100001000011110100001000010000"}, {'P', "11110100011000111110100001000010000"},
      {'S', "01111100001000001110000010000111110"}, {'L', "10000100001000010000100001000011111"},
      {'o', "00000000000111010001100011000101110"}, {'a', "00000000000111000001011111000101111"},
      {'d', "00001000010110110011100011000101111"}, {' ', "00000000000000000000000000000000000"},
      {'R', "11110100011000111110101001001010001"}, {'e', "00000000000111010001111111000001110"},
      {'n', "00000000001011011001100011000110001"}, {'r', "00000000001011011001100001000010000"},
      {'G', "01110100011000010111100011000101111"}, {'C', "01110100011000010000100001000101110"},
      {'U', "10001100011000110001100011000101110"},
  };
  return glyphs;
}

// Visits the overlay's rectangles in window coordinates (origin bottom left, x1
// and y1 past the end): the dark backing first, then each lit cell of the glyphs.
template <typename Visit>
void LayOutCornerText(const std::string& text, int height, Visit visit) {
  const int scale = std::max(2, height / 360);
  const int advance = 6 * scale, lineHeight = 9 * scale, margin = 2 * scale;
  int lines = 1;
  size_t longest = 0, current = 0;
  for (char c : text) {
    if (c == '\n') ++lines, current = 0;
    else longest = std::max(longest, ++current);
  }
  visit(0, 0, margin * 2 + int(longest) * advance, margin * 2 + lines * lineHeight, true);
  int line = 0, column = 0;
  for (char c : text) {
    if (c == '\n') {
      ++line, column = 0;
      continue;
    }
    const auto glyph = Glyphs().find(c);
    const char* bits = glyph != Glyphs().end() ? glyph->second : Glyphs().at('-');
    const int left = margin + column * advance, top = margin + (lines - line) * lineHeight - 2 * scale;
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (bits[row * 5 + col] == '1')
          visit(left + col * scale, top - (row + 1) * scale, left + (col + 1) * scale, top - row * scale, false);
    ++column;
  }
}

}  // namespace

void DrawCornerText(const std::string& text, int width, int height) {
  if (width <= 0 || height <= 0) return;
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT | GL_VIEWPORT_BIT);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  for (GLenum off : {GL_TEXTURE_2D, GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG, GL_COLOR_MATERIAL})
    glDisable(off);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  LayOutCornerText(text, height, [](int x0, int y0, int x1, int y1, bool backing) {
    // A dark backing keeps the figures readable over bright water.
    if (backing) glColor4f(0, 0, 0, 0.6f);
    glRecti(x0, y0, x1, y1);
    if (backing) glColor4f(1, 1, 0.6f, 1);
  });

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopAttrib();
}

void DrawCornerText(const std::string& text, const PixelBuffer& buffer) {
  if (!buffer.pixels || buffer.width <= 0 || buffer.height <= 0) return;
  const int width = buffer.width, height = buffer.height;
  LayOutCornerText(text, height, [&](int x0, int y0, int x1, int y1, bool backing) {
    // Rows go top first here.
    const int top = std::max(0, height - y1), bottom = std::min(height, height - y0);
    x0 = std::max(0, x0);
    x1 = std::min(width, x1);
    for (int y = top; y < bottom; ++y) {
      uint8_t* pixel = buffer.pixels + size_t(y) * buffer.stride + size_t(x0) * 4;
      for (int x = x0; x < x1; ++x, pixel += 4) {
        if (backing) {
          // Black at 60 %, as the GL overlay blends it.
          for (int c = 0; c < 3; ++c) pixel[c] = uint8_t((pixel[c] * 2 + 2) / 5);
        } else {
          pixel[0] = 153, pixel[1] = 255, pixel[2] = 255;  // B, G, R of (1, 1, 0.6)
        }
      }
    }
  });
}

FpsFigures::FpsFigures(const std::string& renderer)
    : renderer_(renderer), text_("FPS: -\nLoad: -\nRenderer: " + renderer) {}

void FpsFigures::Frame() {
  const double now = MonotonicSeconds();
  if (windowStart_ < 0) {
    windowStart_ = now;
    cpuAtStart_ = CpuSeconds();
  }
  ++frames_;
  if (now - windowStart_ >= 1.0) {
    const double cpu = CpuSeconds();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "FPS: %.1f\nLoad: %.1f%%\nRenderer: ", frames_ / (now - windowStart_),
                  100.0 * (cpu - cpuAtStart_) / (now - windowStart_));
    text_ = buffer + renderer_;
    frames_ = 0;
    windowStart_ = now;
    cpuAtStart_ = cpu;
  }
}

FpsOverlaySurface::FpsOverlaySurface(std::unique_ptr<GLSurface> inner) : inner_(std::move(inner)) {}

void FpsOverlaySurface::SetSize(Size size) {
  width_ = static_cast<int>(size.width);
  height_ = static_cast<int>(size.height);
  inner_->SetSize(size);
}

void FpsOverlaySurface::Flush() {
  figures_.Frame();
  DrawCornerText(figures_.text(), width_, height_);
  inner_->Flush();
}

FpsOverlayPixelSurface::FpsOverlayPixelSurface(std::unique_ptr<PixelSurface> inner) : inner_(std::move(inner)) {}

void FpsOverlayPixelSurface::Present() {
  figures_.Frame();
  DrawCornerText(figures_.text(), buffer_);
  inner_->Present();
}

}  // namespace ambrel
