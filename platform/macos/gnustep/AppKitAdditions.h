// What the view uses of current AppKit that GNUstep 0.29 lacks, with Apple's names.
#import <AppKit/AppKit.h>

@interface NSWorkspace (AmbrelStandIn)
// GNUstep keeps no desktop picture: none, for every screen.
- (NSURL*)desktopImageURLForScreen:(NSScreen*)screen;
@end
