// The desktop picture as desktops and wallpaper setters other than GNOME record it,
// each read from its own file without running anything: XFCE's xfconf channel,
// KDE Plasma's desktop applets, feh's ~/.fehbg, nitrogen's bg-saved.cfg, and
// XScreenSaver's imageDirectory. A file that is missing, not a regular file, larger
// than a settings file can be, or not in its format gives nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopPicture.h"

namespace ambrel {

// Entries by screen number ("1", "2", ...) and "default", naming picture files as
// the file records them (whether they exist is the caller's business).
std::optional<DesktopPicturePreference> XfceWallpapers(const std::string& configHome);
std::optional<DesktopPicturePreference> KdeWallpapers(const std::string& configHome);
std::optional<DesktopPicturePreference> FehWallpapers(const std::string& home);
std::optional<DesktopPicturePreference> NitrogenWallpapers(const std::string& configHome);

// XScreenSaver's imageDirectory resource in ~/.xscreensaver: a folder of pictures.
std::optional<std::string> XScreenSaverImageDirectory(const std::string& home);

// An X resource's values as written in ~/.xscreensaver or an app-defaults file
// ("name: value", "*name: value" or "Class.name: value"), in the file's order.
std::vector<std::string> ResourceValues(const std::string& text, const char* name);

// The whole of a configuration file another program writes (1 MB at most, no NUL
// bytes), read through the one reader for files the user controls.
std::optional<std::string> ReadConfigurationFile(const std::string& path);

}  // namespace ambrel
