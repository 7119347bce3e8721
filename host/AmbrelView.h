// The screen-saver view: one per screen and one for the preview. It owns the
// drawing surface and the scene, runs the frame clock and keeps the settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/CpuTextureStore.h"
#include "image/Texture.h"
#include "platform/DesktopPicture.h"
#include "platform/GLSurface.h"
#include "platform/ScreenSaverView.h"
#include "host/Settings.h"
#include "platform/SheetControls.h"
#include "scene/SSMain.h"

namespace ambrel {

// The GL state a view sets for its drawable size (viewport, shading, depth test,
// colour material), and the perspective it sets before every draw. Tests and
// benchmarks of the bare scene prepare their context the same way.
void SetViewGLState(int width, int height);
void SetViewProjection(double width, double height);

// The store's settings as a view reads them at creation: a store of another
// version reads as the defaults, which are written back unless readOnly (a look
// that must leave the user's file as it is).
SettingsRecord ReadStoredSettings(bool readOnly = false);

// Writes every setting but the version to the store, in the declared order.
void StoreSettings(const SettingsRecord& record);

// The settings a view uses: the given ones (written nowhere), else the store's,
// with the one-run values over them, and held in the view's range. Views and
// --print-settings alike.
SettingsRecord ResolveSettings(const std::optional<SettingsRecord>& given, const SettingOverrides& overrides,
                               bool readOnly = false);

// What a host that is not the screen-saver engine may put in place of the stores
// (a render, say): given settings are used as they are and nothing is written;
// a given desktop-picture preference replaces the platform's. Single settings in
// `fields` go over either.
// Who draws a view's frames: OpenGL, or the CPU renderer into a pixel surface.
enum class FrameRenderer { kGL, kCpu };

struct AmbrelViewOverrides {
  std::optional<SettingsRecord> settings;
  std::optional<DesktopPicturePreference> desktopPictures;
  // A picture of the run's own for the desktop kind, on every screen, in place of
  // any preference (a path too short to name a file gives the shipped picture).
  std::optional<std::string> desktopPicture;
  SettingOverrides fields;
  // When set, wraps the drawing surface as the view makes it, and the view draws
  // through what it returns: a decoration over each frame, a frame counter.
  std::function<std::unique_ptr<GLSurface>(std::unique_ptr<GLSurface>)> decorateSurface;
  // kCpu draws into the site's pixel surface, with no OpenGL call at all; a site
  // without pixel surfaces gets OpenGL's surface as with kGL.
  FrameRenderer renderer = FrameRenderer::kGL;
  // The same as decorateSurface, for the CPU renderer's pixel surface.
  std::function<std::unique_ptr<PixelSurface>(std::unique_ptr<PixelSurface>)> decoratePixelSurface;
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
  // Whether a tick has built the scene (it needs a surface that can be made current).
  bool hasScene() const { return ssMain != nullptr; }
  // Whether the frames are drawn on the processor into a pixel surface.
  bool drawsOnTheProcessor() const { return pixelView != nullptr; }
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
  // With the CPU renderer, in place of glView, and the textures it samples.
  std::unique_ptr<PixelSurface> pixelView;
  std::unique_ptr<CpuTextureStore> cpuTextures;
  bool viewAllocated = false;
  bool glReady = false;
  bool initialized = false;
  SETTINGS mySettings{};
  double animtime = 0;
  Rect Scrn;
  SSMAIN* ssMain = nullptr;
  Texture DeskTex;

  // Configuration sheet (AmbrelViewSheet.cpp): the window, loaded once from the
  // interface file "Ambrel", and a control for each setting. The actions take the sender
  // and ignore it.
  SheetWindow* configureSheet() override;
  void configureSheet_save(SheetControl* sender);
  void configureSheet_cancel(SheetControl* sender);
  void configureSheet_defaults(SheetControl* sender);
  void configureSheet_update(SheetControl* sender);
  void configureSheet_updatestates();
  void configureSheet_bgpath(SheetControl* sender);
  void configureSheet_openwebsite(SheetControl* sender);
  std::unique_ptr<SheetWindow> configureSheetWindow;
  // The outlet of that name ("oWaterSpeed"...), null before the sheet is loaded.
  SheetControl* outletNamed(const std::string& name);
  SheetControl* oMainMonitorOnly = nullptr;
  SheetControl* oLighting = nullptr;
  SheetControl* oWantBowl = nullptr;
  SheetControl* oWaterSpeed = nullptr;
  SheetControl* oWaterRes = nullptr;
  SheetControl* oDripSpeed = nullptr;
  SheetControl* oBGType = nullptr;
  SheetControl* oBGPath = nullptr;
  SheetControl* oBGRes = nullptr;
  SheetControl* oOverlay = nullptr;

 private:
  // Makes the surface and the texture store current; false without a surface.
  bool makeCurrent();
  void animateOnTheProcessor();
  // Whether the frame clock has moved on enough for a step, and by how much.
  bool frameDue(double* dt);
  std::string fallbackPicturePath() const;
  std::string desktopPicturePath();
  AmbrelViewOverrides overrides_;
};

}  // namespace ambrel
