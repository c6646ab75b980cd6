// WorkerDriver: starts the plugin's worker and waits on its progress, for either event source.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "kv/plugin.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"

namespace replay {

// A wait on the worker ran out of time: the worker stopped answering.
class SyncTimeout : public std::runtime_error {
 public:
  explicit SyncTimeout(const std::string& message) : std::runtime_error(message) {}
};

// The worker thread could not be started.
class WorkerStartError : public std::runtime_error {
 public:
  explicit WorkerStartError(const std::string& message) : std::runtime_error(message) {}
};

// Main thread only (the thread that stands for the daemon's). The worker counts as answering
// while it takes its thread lock, makes sink calls or is inside one; it has stopped answering
// only after a whole timeout without any of these.
class WorkerDriver {
 public:
  using Progress = std::function<void()>;

  // `progress` is called while a wait polls, to redraw the progress line.
  WorkerDriver(kvPluginProcessor& plugin, const SinkOutput& sinks, unsigned timeout_seconds,
               Progress progress);

  // Starts the worker unless it runs already, and waits until it has loaded its configuration
  // once. Throws WorkerStartError, or SyncTimeout.
  void Start();
  bool Started() const { return started; }

  // Waits until the worker has taken its thread lock `target` times in all. False on timeout.
  bool WaitForLockCount(uint64_t target);
  // Waits until `done` holds, polling; false when the worker showed no progress for a whole
  // timeout meanwhile.
  bool WaitUntil(const std::function<bool()>& done);

  uint64_t LockCount() const { return plugin.GetThreadLockCount(); }
  unsigned TimeoutSeconds() const { return timeout_seconds; }

 private:
  kvPluginProcessor& plugin;
  const SinkOutput& sinks;
  unsigned timeout_seconds;
  Progress progress;
  bool started = false;
};

}  // namespace replay
