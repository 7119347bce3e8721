// Picture files through the platform's decoder, as one plain bitmap description.
#pragma once

#include <memory>
#include <string>

struct PictureBitmap {
  int pixelsWide = 0;
  int pixelsHigh = 0;
  int bitsPerPixel = 0;  // 24: R, G, B; 32: R, G, B, A; 8 bits per sample
  int bytesPerRow = 0;
  const unsigned char* bitmapData = nullptr;  // top row first
  std::shared_ptr<const void> storage;        // keeps bitmapData alive
};

// Pictures beyond these are refused from their header, before any decoding.
constexpr int kMaxPictureSide = 16384;
constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

// Decodes the PNG, JPEG, GIF or WebP picture at path (EXIF orientation applied;
// grey, 16-bit and indexed pictures arrive as 8-bit RGB or RGBA). False when the
// file is missing, not a regular file, of another format, damaged or too large.
bool ReadPicture(const char* path, PictureBitmap* bitmap);

// The user's own pictures folder: where a random picture is looked for until the
// user names another.
std::string UserPicturesFolder();
