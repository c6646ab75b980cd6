// DecodedPacket: what the decoder takes out of one frame for the flow tracker.
#pragma once

#include <cstdint>

namespace capture {

// One IP endpoint: address bytes (IPv4 in the first four, the rest zero) and port in host order.
struct Endpoint {
  uint8_t addr[16] = {};
  uint16_t port = 0;
};

// The outer packet of a GTP-U tunnel.
struct GtpOuter {
  uint8_t version = 0;     // GTP version (1)
  uint8_t ip_version = 0;  // outer IP version
  uint32_t teid = 0;       // as on the wire (network byte order)
  Endpoint src;
  Endpoint dst;
};

struct DecodedPacket {
  bool has_macs = false;  // Ethernet header present
  uint8_t src_mac[6] = {};
  uint8_t dst_mac[6] = {};
  uint16_t vlan_id = 0;  // innermost tag; 0 untagged

  // The flow's IP packet (the inner one of a GTP-U tunnel).
  uint8_t ip_version = 0;
  uint8_t protocol = 0;
  uint8_t dscp = 0;
  Endpoint src;
  Endpoint dst;

  // TCP: flags, sequence number and the sequence space the segment takes (payload, SYN, FIN).
  uint8_t tcp_flags = 0;
  uint32_t tcp_seq = 0;
  uint32_t tcp_length = 0;

  // The flow's IP packet from its header, as far as it was captured (at most its total length),
  // and the transport payload within it; for nDPI. They point into the frame being decoded.
  const uint8_t* ip_header = nullptr;
  uint32_t ip_captured = 0;
  const uint8_t* payload = nullptr;
  uint32_t payload_captured = 0;

  bool gtp = false;
  GtpOuter outer;
};

// What the decoder made of a frame.
enum class DecodeResult : uint8_t {
  kFlow,       // an IP packet of a flow, in DecodedPacket
  kUntracked,  // counted, but belongs to no flow (a fragment after the first)
  kDiscarded,  // malformed, truncated or not IP: counted as discarded and skipped
};

}  // namespace capture
