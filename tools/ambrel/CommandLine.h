// The command line of the ambrel program, read into one request: which way to
// run, where, the settings given for this run only and the background it names.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "tools/ambrel/HackArguments.h"
#include "tools/ambrel/RenderOptions.h"

namespace ambrel {

enum class RunMode { kFullScreen, kWindow, kPreview, kWallpaper, kHack, kRender, kConfigure };

// What the command line puts under the water over the settings' own: the kind
// that --background (the desktop picture) or --folder (a folder's pictures)
// implies, and the picture --background names. A kind given outright
// (--background-kind) and the folder itself are settings like the others.
struct BackgroundSource {
  std::optional<BackgroundKind> impliedKind;
  std::optional<std::string> picture;  // this run's desktop picture
};

// Who draws the frames: OpenGL, the CPU renderer, or (auto) the CPU when OpenGL
// would be a software rasteriser anyway or cannot be had.
enum class RendererChoice { Auto, GL, CPU };

struct RunRequest {
  RunMode mode = RunMode::kFullScreen;
  bool wayland = false;           // on a Wayland compositor rather than X11
  DisplayRequest display;         // the display modes' window or display, and pace
  RenderRequest render;           // --render's frames and files
  SettingOverrides fields;        // the settings given, by store key
  BackgroundSource background;
  bool printSettings = false;     // print the effective settings and stop
  bool showFps = false;           // -fps: frame rate and load in a corner
  RendererChoice renderer = RendererChoice::Auto;
  // Started by XScreenSaver: its programs line holds every setting, and one it
  // leaves out is at its default (its dialog writes none at the default), so the
  // store is not read. True for every hack start but xsecurelock's lone "-root".
  bool settingsFromLine = false;
  // What was passed over rather than refused: a hack must start whatever the
  // daemon or a hand-edited programs line gives it. One line each for stderr.
  std::vector<std::string> warnings;
};

enum class ParseOutcome { kRun, kHelp, kVersion, kError };

// Reads argv into *request. Without a mode option the run is full-screen when a
// display is present and an off-screen render otherwise; render-only options
// (--size, --frames, ...) imply --render. On kError, *error says what is wrong.
ParseOutcome ParseCommandLine(int argc, char** argv, bool hasDisplay, RunRequest* request, std::string* error);

const char* UsageText();

// In a Wayland session (WAYLAND_DISPLAY set) the display modes go to the Wayland
// compositor unless an X display was asked for with -display.
void PreferWaylandSession(bool waylandSession, RunRequest* request);

}  // namespace ambrel
