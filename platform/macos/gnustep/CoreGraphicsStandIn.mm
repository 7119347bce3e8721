#import <AppKit/AppKit.h>

#include "platform/macos/gnustep/CoreGraphicsStandIn.h"

CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display) {
  return display < 32 ? 1u << display : 0u;
}

// As on a Mac, the display with the menu bar: the first screen, not the one with
// the key window that mainScreen names.
CGDirectDisplayID CGMainDisplayID(void) {
  NSArray* screens = [NSScreen screens];
  NSNumber* number =
      [screens count] ? [[[screens objectAtIndex:0] deviceDescription] objectForKey:@"NSScreenNumber"] : nil;
  return number ? [number unsignedIntValue] : 0;
}

CGImageRef CGDisplayCreateImage(CGDirectDisplayID) {
  return NULL;
}

void CGImageRelease(CGImageRef) {}
