// FrameWalk: one frame taken apart header by header, each checked against the captured bytes;
// the decoder's stages (link layers, wireless, IP, transport, tunnels, GTP-U) are its members, a
// file each.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "tools/capture/decode/decoded_packet.h"
#include "tools/capture/decode/packet_decoder.h"

namespace capture {

inline uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint32_t Le32(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// A window of a frame: `cap` bytes captured at `data`, of `wire` bytes that were on the wire.
struct Window {
  const uint8_t* data;
  size_t cap;
  size_t wire;

  bool Has(size_t n) const { return n <= cap; }
  Window Skip(size_t n) const { return Window{data + n, cap - n, wire - n}; }
  // The first `n` wire bytes (n <= wire).
  Window Limit(size_t n) const { return Window{data, std::min(cap, n), n}; }
};

// The protocol field of the PPP frame in `w` (after the HDLC address and control bytes when
// they are there; one byte when compressed), with `w` moved past it; 0 when it cannot be read
// (link_layers.cpp).
uint16_t PppProtocol(Window& w);

// What decoding found, beyond the flow's own fields, for the counters.
struct Seen {
  bool ethernet = false;
  bool vlan = false;
  bool pppoe = false;
  bool mpls = false;
  bool fragment = false;
  uint8_t ip_version = 0;  // outer packet
  uint8_t protocol = 0;    // outer packet
  uint64_t ip_bytes = 0;   // outer packet
};

// Used for one frame by the thread that decodes it.
class FrameWalk {
 public:
  FrameWalk(DecodedPacket& out_, Seen& seen_) : out(out_), seen(seen_) {}

  // The frame of link type `link_type` in `w` (link_layers.cpp).
  DecodeResult Link(int link_type, Window w);

 private:
  // An Ethernet header and what it carries (link_layers.cpp).
  DecodeResult Ethernet(Window w);
  // Ethernet's payload of ethertype `type`, after tags, PPPoE and MPLS labels (link_layers.cpp).
  DecodeResult Ether(uint16_t type, Window w);
  // A PPP frame, with or without the HDLC address and control bytes, or a Cisco HDLC frame
  // (link_layers.cpp).
  DecodeResult Ppp(Window w);
  DecodeResult CiscoHdlc(Window w);

  // A PPI header and the frame of the link type it names, a radiotap header and its 802.11
  // frame, an 802.11 data frame and its LLC/SNAP header (wireless.cpp).
  DecodeResult Ppi(Window w);
  DecodeResult Radiotap(Window w);
  // `swappable`: inside CAPWAP, where the frame control's bytes may come swapped.
  DecodeResult Wlan(Window w, bool swappable = false);

  // An IP packet of the given version at the start of `w`: the outer packet, or the inner one
  // of a tunnel once one was opened (ip_layers.cpp).
  DecodeResult Ip(Window w, uint8_t version);
  DecodeResult Ipv4(Window w);
  DecodeResult Ipv6(Window w);
  // Remembers the outer packet for the counters; the packets inside tunnels count nothing.
  void Note(uint8_t version, uint8_t protocol, size_t total, bool fragmented);
  void SetIpHeader(Window w, size_t total);
  static void SetAddress(Endpoint& endpoint, const uint8_t* bytes, size_t length);

  // The transport header of an IP packet's `protocol` (transport.cpp).
  DecodeResult Transport(Window w, uint8_t protocol);
  // The UDP datagram's payload: GTP-U, VXLAN, CAPWAP data or a flow's payload (transport.cpp).
  DecodeResult UdpPayload(Window w);
  void SetPayload(Window w);

  // Counts a tunnel being opened; false when it is one more than kMaxTunnelLevels (tunnels.cpp).
  bool EnterTunnel();
  // IP in IP, GRE, and the UDP payloads of VXLAN and CAPWAP data (tunnels.cpp).
  DecodeResult IpInIp(Window w, uint8_t version);
  DecodeResult Gre(Window w);
  DecodeResult Vxlan(Window w);
  DecodeResult Capwap(Window w);

  // The UDP payload of port 2152 (gtp_user.cpp).
  DecodeResult Gtp(Window w);

  DecodedPacket& out;
  Seen& seen;
  int tunnels = 0;  // opened so far
  // The IP packet being decoded is a fragment (the first: later ones have no transport header);
  // a tunnel in it is not opened, since its inner packet is cut.
  bool first_fragment = false;
};

}  // namespace capture
