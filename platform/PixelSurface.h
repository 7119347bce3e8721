// A view's surface for frames drawn on the processor: the engine shows what is
// written into the buffer it lends, with no OpenGL anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Geometry.h"

namespace ambrel {

// Rows top first; each pixel four bytes B, G, R, X (a 32-bit 0xXXRRGGBB in the
// machine's order), which X11's 24-bit TrueColor and wl_shm's XRGB8888 show as
// they are. Empty (width or height 0) when there is nothing to draw into.
struct PixelBuffer {
  uint8_t* pixels = nullptr;
  int width = 0, height = 0;
  size_t stride = 0;  // bytes from one row to the next
};

class PixelSurface {
 public:
  virtual ~PixelSurface() = default;
  // The drawable's size in pixels (truncated); takes effect at the next Acquire.
  virtual void SetSize(Size size) = 0;
  // The buffer for the next frame, valid until Present.
  virtual PixelBuffer Acquire() = 0;
  // Shows the acquired buffer's frame.
  virtual void Present() = 0;
};

}  // namespace ambrel
