// The Linux desktop's services, which every Linux program installs when it
// starts, whichever engine then runs: pictures decoded by GdkPixbuf, the GKeyFile
// store, the desktop picture from the store, GSettings or XScreenSaver, GTK alerts
// once asked for, the GTK sheet and the XDG pictures folder.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace ambrel {

class LinuxPlatform final : public Platform {
 public:
  bool readPicture(const char* path, PictureBitmap* bitmap, std::string* why) override;
  std::string userPicturesFolder() override;
  std::unique_ptr<ScreenSaverDefaults> defaultsForModule(const char* moduleName) override;
  std::optional<DesktopPicturePreference> desktopPicturePreference() override;
  void presentAlert(const char* title, const char* message) override;
  SheetServices& sheetServices() override;
};

// Lays the process's one LinuxPlatform over the built-in one (once).
void InstallLinuxPlatform();

// Its parts, each beside the library it uses.
bool ReadPictureWithGdk(const char* path, PictureBitmap* bitmap, std::string* why);
std::string XdgPicturesFolder();
std::unique_ptr<ScreenSaverDefaults> OpenKeyFileDefaults(const char* moduleName);
std::optional<DesktopPicturePreference> LinuxDesktopPictures();
// False when alerts are not dialogs (InstallGtkAlertPresenter, GtkAlert.h).
bool ShowGtkAlert(const char* title, const char* message);
SheetServices& GtkSheets();

}  // namespace ambrel
