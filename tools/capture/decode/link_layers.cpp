// FrameWalk's link layers: Ethernet, Linux cooked, BSD loopback, PPP, Cisco HDLC and raw IP
// frames, then 802.1Q/802.1ad tags, PPPoE sessions and MPLS labels.
#include "tools/capture/decode/frame_walk.h"

#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

namespace {

bool IsLoopbackInet6(uint32_t family) {
  for (uint32_t value : kLoopbackInet6) {
    if (family == value) return true;
  }
  return false;
}

}  // namespace

DecodeResult FrameWalk::Link(int link_type, Window w) {
  switch (link_type) {
    case kLinkEthernet:
      return Ethernet(w);
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
      if (family == kLoopbackInet) return Ip(ip, 4);
      if (IsLoopbackInet6(family)) return Ip(ip, 6);
      return DecodeResult::kDiscarded;
    }
    case kLinkRaw12:
    case kLinkRaw14:
    case kLinkRaw101:
      if (!w.Has(1)) return DecodeResult::kDiscarded;
      return Ip(w, static_cast<uint8_t>(w.data[0] >> 4));
    case kLinkIpv4:
      return Ip(w, 4);
    case kLinkIpv6:
      return Ip(w, 6);
    case kLinkPpp:
    case kLinkPppHdlc:
      return Ppp(w);
    case kLinkCiscoHdlc:
      return CiscoHdlc(w);
    case kLinkPpi:
      return Ppi(w);
    case kLinkRadiotap:
      return Radiotap(w);
    case kLinkIeee80211:
      return Wlan(w);
    default:
      return DecodeResult::kDiscarded;
  }
}

DecodeResult FrameWalk::Ethernet(Window w) {
  if (!w.Has(kEthernetHeader)) return DecodeResult::kDiscarded;
  seen.ethernet = true;
  // A tunnel's Ethernet frame replaces the MACs outside it: they are its packet's.
  out.has_macs = true;
  std::memcpy(out.dst_mac, w.data, kMacBytes);
  std::memcpy(out.src_mac, w.data + kMacBytes, kMacBytes);
  return Ether(Be16(w.data + 12), w.Skip(kEthernetHeader));
}

// libpcap's PPP link types hold PPP frames with or without the HDLC address and control bytes
// (and a protocol field compressed to one byte), or Cisco HDLC frames, told apart by the first
// byte. Only IPv4 and IPv6 are read; every other protocol (LCP, IPCP...) is not a flow.
uint16_t PppProtocol(Window& w) {
  if (w.Has(2) && w.data[0] == kPppAddress && w.data[1] == kPppControl) w = w.Skip(2);
  if (!w.Has(1)) return 0;
  // An odd first byte is a compressed (one-byte) protocol field.
  const size_t field = (w.data[0] & 0x01) != 0 ? 1 : 2;
  if (!w.Has(field)) return 0;
  const uint16_t protocol = field == 1 ? w.data[0] : Be16(w.data);
  w = w.Skip(field);
  return protocol;
}

DecodeResult FrameWalk::Ppp(Window w) {
  if (!w.Has(1)) return DecodeResult::kDiscarded;
  if (w.data[0] == kCiscoHdlcUnicast || w.data[0] == kCiscoHdlcBroadcast) return CiscoHdlc(w);
  const uint16_t protocol = PppProtocol(w);
  if (protocol == kPppIpv4) return Ip(w, 4);
  if (protocol == kPppIpv6) return Ip(w, 6);
  return DecodeResult::kDiscarded;
}

// Address, control and an ethertype (SLARP keep-alives and CDP are not flows).
DecodeResult FrameWalk::CiscoHdlc(Window w) {
  if (!w.Has(kCiscoHdlcHeader)) return DecodeResult::kDiscarded;
  return Ether(Be16(w.data + 2), w.Skip(kCiscoHdlcHeader));
}

DecodeResult FrameWalk::Ether(uint16_t type, Window w) {
  for (int layer = 0; layer < kMaxLinkLayers; layer++) {
    switch (type) {
      case kEtherIpv4:
        return Ip(w, 4);
      case kEtherIpv6:
        return Ip(w, 6);
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
        if (ppp == kPppIpv4) return Ip(w, 4);
        if (ppp == kPppIpv6) return Ip(w, 6);
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
        return Ip(w, static_cast<uint8_t>(w.data[0] >> 4));
      }
      default:
        return DecodeResult::kDiscarded;
    }
  }
  return DecodeResult::kDiscarded;
}

}  // namespace capture
