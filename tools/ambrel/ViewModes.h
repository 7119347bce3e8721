// The modes that show the view on a display: full screen, a window, the preview
// window and the XScreenSaver hack.
#pragma once

#include "tools/ambrel/CommandLine.h"

namespace ambrel {

// The overrides the view gets in these modes: the stored settings (the defaults
// for XScreenSaver's programs line) with the command line's over them, and
// --background as the desktop picture.
AmbrelViewOverrides DisplayViewOverrides(const CommandLine& line);

// Returns the process exit status.
int RunViewMode(const CommandLine& line);

}  // namespace ambrel
