// WorkerDriver: starts the plugin's worker and waits, told by the stand-in, until it has done the
// work it was handed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "kv/flow_map.h"
#include "kv/plugin.h"
#include "kv/standin.h"
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

// One call's hand-over of flows to the plugin (see HandOff); it ends when the plugin has let go
// of every pointer to them. Made on the main thread, ended on any.
class HandOffToken;

// Owned by the thread that stands for the daemon's (the main thread), which makes every call
// but the WorkerObserver ones; those come from the worker. Once Start() has run it must outlive
// the worker thread: destroy it only after kvThread::Join(), and before the plugin.
//
// What the worker has done is told, never polled:
// - every flow is handed to the plugin as a pointer that shares a HandOffToken, which the tool
//   lets go of as the call lets go of the thread lock (see HandOff): the token ends when the
//   plugin has let go of all its copies, on the worker, or at once if it queued none;
// - the worker takes the thread lock at the start of every pass, so a release of it after a
//   token ended on the worker means that the pass which encoded its flows is over, periodic
//   payloads and all;
// - the plugin logs the start of each configuration load; the next release of the thread lock
//   comes after the load is installed or refused.
// The worker counts as answering while it releases the thread lock, ends a token, makes sink
// calls or is inside one; a wait fails only after a whole timeout without any of these. A wait
// that sees none of them for a moment wakes the worker the way a walk of the daemon's does, in
// case it missed its wake-up between its last look at the queue and its wait.
class WorkerDriver final : public kvStandIn::WorkerObserver {
 public:
  using Progress = std::function<void()>;

  // The format of the line the plugin logs as a configuration load begins.
  static constexpr const char* kLoadingFormat = "%s: Loading configuration: %s\n";

  WorkerDriver(kvPluginProcessor& plugin, const SinkOutput& sinks, unsigned timeout_seconds);
  ~WorkerDriver() override;
  WorkerDriver(const WorkerDriver&) = delete;
  WorkerDriver& operator=(const WorkerDriver&) = delete;

  // Called while a wait lasts, at most every progress interval, to redraw the progress line.
  void SetProgress(Progress progress_) { progress = std::move(progress_); }

  // Starts the worker unless it runs already, and waits until its first pass has loaded the
  // configuration. Throws WorkerStartError, or SyncTimeout.
  void Start();
  bool Started() const { return started; }
  // Takes the driver off the plugin before the plugin goes (the driver may outlive it, and its
  // end then leaves the plugin alone). Main thread, with the worker ended or never started.
  void StopObserving();

  // A reload has just been asked for: the next WaitPassEnded also waits for a configuration load
  // that began after now.
  void ReloadRequested();
  // Waits until the plugin holds none of the flows handed to it. Throws SyncTimeout, its text
  // starting with `what`.
  void WaitReleased(const char* what);
  // The same, and then until the worker's pass that let go of the last of them has ended, and a
  // reload asked for has been applied.
  void WaitPassEnded(const char* what);

  // For HandOff: a token begins.
  std::shared_ptr<HandOffToken> NewToken();
  // A token has ended, on the thread that let go of it last.
  void TokenEnded() noexcept;

  void WorkerReleasedLock() noexcept override;
  void WorkerLogs(const char* format) noexcept override;
  void WorkerEnded() noexcept override;

 private:
  // Waits until `done` (called under `mutex`) holds or the worker has ended.
  void Wait(const char* what, const std::function<bool()>& done);
  // Wakes the worker if events wait in its queue, as a walk of the daemon's does.
  void Rouse();
  std::string StoppedMessage(const std::string& what) const;

  kvPluginProcessor& plugin;
  const SinkOutput& sinks;
  const unsigned timeout_seconds;
  Progress progress;                  // main thread
  bool started = false;               // main thread
  bool observing = true;              // main thread: set as the plugin's observer
  const std::thread::id main_thread;  // the thread that stands for the daemon's
  kvFlowMap no_flows{0};              // walked by Rouse; main thread

  // Guards what follows; `changed` is notified whenever any of it changes.
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t releases = 0;     // the worker's releases of the thread lock
  uint64_t tokens_live = 0;  // tokens made and not yet ended
  bool pass_open = false;    // a token ended on the worker after its last release
  uint64_t loads_begun = 0;  // configuration loads the worker has begun
  uint64_t loads_done = 0;   // loads_begun as of the worker's last release
  uint64_t load_wanted = 0;  // the load a pending reload waits for (0: none)
  uint64_t activity = 0;     // anything the worker did, for telling it answers
  bool ended = false;        // the worker thread has ended
};

}  // namespace replay
