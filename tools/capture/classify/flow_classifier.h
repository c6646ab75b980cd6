// FlowClassifier: classifies the tracker's flows with nDPI and writes what it found into their
// records in the daemon's vocabulary.
#pragma once

#include <cstdint>

#include "kv/flow.h"
#include "tools/capture/classify/application_table.h"
#include "tools/capture/classify/dns_name_cache.h"
#include "tools/capture/classify/dpi_state.h"
#include "tools/capture/classify/ndpi_module.h"
#include "tools/capture/classify/ndpi_protocol_map.h"
#include "tools/capture/decode/decoded_packet.h"

namespace capture {

// What a packet did to a flow's classification.
enum class DpiStep : uint8_t {
  kNone,      // nothing to publish
  kUpdated,   // the detected protocol became known or changed (event 7)
  kComplete,  // detection ended (event 8)
};

// Used by the one thread that plays the capture.
class FlowClassifier {
 public:
  // Throws CaptureError when nDPI cannot be set up.
  FlowClassifier();

  // Feeds one packet of a flow whose detection has not ended; `from_client` when the flow's
  // originator sent it. Remembers the addresses of a DNS response whatever the detection state,
  // once nDPI has classified the flow as DNS.
  DpiStep Feed(DpiState& state, const DecodedPacket& packet, bool from_client, uint64_t now_us);
  // Ends detection of a flow that has not ended: nDPI gives up with its guess.
  void GiveUp(DpiState& state);

  // Writes the classification into `flow` (whose lock the caller holds): protocols, names,
  // categories, details, risks, the guessed flag and, once complete, the digest history.
  // `server_port` is the port of the side that did not originate the flow. Frees nDPI's state of
  // a complete flow afterwards.
  void Write(DpiState& state, uint16_t server_port, kvFlow& flow);
  // Sets the flow's "dns_host_name" from the DNS answers seen so far, for the address the
  // originator sent to (`server` with IP version `version`).
  void NameFromDns(uint8_t version, const uint8_t* server, uint64_t now_us, kvFlow& flow) const;

  const NdpiProtocolMap& Map() const { return map; }
  const DnsNameCache& DnsNames() const { return dns_names; }

 private:
  // Remembers the answers of a DNS response in a flow nDPI classifies as DNS, on any port.
  void LearnDns(const DpiState& state, const DecodedPacket& packet, uint64_t now_us);
  static bool IsDns(const DpiState& state);
  DpiStep Result(DpiState& state, const ndpi_protocol& result);
  // nDPI's category of the flow's host name by its lists of domains; 0 when none matches.
  uint32_t DomainCategory(const kvFlow& flow) const;
  // The category of the protocol nDPI knows an IPv4 address's network by; 0 when it knows none.
  uint32_t NetworkCategory(const kvAddr& addr) const;

  NdpiModule module;
  NdpiProtocolMap map;
  ApplicationTable apps;
  DnsNameCache dns_names;
};

}  // namespace capture
