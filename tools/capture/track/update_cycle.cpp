// UpdateCycle: when updates and expiries come, and what each update carries.
#include "tools/capture/track/update_cycle.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "tools/capture/constants.h"
#include "tools/capture/track/packet_counters.h"

namespace capture {

UpdateCycle::UpdateCycle(uint32_t update_interval_s, FlowTracker& tracker_, kvFlowMap& flow_map_,
                         std::map<std::string, std::shared_ptr<kvInterface>>& interfaces_,
                         std::vector<TrackedInterface>& tracked_)
    : tracker(tracker_),
      flow_map(flow_map_),
      interfaces(interfaces_),
      tracked(tracked_),
      interval_us(uint64_t{std::max<uint32_t>(update_interval_s, 1)} * kMicrosPerSecond) {}

void UpdateCycle::Frame(uint64_t now_us, DaemonEvents& events) {
  if (!started) {
    started = true;
    first_us = now_us;
    next_update_us = now_us + interval_us;
  }
  RunDue(now_us, events);
  frames++;
}

void UpdateCycle::StartLive(uint64_t now_us) {
  started = true;
  every_boundary = true;
  first_us = now_us;
  next_update_us = now_us + interval_us;
}

void UpdateCycle::Advance(uint64_t now_us, DaemonEvents& events) {
  if (started) RunDue(now_us, events);
}

uint64_t UpdateCycle::NextDueUs() const {
  const uint64_t expiry = tracker.NextExpiry();
  // A flow expires at the first clock value after its expiry time.
  return std::min(next_update_us, expiry == UINT64_MAX ? expiry : expiry + 1);
}

void UpdateCycle::RunDue(uint64_t now_us, DaemonEvents& events) {
  for (;;) {
    const uint64_t expiry = tracker.NextExpiry();
    if (next_update_us <= now_us && next_update_us <= expiry) {
      const bool empty = frames == frames_at_update && tracker.FlowsPurged() == purged_at_update;
      if (empty && previous_empty && !every_boundary) {
        // Nothing happens before the next frame or expiry: on to the first boundary after it.
        const uint64_t activity = std::min(now_us, expiry);
        next_update_us += ((activity - next_update_us) / interval_us + 1) * interval_us;
        continue;
      }
      previous_empty = empty;
      Update(next_update_us, events);
      next_update_us += interval_us;
      continue;
    }
    if (expiry < now_us) {
      tracker.ExpireIdle(std::min(now_us, next_update_us), events);
      continue;
    }
    break;
  }
}

void UpdateCycle::Finish(uint64_t now_us, DaemonEvents& events) {
  if (!started) first_us = now_us;
  Update(now_us, events);
  tracker.ExpireAll(events);
}

void UpdateCycle::Update(uint64_t time_us, DaemonEvents& events) {
  if (before_update) before_update();
  UpdateRecords update{flow_map, interfaces, {}, {}, {}, time_us / kMicrosPerMilli, {}};
  const FlowCounts counts = tracker.PublishUpdate(update.ready, events);

  update.interface_stats.reserve(tracked.size());
  for (TrackedInterface& iface : tracked) {
    update.interface_stats.emplace_back(iface.record->name, iface.stats);
    AddCounters(update.global_stats, iface.stats);
    iface.stats = kvPacketStats{};
  }
  FillStatus(counts, time_us, update.status);
  frames_at_update = frames;
  purged_at_update = tracker.FlowsPurged();

  events.Update(update);
  tracker.UpdateDelivered();
}

void UpdateCycle::FillStatus(const FlowCounts& counts, uint64_t time_us, kvInstanceStatus& status) {
  const ProcessUsage usage = ReadProcessUsage();
  status.cpu_cores = usage.cpu_cores;
  status.ts_epoch = first_us / kMicrosPerSecond;
  status.ts_now = time_us / kMicrosPerSecond;
  // The record holds the uptime in 32 bits: past that (136 years of capture time) it stays at
  // the largest value.
  const uint64_t uptime_s = (time_us - std::min(time_us, first_us)) / kMicrosPerSecond;
  status.uptime = static_cast<uint32_t>(
      std::min<uint64_t>(uptime_s, std::numeric_limits<uint32_t>::max()));
  status.flow_count = counts.live;
  status.flow_count_prev = previous_live;
  status.flows_purged = counts.purged;
  status.flows_expiring = counts.expiring;
  status.flows_expired = counts.expired;
  status.flows_active = counts.active;
  status.flows_in_use = counts.live;
  status.cpu_user = usage.cpu_user;
  status.cpu_user_prev = previous_usage.cpu_user;
  status.cpu_system = usage.cpu_system;
  status.cpu_system_prev = previous_usage.cpu_system;
  status.maxrss_kb = usage.maxrss_kb;
  status.maxrss_kb_prev = previous_usage.maxrss_kb;
  status.memrss_kb = usage.memrss_kb;
  status.memrss_kb_prev = previous_usage.memrss_kb;
  previous_live = counts.live;
  previous_usage = usage;
}

}  // namespace capture
