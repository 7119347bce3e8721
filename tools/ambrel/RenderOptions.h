// The command line of the ambrel program.
#pragma once

#include <cstdint>
#include <string>

#include "scene/SSMain.h"

struct RenderOptions {
  int width = 1280;
  int height = 720;
  int64_t frames = 0;   // 0: derived from seconds
  double seconds = 8;   // scene time to render when frames is 0
  double frameTime = 1.0 / 60.0;
  int64_t every = 0;    // 0: only the last frame is written
  bool seedGiven = false;
  uint32_t seed = 0;
  bool preview = false;
  std::string output = "ambrel.png";
  SETTINGS settings{};  // filled with the saver's defaults by ParseRenderOptions
};

enum class ParseOutcome { kRun, kHelp, kError };

constexpr int kLargestSide = 16384;
constexpr int64_t kMostFrames = 1000000;

// Reads argv into *options. On kError, *error says what is wrong.
ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

// The number of frames the options ask for.
int64_t FrameCount(const RenderOptions& options);

// The file for frame `frame` when every k-th frame is written: ambrel.png -> ambrel-000120.png.
std::string NumberedPath(const std::string& path, int64_t frame);

const char* UsageText();
