#include "platform/linux/X11Screens.h"

#include "platform/linux/X11Capture.h"

#include "platform/linux/X11Headers.h"

namespace ambrel {

namespace {

std::vector<X11Monitor> RandrMonitors(Display* display) {
  std::vector<X11Monitor> monitors;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor))
    return monitors;
  if (major < 1 || (major == 1 && minor < 5)) return monitors;
  int count = 0;
  XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
  if (!info) return monitors;
  for (int i = 0; i < count; ++i)
    monitors.push_back({Rect{double(info[i].x), double(info[i].y), double(info[i].width), double(info[i].height)},
                        info[i].primary != 0});
  XRRFreeMonitors(info);
  return monitors;
}

std::vector<X11Monitor> XineramaHeads(Display* display) {
  std::vector<X11Monitor> heads;
  int eventBase = 0, errorBase = 0;
  if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) return heads;
  int count = 0;
  XineramaScreenInfo* info = XineramaQueryScreens(display, &count);
  if (!info) return heads;
  // Xinerama knows no primary head; the first one is the main one.
  for (int i = 0; i < count; ++i)
    heads.push_back({Rect{double(info[i].x_org), double(info[i].y_org), double(info[i].width), double(info[i].height)},
                     i == 0});
  XFree(info);
  return heads;
}

}  // namespace

MonitorLayout LayoutFromMonitors(const std::vector<X11Monitor>& monitors) {
  MonitorLayout layout;
  int primary = -1;
  for (const X11Monitor& monitor : monitors) {
    if (IsEmptyRect(monitor.frame)) continue;
    const int index = static_cast<int>(layout.screens.size());
    layout.screens.push_back(Screen{monitor.frame, index + 1});
    if (monitor.primary && primary < 0) primary = index;
  }
  layout.mainIndex = primary < 0 ? 0 : primary;
  return layout;
}

std::vector<X11Monitor> QueryX11Monitors(Display* display) {
  std::vector<X11Monitor> randr = RandrMonitors(display);
  std::vector<X11Monitor> xinerama = XineramaHeads(display);
  // A server with Xinerama over several X screens has RandR on the first screen
  // only; prefer whichever sees more monitors, RandR on a tie (it knows the primary).
  if (!randr.empty() && randr.size() >= xinerama.size()) return randr;
  if (!xinerama.empty()) return xinerama;
  const int screen = DefaultScreen(display);
  return {{Rect{0, 0, double(DisplayWidth(display, screen)), double(DisplayHeight(display, screen))}, true}};
}

MonitorLayout QueryMonitorLayout(Display* display) {
  MonitorLayout layout = LayoutFromMonitors(QueryX11Monitors(display));
  if (layout.screens.empty()) {
    const int screen = DefaultScreen(display);
    layout = LayoutFromMonitors(
        {{Rect{0, 0, double(DisplayWidth(display, screen)), double(DisplayHeight(display, screen))}, true}});
  }
  return layout;
}

uint32_t DisplayMaskForNumber(int number) { return number >= 1 && number <= 32 ? 1u << (number - 1) : 0u; }

const Screen* ScreenForDisplayMask(const MonitorLayout& layout, uint32_t mask) {
  if (mask == 0) return nullptr;
  for (const Screen& screen : layout.screens)
    if (DisplayMaskForNumber(screen.number) & mask & (~mask + 1)) return &screen;
  return nullptr;
}

const Screen* ScreenForRect(const MonitorLayout& layout, Rect rect) {
  const double cx = rect.x + rect.width / 2, cy = rect.y + rect.height / 2;
  for (const Screen& screen : layout.screens) {
    const Rect& f = screen.frame;
    if (cx >= f.x && cx < f.x + f.width && cy >= f.y && cy < f.y + f.height) return &screen;
  }
  for (const Screen& screen : layout.screens)
    if (!IsEmptyRect(IntersectionRect(screen.frame, rect))) return &screen;
  return nullptr;
}

bool X11ScreensPlatform::captureScreen(uint32_t displayMask, CapturedImage* out) {
  const Screen* screen = display_ ? ScreenForDisplayMask(layout_, displayMask) : nullptr;
  return screen && CaptureRootRect(display_, screen->frame, out);
}

}  // namespace ambrel
