// The record every image travels in on its way to the current texture store, and
// the uploads.
#pragma once

#include <cstdint>

namespace ambrel {

struct Texture {
  unsigned char* imageData = nullptr;  // from malloc; R, G, B(, A) rows
  uint32_t bpp = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t texID = 0;  // the texture's name in its store, 0 for none
  uint32_t type = 0;   // GL_RGB or GL_RGBA

  Texture() = default;
  ~Texture();  // frees the pixels and deletes the texture name
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;
};

bool BuildTexture(Texture* texture, int alphaMode);
bool BuildTGATextureWithAlpha(Texture* texture, char** alphaImage);
bool BuildTextureNoTran(Texture* texture);
bool LoadTexturesFromDataFile(const char* path, Texture** textures, int* count);

}  // namespace ambrel
