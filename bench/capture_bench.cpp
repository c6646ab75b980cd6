// The capture path on a generated capture of 100,000 flows and 1,000,000 packets with TLS, DNS
// and HTTP payloads: reading it with libpcap and touching every packet, decoding, tracking and
// classifying it with a daemon side that does nothing, end to end through the plugin with a sink
// that discards (without and with a legacy-http channel), and the plugin's own encoding of the
// documents of each run (its floor).
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
#include "payload/flow_event_document.h"
#include "payload/release_document.h"
#include "tools/capture/capture_source.h"

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
  void FlowEvent(kvPluginProcessor::Event event, const std::string&,
                 std::shared_ptr<kvFlow>&) override {
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

// The flow events and the update's status and statistics documents, to a sink that discards.
constexpr const char* kCaptureConfiguration = R"({
    "sinks": {"bench": {"all": {"types": ["legacy-socket", "stream-flows", "stream-stats"]}}}})";
// The same and the legacy document, which holds the full encoding of every flow of the walk.
constexpr const char* kCaptureConfigurationLegacyHttp = R"({
    "sinks": {"bench": {"all": {"types": ["legacy-http", "legacy-socket", "stream-flows",
                                          "stream-stats"]}}}})";

// Delivers the source's events to the plugin as the daemon does: each event as it comes, and
// nothing waited for, so the capture thread runs ahead of the worker as far as it can. (The
// replay tool's player waits for the worker at each walk and settle, so that what the documents
// say does not depend on timing; a daemon does not.) Every flow is remembered at its creation,
// so that the end of the run can wait until the worker has sent everything it was given.
class PluginEvents : public capture::DaemonEvents {
 public:
  explicit PluginEvents(kppPlugin& plugin_) : plugin(plugin_) {}

