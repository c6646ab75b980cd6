// PacketDecoder: takes one captured frame apart (link layer, tags, IP, transport, tunnels).
#pragma once

#include <cstdint>

#include "kv/packet_stats.h"
#include "tools/capture/decode/decoded_packet.h"

namespace capture {

// Stateless apart from the link type; any thread. Reads only the captured bytes it is given and
// never allocates.
class PacketDecoder {
 public:
  // True for the link types the decoder reads.
  static bool Supports(int link_type);

  explicit PacketDecoder(int link_type_) : link_type(link_type_) {}

  // Decodes a frame of `caplen` captured bytes out of `wirelen` on the wire into `out` (which it
  // resets first) and counts it in `stats`: raw, wire bytes and largest frame always; a discarded
  // frame also in discarded and discarded bytes and in nothing else; any other frame in the
  // counters of the headers it carries (ethernet, vlan, pppoe, mpls at any depth; ip, ip bytes,
  // fragmented and the protocol of the outermost IP packet).
  DecodeResult Decode(const uint8_t* data, uint32_t caplen, uint32_t wirelen, DecodedPacket& out,
                      kvPacketStats& stats) const;

 private:
  int link_type;
};

}  // namespace capture
