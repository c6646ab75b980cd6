// HandOff: aliases that share a token, walked map entries swapped in and back, the call's end.
#include "tools/player/hand_off.h"

#include "kv/standin.h"

namespace replay {

namespace {

// A walk queues a flow that is statistics-ready, not held, and saw packets.
bool WalkQueues(const kvFlow& flow) {
  return flow.stats_ready && !flow.stats_hold &&
         (flow.stats.lower_packets != 0 || flow.stats.upper_packets != 0);
}

}  // namespace

HandOff::HandOff(WorkerDriver& driver_)
    : driver(driver_), token(driver_.NewToken()), locks_before(kvStandIn::LocksTakenHere()) {}

HandOff::~HandOff() {
  if (token) Done();
}

std::shared_ptr<kvFlow> HandOff::Share(const std::shared_ptr<kvFlow>& flow) {
  token->flows.push_back(flow);
  return std::shared_ptr<kvFlow>(token, flow.get());
}

std::shared_ptr<kvFlow>& HandOff::Alias(const std::shared_ptr<kvFlow>& flow) {
  single = flow ? Share(flow) : nullptr;
  return single;
}

void HandOff::AliasEntry(kvFlowMap& map, const std::string& key, bool qualifies) {
  if (!walked) may_queue = false;
  walked = true;
  if (map.GetBuckets() == 0) return;
  const size_t index = map.BucketOf(key);
  kvFlowMap::Bucket& bucket = map.Acquire(index);
  auto it = bucket.find(key);
  if (it != bucket.end() && it->second) {
    swapped.push_back(Swapped{&map, key, it->second});
    it->second = Share(it->second);
    may_queue = may_queue || qualifies;
  }
  map.Release(index);
}

void HandOff::AliasMap(kvFlowMap& map) {
  if (!walked) may_queue = false;
  walked = true;
  for (size_t i = 0; i < map.GetBuckets(); i++) {
    kvFlowMap::Bucket& bucket = map.Acquire(i);
    for (auto& entry : bucket) {
      if (!entry.second) continue;
      may_queue = may_queue || WalkQueues(*entry.second);
      swapped.push_back(Swapped{&map, entry.first, entry.second});
      entry.second = Share(entry.second);
    }
    map.Release(i);
  }
}

void HandOff::Done() {
  if (!token) return;
  const bool locked = kvStandIn::LocksTakenHere() != locks_before;
  single.reset();
  // Putting the entries back lets go of the map's aliases; only the plugin's are left.
  for (Swapped& entry : swapped) {
    const size_t index = entry.map->BucketOf(entry.key);
    kvFlowMap::Bucket& bucket = entry.map->Acquire(index);
    auto it = bucket.find(entry.key);
    if (it != bucket.end()) it->second = std::move(entry.flow);
    entry.map->Release(index);
  }
  swapped.clear();
  driver.CallDone(std::move(token), locked && may_queue);
}

}  // namespace replay
