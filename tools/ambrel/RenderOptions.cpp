#include "tools/ambrel/RenderOptions.h"

#include <cmath>
#include <cstdio>

#include "host/AmbrelView.h"

namespace ambrel {

SettingsRecord RenderBaseSettings() {
  SettingsRecord record = DefaultSettings();
  // A render has no screen to capture and no folder of its own: the desktop-picture
  // kind, without a picture given, draws over the picture we ship.
  record.settings.BGTYPE = static_cast<int32_t>(BackgroundKind::kDesktop);
  record.settings.BGPath[0] = '\0';
  return record;
}

int64_t FrameCount(const RenderRequest& render) {
  if (render.frames > 0) return render.frames;
  int64_t frames = std::llround(render.seconds / render.frameTime);
  return frames < 1 ? 1 : frames;
}

std::string NumberedPath(const std::string& path, int64_t frame) {
  char number[32];
  std::snprintf(number, sizeof number, "-%06lld", (long long)frame);
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    return path + number;
  return path.substr(0, dot) + number + path.substr(dot);
}

}  // namespace ambrel
