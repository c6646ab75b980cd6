// FrameWalk's tunnels: IP in IP (IPv4 or IPv6 in either), GRE, VXLAN and CAPWAP data, each opened
// so that its inner packet is the flow, at most kMaxTunnelLevels deep.
#include "tools/capture/decode/frame_walk.h"

#include "tools/capture/constants.h"

namespace capture {

bool FrameWalk::EnterTunnel() {
  return ++tunnels <= kMaxTunnelLevels;
}

DecodeResult FrameWalk::IpInIp(Window w, uint8_t version) {
  if (!EnterTunnel()) return DecodeResult::kDiscarded;
  return Ip(w, version);
}

// GRE version 0 carrying IPv4, IPv6 or Ethernet, and PPTP's version 1 carrying IP over PPP, are
// opened; anything else (other protocols, source routing, PPTP's acknowledgments and its
// compressed or encrypted PPP) stays a GRE packet of its own flow.
DecodeResult FrameWalk::Gre(Window w) {
  if (!w.Has(kGreHeader)) return DecodeResult::kFlow;
  const uint16_t flags = Be16(w.data);
  const uint16_t type = Be16(w.data + 2);
  const uint16_t version = flags & kGreVersionMask;
  size_t header = kGreHeader;
  if (version == 0) {
    if ((flags & kGreRouting) != 0) return DecodeResult::kFlow;
    if (type != kEtherIpv4 && type != kEtherIpv6 && type != kEtherTransparentBridging) {
      return DecodeResult::kFlow;
    }
    if (flags & kGreChecksum) header += kGreOptional;
    if (flags & kGreKey) header += kGreOptional;
    if (flags & kGreSequence) header += kGreOptional;
  } else if (version == kGreVersionPptp) {
    if (type != kEtherPpp || (flags & kGreKey) == 0) return DecodeResult::kFlow;
    header += kGreOptional;  // payload length and call id
    if (flags & kGreSequence) header += kGreOptional;
    if (flags & kGreAck) header += kGreOptional;
  } else {
    return DecodeResult::kFlow;
  }
  if (!w.Has(header)) return DecodeResult::kDiscarded;
  const Window inner = w.Skip(header);
  if (version == kGreVersionPptp) {
    Window frame = inner;
    const uint16_t ppp = PppProtocol(frame);
    if (ppp != kPppIpv4 && ppp != kPppIpv6) return DecodeResult::kFlow;
  }
  if (!EnterTunnel()) return DecodeResult::kDiscarded;
  switch (type) {
    case kEtherIpv4:
      return Ip(inner, 4);
    case kEtherIpv6:
      return Ip(inner, 6);
    case kEtherTransparentBridging:
      return Ethernet(inner);
    default:
      return Ppp(inner);
  }
}

// A VXLAN header with a valid VNI carries an Ethernet frame; anything else on the port stays UDP.
DecodeResult FrameWalk::Vxlan(Window w) {
  if (!w.Has(kVxlanHeader) || (w.data[0] & kVxlanFlagVni) == 0) return DecodeResult::kFlow;
  if (!EnterTunnel()) return DecodeResult::kDiscarded;
  return Ethernet(w.Skip(kVxlanHeader));
}

// A CAPWAP data packet carries an 802.11 frame (the T bit set, wireless binding IEEE 802.11; its
// frame control as sent or swapped) or an Ethernet frame (T clear). DTLS-encrypted packets,
// keep-alives, fragments, other bindings and packets without a payload stay UDP.
DecodeResult FrameWalk::Capwap(Window w) {
  if (!w.Has(kCapwapHeader) || w.data[0] != 0) return DecodeResult::kFlow;  // version 0, type 0
  const uint32_t word = Be32(w.data);
  const size_t header = ((word >> 19) & 0x1f) * kCapwapLengthUnit;
  const uint32_t binding = (word >> 9) & 0x1f;
  const bool native = ((word >> 8) & 1) != 0;      // T: the binding's own frame format
  const bool fragment = ((word >> 7) & 1) != 0;    // F
  const bool keep_alive = ((word >> 3) & 1) != 0;  // K
  if (fragment || keep_alive) return DecodeResult::kFlow;
  if (header < kCapwapHeader || !w.Has(header)) return DecodeResult::kDiscarded;
  if (native && binding != kCapwapWbidIeee80211) return DecodeResult::kFlow;
  const Window inner = w.Skip(header);
  if (inner.wire == 0) return DecodeResult::kFlow;
  if (!EnterTunnel()) return DecodeResult::kDiscarded;
  return native ? Wlan(inner, true) : Ethernet(inner);
}

}  // namespace capture
