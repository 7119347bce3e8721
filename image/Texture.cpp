#include "image/Texture.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "image/ResFile.h"
#include "image/TGALoader.h"
#include "image/TextureStore.h"

namespace ambrel {

Texture::~Texture() {
  std::free(imageData);
  imageData = nullptr;
  if (texID != 0) CurrentTextureStore().Delete(texID);
  texID = 0;
}

namespace {

// Counted in size_t: width x height x 4 passes 32 bits for pictures the decoders
// accept.
size_t PixelCount(const Texture* texture) { return size_t(texture->width) * texture->height; }

// Hands the converted texels to the current store, which may keep them, and lets
// the image's own bytes go.
void Store(Texture* texture, std::vector<uint8_t>&& rgba) {
  texture->texID = CurrentTextureStore().Adopt(int(texture->width), int(texture->height), std::move(rgba));
  std::free(texture->imageData);
  texture->imageData = nullptr;
}

}  // namespace

bool BuildTexture(Texture* texture, int alphaMode) {
  if (!texture || !texture->imageData) return false;
  const size_t sourceBpp = texture->type == GL_RGBA ? 4 : 3;
  const unsigned char* source = texture->imageData;
  const unsigned char key[3] = {source[0], source[1], source[2]};

  const size_t pixels = PixelCount(texture);
  std::vector<uint8_t> rgba;
  try {
    rgba.resize(pixels * 4);
  } catch (const std::bad_alloc&) {
    return false;
  }

  for (size_t i = 0; i < pixels; ++i) {
    const unsigned char* from = source + i * sourceBpp;
    unsigned char* to = rgba.data() + i * 4;
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
    if (texture->type == GL_RGBA) {
      to[3] = from[3];
    } else if (alphaMode == 1) {
      to[3] = (from[0] == key[0] && from[1] == key[1] && from[2] == key[2]) ? 0 : 255;
    } else if (alphaMode == 2) {
      unsigned char brightest = from[0];
      if (from[1] > brightest) brightest = from[1];
      if (from[2] > brightest) brightest = from[2];
      to[3] = brightest;
    } else {
      to[3] = 255;
    }
  }

  Store(texture, std::move(rgba));
  return true;
}

bool BuildTGATextureWithAlpha(Texture* texture, char** alphaImage) {
  if (!texture || !texture->imageData || !alphaImage || !*alphaImage) return false;
  const size_t pixels = PixelCount(texture);
  std::vector<uint8_t> rgba;
  try {
    rgba.resize(pixels * 4);
  } catch (const std::bad_alloc&) {
    return false;
  }

  const unsigned char* source = texture->imageData;
  const unsigned char* alpha = reinterpret_cast<const unsigned char*>(*alphaImage);
  for (size_t i = 0; i < pixels; ++i) {
    rgba[i * 4] = source[i * 3];
    rgba[i * 4 + 1] = source[i * 3 + 1];
    rgba[i * 4 + 2] = source[i * 3 + 2];
    rgba[i * 4 + 3] = alpha[i * 3];
  }

  Store(texture, std::move(rgba));
  return true;
}

bool BuildTextureNoTran(Texture* texture) {
  if (!texture || !texture->imageData) return false;
  texture->texID = CurrentTextureStore().Create(int(texture->width), int(texture->height),
                                                texture->type == GL_RGBA ? TexelFormat::kRGBA : TexelFormat::kRGB,
                                                texture->imageData);
  std::free(texture->imageData);
  texture->imageData = nullptr;
  return true;
}

bool LoadTexturesFromDataFile(const char* path, Texture** textures, int* count) {
  RESFILE* pack = new (std::nothrow) RESFILE;
  if (!pack) return false;
  if (!pack->Open(path) || pack->header.lumpCount > 0x7fffffffu) {
    delete pack;
    return false;
  }

  const int n = int(pack->header.lumpCount);
  Texture* loaded = new (std::nothrow) Texture[n];
  if (!loaded) {
    delete pack;
    return false;
  }
  *count = n;
  delete[] *textures;
  *textures = loaded;

  for (int i = 0; i < *count; ++i) {
    if (pack->lumps[i].kind != kLumpKindImage) continue;
    if (!pack->SeekLump(i) || !LoadTGA2(&(*textures)[i], &pack->file) ||
        !BuildTexture(&(*textures)[i], pack->lumps[i].alphaMode)) {
      pack->Close();
      delete pack;
      return false;
    }
  }
  pack->Close();
  delete pack;
  return true;
}

}  // namespace ambrel
