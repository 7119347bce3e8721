// A view's textures for the CPU renderer: each one held once, as the renderer
// samples it, under the name the scene draws it by.
#pragma once

#include <cstdint>
#include <vector>

#include "image/TextureStore.h"
#include "render/CpuFrame.h"

namespace ambrel {

class CpuTextureStore : public TextureStore {
 public:
  uint32_t Create(int width, int height, TexelFormat format, const uint8_t* texels) override;
  uint32_t Adopt(int width, int height, std::vector<uint8_t>&& rgba) override;
  void Delete(uint32_t name) override { textures_.erase(name); }
  // Only what a picture may be: memory is the limit, not a graphics card.
  uint32_t LargestSide() override;

  const CpuTextures& textures() const { return textures_; }

 private:
  uint32_t NewName();
  CpuTextures textures_;
  uint32_t last_ = 0;
};

}  // namespace ambrel
