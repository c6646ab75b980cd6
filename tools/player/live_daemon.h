// LiveDaemon: what a live capture asks of the tool, done as the daemon does it: the wall clock,
// the signals (stop; reload and reopen), the output flushed every second, the progress line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "kv/plugin.h"
#include "tools/capture/live_control.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/live_signals.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/scenario_writer.h"

namespace replay {

// Main thread (the one that runs the capture).
class LiveDaemon : public capture::LiveControl {
 public:
  // `reopen` reopens the output files after a SIGHUP; `scenario` (may be null) is flushed with
  // the output each second.
  LiveDaemon(kvPluginProcessor& plugin, WorkerDriver& worker, Console& console, SinkOutput& sinks,
             LiveSignals& signals, std::function<void()> reopen, ScenarioWriter* scenario);

  uint64_t NowUs() override;
  int WakeFd() override { return signals.Fd(); }
  // A stop ends the capture; a SIGHUP asks the plugin to reload its configuration (as the daemon
  // does: the reload event, applied by the worker at its next pass) and reopens the files.
  bool Woken() override;
  void Heartbeat(const capture::LiveFigures& figures) override;

 private:
  kvPluginProcessor& plugin;
  WorkerDriver& worker;
  Console& console;
  SinkOutput& sinks;
  LiveSignals& signals;
  std::function<void()> reopen;
  ScenarioWriter* scenario;
  // The figures and the time of the previous heartbeat, for the rates.
  capture::LiveFigures previous;
  uint64_t previous_documents = 0;
  std::chrono::steady_clock::time_point previous_beat;
};

}  // namespace replay
