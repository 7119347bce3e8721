// The engine on wayland-client + EGL: one thread, one connection, one surface and
// view per output (or one window), timers kept by hand and a poll() on the
// connection and a signal pipe in between, so it sleeps between ticks. Outputs
// that come and go while it runs get or lose their view between two dispatches,
// never inside a protocol callback.
#include "platform/wayland/WaylandEngine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "platform/Termination.h"
#include "platform/ViewLoop.h"
#include "platform/wayland/EglWindowSurface.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace ambrel {

namespace {

constexpr uint32_t kEscapeKey = 1;  // evdev KEY_ESC

// --- the engine --------------------------------------------------------------------

class Engine;
class ViewHost;

struct Output {
  uint32_t name = 0;  // the registry's name: the screen number
  wl_output* output = nullptr;
  // wlroots puts every wl_output at 0,0: the desktop layout comes from xdg-output.
  zxdg_output_v1* xdgOutput = nullptr;
  std::string connector;  // "HEADLESS-1", "DP-2"
  int x = 0, y = 0;
  int modeWidth = 0, modeHeight = 0;
  int transform = WL_OUTPUT_TRANSFORM_NORMAL;
  int scale = 1;
  bool done = false;
  bool removed = false;
  std::unique_ptr<ViewHost> host;

  // The output's size in pixels as the desktop sees it (rotation applied).
  int pixelWidth() const { return transform % 2 ? modeHeight : modeWidth; }
  int pixelHeight() const { return transform % 2 ? modeWidth : modeHeight; }
  Rect frame() const { return Rect{double(x), double(y), double(pixelWidth()), double(pixelHeight())}; }
};

// One view and the surface it lives in, with its timer.
class ViewHost : public ViewSite {
 public:
  ViewHost(Engine& engine, Output* output) : engine_(engine), output_(output) {}
  ~ViewHost() override;

  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) override;
  const Screen* screen() override;
  void timerIntervalChanged(double seconds) override { pace_.timer.setInterval(seconds); }
  void startTimer() override;
  void stopTimer() override { pace_.timer.stop(); }
  ViewPace* pace() { return view && started ? &pace_ : nullptr; }
  // A frame goes out: the next waits until the compositor asks for it, which it
  // does not while the surface is hidden.
  void Presenting();
  void FrameDone();

  // The configured size, in surface (logical) units, and the buffer scale.
  int scale() const { return output_ ? std::max(1, output_->scale) : 1; }
  Size pixelSize() const { return Size{double(width * scale()), double(height * scale())}; }
  Rect frame() const {
    const Size size = pixelSize();
    return Rect{output_ ? double(output_->x) : 0.0, output_ ? double(output_->y) : 0.0, size.width, size.height};
  }
  void Configured(int newWidth, int newHeight);

  Engine& engine_;
  Output* output_;  // null for a window
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  int width = 0, height = 0;          // as configured
  int pendingWidth = 0, pendingHeight = 0;
  int appliedScale = 1;  // the surface's buffer scale
  bool configured = false;
  bool closed = false;
  bool failed = false;  // the factory made no view: never asked again
  bool started = false;
  EglWindowSurface* drawn = nullptr;  // the view's surface, while the view has it
  std::unique_ptr<ScreenSaverView> view;

 private:
  Screen shownOn_;
  ViewPace pace_;
  wl_callback* frame_ = nullptr;
};

class Engine : public Platform {
 public:
  Engine(wl_display* display, const WaylandOptions& options) : display_(display), options_(options) {
    if (OutputViews()) screenOwned_.emplace();
  }
  ~Engine() override;

  std::vector<Screen> screens() override;
  Screen mainScreen() override;
  uint32_t displayMask(int screenNumber) override;
  int mainDisplayNumber() override;
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override;

  int Run(const ViewFactory& factory);

