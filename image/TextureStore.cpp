#include "image/TextureStore.h"

#include <epoxy/gl.h>

namespace ambrel {

namespace {

class GLStore : public TextureStore {
 public:
  uint32_t Create(int width, int height, TexelFormat format, const uint8_t* texels) override {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, format == TexelFormat::kRGB ? GL_RGB : GL_RGBA,
                 GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
  }
  uint32_t CreateCapture(const CaptureTexels& texels) override {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    if (!texels(LargestSide(), &width, &height, &rgba)) {
      Delete(name);
      return 0;
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return name;
  }
  // Name 0 is passed on too: OpenGL ignores it.
  void Delete(uint32_t name) override {
    const GLuint texture = name;
    glDeleteTextures(1, &texture);
  }
  uint32_t LargestSide() override {
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return uint32_t(side);
  }
  bool IsOpenGL() const override { return true; }
};

TextureStore* current = nullptr;

}  // namespace

TextureStore& OpenGLTextureStore() {
  static GLStore store;
  return store;
}

TextureStore& CurrentTextureStore() { return current ? *current : OpenGLTextureStore(); }

void MakeTextureStoreCurrent(TextureStore* store) { current = store; }

}  // namespace ambrel
