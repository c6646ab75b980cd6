// SinkRecorder: records every sink call a plugin makes, for tests to compare.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kv/json.h"

namespace korvel_test {

struct SinkCall {
  std::string sink;
  std::set<std::string> channels;
  json payload;
  uint8_t flags;
};

// Installs itself as the stand-in's sink handler for its lifetime.
class SinkRecorder {
 public:
  SinkRecorder();
  ~SinkRecorder();
  SinkRecorder(const SinkRecorder&) = delete;
  SinkRecorder& operator=(const SinkRecorder&) = delete;

  std::vector<SinkCall> Calls() const;
  size_t Count() const;
  void Clear();

 private:
  mutable std::mutex lock;
  std::vector<SinkCall> calls;  // guarded by lock
};

}  // namespace korvel_test
