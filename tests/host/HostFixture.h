// Shared pieces of the host tests: private settings and resource folders, views
// made by the off-screen engine, captures and picture files made on the spot.
#pragma once

#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "host/AmbrelView.h"
#include "platform/egl/OffscreenEngine.h"

namespace ambrel {

// A fresh folder with XDG_CONFIG_HOME inside it, removed afterwards.
class ScopedConfigHome {
 public:
  const std::string& root() const { return folder_.path(); }

 private:
  TempFolder folder_{"host"};
  ScopedEnv config_{"XDG_CONFIG_HOME", folder_.File("config")};
};

// A PNG of one colour.
inline void WriteSolidPng(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels;
  for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b});
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << path;
}

// A pack of nine lumps that hold no image (the scene gets nine empty slots) and a
// blue 1000 x 1000 fallback picture, as the resources for the life of the object.
class ScopedResources {
 public:
  explicit ScopedResources(const std::string& folder) : folder_(Fill(folder)), env_("AMBREL_RESOURCES", folder) {}

 private:
  static std::string Fill(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const uint32_t lumps = 9, length = 24 + lumps * 28;
    std::vector<uint8_t> pack(length, 0);
    std::memcpy(pack.data(), "MRVF", 4);
    const uint32_t fields[3] = {lumps, ~length, 24};  // count, size check, directory offset
    for (int f = 0; f < 3; ++f)
      for (int i = 0; i < 4; ++i) pack[12 + 4 * f + i] = uint8_t(fields[f] >> (8 * i));
    std::ofstream(folder + "/morvish.tallowyn", std::ios::binary).write(reinterpret_cast<char*>(pack.data()), length);
    WriteSolidPng(folder + "/fallback.png", 1000, 1000, 0, 0, 255);
    return folder;
  }
  std::string folder_;
  ScopedEnv env_;
};

inline SETTINGS MakeSettings(int bgType, const char* folder = "") {
  SETTINGS s{};
  s.LIGHTING = s.WANTBOWL = true;
  s.WATERSPEED = 100;
  s.WATERSHIFT = 5;
  s.DRIPSPEED = 250;
  s.BGTYPE = bgType;
  std::snprintf(s.BGPath, sizeof s.BGPath, "%s", folder);
  s.BGRES = 1;
  return s;
}

inline AmbrelViewOverrides Overrides(SETTINGS settings, bool mainMonitorOnly = false) {
  AmbrelViewOverrides overrides;
  overrides.settings = SettingsRecord{mainMonitorOnly, settings};
  return overrides;
}

inline ViewFactory AmbrelFactory(AmbrelViewOverrides overrides = {}) {
  return [overrides](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
    return std::make_unique<AmbrelView>(frame, isPreview, site, overrides);
  };
}

inline ViewFactory AmbrelFactory(SETTINGS settings, bool mainMonitorOnly = false) {
  return AmbrelFactory(Overrides(settings, mainMonitorOnly));
}

inline AmbrelView* Ambrel(OffscreenEngine& engine, int index) { return dynamic_cast<AmbrelView*>(engine.view(index)); }

inline CapturedImage SolidCapture(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  CapturedImage image{width, height, {}};
  for (int i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), {r, g, b, a});
  return image;
}

struct TextureInfo {
  int width = 0, height = 0;
  uint8_t r = 0, g = 0, b = 0;  // the first texel
};

// Reads a texture of the current context (and leaves it bound).
inline TextureInfo DescribeTexture(uint32_t name) {
  TextureInfo info;
  if (!glIsTexture(name)) return info;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &info.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &info.height);
  std::vector<uint8_t> texels(size_t(info.width) * info.height * 4 + 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  info.r = texels[0], info.g = texels[1], info.b = texels[2];
  return info;
}

// Every pixel of a read-back surface is opaque black.
inline bool AllOpaqueBlack(const std::vector<uint8_t>& pixels) {
  for (size_t i = 0; i < pixels.size(); i += 4)
    if (pixels[i] || pixels[i + 1] || pixels[i + 2] || pixels[i + 3] != 255) return false;
  return !pixels.empty();
}

}  // namespace ambrel
