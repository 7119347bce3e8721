// Cost of one water step and of a drop, for the fast Update and the plain walk.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "tests/water/PlainWater.h"
#include "water/Water.h"
#include "water/WaterRows.h"

namespace ambrel {

namespace {

// A surface already full of ripples, so every branch of the step is exercised.
void Ripple(WATERCLASS& water) {
  srand(7);
  VECTOR3D eye{0.0f, 77.5f, 0.0f}, light{10.0f, 60.0f, 5.0f};
  for (int i = 0; i < 40; ++i) {
    water.Drop(1.5f);
    water.Update(eye, light, false, 0.5);
  }
}

void Report(benchmark::State& state, unsigned short shift) {
  const double cells = static_cast<double>(1u << shift) * (1u << shift);
  state.counters["per_step"] =
      benchmark::Counter(static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["per_cell"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * cells,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One step after another, by the fast Update or by the plain walk it is proven against.
template <bool kPlain>
void BM_Step(benchmark::State& state) {
  const auto shift = static_cast<unsigned short>(state.range(0));
  WATERCLASS water;
  water.Initialize(shift, 64.0f, state.range(1) != 0, 1.0f);
  Ripple(water);
  VECTOR3D eye{0.0f, 77.5f, 0.0f}, light{10.0f, 60.0f, 5.0f};
  for (auto _ : state) {
    if (kPlain)
      PlainUpdate(water, eye, light, false, 0.016);
    else
      water.Update(eye, light, false, 0.016);
    benchmark::DoNotOptimize(water.vertices);
    benchmark::ClobberMemory();
  }
  Report(state, shift);
}

void BM_Update(benchmark::State& state) { BM_Step<false>(state); }
void BM_PlainUpdate(benchmark::State& state) { BM_Step<true>(state); }

// The propagation pass alone: its running sum is one chain of dependent additions.
void BM_Propagate(benchmark::State& state) {
  WATERCLASS water;
  water.Initialize(8, 64.0f, true, 1.0f);
  Ripple(water);
  for (auto _ : state) {
    benchmark::DoNotOptimize(PropagateRipples(water.cells, 256, 1.0f));
    benchmark::ClobberMemory();
  }
  Report(state, 8);
}

void BM_Drop(benchmark::State& state) {
  WATERCLASS water;
  water.Initialize(8, 64.0f, true, 1.0f);
  srand(3);
  for (auto _ : state) {
    water.Drop(0.01f);
    benchmark::ClobberMemory();
  }
}

// Arguments: grid shift (N = 16, 64, 256), bowl off/on.
BENCHMARK(BM_Update)->ArgsProduct({{4, 6, 8}, {0, 1}});
BENCHMARK(BM_PlainUpdate)->ArgsProduct({{4, 6, 8}, {0, 1}});
BENCHMARK(BM_Propagate);
BENCHMARK(BM_Drop);

}  // namespace

}  // namespace ambrel

BENCHMARK_MAIN();
