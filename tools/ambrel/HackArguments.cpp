#include "platform/linux/Translations.h"
#include "tools/ambrel/HackArguments.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/Pictures.h"
#include "platform/linux/LinuxEngine.h"

namespace ambrel {

bool ParseWindowId(const std::string& text, unsigned long* id) {
  const char* begin = text.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  const bool hex = begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X');
  const char* digits = hex ? begin + 2 : begin;
  if (!std::isxdigit(static_cast<unsigned char>(*digits))) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits, &end, hex ? 16 : 10);
  while (*end == ' ' || *end == '\t') ++end;
  // X resource ids have 29 bits.
  if (errno != 0 || *end != '\0' || value == 0 || value > 0x1fffffffUL) return false;
  *id = value;
  return true;
}

namespace {

// Decimal digits only, no sign or space, from lowest to highest.
bool ParseDigits(const std::string& text, int lowest, int highest, int* value) {
  if (text.empty()) return false;
  long long parsed = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return false;
    parsed = parsed * 10 + (digit - '0');
    if (parsed > highest) return false;
  }
  if (parsed < lowest) return false;
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  int w = 0, h = 0;
  if (x == std::string::npos || !ParseDigits(text.substr(0, x), 1, kMaxPictureSide, &w) ||
      !ParseDigits(text.substr(x + 1), 1, kMaxPictureSide, &h))
    return false;
  *width = w;
  *height = h;
  return true;
}

bool ParseGeometry(const std::string& text, int* width, int* height, std::optional<std::pair<int, int>>* position) {
  const size_t plus = text.find('+');
  int w = 0, h = 0;
  if (!ParseSize(text.substr(0, plus), &w, &h)) return false;
  std::optional<std::pair<int, int>> at;
  if (plus != std::string::npos) {
    // X coordinates are 16 bits wide.
    const std::string offsets = text.substr(plus + 1);
    const size_t second = offsets.find('+');
    int x = 0, y = 0;
    if (second == std::string::npos || !ParseDigits(offsets.substr(0, second), 0, INT16_MAX, &x) ||
        !ParseDigits(offsets.substr(second + 1), 0, INT16_MAX, &y))
      return false;
    at = std::make_pair(x, y);
  }
  *width = w;
  *height = h;
  *position = at;
  return true;
}

bool ParseHackArguments(int argc, const char* const* argv, DisplayRequest* display, std::vector<std::string>* rest,
                        std::string* error) {
  bool hack = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    // XScreenSaver writes options with one dash, GNU style with two: both mean the same.
    std::string name = argument.rfind("--", 0) == 0 ? argument.substr(1) : argument;
    std::string value;
    bool inlineValue = false;
    if (const size_t equals = name.find('='); equals != std::string::npos && name.rfind("-", 0) == 0) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      inlineValue = true;
    }
    if (name == "-root" && !inlineValue) {
      display->root = true;
      hack = true;
    } else if (name == "-window-id" || name == "-display") {
      if (!inlineValue) {
        if (i + 1 >= argc) {
          if (error) *error = Format(Tr("option %s needs a value"), argument.c_str());
          return false;
        }
        value = argv[++i];
      }
      if (name == "-window-id") {
        display->windowId = value;
        hack = true;
      } else {
        display->displayName = value;
      }
    } else if (rest) {
      rest->push_back(argument);
    }
  }
  if (error) error->clear();
  return hack;
}

bool HasDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display && *display;
}

int RunHack(const DisplayRequest& display, const ViewFactory& factory) {
  HackTarget target;
  target.displayName = display.displayName;
  target.shortestFrameSeconds = display.shortestFrameSeconds;
  if (!display.windowId.empty()) {
    if (!ParseWindowId(display.windowId, &target.window)) {
      std::fprintf(stderr, Tr("ambrel: \"%s\" is not a window id\n"), display.windowId.c_str());
      return 1;
    }
    target.preview = true;
  } else if (const char* fromDaemon = std::getenv("XSCREENSAVER_WINDOW"); fromDaemon && *fromDaemon) {
    if (!ParseWindowId(fromDaemon, &target.window)) {
      std::fprintf(stderr, Tr("ambrel: XSCREENSAVER_WINDOW=\"%s\" is not a window id\n"), fromDaemon);
      return 1;
    }
  }
  return RunHack(target, factory);
}

}  // namespace ambrel
