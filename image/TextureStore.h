// Where the textures of the image code go: OpenGL texture objects of the current
// context, or memory that the CPU renderer samples. A view makes its store current
// together with its surface, as OpenGL makes a context current; textures are made
// and deleted in whichever store is current.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace ambrel {

enum class TexelFormat { kRGB, kRGBA };

class TextureStore {
 public:
  virtual ~TextureStore() = default;
  // A texture of width x height texels from rows of R, G, B (kRGB) or R, G, B, A
  // bytes, the first row first; returns its name (0 when none could be made).
  virtual uint32_t Create(int width, int height, TexelFormat format, const uint8_t* texels) = 0;
  // The same from R, G, B, A texels that the store may keep rather than copy.
  virtual uint32_t Adopt(int width, int height, std::vector<uint8_t>&& rgba) {
    return Create(width, height, TexelFormat::kRGBA, rgba.data());
  }
  // A screen capture: texels writes the texture's size and R, G, B, A bytes for a
  // store whose longest side is the one given, or returns false when there is
  // nothing to show. OpenGL's store takes it the way captures always went: a name
  // and its parameters first, deleted again when nothing comes.
  using CaptureTexels = std::function<bool(uint32_t largestSide, int* width, int* height, std::vector<uint8_t>* rgba)>;
  virtual uint32_t CreateCapture(const CaptureTexels& texels) {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    if (!texels(LargestSide(), &width, &height, &rgba)) return 0;
    return Adopt(width, height, std::move(rgba));
  }
  virtual void Delete(uint32_t name) = 0;
  // The longest side a texture of this store may have.
  virtual uint32_t LargestSide() = 0;
  // Whether the store's textures are OpenGL's, drawn by OpenGL in the current context.
  virtual bool IsOpenGL() const { return false; }
};

// OpenGL's store: texture objects of whatever context is current.
TextureStore& OpenGLTextureStore();

// The current store: OpenGL's unless another was made current.
TextureStore& CurrentTextureStore();
// Null makes OpenGL's store current again. The store must outlive its being current.
void MakeTextureStoreCurrent(TextureStore* store);

}  // namespace ambrel
