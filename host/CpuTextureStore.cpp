#include "host/CpuTextureStore.h"

#include <new>
#include <utility>

#include "platform/Pictures.h"

namespace ambrel {

uint32_t CpuTextureStore::NewName() {
  do ++last_;
  while (last_ == 0 || textures_.count(last_));
  return last_;
}

uint32_t CpuTextureStore::Create(int width, int height, TexelFormat format, const uint8_t* texels) {
  if (width <= 0 || height <= 0 || !texels) return 0;
  const size_t count = size_t(width) * size_t(height);
  uint32_t name = 0;
  try {
    // A picture the water will draw goes straight into its layout: one copy at a
    // time, not two.
    name = NewName();
    CpuTexture& texture = textures_[name];
    texture.width = width;
    texture.height = height;
    if (LayOutTexels(&texture, texels, format == TexelFormat::kRGBA)) return name;
    std::vector<uint8_t>& rgba = texture.rgba;
    if (format == TexelFormat::kRGBA) {
      rgba.assign(texels, texels + count * 4);
    } else {
      rgba.resize(count * 4);
      for (size_t i = 0; i < count; ++i) {
        rgba[i * 4] = texels[i * 3];
        rgba[i * 4 + 1] = texels[i * 3 + 1];
        rgba[i * 4 + 2] = texels[i * 3 + 2];
        rgba[i * 4 + 3] = 255;
      }
    }
    return name;
  } catch (const std::bad_alloc&) {
    if (name) textures_.erase(name);
    return 0;
  }
}

uint32_t CpuTextureStore::Adopt(int width, int height, std::vector<uint8_t>&& rgba) {
  if (width <= 0 || height <= 0 || rgba.size() < size_t(width) * size_t(height) * 4) return 0;
  try {
    const uint32_t name = NewName();
    CpuTexture& texture = textures_[name];
    texture.width = width;
    texture.height = height;
    texture.rgba = std::move(rgba);
    return name;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

uint32_t CpuTextureStore::LargestSide() { return uint32_t(kMaxPictureSide); }

}  // namespace ambrel
