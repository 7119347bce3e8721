#import "platform/macos/Cocoa.h"
#import <ScreenSaver/ScreenSaver.h>

#import "platform/macos/ModuleDefaults.h"

namespace cocoa {
NSUserDefaults* ModuleDefaults(NSString* moduleName) {
  return [ScreenSaverDefaults defaultsForModuleWithName:moduleName];
}

std::string ModuleDefaultsFile(NSString* moduleName) {
#ifdef GNUSTEP
  NSString* root = GSDefaultsRootForUser(NSUserName());
  if (!root || !moduleName) return "";
  NSString* file = [[root stringByAppendingPathComponent:moduleName] stringByAppendingPathExtension:@"plist"];
  return [file fileSystemRepresentation];
#else
  // macOS keeps a screen saver's defaults through cfprefsd, in files of its own
  // choosing (per host, per container): not ours to name.
  (void)moduleName;
  return "";
#endif
}
}  // namespace cocoa
