// CaptureSource: sets up the interfaces, then hands each packet of the merged files to its
// decoder, the update cycle and the tracker.
#include "tools/capture/capture_source.h"

#include <algorithm>

#include "tools/capture/decode/packet_decoder.h"
#include "tools/capture/read/capture_merge.h"
#include "tools/capture/track/flow_tracker.h"
#include "tools/capture/track/update_cycle.h"

namespace capture {

// Everything one source holds; used by the thread that calls Open and Run.
class CaptureRun {
 public:
  CaptureRun(std::vector<InterfaceSpec> specs, const TrackerSettings& settings, size_t buckets)
      : flow_map(buckets) {
    tracked.reserve(specs.size());
    for (InterfaceSpec& spec : specs) {
      const std::string name = InterfaceName(spec);
      if (interfaces.count(name)) throw CaptureError(name, "interface named twice");
      auto record = std::make_shared<kvInterface>(name, spec.role);
      record->capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
      record->capture_file = spec.file;
      TrackedInterface iface;
      for (const std::string& text : spec.addrs) {
        kvAddr addr;
        if (!kvAddr::FromString(text, addr)) throw CaptureError(text, "not an address");
        if (addr.Family() == AF_INET) {
          addr.storage.in.sin_port = 0;
          iface.own.AddAddress(4, reinterpret_cast<const uint8_t*>(&addr.storage.in.sin_addr));
        } else if (addr.Family() == AF_INET6) {
          addr.storage.in6.sin6_port = 0;
          iface.own.AddAddress(6, addr.storage.in6.sin6_addr.s6_addr);
        }
        record->addrs.Insert(addr);
      }
      iface.record = record;
      interfaces.emplace(name, record);
      tracked.push_back(std::move(iface));
      files.Add(std::make_unique<CaptureReader>(spec));
      spec.stream = nullptr;  // the reader owns it now
    }
    tracker = std::make_unique<FlowTracker>(settings, flow_map, tracked);
    cycle = std::make_unique<UpdateCycle>(settings.update_interval_s, *tracker, flow_map,
                                          interfaces, tracked);
  }

  void Open() {
    if (opened) return;
    for (size_t i = 0; i < files.Size(); i++) {
      CaptureReader& reader = files.Reader(i);
      reader.Open();
      if (!PacketDecoder::Supports(reader.LinkType())) {
        throw CaptureError(reader.File(), "unsupported link type " + reader.LinkTypeName() + " (" +
                                              std::to_string(reader.LinkType()) + ")");
      }
      decoders.emplace_back(reader.LinkType());
    }
    opened = true;
  }

  std::string Run(DaemonEvents& events);

  kvFlowMap flow_map;
  std::map<std::string, std::shared_ptr<kvInterface>> interfaces;

 private:
  std::vector<TrackedInterface> tracked;  // in the order of the files
  CaptureMerge files;
  std::vector<PacketDecoder> decoders;
  std::unique_ptr<FlowTracker> tracker;
  std::unique_ptr<UpdateCycle> cycle;
  bool opened = false;
  bool ran = false;
};

std::string CaptureRun::Run(DaemonEvents& events) {
  Open();
  if (ran) return "";
  ran = true;

  uint64_t clock_us = 0;
  DecodedPacket packet;
  for (size_t next; (next = files.Next()) != CaptureMerge::kEnd;) {
    CaptureReader& reader = files.Reader(next);
    // Packets out of order do not move the clock back.
    const uint64_t now_us = std::max(clock_us, reader.TimeUs());
    events.Clock(now_us);
    cycle->Frame(now_us, events);
    clock_us = now_us;

    const DecodeResult result = decoders[next].Decode(
        reader.Data(), reader.CapturedLength(), reader.WireLength(), packet, tracked[next].stats);
    if (result == DecodeResult::kFlow) {
      tracker->Track(static_cast<uint32_t>(next), packet, reader.WireLength(), now_us, events);
    }
  }

  // The end of the input (or the damage): a last update, then every remaining flow expires.
  cycle->Finish(clock_us, events);
  return files.Error();
}

CaptureSource::CaptureSource(std::vector<InterfaceSpec> interfaces, TrackerSettings settings,
                             size_t buckets)
    : run(std::make_unique<CaptureRun>(std::move(interfaces), std::move(settings), buckets)) {}

CaptureSource::~CaptureSource() = default;

void CaptureSource::Open() {
  run->Open();
}

std::string CaptureSource::Run(DaemonEvents& events) {
  return run->Run(events);
}

kvFlowMap& CaptureSource::FlowMap() {
  return run->flow_map;
}

std::map<std::string, std::shared_ptr<kvInterface>>& CaptureSource::Interfaces() {
  return run->interfaces;
}

}  // namespace capture
