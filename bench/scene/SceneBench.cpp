// One whole frame as the host runs it (Update, projection, Draw, glFinish) through the
// off-screen context, split into the time spent in our code (the water step and the
// rebuild of its arrays, inside Update) and the time spent in OpenGL; beside it the
// same frames drawn by the CPU renderer. The CPU column is the process's CPU time
// per frame, a software rasteriser's threads included.
#include <epoxy/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/egl/OffscreenContext.h"
#include "platform/linux/LinuxPlatform.h"
#include "scene/SSMain.h"
#include "host/AmbrelView.h"
#include "image/Pics.h"
#include "platform/Bundle.h"
#include "render/CpuFrame.h"
#include "render/GLTextures.h"
#include "scene/GLFrame.h"

namespace ambrel {

namespace {

void Reshape(int width, int height) { SetViewProjection(width, height); }

// The scene both benchmarks draw: busy water over the shipped picture, settled.
// Returns false (and skips) when there is no context.
bool SettledScene(benchmark::State& state, OffscreenContext* context, SSMAIN* scene, bool describeOnly) {
  const int width = (int)state.range(0), height = (int)state.range(1), shift = (int)state.range(2);
  std::string error;
  if (!context->Create(width, height, &error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  SetViewGLState(width, height);
  Reshape(width, height);

  srand(1);
  SETTINGS settings{};
  settings.LIGHTING = true;
  settings.WANTBOWL = true;
  settings.WATERSPEED = 100;
  settings.WATERSHIFT = shift;
  settings.DRIPSPEED = 25;  // busy water: drops every quarter second or so
  scene->Setup(false, width, height, &settings);
  Texture background;
  loadPicFile(PathForResource("fallback", "png").c_str(), &background, 1);
  scene->backgroundTexture = background.texID;
  background.texID = 0;

  // Let the bowl open and ripples spread before measuring.
  for (int i = 0; i < 120; ++i) {
    scene->Update(1.0 / 60);
    if (describeOnly) {
      SceneFrame frame;
      scene->Describe(&frame);
    } else {
      Reshape(width, height);
      scene->Draw();
    }
  }
  glFinish();
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + " N=" + std::to_string(1 << shift));
  return true;
}

void BM_Frame(benchmark::State& state) {
  const int width = (int)state.range(0), height = (int)state.range(1);
  OffscreenContext context;
  SSMAIN scene;
  if (!SettledScene(state, &context, &scene, false)) return;

  using Clock = std::chrono::steady_clock;
  double ours = 0, total = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    scene.Update(1.0 / 60);
    auto stepped = Clock::now();
    Reshape(width, height);
    scene.Draw();
    glFinish();
    auto end = Clock::now();
    ours += std::chrono::duration<double>(stepped - start).count();
    total += std::chrono::duration<double>(end - start).count();
  }
  const double frames = (double)state.iterations();
  state.counters["ours_ms"] = ours / frames * 1e3;
  state.counters["gl_ms"] = (total - ours) / frames * 1e3;
  state.counters["ours_share_pct"] = total > 0 ? ours / total * 100 : 0;
  scene.Cleanup();
}

void BM_CpuFrame(benchmark::State& state) {
  OffscreenContext context;
  SSMAIN scene;
  if (!SettledScene(state, &context, &scene, true)) return;
  CpuTextures textures;
  const int fill = static_cast<int>(state.range(3));
  const std::optional<bool> was = PinCpuFrameGathers(fill == 0 ? std::nullopt : std::optional<bool>(fill == 2));
  // Drawn as a pixel surface's buffer takes it.
  std::vector<uint32_t> pixels(static_cast<size_t>(state.range(0)) * state.range(1));
  const PixelBuffer buffer{reinterpret_cast<uint8_t*>(pixels.data()), (int)state.range(0), (int)state.range(1),
                           static_cast<size_t>(state.range(0)) * 4};
  for (auto _ : state) {
    scene.Update(1.0 / 60);
    SceneFrame frame;
    scene.Describe(&frame);
    ReadGLTextures(frame, &textures);
    DrawSceneFrameCpu(frame, textures, buffer);
    benchmark::DoNotOptimize(pixels.data());
  }
  PinCpuFrameGathers(was);
  scene.Cleanup();
}

BENCHMARK(BM_Frame)
    ->ArgNames({"w", "h", "shift"})
    ->Args({1280, 720, 6})
    ->Args({1280, 720, 8})
    ->Args({1920, 1080, 6})
    ->Args({1920, 1080, 8})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// fill: 0 as Ambrel chooses, 1 texels loaded and moved into place, 2 gathered
// (the same where the processor has no AVX2).
BENCHMARK(BM_CpuFrame)
    ->ArgNames({"w", "h", "shift", "fill"})
    ->ArgsProduct({{1280}, {720}, {6, 8}, {0, 1, 2}})
    ->ArgsProduct({{1920}, {1080}, {6, 8}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  InstallLinuxPlatform();
  // A frame time means little without what drew it.
  OffscreenContext probe;
  benchmark::AddCustomContext("gl_renderer", probe.Create(8, 8) ? probe.Renderer() : "none");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
