// A view's drawing surface on a wl_surface: a wl_egl_window with its own desktop
// OpenGL context on the engine's EGL display.
#pragma once

#include <epoxy/egl.h>
#include <wayland-client.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/GLSurface.h"

struct wl_egl_window;

namespace ambrel {

// The EGL display of one Wayland connection, initialised for desktop OpenGL.
class EglWaylandDisplay {
 public:
  explicit EglWaylandDisplay(wl_display* display);
  ~EglWaylandDisplay();
  EglWaylandDisplay(const EglWaylandDisplay&) = delete;
  EglWaylandDisplay& operator=(const EglWaylandDisplay&) = delete;
  bool valid() const { return display_ != EGL_NO_DISPLAY; }
  const std::string& error() const { return error_; }
  EGLDisplay display() const { return display_; }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  std::string error_;
};

class EglWindowSurface : public GLSurface {
 public:
  // scale: the output's buffer scale; size: the drawing size in pixels.
  static std::unique_ptr<EglWindowSurface> Create(const EglWaylandDisplay& egl, wl_surface* surface, Size size,
                                                  int scale, const SurfaceRequest& request, std::string* error);
  ~EglWindowSurface() override;
  bool MakeCurrent() override;
  void SetSize(Size size) override;
  void Flush() override;
  // A black frame, committed: a surface is mapped, and given the keyboard, by its
  // first buffer, and a view's first frame may wait seconds on a picture.
  void ShowBlack();
  // Called before each swap, while the frame's surface state is still open (a
  // frame callback asked for then comes with the frame's commit).
  void SetBeforeSwap(std::function<void()> call) { beforeSwap_ = std::move(call); }

 private:
  EglWindowSurface() = default;
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  struct wl_egl_window* window_ = nullptr;
  int width_ = 1, height_ = 1;
  std::function<void()> beforeSwap_;
};

}  // namespace ambrel
