// The ScreenSaver framework's store of one module, for the one file that
// implements the core's ScreenSaverDefaults (which may not see the framework's
// class of the same name).
#import <Foundation/Foundation.h>

#include <string>

namespace cocoa {
NSUserDefaults* ModuleDefaults(NSString* moduleName);
// The file the module's store lives in, where this system lets us know it
// (GNUstep's defaults folder); "" where it does not.
std::string ModuleDefaultsFile(NSString* moduleName);
}  // namespace cocoa
