// The capture path on a generated capture of 100,000 flows and 1,000,000 packets with TLS, DNS
// and HTTP payloads: reading it with libpcap and touching every packet, decoding, tracking and
// classifying it with a daemon side that does nothing, end to end through the plugin with a sink
// that discards, and the plugin's own encoding of the documents of that run (a floor).
#include <benchmark/benchmark.h>
#include <pcap/pcap.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/capture_frames.h"
#include "kv/json.h"
#include "tools/capture/capture_source.h"
#include "tools/capture/handed_out.h"

namespace {

using korvel_bench::CapturePath;
using korvel_bench::kCaptureFlows;
using korvel_bench::kCapturePackets;

capture::InterfaceSpec Spec() {
  capture::InterfaceSpec spec;
  spec.file = CapturePath();
  spec.name = "bench0";
  return spec;
}

void BM_CaptureReadFloor(benchmark::State& state) {
  const std::string& path = CapturePath();
  for (auto _ : state) {
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
    if (!handle) std::abort();
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    uint64_t touched = 0;
    while (pcap_next_ex(handle, &header, &data) == 1) {
      touched += header->len + data[0] + data[header->caplen - 1];
    }
    benchmark::DoNotOptimize(touched);
    pcap_close(handle);
  }
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}
BENCHMARK(BM_CaptureReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The largest flow event kind counted (8, DPI complete).
constexpr size_t kEventKinds = 9;

class NoEvents : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event event, std::shared_ptr<kvFlow>&) override {
    if (static_cast<size_t>(event) < kEventKinds) events[event]++;
  }
  void Update(capture::UpdateRecords&) override { updates++; }
  void Settle() override {}
  std::array<uint64_t, kEventKinds> events{};
  uint64_t updates = 0;
};

// Every flow came, was classified once and went.
const char* EventsWrong(const std::array<uint64_t, kEventKinds>& events) {
  if (events[kvPluginProcessor::EVENT_FLOW_NEW] != kCaptureFlows ||
      events[kvPluginProcessor::EVENT_FLOW_PURGE] != kCaptureFlows) {
    return "not every flow came and went";
  }
  if (events[kvPluginProcessor::EVENT_DPI_COMPLETE] != kCaptureFlows) {
    return "not every flow completed detection once";
  }
  return nullptr;
}

void BM_CaptureDecodeTrack(benchmark::State& state) {
  CapturePath();
  for (auto _ : state) {
    capture::CaptureSource source({Spec()}, {}, 4096);
    source.Open();
    NoEvents events;
    if (!source.Run(events).empty()) std::abort();
    benchmark::DoNotOptimize(events.events);
    if (const char* wrong = EventsWrong(events.events)) state.SkipWithError(wrong);
  }
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}
BENCHMARK(BM_CaptureDecodeTrack)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Every flow event and update channel, to a sink that discards.
constexpr const char* kCaptureConfiguration = R"({
    "sinks": {"bench": {"all": {"types": ["legacy-socket", "stream-flows", "stream-stats"]}}}})";

// Delivers the source's events to the plugin as the replay tool's player does: flows remembered
// before each hand-over, the walk drained before the update's records, settles waited for.
class PluginEvents : public capture::DaemonEvents {
 public:
  explicit PluginEvents(kppPlugin& plugin_) : plugin(plugin_) {}

  void FlowEvent(kvPluginProcessor::Event event, std::shared_ptr<kvFlow>& flow) override {
    handed.Add(flow);
    plugin.DispatchProcessorEvent(event, flow);
  }
  void Update(capture::UpdateRecords& update) override {
    for (auto& flow : update.ready) handed.Add(flow);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &update.flow_map);
    Drain();
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &update.interfaces);
    for (auto& [name, stats] : update.interface_stats) {
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, name, &stats);
    }
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &update.global_stats);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &update.status);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  }
  void Settle() override { handed.Wait(); }

  // Every flow let go, and the worker past its lock once more: it has sent what it was given.
  void Drain() {
    if (handed.Empty()) return;
    handed.Wait();
    const uint64_t seen = plugin.GetThreadLockCount();
    // Sleeps between looks: on a small machine a spinning wait takes the worker's processor.
    while (plugin.GetThreadLockCount() <= seen) {
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  }

 private:
  kppPlugin& plugin;
  capture::HandedOut handed;
};

