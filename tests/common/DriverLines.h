// How the test drivers report their life: one line per event on stdout, flushed
// at once so that a test reading from outside sees it as it happens.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace ambrel {

inline void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void Say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::putchar('\n');
  std::fflush(stdout);
}

}  // namespace ambrel
