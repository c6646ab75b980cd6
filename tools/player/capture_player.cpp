// CapturePlayer: flow events, updates with their drain, settling, and real-time pacing.
#include "tools/player/capture_player.h"

#include <thread>
#include <utility>

#include "tools/constants.h"
#include "tools/player/hand_off.h"
#include "tools/player/plugin_call.h"

namespace replay {

CapturePlayer::CapturePlayer(kvPluginProcessor& plugin_, WorkerDriver& worker_, Console& console_,
                             CapturePlayerSettings settings_, ScenarioWriter* scenario_)
    : plugin(plugin_),
      worker(worker_),
      console(console_),
      settings(std::move(settings_)),
      scenario(scenario_) {}

void CapturePlayer::CallPlugin(const char* what, const std::function<void()>& call) {
  std::string error;
  if (PluginCall(call, error)) {
    events_delivered++;
    return;
  }
  console.Report(settings.source_name + ": " + what + ": the plugin threw: " + error);
}

void CapturePlayer::FlowEvent(kvPluginProcessor::Event event, const std::string& key,
                              std::shared_ptr<kvFlow>& flow) {
  if (!flow) return;
  if (scenario != nullptr) {
    scenario->Flow(key, *flow);
    scenario->Event(event, key);
    if (event == kvPluginProcessor::EVENT_FLOW_PURGE) scenario->Forget(key);
  }
  handed_since_drain = true;
  outstanding = true;
  {
    HandOff hand(worker);
    std::shared_ptr<kvFlow>& handed = hand.Alias(flow);
    CallPlugin(event == kvPluginProcessor::EVENT_FLOW_PURGE ? "purge" : "new flow",
               [&] { plugin.DispatchProcessorEvent(event, handed); });
    hand.Done();
  }
  // The first event after an update's end carries that update's payloads: the worker sends them
  // after the batch it takes this event in, which must not depend on when the next event comes.
  if (payloads_due) Drain();
}

void CapturePlayer::Update(capture::UpdateRecords& update) {
  if (scenario != nullptr) {
    scenario->FlowMap(update.flow_map);
    scenario->Plain("walk");
  }
  if (!update.ready.empty()) handed_since_drain = outstanding = true;
  {
    // The walk hands the plugin the flow-map entries of the flows published for it.
    HandOff hand(worker);
    for (const std::string* key : update.ready) hand.AliasEntry(update.flow_map, *key);
    CallPlugin("walk", [&] {
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &update.flow_map);
    });
    hand.Done();
  }
  Drain();

  if (scenario != nullptr) {
    scenario->Interfaces(update.interfaces);
    scenario->Plain("interfaces");
  }
  CallPlugin("interfaces", [&] {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &update.interfaces);
  });
  for (auto& [name, stats] : update.interface_stats) {
    if (scenario != nullptr) scenario->InterfaceStats(name, stats);
    CallPlugin("interface counters", [&, &name = name, &stats = stats] {
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, name, &stats);
    });
  }
  if (scenario != nullptr) scenario->GlobalStats(update.global_stats);
  CallPlugin("global counters", [&] {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &update.global_stats);
  });
  if (scenario != nullptr) scenario->Status(update.status);
  CallPlugin("status", [&] {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &update.status);
  });
  if (scenario != nullptr) scenario->Plain("update_end");
  CallPlugin("update end",
             [&] { plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE); });
  payloads_due = true;
}

void CapturePlayer::Drain() {
  if (!handed_since_drain) return;
  if (scenario != nullptr) scenario->Plain("sync");
  worker.WaitPassEnded("drain");
  handed_since_drain = false;
  payloads_due = false;
  outstanding = false;
}

void CapturePlayer::Settle() {
  if (!outstanding) return;
  if (scenario != nullptr) scenario->Plain("sync");
  worker.WaitReleased("settle");
  outstanding = false;
}

void CapturePlayer::Clock(uint64_t time_us) {
  if (!settings.realtime) return;
  const auto now = std::chrono::steady_clock::now();
  if (!clock_started || time_us < first_time_us) {
    clock_started = true;
    first_time_us = time_us;
    first_played = now;
    return;
  }
  const auto due = first_played + std::chrono::microseconds(time_us - first_time_us);
  if (due > now) std::this_thread::sleep_until(due);
}

}  // namespace replay
