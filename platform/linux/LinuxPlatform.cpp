#include "platform/linux/LinuxPlatform.h"

#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

bool LinuxPlatform::readPicture(const char* path, PictureBitmap* bitmap, std::string* why) {
  return ReadPictureWithGdk(path, bitmap, why);
}

std::string LinuxPlatform::userPicturesFolder() { return XdgPicturesFolder(); }

std::unique_ptr<ScreenSaverDefaults> LinuxPlatform::defaultsForModule(const char* moduleName) {
  return OpenKeyFileDefaults(moduleName);
}

std::optional<DesktopPicturePreference> LinuxPlatform::desktopPicturePreference() { return LinuxDesktopPictures(); }

void LinuxPlatform::presentAlert(const char* title, const char* message) {
  if (!ShowGtkAlert(title, message)) Platform::presentAlert(title, message);
}

SheetServices& LinuxPlatform::sheetServices() { return GtkSheets(); }

void InstallLinuxPlatform() {
  static LinuxPlatform platform;
  SetPlatform(&platform);
}

}  // namespace ambrel
