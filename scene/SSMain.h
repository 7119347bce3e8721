// The scene driver: one per running screen. Owns the water, the pack textures and
// the background texture; holds the camera, the light and the overlay's timers.
#pragma once

#include <cstdint>

#include "image/Texture.h"
#include "scene/SceneFrame.h"
#include "support/NiftyMaths.h"
#include "water/Water.h"

namespace ambrel {

// What lies under the water, as SETTINGS::BGTYPE and the store's BGType hold it.
enum class BackgroundKind : int32_t { kCapture = 0, kDesktop = 1, kFolder = 2 };

struct SETTINGS {
  bool LIGHTING;
  bool WANTBOWL;
  int64_t WATERSPEED;
  int64_t WATERSHIFT;
  int64_t DRIPSPEED;
  int32_t BGTYPE;
  char BGPath[1024];
  int32_t BGRES;
  // The strip and the banner; on unless turned off, also in a record made
  // without the settings' defaults.
  bool OVERLAY = true;
};

class SSMAIN {
 public:
  double totalTime = 0;
  double frameTime = 0;
  int32_t width = 0, height = 0;
  bool isPreview = false;
  bool overlay = true;
  float overlayTimer = 60;
  bool overlayShown = false;
  bool overlayAtTop = false;
  point2d overlayPos = {0, -35};
  uint32_t captionSlot = 5;
  float bannerTimer = 0;
  float bannerAlpha = 0;
  bool introDone = false;
  float introSlide = 1;
  float introTitleAlpha = -5;
  float introSubtitleAlpha = -1;
  int32_t textureCount = 0;
  Texture* textures = nullptr;
  WATERCLASS* water = nullptr;
  uint32_t backgroundTexture = 0;
  bool lighting = true;
  bool wantBowl = true;
  float waterSpeed = 1.0f;
  int64_t waterShift = 6;
  int64_t dripSpeed = 0;
  VECTOR3D lightTarget = {0, 75, 100};
  VECTOR3D lightPos = {0, 100, 0};
  // Where the light was last handed to the drawing.
  VECTOR3D placedLight = {0, 100, 0};
  VECTOR3D cameraEye = {0, 77.5f, 0};
  VECTOR3D cameraTarget = {0, 0, 0};
  float dropTimer = 1.0f;
  float aspect = 1.3333333f;

  SSMAIN() = default;
  SSMAIN(const SSMAIN&) = delete;
  SSMAIN& operator=(const SSMAIN&) = delete;

  void SetSize(int width, int height);
  bool Setup(bool preview, int width, int height, SETTINGS* settings);
  void Cleanup();
  void Update(double dt);
  // Draw describes the frame (advancing the light and the overlay's timers) and
  // draws it with OpenGL; DoOverlay does the same for the overlay alone.
  void Draw();
  void DoOverlay();
  void Describe(SceneFrame* frame);
  void DescribeCamera(SceneFrame* frame) const;
  void DescribeOverlay(SceneFrame* frame);
  void DoIntro();
  void Clock(int* hour, int* minute, int* second);
};

}  // namespace ambrel
