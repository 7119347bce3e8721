// Alerts the user must acknowledge: a title, a message and one "OK" button.
#pragma once

#include <functional>

using AlertPresenter = std::function<void(const char* title, const char* message)>;

// Shows the alert through the current presenter; returns once it is acknowledged.
void ShowAlert(const char* title, const char* message);

// Replaces the presenter. An empty one restores the default, which writes the title
// and message as one line on stderr (no display, XScreenSaver mode, renders, tests).
void SetAlertPresenter(AlertPresenter presenter);
