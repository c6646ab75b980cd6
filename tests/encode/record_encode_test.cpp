// Tests of the other records' encodings: packet counters, the instance status, interfaces and
// their address sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "kv/exception.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"

namespace {

TEST(PacketStatsEncode, EachCounterUnderItsKeyBesideExistingMembers) {
  kvPacketStats stats;
  stats.pkt_raw = 1;
  stats.pkt_eth = 2;
  stats.pkt_mpls = 3;
  stats.pkt_pppoe = 4;
  stats.pkt_vlan = 5;
  stats.pkt_frags = 6;
  stats.pkt_discard = 7;
  stats.pkt_ip = 8;
  stats.pkt_icmp = 9;
  stats.pkt_igmp = 10;
  stats.pkt_tcp = 11;
  stats.pkt_tcp_seq_error = 12;
  stats.pkt_tcp_resets = 13;
  stats.pkt_udp = 14;
  stats.pkt_ip_bytes = 15;
  stats.pkt_wire_bytes = 16;
  stats.pkt_discard_bytes = 17;
  stats.pkt_queue_dropped = 18;
  stats.pkt_capture_dropped = 19;
  stats.pkt_capture_filtered = 20;
  stats.flow_dropped = 21;
  stats.flow_evicted = 22;
  stats.pkt_ip4 = stats.pkt_ip6 = stats.pkt_ip4_bytes = stats.pkt_ip6_bytes = 1000;  // not encoded
  stats.pkt_maxlen = 4294967295u;
  stats.pkt_raw = 18446744073709551615ull;
  json doc = json::parse(R"({"interface": "eth0", "raw": "old"})");
  stats.Encode(doc);
  EXPECT_EQ(doc.dump(),
            R"({"capture_dropped":19,"capture_filtered":20,"discarded":7,"discarded_bytes":17,)"
            R"("ethernet":2,"flow_dropped":21,"flow_evicted":22,"fragmented":6,"icmp":9,)"
            R"("igmp":10,"interface":"eth0","ip":8,"ip_bytes":15,"largest_bytes":4294967295,)"
            R"("mpls":3,"pppoe":4,"queue_dropped":18,"raw":18446744073709551615,"tcp":11,)"
            R"("tcp_resets":13,"tcp_seq_errors":12,"udp":14,"vlan":5,"wire_bytes":16})");
  EXPECT_TRUE(doc.at("largest_bytes").is_number_unsigned());

  json array = json::array();
  EXPECT_THROW(stats.Encode(array), json::type_error);
  EXPECT_EQ(array, json::array());
}

class InstanceStatusEncode : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { kvGlobalConfig::Destroy(); }

  // Encodes `status` into `doc`, checks "timestamp" is a signed number taken during the call and
  // returns the printed document without it.
  static std::string EncodeWithoutTimestamp(const kvInstanceStatus& status, json doc = json()) {
    const long before = static_cast<long>(std::time(nullptr));
    status.Encode(doc);
    const long after = static_cast<long>(std::time(nullptr));
    const json& timestamp = doc.at("timestamp");
    EXPECT_TRUE(timestamp.is_number_integer() && !timestamp.is_number_unsigned());
    EXPECT_GE(timestamp.get<long>(), before);
    EXPECT_LE(timestamp.get<long>(), after);
    doc.erase("timestamp");
    return doc.dump();
  }
};

TEST_F(InstanceStatusEncode, EveryFieldUnderItsKeyOverEarlierValues) {
  kvInstanceStatus status;
  status.flow_count = 1;
  json doc = json::parse(R"({"agent_version": "x"})");
  status.Encode(doc);
  kvGlobalConfig::GetInstance().update_interval = 30;
  kvGlobalConfig::GetInstance().update_imf = 4;
  status.cpu_cores = 4;
  status.ts_epoch = 111;
  status.uptime = 3600;
  status.ts_now = 222;
  status.flow_count = 10;
  status.flow_count_prev = 9;
  status.flows_purged = 8;
  status.flows_expiring = 7;
  status.flows_expired = 6;
  status.flows_active = 5;
  status.flows_in_use = 4;
  status.flows_probation_expired = 3;
  status.flows_evicted = 2;
  status.cpu_user = 1.5;
  status.cpu_user_prev = 1.25;
  status.cpu_system = 0.5;
  status.cpu_system_prev = 0.25;
  status.maxrss_kb = 20480;
  status.maxrss_kb_prev = 20000;
  status.memrss_kb = 10240;
  status.memrss_kb_prev = 10000;
  status.dhc_status = true;
  EXPECT_EQ(
      EncodeWithoutTimestamp(status, doc),
      R"({"agent_version":"x","cpu_cores":4,"cpu_system":0.5,"cpu_system_prev":0.25,"cpu_user":1.5,)"
      R"("cpu_user_prev":1.25,"dhc_status":true,"fhc_status":false,"flow_count":10,)"
      R"("flow_count_prev":9,"flows_active":5,"flows_evicted":2,"flows_expired":6,)"
      R"("flows_expiring":7,"flows_in_use":4,"flows_probation_expired":3,)"
      R"("flows_purged":8,"maxrss_kb":20480,"maxrss_kb_prev":20000,"memrss_kb":10240,)"
      R"("memrss_kb_prev":10000,"update_imf":4,"update_interval":30,"uptime":3600})");
}

