// PacketDecoder: the link types it reads, and the counters each decoded frame adds to; the frame
// itself is taken apart by FrameWalk.
#include "tools/capture/decode/packet_decoder.h"

#include <algorithm>

#include "tools/capture/constants.h"
#include "tools/capture/decode/frame_walk.h"

namespace capture {

bool PacketDecoder::Supports(int link_type) {
  switch (link_type) {
    case kLinkNull:
    case kLinkEthernet:
    case kLinkRaw12:
    case kLinkRaw14:
    case kLinkRaw101:
    case kLinkLoop:
    case kLinkLinuxSll:
    case kLinkIpv4:
    case kLinkIpv6:
    case kLinkLinuxSll2:
    case kLinkPpp:
    case kLinkPppHdlc:
    case kLinkCiscoHdlc:
    case kLinkIeee80211:
    case kLinkRadiotap:
    case kLinkPpi:
      return true;
    default:
      return false;
  }
}

DecodeResult PacketDecoder::Decode(const uint8_t* data, uint32_t caplen, uint32_t wirelen,
                                   DecodedPacket& out, kvPacketStats& stats) const {
  out = DecodedPacket{};
  stats.pkt_raw++;
  stats.pkt_wire_bytes += wirelen;
  stats.pkt_maxlen = std::max(stats.pkt_maxlen, wirelen);

  Seen seen;
  // A record claiming more captured than wire bytes is read as far as the wire length goes.
  const size_t wire = std::max(caplen, wirelen);
  FrameWalk walk(out, seen);
  const DecodeResult result = walk.Link(link_type, Window{data, caplen, wire});
  if (result == DecodeResult::kDiscarded) {
    stats.pkt_discard++;
    stats.pkt_discard_bytes += wirelen;
    out = DecodedPacket{};
    return result;
  }
  if (seen.ethernet) stats.pkt_eth++;
  if (seen.vlan) stats.pkt_vlan++;
  if (seen.pppoe) stats.pkt_pppoe++;
  if (seen.mpls) stats.pkt_mpls++;
  if (seen.fragment) stats.pkt_frags++;
  stats.pkt_ip++;
  stats.pkt_ip_bytes += seen.ip_bytes;
  if (seen.ip_version == 4) {
    stats.pkt_ip4++;
    stats.pkt_ip4_bytes += seen.ip_bytes;
  } else {
    stats.pkt_ip6++;
    stats.pkt_ip6_bytes += seen.ip_bytes;
  }
  switch (seen.protocol) {
    case kProtoTcp:
      stats.pkt_tcp++;
      break;
    case kProtoUdp:
      stats.pkt_udp++;
      break;
    case kProtoIcmp:
    case kProtoIcmpv6:
      stats.pkt_icmp++;
      break;
    case kProtoIgmp:
      stats.pkt_igmp++;
      break;
    default:
      break;
  }
  return result;
}

}  // namespace capture
