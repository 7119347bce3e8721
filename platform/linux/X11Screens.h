// The monitors of an X display as screens: RandR 1.5 monitors or Xinerama heads,
// else the whole X screen. Screen numbers are the index in that order plus one,
// and a number's display mask is 1 << index.
#pragma once

#include "platform/linux/X11Headers.h"

#include <cstdint>
#include <vector>

#include "platform/Screens.h"

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
