// CPU the stand-alone engines spend around the views' own work: one 1280x720
// view whose frames do nothing, animated at 60 Hz for five seconds, on a private
// Xvfb (X11) and on one output of a private headless sway (Wayland). The engines
// should sleep between ticks: target at most 2 % of a core. Then the real
// program's CPU time with its view shown and hidden (target for every hidden row:
// under 0.5 % of a core), beside the server's, sway's and swaybg's.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CompositorSession.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxEngine.h"
#include "platform/linux/X11Headers.h"
#include "platform/wayland/WaylandEngine.h"

namespace ambrel {

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    lastWall = MonotonicSeconds();
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


// --- what a hidden view costs ----------------------------------------------------
// The real program as a child process, its CPU time over wall time (user and
// system, from /proc), with the view shown and then hidden each way there is,
// and beside it what the server or compositor and swaybg spend meanwhile.

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field) fields >> skip;  // state .. cmajflt
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / double(sysconf(_SC_CLK_TCK));
}

// The process named name whose environment holds entry ("NAME=value"); -1 when
// there is none. swaybg leaves sway's family (it is started through a double
// fork) but keeps the session's environment.
pid_t ProcessWith(const std::string& name, const std::string& entry) {
  DIR* proc = opendir("/proc");
  pid_t found = -1;
  while (dirent* item = proc ? readdir(proc) : nullptr) {
    const pid_t pid = pid_t(std::atoi(item->d_name));
    if (pid <= 0) continue;
    const std::string folder = "/proc/" + std::to_string(pid);
    std::string command;
    std::getline(std::ifstream(folder + "/comm"), command);
    if (command != name) continue;
    std::ifstream in(folder + "/environ");
    for (std::string variable; std::getline(in, variable, '\0');)
      if (variable == entry) found = pid;
  }
  if (proc) closedir(proc);
  return found;
}

long FramesLogged(const std::string& log) {
  std::ifstream in(log);
  std::string word;
  long frames = -1;
  in >> word >> frames;
  return word == "frames" ? frames : -1;
}

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Each process's share of one core, in percent, over the next seconds; and the
// frames the program logged meanwhile, per second.
struct Shares {
  std::vector<double> percent;
  double framesPerSecond = 0;
};
Shares Measure(const std::vector<pid_t>& pids, const std::string& log, double seconds) {
  std::vector<double> before;
  for (pid_t pid : pids) before.push_back(ProcessCpuSeconds(pid));
  const long framesBefore = FramesLogged(log);
  const double start = MonotonicSeconds();
  Sleep(seconds);
  const double wall = MonotonicSeconds() - start;
  Shares shares;
  for (size_t i = 0; i < pids.size(); ++i) shares.percent.push_back(100.0 * (ProcessCpuSeconds(pids[i]) - before[i]) / wall);
  shares.framesPerSecond = double(FramesLogged(log) - framesBefore) / wall;
  return shares;
}

constexpr double kSettle = 2.0, kMeasure = 5.0;

bool WaitForFrames(const std::string& log) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    if (FramesLogged(log) > 30) return true;
    Sleep(0.05);
  }
  return false;
}

