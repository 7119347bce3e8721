// The platform on Cocoa, as the plug-in's principal class installs and uses it:
// the platform for the process, the core's screen for an NSScreen and the pixel
// format for a surface request; and the Cocoa services it gives the core, each
// defined beside the Cocoa code it uses.
#pragma once

#import "platform/macos/Cocoa.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopPicture.h"
#include "platform/GLSurface.h"
#include "platform/Pictures.h"
#include "platform/Screens.h"

namespace ambrel {

class ScreenSaverDefaults;
class SheetServices;

// Installs the Cocoa platform for the process; again, changes nothing.
void InstallCocoaPlatform();

// The screen's frame with y growing downwards from the top of the main screen.
Screen ScreenOf(NSScreen* screen);

// The NSOpenGLPixelFormat attribute words for a request, 0-terminated.
std::vector<uint32_t> PixelFormatWords(const SurfaceRequest& request);

bool ReadPictureWithCocoa(const char* path, PictureBitmap* bitmap, std::string* why);
std::string CocoaPicturesFolder();
std::unique_ptr<ScreenSaverDefaults> OpenCocoaDefaults(const char* moduleName);
std::optional<DesktopPicturePreference> CocoaDesktopPictures();
// An NSAlert that does not wait: while the saver owns the screen a modal alert
// would stop the water behind a window no one may see.
void PresentCocoaAlert(const char* title, const char* message);
SheetServices& CocoaSheets();

}  // namespace ambrel
