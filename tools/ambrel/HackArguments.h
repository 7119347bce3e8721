// XScreenSaver's side of the command line: how the daemon and its settings dialog
// name the window a hack draws into, and the size, geometry and window id forms.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ScreenSaverView.h"

namespace ambrel {

// Where a display mode shows the water and how fast at most, as XScreenSaver's
// options (-root, -window-id, -display, -delay, -geometry) and --window name it.
struct DisplayRequest {
  bool root = false;        // -root: $XSCREENSAVER_WINDOW, else the real root window
  std::string windowId;     // -window-id: decimal or 0x-hex; wins over root
  std::string displayName;  // empty: $DISPLAY
  double shortestFrameSeconds = 0;  // from -delay
  int width = 0;            // a window's size; 0: the engine's default
  int height = 0;
  std::optional<std::pair<int, int>> position;  // a window's top left on the screen
};

// True when the arguments ask for hack mode; takes -root/--root, -window-id ID /
// --window-id ID (also -window-id=ID) and -display/--display NAME out of
// arguments into *display and leaves the rest in order. False with *error set
// when an option misses its value.
bool ParseHackArguments(int argc, const char* const* argv, DisplayRequest* display,
                        std::vector<std::string>* rest, std::string* error);

// "WIDTHxHEIGHT" (or "WIDTHXHEIGHT"): decimal digits only, each side from 1 to
// kMaxPictureSide. Every size the program takes is read here.
bool ParseSize(const std::string& text, int* width, int* height);

// X geometry as XScreenSaver passes it: a size, optionally followed by "+X+Y".
bool ParseGeometry(const std::string& text, int* width, int* height, std::optional<std::pair<int, int>>* position);

// A window id as XScreenSaver writes it: "0x" hex or decimal, non-zero.
bool ParseWindowId(const std::string& text, unsigned long* id);

// True when an X display is named ($DISPLAY set and not empty).
bool HasDisplay();

// Runs the hack in the window the request names (a preview when given by id), else
// in $XSCREENSAVER_WINDOW, else in the root window. Returns the exit status.
int RunHack(const DisplayRequest& display, const ViewFactory& factory);

}  // namespace ambrel
