// The command line of the ambrel program: which way to run, and the settings
// given for this run only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "platform/linux/LinuxEngine.h"
#include "platform/wayland/WaylandEngine.h"
#include "tools/ambrel/HackArguments.h"
#include "tools/ambrel/RenderOptions.h"

namespace ambrel {

enum class RunMode { kFullScreen, kWindow, kPreview, kHack, kRender, kConfigure };

struct CommandLine {
  RunMode mode = RunMode::kFullScreen;
  bool printSettings = false;             // print the effective settings and stop
  bool showFps = false;                   // -fps: frame rate and load in a corner
  // What was passed over rather than refused: a hack must start whatever the
  // daemon or a hand-edited programs line gives it. One line each for stderr.
  std::vector<std::string> warnings;
  StandAloneOptions standAlone;
  HackOptions hack;
  RenderOptions render;
  SettingOverrides fields;                // the settings given, by store key
  std::optional<std::string> background;  // a picture to use as the desktop picture
  std::optional<WaylandKind> wayland;     // on a Wayland compositor rather than X11
  // Started by XScreenSaver: its programs line holds every setting, and one it
  // leaves out is at its default (its dialog writes none at the default), so the
  // store is not read. True for every hack start but xsecurelock's lone "-root".
  bool settingsFromLine = false;
};

enum class ParseOutcome { kRun, kHelp, kVersion, kError };

// Reads argv into *line. Without a mode option the run is full-screen when a
// display is present and an off-screen render otherwise; render-only options
// (--size, --frames, ...) imply --render. On kError, *error says what is wrong.
ParseOutcome ParseCommandLine(int argc, char** argv, bool hasDisplay, CommandLine* line, std::string* error);

const char* UsageText();

// In a Wayland session (WAYLAND_DISPLAY set) the display modes go to the Wayland
// compositor unless an X display was asked for with -display.
void PreferWaylandSession(bool waylandSession, CommandLine* line);

}  // namespace ambrel