  const WaylandOptions& options() const { return options_; }
  const ViewLoop& loop() const { return loop_; }
  EglWaylandDisplay* egl() { return egl_.get(); }
  bool Saver() const { return options_.kind == WaylandKind::Saver; }
  bool OutputViews() const { return Saver() || options_.kind == WaylandKind::Wallpaper; }
  void Quit() { quit_ = true; }
  // While a view waits: the seat's events, which have a queue of their own, and
  // signals. The rest waits for the loop, whose handlers may add outputs under it.
  bool keepInputLive() override {
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

  // Protocol callbacks.
  void Global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  void GlobalRemove(uint32_t name);
  void WatchLayout(Output& output);
  void SeatCapabilities(uint32_t capabilities);
  void Key(uint32_t key, uint32_t state);
  void PointerEnter(wl_pointer* pointer, uint32_t serial, double x, double y);
  void PointerMotion(double x, double y);
  void Button() {
    if (Saver()) quit_ = true;
  }

 private:
  std::unique_ptr<ViewHost> CreateHost(Output* output);
  // Every view host as things stand: a list that stays valid while views run
  // code that dispatches, as hosts go only in ReleaseGone.
  std::vector<ViewHost*> Hosts() const {
    std::vector<ViewHost*> hosts;
    for (const auto& output : outputs_)
      if (output->host) hosts.push_back(output->host.get());
    if (window_) hosts.push_back(window_.get());
    return hosts;
  }
  void CreatePendingViews();
  void ReleaseHost(std::unique_ptr<ViewHost>& host);
  void ReleaseGone();
  bool Broken();
  int Loop();

  wl_display* display_;
  WaylandOptions options_;
  ViewLoop loop_;
  // From the start, so a signal during start-up still ends the run cleanly.
  EngineSignals signals_;
  // Over the saver's or the wallpaper's surfaces no one answers a dialog.
  std::optional<ScreenOwnership> screenOwned_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  wl_event_queue* inputQueue_ = nullptr;  // the seat, its keyboard and pointer
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  zwlr_screencopy_manager_v1* screencopy_ = nullptr;
  zxdg_output_manager_v1* xdgOutputs_ = nullptr;
  uint32_t screencopyVersion_ = 0;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::unique_ptr<ViewHost> window_;
  std::unique_ptr<EglWaylandDisplay> egl_;
  ViewFactory factory_;
  bool quit_ = false;
  int exitCode_ = 0;
  PointerHysteresis pointerMoves_;
};

// --- listeners ---------------------------------------------------------------------

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t transform) {
  auto* output = static_cast<Output*>(data);
  if (!output->xdgOutput) {
    output->x = x;
    output->y = y;
  }
  output->transform = transform;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  auto* output = static_cast<Output*>(data);
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    output->modeWidth = width;
    output->modeHeight = height;
  }
}
void OutputDone(void* data, wl_output*) { static_cast<Output*>(data)->done = true; }
void OutputScale(void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = std::max(1, factor); }
void OutputName(void* data, wl_output*, const char* name) { static_cast<Output*>(data)->connector = name; }
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone, OutputScale, OutputName,
                                            OutputDescription};

void XdgOutputPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  auto* output = static_cast<Output*>(data);
  output->x = x;
  output->y = y;
}
void XdgOutputSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void XdgOutputDone(void*, zxdg_output_v1*) {}
void XdgOutputName(void* data, zxdg_output_v1*, const char* name) {
  if (static_cast<Output*>(data)->connector.empty()) static_cast<Output*>(data)->connector = name;
}
void XdgOutputDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {XdgOutputPosition, XdgOutputSize, XdgOutputDone, XdgOutputName,
                                                    XdgOutputDescription};

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  static_cast<Engine*>(data)->Global(registry, name, interface, version);
}
void RegistryGlobalRemove(void* data, wl_registry*, uint32_t name) { static_cast<Engine*>(data)->GlobalRemove(name); }
const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void WmBasePing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmBaseListener = {WmBasePing};

void SeatCapabilitiesEvent(void* data, wl_seat*, uint32_t capabilities) {
  static_cast<Engine*>(data)->SeatCapabilities(capabilities);
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilitiesEvent, SeatName};

void KeyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  static_cast<Engine*>(data)->Key(key, state);
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void KeyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {KeyboardKeymap, KeyboardEnter,     KeyboardLeave,
                                                KeyboardKey,    KeyboardModifiers, KeyboardRepeat};

void PointerEnterEvent(void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Engine*>(data)->PointerEnter(pointer, serial, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void PointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void PointerMotionEvent(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Engine*>(data)->PointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<Engine*>(data)->Button();
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

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  static_cast<ViewHost*>(data)->Configured(int(width), int(height));
}
void LayerClosed(void* data, zwlr_layer_surface_v1*) { static_cast<ViewHost*>(data)->closed = true; }
const zwlr_layer_surface_v1_listener kLayerListener = {LayerConfigure, LayerClosed};

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* host = static_cast<ViewHost*>(data);
  host->pendingWidth = width;
  host->pendingHeight = height;
}
void ToplevelClose(void* data, xdg_toplevel*) { static_cast<ViewHost*>(data)->closed = true; }
void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                                 ToplevelCapabilities};

void XdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  auto* host = static_cast<ViewHost*>(data);
  host->Configured(host->pendingWidth, host->pendingHeight);
}
const xdg_surface_listener kXdgSurfaceListener = {XdgSurfaceConfigure};

void FrameCallbackDone(void* data, wl_callback*, uint32_t) { static_cast<ViewHost*>(data)->FrameDone(); }
const wl_callback_listener kFrameCallbackListener = {FrameCallbackDone};

// --- the view host -----------------------------------------------------------------

ViewHost::~ViewHost() {
  // The view's EGL window refers to the surface: it goes first.
  view.reset();
  if (frame_) wl_callback_destroy(frame_);
  if (layer) zwlr_layer_surface_v1_destroy(layer);
  if (toplevel) xdg_toplevel_destroy(toplevel);
  if (xdgSurface) xdg_surface_destroy(xdgSurface);
  if (surface) wl_surface_destroy(surface);
}

void ViewHost::Configured(int newWidth, int newHeight) {
  // Zero leaves the size to us: the output's, or the window's default.
  if (newWidth <= 0 || newHeight <= 0) {
    if (output_) {
      newWidth = output_->pixelWidth() / scale();
      newHeight = output_->pixelHeight() / scale();
    } else if (configured) {
      newWidth = width;
      newHeight = height;
    } else {
      const WaylandOptions& options = engine_.options();
      const WindowSize size = WindowSizeOrDefault(options.width, options.height, options.kind == WaylandKind::Preview);
      newWidth = size.width;
      newHeight = size.height;
    }
  }
  // An output whose scale changes sends its new scale before the new configure.
  const bool rescaled = scale() != appliedScale;
  if (rescaled && view) {
    wl_surface_set_buffer_scale(surface, scale());
    appliedScale = scale();
  }
  const bool resized = configured && (newWidth != width || newHeight != height || rescaled);
  width = std::max(1, newWidth);
  height = std::max(1, newHeight);
  configured = true;
  if (resized && view) view->setFrameSize(pixelSize());
}

void ViewHost::Presenting() {
  if (!frame_) {
    frame_ = wl_surface_frame(surface);
    wl_callback_add_listener(frame_, &kFrameCallbackListener, this);
  }
  pace_.presenting = true;
}

void ViewHost::FrameDone() {
  wl_callback_destroy(frame_);
  frame_ = nullptr;
  pace_.presenting = false;
}

std::unique_ptr<GLSurface> ViewHost::createGLSurface(const SurfaceRequest& request) {
  std::string error;
  if (!engine_.egl()) return nullptr;
  appliedScale = scale();
  std::unique_ptr<EglWindowSurface> created = EglWindowSurface::Create(*engine_.egl(), surface, pixelSize(), scale(),
                                                                       request, &error);
  drawn = created.get();
  if (!created) {
    std::fprintf(stderr, "ambrel: %s\n", error.c_str());
    return nullptr;
  }
  created->SetBeforeSwap([this] { Presenting(); });
  return created;
}

