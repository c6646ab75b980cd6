// Packet counters of the daemon with every counter at one value, for the reliability tests.
#pragma once

#include <cstdint>

#include "kv/packet_stats.h"

namespace korvel_test {

// Every counter `value`; the largest-packet length its low 32 bits.
inline kvPacketStats PacketStatsOf(uint64_t value) {
  kvPacketStats s;
  s.pkt_raw = s.pkt_eth = s.pkt_mpls = s.pkt_pppoe = s.pkt_vlan = s.pkt_frags = s.pkt_discard =
      s.pkt_ip = s.pkt_ip4 = s.pkt_ip6 = s.pkt_icmp = s.pkt_igmp = s.pkt_tcp = s.pkt_tcp_seq_error =
          s.pkt_tcp_resets = s.pkt_udp = s.pkt_ip_bytes = s.pkt_ip4_bytes = s.pkt_ip6_bytes =
              s.pkt_wire_bytes = s.pkt_discard_bytes = s.pkt_queue_dropped = s.pkt_capture_dropped =
                  s.pkt_capture_filtered = s.flow_dropped = s.flow_evicted = value;
  s.pkt_maxlen = static_cast<uint32_t>(value);
  return s;
}

}  // namespace korvel_test
