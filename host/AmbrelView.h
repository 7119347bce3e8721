// The screen-saver view: one per screen and one for the preview. It owns the
// drawing surface and the scene, runs the frame clock and keeps the settings.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "image/Texture.h"
#include "platform/DesktopPicture.h"
#include "platform/GLSurface.h"
#include "platform/ScreenSaverView.h"
#include "scene/SSMain.h"

// What a host that is not the screen-saver engine may put in place of the stores
// (a render, say): given settings are used as they are and nothing is written;
// a given desktop-picture preference replaces the platform's.
struct AmbrelViewOverrides {
  std::optional<SETTINGS> settings;
  bool mainMonitorOnly = false;
  std::optional<DesktopPicturePreference> desktopPictures;
};

class AmbrelView : public ScreenSaverView {
 public:
  AmbrelView(Rect frame, bool isPreview, ViewSite& site);
  AmbrelView(Rect frame, bool isPreview, ViewSite& site, AmbrelViewOverrides overrides);
  ~AmbrelView() override;

  // Engine
  void setFrameSize(Size size) override;
  void startAnimation() override;
  void stopAnimation() override;
  void animateOneFrame() override;
  bool hasConfigureSheet() override { return true; }
  static bool performGammaFade() { return false; }

  // Settings: read at creation (with the version rule); the sheet's save action
  // writes them back after taking mySettings and MainMonitorOnly from its controls.
  void loadSettings();
  void storeSettings();

  void glInit();
  void glReshape();
  bool mainSetup();
  void GetDesktopTexture(uint32_t* texName, int detail, Rect frame);
  uint32_t getScreenMaskForFrame(Rect frame);

  bool MainMonitorOnly = false;
  bool ThisScreenIsOn = false;
  std::unique_ptr<GLSurface> glView;
  bool viewAllocated = false;
  bool glReady = false;
  bool initialized = false;
  SETTINGS mySettings{};
  double animtime = 0;
  Rect Scrn;
  SSMAIN* ssMain = nullptr;
  Texture DeskTex;

  // Configuration sheet: the window and its nine controls (oMainMonitorOnly,
  // oLighting, oWantBowl, oWaterSpeed, oWaterRes, oDripSpeed, oBGType, oBGPath,
  // oBGRes) go here with the sheet.
  void* configureSheet = nullptr;

 private:
  std::string fallbackPicturePath() const;
  std::string desktopPicturePath();
  AmbrelViewOverrides overrides_;
};
