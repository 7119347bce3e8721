#include "tools/ambrel/ViewModes.h"

#include <memory>

#include "platform/GtkAlert.h"

AmbrelViewOverrides DisplayViewOverrides(const CommandLine& line) {
  AmbrelViewOverrides overrides;
  overrides.fields = line.fields;
  if (line.background) {
    DesktopPicturePreference pictures;
    pictures.entries["default"].imageFilePath = *line.background;
    overrides.desktopPictures = pictures;
  }
  return overrides;
}

int RunViewMode(const CommandLine& line) {
  const AmbrelViewOverrides overrides = DisplayViewOverrides(line);
  const ViewFactory factory = [&](Rect frame, bool isPreview, ViewSite& site) -> std::unique_ptr<ScreenSaverView> {
    return std::make_unique<AmbrelView>(frame, isPreview, site, overrides);
  };
  if (line.mode == RunMode::kHack) return RunHack(line.hack, factory);
  // A hack has no one to answer a dialog; a person at a window does.
  InstallGtkAlertPresenter();
  return RunStandAlone(line.standAlone, factory);
}
