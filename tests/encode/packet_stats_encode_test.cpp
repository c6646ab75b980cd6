// Tests of kvPacketStats::Encode: the 23 counters, their number kinds and existing members.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "kv/packet_stats.h"

namespace {

constexpr const char kAllZero[] = R"({
  "capture_dropped": 0, "capture_filtered": 0, "discarded": 0, "discarded_bytes": 0,
  "ethernet": 0, "flow_dropped": 0, "flow_evicted": 0, "fragmented": 0, "icmp": 0, "igmp": 0,
  "ip": 0, "ip_bytes": 0, "largest_bytes": 0, "mpls": 0, "pppoe": 0, "queue_dropped": 0,
  "raw": 0, "tcp": 0, "tcp_resets": 0, "tcp_seq_errors": 0, "udp": 0, "vlan": 0,
  "wire_bytes": 0})";

TEST(PacketStatsEncode, AllZerosGiveTwentyThreeZeros) {
  const kvPacketStats stats;
  json doc;
  stats.Encode(doc);
  EXPECT_EQ(doc, json::parse(kAllZero));
}

TEST(PacketStatsEncode, EachCounterUnderItsKey) {
  kvPacketStats stats;
  stats.pkt_raw = 1;
  stats.pkt_eth = 2;
  stats.pkt_mpls = 3;
  stats.pkt_pppoe = 4;
  stats.pkt_vlan = 5;
  stats.pkt_frags = 6;
  stats.pkt_discard = 7;
  stats.pkt_maxlen = 8;
  stats.pkt_ip = 9;
  stats.pkt_ip4 = 1000;
  stats.pkt_ip6 = 1001;
  stats.pkt_icmp = 10;
  stats.pkt_igmp = 11;
  stats.pkt_tcp = 12;
  stats.pkt_tcp_seq_error = 13;
  stats.pkt_tcp_resets = 14;
  stats.pkt_udp = 15;
  stats.pkt_ip_bytes = 16;
  stats.pkt_ip4_bytes = 1002;
  stats.pkt_ip6_bytes = 1003;
  stats.pkt_wire_bytes = 17;
  stats.pkt_discard_bytes = 18;
  stats.pkt_queue_dropped = 19;
  stats.pkt_capture_dropped = 20;
  stats.pkt_capture_filtered = 21;
  stats.flow_dropped = 22;
  stats.flow_evicted = 23;
  json doc;
  stats.Encode(doc);
  EXPECT_EQ(doc.dump(),
            R"({"capture_dropped":20,"capture_filtered":21,"discarded":7,"discarded_bytes":18,)"
            R"("ethernet":2,"flow_dropped":22,"flow_evicted":23,"fragmented":6,"icmp":10,)"
            R"("igmp":11,"ip":9,"ip_bytes":16,"largest_bytes":8,"mpls":3,"pppoe":4,)"
            R"("queue_dropped":19,"raw":1,"tcp":12,"tcp_resets":14,"tcp_seq_errors":13,)"
            R"("udp":15,"vlan":5,"wire_bytes":17})");
}

TEST(PacketStatsEncode, LargestValuesStayUnsigned) {
  kvPacketStats stats;
  stats.pkt_raw = std::numeric_limits<uint64_t>::max();
  stats.pkt_maxlen = 4294967295u;
  json doc;
  stats.Encode(doc);
  EXPECT_EQ(doc.at("raw").dump(), "18446744073709551615");
  EXPECT_TRUE(doc.at("raw").is_number_unsigned());
  EXPECT_EQ(doc.at("largest_bytes").dump(), "4294967295");
  EXPECT_TRUE(doc.at("largest_bytes").is_number_unsigned());
}

TEST(PacketStatsEncode, ExistingMembersStayAndCountersAreReplaced) {
  const kvPacketStats stats;
  json doc = json::parse(R"({"interface": "eth0", "raw": "old"})");
  stats.Encode(doc);
  json expected = json::parse(kAllZero);
  expected["interface"] = "eth0";
  EXPECT_EQ(doc, expected);
}

TEST(PacketStatsEncode, DocumentNotAnObjectRaisesTypeError) {
  const kvPacketStats stats;
  json doc = json::array();
  EXPECT_THROW(stats.Encode(doc), json::type_error);
  EXPECT_EQ(doc, json::array());
}

}  // namespace