  void FlowEvent(kvPluginProcessor::Event event, const std::string&,
                 std::shared_ptr<kvFlow>& flow) override {
    if (event == kvPluginProcessor::EVENT_FLOW_NEW) flows.push_back(flow);
    flow_documents++;
    plugin.DispatchProcessorEvent(event, flow);
  }
  void Update(capture::UpdateRecords& update) override {
    flow_documents += update.ready.size();
    updates++;
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &update.flow_map);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &update.interfaces);
    for (auto& [name, stats] : update.interface_stats) {
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, name, &stats);
    }
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &update.global_stats);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &update.status);
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  }
  void Settle() override {}

  // Once the capture source is gone: every flow let go by the worker, and the worker past its
  // lock once more, so the pass that let go of the last one (and sent the last update's
  // payloads before it) has ended.
  void Finish() {
    const uint64_t seen = plugin.GetThreadLockCount();
    for (const std::weak_ptr<kvFlow>& flow : flows) {
      while (!flow.expired()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    while (plugin.GetThreadLockCount() <= seen) {
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    flows.clear();
  }

  // The flow documents and updates delivered.
  uint64_t flow_documents = 0;
  uint64_t updates = 0;

 private:
  kppPlugin& plugin;
  std::vector<std::weak_ptr<kvFlow>> flows;
};

// Each flow document goes to the legacy-socket and the stream-flows channel; an update's status
// and statistics documents, with the legacy document for a legacy-http channel, are eight at
// most (a stream document with nothing to report is left out).
bool EverythingSent(uint64_t calls, const PluginEvents& events) {
  return calls >= 2 * events.flow_documents &&
         calls <= 2 * events.flow_documents + 8 * events.updates;
}

void RunEndToEnd(benchmark::State& state, const char* configuration) {
  CapturePath();
  korvel_bench::RunningPlugin running(configuration);
  const double worker_before = running.WorkerCpuSeconds();
  const double capture_before = korvel_bench::ThreadCpuSeconds();
  const uint64_t calls_before = running.Calls();
  for (auto _ : state) {
    PluginEvents events(running.Plugin());
    {
      capture::CaptureSource source({Spec()}, {}, 4096);
      source.Open();
      if (!source.Run(events).empty()) std::abort();
    }
    events.Finish();
    if (!EverythingSent(running.Calls() - calls_before, events)) {
      state.SkipWithError("not every document reached the sink");
    }
  }
  // Where the wall time went: the capture thread's and the worker's own CPU time.
  state.counters["capture_cpu_s"] = korvel_bench::ThreadCpuSeconds() - capture_before;
  state.counters["worker_cpu_s"] = running.WorkerCpuSeconds() - worker_before;
  state.counters["sink_calls"] = static_cast<double>(running.Calls() - calls_before);
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}

void BM_CaptureEndToEnd(benchmark::State& state) {
  RunEndToEnd(state, kCaptureConfiguration);
}
BENCHMARK(BM_CaptureEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CaptureEndToEndLegacyHttp(benchmark::State& state) {
  RunEndToEnd(state, kCaptureConfigurationLegacyHttp);
}
BENCHMARK(BM_CaptureEndToEndLegacyHttp)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

namespace {

// One flow document of the run: the flow, the event kind (1 for a walk's statistics) and the
// counters as they were when the event came; kind 13, without a flow, ends an update.
struct RecordedEvent {
  std::shared_ptr<kvFlow> flow;
  uint16_t kind;
  kvFlowStats stats;
};

// Keeps every flow event and every flow a walk would take, with its counters at that moment.
class RecordingEvents : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event event, const std::string&,
                 std::shared_ptr<kvFlow>& flow) override {
    std::lock_guard<std::recursive_mutex> held(flow->lock);
    recorded.push_back({flow, static_cast<uint16_t>(event), flow->stats});
  }
  void Update(capture::UpdateRecords& update) override {
    for (const std::string* key : update.ready) {
      if (auto flow = update.flow_map.Find(*key)) {
        std::lock_guard<std::recursive_mutex> held(flow->lock);
        recorded.push_back({flow, kvPluginProcessor::EVENT_FLOW_MAP, flow->stats});
      }
    }
    recorded.push_back({nullptr, kvPluginProcessor::EVENT_UPDATE_COMPLETE, {}});
  }
  void Settle() override {}
  std::vector<RecordedEvent> recorded;
};

// How a floor encodes a walk's flows: counters only (no legacy document takes them), also in
// full into the update's legacy document, held until the update's end, or also in full but each
// freed at once (the same encodings without the cost of holding an update's worth of them).
enum class WalkEncoding { kCountersOnly, kHeldForLegacy, kFreedAtOnce };

// The floor of the worker's share: kvFlow::Encode of the documents the end-to-end run sends, on
// one thread, from flows and counters recorded during an untimed capture run. Each event
// document (new flow, DPI results, a walk's counters, purge) is built and freed at once; a
// legacy document of the walk's full encodings is built and freed at the update's end.
void EncodeRecorded(benchmark::State& state, WalkEncoding walk_encoding) {
  CapturePath();
  for (auto _ : state) {
    RecordingEvents events;
    {
      capture::CaptureSource source({Spec()}, {}, 4096);
      source.Open();
      if (!source.Run(events).empty()) std::abort();
    }
    uint64_t members = 0;
    uint64_t documents = 0;
    std::chrono::duration<double> took{};
    // On a thread of its own, as the worker runs, so that it allocates from an arena of its own
    // rather than from the one the capture run has just filled.
    std::thread encoder([&] {
      const auto start = std::chrono::steady_clock::now();
      json walk = json::array();
      for (const RecordedEvent& event : events.recorded) {
        if (event.kind == kvPluginProcessor::EVENT_UPDATE_COMPLETE) {
          if (walk_encoding == WalkEncoding::kHeldForLegacy) {
            json legacy;
            legacy["flows"]["bench0"] = std::move(walk);
            members += legacy.size();
            documents++;
            benchmark::DoNotOptimize(legacy);
            kpp::ReleaseDocument(legacy);
            walk = json::array();
          }
          continue;
        }
        json document;
        json flow;
        if (event.kind == kvPluginProcessor::EVENT_FLOW_MAP &&
            walk_encoding != WalkEncoding::kCountersOnly) {
          json full;
          event.flow->Encode(full, event.stats, kppFlowEventEncoding(event.kind, true));
          if (walk_encoding == WalkEncoding::kHeldForLegacy) {
            walk.push_back(std::move(full));
          } else {
            members += full.size();
            benchmark::DoNotOptimize(full);
            kpp::ReleaseDocument(full);
          }
        }
        // The event document's own encoding, as the plugin makes it for an unfiled walk.
        event.flow->Encode(flow, event.stats, kppFlowEventEncoding(event.kind, false));
        document["type"] = "flow";
        document["interface"] = "bench0";
        document["internal"] = true;
        document["flow"] = std::move(flow);
        members += document.size();
        documents++;
        benchmark::DoNotOptimize(document);
        kpp::ReleaseDocument(document);
      }
      took = std::chrono::steady_clock::now() - start;
    });
    encoder.join();
    state.SetIterationTime(took.count());
    state.counters["documents"] = static_cast<double>(documents);
    benchmark::DoNotOptimize(members);
  }
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}

// The floor of BM_CaptureEndToEnd.
void BM_CaptureEncodeFloor(benchmark::State& state) {
  EncodeRecorded(state, WalkEncoding::kCountersOnly);
}
BENCHMARK(BM_CaptureEncodeFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The floor of BM_CaptureEndToEndLegacyHttp, and the same encodings with none held.
void BM_CaptureEncodeLegacyHttp(benchmark::State& state) {
  EncodeRecorded(state, WalkEncoding::kHeldForLegacy);
}
BENCHMARK(BM_CaptureEncodeLegacyHttp)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

void BM_CaptureEncodeLegacyHttpUnheld(benchmark::State& state) {
  EncodeRecorded(state, WalkEncoding::kFreedAtOnce);
}
BENCHMARK(BM_CaptureEncodeLegacyHttpUnheld)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace
