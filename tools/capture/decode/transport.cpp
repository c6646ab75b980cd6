// FrameWalk's transport layer: the TCP, UDP and ICMP headers a flow is tracked by, and the IP
// protocols and UDP ports that carry tunnels.
#include "tools/capture/decode/frame_walk.h"

#include "tools/capture/constants.h"

namespace capture {

DecodeResult FrameWalk::Transport(Window w, uint8_t protocol) {
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
      size_t length = Be16(w.data + 4);
      if (length < kUdpHeader || length > w.wire) length = w.wire;
      return UdpPayload(w.Limit(length).Skip(kUdpHeader));
    }
    case kProtoIcmp:
    case kProtoIcmpv6:
      if (!w.Has(kIcmpHeader)) return DecodeResult::kDiscarded;
      return DecodeResult::kFlow;
    case kProtoIpInIp:
      return first_fragment ? DecodeResult::kFlow : IpInIp(w, 4);
    case kProtoIpv6InIp:
      return first_fragment ? DecodeResult::kFlow : IpInIp(w, 6);
    case kProtoGre:
      return first_fragment ? DecodeResult::kFlow : Gre(w);
    default:
      return DecodeResult::kFlow;
  }
}

DecodeResult FrameWalk::UdpPayload(Window w) {
  const auto either = [this](uint16_t port) {
    return out.src.port == port || out.dst.port == port;
  };
  // The datagram's payload, unless a tunnel in it is opened and its inner packet replaces it.
  SetPayload(w);
  if (first_fragment) return DecodeResult::kFlow;
  // GTP-U is opened once: a tunnel inside it keeps the first GTP record.
  if (!out.gtp && either(kGtpUserPort)) return Gtp(w);
  if (either(kVxlanPort)) return Vxlan(w);
  if (either(kCapwapDataPort)) return Capwap(w);
  return DecodeResult::kFlow;
}

void FrameWalk::SetPayload(Window w) {
  out.payload = w.data;
  out.payload_captured = static_cast<uint32_t>(w.cap);
}

}  // namespace capture
