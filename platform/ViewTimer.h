// A view's animation timer as an engine keeps it: started and stopped by the view,
// ticked by a loop that sleeps until next. All times in the engine's monotonic seconds.
#pragma once

#include <algorithm>
#include <cmath>

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
