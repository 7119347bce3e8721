#include "image/ResFile.h"

#include <cstring>
#include <new>

namespace ambrel {

namespace {

uint32_t ReadU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteU32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// Length of the stream's file, or -1; leaves the position at the end.
int64_t StreamLength(std::fstream& file) {
  file.seekg(0, std::ios::end);
  if (file.fail()) return -1;
  const std::streamoff end = file.tellg();
  return end < 0 ? -1 : int64_t(end);
}

}  // namespace

void EncodeResHeader(const RESHEADER& header, unsigned char out[24]) {
  std::memcpy(out, header.magic, 4);
  std::memcpy(out + 4, header.unused, 8);
  WriteU32(out + 12, header.lumpCount);
  WriteU32(out + 16, header.sizeCheck);
  WriteU32(out + 20, header.dirOffset);
}

void EncodeResLump(const RESLUMP& lump, unsigned char out[28]) {
  WriteU32(out, lump.size);
  WriteU32(out + 4, lump.offset);
  WriteU32(out + 8, uint32_t(lump.kind));
  WriteU32(out + 12, uint32_t(lump.alphaMode));
  std::memcpy(out + 16, lump.unused, 12);
}

void DecodeResHeader(const unsigned char in[24], RESHEADER* header) {
  std::memcpy(header->magic, in, 4);
  std::memcpy(header->unused, in + 4, 8);
  header->lumpCount = ReadU32(in + 12);
  header->sizeCheck = ReadU32(in + 16);
  header->dirOffset = ReadU32(in + 20);
}

void DecodeResLump(const unsigned char in[28], RESLUMP* lump) {
  lump->size = ReadU32(in);
  lump->offset = ReadU32(in + 4);
  lump->kind = int32_t(ReadU32(in + 8));
  lump->alphaMode = int32_t(ReadU32(in + 12));
  std::memcpy(lump->unused, in + 16, 12);
}

RESFILE::~RESFILE() { Close(); }

bool RESFILE::Open(const char* path) {
  if (!path) return false;
  file.open(path, std::ios::in | std::ios::binary);
  if (file.fail()) return false;

  const int64_t length = StreamLength(file);
  if (length < 0) {
    file.close();
    return false;
  }
  fileSize = int32_t(uint32_t(uint64_t(length)));
  file.seekg(0, std::ios::beg);

  unsigned char raw[24];
  file.read(reinterpret_cast<char*>(raw), sizeof raw);
  if (file.fail()) return false;
  DecodeResHeader(raw, &header);

  if (std::memcmp(header.magic, "MRVF", 4) != 0) {
    file.close();
    return false;
  }
  if (~uint32_t(fileSize) != header.sizeCheck) {
    file.close();
    return false;
  }
  // A directory that cannot fit in the file is refused before it is allocated: a
  // hostile count would otherwise ask for up to 120 GB.
  if (uint64_t(header.dirOffset) + uint64_t(header.lumpCount) * sizeof(RESLUMP) >
      uint64_t(length)) {
    file.close();
    return false;
  }

  lumps = new (std::nothrow) RESLUMP[header.lumpCount];
  if (!lumps) {
    file.close();
    return false;
  }

  file.seekg(std::streamoff(header.dirOffset), std::ios::beg);
  for (uint32_t i = 0;; ++i) {
    if (file.fail()) {
      file.close();
      return false;
    }
    if (i == header.lumpCount) return true;
    unsigned char entry[28];
    file.read(reinterpret_cast<char*>(entry), sizeof entry);
    DecodeResLump(entry, &lumps[i]);
  }
}

bool RESFILE::LumpIndexValid(int index) const {
  return file.is_open() && lumps && index >= 0 && uint32_t(index) < header.lumpCount;
}

bool RESFILE::SeekLump(int index) {
  if (!LumpIndexValid(index)) return false;
  file.seekg(std::streamoff(lumps[index].offset), std::ios::beg);
  return !file.fail();
}

bool RESFILE::LoadData(int index, void** data) {
  if (!LumpIndexValid(index) || !data) return false;
  const RESLUMP& lump = lumps[index];
  // A lump that runs past the end is refused before its buffer is allocated; the
  // stream is marked failed exactly as the short read would have left it.
  if (!file.fail()) {
    const int64_t length = StreamLength(file);
    if (length < 0 || uint64_t(lump.offset) + lump.size > uint64_t(length)) {
      file.setstate(std::ios::failbit);
      return false;
    }
  }
  file.seekg(std::streamoff(lump.offset), std::ios::beg);
  if (file.fail()) return false;
  char* bytes = new (std::nothrow) char[lump.size];
  if (!bytes) return false;
  file.read(bytes, std::streamsize(lump.size));
  if (file.fail()) {
    delete[] bytes;
    return false;
  }
  *data = bytes;
  return true;
}

void RESFILE::Close() {
  delete[] lumps;
  lumps = nullptr;
  if (file.is_open()) file.close();
}

}  // namespace ambrel
