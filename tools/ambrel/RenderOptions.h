// What an off-screen render needs besides the water's settings: its frames, their
// size and who draws them, and where they go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/AmbrelView.h"

namespace ambrel {

struct RenderRequest {
  int width = 1280;
  int height = 720;
  int64_t frames = 0;   // 0: derived from seconds
  double seconds = 8;   // scene time to render when frames is 0
  double frameTime = 1.0 / 60.0;
  int64_t every = 0;    // 0: only the last frame is written
  std::optional<uint32_t> seed;  // none: the clock's
  bool preview = false;  // drawn as the settings preview
  std::string output = "ambrel.png";
};

constexpr int64_t kMostFrames = 1000000;

// The store's first-run defaults, except that the background is the desktop
// picture: a render has no screen to capture.
SettingsRecord RenderBaseSettings();

// The number of frames the request asks for.
int64_t FrameCount(const RenderRequest& render);

// The file for frame `frame` when every k-th frame is written: ambrel.png -> ambrel-000120.png.
std::string NumberedPath(const std::string& path, int64_t frame);

}  // namespace ambrel
