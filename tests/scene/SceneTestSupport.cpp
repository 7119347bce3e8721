#include "SceneTestSupport.h"

#include <cstdlib>

#include "host/AmbrelView.h"

namespace ambrel {

SETTINGS DefaultSceneSettings() { return DefaultSettings().settings; }

void HostReshape(int width, int height) { SetViewProjection(width, height); }

void HostInit(int width, int height) {
  SetViewGLState(width, height);
  SetViewProjection(width, height);
}

std::vector<int> RandSequence(unsigned seed, int n) {
  srand(seed);
  std::vector<int> numbers;
  for (int i = 0; i < n; ++i) numbers.push_back(rand());
  return numbers;
}

double VelocitySum(const WATERCLASS& water) {
  double sum = 0;
  for (uint32_t i = 0; i < water.vertexCount; ++i) sum += water.cells[i].velocity;
  return sum;
}

bool AllVelocitiesZero(const WATERCLASS& water) {
  for (uint32_t i = 0; i < water.vertexCount; ++i)
    if (water.cells[i].velocity != 0) return false;
  return true;
}

}  // namespace ambrel
