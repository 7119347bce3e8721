#include "platform/linux/Translations.h"
#include "tools/ambrel/RenderMode.h"

#include <epoxy/gl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "image/ResFile.h"
#include "platform/Bundle.h"
#include "platform/Termination.h"
#include "platform/egl/OffscreenEngine.h"
#include "render/CpuFrame.h"
#include "tools/ambrel/PngWriter.h"
#include "tools/ambrel/RendererChoice.h"
#include "tools/ambrel/SettingsReport.h"

namespace ambrel {

namespace {

// Refuse early, before minutes of rendering, when a file could never be written.
bool CheckOutputPath(const RenderRequest& options, std::string* error) {
  if (options.every <= 0) return CheckPngTarget(options.output, error);
  const int64_t frames = FrameCount(options);
  const int64_t last = frames - frames % options.every;
  // The folder once, with the longest name; then that no numbered name is taken by
  // something that is not a regular file.
  if (!CheckPngTarget(NumberedPath(options.output, last), error)) return false;
  std::string target;
  for (int64_t frame = options.every; frame < last; frame += options.every)
    if (!ResolvePngTarget(NumberedPath(options.output, frame), &target, error)) return false;
  return true;
}

// Short of memory, llvmpipe can wait for ever, while its context is torn down,
// for threads it never started: with nothing left to write, the program ends here.
[[noreturn]] void EndShortOfMemory(const RenderRequest& options, bool inOneFrame) {
  std::fprintf(stderr,
               inOneFrame ? Tr("ambrel: not enough memory for a %dx%d frame\n")
                          : Tr("ambrel: not enough memory to render %dx%d frames\n"),
               options.width, options.height);
  std::fflush(nullptr);
  _exit(1);
}

// Lends the view's buffer only for the frames that are written: the others are
// described, so the water and the overlay step the same, but never drawn.
class DrawnWhenWritten : public PixelSurface {
 public:
  explicit DrawnWhenWritten(std::unique_ptr<PixelSurface> surface) : surface_(std::move(surface)) {}
  void SetSize(Size size) override { surface_->SetSize(size); }
  PixelBuffer Acquire() override { return draw ? surface_->Acquire() : PixelBuffer{}; }
  void Present() override {
    if (draw) surface_->Present();
  }
  bool draw = false;

