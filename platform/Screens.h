// The screens the platform shows, in the platform's order.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Geometry.h"

namespace ambrel {

struct Screen {
  Rect frame;      // in the same coordinates as the views' frames
  int number = 0;  // the screen's identity ("NSScreenNumber")
};

// These ask the current platform (platform/Platform.h).
std::vector<Screen> Screens();
Screen MainScreen();
// One bit per display, as a capture is restricted to displays.
uint32_t DisplayMaskForScreenNumber(int number);
// The number of the main display.
int MainDisplayNumber();

}  // namespace ambrel