TEST_F(InstanceStatusEncode, MissingGlobalConfigLeavesOnlyTheTimestamp) {
  kvGlobalConfig::Destroy();
  json doc;
  try {
    kvInstanceStatus().Encode(doc);
    FAIL() << "no exception";
  } catch (const kvException& error) {
    EXPECT_STREQ(error.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_TRUE(doc.contains("timestamp"));
}

kvAddr AddrOf(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

// An address set of the given texts.
void Insert(kvInterfaceAddr& set, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) set.Insert(AddrOf(text));
}

// An array of strings in sorted order, for sets whose iteration order is not fixed.
json Sorted(json array) {
  std::sort(array.begin(), array.end());
  return array;
}

TEST(InterfaceEncode, Members) {
  kvInterface lan("eth0", kvInterface::ROLE_LAN);
  lan.capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
  lan.capture_file = "/var/tmp/trace.pcap";
  Insert(lan.addrs, {"192.0.2.1", "00:11:22:aa:bb:cc", "2001:db8::1"});
  json doc = json::parse(R"({"addr": ["192.0.2.1"], "role": "old"})");
  lan.Encode(doc);
  EXPECT_EQ(doc, json::parse(R"({"addr": ["192.0.2.1"], "role": "LAN", "capture_type": "PCAP",
    "capture_file": "/var/tmp/trace.pcap", "mac": "00:11:22:aa:bb:cc"})"));
}

TEST(InterfaceEncode, RoleAndCaptureTypeTexts) {
  const std::pair<uint8_t, const char*> roles[] = {
      {0, "UNKNOWN"}, {1, "LAN"}, {2, "WAN"}, {3, "UNKNOWN"}, {255, "UNKNOWN"}};
  for (const auto& [role, text] : roles) {
    json doc;
    kvInterface("eth0", role).Encode(doc);
    EXPECT_EQ(doc.at("role"), text) << "role " << int(role);
  }
  // The lowest bit does not count.
  const std::pair<uint32_t, const char*> capture_types[] = {
      {0, "UNKNOWN"}, {1, "UNKNOWN"}, {2, "PCAP"},    {3, "PCAP"}, {4, "PCAP"},
      {5, "PCAP"},    {6, "UNKNOWN"}, {8, "TPv3"},    {9, "TPv3"}, {10, "UNKNOWN"},
      {16, "NFQ"},    {17, "NFQ"},    {32, "UNKNOWN"}};
  for (const auto& [capture_type, text] : capture_types) {
    kvInterface iface("eth0");
    iface.capture_type = capture_type;
    json doc;
    iface.Encode(doc);
    EXPECT_EQ(doc.at("capture_type"), text) << "capture type " << capture_type;
  }
}

TEST(InterfaceEncode, AddressArrays) {
  kvInterface iface("eth0");
  json none;
  iface.EncodeAddrs(none, {"addr"}, ",");
  EXPECT_TRUE(none.is_null());
  Insert(iface.addrs, {"00:11:22:aa:bb:cc"});
  json link_only = json::object();
  iface.EncodeAddrs(link_only, {"addr"}, ",");
  EXPECT_EQ(link_only, json::object());
  Insert(iface.addrs, {"192.0.2.1", "2001:db8::1"});
  json doc;
  iface.EncodeAddrs(doc, {"addr"}, ",");
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(Sorted(doc.at("addr")), json::parse(R"(["192.0.2.1", "2001:db8::1"])"));
}

TEST(InterfaceAddr, FindAllOfAppendsTheMatches) {
  kvInterfaceAddr set;
  Insert(set, {"00:11:22:aa:bb:cc"});
  std::vector<std::string> out{"kept"};
  EXPECT_FALSE(set.FindAllOf({}, out));
  EXPECT_FALSE(set.FindAllOf({AF_INET, AF_INET6}, out));
  EXPECT_EQ(out, std::vector<std::string>{"kept"});
  Insert(set, {"192.0.2.1", "2001:db8::1"});
  EXPECT_TRUE(set.FindAllOf({AF_INET6}, out));
  EXPECT_TRUE(set.FindAllOf({AF_LINK}, out));
  EXPECT_EQ(out, (std::vector<std::string>{"kept", "2001:db8::1", "00:11:22:aa:bb:cc"}));
}

TEST(InterfaceAddr, EncodeWritesEveryFamilyUnderTheKey) {
  kvInterfaceAddr set;
  json empty;
  set.Encode(empty, "192.0.2.9");
  EXPECT_TRUE(empty.is_null());
  Insert(set, {"00:11:22:aa:bb:cc"});
  json doc = json::parse(R"({"192.0.2.8": ["x"]})");
  set.Encode(doc, "192.0.2.9");
  EXPECT_EQ(doc, json::parse(R"({"192.0.2.8": ["x"], "192.0.2.9": ["00:11:22:aa:bb:cc"]})"));
  Insert(set, {"192.0.2.1", "2001:db8::1"});
  json all;
  set.Encode(all, "2001:db8::9");
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(Sorted(all.at("2001:db8::9")),
            json::parse(R"(["00:11:22:aa:bb:cc", "192.0.2.1", "2001:db8::1"])"));
}

}  // namespace
