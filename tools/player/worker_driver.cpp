// WorkerDriver: the worker's start, and polling waits that tell a slow worker from a stuck one.
#include "tools/player/worker_driver.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "tools/constants.h"

namespace replay {

WorkerDriver::WorkerDriver(kvPluginProcessor& plugin_, const SinkOutput& sinks_,
                           unsigned timeout_seconds_, Progress progress_)
    : plugin(plugin_),
      sinks(sinks_),
      timeout_seconds(timeout_seconds_),
      progress(std::move(progress_)) {}

void WorkerDriver::Start() {
  if (started) return;
  try {
    plugin.Create();
  } catch (const std::exception& e) {
    throw WorkerStartError(e.what());
  }
  started = true;
  // The first pass loads the configuration before it takes the thread lock for its start; the
  // load's own install may or may not be counted, so two counted acquisitions always mean the
  // load is over.
  if (!WaitForLockCount(kLocksPerSync)) {
    throw SyncTimeout(
        "the worker stopped responding before its first pass ended (no progress for " +
        std::to_string(timeout_seconds) + " s)");
  }
}

bool WorkerDriver::WaitForLockCount(uint64_t target) {
  return WaitUntil([this, target] { return plugin.GetThreadLockCount() >= target; });
}

bool WorkerDriver::WaitUntil(const std::function<bool()>& done) {
  const auto timeout = std::chrono::seconds(timeout_seconds);
  uint64_t locks = plugin.GetThreadLockCount();
  uint64_t calls = sinks.Count();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (unsigned round = 0; !done(); round++) {
    // A worker that is about to finish is met by yielding; a busy one is polled less often.
    if (round < kWaitSpinRounds) {
      std::this_thread::yield();
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (sinks.Busy() || sinks.Count() != calls) {
      calls = sinks.Count();
      deadline = now + timeout;
    } else if (now > deadline) {
      return false;
    }
    std::this_thread::sleep_for(kSyncPollInterval);
    if (progress) progress();
    const uint64_t next = plugin.GetThreadLockCount();
    if (next != locks) deadline = std::chrono::steady_clock::now() + timeout;
    locks = next;
  }
  return true;
}

}  // namespace replay
