// Soak run: the scene driven off-screen for many steps at the extreme settings,
// checking after every step that every cell height and velocity and every vertex
// position, normal and texture coordinate is finite, and that resident memory does
// not grow. Also watches for subnormal floats in the grid, which can make a float
// kernel many times slower, and times the step early and late in the run.
//
// Build and run (Release):
//   cmake -S . -B build/soak -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/soak -j2 --target soak_scene
//   build/soak/bin/soak_scene                      # every configuration, 10^6 steps each
//   build/soak/bin/soak_scene --large-steps 200000 # fewer steps for the 256 x 256 grids
//   build/soak/bin/soak_scene --only decay         # configurations whose name holds "decay"
//
// Options:
//   --steps N        steps per configuration (default 1000000)
//   --large-steps N  steps for the grid-8 (256 x 256) configurations (default: --steps)
//   --only TEXT      run only the configurations whose name contains TEXT
//   --ftz            set flush-to-zero and denormals-are-zero around every scene step
//
// Configurations: water speed setting 10 (0.1) and 100000 (clamped to the highest
// stable speed), grid shift 4 and 8, drip speed 1 (a drop every step), bowl on and
// off; and "decay" runs with a drip speed of 10^9 (one drop, then none) so that the
// ripples die out, each once as is and once with FTZ/DAZ for comparison.
// Every configuration runs in its own child process so that its peak resident set is
// its own. A step is 1/60 s; the scene is drawn into a 64 x 64 pbuffer on the first
// and every 1000th step only (the water step is the subject, not OpenGL). Memory
// growth is counted from the first frame, which brings in the driver's own buffers.
// Last, "probe" steps the water alone from grids of given tiny heights, with and
// without FTZ/DAZ, to show what subnormals would cost if they did appear.
//
// Output: one block per configuration on stdout; progress on stderr. Exit status 0
// when every configuration stayed finite and did not grow, 1 otherwise, 2 for a bad
// command line.
#include <epoxy/gl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__) || defined(__SSE__)
#include <xmmintrin.h>
#define SOAK_HAS_MXCSR 1
#endif

#include "host/AmbrelView.h"
#include "platform/egl/OffscreenContext.h"
#include "platform/linux/LinuxPlatform.h"
#include "scene/SSMain.h"

namespace ambrel {

namespace {

constexpr int kDrawable = 64;
constexpr double kStep = 1.0 / 60.0;
constexpr int64_t kBlock = 1000;
// Allocator and driver noise; anything above this between start and end is growth.
constexpr long kRssToleranceKiB = 1024;

struct Config {
  std::string name;
  int64_t waterSpeed;
  int64_t waterShift;
  int64_t dripSpeed;
  bool bowl;
  bool ftz;
};

struct Options {
  int64_t steps = 1000000;
  int64_t largeSteps = -1;
  std::string only;
  bool ftz = false;
};

struct Memory {
  long maxRssKiB = 0;  // getrusage ru_maxrss
  long vmRssKiB = 0;
  long vmHwmKiB = 0;
};

Memory ReadMemory() {
  Memory m;
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) == 0) m.maxRssKiB = usage.ru_maxrss;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      long value = 0;
      if (std::sscanf(line, "VmRSS: %ld kB", &value) == 1) m.vmRssKiB = value;
      if (std::sscanf(line, "VmHWM: %ld kB", &value) == 1) m.vmHwmKiB = value;
    }
    std::fclose(f);
  }
  return m;
}

inline uint32_t Magnitude(const float& f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits & 0x7fffffffu;
}

// Words that may alias the floats they are read from.
typedef uint32_t Word __attribute__((may_alias));

// An exponent of all ones is an infinity or a NaN; an exponent of zero with a
// nonzero fraction is exactly what fpclassify calls FP_SUBNORMAL.
inline bool NotFinite(uint32_t magnitude) { return magnitude >= 0x7f800000u; }
inline bool Subnormal(uint32_t magnitude) { return magnitude != 0 && magnitude < 0x00800000u; }

