#include "image/Pics.h"

#include <epoxy/gl.h>
#include <dirent.h>
#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/TextureStore.h"

namespace ambrel {

uint32_t PictureTextureSide(int detail, int pictureSide, uint32_t maxTextureSide, DetailFit fit) {
  const bool lowDetail = detail == 0 || detail == 1;
  const uint32_t largest = detail == 0 ? 512 : detail == 1 ? 1024 : maxTextureSide;
  if (lowDetail && fit == DetailFit::kExactly) return largest;
  if (pictureSide <= 0) return 0;
  const double exponent = std::floor(0.5 + std::log(double(pictureSide)) / std::log(2.0));
  const uint32_t side = exponent >= 31 ? 0x80000000u : uint32_t(1) << int(exponent);
  return side > largest ? largest : side;
}

void ResamplePicture(const PictureBitmap& picture, uint32_t width, uint32_t height,
                     unsigned char* out) {
  const size_t bpp = picture.bitsPerPixel == 32 ? 4 : 3;
  const float sx = float(picture.pixelsWide) / float(width);
  const float sy = float(picture.pixelsHigh) / float(height);
  // Row by row, so that both pictures are read and written in memory order.
  for (uint32_t y = 0; y < height; ++y) {
    size_t row = size_t(float(y) * sy);
    // Float rounding must never step outside the picture.
    if (row >= size_t(picture.pixelsHigh)) row = size_t(picture.pixelsHigh) - 1;
    const unsigned char* const fromRow = picture.bitmapData + row * size_t(picture.bytesPerRow);
    unsigned char* const toRow = out + bpp * size_t(width) * (height - 1 - y);
    for (uint32_t x = 0; x < width; ++x) {
      size_t column = size_t(float(x) * sx);
      if (column >= size_t(picture.pixelsWide)) column = size_t(picture.pixelsWide) - 1;
      const unsigned char* from = fromRow + bpp * column;
      unsigned char* to = toRow + bpp * x;
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      if (bpp == 4) to[3] = 255;
    }
  }
}

bool loadPicFile(const char* path, Texture* texture, int detail) {
  PictureBitmap picture;
  std::string why;
  if (!texture) return false;
  if (!ReadPicture(path, &picture, &why)) {
    NameWrongPicture(path ? path : "", why);
    return false;
  }
  if (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32) return false;

  const uint32_t maxSize = CurrentTextureStore().LargestSide();
  const uint32_t width = PictureTextureSide(detail, picture.pixelsWide, maxSize);
  const uint32_t height = PictureTextureSide(detail, picture.pixelsHigh, maxSize);
  if (width == 0 || height == 0) return false;

  const uint32_t type = picture.bitsPerPixel == 32 ? GL_RGBA : GL_RGB;
  const size_t bpp = type == GL_RGBA ? 4 : 3;
  unsigned char* pixels = static_cast<unsigned char*>(std::malloc(size_t(width) * height * bpp));
  if (!pixels) return false;
  ResamplePicture(picture, width, height, pixels);
  // Only the texture is kept of the picture.
  picture.bitmapData = nullptr;
  picture.storage.reset();
  ForgetPicture(path);

  std::free(texture->imageData);
  texture->imageData = pixels;
  texture->type = type;
  texture->width = width;
  texture->height = height;
  const bool built = BuildTexture(texture, 0);
  texture->width = uint32_t(picture.pixelsWide);
  texture->height = uint32_t(picture.pixelsHigh);
  return built;
}

bool LoadPicture(const char* folder, Texture* texture, int detail) {
  char name[256];
  if (!folder || !ChooseRandomImageFile(folder, name)) return false;
  std::string path = folder;
  if (path.back() != '/') path += '/';
  path += name;
  return loadPicFile(path.c_str(), texture, detail);
}

namespace {

bool IsDesktopPictureName(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (!dot || dot == name) return false;
  for (const char* kind : {".jpg", ".jpeg", ".png", ".gif", ".webp"})
    if (strcasecmp(dot, kind) == 0) return true;
  return false;
}

}  // namespace

bool LoadDesktopFolderPicture(const char* folder, Texture* texture, int detail) {
  if (!folder) return false;
  DIR* dir = opendir(folder);
  if (!dir) {
    NameWrongPicture(folder, std::string("is a folder that cannot be read: ") + std::strerror(errno));
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir))
    if (IsDesktopPictureName(entry->d_name)) names.push_back(entry->d_name);
  closedir(dir);
  if (names.empty()) {
    NameWrongPicture(folder, "is a folder without JPEG, PNG, GIF or WebP pictures");
    return false;
  }
  // A few of them in a random order, each named when it cannot be shown: a folder
  // of damaged files costs a few budgets at most.
  std::string path = folder;
  if (path.back() != '/') path += '/';
  for (int tries = 0; tries < kDesktopFolderTries && !names.empty(); ++tries) {
    const size_t pick = size_t(std::rand()) % names.size();
    if (loadPicFile((path + names[pick]).c_str(), texture, detail)) return true;
    names.erase(names.begin() + long(pick));
  }
  return false;
}

namespace {

bool Matches(const char* entry, const char* extension) {
  const size_t length = std::strlen(entry);
  const size_t suffix = std::strlen(extension);
  return length > suffix && std::strcmp(entry + length - suffix, extension) == 0;
}

}  // namespace

int CountFiles(const char* folder, const char* extension) {
  if (!folder || !extension) return 0;
  DIR* dir = opendir(folder);
  if (!dir) return 0;
  int count = 0;
  while (const dirent* entry = readdir(dir))
    if (Matches(entry->d_name, extension)) ++count;
  closedir(dir);
  return count;
}

bool FindNthFile(const char* folder, char* name, const char* extension, int n) {
  const int k = CountFiles(folder, extension);
  if (k <= 0 || k < n || n < 0) return false;
  DIR* dir = opendir(folder);
  if (!dir) return false;
  int number = 0;
  while (const dirent* entry = readdir(dir)) {
    if (!Matches(entry->d_name, extension)) continue;
    if (number == n) {
      std::snprintf(name, 256, "%s", entry->d_name);
      closedir(dir);
      return true;
    }
    ++number;
  }
  closedir(dir);
  return false;
}

bool ChooseRandomImageFile(const char* folder, char* name) {
  const int a = CountFiles(folder, ".jpg");
  const int b = CountFiles(folder, ".gif");
  const int c = CountFiles(folder, ".png");
  const int total = a + b + c;
  if (total <= 0) return false;
  int d = std::rand() % total;
  if (d < a) return FindNthFile(folder, name, ".jpg", d);
  d -= a;
  if (d < b) return FindNthFile(folder, name, ".gif", d);
  d -= b;
  if (d < c) return FindNthFile(folder, name, ".png", d);
  return false;
}

}  // namespace ambrel
