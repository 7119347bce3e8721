// An OpenGL compatibility context that needs no display: EGL on a GPU's EGL
// device where there is one, else on Mesa's surfaceless platform, drawing into a
// pbuffer of a given size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ambrel {

class OffscreenContext {
 public:
  OffscreenContext();
  ~OffscreenContext();
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;

  // Creates the context and its pbuffer and makes it current. On failure returns
  // false and says why in *error (when given).
  bool Create(int width, int height, std::string* error = nullptr);
  bool MakeCurrent();
  // Replaces the pbuffer with one of the new size; the context and its textures stay.
  bool Resize(int width, int height, std::string* error = nullptr);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Valid() const;

  // GL_RENDERER of the context: what the frames are drawn (and timed) on.
  std::string Renderer();

  // The whole drawable as RGBA rows, top row first (ready for an image file).
  std::vector<uint8_t> ReadPixelsTopDown();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace ambrel
