// What the compositor offers the Wayland engine: its globals, bound once at the
// start and released at the end, and the outputs with their layout, which are
// the screens the engine reports and captures.
#include <cstring>

#include "platform/wayland/WaylandCapture.h"
#include "platform/wayland/WaylandEngineImpl.h"

namespace ambrel {
namespace {

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t transform) {
  auto* output = static_cast<WaylandOutput*>(data);
  if (!output->xdgOutput) {
    output->x = x;
    output->y = y;
  }
  output->transform = transform;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  auto* output = static_cast<WaylandOutput*>(data);
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    output->modeWidth = width;
    output->modeHeight = height;
  }
}
void OutputDone(void* data, wl_output*) { static_cast<WaylandOutput*>(data)->done = true; }
void OutputScale(void* data, wl_output*, int32_t factor) {
  static_cast<WaylandOutput*>(data)->scale = std::max(1, factor);
}
void OutputName(void* data, wl_output*, const char* name) { static_cast<WaylandOutput*>(data)->connector = name; }
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone, OutputScale, OutputName,
                                            OutputDescription};

void XdgOutputPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  auto* output = static_cast<WaylandOutput*>(data);
  output->x = x;
  output->y = y;
}
void XdgOutputSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void XdgOutputDone(void*, zxdg_output_v1*) {}
void XdgOutputName(void* data, zxdg_output_v1*, const char* name) {
  if (static_cast<WaylandOutput*>(data)->connector.empty()) static_cast<WaylandOutput*>(data)->connector = name;
}
void XdgOutputDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {XdgOutputPosition, XdgOutputSize, XdgOutputDone, XdgOutputName,
                                                    XdgOutputDescription};

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  static_cast<WaylandEngine*>(data)->Global(registry, name, interface, version);
}
void RegistryGlobalRemove(void* data, wl_registry*, uint32_t name) {
  static_cast<WaylandEngine*>(data)->GlobalRemove(name);
}
const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void WmBasePing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmBaseListener = {WmBasePing};

}  // namespace

bool WaylandEngine::BindGlobals() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // One round for the globals, then what the bound outputs, their layout and the seat say.
  return wl_display_roundtrip(display_) >= 0 && wl_display_roundtrip(display_) >= 0 &&
         wl_display_roundtrip(display_) >= 0;
}

void WaylandEngine::Global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
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
    BindSeat(registry, name, version);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
    auto output = std::make_unique<WaylandOutput>();
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

void WaylandEngine::WatchLayout(WaylandOutput& output) {
  if (!xdgOutputs_ || output.xdgOutput) return;
  output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
  zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

void WaylandEngine::GlobalRemove(uint32_t name) {
  for (auto& output : outputs_)
    if (output->name == name) output->removed = true;
}

void WaylandEngine::ReleaseOutput(WaylandOutput& output) {
  if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
  if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output.output);
  else wl_output_destroy(output.output);
}

void WaylandEngine::ReleaseGlobals() {
  for (auto& output : outputs_) ReleaseOutput(*output);
  ReleaseSeat();
  if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_flush(display_);
}

std::vector<Screen> WaylandEngine::screens() {
  std::vector<Screen> result;
  for (auto& output : outputs_)
    if (output->done && !output->removed) result.push_back(Screen{output->frame(), int(output->name)});
  return result;
}

Screen WaylandEngine::mainScreen() {
  const std::vector<Screen> all = screens();
  return all.empty() ? Screen{} : all.front();
}

uint32_t WaylandEngine::displayMask(int screenNumber) {
  for (size_t i = 0; i < outputs_.size() && i < 32; ++i)
    if (int(outputs_[i]->name) == screenNumber) return 1u << i;
  return 0;
}

int WaylandEngine::mainDisplayNumber() { return mainScreen().number; }

bool WaylandEngine::captureScreen(uint32_t mask, CapturedImage* out) {
  // Under a wallpaper an output shows whatever windows are open at the start,
  // which would stay under the water: the wallpaper takes the desktop picture.
  if (options_.kind == WaylandKind::Wallpaper) return false;
  if (!screencopy_ || !shm_ || Broken()) return false;
  WaylandOutput* output = nullptr;
  for (size_t i = 0; i < outputs_.size() && i < 32; ++i)
    if ((mask & (1u << i)) && outputs_[i]->done && !outputs_[i]->removed) {
      output = outputs_[i].get();
      break;
    }
  if (!output) return false;
  return CaptureOutput(display_, shm_, screencopy_, screencopyVersion_, output->output, out);
}

}  // namespace ambrel
