// The data pack reader: a header, a directory of lumps and the lumps' bytes.
#pragma once

#include <cstdint>
#include <fstream>

namespace ambrel {

// All integers little-endian, all offsets from the first byte of the file.
struct RESHEADER {
  char magic[4];          // "MRVF"
  uint8_t unused[8];
  uint32_t lumpCount;
  uint32_t sizeCheck;     // ~(file length), low 32 bits
  uint32_t dirOffset;
};
static_assert(sizeof(RESHEADER) == 24, "RESHEADER is 24 bytes on disk");

struct RESLUMP {
  uint32_t size;
  uint32_t offset;
  int32_t kind;       // 1: a TGA image that becomes a texture
  int32_t alphaMode;  // 1 colour key, 2 brightness, else opaque
  uint8_t unused[12];
};
static_assert(sizeof(RESLUMP) == 28, "RESLUMP is 28 bytes on disk");

constexpr int kLumpKindImage = 1;

class RESFILE {
 public:
  RESFILE() = default;
  ~RESFILE();
  RESFILE(const RESFILE&) = delete;
  RESFILE& operator=(const RESFILE&) = delete;

  bool Open(const char* path);
  bool SeekLump(int index);
  // On success *data is a new[] array of the lump's size; the caller delete[]s it.
  bool LoadData(int index, void** data);
  void Close();

  int32_t fileSize = 0;
  std::fstream file;
  RESHEADER header{};
  RESLUMP* lumps = nullptr;

 private:
  bool LumpIndexValid(int index) const;
};

// Byte-order helpers shared with the pack tool.
void EncodeResHeader(const RESHEADER& header, unsigned char out[24]);
void EncodeResLump(const RESLUMP& lump, unsigned char out[28]);
void DecodeResHeader(const unsigned char in[24], RESHEADER* header);
void DecodeResLump(const unsigned char in[28], RESLUMP* lump);

}  // namespace ambrel
