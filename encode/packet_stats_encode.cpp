// kvPacketStats::Encode: the 23 packet and byte counters of an interface or of the whole agent.
#include "encode/keys.h"
#include "kv/packet_stats.h"

namespace {

namespace key = kpp::encode::key;
using Path = kvSerializer::Path;

struct PacketStatsPaths {
  Path raw{"raw"};
  Path ethernet{"ethernet"};
  Path mpls{"mpls"};
  Path pppoe{"pppoe"};
  Path vlan{"vlan"};
  Path fragmented{"fragmented"};
  Path discarded{"discarded"};
  Path discarded_bytes{"discarded_bytes"};
  Path largest_bytes{"largest_bytes"};
  Path ip{"ip"};
  Path tcp{key::kTcp};
  Path tcp_seq_errors{"tcp_seq_errors"};
  Path tcp_resets{"tcp_resets"};
  Path udp{"udp"};
  Path icmp{"icmp"};
  Path igmp{"igmp"};
  Path ip_bytes{"ip_bytes"};
  Path wire_bytes{"wire_bytes"};
  Path flow_dropped{"flow_dropped"};
  Path flow_evicted{"flow_evicted"};
  Path queue_dropped{"queue_dropped"};
  Path capture_dropped{"capture_dropped"};
  Path capture_filtered{"capture_filtered"};
};

const PacketStatsPaths& Paths() {
  static const PacketStatsPaths paths;
  return paths;
}

}  // namespace

// Any thread; the record and the document belong to the caller. No lock.
template <typename J>
void kvPacketStats::Encode(J& j) const {
  const PacketStatsPaths& paths = Paths();
  auto counter = [](uint64_t value) { return static_cast<unsigned long>(value); };
  serialize(j, paths.raw, counter(pkt_raw));
  serialize(j, paths.ethernet, counter(pkt_eth));
  serialize(j, paths.mpls, counter(pkt_mpls));
  serialize(j, paths.pppoe, counter(pkt_pppoe));
  serialize(j, paths.vlan, counter(pkt_vlan));
  serialize(j, paths.fragmented, counter(pkt_frags));
  serialize(j, paths.discarded, counter(pkt_discard));
  serialize(j, paths.discarded_bytes, counter(pkt_discard_bytes));
  serialize(j, paths.largest_bytes, static_cast<unsigned int>(pkt_maxlen));
  serialize(j, paths.ip, counter(pkt_ip));
  serialize(j, paths.tcp, counter(pkt_tcp));
  serialize(j, paths.tcp_seq_errors, counter(pkt_tcp_seq_error));
  serialize(j, paths.tcp_resets, counter(pkt_tcp_resets));
  serialize(j, paths.udp, counter(pkt_udp));
  serialize(j, paths.icmp, counter(pkt_icmp));
  serialize(j, paths.igmp, counter(pkt_igmp));
  serialize(j, paths.ip_bytes, counter(pkt_ip_bytes));
  serialize(j, paths.wire_bytes, counter(pkt_wire_bytes));
  serialize(j, paths.flow_dropped, counter(flow_dropped));
  serialize(j, paths.flow_evicted, counter(flow_evicted));
  serialize(j, paths.queue_dropped, counter(pkt_queue_dropped));
  serialize(j, paths.capture_dropped, counter(pkt_capture_dropped));
  serialize(j, paths.capture_filtered, counter(pkt_capture_filtered));
}

template void kvPacketStats::Encode<json>(json&) const;
