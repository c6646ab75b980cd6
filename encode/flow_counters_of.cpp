// FlowCountersOf: the counters-only encoding of a flow, taken from a full encoding of it.
#include "encode/flow_counters_of.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "encode/flow_sections.h"
#include "encode/keys.h"

namespace kpp::encode {

namespace {

// The first-level members of a counters-only encoding: the identity members kvFlow::Encode
// always writes and those of the counters section, in the order a document keeps its members,
// so that the result is built by appending.
const std::vector<std::string>& CounterMembers() {
  static const std::vector<std::string> members = [] {
    std::vector<std::string> keys = FlowCounterKeys();
    keys.insert(keys.end(), {key::kDigest, key::kDigestPrev, key::kLastSeenAt});
    std::sort(keys.begin(), keys.end(), json::object_comparator_t());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
  }();
  return members;
}

// Builds the counters-only encoding from `source`, the members of a full one. For a const source
// std::move yields a const value, which is copied; otherwise the value is moved out.
template <typename Object>
json Extract(Object& source) {
  json counters = json::object();
  json::object_t& target = counters.get_ref<json::object_t&>();
  for (const std::string& member : CounterMembers()) {
    const auto it = source.find(member);
    if (it != source.end()) target.emplace_hint(target.end(), member, std::move(it->second));
  }
  return counters;
}

}  // namespace

json FlowCountersOf(const json& full) {
  if (!full.is_object()) return json::object();
  return Extract(full.get_ref<const json::object_t&>());
}

json FlowCountersOf(json&& full) {
  if (!full.is_object()) return json::object();
  return Extract(full.get_ref<json::object_t&>());
}

}  // namespace kpp::encode
