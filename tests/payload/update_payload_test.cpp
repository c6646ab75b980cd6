// The documents of an update: what the interface, counter and status events leave in them, how
// the worker takes them over, and the legacy and stream families sent from them to each channel.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

using UpdateDocumentsTest = PayloadTest;

TEST_F(UpdateDocumentsTest, InterfacesUnderTheirOwnNamesWithTheirEndpoints) {
  auto wan = MakeInterface("wan0", kvInterface::ROLE_WAN);
  wan->capture_type = kvInterface::CAPTURE_NFQ;
  for (const char* addr : {"198.51.100.1", "2001:db8::1", "66:77:88:99:aa:bb"}) {
    wan->addrs.Insert(AddrOf(addr));
  }
  kppPlugin::Interfaces interfaces{{"eth0", Eth0()}, {"uplink", wan}};
  plugin.EncodeInterfaces(&interfaces);
  json stored = plugin.json_interfaces;
  ASSERT_TRUE(stored.contains("wan0")) << stored;
  stored["wan0"]["addr"] = Sorted(stored["wan0"]["addr"]);
  json expected = {{"eth0", json::parse(kEth0)}};
  expected["wan0"] = json::parse(R"({"role": "WAN", "capture_type": "NFQ",
    "mac": "66:77:88:99:aa:bb", "addr": ["198.51.100.1", "2001:db8::1"]})");
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(plugin.json_endpoints, json::parse(kEth0Endpoints));
  kppPlugin::Interfaces none;
  plugin.EncodeInterfaces(&none);
  EXPECT_EQ(plugin.json_interfaces.size(), 2u);

  // An endpoint on two interfaces keeps the later one's list.
  auto eth1 = MakeInterface("eth1", kvInterface::ROLE_LAN);
  AddEndpoint(*lan, 0, "192.0.2.50", {"00:aa:bb:cc:dd:01"});
  AddEndpoint(*eth1, 0, "192.0.2.50", {"00:aa:bb:cc:dd:02"});
  interfaces = {{"eth1", eth1}, {"eth0", lan}};
  plugin.TakeUpdateDocuments();
  plugin.EncodeInterfaces(&interfaces);
  EXPECT_EQ(plugin.json_endpoints, json::parse(R"({"192.0.2.50": ["00:aa:bb:cc:dd:02"]})"));
}

TEST_F(UpdateDocumentsTest, SelectorBitZeroPicksTheEndpointTable) {
  AddEndpoint(*lan, 0, "192.0.2.50", {"00:aa:bb:cc:dd:ee", "192.0.2.51"});
  AddEndpoint(*lan, 0, "192.0.2.59", {});
  AddEndpoint(*lan, 1, "2001:db8::60", {"00:aa:bb:cc:dd:ff"});
  AddEndpoint(*lan, 1, "192.0.2.69", {});
  kppPlugin::Interfaces interfaces{{"eth0", lan}};
  for (uint8_t selector : {1, 3, 0, 2}) {
    lan->endpoint_selector = selector;
    plugin.EncodeInterfaces(&interfaces);
    json endpoints = plugin.TakeUpdateDocuments().endpoints;
    for (auto& member : endpoints.items()) member.value() = Sorted(member.value());
    EXPECT_EQ(endpoints,
              json::parse(selector & 1 ? R"({"192.0.2.50": ["00:aa:bb:cc:dd:ee", "192.0.2.51"]})"
                                       : R"({"2001:db8::60": ["00:aa:bb:cc:dd:ff"]})"))
        << "selector " << int(selector);
  }
}

TEST_F(UpdateDocumentsTest, LaterEventsReplaceEarlierOnes) {
  plugin.json_interface_stats = json::parse(R"({"eth0": {"stale": 1}})");
  plugin.json_global_stats = json::parse(R"({"stale": 1, "raw": 9})");
  for (uint64_t raw : {1, 2}) {
    kvPacketStats stats = PacketStats(raw);
    plugin.EncodeInterfaceStats("eth0", &stats);
    plugin.EncodeGlobalPacketStats(&stats);
  }
  kvPacketStats other = PacketStats(3);
  plugin.EncodeInterfaceStats("eth1", &other);
  EXPECT_EQ(plugin.json_interface_stats,
            json({{"eth0", PacketCounters(2)}, {"eth1", PacketCounters(3)}}));
  EXPECT_EQ(plugin.json_global_stats, PacketCounters(2));

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

constexpr const char kHello[] =
    R"({"agent_version":"25.0.3","build_version":"25.0.3/x86_64-pc-linux-gnu )"
    R"([conntrack;inotify;netlink;nfqueue;tpv3;zlib]","json_version":1.9,"type":"agent_hello"})";
constexpr const char kVersions[] = R"({"agent_version": "25.0.3",
  "build_version": "25.0.3/x86_64-pc-linux-gnu [conntrack;inotify;netlink;nfqueue;tpv3;zlib]"})";

// Channels of every type on two sinks; the full documents of an update are checked end to end.
class UpdatePayloadTest : public PayloadTest {
 protected:
  UpdatePayloadTest() {
    plugin.sinks["archive"]["http"] = Channel(kppChannelConfig::TYPE_LEGACY_HTTP);
    plugin.sinks["archive"]["socket"] = Channel(kppChannelConfig::TYPE_LEGACY_SOCKET);
    plugin.sinks["bus"]["stats"] = Channel(kppChannelConfig::TYPE_STREAM_STATS);
    plugin.sinks["bus"]["flows"] = Channel(kppChannelConfig::TYPE_STREAM_FLOWS);
  }

