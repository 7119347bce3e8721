// A view's OpenGL surface on X11: a GLX context drawing either into a child
// window of the view's own window (a visual chosen for the pixel format) or
// straight into a foreign window with that window's visual (XScreenSaver).
#pragma once

#include "platform/linux/X11Headers.h"

#include <cstdint>
#include <memory>
#include <string>

#include "platform/GLSurface.h"

namespace ambrel {

// The GLX attribute list for an NSOpenGL-style attribute list (colour, alpha,
// depth, stencil sizes and double buffering; policies and hints are ignored).
XVisualInfo* ChooseGlxVisual(Display* display, int screen, const SurfaceRequest& request);

class GlxSurface : public GLSurface {
 public:
  // A child of parent, size at least 1x1, mapped (shown once parent is).
  static std::unique_ptr<GlxSurface> CreateChild(Display* display, Window parent, Size size,
                                                 const SurfaceRequest& request, std::string* error);
  // Draws into window itself; its visual must support OpenGL.
  static std::unique_ptr<GlxSurface> CreateOnWindow(Display* display, Window window, std::string* error);

  ~GlxSurface() override;
  bool MakeCurrent() override;
  void SetSize(Size size) override;
  void Flush() override;

  bool doubleBuffered() const { return doubleBuffered_; }
  Window window() const { return window_; }

 private:
  GlxSurface() = default;
  // The window is gone (XScreenSaver destroyed it): a hidden stand-in of the same
  // visual lets the view still make its context current to release its textures.
  Window spareDrawable();

  Display* display_ = nullptr;
  Window window_ = None;
  bool ownsWindow_ = false;
  Colormap colormap_ = None;
  XVisualInfo visual_{};
  GLXContext context_ = nullptr;
  bool doubleBuffered_ = false;
  Window spare_ = None;
  Colormap spareColormap_ = None;
};

}  // namespace ambrel
