// PacketDecoder: link layers, 802.1Q/802.1ad tags, PPPoE, MPLS, IPv4, IPv6 with its extension
// headers, TCP, UDP, ICMP and GTP-U, each header checked against the captured bytes.
#include "tools/capture/decode/packet_decoder.h"

#include <algorithm>
#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

namespace {

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint32_t Le32(const uint8_t* p) {
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

bool IsLoopbackInet6(uint32_t family) {
  for (uint32_t value : kLoopbackInet6) {
    if (family == value) return true;
  }
  return false;
}

class Decoder {
 public:
  Decoder(DecodedPacket& out_, Seen& seen_) : out(out_), seen(seen_) {}

  DecodeResult Link(int link_type, Window w) {
    switch (link_type) {
      case kLinkEthernet: {
        if (!w.Has(kEthernetHeader)) return DecodeResult::kDiscarded;
        seen.ethernet = true;
        out.has_macs = true;
        std::memcpy(out.dst_mac, w.data, kMacBytes);
        std::memcpy(out.src_mac, w.data + kMacBytes, kMacBytes);
        return Ether(Be16(w.data + 12), w.Skip(kEthernetHeader));
      }
      case kLinkLinuxSll:
        if (!w.Has(kSllHeader)) return DecodeResult::kDiscarded;
        return Ether(Be16(w.data + 14), w.Skip(kSllHeader));
      case kLinkLinuxSll2:
        if (!w.Has(kSll2Header)) return DecodeResult::kDiscarded;
        return Ether(Be16(w.data), w.Skip(kSll2Header));
      case kLinkNull:
      case kLinkLoop: {
        if (!w.Has(kLoopbackHeader)) return DecodeResult::kDiscarded;
        // The family is in the capturing host's byte order (network order for kLinkLoop): a
        // value that reads as IPv4 or IPv6 either way is taken.
        const uint32_t be = Be32(w.data);
        const uint32_t le = Le32(w.data);
        const uint32_t family = link_type == kLinkLoop ? be : (be < 0x10000 ? be : le);
        Window ip = w.Skip(kLoopbackHeader);
        if (family == kLoopbackInet) return Ip(ip, 4, false);
        if (IsLoopbackInet6(family)) return Ip(ip, 6, false);
        return DecodeResult::kDiscarded;
      }
      case kLinkRaw12:
      case kLinkRaw14:
      case kLinkRaw101:
        if (!w.Has(1)) return DecodeResult::kDiscarded;
        return Ip(w, static_cast<uint8_t>(w.data[0] >> 4), false);
      case kLinkIpv4:
        return Ip(w, 4, false);
      case kLinkIpv6:
        return Ip(w, 6, false);
      default:
        return DecodeResult::kDiscarded;
    }
  }

 private:
  DecodeResult Ether(uint16_t type, Window w) {
    for (int layer = 0; layer < kMaxLinkLayers; layer++) {
      switch (type) {
        case kEtherIpv4:
          return Ip(w, 4, false);
        case kEtherIpv6:
          return Ip(w, 6, false);
        case kEtherVlan:
        case kEtherQinQ:
        case kEtherQinQOld:
          if (!w.Has(kVlanTag)) return DecodeResult::kDiscarded;
          // Each tag replaces the one outside it: the innermost (customer) tag is the flow's.
          out.vlan_id = Be16(w.data) & kVlanIdMask;
          seen.vlan = true;
          type = Be16(w.data + 2);
          w = w.Skip(kVlanTag);
          break;
        case kEtherPppoeSession: {
          if (!w.Has(kPppoeSession)) return DecodeResult::kDiscarded;
          seen.pppoe = true;
          const uint16_t ppp = Be16(w.data + 6);
          w = w.Skip(kPppoeSession);
          if (ppp == kPppIpv4) return Ip(w, 4, false);
          if (ppp == kPppIpv6) return Ip(w, 6, false);
          return DecodeResult::kDiscarded;
        }
        case kEtherMplsUnicast:
        case kEtherMplsMulticast: {
          seen.mpls = true;
          for (int label = 0;; label++) {
            if (label >= kMaxLinkLayers || !w.Has(kMplsLabel)) return DecodeResult::kDiscarded;
            const bool bottom = (w.data[2] & 0x01) != 0;
            w = w.Skip(kMplsLabel);
            if (bottom) break;
          }
          if (!w.Has(1)) return DecodeResult::kDiscarded;
          return Ip(w, static_cast<uint8_t>(w.data[0] >> 4), false);
        }
        default:
          return DecodeResult::kDiscarded;
      }
    }
    return DecodeResult::kDiscarded;
  }

  // An IP packet of the given version at the start of `w`; `inner` for the packet inside GTP-U.
  DecodeResult Ip(Window w, uint8_t version, bool inner) {
    if (version == 4) return Ipv4(w, inner);
    if (version == 6) return Ipv6(w, inner);
    return DecodeResult::kDiscarded;
  }

  DecodeResult Ipv4(Window w, bool inner) {
    if (!w.Has(kIpv4MinHeader) || (w.data[0] >> 4) != 4) return DecodeResult::kDiscarded;
    const size_t header = size_t{w.data[0] & 0x0fu} * 4;
    size_t total = Be16(w.data + 2);
    if (total == 0) total = w.wire;  // segmentation offload: the length was left to the NIC
    if (header < kIpv4MinHeader || !w.Has(header) || total < header || total > w.wire) {
      return DecodeResult::kDiscarded;
    }
    const uint16_t fragment = Be16(w.data + 6);
    const bool fragmented = (fragment & (kIpv4MoreFragments | kIpv4OffsetMask)) != 0;
    Note(inner, 4, w.data[9], total, fragmented);
    out.ip_version = 4;
    SetIpHeader(w, total);
    out.dscp = static_cast<uint8_t>(w.data[1] >> 2);
    out.protocol = w.data[9];
    SetAddress(out.src, w.data + 12, 4);
    SetAddress(out.dst, w.data + 16, 4);
    if ((fragment & kIpv4OffsetMask) != 0) return DecodeResult::kUntracked;
    return Transport(w.Limit(total).Skip(header), out.protocol, inner);
  }

  DecodeResult Ipv6(Window w, bool inner) {
    if (!w.Has(kIpv6Header) || (w.data[0] >> 4) != 6) return DecodeResult::kDiscarded;
    size_t total = kIpv6Header + Be16(w.data + 4);
    if (total == kIpv6Header) total = w.wire;  // a jumbogram or offload: up to the frame's end
    if (total > w.wire) return DecodeResult::kDiscarded;
    out.ip_version = 6;
    SetIpHeader(w, total);
    out.dscp = static_cast<uint8_t>(((Be16(w.data) >> 4) & 0xff) >> 2);
    SetAddress(out.src, w.data + 8, 16);
    SetAddress(out.dst, w.data + 24, 16);

    uint8_t next = w.data[6];
    Window rest = w.Limit(total).Skip(kIpv6Header);
    bool fragmented = false;
    bool later_fragment = false;
    for (int walked = 0;; walked++) {
      size_t length = 0;
      switch (next) {
        case kProtoHopByHop:
        case kProtoRouting:
        case kProtoDestOptions:
        case kProtoMobility:
        case kProtoHip:
        case kProtoShim6:
          if (!rest.Has(2)) return DecodeResult::kDiscarded;
          length = (size_t{rest.data[1]} + 1) * 8;
          break;
        case kProtoAh:
          if (!rest.Has(2)) return DecodeResult::kDiscarded;
          length = (size_t{rest.data[1]} + 2) * 4;
          break;
        case kProtoFragment:
          if (!rest.Has(8)) return DecodeResult::kDiscarded;
          length = 8;
          fragmented = true;
          if ((Be16(rest.data + 2) >> 3) != 0) later_fragment = true;
          break;
        default:
          length = 0;
          break;
      }
      if (length == 0) break;
      if (walked >= kMaxExtensionHeaders || !rest.Has(length)) return DecodeResult::kDiscarded;
      next = rest.data[0];
      rest = rest.Skip(length);
      if (later_fragment) break;
    }
    out.protocol = next;
    Note(inner, 6, next, total, fragmented);
    if (later_fragment) return DecodeResult::kUntracked;
    return Transport(rest, next, inner);
  }

  // Remembers the outer packet for the counters; the inner packet of a tunnel counts nothing.
  void Note(bool inner, uint8_t version, uint8_t protocol, size_t total, bool fragmented) {
    if (inner) return;
    seen.ip_version = version;
    seen.protocol = protocol;
    seen.ip_bytes = total;
    seen.fragment = fragmented;
  }

  DecodeResult Transport(Window w, uint8_t protocol, bool inner) {
    switch (protocol) {
      case kProtoTcp: {
        if (!w.Has(kTcpMinHeader)) return DecodeResult::kDiscarded;
        const size_t header = static_cast<size_t>(w.data[12] >> 4) * 4;
        if (header < kTcpMinHeader || header > w.wire) return DecodeResult::kDiscarded;
        out.src.port = Be16(w.data);
        out.dst.port = Be16(w.data + 2);
        out.tcp_seq = Be32(w.data + 4);
        out.tcp_flags = w.data[13];
        out.tcp_length = static_cast<uint32_t>(w.wire - header) +
                         ((out.tcp_flags & kTcpSyn) ? 1 : 0) + ((out.tcp_flags & kTcpFin) ? 1 : 0);
        if (w.Has(header)) SetPayload(w.Skip(header));
        return DecodeResult::kFlow;
      }
      case kProtoUdp: {
        if (!w.Has(kUdpHeader)) return DecodeResult::kDiscarded;
        out.src.port = Be16(w.data);
        out.dst.port = Be16(w.data + 2);
        if (!inner && (out.src.port == kGtpUserPort || out.dst.port == kGtpUserPort)) {
          size_t length = Be16(w.data + 4);
          if (length < kUdpHeader || length > w.wire) length = w.wire;
          return Gtp(w.Limit(length).Skip(kUdpHeader));
        }
        size_t length = Be16(w.data + 4);
        if (length < kUdpHeader || length > w.wire) length = w.wire;
        SetPayload(w.Limit(length).Skip(kUdpHeader));
        return DecodeResult::kFlow;
      }
      case kProtoIcmp:
      case kProtoIcmpv6:
        if (!w.Has(kIcmpHeader)) return DecodeResult::kDiscarded;
        return DecodeResult::kFlow;
      default:
        return DecodeResult::kFlow;
    }
  }

  // The UDP payload of port 2152. A G-PDU is taken apart and its inner packet becomes the flow;
  // any other message (echo, error indication, a GTP' or v2 header) stays a plain UDP packet.
  DecodeResult Gtp(Window w) {
    if (!w.Has(kGtpHeader)) return DecodeResult::kFlow;
    const uint8_t flags = w.data[0];
    const uint8_t version = static_cast<uint8_t>(flags >> 5);
    if (version != kGtpVersion1 || (flags & kGtpFlagProtocolType) == 0 ||
        w.data[1] != kGtpMessageGpdu) {
      return DecodeResult::kFlow;
    }
    const size_t length = Be16(w.data + 2);  // bytes after the mandatory header
    if (kGtpHeader + length > w.wire) return DecodeResult::kDiscarded;
    GtpOuter outer;
    outer.version = version;
    outer.ip_version = out.ip_version;
    std::memcpy(&outer.teid, w.data + 4, sizeof(outer.teid));
    outer.src = out.src;
    outer.dst = out.dst;

    Window rest = w.Limit(kGtpHeader + length).Skip(kGtpHeader);
    if ((flags & (kGtpFlagExtension | kGtpFlagSequence | kGtpFlagNpdu)) != 0) {
      if (!rest.Has(kGtpOptional)) return DecodeResult::kDiscarded;
      uint8_t next = rest.data[3];
      rest = rest.Skip(kGtpOptional);
      if ((flags & kGtpFlagExtension) == 0) next = 0;
      for (int walked = 0; next != 0; walked++) {
        if (walked >= kMaxGtpExtensions || !rest.Has(1)) return DecodeResult::kDiscarded;
        const size_t bytes = size_t{rest.data[0]} * 4;
        if (bytes == 0 || !rest.Has(bytes)) return DecodeResult::kDiscarded;
        next = rest.data[bytes - 1];
        rest = rest.Skip(bytes);
      }
    }
    if (!rest.Has(1)) return DecodeResult::kDiscarded;
    // The outer packet's fields give way to the inner packet's.
    out.src = Endpoint{};
    out.dst = Endpoint{};
    out.gtp = true;
    out.outer = outer;
    return Ip(rest, static_cast<uint8_t>(rest.data[0] >> 4), true);
  }

  void SetIpHeader(Window w, size_t total) {
    out.ip_header = w.data;
    out.ip_captured = static_cast<uint32_t>(std::min(w.cap, total));
    out.payload = nullptr;
    out.payload_captured = 0;
  }

  void SetPayload(Window w) {
    out.payload = w.data;
    out.payload_captured = static_cast<uint32_t>(w.cap);
  }

  static void SetAddress(Endpoint& endpoint, const uint8_t* bytes, size_t length) {
    std::memset(endpoint.addr, 0, sizeof(endpoint.addr));
    std::memcpy(endpoint.addr, bytes, length);
    endpoint.port = 0;
  }

  DecodedPacket& out;
  Seen& seen;
};

}  // namespace

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
  Decoder decoder(out, seen);
  const DecodeResult result = decoder.Link(link_type, Window{data, caplen, wire});
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
