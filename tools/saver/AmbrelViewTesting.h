// What a test engine reads of the principal class beyond what any
// ScreenSaverView answers: what its portable view holds and the surface it asked for.
#pragma once

#import <Foundation/Foundation.h>

#include <cstdint>
#include <vector>

namespace ambrel {

struct ViewFacts {
  bool scene = false;    // the view made its scene
  bool overlay = false;  // and that scene draws the overlay
  // The OpenGL texture names the scene holds, the background's last.
  std::vector<uint32_t> textures;
  // The NSOpenGLPixelFormat attribute words of the view's surface, 0-terminated.
  std::vector<uint32_t> pixelFormat;
};

}  // namespace ambrel

@protocol AmbrelViewTesting
- (void)ambrelDescribe:(ambrel::ViewFacts*)facts;
@end
