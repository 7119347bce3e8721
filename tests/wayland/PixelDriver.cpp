// Runs the Wayland engine with a view that draws through a pixel surface: four
// flat quarters, red, green, blue and white from the top left, so a screenshot
// shows the row order, the byte order and the size. Reports on stdout, one line
// per event:
//   drawn WxH egl=0|1  the first frame presented at a size, and whether EGL or
//                      a Mesa driver is in the process
//   skipped            the first of frames in a row with no buffer to draw in
//   wayland_pixel_driver saver | wallpaper | window [--buffers WxH,WxH...] [--file-size MB]
// With AMBREL_FPS_LOG=path, the frames presented so far are kept there as
// "frames N", as ambrel keeps them.
// --buffers draws at each listed size for ten ticks in turn, the last one for
// good, instead of the configured size; --file-size caps the size of any file the
// process makes, its shared-memory pools among them.
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wayland/WaylandEngine.h"
#include "tests/common/DriverLines.h"

namespace ambrel {
namespace {

// libEGL, an EGL vendor library or a Mesa driver mapped.
bool EglDriverLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("/libEGL") != std::string::npos || line.find("_dri.so") != std::string::npos ||
        line.find("libgallium") != std::string::npos)
      return true;
  return false;
}

std::vector<Size> forcedSizes;

class PatternView : public ScreenSaverView {
 public:
  PatternView(Rect frame, bool isPreview, ViewSite& site) : ScreenSaverView(frame, isPreview, site) {
    surface_ = site.createPixelSurface();
    if (!surface_) Say("no pixel surface");
    setAnimationTimeInterval(1.0 / 60.0);
  }
  void setFrameSize(Size size) override {
    ScreenSaverView::setFrameSize(size);
    if (surface_ && forcedSizes.empty()) surface_->SetSize(size);
  }
  void animateOneFrame() override {
    if (!surface_) return;
    if (!forcedSizes.empty()) {
      const size_t step = std::min(ticks_ / 10, forcedSizes.size() - 1);
      surface_->SetSize(forcedSizes[step]);
    }
    ++ticks_;
    const PixelBuffer buffer = surface_->Acquire();
    if (!buffer.pixels || buffer.width < 1 || buffer.height < 1) {
      if (!skipped_) Say("skipped");
      skipped_ = true;
      return;
    }
    skipped_ = false;
    static const uint8_t kQuarters[4][4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    const int halfWidth = (buffer.width + 1) / 2, halfHeight = (buffer.height + 1) / 2;
    for (int y = 0; y < buffer.height; ++y) {
      uint8_t* row = buffer.pixels + size_t(y) * buffer.stride;
      for (int x = 0; x < buffer.width; ++x)
        std::memcpy(row + size_t(x) * 4, kQuarters[(y >= halfHeight ? 2 : 0) + (x >= halfWidth ? 1 : 0)], 4);
    }
    surface_->Present();
    ++frames_;
    if (const char* log = std::getenv("AMBREL_FPS_LOG")) {
      // Whole or not at all, for a reader watching it.
      const std::string partial = std::string(log) + ".partial";
      if (FILE* file = std::fopen(partial.c_str(), "w")) {
        std::fprintf(file, "frames %ld\n", frames_);
        std::fclose(file);
        std::rename(partial.c_str(), log);
      }
    }
    if (buffer.width != drawnWidth_ || buffer.height != drawnHeight_)
      Say("drawn %dx%d egl=%d", buffer.width, buffer.height, EglDriverLoaded() ? 1 : 0);
    drawnWidth_ = buffer.width;
    drawnHeight_ = buffer.height;
  }

 private:
  std::unique_ptr<PixelSurface> surface_;
  size_t ticks_ = 0;
  long frames_ = 0;
  bool skipped_ = false;
  int drawnWidth_ = 0, drawnHeight_ = 0;
};

int Main(int argc, char** argv) {
  if (argc < 2) return 2;
  WaylandOptions options;
  const std::string kind = argv[1];
  options.kind = kind == "wallpaper" ? WaylandKind::Wallpaper : kind == "window" ? WaylandKind::Window
                                                                                  : WaylandKind::Saver;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--file-size") {
      // Past the limit, growing a file fails with EFBIG once this signal is ignored.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t bytes = rlim_t(std::atol(argv[i + 1])) << 20;
      const rlimit limit{bytes, bytes};
      setrlimit(RLIMIT_FSIZE, &limit);
    } else if (name == "--buffers") {
      for (const char* at = argv[i + 1]; *at;) {
        int width = 0, height = 0, used = 0;
        if (std::sscanf(at, "%dx%d%n", &width, &height, &used) != 2) return 2;
        forcedSizes.push_back(Size{double(width), double(height)});
        at += used;
        if (*at == ',') ++at;
      }
    }
  }
  return RunWayland(options, [](Rect frame, bool isPreview, ViewSite& site) {
    return std::make_unique<PatternView>(frame, isPreview, site);
  });
}

}  // namespace
}  // namespace ambrel

int main(int argc, char** argv) { return ambrel::Main(argc, argv); }
