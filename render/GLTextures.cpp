#include "render/GLTextures.h"

#include <epoxy/gl.h>

namespace ambrel {

void ReadGLTextures(const SceneFrame& frame, CpuTextures* textures) {
  for (uint32_t name : {frame.backgroundTexture, frame.badge.texture, frame.caption.texture, frame.banner.texture}) {
    if (name == 0 || textures->count(name)) continue;
    glBindTexture(GL_TEXTURE_2D, name);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width <= 0 || height <= 0) continue;
    CpuTexture& texture = (*textures)[name];
    texture.width = width;
    texture.height = height;
    texture.rgba.resize(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texture.rgba.data());
  }
}

}  // namespace ambrel
