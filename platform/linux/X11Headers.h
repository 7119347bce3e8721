// Xlib calls its per-screen record "Screen", as the platform's screens API calls
// its own; every X11 file of the engine includes Xlib through here, where Xlib's
// is renamed XlibScreen.
#pragma once

#define Screen XlibScreen
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <epoxy/glx.h>

namespace ambrel {
#undef Screen

}  // namespace ambrel
