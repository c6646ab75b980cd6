// The flow-map walk of a daemon's statistics event, per flow, against the same bucket iteration
// with the same flag tests and copies into a vector.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "kv/flow_map.h"
#include "kv/interface.h"

namespace {

// About as many flows per bucket as a daemon's flow table keeps.
constexpr size_t kWalkBuckets = 8192;

// A map of `count` flows, each ready for statistics with both packet counters non-zero, so every
// flow qualifies. Made once per run by Setup.
std::unique_ptr<kvFlowMap> MakeWalkMap(size_t count) {
  auto map = std::make_unique<kvFlowMap>(kWalkBuckets);
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  char key[32];
  for (size_t i = 0; i < count; i++) {
    auto flow = std::make_shared<kvFlow>();
    flow->iface = iface;
    flow->digest = 0x9e3779b97f4a7c15ull * (i + 1);
    flow->stats_ready = true;
    flow->stats.lower_packets = 3;
    flow->stats.upper_packets = 4;
    flow->stats.lower_bytes = 300 + i;
    flow->stats.upper_bytes = 400 + i;
    std::snprintf(key, sizeof(key), "flow-%zu", i);
    map->Insert(key, flow);
  }
  return map;
}

std::unique_ptr<kvFlowMap> walk_map;
std::unique_ptr<korvel_bench::ConfigFile> walk_config;
std::unique_ptr<kppPlugin> walk_plugin;

void SetUpWalk(const benchmark::State& state) {
  walk_map = MakeWalkMap(static_cast<size_t>(state.range(0)));
  // No worker runs: the walk's batch stays queued until the benchmark empties it.
  walk_config = std::make_unique<korvel_bench::ConfigFile>("{}");
  walk_plugin = korvel_bench::MakeIdlePlugin(*walk_config);
  walk_plugin->channel_types.store(kppChannelConfig::TYPE_LEGACY_HTTP);
}

void TearDownWalk(const benchmark::State&) {
  walk_plugin.reset();
  walk_config.reset();
  walk_map.reset();
}

void BM_WalkFlowMap(benchmark::State& state) {
  kppPlugin& plugin = *walk_plugin;
  for (auto _ : state) {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, walk_map.get());
    state.PauseTiming();
    if (plugin.event_queue.size() != static_cast<size_t>(state.range(0))) {
      state.SkipWithError("the walk did not queue every flow");
    }
    plugin.event_queue.clear();  // the worker's take-over, as far as the queue is concerned
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WalkFlowMap)->Arg(100000)->Setup(SetUpWalk)->Teardown(TearDownWalk);

void BM_WalkFloor(benchmark::State& state) {
  kvFlowMap& map = *walk_map;
  std::vector<kppFlowEvent> events;
  for (auto _ : state) {
    const size_t buckets = map.GetBuckets();
    for (size_t i = 0; i < buckets; i++) {
      for (const auto& entry : map.Acquire(i)) {
        const kvFlow& flow = *entry.second;
        if (!flow.stats_ready || flow.stats_hold) continue;
        if (flow.stats.lower_packets == 0 && flow.stats.upper_packets == 0) continue;
        events.push_back(kppFlowEvent{
            entry.second, static_cast<uint16_t>(kvPluginProcessor::EVENT_FLOW_MAP), flow.stats});
      }
      map.Release(i);
    }
    state.PauseTiming();
    events.clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WalkFloor)->Arg(100000)->Setup(SetUpWalk)->Teardown(TearDownWalk);

}  // namespace