struct Scan {
  bool bad = false;
  uint32_t subnormalCells = 0;     // heights and velocities
  uint32_t subnormalVertices = 0;  // positions, normals, u and v
};

// Runs after every step, so it must cost far less than the step: whole arrays as
// 32-bit words, no branches, built for AVX2 as well so that it vectorises wide.
__attribute__((target_clones("avx2", "default"))) void ScanWords(const Word* words, size_t count,
                                                                    uint32_t* bad, uint32_t* subnormal) {
  uint32_t anyBad = 0, sub = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t m = words[i] & 0x7fffffffu;
    anyBad |= NotFinite(m);
    sub += Subnormal(m);
  }
  *bad |= anyBad;
  *subnormal += sub;
}

// Two vertices at a time (48 words): the colour words are masked out.
__attribute__((target_clones("avx2", "default"))) void ScanVertexWords(const Word* words, size_t pairs,
                                                                          uint32_t* bad, uint32_t* subnormal) {
  constexpr size_t kWords = sizeof(WATERVERTEX) / sizeof(uint32_t);
  static_assert(kWords == 12, "position, normal, colour, u, v");
  static const uint32_t kMask[2 * kWords] = {
      0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0, 0, 0, 0, 0x7fffffffu, 0x7fffffffu,
      0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0x7fffffffu, 0, 0, 0, 0, 0x7fffffffu, 0x7fffffffu};
  uint32_t anyBad = 0, sub = 0;
  for (size_t p = 0; p < pairs; ++p) {
    const Word* w = words + p * 2 * kWords;
    for (size_t j = 0; j < 2 * kWords; ++j) {
      uint32_t m = w[j] & kMask[j];
      anyBad |= NotFinite(m);
      sub += Subnormal(m);
    }
  }
  *bad |= anyBad;
  *subnormal += sub;
}

Scan ScanWater(const WATERCLASS& water) {
  static_assert(sizeof(WATERCELL) == 2 * sizeof(uint32_t), "height, velocity");
  Scan s;
  uint32_t bad = 0;
  // The arrays are only read as words here; no float is touched through them.
  ScanWords(reinterpret_cast<const Word*>(water.cells), 2 * (size_t)water.vertexCount, &bad,
            &s.subnormalCells);
  ScanVertexWords(reinterpret_cast<const Word*>(water.vertices), water.vertexCount / 2, &bad,
                  &s.subnormalVertices);
  s.bad = bad != 0;
  return s;
}

std::string FirstNonFinite(const WATERCLASS& water);

// A soak that cannot see a NaN proves nothing: plant one bad value in each checked
// field in turn (and one in the unread colour, which must pass) and make sure the
// scan and the report agree.
bool ScanFindsPlantedValues() {
  WATERCLASS water;
  if (!water.Initialize(4, 64.0f, true, 1.0f)) return false;
  const uint32_t at = 37;
  float* fields[] = {&water.cells[at].height,      &water.cells[at].velocity,     &water.vertices[at].position.x,
                     &water.vertices[at].position.y, &water.vertices[at].position.z, &water.vertices[at].normal.x,
                     &water.vertices[at].normal.y,   &water.vertices[at].normal.z,   &water.vertices[at].u,
                     &water.vertices[at].v};
  const float planted[] = {NAN, -INFINITY, INFINITY};
  for (float* field : fields) {
    for (float value : planted) {
      const float was = *field;
      *field = value;
      const bool seen = ScanWater(water).bad && FirstNonFinite(water) != "none";
      *field = was;
      if (!seen) return false;
    }
    const float was = *field;
    *field = 1e-40f;
    const Scan tiny = ScanWater(water);
    *field = was;
    if (tiny.bad || tiny.subnormalCells + tiny.subnormalVertices != 1) return false;
  }
  water.vertices[at].colour[1] = 0x7fc00000u;
  return !ScanWater(water).bad && ScanWater(water).subnormalVertices == 0;
}

