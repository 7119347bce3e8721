#include "platform/linux/Translations.h"
#include "tools/ambrel/ViewModes.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/linux/GtkAlert.h"
#include "platform/linux/LinuxEngine.h"
#include "platform/wayland/WaylandEngine.h"
#include "tools/ambrel/FpsOverlay.h"
#include "tools/ambrel/RendererChoice.h"
#include "tools/ambrel/SettingsReport.h"

namespace ambrel {

namespace {

// Frames ended on every surface of the run, for AMBREL_FPS_LOG: written as they
// go (at most five times a second, so a view that stops drawing shows as a count
// that stops) and at the end.
struct FrameTally {
  long frames = 0;
  double first = 0, last = 0, written = 0;
  const char* path = nullptr;
};

void WriteFrameTally(const char* path, const FrameTally& tally, bool report = true);
void CountFrame(FrameTally* tally);

// Passes everything to the view's own surface and counts the frames it ends.
class CountingSurface : public GLSurface {
 public:
  CountingSurface(std::unique_ptr<GLSurface> inner, FrameTally* tally) : inner_(std::move(inner)), tally_(tally) {}
  bool MakeCurrent() override { return inner_->MakeCurrent(); }
  void SetSize(Size size) override { inner_->SetSize(size); }
  void Flush() override {
    inner_->Flush();
    CountFrame(tally_);
  }

 private:
  std::unique_ptr<GLSurface> inner_;
  FrameTally* tally_;
};

// The same for the CPU renderer's surface, counting the frames it presents.
class CountingPixelSurface : public PixelSurface {
 public:
  CountingPixelSurface(std::unique_ptr<PixelSurface> inner, FrameTally* tally) : inner_(std::move(inner)), tally_(tally) {}
  void SetSize(Size size) override { inner_->SetSize(size); }
  PixelBuffer Acquire() override { return inner_->Acquire(); }
  void Present() override {
    inner_->Present();
    CountFrame(tally_);
  }

 private:
  std::unique_ptr<PixelSurface> inner_;
  FrameTally* tally_;
};

void CountFrame(FrameTally* tally) {
  const double now = MonotonicSeconds();
  if (tally->frames++ == 0) tally->first = now;
  tally->last = now;
  if (now - tally->written >= 0.2) {
    tally->written = now;
    WriteFrameTally(tally->path, *tally, false);
  }
}

void WriteFrameTally(const char* path, const FrameTally& tally, bool report) {
  // Whole or not at all, for a reader watching it during the run.
  const std::string partial = std::string(path) + ".partial";
  FILE* file = std::fopen(partial.c_str(), "w");
  if (!file) {
    if (report) std::fprintf(stderr, Tr("ambrel: cannot write the frame log \"%s\"\n"), path);
    return;
  }
  const double span = tally.last - tally.first;
  std::fprintf(file, "frames %ld\nseconds %.6f\nfps %.3f\n", tally.frames, span,
               tally.frames > 1 && span > 0 ? (tally.frames - 1) / span : 0.0);
  if (std::fclose(file) != 0 || std::rename(partial.c_str(), path) != 0) std::remove(partial.c_str());
}

WaylandKind WaylandKindFor(RunMode mode) {
  switch (mode) {
    case RunMode::kWindow:
      return WaylandKind::Window;
    case RunMode::kPreview:
      return WaylandKind::Preview;
    case RunMode::kWallpaper:
      return WaylandKind::Wallpaper;
    default:
      return WaylandKind::Saver;
  }
}

StandAloneKind StandAloneKindFor(RunMode mode) {
  return mode == RunMode::kWindow ? StandAloneKind::Window
         : mode == RunMode::kPreview ? StandAloneKind::Preview
                                     : StandAloneKind::FullScreen;
}

}  // namespace

int RunViewMode(const RunRequest& request) {
  AmbrelViewOverrides overrides = ViewOverrides(request);
  // Asked before any engine starts: the probe's child is forked from a process
  // that has no display connection in use yet and no OpenGL loaded.
  const ResolvedRenderer renderer = ResolveRenderer(request.renderer);
  overrides.renderer = renderer.renderer;
  // A hack's stderr is XScreenSaver's log, which a run that goes well leaves
  // alone: there the corner says it.
  if (request.showFps && request.mode != RunMode::kHack)
    std::fprintf(stderr, Tr("ambrel: drawing with %s\n"), renderer.description.c_str());
  // AMBREL_FPS_LOG=path: frames drawn and their time span, written at exit (benchmarks).
  const char* fpsLog = std::getenv("AMBREL_FPS_LOG");
  const bool countFrames = fpsLog && *fpsLog;
  FrameTally tally;
  tally.path = fpsLog;
  if (request.showFps || countFrames) {
    overrides.decorateSurface = [&](std::unique_ptr<GLSurface> surface) {
      if (request.showFps) surface = std::make_unique<FpsOverlaySurface>(std::move(surface));
      if (countFrames) surface = std::make_unique<CountingSurface>(std::move(surface), &tally);
      return surface;
    };
    overrides.decoratePixelSurface = [&](std::unique_ptr<PixelSurface> surface) {
      if (request.showFps) surface = std::make_unique<FpsOverlayPixelSurface>(std::move(surface));
      if (countFrames) surface = std::make_unique<CountingPixelSurface>(std::move(surface), &tally);
      return surface;
    };
  }
  const ViewFactory factory = [&](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
    return std::make_unique<AmbrelView>(frame, isPreview, site, overrides);
  };
  const DisplayRequest& display = request.display;
  int status = 0;
  if (request.mode == RunMode::kHack) {
    status = RunHack(display, factory);
  } else if (request.wayland) {
    WaylandOptions options;
    options.kind = WaylandKindFor(request.mode);
    options.width = display.width;
    options.height = display.height;
    // A dialog would sit under the saver's overlay and behind a wallpaper's
    // windows: those say what went wrong on stderr.
    if (options.kind == WaylandKind::Window || options.kind == WaylandKind::Preview) InstallGtkAlertPresenter();
    status = RunWayland(options, factory);
  } else {
    StandAloneOptions options;
    options.kind = StandAloneKindFor(request.mode);
    options.width = display.width;
    options.height = display.height;
    options.position = display.position;
    options.displayName = display.displayName;
    options.shortestFrameSeconds = display.shortestFrameSeconds;
    // A hack has no one to answer a dialog; a person at a window does.
    InstallGtkAlertPresenter();
    status = RunStandAlone(options, factory);
  }
  if (countFrames) WriteFrameTally(fpsLog, tally);
  return status;
}

}  // namespace ambrel
