// WorkerDriver: the worker's start, the hand-over tokens, and waits that the worker's own steps
// end.
#include "tools/player/worker_driver.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <utility>

#include "tools/constants.h"
#include "tools/player/hand_off.h"

namespace replay {

namespace {
// Set while the worker lets go of the deferred tokens at a release of the thread lock: a token
// that ends there ends after the plugin's last release of it, at a release of the thread lock.
thread_local bool releasing_deferred = false;
}  // namespace

WorkerDriver::WorkerDriver(kvPluginProcessor& plugin_, const SinkOutput& sinks_,
                           unsigned timeout_seconds_)
    : plugin(plugin_),
      sinks(sinks_),
      timeout_seconds(timeout_seconds_),
      main_thread(std::this_thread::get_id()) {
  plugin.SetWorkerObserver(this);
}

WorkerDriver::~WorkerDriver() {
  plugin.SetWorkerObserver(nullptr);
  std::vector<std::shared_ptr<HandOffToken>> left;
  {
    std::lock_guard<std::mutex> guard(mutex);
    left.swap(deferred);
  }
  // Ended here, while the members TokenEnded uses are still alive.
  left.clear();
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
  while (!done() && !ended) {
    // The worker's steps notify `changed`; the wait wakes by itself only to redraw the progress
    // line and to tell a stuck worker.
    changed.wait_until(lock, std::min(deadline, Clock::now() + kProgressInterval));
    if (done() || ended) break;
    const auto now = Clock::now();
    if (activity != seen || sinks.Count() != calls || sinks.Busy()) {
      seen = activity;
      calls = sinks.Count();
      deadline = now + timeout;
    } else if (now >= deadline) {
      throw SyncTimeout(StoppedMessage(what));
    }
    if (progress) {
      lock.unlock();
      progress();
      lock.lock();
    }
  }
}

std::shared_ptr<HandOffToken> WorkerDriver::NewToken() {
  {
    std::lock_guard<std::mutex> guard(mutex);
    tokens_live++;
  }
  return std::make_shared<HandOffToken>(*this);
}

void WorkerDriver::CallDone(std::shared_ptr<HandOffToken> token, bool may_keep) {
  if (may_keep) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!ended) {
      deferred.push_back(std::move(token));
      return;
    }
  }
  // Nothing was queued (or no worker is left to queue for): the token ends here.
  token.reset();
}

void WorkerDriver::TokenEnded() noexcept {
  const bool on_worker = std::this_thread::get_id() != main_thread && !releasing_deferred;
  {
    std::lock_guard<std::mutex> guard(mutex);
    tokens_live--;
    activity++;
    if (on_worker) pass_open = true;
  }
  changed.notify_all();
}

void WorkerDriver::WorkerReleasedLock() noexcept {
  std::vector<std::shared_ptr<HandOffToken>> due;
  {
    std::lock_guard<std::mutex> guard(mutex);
    releases++;
    activity++;
    pass_open = false;
    loads_done = loads_begun;
    due.swap(deferred);
  }
  releasing_deferred = true;
  due.clear();
  releasing_deferred = false;
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
  std::vector<std::shared_ptr<HandOffToken>> due;
  {
    std::lock_guard<std::mutex> guard(mutex);
    ended = true;
    pass_open = false;
    due.swap(deferred);
  }
  releasing_deferred = true;
  due.clear();
  releasing_deferred = false;
  changed.notify_all();
}

}  // namespace replay
