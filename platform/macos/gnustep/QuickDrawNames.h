// On a Mac, importing Cocoa brings MacTypes.h's QuickDraw names into the file;
// GNUstep has none. The plug-in's Objective-C++ is compiled with these on GNUstep
// too, so that a core name written there without ambrel:: fails here as it would
// on a Mac.
#pragma once

struct Rect {
  short top, left, bottom, right;
};
struct Point {
  short v, h;
};
typedef long Size;
