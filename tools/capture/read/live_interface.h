// LiveInterface: packets captured on a network interface as they arrive, through a libpcap handle.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/read/interface_spec.h"
#include "tools/capture/read/packet_source.h"
#include "tools/capture/read/pcap_counter.h"

namespace capture {

// What a capture lost since the previous CaptureLosses::Take.
struct CaptureLosses {
  uint64_t dropped = 0;   // dropped by the capture buffer or the interface (ps_drop + ps_ifdrop)
  uint64_t filtered = 0;  // rejected by the filter; libpcap on Linux cannot tell, so 0
};

// Used by one thread, the one that plays the capture.
class LiveInterface : public PacketSource {
 public:
  LiveInterface(std::string device, LiveSettings settings);
  ~LiveInterface() override;
  LiveInterface(const LiveInterface&) = delete;
  LiveInterface& operator=(const LiveInterface&) = delete;

  // pcap_create and pcap_activate with a short timeout and the whole packet kept, the kernel buffer
  // and promiscuous mode of the settings, then the filter, non-blocking. Throws CaptureError
  // "DEVICE: reason" with libpcap's text: no such device, no permission, a filter that does not
  // compile. libpcap's warnings (promiscuous mode not supported...) are kept in Warnings().
  void Open() override;
  // The next packet waiting, without waiting; false when none waits, or after an error, which
  // Error() tells.
  bool Next() override;

  // A descriptor that poll() finds readable when packets wait; -1 before Open.
  int SelectableFd() const;
  // pcap_stats read, as deltas since the previous call (or Open). A failing pcap_stats counts
  // nothing.
  CaptureLosses TakeLosses();
  const std::vector<std::string>& Warnings() const { return warnings; }

  const std::string& File() const override { return device; }
  int LinkType() const override { return link_type; }
  std::string LinkTypeName() const override;
  const std::string& Error() const override { return error; }
  const uint8_t* Data() const override { return data; }
  uint32_t CapturedLength() const override { return header->caplen; }
  uint32_t WireLength() const override { return header->len; }
  uint64_t TimeUs() const override;

 private:
  // Throws CaptureError with the handle's error text after a failed call.
  [[noreturn]] void Fail(const std::string& reason);

  const std::string device;
  const LiveSettings settings;
  pcap_t* handle = nullptr;
  int link_type = -1;
  std::string error;
  std::vector<std::string> warnings;
  PcapCounter dropped;
  PcapCounter interface_dropped;
  pcap_pkthdr* header = nullptr;
  const uint8_t* data = nullptr;
};

}  // namespace capture
