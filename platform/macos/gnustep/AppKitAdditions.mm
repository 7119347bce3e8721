#import "platform/macos/gnustep/AppKitAdditions.h"

@implementation NSWorkspace (AmbrelStandIn)
- (NSURL*)desktopImageURLForScreen:(NSScreen*)screen {
  (void)screen;
  return nil;
}
@end
