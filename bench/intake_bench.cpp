// A daemon thread's flow event, queued while the worker drains the queue, against the least such
// an append can cost: lock, copy of the shared pointer and of the counters, append, unlock; and
// the same intake with a queue limit set, against the intake without one.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bench/bench_support.h"
#include "bench/sample_flow.h"
#include "kv/flow_parser.h"

namespace {

// Events rotate over this many flows, as a daemon's threads report many flows, not one.
constexpr size_t kFlowPool = 4096;

// Events a thread queues before the queue is let run empty, with the clock stopped.
constexpr size_t kBurst = 65536;

// What the drain does with each event: evaluate these filters, which match none of the flows,
// and drop it. That keeps the draining thread as busy as an encoding worker while the events come
// in, yet fast enough that a benchmark can wait for it between bursts.
const std::vector<std::string> kDrainFilters = {
    "vlan_id == 4000",
    "ip_version == 6 && ip_protocol == 17",
    "local_port == 53 || other_port == 53",
    "detected_protocol_name == 'DNS'",
    "host_server_name == 'www.example.org'",
    "local_ip == '10.1.2.3' || other_ip == '10.1.2.3'",
};

std::vector<std::shared_ptr<kvFlow>> MakeFlowPool() {
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  std::vector<std::shared_ptr<kvFlow>> flows;
  flows.reserve(kFlowPool);
  for (size_t i = 0; i < kFlowPool; i++) {
    flows.push_back(korvel_bench::MakeSampleFlow(iface, korvel_bench::kSampleDigest + i));
  }
  return flows;
}

// The flows of one run, made by Setup before the benchmark's threads start and destroyed by
// Teardown after they end; the threads only read the vector.
std::vector<std::shared_ptr<kvFlow>>* flows = nullptr;

// Queues kBurst events per thread, then stops the clock until `drained` says the queue has been
// taken over: the drain runs concurrently while the events come in, and the backlog stays bounded
// as it does when a worker keeps pace with its daemon.
template <typename Append, typename Drained>
void RunBursts(benchmark::State& state, Append append, Drained drained) {
  size_t next = static_cast<size_t>(state.thread_index()) * (kFlowPool / 2);
  size_t burst = 0;
  for (auto _ : state) {
    append((*flows)[next++ % kFlowPool]);
    if (++burst == kBurst) {
      state.PauseTiming();
      while (!drained()) std::this_thread::yield();
      burst = 0;
      state.ResumeTiming();
    }
  }
}

// The plugin of one run, its worker draining with kDrainFilters.
korvel_bench::RunningPlugin* plugin = nullptr;

// A queue limit far above what a burst queues: every event is still queued, and the figure shows
// what checking the limit costs.
constexpr size_t kUnreachedQueueLimit = 100 * kBurst;

void SetUpPlugin(const json& configuration) {
  flows = new std::vector<std::shared_ptr<kvFlow>>(MakeFlowPool());
  plugin = new korvel_bench::RunningPlugin(configuration.dump());
}

json IntakeConfiguration() {
  return {{"flow_filters", kDrainFilters},
          {"sinks", {{"bench", {{"flows", {{"types", {"stream-flows"}}}}}}}}};
}

void SetUpIntake(const benchmark::State&) {
  SetUpPlugin(IntakeConfiguration());
}

void SetUpIntakeWithLimit(const benchmark::State&) {
  json configuration = IntakeConfiguration();
  configuration["flow_queue_limit"] = kUnreachedQueueLimit;
  SetUpPlugin(configuration);
}

void TearDownIntake(const benchmark::State&) {
  delete plugin;  // the worker drains what is still queued before it ends
  plugin = nullptr;
  delete flows;
  flows = nullptr;
}

void BM_IntakeFlowEvent(benchmark::State& state) {
  kppPlugin& target = plugin->Plugin();
  RunBursts(
      state,
      [&target](std::shared_ptr<kvFlow>& flow) {
        target.DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, flow);
      },
      [&target] {
        target.Lock();
        const bool empty = target.event_queue.empty();
        target.Unlock();
        return empty;
      });
}
BENCHMARK(BM_IntakeFlowEvent)->Setup(SetUpIntake)->Teardown(TearDownIntake);
BENCHMARK(BM_IntakeFlowEvent)->Setup(SetUpIntake)->Teardown(TearDownIntake)->Threads(2);

