// The capture path on a generated capture of 100,000 flows and 1,000,000 packets: reading it
// with libpcap and touching every packet (the floor), decoding and tracking it with a daemon
// side that does nothing, and end to end through the plugin with a sink that discards.
#include <benchmark/benchmark.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "tools/capture/capture_source.h"
#include "tools/capture/handed_out.h"

namespace {

constexpr uint32_t kCaptureFlows = 100000;
constexpr uint32_t kCapturePackets = 1000000;
// Packets come 60 us apart, so each flow sees one every 6 s over the minute the capture lasts:
// all flows stay live, and four updates walk all of them.
constexpr uint64_t kPacketGapUs = 60;
constexpr uint64_t kStartUs = 1700000000ull * 1000000;

// Every third flow is TCP (a SYN, then data both ways), the others UDP; 10 packets per flow.
std::vector<uint8_t> Frame(uint32_t flow, uint32_t packet) {
  const bool tcp = flow % 3 == 0;
  const bool reply = packet % 2 == 1;
  const size_t payload = 16 + (flow % 7) * 20;
  const size_t l4 = tcp ? 20 : 8;
  std::vector<uint8_t> f(14 + 20 + l4 + payload, 0);
  const uint8_t client[4] = {10, static_cast<uint8_t>(flow >> 16), static_cast<uint8_t>(flow >> 8),
                             static_cast<uint8_t>(flow)};
  const uint8_t server[4] = {198, 51, 100, static_cast<uint8_t>(flow % 200)};
  const uint8_t* src = reply ? server : client;
  const uint8_t* dst = reply ? client : server;
  f[0] = 2, f[5] = reply ? 1 : 2, f[6] = 2, f[11] = reply ? 2 : 1;
  f[12] = 0x08;
  uint8_t* ip = f.data() + 14;
  const size_t ip_length = 20 + l4 + payload;
  ip[0] = 0x45, ip[2] = static_cast<uint8_t>(ip_length >> 8),
  ip[3] = static_cast<uint8_t>(ip_length);
  ip[8] = 64, ip[9] = tcp ? 6 : 17;
  for (int i = 0; i < 4; i++) ip[12 + i] = src[i], ip[16 + i] = dst[i];
  uint8_t* t = ip + 20;
  const uint16_t client_port = static_cast<uint16_t>(20000 + flow % 40000);
  const uint16_t server_port = tcp ? 443 : 53;
  const uint16_t sport = reply ? server_port : client_port;
  const uint16_t dport = reply ? client_port : server_port;
  t[0] = static_cast<uint8_t>(sport >> 8), t[1] = static_cast<uint8_t>(sport);
  t[2] = static_cast<uint8_t>(dport >> 8), t[3] = static_cast<uint8_t>(dport);
  if (tcp) {
    const uint32_t seq =
        1000 + (packet / 2) * static_cast<uint32_t>(payload) + (packet > 1 ? 1 : 0);
    t[4] = static_cast<uint8_t>(seq >> 24), t[5] = static_cast<uint8_t>(seq >> 16);
    t[6] = static_cast<uint8_t>(seq >> 8), t[7] = static_cast<uint8_t>(seq);
    t[12] = 0x50;
    t[13] = packet < 2 ? (packet == 0 ? 0x02 : 0x12) : 0x18;
  } else {
    t[4] = static_cast<uint8_t>((8 + payload) >> 8), t[5] = static_cast<uint8_t>(8 + payload);
  }
  return f;
}

// The capture, written once per process to a temporary file.
const std::string& CapturePath() {
  static const std::string path = [] {
    char name[] = "/tmp/korvel-capture-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, name);
    if (!dumper) std::abort();
    for (uint32_t i = 0; i < kCapturePackets; i++) {
      const uint32_t flow = i % kCaptureFlows;
      const uint32_t packet = i / kCaptureFlows;
      const std::vector<uint8_t> bytes = Frame(flow, packet);
      const uint64_t time = kStartUs + i * kPacketGapUs;
      pcap_pkthdr header{};
      header.ts.tv_sec = static_cast<time_t>(time / 1000000);
      header.ts.tv_usec = static_cast<suseconds_t>(time % 1000000);
      header.caplen = header.len = static_cast<uint32_t>(bytes.size());
      pcap_dump(reinterpret_cast<u_char*>(dumper), &header, bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    std::atexit([] { std::remove(CapturePath().c_str()); });
    return std::string(name);
  }();
  return path;
}

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

class NoEvents : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event, std::shared_ptr<kvFlow>&) override { events++; }
  void Update(capture::UpdateRecords&) override { updates++; }
  void Settle() override {}
  uint64_t events = 0;
  uint64_t updates = 0;
};

void BM_CaptureDecodeTrack(benchmark::State& state) {
  CapturePath();
  for (auto _ : state) {
    capture::CaptureSource source({Spec()}, {}, 4096);
    source.Open();
    NoEvents events;
    if (!source.Run(events).empty()) std::abort();
    benchmark::DoNotOptimize(events.events);
    if (events.events != 2 * kCaptureFlows) state.SkipWithError("not every flow came and went");
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
  for (auto _ : state) {
    capture::CaptureSource source({Spec()}, {}, 4096);
    source.Open();
    PluginEvents events(running.Plugin());
    if (!source.Run(events).empty()) std::abort();
    events.Drain();
  }
  state.SetItemsProcessed(state.iterations() * kCapturePackets);
}
BENCHMARK(BM_CaptureEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
