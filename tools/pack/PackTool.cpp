// ambrel-pack: writes, lists, extracts and verifies data packs ("MRVF").
//
//   ambrel-pack create PACK KIND:ALPHA:FILE...   lumps in slot order
//   ambrel-pack list PACK
//   ambrel-pack extract PACK INDEX FILE
//   ambrel-pack verify PACK                       every image lump must decode

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/ResFile.h"
#include "image/TGALoader.h"
#include "image/Texture.h"

namespace ambrel {

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: ambrel-pack create PACK KIND:ALPHA:FILE...\n"
               "       ambrel-pack list PACK\n"
               "       ambrel-pack extract PACK INDEX FILE\n"
               "       ambrel-pack verify PACK\n");
  return 2;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ParseInt(const std::string& text, long long low, long long high, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

struct LumpSource {
  int32_t kind = 0;
  int32_t alphaMode = 0;
  std::vector<unsigned char> bytes;
};

int Create(const char* packPath, int count, char** lumps) {
  std::vector<LumpSource> sources;
  for (int i = 0; i < count; ++i) {
    const std::string lump = lumps[i];
    const size_t first = lump.find(':');
    const size_t second = first == std::string::npos ? first : lump.find(':', first + 1);
    long long kind = 0, alpha = 0;
    if (second == std::string::npos ||
        !ParseInt(lump.substr(0, first), INT32_MIN, INT32_MAX, &kind) ||
        !ParseInt(lump.substr(first + 1, second - first - 1), INT32_MIN, INT32_MAX, &alpha)) {
      std::fprintf(stderr, "ambrel-pack: bad lump \"%s\" (want KIND:ALPHA:FILE)\n", lumps[i]);
      return 2;
    }
    LumpSource source;
    source.kind = int32_t(kind);
    source.alphaMode = int32_t(alpha);
    const std::string file = lump.substr(second + 1);
    if (!ReadWholeFile(file, &source.bytes)) {
      std::fprintf(stderr, "ambrel-pack: cannot read %s\n", file.c_str());
      return 1;
    }
    sources.push_back(std::move(source));
  }

  // Header, then the lumps one after another, then the directory.
  std::vector<RESLUMP> directory;
  uint64_t offset = sizeof(RESHEADER);
  for (const LumpSource& source : sources) {
    RESLUMP lump{};
    lump.size = uint32_t(source.bytes.size());
    lump.offset = uint32_t(offset);
    lump.kind = source.kind;
    lump.alphaMode = source.alphaMode;
    directory.push_back(lump);
    offset += source.bytes.size();
  }
  const uint64_t length = offset + directory.size() * sizeof(RESLUMP);
  if (length > 0xffffffffu) {
    std::fprintf(stderr, "ambrel-pack: a pack must stay below 4 GiB\n");
    return 1;
  }

  RESHEADER header{};
  std::memcpy(header.magic, "MRVF", 4);
  header.lumpCount = uint32_t(directory.size());
  header.sizeCheck = ~uint32_t(length);
  header.dirOffset = uint32_t(offset);

  const std::string temporary = std::string(packPath) + ".part";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  unsigned char raw[28];
  EncodeResHeader(header, raw);
  out.write(reinterpret_cast<const char*>(raw), 24);
  for (const LumpSource& source : sources)
    out.write(reinterpret_cast<const char*>(source.bytes.data()), std::streamsize(source.bytes.size()));
  for (const RESLUMP& lump : directory) {
    EncodeResLump(lump, raw);
    out.write(reinterpret_cast<const char*>(raw), 28);
  }
  out.close();
  if (!out || std::rename(temporary.c_str(), packPath) != 0) {
    std::remove(temporary.c_str());
    std::fprintf(stderr, "ambrel-pack: cannot write %s\n", packPath);
    return 1;
  }
  return 0;
}

bool OpenPack(RESFILE* pack, const char* path) {
  if (pack->Open(path)) return true;
  std::fprintf(stderr, "ambrel-pack: %s is not a valid pack (missing, bad magic, size check or directory)\n",
               path);
  return false;
}

// A short description of a lump's content from its first bytes.
std::string Describe(const std::vector<unsigned char>& bytes) {
  if (bytes.size() >= 18 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 2 || bytes[2] == 10)) {
    char text[64];
    std::snprintf(text, sizeof text, "TGA %s %ux%u %u-bit", bytes[2] == 2 ? "raw" : "RLE",
                  bytes[12] | bytes[13] << 8, bytes[14] | bytes[15] << 8, bytes[16]);
    return text;
  }
  std::string text = "data \"";
  for (size_t i = 0; i < bytes.size() && i < 24; ++i)
    text += (bytes[i] >= 32 && bytes[i] < 127) ? char(bytes[i]) : '.';
  return text + (bytes.size() > 24 ? "...\"" : "\"");
}

