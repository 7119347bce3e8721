// How the engine lives with X errors: protocol errors are recorded (never fatal,
// unlike Xlib's default; each kind said once), a watched window that goes away is
// noticed, and a lost connection ends the process with a message instead of
// hanging or crashing.
#pragma once

#include "platform/linux/X11Headers.h"

namespace ambrel {

// Installs the handlers for the process (idempotent).
void InstallX11ErrorHandlers();

// While a trap lives, errors are collected for it instead of printed (it
// installs the engine's error handler for its lifetime when none is).
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
  // Waits for the server and returns the first error code seen since the trap
  // was made, or 0 (Success).
  int Sync();

 private:
  Display* display_;
  int savedCode_;
  int (*previousHandler_)(Display*, XErrorEvent*);
};

// Errors about this window (BadWindow, BadDrawable, GLX drawable errors) mark
// it gone; 0 stops watching.
void WatchWindow(unsigned long window);
bool WatchedWindowGone();
void MarkWatchedWindowGone();

}  // namespace ambrel
