// ExceedsDepth: tells whether a JSON value nests deeper than a limit, without recursing.
#pragma once

#include <cstddef>

#include "kv/json.h"

namespace replay {

// True when `value` has arrays or objects nested more than `limit` levels deep (a scalar is at
// depth 0, [] and {} at depth 1).
bool ExceedsDepth(const json& value, size_t limit);

}  // namespace replay
