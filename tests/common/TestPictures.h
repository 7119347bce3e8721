// Pictures as the tests look at them: PNG files made and read with libpng, and
// how much of a picture one colour holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

struct PngImage {
  bool ok = false;
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

PngImage ReadPng(const std::string& path);
// A picture of one colour, with a few stripes of its darker shade.
bool WriteStripedPng(const std::string& path, unsigned width, unsigned height, uint32_t rgb);

// Share of the pixels whose `channel` (0 red, 1 green, 2 blue) is stronger than
// both others by more than margin: in packed 8-bit RGB, or in 0xRRGGBB words.
double ShareDominatedBy(const std::vector<uint8_t>& rgb, int channel, int margin = 40);
double ShareDominatedBy(const std::vector<uint32_t>& pixels, int channel, int margin = 40);
inline double ShareDominatedBy(const PngImage& image, int channel, int margin = 40) {
  return ShareDominatedBy(image.rgb, channel, margin);
}

}  // namespace ambrel
