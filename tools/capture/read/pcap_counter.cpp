// PcapCounter: deltas of a wrapping 32-bit counter, a step back counted as nothing.
#include "tools/capture/read/pcap_counter.h"

#include "tools/capture/constants.h"

namespace capture {

uint64_t PcapCounter::Advance(uint32_t value) {
  const uint32_t forward = value - last;  // modulo 2^32
  last = value;
  return forward < kPcapCounterBackwards ? forward : 0;
}

}  // namespace capture
