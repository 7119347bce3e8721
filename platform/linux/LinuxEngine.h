// The Linux screen-saver engine (X11 and GLX underneath): runs views full-screen,
// in a window, or as an XScreenSaver hack. Everything runs on the calling thread;
// each Run function returns the process exit code.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/ScreenSaverView.h"

namespace ambrel {

enum class StandAloneKind {
  FullScreen,  // one view per monitor; input, SIGINT or SIGTERM ends it
  Window,      // one ordinary window for trying it out
  Preview,     // a small window whose view has isPreview true
};

struct StandAloneOptions {
  StandAloneKind kind = StandAloneKind::FullScreen;
  int width = 0;            // window size for Window and Preview; 0: the default
  int height = 0;
  std::optional<std::pair<int, int>> position;  // the window's top left on the screen
  std::string displayName;  // empty: $DISPLAY
  double shortestFrameSeconds = 0;  // no view's timer runs faster than this
  // Whether the monitors are powered down, asked at most once a second while a
  // view draws or they sleep; empty: the X server's DPMS state.
  std::function<bool()> monitorsAsleep;
};

int RunStandAlone(const StandAloneOptions& options, const ViewFactory& factory);

// An XScreenSaver hack: draws into a window it is given and never maps its own.
struct HackTarget {
  unsigned long window = 0;  // 0: the display's root window
  bool preview = false;      // the settings dialog's preview window
  std::string displayName;   // empty: $DISPLAY
  double shortestFrameSeconds = 0;
};

int RunHack(const HackTarget& target, const ViewFactory& factory);

}  // namespace ambrel
