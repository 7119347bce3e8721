// An output's picture read through wlr-screencopy into shared memory, as RGBA rows
// bottom row first.
#pragma once

#include <wayland-client.h>

#include <cstdint>

#include "platform/Platform.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace ambrel {

// Waits on the display's default queue until the compositor has copied the
// output; version is the manager's bound version. False when it cannot, or
// offers no 32-bit shared-memory format.
bool CaptureOutput(wl_display* display, wl_shm* shm, zwlr_screencopy_manager_v1* manager, uint32_t version,
                   wl_output* output, CapturedImage* out);

}  // namespace ambrel