// The first non-finite value, named for the report.
std::string FirstNonFinite(const WATERCLASS& water) {
  const uint32_t n = 1u << water.shift;
  char text[160];
  for (uint32_t i = 0; i < water.vertexCount; ++i) {
    const WATERCELL& c = water.cells[i];
    const WATERVERTEX& v = water.vertices[i];
    struct Field {
      const char* name;
      float value;
    } fields[] = {{"height", c.height},       {"velocity", c.velocity},   {"position.x", v.position.x},
                  {"position.y", v.position.y}, {"position.z", v.position.z}, {"normal.x", v.normal.x},
                  {"normal.y", v.normal.y},   {"normal.z", v.normal.z},   {"u", v.u},
                  {"v", v.v}};
    for (const Field& f : fields) {
      if (NotFinite(Magnitude(f.value))) {
        std::snprintf(text, sizeof text, "%s of cell (row %u, column %u) = %g", f.name, i / n, i % n,
                      (double)f.value);
        return text;
      }
    }
  }
  return "none";
}

void Reshape(int width, int height) { SetViewProjection(width, height); }

void InitGL(int width, int height) {
  SetViewGLState(width, height);
  SetViewProjection(width, height);
}

void DrawFrame(SSMAIN& scene) {
  Reshape(kDrawable, kDrawable);
  scene.Draw();
  glFinish();
}

// The step with flush-to-zero and denormals-are-zero on, restored afterwards, as the
// water would do around its own step.
void StepScene(SSMAIN& scene, bool ftz) {
#ifdef SOAK_HAS_MXCSR
  if (ftz) {
    const unsigned saved = _mm_getcsr();
    _mm_setcsr(saved | 0x8040u);  // FTZ (bit 15) | DAZ (bit 6)
    scene.Update(kStep);
    _mm_setcsr(saved);
    return;
  }
#else
  (void)ftz;
#endif
  scene.Update(kStep);
}

double Micro(int64_t ns, int64_t steps) { return steps > 0 ? (double)ns / (double)steps / 1000.0 : 0.0; }

