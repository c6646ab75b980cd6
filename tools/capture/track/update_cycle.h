// UpdateCycle: the capture clock's update boundaries and expiries, and the records each update
// hands over.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kv/flow_map.h"
#include "kv/interface.h"
#include "tools/capture/track/daemon_events.h"
#include "tools/capture/track/flow_tracker.h"
#include "tools/capture/track/process_usage.h"

namespace capture {

// Used by the one thread that plays the capture.
class UpdateCycle {
 public:
  // Each update's interface counters come in the order of `tracked`.
  UpdateCycle(uint32_t update_interval_s, FlowTracker& tracker, kvFlowMap& flow_map,
              std::map<std::string, std::shared_ptr<kvInterface>>& interfaces,
              std::vector<TrackedInterface>& tracked);

  // A frame read at `now_us` (the capture clock, never behind an earlier call): the first one
  // starts the cycle; the updates and expiries due before it run first, in time order, an update
  // before expiries at the same time. Across a stretch without frames or purges one empty update
  // is delivered; the boundaries after it are skipped up to the next frame or expiry, so a gap of
  // days in a capture (or a timestamp far off in a broken one) costs nothing.
  void Frame(uint64_t now_us, DaemonEvents& events);

  // The end of the input at `now_us` (or its damage): a last update, then every flow expires.
  void Finish(uint64_t now_us, DaemonEvents& events);

  // A live capture: the cycle starts at `now_us` (the wall clock), the first update comes one
  // interval later, and every boundary brings an update, with or without packets.
  void StartLive(uint64_t now_us);
  // The clock reached `now_us` without a frame: the updates and expiries due by then run.
  void Advance(uint64_t now_us, DaemonEvents& events);
  // When the next update or expiry is due (microseconds since the epoch).
  uint64_t NextDueUs() const;
  // Called at each update before its counters are taken, so that the caller can add to them
  // (a live capture's losses).
  void SetBeforeUpdate(std::function<void()> call) { before_update = std::move(call); }

 private:
  void RunDue(uint64_t now_us, DaemonEvents& events);
  void Update(uint64_t time_us, DaemonEvents& events);
  void FillStatus(const FlowCounts& counts, uint64_t time_us, kvInstanceStatus& status);

  FlowTracker& tracker;
  kvFlowMap& flow_map;
  std::map<std::string, std::shared_ptr<kvInterface>>& interfaces;
  std::vector<TrackedInterface>& tracked;
  const uint64_t interval_us;

  bool started = false;
  uint64_t first_us = 0;
  uint64_t next_update_us = 0;
  uint64_t previous_live = 0;
  uint64_t frames = 0;            // frames read so far
  uint64_t frames_at_update = 0;  // frames read at the previous update
  uint64_t purged_at_update = 0;  // flows purged at the previous update
  bool previous_empty = false;    // the previous update's interval had no frame and no purge
  bool every_boundary = false;    // live: no boundary is skipped
  std::function<void()> before_update;
  ProcessUsage previous_usage;
};

}  // namespace capture
