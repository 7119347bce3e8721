#include "tools/ambrel/SettingsReport.h"

void EffectiveSettings(const CommandLine& line, bool* mainMonitorOnly, SETTINGS* settings) {
  if (line.mode == RunMode::kRender) {
    *mainMonitorOnly = false;
    *settings = RenderBaseSettings();
  } else {
    ReadStoredSettings(mainMonitorOnly, settings);
  }
  ApplySettingOverrides(line.fields, mainMonitorOnly, settings);
  // As the view does: a drip speed below one would stop the drop timer.
  if (settings->DRIPSPEED < 1) settings->DRIPSPEED = 1;
}

void PrintSettings(FILE* out, bool mainMonitorOnly, const SETTINGS& settings) {
  auto yes = [](bool value) { return value ? "true" : "false"; };
  std::fprintf(out, "MainMonitorOnly %s\n", yes(mainMonitorOnly));
  std::fprintf(out, "WaterSpeed %lld\n", (long long)settings.WATERSPEED);
  std::fprintf(out, "WaterRes %lld\n", (long long)settings.WATERSHIFT);
  std::fprintf(out, "DripSpeed %lld\n", (long long)settings.DRIPSPEED);
  std::fprintf(out, "Lighting %s\n", yes(settings.LIGHTING));
  std::fprintf(out, "WantBowl %s\n", yes(settings.WANTBOWL));
  std::fprintf(out, "BGType %d\n", (int)settings.BGTYPE);
  std::fprintf(out, "BGPath %s\n", settings.BGPath);
  std::fprintf(out, "BGRes %d\n", (int)settings.BGRES);
}
