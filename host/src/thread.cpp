// kvThread: runs a plugin's Entry() on a POSIX thread and owns its thread lock.
#include "kv/thread.h"

#include <cstring>
#include <exception>
#include <string>

#include "kv/exception.h"
#include "kv/log.h"
#include "kv/standin.h"
#include "worker_log.h"

namespace {
// The kvThread whose Entry() runs on the calling thread, set before Entry() starts, so that the
// thread's very first Lock() is already counted (pthread_create may return after it). Every
// Lock() reads it, on daemon threads too, so it lives in the static TLS block: one load instead
// of a __tls_get_addr call per lock.
__attribute__((tls_model("initial-exec"))) thread_local const kvThread* running_thread = nullptr;
// The calling thread's watcher of the kvThread locks it lets go of.
__attribute__((tls_model("initial-exec"))) thread_local kvStandIn::LockWatcher* lock_watcher =
    nullptr;

// Lets the observer of the calling worker thread's kvThread know, if there is one.
template <typename Tell>
void TellObserver(const kvThread* thread, Tell tell) noexcept {
  if (thread == nullptr) return;
  if (kvStandIn::WorkerObserver* observer = thread->GetWorkerObserver()) tell(*observer);
}
}  // namespace

kvStandIn::WorkerObserver::~WorkerObserver() = default;

kvStandIn::LockWatcher::~LockWatcher() = default;

kvStandIn::LockWatcher* kvStandIn::WatchLocksHere(LockWatcher* watcher) {
  LockWatcher* previous = lock_watcher;
  lock_watcher = watcher;
  return previous;
}

void kvStandInTellWorkerLog(const char* format) noexcept {
  TellObserver(running_thread,
               [format](kvStandIn::WorkerObserver& observer) { observer.WorkerLogs(format); });
}

kvThread::kvThread(const std::string& tag_) : tag(tag_) {
  const int rc = pthread_mutex_init(&lock, nullptr);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_init", strerror(rc));
}

kvThread::~kvThread() {
  Join();
  pthread_mutex_destroy(&lock);
}

void kvThread::Create() {
  if (started.load()) {
    throw kvException("%s: %s: %s", tag.c_str(), "pthread_create", strerror(EALREADY));
  }
  const int rc = pthread_create(&tid, nullptr, &kvThread::Trampoline, this);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_create", strerror(rc));
  started.store(true);
}

void* kvThread::Trampoline(void* self) {
  auto* thread = static_cast<kvThread*>(self);
  running_thread = thread;
  void* result = nullptr;
  // The daemon logs what escapes a thread body and lets the thread end; the process goes on.
  try {
    result = thread->Entry();
  } catch (const std::exception& e) {
    kv_printf("%s: %s\n", thread->tag.c_str(), e.what());
  } catch (const std::string& text) {
    kv_printf("%s: %s\n", thread->tag.c_str(), text.c_str());
  } catch (...) {
    kv_printf("%s: %s\n", thread->tag.c_str(), "unknown exception");
  }
  TellObserver(thread, [](kvStandIn::WorkerObserver& observer) { observer.WorkerEnded(); });
  running_thread = nullptr;
  return result;
}

void kvThread::SetWorkerObserver(kvStandIn::WorkerObserver* observer) {
  worker_observer.store(observer);
}

void kvThread::Terminate() { terminate.store(true); }

void kvThread::Join() {
  if (!started.load() || joined.exchange(true)) return;
  pthread_join(tid, nullptr);
}

void kvThread::Lock() {
  const int rc = pthread_mutex_lock(&lock);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_lock", strerror(rc));
  if (running_thread == this) thread_lock_count.fetch_add(1);
}

void kvThread::Unlock() {
  if (running_thread != this && lock_watcher != nullptr) lock_watcher->BeforeUnlock();
  const int rc = pthread_mutex_unlock(&lock);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_unlock", strerror(rc));
  if (running_thread == this) {
    TellObserver(this, [](kvStandIn::WorkerObserver& observer) { observer.WorkerReleasedLock(); });
  }
}
