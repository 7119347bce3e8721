// ambrel: the Ambrel water screen saver. Full screen, in a window, as an
// XScreenSaver hack, or rendered off-screen into PNG files.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "host/AmbrelView.h"
#include "platform/linux/ConfigureDialog.h"
#include "platform/Pictures.h"
#include "platform/linux/Translations.h"
#include "platform/wayland/WaylandEngine.h"
#include "tools/ambrel/CommandLine.h"
#include "tools/ambrel/RenderMode.h"
#include "tools/ambrel/SettingsReport.h"
#include "tools/ambrel/ViewModes.h"

namespace ambrel {

namespace {

// The view takes desktop pictures of 5 to 1023 bytes, so the path is made absolute
// (shorter ones count as none); decoded once here to say why it cannot be shown.
bool UsableBackground(std::string* path, std::string* why) {
  if (!path->empty() && path->front() != '/') {
    char* here = getcwd(nullptr, 0);
    if (here) *path = std::string(here) + (here[1] ? "/" : "") + *path;
    std::free(here);
  }
  if (path->size() >= 1024) {
    *why = Format(Tr("has a path of %zu bytes, and 1023 is the most"), path->size());
    return false;
  }
  PictureBitmap picture;
  return ReadPicture(path->c_str(), &picture, why);
}

}  // namespace

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  // Messages in the user's language; numbers stay as the C locale writes and
  // reads them.
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  BindTranslations();
  RunRequest request;
  std::string error;
  switch (ParseCommandLine(argc, argv, HasDisplay() || HasWaylandSession(), &request, &error)) {
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
  PreferWaylandSession(HasWaylandSession(), &request);
  for (const std::string& warning : request.warnings) std::fprintf(stderr, "ambrel: %s\n", warning.c_str());
  // A picture that cannot be used would silently give way to another one.
  if (std::optional<std::string>& picture = request.background.picture) {
    std::string why;
    if (!UsableBackground(&*picture, &why)) {
      std::fprintf(stderr, Tr("ambrel: cannot read the picture \"%s\": it %s\n"), picture->c_str(), why.c_str());
      return 2;
    }
  }
  if (request.printSettings) {
    PrintSettings(stdout, EffectiveSettings(request));
    return 0;
  }
  switch (request.mode) {
    case RunMode::kRender:
      return RunRenderMode(request);
    case RunMode::kConfigure:
      return RunConfigureDialog([](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
        return std::make_unique<AmbrelView>(frame, isPreview, site);
      });
    case RunMode::kFullScreen:
    case RunMode::kWindow:
    case RunMode::kPreview:
    case RunMode::kWallpaper:
    case RunMode::kHack:
      return RunViewMode(request);
  }
  return 1;
}
