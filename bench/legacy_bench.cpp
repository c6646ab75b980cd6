// The legacy document of an update with 100,000 filed flows on four interfaces, built and
// dispatched, against copying those flow documents once; and the peak memory while it is built.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/sample_flow.h"
#include "kv/instance_status.h"
#include "kv/standin.h"

namespace {

constexpr size_t kInterfaces = 4;

// The full encoding of an ordinary HTTP flow, one per interface, which the filed flows copy.
std::vector<json> MakePrototypes() {
  std::vector<json> prototypes;
  for (size_t i = 0; i < kInterfaces; i++) {
    kvFlow flow;
    flow.digest = 0x5555000000000000ull + i;
    flow.ts_first_seen = 1700000000000ull;
    flow.ts_last_seen = 1700000005000ull;
    flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
    flow.other_type = 5;
    flow.lower_mac = korvel_bench::SampleAddr("00:11:22:33:44:55");
    flow.upper_mac = korvel_bench::SampleAddr("66:77:88:99:aa:bb");
    flow.lower_addr = korvel_bench::SampleAddr("192.0.2.10:50000");
    flow.upper_addr = korvel_bench::SampleAddr("198.51.100.20:80");
    flow.ip_version = 4;
    flow.ip_protocol = 6;
    flow.detected_protocol = static_cast<kvProto::Id>(7);  // HTTP
    flow.detected_protocol_name = "HTTP";
    flow.host_server_name = "www.example.com";
    flow.user_agent = "Mozilla/5.0 (X11; Linux x86_64)";
    flow.http_url = "/index.html";
    json encoded;
    flow.Encode(encoded, korvel_bench::SampleStats(), kvFlow::ENCODE_ALL);
    prototypes.push_back(std::move(encoded));
  }
  return prototypes;
}

// Files `count` flow encodings spread evenly over the interfaces, as an update's flow-statistics
// events would.
void FileFlows(kppPlugin::InterfaceFlows& interface_flows, const std::vector<json>& prototypes,
               size_t count) {
  for (size_t i = 0; i < count; i++) {
    const size_t iface = i % kInterfaces;
    interface_flows["eth" + std::to_string(iface)].emplace(0x9e3779b97f4a7c15ull * (i + 1),
                                                           prototypes[iface]);
  }
}

// The stored documents of an update: a status, four interfaces with their counters, endpoints.
kppUpdateDocuments MakeUpdateDocuments(kppPlugin& plugin) {
  kvInstanceStatus status;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  for (size_t i = 0; i < kInterfaces; i++) {
    const std::string name = "eth" + std::to_string(i);
    documents.interfaces[name] = {{"role", "LAN"}, {"capture_type", "PCAP"}};
    documents.interface_stats[name] = {{"raw", 1000u}, {"ip", 990u}, {"tcp", 700u}};
  }
  documents.endpoints["00:11:22:33:44:55"] = json::array({"192.0.2.10"});
  return documents;
}

// What the sink sees of the legacy document, which is whole when it arrives there: the clock is
// stopped at that moment (what follows is the release of the update's flow encodings and the two
// small socket documents, which the copy's floor leaves out as well), and the heap in use is read.
// Benchmark thread only (no worker runs).
struct LegacyProbe {
  benchmark::State* state = nullptr;
  bool armed = false;
  size_t heap_at_dispatch = 0;
  std::chrono::steady_clock::time_point dispatched;
};
LegacyProbe probe;

std::unique_ptr<korvel_bench::ConfigFile> legacy_config;
std::unique_ptr<kppPlugin> legacy_plugin;

void SetUpLegacy(const benchmark::State&) {
  legacy_config = std::make_unique<korvel_bench::ConfigFile>("{}");
  legacy_plugin = korvel_bench::MakeIdlePlugin(*legacy_config);
  kppChannelConfig channel;
  channel.types = kppChannelConfig::TYPE_LEGACY_HTTP | kppChannelConfig::TYPE_LEGACY_SOCKET;
  legacy_plugin->sinks["bench"]["legacy"] = channel;
  kvStandIn::SetSinkHandler(
      [](const std::string&, const std::set<std::string>&, const json&, uint8_t) {
        if (!probe.armed) return;  // "agent_hello" and "agent_status"
        probe.armed = false;
        probe.state->PauseTiming();
        probe.heap_at_dispatch = korvel_bench::HeapInUse();
        probe.dispatched = std::chrono::steady_clock::now();
      });
}

void TearDownLegacy(const benchmark::State&) {
  kvStandIn::SetSinkHandler(nullptr);
  legacy_plugin.reset();
  legacy_config.reset();
}

void BM_LegacyPayload(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  kppPlugin& plugin = *legacy_plugin;
  const std::vector<json> prototypes = MakePrototypes();
  const kppUpdateDocuments documents = MakeUpdateDocuments(plugin);
  probe.state = &state;
  double peak_ratio = 0.0;
  double release_ms = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    const size_t base = korvel_bench::HeapInUse();
    FileFlows(plugin.interface_flows, prototypes, count);
    const size_t filed = korvel_bench::HeapInUse() - base;
    probe.armed = true;
    state.ResumeTiming();

    // Timed until the legacy document reaches the sink, where the sink handler stops the clock.
    plugin.DispatchLegacyPayload(documents);
    if (probe.armed) {
      state.SkipWithError("the legacy document did not reach the sink");
      break;
    }
    release_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                            probe.dispatched)
                      .count();
    peak_ratio = std::max(peak_ratio, static_cast<double>(probe.heap_at_dispatch - base) / filed);
    plugin.interface_flows.clear();
    state.ResumeTiming();
  }
  // Heap in use when the document is whole, over the heap that interface_flows held.
  state.counters["peak_memory_ratio"] = peak_ratio;
  // Wall time from the legacy document's dispatch to the return: releasing the update's flow
  // encodings and sending "agent_hello" and "agent_status".
  state.counters["release_ms"] = benchmark::Counter(release_ms, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LegacyPayload)
    ->Arg(100000)
    ->Setup(SetUpLegacy)
    ->Teardown(TearDownLegacy)
    ->Unit(benchmark::kMillisecond);

void BM_CopyFlowDocuments(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  kppPlugin& plugin = *legacy_plugin;
  const std::vector<json> prototypes = MakePrototypes();
  std::vector<json> copies;
  for (auto _ : state) {
    state.PauseTiming();
    FileFlows(plugin.interface_flows, prototypes, count);
    state.ResumeTiming();

    copies.reserve(count);
    for (const auto& iface : plugin.interface_flows) {
      for (const auto& filed : iface.second) copies.push_back(filed.second);
    }

    state.PauseTiming();
    copies = std::vector<json>();
    plugin.interface_flows.clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CopyFlowDocuments)
    ->Arg(100000)
    ->Setup(SetUpLegacy)
    ->Teardown(TearDownLegacy)
    ->Unit(benchmark::kMillisecond);

}  // namespace
