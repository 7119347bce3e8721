// ambrel-pooltiles OUT.png [SIZE]: draws the fallback background, blue pool tiles
// with light grout and a soft network of caustic light, as a PNG.

#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <vector>

namespace ambrel {

namespace {

constexpr int kTile = 64;
constexpr int kGrout = 3;

// A fixed per-tile hash so that every build draws the same picture.
uint32_t Hash(uint32_t x, uint32_t y) {
  uint32_t h = x * 374761393u + y * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

double Caustic(double x, double y) {
  const double a = std::sin(x * 0.021 + 2.1 * std::sin(y * 0.017));
  const double b = std::sin(y * 0.019 + 1.7 * std::sin(x * 0.023 + 0.7));
  const double c = std::sin((x + y) * 0.013 + 1.9 * std::sin((x - y) * 0.011 + 1.3));
  const double v = a + b + c;
  // Bright thin ribbons where the sum crosses zero, like light focused by ripples.
  return std::exp(-v * v * 6.0);
}

uint8_t Clamp(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: ambrel-pooltiles OUT.png [SIZE]\n");
    return 2;
  }
  const int size = argc == 3 ? std::atoi(argv[2]) : 1024;
  if (size < 16 || size > 8192) {
    std::fprintf(stderr, "ambrel-pooltiles: size must be 16 to 8192\n");
    return 2;
  }

  std::vector<uint8_t> rgb(size_t(size) * size * 3);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int tx = x % kTile, ty = y % kTile;
      const bool grout = tx < kGrout || ty < kGrout;
      double r, g, b;
      if (grout) {
        r = 196, g = 210, b = 214;
      } else {
        const uint32_t h = Hash(uint32_t(x / kTile), uint32_t(y / kTile));
        const double tint = double(h & 0xff) / 255.0 - 0.5;
        // Tiles darken a little towards their edges, as glazed tiles do.
        const double ex = std::min(tx - kGrout, kTile - 1 - tx), ey = std::min(ty - kGrout, kTile - 1 - ty);
        const double edge = std::min(1.0, std::min(ex, ey) / 6.0);
        const double shade = 0.88 + 0.12 * edge;
        r = (34 + 10 * tint) * shade;
        g = (118 + 14 * tint) * shade;
        b = (186 + 12 * tint) * shade;
      }
      const double light = Caustic(x, y) * 0.75 + Caustic(x * 0.7 + 310, y * 0.7 + 170) * 0.45;
      uint8_t* p = &rgb[(size_t(y) * size + x) * 3];
      p[0] = Clamp(r + 70 * light);
      p[1] = Clamp(g + 80 * light);
      p[2] = Clamp(b + 60 * light);
    }
  }

  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::fprintf(stderr, "ambrel-pooltiles: cannot write %s\n", argv[1]);
    return 1;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    std::remove(argv[1]);
    std::fprintf(stderr, "ambrel-pooltiles: PNG encoding failed\n");
    return 1;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, png_uint_32(size), png_uint_32(size), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < size; ++y) png_write_row(png, &rgb[size_t(y) * size * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(out) == 0 ? 0 : 1;
}
