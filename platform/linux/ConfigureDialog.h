// `ambrel --configure`: the settings window on its own, as the screen-saver
// engine would present a view's configuration sheet.
#pragma once

#include <string>

#include "platform/ScreenSaverView.h"

namespace ambrel {

// Creates one view (not on screen, isPreview true), asks it for its
// configuration sheet and shows that as a window until Save or Cancel ends it.
// 0 then; 1 when there is no display or the view has no sheet.
int RunConfigureDialog(const ViewFactory& factory);

// The program a sheet runs in its preview area, as
// "<program> --window-id 0x<id>", and stops (SIGTERM) when the sheet closes.
// Default: this executable (/proc/self/exe); empty: no preview.
void SetConfigurePreviewProgram(const std::string& program);
std::string ConfigurePreviewProgram();

}  // namespace ambrel
