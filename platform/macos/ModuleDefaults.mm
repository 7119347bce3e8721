#import "platform/macos/Cocoa.h"
#import <ScreenSaver/ScreenSaver.h>

#import "platform/macos/ModuleDefaults.h"

namespace cocoa {
NSUserDefaults* ModuleDefaults(NSString* moduleName) {
  return [ScreenSaverDefaults defaultsForModuleWithName:moduleName];
}
}  // namespace cocoa
