// The seam inside the macOS backend. Files that import Cocoa (and so, on a Mac,
// the QuickDraw `Rect`, `Size` and `Point` of MacTypes.h, and the ScreenSaver
// framework's `ScreenSaverView` and `ScreenSaverDefaults`) cannot see the core's
// headers, whose classes carry the same names; files that include the core's
// headers cannot import Cocoa. Both meet here, in plain C++ with names of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ambrel {
class SheetControl;
class SheetWindow;
}  // namespace ambrel

namespace cocoa {

struct Box {
  double x = 0, y = 0, width = 0, height = 0;
};

struct Display {
  Box frame;  // y growing downwards from the top of the main screen
  int number = 0;
};

struct SurfaceWish {
  int colorBits = 32;
  int alphaBits = 0;
  int depthBits = 0;
  int stencilBits = 0;
  bool doubleBuffer = false;
  bool accelerated = true;
};

// The NSOpenGLPixelFormat attribute words for a wish, 0-terminated.
std::vector<uint32_t> PixelFormatWords(const SurfaceWish& wish);

class Surface {
 public:
  virtual ~Surface() = default;
  virtual bool makeCurrent() = 0;
  virtual void resize(double width, double height) = 0;
  virtual void flush() = 0;
};

// The Objective-C view as its portable view sees it.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  virtual std::unique_ptr<Surface> createSurface(const SurfaceWish& wish) = 0;
  // The screen showing the view; false when it is on none.
  virtual bool screen(Display* out) = 0;
  virtual void timerIntervalChanged(double seconds) = 0;
  virtual void startTimer() = 0;
  virtual void stopTimer() = 0;
};

// The portable view as the Objective-C view sees it. Sizes are drawing sizes, in
// pixels of the backing store.
class ViewCore {
 public:
  // Null when the view cannot be made.
  static std::unique_ptr<ViewCore> Create(Box frame, bool isPreview, ViewHost& host);
  static bool PerformGammaFade();
  virtual ~ViewCore() = default;
  virtual void setFrameSize(double width, double height) = 0;
  virtual void startAnimation() = 0;
  virtual void stopAnimation() = 0;
  virtual void animateOneFrame() = 0;
  virtual bool hasConfigureSheet() = 0;
  virtual ambrel::SheetWindow* configureSheet() = 0;
  // The sheet's control behind one of the nine outlets; null before the sheet
  // is loaded or for another name.
  virtual ambrel::SheetControl* outlet(const std::string& name) = 0;
  // One line on what the view holds, for hosts that report on it:
  // "scene=0|1 overlay=0|1 textures=N,N,...".
  virtual std::string report() = 0;
};

// The Cocoa services the core's platform reads.
std::vector<Display> Displays();
Display MainDisplay();
uint32_t DisplayMask(int number);
int MainDisplayNumber();
// RGBA, bottom row first; false when the displays cannot be read.
bool CaptureDisplays(uint32_t mask, int* width, int* height, std::vector<uint8_t>* pixels);
// The plug-in bundle's resource "<name>.<type>", or empty.
std::string BundleResourcePath(const char* name, const char* type);

}  // namespace cocoa
