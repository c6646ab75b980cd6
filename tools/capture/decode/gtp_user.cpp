// FrameWalk's GTP-U: a G-PDU on UDP port 2152 taken apart so that its inner packet is the flow.
#include "tools/capture/decode/frame_walk.h"

#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

// A G-PDU is taken apart and its inner packet becomes the flow; any other message (echo, error
// indication, a GTP' or v2 header) stays a plain UDP packet.
DecodeResult FrameWalk::Gtp(Window w) {
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
  if (!rest.Has(1) || !EnterTunnel()) return DecodeResult::kDiscarded;
  // The outer packet's fields give way to the inner packet's.
  out.src = Endpoint{};
  out.dst = Endpoint{};
  out.gtp = true;
  out.outer = outer;
  return Ip(rest, static_cast<uint8_t>(rest.data[0] >> 4));
}

}  // namespace capture
