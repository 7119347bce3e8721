// The view's settings: read from the module's store at creation (with the version
// rule), written back by the sheet's save action. What each setting is comes from
// its declaration.
#include <cstdio>
#include <optional>
#include <string>

#include "host/AmbrelView.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

const char* const kModuleName = "kvAmbrel";

void Write(ScreenSaverDefaults& store, const SettingDeclaration& setting, const SettingsRecord& record) {
  const StoredAs& stored = setting.store;
  switch (stored.type) {
    case SettingType::kBool:
      store.setBool(stored.number(record) != 0, stored.key);
      break;
    case SettingType::kInteger:
      store.setInteger(stored.number(record), stored.key);
      break;
    case SettingType::kString:
      store.setObject(stored.text(record), stored.key);
      break;
  }
}

void Read(const ScreenSaverDefaults& store, const SettingDeclaration& setting, SettingsRecord* record) {
  const StoredAs& stored = setting.store;
  if (stored.addedLater && stored.type != SettingType::kString && !store.stringForKey(stored.key)) {
    stored.setNumber(*record, stored.defaultNumber);
    return;
  }
  switch (stored.type) {
    case SettingType::kBool:
      stored.setNumber(*record, store.boolForKey(stored.key));
      break;
    case SettingType::kInteger:
      stored.setNumber(*record, store.integerForKey(stored.key));
      break;
    case SettingType::kString:
      // Absent, or too long to hold: the field keeps what it had.
      if (std::optional<std::string> text = store.stringForKey(stored.key)) {
        if (stored.formerDefaultText && *text == stored.formerDefaultText) text = stored.defaultText();
        stored.setText(*record, *text);
      }
      break;
  }
}

}  // namespace

SettingsRecord ReadStoredSettings(bool readOnly) {
  auto store = ScreenSaverDefaults::defaultsForModuleWithName(kModuleName);
  const std::optional<std::string> version = store->stringForKey(kSettingsVersionKey);
  SettingsRecord record;
  for (const SettingDeclaration& setting : kSettings) Read(*store, setting, &record);

  if (!version || *version != kSettingsVersion) {
    record = DefaultSettings();
    if (readOnly) return record;
    store->keepFileBeforeReset("has no settings of this version and is reset to the defaults");
    store->setObject(kSettingsVersion, kSettingsVersionKey);
    for (const SettingDeclaration& setting : kSettings) Write(*store, setting, record);
    store->synchronize();  // an unwritable store says so itself; the defaults still hold here
  }
  // A stored value the view cannot use (an unknown background kind would leave the
  // water over nothing) gives way to the nearest it can, with a word.
  for (const SettingDeclaration& setting : kSettings) {
    if (!setting.taken.heldByView || !setting.store.number || !store->stringForKey(setting.store.key)) continue;
    const int64_t stored = setting.store.number(record), used = AcceptedValue(setting, stored);
    if (used == stored) continue;
    std::fprintf(stderr, "ambrel: the stored %s %lld is not from %lld to %lld; %lld is used\n", setting.store.key,
                 static_cast<long long>(stored), static_cast<long long>(setting.taken.limits.lowest),
                 static_cast<long long>(setting.taken.limits.highest), static_cast<long long>(used));
    setting.store.setNumber(record, used);
  }
  return record;
}

void StoreSettings(const SettingsRecord& record) {
  auto store = ScreenSaverDefaults::defaultsForModuleWithName(kModuleName);
  for (const SettingDeclaration& setting : kSettings) Write(*store, setting, record);
  store->synchronize();
}

SettingsRecord ResolveSettings(const std::optional<SettingsRecord>& given, const SettingOverrides& overrides,
                               bool readOnly) {
  SettingsRecord record = given ? *given : ReadStoredSettings(readOnly);
  ApplySettingOverrides(overrides, &record);
  HoldInViewRange(&record);
  return record;
}

void AmbrelView::loadSettings() {
  const SettingsRecord record = ResolveSettings(overrides_.settings, overrides_.fields);
  MainMonitorOnly = record.mainMonitorOnly;
  mySettings = record.settings;
}

void AmbrelView::storeSettings() {
  SettingsRecord record{MainMonitorOnly, mySettings};
  HoldInViewRange(&record);
  mySettings = record.settings;
  StoreSettings(record);
}

}  // namespace ambrel
