// kppReadSettings: reads a configuration file into its settings.
#pragma once

#include <string>

#include "config/settings.h"

// Reads and parses the file at `path` and builds its settings. Every failure is an exception
// (kvException texts starting with `tag`, or the JSON library's type errors) and nothing is
// returned; a file that cannot be opened is reported as missing. Any thread; touches no shared
// state.
kppSettings kppReadSettings(const std::string& tag, const std::string& path);
