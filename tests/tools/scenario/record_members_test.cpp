// Tests of the records written as scenario members (what --emit-scenario writes): read back by
// the ops' own readers they make the same records, with every field the capture source fills.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "replay_support.h"
#include "tools/scenario/flow_patch.h"
#include "tools/scenario/interface_patch.h"
#include "tools/scenario/record_members.h"
#include "tools/scenario/record_readers.h"

namespace {

using korvel_test::Join;
using replay::FlowMembers;
using replay::InstanceStatusMembers;
using replay::InterfaceIdentityMembers;
using replay::InterfaceTableMembers;
using replay::PacketStatsMembers;

kvAddr Addr(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

std::string Text(const kvAddr& addr) {
  std::string text;
  kvAddr::MakeString(addr, text, kvAddr::MAKE_WITH_PORT);
  return text;
}

// The fields the capture source fills, and a few DPI ones, as one line.
std::string Fields(const kvFlow& f) {
  const kvFlowStats& s = f.stats;
  return Join(
      f.digest, f.digest_history, f.ts_first_seen, f.ts_last_seen, f.lower_map, f.other_type,
      f.tunnel_type, f.origin, Text(f.lower_mac), Text(f.upper_mac), Text(f.lower_addr),
      Text(f.upper_addr), f.ip_version, f.ip_dscp, f.ip_protocol, f.vlan_id, f.tcp_closed,
      f.stats_ready, f.gtp.version, f.gtp.ip_version, f.gtp.ip_dscp, f.gtp.lower_map,
      f.gtp.other_type, ntohl(f.gtp.lower_teid), ntohl(f.gtp.upper_teid), Text(f.gtp.lower_addr),
      Text(f.gtp.upper_addr), s.lower_bytes, s.upper_bytes, s.total_bytes, s.lower_total_bytes,
      s.upper_total_bytes, s.lower_packets, s.upper_packets, s.total_packets, s.lower_total_packets,
      s.upper_total_packets, s.detection_packets, s.lower_rate, s.upper_rate, s.ts_rate_update,
      s.tcp_seq_errors, s.tcp_resets, s.tcp_retrans, f.detected_protocol_name, f.host_server_name,
      Text(f.stun.mapped), f.tls.cert_fingerprint, f.tls.alpn, f.risks, f.tags);
}

TEST(RecordMembers, AFlowWrittenAndReadBackIsTheSameFlow) {
  auto iface = std::make_shared<kvInterface>("eth0");
  kvFlow a;
  a.iface = iface;
  a.digest = 0x1122334455667788;
  a.digest_history = {1, 0x1122334455667788};
  a.ts_first_seen = 1733652000120;
  a.ts_last_seen = 1733652000999;
  a.lower_map = kvFlow::LOWER_MAP_OTHER;
  a.other_type = 5;
  a.tunnel_type = kvFlow::TUNNEL_GTP;
  a.origin = kvFlow::ORIGIN_UPPER;
  a.lower_mac = Addr("3c:22:fb:10:20:30");
  a.upper_mac = Addr("00:1b:21:3c:4d:5e");
  a.lower_addr = Addr("[2001:db8::1]:443");
  a.upper_addr = Addr("[fd00::2]:51514");
  a.ip_version = 6;
  a.ip_dscp = 46;
  a.ip_protocol = 6;
  a.vlan_id = 4094;
  a.tcp_closed = 1;
  a.stats_ready = true;
  a.gtp = {1,
           4,
           10,
           2,
           3,
           htonl(0xdeadbeef),
           htonl(7),
           Addr("192.0.2.1:2152"),
           Addr("198.51.100.2:2152")};
  a.stats.lower_bytes = 1ull << 40;
  a.stats.upper_bytes = 2;
  a.stats.total_bytes = 3;
  a.stats.lower_total_bytes = 4;
  a.stats.upper_total_bytes = 5;
  a.stats.lower_packets = 6;
  a.stats.upper_packets = 7;
  a.stats.total_packets = 8;
  a.stats.lower_total_packets = 9;
  a.stats.upper_total_packets = 4294967295u;
  a.stats.detection_packets = 11;
  a.stats.lower_rate = 1234.5678f;
  a.stats.upper_rate = 0.1f;
  a.stats.ts_rate_update = 1733652000999;
  a.stats.tcp_seq_errors = 12;
  a.stats.tcp_resets = 13;
  a.stats.tcp_retrans = 14;
  a.detected_protocol_name = "Unknown";
  a.host_server_name = "example.org";
  a.stun.mapped = Addr("203.0.113.9:3478");
  a.tls.cert_fingerprint = {0x00, 0xab, 0xff};
  a.tls.alpn = {"h2", "http/1.1"};
  a.risks = {kvRisk::Id(3), kvRisk::Id(40)};
  a.tags = {"x", "y"};

  const json members = FlowMembers(a, "eth0");
  json op = members;
  op["op"] = "flow";
  op["id"] = "f1";
  kvFlow b;
  b.iface = iface;
  replay::FlowPatch::Read(op).Apply(b);
  EXPECT_EQ(Fields(b), Fields(a));
  EXPECT_EQ(FlowMembers(b, "eth0"), members);
  EXPECT_EQ(members["interface"], "eth0");
  EXPECT_EQ(members["lower_ip"], "2001:db8::1");
  EXPECT_EQ(members["lower_port"], 443);

  // A flow without addresses writes no ports, and reads back as such.
  kvFlow empty;
  const json bare = FlowMembers(empty, "eth0");
  EXPECT_EQ(Join(bare["lower_ip"], bare.contains("lower_port"), bare["gtp"].contains("upper_port")),
            "\"\" 0 0");
  kvFlow c;
  replay::FlowPatch::Read(bare).Apply(c);
  EXPECT_EQ(Fields(c), Fields(empty));
}

TEST(RecordMembers, CountersAndStatusWrittenAndReadBackAreTheSame) {
  // Every member the readers know, each with its own value: the writers give back exactly this.
  json counters = PacketStatsMembers(kvPacketStats{});
  uint64_t value = 1;
  for (auto& entry : counters.items()) entry.value() = value++ * 1000003;
  EXPECT_EQ(PacketStatsMembers(replay::ReadPacketStats(counters)), counters);

  json status = InstanceStatusMembers(kvInstanceStatus{});
  value = 1;
  for (auto& entry : status.items()) {
    if (entry.value().is_boolean()) {
      entry.value() = true;
    } else if (entry.value().is_number_float()) {
      entry.value() = 0.25 * static_cast<double>(value++);
    } else {
      entry.value() = value++;
    }
  }
  EXPECT_EQ(InstanceStatusMembers(replay::ReadInstanceStatus(status)), status);
  EXPECT_EQ(status.size(), 21u);
  EXPECT_EQ(counters.size(), 23u);
}

TEST(RecordMembers, AnInterfaceWrittenAndReadBackIsTheSameInterface) {
  kvInterface a("wan0", kvInterface::ROLE_WAN);
  a.capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
  a.capture_file = "/captures/wan.pcap";
  a.addrs.Insert(Addr("192.0.2.1"));
  a.addrs.Insert(Addr("2001:db8::1"));
  a.endpoint_selector = 0;
  a.endpoints[1][Addr("00:1b:21:3c:4d:5e")].Insert(Addr("192.0.2.7"));
  a.endpoints[1][Addr("00:1b:21:3c:4d:5e")].Insert(Addr("192.0.2.8"));
  a.endpoints[0][Addr("3c:22:fb:10:20:30")].Insert(Addr("fd00::1"));

  json members = InterfaceIdentityMembers(a);
  members.update(InterfaceTableMembers(a));
  EXPECT_EQ(members["addrs"], json({"192.0.2.1", "2001:db8::1"}));
  EXPECT_EQ(members["endpoints"][1]["00:1b:21:3c:4d:5e"], json({"192.0.2.7", "192.0.2.8"}));
  members["op"] = "interface";
  members["key"] = "wan0";
  const replay::InterfacePatch patch = replay::InterfacePatch::Read(members);
  kvInterface b;
  patch.ApplyIdentity(b, true);
  patch.ApplyTables(b);
  json again = InterfaceIdentityMembers(b);
  again.update(InterfaceTableMembers(b));
  members.erase("op");
  members.erase("key");
  EXPECT_EQ(again, members);
}

}  // namespace