// Runs one configuration in this process; returns the exit status for the parent.
int RunConfig(const Config& config, int64_t steps) {
  using Clock = std::chrono::steady_clock;
  OffscreenContext context;
  std::string error;
  if (!context.Create(kDrawable, kDrawable, &error)) {
    std::printf("%s: cannot create an off-screen OpenGL context: %s\n", config.name.c_str(), error.c_str());
    return 1;
  }
  InitGL(kDrawable, kDrawable);
  srand(1);
  SETTINGS settings{};
  settings.LIGHTING = true;
  settings.WANTBOWL = config.bowl;
  settings.WATERSPEED = config.waterSpeed;
  settings.WATERSHIFT = config.waterShift;
  settings.DRIPSPEED = config.dripSpeed;
  SSMAIN scene;
  if (!scene.Setup(false, kDrawable, kDrawable, &settings) || !scene.water || !scene.water->cells) {
    std::printf("%s: the scene could not be set up\n", config.name.c_str());
    return 1;
  }
  const Memory afterSetup = ReadMemory();

  std::vector<int64_t> blockNs;
  std::vector<long> blockRssKiB;
  blockNs.reserve((size_t)(steps / kBlock + 2));
  blockRssKiB.reserve((size_t)(steps / kBlock + 2));
  Memory start = afterSetup;

  int64_t badStep = -1;
  std::string badWhat;
  int64_t subSteps = 0, subFirst = -1, subLast = -1, subTotal = 0;
  uint32_t subMax = 0;
  int64_t vertexSubSteps = 0;
  uint32_t vertexSubMax = 0;
  int64_t nsWithSub = 0, stepsWithSub = 0, nsWithoutSub = 0, stepsWithoutSub = 0;
  bool inputHasSub = false;
  int64_t blockAccum = 0;
  int64_t checkNs = 0;
  const auto runStart = Clock::now();

  int64_t step = 1;
  for (; step <= steps; ++step) {
    const auto t0 = Clock::now();
    StepScene(scene, config.ftz);
    const auto t1 = Clock::now();
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count();
    blockAccum += ns;
    if (inputHasSub) {
      nsWithSub += ns;
      ++stepsWithSub;
    } else {
      nsWithoutSub += ns;
      ++stepsWithoutSub;
    }

    const Scan scan = ScanWater(*scene.water);
    checkNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t1).count();
    if (scan.bad) {
      badStep = step;
      badWhat = FirstNonFinite(*scene.water);
      break;
    }
    inputHasSub = scan.subnormalCells > 0;
    if (inputHasSub) {
      ++subSteps;
      subTotal += scan.subnormalCells;
      if (subFirst < 0) subFirst = step;
      subLast = step;
      if (scan.subnormalCells > subMax) subMax = scan.subnormalCells;
    }
    if (scan.subnormalVertices > 0) {
      ++vertexSubSteps;
      if (scan.subnormalVertices > vertexSubMax) vertexSubMax = scan.subnormalVertices;
    }

    // The first frame brings in the driver's lazily made state (its rasteriser's bins
    // only once a surface has real triangles); growth is counted from there.
    if (step == 1) {
      DrawFrame(scene);
      start = ReadMemory();
    }
    if (step % kBlock == 0) {
      blockNs.push_back(blockAccum);
      blockAccum = 0;
      DrawFrame(scene);
      blockRssKiB.push_back(ReadMemory().vmRssKiB);
    }
    if (steps >= 10 && step % (steps / 10) == 0) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - runStart).count();
      std::fprintf(stderr, "soak: %s: step %lld of %lld (%.0f s)\n", config.name.c_str(), (long long)step,
                   (long long)steps, elapsed);
    }
  }
  const int64_t done = badStep > 0 ? badStep : steps;
  const Memory end = ReadMemory();
  const double elapsed = std::chrono::duration<double>(Clock::now() - runStart).count();

  // Early: blocks 2 to 11 (the first block holds the start-up); late: the last ten.
  auto meanBlocks = [&](size_t from, size_t to) {
    int64_t sum = 0;
    size_t count = 0;
    for (size_t i = from; i < to && i < blockNs.size(); ++i, ++count) sum += blockNs[i];
    return count ? Micro(sum, (int64_t)count * kBlock) : 0.0;
  };
  const size_t blocks = blockNs.size();
  const double first = meanBlocks(0, 1);
  const double early = meanBlocks(1, 11);
  const double late = blocks > 11 ? meanBlocks(blocks - 10, blocks) : meanBlocks(blocks / 2, blocks);
  int64_t slowest = 0;
  for (int64_t b : blockNs) slowest = b > slowest ? b : slowest;

  const long growth = end.vmHwmKiB - start.vmHwmKiB;
  const bool grew = growth > kRssToleranceKiB || end.vmRssKiB - start.vmRssKiB > kRssToleranceKiB;

  const WATERCLASS& w = *scene.water;
  std::printf("== %s: speed %.7g, grid %u x %u, drip %lld, bowl %s%s\n", config.name.c_str(), (double)w.speed,
              1u << w.shift, 1u << w.shift, (long long)config.dripSpeed, config.bowl ? "on" : "off",
              config.ftz ? ", FTZ/DAZ" : "");
  std::printf("   steps        %lld of %lld in %.1f s\n", (long long)done, (long long)steps, elapsed);
  if (badStep > 0)
    std::printf("   NON-FINITE   at step %lld: %s\n", (long long)badStep, badWhat.c_str());
  else
    std::printf("   finite       every value after every step\n");
  std::printf("   memory KiB   after setup: maxrss %ld, VmRSS %ld, VmHWM %ld\n", afterSetup.maxRssKiB,
              afterSetup.vmRssKiB, afterSetup.vmHwmKiB);
  std::printf("                first frame: maxrss %ld, VmRSS %ld, VmHWM %ld\n", start.maxRssKiB, start.vmRssKiB,
              start.vmHwmKiB);
  std::printf("                end:         maxrss %ld, VmRSS %ld, VmHWM %ld  -> %s (peak %+ld KiB since the first frame)\n",
              end.maxRssKiB, end.vmRssKiB, end.vmHwmKiB, grew ? "GREW" : "no growth", growth);
  std::printf("   VmRSS KiB    by step:");
  for (size_t b = 1; b <= blockRssKiB.size(); b *= 10) {
    std::printf(" %lld: %ld,", (long long)b * kBlock, blockRssKiB[b - 1]);
    if (b < 10 && b * 2 <= blockRssKiB.size()) std::printf(" %lld: %ld,", (long long)b * 2 * kBlock, blockRssKiB[b * 2 - 1]);
  }
  if (!blockRssKiB.empty()) std::printf(" last: %ld", blockRssKiB.back());
  std::printf("\n");
  std::printf("   subnormal    grid: %lld steps with any (first %lld, last %lld), most %u, mean %.1f when present\n",
              (long long)subSteps, (long long)subFirst, (long long)subLast, subMax,
              subSteps ? (double)subTotal / (double)subSteps : 0.0);
  std::printf("                vertices: %lld steps with any, most %u\n", (long long)vertexSubSteps, vertexSubMax);
  float maxHeight = 0, maxVelocity = 0, minHeight = INFINITY;
  for (uint32_t i = 0; i < w.vertexCount; ++i) {
    const float h = std::fabs(w.cells[i].height), v = std::fabs(w.cells[i].velocity);
    maxHeight = h > maxHeight ? h : maxHeight;
    maxVelocity = v > maxVelocity ? v : maxVelocity;
    if (h > 0 && h < minHeight) minHeight = h;
  }
  std::printf("   at the end   largest |height| %.3g, |velocity| %.3g; smallest nonzero |height| %.3g\n",
              (double)maxHeight, (double)maxVelocity, (double)minHeight);
  std::printf("   step us      first 1000: %.2f, early (1001-11000): %.2f, late (last 10000): %.2f, slowest block: %.2f\n",
              first, early, late, Micro(slowest, kBlock));
  std::printf("                input with subnormals: %.2f (%lld steps), without: %.2f (%lld steps)\n",
              Micro(nsWithSub, stepsWithSub), (long long)stepsWithSub, Micro(nsWithoutSub, stepsWithoutSub),
              (long long)stepsWithoutSub);
  std::printf("   check us     %.2f per step\n", Micro(checkNs, done));
  std::fflush(stdout);
  scene.Cleanup();
  return badStep > 0 || grew ? 2 : 0;
}

