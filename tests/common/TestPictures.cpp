#include "TestPictures.h"

#include <png.h>

namespace ambrel {

PngImage ReadPng(const std::string& path) {
  PngImage image;
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&header, path.c_str())) return image;
  header.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(header));
  if (!png_image_finish_read(&header, nullptr, image.rgb.data(), 0, nullptr)) return image;
  image.ok = true;
  image.width = header.width;
  image.height = header.height;
  return image;
}

bool WriteStripedPng(const std::string& path, unsigned width, unsigned height, uint32_t rgb) {
  std::vector<uint8_t> pixels((size_t)width * height * 3);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const int shift = (x / 16) % 2 ? 1 : 0;  // the darker stripes show the bending
      uint8_t* p = &pixels[((size_t)y * width + x) * 3];
      p[0] = (uint8_t)(((rgb >> 16) & 0xff) >> shift);
      p[1] = (uint8_t)(((rgb >> 8) & 0xff) >> shift);
      p[2] = (uint8_t)((rgb & 0xff) >> shift);
    }
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  header.width = width;
  header.height = height;
  header.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&header, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

namespace {

bool Dominates(const int rgb[3], int channel, int margin) {
  return rgb[channel] > rgb[(channel + 1) % 3] + margin && rgb[channel] > rgb[(channel + 2) % 3] + margin;
}

}  // namespace

double ShareDominatedBy(const std::vector<uint8_t>& rgb, int channel, int margin) {
  const size_t count = rgb.size() / 3;
  size_t dominated = 0;
  for (size_t i = 0; i < count; ++i) {
    const int pixel[3] = {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]};
    dominated += Dominates(pixel, channel, margin);
  }
  return count ? double(dominated) / double(count) : 0;
}

double ShareDominatedBy(const std::vector<uint32_t>& pixels, int channel, int margin) {
  size_t dominated = 0;
  for (uint32_t word : pixels) {
    const int pixel[3] = {int(word >> 16 & 0xff), int(word >> 8 & 0xff), int(word & 0xff)};
    dominated += Dominates(pixel, channel, margin);
  }
  return pixels.empty() ? 0 : double(dominated) / double(pixels.size());
}

}  // namespace ambrel
