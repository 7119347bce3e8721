#include "platform/linux/Translations.h"
#include "tools/ambrel/HackArguments.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

bool ParseWindowSize(const std::string& text, int* width, int* height) {
  int w = 0, h = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &extra) != 2) return false;
  if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
  *width = w;
  *height = h;
  return true;
}

bool ParseHackArguments(int argc, const char* const* argv, HackOptions* options, std::vector<std::string>* rest,
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
      options->root = true;
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
        options->windowId = value;
        hack = true;
      } else {
        options->displayName = value;
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

int RunHack(const HackOptions& options, const ViewFactory& factory) {
  HackTarget target;
  target.displayName = options.displayName;
  target.shortestFrameSeconds = options.shortestFrameSeconds;
  if (!options.windowId.empty()) {
    if (!ParseWindowId(options.windowId, &target.window)) {
      std::fprintf(stderr, Tr("ambrel: \"%s\" is not a window id\n"), options.windowId.c_str());
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
