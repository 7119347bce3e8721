// Renders the real view off-screen, driven as the screen-saver engine drives it,
// and writes frames as PNG files.
#pragma once

#include "tools/ambrel/CommandLine.h"

namespace ambrel {

// Returns the process exit status: 0 when every requested file was written.
int RunRenderMode(const RunRequest& request);

}  // namespace ambrel
