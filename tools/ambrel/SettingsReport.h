// --print-settings: the settings a run would use, one "Key value" line each, with
// the store's key names.
#pragma once

#include <cstdio>

#include "tools/ambrel/CommandLine.h"

// Reads the store (except for a render, which starts from its own defaults) and
// puts the command line's settings over it; writes nothing but the first-run
// defaults a view would write too.
void EffectiveSettings(const CommandLine& line, bool* mainMonitorOnly, SETTINGS* settings);

void PrintSettings(FILE* out, bool mainMonitorOnly, const SETTINGS& settings);
