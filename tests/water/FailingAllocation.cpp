#include "tests/water/FailingAllocation.h"

#include <new>

namespace {
int remaining = -1;
}

namespace ambrel {
void FailArrayAllocationAfter(int count) { remaining = count; }
}  // namespace ambrel

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (remaining == 0) {
    remaining = -1;
    return nullptr;
  }
  if (remaining > 0) --remaining;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
