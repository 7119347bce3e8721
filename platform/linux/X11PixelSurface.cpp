#include "platform/linux/X11PixelSurface.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "platform/linux/X11Errors.h"

namespace ambrel {

namespace {

// The largest side a frame has; a larger window shows this much of it.
constexpr int kLargestSide = 16384;

// Said once for the process, whatever the number of monitors: the reason
// frames do not go through shared memory.
bool saidPlain = false;
// The server could not map a segment of ours (a remote display, another IPC
// namespace): no later surface tries again.
bool serverRefusedSegments = false;

void SayOnce(const char* what) {
  if (saidPlain) return;
  saidPlain = true;
  std::fprintf(stderr, "ambrel: %s; frames go to the X server through XPutImage\n", what);
}

int Side(double length) {
  if (!std::isfinite(length) || length < 1) return 0;
  return int(std::min(length, double(kLargestSide)));
}

}  // namespace

bool ShowsPixelsAsTheyAre(Display* display, const Visual* visual, int depth) {
  if (!visual || (depth != 24 && depth != 32)) return false;
  if (visual->c_class != TrueColor || visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 ||
      visual->blue_mask != 0xff)
    return false;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  bool fourBytes = false;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) fourBytes = formats[i].bits_per_pixel == 32;
  if (formats) XFree(formats);
  return fourBytes;
}

std::unique_ptr<X11PixelSurface> X11PixelSurface::Create(Display* display, Window window, bool ownsWindow,
                                                         Size size) {
  XWindowAttributes attributes;
  {
    X11ErrorTrap trap(display);
    if (!XGetWindowAttributes(display, window, &attributes) || trap.Sync() != 0) return nullptr;
  }
  if (attributes.c_class == InputOnly) return nullptr;
  std::unique_ptr<X11PixelSurface> surface(new X11PixelSurface);
  surface->display_ = display;
  surface->foreign_ = !ownsWindow;
  surface->width_ = Side(size.width);
  surface->height_ = Side(size.height);
  if (ShowsPixelsAsTheyAre(display, attributes.visual, attributes.depth)) {
    surface->target_ = window;
    surface->visual_ = attributes.visual;
    surface->depth_ = attributes.depth;
  } else if (ownsWindow) {
    // Our window has the screen's default visual, which does not take these
    // pixels: a child of one that does covers it.
    const int screen = XScreenNumberOfScreen(attributes.screen);
    XVisualInfo chosen{};
    for (int depth : {24, 32}) {
      XVisualInfo wanted{};
      wanted.screen = screen;
      wanted.depth = depth;
      wanted.c_class = TrueColor;
      int count = 0;
      XVisualInfo* infos =
          XGetVisualInfo(display, VisualScreenMask | VisualDepthMask | VisualClassMask, &wanted, &count);
      for (int i = 0; i < count && !chosen.visual; ++i)
        if (ShowsPixelsAsTheyAre(display, infos[i].visual, infos[i].depth)) chosen = infos[i];
      if (infos) XFree(infos);
      if (chosen.visual) break;
    }
    if (!chosen.visual) return nullptr;
    X11ErrorTrap trap(display);
    surface->colormap_ = XCreateColormap(display, RootWindow(display, screen), chosen.visual, AllocNone);
    XSetWindowAttributes child{};
    child.colormap = surface->colormap_;
    child.background_pixel = 0;
    child.border_pixel = 0;
    surface->target_ = XCreateWindow(display, window, 0, 0, unsigned(std::max(1, surface->width_)),
                                     unsigned(std::max(1, surface->height_)), 0, chosen.depth, InputOutput,
                                     chosen.visual, CWColormap | CWBackPixel | CWBorderPixel, &child);
    surface->ownsTarget_ = true;
    XMapWindow(display, surface->target_);
    surface->visual_ = chosen.visual;
    surface->depth_ = chosen.depth;
    if (trap.Sync() != 0) return nullptr;
  } else {
    return nullptr;
  }
  XGCValues values{};
  values.graphics_exposures = False;
  surface->gc_ = XCreateGC(display, surface->target_, GCGraphicsExposures, &values);

  int major = 0, minor = 0;
  Bool pixmaps = False;
  if (serverRefusedSegments) {
    surface->shm_ = false;
  } else if (int opcode = 0, event = 0, error = 0; !XQueryExtension(display, "MIT-SHM", &opcode, &event, &error) ||
                                                   !XShmQueryVersion(display, &major, &minor, &pixmaps)) {
    // Asked by name first: Xlib's own query complains on stderr of a missing one.
    SayOnce("the X server has no MIT-SHM");
  } else if (ImageByteOrder(display) != LSBFirst) {
    // Shared memory is shown as it lies; XPutImage reorders the bytes.
    SayOnce("the X server keeps its pixels in the other byte order");
  } else {
    surface->shm_ = true;
  }
  return surface;
}

