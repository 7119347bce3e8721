// Frames drawn on the processor shown in an X window with no OpenGL: through
// MIT-SHM where the server can map our memory, else through XPutImage.
#pragma once

#include "platform/linux/X11Headers.h"

#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>

#include "platform/PixelSurface.h"

namespace ambrel {

// Whether a window of this visual and depth shows B,G,R,X pixels as they are:
// 24- or 32-bit TrueColor with red, green and blue at 0xff0000, 0xff00, 0xff
// and four bytes a pixel.
bool ShowsPixelsAsTheyAre(Display* display, const Visual* visual, int depth);

class X11PixelSurface : public PixelSurface {
 public:
  // Draws into window when its visual shows the pixels as they are; else, for a
  // window of our own, into a child of it with a visual that does. Null when
  // neither can be had (a foreign window of another visual: the daemon's).
  static std::unique_ptr<X11PixelSurface> Create(Display* display, Window window, bool ownsWindow, Size size);

  ~X11PixelSurface() override;
  void SetSize(Size size) override;
  PixelBuffer Acquire() override;
  void Present() override;

 private:
  // One image the frames are written into: a shared segment, or our own memory.
  struct Image {
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    size_t capacity = 0;          // bytes of the segment or of plain
    std::unique_ptr<uint8_t[]> plain;
    unsigned long putSerial = 0;  // the request that last showed it; 0: none
    bool putPending = false;
  };

  X11PixelSurface() = default;
  bool FitShared(Image& image, int width, int height);
  bool FitPlain(Image& image, int width, int height);
  void ReleaseShared(Image& image);
  void DropImage(Image& image);
  // Returns once the server has read the image's last frame.
  void WaitUntilRead(Image& image);
  void FallBackToPlain(const char* why);

  Display* display_ = nullptr;
  Window target_ = None;  // where the frames go
  bool ownsTarget_ = false;
  bool foreign_ = false;  // the daemon's window, which may go away under us
  Visual* visual_ = nullptr;
  int depth_ = 24;
  Colormap colormap_ = None;
  GC gc_ = nullptr;
  bool shm_ = false;
  // One image: at 60 frames a second the server has long read a frame when the
  // next is drawn, and a second image would cost a whole frame of memory.
  Image images_[1];
  int width_ = 0, height_ = 0;  // as the view last said
  Image* acquired_ = nullptr;
};

}  // namespace ambrel