std::vector<Config> AllConfigs(bool ftz) {
  std::vector<Config> all;
  const struct {
    const char* label;
    int64_t setting;
  } speeds[] = {{"s10", 10}, {"smax", 100000}};
  for (int64_t shift : {4, 8})
    for (const auto& speed : speeds)
      for (bool bowl : {true, false})
        all.push_back({std::string(speed.label) + "-g" + std::to_string(shift) + (bowl ? "-bowl" : "-flat"),
                       speed.setting, shift, 1, bowl, ftz});
  for (int64_t shift : {4, 8})
    for (const auto& speed : speeds)
      for (bool flush : {false, true}) {
        if (ftz && !flush) continue;
        all.push_back({std::string("decay-") + speed.label + "-g" + std::to_string(shift) + (flush ? "-ftz" : ""),
                       speed.setting, shift, 1000000000, true, flush});
      }
  return all;
}


// What subnormals would cost if they did fill the grid: the water stepped from a grid
// of tiny heights (all normal, then all subnormal), with and without FTZ/DAZ. No drops,
// the bowl on, the highest speed, so that nothing is damped and the sizes persist.
void RunSubnormalProbe(uint16_t shift, int steps) {
  using Clock = std::chrono::steady_clock;
  auto run = [&](float scale, bool ftz, uint32_t* subnormalAfter) {
    WATERCLASS water;
    if (!water.Initialize(shift, 64.0f, true, kMaxStableWaterSpeed)) return -1.0;
    srand(7);
    for (uint32_t i = 0; i < water.vertexCount; ++i) {
      water.cells[i].height = (float)(rand() % 2001 - 1000) * scale;
      water.cells[i].velocity = 0.0f;
    }
    VECTOR3D eye{0, 77.5f, 0}, light{0, 100, 0};
    int64_t ns = 0;
    for (int i = 0; i < steps; ++i) {
      const auto t0 = Clock::now();
#ifdef SOAK_HAS_MXCSR
      const unsigned saved = _mm_getcsr();
      if (ftz) _mm_setcsr(saved | 0x8040u);
      water.Update(eye, light, false, kStep);
      _mm_setcsr(saved);
#else
      (void)ftz;
      water.Update(eye, light, false, kStep);
#endif
      ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
    }
    *subnormalAfter = ScanWater(water).subnormalCells;
    return Micro(ns, steps);
  };
  std::printf("== probe-g%u: %u x %u grid of random heights of a given size, %d steps, no drops\n", shift,
              1u << shift, 1u << shift, steps);
  const struct {
    const char* label;
    float scale;
  } sizes[] = {{"|h| <= 1     ", 1e-3f}, {"|h| <= 1e-27 ", 1e-30f}, {"|h| <= 1e-39 ", 1e-42f}, {"zero         ", 0.0f}};
  for (const auto& size : sizes) {
    double best[2] = {0, 0};
    uint32_t subnormal[2] = {0, 0};
    for (int flush = 0; flush < 2; ++flush)
      for (int round = 0; round < 3; ++round) {
        const double t = run(size.scale, flush != 0, &subnormal[flush]);
        if (round == 0 || t < best[flush]) best[flush] = t;
      }
    std::printf("   %s step us: %8.2f as is, %8.2f with FTZ/DAZ; subnormal cells after: %u, %u\n", size.label,
                best[0], best[1], subnormal[0], subnormal[1]);
  }
  std::fflush(stdout);
}