X11PixelSurface::~X11PixelSurface() {
  if (!display_) return;
  X11ErrorTrap trap(display_);
  for (Image& image : images_) {
    ReleaseShared(image);
    DropImage(image);
  }
  if (gc_) XFreeGC(display_, gc_);
  if (ownsTarget_ && target_) XDestroyWindow(display_, target_);
  if (colormap_) XFreeColormap(display_, colormap_);
}

void X11PixelSurface::SetSize(Size size) {
  width_ = Side(size.width);
  height_ = Side(size.height);
  // A foreign window's size, and our top-level's, belong to whoever made them.
  if (ownsTarget_) XResizeWindow(display_, target_, unsigned(std::max(1, width_)), unsigned(std::max(1, height_)));
}

void X11PixelSurface::DropImage(Image& image) {
  if (!image.image) return;
  // The memory is not Xlib's to free.
  image.image->data = nullptr;
  XDestroyImage(image.image);
  image.image = nullptr;
}

void X11PixelSurface::ReleaseShared(Image& image) {
  if (!image.segment.shmaddr) return;
  // The server reads an earlier put before it takes the detach; our own mapping
  // can go at once, the segment lives on until both have let go.
  XShmDetach(display_, &image.segment);
  shmdt(image.segment.shmaddr);
  image.segment = XShmSegmentInfo{};
  image.capacity = 0;
  image.putPending = false;
  DropImage(image);
}

void X11PixelSurface::FallBackToPlain(const char* why) {
  SayOnce(why);
  shm_ = false;
  for (Image& image : images_) ReleaseShared(image);
}

bool X11PixelSurface::FitShared(Image& image, int width, int height) {
  if (image.image && image.image->width == width && image.image->height == height) return true;
  const size_t bytes = size_t(width) * 4 * size_t(height);
  // A window resized every frame keeps its segments while it changes within
  // them; one that shrank a lot gives the memory back.
  if (image.capacity < bytes || image.capacity / 4 > bytes) {
    ReleaseShared(image);
    const size_t page = size_t(sysconf(_SC_PAGESIZE) > 0 ? sysconf(_SC_PAGESIZE) : 4096);
    const size_t capacity = (bytes + bytes / 8 + page - 1) / page * page;
    const int id = shmget(IPC_PRIVATE, capacity, IPC_CREAT | 0600);
    if (id < 0) {
      FallBackToPlain("no shared memory segment for the frame could be made");
      return false;
    }
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      FallBackToPlain("no shared memory segment for the frame could be mapped");
      return false;
    }
    image.segment.shmid = id;
    image.segment.shmaddr = static_cast<char*>(address);
    image.segment.readOnly = True;
    int refused = 0;
    {
      X11ErrorTrap trap(display_);
      XShmAttach(display_, &image.segment);
      refused = trap.Sync();
    }
    // Gone from the system once both sides let go, however the process ends.
    shmctl(id, IPC_RMID, nullptr);
    if (refused != 0) {
      shmdt(address);
      image.segment = XShmSegmentInfo{};
      serverRefusedSegments = true;
      FallBackToPlain("the X server cannot map our shared memory (a remote display?)");
      return false;
    }
    image.capacity = capacity;
  }
  DropImage(image);
  image.image = XShmCreateImage(display_, visual_, unsigned(depth_), ZPixmap, image.segment.shmaddr, &image.segment,
                                unsigned(width), unsigned(height));
  if (!image.image || size_t(image.image->bytes_per_line) * size_t(height) > image.capacity) {
    FallBackToPlain("the X server's shared image does not fit its segment");
    return false;
  }
  return true;
}

