// Renders the real view off-screen, driven as the screen-saver engine drives it,
// and writes frames as PNG files.
#pragma once

#include "tools/ambrel/RenderOptions.h"

namespace ambrel {

// The overrides a render gives its view: the render's settings in place of the
// store, and its background picture (or none) as the desktop-picture preference.
AmbrelViewOverrides RenderViewOverrides(const RenderOptions& options);

// Returns the process exit status: 0 when every requested file was written.
int RunRenderMode(const RenderOptions& options);

}  // namespace ambrel
