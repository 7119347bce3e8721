// --print-settings: the settings a run would use, one "Key value" line each, with
// the store's key names.
#pragma once

#include <cstdio>
#include <optional>

#include "tools/ambrel/CommandLine.h"

namespace ambrel {

// What a run starts from instead of the store: a render's own defaults, or the
// defaults for XScreenSaver's programs line; nothing (the store) otherwise.
std::optional<SettingsRecord> BaseSettings(const CommandLine& line);

// Reads the store (unless BaseSettings gives the start) and puts the command
// line's settings over it, as a view would; writes nothing.
SettingsRecord EffectiveSettings(const CommandLine& line);

void PrintSettings(FILE* out, const SettingsRecord& record);

}  // namespace ambrel
