// kvFlowMap: the daemon's bucketed flow table.
#include "kv/flow_map.h"

#include <functional>

kvFlowMap::kvFlowMap(size_t count) {
  buckets.reserve(count);
  for (size_t i = 0; i < count; i++) buckets.push_back(std::make_unique<Slot>());
}

kvFlowMap::~kvFlowMap() = default;

kvFlowMap::Bucket& kvFlowMap::Acquire(size_t index) {
  Slot& slot = *buckets.at(index);
  slot.lock.lock();
  return slot.flows;
}

void kvFlowMap::Release(size_t index) { buckets.at(index)->lock.unlock(); }

size_t kvFlowMap::BucketOf(const std::string& key) const {
  return buckets.empty() ? 0 : std::hash<std::string>()(key) % buckets.size();
}

void kvFlowMap::Insert(const std::string& key, const std::shared_ptr<kvFlow>& flow) {
  if (buckets.empty()) return;
  const size_t index = BucketOf(key);
  Acquire(index)[key] = flow;
  Release(index);
}

std::shared_ptr<kvFlow> kvFlowMap::Find(const std::string& key) {
  if (buckets.empty()) return nullptr;
  const size_t index = BucketOf(key);
  Bucket& bucket = Acquire(index);
  auto it = bucket.find(key);
  std::shared_ptr<kvFlow> flow = it == bucket.end() ? nullptr : it->second;
  Release(index);
  return flow;
}

bool kvFlowMap::Erase(const std::string& key) {
  if (buckets.empty()) return false;
  const size_t index = BucketOf(key);
  const bool erased = Acquire(index).erase(key) > 0;
  Release(index);
  return erased;
}
