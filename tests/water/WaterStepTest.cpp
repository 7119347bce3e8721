#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/water/PlainWater.h"
#include "water/Water.h"
#include "water/WaterRows.h"

namespace ambrel {

namespace {

VECTOR3D Eye() { return VECTOR3D{0.0f, 77.5f, 0.0f}; }

struct Grid {
  explicit Grid(unsigned short shift, bool bowl = true, float speed = 1.0f) {
    EXPECT_TRUE(water.Initialize(shift, 64.0f, bowl, speed));
    n = 1 << shift;
  }
  WATERCELL& cell(int r, int c) { return water.cells[(r & (n - 1)) * n + (c & (n - 1))]; }
  WATERVERTEX& vertex(int r, int c) { return water.vertices[r * n + c]; }
  bool Step(double dt = 0.016, bool caustics = false) {
    VECTOR3D eye = Eye(), light{12.0f, 60.0f, -7.0f};
    return water.Update(eye, light, caustics, dt);
  }
  WATERCLASS water;
  int n;
};

void Same(const WATERCLASS& a, const WATERCLASS& b, const char* what) {
  ASSERT_EQ(0, std::memcmp(a.cells, b.cells, a.vertexCount * sizeof(WATERCELL))) << what;
  ASSERT_EQ(0, std::memcmp(a.vertices, b.vertices, a.vertexCount * sizeof(WATERVERTEX))) << what;
  ASSERT_EQ(0, std::memcmp(a.causticVertices, b.causticVertices,
                           a.vertexCount * sizeof(CAUSTICVERTEX)))
      << what;
  ASSERT_EQ(0, std::memcmp(&a.meanHeight, &b.meanHeight, sizeof(float))) << what;
  ASSERT_EQ(0, std::memcmp(&a.bowlRadiusSq, &b.bowlRadiusSq, sizeof(float))) << what;
}

// The fast Update against the plain walk, both fed the same drops, over many steps
// with every kind of elapsed time, caustics now and then, and both vector routes.
class WaterMatchesPlainWalk : public ::testing::TestWithParam<std::tuple<int, bool, bool>> {};

TEST_P(WaterMatchesPlainWalk, BitForBit) {
  const auto [shift, bowl, simd] = GetParam();
  const bool wasAllowed = AllowWaterSimd(simd);
  const float speeds[] = {1.0f, 0.1f, 2.7f, 11.0f};
  for (float speed : speeds) {
    WATERCLASS fast, plain;
    ASSERT_TRUE(fast.Initialize(shift, 64.0f, bowl, speed));
    ASSERT_TRUE(plain.Initialize(shift, 64.0f, bowl, speed));
    const int n = 1 << shift;
    // First a still surface seen from exactly one of its points: a zero view vector.
    const float spacing = 64.0f / static_cast<float>(n - 1);
    VECTOR3D onPoint{-32.0f, 0.0f, -32.0f};
    for (int i = 0; i < 3; ++i) onPoint.x += spacing;
    for (int i = 0; i < 5; ++i) onPoint.z += spacing;
    VECTOR3D light{5.0f, 40.0f, 3.0f};
    fast.Update(onPoint, light, true, 0.0);
    PlainUpdate(plain, onPoint, light, true, 0.0);
    Same(fast, plain, "still");

    const int steps = shift == 8 ? 60 : (shift == 6 ? 300 : 1500);
    const double dts[] = {0.016, 0.0, 0.5, 2.0, 0.033, 1e-4};
    srand(1234 + shift);
    for (int i = 0; i < steps; ++i) {
      if (i % 7 == 0) {
        float strength = 0.5f + static_cast<float>(rand() % 150) / 100.0f;
        unsigned seed = static_cast<unsigned>(rand());
        srand(seed);
        fast.Drop(strength);
        srand(seed);
        plain.Drop(strength);
      }
      VECTOR3D eye{0.0f, 77.5f, 0.0f};
      const bool caustics = i % 5 == 0;
      const double dt = dts[i % 6];
      fast.Update(eye, light, caustics, dt);
      PlainUpdate(plain, eye, light, caustics, dt);
      Same(fast, plain, "rippling");
      if (HasFailure()) {
        ADD_FAILURE() << "speed " << speed << " step " << i;
        break;
      }
    }
  }
  AllowWaterSimd(wasAllowed);
}

INSTANTIATE_TEST_SUITE_P(Grids, WaterMatchesPlainWalk,
                         ::testing::Combine(::testing::Values(4, 6, 8), ::testing::Bool(),
                                            ::testing::Bool()));

TEST(WaterStep, OneRaisedCellPullsItsWrappedNeighbours) {
  Grid g(6);
  g.cell(0, 0).height = 1.0f;
  g.Step();
  const float edge = 0.25f * 0.16666667f, diagonal = 0.25f * 0.083333336f;
  EXPECT_EQ(g.cell(0, 0).velocity, -0.25f);
  EXPECT_EQ(g.cell(0, 63).velocity, edge);
  EXPECT_EQ(g.cell(63, 0).velocity, edge);
  EXPECT_EQ(g.cell(0, 1).velocity, edge);
  EXPECT_EQ(g.cell(1, 0).velocity, edge);
  EXPECT_EQ(g.cell(63, 63).velocity, diagonal);
  EXPECT_EQ(g.cell(1, 63).velocity, diagonal);
  EXPECT_EQ(g.cell(63, 1).velocity, diagonal);
  EXPECT_EQ(g.cell(0, 2).velocity, 0.0f);
  EXPECT_EQ(g.cell(62, 0).velocity, 0.0f);
}

TEST(WaterStep, OnlyVelocitiesBeyondOneHundredthAreDamped) {
  Grid g(4);
  const float v[] = {0.01f, -0.01f, 0.0101f, -0.0101f};
  // Far enough apart that no cell feels another's height after levelling.
  g.cell(2, 2).velocity = v[0];
  g.cell(2, 10).velocity = v[1];
  g.cell(10, 2).velocity = v[2];
  g.cell(10, 10).velocity = v[3];
  g.Step();
  EXPECT_EQ(g.cell(2, 2).velocity, v[0]);
  EXPECT_EQ(g.cell(2, 10).velocity, v[1]);
  EXPECT_EQ(g.cell(10, 2).velocity, v[2] * 0.99f);
  EXPECT_EQ(g.cell(10, 10).velocity, v[3] * 0.99f);
}

TEST(WaterStep, BowlRadiusEasesWithElapsedTime) {
  Grid bowl(4, true);
  bowl.Step(0.0);
  bowl.Step(0.0);
  EXPECT_EQ(bowl.water.bowlRadiusSq, 0.0f);
  bowl.Step(0.1);
  EXPECT_EQ(bowl.water.bowlRadiusSq, 100.0f);
  Grid jump(4, true);
  jump.Step(2.0);
  EXPECT_FLOAT_EQ(jump.water.bowlRadiusSq, 2000.0f);  // 80 % of the way, no overshoot
  for (int i = 0; i < 50; ++i) jump.Step(2.0);
  EXPECT_LE(jump.water.bowlRadiusSq, 2500.0f);
  Grid flat(4, false);
  flat.Step(0.1);
  EXPECT_FLOAT_EQ(flat.water.bowlRadiusSq, -20.0f);
}

TEST(WaterStep, StillWaterStaysFlatAndUnbentUntilTheBowlIsWide) {
  Grid g(6, true);
  for (int i = 0; i < 3; ++i) g.Step(0.1);  // R stays below 400 = 20^2
  ASSERT_LT(g.water.bowlRadiusSq, 400.0f);
  EXPECT_EQ(g.water.meanHeight, 0.0f);
  for (int r = 0; r < 64; ++r)
    for (int c = 0; c < 64; ++c) {
      const WATERVERTEX& v = g.vertex(r, c);
      ASSERT_EQ(g.cell(r, c).velocity, 0.0f);
      ASSERT_EQ(v.position.y, 0.0f);
      ASSERT_EQ(v.normal.x, 0.0f);
      ASSERT_EQ(v.normal.y, 1.0f);
      ASSERT_EQ(v.normal.z, 0.0f);
      ASSERT_EQ(v.u, v.position.x / 64.0f + 0.5f);
      ASSERT_EQ(v.v, 1.0f - (v.position.z / 64.0f + 0.5f));
    }
}

TEST(WaterStep, PositionsAreAccumulatedInFloat) {
  for (unsigned short shift : {4, 6, 8}) {
    Grid g(shift);
    g.Step();
    const int last = g.n - 1;
    EXPECT_EQ(g.vertex(0, 0).position.x, -32.0f);
    EXPECT_EQ(g.vertex(0, 0).position.z, -32.0f);
    EXPECT_EQ(g.vertex(0, last).position.x, 31.999998f) << g.n;
    EXPECT_EQ(g.vertex(last, 0).position.z, 31.999998f) << g.n;
    EXPECT_EQ(g.vertex(last, 0).position.x, -32.0f);
  }
}

// At (r, c) the normal must read the heights of cells visited before it in this
// walk (row-major, the wrap included) as levelled, and all others as they were.
TEST(WaterStep, NormalsReadTheHeightsLevelledSoFar) {
  Grid g(4);
  srand(99);
  for (int i = 0; i < 6; ++i) {
    g.water.Drop(1.5f);
    g.Step();
  }
  std::vector<float> before(g.water.vertexCount);
  for (uint32_t i = 0; i < g.water.vertexCount; ++i) before[i] = g.water.cells[i].height;
  g.Step();
  ASSERT_NE(g.water.meanHeight, 0.0f);
  const int n = g.n;
  int differsFromOldOnly = 0;
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      auto h = [&](int dr, int dc, bool visitOrder) {
        int rr = (r + dr) & (n - 1), cc = (c + dc) & (n - 1);
        bool levelled = visitOrder && rr * n + cc <= r * n + c;
        return levelled ? g.cell(rr, cc).height : before[rr * n + cc];
      };
      auto normal = [&](bool visitOrder) {
        VECTOR3D v{(h(-1, -1, visitOrder) - h(1, 1, visitOrder)) -
                       (h(-1, 1, visitOrder) - h(1, -1, visitOrder)) +
                       (h(0, -1, visitOrder) - h(0, 1, visitOrder)),
                   1.0f,
                   (h(-1, -1, visitOrder) - h(1, 1, visitOrder)) +
                       (h(-1, 0, visitOrder) - h(1, 0, visitOrder)) +
                       (h(-1, 1, visitOrder) - h(1, -1, visitOrder))};
        v.Normalize();
        return v;
      };
      VECTOR3D expected = normal(true), oldOnly = normal(false);
      const VECTOR3D& got = g.vertex(r, c).normal;
      ASSERT_EQ(got.x, expected.x) << r << "," << c;
      ASSERT_EQ(got.y, expected.y) << r << "," << c;
      ASSERT_EQ(got.z, expected.z) << r << "," << c;
      if (got.x != oldOnly.x || got.z != oldOnly.z) ++differsFromOldOnly;
    }
  EXPECT_GT(differsFromOldOnly, n * n / 2);  // the rule matters in this case
}

TEST(WaterStep, HeightsAverageToZero) {
  Grid g(6);
  srand(5);
  for (int i = 0; i < 50; ++i) {
    if (i % 3 == 0) g.water.Drop(1.9f);
    g.Step();
    double sum = 0;
    for (uint32_t k = 0; k < g.water.vertexCount; ++k) sum += g.water.cells[k].height;
    ASSERT_NEAR(sum / g.water.vertexCount, 0.0, 1e-6);
  }
}

// Flat water seen from straight above through the no-bowl floor at depth q = -1000:
// the refracted ray T = (0, -1.38276, 0) meets it after t = 14.3545 (B = 55.3103).
// Moving the eye one unit sideways tilts T by s * (-1 / 77.5) in x, so the picture
// shifts by about T.x * t.
TEST(WaterStep, WithoutTheBowlEveryPointBendsToTheFloor) {
  Grid g(4, false);
  g.water.bowlRadiusSq = -1000.0f;  // where the easing settles
  g.Step(0.0);
  const WATERVERTEX& p = g.vertex(7, 7);
  VECTOR3D eye{p.position.x, 77.5f, p.position.z}, light{0, 0, 0};
  g.water.Update(eye, light, false, 0.0);
  const float flatU = p.position.x / 64.0f + 0.5f, flatV = 1.0f - (p.position.z / 64.0f + 0.5f);
  EXPECT_EQ(p.u, flatU);
  EXPECT_EQ(p.v, flatV);
  eye.x -= 1.0f;
  g.water.Update(eye, light, false, 0.0);
  const float tx = 0.750188f / std::sqrt(1.0f + 77.5f * 77.5f);
  EXPECT_NEAR((p.u - flatU) * 64.0f, tx * 14.3545f, 2e-4f);
  EXPECT_NEAR(p.v, flatV, 1e-6f);
}

TEST(WaterStep, CausticsOnlyOnRequest) {
  Grid g(4);
  srand(8);
  g.water.Drop(1.0f);
  g.Step();
  std::vector<CAUSTICVERTEX> before(g.water.causticVertices, g.water.causticVertices + 256);
  uint32_t table[8];
  std::memcpy(table, Table, sizeof table);
  g.Step(0.016, false);
  EXPECT_EQ(0, std::memcmp(before.data(), g.water.causticVertices, sizeof(CAUSTICVERTEX) * 256));
  EXPECT_EQ(0, std::memcmp(table, Table, sizeof table));
  g.Step(0.016, true);
  const uint32_t greys[8] = {0x404040, 0x202020, 0x151515, 0x101010,
                             0x0c0c0c, 0x0a0a0a, 0x090909, 0x080808};
  EXPECT_EQ(0, std::memcmp(greys, Table, sizeof greys));
  for (int i = 0; i < 256; ++i) {
    const CAUSTICVERTEX& k = g.water.causticVertices[i];
    ASSERT_EQ(k.position.y, 0.0f);
    bool graded = k.intensity == 0;
    for (uint32_t grey : greys) graded = graded || k.intensity == grey;
    ASSERT_TRUE(graded) << i;
  }
  // The border copies: column 0 from column 15, row 0 from row 15.
  EXPECT_EQ(g.water.causticVertices[5 * 16].intensity, g.water.causticVertices[5 * 16 + 15].intensity);
  EXPECT_EQ(g.water.causticVertices[9].intensity, g.water.causticVertices[15 * 16 + 9].intensity);
}

// Finds a seed whose first two random numbers pick the wanted column and row.
unsigned SeedFor(int n, int column, int row) {
  for (unsigned seed = 1;; ++seed) {
    srand(seed);
    int c = rand() & (n - 1);
    int r = rand() & (n - 1);
    if (c == column && r == row) return seed;
  }
}

// With N = 64 the draws (column 0, row 2) put the block's left column in column 63;
// from (0, 0) it reaches across both edges. Drops add; strength 0 changes nothing.
TEST(WaterDrop, StrikesTheDrawnCellWithAWrappedPyramid) {
  Grid g(6);
  srand(SeedFor(64, 0, 2));
  ASSERT_TRUE(g.water.Drop(1.0f));
  const float weights[3][3] = {{-0.0625f, -0.125f, -0.0625f},
                               {-0.125f, -0.25f, -0.125f},
                               {-0.0625f, -0.125f, -0.0625f}};
  double sum = 0;
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      EXPECT_EQ(g.cell(2 + dr, dc).velocity, weights[dr + 1][dc + 1]) << dr << "," << dc;
      sum += g.cell(2 + dr, dc).velocity;
    }
  EXPECT_EQ(sum, -1.0);
  EXPECT_EQ(g.cell(2, 63).velocity, -0.125f);
  int touched = 0;
  for (uint32_t i = 0; i < g.water.vertexCount; ++i) touched += g.water.cells[i].velocity != 0.0f;
  EXPECT_EQ(touched, 9);

