// ScenarioPlayer: plays scenario ops against the plugin as the daemon's threads would.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "kv/plugin.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_reader.h"

namespace replay {

struct PlayerSettings {
  std::string scenario_name;  // names the scenario in messages
  std::string config_path;    // the file "config" ops write
  unsigned sync_timeout_seconds = 0;
};

// Runs on the main thread, which stands for the daemon's threads: it changes the daemon's
// records and calls the plugin's event operations. The plugin's worker is started before the
// first op that reaches the plugin, and the player waits for its first configuration load, so
// "config" ops before that op are what the plugin loads first.
class ScenarioPlayer {
 public:
  // `worker` drives the plugin's worker; it must outlive the player.
  ScenarioPlayer(kvPluginProcessor& plugin, DaemonState& state, Console& console,
                 const SinkOutput& sinks, WorkerDriver& worker, PlayerSettings settings);
  ~ScenarioPlayer();
  ScenarioPlayer(const ScenarioPlayer&) = delete;
  ScenarioPlayer& operator=(const ScenarioPlayer&) = delete;

  // Plays one op. Throws ScenarioError (prefixed with the op's name) for an op that cannot be
  // played, SyncTimeout when the worker stops answering. An exception the plugin throws back is
  // printed with the op's line and playing goes on.
  void Play(const ScenarioOp& op);

  // Starts the worker unless it runs already, and waits until it has loaded its configuration
  // once. Throws WorkerStartError, or SyncTimeout.
  void Start() { worker.Start(); }
  bool Started() const { return worker.Started(); }

  uint64_t OpsPlayed() const { return ops_played; }

 private:
  using Handler = void (ScenarioPlayer::*)(const ScenarioOp& op);
  struct OpEntry {
    Handler handler;
    bool reaches_plugin;  // the worker must run before this op is played
  };
  static const std::map<std::string, OpEntry>& Ops();

  void Config(const ScenarioOp& op);
  void Reload(const ScenarioOp& op);
  void Global(const ScenarioOp& op);
  void Interface(const ScenarioOp& op);
  void Flow(const ScenarioOp& op);
  void Forget(const ScenarioOp& op);
  void Event(const ScenarioOp& op);
  void Walk(const ScenarioOp& op);
  void Interfaces(const ScenarioOp& op);
  void InterfaceStats(const ScenarioOp& op);
  void GlobalStats(const ScenarioOp& op);
  void Status(const ScenarioOp& op);
  void UpdateEnd(const ScenarioOp& op);
  void Sync(const ScenarioOp& op);
  void Sleep(const ScenarioOp& op);

  // Runs a call into the plugin; prints what it throws back with the op's line.
  void CallPlugin(const ScenarioOp& op, const std::function<void()>& call);
  // The processor event value: the op's "event" member, else `value`.
  static kvPluginProcessor::Event EventValue(const ScenarioOp& op, uint32_t value);
  void ShowProgress();

  kvPluginProcessor& plugin;
  DaemonState& state;
  Console& console;
  const SinkOutput& sinks;
  PlayerSettings settings;
  WorkerDriver& worker;
  uint64_t ops_played = 0;
};

}  // namespace replay
