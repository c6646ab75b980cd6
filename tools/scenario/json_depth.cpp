// ExceedsDepth: an explicit-stack walk of a JSON value's containers.
#include "tools/scenario/json_depth.h"

#include <utility>
#include <vector>

namespace replay {

bool ExceedsDepth(const json& value, size_t limit) {
  std::vector<std::pair<const json*, size_t>> pending{{&value, 0}};
  while (!pending.empty()) {
    const json* current = pending.back().first;
    const size_t depth = pending.back().second;
    pending.pop_back();
    if (!current->is_structured()) continue;
    if (depth + 1 > limit) return true;
    for (const json& child : *current) pending.emplace_back(&child, depth + 1);
  }
  return false;
}

}  // namespace replay
