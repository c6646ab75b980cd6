// kvStandIn::FlowWriteLock: the locks under which the daemon side writes a flow (the stand-in's
// own, for the tool's daemon side; the daemon's library has no such class).
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "kv/flow.h"
#include "kv/flow_map.h"

namespace kvStandIn {

// Holds a flow's own lock, then the bucket of its key in `map` (none for a map without buckets),
// for the scope; the bucket is let go first.
class FlowWriteLock {
 public:
  FlowWriteLock(kvFlowMap& map_, const std::string& key, kvFlow& flow)
      : guard(flow.lock), map(map_), held(map_.GetBuckets() > 0), index(map_.BucketOf(key)) {
    if (held) map.Acquire(index);
  }
  ~FlowWriteLock() {
    if (held) map.Release(index);
  }
  FlowWriteLock(const FlowWriteLock&) = delete;
  FlowWriteLock& operator=(const FlowWriteLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard;
  kvFlowMap& map;
  bool held;
  size_t index;
};

}  // namespace kvStandIn