void ViewHost::startTimer() { pace_.timer.start(engine_.loop().Now()); }

const Screen* ViewHost::screen() {
  if (!output_) return nullptr;
  shownOn_ = Screen{output_->frame(), int(output_->name)};
  return &shownOn_;
}

// --- the engine --------------------------------------------------------------------

Engine::~Engine() {
  window_.reset();
  for (auto& output : outputs_) output->host.reset();
  egl_.reset();
  for (auto& output : outputs_) {
    if (output->xdgOutput) zxdg_output_v1_destroy(output->xdgOutput);
    if (wl_output_get_version(output->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output->output);
    else wl_output_destroy(output->output);
  }
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  if (inputQueue_) wl_event_queue_destroy(inputQueue_);
  if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_flush(display_);
}

void Engine::Global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto bind = [&](const wl_interface* which, uint32_t highest) {
    return wl_registry_bind(registry, name, which, std::min(version, highest));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 2));
    xdg_wm_base_add_listener(wmBase_, &kWmBaseListener, this);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    screencopyVersion_ = std::min(version, 3u);
    screencopy_ = static_cast<zwlr_screencopy_manager_v1*>(bind(&zwlr_screencopy_manager_v1_interface, 3));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat_ &&
             options_.kind != WaylandKind::Wallpaper) {
    seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    inputQueue_ = wl_display_create_queue(display_);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(seat_), inputQueue_);
    wl_seat_add_listener(seat_, &kSeatListener, this);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
    auto output = std::make_unique<Output>();
    output->name = name;
    output->output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    outputs_.push_back(std::move(output));
    WatchLayout(*outputs_.back());
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
    for (auto& output : outputs_) WatchLayout(*output);
  }
}

void Engine::WatchLayout(Output& output) {
  if (!xdgOutputs_ || output.xdgOutput) return;
  output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
  zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

void Engine::GlobalRemove(uint32_t name) {
  for (auto& output : outputs_)
    if (output->name == name) output->removed = true;
}

void Engine::SeatCapabilities(uint32_t capabilities) {
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

void Engine::Key(uint32_t key, uint32_t state) {
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) return;
  if (Saver() || key == kEscapeKey) quit_ = true;
}

void Engine::PointerEnter(wl_pointer* pointer, uint32_t serial, double x, double y) {
  if (!Saver()) return;
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  // Entering is no move of the user's: the place where it enters is the reference.
  pointerMoves_.Rest(x, y);
}

void Engine::PointerMotion(double x, double y) {
  if (!Saver()) return;
  if (pointerMoves_.Moved(x, y)) quit_ = true;
}

std::vector<Screen> Engine::screens() {
  std::vector<Screen> result;
  for (auto& output : outputs_)
    if (output->done && !output->removed) result.push_back(Screen{output->frame(), int(output->name)});
  return result;
}

Screen Engine::mainScreen() {
  const std::vector<Screen> all = screens();
  return all.empty() ? Screen{} : all.front();
}

uint32_t Engine::displayMask(int screenNumber) {
  for (size_t i = 0; i < outputs_.size() && i < 32; ++i)
    if (int(outputs_[i]->name) == screenNumber) return 1u << i;
  return 0;
}

int Engine::mainDisplayNumber() { return mainScreen().number; }

// --- screencopy --------------------------------------------------------------------

struct CaptureState {
  uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool bufferKnown = false, buffersDone = false;
  bool yInvert = false;
  bool ready = false, failed = false;
};

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
  auto* state = static_cast<CaptureState*>(data);
  state->format = format;
  state->width = width;
  state->height = height;
  state->stride = stride;
  state->bufferKnown = true;
}
void FrameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
  static_cast<CaptureState*>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
  static_cast<CaptureState*>(data)->ready = true;
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<CaptureState*>(data)->failed = true; }
void FrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void FrameBufferDone(void* data, zwlr_screencopy_frame_v1*) { static_cast<CaptureState*>(data)->buffersDone = true; }
const zwlr_screencopy_frame_v1_listener kFrameListener = {FrameBuffer, FrameFlags,  FrameReady,     FrameFailed,
                                                          FrameDamage, FrameDmabuf, FrameBufferDone};

