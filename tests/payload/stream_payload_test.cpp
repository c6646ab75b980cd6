// The stream family of an update: the five documents, their order and the channels that get them.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

constexpr const char kVersions[] = R"({"agent_version": "25.0.3",
  "build_version": "25.0.3/x86_64-pc-linux-gnu [conntrack;inotify;netlink;nfqueue;tpv3;zlib]"})";

class StreamPayloadTest : public PayloadTest {
 protected:
  StreamPayloadTest() {
    plugin.sinks["bus"]["stats"] = Channel(kppChannelConfig::TYPE_STREAM_STATS);
    plugin.sinks["bus"]["other"] = Channel(0x07);
  }

  void FinishUpdate() { plugin.DispatchStreamPayload(plugin.TakeUpdateDocuments()); }
};

TEST_F(StreamPayloadTest, BeforeAnyEventFiveDocumentsOfTheTypeAlone) {
  FinishUpdate();
  EXPECT_EQ(Routes(), std::vector<std::string>(5, "bus/stats 1"));
  json status = json::parse(kVersions);
  status["type"] = "agent_status";
  EXPECT_EQ(Payloads(), (std::vector<json>{status, json::parse(R"({"type": "interfaces"})"),
                                           json::parse(R"({"type": "endpoints"})"),
                                           json::parse(R"({"type": "interface_stats"})"),
                                           json::parse(R"({"type": "global_stats"})")}));
}

TEST_F(StreamPayloadTest, DocumentsOfAnUpdate) {
  const long before = SendUpdateDocuments();
  FinishUpdate();
  const long after = static_cast<long>(time(nullptr));
  ASSERT_EQ(sink.Count(), 5u);
  const std::vector<json> payloads = Payloads();

  json status = json::parse(kStatusMembers);
  status.update(json::parse(kVersions));
  status["type"] = "agent_status";
  EXPECT_EQ(WithoutTimestamp(payloads[0], before, after), status);
  json interfaces = json::parse(R"({"type": "interfaces"})");
  interfaces["eth0"] = json::parse(kEth0);
  EXPECT_EQ(payloads[1], interfaces);
  json endpoints = json::parse(kEth0Endpoints);
  endpoints["type"] = "endpoints";
  EXPECT_EQ(payloads[2], endpoints);
  json interface_stats = json::parse(R"({"type": "interface_stats"})");
  interface_stats["eth0"] = PacketCounters(100);
  EXPECT_EQ(payloads[3], interface_stats);
  json global_stats = PacketCounters(200);
  global_stats["type"] = "global_stats";
  EXPECT_EQ(payloads[4], global_stats);
}

TEST_F(StreamPayloadTest, InterfaceNamedTypeIsReplacedByTheTypeText) {
  kppPlugin::Interfaces interfaces{{"type", MakeInterface("type", kvInterface::ROLE_LAN)}};
  plugin.EncodeInterfaces(&interfaces);
  kvPacketStats stats = PacketStats(1);
  plugin.EncodeInterfaceStats("type", &stats);
  kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  documents.status = json::parse(R"({"agent_version": "s", "build_version": "s", "type": "s"})");
  plugin.DispatchStreamPayload(documents);
  ASSERT_EQ(sink.Count(), 5u);
  json status = json::parse(kVersions);
  status["type"] = "agent_status";
  EXPECT_EQ(Payloads()[0], status);
  EXPECT_EQ(Payloads()[1], json::parse(R"({"type": "interfaces"})"));
  EXPECT_EQ(Payloads()[3], json::parse(R"({"type": "interface_stats"})"));
}

TEST_F(StreamPayloadTest, EachChannelOfASinkReceivesAllFiveFirstNameFirst) {
  plugin.sinks["bus"]["a-first"] =
      Channel(kppChannelConfig::TYPE_STREAM_STATS, kppChannelConfig::FORMAT_MSGPACK, true);
  FinishUpdate();
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
}

}  // namespace
}  // namespace korvel_test
