// kvPacketStats: packet counters of one interface or of the whole agent.
#pragma once

#include <cstdint>

#include "kv/api.h"
#include "kv/json.h"
#include "kv/serializer.h"

class KV_API kvPacketStats : public kvSerializer {
 public:
  uint64_t pkt_raw = 0;
  uint64_t pkt_eth = 0;
  uint64_t pkt_mpls = 0;
  uint64_t pkt_pppoe = 0;
  uint64_t pkt_vlan = 0;
  uint64_t pkt_frags = 0;
  uint64_t pkt_discard = 0;
  uint32_t pkt_maxlen = 0;
  uint64_t pkt_ip = 0;
  uint64_t pkt_ip4 = 0;  // not encoded
  uint64_t pkt_ip6 = 0;  // not encoded
  uint64_t pkt_icmp = 0;
  uint64_t pkt_igmp = 0;
  uint64_t pkt_tcp = 0;
  uint64_t pkt_tcp_seq_error = 0;
  uint64_t pkt_tcp_resets = 0;
  uint64_t pkt_udp = 0;
  uint64_t pkt_ip_bytes = 0;
  uint64_t pkt_ip4_bytes = 0;  // not encoded
  uint64_t pkt_ip6_bytes = 0;  // not encoded
  uint64_t pkt_wire_bytes = 0;
  uint64_t pkt_discard_bytes = 0;
  uint64_t pkt_queue_dropped = 0;
  uint64_t pkt_capture_dropped = 0;
  uint64_t pkt_capture_filtered = 0;
  uint64_t flow_dropped = 0;
  uint64_t flow_evicted = 0;

  // Writes the 23 counter members. Defined by the processor plugin.
  template <typename J>
  void Encode(J& j) const;
};
