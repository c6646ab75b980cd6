// The worker's whole road for one flow event (queued, taken over, filtered with two cached
// expressions, encoded, dispatched to a sink that does nothing), per event, in CPU time of the
// queueing thread and of the worker together.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/sample_flow.h"
#include "kv/flow_map.h"

namespace {

// A batch of DPI events: this many events, all for one flow, as the encoder's own benchmark
// encodes one flow, so that both encode alike and the ratio shows what the worker adds.
constexpr size_t kDpiBatch = 256;
// A batch of flow statistics: one walk of a map of this many flows, distinct since each files an
// encoding of its own, spread over four interfaces.
constexpr size_t kWalkFlows = 64;

// Two filters: the first matches no flow of the batch, the second every one, so both are
// evaluated for every event. One channel takes both kinds of flow-event dispatch, so every
// document reaches the sink twice; legacy-socket also lets the flow-map walk queue events, and
// legacy-http makes each flow-statistics event file its full encoding for the legacy document.
constexpr const char* kWorkerConfiguration = R"({
    "flow_filters": ["ip_version == 6 || vlan_id == 7",
                     "detected_protocol_name == 'TLS.Example' && local_port == 51000"],
    "sinks": {"bench": {"flows": {"types": ["legacy-http", "legacy-socket", "stream-flows"]}}}})";

// What one batch of a kind is made of, and how to queue it.
class Batch {
 public:
  explicit Batch(uint16_t kind_) : kind(kind_), map(kWalkFlows) {
    for (int i = 0; i < 4; i++) {
      interfaces.push_back(
          std::make_shared<kvInterface>("eth" + std::to_string(i), kvInterface::ROLE_LAN));
    }
    if (kind == kvPluginProcessor::EVENT_FLOW_MAP) {
      char key[32];
      for (size_t i = 0; i < kWalkFlows; i++) {
        auto walked = korvel_bench::MakeSampleFlow(interfaces[i % interfaces.size()],
                                                   korvel_bench::kSampleDigest + i);
        std::snprintf(key, sizeof(key), "flow-%zu", i);
        map.Insert(key, walked);
      }
    } else {
      flow = korvel_bench::MakeSampleFlow(interfaces[0]);
    }
  }

  size_t Events() const {
    return kind == kvPluginProcessor::EVENT_FLOW_MAP ? kWalkFlows : kDpiBatch;
  }

  // Two sink calls per event; after a flow-statistics batch the update's legacy family adds the
  // legacy document, "agent_hello" and "agent_status".
  uint64_t SinkCalls() const {
    return 2 * Events() + (kind == kvPluginProcessor::EVENT_FLOW_MAP ? 3 : 0);
  }

  // Single-flow events one by one; for flow statistics the end of an update and then one walk,
  // so the update's payloads follow the batch and interface_flows is emptied after each.
  void Queue(kppPlugin& plugin) {
    if (kind == kvPluginProcessor::EVENT_FLOW_MAP) {
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
    } else {
      for (size_t i = 0; i < kDpiBatch; i++) {
        plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(kind), flow);
      }
    }
  }

 private:
  uint16_t kind;
  std::vector<std::shared_ptr<kvInterface>> interfaces;
  std::shared_ptr<kvFlow> flow;
  kvFlowMap map;
};

void BM_WorkerEvent(benchmark::State& state) {
  Batch batch(static_cast<uint16_t>(state.range(0)));
  korvel_bench::RunningPlugin running(kWorkerConfiguration);
  kppPlugin& plugin = running.Plugin();

  // One batch before the clock starts: the worker's first sink call tells its CPU clock, and the
  // queues and caches reach their steady sizes.
  running.Expect(batch.SinkCalls());
  batch.Queue(plugin);
  running.Wait();

  double per_event_ns = 0.0;
  for (auto _ : state) {
    running.Expect(batch.SinkCalls());
    const double worker_start = running.WorkerCpuSeconds();
    const double queue_start = korvel_bench::ThreadCpuSeconds();
    batch.Queue(plugin);
    const double queue_end = korvel_bench::ThreadCpuSeconds();
    running.Wait();
    const double worker_end = running.WorkerCpuSeconds();
    const double seconds = (queue_end - queue_start) + (worker_end - worker_start);
    state.SetIterationTime(seconds);
    per_event_ns += seconds * 1e9 / static_cast<double>(batch.Events());
  }
  // The clock above is per batch; this is the same figure per event.
  state.counters["ns_per_event"] =
      benchmark::Counter(per_event_ns, benchmark::Counter::kAvgIterations);
}
// The argument is the event kind: 8 (DPI complete) or 1 (flow statistics from a walk).
BENCHMARK(BM_WorkerEvent)->Arg(kvPluginProcessor::EVENT_DPI_COMPLETE)->UseManualTime();
BENCHMARK(BM_WorkerEvent)->Arg(kvPluginProcessor::EVENT_FLOW_MAP)->UseManualTime();

// Ending a worker that waits for work: Terminate() wakes it, so Join() returns at once instead of
// at the end of its one-second wait.
void BM_WorkerTerminateIdle(benchmark::State& state) {
  const korvel_bench::ConfigFile config(kWorkerConfiguration);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<kppPlugin> plugin = korvel_bench::MakeIdlePlugin(config);
    plugin->Create();
    // Long enough for the worker to load its configuration and reach its wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.ResumeTiming();
    plugin->Terminate();
    plugin->Join();
  }
}
BENCHMARK(BM_WorkerTerminateIdle)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20);

}  // namespace
