// SinkRecorder: records every sink call a plugin makes, for tests to compare.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kv/json.h"
#include "kv/standin.h"

namespace korvel_test {

struct SinkCall {
  std::string sink;
  std::set<std::string> channels;
  json payload;
  uint8_t flags;
};

// Installs itself as the stand-in's sink handler for its lifetime and keeps a copy of every
// document handed to the sink dispatch.
class SinkRecorder {
 public:
  SinkRecorder() {
    kvStandIn::SetSinkHandler([this](const std::string& sink, const std::set<std::string>& channels,
                                     const json& payload, uint8_t flags) {
      std::lock_guard<std::mutex> guard(lock);
      calls.push_back({sink, channels, payload, flags});
    });
  }
  ~SinkRecorder() { kvStandIn::SetSinkHandler(nullptr); }
  SinkRecorder(const SinkRecorder&) = delete;
  SinkRecorder& operator=(const SinkRecorder&) = delete;

  std::vector<SinkCall> Calls() const {
    std::lock_guard<std::mutex> guard(lock);
    return calls;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> guard(lock);
    return calls.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock);
    calls.clear();
  }

 private:
  mutable std::mutex lock;
  std::vector<SinkCall> calls;  // guarded by lock
};

}  // namespace korvel_test
