// AddCounters: the sum of interface counters.
#include "tools/capture/track/packet_counters.h"

#include <algorithm>

namespace capture {

void AddCounters(kvPacketStats& sum, const kvPacketStats& add) {
  sum.pkt_raw += add.pkt_raw;
  sum.pkt_eth += add.pkt_eth;
  sum.pkt_mpls += add.pkt_mpls;
  sum.pkt_pppoe += add.pkt_pppoe;
  sum.pkt_vlan += add.pkt_vlan;
  sum.pkt_frags += add.pkt_frags;
  sum.pkt_discard += add.pkt_discard;
  sum.pkt_maxlen = std::max(sum.pkt_maxlen, add.pkt_maxlen);
  sum.pkt_ip += add.pkt_ip;
  sum.pkt_ip4 += add.pkt_ip4;
  sum.pkt_ip6 += add.pkt_ip6;
  sum.pkt_icmp += add.pkt_icmp;
  sum.pkt_igmp += add.pkt_igmp;
  sum.pkt_tcp += add.pkt_tcp;
  sum.pkt_tcp_seq_error += add.pkt_tcp_seq_error;
  sum.pkt_tcp_resets += add.pkt_tcp_resets;
  sum.pkt_udp += add.pkt_udp;
  sum.pkt_ip_bytes += add.pkt_ip_bytes;
  sum.pkt_ip4_bytes += add.pkt_ip4_bytes;
  sum.pkt_ip6_bytes += add.pkt_ip6_bytes;
  sum.pkt_wire_bytes += add.pkt_wire_bytes;
  sum.pkt_discard_bytes += add.pkt_discard_bytes;
  sum.pkt_queue_dropped += add.pkt_queue_dropped;
  sum.pkt_capture_dropped += add.pkt_capture_dropped;
  sum.pkt_capture_filtered += add.pkt_capture_filtered;
  sum.flow_dropped += add.flow_dropped;
  sum.flow_evicted += add.flow_evicted;
}

}  // namespace capture
