// CPU the stand-alone engines spend around the views' own work: one 1280x720
// view whose frames do nothing, animated at 60 Hz for five seconds, on a private
// Xvfb (X11) and on one output of a private headless sway (Wayland). The engines
// should sleep between ticks: target at most 2 % of a core.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "CompositorSession.h"
#include "XvfbServer.h"
#include "platform/linux/LinuxEngine.h"
#include "platform/wayland/WaylandEngine.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Measured from the first tick to the last, leaving out connection and context set-up.
long ticks = 0;
double firstCpu = 0, firstWall = 0, lastCpu = 0, lastWall = 0;

class IdleView : public ScreenSaverView {
 public:
  IdleView(Rect frame, bool isPreview, ViewSite& site) : ScreenSaverView(frame, isPreview, site) {
    surface_ = site.createGLSurface(SurfaceRequest{});
    setAnimationTimeInterval(1.0 / 60.0);
  }
  void animateOneFrame() override {
    lastCpu = CpuSeconds();
    lastWall = WallSeconds();
    if (ticks++ == 0) {
      firstCpu = lastCpu;
      firstWall = lastWall;
    }
  }

 private:
  std::unique_ptr<GLSurface> surface_;
};

// Runs the engine for a few seconds of an idle view, ended from outside as a user
// ends it (SIGTERM), and reports the process's CPU share.
void MeasureIdleEngine(benchmark::State& state, const std::function<int(const ViewFactory&)>& run) {
  const double seconds = 5.0;
  for (auto _ : state) {
    ticks = 0;
    std::thread stopper([seconds] {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      kill(getpid(), SIGTERM);
    });
    const int code = run([](Rect frame, bool isPreview, ViewSite& site) {
      return std::unique_ptr<ScreenSaverView>(new IdleView(frame, isPreview, site));
    });
    stopper.join();
    const double wall = lastWall - firstWall;
    if (code != 0 || ticks < 2 || wall <= 0) {
      state.SkipWithError("the engine did not animate and exit cleanly");
      break;
    }
    state.counters["cpu_percent"] = 100.0 * (lastCpu - firstCpu) / wall;
    state.counters["ticks_per_second"] = double(ticks - 1) / wall;
  }
}

void BM_EngineCpuWhileAnimating(benchmark::State& state) {
  XvfbServer server;
  std::string error;
  if (!server.Start({"-screen", "0", "1280x720x24"}, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  StandAloneOptions options;
  options.displayName = server.name();
  MeasureIdleEngine(state, [&](const ViewFactory& factory) { return RunStandAlone(options, factory); });
}
BENCHMARK(BM_EngineCpuWhileAnimating)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_WaylandEngineCpuWhileAnimating(benchmark::State& state) {
  CompositorSession session;
  std::string error;
  if (!session.Start(CompositorSession::Kind::Sway, "output HEADLESS-1 mode 1280x720\n", 1, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  WaylandOptions options;
  options.displayName = session.socketPath();
  MeasureIdleEngine(state, [&](const ViewFactory& factory) { return RunWayland(options, factory); });
}
BENCHMARK(BM_WaylandEngineCpuWhileAnimating)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
