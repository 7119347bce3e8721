// The base every screen-saver view derives from, and what the engine gives it.
//
// Engine order for each view: create it (a window may exist but is not shown yet,
// so a screen capture made in the constructor sees the desktop); setFrameSize
// with the drawing size after creation and on every change; startAnimation; then
// animateOneFrame every animationTimeInterval() while isAnimating(); stopAnimation;
// destroy. All on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/GLSurface.h"
#include "platform/Geometry.h"
#include "platform/PixelSurface.h"
#include "platform/Screens.h"

namespace ambrel {

class SheetWindow;

// The view's window as the engine provides it.
class ViewSite {
 public:
  virtual ~ViewSite() = default;
  // A drawing surface as close to the request as the engine has; null when none
  // can be made.
  virtual std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) = 0;
  // A surface for frames drawn on the processor; null when the engine cannot show
  // them (then the view draws with OpenGL).
  virtual std::unique_ptr<PixelSurface> createPixelSurface() { return nullptr; }
  // The screen showing the view's window; null when it is on no screen.
  virtual const Screen* screen() = 0;
  // The view changed its animation period (seconds).
  virtual void timerIntervalChanged(double seconds) = 0;
  virtual void startTimer() = 0;
  virtual void stopTimer() = 0;
};

class ScreenSaverView {
 public:
  ScreenSaverView(Rect frame, bool isPreview, ViewSite& site);
  virtual ~ScreenSaverView();
  ScreenSaverView(const ScreenSaverView&) = delete;
  ScreenSaverView& operator=(const ScreenSaverView&) = delete;

  // Engine-facing. The base versions keep the size and run the timer.
  virtual void setFrameSize(Size size);
  virtual void startAnimation();
  virtual void stopAnimation();
  virtual void animateOneFrame();
  virtual bool hasConfigureSheet();
  // The configuration sheet, loaded on first use; null when there is none.
  virtual SheetWindow* configureSheet() { return nullptr; }

  bool isPreview() const { return isPreview_; }
  Rect frame() const { return frame_; }
  // The view's own rectangle: origin zero, the frame's size (the drawing size).
  Rect bounds() const { return Rect{0, 0, frame_.width, frame_.height}; }
  void setAnimationTimeInterval(double seconds);
  double animationTimeInterval() const { return animationTimeInterval_; }
  // True between the base's startAnimation and stopAnimation (the timer runs).
  bool isAnimating() const { return animating_; }
  ViewSite& site() { return site_; }

 private:
  Rect frame_;
  bool isPreview_;
  ViewSite& site_;
  double animationTimeInterval_ = 1.0 / 30.0;
  bool animating_ = false;
};

// How engines create views without knowing the view's class; null ends creation.
using ViewFactory = std::function<std::unique_ptr<ScreenSaverView>(Rect frame, bool isPreview, ViewSite& site)>;

}  // namespace ambrel
