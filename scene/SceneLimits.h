// What the scene takes of each numeric setting, and what becomes of a value
// outside: plain limits that the settings table points at, so that the scene
// keeps its own rules without knowing any table.
#pragma once

#include <cstdint>

#include "water/Water.h"

namespace ambrel {

// Outside its limits a value is held at the end it passed, or the usual value
// is taken instead.
enum class OutOfRange { kHeldAtEnd, kUsual };

struct SceneLimits {
  int64_t lowest = 0;
  int64_t highest = 0;
  int64_t usual = 0;  // the default, and the value kUsual takes
  OutOfRange below = OutOfRange::kHeldAtEnd;
  OutOfRange above = OutOfRange::kHeldAtEnd;
};

constexpr int64_t Accepted(const SceneLimits& limits, int64_t value) {
  if (value < limits.lowest) return limits.below == OutOfRange::kUsual ? limits.usual : limits.lowest;
  if (value > limits.highest) return limits.above == OutOfRange::kUsual ? limits.usual : limits.highest;
  return value;
}

// Water speed in hundredths. Faster than the water's stability limit the
// ripples grow without bound.
inline constexpr SceneLimits kWaterSpeedLimits{
    .lowest = 10,
    .highest = static_cast<int64_t>(kMaxStableWaterSpeed * 100.0f + 0.5f),
    .usual = 100,
    .below = OutOfRange::kUsual,
};

// The water grid's side as a power of two.
inline constexpr SceneLimits kWaterShiftLimits{
    .lowest = 4,
    .highest = 8,
    .usual = 6,
    .below = OutOfRange::kUsual,
    .above = OutOfRange::kUsual,
};

// Base interval between drops, in hundredths of a second. The longest is far
// beyond any useful setting, and low enough that dripSpeed + rand() % dripSpeed
// cannot overflow.
inline constexpr SceneLimits kDripSpeedLimits{
    .lowest = 1,
    .highest = int64_t{1} << 62,
    .usual = 250,
};

}  // namespace ambrel
