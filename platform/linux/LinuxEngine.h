// The Linux screen-saver engine (X11 and GLX underneath): runs views full-screen,
// in a window, or as an XScreenSaver hack. Everything runs on the calling thread;
// each Run function returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "platform/ScreenSaverView.h"

enum class StandAloneKind {
  FullScreen,  // one view per monitor; input, SIGINT or SIGTERM ends it
  Window,      // one ordinary window for trying it out
  Preview,     // a small window whose view has isPreview true
};

struct StandAloneOptions {
  StandAloneKind kind = StandAloneKind::FullScreen;
  int width = 0;            // window size for Window and Preview; 0: the default
  int height = 0;
  std::string displayName;  // empty: $DISPLAY
};

int RunStandAlone(const StandAloneOptions& options, const ViewFactory& factory);

// An XScreenSaver hack: draws into a window it is given and never maps its own.
struct HackOptions {
  bool root = false;        // -root: $XSCREENSAVER_WINDOW, else the real root window
  std::string windowId;     // -window-id: decimal or 0x-hex; wins over root
  std::string displayName;  // empty: $DISPLAY
};

int RunHack(const HackOptions& options, const ViewFactory& factory);

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
