#include "platform/linux/WallpaperFiles.h"

#include <glib.h>

#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "platform/UserFile.h"

namespace ambrel {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Trim(line));
  return lines;
}

// A path or a local file URI, as the setters write them.
std::optional<std::string> PicturePath(const std::string& value) {
  if (value.rfind("file://", 0) == 0) {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(value.c_str(), &host, nullptr);
    std::optional<std::string> result;
    if (path && (!host || std::strcmp(host, "localhost") == 0)) result = path;
    g_free(path);
    g_free(host);
    return result;
  }
  if (value.empty() || value[0] != '/') return std::nullopt;
  return value;
}

std::optional<DesktopPicturePreference> NonEmpty(const DesktopPicturePreference& preference) {
  if (preference.entries.empty()) return std::nullopt;
  return preference;
}

void Put(DesktopPicturePreference* preference, const std::string& key, const std::string& value) {
  if (preference->entries.count(key)) return;  // the first mention wins
  if (std::optional<std::string> path = PicturePath(value)) preference->entries[key].imageFilePath = *path;
}

// XFCE's xfconf XML: the picture of the first workspace of each monitor, as
// "last-image" (XFCE 4.12 and later) or "image-path" (earlier).
struct XfceParse {
  std::vector<std::string> names;  // the open <property name="..."> elements
  DesktopPicturePreference preference;
  std::string firstMonitor;
};

void XfceStart(GMarkupParseContext*, const gchar* element, const gchar** names, const gchar** values, gpointer data,
               GError**) {
  auto* parse = static_cast<XfceParse*>(data);
  std::string name, value;
  for (int i = 0; names[i]; ++i) {
    if (std::strcmp(names[i], "name") == 0) name = values[i];
    if (std::strcmp(names[i], "value") == 0) value = values[i];
  }
  if (std::strcmp(element, "property") != 0) return;
  parse->names.push_back(name);
  // backdrop / screenN / monitorX / workspaceN / last-image
  const auto& path = parse->names;
  if (path.size() != 5 || path[0] != "backdrop" || (name != "last-image" && name != "image-path")) return;
  if (path[3] != "workspace0" && path[3].rfind("workspace", 0) == 0) return;
  const std::string& monitor = path[2];
  if (monitor.rfind("monitor", 0) != 0) return;
  const std::string which = monitor.substr(7);
  // "monitor0" counts monitors from 0; "monitorHDMI-1" names an output, which
  // only tells that it is one of them.
  if (!which.empty() && which.find_first_not_of("0123456789") == std::string::npos && which.size() < 4)
    Put(&parse->preference, std::to_string(std::stoi(which) + 1), value);
  if (parse->firstMonitor.empty() || parse->firstMonitor == monitor) {
    parse->firstMonitor = monitor;
    Put(&parse->preference, "default", value);
  }
}

void XfceEnd(GMarkupParseContext*, const gchar* element, gpointer data, GError**) {
  auto* parse = static_cast<XfceParse*>(data);
  if (std::strcmp(element, "property") == 0 && !parse->names.empty()) parse->names.pop_back();
}

}  // namespace

std::optional<DesktopPicturePreference> XfceWallpapers(const std::string& configHome) {
  const std::optional<std::string> xml =
      ReadConfigurationFile(configHome + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml");
  if (!xml) return std::nullopt;
  XfceParse parse;
  GMarkupParser parser{XfceStart, XfceEnd, nullptr, nullptr, nullptr};
  GMarkupParseContext* context = g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &parse, nullptr);
  const bool parsed = g_markup_parse_context_parse(context, xml->data(), gssize(xml->size()), nullptr) &&
                      g_markup_parse_context_end_parse(context, nullptr);
  g_markup_parse_context_free(context);
  if (!parsed) return std::nullopt;
  return NonEmpty(parse.preference);
}

