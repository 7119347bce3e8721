// Absolute time in seconds, as a double.
#pragma once

namespace ambrel {

// The current platform's frame clock, which never runs backwards (an engine may
// drive it by hand, as tests do).
double CFAbsoluteTimeGetCurrent();

// The system's wall clock: seconds since 2001-01-01 00:00:00 UTC.
double SystemAbsoluteTime();

}  // namespace ambrel
