#include "platform/linux/X11Capture.h"
#include "platform/linux/WallpaperFiles.h"

#include "platform/linux/X11Headers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/UserFile.h"
#include "platform/linux/X11Errors.h"

namespace ambrel {

namespace {

struct Channel {
  int shift = 0;
  int bits = 0;
};

Channel ChannelOf(unsigned long mask) {
  Channel channel;
  if (mask == 0) return channel;
  while (!(mask & 1)) {
    mask >>= 1;
    ++channel.shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++channel.bits;
  }
  return channel;
}

uint8_t Expand(unsigned long pixel, Channel channel) {
  if (channel.bits == 0) return 0;
  const unsigned long value = (pixel >> channel.shift) & ((1ul << channel.bits) - 1);
  if (channel.bits >= 8) return static_cast<uint8_t>(value >> (channel.bits - 8));
  return static_cast<uint8_t>(value * 255 / ((1ul << channel.bits) - 1));
}

}  // namespace

bool CaptureDrawable(Display* display, Drawable drawable, Visual* visual, Colormap colormap, int x, int y,
                     int width, int height, CapturedImage* out) {
  if (!display || !visual || !out || width <= 0 || height <= 0) return false;
  XImage* image = nullptr;
  {
    X11ErrorTrap trap(display);
    image = XGetImage(display, drawable, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                      AllPlanes, ZPixmap);
    if (trap.Sync() != 0 && image) {
      XDestroyImage(image);
      image = nullptr;
    }
  }
  if (!image) return false;

  CapturedImage result;
  result.width = width;
  result.height = height;
  result.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);

  const bool direct = visual->c_class == TrueColor || visual->c_class == DirectColor;
  const Channel red = ChannelOf(visual->red_mask), green = ChannelOf(visual->green_mask),
                blue = ChannelOf(visual->blue_mask);
  // Colormapped visuals: each distinct pixel value is looked up once.
  std::map<unsigned long, XColor> lookedUp;
  if (!direct) {
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column) lookedUp[XGetPixel(image, column, row)] = XColor{};
    std::vector<XColor> colours;
    colours.reserve(lookedUp.size());
    for (const auto& entry : lookedUp) {
      XColor colour{};
      colour.pixel = entry.first;
      colours.push_back(colour);
    }
    X11ErrorTrap trap(display);
    XQueryColors(display, colormap, colours.data(), static_cast<int>(colours.size()));
    if (trap.Sync() != 0) {
      XDestroyImage(image);
      return false;
    }
    for (const XColor& colour : colours) lookedUp[colour.pixel] = colour;
  }

  const bool fast = direct && image->bits_per_pixel == 32 && red.bits == 8 && green.bits == 8 && blue.bits == 8 &&
                    image->byte_order == (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst);
  for (int row = 0; row < height; ++row) {
    // Bottom row first, as OpenGL reads a framebuffer.
    uint8_t* target = result.pixels.data() + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(width) * 4;
    const auto* source = reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(row) * image->bytes_per_line);
    for (int column = 0; column < width; ++column, target += 4) {
      if (fast) {
        const uint32_t pixel = source[column];
        target[0] = static_cast<uint8_t>(pixel >> red.shift);
        target[1] = static_cast<uint8_t>(pixel >> green.shift);
        target[2] = static_cast<uint8_t>(pixel >> blue.shift);
      } else if (direct) {
        const unsigned long pixel = XGetPixel(image, column, row);
        target[0] = Expand(pixel, red);
        target[1] = Expand(pixel, green);
        target[2] = Expand(pixel, blue);
      } else {
        const XColor& colour = lookedUp[XGetPixel(image, column, row)];
        target[0] = static_cast<uint8_t>(colour.red >> 8);
        target[1] = static_cast<uint8_t>(colour.green >> 8);
        target[2] = static_cast<uint8_t>(colour.blue >> 8);
      }
      target[3] = 255;
    }
  }
  XDestroyImage(image);
  *out = std::move(result);
  return true;
}

