#include "tools/ambrel/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/Pictures.h"
#include "platform/linux/Translations.h"

namespace ambrel {

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

// A value by name ("folder") or by its index in the names ("2").
bool ParseNamedValue(const char* const* names, const std::string& text, int64_t* value) {
  for (int64_t k = 0; names[k]; ++k)
    if (text == names[k] || text == std::to_string(k)) {
      *value = k;
      return true;
    }
  return false;
}

// "a, b or c (or 0, 1, 2)"
std::string DescribeNames(const char* const* names) {
  std::string words, digits;
  int count = 0;
  while (names[count]) ++count;
  for (int k = 0; k < count; ++k) {
    words += (k == 0 ? "" : k == count - 1 ? Tr(" or ") : ", ") + std::string(names[k]);
    digits += (k == 0 ? "" : ", ") + std::to_string(k);
  }
  return Format(Tr("%s (or %s)"), words.c_str(), digits.c_str());
}

// XScreenSaver writes options with one dash: -water-speed is --water-speed.
std::string LongForm(const std::string& arg) {
  if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') return "-" + arg;
  return arg;
}

struct Parser {
  Parser(const std::vector<std::string>& arguments, RunRequest* into, std::string* message)
      : args(arguments), line(into), error(message) {}
  const std::vector<std::string>& args;
  RunRequest* line;
  std::string* error;

  size_t i = 0;
  std::string name, value;
  bool hasValue = false;

  bool renderGiven = false, windowGiven = false, previewGiven = false, configureGiven = false;
  bool framesGiven = false, secondsGiven = false;
  bool waylandGiven = false, wallpaperGiven = false, rendererGiven = false;
  std::string renderOnly;  // the first option that only a render takes
  std::optional<BackgroundKind> impliedKind;

  bool Fail(const std::string& message) {
    *error = message;
    return false;
  }
  bool TakeValue() {
    if (hasValue) return true;
    if (i + 1 >= args.size()) return Fail(Format(Tr("%s needs a value"), name.c_str()));
    value = args[++i];
    hasValue = true;
    return true;
  }
  bool Flag() { return hasValue ? Fail(Format(Tr("%s takes no value"), name.c_str())) : true; }
  bool Number(int64_t lowest, int64_t highest, int64_t* out) {
    if (!TakeValue()) return false;
    if (ParseInteger(value, lowest, highest, out)) return true;
    return Fail(Format(Tr("%s wants a whole number from %lld to %lld, not \"%s\""), name.c_str(),
                       static_cast<long long>(lowest), static_cast<long long>(highest), value.c_str()));
  }
  bool RenderOnly(bool ok) {
    if (ok && renderOnly.empty()) renderOnly = name;
    return ok;
  }
  std::string SizeWanted() {
    return Format(Tr("%s wants WIDTHxHEIGHT with each side 1 to %d, not \"%s\""), name.c_str(), kMaxPictureSide,
                  value.c_str());
  }
  bool NonEmptyValue(const char* what) {
    if (!TakeValue()) return false;
    return value.empty() ? Fail(Format(Tr("%s needs %s"), name.c_str(), what)) : true;
  }

