// The settings a run's views use, and --print-settings, which prints them one
// "Key value" line each, with the store's key names.
#pragma once

#include <cstdio>
#include <optional>

#include "tools/ambrel/CommandLine.h"

namespace ambrel {

// What a run starts from instead of the store: a render's own defaults, or the
// defaults for XScreenSaver's programs line; nothing (the store) otherwise.
std::optional<SettingsRecord> BaseSettings(const RunRequest& request);

// The settings given for the run, with the background kind a picture or a folder
// implies unless a kind was given outright.
SettingOverrides RunSettings(const RunRequest& request);

// What every mode's views take in place of the stores: the settings above, and a
// picture given for the desktop kind (a render, which has no desktop, shows the
// shipped one unless given another).
AmbrelViewOverrides ViewOverrides(const RunRequest& request);

// Reads the store (unless BaseSettings gives the start) and puts the command
// line's settings over it, as a view would; writes nothing.
SettingsRecord EffectiveSettings(const RunRequest& request);

void PrintSettings(FILE* out, const SettingsRecord& record);

}  // namespace ambrel
