// Tests of the records written as scenario members (what --emit-scenario writes): read back by
// the ops' own readers they make the same records, with every field the capture source fills,
// and every row of every member table changes its own field alone.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "replay_support.h"
#include "tools/scenario/flow_members.h"
#include "tools/scenario/flow_patch.h"
#include "tools/scenario/interface_members.h"
#include "tools/scenario/interface_patch.h"
#include "tools/scenario/record_readers.h"
#include "tools/scenario/scenario_error.h"

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

// A flow with the fields the capture source fills, and a few DPI ones.
void FillFlow(kvFlow& a) {
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
}

TEST(RecordMembers, AFlowWrittenAndReadBackIsTheSameFlow) {
  auto iface = std::make_shared<kvInterface>("eth0");
  kvFlow a;
  a.iface = iface;
  FillFlow(a);

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

// Every member the counter writer writes, each with its own value.
json CounterValues() {
  json counters = PacketStatsMembers(kvPacketStats{});
  uint64_t value = 1;
  for (auto& entry : counters.items()) entry.value() = value++ * 1000003;
  return counters;
}

// The same for the status.
json StatusValues() {
  json status = InstanceStatusMembers(kvInstanceStatus{});
  uint64_t value = 1;
  for (auto& entry : status.items()) {
    if (entry.value().is_boolean()) {
      entry.value() = true;
    } else if (entry.value().is_number_float()) {
      entry.value() = 0.25 * static_cast<double>(value++);
    } else {
      entry.value() = value++;
    }
  }
  return status;
}

TEST(RecordMembers, CountersAndStatusWrittenAndReadBackAreTheSame) {
  // Every member the readers know, each with its own value: the writers give back exactly this.
  const json counters = CounterValues();
  EXPECT_EQ(PacketStatsMembers(replay::ReadPacketStats(counters)), counters);

  const json status = StatusValues();
  EXPECT_EQ(InstanceStatusMembers(replay::ReadInstanceStatus(status)), status);
  EXPECT_EQ(status.size(), 21u);
  EXPECT_EQ(counters.size(), 23u);
}

// An interface with every field set.
void FillInterface(kvInterface& a) {
  a.name = "wan0";
  a.role = kvInterface::ROLE_WAN;
  a.capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
  a.capture_file = "/captures/wan.pcap";
  a.addrs.Insert(Addr("192.0.2.1"));
  a.addrs.Insert(Addr("2001:db8::1"));
  a.endpoint_selector = 0;
  a.endpoints[1][Addr("00:1b:21:3c:4d:5e")].Insert(Addr("192.0.2.7"));
  a.endpoints[1][Addr("00:1b:21:3c:4d:5e")].Insert(Addr("192.0.2.8"));
  a.endpoints[0][Addr("3c:22:fb:10:20:30")].Insert(Addr("fd00::1"));
}

// An interface written as an "interface" op and read back.
json InterfaceRoundTrip(json members) {
  members["op"] = "interface";
  members["key"] = "wan0";
  const replay::InterfacePatch patch = replay::InterfacePatch::Read(members);
  kvInterface b;
  patch.ApplyIdentity(b, true);
  patch.ApplyTables(b);
  json again = InterfaceIdentityMembers(b);
  again.update(InterfaceTableMembers(b));
  return again;
}

TEST(RecordMembers, AnInterfaceWrittenAndReadBackIsTheSameInterface) {
  kvInterface a;
  FillInterface(a);

  json members = InterfaceIdentityMembers(a);
  members.update(InterfaceTableMembers(a));
  EXPECT_EQ(members["addrs"], json({"192.0.2.1", "2001:db8::1"}));
  EXPECT_EQ(members["endpoints"][1]["00:1b:21:3c:4d:5e"], json({"192.0.2.7", "192.0.2.8"}));
  EXPECT_EQ(InterfaceRoundTrip(members), members);
}

// The members of one table's rows: where the writer puts them ("" for the op itself, "/tls" for
// the object "tls"), and whether each is written.
struct TableRows {
  std::string path;
  std::vector<std::pair<std::string, bool>> keys;
};

template <typename Record>
TableRows RowsOf(const std::string& path, const replay::MemberTable<Record>& table) {
  TableRows rows{path, {}};
  for (const replay::Member<Record>& row : table) {
    rows.keys.emplace_back(row.key, row.write != nullptr);
    if (row.port_key != nullptr) rows.keys.emplace_back(row.port_key, row.write != nullptr);
  }
  return rows;
}

// Values of the same JSON type as `value` that differ from it, for a field of any kind: numbers,
// flags, texts of each kind (plain, hex, MAC, IP, IP with port) and lists (kept sorted when they
// are), and objects or arrays with one value inside changed.
std::vector<json> OtherValues(const json& value) {
  static const json kTexts = {"changed",      "c0ffee",         "02:00:00:00:00:09",
                              "198.51.100.9", "198.51.100.9:9", "fe80::9"};
  std::vector<json> others;
  if (value.is_boolean()) {
    others.push_back(!value.get<bool>());
  } else if (value.is_number_unsigned()) {
    const uint64_t number = value.get<uint64_t>();
    others.push_back(number == 0 ? 1 : number - 1);
  } else if (value.is_number_float()) {
    others.push_back(value.get<double>() == 0 ? 0.5 : value.get<double>() * 2);
  } else if (value.is_string()) {
    for (const json& text : kTexts) {
      if (text != value) others.push_back(text);
    }
  } else if (value.is_array() && (value.empty() || value.back().is_primitive())) {
    std::vector<json> added(kTexts.begin(), kTexts.end());
    const bool numbers = !value.empty() && value.back().is_number();
    added.insert(added.begin(), numbers ? json(value.back().get<uint64_t>() + 1) : json(1));
    const bool sorted = std::is_sorted(value.begin(), value.end());
    for (const json& element : added) {
      json longer = value;
      longer.push_back(element);
      if (sorted) std::sort(longer.begin(), longer.end());
      others.push_back(longer);
    }
  } else if (value.is_structured()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      for (const json& inner : OtherValues(*it)) {
        json changed = value;
        if (value.is_object()) changed[it.key()] = inner;
        if (value.is_array()) changed[it - value.begin()] = inner;
        others.push_back(changed);
      }
    }
  }
  return others;
}

