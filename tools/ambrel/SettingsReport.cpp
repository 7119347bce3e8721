#include "tools/ambrel/SettingsReport.h"

namespace ambrel {

std::optional<SettingsRecord> BaseSettings(const RunRequest& request) {
  if (request.mode == RunMode::kRender) return RenderBaseSettings();
  if (request.mode == RunMode::kHack && request.settingsFromLine) return DefaultSettings();
  return std::nullopt;
}

SettingOverrides RunSettings(const RunRequest& request) {
  SettingOverrides fields = request.fields;
  if (const auto kind = request.background.impliedKind)
    fields.emplace(kBackgroundKindSetting.store.key, SettingValue{static_cast<int64_t>(*kind), {}});
  return fields;
}

AmbrelViewOverrides ViewOverrides(const RunRequest& request) {
  AmbrelViewOverrides overrides;
  overrides.settings = BaseSettings(request);
  overrides.fields = RunSettings(request);
  if (request.background.picture)
    overrides.desktopPicture = *request.background.picture;
  else if (request.mode == RunMode::kRender)
    overrides.desktopPicture = std::string();
  return overrides;
}

SettingsRecord EffectiveSettings(const RunRequest& request) {
  return ResolveSettings(BaseSettings(request), RunSettings(request), /*readOnly=*/true);
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
