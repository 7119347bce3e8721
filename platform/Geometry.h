// Rectangles and sizes in screen coordinates (pixels, y growing downwards as the
// window system gives them), used the same way for screens and views.
#pragma once

namespace ambrel {

struct Size {
  double width = 0;
  double height = 0;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The common part of two rectangles; all zero when they do not overlap.
Rect IntersectionRect(Rect a, Rect b);
// True when the rectangle has no area (width or height zero or less).
bool IsEmptyRect(Rect r);

}  // namespace ambrel
