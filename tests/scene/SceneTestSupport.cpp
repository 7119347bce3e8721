#include "SceneTestSupport.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>

SETTINGS DefaultSettings() {
  SETTINGS settings{};
  settings.LIGHTING = true;
  settings.WANTBOWL = true;
  settings.WATERSPEED = 100;
  settings.WATERSHIFT = 6;
  settings.DRIPSPEED = 250;
  return settings;
}

void HostReshape(int width, int height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, (float)width / (float)height, 1.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void HostInit(int width, int height) {
  glViewport(0, 0, width, height);
  glShadeModel(GL_SMOOTH);
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  HostReshape(width, height);
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
