// Shared by the scene tests: a GL fixture that prepares the context the way the
// screen saver's host does, and settings as the host would hand them over.
#pragma once

#include <cstdint>
#include <vector>

#include "GLTest.h"
#include "scene/SSMain.h"

namespace ambrel {

SETTINGS DefaultSceneSettings();

// The host's one-time GL state and its per-frame projection.
void HostInit(int width, int height);
void HostReshape(int width, int height);

// The first n numbers of rand() after srand(seed).
std::vector<int> RandSequence(unsigned seed, int n);

double VelocitySum(const WATERCLASS& water);
bool AllVelocitiesZero(const WATERCLASS& water);

class SceneTest : public GLTest {
 protected:
  void SetUp() override {
    GLTest::SetUp();
    if (HasFatalFailure()) return;
    HostInit(width(), height());
  }
  void TearDown() override { scene.Cleanup(); }

  bool SetupScene(SETTINGS settings, bool preview = false) {
    HostReshape(width(), height());
    return scene.Setup(preview, width(), height(), &settings);
  }
  // One host frame: step, projection, draw.
  void Frame(double dt) {
    scene.Update(dt);
    HostReshape(width(), height());
    scene.Draw();
  }

  SSMAIN scene;
};

}  // namespace ambrel
