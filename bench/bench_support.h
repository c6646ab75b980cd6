// Helpers of the benchmarks: a plugin with a running worker and a counting sink, configuration
// files, and the process's memory and CPU clocks.
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "plugin/plugin.h"

namespace korvel_bench {

// A configuration file with the given text, removed again by the destructor.
class ConfigFile {
 public:
  explicit ConfigFile(const std::string& text);
  ~ConfigFile();
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;

  const std::string& Path() const { return path; }

 private:
  std::string path;
};

// A plugin made over `configuration` (no worker started), for the benchmarks that call its
// operations directly on their own thread.
std::unique_ptr<kppPlugin> MakeIdlePlugin(const ConfigFile& configuration);

// A plugin whose worker runs over the given configuration, with the stand-in's sink handler
// installed to count sink calls and to learn the worker thread's CPU clock. Made and destroyed
// on the benchmark thread; the counters are updated by the worker thread inside its sink calls.
class RunningPlugin {
 public:
  explicit RunningPlugin(const std::string& configuration);
  ~RunningPlugin();
  RunningPlugin(const RunningPlugin&) = delete;
  RunningPlugin& operator=(const RunningPlugin&) = delete;

  kppPlugin& Plugin() { return *plugin; }

  // Arms the sink: Wait returns once `calls` more sink calls have arrived. Benchmark thread.
  void Expect(uint64_t calls);
  // Blocks until the armed number of calls has arrived. Benchmark thread.
  void Wait();

  // Sink calls so far. Any thread.
  uint64_t Calls() const { return calls.load(); }

  // CPU time the worker thread has used, in seconds; 0 until the worker's first sink call.
  double WorkerCpuSeconds() const;

 private:
  // The sink handler's body. Worker thread.
  void OnSinkCall();

  ConfigFile config;
  std::unique_ptr<kppPlugin> plugin;

  std::atomic<uint64_t> calls{0};
  std::atomic<uint64_t> target{0};
  std::atomic<bool> has_worker_clock{false};
  clockid_t worker_clock{};  // written once, before has_worker_clock is set
  // Guards `reached`; the worker takes it only for the call that reaches the target.
  std::mutex lock;
  std::condition_variable wake;
  bool reached = false;
};

// CPU time of the calling thread, in seconds.
double ThreadCpuSeconds();

// Resident memory of the process now, in bytes.
size_t ResidentBytes();
// Starts a new peak of resident memory at the current value (Linux: clear_refs 5); false when the
// kernel refuses.
bool ResetPeakResident();
// The peak of resident memory since the last reset (or the start), in bytes.
size_t PeakResidentBytes();

// Bytes the allocator has handed out and not yet taken back, small and mapped blocks together.
size_t HeapInUse();

// korvel-bench started with this option followed by a count queues that many events in an idle
// plugin and prints the resident memory they added, the peak it added and sizeof(kppFlowEvent),
// for BM_QueueMemory, which starts it; RunQueueMemoryChild does the work and returns the exit
// status.
constexpr const char kQueueMemoryChildOption[] = "--korvel_queue_memory_child=";
int RunQueueMemoryChild(size_t count);

// korvel-bench started with one of these options followed by a path writes that capture and
// exits, for bench/run's memory runs: the capture benchmarks' 1,000,000 packets of 100,000 flows,
// or kOnePacketFlows UDP flows of one packet each.
constexpr const char kWriteMixedCaptureOption[] = "--korvel_write_mixed_capture=";
constexpr const char kWriteOnePacketFlowsOption[] = "--korvel_write_one_packet_flows=";

}  // namespace korvel_bench
