#include "platform/Platform.h"

#include <chrono>

#include "platform/Bundle.h"
#include "platform/Clock.h"

namespace ambrel {

namespace {

// Used until an engine installs its own: no screens and no capture, so a view
// made without an engine falls back to pictures and still runs.
class BuiltInPlatform : public Platform {
 public:
  std::vector<Screen> screens() override { return {}; }
  Screen mainScreen() override { return Screen{}; }
  uint32_t displayMask(int screenNumber) override {
    return screenNumber >= 0 && screenNumber < 32 ? 1u << screenNumber : 0u;
  }
  int mainDisplayNumber() override { return 0; }
  bool captureScreen(uint32_t, CapturedImage*) override { return false; }
};

BuiltInPlatform builtIn;
Platform* installed = nullptr;

}  // namespace

double Platform::absoluteTime() {
  if (!anchored_) {
    wallAtAnchor_ = wallClockSeconds();
    monotonicAtAnchor_ = monotonicSeconds();
    anchored_ = true;
  }
  return wallAtAnchor_ + (monotonicSeconds() - monotonicAtAnchor_);
}

double Platform::wallClockSeconds() { return SystemAbsoluteTime(); }

double Platform::monotonicSeconds() { return MonotonicSeconds(); }

std::string Platform::pathForResource(const char* name, const char* type) {
  return ResourcePathInDirectory(BundleResourceDirectory(), name, type);
}

void SetPlatform(Platform* platform) { installed = platform; }

Platform& CurrentPlatform() { return installed ? *installed : builtIn; }

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

}  // namespace ambrel
