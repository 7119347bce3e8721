// The Cocoa services the plug-in's platform gives the core (platform/Platform.h),
// each defined beside the Cocoa code it uses.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/DesktopPicture.h"
#include "platform/Pictures.h"

namespace ambrel {

class ScreenSaverDefaults;
class SheetServices;

bool ReadPictureWithCocoa(const char* path, PictureBitmap* bitmap, std::string* why);
std::string CocoaPicturesFolder();
std::unique_ptr<ScreenSaverDefaults> OpenCocoaDefaults(const char* moduleName);
std::optional<DesktopPicturePreference> CocoaDesktopPictures();
// An NSAlert that does not wait: while the saver owns the screen a modal alert
// would stop the water behind a window no one may see.
void PresentCocoaAlert(const char* title, const char* message);
SheetServices& CocoaSheets();

}  // namespace ambrel