bool CaptureRootRect(Display* display, Rect rect, CapturedImage* out) {
  if (!display) return false;
  const int screen = DefaultScreen(display);
  const Rect root{0, 0, double(DisplayWidth(display, screen)), double(DisplayHeight(display, screen))};
  const Rect part = IntersectionRect(root, rect);
  if (IsEmptyRect(part)) return false;
  const int x = static_cast<int>(part.x), y = static_cast<int>(part.y);
  const int width = static_cast<int>(part.width), height = static_cast<int>(part.height);
  if (width <= 0 || height <= 0) return false;
  return CaptureDrawable(display, RootWindow(display, screen), DefaultVisual(display, screen),
                         DefaultColormap(display, screen), x, y, width, height, out);
}

bool CaptureScreenshotProperty(Display* display, Window window, const Rect* crop, CapturedImage* out) {
  if (!display || !window) return false;
  const Atom property = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Pixmap pixmap = None;
  {
    X11ErrorTrap trap(display);
    const int status = XGetWindowProperty(display, window, property, 0, 1, False, XA_PIXMAP, &type, &format,
                                          &count, &after, &data);
    if (trap.Sync() == 0 && status == Success && type == XA_PIXMAP && format == 32 && count == 1 && data)
      pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
  }
  if (pixmap == None) return false;

  Window root = None;
  int px = 0, py = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XWindowAttributes attributes;
  {
    X11ErrorTrap trap(display);
    const Status geometry = XGetGeometry(display, pixmap, &root, &px, &py, &width, &height, &border, &depth);
    const Status windowAttributes = XGetWindowAttributes(display, window, &attributes);
    if (trap.Sync() != 0 || !geometry || !windowAttributes || width == 0 || height == 0) return false;
  }
  // The pixmap holds pixels of the window's visual when depths agree; otherwise of
  // the screen's default visual.
  Visual* visual = attributes.visual;
  Colormap colormap = attributes.colormap;
  if (static_cast<unsigned>(attributes.depth) != depth) {
    visual = DefaultVisualOfScreen(attributes.screen);
    colormap = DefaultColormapOfScreen(attributes.screen);
  }
  int x = 0, y = 0, w = static_cast<int>(width), h = static_cast<int>(height);
  if (crop) {
    const Rect inside = IntersectionRect(Rect{0, 0, double(width), double(height)}, *crop);
    if (!IsEmptyRect(inside) && inside.width == crop->width && inside.height == crop->height) {
      x = static_cast<int>(inside.x);
      y = static_cast<int>(inside.y);
      w = static_cast<int>(inside.width);
      h = static_cast<int>(inside.height);
    }
  }
  return CaptureDrawable(display, pixmap, visual, colormap, x, y, w, h, out);
}

std::optional<bool> ReadResourceBool(const std::string& path, const char* name) {
  // XScreenSaver's files are some tens of kilobytes.
  const std::optional<std::string> contents = ReadConfigurationFile(path);
  if (!contents) return std::nullopt;
  std::optional<bool> value;
  for (std::string setting : ResourceValues(*contents, name)) {
    std::transform(setting.begin(), setting.end(), setting.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (setting == "true" || setting == "on" || setting == "yes" || setting == "1") value = true;
    else if (setting == "false" || setting == "off" || setting == "no" || setting == "0") value = false;
  }
  return value;
}

bool GrabDesktopImagesAllowed(const std::string& userFile, const std::string& appDefaultsFile) {
  if (std::optional<bool> user = ReadResourceBool(userFile, "grabDesktopImages")) return *user;
  if (std::optional<bool> system = ReadResourceBool(appDefaultsFile, "grabDesktopImages")) return *system;
  return false;
}

bool GrabDesktopImagesAllowed() {
  const char* home = std::getenv("HOME");
  const std::string userFile = home && *home ? std::string(home) + "/.xscreensaver" : std::string();
  return GrabDesktopImagesAllowed(userFile, "/etc/X11/app-defaults/XScreenSaver");
}

}  // namespace ambrel
