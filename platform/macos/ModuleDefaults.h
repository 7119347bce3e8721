// The ScreenSaver framework's store of one module, for the one file that
// implements the core's ScreenSaverDefaults (which may not see the framework's
// class of the same name).
#import <Foundation/Foundation.h>

namespace cocoa {
NSUserDefaults* ModuleDefaults(NSString* moduleName);
}  // namespace cocoa
