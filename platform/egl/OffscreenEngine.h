// A screen-saver engine without a display: views draw into EGL pbuffers, or into
// memory when they draw on the processor (no EGL display or context is made for
// those), the screens are a list given by the caller, the clock moves only when
// told to and each screen's capture is an image the caller supplies. Tests drive
// real views with it, and renders use it to produce frames.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/ScreenSaverView.h"

namespace ambrel {

class OffscreenEngine : public Platform {
 public:
  struct Options {
    bool preview = false;          // every view made by createViews is a preview
    double startTime = 800000000;  // the clock's first reading (seconds)
  };

  // The first screen is the main screen. Lays the engine over the current
  // platform (its pictures, store and alerts stay).
  explicit OffscreenEngine(std::vector<Screen> screens);
  OffscreenEngine(std::vector<Screen> screens, Options options);
  // Destroys the views, then takes the engine off the platform stack.
  ~OffscreenEngine() override;
  OffscreenEngine(const OffscreenEngine&) = delete;
  OffscreenEngine& operator=(const OffscreenEngine&) = delete;

  // What captureScreen yields for the screen with this number; none: no capture.
  void setCapture(int screenNumber, std::optional<CapturedImage> image);

  // One view per screen, with the screen's frame; then setFrameSize with its size.
  // Returns the number of views made (the factory may refuse with null).
  int createViews(const ViewFactory& factory);
  // One more view (a preview pane, say) shown on the screen with that number
  // (none: on no screen). Returns its index, or -1 when the factory refused.
  int addView(const ViewFactory& factory, Rect frame, bool isPreview, std::optional<int> screenNumber);

  void startAnimation();  // every view
  void stopAnimation();   // every view that still animates
  // animateOneFrame on every view whose timer runs, at the current time.
  void tick();
  // Moves the clock on by the first running view's interval (1/60 s when none)
  // and ticks, frames times.
  void runFrames(int frames);
  void destroyViews();

  double time() const { return now_; }
  void setTime(double seconds) { now_ = seconds; }
  void advance(double seconds) { now_ += seconds; }

  int viewCount() const { return static_cast<int>(views_.size()); }
  ScreenSaverView* view(int index);
  void resizeView(int index, Size size);  // setFrameSize, as a window resize does
  bool timerRunning(int index) const;
  double timerInterval(int index) const;
  int flushCount(int index) const;  // frames the view's surface has ended or presented
  bool hasSurface(int index) const;  // an OpenGL or a pixel surface
  int surfaceWidth(int index) const;
  int surfaceHeight(int index) const;
  // The view's drawable as RGBA rows, top row first; empty without a surface.
  std::vector<uint8_t> pixels(int index);
  // Makes the view's context current (to inspect its textures); false for a view
  // without an OpenGL surface.
  bool makeCurrent(int index);
  // Whether any view asked for an OpenGL surface (and so for an EGL context).
  bool madeGLContext() const { return madeGLContext_; }

  // Platform
  std::vector<Screen> screens() override { return screens_; }
  Screen mainScreen() override;
  uint32_t displayMask(int screenNumber) override;
  int mainDisplayNumber() override;
  double absoluteTime() override { return now_; }
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override;

 private:
  class Site;
  struct Slot;
  std::vector<Screen> screens_;
  Options options_;
  double now_;
  std::vector<std::pair<int, CapturedImage>> captures_;
  std::vector<std::unique_ptr<Slot>> views_;
  bool madeGLContext_ = false;
};

}  // namespace ambrel
