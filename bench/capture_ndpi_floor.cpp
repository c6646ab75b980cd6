// The classification floor of the capture path: reading the generated capture with libpcap and
// handing every flow's packets to nDPI directly, with a flow table of the least that takes and
// the same packet limits and stop rule as the capture source.
#include <benchmark/benchmark.h>
#include <pcap/pcap.h>

extern "C" {
#include <ndpi_api.h>
}

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

#include "bench/capture_frames.h"
#include "tools/capture/constants.h"

namespace {

struct FloorFlow {
  ndpi_flow_struct* ndpi = nullptr;
  uint32_t packets = 0;
  uint16_t app_protocol = NDPI_PROTOCOL_UNKNOWN;  // the last packet's result
  bool done = false;
};

// Both directions of a flow under one key: the lower address and port first. Only IPv4 TCP and
// UDP frames without options occur in the generated capture.
uint64_t FlowKey(const uint8_t* ip, uint64_t* second) {
  uint32_t a, b;
  std::memcpy(&a, ip + 12, 4);
  std::memcpy(&b, ip + 16, 4);
  uint16_t pa, pb;
  std::memcpy(&pa, ip + 20, 2);
  std::memcpy(&pb, ip + 22, 2);
  if (a > b || (a == b && pa > pb)) std::swap(a, b), std::swap(pa, pb);
  *second = (static_cast<uint64_t>(pa) << 32) | (static_cast<uint64_t>(pb) << 16) | ip[9];
  return (static_cast<uint64_t>(a) << 32) | b;
}

struct KeyHash {
  size_t operator()(const std::pair<uint64_t, uint64_t>& k) const {
    return std::hash<uint64_t>()(k.first * 0x9e3779b97f4a7c15ull ^ k.second);
  }
};

void Finish(ndpi_detection_module_struct* module, FloorFlow& flow, uint64_t& detected) {
  if (flow.app_protocol == NDPI_PROTOCOL_UNKNOWN) {
    uint8_t guessed = 0;
    flow.app_protocol = ndpi_detection_giveup(module, flow.ndpi, 1, &guessed).app_protocol;
  }
  if (flow.app_protocol != NDPI_PROTOCOL_UNKNOWN) detected++;
  ndpi_free_flow(flow.ndpi);
  flow.ndpi = nullptr;
  flow.done = true;
}

void BM_CaptureNdpiFloor(benchmark::State& state) {
  const std::string& path = korvel_bench::CapturePath();
  for (auto _ : state) {
    ndpi_detection_module_struct* module = ndpi_init_detection_module(ndpi_no_prefs);
    if (!module) std::abort();
    NDPI_PROTOCOL_BITMASK all;
    NDPI_BITMASK_SET_ALL(all);
    ndpi_set_protocol_detection_bitmask2(module, &all);
    ndpi_finalize_initialization(module);
    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* handle = pcap_open_offline(path.c_str(), errbuf);
    if (!handle) std::abort();
    std::unordered_map<std::pair<uint64_t, uint64_t>, FloorFlow, KeyHash> flows;
    flows.reserve(korvel_bench::kCaptureFlows);
    uint64_t detected = 0;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(handle, &header, &data) == 1) {
      const uint8_t* ip = data + korvel_bench::kEthernetHeader;
      const uint32_t ip_length = header->caplen - korvel_bench::kEthernetHeader;
      std::pair<uint64_t, uint64_t> key;
      key.first = FlowKey(ip, &key.second);
      FloorFlow& flow = flows[key];
      if (flow.done) continue;
      if (!flow.ndpi) {
        flow.ndpi = static_cast<ndpi_flow_struct*>(ndpi_flow_malloc(SIZEOF_FLOW_STRUCT));
        if (!flow.ndpi) std::abort();
        std::memset(flow.ndpi, 0, SIZEOF_FLOW_STRUCT);
      }
      const uint64_t time_ms = static_cast<uint64_t>(header->ts.tv_sec) * 1000 +
                               static_cast<uint64_t>(header->ts.tv_usec) / 1000;
      const ndpi_protocol result = ndpi_detection_process_packet(
          module, flow.ndpi, ip, static_cast<unsigned short>(ip_length), time_ms);
      flow.packets++;
      flow.app_protocol = result.app_protocol;
      // The packets nDPI may look at before the flow is given up, as the capture source has them.
      const uint32_t limit =
          ip[9] == capture::kProtoTcp ? capture::kDpiMaxTcpPackets : capture::kDpiMaxUdpPackets;
      if ((result.app_protocol != NDPI_PROTOCOL_UNKNOWN &&
           !ndpi_extra_dissection_possible(module, flow.ndpi)) ||
          flow.packets >= limit) {
        Finish(module, flow, detected);
      }
    }
    for (auto& [key, flow] : flows) {
      if (!flow.done) Finish(module, flow, detected);
    }
    pcap_close(handle);
    ndpi_exit_detection_module(module);
    state.counters["detected"] = static_cast<double>(detected);
    if (detected != korvel_bench::kCaptureFlows) state.SkipWithError("not every flow detected");
  }
  state.SetItemsProcessed(state.iterations() * korvel_bench::kCapturePackets);
}
BENCHMARK(BM_CaptureNdpiFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
