// WorkerDriver: the worker's start, the hand-over tokens, and waits that the worker's own steps
// end.
#include "tools/player/worker_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "tools/constants.h"
#include "tools/player/hand_off.h"

namespace replay {

WorkerDriver::WorkerDriver(kvPluginProcessor& plugin_, const SinkOutput& sinks_,
                           unsigned timeout_seconds_)
    : plugin(plugin_),
      sinks(sinks_),
      timeout_seconds(timeout_seconds_),
      main_thread(std::this_thread::get_id()) {
  plugin.SetWorkerObserver(this);
}

WorkerDriver::~WorkerDriver() {
  // A worker that never started tells nothing; one that started has ended and been joined.
  if (observing && !started) plugin.SetWorkerObserver(nullptr);
}

void WorkerDriver::StopObserving() {
  if (observing) plugin.SetWorkerObserver(nullptr);
  observing = false;
}

std::string WorkerDriver::StoppedMessage(const std::string& what) const {
  const std::string since = " (no progress for " + std::to_string(timeout_seconds) + " s)";
  if (what.empty()) return "the worker stopped responding before its first pass ended" + since;
  return what + ": the worker stopped responding" + since;
}

void WorkerDriver::Start() {
  if (started) return;
  try {
    plugin.Create();
  } catch (const std::exception& e) {
    throw WorkerStartError(e.what());
  }
  started = true;
  // The first pass loads the configuration before it first takes the thread lock (to install it,
  // or to look for events after a load that failed).
  Wait("", [this] { return releases > 0; });
}

void WorkerDriver::ReloadRequested() {
  std::lock_guard<std::mutex> guard(mutex);
  load_wanted = loads_begun + 1;
}

void WorkerDriver::WaitReleased(const char* what) {
  Wait(what, [this] { return tokens_live == 0; });
}

void WorkerDriver::WaitPassEnded(const char* what) {
  Wait(what, [this] {
    return tokens_live == 0 && !pass_open && (load_wanted == 0 || loads_done >= load_wanted);
  });
  std::lock_guard<std::mutex> guard(mutex);
  load_wanted = 0;
}

void WorkerDriver::Wait(const char* what, const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  const auto timeout = std::chrono::seconds(timeout_seconds);
  std::unique_lock<std::mutex> lock(mutex);
  uint64_t seen = activity;
  uint64_t calls = sinks.Count();
  auto deadline = Clock::now() + timeout;
  auto redraw = Clock::now() + kProgressInterval;
  auto quiet_since = Clock::now();
  while (!done() && !ended) {
    // The worker's steps notify `changed`; the wait wakes by itself only to rouse a worker that
    // missed its wake-up, to redraw the progress line and to tell a stuck worker.
    auto wake = std::min(deadline, redraw);
    if (tokens_live > 0) wake = std::min(wake, quiet_since + kWakeCheckInterval);
    changed.wait_until(lock, wake);
    if (done() || ended) break;
    const auto now = Clock::now();
    if (activity != seen || sinks.Count() != calls || sinks.Busy()) {
      seen = activity;
      calls = sinks.Count();
      deadline = now + timeout;
      quiet_since = now;
    } else if (now >= deadline) {
      throw SyncTimeout(StoppedMessage(what));
    }
    if (tokens_live > 0 && now >= quiet_since + kWakeCheckInterval) {
      // Flows handed over, and not a step of the worker for a while: its wake-up may have been
      // lost between its last look at the queue and its wait.
      quiet_since = now;
      lock.unlock();
      Rouse();
      lock.lock();
    }
    if (progress && now >= redraw) {
      redraw = now + kProgressInterval;
      lock.unlock();
      progress();
      lock.lock();
    }
  }
}

void WorkerDriver::Rouse() {
  // A walk of a map without buckets queues nothing, and wakes the worker only if events are
  // waiting in its queue.
  try {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &no_flows);
  } catch (const std::exception&) {
    // The wake-up failed: the worker's own wait ends the wait instead.
  }
}

std::shared_ptr<HandOffToken> WorkerDriver::NewToken() {
  {
    std::lock_guard<std::mutex> guard(mutex);
    tokens_live++;
  }
  return std::make_shared<HandOffToken>(*this);
}

void WorkerDriver::TokenEnded() noexcept {
  // On the worker it ends at the plugin's release of the last of its flows, which a release of
  // the thread lock (the next pass's start) must follow before the pass counts as over.
  const bool on_worker = std::this_thread::get_id() != main_thread;
  {
    std::lock_guard<std::mutex> guard(mutex);
    tokens_live--;
    activity++;
    if (on_worker) pass_open = true;
  }
  changed.notify_all();
}

void WorkerDriver::WorkerReleasedLock() noexcept {
  {
    std::lock_guard<std::mutex> guard(mutex);
    releases++;
    activity++;
    pass_open = false;
    loads_done = loads_begun;
  }
  changed.notify_all();
}

void WorkerDriver::WorkerLogs(const char* format) noexcept {
  if (std::strcmp(format, kLoadingFormat) != 0) return;
  {
    std::lock_guard<std::mutex> guard(mutex);
    loads_begun++;
    activity++;
  }
  changed.notify_all();
}

void WorkerDriver::WorkerEnded() noexcept {
  {
    std::lock_guard<std::mutex> guard(mutex);
    ended = true;
    pass_open = false;
  }
  changed.notify_all();
}

}  // namespace replay
