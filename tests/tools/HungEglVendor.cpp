// An EGL driver that never answers, as GLVND loads it: its entry point waits
// for ever, as a driver stuck on a dead GPU would.
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) unsigned __egl_Main(unsigned, const void*, void*, void*) {
  for (;;) pause();
}