// The same intake with a "flow_queue_limit" that the bursts never reach.
void BM_IntakeFlowEventWithLimit(benchmark::State& state) {
  BM_IntakeFlowEvent(state);
}
BENCHMARK(BM_IntakeFlowEventWithLimit)->Setup(SetUpIntakeWithLimit)->Teardown(TearDownIntake);
BENCHMARK(BM_IntakeFlowEventWithLimit)
    ->Setup(SetUpIntakeWithLimit)
    ->Teardown(TearDownIntake)
    ->Threads(2);

// The floor's queue; the benchmark's threads append to it and the drainer takes it over.
struct FloorQueue {
  std::mutex lock;
  std::vector<kppFlowEvent> events;  // guarded by lock
};

// Drains the floor's queue the way the plugin's worker drains its own, so that both figures are
// taken with the same work going on beside them: takes the whole queue over under the lock,
// evaluates kDrainFilters on each event and drops it. It looks for work every few microseconds
// instead of being woken, as the floor's appends make no wake-up call.
class FloorDrainer {
 public:
  explicit FloorDrainer(FloorQueue& queue_) : queue(queue_), thread([this] { Run(); }) {}
  ~FloorDrainer() {
    stop.store(true);
    thread.join();
  }
  FloorDrainer(const FloorDrainer&) = delete;
  FloorDrainer& operator=(const FloorDrainer&) = delete;

 private:
  // Drainer thread.
  void Run() {
    kvFlowParser parser;
    std::vector<kppFlowEvent> batch;
    while (!stop.load()) {
      {
        std::lock_guard<std::mutex> guard(queue.lock);
        batch.swap(queue.events);
      }
      if (batch.empty()) {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        continue;
      }
      for (const kppFlowEvent& event : batch) {
        for (const std::string& filter : kDrainFilters) {
          std::unordered_map<std::string, json> vars;
          benchmark::DoNotOptimize(parser.Parse(event.flow, vars, filter));
        }
      }
      batch.clear();
    }
  }

  FloorQueue& queue;
  std::atomic<bool> stop{false};
  std::thread thread;  // last: starts once the members above exist
};

FloorQueue* floor_queue = nullptr;
FloorDrainer* floor_drainer = nullptr;

void SetUpFloor(const benchmark::State&) {
  flows = new std::vector<std::shared_ptr<kvFlow>>(MakeFlowPool());
  floor_queue = new FloorQueue;
  floor_drainer = new FloorDrainer(*floor_queue);
}

void TearDownFloor(const benchmark::State&) {
  delete floor_drainer;
  floor_drainer = nullptr;
  delete floor_queue;
  floor_queue = nullptr;
  delete flows;
  flows = nullptr;
}

void BM_IntakeFloor(benchmark::State& state) {
  FloorQueue& queue = *floor_queue;
  RunBursts(
      state,
      [&queue](std::shared_ptr<kvFlow>& flow) {
        std::lock_guard<std::mutex> guard(queue.lock);
        queue.events.push_back(kppFlowEvent{
            flow, static_cast<uint16_t>(kvPluginProcessor::EVENT_DPI_COMPLETE), flow->stats});
      },
      [&queue] {
        std::lock_guard<std::mutex> guard(queue.lock);
        return queue.events.empty();
      });
}
BENCHMARK(BM_IntakeFloor)->Setup(SetUpFloor)->Teardown(TearDownFloor);
BENCHMARK(BM_IntakeFloor)->Setup(SetUpFloor)->Teardown(TearDownFloor)->Threads(2);

}  // namespace
