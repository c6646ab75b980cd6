// PlayScenario: a scenario's ops played through the plugin.
#pragma once

#include <istream>

#include "tools/player/play_outcome.h"
#include "tools/player/scenario_player.h"
#include "tools/scenario/daemon_state.h"

namespace replay {

// Plays every op of `input` against `state`, then makes sure the worker has started (a scenario
// without ops that reach the plugin still loads its configuration). A problem is reported on the
// console with the scenario's name and line.
PlayOutcome PlayScenario(const PlayContext& context, DaemonState& state, std::istream& input,
                         const PlayerSettings& settings);

}  // namespace replay
