// PcapCounter: one of libpcap's 32-bit capture counters turned into what it counted since the
// previous reading.
#pragma once

#include <cstdint>

namespace capture {

// libpcap's counters (pcap_stats) are 32 bits wide and count from the handle's activation; they
// wrap, and a driver or libpcap may start one again from 0. Used by one thread.
class PcapCounter {
 public:
  // The reading the next delta counts from (the value at activation).
  void Start(uint32_t value) { last = value; }
  // What was counted since the previous reading: the difference modulo 2^32 when it is below
  // 2^31 (the counter went forward, perhaps through a wrap); otherwise the counter went back (a
  // reset), nothing is counted and `value` is the new start. So no reading can make a delta of
  // 2^31 or more.
  uint64_t Advance(uint32_t value);

 private:
  uint32_t last = 0;
};

}  // namespace capture
