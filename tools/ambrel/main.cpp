// ambrel: the Ambrel water screen saver. Full screen, in a window, as an
// XScreenSaver hack, or rendered off-screen into PNG files.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "host/AmbrelView.h"
#include "platform/linux/ConfigureDialog.h"
#include "tools/ambrel/CommandLine.h"
#include "tools/ambrel/RenderMode.h"
#include "tools/ambrel/SettingsReport.h"
#include "tools/ambrel/ViewModes.h"

int main(int argc, char** argv) {
  CommandLine line;
  std::string error;
  switch (ParseCommandLine(argc, argv, HasDisplay() || HasWaylandSession(), &line, &error)) {
    case ParseOutcome::kHelp:
      std::fputs(UsageText(), stdout);
      return 0;
    case ParseOutcome::kVersion:
      std::printf("ambrel %s\n", AMBREL_VERSION);
      return 0;
    case ParseOutcome::kError:
      std::fprintf(stderr, "ambrel: %s\n", error.c_str());
      return 2;
    case ParseOutcome::kRun:
      break;
  }
  PreferWaylandSession(HasWaylandSession(), &line);
  for (const std::string& warning : line.warnings) std::fprintf(stderr, "ambrel: %s\n", warning.c_str());
  // A picture that cannot be read would leave the water over black.
  if (line.background && access(line.background->c_str(), R_OK) != 0) {
    std::fprintf(stderr, "ambrel: cannot read the picture \"%s\"\n", line.background->c_str());
    return 2;
  }
  if (line.printSettings) {
    PrintSettings(stdout, EffectiveSettings(line));
    return 0;
  }
  switch (line.mode) {
    case RunMode::kRender:
      return RunRenderMode(line.render);
    case RunMode::kConfigure:
      return RunConfigureDialog([](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
        return std::make_unique<AmbrelView>(frame, isPreview, site);
      });
    case RunMode::kFullScreen:
    case RunMode::kWindow:
    case RunMode::kPreview:
    case RunMode::kHack:
      return RunViewMode(line);
  }
  return 1;
}
