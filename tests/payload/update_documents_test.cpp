// The stored documents of an update: what the interface, counter and status events leave in them,
// and how the worker takes them over at the end of the update.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

using UpdateDocumentsTest = PayloadTest;

TEST_F(UpdateDocumentsTest, InterfacesUnderTheirOwnNamesWithTheirAddresses) {
  auto wan = MakeInterface("wan0", kvInterface::ROLE_WAN);
  wan->capture_type = kvInterface::CAPTURE_NFQ;
  wan->addrs.Insert(AddrOf("198.51.100.1"));
  wan->addrs.Insert(AddrOf("2001:db8::1"));
  wan->addrs.Insert(AddrOf("66:77:88:99:aa:bb"));
  kppPlugin::Interfaces interfaces{{"eth0", Eth0()}, {"uplink", wan}};
  plugin.EncodeInterfaces(&interfaces);
  json stored = plugin.json_interfaces;
  ASSERT_TRUE(stored.contains("wan0")) << stored;
  stored["wan0"]["addr"] = Sorted(stored["wan0"]["addr"]);
  json expected = json::object();
  expected["eth0"] = json::parse(kEth0);
  expected["wan0"] = json::parse(R"({"role": "WAN", "capture_type": "NFQ",
    "mac": "66:77:88:99:aa:bb", "addr": ["198.51.100.1", "2001:db8::1"]})");
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(plugin.json_endpoints, json::parse(kEth0Endpoints));

  kppPlugin::Interfaces none;
  plugin.EncodeInterfaces(&none);
  EXPECT_EQ(plugin.json_interfaces.size(), 2u);
}

TEST_F(UpdateDocumentsTest, SelectorBitZeroPicksTheEndpointTable) {
  AddEndpoint(*lan, 0, "192.0.2.50", {"00:aa:bb:cc:dd:ee", "192.0.2.51"});
  AddEndpoint(*lan, 0, "192.0.2.59", {});
  AddEndpoint(*lan, 1, "2001:db8::60", {"00:aa:bb:cc:dd:ff"});
  AddEndpoint(*lan, 1, "192.0.2.69", {});
  const std::pair<uint8_t, const char*> cases[] = {
      {1, R"({"192.0.2.50": ["00:aa:bb:cc:dd:ee", "192.0.2.51"]})"},
      {3, R"({"192.0.2.50": ["00:aa:bb:cc:dd:ee", "192.0.2.51"]})"},
      {0, R"({"2001:db8::60": ["00:aa:bb:cc:dd:ff"]})"},
      {2, R"({"2001:db8::60": ["00:aa:bb:cc:dd:ff"]})"},
  };
  kppPlugin::Interfaces interfaces{{"eth0", lan}};
  for (const auto& [selector, expected] : cases) {
    lan->endpoint_selector = selector;
    plugin.EncodeInterfaces(&interfaces);
    json endpoints = plugin.TakeUpdateDocuments().endpoints;
    for (auto& member : endpoints.items()) member.value() = Sorted(member.value());
    EXPECT_EQ(endpoints, json::parse(expected)) << "selector " << int(selector);
  }
}

TEST_F(UpdateDocumentsTest, EndpointOnTwoInterfacesKeepsTheLaterNamesList) {
  auto eth1 = MakeInterface("eth1", kvInterface::ROLE_LAN);
  AddEndpoint(*lan, 0, "192.0.2.50", {"00:aa:bb:cc:dd:01"});
  AddEndpoint(*eth1, 0, "192.0.2.50", {"00:aa:bb:cc:dd:02"});
  kppPlugin::Interfaces interfaces{{"eth1", eth1}, {"eth0", lan}};
  plugin.EncodeInterfaces(&interfaces);
  EXPECT_EQ(plugin.json_endpoints, json::parse(R"({"192.0.2.50": ["00:aa:bb:cc:dd:02"]})"));
}

TEST_F(UpdateDocumentsTest, CounterEventsReplaceEarlierOnes) {
  plugin.json_interface_stats = json::parse(R"({"eth0": {"stale": 1}})");
  plugin.json_global_stats = json::parse(R"({"stale": 1, "raw": 9})");
  for (uint64_t raw : {1, 2}) {
    kvPacketStats stats = PacketStats(raw);
    plugin.EncodeInterfaceStats("eth0", &stats);
    plugin.EncodeGlobalPacketStats(&stats);
  }
  kvPacketStats other = PacketStats(3);
  plugin.EncodeInterfaceStats("eth1", &other);
  json expected = json::object();
  expected["eth0"] = PacketCounters(2);
  expected["eth1"] = PacketCounters(3);
  EXPECT_EQ(plugin.json_interface_stats, expected);
  EXPECT_EQ(plugin.json_global_stats, PacketCounters(2));
}

TEST_F(UpdateDocumentsTest, SecondStatusEventLeavesItsValues) {
  kvInstanceStatus first;
  first.cpu_cores = 8;
  first.flow_count = 100;
  first.dhc_status = true;
  plugin.EncodeAgentStatus(&first);
  const long before = SendStatus();
  const long after = static_cast<long>(time(nullptr));
  EXPECT_EQ(WithoutTimestamp(plugin.json_status, before, after), json::parse(kStatusMembers));
}

TEST_F(UpdateDocumentsTest, TakingOverLeavesEmptiedDocumentsForTheNextUpdate) {
  kppPlugin::Interfaces interfaces{{"eth0", lan}};  // no endpoints: that document stays null
  plugin.EncodeInterfaces(&interfaces);
  kvPacketStats stats = PacketStats(1);
  plugin.EncodeInterfaceStats("eth0", &stats);
  plugin.EncodeGlobalPacketStats(&stats);
  SendStatus();
  const kppUpdateDocuments taken = plugin.TakeUpdateDocuments();
  EXPECT_EQ(taken.status.size(), 24u);
  EXPECT_EQ(taken.interfaces, json::parse(R"({"eth0": {"role": "LAN", "capture_type": "UNKNOWN",
                                              "mac": "00:00:00:00:00:00"}})"));
  EXPECT_TRUE(taken.endpoints.is_null());
  EXPECT_EQ(taken.interface_stats, json({{"eth0", PacketCounters(1)}}));
  EXPECT_EQ(taken.global_stats, PacketCounters(1));
  for (const json* stored : {&plugin.json_status, &plugin.json_interfaces,
                             &plugin.json_interface_stats, &plugin.json_global_stats}) {
    EXPECT_EQ(*stored, json::object());
  }
  EXPECT_TRUE(plugin.json_endpoints.is_null());

  // The next update's events land in the new documents; the taken ones do not change.
  kvPacketStats next = PacketStats(2);
  plugin.EncodeInterfaceStats("eth1", &next);
  plugin.EncodeGlobalPacketStats(&next);
  EXPECT_EQ(plugin.json_interface_stats, json({{"eth1", PacketCounters(2)}}));
  EXPECT_EQ(plugin.json_global_stats, PacketCounters(2));
  EXPECT_EQ(taken.interface_stats, json({{"eth0", PacketCounters(1)}}));
  EXPECT_EQ(taken.global_stats, PacketCounters(1));
}

}  // namespace
}  // namespace korvel_test
