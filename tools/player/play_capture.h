// PlayCapture: a capture source played through the plugin, and the scenario it gives.
#pragma once

#include <cstddef>

#include "tools/capture/capture_source.h"
#include "tools/player/capture_player.h"
#include "tools/player/play_outcome.h"
#include "tools/scenario/scenario_writer.h"

namespace replay {

// Plays every packet of `source` (opened) with its updates and expiries, and reports a problem
// on the console. With `scenario` (may be null) the daemon events are also written there, with a
// heading naming `buckets`, the flow map's buckets to play it with. With `live` (may be null) the
// source's live interfaces are captured on until `live` asks to stop.
PlayOutcome PlayCapture(const PlayContext& context, capture::CaptureSource& source,
                        const CapturePlayerSettings& settings, size_t buckets,
                        ScenarioWriter* scenario, capture::LiveControl* live = nullptr);

}  // namespace replay
