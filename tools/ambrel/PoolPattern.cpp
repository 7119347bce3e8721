#include "tools/ambrel/PoolPattern.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kSide = 1024;
constexpr int kTile = 64;
constexpr int kGrout = 4;

// A small, fixed per-tile variation so that the bending shows on every tile.
int TileShade(int column, int row) {
  uint32_t h = (uint32_t)(column * 73856093) ^ (uint32_t)(row * 19349663);
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return (int)(h % 29) - 14;
}

uint8_t Clamp(int value) { return (uint8_t)(value < 0 ? 0 : value > 255 ? 255 : value); }

}  // namespace

bool MakePoolPattern(Texture* texture) {
  auto* pixels = (unsigned char*)malloc((size_t)kSide * kSide * 3);
  if (!pixels) return false;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      int column = x / kTile, row = y / kTile;
      int inX = x % kTile, inY = y % kTile;
      int r, g, b;
      bool grout = inX < kGrout || inY < kGrout;
      // Two dark lane lines run down the pool, two tiles wide each.
      bool lane = (column == 4 || column == 11) && !grout && inX >= 16 && inX < 48;
      if (grout) {
        r = 214, g = 226, b = 228;
      } else if (lane) {
        r = 18, g = 42, b = 110;
      } else {
        int shade = TileShade(column, row);
        // A soft highlight towards each tile's upper left corner, like glazed ceramic.
        int glaze = (kTile - inX - inY) / 8;
        r = 40 + shade + glaze;
        g = 150 + shade + glaze;
        b = 196 + shade + glaze;
      }
      unsigned char* p = pixels + ((size_t)y * kSide + x) * 3;
      p[0] = Clamp(r);
      p[1] = Clamp(g);
      p[2] = Clamp(b);
    }
  }
  free(texture->imageData);
  texture->imageData = pixels;
  texture->width = kSide;
  texture->height = kSide;
  texture->type = GL_RGB;
  return true;
}
