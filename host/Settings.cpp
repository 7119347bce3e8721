#include "host/Settings.h"

#include <cstring>

#include "host/AmbrelView.h"
#include "platform/Pictures.h"

namespace ambrel {

const char* const kSettingsVersionKey = "version";
const char* const kSettingsVersion = "1.0.4";

namespace {

// The macOS default, written with a lower-case "l" as the store has always held it.
// Linux builds once wrote it too, naming a folder no Linux machine has.
const char* const kMacPictureFolder = "/library/Desktop Pictures/";

// A text earlier versions wrote as the default folder.
#ifdef __APPLE__
const char* const kFormerDefaultFolder = nullptr;
#else
const char* const kFormerDefaultFolder = kMacPictureFolder;
#endif

std::string DefaultPictureFolder() {
#ifdef __APPLE__
  return kMacPictureFolder;
#else
  return UserPicturesFolder();
#endif
}

constexpr SceneLimits kOffOrOn{.lowest = 0, .highest = 1};
// The background kinds and detail levels the view knows.
constexpr SceneLimits kThreeChoices{.lowest = 0, .highest = 2};
constexpr int64_t kCaptureKind = static_cast<int64_t>(BackgroundKind::kCapture);
constexpr int64_t kMediumDetail = 1;

const char* const kBackgroundKindNames[] = {"capture", "desktop", "folder", nullptr};
const char* const kBackgroundKindItems[] = {"Screen capture", "Desktop picture", "Random picture from a folder",
                                            nullptr};
const char* const kBackgroundKindOptions[] = {"Background: the screen", "Background: the desktop picture",
                                              "Background: a picture from the folder", nullptr};
const char* const kDetailItems[] = {"Low", "Medium", "High", nullptr};
const char* const kDetailIds[] = {"low", "medium", "high", nullptr};
const char* const kDetailOptions[] = {"Low detail", "Medium detail", "High detail", nullptr};

// The accessors of a record's field.
#define NUMBER_FIELD(field)                                            \
  .number = [](const SettingsRecord& r) -> int64_t { return r.field; }, \
  .setNumber = [](SettingsRecord& r, int64_t v) { r.field = static_cast<decltype(r.field)>(v); }
#define BOOL_FIELD(field)                                              \
  .number = [](const SettingsRecord& r) -> int64_t { return r.field; }, \
  .setNumber = [](SettingsRecord& r, int64_t v) { r.field = v != 0; }

bool SetPath(SettingsRecord& record, const std::string& text) {
  const size_t length = std::strlen(text.c_str());
  if (length + 1 > sizeof record.settings.BGPath) return false;
  std::memcpy(record.settings.BGPath, text.c_str(), length + 1);
  return true;
}

}  // namespace

// The help lines go to the command's message catalogue; N_ marks them for it.
#define N_(text) text

const SettingDeclaration kMainMonitorOnlySetting{
    .store = {.key = "MainMonitorOnly", .type = SettingType::kBool, BOOL_FIELD(mainMonitorOnly), .defaultNumber = 0},
    .taken = {.limits = kOffOrOn},
    .commandLine = {.option = "--main-monitor-only",
                    .offOption = "--all-monitors",
                    .help = {.format = N_("  --main-monitor-only, --all-monitors\n"
                                "                      animate only the main monitor, or every one\n")}},
    .sheet = {.control = SheetControlKind::kCheckBox,
              .outlet = "oMainMonitorOnly",
              .field = &AmbrelView::oMainMonitorOnly,
              .row = 8,
              .label = "Only on the main screen"},
    .xscreensaver = {.id = "mainonly", .label = "Main monitor only", .row = 3, .column = 2},
};

const SettingDeclaration kWaterSpeedSetting{
    .store = {.key = "WaterSpeed",
              .type = SettingType::kInteger,
              NUMBER_FIELD(settings.WATERSPEED),
              .defaultNumber = kWaterSpeedLimits.usual},
    .taken = {.limits = kWaterSpeedLimits},
    .commandLine = {.option = "--water-speed",
                    .lowest = 1,
                    .highest = 100000,
                    .help = {.format = N_("  --water-speed N     wave speed in hundredths (saved default %lld; steady up to %lld)\n"),
                             .numbers = {kWaterSpeedLimits.usual, kWaterSpeedLimits.highest}}},
    .sheet = {.control = SheetControlKind::kSlider,
              .outlet = "oWaterSpeed",
              .field = &AmbrelView::oWaterSpeed,
              .row = 0,
              .label = "Water speed:",
              .lowest = kWaterSpeedLimits.lowest,
              .highest = kWaterSpeedLimits.highest},
    .xscreensaver = {.id = "waterspeed", .label = "Water speed", .row = 0, .lowLabel = "Slow", .highLabel = "Fast"},
};

const SettingDeclaration kWaterResSetting{
    .store = {.key = "WaterRes",
              .type = SettingType::kInteger,
              NUMBER_FIELD(settings.WATERSHIFT),
              .defaultNumber = kWaterShiftLimits.usual},
    .taken = {.limits = kWaterShiftLimits},
    .commandLine = {.option = "--water-res",
                    .lowest = kWaterShiftLimits.lowest,
                    .highest = kWaterShiftLimits.highest,
                    .help = {.format = N_("  --water-res N       grid of 2^N points a side, %lld to %lld (default %lld)\n"),
                             .numbers = {kWaterShiftLimits.lowest, kWaterShiftLimits.highest, kWaterShiftLimits.usual}}},
    .sheet = {.control = SheetControlKind::kSlider,
              .outlet = "oWaterRes",
              .field = &AmbrelView::oWaterRes,
              .row = 1,
              .label = "Water resolution:",
              .lowest = kWaterShiftLimits.lowest,
              .highest = kWaterShiftLimits.highest},
    .xscreensaver = {.id = "waterres", .label = "Water resolution", .row = 1, .lowLabel = "Coarse", .highLabel = "Fine"},
};

const SettingDeclaration kDripSpeedSetting{
    .store = {.key = "DripSpeed",
              .type = SettingType::kInteger,
              NUMBER_FIELD(settings.DRIPSPEED),
              .defaultNumber = kDripSpeedLimits.usual},
    .taken = {.limits = kDripSpeedLimits, .heldByView = true},
    .commandLine = {.option = "--drip-speed",
                    .lowest = 1,
                    .highest = 1000000,
                    .help = {.format = N_("  --drip-speed N      base time between drops in hundredths of a second (default %lld)\n"),
                             .numbers = {kDripSpeedLimits.usual}}},
    // Ten seconds between drops is as slow as the slider goes.
    .sheet = {.control = SheetControlKind::kSlider,
              .outlet = "oDripSpeed",
              .field = &AmbrelView::oDripSpeed,
              .row = 2,
              .label = "Drip interval:",
              .lowest = kDripSpeedLimits.lowest,
              .highest = 1000},
    .xscreensaver = {.id = "dripspeed",
                     .label = "Time between drops",
                     .row = 2,
                     .lowLabel = "Rain",
                     .highLabel = "Rare drops"},
};

const SettingDeclaration kLightingSetting{
    .store = {.key = "Lighting", .type = SettingType::kBool, BOOL_FIELD(settings.LIGHTING), .defaultNumber = 1},
    .taken = {.limits = kOffOrOn},
    .commandLine = {.option = "--lighting",
                    .offOption = "--no-lighting",
                    .help = {.format = N_("  --lighting, --no-lighting\n"
                                "                      let the light circle, or keep it still above the centre\n")}},
    .sheet = {.control = SheetControlKind::kCheckBox,
              .outlet = "oLighting",
              .field = &AmbrelView::oLighting,
              .row = 6,
              .label = "Moving light"},
    .xscreensaver = {.id = "lighting", .label = "Moving light", .row = 3, .column = 0},
};

const SettingDeclaration kWantBowlSetting{
    .store = {.key = "WantBowl", .type = SettingType::kBool, BOOL_FIELD(settings.WANTBOWL), .defaultNumber = 1},
    .taken = {.limits = kOffOrOn},
    .commandLine = {.option = "--bowl",
                    .offOption = "--no-bowl",
                    .help = {.format = N_("  --bowl, --no-bowl   let the bending grow from the centre, or bend everywhere at once\n")}},
    .sheet = {.control = SheetControlKind::kCheckBox,
              .outlet = "oWantBowl",
              .field = &AmbrelView::oWantBowl,
              .row = 7,
              .label = "Bowl"},
    .xscreensaver = {.id = "bowl", .label = "Bowl", .row = 3, .column = 1},
};

const SettingDeclaration kBackgroundKindSetting{
    .store = {.key = "BGType", .type = SettingType::kInteger, NUMBER_FIELD(settings.BGTYPE), .defaultNumber = kCaptureKind},
    .taken = {.limits = kThreeChoices, .heldByView = true},
    .commandLine = {.option = "--background-kind",
                    .lowest = kThreeChoices.lowest,
                    .highest = kThreeChoices.highest,
                    .valueNames = kBackgroundKindNames,
                    .help = {.format = N_("  --background-kind capture|desktop|folder (or 0|1|2)\n"
                                "                      what lies under the water\n")}},
    .sheet = {.control = SheetControlKind::kPopUp,
              .outlet = "oBGType",
              .field = &AmbrelView::oBGType,
              .row = 3,
              .label = "Background:",
              .items = kBackgroundKindItems,
              .sends = "configureSheet_update:"},
    .xscreensaver = {.id = "background",
                     .row = 4,
                     .column = 0,
                     .itemIds = kBackgroundKindNames,
                     .itemLabels = kBackgroundKindOptions},
};

const SettingDeclaration kBackgroundFolderSetting{
    .store = {.key = "BGPath",
              .type = SettingType::kString,
              .text = [](const SettingsRecord& r) -> const char* { return r.settings.BGPath; },
              .setText = SetPath,
              .defaultText = DefaultPictureFolder,
              .formerDefaultText = kFormerDefaultFolder},
    .commandLine = {.option = "--folder",
                    .help = {.format = N_("  --folder DIR        a random picture from DIR (implies --background-kind folder)\n")}},
    .sheet = {.control = SheetControlKind::kButton,
              .outlet = "oBGPath",
              .field = &AmbrelView::oBGPath,
              .row = 4,
              .label = "Picture folder:",
              .sends = "configureSheet_bgpath:"},
    .xscreensaver = {.id = "folder", .label = "Picture folder", .row = 5},
};

const SettingDeclaration kBackgroundDetailSetting{
    .store = {.key = "BGRes", .type = SettingType::kInteger, NUMBER_FIELD(settings.BGRES), .defaultNumber = kMediumDetail},
    .taken = {.limits = kThreeChoices},
    .commandLine = {.option = "--detail",
                    .lowest = kThreeChoices.lowest,
                    .highest = kThreeChoices.highest,
                    .help = {.format = N_("  --detail 0|1|2      background detail: low, medium, high (default %lld)\n"),
                             .numbers = {kMediumDetail}}},
    .sheet = {.control = SheetControlKind::kPopUp,
              .outlet = "oBGRes",
              .field = &AmbrelView::oBGRes,
              .row = 5,
              .label = "Background detail:",
              .items = kDetailItems},
    .xscreensaver = {.id = "detail",
                     .row = 4,
                     .column = 1,
                     .itemIds = kDetailIds,
                     .itemLabels = kDetailOptions},
};

const SettingDeclaration kOverlaySetting{
    .store = {.key = "Overlay",
              .type = SettingType::kBool,
              BOOL_FIELD(settings.OVERLAY),
              .defaultNumber = 1,
              .addedLater = true},
    .taken = {.limits = kOffOrOn},
    .commandLine = {.option = "--overlay",
                    .offOption = "--no-overlay",
                    .help = {.format = N_("  --overlay, --no-overlay\n"
                                "                      show the strip and, once a minute, the banner, or the water alone\n")}},
    .sheet = {.control = SheetControlKind::kCheckBox,
              .outlet = "oOverlay",
              .field = &AmbrelView::oOverlay,
              .row = 9,
              .label = "Strip and banner"},
    .xscreensaver = {.id = "overlay", .label = "Strip and banner", .row = 3, .column = 3},
};

namespace {

const SettingDeclaration* const kTable[] = {
    &kMainMonitorOnlySetting, &kWaterSpeedSetting,     &kWaterResSetting,         &kDripSpeedSetting,
    &kLightingSetting,        &kWantBowlSetting,       &kBackgroundKindSetting,   &kBackgroundFolderSetting,
    &kBackgroundDetailSetting, &kOverlaySetting,
};

}  // namespace

const SettingTable kSettings{kTable, sizeof kTable / sizeof kTable[0]};

int64_t AcceptedValue(const SettingDeclaration& setting, int64_t value) { return Accepted(setting.taken.limits, value); }

void HoldInViewRange(SettingsRecord* record) {
  for (const SettingDeclaration& setting : kSettings)
    if (setting.taken.heldByView && setting.store.number)
      setting.store.setNumber(*record, AcceptedValue(setting, setting.store.number(*record)));
}

SettingsRecord DefaultSettings() {
  SettingsRecord record;
  for (const SettingDeclaration& setting : kSettings) {
    if (setting.store.type == SettingType::kString)
      setting.store.setText(record, setting.store.defaultText());
    else
      setting.store.setNumber(record, setting.store.defaultNumber);
  }
  return record;
}

void ApplySettingOverrides(const SettingOverrides& overrides, SettingsRecord* record) {
  for (const SettingDeclaration& setting : kSettings) {
    const auto given = overrides.find(setting.store.key);
    if (given == overrides.end()) continue;
    if (setting.store.type == SettingType::kString)
      setting.store.setText(*record, given->second.text);  // a path too long to hold is ignored
    else
      setting.store.setNumber(*record, given->second.number);
  }
}

std::string SettingValueText(const SettingDeclaration& setting, const SettingsRecord& record) {
  switch (setting.store.type) {
    case SettingType::kBool:
      return setting.store.number(record) ? "true" : "false";
    case SettingType::kInteger:
      return std::to_string(setting.store.number(record));
    case SettingType::kString:
      return setting.store.text(record);
  }
  return {};
}

}  // namespace ambrel
