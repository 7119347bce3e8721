// The desktop picture per screen: first our own "DesktopPictures" section of the
// kvAmbrel store ("default" and screen numbers, each naming a picture), then, in a
// sway session, the picture of sway's "output * bg FILE", else the picture GNOME
// shows; either stands in as "default" when ours has none.
#include <gio/gio.h>
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/DesktopPicture.h"
#include "platform/ScreenSaverDefaults.h"

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
// block); a colour ("bg #rrggbb solid_color") last names none. Included files are not read.
std::optional<std::string> SwayPictureIn(const std::string& configPath) {
  std::ifstream in(configPath);
  if (!in) return std::nullopt;
  std::optional<std::string> picture;
  bool inAllBlock = false;
  int depth = 0;
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> words = SwayWords(line);
    if (words.empty() || words[0][0] == '#') continue;
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

}  // namespace

std::optional<DesktopPicturePreference> CopyDesktopPicturePreference() {
  DesktopPicturePreference preference;
  auto store = ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel");
  for (const auto& [key, path] : store->stringsInSection(kSection)) {
    const auto entryKey = EntryKey(key);
    if (!entryKey) continue;
    DesktopPictureEntry entry;
    if (!path.empty()) entry.imageFilePath = path;
    preference.entries[*entryKey] = entry;
  }

  if (preference.entries.count(kDefaultKey) == 0) {
    auto picture = SwayPicture();
    if (picture && g_file_test(picture->c_str(), G_FILE_TEST_IS_REGULAR))
      preference.entries[kDefaultKey].imageFilePath = *picture;
  }

  if (preference.entries.count(kDefaultKey) == 0) {
    // GNOME's schema names a default picture even where GNOME's backgrounds are not
    // installed; a picture that is not there is no desktop picture.
    auto picture = GnomePicture();
    if (picture && g_file_test(picture->c_str(), G_FILE_TEST_IS_REGULAR))
      preference.entries[kDefaultKey].imageFilePath = *picture;
  }

  if (preference.entries.empty()) return std::nullopt;
  return preference;
}
