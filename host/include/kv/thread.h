// kvThread: the daemon's thread base class; a plugin's worker body runs in Entry().
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "kv/api.h"

namespace kvStandIn {
class WorkerObserver;
}

class KV_API kvThread {
 public:
  explicit kvThread(const std::string& tag);
  virtual ~kvThread();
  kvThread(const kvThread&) = delete;
  kvThread& operator=(const kvThread&) = delete;

  // Starts a POSIX thread running Entry(). An exception that leaves Entry() is logged with the
  // tag and ends the thread. Daemon thread.
  virtual void Create();
  // The worker body. Runs on the thread Create() started.
  virtual void* Entry() = 0;
  // Asks Entry() to return by setting the terminate flag. Any thread.
  virtual void Terminate();

  // Returns once Entry() has returned (at once when the thread was never started).
  void Join();

  // The thread lock: one mutex per object. Any thread.
  void Lock();
  void Unlock();

  bool ShouldTerminate() const { return terminate.load(); }
  const std::string& GetTag() const { return tag; }

  // How many times the thread started by Create() has taken the thread lock. Any thread.
  uint64_t GetThreadLockCount() const { return thread_lock_count.load(); }

  // Tells `observer` (null: nobody) what the thread started by Create() does from now on: see
  // kvStandIn::WorkerObserver. The observer must outlive the thread, or be removed before it
  // goes. Host thread.
  void SetWorkerObserver(kvStandIn::WorkerObserver* observer);
  kvStandIn::WorkerObserver* GetWorkerObserver() const { return worker_observer.load(); }

 protected:
  std::string tag;
  std::atomic<bool> terminate{false};

 private:
  static void* Trampoline(void* self);

  pthread_mutex_t lock;
  pthread_t tid{};
  std::atomic<bool> started{false};
  std::atomic<bool> joined{false};
  std::atomic<uint64_t> thread_lock_count{0};
  // Set by the host, read by the worker thread at each of its releases of the thread lock.
  std::atomic<kvStandIn::WorkerObserver*> worker_observer{nullptr};
};
