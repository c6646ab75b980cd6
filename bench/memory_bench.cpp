// The resident memory that 1,000,000 queued flow events add to the process, against their
// sizeof total; measured in a fresh process, so that no memory freed by earlier benchmarks is
// reused and hides what the queue takes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "bench/sample_flow.h"

namespace korvel_bench {

int RunQueueMemoryChild(size_t count) {
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  auto flow = MakeSampleFlow(iface);
  const ConfigFile config("{}");
  // No worker runs, so every event stays queued.
  auto plugin = MakeIdlePlugin(config);
  plugin->channel_types.store(kppChannelConfig::TYPE_STREAM_FLOWS);
  const size_t before = ResidentBytes();
  const bool peak_known = ResetPeakResident();
  for (size_t i = 0; i < count; i++) {
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, flow);
  }
  const size_t after = ResidentBytes();
  const size_t peak = peak_known ? PeakResidentBytes() : after;
  if (plugin->event_queue.size() != count) return 1;
  std::printf("%zu %zu %zu\n", after - before, (peak > before ? peak - before : 0),
              sizeof(kppFlowEvent));
  return 0;
}

}  // namespace korvel_bench

namespace {

void BM_QueueMemory(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) {
    state.SkipWithError("cannot find this program");
    return;
  }
  self[length] = '\0';
  const std::string command = std::string("'") + self + "' " +
                              korvel_bench::kQueueMemoryChildOption + std::to_string(count);
  size_t added = 0;
  size_t peak = 0;
  size_t size = 0;
  for (auto _ : state) {
    FILE* child = popen(command.c_str(), "r");
    const int read = child != nullptr ? std::fscanf(child, "%zu %zu %zu", &added, &peak, &size) : 0;
    const int status = child != nullptr ? pclose(child) : -1;
    if (read != 3 || status != 0) {
      state.SkipWithError("the measuring process failed");
      return;
    }
  }
  const double total = static_cast<double>(count) * static_cast<double>(size);
  state.counters["rss_per_event_ratio"] = static_cast<double>(added) / total;
  state.counters["peak_rss_per_event_ratio"] = static_cast<double>(peak) / total;
  state.counters["sizeof_event"] = static_cast<double>(size);
}
BENCHMARK(BM_QueueMemory)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
