// On a Mac, importing Cocoa brings MacTypes.h's QuickDraw names into the file;
// GNUstep has none. The Cocoa-side files of the backend are compiled with these
// on GNUstep too, so that a core header reaching one of them fails here as it
// would on a Mac.
#pragma once

struct Rect {
  short top, left, bottom, right;
};
struct Point {
  short v, h;
};
typedef long Size;
