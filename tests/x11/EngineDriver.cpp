// Runs the engine with a view that paints a changing colour (or, built with
// DRIVE_AMBREL_VIEW, the real view) and reports its life on stdout, one line per
// event, for the engine tests to follow from outside.
//   x11_engine_driver full | window [WxH] | preview | hack <XScreenSaver options>
// DRIVER_PIXELS=early (asked when the view is made) or late (when it starts):
// the view draws on the processor, pixel (x, y) red x, green y (both modulo
// 256) and blue one value above 0x3f that changes every frame.
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/LinuxEngine.h"
#include "tests/common/DriverLines.h"
#include "platform/linux/LinuxPlatform.h"
#include "tools/ambrel/HackArguments.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#ifdef DRIVE_AMBREL_VIEW
#include "host/AmbrelView.h"
#endif

namespace ambrel {

namespace {

int created = 0;
int released = 0;

std::string Hex(const uint8_t* pixel) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", pixel[0], pixel[1], pixel[2]);
  return text;
}

class ColourView : public ScreenSaverView {
 public:
  ColourView(Rect frame, bool isPreview, ViewSite& site) : ScreenSaverView(frame, isPreview, site) {
    ++created;
    Say("created %dx%d+%d+%d preview=%d", int(frame.width), int(frame.height), int(frame.x), int(frame.y),
        isPreview ? 1 : 0);
    // Captures run at creation, before the windows show, as the real view's do.
    CapturedImage capture;
    const uint32_t mask = CurrentPlatform().displayMask(ScreenNumberFor(frame));
    if (CurrentPlatform().captureScreen(mask, &capture) && capture.width > 0 && capture.height > 0) {
      const size_t topLeft = size_t(capture.height - 1) * size_t(capture.width) * 4;
      Say("capture %dx%d bottomleft=%s topleft=%s", capture.width, capture.height, Hex(&capture.pixels[0]).c_str(),
          Hex(&capture.pixels[topLeft]).c_str());
    } else {
      Say("capture none");
    }
    const char* pixels = std::getenv("DRIVER_PIXELS");
    pixelsLate_ = pixels && std::strcmp(pixels, "late") == 0;
    if (pixels && !pixelsLate_) {
      pixels_ = site.createPixelSurface();
      Say("pixels %s", pixels_ ? "yes" : "no");
    } else if (!pixels) {
      surface_ = site.createGLSurface(SurfaceRequest{});
      Say("surface %s", surface_ ? "yes" : "no");
    }
    setAnimationTimeInterval(1.0 / 60.0);
  }
  ~ColourView() override {
    if (surface_) surface_->MakeCurrent();
    ++released;
    Say("released");
  }
  void setFrameSize(Size size) override {
    ScreenSaverView::setFrameSize(size);
    if (surface_) surface_->SetSize(size);
    if (pixels_) pixels_->SetSize(size);
    Say("size %dx%d", int(size.width), int(size.height));
  }
  void startAnimation() override {
    ScreenSaverView::startAnimation();
    if (pixelsLate_ && !pixels_) {
      pixels_ = site().createPixelSurface();
      if (pixels_) pixels_->SetSize(Size{bounds().width, bounds().height});
      Say("pixels %s", pixels_ ? "yes" : "no");
    }
    const Screen* screen = site().screen();
    Say("start screen=%d main=%d", screen ? screen->number : 0, CurrentPlatform().mainDisplayNumber());
  }
  void stopAnimation() override {
    ScreenSaverView::stopAnimation();
    Say("stop");
  }
  void animateOneFrame() override {
    if (pixels_) return DrawPixels();
    if (!surface_ || !surface_->MakeCurrent()) return;
    ++frames_;
    // Never black: each channel stays above a quarter.
    const float phase = float(frames_ % 60) / 60.0f;
    glViewport(0, 0, GLsizei(bounds().width), GLsizei(bounds().height));
    glClearColor(0.25f + 0.75f * phase, 0.5f, 1.0f - 0.75f * phase, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    surface_->Flush();
    if (frames_ == 1) Say("first frame");
    Say("frame %ld", frames_);
  }

 private:
  static int ScreenNumberFor(Rect frame) {
    for (const Screen& screen : CurrentPlatform().screens())
      if (!IsEmptyRect(IntersectionRect(screen.frame, frame))) return screen.number;
    return CurrentPlatform().mainDisplayNumber();
  }
  void DrawPixels() {
    const PixelBuffer buffer = pixels_->Acquire();
    ++frames_;
    const uint8_t blue = uint8_t(0x40 + frames_ % 0xc0);
    for (int y = 0; y < buffer.height; ++y) {
      uint8_t* pixel = buffer.pixels + size_t(y) * buffer.stride;
      for (int x = 0; x < buffer.width; ++x, pixel += 4) {
        pixel[0] = blue;
        pixel[1] = uint8_t(y);
        pixel[2] = uint8_t(x);
        pixel[3] = 0;
      }
    }
    pixels_->Present();
    if (frames_ == 1) Say("first frame");
    Say("frame %ld %dx%d", frames_, buffer.width, buffer.height);
  }
  std::unique_ptr<GLSurface> surface_;
  std::unique_ptr<PixelSurface> pixels_;
  bool pixelsLate_ = false;
  long frames_ = 0;
};

#ifdef DRIVE_AMBREL_VIEW
// The real view, counted the same way.
class CountedAmbrelView : public AmbrelView {
 public:
  CountedAmbrelView(Rect frame, bool isPreview, ViewSite& site) : AmbrelView(frame, isPreview, site) {
    ++created;
    Say("created %dx%d+%d+%d preview=%d", int(frame.width), int(frame.height), int(frame.x), int(frame.y),
        isPreview ? 1 : 0);
  }
  ~CountedAmbrelView() override {
    ++released;
    Say("released");
  }
  void animateOneFrame() override {
    AmbrelView::animateOneFrame();
    if (++frames_ == 30) Say("first frame");
  }

