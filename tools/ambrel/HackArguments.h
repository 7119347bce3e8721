// XScreenSaver's side of the command line: how the daemon and its settings dialog
// name the window a hack draws into, and the window size and id forms.
#pragma once

#include <string>
#include <vector>

#include "platform/ScreenSaverView.h"

namespace ambrel {

struct HackOptions {
  bool root = false;        // -root: $XSCREENSAVER_WINDOW, else the real root window
  std::string windowId;     // -window-id: decimal or 0x-hex; wins over root
  std::string displayName;  // empty: $DISPLAY
  double shortestFrameSeconds = 0;  // from -delay
};

// True when the arguments ask for hack mode; takes -root/--root, -window-id ID /
// --window-id ID (also -window-id=ID) and -display/--display NAME out of
// arguments and leaves the rest in order. False with *error set when an option
// misses its value.
bool ParseHackArguments(int argc, const char* const* argv, HackOptions* options,
                        std::vector<std::string>* rest, std::string* error);

// "WxH" with both sides at least 1 and at most 16384.
bool ParseWindowSize(const std::string& text, int* width, int* height);

// A window id as XScreenSaver writes it: "0x" hex or decimal, non-zero.
bool ParseWindowId(const std::string& text, unsigned long* id);

// True when an X display is named ($DISPLAY set and not empty).
bool HasDisplay();

// Runs the hack in the window the options name (a preview when given by id), else
// in $XSCREENSAVER_WINDOW, else in the root window. Returns the exit status.
int RunHack(const HackOptions& options, const ViewFactory& factory);

}  // namespace ambrel
