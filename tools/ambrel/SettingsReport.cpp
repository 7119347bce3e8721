#include "tools/ambrel/SettingsReport.h"

namespace ambrel {

std::optional<SettingsRecord> BaseSettings(const CommandLine& line) {
  if (line.mode == RunMode::kRender) return RenderBaseSettings();
  if (line.mode == RunMode::kHack && line.settingsFromLine) return DefaultSettings();
  return std::nullopt;
}

SettingsRecord EffectiveSettings(const CommandLine& line) {
  return ResolveSettings(BaseSettings(line), line.fields, /*readOnly=*/true);
}

void PrintSettings(FILE* out, const SettingsRecord& given) {
  // What the run uses: a stored or given value outside the scene's range is shown
  // as the value the scene takes instead.
  SettingsRecord record = given;
  for (const SettingDeclaration& setting : kSettings)
    if (setting.store.number) setting.store.setNumber(record, AcceptedValue(setting, setting.store.number(record)));
  for (const SettingDeclaration& setting : kSettings)
    std::fprintf(out, "%s %s\n", setting.store.key, SettingValueText(setting, record).c_str());
}

}  // namespace ambrel
