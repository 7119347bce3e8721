// The bottom of every platform stack: what the core gets where no platform gives
// more (a program that installs none, a tool, a fuzzer).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/SheetControls.h"

namespace ambrel {

namespace {

// Values live as long as the store: nothing is written anywhere.
class MemoryDefaults final : public ScreenSaverDefaults {
 public:
  std::optional<std::string> stringForKey(const char* key) const override {
    auto found = keys_.find(key);
    return found == keys_.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  bool boolForKey(const char* key) const override {
    const std::string value = stringForKey(key).value_or("");
    return value == "true" || value == "1";
  }
  int64_t integerForKey(const char* key) const override {
    return std::strtoll(stringForKey(key).value_or("0").c_str(), nullptr, 10);
  }
  void setObject(const char* value, const char* key) override {
    if (value) keys_[key] = value;
    else keys_.erase(key);
  }
  void setBool(bool value, const char* key) override { keys_[key] = value ? "true" : "false"; }
  void setInteger(int64_t value, const char* key) override { keys_[key] = std::to_string(value); }
  std::map<std::string, std::string> stringsInSection(const char* section) const override {
    auto found = sections_.find(section);
    return found == sections_.end() ? std::map<std::string, std::string>() : found->second;
  }
  void setStringInSection(const char* value, const char* key, const char* section) override {
    if (value) sections_[section][key] = value;
    else sections_[section].erase(key);
  }
  bool synchronize() override { return true; }
  void keepFileBeforeReset(const char*) override {}
  const std::string& path() const override { return path_; }

 private:
  std::map<std::string, std::string> keys_;
  std::map<std::string, std::map<std::string, std::string>> sections_;
  std::string path_ = "memory";
};

class NoSheetServices final : public SheetServices {
 public:
  std::unique_ptr<SheetWindow> loadSheetNamed(const char* name, const SheetOwner&) override {
    std::fprintf(stderr, "ambrel: there is no settings window here to load \"%s\" into\n", name ? name : "");
    return nullptr;
  }
  std::optional<std::string> runFolderPanel(const FolderPanel&) override { return std::nullopt; }
  bool openFileInBrowser(const std::string&) override { return false; }
};

class BuiltIn final : public Platform {
 public:
  std::vector<Screen> screens() override { return {}; }
  Screen mainScreen() override { return Screen{}; }
  uint32_t displayMask(int screenNumber) override {
    return screenNumber >= 0 && screenNumber < 32 ? 1u << screenNumber : 0u;
  }
  int mainDisplayNumber() override { return 0; }
  bool captureScreen(uint32_t, CapturedImage*) override { return false; }
  double absoluteTime() override { return AnchoredTime(); }
  double wallClockSeconds() override { return SystemAbsoluteTime(); }
  double monotonicSeconds() override { return MonotonicSeconds(); }
  bool readPicture(const char* path, PictureBitmap*, std::string* why) override {
    if (why) *why = path ? "cannot be decoded here" : "is not named";
    return false;
  }
  std::string userPicturesFolder() override {
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/Pictures";
  }
  std::unique_ptr<ScreenSaverDefaults> defaultsForModule(const char*) override {
    return std::make_unique<MemoryDefaults>();
  }
  std::optional<DesktopPicturePreference> desktopPicturePreference() override { return std::nullopt; }
  void presentAlert(const char* title, const char* message) override {
    std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
  }
  SheetServices& sheetServices() override { return sheets_; }
  std::string pathForResource(const char* name, const char* type) override {
    return ResourcePathInDirectory(BundleResourceDirectory(), name, type);
  }
  bool keepInputLive() override { return true; }

 private:
  NoSheetServices sheets_;
};

}  // namespace

Platform& BuiltInPlatform() {
  // Never destroyed: destructors that run at exit may still ask it.
  static BuiltIn* builtIn = new BuiltIn;
  return *builtIn;
}

}  // namespace ambrel
