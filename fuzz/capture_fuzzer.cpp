// Fuzzes the capture source: the bytes are a capture file that libpcap reads from memory, and
// every packet is decoded and tracked, with updates and expiries, through a daemon side that
// does nothing. A file may be refused or end in damage; nothing may crash, hang or read out of
// bounds.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/capture/capture_source.h"

namespace {

class NoEvents : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event, const std::string&, std::shared_ptr<kvFlow>&) override {}
  void Update(capture::UpdateRecords&) override {}
  void Settle() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // fmemopen wants a buffer of its own; the input is read-only.
  std::vector<uint8_t> copy(data, data + size);
  FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
  if (!stream) return 0;
  capture::InterfaceSpec spec;
  spec.file = "fuzz.pcap";
  spec.addrs = {"192.168.1.1", "fd00::1"};
  spec.stream = stream;
  // Short times, so that updates, idle expiry and the linger of closed flows all happen.
  capture::TrackerSettings settings;
  settings.update_interval_s = 1;
  settings.tcp_idle_s = 3;
  settings.udp_idle_s = 2;
  settings.other_idle_s = 2;
  settings.tcp_closed_linger_s = 1;
  try {
    capture::CaptureSource source({spec}, settings, 3);
    source.Open();
    NoEvents events;
    source.Run(events);
  } catch (const capture::CaptureError&) {
  }
  return 0;
}
