#include "platform/Platform.h"

#include <chrono>

#include "platform/Clock.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

Platform* installed = nullptr;

}  // namespace

Platform::~Platform() {
  if (!installed_) return;
  for (Platform** link = &installed; *link; link = &(*link)->below_)
    if (*link == this) {
      *link = below_;
      break;
    }
}

Platform& Platform::below() { return below_ ? *below_ : BuiltInPlatform(); }

std::vector<Screen> Platform::screens() { return below().screens(); }
Screen Platform::mainScreen() { return below().mainScreen(); }
uint32_t Platform::displayMask(int screenNumber) { return below().displayMask(screenNumber); }
int Platform::mainDisplayNumber() { return below().mainDisplayNumber(); }
bool Platform::captureScreen(uint32_t displayMask, CapturedImage* out) { return below().captureScreen(displayMask, out); }
double Platform::absoluteTime() { return below().absoluteTime(); }
double Platform::wallClockSeconds() { return below().wallClockSeconds(); }
double Platform::monotonicSeconds() { return below().monotonicSeconds(); }
bool Platform::readPicture(const char* path, PictureBitmap* bitmap, std::string* why) {
  return below().readPicture(path, bitmap, why);
}
std::string Platform::userPicturesFolder() { return below().userPicturesFolder(); }
std::unique_ptr<ScreenSaverDefaults> Platform::defaultsForModule(const char* moduleName) {
  return below().defaultsForModule(moduleName);
}
std::optional<DesktopPicturePreference> Platform::desktopPicturePreference() {
  return below().desktopPicturePreference();
}
void Platform::presentAlert(const char* title, const char* message) { below().presentAlert(title, message); }
SheetServices& Platform::sheetServices() { return below().sheetServices(); }
std::string Platform::pathForResource(const char* name, const char* type) { return below().pathForResource(name, type); }
bool Platform::keepInputLive() { return below().keepInputLive(); }

double Platform::AnchoredTime() {
  if (!anchored_) {
    wallAtAnchor_ = wallClockSeconds();
    monotonicAtAnchor_ = monotonicSeconds();
    anchored_ = true;
  }
  return wallAtAnchor_ + (monotonicSeconds() - monotonicAtAnchor_);
}

void SetPlatform(Platform* platform) {
  if (!platform) {
    if (Platform* top = installed) {
      installed = top->below_;
      top->below_ = nullptr;
      top->installed_ = false;
    }
    return;
  }
  if (platform->installed_ || platform == &BuiltInPlatform()) return;
  platform->below_ = installed;
  platform->installed_ = true;
  installed = platform;
}

Platform& CurrentPlatform() { return installed ? *installed : BuiltInPlatform(); }

// The core's free functions: the current platform's answers.
std::vector<Screen> Screens() { return CurrentPlatform().screens(); }
Screen MainScreen() { return CurrentPlatform().mainScreen(); }
uint32_t DisplayMaskForScreenNumber(int number) { return CurrentPlatform().displayMask(number); }
int MainDisplayNumber() { return CurrentPlatform().mainDisplayNumber(); }

double CFAbsoluteTimeGetCurrent() { return CurrentPlatform().absoluteTime(); }

double SystemAbsoluteTime() {
  // The reference date of absolute time is 2001-01-01 UTC, 978307200 s after 1970.
  const auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(sinceUnixEpoch).count() - 978307200.0;
}

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ReadPicture(const char* path, PictureBitmap* bitmap, std::string* why) {
  return CurrentPlatform().readPicture(path, bitmap, why);
}

std::string UserPicturesFolder() { return CurrentPlatform().userPicturesFolder(); }

std::unique_ptr<ScreenSaverDefaults> ScreenSaverDefaults::defaultsForModuleWithName(const char* moduleName) {
  return CurrentPlatform().defaultsForModule(moduleName);
}

std::optional<DesktopPicturePreference> CopyDesktopPicturePreference() {
  return CurrentPlatform().desktopPicturePreference();
}

}  // namespace ambrel
