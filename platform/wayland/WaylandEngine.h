// The Wayland screen-saver engine (wayland-client, with EGL or wl_shm buffers
// underneath): one view per output on layer-shell surfaces, or xdg-shell
// windows. Everything runs on the calling thread; RunWayland returns the process
// exit code.
#pragma once

#include <string>

#include "platform/ScreenSaverView.h"

namespace ambrel {

enum class WaylandKind {
  Saver,      // above everything on every output; input, SIGINT or SIGTERM ends it
  Wallpaper,  // below everything on every output, no input; SIGINT or SIGTERM ends it
  Window,     // one ordinary window for trying it out
  Preview,    // a small window whose view has isPreview true
};

struct WaylandOptions {
  WaylandKind kind = WaylandKind::Saver;
  int width = 0;            // window size for Window and Preview; 0: the default
  int height = 0;
  std::string displayName;  // empty: $WAYLAND_DISPLAY
};

int RunWayland(const WaylandOptions& options, const ViewFactory& factory);

// The session is a Wayland one: $WAYLAND_DISPLAY names a display.
bool HasWaylandSession();

}  // namespace ambrel
