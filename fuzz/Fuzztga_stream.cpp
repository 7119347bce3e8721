// The stream decoders on a TGA that is the last lump of a valid pack.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "image/ResFile.h"
#include "image/TGALoader.h"

namespace ambrel {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceAlerts();
  static FuzzFile file(".tallowyn");
  std::vector<uint8_t> pack(24 + 28 + size);
  RESHEADER header{};
  std::memcpy(header.magic, "MRVF", 4);
  header.lumpCount = 1;
  header.sizeCheck = ~uint32_t(pack.size());
  header.dirOffset = 24;
  RESLUMP lump{};
  lump.size = uint32_t(size);
  lump.offset = 24 + 28;
  lump.kind = kLumpKindImage;
  EncodeResHeader(header, pack.data());
  EncodeResLump(lump, pack.data() + 24);
  if (size) std::memcpy(pack.data() + 52, data, size);

  RESFILE reader;
  if (!reader.Open(file.Write(pack.data(), pack.size())) || !reader.SeekLump(0)) std::abort();
  Texture texture;
  if (LoadTGA2(&texture, &reader.file)) {
    const size_t bytes = size_t(texture.width) * texture.height * (texture.bpp / 8);
    volatile unsigned char sink = 0;
    for (size_t i = 0; i < bytes; i += 4096) sink = sink ^ texture.imageData[i];
    sink = sink ^ texture.imageData[bytes - 1];
  }
  return 0;
}

}  // namespace ambrel
