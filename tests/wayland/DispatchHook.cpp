// Preloaded into the program under test: the first blocking wl_display_dispatch
// runs the shell command in $DISPATCH_HOOK_COMMAND first and then gives the
// compositor a moment, so that what the command makes the compositor announce
// lands inside that dispatch, every time.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

struct wl_display;

extern "C" int wl_display_dispatch(wl_display* display) {
  using Dispatch = int (*)(wl_display*);
  static const Dispatch real = reinterpret_cast<Dispatch>(dlsym(RTLD_NEXT, "wl_display_dispatch"));
  static bool ran = false;

  const char* command = std::getenv("DISPATCH_HOOK_COMMAND");
  if (!ran && command && *command) {
    ran = true;
    if (std::system(command) != 0) _exit(99);
    usleep(300000);
  }
  return real(display);
}
