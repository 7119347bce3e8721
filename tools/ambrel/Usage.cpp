#include <string>

#include "platform/Pictures.h"
#include "platform/linux/Translations.h"
#include "tools/ambrel/CommandLine.h"

namespace ambrel {

namespace {

const char* const kHead = N_(
    "Usage: ambrel [mode] [settings] [render options]\n"
    "Ambrel: a sheet of water over a picture, with drops, rings and a circling light.\n"
    "\n"
    "Modes (without one: full screen on every monitor when there is a display,\n"
    "otherwise an off-screen render):\n"
    "  --window [WxH]      run in a window (default size 1280x720)\n"
    "  --preview           run as the small settings preview, in a window\n"
    "  --render            render off-screen and write PNG files (see below)\n"
    "  --configure         open the settings window\n"
    "  --wayland           on a Wayland compositor: full screen on every output (the\n"
    "                      default when WAYLAND_DISPLAY is set and -display is not given);\n"
    "                      with --window or --preview, a Wayland window\n"
    "  --wayland-wallpaper a live wallpaper below everything on every output of a\n"
    "                      layer-shell compositor, until SIGTERM\n"
    "  -root, -window-id ID, -display NAME\n"
    "                      run as an XScreenSaver hack (one or two dashes); a setting\n"
    "                      not given is at its default, unless -root comes alone\n"
    "                      (xsecurelock's start), which keeps the saved settings\n"
    "  --print-settings    print the settings this run would use, then stop\n"
    "  --version           print the version, then stop\n"
    "\n"
    "XScreenSaver's options, in every mode that shows the water (one dash or two):\n"
    "  -fps                show the frame rate and the CPU load in a corner\n"
    "  -delay N            at least N microseconds between frames (when above 1/60 s)\n"
    "  -geometry WxH[+X+Y] the window's size and place (--window, --preview)\n"
    "  -install, -visual V, -mono, -pair\n"
    "                      taken and ignored: the surface's visual is GLX's choice\n"
    "  As a hack, an option it cannot take is passed over with one line on stderr.\n"
    "\n"
    "Settings, for this run only (the saved settings are left alone):\n");

const char* const kTail = N_(
    "  --background FILE   this picture as the desktop picture (implies desktop)\n"
    "\n"
    "Render options (each implies --render; the render starts from the defaults\n"
    "above with the shipped picture as the background, not from the saved settings):\n"
    "  --size WxH          frame size in pixels (default 1280x720, at most %d a side)\n"
    "  --seconds S         scene time to render, at 60 frames a second (default 8)\n"
    "  --frames N          number of frames to render instead of --seconds\n"
    "  --every K           write every K-th frame as PATH-NNNNNN.png instead of the last\n"
    "  --seed N            random seed (default: the clock; printed on every run)\n"
    "  --preview           render as the small settings preview: no overlay\n"
    "  --output PATH       where the PNG goes (default ambrel.png)\n"
    "  --help              show this text\n");

const char* const kRenderer = N_(
    "\n"
    "Who draws the frames, in every mode that shows the water:\n"
    "  --renderer auto|gl|cpu\n"
    "                      auto (the default) takes the CPU renderer when OpenGL\n"
    "                      cannot be had or is a software rasteriser (llvmpipe,\n"
    "                      softpipe, swrast), else OpenGL; gl or cpu pick one\n");

}  // namespace

const char* UsageText() {
  static const std::string text = [] {
    std::string usage = Tr(kHead);
    for (const SettingDeclaration& setting : kSettings) {
      const HelpLine& help = setting.commandLine.help;
      usage += Format(Tr(help.format), help.numbers[0], help.numbers[1], help.numbers[2]);
    }
    return usage + Format(Tr(kTail), kMaxPictureSide) + Tr(kRenderer);
  }();
  return text.c_str();
}

}  // namespace ambrel
