#include "platform/linux/GlxSurface.h"

#include "platform/linux/X11Headers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/linux/X11Errors.h"

namespace ambrel {

namespace {

struct Request {
  int channelBits = 1;
  int alpha = 0;
  int depth = 0;
  int stencil = 0;
  bool doubleBuffer = false;
};

Request FromSurfaceRequest(const SurfaceRequest& surface) {
  Request request;
  // The colour size counts four channels.
  request.channelBits = std::clamp(surface.colorBits / 4, 1, 16);
  request.alpha = std::clamp(surface.alphaBits, 0, 16);
  request.depth = std::clamp(surface.depthBits, 0, 32);
  request.stencil = std::clamp(surface.stencilBits, 0, 16);
  request.doubleBuffer = surface.doubleBuffer;
  return request;
}

XVisualInfo* Choose(Display* display, int screen, const Request& request) {
  std::vector<int> list = {GLX_RGBA,
                           GLX_RED_SIZE, request.channelBits,
                           GLX_GREEN_SIZE, request.channelBits,
                           GLX_BLUE_SIZE, request.channelBits};
  if (request.alpha) list.insert(list.end(), {GLX_ALPHA_SIZE, request.alpha});
  if (request.depth) list.insert(list.end(), {GLX_DEPTH_SIZE, request.depth});
  if (request.stencil) list.insert(list.end(), {GLX_STENCIL_SIZE, request.stencil});
  if (request.doubleBuffer) list.push_back(GLX_DOUBLEBUFFER);
  list.push_back(None);
  return glXChooseVisual(display, screen, list.data());
}

// One swap per vertical blank, where the server's GLX lets a client ask for it.
void SwapAtVerticalBlank(Display* display, GLXDrawable drawable, GLXContext context) {
  const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
  auto has = [&](const char* name) {
    if (!extensions) return false;
    const size_t length = std::strlen(name);
    for (const char* at = extensions; (at = std::strstr(at, name)); at += length)
      if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
  };
  auto procedure = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
  if (has("GLX_EXT_swap_control")) {
    if (auto set = reinterpret_cast<void (*)(Display*, GLXDrawable, int)>(procedure("glXSwapIntervalEXT")))
      set(display, drawable, 1);
  } else if (has("GLX_MESA_swap_control") || has("GLX_SGI_swap_control")) {
    // These set the current drawable's interval.
    const bool mesa = has("GLX_MESA_swap_control");
    auto set = reinterpret_cast<int (*)(int)>(procedure(mesa ? "glXSwapIntervalMESA" : "glXSwapIntervalSGI"));
    if (set && glXMakeCurrent(display, drawable, context)) set(1);
  }
}

}  // namespace

XVisualInfo* ChooseGlxVisual(Display* display, int screen, const SurfaceRequest& surface) {
  Request request = FromSurfaceRequest(surface);
  if (XVisualInfo* exact = Choose(display, screen, request)) return exact;
  // Some servers offer only double-buffered visuals; Flush then swaps.
  request.doubleBuffer = !request.doubleBuffer;
  if (XVisualInfo* flipped = Choose(display, screen, request)) return flipped;
  request.alpha = request.depth = request.stencil = 0;
  request.channelBits = 1;
  return Choose(display, screen, request);
}

std::unique_ptr<GlxSurface> GlxSurface::CreateChild(Display* display, Window parent, Size size,
                                                    const SurfaceRequest& request, std::string* error) {
  XVisualInfo* info = ChooseGlxVisual(display, DefaultScreen(display), request);
  if (!info) {
    if (error) *error = "no OpenGL visual for the pixel format";
    return nullptr;
  }
  std::unique_ptr<GlxSurface> surface(new GlxSurface);
  surface->display_ = display;
  surface->visual_ = *info;
  XFree(info);

  X11ErrorTrap trap(display);
  surface->colormap_ = XCreateColormap(display, RootWindow(display, surface->visual_.screen),
                                       surface->visual_.visual, AllocNone);
  XSetWindowAttributes attributes{};
  attributes.colormap = surface->colormap_;
  attributes.background_pixel = BlackPixel(display, surface->visual_.screen);
  attributes.border_pixel = 0;
  const unsigned width = static_cast<unsigned>(std::max(1.0, size.width));
  const unsigned height = static_cast<unsigned>(std::max(1.0, size.height));
  surface->window_ = XCreateWindow(display, parent, 0, 0, width, height, 0, surface->visual_.depth, InputOutput,
                                   surface->visual_.visual, CWColormap | CWBackPixel | CWBorderPixel, &attributes);
  surface->ownsWindow_ = true;
  XMapWindow(display, surface->window_);
  surface->context_ = glXCreateContext(display, &surface->visual_, nullptr, True);
  if (trap.Sync() != 0 || !surface->context_) {
    if (error) *error = "cannot create an OpenGL context";
    return nullptr;
  }
  int doubleBuffer = 0;
  glXGetConfig(display, &surface->visual_, GLX_DOUBLEBUFFER, &doubleBuffer);
  surface->doubleBuffered_ = doubleBuffer != 0;
  if (surface->doubleBuffered_) SwapAtVerticalBlank(display, surface->window_, surface->context_);
  return surface;
}

std::unique_ptr<GlxSurface> GlxSurface::CreateOnWindow(Display* display, Window window, std::string* error) {
  XWindowAttributes attributes;
  X11ErrorTrap trap(display);
  if (!XGetWindowAttributes(display, window, &attributes) || trap.Sync() != 0) {
    if (error) *error = "the window does not exist";
    return nullptr;
  }
  XVisualInfo wanted{};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  wanted.screen = XScreenNumberOfScreen(attributes.screen);
  int count = 0;
  XVisualInfo* info = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count);
  if (!info || count < 1) {
    if (info) XFree(info);
    if (error) *error = "the window's visual is unknown";
    return nullptr;
  }
  std::unique_ptr<GlxSurface> surface(new GlxSurface);
  surface->display_ = display;
  surface->visual_ = info[0];
  XFree(info);
  int usesGL = 0;
  if (glXGetConfig(display, &surface->visual_, GLX_USE_GL, &usesGL) != 0 || !usesGL) {
    if (error) *error = "the window's visual does not support OpenGL (is the programs line marked \"GL:\"?)";
    return nullptr;
  }
  surface->window_ = window;
  surface->context_ = glXCreateContext(display, &surface->visual_, nullptr, True);
  if (trap.Sync() != 0 || !surface->context_) {
    if (error) *error = "cannot create an OpenGL context for the window";
    return nullptr;
  }
  int doubleBuffer = 0;
  glXGetConfig(display, &surface->visual_, GLX_DOUBLEBUFFER, &doubleBuffer);
  surface->doubleBuffered_ = doubleBuffer != 0;
  return surface;
}

