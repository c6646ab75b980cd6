// ThreadLockGuard: holds a kvThread's thread lock for a scope.
#pragma once

#include "kv/thread.h"

// Holds the thread lock (kvThread::Lock/Unlock) from construction to the end of the scope,
// exceptions included. Any thread may use one.
class ThreadLockGuard {
 public:
  explicit ThreadLockGuard(kvThread& thread_) : thread(thread_) { thread.Lock(); }
  ~ThreadLockGuard() { thread.Unlock(); }
  ThreadLockGuard(const ThreadLockGuard&) = delete;
  ThreadLockGuard& operator=(const ThreadLockGuard&) = delete;

 private:
  kvThread& thread;
};
