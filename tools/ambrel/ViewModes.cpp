#include "platform/linux/Translations.h"
#include "tools/ambrel/ViewModes.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/linux/GtkAlert.h"
#include "tools/ambrel/FpsOverlay.h"
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

// Passes everything to the view's own surface and counts the frames it ends.
class CountingSurface : public GLSurface {
 public:
  CountingSurface(std::unique_ptr<GLSurface> inner, FrameTally* tally) : inner_(std::move(inner)), tally_(tally) {}
  bool MakeCurrent() override { return inner_->MakeCurrent(); }
  void SetSize(Size size) override { inner_->SetSize(size); }
  void Flush() override {
    inner_->Flush();
    const double now = MonotonicSeconds();
    if (tally_->frames++ == 0) tally_->first = now;
    tally_->last = now;
    if (now - tally_->written >= 0.2) {
      tally_->written = now;
      WriteFrameTally(tally_->path, *tally_, false);
    }
  }

 private:
  std::unique_ptr<GLSurface> inner_;
  FrameTally* tally_;
};

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

}  // namespace

AmbrelViewOverrides DisplayViewOverrides(const CommandLine& line) {
  AmbrelViewOverrides overrides;
  overrides.settings = BaseSettings(line);
  overrides.fields = line.fields;
  if (line.background) {
    DesktopPicturePreference pictures;
    pictures.entries["default"].imageFilePath = *line.background;
    overrides.desktopPictures = pictures;
  }
  return overrides;
}

int RunViewMode(const CommandLine& line) {
  const AmbrelViewOverrides overrides = DisplayViewOverrides(line);
  // AMBREL_FPS_LOG=path: frames drawn and their time span, written at exit (benchmarks).
  const char* fpsLog = std::getenv("AMBREL_FPS_LOG");
  FrameTally tally;
  tally.path = fpsLog;
  const ViewFactory factory = [&](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
    auto view = std::make_unique<AmbrelView>(frame, isPreview, site, overrides);
    if (line.showFps && view->glView) view->glView = std::make_unique<FpsOverlaySurface>(std::move(view->glView));
    if (fpsLog && *fpsLog && view->glView)
      view->glView = std::make_unique<CountingSurface>(std::move(view->glView), &tally);
    return view;
  };
  int status = 0;
  if (line.mode == RunMode::kHack) {
    status = RunHack(line.hack, factory);
  } else if (line.wayland) {
    // A dialog would sit under the saver's overlay and behind a wallpaper's
    // windows: those say what went wrong on stderr.
    if (*line.wayland == WaylandKind::Window || *line.wayland == WaylandKind::Preview) InstallGtkAlertPresenter();
    WaylandOptions options;
    options.kind = *line.wayland;
    options.width = line.standAlone.width;
    options.height = line.standAlone.height;
    status = RunWayland(options, factory);
  } else {
    // A hack has no one to answer a dialog; a person at a window does.
    InstallGtkAlertPresenter();
    status = RunStandAlone(line.standAlone, factory);
  }
  if (fpsLog && *fpsLog) WriteFrameTally(fpsLog, tally);
  return status;
}

}  // namespace ambrel
