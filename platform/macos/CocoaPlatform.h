// The platform on Cocoa, as the plug-in's principal class installs and uses it:
// the platform for the process, the core's screen for an NSScreen and the pixel
// format for a surface request.
#pragma once

#import "platform/macos/Cocoa.h"

#include <cstdint>
#include <vector>

#include "platform/GLSurface.h"
#include "platform/Screens.h"

namespace ambrel {

// Installs the Cocoa platform and the NSAlert presenter for the process; again,
// changes nothing.
void InstallCocoaPlatform();
void InstallAlertPresenter();

// The screen's frame with y growing downwards from the top of the main screen.
Screen ScreenOf(NSScreen* screen);

// The NSOpenGLPixelFormat attribute words for a request, 0-terminated.
std::vector<uint32_t> PixelFormatWords(const SurfaceRequest& request);

}  // namespace ambrel
