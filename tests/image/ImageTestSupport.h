// Shared helpers of the image tests: a scratch folder on disk, byte builders for
// packs and TGA files, and a recorder for the alerts the decoders show.
#pragma once

#include "Files.h"
#include "PlatformLayers.h"
#include "TestFolders.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "platform/Alerts.h"

namespace ambrel {

using Bytes = std::vector<unsigned char>;

inline void PutU32(Bytes* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

inline void PutU16(Bytes* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A scratch folder that lives as long as the object.
class ScratchDir : public TempFolder {
 public:
  ScratchDir() : TempFolder("image") {}
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const std::string file = File(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return file;
  }
};

inline Bytes ReadBytes(const std::string& path) {
  const std::string bytes = ReadFile(path);
  return Bytes(bytes.begin(), bytes.end());
}

inline std::string DataFile(const std::string& name) {
  return std::string(AMBREL_IMAGE_TEST_DATA) + "/" + name;
}

// The 18-byte TGA header for the given type (2 or 10), size and depth.
inline Bytes TgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t depth,
                       uint8_t descriptor = 0) {
  Bytes out = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutU16(&out, width);
  PutU16(&out, height);
  out.push_back(depth);
  out.push_back(descriptor);
  return out;
}

struct PackLump {
  int32_t kind;
  int32_t alphaMode;
  Bytes bytes;
};

// Header, the lumps in order, then the directory (or the directory first, so that
// the last lump ends the file).
inline Bytes BuildPack(const std::vector<PackLump>& lumps, bool directoryFirst = false) {
  const uint32_t dirSize = uint32_t(28 * lumps.size());
  const uint32_t firstLump = 24 + (directoryFirst ? dirSize : 0);
  Bytes body;
  std::vector<std::pair<uint32_t, uint32_t>> places;
  for (const PackLump& lump : lumps) {
    places.emplace_back(uint32_t(firstLump + body.size()), uint32_t(lump.bytes.size()));
    body = body + lump.bytes;
  }
  const uint32_t dirOffset = directoryFirst ? 24 : uint32_t(24 + body.size());
  const uint32_t length = uint32_t(24 + body.size()) + dirSize;
  Bytes out = {'M', 'R', 'V', 'F', 0, 0, 0, 0, 0, 0, 0, 0};
  PutU32(&out, uint32_t(lumps.size()));
  PutU32(&out, ~length);
  PutU32(&out, dirOffset);
  Bytes directory;
  for (size_t i = 0; i < lumps.size(); ++i) {
    PutU32(&directory, places[i].second);
    PutU32(&directory, places[i].first);
    PutU32(&directory, uint32_t(lumps[i].kind));
    PutU32(&directory, uint32_t(lumps[i].alphaMode));
    directory.insert(directory.end(), 12, 0);
  }
  return directoryFirst ? out + directory + body : out + body + directory;
}

// Records every alert while it lives; the platform's alerts come back afterwards.
class AlertRecorder {
 public:
  struct Alert {
    std::string title;
    std::string message;
  };
  std::vector<Alert> alerts;

 private:
  AlertsTo layer_{[this](const char* title, const char* message) { alerts.push_back({title, message}); }};
};

}  // namespace ambrel