  Grid corner(6);
  const unsigned seed = SeedFor(64, 0, 0);
  for (float strength : {1.0f, 1.0f, 0.0f}) {
    srand(seed);
    corner.water.Drop(strength);
  }
  EXPECT_EQ(corner.cell(0, 0).velocity, -0.5f);
  EXPECT_EQ(corner.cell(63, 63).velocity, -0.125f);
  EXPECT_EQ(corner.cell(63, 1).velocity, -0.125f);
  EXPECT_EQ(corner.cell(1, 63).velocity, -0.125f);
  EXPECT_EQ(corner.cell(0, 63).velocity, -0.25f);
  for (uint32_t i = 0; i < corner.water.vertexCount; ++i) ASSERT_EQ(corner.water.cells[i].height, 0.0f);
}

// Below kMaxStableWaterSpeed ripples stay bounded for good; just above it the
// checkerboard ripple grows without bound.
double LargestHeightAfter(float speed, int steps) {
  Grid g(4, true, speed);
  srand(42);
  for (uint32_t i = 0; i < g.water.vertexCount; ++i)
    g.water.cells[i].height = static_cast<float>(rand() % 2001 - 1000) / 1000.0f;
  double largest = 0;
  for (int i = 0; i < steps; ++i) {
    g.Step();
    if (i % 100 == 0) g.water.Drop(1.0f);
    for (uint32_t k = 0; k < g.water.vertexCount; ++k) {
      double h = std::fabs(g.water.cells[k].height);
      if (!(h <= 1e30)) return INFINITY;
      largest = std::max(largest, h);
    }
  }
  return largest;
}

TEST(WaterStability, SpeedLimitSeparatesBoundedFromGrowingRipples) {
  EXPECT_LT(LargestHeightAfter(kMaxStableWaterSpeed, 20000), 100.0);
  EXPECT_LT(LargestHeightAfter(1.0f, 20000), 100.0);
  EXPECT_GT(LargestHeightAfter(12.0f, 20000), 1e6);
  EXPECT_GT(LargestHeightAfter(11.95f, 20000), 1e6);
}

}  // namespace

}  // namespace ambrel
