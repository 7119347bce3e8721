// One whole frame as the host runs it (Update, projection, Draw, glFinish) through the
// off-screen context, split into the time spent in our code (the water step and the
// rebuild of its arrays, inside Update) and the time spent in OpenGL.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/egl/OffscreenContext.h"
#include "scene/SSMain.h"
#include "host/AmbrelView.h"
#include "image/Pics.h"
#include "platform/Bundle.h"

namespace {

void Reshape(int width, int height) { SetViewProjection(width, height); }

void BM_Frame(benchmark::State& state) {
  const int width = (int)state.range(0), height = (int)state.range(1), shift = (int)state.range(2);
  OffscreenContext context;
  std::string error;
  if (!context.Create(width, height, &error)) {
    state.SkipWithError(error.c_str());
    return;
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
  SSMAIN scene;
  scene.Setup(false, width, height, &settings);
  Texture background;
  loadPicFile(PathForResource("fallback", "png").c_str(), &background, 1);
  scene.backgroundTexture = background.texID;
  background.texID = 0;

  // Let the bowl open and ripples spread before measuring.
  for (int i = 0; i < 120; ++i) {
    scene.Update(1.0 / 60);
    Reshape(width, height);
    scene.Draw();
  }
  glFinish();

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
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + " N=" + std::to_string(1 << shift));
  scene.Cleanup();
}

BENCHMARK(BM_Frame)
    ->ArgNames({"w", "h", "shift"})
    ->Args({1280, 720, 6})
    ->Args({1280, 720, 8})
    ->Args({1920, 1080, 6})
    ->Args({1920, 1080, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // A frame time means little without what drew it.
  OffscreenContext probe;
  benchmark::AddCustomContext("gl_renderer", probe.Create(8, 8) ? probe.Renderer() : "none");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