// Byte positions of red, green and blue in one pixel of a 32-bit shm format.
bool ChannelOrder(uint32_t format, int* red, int* green, int* blue) {
  switch (format) {
    case WL_SHM_FORMAT_ARGB8888:
    case WL_SHM_FORMAT_XRGB8888:
      *red = 2, *green = 1, *blue = 0;
      return true;
    case WL_SHM_FORMAT_ABGR8888:
    case WL_SHM_FORMAT_XBGR8888:
      *red = 0, *green = 1, *blue = 2;
      return true;
    default:
      return false;
  }
}

bool Engine::captureScreen(uint32_t mask, CapturedImage* out) {
  // Under a wallpaper an output shows whatever windows are open at the start,
  // which would stay under the water: the wallpaper takes the desktop picture.
  if (options_.kind == WaylandKind::Wallpaper) return false;
  if (!screencopy_ || !shm_ || Broken()) return false;
  Output* output = nullptr;
  for (size_t i = 0; i < outputs_.size() && i < 32; ++i)
    if ((mask & (1u << i)) && outputs_[i]->done && !outputs_[i]->removed) {
      output = outputs_[i].get();
      break;
    }
  if (!output) return false;

  CaptureState state;
  zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(screencopy_, 0, output->output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &state);
  // Version 3 lists every buffer kind and then says it is done; before that, the
  // shm description is all there is.
  auto described = [&] { return state.failed || (screencopyVersion_ >= 3 ? state.buffersDone : state.bufferKnown); };
  while (!described())
    if (wl_display_dispatch(display_) < 0) break;
  bool ok = false;
  int red = 0, green = 0, blue = 0;
  if (!state.failed && state.bufferKnown && ChannelOrder(state.format, &red, &green, &blue) && state.width > 0 &&
      state.height > 0 && state.stride >= state.width * 4) {
    const size_t bytes = size_t(state.stride) * state.height;
    const int fd = memfd_create("ambrel-capture", MFD_CLOEXEC);
    void* map = MAP_FAILED;
    if (fd >= 0 && ftruncate(fd, off_t(bytes)) == 0)
      map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, int32_t(bytes));
      wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, int32_t(state.width), int32_t(state.height),
                                                    int32_t(state.stride), state.format);
      zwlr_screencopy_frame_v1_copy(frame, buffer);
      while (!state.ready && !state.failed)
        if (wl_display_dispatch(display_) < 0) break;
      if (state.ready) {
        out->width = int(state.width);
        out->height = int(state.height);
        out->pixels.assign(size_t(state.width) * state.height * 4, 0);
        const auto* source = static_cast<const uint8_t*>(map);
        for (uint32_t row = 0; row < state.height; ++row) {
          // Ours is bottom row first; the copy is top row first unless inverted.
          const uint32_t from = state.yInvert ? row : state.height - 1 - row;
          const uint8_t* in = source + size_t(from) * state.stride;
          uint8_t* to = out->pixels.data() + size_t(row) * state.width * 4;
          for (uint32_t column = 0; column < state.width; ++column, in += 4, to += 4) {
            to[0] = in[red];
            to[1] = in[green];
            to[2] = in[blue];
            to[3] = 255;
          }
        }
        ok = true;
      }
      wl_buffer_destroy(buffer);
      wl_shm_pool_destroy(pool);
      munmap(map, bytes);
    }
    if (fd >= 0) close(fd);
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  return ok;
}

// --- running -----------------------------------------------------------------------

