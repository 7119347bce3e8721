#include "platform/egl/OffscreenContext.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>

namespace ambrel {

namespace {

bool HasExtension(const char* extensions, const char* name) {
  if (!extensions) return false;
  const size_t length = std::strlen(name);
  for (const char* p = std::strstr(extensions, name); p; p = std::strstr(p + 1, name))
    if ((p == extensions || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  return false;
}

EGLDisplay Initialised(EGLDisplay display) {
  EGLint major = 0, minor = 0;
  if (display != EGL_NO_DISPLAY && eglInitialize(display, &major, &minor)) return display;
  return EGL_NO_DISPLAY;
}

// A GPU's own display, on a headless machine with a driver that offers EGL
// devices; Mesa's software device is left to the surfaceless platform below.
EGLDisplay DeviceDisplay(PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay) {
  const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!HasExtension(client, "EGL_EXT_platform_device") || !HasExtension(client, "EGL_EXT_device_enumeration"))
    return EGL_NO_DISPLAY;
  auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString =
      reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
  if (!queryDevices || !queryDeviceString) return EGL_NO_DISPLAY;
  EGLDeviceEXT devices[16];
  EGLint count = 0;
  if (!queryDevices(16, devices, &count)) return EGL_NO_DISPLAY;
  for (EGLint i = 0; i < count; ++i) {
    if (HasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software")) continue;
    const EGLDisplay display = Initialised(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
    if (display == EGL_NO_DISPLAY) continue;
    // Only a device that draws desktop OpenGL into pbuffers will do.
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint found = 0;
    if (eglChooseConfig(display, wanted, &config, 1, &found) && found > 0) return display;
    eglTerminate(display);
  }
  return EGL_NO_DISPLAY;
}

// One display for the process: eglTerminate would take every context with it,
// so the display is initialised once and left for the process's end.
EGLDisplay SharedDisplay(std::string* error) {
  static EGLDisplay display = EGL_NO_DISPLAY;
  static bool tried = false;
  if (tried) {
    if (display == EGL_NO_DISPLAY && error) *error = "no EGL display (neither a device nor surfaceless Mesa)";
    return display;
  }
  tried = true;
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) {
    if (error) *error = "eglGetPlatformDisplayEXT is missing";
    return EGL_NO_DISPLAY;
  }
  display = DeviceDisplay(getPlatformDisplay);
  if (display == EGL_NO_DISPLAY)
    display = Initialised(getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
  if (display == EGL_NO_DISPLAY && error)
    *error = "cannot initialise an EGL device or the surfaceless display (is libegl-mesa0 installed?)";
  return display;
}

std::string EglError(const char* what) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s failed (EGL error 0x%04x)", what, eglGetError());
  return buffer;
}

}  // namespace

struct OffscreenContext::Impl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  EGLSurface surface = EGL_NO_SURFACE;
  EGLContext context = EGL_NO_CONTEXT;
};

OffscreenContext::OffscreenContext() : impl_(new Impl) {}

OffscreenContext::~OffscreenContext() {
  if (impl_->display == EGL_NO_DISPLAY) return;
  if (eglGetCurrentContext() == impl_->context)
    eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (impl_->context != EGL_NO_CONTEXT) eglDestroyContext(impl_->display, impl_->context);
  if (impl_->surface != EGL_NO_SURFACE) eglDestroySurface(impl_->display, impl_->surface);
}

bool OffscreenContext::Valid() const { return impl_->context != EGL_NO_CONTEXT; }

bool OffscreenContext::Create(int width, int height, std::string* error) {
  if (width <= 0 || height <= 0) {
    if (error) *error = "the drawable size must be positive";
    return false;
  }
  impl_->display = SharedDisplay(error);
  if (impl_->display == EGL_NO_DISPLAY) return false;
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                     EGL_DEPTH_SIZE, 24, EGL_NONE};
  EGLint found = 0;
  if (!eglChooseConfig(impl_->display, configAttributes, &impl_->config, 1, &found) || found < 1) {
    if (error) *error = "no EGL pbuffer configuration for desktop OpenGL";
    return false;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    if (error) *error = EglError("eglBindAPI(EGL_OPENGL_API)");
    return false;
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  impl_->context = eglCreateContext(impl_->display, impl_->config, EGL_NO_CONTEXT, contextAttributes);
  if (impl_->context == EGL_NO_CONTEXT) {
    if (error) *error = EglError("eglCreateContext");
    return false;
  }
  return Resize(width, height, error);
}

bool OffscreenContext::Resize(int width, int height, std::string* error) {
  if (!Valid()) {
    if (error) *error = "no context";
    return false;
  }
  if (width <= 0 || height <= 0) {
    if (error) *error = "the drawable size must be positive";
    return false;
  }
  const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  EGLSurface surface = eglCreatePbufferSurface(impl_->display, impl_->config, surfaceAttributes);
  if (surface == EGL_NO_SURFACE) {
    if (error) *error = EglError("eglCreatePbufferSurface");
    return false;
  }
  EGLSurface old = impl_->surface;
  impl_->surface = surface;
  width_ = width;
  height_ = height;
  bool ok = MakeCurrent();
  if (old != EGL_NO_SURFACE) eglDestroySurface(impl_->display, old);
  if (!ok && error) *error = EglError("eglMakeCurrent");
  return ok;
}

bool OffscreenContext::MakeCurrent() {
  if (!Valid()) return false;
  return eglMakeCurrent(impl_->display, impl_->surface, impl_->surface, impl_->context) == EGL_TRUE;
}

std::vector<uint8_t> OffscreenContext::ReadPixelsTopDown() {
  std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
  if (!MakeCurrent() || pixels.empty()) return pixels;
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  const size_t row = static_cast<size_t>(width_) * 4;
  std::vector<uint8_t> swap(row);
  for (int y = 0; y < height_ / 2; ++y) {
    uint8_t* top = pixels.data() + row * y;
    uint8_t* bottom = pixels.data() + row * (height_ - 1 - y);
    std::memcpy(swap.data(), top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, swap.data(), row);
  }
  return pixels;
}

std::string OffscreenContext::Renderer() {
  if (!MakeCurrent()) return "";
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return renderer ? renderer : "";
}

}  // namespace ambrel
