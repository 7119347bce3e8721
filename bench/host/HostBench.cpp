// From the view's creation to its first drawn frame, as a screen sees it: the
// capture or the folder picture, the pack and the scene's set-up, through the
// off-screen engine. Target: 300 ms or less.
#include <epoxy/gl.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/AmbrelView.h"
#include "platform/Bundle.h"
#include "platform/egl/OffscreenEngine.h"
#include "platform/linux/LinuxPlatform.h"

namespace ambrel {

namespace {

const Screen kScreen{Rect{0, 0, 1440, 900}, 1};

SETTINGS Settings(int bgType, const std::string& folder) {
  SETTINGS s = DefaultSettings().settings;
  s.BGTYPE = bgType;
  std::snprintf(s.BGPath, sizeof s.BGPath, "%s", folder.c_str());
  s.BGRES = 1;
  return s;
}

CapturedImage Desktop(int side) {
  CapturedImage image;
  image.width = image.height = side;
  image.pixels.resize(size_t(side) * side * 4);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      uint8_t* p = &image.pixels[(size_t(y) * side + x) * 4];
      p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = 255;
    }
  return image;
}

void FirstFrame(benchmark::State& state, int bgType) {
  if (PathForResource("morvish", "tallowyn").empty() || PathForResource("fallback", "png").empty()) {
    state.SkipWithError("the pack or fallback.png is missing: build ambrel_pack_data and ambrel_fallback_picture");
    return;
  }
  // The folder holds one picture: the shipped fallback.
  const std::string folder = std::filesystem::temp_directory_path() / "ambrel-bench-pictures";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(PathForResource("fallback", "png"), folder + "/picture.png",
                             std::filesystem::copy_options::overwrite_existing);
  AmbrelViewOverrides overrides;
  overrides.settings = SettingsRecord{false, Settings(bgType, folder)};
  const ViewFactory factory = [&](Rect frame, bool preview, ViewSite& site) {
    return std::make_unique<AmbrelView>(frame, preview, site, overrides);
  };
  const CapturedImage capture = Desktop(1024);

  for (auto _ : state) {
    OffscreenEngine engine({kScreen});
    engine.setCapture(1, capture);
    engine.createViews(factory);
    engine.startAnimation();
    engine.tick();          // set-up
    engine.runFrames(1);    // the first drawn frame
    engine.makeCurrent(0);
    glFinish();
    if (engine.flushCount(0) != 1) state.SkipWithError("no frame was drawn");
    state.PauseTiming();
    engine.destroyViews();
    state.ResumeTiming();
  }
  std::filesystem::remove_all(folder);
}

void BM_FirstFrameOverCapture(benchmark::State& state) { FirstFrame(state, 0); }
void BM_FirstFrameOverFolderPicture(benchmark::State& state) { FirstFrame(state, 2); }

BENCHMARK(BM_FirstFrameOverCapture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstFrameOverFolderPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  ambrel::InstallLinuxPlatform();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
