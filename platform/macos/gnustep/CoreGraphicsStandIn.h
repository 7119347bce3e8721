// The few Core Graphics display calls the view makes that GNUstep lacks, with
// Apple's names and types. A display is named by its NSScreenNumber.
#pragma once

#include <stdint.h>

typedef uint32_t CGDirectDisplayID;
typedef uint32_t CGOpenGLDisplayMask;
typedef struct CGImage* CGImageRef;

CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display);
CGDirectDisplayID CGMainDisplayID(void);
// GNUstep has no display capture: as on a Mac without the screen-recording
// permission, there is no image.
CGImageRef CGDisplayCreateImage(CGDirectDisplayID display);
void CGImageRelease(CGImageRef image);
