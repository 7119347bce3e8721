#include "scene/Settings.h"

#include <algorithm>
#include <cstring>

#include "platform/Pictures.h"
#include "water/Water.h"

namespace ambrel {

const char* const kSettingsVersionKey = "version";
const char* const kSettingsVersion = "1.0.4";

namespace {

// The macOS default, written with a lower-case "l" as the store has always held it.
// Linux builds once wrote it too, naming a folder no Linux machine has.
const char* const kMacPictureFolder = "/library/Desktop Pictures/";

std::string DefaultPictureFolder() {
#ifdef __APPLE__
  return kMacPictureFolder;
#else
  return UserPicturesFolder();
#endif
}

// Faster than the water's stability limit the ripples grow without bound.
constexpr int64_t kFastestWaterSpeed = static_cast<int64_t>(kMaxStableWaterSpeed * 100.0f + 0.5f);
// Longest interval between drops, in hundredths: far beyond any useful setting, and
// low enough that dripSpeed + rand() % dripSpeed cannot overflow.
constexpr int64_t kLongestDripSpeed = int64_t{1} << 62;
constexpr int64_t kNoLimit = INT64_MAX;

const char* const kBackgroundKindNames[] = {"capture", "desktop", "folder", nullptr};

// Field accessors for the table.
#define NUMBER_FIELD(expression)                                          \
  [](const SettingsRecord& r) -> int64_t { return r.expression; },       \
      [](SettingsRecord& r, int64_t v) { r.expression = static_cast<decltype(r.expression)>(v); }, nullptr, nullptr
#define BOOL_FIELD(expression)                                      \
  [](const SettingsRecord& r) -> int64_t { return r.expression; }, \
      [](SettingsRecord& r, int64_t v) { r.expression = v != 0; }, nullptr, nullptr

bool SetPath(SettingsRecord& record, const std::string& text) {
  const size_t length = std::strlen(text.c_str());
  if (length + 1 > sizeof record.settings.BGPath) return false;
  std::memcpy(record.settings.BGPath, text.c_str(), length + 1);
  return true;
}

}  // namespace

// The help lines go to the command's message catalogue; N_ marks them for it.
#define N_(text) text

// clang-format off
const SettingDeclaration kDeclarations[] = {
    {"MainMonitorOnly", SettingType::kBool, BOOL_FIELD(mainMonitorOnly), 0, nullptr, nullptr,
     0, 1, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, false,
     "--main-monitor-only", "--all-monitors", 0, 1, nullptr,
     N_("  --main-monitor-only, --all-monitors\n"
     "                      animate only the main monitor, or every one\n"),
     SettingControl::kCheckBox, "oMainMonitorOnly",
     R"(<boolean id="mainonly" _label="Main monitor only" arg-set="--main-monitor-only"/>)"},
    {"WaterSpeed", SettingType::kInteger, NUMBER_FIELD(settings.WATERSPEED), 100, nullptr, nullptr,
     10, kFastestWaterSpeed, OutOfRange::kDefault, OutOfRange::kHeldAtEnd, false,
     "--water-speed", nullptr, 1, 100000, nullptr,
     N_("  --water-speed N     wave speed in hundredths (saved default %D; steady up to %H)\n"),
     SettingControl::kNumberField, "oWaterSpeed",
     R"(<number id="waterspeed" type="slider" arg="--water-speed %"
          _label="Water speed" _low-label="Slow" _high-label="Fast"
          low="%L" high="%H" default="%D"/>)"},
    {"WaterRes", SettingType::kInteger, NUMBER_FIELD(settings.WATERSHIFT), 6, nullptr, nullptr,
     4, 8, OutOfRange::kDefault, OutOfRange::kDefault, false,
     "--water-res", nullptr, 4, 8, nullptr,
     N_("  --water-res N       grid of 2^N points a side, %L to %H (default %D)\n"),
     SettingControl::kNumberField, "oWaterRes",
     R"(<number id="waterres" type="slider" arg="--water-res %"
          _label="Water resolution" _low-label="Coarse" _high-label="Fine"
          low="%L" high="%H" default="%D"/>)"},
    {"DripSpeed", SettingType::kInteger, NUMBER_FIELD(settings.DRIPSPEED), 250, nullptr, nullptr,
     1, kLongestDripSpeed, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, true,
     "--drip-speed", nullptr, 1, 1000000, nullptr,
     N_("  --drip-speed N      base time between drops in hundredths of a second (default %D)\n"),
     SettingControl::kNumberField, "oDripSpeed",
     R"(<number id="dripspeed" type="slider" arg="--drip-speed %"
          _label="Time between drops" _low-label="Rain" _high-label="Rare drops"
          low="%L" high="1000" default="%D"/>)"},
    {"Lighting", SettingType::kBool, BOOL_FIELD(settings.LIGHTING), 1, nullptr, nullptr,
     0, 1, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, false,
     "--lighting", "--no-lighting", 0, 1, nullptr,
     N_("  --lighting, --no-lighting\n"
     "                      let the light circle, or keep it still above the centre\n"),
     SettingControl::kCheckBox, "oLighting",
     R"(<boolean id="lighting" _label="Moving light" arg-unset="--no-lighting"/>)"},
    {"WantBowl", SettingType::kBool, BOOL_FIELD(settings.WANTBOWL), 1, nullptr, nullptr,
     0, 1, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, false,
     "--bowl", "--no-bowl", 0, 1, nullptr,
     N_("  --bowl, --no-bowl   let the bending grow from the centre, or bend everywhere at once\n"),
     SettingControl::kCheckBox, "oWantBowl",
     R"(<boolean id="bowl" _label="Bowl" arg-unset="--no-bowl"/>)"},
    {"BGType", SettingType::kInteger, NUMBER_FIELD(settings.BGTYPE), 0, nullptr, nullptr,
     0, 2, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, true,
     "--background-kind", nullptr, 0, 2, kBackgroundKindNames,
     N_("  --background-kind capture|desktop|folder (or 0|1|2)\n"
     "                      what lies under the water\n"),
     SettingControl::kPopUp, "oBGType",
     R"(<select id="background">
    <option id="capture" _label="Background: the screen"/>
    <option id="desktop" _label="Background: the desktop picture" arg-set="--background-kind desktop"/>
    <option id="folder"  _label="Background: a picture from the folder" arg-set="--background-kind folder"/>
   </select>)"},
    {"BGPath", SettingType::kString, nullptr, nullptr,
     [](const SettingsRecord& r) -> const char* { return r.settings.BGPath; }, SetPath, 0, DefaultPictureFolder,
#ifdef __APPLE__
     nullptr,
#else
     kMacPictureFolder,
#endif
     0, 0, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, false,
     "--folder", nullptr, 0, 0, nullptr,
     N_("  --folder DIR        a random picture from DIR (implies --background-kind folder)\n"),
     SettingControl::kFolderButton, "oBGPath",
     R"(<file id="folder" _label="Picture folder" arg="--folder %"/>)"},
    {"BGRes", SettingType::kInteger, NUMBER_FIELD(settings.BGRES), 1, nullptr, nullptr,
     0, 2, OutOfRange::kHeldAtEnd, OutOfRange::kHeldAtEnd, false,
     "--detail", nullptr, 0, 2, nullptr,
     N_("  --detail 0|1|2      background detail: low, medium, high (default %D)\n"),
     SettingControl::kPopUp, "oBGRes",
     R"(<select id="detail">
    <option id="low"    _label="Low detail" arg-set="--detail 0"/>
    <option id="medium" _label="Medium detail"/>
    <option id="high"   _label="High detail" arg-set="--detail 2"/>
   </select>)"},
};
// clang-format on
const SettingTable kSettings{kDeclarations, sizeof kDeclarations / sizeof kDeclarations[0]};

const SettingDeclaration* SettingForKey(const std::string& key) {
  for (const SettingDeclaration& setting : kSettings)
    if (key == setting.key) return &setting;
  return nullptr;
}

int64_t AcceptedValue(const SettingDeclaration& setting, int64_t value) {
  if (value < setting.lowest) return setting.below == OutOfRange::kDefault ? setting.defaultNumber : setting.lowest;
  if (value > setting.highest) return setting.above == OutOfRange::kDefault ? setting.defaultNumber : setting.highest;
  return value;
}

void HoldInViewRange(SettingsRecord* record) {
  for (const SettingDeclaration& setting : kSettings)
    if (setting.heldByView && setting.number)
      setting.setNumber(*record, AcceptedValue(setting, setting.number(*record)));
}

SettingsRecord DefaultSettings() {
  SettingsRecord record;
  for (const SettingDeclaration& setting : kSettings) {
    if (setting.type == SettingType::kString)
      setting.setText(record, setting.defaultText());
    else
      setting.setNumber(record, setting.defaultNumber);
  }
  return record;
}

void ApplySettingOverrides(const SettingOverrides& overrides, SettingsRecord* record) {
  for (const SettingDeclaration& setting : kSettings) {
    const auto given = overrides.find(setting.key);
    if (given == overrides.end()) continue;
    if (setting.type == SettingType::kString)
      setting.setText(*record, given->second.text);  // a path too long to hold is ignored
    else
      setting.setNumber(*record, given->second.number);
  }
}

std::string SettingValueText(const SettingDeclaration& setting, const SettingsRecord& record) {
  switch (setting.type) {
    case SettingType::kBool:
      return setting.number(record) ? "true" : "false";
    case SettingType::kInteger:
      return std::to_string(setting.number(record));
    case SettingType::kString:
      return setting.text(record);
  }
  return {};
}

std::string FillSettingText(const char* text, const SettingDeclaration& setting) {
  std::string filled;
  for (const char* p = text; *p; ++p) {
    if (*p == '%' && (p[1] == 'D' || p[1] == 'L' || p[1] == 'H')) {
      const char which = *++p;
      filled += std::to_string(which == 'D' ? setting.defaultNumber : which == 'L' ? setting.lowest : setting.highest);
    } else {
      filled += *p;
    }
  }
  return filled;
}

}  // namespace ambrel