bool X11PixelSurface::FitPlain(Image& image, int width, int height) {
  if (image.image && image.image->width == width && image.image->height == height) return true;
  const size_t stride = size_t(width) * 4;
  const size_t bytes = stride * size_t(height);
  DropImage(image);
  if (image.capacity < bytes || image.capacity / 4 > bytes) {
    image.plain.reset();
    image.capacity = 0;
    image.plain.reset(new (std::nothrow) uint8_t[bytes]);
    if (!image.plain) {
      std::fprintf(stderr, "ambrel: no memory for a frame of %dx%d\n", width, height);
      return false;
    }
    image.capacity = bytes;
  }
  image.image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char*>(image.plain.get()),
                             unsigned(width), unsigned(height), 32, int(stride));
  if (!image.image) return false;
  // B, G, R, X in memory is a 32-bit pixel least significant byte first; Xlib
  // reorders it for a server that keeps the other order.
  image.image->byte_order = LSBFirst;
  return true;
}

void X11PixelSurface::WaitUntilRead(Image& image) {
  if (!image.putPending) return;
  // The completion event the put asked for (or anything later) tells that the
  // server is done; it usually came while the loop slept.
  auto read = [&] { return long(LastKnownRequestProcessed(display_) - image.putSerial) >= 0; };
  if (!read()) XEventsQueued(display_, QueuedAfterReading);
  if (!read()) XSync(display_, False);
  image.putPending = false;
}

PixelBuffer X11PixelSurface::Acquire() {
  acquired_ = nullptr;
  if (width_ < 1 || height_ < 1) return PixelBuffer{};
  if (shm_) {
    Image& image = images_[0];
    if (FitShared(image, width_, height_)) {
      WaitUntilRead(image);
      acquired_ = &image;
    }
  }
  if (!shm_) {
    if (!FitPlain(images_[0], width_, height_)) return PixelBuffer{};
    acquired_ = &images_[0];
  }
  XImage* image = acquired_->image;
  return PixelBuffer{reinterpret_cast<uint8_t*>(image->data), image->width, image->height,
                     size_t(image->bytes_per_line)};
}

void X11PixelSurface::Present() {
  Image* acquired = acquired_;
  acquired_ = nullptr;
  if (!acquired || !acquired->image) return;
  // The daemon took its window away: nothing to show the frame in.
  if (foreign_ && WatchedWindowGone()) return;
  XImage* image = acquired->image;
  if (depth_ == 32) {
    // The fourth byte is alpha in a 32-bit visual: opaque, or a compositor
    // shows the desktop through the frame.
    for (int row = 0; row < image->height; ++row) {
      uint8_t* pixel = reinterpret_cast<uint8_t*>(image->data) + size_t(row) * size_t(image->bytes_per_line);
      for (int column = 0; column < image->width; ++column) pixel[size_t(column) * 4 + 3] = 0xff;
    }
  }
  const unsigned width = unsigned(image->width), height = unsigned(image->height);
  if (acquired->segment.shmaddr) {
    acquired->putSerial = NextRequest(display_);
    XShmPutImage(display_, target_, gc_, image, 0, 0, 0, 0, width, height, True);
    acquired->putPending = true;
  } else {
    XPutImage(display_, target_, gc_, image, 0, 0, 0, 0, width, height);
  }
  XFlush(display_);
}

}  // namespace ambrel
