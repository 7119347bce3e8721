// Picture files through the platform's decoder, as one plain bitmap description.
#pragma once

#include <memory>
#include <string>

namespace ambrel {

struct PictureBitmap {
  int pixelsWide = 0;
  int pixelsHigh = 0;
  int bitsPerPixel = 0;  // 24: R, G, B; 32: R, G, B, A; 8 bits per sample
  int bytesPerRow = 0;
  const unsigned char* bitmapData = nullptr;  // top row first
  std::shared_ptr<const void> storage;        // keeps bitmapData alive
};

// Pictures beyond these are refused from their header, before any decoding. No
// frame or window the programs are asked for is wider or taller either.
constexpr int kMaxPictureSide = 16384;
constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

// The budget of one picture: a larger file is refused unread, and a decoder still
// busy after this time gives up (a 50-megapixel photograph takes from 0.3 s as a
// JPEG to 2 s as a WebP on two cores).
constexpr long long kMaxPictureFileBytes = 256LL * 1024 * 1024;
constexpr double kPictureDecodeSeconds = 4.0;

// Decodes, through the current platform (platform/Platform.h), the PNG, JPEG, GIF
// or WebP picture at path (EXIF orientation applied;
// grey, 16-bit and indexed pictures arrive as 8-bit RGB or RGBA). False when the
// file is missing, not a regular file, of another format, damaged, too large or too
// slow to decode; then *why (when given) ends the sentence "the picture X ...",
// or is empty when the run ended while the picture decoded. The decoder runs apart
// from the caller, which keeps the run's input live while it waits; a file is
// decoded once for the check made before a view and that view, and one that
// cannot be shown is tried once however many views ask for it.
bool ReadPicture(const char* path, PictureBitmap* bitmap, std::string* why = nullptr);

// Lets go of the pixels remembered for the picture at path, once a view has made
// its texture of them: a saver runs for hours, and a decoded photograph can take
// hundreds of megabytes. A later read decodes the file again.
void ForgetPicture(const char* path);

// One line on stderr naming a picture that cannot be shown and why, once per
// picture and reason; nothing when why is empty.
void NameWrongPicture(const std::string& path, const std::string& why);

// The user's own pictures folder: where a random picture is looked for until the
// user names another.
std::string UserPicturesFolder();

}  // namespace ambrel