int List(const char* packPath) {
  RESFILE pack;
  if (!OpenPack(&pack, packPath)) return 1;
  std::printf("%s: %u lumps, %u bytes, directory at %u\n", packPath, pack.header.lumpCount,
              uint32_t(pack.fileSize), pack.header.dirOffset);
  std::printf("slot  kind  alpha    offset      size  content\n");
  for (uint32_t i = 0; i < pack.header.lumpCount; ++i) {
    const RESLUMP& lump = pack.lumps[i];
    void* data = nullptr;
    std::string content = "(unreadable)";
    if (pack.LoadData(int(i), &data)) {
      const unsigned char* bytes = static_cast<unsigned char*>(data);
      content = Describe(std::vector<unsigned char>(bytes, bytes + lump.size));
      delete[] static_cast<char*>(data);
    }
    std::printf("%4u  %4d  %5d  %8u  %8u  %s\n", i, lump.kind, lump.alphaMode, lump.offset, lump.size,
                content.c_str());
  }
  return 0;
}

int Extract(const char* packPath, const char* indexText, const char* outPath) {
  RESFILE pack;
  if (!OpenPack(&pack, packPath)) return 1;
  long long index = 0;
  void* data = nullptr;
  if (!ParseInt(indexText, 0, INT32_MAX, &index) || !pack.LoadData(int(index), &data)) {
    std::fprintf(stderr, "ambrel-pack: no readable lump %s\n", indexText);
    return 1;
  }
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), std::streamsize(pack.lumps[index].size));
  delete[] static_cast<char*>(data);
  out.close();
  if (!out) {
    std::fprintf(stderr, "ambrel-pack: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}

int Verify(const char* packPath) {
  RESFILE pack;
  if (!OpenPack(&pack, packPath)) return 1;
  int failures = 0;
  for (uint32_t i = 0; i < pack.header.lumpCount; ++i) {
    const RESLUMP& lump = pack.lumps[i];
    if (uint64_t(lump.offset) + lump.size > uint64_t(uint32_t(pack.fileSize))) {
      std::fprintf(stderr, "ambrel-pack: lump %u runs past the end\n", i);
      ++failures;
      continue;
    }
    if (lump.kind != kLumpKindImage) continue;
    Texture image;
    if (!pack.SeekLump(int(i)) || !LoadTGA2(&image, &pack.file)) {
      std::fprintf(stderr, "ambrel-pack: image lump %u does not decode\n", i);
      ++failures;
      pack.file.clear();
      continue;
    }
    const std::streamoff end = pack.file.tellg();
    if (end != std::streamoff(uint64_t(lump.offset) + lump.size))
      std::printf("lump %u: the image ends at %lld, the lump at %llu\n", i, (long long)end,
                  (unsigned long long)(uint64_t(lump.offset) + lump.size));
  }
  if (failures) return 1;
  std::printf("%s: OK, %u lumps\n", packPath, pack.header.lumpCount);
  return 0;
}

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "create" && argc >= 3) return Create(argv[2], argc - 3, argv + 3);
  if (command == "list" && argc == 3) return List(argv[2]);
  if (command == "extract" && argc == 5) return Extract(argv[2], argv[3], argv[4]);
  if (command == "verify" && argc == 3) return Verify(argv[2]);
  return Usage();
}