  bool One(ParseOutcome* outcome) {
    const std::string arg = args[i];
    name = LongForm(arg);
    value.clear();
    hasValue = false;
    if (size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    RenderRequest& render = line->render;
    int64_t number = 0;

    if (name == "--help" || name == "-h") {
      *outcome = ParseOutcome::kHelp;
      return true;
    }
    if (name == "--version") {
      *outcome = ParseOutcome::kVersion;
      return true;
    }
    // What XScreenSaver and its settings dialog pass to every GL hack.
    if (name == "--fps") {
      line->showFps = true;
      return Flag();
    }
    if (name == "--delay") {
      if (!Number(0, 10000000, &number)) return false;
      line->display.shortestFrameSeconds = number / 1e6;
      return true;
    }
    if (name == "--geometry") {
      if (!TakeValue()) return false;
      if (!ParseGeometry(value, &line->display.width, &line->display.height, &line->display.position))
        return Fail(Format(Tr("--geometry wants WIDTHxHEIGHT[+X+Y], not \"%s\""), value.c_str()));
      return true;
    }
    if (name == "--visual") return TakeValue();  // ours is the one GLX picks for the surface
    if (name == "--install" || name == "--mono" || name == "--pair" || name == "--no-fps")
      return Flag();  // a colormap of its own, monochrome, two previews: nothing here
    if (name == "--render") {
      renderGiven = true;
      return Flag();
    }
    if (name == "--window") {
      windowGiven = true;
      // A following word that looks like a size is this option's value, right or wrong.
      if (!hasValue && i + 1 < args.size() && std::isdigit(static_cast<unsigned char>(args[i + 1][0])) &&
          args[i + 1].find_first_of("xX") != std::string::npos) {
        value = args[++i];
        hasValue = true;
      }
      if (hasValue && !ParseSize(value, &line->display.width, &line->display.height)) return Fail(SizeWanted());
      return true;
    }
    if (name == "--preview") {
      previewGiven = true;
      return Flag();
    }
    if (name == "--wayland") {
      waylandGiven = true;
      return Flag();
    }
    if (name == "--wayland-wallpaper") {
      wallpaperGiven = true;
      return Flag();
    }
    if (name == "--configure") {
      configureGiven = true;
      return Flag();
    }
    if (name == "--print-settings") {
      line->printSettings = true;
      return Flag();
    }
    if (name == "--size") {
      if (!TakeValue()) return false;
      if (!ParseSize(value, &render.width, &render.height)) return Fail(SizeWanted());
      return RenderOnly(true);
    }
    if (name == "--frames") {
      framesGiven = true;
      return RenderOnly(Number(1, kMostFrames, &render.frames));
    }
    if (name == "--seconds") {
      if (!TakeValue()) return false;
      char* end = nullptr;
      errno = 0;
      double seconds = value.empty() ? NAN : strtod(value.c_str(), &end);
      if (value.empty() || errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
          seconds * 60 > kMostFrames)
        return Fail(Format(Tr("--seconds wants a number of seconds above 0 and at most 16666, not \"%s\""), value.c_str()));
      render.seconds = seconds;
      secondsGiven = true;
      return RenderOnly(true);
    }
    if (name == "--every") return RenderOnly(Number(1, kMostFrames, &render.every));
    if (name == "--seed") {
      if (!Number(0, UINT32_MAX, &number)) return false;
      render.seed = static_cast<uint32_t>(number);
      return RenderOnly(true);
    }
    if (name == "--renderer") {
      if (!TakeValue()) return false;
      if (value == "auto")
        line->renderer = RendererChoice::Auto;
      else if (value == "gl")
        line->renderer = RendererChoice::GL;
      else if (value == "cpu")
        line->renderer = RendererChoice::CPU;
      else
        return Fail(Format(Tr("--renderer wants auto, gl or cpu, not \"%s\""), value.c_str()));
      rendererGiven = true;
      return true;
    }
    if (name == "--output" || name == "-o") {
      if (!NonEmptyValue(Tr("a file name"))) return false;
      render.output = value;
      return RenderOnly(true);
    }
    for (const SettingDeclaration& setting : kSettings) {
      const OnTheCommandLine& given = setting.commandLine;
      if (name == given.option || (given.offOption && name == given.offOption)) return Setting(setting);
    }
    if (name == "--background") {
      if (!NonEmptyValue(Tr("a picture file"))) return false;
      if (impliedKind && *impliedKind != BackgroundKind::kDesktop)
        return Fail(Tr("give either --background or --folder, not both"));
      line->background.picture = value;
      impliedKind = BackgroundKind::kDesktop;
      return true;
    }
    return Fail(Format(Tr("unknown option \"%s\" (try --help)"), arg.c_str()));
  }

  // One of the settings, for this run only.
  bool Setting(const SettingDeclaration& setting) {
    const OnTheCommandLine& option = setting.commandLine;
    SettingValue given;
    if (setting.store.type == SettingType::kBool) {
      if (!Flag()) return false;
      given.number = name == option.option;
    } else if (setting.store.type == SettingType::kString) {
      if (!NonEmptyValue(Tr("a folder"))) return false;
      if (value.size() >= sizeof(SETTINGS{}.BGPath)) return Fail(Format(Tr("%s: the path is too long"), name.c_str()));
      if (impliedKind && *impliedKind != BackgroundKind::kFolder)
        return Fail(Tr("give either --background or --folder, not both"));
      given.text = value;
      impliedKind = BackgroundKind::kFolder;
    } else if (option.valueNames) {
      if (!TakeValue()) return false;
      if (!ParseNamedValue(option.valueNames, value, &given.number))
        return Fail(Format(Tr("%s wants %s, not \"%s\""), name.c_str(), DescribeNames(option.valueNames).c_str(),
                           value.c_str()));
    } else if (!Number(option.lowest, option.highest, &given.number)) {
      return false;
    }
    line->fields[setting.store.key] = given;
    return true;
  }

  bool Finish(bool hack, bool hasDisplay) {
    const bool settingGiven = !line->fields.empty() || line->background.picture || rendererGiven;
    // The settings window saves what it shows: one-run values must not slip into the store.
    if (configureGiven && (hack || renderGiven || windowGiven || previewGiven || !renderOnly.empty() || settingGiven))
      return Fail(Tr("--configure runs on its own"));
    const bool render = renderGiven || (!renderOnly.empty() && !hack && !windowGiven && !configureGiven);
    if (hack && (render || windowGiven || previewGiven))
      return Fail(Tr("-root and -window-id are for XScreenSaver; they do not go with --render, --window or --preview"));
    if (windowGiven && (render || previewGiven)) return Fail(Tr("give one of --window, --preview and --render"));
    if (!renderOnly.empty() && !render) return Fail(Format(Tr("%s is for --render only"), renderOnly.c_str()));
    if ((waylandGiven || wallpaperGiven) && (hack || render || configureGiven))
      return Fail(Tr("--wayland and --wayland-wallpaper do not go with --render, --configure or the XScreenSaver options"));
    if (wallpaperGiven && (windowGiven || previewGiven || waylandGiven))
      return Fail(Tr("--wayland-wallpaper runs on its own, without --window, --preview or --wayland"));

    if (configureGiven)
      line->mode = RunMode::kConfigure;
    else if (hack)
      line->mode = RunMode::kHack;
    else if (render)
      line->mode = RunMode::kRender;
    else if (windowGiven)
      line->mode = RunMode::kWindow;
    else if (previewGiven)
      line->mode = RunMode::kPreview;
    else if (wallpaperGiven)
      line->mode = RunMode::kWallpaper;
    else
      line->mode = hasDisplay || waylandGiven ? RunMode::kFullScreen : RunMode::kRender;
    line->background.impliedKind = impliedKind;

    RenderRequest& options = line->render;
    options.preview = previewGiven;
    if (framesGiven && secondsGiven) return Fail(Tr("give either --frames or --seconds, not both"));
    if (!framesGiven) options.frames = 0;
    if (line->mode == RunMode::kRender && options.every > FrameCount(options))
      return Fail(Format(Tr("--every %lld would write nothing in %lld frames"), static_cast<long long>(options.every),
                         static_cast<long long>(FrameCount(options))));
    if (wallpaperGiven) line->wayland = true;
    if (waylandGiven) PreferWaylandSession(true, line);
    return true;
  }
};

}  // namespace

ParseOutcome ParseCommandLine(int argc, char** argv, bool hasDisplay, RunRequest* line, std::string* error) {
  *line = RunRequest{};
  std::vector<std::string> rest;
  const bool hack = ParseHackArguments(argc, argv, &line->display, &rest, error);
  if (!error->empty()) return ParseOutcome::kError;

  // xsecurelock runs its saver as "ambrel -root" and nothing more, with no dialog
  // behind it; the daemon runs its programs line, which the option file starts
  // with "--root", and the dialog's preview adds a window id.
  bool loneRoot = line->display.windowId.empty() && line->display.displayName.empty();
  int rootCount = 0;
  for (int i = 1; i < argc && loneRoot; ++i) {
    const std::string argument = argv[i];
    if (argument == "-root")
      ++rootCount;
    else if (argument != "--print-settings" && argument != "-print-settings")
      loneRoot = false;
  }
  line->settingsFromLine = hack && !(loneRoot && rootCount == 1);

  Parser parser(rest, line, error);
  for (parser.i = 0; parser.i < rest.size(); ++parser.i) {
    ParseOutcome outcome = ParseOutcome::kRun;
    const size_t first = parser.i;
    if (!parser.One(&outcome)) {
      // A hack that refused to start would leave the daemon's crash notice on a
      // locked screen: it passes over what it cannot take and draws the water.
      if (!hack) return ParseOutcome::kError;
      line->warnings.push_back(Format(Tr("ignoring %s: %s"), rest[first].c_str(), error->c_str()));
      error->clear();
      continue;
    }
    if (outcome == ParseOutcome::kHelp || outcome == ParseOutcome::kVersion) return outcome;
  }
  return parser.Finish(hack, hasDisplay) ? ParseOutcome::kRun : ParseOutcome::kError;
}

void PreferWaylandSession(bool waylandSession, RunRequest* request) {
  if (!waylandSession || request->wayland || !request->display.displayName.empty()) return;
  request->wayland = request->mode == RunMode::kFullScreen || request->mode == RunMode::kWindow ||
                     request->mode == RunMode::kPreview;
}

}  // namespace ambrel
