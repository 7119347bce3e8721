// Renders the scene off-screen, exactly as the screen saver's host drives it, and
// writes frames as PNG files.
#pragma once

#include "tools/ambrel/RenderOptions.h"

// Returns the process exit status: 0 when every requested file was written.
int RunRenderMode(const RenderOptions& options);
