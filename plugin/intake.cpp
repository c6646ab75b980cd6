// The daemon's events: flow snapshots queued for the worker, update documents encoded at once.
#include <cstring>

#include "kv/exception.h"
#include "kv/flow_map.h"
#include "plugin/plugin.h"
#include "plugin/thread_lock_guard.h"
#include "plugin/worker_constants.h"

namespace {

// Holds one flow-map bucket for a scope.
class BucketGuard {
 public:
  BucketGuard(kvFlowMap& map_, size_t index_) : map(map_), index(index_) {}
  ~BucketGuard() { map.Release(index); }
  BucketGuard(const BucketGuard&) = delete;
  BucketGuard& operator=(const BucketGuard&) = delete;

 private:
  kvFlowMap& map;
  size_t index;
};

// Builds a queued event straight in the queue's storage: emplace_back converts this into the
// kppFlowEvent it constructs in place, so the snapshot is copied once, with no temporary event
// to move from and destroy. Made and used under the thread lock.
struct QueuedEvent {
  const std::shared_ptr<kvFlow>& flow;
  uint16_t event;
  const kvFlowStats& stats;

  operator kppFlowEvent() const { return kppFlowEvent{flow, event, stats}; }
};

bool IsSingleFlowEvent(kvPluginProcessor::Event event) {
  return event == kvPluginProcessor::EVENT_FLOW_PURGE ||
         event == kvPluginProcessor::EVENT_FLOW_NEW ||
         event == kvPluginProcessor::EVENT_DPI_UPDATE ||
         event == kvPluginProcessor::EVENT_DPI_COMPLETE;
}

}  // namespace

void kppPlugin::Wake() {
  const int rc = pthread_cond_broadcast(&cond);
  if (rc != 0) {
    throw kvException("%s: %s: %s", tag.c_str(), "pthread_cond_broadcast", strerror(rc));
  }
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event, kvFlowMap* flow_map) {
  if (event != kvPluginProcessor::EVENT_FLOW_MAP || flow_map == nullptr) return;
  if ((channel_types.load() & kpp::kWalkTypes) == 0) return;

  bool queued;
  {
    // The whole walk enters the queue as one batch: the worker cannot take over part of it.
    ThreadLockGuard guard(*this);
    // Room left under the queue limit; the flows that qualify once it is used up are counted.
    size_t room = flow_queue_limit > event_queue.size() ? flow_queue_limit - event_queue.size() : 0;
    uint64_t dropped = 0;
    const size_t buckets = flow_map->GetBuckets();
    for (size_t i = 0; i < buckets; i++) {
      kvFlowMap::Bucket& bucket = flow_map->Acquire(i);
      BucketGuard bucket_guard(*flow_map, i);
      for (const auto& entry : bucket) {
        if (!entry.second) continue;
        const kvFlow& flow = *entry.second;
        if (!flow.stats_ready || flow.stats_hold) continue;
        if (flow.stats.lower_packets == 0 && flow.stats.upper_packets == 0) continue;
        if (room == 0) {
          dropped++;
          continue;
        }
        room--;
        event_queue.emplace_back(
            QueuedEvent{entry.second, static_cast<uint16_t>(event), flow.stats});
      }
    }
    if (dropped != 0) {
      flow_events_dropped += dropped;
      dropped_at_limit = flow_queue_limit;
    }
    queued = !event_queue.empty();
  }
  if (queued) Wake();
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event,
                                       std::shared_ptr<kvFlow>& flow) {
  if (!IsSingleFlowEvent(event) || !flow) return;
  if ((channel_types.load() & kpp::kFlowEventTypes) == 0) return;
  {
    ThreadLockGuard guard(*this);
    if (event_queue.size() >= flow_queue_limit) {
      // A full queue already has the worker's attention; this event is only counted.
      flow_events_dropped++;
      dropped_at_limit = flow_queue_limit;
      return;
    }
    event_queue.emplace_back(QueuedEvent{flow, static_cast<uint16_t>(event), flow->stats});
  }
  if (worker_looking.load()) Wake();
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event, Interfaces* interfaces) {
  if (event != kvPluginProcessor::EVENT_INTERFACES || interfaces == nullptr) return;
  EncodeInterfaces(interfaces);
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event, const std::string& iface,
                                       kvPacketStats* stats) {
  if (event != kvPluginProcessor::EVENT_PKT_INTERFACE_STATS || stats == nullptr) return;
  EncodeInterfaceStats(iface, stats);
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event, kvPacketStats* stats) {
  if (event != kvPluginProcessor::EVENT_PKT_GLOBAL_STATS || stats == nullptr) return;
  EncodeGlobalPacketStats(stats);
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event, kvInstanceStatus* status) {
  if (event != kvPluginProcessor::EVENT_INSTANCE_STATUS || status == nullptr) return;
  EncodeAgentStatus(status);
}

void kppPlugin::DispatchProcessorEvent(kvPluginProcessor::Event event) {
  if (event == kvPluginProcessor::EVENT_UPDATE_COMPLETE) dispatch_pending.store(true);
}
