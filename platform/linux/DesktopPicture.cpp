// The desktop picture per screen: first our own "DesktopPictures" section of the
// kvAmbrel store ("default" and screen numbers, each naming a picture), then the
// picture GNOME shows, which stands in as "default" when ours has none.
#include <gio/gio.h>
#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

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
    // GNOME's schema names a default picture even where GNOME's backgrounds are not
    // installed; a picture that is not there is no desktop picture.
    auto picture = GnomePicture();
    if (picture && g_file_test(picture->c_str(), G_FILE_TEST_IS_REGULAR))
      preference.entries[kDefaultKey].imageFilePath = *picture;
  }

  if (preference.entries.empty()) return std::nullopt;
  return preference;
}