std::unique_ptr<ViewHost> Engine::CreateHost(Output* output) {
  auto host = std::make_unique<ViewHost>(*this, output);
  host->surface = wl_compositor_create_surface(compositor_);
  const bool layered = output && layerShell_;
  if (layered) {
    const bool saver = Saver();
    host->layer = zwlr_layer_shell_v1_get_layer_surface(
        layerShell_, host->surface, output->output,
        saver ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
        saver ? "ambrel-saver" : "ambrel-wallpaper");
    zwlr_layer_surface_v1_add_listener(host->layer, &kLayerListener, host.get());
    zwlr_layer_surface_v1_set_size(host->layer, 0, 0);
    zwlr_layer_surface_v1_set_anchor(host->layer,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(host->layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(host->layer, saver ? 1 : 0);
    if (!saver) {
      // A wallpaper takes no input: clicks go to the desktop.
      wl_region* empty = wl_compositor_create_region(compositor_);
      wl_surface_set_input_region(host->surface, empty);
      wl_region_destroy(empty);
    }
  } else {
    host->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, host->surface);
    xdg_surface_add_listener(host->xdgSurface, &kXdgSurfaceListener, host.get());
    host->toplevel = xdg_surface_get_toplevel(host->xdgSurface);
    xdg_toplevel_add_listener(host->toplevel, &kToplevelListener, host.get());
    xdg_toplevel_set_title(host->toplevel, "Ambrel");
    xdg_toplevel_set_app_id(host->toplevel, "ambrel");
    if (output) xdg_toplevel_set_fullscreen(host->toplevel, output->output);
  }
  wl_surface_commit(host->surface);
  return host;
}

// Views for every configured surface that has none yet: all are made before any
// of them starts, so a capture made by one sees the desktop, not another view.
void Engine::CreatePendingViews() {
  for (auto& output : outputs_)
    if (OutputViews() && output->done && !output->removed && !output->host) output->host = CreateHost(output.get());
  std::vector<ViewHost*> made;
  // Making a view may dispatch (its capture waits for the compositor), and an
  // output announced meanwhile joins outputs_: the walk is over the hosts there
  // were, and a newcomer gets its view on the next round.
  for (ViewHost* host : Hosts()) {
    if (!host->configured || host->view || host->failed || host->closed) continue;
    host->view = factory_(host->frame(), options_.kind == WaylandKind::Preview, *host);
    if (host->view) made.push_back(host);
    else host->failed = true;
  }
  for (ViewHost* host : made) host->view->setFrameSize(host->pixelSize());
  for (ViewHost* host : made) {
    host->started = true;
    host->view->startAnimation();
  }
  for (ViewHost* host : made)
    if (host->drawn) host->drawn->ShowBlack();
}

void Engine::ReleaseHost(std::unique_ptr<ViewHost>& host) {
  if (!host) return;
  if (host->view && host->started) host->view->stopAnimation();
  host.reset();
}

void Engine::ReleaseGone() {
  for (auto it = outputs_.begin(); it != outputs_.end();) {
    Output& output = **it;
    if (output.host && (output.removed || output.host->closed)) ReleaseHost(output.host);
    if (!output.removed) {
      ++it;
      continue;
    }
    if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output.output);
    else wl_output_destroy(output.output);
    it = outputs_.erase(it);
  }
  if (window_ && window_->closed) {
    ReleaseHost(window_);
    quit_ = true;
  }
}

bool Engine::Broken() { return wl_display_get_error(display_) != 0; }