  void SendLegacy() { plugin.DispatchLegacyPayload(plugin.TakeUpdateDocuments()); }
  void SendStream() { plugin.DispatchStreamPayload(plugin.TakeUpdateDocuments()); }
};

TEST_F(UpdatePayloadTest, LegacyFamilyBeforeAnyEventAndAfterAnUpdate) {
  SendLegacy();
  EXPECT_EQ(Routes(),
            (std::vector<std::string>{"archive/http 1", "archive/socket 25", "archive/socket 25"}));
  ASSERT_EQ(sink.Count(), 3u);
  EXPECT_EQ(Payloads()[0].dump(),
            R"({"devices":null,"interfaces":null,"stats":null,"version":1.9})");
  EXPECT_EQ(Payloads()[1].dump(), kHello);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"type": "agent_status"})"));

  // After an update with documents, the next one without events copies the emptied documents.
  SendUpdateDocuments();
  SendLegacy();
  sink.Clear();
  SendLegacy();
  ASSERT_EQ(sink.Count(), 3u);
  EXPECT_EQ(Payloads()[0],
            json::parse(R"({"version": 1.9, "interfaces": {}, "devices": {}, "stats": {}})"));
  EXPECT_EQ(Payloads()[1].dump(), kHello);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"type": "agent_status"})"));
}

TEST_F(UpdatePayloadTest, LegacyStatusMembersNamedLikeAddedKeysAreReplaced) {
  Encode(1, flow);
  kppUpdateDocuments documents;
  documents.status = json::parse(R"({"version": "s", "interfaces": "s", "devices": "s",
    "stats": "s", "type": "s", "agent_version": "s", "cpu_cores": 2})");
  plugin.DispatchLegacyPayload(documents);
  ASSERT_EQ(sink.Count(), 3u);
  json expected = json::parse(R"({"version": 1.9, "interfaces": null, "devices": null,
    "stats": null, "type": "s", "agent_version": "s", "cpu_cores": 2})");
  expected["flows"]["eth0"] = json::array({FullFlow("00000000000000a1")});
  EXPECT_EQ(Payloads()[0], expected);
  EXPECT_EQ(Payloads()[1].dump(), kHello);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"version": "s", "interfaces": "s", "devices": "s",
    "stats": "s", "type": "agent_status", "agent_version": "s", "cpu_cores": 2})"));
}

TEST_F(UpdatePayloadTest, SocketOnlyConfigurationStillSendsHelloAndStatus) {
  config.Write(R"({"sinks": {"s": {"socket": {"types": ["legacy-socket"], "compressor": "gz"}}}})");
  plugin.Reload();
  ASSERT_EQ(plugin.channel_types.load(), kppChannelConfig::TYPE_LEGACY_SOCKET);
  SendLegacy();
  EXPECT_EQ(Routes(), (std::vector<std::string>{"s/socket 57", "s/socket 57"}));
  ASSERT_EQ(sink.Count(), 2u);
  EXPECT_EQ(Payloads()[0].dump(), kHello);
  EXPECT_EQ(Payloads()[1], json::parse(R"({"type": "agent_status"})"));
}

TEST_F(UpdatePayloadTest, StreamFamilyToEachChannelFirstNameFirst) {
  plugin.sinks["bus"]["a-first"] =
      Channel(kppChannelConfig::TYPE_STREAM_STATS, kppChannelConfig::FORMAT_MSGPACK, true);
  plugin.sinks["bus"]["other"] = Channel(0x07);
  SendStream();
  std::vector<std::string> received;
  for (const SinkCall& call : sink.Calls()) {
    received.push_back(call.sink + "/" + *call.channels.begin() + " " + std::to_string(call.flags) +
                       " " + call.payload.at("type").get<std::string>());
  }
  EXPECT_EQ(received, (std::vector<std::string>{
                          "bus/a-first 36 agent_status", "bus/stats 1 agent_status",
                          "bus/a-first 36 interfaces", "bus/stats 1 interfaces",
                          "bus/a-first 36 endpoints", "bus/stats 1 endpoints",
                          "bus/a-first 36 interface_stats", "bus/stats 1 interface_stats",
                          "bus/a-first 36 global_stats", "bus/stats 1 global_stats"}));
  // Before any event each document is its type alone, the status with the versions.
  json status = json::parse(kVersions);
  status["type"] = "agent_status";
  const std::vector<json> payloads = Payloads();
  for (size_t i = 0; i < payloads.size(); i++) {
    EXPECT_EQ(payloads[i], i < 2 ? status : json({{"type", payloads[i].at("type")}})) << i;
  }

  // An interface named "type" is replaced by the type text; so are the status's own members.
  sink.Clear();
  kppPlugin::Interfaces interfaces{{"type", MakeInterface("type", kvInterface::ROLE_LAN)}};
  plugin.EncodeInterfaces(&interfaces);
  kvPacketStats stats = PacketStats(1);
  plugin.EncodeInterfaceStats("type", &stats);
  kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  documents.status = json::parse(R"({"agent_version": "s", "build_version": "s", "type": "s"})");
  plugin.DispatchStreamPayload(documents);
  ASSERT_EQ(sink.Count(), 10u);
  EXPECT_EQ(Payloads()[0], status);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"type": "interfaces"})"));
  EXPECT_EQ(Payloads()[6], json::parse(R"({"type": "interface_stats"})"));
}

}  // namespace
}  // namespace korvel_test
