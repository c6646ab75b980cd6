// SinkOutput: the stand-in's sink handler: records every sink call as one line, and in files.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "kv/json.h"
#include "tools/output/json_text.h"
#include "tools/output/output_file.h"
#include "tools/output/sink_files.h"

namespace replay {

// Record() runs on the plugin's worker thread, Flush() and Reopen() on the main thread; `lock`
// keeps the lines whole and in call order and guards the output stream, the sink files, the line
// being written, `failed`, `out_failed` and `written`. Count() may be read from any thread.
// Finish() is for the main thread once the worker has ended.
class SinkOutput {
 public:
  using Report = std::function<void(const std::string& message)>;

  // `out` receives the lines (`out_name` names it in messages); `files` (may be null) receives
  // the payloads per channel; `report` prints a problem (without a newline).
  SinkOutput(std::FILE* out, std::string out_name, SinkFiles* files, Report report);

  // Records one sink call. Never throws: a failure (in writing, or in reporting a failure) is
  // reported where the report can be made, the call is still counted, and Finish() returns false.
  void Record(const std::string& sink, const std::set<std::string>& channels, const json& payload,
              uint8_t flags) noexcept;

  uint64_t Count() const { return calls.load(); }
  // True while a call is being recorded (its writes may wait on a slow reader). Any thread.
  bool Busy() const { return busy.load(); }

  // Flushes the output and closes the sink files. False when any write failed.
  bool Finish();

  // Any thread, while the worker runs. Pushes what was written since the last flush to the
  // system: the output stream and the sink files.
  void Flush();
  // Flushes, then opens the output file again (through `file`, when it is not standard output:
  // null keeps the stream) and closes the sink files, which are opened again on their next
  // payload, appending. For a log rotation.
  void Reopen(OutputFile* file);

 private:
  // With lock held. Fail may throw what the report throws; FailQuietly reports `what` + `detail`
  // and drops whatever that throws.
  void Fail(const std::string& message);
  void FailQuietly(const char* what, const char* detail) noexcept;

  std::mutex lock;
  std::FILE* out;
  std::string out_name;
  SinkFiles* files;
  Report report;
  std::string line;     // the call being recorded; its storage is kept from call to call
  JsonText text{line};  // writes into `line`
  bool failed = false;
  bool out_failed = false;
  bool written = false;  // something was written since the last flush
  std::atomic<uint64_t> calls{0};
  std::atomic<bool> busy{false};
};

}  // namespace replay
