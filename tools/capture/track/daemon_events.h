// DaemonEvents: what the capture source asks the daemon side (the player) to deliver.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kv/flow.h"
#include "kv/plugin.h"
#include "tools/capture/track/update_records.h"

namespace capture {

// Called by the thread that runs CaptureSource::Run, one call at a time.
class DaemonEvents {
 public:
  virtual ~DaemonEvents() = default;
  // A single-flow event: 6 new flow, 4 purge (7 and 8 come with DPI). `key` is the flow's key in
  // the flow map, the same for every event of the flow.
  virtual void FlowEvent(kvPluginProcessor::Event event, const std::string& key,
                         std::shared_ptr<kvFlow>& flow) = 0;
  // One update: the player delivers 1 (walk), waits for the worker, then 9, 10 per interface, 11,
  // 12, 13.
  virtual void Update(UpdateRecords& update) = 0;
  // The source is about to change records it handed out (in an event or a walk) since the last
  // Settle: returns once the plugin holds none of them any more.
  virtual void Settle() = 0;
  // Called before each packet with its capture time (microseconds since the epoch); a player
  // paces by it in real time. Default: nothing.
  virtual void Clock(uint64_t time_us) { (void)time_us; }
};

}  // namespace capture
