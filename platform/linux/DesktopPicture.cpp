// The desktop picture per screen: first our own "DesktopPictures" section of the
// kvAmbrel store ("default" and screen numbers, each naming a picture), then what
// the user's desktop or wallpaper setter shows (sway's "output * bg FILE" in a sway
// session, GNOME, Cinnamon, MATE, XFCE, KDE Plasma, feh, nitrogen; the running
// desktop first), then XScreenSaver's imageDirectory, whose folder gives a random
// picture. Only pictures that are on disk count.
#include <gio/gio.h>
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DesktopPicture.h"
#include "platform/Pictures.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/WallpaperFiles.h"

namespace ambrel {

namespace {

constexpr const char* kSection = "DesktopPictures";
constexpr const char* kDefaultKey = "default";

// Screen numbers are written in decimal ("%d"); "007" means screen 7.
std::optional<std::string> EntryKey(const std::string& key) {
  if (key == kDefaultKey) return key;
  if (key.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(key.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || number < INT_MIN || number > INT_MAX ||
      !(key[0] == '-' || (key[0] >= '0' && key[0] <= '9')))
    return std::nullopt;
  return std::to_string(number);
}

std::optional<std::string> StringSetting(GSettingsSchemaSource* source, const char* schemaId,
                                         const char* key) {
  // Without a home there are no settings of the user's to read, and dconf, with no
  // runtime folder, would make the home for its cache.
  if (!g_file_test(g_get_home_dir(), G_FILE_TEST_IS_DIR)) return std::nullopt;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
  if (!schema) return std::nullopt;
  std::optional<std::string> result;
  // GSettings aborts on an unknown key or a wrong type, so check both first.
  if (g_settings_schema_has_key(schema, key)) {
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, key);
    const bool isString = g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey),
                                               G_VARIANT_TYPE_STRING);
    g_settings_schema_key_unref(schemaKey);
    if (isString) {
      GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
      gchar* value = g_settings_get_string(settings, key);
      result = value;
      g_free(value);
      g_object_unref(settings);
    }
  }
  g_settings_schema_unref(schema);
  return result;
}

// A local file only: other URIs, and file URIs naming another host, give nothing.
std::optional<std::string> LocalPath(const std::string& uri) {
  if (uri.empty()) return std::nullopt;
  gchar* host = nullptr;
  gchar* path = g_filename_from_uri(uri.c_str(), &host, nullptr);
  std::optional<std::string> result;
  if (path && (!host || g_strcmp0(host, "localhost") == 0)) result = path;
  g_free(path);
  g_free(host);
  return result;
}

std::optional<std::string> GnomePicture() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return std::nullopt;
  const bool dark =
      StringSetting(source, "org.gnome.desktop.interface", "color-scheme").value_or("") == "prefer-dark";
  if (dark) {
    if (auto uri = StringSetting(source, "org.gnome.desktop.background", "picture-uri-dark"); uri && !uri->empty())
      return LocalPath(*uri);
  }
  auto uri = StringSetting(source, "org.gnome.desktop.background", "picture-uri");
  return uri ? LocalPath(*uri) : std::nullopt;
}

