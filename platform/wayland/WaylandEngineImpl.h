// The Wayland engine's own types, shared by the files that implement it: the
// loop and the run (WaylandEngine.cpp), the compositor's globals and outputs
// (WaylandOutputs.cpp), the view sites on their surfaces (WaylandViewSite.cpp),
// the seat and its input (WaylandSeat.cpp), and screencopy (WaylandCapture.cpp).
#pragma once

#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "platform/Termination.h"
#include "platform/ViewLoop.h"
#include "platform/wayland/EglWindowSurface.h"
#include "platform/wayland/ShmPixelSurface.h"
#include "platform/wayland/WaylandEngine.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace ambrel {

class WaylandEngine;
class WaylandViewSite;

struct WaylandOutput {
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
  std::unique_ptr<WaylandViewSite> site;

  // The output's size in pixels as the desktop sees it (rotation applied).
  int pixelWidth() const { return transform % 2 ? modeHeight : modeWidth; }
  int pixelHeight() const { return transform % 2 ? modeWidth : modeHeight; }
  Rect frame() const { return Rect{double(x), double(y), double(pixelWidth()), double(pixelHeight())}; }
};

// One view and the surface it lives in, with its timer.
class WaylandViewSite : public ViewSite {
 public:
  WaylandViewSite(WaylandEngine& engine, WaylandOutput* output) : engine_(engine), output_(output) {}
  ~WaylandViewSite() override;

  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) override;
  std::unique_ptr<PixelSurface> createPixelSurface() override;
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

  WaylandEngine& engine_;
  WaylandOutput* output_;  // null for a window
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  int width = 0, height = 0;  // as configured
  int pendingWidth = 0, pendingHeight = 0;
  int appliedScale = 1;  // the surface's buffer scale
  bool configured = false;
  bool closed = false;
  bool failed = false;  // the factory made no view: never asked again
  bool started = false;
  EglWindowSurface* drawn = nullptr;  // the view's surface, while the view has it
  ShmPixelSurface* pixels = nullptr;  // or its pixel surface, likewise
  std::unique_ptr<ScreenSaverView> view;

 private:
  Screen shownOn_;
  ViewPace pace_;
  wl_callback* frame_ = nullptr;
};

class WaylandEngine : public Platform {
 public:
  WaylandEngine(wl_display* display, const WaylandOptions& options) : display_(display), options_(options) {
    if (OutputViews()) screenOwned_.emplace();
  }
  ~WaylandEngine() override;

  std::vector<Screen> screens() override;
  Screen mainScreen() override;
  uint32_t displayMask(int screenNumber) override;
  int mainDisplayNumber() override;
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override;
  bool keepInputLive() override;

  int Run(const ViewFactory& factory);

  const WaylandOptions& options() const { return options_; }
  const ViewLoop& loop() const { return loop_; }
  // Made when a view first asks for OpenGL, so one that draws only pixels loads
  // no driver; null once it could not be made (which ends the run).
  EglWaylandDisplay* egl();
  wl_shm* shm() const { return shm_; }
  bool Saver() const { return options_.kind == WaylandKind::Saver; }
  bool OutputViews() const { return Saver() || options_.kind == WaylandKind::Wallpaper; }

  // Protocol callbacks.
  void Global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  void GlobalRemove(uint32_t name);
  void SeatCapabilities(uint32_t capabilities);
  void Key(uint32_t key, uint32_t state);
  void PointerEnter(wl_pointer* pointer, uint32_t serial, double x, double y);
  void PointerMotion(double x, double y);
  void Button() {
    if (Saver()) quit_ = true;
  }

 private:
  // WaylandOutputs.cpp: the registry's globals, each output and its layout.
  bool BindGlobals();
  void WatchLayout(WaylandOutput& output);
  void ReleaseOutput(WaylandOutput& output);
  void ReleaseGlobals();
  // WaylandSeat.cpp: the seat and its keyboard and pointer, on a queue of their own.
  void BindSeat(wl_registry* registry, uint32_t name, uint32_t version);
  void ReleaseSeat();
  // WaylandViewSite.cpp: a surface for an output (or, with none, a window).
  std::unique_ptr<WaylandViewSite> CreateSite(WaylandOutput* output);
  // WaylandEngine.cpp: views made, run and released between two dispatches.
  // Every view site as things stand: a list that stays valid while views run
  // code that dispatches, as sites go only in ReleaseGone.
  std::vector<WaylandViewSite*> Sites() const {
    std::vector<WaylandViewSite*> sites;
    for (const auto& output : outputs_)
      if (output->site) sites.push_back(output->site.get());
    if (window_) sites.push_back(window_.get());
    return sites;
  }
  void CreatePendingViews();
  void ReleaseSite(std::unique_ptr<WaylandViewSite>& site);
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
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
  std::unique_ptr<WaylandViewSite> window_;
  std::unique_ptr<EglWaylandDisplay> egl_;
  bool eglFailed_ = false;
  ViewFactory factory_;
  bool quit_ = false;
  int exitCode_ = 0;
  PointerHysteresis pointerMoves_;
};

}  // namespace ambrel
