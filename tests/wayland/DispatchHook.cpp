// Preloaded into the program under test: the first blocking wl_display_dispatch
// runs the shell command in $DISPATCH_HOOK_COMMAND first and waits until the
// compositor has announced $DISPATCH_HOOK_OUTPUTS outputs in all, so that the
// announcements lie read and queued for the program when that dispatch runs,
// every time.
#include <dlfcn.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

namespace {

void CountOutput(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  if (std::strcmp(interface, "wl_output") == 0) ++*static_cast<int*>(data);
}
void Removed(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kListener = {CountOutput, Removed};

// The outputs the compositor announces, through a registry of our own on a
// queue of our own; the program's registry hears of the same outputs at once.
int OutputsAnnounced(wl_display* display) {
  wl_event_queue* queue = wl_display_create_queue(display);
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
  wl_registry* registry = wl_display_get_registry(wrapper);
  int outputs = 0;
  wl_registry_add_listener(registry, &kListener, &outputs);
  wl_display_roundtrip_queue(display, queue);
  wl_registry_destroy(registry);
  wl_proxy_wrapper_destroy(wrapper);
  wl_event_queue_destroy(queue);
  return outputs;
}

}  // namespace

extern "C" int wl_display_dispatch(wl_display* display) {
  using Dispatch = int (*)(wl_display*);
  static const Dispatch real = reinterpret_cast<Dispatch>(dlsym(RTLD_NEXT, "wl_display_dispatch"));
  static bool ran = false;

  const char* command = std::getenv("DISPATCH_HOOK_COMMAND");
  if (!ran && command && *command) {
    ran = true;
    if (std::system(command) != 0) _exit(99);
    const char* wanted = std::getenv("DISPATCH_HOOK_OUTPUTS");
    const int outputs = wanted ? std::atoi(wanted) : 0;
    // A deadline for a hang only.
    for (int attempt = 0; OutputsAnnounced(display) < outputs; ++attempt) {
      if (attempt == 2000) _exit(98);
      usleep(10000);
    }
  }
  return real(display);
}
