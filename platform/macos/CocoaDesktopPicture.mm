// The desktop picture of each screen, from NSWorkspace (the old
// "com.apple.desktop" preference is gone from current systems).
#import "platform/macos/Cocoa.h"

#include <string>

#include "platform/DesktopPicture.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

namespace {

NSURL* DesktopImageURL(NSScreen* screen) {
#ifdef GNUSTEP
  // GNUstep keeps no desktop picture, and its shared workspace would start the
  // distributed-notification daemon for nothing.
  (void)screen;
  return nil;
#else
  return [[NSWorkspace sharedWorkspace] desktopImageURLForScreen:screen];
#endif
}

}  // namespace

std::optional<DesktopPicturePreference> ambrel::CocoaDesktopPictures() {
  DesktopPicturePreference preference;
  NSArray* screens = [NSScreen screens];
  for (NSScreen* screen : cocoa::Items<NSScreen*>(screens)) {
    NSURL* url = DesktopImageURL(screen);
    if (!url || ![url isFileURL]) continue;
    DesktopPictureEntry entry;
    entry.imageFilePath = std::string([[url path] fileSystemRepresentation]);
    NSNumber* number = [[screen deviceDescription] objectForKey:@"NSScreenNumber"];
    if (number) preference.entries[std::to_string([number intValue])] = entry;
    if (screen == [screens objectAtIndex:0]) preference.entries["default"] = entry;
  }
  if (preference.entries.empty()) return std::nullopt;
  return preference;
}
