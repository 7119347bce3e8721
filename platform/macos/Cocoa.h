// Cocoa as the macOS backend sees it: Apple's frameworks on a Mac; GNUstep's
// AppKit with our stand-ins for the ScreenSaver framework and the few Core
// Graphics and AppKit calls GNUstep lacks elsewhere.
#pragma once

#ifdef GNUSTEP
#import <AppKit/AppKit.h>
#import "platform/macos/gnustep/AppKitAdditions.h"
#include "platform/macos/gnustep/CoreGraphicsStandIn.h"
#else
#import <Cocoa/Cocoa.h>
#endif

#include <vector>

namespace cocoa {
// An array's objects for a range-for: GCC's Objective-C++ has no fast enumeration.
template <typename T = id>
std::vector<T> Items(NSArray* array) {
  std::vector<T> items;
  for (NSUInteger i = 0, count = [array count]; i < count; ++i) items.push_back((T)[array objectAtIndex:i]);
  return items;
}
}  // namespace cocoa
