// Resizing a screen capture without OpenGL: the box filter of GLU's gluScaleImage
// for R, G, B, A bytes, to the byte.
#pragma once

#include <cstdint>

namespace ambrel {

// Scales widthIn x heightIn pixels of four bytes, rows packed, into widthOut x
// heightOut pixels at out. Every side must be at least 1.
void BoxScaleRGBA(const uint8_t* in, int widthIn, int heightIn, uint8_t* out, int widthOut, int heightOut);

}  // namespace ambrel
