#include "tools/ambrel/SettingsReport.h"

SettingsRecord EffectiveSettings(const CommandLine& line) {
  // A render starts from its own defaults, not from the store.
  const std::optional<SettingsRecord> given =
      line.mode == RunMode::kRender ? std::optional<SettingsRecord>(RenderBaseSettings()) : std::nullopt;
  return ResolveSettings(given, line.fields, /*readOnly=*/true);
}

void PrintSettings(FILE* out, const SettingsRecord& given) {
  // What the run uses: a stored or given value outside the scene's range is shown
  // as the value the scene takes instead.
  SettingsRecord record = given;
  for (const SettingDeclaration& setting : kSettings)
    if (setting.number) setting.setNumber(record, AcceptedValue(setting, setting.number(record)));
  for (const SettingDeclaration& setting : kSettings)
    std::fprintf(out, "%s %s\n", setting.key, SettingValueText(setting, record).c_str());
}
