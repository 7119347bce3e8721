// Everything the core asks of the platform besides a view's own window: screens
// and their capture, the clock, pictures, the settings store, desktop pictures,
// alerts, the configuration sheet's services and the bundle. This is the core's
// one way in: the free functions of the other neutral headers (ReadPicture,
// ScreenSaverDefaults, ShowAlert, Screens ...) ask the current platform.
//
// Platforms stack. A program installs its own when it starts (the Linux desktop's
// services, the Cocoa ones); an engine lays its screens, capture and clock over
// it for its run; a test may lay one service over those. Whatever a platform
// does not give comes from the one below it, and at the bottom lies the built-in
// platform: no screens, no capture, no decoder, a store kept in memory, alerts
// on stderr, no sheet, the system clock and the bundle lookup.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopPicture.h"
#include "platform/Pictures.h"
#include "platform/Screens.h"

namespace ambrel {

class ScreenSaverDefaults;
class SheetServices;

// A screen's image: width x height pixels of R, G, B, A bytes, bottom row first,
// no row gaps.
struct CapturedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

class Platform {
 public:
  Platform() = default;
  // Takes itself out of the stack, wherever it is in it.
  virtual ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // Each default asks the platform below.
  virtual std::vector<Screen> screens();
  virtual Screen mainScreen();
  virtual uint32_t displayMask(int screenNumber);
  virtual int mainDisplayNumber();
  // The image of the display(s) in the mask, or false when it cannot be read.
  // May change the current OpenGL context.
  virtual bool captureScreen(uint32_t displayMask, CapturedImage* out);

  // The frame clock, in seconds: it only runs forwards.
  virtual double absoluteTime();
  // The sources of AnchoredTime(). At the bottom: SystemAbsoluteTime() and the
  // system's steady clock.
  virtual double wallClockSeconds();
  virtual double monotonicSeconds();

  // ReadPicture, UserPicturesFolder (platform/Pictures.h).
  virtual bool readPicture(const char* path, PictureBitmap* bitmap, std::string* why);
  virtual std::string userPicturesFolder();
  // A module's store (platform/ScreenSaverDefaults.h); never null.
  virtual std::unique_ptr<ScreenSaverDefaults> defaultsForModule(const char* moduleName);
  // CopyDesktopPicturePreference (platform/DesktopPicture.h).
  virtual std::optional<DesktopPicturePreference> desktopPicturePreference();
  // Shows an alert and returns once it is acknowledged; ShowAlert
  // (platform/Alerts.h) decides whether one may be shown at all.
  virtual void presentAlert(const char* title, const char* message);
  // CurrentSheetServices (platform/SheetControls.h).
  virtual SheetServices& sheetServices();
  // PathForResource (platform/Bundle.h).
  virtual std::string pathForResource(const char* name, const char* type);
  // Called again and again while a view waits on work it can give up (a picture
  // decoding): the engine takes the input and signals that end its run, and says
  // false once the run is ending. At the bottom: true.
  virtual bool keepInputLive();

 protected:
  Platform& below();
  // monotonicSeconds(), anchored once, at its first reading, to
  // wallClockSeconds(), so that its readings (the random seed among them) still
  // tell the date: the built-in absoluteTime(), for a platform with clocks of its own.
  double AnchoredTime();

 private:
  friend void SetPlatform(Platform* platform);
  Platform* below_ = nullptr;
  bool installed_ = false;
  bool anchored_ = false;
  double wallAtAnchor_ = 0, monotonicAtAnchor_ = 0;
};

// Lays platform (not owned) over the current one; one already in the stack stays
// where it is. Null takes the top one off again.
void SetPlatform(Platform* platform);
Platform& CurrentPlatform();
// The bottom of the stack.
Platform& BuiltInPlatform();

}  // namespace ambrel
