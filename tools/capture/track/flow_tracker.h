// FlowTracker: the daemon's flow table for a capture: flows by identity, their counters, TCP
// state, lifecycle and the records published to the plugin.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kv/flow_map.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "tools/capture/classify/flow_classifier.h"
#include "tools/capture/decode/decoded_packet.h"
#include "tools/capture/track/daemon_events.h"
#include "tools/capture/track/flow_lists.h"
#include "tools/capture/track/flow_state.h"
#include "tools/capture/track/networks.h"
#include "tools/capture/track/tracker_settings.h"

namespace capture {

// One interface as the tracker sees it.
struct TrackedInterface {
  std::shared_ptr<kvInterface> record;
  Networks own;         // the interface's own IP addresses
  kvPacketStats stats;  // counted since the previous update
};

// Flow counts for the agent status.
struct FlowCounts {
  uint64_t live = 0;      // flows in the table
  uint64_t active = 0;    // flows with packets since the previous update
  uint64_t purged = 0;    // flows purged since the previous update
  uint64_t expired = 0;   // of those, by idle time (not closed)
  uint64_t expiring = 0;  // closed TCP flows waiting out their linger
};

// Used by the one thread that plays the capture. Per packet it touches only its private state
// and the interface's counters; the daemon's records (flows, flow map, endpoint tables) are
// written at the publication points only: creation, update, purge. A record handed to the
// plugin since the last settle is written only after `DaemonEvents::Settle`.
class FlowTracker {
 public:
  // Throws CaptureError for a local network that does not parse ("CIDR: not a network").
  FlowTracker(const TrackerSettings& settings, kvFlowMap& flow_map,
              std::vector<TrackedInterface>& interfaces);
  ~FlowTracker();
  FlowTracker(const FlowTracker&) = delete;
  FlowTracker& operator=(const FlowTracker&) = delete;

  // Counts a decoded packet of `wirelen` frame bytes seen on interface `iface` at `now_us` (the
  // capture clock, never behind an earlier call) and feeds it to classification; a new flow
  // delivers event 6, then a classification that became known delivers 7 and one that ended 8.
  void Track(uint32_t iface, const DecodedPacket& packet, uint32_t wirelen, uint64_t now_us,
             DaemonEvents& events);

  // The earliest capture time at which a flow's idle time or linger has passed (it expires at
  // the first clock value after it); UINT64_MAX with no flows.
  uint64_t NextExpiry() const;
  // Purges (event 4, after 8 for a flow whose detection had not ended) every flow whose idle time
  // or linger passed before `now_us`.
  void ExpireIdle(uint64_t now_us, DaemonEvents& events);
  // Purges every flow, in creation order: the end of the input.
  void ExpireAll(DaemonEvents& events);

  // Publishes the update: flows with packets since the previous update get their counters and
  // become statistics-ready (listed in `ready`), flows ready before without packets since stop
  // being ready; the endpoint tables are switched to the ones seen in the interval. Returns the
  // flow counts of the interval, which start again.
  FlowCounts PublishUpdate(std::vector<const std::string*>& ready, DaemonEvents& events);
  // The update has been delivered and, with it, every record handed out let go.
  void UpdateDelivered();

  size_t LiveFlows() const { return table.size(); }
  uint64_t FlowsCreated() const { return created; }
  uint64_t FlowsPurged() const { return purged_total; }

 private:
  FlowState& Create(const FlowKey& key, uint32_t iface, const DecodedPacket& packet,
                    bool from_lower, uint64_t now_us);
  void Count(FlowState& state, const DecodedPacket& packet, bool from_lower, uint32_t wirelen,
             uint64_t now_us, kvPacketStats& stats);
  void Purge(FlowState& state, DaemonEvents& events);
  void Classify(FlowState& state, const DecodedPacket& packet, bool from_lower, uint64_t now_us,
                DaemonEvents& events);
  static const Endpoint& ServerEnd(const FlowState& state);
  void WriteDpi(FlowState& state, kvFlow& flow);
  void DeliverDpi(DpiStep step, FlowState& state, DaemonEvents& events);
  bool IsLocal(uint32_t iface, uint8_t version, const uint8_t* addr) const;
  uint8_t OtherType(uint8_t version, const uint8_t* addr, bool local) const;
  void FillGtp(FlowState& state, const DecodedPacket& packet, kvFlow& flow) const;
  void LearnTeid(FlowState& state, const DecodedPacket& packet) const;
  // Writes the counters and last-seen time; `ready` is the walk's flag.
  void PublishCounters(FlowState& state, kvFlow& flow) const;
  void SettleFor(const FlowState& state, DaemonEvents& events);
  void Settled();
  void FillEndpoints();

  kvFlowMap& flow_map;
  std::vector<TrackedInterface>& interfaces;
  FlowClassifier classifier;
  Networks local_nets;
  FlowLists lists;
  uint64_t update_interval_s;
  uint64_t max_flows;  // 0: no limit
  size_t max_retired_flows;

  std::unordered_map<FlowKey, FlowState, FlowKeyHash> table;

  uint64_t created = 0;
  uint64_t purged_total = 0;
  // Records are handed out in generations: a record whose handed_generation equals `generation`
  // was handed out since the last settle.
  uint64_t generation = 1;
  // Purged records the plugin may still hold, kept until the next settle so that their use
  // counts keep meaning what the hand-over saw; at most max_retired_flows before a purge settles.
  std::vector<std::shared_ptr<kvFlow>> retired;
  FlowCounts counts;
};

}  // namespace capture
