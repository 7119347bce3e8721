#include "tools/ambrel/RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInteger(const std::string& text, int64_t lowest, int64_t highest, int64_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < lowest || parsed > highest) return false;
  *value = parsed;
  return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
  size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int64_t w = 0, h = 0;
  if (!ParseInteger(text.substr(0, x), 1, kLargestSide, &w) ||
      !ParseInteger(text.substr(x + 1), 1, kLargestSide, &h))
    return false;
  *width = (int)w;
  *height = (int)h;
  return true;
}

void SetDefaultSettings(SETTINGS* settings) {
  *settings = SETTINGS{};
  settings->LIGHTING = true;
  settings->WANTBOWL = true;
  settings->WATERSPEED = 100;
  settings->WATERSHIFT = 6;
  settings->DRIPSPEED = 250;
}

}  // namespace

const char* UsageText() {
  return "Usage: ambrel [--render] [options]\n"
         "Renders the Ambrel water off-screen and writes the last frame as a PNG.\n"
         "\n"
         "  --size WxH          frame size in pixels (default 1280x720, at most 16384 a side)\n"
         "  --seconds S         scene time to render, at 60 frames a second (default 8)\n"
         "  --frames N          number of frames to render instead of --seconds\n"
         "  --every K           write every K-th frame as PATH-NNNNNN.png instead of the last\n"
         "  --seed N            random seed (default: the clock; printed on every run)\n"
         "  --water-speed N     wave speed in hundredths (default 100)\n"
         "  --water-res N       grid of 2^N points a side, 4 to 8 (default 6)\n"
         "  --drip-speed N      base time between drops in hundredths of a second (default 250)\n"
         "  --no-lighting       keep the light still above the centre\n"
         "  --no-bowl           bend the picture everywhere at once, without the growing bowl\n"
         "  --preview           draw as the small settings preview: no overlay\n"
         "  --output PATH       where the PNG goes (default ambrel.png)\n"
         "  --help              show this text\n";
}

ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
  *options = RenderOptions{};
  SetDefaultSettings(&options->settings);
  bool framesGiven = false, secondsGiven = false;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string name = arg, value;
    bool hasValue = false;
    size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        *error = name + " needs a value";
        return false;
      }
      value = argv[++i];
      hasValue = true;
      return true;
    };
    auto flag = [&]() -> bool {
      if (hasValue) {
        *error = name + " takes no value";
        return false;
      }
      return true;
    };
    int64_t number = 0;

    if (name == "--help" || name == "-h") {
      return ParseOutcome::kHelp;
    } else if (name == "--render") {
      if (!flag()) return ParseOutcome::kError;
    } else if (name == "--size") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseSize(value, &options->width, &options->height)) {
        *error = "--size wants WIDTHxHEIGHT with each side 1 to 16384, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
    } else if (name == "--frames") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 1, kMostFrames, &options->frames)) {
        *error = "--frames wants a whole number from 1 to 1000000, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
      framesGiven = true;
    } else if (name == "--seconds") {
      if (!takeValue()) return ParseOutcome::kError;
      char* end = nullptr;
      errno = 0;
      double seconds = value.empty() ? NAN : strtod(value.c_str(), &end);
      if (value.empty() || errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
          seconds * 60 > kMostFrames) {
        *error = "--seconds wants a number of seconds above 0 and at most 16666, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
      options->seconds = seconds;
      secondsGiven = true;
    } else if (name == "--every") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 1, kMostFrames, &options->every)) {
        *error = "--every wants a whole number from 1 to 1000000, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
    } else if (name == "--seed") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 0, UINT32_MAX, &number)) {
        *error = "--seed wants a whole number from 0 to 4294967295, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
      options->seed = (uint32_t)number;
      options->seedGiven = true;
    } else if (name == "--water-speed") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 1, 100000, &options->settings.WATERSPEED)) {
        *error = "--water-speed wants a whole number from 1 to 100000, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
    } else if (name == "--water-res") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 4, 8, &options->settings.WATERSHIFT)) {
        *error = "--water-res wants a whole number from 4 to 8, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
    } else if (name == "--drip-speed") {
      if (!takeValue()) return ParseOutcome::kError;
      if (!ParseInteger(value, 1, 1000000, &options->settings.DRIPSPEED)) {
        *error = "--drip-speed wants a whole number from 1 to 1000000, not \"" + value + "\"";
        return ParseOutcome::kError;
      }
    } else if (name == "--no-lighting") {
      if (!flag()) return ParseOutcome::kError;
      options->settings.LIGHTING = false;
    } else if (name == "--no-bowl") {
      if (!flag()) return ParseOutcome::kError;
      options->settings.WANTBOWL = false;
    } else if (name == "--preview") {
      if (!flag()) return ParseOutcome::kError;
      options->preview = true;
    } else if (name == "--output" || name == "-o") {
      if (!takeValue()) return ParseOutcome::kError;
      if (value.empty()) {
        *error = "--output needs a file name";
        return ParseOutcome::kError;
      }
      options->output = value;
    } else {
      *error = "unknown option \"" + arg + "\" (try --help)";
      return ParseOutcome::kError;
    }
  }

  if (framesGiven && secondsGiven) {
    *error = "give either --frames or --seconds, not both";
    return ParseOutcome::kError;
  }
  if (!framesGiven) options->frames = 0;
  if (options->every > FrameCount(*options)) {
    *error = "--every " + std::to_string(options->every) + " would write nothing in " +
             std::to_string(FrameCount(*options)) + " frames";
    return ParseOutcome::kError;
  }
  return ParseOutcome::kRun;
}

int64_t FrameCount(const RenderOptions& options) {
  if (options.frames > 0) return options.frames;
  int64_t frames = std::llround(options.seconds / options.frameTime);
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
