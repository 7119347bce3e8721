// ambrel-virtual-pointer: moves and clicks a virtual pointer on the Wayland
// display, for tests on a compositor without input devices.
//   ambrel-virtual-pointer [wait MS | move DX DY | press]...
// The compositor hands the new pointer to its clients first; "wait" gives them
// the time to take it before the events that follow.
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace ambrel {

namespace {

constexpr uint32_t kLeftButton = 0x110;  // evdev BTN_LEFT

struct Globals {
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat)
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "ambrel-virtual-pointer: cannot connect to the Wayland display\n");
    return 1;
  }
  Globals globals;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &globals);
  wl_display_roundtrip(display);
  if (!globals.manager) {
    std::fprintf(stderr, "ambrel-virtual-pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
    return 1;
  }
  zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager,
                                                                                           globals.seat);
  wl_display_roundtrip(display);
  uint32_t time = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "wait" && i + 1 < argc) {
      usleep(useconds_t(std::atoi(argv[++i])) * 1000);
    } else if (word == "move" && i + 2 < argc) {
      const double dx = std::atof(argv[i + 1]), dy = std::atof(argv[i + 2]);
      i += 2;
      zwlr_virtual_pointer_v1_motion(pointer, time++, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
      zwlr_virtual_pointer_v1_frame(pointer);
    } else if (word == "press") {
      zwlr_virtual_pointer_v1_button(pointer, time++, kLeftButton, WL_POINTER_BUTTON_STATE_PRESSED);
      zwlr_virtual_pointer_v1_frame(pointer);
      zwlr_virtual_pointer_v1_button(pointer, time++, kLeftButton, WL_POINTER_BUTTON_STATE_RELEASED);
      zwlr_virtual_pointer_v1_frame(pointer);
    } else {
      std::fprintf(stderr, "usage: ambrel-virtual-pointer [wait MS | move DX DY | press]...\n");
      return 2;
    }
    if (wl_display_roundtrip(display) < 0) {
      std::fprintf(stderr, "ambrel-virtual-pointer: lost the Wayland display\n");
      return 1;
    }
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  zwlr_virtual_pointer_manager_v1_destroy(globals.manager);
  if (globals.seat) wl_seat_destroy(globals.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return 0;
}
