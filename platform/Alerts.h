// Alerts the user must acknowledge: a title, a message and one "OK" button.
#pragma once

namespace ambrel {

// Shows the alert as the current platform presents it (platform/Platform.h; at
// the bottom, one line on stderr); returns once it is acknowledged. While Ambrel
// owns the screen no one can answer a modal alert: it is then one line on stderr
// whatever the platform, and the caller goes on at once.
void ShowAlert(const char* title, const char* message);

// Held for as long as Ambrel covers the screen and takes its input: full screen,
// the XScreenSaver hack.
class ScreenOwnership {
 public:
  ScreenOwnership();
  ~ScreenOwnership();
  ScreenOwnership(const ScreenOwnership&) = delete;
  ScreenOwnership& operator=(const ScreenOwnership&) = delete;
};

}  // namespace ambrel
