// The Wayland engine's seat: its keyboard and pointer, on an event queue of their
// own so that a view waiting on work still hears what ends the run, and what each
// key, button and move means in each kind of run.
#include <poll.h>
#include <unistd.h>

#include "platform/wayland/WaylandEngineImpl.h"

namespace ambrel {
namespace {

constexpr uint32_t kEscapeKey = 1;  // evdev KEY_ESC

void SeatCapabilitiesEvent(void* data, wl_seat*, uint32_t capabilities) {
  static_cast<WaylandEngine*>(data)->SeatCapabilities(capabilities);
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilitiesEvent, SeatName};

void KeyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  static_cast<WaylandEngine*>(data)->Key(key, state);
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void KeyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {KeyboardKeymap, KeyboardEnter,     KeyboardLeave,
                                                KeyboardKey,    KeyboardModifiers, KeyboardRepeat};

void PointerEnterEvent(void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  static_cast<WaylandEngine*>(data)->PointerEnter(pointer, serial, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void PointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void PointerMotionEvent(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  static_cast<WaylandEngine*>(data)->PointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<WaylandEngine*>(data)->Button();
}
void PointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
const wl_pointer_listener kPointerListener = {PointerEnterEvent, PointerLeave,      PointerMotionEvent,
                                              PointerButton,     PointerAxis,       PointerFrame,
                                              PointerAxisSource, PointerAxisStop,   PointerAxisDiscrete,
                                              nullptr};

}  // namespace

void WaylandEngine::BindSeat(wl_registry* registry, uint32_t name, uint32_t version) {
  seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
  inputQueue_ = wl_display_create_queue(display_);
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(seat_), inputQueue_);
  wl_seat_add_listener(seat_, &kSeatListener, this);
}

void WaylandEngine::ReleaseSeat() {
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  if (inputQueue_) wl_event_queue_destroy(inputQueue_);
}

// While a view waits: the seat's events, which have a queue of their own, and
// signals. The rest waits for the loop, whose handlers may add outputs under it.
bool WaylandEngine::keepInputLive() {
  if (inputQueue_ && !quit_) {
    while (wl_display_prepare_read_queue(display_, inputQueue_) != 0)
      wl_display_dispatch_queue_pending(display_, inputQueue_);
    wl_display_flush(display_);
    pollfd connection{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&connection, 1, 0) > 0) wl_display_read_events(display_);
    else wl_display_cancel_read(display_);
    wl_display_dispatch_queue_pending(display_, inputQueue_);
  }
  if (signals_.requested()) quit_ = true;
  return !quit_;
}

void WaylandEngine::SeatCapabilities(uint32_t capabilities) {
  const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
  const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
  if (keyboard && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!keyboard && keyboard_) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  if (pointer && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointerListener, this);
  } else if (!pointer && pointer_) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
  }
}

void WaylandEngine::Key(uint32_t key, uint32_t state) {
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  if (Saver() || key == kEscapeKey) quit_ = true;
}

void WaylandEngine::PointerEnter(wl_pointer* pointer, uint32_t serial, double x, double y) {
  if (!Saver()) return;
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  // Entering is no move of the user's: the place where it enters is the reference.
  pointerMoves_.Rest(x, y);
}

void WaylandEngine::PointerMotion(double x, double y) {
  if (!Saver()) return;
  if (pointerMoves_.Moved(x, y)) quit_ = true;
}

}  // namespace ambrel
