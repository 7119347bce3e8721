// Screen images read from the X server: a rectangle of the root window, or the
// screenshot XScreenSaver leaves on its saver window, as RGBA rows bottom row first.
#pragma once

#include "platform/linux/X11Headers.h"

#include <optional>
#include <string>

#include "platform/Geometry.h"
#include "platform/Platform.h"

namespace ambrel {

// Reads a rectangle of a drawable whose pixels are in the given visual's format
// (any depth; TrueColor/DirectColor by their masks, other classes through the
// colormap). False when nothing of it can be read.
bool CaptureDrawable(Display* display, Drawable drawable, Visual* visual, Colormap colormap, int x, int y,
                     int width, int height, CapturedImage* out);

// The part of the root window under the rectangle (clipped to the root).
bool CaptureRootRect(Display* display, Rect rect, CapturedImage* out);

// The pixmap named by _SCREENSAVER_SCREENSHOT on the window, if any. When crop is
// given and lies inside the pixmap, only that part is returned.
bool CaptureScreenshotProperty(Display* display, Window window, const Rect* crop, CapturedImage* out);

// A boolean X resource as written in ~/.xscreensaver or an app-defaults file
// ("name: value" or "*name: value"); none when the file or the line is missing.
std::optional<bool> ReadResourceBool(const std::string& path, const char* name);

// XScreenSaver's grabDesktopImages: the user's file, else the app-defaults, else false.
bool GrabDesktopImagesAllowed(const std::string& userFile, const std::string& appDefaultsFile);
// The same with $HOME/.xscreensaver and the installed app-defaults.
bool GrabDesktopImagesAllowed();

}  // namespace ambrel
