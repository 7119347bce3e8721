// The modes that show the view on a display: full screen, a window, the preview
// window, the XScreenSaver hack and the Wayland wallpaper.
#pragma once

#include "tools/ambrel/CommandLine.h"

namespace ambrel {

// Translates the request for its engine (X11 full screen, window or preview, the
// XScreenSaver hack, or a Wayland saver, wallpaper or window) and runs it there.
// Returns the process exit status.
int RunViewMode(const RunRequest& request);

}  // namespace ambrel
