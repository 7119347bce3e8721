#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "tests/water/FailingAllocation.h"
#include "water/Water.h"

namespace ambrel {

namespace {

TEST(WaterGrid, ShiftIsClampedAndSizesFollow) {
  const std::pair<unsigned short, uint32_t> cases[] = {{3, 16}, {4, 16}, {6, 64}, {8, 256},
                                                       {9, 256}, {40, 256}, {0, 16}};
  for (auto [shift, n] : cases) {
    WATERCLASS water;
    ASSERT_TRUE(water.Initialize(shift, 64.0f, false, 0.5f));
    EXPECT_EQ(water.vertexCount, n * n) << shift;
    EXPECT_EQ(water.indexCount, 2 * n * n) << shift;
    EXPECT_EQ(water.invSize, 1.0f / 64.0f);
    EXPECT_FALSE(water.wantBowl);
    EXPECT_EQ(water.speed, 0.5f);
  }
}

// Walks the strip as OpenGL does (odd triangles swap their first two corners) over
// the entries that DrawSurface sends.
TEST(WaterGrid, StripCoversEveryQuadWithTwoCounterClockwiseTriangles) {
  for (unsigned short shift = 4; shift <= 8; ++shift) {
    WATERCLASS water;
    ASSERT_TRUE(water.Initialize(shift, 64.0f, true, 1.0f));
    const int n = 1 << shift;
    const uint16_t* s = water.indices;
    for (uint32_t i = 0; i < water.indexCount; ++i) ASSERT_LT(s[i], water.vertexCount);

    std::map<int, std::vector<std::set<int>>> quads;  // quad index -> its triangles
    const uint32_t drawn = water.indexCount - 2;
    for (uint32_t i = 0; i + 2 < drawn; ++i) {
      int a = s[i], b = s[i + 1], c = s[i + 2];
      if (i % 2) std::swap(a, b);
      if (a == b || b == c || a == c) continue;
      int ra = a / n, ca = a % n, rb = b / n, cb = b % n, rc = c / n, cc = c % n;
      int r0 = std::min({ra, rb, rc}), c0 = std::min({ca, cb, cc});
      ASSERT_LE(std::max({ra, rb, rc}) - r0, 1) << "n=" << n << " triangle " << i;
      ASSERT_LE(std::max({ca, cb, cc}) - c0, 1) << "n=" << n << " triangle " << i;
      // x follows the column and z the row; the y of (b-a) x (c-a) must be positive.
      int cross = (rb - ra) * (cc - ca) - (cb - ca) * (rc - ra);
      ASSERT_GT(cross, 0) << "n=" << n << " triangle " << i << " is clockwise";
      quads[r0 * n + c0].push_back({a, b, c});
    }
    ASSERT_EQ(quads.size(), static_cast<size_t>((n - 1) * (n - 1))) << n;
    for (auto& [quad, triangles] : quads) {
      ASSERT_EQ(triangles.size(), 2u) << "n=" << n << " quad " << quad;
      std::set<int> corners = triangles[0];
      corners.insert(triangles[1].begin(), triangles[1].end());
      ASSERT_EQ(corners.size(), 4u) << "n=" << n << " quad " << quad;
    }
    // The two entries DrawSurface leaves out only make degenerate triangles.
    const uint32_t last = water.indexCount;
    EXPECT_TRUE(s[last - 1] == s[last - 2] || s[last - 2] == s[last - 3] ||
                s[last - 1] == s[last - 3]);
    EXPECT_TRUE(s[last - 2] == s[last - 3] || s[last - 3] == s[last - 4] ||
                s[last - 2] == s[last - 4]);
  }
}

TEST(WaterGrid, SixteenGridStripStartsAndEndsAsListed) {
  WATERCLASS water;
  ASSERT_TRUE(water.Initialize(4, 64.0f, true, 1.0f));
  const uint16_t* s = water.indices;
  const std::vector<uint16_t> first(s, s + 6), edgeTurn(s + 30, s + 38);
  EXPECT_EQ(first, (std::vector<uint16_t>{0, 16, 1, 17, 2, 18}));
  EXPECT_EQ(edgeTurn, (std::vector<uint16_t>{15, 31, 31, 30, 47, 46, 63, 62}));
  const std::vector<uint16_t> end(s + 504, s + 512);
  EXPECT_EQ(end, (std::vector<uint16_t>{119, 135, 120, 136, 136, 135, 135, 119}));
}

TEST(WaterGrid, RefractionTableIsSharedAndSurvivesItsUsers) {
  auto* first = new WATERCLASS;
  ASSERT_TRUE(first->Initialize(4, 64.0f, true, 1.0f));
  EXPECT_EQ(first->refract, Refract);
  EXPECT_NEAR(Refract[0].normalWeight, 0.881413f, 1e-6f);
  EXPECT_NEAR(Refract[10].normalWeight, 0.843216f, 1e-6f);
  EXPECT_NEAR(Refract[128].normalWeight, 0.513355f, 1e-6f);
  EXPECT_NEAR(Refract[255].normalWeight, 0.333978f, 1e-6f);
  for (const REFRACTION& entry : Refract) EXPECT_NEAR(entry.rayScale, -0.750188f, 1e-6f);
  for (int i = 1; i < 256; ++i) EXPECT_LT(Refract[i].normalWeight, Refract[i - 1].normalWeight);

  REFRACTION before[256];
  std::copy(Refract, Refract + 256, before);
  Refract[10].normalWeight = 0.0f;
  WATERCLASS second;
  ASSERT_TRUE(second.Initialize(5, 64.0f, true, 1.0f));
  EXPECT_EQ(Refract[10].normalWeight, before[10].normalWeight);  // refilled, same values
  delete first;
  EXPECT_EQ(second.refract, Refract);
  EXPECT_EQ(Refract[255].normalWeight, before[255].normalWeight);
}

TEST(WaterGrid, SecondInitializeNeverKeepsArraysOfAnotherSize) {
  WATERCLASS water;
  ASSERT_TRUE(water.Initialize(4, 64.0f, true, 1.0f));
  water.cells[5].height = 3.0f;
  ASSERT_TRUE(water.Initialize(4, 32.0f, true, 1.0f));  // same grid: state kept
  EXPECT_EQ(water.cells[5].height, 3.0f);
  ASSERT_TRUE(water.Initialize(8, 64.0f, true, 1.0f));  // bigger grid: fresh arrays
  EXPECT_EQ(water.vertexCount, 65536u);
  EXPECT_EQ(water.cells[65535].height, 0.0f);
  EXPECT_EQ(water.indices[water.indexCount - 1], 127 * 256 + 127);  // the innermost ring
  VECTOR3D eye{0, 77.5f, 0}, light{0, 50, 0};
  EXPECT_TRUE(water.Update(eye, light, true, 0.1));
}

// Each of the four allocations in turn fails: Initialize says so, the arrays made
// before it stay owned, and the object is still safe to use and to destroy.
TEST(WaterGrid, FailedAllocationLeavesADestroyableObject) {
  for (int failing = 0; failing < 4; ++failing) {
    auto* water = new WATERCLASS;
    FailArrayAllocationAfter(failing);
    EXPECT_FALSE(water->Initialize(6, 64.0f, true, 1.0f)) << failing;
    FailArrayAllocationAfter(-1);
    EXPECT_EQ(water->cells != nullptr, failing > 0);
    EXPECT_EQ(water->indices != nullptr, failing > 1);
    EXPECT_EQ(water->vertices != nullptr, failing > 2);
    EXPECT_EQ(water->causticVertices, nullptr);
    VECTOR3D eye{0, 77.5f, 0}, light{0, 50, 0};
    EXPECT_FALSE(water->Update(eye, light, true, 0.1));
    EXPECT_EQ(water->Drop(1.0f), failing > 0);
    delete water;
  }
  // A retry after a failure completes the missing arrays.
  WATERCLASS water;
  FailArrayAllocationAfter(2);
  EXPECT_FALSE(water.Initialize(4, 64.0f, true, 1.0f));
  FailArrayAllocationAfter(-1);
  EXPECT_TRUE(water.Initialize(4, 64.0f, true, 1.0f));
  ASSERT_NE(water.causticVertices, nullptr);
  EXPECT_EQ(water.indices[1], 16);
}

}  // namespace

}  // namespace ambrel
