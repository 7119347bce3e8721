// The monitors of an X display as screens: RandR 1.5 monitors or Xinerama heads,
// else the whole X screen. Screen numbers are the index in that order plus one,
// and a number's display mask is 1 << index.
#pragma once

#include "platform/linux/X11Headers.h"

#include <cstdint>
#include <vector>

#include "platform/Platform.h"
#include "platform/Screens.h"

namespace ambrel {

struct X11Monitor {
  Rect frame;
  bool primary = false;
};

struct MonitorLayout {
  std::vector<Screen> screens;
  int mainIndex = 0;  // the primary monitor, else the first; meaningless when empty
};

// Drops monitors without area, numbers the rest and picks the main one.
MonitorLayout LayoutFromMonitors(const std::vector<X11Monitor>& monitors);

std::vector<X11Monitor> QueryX11Monitors(Display* display);
MonitorLayout QueryMonitorLayout(Display* display);

// 1 << (number - 1) for numbers 1..32, else 0.
uint32_t DisplayMaskForNumber(int number);
// The screen whose display mask shares the lowest set bit of mask, or null.
const Screen* ScreenForDisplayMask(const MonitorLayout& layout, uint32_t mask);
// The screen holding the rectangle's centre, else the first it overlaps, or null.
const Screen* ScreenForRect(const MonitorLayout& layout, Rect rect);

// The screens half of a platform on an X display: monitors as screens, their masks,
// and the root window's pixels under a monitor as its capture.
class X11ScreensPlatform : public Platform {
 public:
  explicit X11ScreensPlatform(Display* display) : display_(display) {
    if (display_) layout_ = QueryMonitorLayout(display_);
  }
  std::vector<Screen> screens() override { return layout_.screens; }
  Screen mainScreen() override {
    return layout_.screens.empty() ? Screen{} : layout_.screens[static_cast<size_t>(layout_.mainIndex)];
  }
  uint32_t displayMask(int screenNumber) override { return DisplayMaskForNumber(screenNumber); }
  int mainDisplayNumber() override { return mainScreen().number; }
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override;

  Display* display() const { return display_; }
  const MonitorLayout& layout() const { return layout_; }

 protected:
  Display* display_;
  MonitorLayout layout_;
};

}  // namespace ambrel
