// A view's OpenGL drawing surface with its own context, as the engine creates it.
#pragma once

#include "platform/Geometry.h"

namespace ambrel {

// What a view asks of its drawing surface; the engine gives the closest it has.
struct SurfaceRequest {
  int colorBits = 32;  // red, green, blue and alpha together
  int alphaBits = 0;
  int depthBits = 0;
  int stencilBits = 0;
  bool doubleBuffer = false;
  bool accelerated = true;  // a hardware renderer where there is one
};

class GLSurface {
 public:
  virtual ~GLSurface() = default;
  // All OpenGL calls that follow go to this surface's context.
  virtual bool MakeCurrent() = 0;
  // The drawable's size in pixels (truncated); the context and its textures stay.
  virtual void SetSize(Size size) = 0;
  // glFlush, and a buffer swap when the surface is double-buffered.
  virtual void Flush() = 0;
};

}  // namespace ambrel
