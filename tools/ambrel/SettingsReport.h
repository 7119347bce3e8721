// --print-settings: the settings a run would use, one "Key value" line each, with
// the store's key names.
#pragma once

#include <cstdio>

#include "tools/ambrel/CommandLine.h"

// Reads the store (except for a render, which starts from its own defaults) and
// puts the command line's settings over it, as a view would; writes nothing.
SettingsRecord EffectiveSettings(const CommandLine& line);

void PrintSettings(FILE* out, const SettingsRecord& record);