bool ParseCount(const char* text, int64_t* out) {
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (!end || *end || value < 1) return false;
  *out = value;
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: soak_scene [--steps N] [--large-steps N] [--only TEXT] [--ftz]\n");
  return 2;
}

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  InstallLinuxPlatform();
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--steps" && hasValue) {
      if (!ParseCount(argv[++i], &options.steps)) return Usage();
    } else if (arg == "--large-steps" && hasValue) {
      if (!ParseCount(argv[++i], &options.largeSteps)) return Usage();
    } else if (arg == "--only" && hasValue) {
      options.only = argv[++i];
    } else if (arg == "--ftz") {
      options.ftz = true;
    } else {
      return Usage();
    }
  }
  if (options.largeSteps < 0) options.largeSteps = options.steps;
#ifndef SOAK_HAS_MXCSR
  if (options.ftz) std::fprintf(stderr, "soak: --ftz has no effect on this processor\n");
#endif

  if (!ScanFindsPlantedValues()) {
    std::fprintf(stderr, "soak: the finiteness scan misses planted values; its figures would mean nothing\n");
    return 1;
  }

  int failures = 0, ran = 0;
  for (const Config& config : AllConfigs(options.ftz)) {
    if (!options.only.empty() && config.name.find(options.only) == std::string::npos) continue;
    ++ran;
    const int64_t steps = config.waterShift >= 8 ? options.largeSteps : options.steps;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
      std::perror("soak: fork");
      return 1;
    }
    if (child == 0) {
      const int status = RunConfig(config, steps);
      std::fflush(stdout);
      std::fflush(stderr);
      _exit(status);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0) {
      std::perror("soak: waitpid");
      return 1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++failures;
      if (WIFSIGNALED(status))
        std::printf("== %s: killed by signal %d\n", config.name.c_str(), WTERMSIG(status));
    }
  }
  if (options.only.empty() || std::string("probe").find(options.only) != std::string::npos) {
    ++ran;
    RunSubnormalProbe(4, 10000);
    RunSubnormalProbe(8, 300);
  }
  if (ran == 0) {
    std::fprintf(stderr, "soak: no configuration matches \"%s\"\n", options.only.c_str());
    return 2;
  }
  std::printf("%d of %d configurations %s\n", ran - failures, ran, failures ? "passed; see above" : "passed");
  return failures ? 1 : 0;
}