void BM_CaptureEndToEnd(benchmark::State& state) {
  CapturePath();
  korvel_bench::RunningPlugin running(kCaptureConfiguration);
  const double worker_before = running.WorkerCpuSeconds();
  const double capture_before = korvel_bench::ThreadCpuSeconds();
  for (auto _ : state) {
    capture::CaptureSource source({Spec()}, {}, 4096);
    source.Open();
    PluginEvents events(running.Plugin());
    if (!source.Run(events).empty()) std::abort();
    events.Drain();
  }
  // Where the wall time went: the capture thread's and the worker's own CPU time.
  state.counters["capture_cpu_s"] = korvel_bench::ThreadCpuSeconds() - capture_before;
  state.counters["worker_cpu_s"] = running.WorkerCpuSeconds() - worker_before;
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}
BENCHMARK(BM_CaptureEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

namespace {

// One flow document of the run: the flow, the event kind (1 for a walk's statistics) and the
// counters as they were when the event came.
struct RecordedEvent {
  std::shared_ptr<kvFlow> flow;
  uint16_t kind;
  kvFlowStats stats;
};

// Keeps every flow event and every flow a walk would take, with its counters at that moment.
class RecordingEvents : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event event, std::shared_ptr<kvFlow>& flow) override {
    std::lock_guard<std::recursive_mutex> held(flow->lock);
    recorded.push_back({flow, static_cast<uint16_t>(event), flow->stats});
  }
  void Update(capture::UpdateRecords& update) override {
    for (auto& weak : update.ready) {
      if (auto flow = weak.lock()) {
        std::lock_guard<std::recursive_mutex> held(flow->lock);
        recorded.push_back({flow, kvPluginProcessor::EVENT_FLOW_MAP, flow->stats});
      }
    }
  }
  void Settle() override {}
  std::vector<RecordedEvent> recorded;
};

// The encoding flags of each kind, and for the walk's statistics the event's own second,
// counters-only encoding.
kvFlags<kvFlow::EncodeFlags> FlagsOf(uint16_t kind) {
  switch (kind) {
    case kvPluginProcessor::EVENT_FLOW_PURGE:
      return kvFlow::ENCODE_STATS;
    case kvPluginProcessor::EVENT_FLOW_NEW:
      return kvFlags<kvFlow::EncodeFlags>(kvFlow::ENCODE_METADATA) | kvFlow::ENCODE_TUNNELS;
    default:
      return kvFlow::ENCODE_ALL;
  }
}

// The floor of the worker's share: kvFlow::Encode of the documents the end-to-end run sends
// (new flow, DPI results, each walk's statistics twice, purge), into event documents, on one
// thread; the capture run that records them is not timed.
void BM_CaptureEncodeFloor(benchmark::State& state) {
  CapturePath();
  for (auto _ : state) {
    RecordingEvents events;
    {
      capture::CaptureSource source({Spec()}, {}, 4096);
      source.Open();
      if (!source.Run(events).empty()) std::abort();
    }
    const auto start = std::chrono::steady_clock::now();
    uint64_t members = 0;
    for (const RecordedEvent& event : events.recorded) {
      json document;
      json flow;
      event.flow->Encode(flow, event.stats, FlagsOf(event.kind));
      if (event.kind == kvPluginProcessor::EVENT_FLOW_MAP) {
        json counters;
        event.flow->Encode(counters, event.stats, kvFlow::ENCODE_STATS);
        members += counters.size();
      }
      document["type"] = "flow";
      document["interface"] = "bench0";
      document["internal"] = true;
      document["flow"] = std::move(flow);
      members += document.size();
      benchmark::DoNotOptimize(document);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    state.counters["documents"] = static_cast<double>(events.recorded.size());
    benchmark::DoNotOptimize(members);
  }
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}
BENCHMARK(BM_CaptureEncodeFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
