// Everything the view asks of the platform besides its own window: screens,
// display masks, the clock, the screen capture and the bundle. Each engine
// backend implements it and installs it for the process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Screens.h"

namespace ambrel {

// A screen's image: width x height pixels of R, G, B, A bytes, bottom row first,
// no row gaps.
struct CapturedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::vector<Screen> screens() = 0;
  virtual Screen mainScreen() = 0;
  virtual uint32_t displayMask(int screenNumber) = 0;
  virtual int mainDisplayNumber() = 0;
  // The frame clock, in seconds: it only runs forwards. The default reads
  // monotonicSeconds(), anchored once, at its first reading, to wallClockSeconds()
  // so that its readings (the random seed among them) still tell the date.
  virtual double absoluteTime();
  // Its sources. Defaults: SystemAbsoluteTime() and the system's steady clock.
  virtual double wallClockSeconds();
  virtual double monotonicSeconds();
  // The image of the display(s) in the mask, or false when it cannot be read.
  // May change the current OpenGL context.
  virtual bool captureScreen(uint32_t displayMask, CapturedImage* out) = 0;
  // Default: ResourcePathInDirectory(BundleResourceDirectory(), name, type).
  virtual std::string pathForResource(const char* name, const char* type);
  // Called again and again while a view waits on work it can give up (a picture
  // decoding): the engine takes the input and signals that end its run, and says
  // false once the run is ending. Default: true.
  virtual bool keepInputLive() { return true; }

 private:
  bool anchored_ = false;
  double wallAtAnchor_ = 0, monotonicAtAnchor_ = 0;
};

// Installs the engine's platform (not owned); null restores the built-in one,
// which has no screens, no capture, the system clock and the bundle lookup.
void SetPlatform(Platform* platform);
Platform& CurrentPlatform();

}  // namespace ambrel
