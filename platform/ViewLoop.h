// What the X11 and the Wayland engines' loops share: each view's animation timer,
// the round that steps the views that are due, the sleep in poll() until the next
// one is, the pointer's hysteresis and a window's default size. One thread, one
// clock: the loop's, monotonic seconds unless a test drives it by hand.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Platform.h"

namespace ambrel {

// A view's animation timer: started and stopped by the view, ticked by the loop.
struct ViewTimer {
  double interval = 1.0 / 30.0;
  double next = 0;
  bool on = false;

  // The view's period; never below shortest (a user's -delay).
  void setInterval(double seconds, double shortest = 0) {
    interval = std::max(seconds > 0 && std::isfinite(seconds) ? seconds : 1.0 / 60.0, shortest);
  }
  void start(double now) {
    if (!on) next = now + interval;
    on = true;
  }
  void stop() { on = false; }
  // Behind schedule (a slow frame, a suspended machine): the next tick comes at
  // once, but missed ticks are not replayed one by one.
  void tick(double now) {
    next += interval;
    if (next < now) next = now;
  }
};

// Whether a view may draw now: its timer, whether anything of it can be seen,
// and whether the display has taken its last frame. A view that may not draw
// sets no wake-up: the event that shows it again wakes the loop.
struct ViewPace {
  ViewTimer timer;
  bool shown = true;        // mapped, not fully covered, the monitors on
  bool presenting = false;  // its last frame is out and the compositor has not asked for the next

  bool Drawable() const { return timer.on && shown && !presenting; }
  // A tick within half a millisecond of its time fires now rather than costing
  // one more wake-up.
  bool Due(double now) const { return Drawable() && timer.next <= now + 0.0005; }
};

class ViewLoop {
 public:
  using Clock = std::function<double()>;
  explicit ViewLoop(Clock clock = MonotonicSeconds) : clock_(std::move(clock)) {}

  double Now() const { return clock_(); }

  // One round over the views. Site::pace() is the view's pace, or null while the
  // site has no running view; Site::view its view. The list is the engine's sites
  // as they were when the round began: animating may dispatch.
  template <class Site>
  void AnimateDue(const std::vector<Site*>& sites) const {
    double now = Now();
    for (Site* site : sites) {
      ViewPace* pace = site->pace();
      if (!pace || !pace->Due(now)) continue;
      site->view->animateOneFrame();
      now = Now();
      pace->timer.tick(now);
    }
  }

  // The poll() timeout in milliseconds until the next due view, or until wakeAt
  // (the engine's own next chore; negative: none); -1 when only an event can help.
  template <class Site>
  int PollTimeout(const std::vector<Site*>& sites, double wakeAt = -1) const {
    double next = wakeAt;
    for (Site* site : sites) {
      const ViewPace* pace = site->pace();
      if (pace && pace->Drawable() && (next < 0 || pace->timer.next < next)) next = pace->timer.next;
    }
    if (next < 0) return -1;
    return static_cast<int>(std::ceil(std::max(0.0, next - Now()) * 1000.0));
  }

  // Sleeps in poll() on the connection and the signal pipe for at most timeout
  // milliseconds (-1: until one of them speaks). A signal or an interrupted poll
  // counts as woken.
  enum class Woken { Connection, Other, Failed };
  static Woken Sleep(int connection, int signals, int timeout);

 private:
  Clock clock_;
};

// XScreenSaver's own pointer hysteresis: smaller moves are a bumped desk.
class PointerHysteresis {
 public:
  static constexpr double kPixels = 10;
  // The pointer is here and has not moved: the place the next moves count from.
  void Rest(double x, double y) {
    known_ = true;
    x_ = x;
    y_ = y;
  }
  // True when the pointer is further than the hysteresis from where it rested;
  // the first place it is seen is where it rests.
  bool Moved(double x, double y) {
    if (!known_) {
      Rest(x, y);
      return false;
    }
    return std::abs(x - x_) > kPixels || std::abs(y - y_) > kPixels;
  }

 private:
  bool known_ = false;
  double x_ = 0, y_ = 0;
};

// A window's size when the command line gives none (0 for either side).
struct WindowSize {
  int width, height;
};
inline WindowSize WindowSizeOrDefault(int width, int height, bool preview) {
  const WindowSize fallback = preview ? WindowSize{400, 300} : WindowSize{1280, 720};
  return WindowSize{width > 0 ? width : fallback.width, height > 0 ? height : fallback.height};
}

// Installs an engine as the process's platform and leaves it as it was whichever
// way the run ends.
class PlatformInstalled {
 public:
  explicit PlatformInstalled(Platform* platform) { SetPlatform(platform); }
  ~PlatformInstalled() { SetPlatform(nullptr); }
  PlatformInstalled(const PlatformInstalled&) = delete;
  PlatformInstalled& operator=(const PlatformInstalled&) = delete;
};

}  // namespace ambrel
