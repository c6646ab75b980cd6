// Flow counters: a packet counted for the endpoint that sent it, and a flow's counters as the
// daemon's record holds them, each stopping at its largest value instead of wrapping.
#pragma once

#include <cstdint>
#include <limits>

#include "kv/flow_stats.h"
#include "tools/capture/track/flow_state.h"

namespace capture {

// a + b, or the type's largest value when the sum does not fit.
template <typename Number>
constexpr Number SaturatingAdd(Number a, Number b) {
  return a > std::numeric_limits<Number>::max() - b ? std::numeric_limits<Number>::max()
                                                    : static_cast<Number>(a + b);
}

// Adds one to `counter`, which stays at its largest value once there.
inline void CountOne(uint32_t& counter) {
  counter = SaturatingAdd<uint32_t>(counter, 1);
}

// Counts a packet of `wirelen` frame bytes for `side`: since the previous walk and in total.
void CountPacket(SideCounters& side, uint32_t wirelen);

// Fills the record's counters from `state`: per walk, totals (each sum stopping at its largest
// value), detection packets, TCP counters and the rates, bytes per second over `interval_s`.
void FillFlowStats(const FlowState& state, uint64_t interval_s, kvFlowStats& stats);

}  // namespace capture
