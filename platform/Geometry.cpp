#include "platform/Geometry.h"

#include <algorithm>

namespace ambrel {

Rect IntersectionRect(Rect a, Rect b) {
  if (IsEmptyRect(a) || IsEmptyRect(b)) return Rect{};
  const double left = std::max(a.x, b.x);
  const double top = std::max(a.y, b.y);
  const double right = std::min(a.x + a.width, b.x + b.width);
  const double bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return Rect{};
  return Rect{left, top, right - left, bottom - top};
}

bool IsEmptyRect(Rect r) { return !(r.width > 0) || !(r.height > 0); }

}  // namespace ambrel