 private:
  long frames_ = 0;
};

std::unique_ptr<ScreenSaverView> MakeView(Rect frame, bool isPreview, ViewSite& site) {
  return std::make_unique<CountedAmbrelView>(frame, isPreview, site);
}
#else
std::unique_ptr<ScreenSaverView> MakeView(Rect frame, bool isPreview, ViewSite& site) {
  return std::make_unique<ColourView>(frame, isPreview, site);
}
#endif

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  InstallLinuxPlatform();
  const std::string mode = argc > 1 ? argv[1] : "full";
  int code = 2;
  if (mode == "hack") {
    DisplayRequest options;
    std::string error;
    std::vector<std::string> rest;
    // Everything after "hack" is the programs line's own options.
    ParseHackArguments(argc - 1, argv + 1, &options, &rest, &error);
    if (!error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    }
    code = RunHack(options, MakeView);
  } else {
    StandAloneOptions options;
    if (mode == "window") options.kind = StandAloneKind::Window;
    if (mode == "preview") options.kind = StandAloneKind::Preview;
    if (argc > 2 && !ParseSize(argv[2], &options.width, &options.height)) return 2;
    // A stand-in for the monitors' DPMS state, which Xvfb lacks: "off" in the
    // named file puts them to sleep.
    if (const char* power = std::getenv("DRIVER_MONITORS_FILE")) {
      const std::string path = power;
      options.monitorsAsleep = [path] {
        FILE* file = std::fopen(path.c_str(), "r");
        char state[4] = {};
        const bool off = file && std::fread(state, 1, 3, file) == 3 && std::strcmp(state, "off") == 0;
        if (file) std::fclose(file);
        Say("monitors asked %s at %.6f", off ? "off" : "on", MonotonicSeconds());
        return off;
      };
    }
    code = RunStandAlone(options, MakeView);
  }
  Say("exit %d released %d of %d", code, released, created);
  return code;
}
