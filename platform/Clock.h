// Absolute time in seconds, as a double.
#pragma once

namespace ambrel {

// The current platform's frame clock, which never runs backwards (an engine may
// drive it by hand, as tests do).
double CFAbsoluteTimeGetCurrent();

// The system's wall clock: seconds since 2001-01-01 00:00:00 UTC.
double SystemAbsoluteTime();

// The system's steady clock in seconds: it never runs backwards nor jumps with
// the date. What the engines time their views by and the programs measure with.
double MonotonicSeconds();

}  // namespace ambrel