int Engine::Loop() {
  const int connection = wl_display_get_fd(display_);
  while (!quit_) {
    if (wl_display_dispatch_pending(display_) < 0) break;
    if (inputQueue_ && wl_display_dispatch_queue_pending(display_, inputQueue_) < 0) break;
    ReleaseGone();
    CreatePendingViews();
    if (quit_) break;

    // Each view draws on its timer (at most at its own rate, 60 Hz) once the
    // compositor has asked for its next frame: a hidden surface is asked for none.
    loop_.AnimateDue(Hosts());
    if (Broken()) break;

    if (wl_display_prepare_read(display_) != 0) continue;
    // A full socket leaves the rest for the next round; a broken one ends the run.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display_);
      break;
    }
    const ViewLoop::Woken woken = ViewLoop::Sleep(connection, signals_.fd(), loop_.PollTimeout(Hosts()));
    if (woken == ViewLoop::Woken::Failed) {
      wl_display_cancel_read(display_);
      exitCode_ = 1;
      return exitCode_;
    }
    if (woken == ViewLoop::Woken::Connection) {
      if (wl_display_read_events(display_) < 0) break;
    } else {
      wl_display_cancel_read(display_);
    }
    if (signals_.requested()) return exitCode_;
  }
  if (Broken() || (!quit_)) {
    const int error = wl_display_get_error(display_);
    std::fprintf(stderr, "ambrel: lost the connection to the Wayland compositor (%s)\n",
                 std::strerror(error ? error : EPIPE));
    exitCode_ = 1;
  }
  return exitCode_;
}

int Engine::Run(const ViewFactory& factory) {
  factory_ = factory;
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // One round for the globals, then what the bound outputs, their layout and the seat say.
  if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0 ||
      wl_display_roundtrip(display_) < 0) {
    std::fprintf(stderr, "ambrel: the Wayland compositor closed the connection at once\n");
    return 1;
  }
  if (!compositor_) {
    std::fprintf(stderr, "ambrel: the Wayland compositor offers no wl_compositor\n");
    return 1;
  }
  if (options_.kind == WaylandKind::Wallpaper && !layerShell_) {
    std::fprintf(stderr,
                 "ambrel: the compositor does not offer the layer-shell protocol (zwlr_layer_shell_v1), "
                 "which the wallpaper needs\n");
    return 1;
  }
  if ((!OutputViews() || !layerShell_) && !wmBase_) {
    std::fprintf(stderr, "ambrel: the compositor offers neither layer-shell nor xdg-shell (xdg_wm_base)\n");
    return 1;
  }
  egl_ = std::make_unique<EglWaylandDisplay>(display_);
  if (!egl_->valid()) {
    std::fprintf(stderr, "ambrel: %s\n", egl_->error().c_str());
    return 1;
  }
  if (OutputViews()) {
    if (screens().empty()) {
      std::fprintf(stderr, "ambrel: the compositor shows no output to cover\n");
      return 1;
    }
    for (auto& output : outputs_)
      if (output->done) output->host = CreateHost(output.get());
  } else {
    window_ = CreateHost(nullptr);
  }
  // The first configure of every surface before any view is made.
  for (int round = 0; round < 50; ++round) {
    bool all = true;
    for (auto& output : outputs_)
      if (output->host && !output->host->configured && !output->host->closed) all = false;
    if (window_ && !window_->configured) all = false;
    if (all) break;
    if (wl_display_roundtrip(display_) < 0) break;
  }
  CreatePendingViews();
  bool any = window_ && window_->view;
  for (auto& output : outputs_) any = any || (output->host && output->host->view);
  if (!any && !Broken()) {
    std::fprintf(stderr, "ambrel: no view could be created\n");
    return 1;
  }
  const int code = Loop();
  window_.reset();
  for (auto& output : outputs_) ReleaseHost(output->host);
  return code;
}

}  // namespace

bool HasWaylandSession() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name && *name;
}

int RunWayland(const WaylandOptions& options, const ViewFactory& factory) {
  wl_display* display = wl_display_connect(options.displayName.empty() ? nullptr : options.displayName.c_str());
  if (!display) {
    const char* env = std::getenv("WAYLAND_DISPLAY");
    const std::string shown = !options.displayName.empty() ? options.displayName : env && *env ? env : "wayland-0";
    std::fprintf(stderr, "ambrel: cannot connect to the Wayland display \"%s\" (%s)\n", shown.c_str(),
                 std::strerror(errno ? errno : ENOENT));
    return 1;
  }
  int code = 1;
  {
    Engine engine(display, options);
    PlatformInstalled installed(&engine);
    code = engine.Run(factory);
  }
  wl_display_disconnect(display);
  return code;
}

}  // namespace ambrel
