// HandOff: aliases that share a token, walked map entries swapped in and back, and letting go at
// the end of the call's hold of the thread lock.
#include "tools/player/hand_off.h"

#include <utility>

namespace replay {

HandOff::HandOff(WorkerDriver& driver)
    : token(driver.NewToken()), outer(kvStandIn::WatchLocksHere(this)) {}

HandOff::~HandOff() {
  Done();
}

std::shared_ptr<kvFlow>& HandOff::Alias(const std::shared_ptr<kvFlow>& flow) {
  single_owner = flow;
  token->flow = flow;
  single = flow ? Share(flow.get()) : nullptr;
  return single;
}

void HandOff::AliasEntry(kvFlowMap& map, const std::string& key) {
  if (map.GetBuckets() == 0) return;
  const size_t index = map.BucketOf(key);
  kvFlowMap::Bucket& bucket = map.Acquire(index);
  auto it = bucket.find(key);
  if (it != bucket.end() && it->second) {
    kvFlow* flow = it->second.get();
    swapped.push_back(Swapped{&map, key, std::move(it->second)});
    it->second = Share(flow);
  }
  map.Release(index);
}

void HandOff::AliasMap(kvFlowMap& map) {
  for (size_t i = 0; i < map.GetBuckets(); i++) {
    kvFlowMap::Bucket& bucket = map.Acquire(i);
    for (auto& entry : bucket) {
      if (!entry.second) continue;
      token->flows.push_back(entry.second);
      kvFlow* flow = entry.second.get();
      swapped.push_back(Swapped{&map, entry.first, std::move(entry.second)});
      entry.second = Share(flow);
    }
    map.Release(i);
  }
}

void HandOff::LetGo() noexcept {
  if (!token) return;
  // The same flow, no longer through the token: the reference the call was given stays valid.
  single = std::move(single_owner);
  for (Swapped& entry : swapped) {
    const size_t index = entry.map->BucketOf(entry.key);
    kvFlowMap::Bucket& bucket = entry.map->Acquire(index);
    auto it = bucket.find(entry.key);
    if (it != bucket.end()) it->second = std::move(entry.flow);
    entry.map->Release(index);
  }
  swapped.clear();
  token.reset();
}

void HandOff::BeforeUnlock() noexcept {
  LetGo();
}

void HandOff::Done() {
  if (watching) {
    kvStandIn::WatchLocksHere(outer);
    watching = false;
  }
  LetGo();
}

}  // namespace replay
