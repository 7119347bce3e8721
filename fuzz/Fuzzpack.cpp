// The pack reader over arbitrary bytes: open, then every lump through SeekLump,
// LoadData and the stream decoder.
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "image/ResFile.h"
#include "image/TGALoader.h"

namespace ambrel {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceAlerts();
  static FuzzFile file(".tallowyn");
  RESFILE reader;
  if (!reader.Open(file.Write(data, size))) return 0;
  const uint32_t count = reader.header.lumpCount < 64 ? reader.header.lumpCount : 64;
  for (uint32_t i = 0; i < count; ++i) {
    void* bytes = nullptr;
    if (reader.LoadData(int(i), &bytes)) delete[] static_cast<char*>(bytes);
    if (reader.lumps[i].kind == kLumpKindImage && reader.SeekLump(int(i))) {
      Texture texture;
      LoadTGA2(&texture, &reader.file);
    }
  }
  reader.SeekLump(-1);
  reader.SeekLump(int(reader.header.lumpCount));
  reader.Close();
  return 0;
}

}  // namespace ambrel
