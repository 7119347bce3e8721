#include "platform/wayland/EglWindowSurface.h"

#include <epoxy/gl.h>
#include <wayland-egl.h>

#include <algorithm>
#include <cstdio>

namespace ambrel {

namespace {

std::string EglError(const char* what) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s failed (EGL error 0x%04x)", what, eglGetError());
  return buffer;
}

}  // namespace

EglWaylandDisplay::EglWaylandDisplay(wl_display* display) {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay found = getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr)
                                        : eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display));
  EGLint major = 0, minor = 0;
  if (found == EGL_NO_DISPLAY || !eglInitialize(found, &major, &minor)) {
    error_ = EglError("eglInitialize on the Wayland display");
    return;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    error_ = EglError("eglBindAPI(EGL_OPENGL_API)");
    eglTerminate(found);
    return;
  }
  display_ = found;
}

EglWaylandDisplay::~EglWaylandDisplay() {
  if (display_ == EGL_NO_DISPLAY) return;
  eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglTerminate(display_);
  eglReleaseThread();
}

std::unique_ptr<EglWindowSurface> EglWindowSurface::Create(const EglWaylandDisplay& egl, wl_surface* surface,
                                                           Size size, int scale, const SurfaceRequest& request,
                                                           std::string* error) {
  if (!egl.valid()) {
    *error = egl.error();
    return nullptr;
  }
  const int colour = std::max(1, (request.colorBits - request.alphaBits) / 3);
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                               EGL_RED_SIZE, colour, EGL_GREEN_SIZE, colour, EGL_BLUE_SIZE, colour,
                               EGL_ALPHA_SIZE, request.alphaBits, EGL_DEPTH_SIZE, request.depthBits,
                               EGL_STENCIL_SIZE, request.stencilBits, EGL_NONE};
  EGLConfig configs[64];
  EGLint count = 0;
  if (!eglChooseConfig(egl.display(), attributes, configs, 64, &count) || count < 1) {
    *error = "no EGL window configuration for desktop OpenGL on this Wayland display";
    return nullptr;
  }
  // EGL lists the deepest first, but a compositor need not take 10-bit buffers, and
  // without alpha asked for, a buffer with alpha would let the compositor blend
  // what the drawing leaves: the exact depth asked for wins.
  EGLConfig config = configs[0];
  for (EGLint i = 0; i < count; ++i) {
    EGLint red = -1, alpha = -1;
    eglGetConfigAttrib(egl.display(), configs[i], EGL_RED_SIZE, &red);
    eglGetConfigAttrib(egl.display(), configs[i], EGL_ALPHA_SIZE, &alpha);
    if (red == colour && alpha == request.alphaBits) {
      config = configs[i];
      break;
    }
  }
  std::unique_ptr<EglWindowSurface> result(new EglWindowSurface);
  result->display_ = egl.display();
  result->width_ = std::max(1, int(size.width));
  result->height_ = std::max(1, int(size.height));
  wl_surface_set_buffer_scale(surface, std::max(1, scale));
  result->window_ = wl_egl_window_create(surface, result->width_, result->height_);
  if (!result->window_) {
    *error = "wl_egl_window_create failed";
    return nullptr;
  }
  result->surface_ = eglCreateWindowSurface(egl.display(), config,
                                            reinterpret_cast<EGLNativeWindowType>(result->window_), nullptr);
  if (result->surface_ == EGL_NO_SURFACE) {
    *error = EglError("eglCreateWindowSurface");
    return nullptr;
  }
  result->context_ = eglCreateContext(egl.display(), config, EGL_NO_CONTEXT, nullptr);
  if (result->context_ == EGL_NO_CONTEXT) {
    *error = EglError("eglCreateContext");
    return nullptr;
  }
  if (!result->MakeCurrent()) {
    *error = EglError("eglMakeCurrent");
    return nullptr;
  }
  // The engine paces the frames by its own frame callbacks: a swap must never
  // wait for one itself, as a hidden surface may never get it.
  eglSwapInterval(egl.display(), 0);
  return result;
}

EglWindowSurface::~EglWindowSurface() {
  if (display_ != EGL_NO_DISPLAY) {
    if (eglGetCurrentContext() == context_) eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
  }
  if (window_) wl_egl_window_destroy(window_);
}

bool EglWindowSurface::MakeCurrent() {
  return surface_ != EGL_NO_SURFACE && eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

void EglWindowSurface::SetSize(Size size) {
  width_ = std::max(1, int(size.width));
  height_ = std::max(1, int(size.height));
  if (window_) wl_egl_window_resize(window_, width_, height_, 0, 0);
}

void EglWindowSurface::ShowBlack() {
  if (!MakeCurrent()) return;
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  Flush();
}

void EglWindowSurface::Flush() {
  // A Wayland surface shows nothing until its buffer is committed: every frame swaps.
  glFlush();
  if (beforeSwap_) beforeSwap_();
  eglSwapBuffers(display_, surface_);
}

}  // namespace ambrel
