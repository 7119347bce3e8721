// The platform picture decoder and the background resampling on arbitrary files,
// at the detail sizes (without OpenGL, the texture limit is taken as 4096).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "image/Pics.h"

namespace ambrel {

// The decoder in this process (platform/linux/GdkPictures.cpp): ReadPicture runs
// it in a child, where a crash would read as a damaged picture.
bool DecodePictureHere(const char* path, PictureBitmap* bitmap, std::string* why);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzFile file(".picture");
  PictureBitmap picture;
  std::string why;
  if (!DecodePictureHere(file.Write(data, size), &picture, &why)) return 0;
  if (picture.bitsPerPixel != 24 && picture.bitsPerPixel != 32) std::abort();
  for (int detail : {0, 2}) {
    const uint32_t width = PictureTextureSide(detail, picture.pixelsWide, 4096);
    const uint32_t height = PictureTextureSide(detail, picture.pixelsHigh, 4096);
    std::vector<unsigned char> out(size_t(width) * height * size_t(picture.bitsPerPixel / 8));
    ResamplePicture(picture, width, height, out.data());
  }
  return 0;
}

}  // namespace ambrel
