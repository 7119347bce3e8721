// Alerts the user must acknowledge: a title, a message and one "OK" button.
#pragma once

#include <functional>

namespace ambrel {

using AlertPresenter = std::function<void(const char* title, const char* message)>;

// Shows the alert through the current presenter; returns once it is acknowledged.
// While Ambrel owns the screen no one can answer a modal alert: it is then one
// line on stderr whatever the presenter, and the caller goes on at once.
void ShowAlert(const char* title, const char* message);

// Replaces the presenter. An empty one restores the default, which writes the title
// and message as one line on stderr (no display, XScreenSaver mode, renders, tests).
void SetAlertPresenter(AlertPresenter presenter);

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