#ifdef AMBREL_PROGRAM
// ambrel --wayland-wallpaper on one 1280x720 output of headless sway, over
// swaybg's colour: shown, then under a full-screen window.
void BM_WaylandWallpaperShownAndCovered(benchmark::State& state) {
  for (auto _ : state) {
    CompositorSession session;
    std::string error;
    if (!session.Start(CompositorSession::Kind::Sway, "output HEADLESS-1 mode 1280x720 bg #305070 solid_color\n", 1,
                       &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const std::string log = session.workDir() + "/frames.log";
    auto ambrel = session.Run(session.ambrel(), {"--wayland-wallpaper"}, {"AMBREL_FPS_LOG=" + log});
    pid_t swaybg = -1;
    for (const std::string& variable : session.Environment())
      if (variable.rfind("XDG_RUNTIME_DIR=", 0) == 0) swaybg = ProcessWith("swaybg", variable);
    if (!ambrel || !WaitForFrames(log)) {
      state.SkipWithError(("the wallpaper did not draw: " + (ambrel ? ambrel->errors() : std::string())).c_str());
      return;
    }
    if (swaybg < 0) {
      state.SkipWithError("swaybg is not running");
      return;
    }
    Sleep(kSettle);
    const Shares shown = Measure({ambrel->pid(), session.pid(), swaybg}, log, kMeasure);
    auto window = session.Run("/usr/bin/weston-flower", {});
    bool full = false;
    for (int attempt = 0; attempt < 100 && !full; ++attempt) {
      full = session.RunToEnd("/usr/bin/swaymsg", {"[app_id=\"org.freedesktop.weston.flower\"]", "fullscreen",
                                                   "enable"}) == 0;
      if (!full) Sleep(0.1);
    }
    if (!full) {
      state.SkipWithError("the covering window did not go full screen");
      return;
    }
    Sleep(kSettle);
    const Shares covered = Measure({ambrel->pid(), session.pid(), swaybg}, log, kMeasure);
    state.counters["shown_cpu_percent"] = shown.percent[0];
    state.counters["shown_fps"] = shown.framesPerSecond;
    state.counters["shown_sway_cpu_percent"] = shown.percent[1];
    state.counters["covered_cpu_percent"] = covered.percent[0];
    state.counters["covered_fps"] = covered.framesPerSecond;
    state.counters["covered_sway_cpu_percent"] = covered.percent[1];
    state.counters["swaybg_cpu_percent"] = (shown.percent[2] + covered.percent[2]) / 2;
    window->Signal(SIGTERM);
    ambrel->Signal(SIGTERM);
    ambrel->Wait(10);
  }
}
BENCHMARK(BM_WaylandWallpaperShownAndCovered)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// ambrel --window 1280x720 on a 1600x900 Xvfb under twm: shown, iconified,
// unmapped (withdrawn) and covered by a window over the whole screen.
void BM_X11WindowShownAndHidden(benchmark::State& state) {
  for (auto _ : state) {
    XvfbServer server;
    std::string error;
    if (!server.Start({"-screen", "0", "1600x900x24"}, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    char pattern[] = "/tmp/ambrel-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
      state.SkipWithError("mkdtemp failed");
      return;
    }
    const std::string folder = pattern, log = folder + "/frames.log", rc = folder + "/twmrc";
    std::ofstream(rc) << "RandomPlacement\nUsePPosition \"on\"\nNoTitle\nTitleFont \"fixed\"\nResizeFont \"fixed\"\n"
                      << "MenuFont \"fixed\"\nIconFont \"fixed\"\nIconManagerFont \"fixed\"\n";
    ChildProcess wm, ambrel;
    wm.Start("/usr/bin/twm", {"-f", rc}, {"DISPLAY=" + server.name(), "LC_ALL=C"});
    Sleep(1);
    ambrel.Start(AMBREL_PROGRAM, {"--window", "1280x720"},
                 {"DISPLAY=" + server.name(), "HOME=" + folder, "XDG_CONFIG_HOME=" + folder + "/config",
                  "AMBREL_RESOURCES=" AMBREL_RESOURCE_DIR, "AMBREL_FPS_LOG=" + log, "WAYLAND_DISPLAY"});
    Display* display = XOpenDisplay(server.name().c_str());
    Window window = None;
    if (display && WaitForFrames(log)) window = FindWindowNamed(display, DefaultRootWindow(display), "Ambrel");
    if (window == None) {
      state.SkipWithError("the window did not draw");
      if (display) XCloseDisplay(display);
      return;
    }
    const std::vector<pid_t> pids = {ambrel.pid(), server.pid()};
    auto row = [&](const std::string& name, const std::function<void()>& hide, const std::function<void()>& show) {
      hide();
      XSync(display, False);
      Sleep(kSettle);
      const Shares shares = Measure(pids, log, kMeasure);
      state.counters[name + "_cpu_percent"] = shares.percent[0];
      state.counters[name + "_fps"] = shares.framesPerSecond;
      state.counters[name + "_xvfb_cpu_percent"] = shares.percent[1];
      const long hidden = FramesLogged(log);
      show();
      XSync(display, False);
      // The window manager maps it again in its own time: the next row starts
      // once it draws again.
      for (int attempt = 0; attempt < 200 && FramesLogged(log) <= hidden; ++attempt) Sleep(0.05);
    };
    row("shown", [] {}, [] {});
    row("iconified", [&] { XIconifyWindow(display, window, 0); }, [&] { XMapWindow(display, window); });
    row("unmapped", [&] { XUnmapWindow(display, window); }, [&] { XMapWindow(display, window); });
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1600, 900, 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    row("covered", [&] { XMapRaised(display, cover); }, [&] { XUnmapWindow(display, cover); });
    XCloseDisplay(display);
    ambrel.Signal(SIGTERM);
    ambrel.Wait(10);
    wm.Signal(SIGTERM);
    wm.Wait(10);
    std::system(("rm -rf '" + folder + "'").c_str());
  }
}
BENCHMARK(BM_X11WindowShownAndHidden)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
#endif

}  // namespace

}  // namespace ambrel

BENCHMARK_MAIN();
