// The core side of the seam: the portable view behind the Objective-C principal
// class, with the Objective-C view as its ViewSite and the Cocoa services as its
// Platform. Plain C++: it never sees Cocoa.
#include <cstdlib>
#include <string>

#include "host/AmbrelView.h"
#include "platform/Bundle.h"
#include "platform/Platform.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/UserFile.h"
#include "platform/macos/CocoaBridge.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

namespace cocoa {
namespace {

Rect ToRect(const Box& box) { return Rect{box.x, box.y, box.width, box.height}; }

Screen ToScreen(const Display& display) { return Screen{ToRect(display.frame), display.number}; }

class CocoaPlatform : public Platform {
 public:
  std::vector<Screen> screens() override {
    std::vector<Screen> screens;
    for (const Display& display : Displays()) screens.push_back(ToScreen(display));
    return screens;
  }
  Screen mainScreen() override { return ToScreen(MainDisplay()); }
  uint32_t displayMask(int screenNumber) override { return DisplayMask(screenNumber); }
  int mainDisplayNumber() override { return MainDisplayNumber(); }
  bool captureScreen(uint32_t displayMask, CapturedImage* out) override {
    return CaptureDisplays(displayMask, &out->width, &out->height, &out->pixels);
  }
  // AMBREL_RESOURCES first, as on Linux, so that a host may point the view at
  // other resources; else the plug-in bundle's own.
  std::string pathForResource(const char* name, const char* type) override {
    if (const char* folder = std::getenv("AMBREL_RESOURCES"); folder && *folder)
      return ResourcePathInDirectory(folder, name, type);
    // A bundle is a folder like any other: what is in it is read only as a
    // regular file, never a FIFO that would block the open.
    const std::string path = BundleResourcePath(name, type);
    return path.empty() || !UserFile(path, INT64_MAX).isOpen() ? std::string() : path;
  }
  bool readPicture(const char* path, PictureBitmap* bitmap, std::string* why) override {
    return ReadPictureWithCocoa(path, bitmap, why);
  }
  std::string userPicturesFolder() override { return CocoaPicturesFolder(); }
  std::unique_ptr<ScreenSaverDefaults> defaultsForModule(const char* moduleName) override {
    return OpenCocoaDefaults(moduleName);
  }
  std::optional<DesktopPicturePreference> desktopPicturePreference() override { return CocoaDesktopPictures(); }
  void presentAlert(const char* title, const char* message) override { PresentCocoaAlert(title, message); }
  SheetServices& sheetServices() override { return CocoaSheets(); }
};

class HostSurface : public GLSurface {
 public:
  explicit HostSurface(std::unique_ptr<Surface> surface) : surface_(std::move(surface)) {}
  bool MakeCurrent() override { return surface_->makeCurrent(); }
  void SetSize(Size size) override { surface_->resize(size.width, size.height); }
  void Flush() override { surface_->flush(); }

 private:
  std::unique_ptr<Surface> surface_;
};

class HostSite : public ViewSite {
 public:
  explicit HostSite(ViewHost& host) : host_(host) {}
  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) override {
    SurfaceWish wish;
    wish.colorBits = request.colorBits;
    wish.alphaBits = request.alphaBits;
    wish.depthBits = request.depthBits;
    wish.stencilBits = request.stencilBits;
    wish.doubleBuffer = request.doubleBuffer;
    wish.accelerated = request.accelerated;
    std::unique_ptr<Surface> surface = host_.createSurface(wish);
    if (!surface) return nullptr;
    return std::make_unique<HostSurface>(std::move(surface));
  }
  const Screen* screen() override {
    Display display;
    if (!host_.screen(&display)) return nullptr;
    screen_ = ToScreen(display);
    return &screen_;
  }
  void timerIntervalChanged(double seconds) override { host_.timerIntervalChanged(seconds); }
  void startTimer() override { host_.startTimer(); }
  void stopTimer() override { host_.stopTimer(); }

 private:
  ViewHost& host_;
  Screen screen_;
};

class AmbrelViewCore : public ViewCore {
 public:
  AmbrelViewCore(Box frame, bool isPreview, ViewHost& host) : site_(host), view_(ToRect(frame), isPreview, site_) {}
  void setFrameSize(double width, double height) override { view_.setFrameSize(Size{width, height}); }
  void startAnimation() override { view_.startAnimation(); }
  void stopAnimation() override { view_.stopAnimation(); }
  void animateOneFrame() override { view_.animateOneFrame(); }
  bool hasConfigureSheet() override { return view_.hasConfigureSheet(); }
  SheetWindow* configureSheet() override { return view_.configureSheet(); }
  SheetControl* outlet(const std::string& name) override { return view_.outletNamed(name); }
  std::string report() override {
    const SSMAIN* scene = view_.ssMain;
    std::string textures;
    if (scene) {
      for (int i = 0; i < scene->textureCount; ++i)
        if (scene->textures[i].texID) textures += (textures.empty() ? "" : ",") + std::to_string(scene->textures[i].texID);
      if (scene->backgroundTexture)
        textures += (textures.empty() ? "" : ",") + std::to_string(scene->backgroundTexture);
    }
    return "scene=" + std::to_string(scene && scene->water) + " overlay=" + std::to_string(scene && !scene->isPreview) +
           " textures=" + textures;
  }

 private:
  HostSite site_;
  AmbrelView view_;
};

}  // namespace

std::unique_ptr<ViewCore> ViewCore::Create(Box frame, bool isPreview, ViewHost& host) {
  static CocoaPlatform platform;
  SetPlatform(&platform);
  return std::make_unique<AmbrelViewCore>(frame, isPreview, host);
}

bool ViewCore::PerformGammaFade() { return AmbrelView::performGammaFade(); }

}  // namespace cocoa
