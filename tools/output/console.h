// Console: standard error, shared by log lines, messages and the progress line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace replay {

// What the progress line of a live capture shows.
struct LiveProgressFigures {
  uint64_t packets = 0;
  uint64_t flows = 0;
  uint64_t documents = 0;  // sink calls
  uint64_t dropped = 0;    // frames the capture lost
  double packets_per_s = 0;
  double documents_per_s = 0;
};

// Line() may be called from any thread (the daemon log is written from the plugin's worker);
// Progress() and EndProgress() from the main thread. `lock` guards everything below it.
class Console {
 public:
  // `progress`: whether the progress line may be drawn (standard error is a terminal, no -q).
  // `stream` is standard error but for tests.
  explicit Console(bool progress, std::FILE* stream = stderr);

  // Writes `text` as a whole line (a newline is added when missing), above the progress line.
  void Line(const std::string& text);
  // A message of the tool's own: Line() of "korvel-replay: " and `message`.
  void Report(const std::string& message);
  // Redraws the progress line when playing has gone on long enough and it is due.
  void Progress(uint64_t ops, uint64_t calls);
  // The same for a live capture: what it has seen so far, and per second since the last call.
  void LiveProgress(const LiveProgressFigures& figures);
  // Erases the progress line for good.
  void EndProgress();

 private:
  void Erase();  // with lock held
  // Draws `text` as the progress line when it is due.
  void Draw(const std::string& text);

  std::mutex lock;
  std::FILE* stream;
  bool enabled;
  bool shown = false;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last_draw;
};

}  // namespace replay
