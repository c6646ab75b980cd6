// FlowCountersOf: the counters-only encoding of a flow, taken from a full encoding of it.
#pragma once

#include "kv/json.h"

namespace kpp::encode {

// What kvFlow::Encode writes with ENCODE_STATS alone ("digest", "digest_prev", "last_seen_at",
// the counters and "tcp"), taken from `full`, an encoding of the same flow and counters with
// ENCODE_STATS among its flags: the other sections write none of these members, so the result
// equals a second, counters-only encoding without the cost of one. Copies the members.
json FlowCountersOf(const json& full);

// The same, moving the members out of `full`, which keeps them as nulls: for a full encoding
// that is discarded right after.
json FlowCountersOf(json&& full);

}  // namespace kpp::encode
