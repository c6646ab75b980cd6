// AddCounters: one interface's packet counters added into a sum, as the global counters are made.
#pragma once

#include "kv/packet_stats.h"

namespace capture {

// Adds every counter of `add` to `sum`; the largest frame is the larger of the two.
void AddCounters(kvPacketStats& sum, const kvPacketStats& add);

}  // namespace capture
