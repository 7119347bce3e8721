// The Wayland engine's view sites: a layer-shell surface on an output (or an
// xdg-shell window), its configured size and scale, the frame callbacks that pace
// its view, and the EGL or shared-memory surface the view draws on.
#include <cstdio>

#include "platform/wayland/WaylandEngineImpl.h"

namespace ambrel {
namespace {

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  static_cast<WaylandViewSite*>(data)->Configured(int(width), int(height));
}
void LayerClosed(void* data, zwlr_layer_surface_v1*) { static_cast<WaylandViewSite*>(data)->closed = true; }
const zwlr_layer_surface_v1_listener kLayerListener = {LayerConfigure, LayerClosed};

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* site = static_cast<WaylandViewSite*>(data);
  site->pendingWidth = width;
  site->pendingHeight = height;
}
void ToplevelClose(void* data, xdg_toplevel*) { static_cast<WaylandViewSite*>(data)->closed = true; }
void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                                 ToplevelCapabilities};

void XdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  auto* site = static_cast<WaylandViewSite*>(data);
  site->Configured(site->pendingWidth, site->pendingHeight);
}
const xdg_surface_listener kXdgSurfaceListener = {XdgSurfaceConfigure};

void FrameCallbackDone(void* data, wl_callback*, uint32_t) { static_cast<WaylandViewSite*>(data)->FrameDone(); }
const wl_callback_listener kFrameCallbackListener = {FrameCallbackDone};

}  // namespace

WaylandViewSite::~WaylandViewSite() {
  // The view's EGL window refers to the surface: it goes first.
  view.reset();
  if (frame_) wl_callback_destroy(frame_);
  if (layer) zwlr_layer_surface_v1_destroy(layer);
  if (toplevel) xdg_toplevel_destroy(toplevel);
  if (xdgSurface) xdg_surface_destroy(xdgSurface);
  if (surface) wl_surface_destroy(surface);
}

void WaylandViewSite::Configured(int newWidth, int newHeight) {
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

void WaylandViewSite::Presenting() {
  if (!frame_) {
    frame_ = wl_surface_frame(surface);
    wl_callback_add_listener(frame_, &kFrameCallbackListener, this);
  }
  pace_.presenting = true;
}

void WaylandViewSite::FrameDone() {
  wl_callback_destroy(frame_);
  frame_ = nullptr;
  pace_.presenting = false;
}

std::unique_ptr<GLSurface> WaylandViewSite::createGLSurface(const SurfaceRequest& request) {
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

std::unique_ptr<PixelSurface> WaylandViewSite::createPixelSurface() {
  wl_shm* shm = engine_.shm();
  if (!shm) return nullptr;
  appliedScale = scale();
  auto created = std::make_unique<ShmPixelSurface>(shm, surface, pixelSize(), scale());
  created->SetBeforeCommit([this] { Presenting(); });
  created->SetOnGone([this] { pixels = nullptr; });
  pixels = created.get();
  return created;
}

void WaylandViewSite::startTimer() { pace_.timer.start(engine_.loop().Now()); }

const Screen* WaylandViewSite::screen() {
  if (!output_) return nullptr;
  shownOn_ = Screen{output_->frame(), int(output_->name)};
  return &shownOn_;
}

std::unique_ptr<WaylandViewSite> WaylandEngine::CreateSite(WaylandOutput* output) {
  auto site = std::make_unique<WaylandViewSite>(*this, output);
  site->surface = wl_compositor_create_surface(compositor_);
  const bool layered = output && layerShell_;
  if (layered) {
    const bool saver = Saver();
    site->layer = zwlr_layer_shell_v1_get_layer_surface(
        layerShell_, site->surface, output->output,
        saver ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
        saver ? "ambrel-saver" : "ambrel-wallpaper");
    zwlr_layer_surface_v1_add_listener(site->layer, &kLayerListener, site.get());
    zwlr_layer_surface_v1_set_size(site->layer, 0, 0);
    zwlr_layer_surface_v1_set_anchor(site->layer,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(site->layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(site->layer, saver ? 1 : 0);
    if (!saver) {
      // A wallpaper takes no input: clicks go to the desktop.
      wl_region* empty = wl_compositor_create_region(compositor_);
      wl_surface_set_input_region(site->surface, empty);
      wl_region_destroy(empty);
    }
  } else {
    site->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, site->surface);
    xdg_surface_add_listener(site->xdgSurface, &kXdgSurfaceListener, site.get());
    site->toplevel = xdg_surface_get_toplevel(site->xdgSurface);
    xdg_toplevel_add_listener(site->toplevel, &kToplevelListener, site.get());
    xdg_toplevel_set_title(site->toplevel, "Ambrel");
    xdg_toplevel_set_app_id(site->toplevel, "ambrel");
    if (output) xdg_toplevel_set_fullscreen(site->toplevel, output->output);
  }
  wl_surface_commit(site->surface);
  return site;
}

}  // namespace ambrel