 private:
  std::unique_ptr<PixelSurface> surface_;
};

// cpuSurface is the CPU renderer's surface, null for OpenGL; with it no OpenGL
// context exists to ask for its name. chosen says who draws, as the choice found it.
int RenderFrames(OffscreenEngine& engine, const RenderRequest& options, int64_t frames, uint32_t seed,
                 DrawnWhenWritten* cpuSurface, const std::string& chosen) {
  const bool cpu = cpuSurface != nullptr;
  std::string error;
  const bool showProgress = frames >= 120;
  std::string renderer = chosen;
  if (!cpu) {
    engine.makeCurrent(0);
    const auto* glRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer = glRenderer ? glRenderer : Tr("an unknown renderer");
  }
  std::fprintf(stderr, Tr("ambrel: rendering %lld frames of %dx%d (%.2f s of scene time), seed %u, on %s\n"),
               (long long)frames, options.width, options.height, frames * options.frameTime, seed, renderer.c_str());

  for (int64_t frame = 1; frame <= frames; ++frame) {
    const bool write = options.every > 0 ? frame % options.every == 0 : frame == frames;
    if (cpu) cpuSurface->draw = write;
    engine.advance(options.frameTime);
    engine.tick();

    if (write) {
      const std::string path = options.every > 0 ? NumberedPath(options.output, frame) : options.output;
      bool written;
      try {
        // Rows top first as RGBA: read back from OpenGL, or the pixel surface's
        // B, G, R, X turned round.
        std::vector<uint8_t> pixels = engine.pixels(0);
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
        written = WritePng(path, options.width, options.height, pixels, &error);
      } catch (const std::bad_alloc&) {
        // A frame read back is width x height x 4 bytes: under a memory limit that
        // is the allocation that fails.
        EndShortOfMemory(options, true);
      }
      if (!written) {
        std::fprintf(stderr, "ambrel: %s\n", error.c_str());
        return 1;
      }
      if (path != "-") {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
      }
    }
    if (showProgress && frame % (frames / 10) == 0 && frame < frames)
      std::fprintf(stderr, Tr("ambrel: frame %lld of %lld\n"), (long long)frame, (long long)frames);
  }
  return 0;
}

}  // namespace

int RunRenderMode(const RunRequest& request) {
  const RenderRequest& options = request.render;
  std::string error;
  // Past a file-size limit a write should fail and be cleaned up, not kill the program
  // with a temporary file left behind.
  signal(SIGXFSZ, SIG_IGN);
  InstallTerminationHandlers();
  if (options.output == "-" && options.every > 0) {
    std::fprintf(stderr, Tr("ambrel: --output - writes one frame; --every needs a file name\n"));
    return 2;
  }
  if (!CheckOutputPath(options, &error)) {
    std::fprintf(stderr, "ambrel: %s\n", error.c_str());
    return 1;
  }

  // Without the pack and the picture the view would quietly draw bare water.
  for (const auto& [name, type] : {std::pair{"morvish", "tallowyn"}, std::pair{"fallback", "png"}})
    if (PathForResource(name, type).empty()) {
      std::fprintf(stderr, Tr("ambrel: cannot find %s.%s in the resource folder \"%s\" (set AMBREL_RESOURCES)\n"), name,
                   type, BundleResourceDirectory().c_str());
      return 1;
    }
  const std::string packPath = PathForResource("morvish", "tallowyn");
  if (RESFILE pack; !pack.Open(packPath.c_str())) {
    std::fprintf(stderr, Tr("ambrel: the data pack \"%s\" is damaged\n"), packPath.c_str());
    return 1;
  }

  // The view seeds the random numbers with the whole seconds of the clock's reading.
  const uint32_t seed = options.seed ? *options.seed : (uint32_t)time(nullptr);
  OffscreenEngine::Options engineOptions;
  engineOptions.preview = options.preview;
  engineOptions.startTime = seed;
  Screen screen;
  screen.frame = Rect{0, 0, double(options.width), double(options.height)};
  screen.number = 1;
  OffscreenEngine engine({screen}, engineOptions);

  // The CPU renderer draws through the view into a pixel surface: no OpenGL
  // context is made for it.
  const ResolvedRenderer chosen = ResolveRenderer(request.renderer);
  const bool cpu = chosen.renderer == FrameRenderer::kCpu;
  try {
    AmbrelViewOverrides overrides = ViewOverrides(request);
    DrawnWhenWritten* cpuSurface = nullptr;
    if (cpu) {
      overrides.renderer = FrameRenderer::kCpu;
      overrides.decoratePixelSurface = [&cpuSurface](std::unique_ptr<PixelSurface> surface) {
        auto gated = std::make_unique<DrawnWhenWritten>(std::move(surface));
        cpuSurface = gated.get();
        return std::unique_ptr<PixelSurface>(std::move(gated));
      };
    }
    engine.createViews([&](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
      return std::make_unique<AmbrelView>(frame, isPreview, site, overrides);
    });
    if (engine.viewCount() != 1 || !engine.hasSurface(0) || engine.surfaceWidth(0) != options.width ||
        engine.surfaceHeight(0) != options.height) {
      std::fprintf(stderr, Tr("ambrel: cannot create an off-screen OpenGL surface of %dx%d\n"), options.width,
                   options.height);
      return 1;
    }
    engine.startAnimation();
    // The first tick builds the scene and starts its clock; the steps come after it.
    engine.tick();
    if (!static_cast<AmbrelView*>(engine.view(0))->hasScene()) {
      std::fprintf(stderr, Tr("ambrel: cannot build the scene\n"));
      return 1;
    }
    return RenderFrames(engine, options, FrameCount(options), seed, cpuSurface, chosen.description);
  } catch (const std::bad_alloc&) {
    EndShortOfMemory(options, false);
  }
}

}  // namespace ambrel
