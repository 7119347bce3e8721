// Draws a scene frame on the processor, without OpenGL, to what the fixed-function
// OpenGL path draws for the same frame: the same projection, per-vertex lighting
// (light 0, colour material), bilinear repeating textures modulated by the colour,
// source-alpha blending for the overlay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/PixelSurface.h"
#include "scene/SceneFrame.h"

namespace ambrel {

// Memory for the water's texture layout: large blocks start on a huge page and
// are offered to the system as huge pages, where it has them; its rows, read
// one after the other down the screen, each on a page of their own otherwise.
void* AllocateTexels(size_t bytes);
void FreeTexels(void* block, size_t bytes);
template <typename T>
struct TexelAllocator {
  using value_type = T;
  TexelAllocator() = default;
  template <typename U>
  TexelAllocator(const TexelAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateTexels(n * sizeof(T))); }
  void deallocate(T* block, size_t n) { FreeTexels(block, n * sizeof(T)); }
  template <typename U>
  bool operator==(const TexelAllocator<U>&) const { return true; }
  template <typename U>
  bool operator!=(const TexelAllocator<U>&) const { return false; }
};

// A texture's texels as R, G, B, A bytes, rows from the first uploaded on.
struct CpuTexture {
  int width = 0, height = 0;
  // When the water draws a texture with sides of powers of two, it takes the
  // texels into its own layout and empties rgba, so that one copy is kept; a new
  // picture put in rgba later is taken the same way.
  mutable std::vector<uint8_t> rgba;
  mutable std::vector<uint32_t, TexelAllocator<uint32_t>> padded;  // the water's layout
};

// The frame's textures by the names the frame uses; a name not here draws
// untextured, as an OpenGL texture name with no image does.
using CpuTextures = std::unordered_map<uint32_t, CpuTexture>;

// Takes texels (rows of R, G, B or R, G, B, A bytes, the first uploaded first)
// straight into the water's layout, for a texture whose sides (already set) are
// powers of two; false for any other, whose texels then belong in rgba. Throws
// std::bad_alloc as a vector does.
bool LayOutTexels(CpuTexture* texture, const uint8_t* texels, bool withAlpha);

// Whether an OpenGL renderer (GL_RENDERER) rasterises on the processor anyway.
bool IsSoftwareRasteriser(const std::string& renderer);

// The widest vectors, in bits, the water may be filled with where the processor
// has them: 512, 256, or 0 for none. Every route gives the same bytes. Returns
// the previous limit.
int LimitCpuFrameVectors(int bits);

// Whether the water's vector fills gather their texels (true) or load them and
// move them into place (false); by default (nullopt) the first rows drawn time
// the two and the cheaper is kept. Either gives the same bytes. Returns the
// previous setting.
std::optional<bool> PinCpuFrameGathers(std::optional<bool> gathers);

// Writes frame.width x frame.height R, G, B, A pixels, bottom row first (as
// glReadPixels reads them): the pixel buffer's frame, turned.
void DrawSceneFrameCpu(const SceneFrame& frame, const CpuTextures& textures, std::vector<uint8_t>* pixels);

// Draws the frame into a pixel surface's buffer at the buffer's size (the frame's
// own size is not used): the same pixels, rows top first, as B, G, R, X (X is the
// frame's alpha). Whatever the buffer held is drawn over or cleared.
void DrawSceneFrameCpu(const SceneFrame& frame, const CpuTextures& textures, const PixelBuffer& target);

}  // namespace ambrel
