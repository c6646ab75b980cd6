// RunReplay: loads the plugin, plays a scenario or captures through it and records every sink call.
#pragma once

#include "tools/cli/replay_options.h"

namespace replay {

// Runs the whole tool for parsed options (not --help or --version). Returns the exit status.
int RunReplay(const ReplayOptions& options);

}  // namespace replay
