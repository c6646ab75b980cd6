// kv_printf and kv_dprintf: the daemon's log, written to standard error or to a host's handler.
#include "kv/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "kv/standin.h"
#include "vformat.h"
#include "worker_log.h"

namespace {

std::atomic<bool> debug_enabled{false};

// The installed handler; replaced by SetLogHandler. Guarded by handler_lock.
std::mutex handler_lock;
std::shared_ptr<const kvStandIn::LogHandler> log_handler;

void Emit(bool debug, const std::string& line) {
  std::shared_ptr<const kvStandIn::LogHandler> handler;
  {
    std::lock_guard<std::mutex> guard(handler_lock);
    handler = log_handler;
  }
  if (handler) {
    (*handler)(debug, line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void kv_printf(const char* format, ...) {
  kvStandInTellWorkerLog(format);
  va_list args;
  va_start(args, format);
  std::string line = kvStandIn::VFormat(format, args);
  va_end(args);
  Emit(false, line);
}

void kv_dprintf(const char* format, ...) {
  kvStandInTellWorkerLog(format);
  if (!debug_enabled.load()) return;
  va_list args;
  va_start(args, format);
  std::string line = kvStandIn::VFormat(format, args);
  va_end(args);
  Emit(true, line);
}

namespace kvStandIn {

void SetLogHandler(LogHandler handler) {
  auto next = handler ? std::make_shared<const LogHandler>(std::move(handler)) : nullptr;
  std::lock_guard<std::mutex> guard(handler_lock);
  log_handler = std::move(next);
}

void SetDebug(bool enabled) { debug_enabled.store(enabled); }
bool GetDebug() { return debug_enabled.load(); }

}  // namespace kvStandIn
