#import <AppKit/AppKit.h>

#include "platform/macos/gnustep/CoreGraphicsStandIn.h"

CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display) {
  return display < 32 ? 1u << display : 0u;
}

CGDirectDisplayID CGMainDisplayID(void) {
  NSNumber* number = [[[NSScreen mainScreen] deviceDescription] objectForKey:@"NSScreenNumber"];
  return number ? [number unsignedIntValue] : 0;
}

CGImageRef CGDisplayCreateImage(CGDirectDisplayID) {
  return NULL;
}

void CGImageRelease(CGImageRef) {}
