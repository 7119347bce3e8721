// The file decoders (fopen "rb") on arbitrary bytes.
#include <cstdint>

#include "FuzzSupport.h"
#include "image/TGALoader.h"

namespace ambrel {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceAlerts();
  static FuzzFile file(".tga");
  Texture texture;
  if (LoadTGA(&texture, file.Write(data, size))) {
    const size_t bytes = size_t(texture.width) * texture.height * (texture.bpp / 8);
    volatile unsigned char sink = texture.imageData[bytes - 1];
    (void)sink;
  }
  return 0;
}

}  // namespace ambrel
