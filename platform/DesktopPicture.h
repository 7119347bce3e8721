// The platform's desktop-picture preference: entries keyed by a screen number
// written in decimal, or "default", each possibly naming a picture file.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace ambrel {

struct DesktopPictureEntry {
  std::optional<std::string> imageFilePath;  // "ImageFilePath"
};

struct DesktopPicturePreference {
  std::map<std::string, DesktopPictureEntry> entries;  // "1", "2", ..., "default"
};

// None when the current platform (platform/Platform.h) records no desktop
// picture at all.
std::optional<DesktopPicturePreference> CopyDesktopPicturePreference();

}  // namespace ambrel
