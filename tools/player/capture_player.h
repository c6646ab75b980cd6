// CapturePlayer: delivers the capture source's daemon events to the plugin, as the daemon would.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "kv/plugin.h"
#include "tools/capture/track/daemon_events.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/scenario_writer.h"

namespace replay {

struct CapturePlayerSettings {
  std::string source_name;  // names the capture in messages
  bool realtime = false;    // pace packets by their timestamps
};

// Runs on the thread that runs the capture source (the main thread), which stands for the
// daemon's threads. It waits for the worker wherever the daemon's timing would otherwise change
// what a document shows, so that a capture gives the same output on every run:
// - Settle: until the plugin holds none of the records handed to it;
// - Drain, after the walk of an update and after the first flow event that follows an update's
//   end: until it holds none of the flows handed out so far and the worker's pass that let go
//   of the last of them has ended, periodic payloads included (they go out with the first batch
//   of flow events after the update's end). So the payloads follow the same events on every run,
//   and the interface, counter and status events of an update cannot reach the documents of the
//   one before.
// With a ScenarioWriter, every event is also written as a scenario op, with a "sync" wherever
// the player waited for something outstanding.
class CapturePlayer : public capture::DaemonEvents {
 public:
  CapturePlayer(kvPluginProcessor& plugin, WorkerDriver& worker, Console& console,
                CapturePlayerSettings settings, ScenarioWriter* scenario);

  void FlowEvent(kvPluginProcessor::Event event, const std::string& key,
                 std::shared_ptr<kvFlow>& flow) override;
  void Update(capture::UpdateRecords& update) override;
  void Settle() override;
  void Clock(uint64_t time_us) override;

  uint64_t EventsDelivered() const { return events_delivered; }

 private:
  void Drain();
  // Runs a call into the plugin; prints what it throws back and goes on.
  void CallPlugin(const char* what, const std::function<void()>& call);

  kvPluginProcessor& plugin;
  WorkerDriver& worker;
  Console& console;
  CapturePlayerSettings settings;
  ScenarioWriter* scenario;  // may be null

  // Something was handed to the plugin since the last Drain, and since the last Settle or Drain.
  bool handed_since_drain = false;
  bool outstanding = false;
  // An update has ended and no Drain has run since: its payloads are still to go out.
  bool payloads_due = false;
  uint64_t events_delivered = 0;

  // --realtime: the first packet's capture time and when it was played.
  bool clock_started = false;
  uint64_t first_time_us = 0;
  std::chrono::steady_clock::time_point first_played;
};

}  // namespace replay
