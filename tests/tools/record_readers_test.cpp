// Tests of the counter and status readers: each document key into its record field.
#include <gtest/gtest.h>

#include <string>

#include "tools/record_readers.h"
#include "tools/scenario_error.h"

namespace {

using replay::ReadInstanceStatus;
using replay::ReadPacketStats;
using replay::ScenarioError;

TEST(PacketStatsReader, EveryKeyReachesItsCounter) {
  const kvPacketStats s = ReadPacketStats(json::parse(
      R"({"raw":1,"ethernet":2,"mpls":3,"pppoe":4,"vlan":5,"fragmented":6,"discarded":7,
          "largest_bytes":4294967295,"ip":9,"icmp":10,"igmp":11,"tcp":12,"tcp_seq_errors":13,
          "tcp_resets":14,"udp":15,"ip_bytes":16,"wire_bytes":17,"discarded_bytes":18,
          "queue_dropped":19,"capture_dropped":20,"capture_filtered":21,"flow_dropped":22,
          "flow_evicted":18446744073709551615})"));
  EXPECT_EQ(s.pkt_raw, 1u);
  EXPECT_EQ(s.pkt_eth, 2u);
  EXPECT_EQ(s.pkt_mpls, 3u);
  EXPECT_EQ(s.pkt_pppoe, 4u);
  EXPECT_EQ(s.pkt_vlan, 5u);
  EXPECT_EQ(s.pkt_frags, 6u);
  EXPECT_EQ(s.pkt_discard, 7u);
  EXPECT_EQ(s.pkt_maxlen, 4294967295u);
  EXPECT_EQ(s.pkt_ip, 9u);
  EXPECT_EQ(s.pkt_ip4, 0u);
  EXPECT_EQ(s.pkt_ip6, 0u);
  EXPECT_EQ(s.pkt_icmp, 10u);
  EXPECT_EQ(s.pkt_igmp, 11u);
  EXPECT_EQ(s.pkt_tcp, 12u);
  EXPECT_EQ(s.pkt_tcp_seq_error, 13u);
  EXPECT_EQ(s.pkt_tcp_resets, 14u);
  EXPECT_EQ(s.pkt_udp, 15u);
  EXPECT_EQ(s.pkt_ip_bytes, 16u);
  EXPECT_EQ(s.pkt_wire_bytes, 17u);
  EXPECT_EQ(s.pkt_discard_bytes, 18u);
  EXPECT_EQ(s.pkt_queue_dropped, 19u);
  EXPECT_EQ(s.pkt_capture_dropped, 20u);
  EXPECT_EQ(s.pkt_capture_filtered, 21u);
  EXPECT_EQ(s.flow_dropped, 22u);
  EXPECT_EQ(s.flow_evicted, 18446744073709551615u);
}

TEST(PacketStatsReader, AbsentKeysAreZeroAndOthersRefused) {
  const kvPacketStats s = ReadPacketStats(json::object());
  EXPECT_EQ(s.pkt_raw, 0u);
  EXPECT_EQ(s.pkt_maxlen, 0u);
  try {
    ReadPacketStats(json::parse(R"({"ip4":1})"));
    ADD_FAILURE() << "ip4 accepted";
  } catch (const ScenarioError& e) {
    EXPECT_STREQ(e.what(), "unknown member \"stats.ip4\"");
  }
  try {
    ReadPacketStats(json::parse(R"({"largest_bytes":4294967296})"));
    ADD_FAILURE() << "largest_bytes out of range accepted";
  } catch (const ScenarioError& e) {
    EXPECT_STREQ(e.what(),
                 "member \"stats.largest_bytes\" is out of range (0 to 4294967295): 4294967296");
  }
}

TEST(InstanceStatusReader, EveryKeyReachesItsField) {
  const kvInstanceStatus s = ReadInstanceStatus(json::parse(
      R"({"cpu_cores":4,"uptime":5,"flow_count":6,"flow_count_prev":7,"flows_purged":8,
          "flows_expiring":9,"flows_expired":10,"flows_active":11,"flows_in_use":12,
          "flows_probation_expired":13,"flows_evicted":14,"cpu_user":1.5,"cpu_user_prev":2,
          "cpu_system":0.25,"cpu_system_prev":3,"maxrss_kb":15,"maxrss_kb_prev":16,
          "memrss_kb":17,"memrss_kb_prev":18,"dhc_status":true,"fhc_status":true})"));
  EXPECT_EQ(s.cpu_cores, 4u);
  EXPECT_EQ(s.uptime, 5u);
  EXPECT_EQ(s.flow_count, 6u);
  EXPECT_EQ(s.flow_count_prev, 7u);
  EXPECT_EQ(s.flows_purged, 8u);
  EXPECT_EQ(s.flows_expiring, 9u);
  EXPECT_EQ(s.flows_expired, 10u);
  EXPECT_EQ(s.flows_active, 11u);
  EXPECT_EQ(s.flows_in_use, 12u);
  EXPECT_EQ(s.flows_probation_expired, 13u);
  EXPECT_EQ(s.flows_evicted, 14u);
  EXPECT_EQ(s.cpu_user, 1.5);
  EXPECT_EQ(s.cpu_user_prev, 2.0);
  EXPECT_EQ(s.cpu_system, 0.25);
  EXPECT_EQ(s.cpu_system_prev, 3.0);
  EXPECT_EQ(s.maxrss_kb, 15u);
  EXPECT_EQ(s.maxrss_kb_prev, 16u);
  EXPECT_EQ(s.memrss_kb, 17u);
  EXPECT_EQ(s.memrss_kb_prev, 18u);
  EXPECT_TRUE(s.dhc_status);
  EXPECT_TRUE(s.fhc_status);
  EXPECT_EQ(s.ts_epoch, 0u);
  EXPECT_EQ(s.ts_now, 0u);
}

TEST(InstanceStatusReader, SettingsOfTheGlobalConfigurationAreNotStatusFields) {
  for (const char* key : {"timestamp", "update_interval", "update_imf"}) {
    try {
      ReadInstanceStatus(json{{key, 1}});
      ADD_FAILURE() << key << " accepted";
    } catch (const ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("unknown member \"status.") + key + "\"");
    }
  }
  try {
    ReadInstanceStatus(json::parse(R"({"cpu_cores":4294967296})"));
    ADD_FAILURE();
  } catch (const ScenarioError& e) {
    EXPECT_STREQ(e.what(),
                 "member \"status.cpu_cores\" is out of range (0 to 4294967295): 4294967296");
  }
}

}  // namespace
