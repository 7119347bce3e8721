// Small helpers the X11 tests share: a display connection, drawing and reading pixels.
#pragma once

#include "platform/linux/X11Headers.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

class TestDisplay {
 public:
  explicit TestDisplay(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
  ~TestDisplay() {
    if (display_) XCloseDisplay(display_);
  }
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;
  Display* get() const { return display_; }
  operator Display*() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }

 private:
  Display* display_;
};

// The first window from under down whose title (_NET_WM_NAME or WM_NAME) is
// name, or None.
inline Window FindWindowNamed(Display* display, Window under, const std::string& name) {
  for (const char* property : {"_NET_WM_NAME", "WM_NAME"}) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, under, XInternAtom(display, property, False), 0, 256, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success && data) {
      const bool same = format == 8 && std::string(reinterpret_cast<char*>(data), count) == name;
      XFree(data);
      if (same) return under;
    }
  }
  Window root = None, parent = None, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, under, &root, &parent, &children, &count)) return None;
  Window found = None;
  for (unsigned i = 0; i < count && !found; ++i) found = FindWindowNamed(display, children[i], name);
  if (children) XFree(children);
  return found;
}

inline void FillRect(Display* display, Drawable drawable, unsigned long pixel, int x, int y, int width, int height) {
  GC gc = XCreateGC(display, drawable, 0, nullptr);
  XSetForeground(display, gc, pixel);
  XFillRectangle(display, drawable, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFreeGC(display, gc);
  XSync(display, False);
}

// 0xRRGGBB values of a 24-bit TrueColor drawable, top row first.
inline std::vector<uint32_t> ReadRgb(Display* display, Drawable drawable, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  XImage* image = XGetImage(display, drawable, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (!image) return pixels;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, column, row) & 0xffffff));
  XDestroyImage(image);
  return pixels;
}

inline bool AllNonBlack(const std::vector<uint32_t>& pixels) {
  if (pixels.empty()) return false;
  for (uint32_t pixel : pixels)
    if (pixel == 0) return false;
  return true;
}

// Two RandR monitors side by side, each `width` wide (on a screen of twice that):
// the server's own output becomes the left one, the right one is primary.
// Monitors outlive the connection (XvfbServer starts its servers with -noreset).
inline bool SetSideBySideMonitors(Display* display, int width = 640) {
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  if (!resources || resources->noutput < 1) {
    if (resources) XRRFreeScreenResources(resources);
    return false;
  }
  XRRMonitorInfo* left = XRRAllocateMonitor(display, 1);
  left->name = XInternAtom(display, "LEFT", False);
  left->x = 0, left->y = 0, left->width = width, left->height = 480, left->mwidth = 160, left->mheight = 120;
  left->outputs[0] = resources->outputs[0];
  XRRSetMonitor(display, root, left);
  XRRMonitorInfo* right = XRRAllocateMonitor(display, 0);
  right->name = XInternAtom(display, "RIGHT", False);
  right->x = width, right->y = 0, right->width = width, right->height = 480, right->mwidth = 160, right->mheight = 120;
  right->primary = True;
  XRRSetMonitor(display, root, right);
  XSync(display, False);
  XFree(left);
  XFree(right);
  XRRFreeScreenResources(resources);
  return true;
}

}  // namespace ambrel