GlxSurface::~GlxSurface() {
  if (!display_) return;
  X11ErrorTrap trap(display_);
  if (context_) {
    if (glXGetCurrentContext() == context_) glXMakeCurrent(display_, None, nullptr);
    glXDestroyContext(display_, context_);
  }
  if (ownsWindow_ && window_) XDestroyWindow(display_, window_);
  if (colormap_) XFreeColormap(display_, colormap_);
  if (spare_) XDestroyWindow(display_, spare_);
  if (spareColormap_) XFreeColormap(display_, spareColormap_);
}

Window GlxSurface::spareDrawable() {
  if (!spare_) {
    spareColormap_ = XCreateColormap(display_, RootWindow(display_, visual_.screen), visual_.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = spareColormap_;
    attributes.border_pixel = 0;
    spare_ = XCreateWindow(display_, RootWindow(display_, visual_.screen), 0, 0, 1, 1, 0, visual_.depth,
                           InputOutput, visual_.visual, CWColormap | CWBorderPixel, &attributes);
  }
  return spare_;
}

bool GlxSurface::MakeCurrent() {
  if (!context_) return false;
  const bool gone = !ownsWindow_ && WatchedWindowGone();
  return glXMakeCurrent(display_, gone ? spareDrawable() : window_, context_) == True;
}

void GlxSurface::SetSize(Size size) {
  // A foreign window's size belongs to its owner; GLX follows it by itself.
  if (!ownsWindow_ || !window_) return;
  const unsigned width = static_cast<unsigned>(std::max(1.0, size.width));
  const unsigned height = static_cast<unsigned>(std::max(1.0, size.height));
  XResizeWindow(display_, window_, width, height);
}

void GlxSurface::Flush() {
  glFlush();
  if (doubleBuffered_ && !(!ownsWindow_ && WatchedWindowGone())) glXSwapBuffers(display_, window_);
}

}  // namespace ambrel