std::optional<DesktopPicturePreference> KdeWallpapers(const std::string& configHome) {
  const std::optional<std::string> text = ReadConfigurationFile(configHome + "/plasma-org.kde.plasma.desktop-appletsrc");
  if (!text) return std::nullopt;
  // [Containments][N] lastScreen=S, and [Containments][N][Wallpaper][org.kde.image][General] Image=...
  static const std::regex containment(R"(^\[Containments\]\[(\d+)\]$)");
  static const std::regex wallpaper(R"(^\[Containments\]\[(\d+)\]\[Wallpaper\]\[org\.kde\.image\]\[General\]$)");
  std::map<std::string, std::string> screenOf, imageOf;
  std::vector<std::string> order;
  std::string inContainment, inWallpaper;
  for (const std::string& line : Lines(*text)) {
    std::smatch match;
    if (!line.empty() && line[0] == '[') {
      // The group names are short; a long line is none of them (and would take
      // the regex engine's recursion deep).
      const bool plausible = line.size() < 200;
      inContainment = plausible && std::regex_match(line, match, containment) ? match[1].str() : "";
      inWallpaper = plausible && std::regex_match(line, match, wallpaper) ? match[1].str() : "";
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
    if (!inContainment.empty() && key == "lastScreen") screenOf[inContainment] = value;
    if (!inWallpaper.empty() && key == "Image" && !imageOf.count(inWallpaper)) {
      imageOf[inWallpaper] = value;
      order.push_back(inWallpaper);
    }
  }
  DesktopPicturePreference preference;
  for (const std::string& id : order) {
    const std::string& screen = screenOf[id];
    if (!screen.empty() && screen.size() < 4 && screen.find_first_not_of("0123456789") == std::string::npos)
      Put(&preference, std::to_string(std::stoi(screen) + 1), imageOf[id]);
    Put(&preference, "default", imageOf[id]);
  }
  return NonEmpty(preference);
}

std::optional<DesktopPicturePreference> FehWallpapers(const std::string& home) {
  const std::optional<std::string> script = ReadConfigurationFile(home + "/.fehbg");
  if (!script) return std::nullopt;
  for (const std::string& line : Lines(*script)) {
    if (line.rfind("feh ", 0) != 0 || line.find(" --bg-") == std::string::npos) continue;
    // feh writes each file single-quoted, a quote inside as '\''; one file a monitor.
    std::vector<std::string> files;
    std::string word;
    bool quoted = false, inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (quoted) {
        if (c == '\'') quoted = false;
        else word += c;
      } else if (c == '\'') {
        quoted = inWord = true;
      } else if (c == '\\' && i + 1 < line.size()) {
        word += line[++i];
        inWord = true;
      } else if (c == ' ' || c == '\t') {
        if (inWord && !word.empty() && word[0] == '/') files.push_back(word);
        word.clear();
        inWord = false;
      } else {
        word += c;
        inWord = true;
      }
    }
    if (inWord && !word.empty() && word[0] == '/') files.push_back(word);
    DesktopPicturePreference preference;
    for (size_t k = 0; k < files.size(); ++k) {
      Put(&preference, std::to_string(k + 1), files[k]);
      Put(&preference, "default", files[k]);
    }
    return NonEmpty(preference);
  }
  return std::nullopt;
}

std::optional<DesktopPicturePreference> NitrogenWallpapers(const std::string& configHome) {
  const std::optional<std::string> text = ReadConfigurationFile(configHome + "/nitrogen/bg-saved.cfg");
  if (!text) return std::nullopt;
  DesktopPicturePreference preference;
  std::string section;
  for (const std::string& line : Lines(*text)) {
    if (!line.empty() && line[0] == '[') {
      section = line.size() > 2 && line.back() == ']' ? line.substr(1, line.size() - 2) : "";
      continue;
    }
    if (line.rfind("file=", 0) != 0 || section.empty()) continue;
    const std::string file = line.substr(5);
    // [xin_N] is Xinerama screen N; [:0.0] the whole X screen.
    if (section.rfind("xin_", 0) == 0) {
      const std::string index = section.substr(4);
      if (!index.empty() && index.size() < 4 && index.find_first_not_of("0123456789") == std::string::npos)
        Put(&preference, std::to_string(std::stoi(index) + 1), file);
    }
    Put(&preference, "default", file);
  }
  return NonEmpty(preference);
}

std::optional<std::string> ReadConfigurationFile(const std::string& path) {
  // Configuration files are small; anything larger, or with NUL bytes, is not one.
  std::string text;
  if (!ReadUserFile(path, 1 << 20, &text) || text.find('\0') != std::string::npos) return std::nullopt;
  return text;
}

std::vector<std::string> ResourceValues(const std::string& text, const char* name) {
  std::vector<std::string> values;
  for (const std::string& line : Lines(text)) {
    if (line.empty() || line[0] == '!' || line[0] == '#') continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string resource = Trim(line.substr(0, colon));
    // "*name", "XScreenSaver.name" and "name" all set it.
    const size_t separator = resource.find_last_of("*.");
    if (separator != std::string::npos) resource = resource.substr(separator + 1);
    if (resource == name) values.push_back(Trim(line.substr(colon + 1)));
  }
  return values;
}

std::optional<std::string> XScreenSaverImageDirectory(const std::string& home) {
  const std::optional<std::string> text = ReadConfigurationFile(home + "/.xscreensaver");
  if (!text) return std::nullopt;
  const std::vector<std::string> values = ResourceValues(*text, "imageDirectory");
  std::optional<std::string> folder;
  if (!values.empty()) folder = values.back();
  if (folder && folder->rfind("~/", 0) == 0) folder = home + folder->substr(1);
  if (!folder || folder->empty() || (*folder)[0] != '/') return std::nullopt;
  return folder;
}

}  // namespace ambrel
