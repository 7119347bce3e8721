#import <Foundation/Foundation.h>

// The defaults of one screen-saver module: a persistent domain of its own, named
// after the module, apart from the host program's.
@interface ScreenSaverDefaults : NSUserDefaults {
 @private
  NSString* _moduleName;
}
+ (id)defaultsForModuleWithName:(NSString*)moduleName;
@end
