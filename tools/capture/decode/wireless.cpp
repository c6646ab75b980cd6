// FrameWalk's wireless link layers: PPI and radiotap headers, IEEE 802.11 data frames and their
// LLC/SNAP header.
#include "tools/capture/decode/frame_walk.h"

#include <cstring>
#include <utility>

#include "tools/capture/constants.h"

namespace capture {

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// A frame control's first byte naming a data frame of protocol version 0.
bool IsData(uint8_t control) {
  return (control & 0x03) == 0 && (control & kWlanTypeMask) == kWlanTypeData;
}

}  // namespace

// The PPI header's length covers its fields; the frame after it is of the link type it names
// (any the decoder reads but PPI itself).
DecodeResult FrameWalk::Ppi(Window w) {
  if (!w.Has(kPpiHeader)) return DecodeResult::kDiscarded;
  const size_t length = Le16(w.data + 2);
  const uint32_t link_type = Le32(w.data + 4);
  if (length < kPpiHeader || !w.Has(length) || link_type == kLinkPpi) {
    return DecodeResult::kDiscarded;
  }
  return Link(static_cast<int>(link_type), w.Skip(length));
}

// The radiotap header's length covers its fields. Its flags field, when present, says whether
// the frame failed its checksum: such a frame is damaged and discarded.
DecodeResult FrameWalk::Radiotap(Window w) {
  if (!w.Has(kRadiotapHeader)) return DecodeResult::kDiscarded;
  const size_t length = Le16(w.data + 2);
  if (length < kRadiotapHeader || !w.Has(length)) return DecodeResult::kDiscarded;
  const uint32_t present = Le32(w.data + 4);
  // The fields follow the present words (each with bit 31 says another follows), aligned to
  // their size from the header's start: the TSFT (8 bytes) comes before the flags (1 byte).
  size_t at = 4;
  for (int words = 1;; words++) {
    if (at + 4 > length) return DecodeResult::kDiscarded;
    const uint32_t word = Le32(w.data + at);
    at += 4;
    if ((word & kRadiotapPresentExtended) == 0) break;
    if (words >= kMaxRadiotapPresentWords) return DecodeResult::kDiscarded;
  }
  if ((present & kRadiotapPresentFlags) != 0) {
    if ((present & kRadiotapPresentTsft) != 0) at = ((at + 7) & ~size_t{7}) + 8;
    if (at >= length) return DecodeResult::kDiscarded;
    if ((w.data[at] & kRadiotapFlagBadFcs) != 0) return DecodeResult::kDiscarded;
  }
  return Wlan(w.Skip(length));
}

// Only data frames carrying data are read: management and control frames, null data frames
// and protected (encrypted) frames are not flows. The header is 24 bytes, 30 with four
// addresses (to and from the distribution system), 2 more for QoS data and 4 more for the HT
// control field of a QoS frame with the order bit; then LLC/SNAP names the ethertype.
DecodeResult FrameWalk::Wlan(Window w, bool swappable) {
  if (!w.Has(2)) return DecodeResult::kDiscarded;
  uint8_t control = w.data[0];
  uint8_t flags = w.data[1];
  // Cisco's access points send the frame control's two bytes swapped inside CAPWAP.
  if (swappable && !IsData(control) && IsData(flags)) std::swap(control, flags);
  if (!IsData(control) || (control & kWlanSubtypeNoData) != 0 || (flags & kWlanProtected) != 0) {
    return DecodeResult::kDiscarded;
  }
  const bool to_ds = (flags & kWlanToDs) != 0;
  const bool from_ds = (flags & kWlanFromDs) != 0;
  size_t header = to_ds && from_ds ? kWlanHeaderFourAddresses : kWlanHeader;
  if ((control & kWlanSubtypeQos) != 0) {
    header += kWlanQosControl;
    if ((flags & kWlanOrder) != 0) header += kWlanHtControl;
  }
  if (!w.Has(header + kLlcSnapHeader)) return DecodeResult::kDiscarded;
  const uint8_t* llc = w.data + header;
  if (std::memcmp(llc, kLlcSnap, sizeof(kLlcSnap)) != 0) return DecodeResult::kDiscarded;
  // Destination and source: addresses 1 and 2 within a cell, 3 and 2 to the distribution
  // system, 1 and 3 from it, 3 and 4 between access points.
  const uint8_t* address[] = {nullptr, w.data + 4, w.data + 10, w.data + 16, w.data + 24};
  out.has_macs = true;
  std::memcpy(out.dst_mac, address[to_ds ? 3 : 1], kMacBytes);
  std::memcpy(out.src_mac, address[from_ds ? (to_ds ? 4 : 3) : 2], kMacBytes);
  return Ether(Be16(llc + 6), w.Skip(header + kLlcSnapHeader));
}

}  // namespace capture
