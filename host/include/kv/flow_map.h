// kvFlowMap: the daemon's flow table, split into buckets with one lock each.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "kv/api.h"
#include "kv/flow.h"

class KV_API kvFlowMap {
 public:
  using Bucket = std::unordered_map<std::string, std::shared_ptr<kvFlow>>;

  explicit kvFlowMap(size_t buckets);
  ~kvFlowMap();
  kvFlowMap(const kvFlowMap&) = delete;
  kvFlowMap& operator=(const kvFlowMap&) = delete;

  size_t GetBuckets() const { return buckets.size(); }

  // Locks bucket `index` and returns its table; Release unlocks it. Any thread.
  Bucket& Acquire(size_t index);
  void Release(size_t index);

  // Host helpers: the bucket a key belongs to (locking it for the call).
  size_t BucketOf(const std::string& key) const;
  void Insert(const std::string& key, const std::shared_ptr<kvFlow>& flow);
  std::shared_ptr<kvFlow> Find(const std::string& key);
  bool Erase(const std::string& key);

 private:
  struct Slot {
    std::mutex lock;
    Bucket flows;  // guarded by lock
  };
  std::vector<std::unique_ptr<Slot>> buckets;
};
