// kvPacketStats::Encode: the 23 packet and byte counters of an interface or of the whole agent.
#include "encode/keys.h"
#include "kv/packet_stats.h"

namespace {

namespace key = kpp::encode::key;
using Path = kvSerializer::Path;

struct PacketStatsPaths {
  Path raw{key::kRaw};
  Path ethernet{key::kEthernet};
  Path mpls{key::kMpls};
  Path pppoe{key::kPppoe};
  Path vlan{key::kVlan};
  Path fragmented{key::kFragmented};
  Path discarded{key::kDiscarded};
  Path discarded_bytes{key::kDiscardedBytes};
  Path largest_bytes{key::kLargestBytes};
  Path ip{key::kIp};
  Path tcp{key::kTcp};
  Path tcp_seq_errors{key::kTcpSeqErrors};
  Path tcp_resets{key::kTcpResets};
  Path udp{key::kUdp};
  Path icmp{key::kIcmp};
  Path igmp{key::kIgmp};
  Path ip_bytes{key::kIpBytes};
  Path wire_bytes{key::kWireBytes};
  Path flow_dropped{key::kFlowDropped};
  Path flow_evicted{key::kFlowEvicted};
  Path queue_dropped{key::kQueueDropped};
  Path capture_dropped{key::kCaptureDropped};
  Path capture_filtered{key::kCaptureFiltered};
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
