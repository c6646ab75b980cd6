// FrameWalk's IP layer: IPv4 and IPv6 headers, IPv6 extension headers and fragments.
#include "tools/capture/decode/frame_walk.h"

#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

DecodeResult FrameWalk::Ip(Window w, uint8_t version) {
  if (version == 4) return Ipv4(w);
  if (version == 6) return Ipv6(w);
  return DecodeResult::kDiscarded;
}

void FrameWalk::Note(uint8_t version, uint8_t protocol, size_t total, bool fragmented) {
  if (tunnels > 0) return;
  seen.ip_version = version;
  seen.protocol = protocol;
  seen.ip_bytes = total;
  seen.fragment = fragmented;
}

DecodeResult FrameWalk::Ipv4(Window w) {
  if (!w.Has(kIpv4MinHeader) || (w.data[0] >> 4) != 4) return DecodeResult::kDiscarded;
  const size_t header = size_t{w.data[0] & 0x0fu} * 4;
  size_t total = Be16(w.data + 2);
  if (total == 0) total = w.wire;  // segmentation offload: the length was left to the NIC
  if (header < kIpv4MinHeader || !w.Has(header) || total < header || total > w.wire) {
    return DecodeResult::kDiscarded;
  }
  const uint16_t fragment = Be16(w.data + 6);
  const bool fragmented = (fragment & (kIpv4MoreFragments | kIpv4OffsetMask)) != 0;
  Note(4, w.data[9], total, fragmented);
  first_fragment = fragmented;
  out.ip_version = 4;
  SetIpHeader(w, total);
  out.dscp = static_cast<uint8_t>(w.data[1] >> 2);
  out.protocol = w.data[9];
  SetAddress(out.src, w.data + 12, 4);
  SetAddress(out.dst, w.data + 16, 4);
  if ((fragment & kIpv4OffsetMask) != 0) return DecodeResult::kUntracked;
  return Transport(w.Limit(total).Skip(header), out.protocol);
}

DecodeResult FrameWalk::Ipv6(Window w) {
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
  Note(6, next, total, fragmented);
  first_fragment = fragmented;
  if (later_fragment) return DecodeResult::kUntracked;
  return Transport(rest, next);
}

void FrameWalk::SetIpHeader(Window w, size_t total) {
  out.ip_header = w.data;
  out.ip_captured = static_cast<uint32_t>(std::min(w.cap, total));
  out.payload = nullptr;
  out.payload_captured = 0;
}

void FrameWalk::SetAddress(Endpoint& endpoint, const uint8_t* bytes, size_t length) {
  std::memset(endpoint.addr, 0, sizeof(endpoint.addr));
  std::memcpy(endpoint.addr, bytes, length);
  endpoint.port = 0;
}

}  // namespace capture
