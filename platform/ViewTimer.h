// A view's animation timer as an engine keeps it: started and stopped by the view,
// ticked by a loop that sleeps until next; and the loop's round over its views,
// which both the X11 and the Wayland engine run. All times in the engine's
// monotonic seconds.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace ambrel {

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

// One round of an engine's loop over its views. Host::pace() is the view's pace,
// or null while the host has no running view; Host::view its view. The list is
// the engine's hosts as they were when the round began: animating may dispatch.
template <class Host, class Clock>
void AnimateDueViews(const std::vector<Host*>& hosts, Clock clock) {
  double now = clock();
  for (Host* host : hosts) {
    ViewPace* pace = host->pace();
    if (!pace || !pace->Due(now)) continue;
    host->view->animateOneFrame();
    now = clock();
    pace->timer.tick(now);
  }
}

// The poll() timeout in milliseconds until the next due view, or until wakeAt
// (the engine's own next chore; negative: none); -1 when only an event can help.
template <class Host, class Clock>
int PollTimeout(const std::vector<Host*>& hosts, Clock clock, double wakeAt = -1) {
  double next = wakeAt;
  for (Host* host : hosts) {
    const ViewPace* pace = host->pace();
    if (pace && pace->Drawable() && (next < 0 || pace->timer.next < next)) next = pace->timer.next;
  }
  if (next < 0) return -1;
  return static_cast<int>(std::ceil(std::max(0.0, next - clock()) * 1000.0));
}

}  // namespace ambrel