// For every row of `tables`, found in `written` (the members a writer wrote for a record with
// some fields set): the row's members are written, a change of any one of them reads back as
// exactly that change (so no row reaches another's field), and nothing else is written but the
// op's `own` members at its top level. Rows that are read but never written go to `read_only`.
void ExpectEveryRowChangesItsFieldAlone(const json& written, const std::vector<TableRows>& tables,
                                        const std::function<json(const json&)>& round_trip,
                                        std::set<std::string> own,
                                        std::set<std::string>& read_only) {
  ASSERT_EQ(round_trip(written), written);
  std::set<std::string> objects;
  for (const TableRows& table : tables) {
    const json::json_pointer path(table.path);
    const json& members = written.at(path);
    std::set<std::string> keys = own;
    own.clear();
    for (const auto& [key, is_written] : table.keys) {
      keys.insert(key);
      if (!is_written) {
        read_only.insert(table.path + "/" + key);
        continue;
      }
      ASSERT_TRUE(members.contains(key)) << table.path << "/" << key;
      bool changed_alone = false;
      for (const json& other : OtherValues(members.at(key))) {
        json changed = written;
        changed[path / key] = other;
        try {
          changed_alone = round_trip(changed) == changed;
        } catch (const replay::ScenarioError&) {
          continue;  // not a value of this member's kind
        }
        if (changed_alone) break;
      }
      EXPECT_TRUE(changed_alone) << "no change of " << table.path << "/" << key << " reads back";
    }
    for (const auto& member : members.items()) {
      EXPECT_TRUE(keys.count(member.key()) == 1)
          << "no row writes " << table.path << "/" << member.key();
      if (member.value().is_object()) objects.insert(table.path + "/" + member.key());
    }
  }
  for (const TableRows& table : tables) objects.erase(table.path);
  EXPECT_EQ(objects, std::set<std::string>()) << "objects without their table";
}

TEST(RecordMembers, EveryRowOfTheFlowTablesChangesItsFieldAlone) {
  kvFlow a;
  FillFlow(a);
  const std::function<json(const json&)> round_trip = [](const json& members) {
    json op = members;
    op["op"] = "flow";
    op["id"] = "f1";
    kvFlow b;
    replay::FlowPatch::Read(op).Apply(b);
    return FlowMembers(b, members.at("interface").get<std::string>());
  };
  std::set<std::string> read_only;
  ExpectEveryRowChangesItsFieldAlone(
      FlowMembers(a, "eth0"),
      {RowsOf("", replay::kFlowMembers), RowsOf("/category", replay::kCategoryMembers),
       RowsOf("/tls", replay::kTlsMembers), RowsOf("/stun", replay::kStunMembers),
       RowsOf("/gtp", replay::kGtpMembers), RowsOf("/stats", replay::kFlowStatsMembers)},
      round_trip, {"interface"}, read_only);

  // The one member that is never written, the detail tests' overrides, reaches its field.
  EXPECT_EQ(read_only, std::set<std::string>{"/has"});
  kvFlow b;
  replay::FlowPatch::Read(json::parse(R"({"has":{"HttpURL":true,"STUNAddress":false}})")).Apply(b);
  EXPECT_EQ(
      Join(b.has_override[kvFlow::DETAIL_HTTP_URL], b.has_override[kvFlow::DETAIL_STUN_ADDRESS],
           b.has_override[kvFlow::DETAIL_HTTP_USER_AGENT]),
      "1 0 -1");
}

TEST(RecordMembers, EveryRowOfTheInterfaceCounterAndStatusTablesChangesItsFieldAlone) {
  kvInterface a;
  FillInterface(a);
  json members = InterfaceIdentityMembers(a);
  members.update(InterfaceTableMembers(a));
  std::set<std::string> read_only;
  ExpectEveryRowChangesItsFieldAlone(members, {RowsOf("", replay::kInterfaceMembers)},
                                     InterfaceRoundTrip, {}, read_only);
  ExpectEveryRowChangesItsFieldAlone(
      CounterValues(), {RowsOf("", replay::kPacketStatsMembers)},
      [](const json& m) { return PacketStatsMembers(replay::ReadPacketStats(m)); }, {}, read_only);
  ExpectEveryRowChangesItsFieldAlone(
      StatusValues(), {RowsOf("", replay::kInstanceStatusMembers)},
      [](const json& m) { return InstanceStatusMembers(replay::ReadInstanceStatus(m)); }, {},
      read_only);
  EXPECT_EQ(read_only, std::set<std::string>());
}

}  // namespace
