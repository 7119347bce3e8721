// The engine on wayland-client + EGL: one thread, one connection, one surface and
// view per output (or one window), timers kept by the shared view loop and a
// poll() on the connection and a signal pipe in between, so it sleeps between
// ticks. Outputs that come and go while it runs get or lose their view between
// two dispatches, never inside a protocol callback. This file holds the run and
// its loop; WaylandEngineImpl.h says where the rest is.
#include "platform/wayland/WaylandEngine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/wayland/WaylandEngineImpl.h"

namespace ambrel {

WaylandEngine::~WaylandEngine() {
  window_.reset();
  for (auto& output : outputs_) output->site.reset();
  egl_.reset();
  ReleaseGlobals();
}

EglWaylandDisplay* WaylandEngine::egl() {
  if (!egl_ && !eglFailed_) {
    egl_ = std::make_unique<EglWaylandDisplay>(display_);
    if (!egl_->valid()) {
      std::fprintf(stderr, "ambrel: %s\n", egl_->error().c_str());
      egl_.reset();
      eglFailed_ = true;
      quit_ = true;
      exitCode_ = 1;
    }
  }
  return egl_.get();
}

// Views for every configured surface that has none yet: all are made before any
// of them starts, so a capture made by one sees the desktop, not another view.
void WaylandEngine::CreatePendingViews() {
  for (auto& output : outputs_)
    if (OutputViews() && output->done && !output->removed && !output->site) output->site = CreateSite(output.get());
  std::vector<WaylandViewSite*> made;
  // Making a view may dispatch (its capture waits for the compositor), and an
  // output announced meanwhile joins outputs_: the walk is over the sites there
  // were, and a newcomer gets its view on the next round.
  for (WaylandViewSite* site : Sites()) {
    if (!site->configured || site->view || site->failed || site->closed) continue;
    site->view = factory_(site->frame(), options_.kind == WaylandKind::Preview, *site);
    if (site->view) made.push_back(site);
    else site->failed = true;
  }
  for (WaylandViewSite* site : made) site->view->setFrameSize(site->pixelSize());
  for (WaylandViewSite* site : made) {
    site->started = true;
    site->view->startAnimation();
  }
  for (WaylandViewSite* site : made) {
    if (site->drawn) site->drawn->ShowBlack();
    if (site->pixels) site->pixels->ShowBlack();
  }
}

void WaylandEngine::ReleaseSite(std::unique_ptr<WaylandViewSite>& site) {
  if (!site) return;
  if (site->view && site->started) site->view->stopAnimation();
  site.reset();
}

void WaylandEngine::ReleaseGone() {
  for (auto it = outputs_.begin(); it != outputs_.end();) {
    WaylandOutput& output = **it;
    if (output.site && (output.removed || output.site->closed)) ReleaseSite(output.site);
    if (!output.removed) {
      ++it;
      continue;
    }
    ReleaseOutput(output);
    it = outputs_.erase(it);
  }
  if (window_ && window_->closed) {
    ReleaseSite(window_);
    quit_ = true;
  }
}

bool WaylandEngine::Broken() { return wl_display_get_error(display_) != 0; }

int WaylandEngine::Loop() {
  const int connection = wl_display_get_fd(display_);
  while (!quit_) {
    if (wl_display_dispatch_pending(display_) < 0) break;
    if (inputQueue_ && wl_display_dispatch_queue_pending(display_, inputQueue_) < 0) break;
    ReleaseGone();
    CreatePendingViews();
    if (quit_) break;

    // Each view draws on its timer (at most at its own rate, 60 Hz) once the
    // compositor has asked for its next frame: a hidden surface is asked for none.
    loop_.AnimateDue(Sites());
    if (Broken()) break;
    // Events already queued skip the sleep and the check after it.
    if (signals_.requested()) return exitCode_;

    if (wl_display_prepare_read(display_) != 0) continue;
    // A full socket leaves the rest for the next round; a broken one ends the run.
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display_);
      break;
    }
    const ViewLoop::Woken woken = ViewLoop::Sleep(connection, signals_.fd(), loop_.PollTimeout(Sites()));
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

int WaylandEngine::Run(const ViewFactory& factory) {
  factory_ = factory;
  if (!BindGlobals()) {
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
  if (OutputViews()) {
    if (screens().empty()) {
      std::fprintf(stderr, "ambrel: the compositor shows no output to cover\n");
      return 1;
    }
    for (auto& output : outputs_)
      if (output->done) output->site = CreateSite(output.get());
  } else {
    window_ = CreateSite(nullptr);
  }
  // The first configure of every surface before any view is made.
  for (int round = 0; round < 50; ++round) {
    bool all = true;
    for (auto& output : outputs_)
      if (output->site && !output->site->configured && !output->site->closed) all = false;
    if (window_ && !window_->configured) all = false;
    if (all) break;
    if (wl_display_roundtrip(display_) < 0) break;
  }
  CreatePendingViews();
  bool any = window_ && window_->view;
  for (auto& output : outputs_) any = any || (output->site && output->site->view);
  if (!any && !Broken() && !eglFailed_) {
    std::fprintf(stderr, "ambrel: no view could be created\n");
    return 1;
  }
  const int code = eglFailed_ ? exitCode_ : Loop();
  window_.reset();
  for (auto& output : outputs_) ReleaseSite(output->site);
  return code;
}

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
    WaylandEngine engine(display, options);
    PlatformInstalled installed(&engine);
    code = engine.Run(factory);
  }
  wl_display_disconnect(display);
  return code;
}

}  // namespace ambrel
