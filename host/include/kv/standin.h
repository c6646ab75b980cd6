// Controls of the stand-in daemon library for the programs that host a plugin without the daemon:
// tests, the replay tool and the benchmarks. The plugin never includes this.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "kv/api.h"
#include "kv/json.h"

namespace kvStandIn {

// Receives every kvPlugin::DispatchSinkPayload call, on the calling (worker) thread.
using SinkHandler = std::function<void(const std::string& sink,
                                       const std::set<std::string>& channels,
                                       const json& payload, uint8_t flags)>;

// Receives every log line (debug lines only while debug output is on) instead of standard error.
using LogHandler = std::function<void(bool debug, const std::string& line)>;

// Installs a handler (an empty function removes it). Calls already running finish with the old
// one. Any thread.
KV_API void SetSinkHandler(SinkHandler handler);
KV_API void SetLogHandler(LogHandler handler);

// Switches kv_dprintf output on or off (off at start). Any thread.
KV_API void SetDebug(bool enabled);
KV_API bool GetDebug();

// What a host is told of the worker thread of one kvThread (kvThread::SetWorkerObserver), on the
// worker thread itself, at the moment it happens. A call must not take that kvThread's lock nor
// throw.
class KV_API WorkerObserver {
 public:
  virtual ~WorkerObserver();
  // The worker has let go of the thread lock after a hold of its own.
  virtual void WorkerReleasedLock() noexcept = 0;
  // The worker is logging a line with this format (kv_printf, or kv_dprintf whether or not debug
  // output is on).
  virtual void WorkerLogs(const char* format) noexcept = 0;
  // Entry() has returned or thrown; the thread ends.
  virtual void WorkerEnded() noexcept = 0;
};

// Told, on one thread that does not run the kvThread, just before that thread lets go of a
// kvThread's lock: what the holder did under the lock is done, and the worker cannot have seen
// it yet. A call must not take that kvThread's lock nor throw.
class KV_API LockWatcher {
 public:
  virtual ~LockWatcher();
  virtual void BeforeUnlock() noexcept = 0;
};

// Sets the watcher of the calling thread (null: none) and returns the one it replaces. Calling
// thread.
KV_API LockWatcher* WatchLocksHere(LockWatcher* watcher);

}  // namespace kvStandIn
