// LogCapture: collects the daemon log lines a test provokes, instead of printing them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "kv/standin.h"

namespace korvel_test {

// Installs itself as the stand-in's log handler (with debug output on, unless told otherwise)
// for its lifetime, and puts back the debug setting it found.
class LogCapture {
 public:
  explicit LogCapture(bool debug = true) : previous_debug(kvStandIn::GetDebug()) {
    kvStandIn::SetDebug(debug);
    kvStandIn::SetLogHandler([this](bool is_debug, const std::string& text) {
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back({is_debug, text});
    });
  }
  ~LogCapture() {
    kvStandIn::SetLogHandler(nullptr);
    kvStandIn::SetDebug(previous_debug);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Every line so far (debug and not), in order. Any thread.
  std::vector<std::string> Lines() const { return Select(true); }
  // Only the always-shown lines.
  std::vector<std::string> PrintedLines() const { return Select(false); }
  void Clear() {
    std::lock_guard<std::mutex> guard(lock);
    lines.clear();
  }

 private:
  std::vector<std::string> Select(bool with_debug) const {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::string> out;
    for (const Line& line : lines) {
      if (with_debug || !line.debug) out.push_back(line.text);
    }
    return out;
  }

  struct Line {
    bool debug;
    std::string text;
  };
  mutable std::mutex lock;
  std::vector<Line> lines;  // guarded by lock
  bool previous_debug;
};

}  // namespace korvel_test