// A configuration line in words, as sway splits it: blanks separate, quotes group.
std::vector<std::string> SwayWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : line) {
    if (quote) {
      if (c == quote) quote = 0;
      else word += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// sway expands the path as a shell word; without a shell, the home forms are what
// configurations use.
std::string ExpandHome(const std::string& path) {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return path;
  if (path == "~" || path.rfind("~/", 0) == 0) return home + path.substr(1);
  if (path.rfind("$HOME", 0) == 0) return home + path.substr(5);
  if (path.rfind("${HOME}", 0) == 0) return home + path.substr(7);
  return path;
}

// The picture the last "output * bg FILE MODE" names (also inside an "output * { }"
// block), with "set $name value" variables replaced; a colour ("bg #rrggbb
// solid_color") last names none. Included files are not read.
std::optional<std::string> SwayPictureIn(const std::string& configPath) {
  const std::optional<std::string> text = ReadConfigurationFile(configPath);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::optional<std::string> picture;
  bool inAllBlock = false;
  int depth = 0;
  // "set $name value", replaced in the lines after it, the longest name first.
  std::map<std::string, std::string, std::function<bool(const std::string&, const std::string&)>> variables(
      [](const std::string& a, const std::string& b) { return a.size() != b.size() ? a.size() > b.size() : a < b; });
  for (std::string line; std::getline(in, line);) {
    // A value with blanks stays one word where it is not already inside quotes.
    auto expand = [&](const std::string& text) {
      std::string out;
      char quote = 0;
      for (size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (quote ? c == quote : (c == '"' || c == '\'')) quote = quote ? 0 : c;
        const auto found = c != '$' ? variables.end()
                                    : std::find_if(variables.begin(), variables.end(), [&](const auto& variable) {
                                        return text.compare(at, variable.first.size(), variable.first) == 0;
                                      });
        if (found == variables.end()) {
          out += c;
          ++at;
          continue;
        }
        const bool blanks = found->second.find_first_of(" \t") != std::string::npos;
        out += !quote && blanks ? "\"" + found->second + "\"" : found->second;
        at += found->first.size();
      }
      return out;
    };
    const std::vector<std::string> raw = SwayWords(line);
    if (raw.empty() || raw[0][0] == '#') continue;
    if (depth == 0 && raw[0] == "set" && raw.size() >= 3 && raw[1].size() > 1 && raw[1][0] == '$') {
      std::string value = raw[2];
      for (size_t i = 3; i < raw.size(); ++i) value += " " + raw[i];
      variables[raw[1]] = expand(value);
      continue;
    }
    const std::vector<std::string> words = variables.empty() ? raw : SwayWords(expand(line));
    if (words.empty()) continue;
    size_t from = 0;
    bool applies = false;
    if (depth == 0 && words[0] == "output" && words.size() >= 2 && words[1] == "*") {
      from = 2;
      applies = true;
      if (words.size() >= 3 && words.back() == "{") {
        inAllBlock = true;
        ++depth;
        continue;
      }
    } else if (depth > 0) {
      applies = inAllBlock && depth == 1;
    }
    for (const std::string& word : words) {
      if (word == "{") ++depth;
      if (word == "}" && depth > 0 && --depth == 0) inAllBlock = false;
    }
    if (!applies) continue;
    for (size_t i = from; i + 1 < words.size(); ++i)
      if (words[i] == "bg" || words[i] == "background")
        picture = words[i + 1][0] == '#' ? std::nullopt : std::optional<std::string>(ExpandHome(words[i + 1]));
  }
  return picture;
}

// sway's own search order for its configuration; the first file that exists is read.
std::optional<std::string> SwayPicture() {
  const char* socket = std::getenv("SWAYSOCK");
  if (!socket || !*socket) return std::nullopt;
  const char* home = std::getenv("HOME");
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string configRoot =
      configHome && *configHome ? configHome : std::string(home ? home : "") + "/.config";
  std::vector<std::string> candidates;
  if (home && *home) candidates.push_back(std::string(home) + "/.sway/config");
  candidates.push_back(configRoot + "/sway/config");
  candidates.push_back("/etc/sway/config");
  for (const std::string& candidate : candidates)
    if (g_file_test(candidate.c_str(), G_FILE_TEST_IS_REGULAR)) return SwayPictureIn(candidate);
  return std::nullopt;
}

std::optional<std::string> CinnamonPicture() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return std::nullopt;
  auto uri = StringSetting(source, "org.cinnamon.desktop.background", "picture-uri");
  return uri ? LocalPath(*uri) : std::nullopt;
}

std::optional<std::string> MatePicture() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return std::nullopt;
  auto path = StringSetting(source, "org.mate.background", "picture-filename");
  if (!path || path->empty() || (*path)[0] != '/') return std::nullopt;
  return path;
}

std::optional<DesktopPicturePreference> AsDefault(std::optional<std::string> picture) {
  if (!picture) return std::nullopt;
  DesktopPicturePreference preference;
  preference.entries[kDefaultKey].imageFilePath = *picture;
  return preference;
}

std::string Environment(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : fallback;
}

struct DesktopReader {
  const char* desktop;  // as XDG_CURRENT_DESKTOP names it
  std::optional<DesktopPicturePreference> (*read)(const std::string& home, const std::string& configHome);
};

