// LogCapture: collects the daemon log lines a test provokes, instead of printing them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace korvel_test {

// Installs itself as the stand-in's log handler (with debug output on) for its lifetime.
class LogCapture {
 public:
  explicit LogCapture(bool debug = true);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Every line so far (debug and not), in order. Any thread.
  std::vector<std::string> Lines() const;
  // Only the always-shown lines.
  std::vector<std::string> PrintedLines() const;
  void Clear();

 private:
  struct Line {
    bool debug;
    std::string text;
  };
  mutable std::mutex lock;
  std::vector<Line> lines;  // guarded by lock
  bool previous_debug;
};

}  // namespace korvel_test