// In the order they are asked when the running desktop is none of them.
const DesktopReader kReaders[] = {
    {"sway", [](const std::string&, const std::string&) { return AsDefault(SwayPicture()); }},
    {"GNOME", [](const std::string&, const std::string&) { return AsDefault(GnomePicture()); }},
    {"X-Cinnamon", [](const std::string&, const std::string&) { return AsDefault(CinnamonPicture()); }},
    {"MATE", [](const std::string&, const std::string&) { return AsDefault(MatePicture()); }},
    {"XFCE", [](const std::string&, const std::string& config) { return XfceWallpapers(config); }},
    {"KDE", [](const std::string&, const std::string& config) { return KdeWallpapers(config); }},
    {"", [](const std::string& home, const std::string&) { return FehWallpapers(home); }},
    {"", [](const std::string&, const std::string& config) { return NitrogenWallpapers(config); }},
};

// A picture that decodes (it is decoded once: the view finds it remembered), or a
// folder, from which the view takes one. Any other is named and passed over, but
// for a missing file a desktop names (GNOME's schema names its own pictures even
// where they are not installed).
bool IsUsablePicture(const std::optional<std::string>& path, bool nameMissing) {
  if (!path) return false;
  if (g_file_test(path->c_str(), G_FILE_TEST_IS_DIR)) return true;
  if (!nameMissing && !g_file_test(path->c_str(), G_FILE_TEST_EXISTS)) return false;
  PictureBitmap picture;
  std::string why;
  if (ReadPicture(path->c_str(), &picture, &why)) return true;
  NameWrongPicture(*path, why);
  return false;
}

// The running desktop's reader first, then the rest, until one names a picture
// that is there; its entries fill what ours left open.
void AddDesktopPictures(DesktopPicturePreference* preference) {
  const std::string home = Environment("HOME", g_get_home_dir());
  const std::string configHome = Environment("XDG_CONFIG_HOME", home + "/.config");
  const std::string current = std::getenv("XDG_CURRENT_DESKTOP") ? std::getenv("XDG_CURRENT_DESKTOP") : "";
  std::vector<const DesktopReader*> order;
  for (const DesktopReader& reader : kReaders)
    if (*reader.desktop && (":" + current + ":").find(std::string(":") + reader.desktop + ":") != std::string::npos)
      order.push_back(&reader);
  // No desktop of ours: a window manager, whose wallpaper a setter keeps.
  if (order.empty())
    for (const DesktopReader& reader : kReaders)
      if (!*reader.desktop) order.push_back(&reader);
  for (const DesktopReader& reader : kReaders)
    if (std::find(order.begin(), order.end(), &reader) == order.end()) order.push_back(&reader);

  for (const DesktopReader* reader : order) {
    std::optional<DesktopPicturePreference> found = reader->read(home, configHome);
    if (!found) continue;
    bool any = false;
    for (const auto& [key, entry] : found->entries) {
      if (preference->entries.count(key) || !IsUsablePicture(entry.imageFilePath, false)) continue;
      preference->entries[key] = entry;
      any = true;
    }
    if (any) return;
  }
  // A folder of pictures: the view takes a random one from it.
  if (preference->entries.count(kDefaultKey) == 0) {
    if (auto folder = XScreenSaverImageDirectory(home); folder && g_file_test(folder->c_str(), G_FILE_TEST_IS_DIR))
      preference->entries[kDefaultKey].imageFilePath = *folder;
  }
}

}  // namespace

std::optional<DesktopPicturePreference> LinuxDesktopPictures() {
  DesktopPicturePreference preference;
  auto store = ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel");
  for (const auto& [key, path] : store->stringsInSection(kSection)) {
    const auto entryKey = EntryKey(key);
    if (!entryKey) continue;
    DesktopPictureEntry entry;
    if (!path.empty()) entry.imageFilePath = path;
    // One that cannot be shown leaves its place to the next source.
    if (entry.imageFilePath && !IsUsablePicture(entry.imageFilePath, true)) continue;
    preference.entries[*entryKey] = entry;
  }

  // GNOME's schema names a default picture even where GNOME's backgrounds are not
  // installed; a picture that is not there is no desktop picture.
  if (preference.entries.count(kDefaultKey) == 0) AddDesktopPictures(&preference);

  if (preference.entries.empty()) return std::nullopt;
  return preference;
}

}  // namespace ambrel
